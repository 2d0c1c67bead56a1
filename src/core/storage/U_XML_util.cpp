#include "U_XML_util.h"

#include "U_SafeFile.h"
#include "U_TextCodec.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStringList>

#include <algorithm>
#include <vector>

#include <libxml/parser.h>

namespace {

const xmlChar *X(const QByteArray &utf8) {
    return reinterpret_cast<const xmlChar *>(utf8.constData());
}

QString Q(const xmlChar *text) {
    return text ? QString::fromUtf8(reinterpret_cast<const char *>(text)) : QString();
}

const QString kRootName = QStringLiteral("Zestawnik");

// A path splits at every "/"; empty segments (a final, doubled or leading "/") name nothing and
// are skipped.
QStringList Segments(const QString &path) {
    return path.split(u'/', Qt::SkipEmptyParts);
}

bool IsElement(xmlNodePtr node) {
    return node && node->type == XML_ELEMENT_NODE;
}

// The name as stored in the tree, with its namespace prefix.
QString StoredName(xmlNodePtr element) {
    QString name = Q(element->name);
    if (element->ns && element->ns->prefix)
        name = Q(element->ns->prefix) + QLatin1Char(':') + name;
    return name;
}

bool HasStoredName(xmlNodePtr element, const QString &storedName) {
    return storedName.isEmpty() || StoredName(element) == storedName;
}

TOrvel_XmlElement FirstChildStored(xmlNodePtr parent, const QString &storedName) {
    if (!parent)
        return nullptr;
    for (xmlNodePtr n = parent->children; n; n = n->next) {
        if (IsElement(n) && HasStoredName(n, storedName))
            return n;
    }
    return nullptr;
}

bool IsNameChar(char32_t c, bool first) {
    // A colon would make a namespace prefix of the name; U+0000 would end the library's string
    // and a surrogate is no character.
    if (c == u':' || c == 0 || (c >= 0xD800 && c <= 0xDFFF))
        return false;
    QString probe = first ? QString() : QStringLiteral("a");
    AppendCodePoint(probe, c);
    return xmlValidateName(X(probe.toUtf8()), 0) == 0;
}

bool IsHexDigits(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
    });
}

// The escape that starts at `i`, if any: "_xHHHH_" or "_xHHHHHHHH_" (a code point up to
// U+10FFFF) with exactly that many hexadecimal digits. Gives the code and the escape's length.
bool EscapeAt(QStringView name, qsizetype i, char32_t &code, qsizetype &length) {
    if (i + 1 >= name.size() || name[i] != u'_' || name[i + 1] != u'x')
        return false;
    for (const qsizetype digits : {4, 8}) {
        const qsizetype end = i + 2 + digits;
        if (end < name.size() && name[end] == u'_' && IsHexDigits(name.mid(i + 2, digits))) {
            const uint value = name.mid(i + 2, digits).toUInt(nullptr, 16);
            if (value > 0x10FFFF)
                return false;
            code = value;
            length = digits + 3;
            return true;
        }
    }
    return false;
}

QString EscapeName(char32_t c) {
    return QStringLiteral("_x%1_").arg(QString::number(uint(c), 16)
                                           .toUpper()
                                           .rightJustified(c > 0xFFFF ? 8 : 4, QLatin1Char('0')));
}

// Code points of the name, a lone surrogate kept as its own value.
std::vector<char32_t> CodePoints(const QString &text) {
    std::vector<char32_t> codes;
    codes.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            codes.push_back(QChar::surrogateToUcs4(c, text.at(i + 1).unicode()));
            ++i;
        } else {
            codes.push_back(c);
        }
    }
    return codes;
}

// ---- serialisation -------------------------------------------------------------------------

// Text escapes "&", "<", ">" and a carriage return; attribute values also keep their quotes, tabs
// and line breaks, which a reader would otherwise normalise away.
void AppendEscaped(QString &out, const xmlChar *content, bool attribute) {
    const QString text = Q(content);
    for (QChar c : text) {
        // What XML cannot carry at all would make the saved file unreadable: U+FFFD instead.
        if (!c.isSurrogate() && !IsXmlChar(c.unicode()))
            c = QChar(0xFFFD);
        switch (c.unicode()) {
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'\r':
            out += QLatin1String("&#xD;");
            break;
        case u'"':
            out += attribute ? QLatin1String("&quot;") : QLatin1String("\"");
            break;
        case u'\n':
            out += attribute ? QLatin1String("&#xA;") : QLatin1String("\n");
            break;
        case u'\t':
            out += attribute ? QLatin1String("&#x9;") : QLatin1String("\t");
            break;
        default:
            out += c;
        }
    }
}

