#include "U_DefinitionCheck.h"

#include "U_ParamInput.h"
#include "U_ParamName.h"
#include "U_ReportFiles.h"
#include "U_XML_util.h"
#include "U_error.h"
#include "U_utils.h"

#include <libxml/parser.h>

#include <memory>

namespace {

struct DocDeleter {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};
struct ContextDeleter {
    void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};
using Document = std::unique_ptr<xmlDoc, DocDeleter>;

// Parsed as the loader parses a definition file: no network, no messages on the console.
constexpr int ParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// The first error the parser meets: later ones are often only its echo at the end of the text.
struct FirstError {
    bool Seen = false;
    QString Message;
    int Line = 0;
    int Column = 0;
};

void RecordError(void *data, xmlErrorPtr error) {
    auto *first = static_cast<FirstError *>(data);
    if (first->Seen || !error || error->level < XML_ERR_ERROR)
        return;
    first->Seen = true;
    first->Message = error->message ? TrimText(QString::fromUtf8(error->message)) : QString();
    first->Line = error->line;
    first->Column = error->int2;
}

// Installs the recorder for the time of one parse (the handler is per thread in libxml2).
class ErrorRecorder {
public:
    explicit ErrorRecorder(FirstError *first) { xmlSetStructuredErrorFunc(first, RecordError); }
    ~ErrorRecorder() { xmlSetStructuredErrorFunc(nullptr, nullptr); }
    ErrorRecorder(const ErrorRecorder &) = delete;
    ErrorRecorder &operator=(const ErrorRecorder &) = delete;
};

Document Parse(const QByteArray &bytes, TOrvel_DefinitionCheck *check) {
    std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
    if (!context)
        throw std::bad_alloc();
    FirstError first;
    Document doc;
    {
        ErrorRecorder recorder(&first);
        doc.reset(xmlCtxtReadMemory(context.get(), bytes.constData(), int(bytes.size()), nullptr,
                                    nullptr, ParseOptions));
    }
    if (doc && xmlDocGetRootElement(doc.get()))
        return doc;
    if (check) {
        check->Ok = false;
        const xmlError *last = xmlCtxtGetLastError(context.get());
        if (!first.Seen && last && last->message) {
            first.Seen = true;
            first.Message = TrimText(QString::fromUtf8(last->message));
            first.Line = last->line;
            first.Column = last->int2;
        }
        if (first.Seen) {
            check->Reason = first.Message;
            check->Line = first.Line;
            check->Column = first.Column;
        } else {
            check->Reason = QStringLiteral("Brak elementu głównego");
        }
    }
    return nullptr;
}

int LineOf(TOrvel_XmlElement element) {
    const long line = element ? xmlGetLineNo(element) : 0;
    return line > 0 ? int(line) : 0;
}

TOrvel_DefinitionCheck Fail(const QString &reason, TOrvel_XmlElement at) {
    TOrvel_DefinitionCheck check;
    check.Ok = false;
    check.Reason = reason;
    check.Line = LineOf(at);
    return check;
}

bool IsTypeCode(const QString &code) {
    for (const char *known : {"INT", "TEXT", "BIT", "NUMERIC", "DATE"})
        if (code == QLatin1String(known))
            return true;
    return false;
}

} // namespace

bool ContainsParamName(const QStringList &names, const QString &name) {
    return !SameParamName(names, name).isEmpty();
}

TOrvel_DefinitionCheck CheckDefinition(const QByteArray &bytes) {
    TOrvel_DefinitionCheck check;
    const Document doc = Parse(bytes, &check);
    if (!doc)
        return check;

    const TOrvel_XmlElement root = xmlDocGetRootElement(doc.get());
    if (ElementName(root) != QLatin1String("Zestawnik"))
        return Fail(
            QStringLiteral("Element główny musi się nazywać \"Zestawnik\", a nazywa się \"%1\"")
                .arg(ElementName(root)),
            root);

    const TOrvel_XmlElement version = FirstChildElement(root, QStringLiteral("version"));
    try {
        ReadDefinitionVersion(ElementText(version));
    } catch (const EOrvelError &) {
        return Fail(version ? QStringLiteral("Wersja (element version) nie jest liczbą: '%1'")
                                  .arg(TrimText(ElementText(version)))
                            : QStringLiteral("Brak elementu version z numerem wersji"),
                    version ? version : root);
    }

    QStringList names;
    const TOrvel_XmlElement params = FirstChildElement(root, QStringLiteral("params"));
    for (TOrvel_XmlElement item = FirstChildElement(params, QStringLiteral("item")); item;
         item = NextSiblingElement(item, QStringLiteral("item"))) {
        const TOrvel_ParamData data = ReadParamItem(item);
        const TOrvel_XmlElement nameElement = FirstChildElement(item, QStringLiteral("name"));
        if (!IsValidParamName(data.name))
            return Fail(QStringLiteral("Nieprawidłowa nazwa parametru: '%1' (%2)")
                            .arg(data.name,
                                 data.name.size() > MaxParamNameLength
                                     ? QStringLiteral("ma %1 znaków, a może mieć najwyżej %2")
                                           .arg(data.name.size())
                                           .arg(MaxParamNameLength)
                                     : QStringLiteral("dozwolone są litery, cyfry i podkreślenia, "
                                                      "na początku litera lub podkreślenie")),
                        nameElement ? nameElement : item);
        const QString same = SameParamName(names, data.name);
        if (!same.isEmpty())
            return Fail(DuplicateParamNameText(same, data.name), nameElement);
        names.append(data.name);
        const TOrvel_XmlElement type = FirstChildElement(item, QStringLiteral("type"));
        const QString code = ElementText(type);
        if (!IsTypeCode(code))
            return Fail(QStringLiteral("Nieznany typ parametru '%1': '%2' (dozwolone: INT, TEXT, "
                                       "BIT, NUMERIC, DATE)")
                            .arg(data.name, code),
                        type ? type : item);
        if (!data.listquery.isEmpty() &&
            (TrimText(data.key).isEmpty() || TrimText(data.listfields).isEmpty()))
            return Fail(QStringLiteral("Parametr '%1' z listą SQL musi mieć pole kluczowe (key) i "
                                       "widoczne pola listy (listfields)")
                            .arg(data.name),
                        item);
        const QString listFault = ListCountFault(data);
        if (!listFault.isEmpty())
            return Fail(listFault, item);
    }
    return check;
}

QStringList DefinitionParamNames(const QByteArray &bytes) {
    QStringList names;
    const Document doc = Parse(bytes, nullptr);
    if (!doc)
        return names;
    const TOrvel_XmlElement params =
        FirstChildElement(xmlDocGetRootElement(doc.get()), QStringLiteral("params"));
    for (TOrvel_XmlElement item = FirstChildElement(params, QStringLiteral("item")); item;
         item = NextSiblingElement(item, QStringLiteral("item")))
        names.append(ElementText(FirstChildElement(item, QStringLiteral("name"))));
    return names;
}
