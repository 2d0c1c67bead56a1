#include "U_ExportDocument.h"

#include "U_error.h"

#include <QList>

namespace {

bool IsNameStartChar(char32_t c) {
    return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
    return IsNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Characters that XML 1.0 allows in content: tab, LF, CR and everything from the blank on but
// surrogates and U+FFFE/U+FFFF.
inline bool NeedsCare(char16_t c) {
    return c < 0x20 || c == u'&' || c == u'<' || c == u'>' || c == u'"' ||
           (c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE;
}

void AppendEscaped(QString &out, const QString &text, bool attribute) {
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    qsizetype plainFrom = 0;
    auto flush = [&](qsizetype upTo) {
        if (upTo > plainFrom)
            out.append(QStringView(p + plainFrom, upTo - plainFrom));
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (!NeedsCare(c))
            continue;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
            ++i; // a whole surrogate pair is an ordinary character
            continue;
        }
        flush(i);
        plainFrom = i + 1;
        switch (c) {
        case u'&':
            out.append(u"&amp;");
            break;
        case u'<':
            out.append(u"&lt;");
            break;
        case u'>':
            out.append(u"&gt;");
            break;
        case u'"':
            out.append(attribute ? QStringView(u"&quot;") : QStringView(u"\""));
            break;
        case u'\r':
            out.append(u"&#xD;");
            break;
        case u'\n':
            out.append(u"\r\n");
            break;
        case u'\t':
            out.append(u'\t');
            break;
        default:
            // Not representable in XML 1.0 even as a reference: the replacement character.
            out.append(QChar(0xFFFD));
            break;
        }
    }
    flush(n);
}

} // namespace

bool IsXmlNCName(const QString &name) {
    // Called for every element an export writes: walks the UTF-16 text without allocating.
    const qsizetype n = name.size();
    if (n == 0)
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = name.at(i).unicode();
        const bool first = i == 0;
        if (QChar::isHighSurrogate(c) && i + 1 < n && name.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        if (first ? !IsNameStartChar(c) : !IsNameChar(c))
            return false;
    }
    return true;
}

void AppendEscapedText(QString &out, const QString &text) {
    AppendEscaped(out, text, false);
}

void AppendEscapedAttribute(QString &out, const QString &text) {
    AppendEscaped(out, text, true);
}

static void CheckName(const QString &name) {
    if (!IsXmlNCName(name))
        throw EOrvelError(QStringLiteral("Nieprawidłowa nazwa elementu XML: \"%1\"").arg(name));
}

TOrvel_ExportNode *TOrvel_ExportNode::AppendElement(const QString &name) {
    CheckName(name);
    FChildren.push_back(
        std::unique_ptr<TOrvel_ExportNode>(new TOrvel_ExportNode(Kind::Element, name, this)));
    return FChildren.back().get();
}

void TOrvel_ExportNode::AppendText(const QString &text) {
    FChildren.push_back(
        std::unique_ptr<TOrvel_ExportNode>(new TOrvel_ExportNode(Kind::Text, text, this)));
}

void TOrvel_ExportNode::SetAttribute(const QString &name, const QString &value) {
    for (auto &attribute : FAttributes) {
        if (attribute.first == name) {
            attribute.second = value;
            return;
        }
    }
    // "xml:lang" is the one prefixed name an export uses; the prefix "xml" needs no declaration.
    if (name != QStringLiteral("xml:lang"))
        CheckName(name);
    FAttributes.emplace_back(name, value);
}

void TOrvel_ExportNode::WriteTo(QString &out,
                                const std::function<void(const QString &)> *sink) const {
    switch (FKind) {
    case Kind::Text:
        AppendEscapedText(out, FName);
        return;
    case Kind::Serialized:
        if (sink) {
            (*sink)(out);
            out.clear();
            (*sink)(FName);
        } else {
            out.append(FName);
        }
        return;
    case Kind::Element:
        break;
    }
    out.append(u'<');
    out.append(FName);
    for (const auto &[name, value] : FAttributes) {
        out.append(u' ');
        out.append(name);
        out.append(u"=\"");
        AppendEscapedAttribute(out, value);
        out.append(u'"');
    }
    out.append(u'>');
    for (const auto &child : FChildren)
        child->WriteTo(out, sink);
    out.append(u"</");
    out.append(FName);
    out.append(u'>');
}

void TOrvel_ExportDocument::SetDocType(const QString &name, const QString &publicId,
                                       const QString &systemId) {
    FDocType = std::make_unique<DocType>(DocType{name, publicId, systemId});
}

TOrvel_ExportNode *TOrvel_ExportDocument::CreateRoot(const QString &name) {
    CheckName(name);
    FRoot.reset(new TOrvel_ExportNode(TOrvel_ExportNode::Kind::Element, name, nullptr));
    return FRoot.get();
}

QString &TOrvel_ExportNode::SerializedTail() {
    if (FChildren.empty() || FChildren.back()->FKind != Kind::Serialized)
        FChildren.push_back(std::unique_ptr<TOrvel_ExportNode>(
            new TOrvel_ExportNode(Kind::Serialized, QString(), this)));
    return FChildren.back()->FName;
}

QString TOrvel_ExportDocument::Serialize() const {
    QString out;
    Serialize([&out](const QString &piece) { out.append(piece); });
    return out;
}

void TOrvel_ExportDocument::Serialize(const std::function<void(const QString &)> &sink) const {
    QString out;
    out.append(u"<?xml version=\"1.0\" encoding=\"iso-8859-2\" standalone=\"yes\"?>\r\n");
    if (FDocType) {
        out.append(QStringLiteral("<!DOCTYPE %1 PUBLIC \"%2\" \"%3\" >\r\n")
                       .arg(FDocType->Name, FDocType->PublicId, FDocType->SystemId));
    }
    if (FRoot) {
        FRoot->WriteTo(out, &sink);
        out.append(u"\r\n");
    }
    sink(out);
}