void AppendEscapedText(QString &out, const xmlChar *content) {
    AppendEscaped(out, content, false);
}

void AppendEscapedAttribute(QString &out, const xmlChar *content) {
    AppendEscaped(out, content, true);
}

void AppendNode(QString &out, xmlDocPtr doc, xmlNodePtr node);

void AppendChildren(QString &out, xmlDocPtr doc, xmlNodePtr parent) {
    for (xmlNodePtr n = parent->children; n; n = n->next)
        AppendNode(out, doc, n);
}

void AppendElement(QString &out, xmlDocPtr doc, xmlNodePtr element) {
    const QString name = StoredName(element);
    out += QLatin1Char('<') + name;
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
        out += ns->prefix ? QStringLiteral(" xmlns:") + Q(ns->prefix) : QStringLiteral(" xmlns");
        out += QLatin1String("=\"");
        AppendEscapedAttribute(out, ns->href);
        out += QLatin1Char('"');
    }
    for (xmlAttrPtr attr = element->properties; attr; attr = attr->next) {
        out += QLatin1Char(' ');
        if (attr->ns && attr->ns->prefix)
            out += Q(attr->ns->prefix) + QLatin1Char(':');
        out += Q(attr->name) + QLatin1String("=\"");
        for (xmlNodePtr v = attr->children; v; v = v->next) {
            if (v->type == XML_ENTITY_REF_NODE)
                out += QLatin1Char('&') + Q(v->name) + QLatin1Char(';');
            else
                AppendEscapedAttribute(out, v->content);
        }
        out += QLatin1Char('"');
    }
    out += QLatin1Char('>');
    AppendChildren(out, doc, element);
    out += QLatin1String("</") + name + QLatin1Char('>');
}

// The document type declaration, internal subset included, as the library writes it.
void AppendDtd(QString &out, xmlDocPtr doc, xmlNodePtr dtd) {
    std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), &xmlBufferFree);
    if (!buffer)
        return;
    xmlNodeDump(buffer.get(), doc, dtd, 0, 0);
    out += Q(xmlBufferContent(buffer.get()));
}

void AppendNode(QString &out, xmlDocPtr doc, xmlNodePtr node) {
    switch (node->type) {
    case XML_ELEMENT_NODE:
        AppendElement(out, doc, node);
        break;
    case XML_TEXT_NODE:
        AppendEscapedText(out, node->content);
        break;
    case XML_CDATA_SECTION_NODE:
        out += QLatin1String("<![CDATA[") + Q(node->content) + QLatin1String("]]>");
        break;
    case XML_COMMENT_NODE:
        out += QLatin1String("<!--") + Q(node->content) + QLatin1String("-->");
        break;
    case XML_PI_NODE:
        out += QLatin1String("<?") + Q(node->name);
        if (node->content && *node->content)
            out += QLatin1Char(' ') + Q(node->content);
        out += QLatin1String("?>");
        break;
    case XML_ENTITY_REF_NODE:
        out += QLatin1Char('&') + Q(node->name) + QLatin1Char(';');
        break;
    case XML_DTD_NODE:
        AppendDtd(out, doc, node);
        break;
    default:
        break;
    }
}

void AppendTextContent(QString &out, xmlNodePtr parent) {
    for (xmlNodePtr n = parent->children; n; n = n->next) {
        switch (n->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            out += Q(n->content);
            break;
        case XML_ELEMENT_NODE:
            AppendTextContent(out, n);
            break;
        case XML_ENTITY_REF_NODE: {
            xmlChar *content = xmlNodeGetContent(n);
            out += Q(content);
            xmlFree(content);
            break;
        }
        default:
            break;
        }
    }
}

} // namespace

// ---- element operations ------------------------------------------------------------------------

TOrvel_XmlElement FirstChildElement(TOrvel_XmlElement element, const QString &name) {
    return FirstChildStored(element, name.isEmpty() ? name : EncodeElementName(name));
}

TOrvel_XmlElement NextSiblingElement(TOrvel_XmlElement element, const QString &name) {
    if (!element)
        return nullptr;
    const QString stored = name.isEmpty() ? name : EncodeElementName(name);
    for (xmlNodePtr n = element->next; n; n = n->next) {
        if (IsElement(n) && HasStoredName(n, stored))
            return n;
    }
    return nullptr;
}

