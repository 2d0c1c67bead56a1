// Loading an XML document (a definition, stored values, settings) from any bytes. Whatever loads
// must be read without harm and saved so that it loads again, and a second save of the reloaded
// document must give the same bytes: a save never turns a document into one that is lost at the
// next load.
#include "FuzzSupport.h"
#include "U_ReportFiles.h"
#include "U_XML_util.h"
#include "U_error.h"
#include "U_locale.h"

#include <QFile>

namespace {

void WriteInput(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

QByteArray ReadAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WalkElements(TOrvel_XmlElement element, int depth) {
    for (TOrvel_XmlElement child = FirstChildElement(element); child && depth < 64;
         child = NextSiblingElement(child)) {
        (void)ElementName(child);
        (void)ElementText(child);
        WalkElements(child, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString in = ScratchFolder().filePath(QStringLiteral("in.xml"));
    const QString out = ScratchFolder().filePath(QStringLiteral("out.xml"));
    WriteInput(in, Bytes(data, size));

    // As a definition: a failure is an error message, never a crash.
    try {
        TOrvel_XML_util definitionDoc;
        TOrvel_ReportDefinition definition;
        ReadDefinition(definitionDoc, in, definition);
    } catch (const EOrvelError &) {
    }

    TOrvel_XML_util doc;
    if (!doc.LoadFromFile(in))
        return 0;
    WalkElements(doc.RootElement(), 0);
    (void)doc.GetValue(QStringLiteral("Export/CSV/Separator"));
    (void)ReadStoredValue(doc, QStringLiteral("Rok"));
    // A stored value as the report writes one, with characters most encodings lack.
    doc.SetValue(nullptr, QStringLiteral("Zapis/Wartość"),
                 QStringLiteral("Zażółć <&> \u20AC \U0001F600 \uFEFF"));

    doc.SaveToFile(out);
    TOrvel_XML_util back;
    FUZZ_CHECK(back.LoadFromFile(out));
    const QByteArray first = ReadAll(out);
    back.SaveToFile(out);
    FUZZ_CHECK(ReadAll(out) == first);
    return 0;
}