QString ElementName(TOrvel_XmlElement element) {
    return IsElement(element) ? DecodeElementName(StoredName(element)) : QString();
}

QString ElementText(TOrvel_XmlElement element) {
    QString out;
    if (element)
        AppendTextContent(out, element);
    return out;
}

QString EncodeElementName(const QString &name) {
    // Built from the end, so that each "_" is decided knowing the text the decoder will see after
    // it: a "_" that would read as the start of an escape is escaped itself, and decoding is the
    // exact inverse.
    const std::vector<char32_t> codes = CodePoints(name);
    QString out;
    for (std::size_t k = codes.size(); k-- > 0;) {
        const char32_t c = codes[k];
        QString piece;
        if (IsNameChar(c, k == 0)) {
            AppendCodePoint(piece, c);
            char32_t code;
            qsizetype length;
            if (c == u'_' && EscapeAt(QString(piece + out.left(10)), 0, code, length))
                piece = EscapeName(c);
        } else {
            piece = EscapeName(c);
        }
        out.prepend(piece);
    }
    return out;
}

QString DecodeElementName(const QString &name) {
    if (!name.contains(QLatin1String("_x")))
        return name;
    QString out;
    for (qsizetype i = 0; i < name.size();) {
        char32_t code;
        qsizetype length;
        if (EscapeAt(name, i, code, length)) {
            AppendCodePoint(out, code);
            i += length;
        } else {
            out += name.at(i++);
        }
    }
    return out;
}

// ---- the document ------------------------------------------------------------------------------

TOrvel_XML_util::TOrvel_XML_util() = default;
TOrvel_XML_util::~TOrvel_XML_util() = default;

void TOrvel_XML_util::NewDocument() {
    FDoc.reset();
    FDoc.reset(xmlNewDoc(X("1.0")));
    FDoc->encoding = xmlStrdup(X("utf-8"));
    FDoc->standalone = 1;
    xmlNodePtr root = xmlNewDocNode(FDoc.get(), nullptr, X(kRootName.toUtf8()), nullptr);
    xmlDocSetRootElement(FDoc.get(), root);
}

bool TOrvel_XML_util::LoadFromFile(const QString &path) {
    FDoc.reset();
    if (QFileInfo(path).isFile()) {
        // Whitespace text, comments, CDATA and the document type stay in the tree; entities are
        // kept as references and nothing is fetched from the network.
        xmlDocPtr doc = xmlReadFile(QFile::encodeName(path).constData(), nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (doc && xmlDocGetRootElement(doc)) {
            FDoc.reset(doc);
            return true;
        }
        xmlFreeDoc(doc);
    }
    NewDocument();
    return false;
}

QString TOrvel_XML_util::Encoding() const {
    return FDoc && FDoc->encoding ? Q(FDoc->encoding) : QString();
}

QString TOrvel_XML_util::GetXML() const {
    if (!FDoc)
        return QString();
    QString out = QStringLiteral("<?xml version=\"%1\"")
                      .arg(FDoc->version ? Q(FDoc->version) : QStringLiteral("1.0"));
    const QString encoding = WriteEncoding();
    if (FDoc->encoding)
        out += QStringLiteral(" encoding=\"%1\"").arg(encoding);
    if (FDoc->standalone == 1)
        out += QLatin1String(" standalone=\"yes\"");
    else if (FDoc->standalone == 0)
        out += QLatin1String(" standalone=\"no\"");
    out += QLatin1String("?>\n");
    xmlNodePtr root = xmlDocGetRootElement(FDoc.get());
    for (xmlNodePtr n = FDoc->children; n; n = n->next) {
        AppendNode(out, FDoc.get(), n);
        if (n == root)
            out += QLatin1Char('\n');
    }
    return ReplaceUnencodable(out, encoding);
}

namespace {

// Whether a document written in the encoding reads back as written: a small document with markup,
// a Polish letter and a character most code pages lack is encoded as a save encodes it, parsed by
// the library, and its text compared. Caught this way: stateful encodings (UTF-7, ISO-2022),
// and encodings the platform writes in a form the library does not read (UTF-32 with a
// little-endian mark). The answer for each name is kept.
bool ReadsBack(const QString &encoding) {
    static QMutex mutex;
    static QHash<QString, bool> known;
    const QMutexLocker lock(&mutex);
    const auto it = known.constFind(encoding);
    if (it != known.constEnd())
        return *it;
    bool ok = false;
    if (IsWritableEncoding(encoding)) {
        const QString probe = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n"
                                             "<a b=\"&lt;&amp;\">x&lt;y\u0142\u20AC</a>\n")
                                  .arg(encoding);
        const QByteArray bytes = EncodeWithCharRefs(ReplaceUnencodable(probe, encoding), encoding);
        std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
            xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr,
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
            &xmlFreeDoc);
        const xmlNodePtr root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
        ok = root && ElementText(root) == QStringLiteral("x<y\u0142\u20AC");
    }
    known.insert(encoding, ok);
    return ok;
}

// Whether every element, attribute and processing-instruction name below the node can be written
// in the encoding as it is: a name cannot hold a character reference, so a name the encoding
// lacks a character of would make a file that no longer loads.
bool NamesFit(xmlNodePtr node, const QString &encoding) {
    for (xmlNodePtr n = node; n; n = n->next) {
        if (n->type == XML_ELEMENT_NODE || n->type == XML_PI_NODE) {
            const QString name = n->type == XML_ELEMENT_NODE ? StoredName(n) : Q(n->name);
            if (ReplaceUnencodable(name, encoding) != name)
                return false;
        }
        if (n->type == XML_ELEMENT_NODE) {
            for (xmlAttrPtr attr = n->properties; attr; attr = attr->next) {
                const QString name = Q(attr->name);
                if (ReplaceUnencodable(name, encoding) != name)
                    return false;
            }
            if (!NamesFit(n->children, encoding))
                return false;
        }
    }
    return true;
}

} // namespace

QString TOrvel_XML_util::WriteEncoding() const {
    const QString declared = Encoding();
    if (declared.isEmpty() || declared.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0)
        return declared;
    // An encoding that cannot be read back, or that lacks a character of a name, is replaced by
    // UTF-8, and the declaration says so.
    if (!ReadsBack(declared) || !NamesFit(FDoc->children, declared))
        return QStringLiteral("utf-8");
    return declared;
}

QByteArray TOrvel_XML_util::GetXMLBytes() const {
    return EncodeWithCharRefs(GetXML(), WriteEncoding());
}

bool TOrvel_XML_util::SaveToFile(const QString &path) const {
    SafeWriteFile(path, EncodeWithCharRefs(ToCrLfLines(GetXML()), WriteEncoding()));
    return true;
}

TOrvel_XmlElement TOrvel_XML_util::RootElement() const {
    return FDoc ? xmlDocGetRootElement(FDoc.get()) : nullptr;
}

TOrvel_XmlElement TOrvel_XML_util::FindElement(const QString &path, TOrvel_XmlElement start) const {
    xmlNodePtr node = start ? start : RootElement();
    for (const QString &segment : Segments(path)) {
        if (!node)
            break;
        node = FirstChildElement(node, segment);
    }
    return node;
}

QString TOrvel_XML_util::GetValue(const QString &path, TOrvel_XmlElement start) const {
    return ElementText(FindElement(path, start));
}

bool TOrvel_XML_util::SetValue(TOrvel_XmlElement start, const QString &path, const QString &value) {
    xmlNodePtr node = start;
    if (!node && FDoc) {
        for (xmlNodePtr n = FDoc->children; n && !node; n = n->next) {
            if (IsElement(n) && StoredName(n) == kRootName)
                node = n;
        }
    }
    if (!node)
        return false;
    for (const QString &segment : Segments(path)) {
        xmlNodePtr child = FirstChildElement(node, segment);
        node = child ? child : AddElement(node, segment);
    }
    return SetElementText(node, value);
}

TOrvel_XmlElement TOrvel_XML_util::AddElement(TOrvel_XmlElement parent, const QString &name) {
    if (!parent || name.isEmpty())
        return nullptr;
    return xmlNewChild(parent, nullptr, X(EncodeElementName(name).toUtf8()), nullptr);
}

bool TOrvel_XML_util::SetElementText(TOrvel_XmlElement element, const QString &value) {
    if (!element)
        return false;
    while (xmlNodePtr child = element->children) {
        xmlUnlinkNode(child);
        xmlFreeNode(child);
    }
    // What XML cannot carry at all would make the saved file unreadable: U+FFFD in its place.
    const QByteArray utf8 = ReplaceNonXmlChars(value).toUtf8();
    xmlAddChild(element, xmlNewDocTextLen(element->doc, X(utf8), int(utf8.size())));
    return true;
}
