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

static void CheckName(const QString &name) {
    if (!IsXmlNCName(name))
        throw EOrvelError(QStringLiteral("Nieprawidłowa nazwa elementu XML: \"%1\"").arg(name));
}

TOrvel_ExportNode *TOrvel_ExportNode::AppendElement(const QString &name) {
    CheckName(name);
    FChildren.push_back(
        std::unique_ptr<TOrvel_ExportNode>(new TOrvel_ExportNode(Kind::Element, name)));
    return FChildren.back().get();
}

void TOrvel_ExportNode::AppendText(const QString &text) {
    FChildren.push_back(
        std::unique_ptr<TOrvel_ExportNode>(new TOrvel_ExportNode(Kind::Text, text)));
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

void TOrvel_ExportNode::AppendRowsPoint() {
    FChildren.push_back(
        std::unique_ptr<TOrvel_ExportNode>(new TOrvel_ExportNode(Kind::Rows, QString())));
}

void TOrvel_ExportNode::WriteTo(TOrvel_ExportOutput &out, bool afterRows, bool &pastRows) const {
    if (FKind == Kind::Rows) {
        pastRows = true;
        return;
    }
    if (FKind == Kind::Text) {
        if (pastRows == afterRows)
            out.AppendXmlText(FName);
        return;
    }
    if (pastRows == afterRows) {
        out.AppendAscii("<");
        out.AppendText(FName);
        for (const auto &[name, value] : FAttributes) {
            out.AppendAscii(" ");
            out.AppendText(name);
            out.AppendAscii("=\"");
            out.AppendXmlText(value, true);
            out.AppendAscii("\"");
        }
        out.AppendAscii(">");
    }
    for (const auto &child : FChildren)
        child->WriteTo(out, afterRows, pastRows);
    if (pastRows == afterRows) {
        out.AppendAscii("</");
        out.AppendText(FName);
        out.AppendAscii(">");
    }
}

void TOrvel_ExportDocument::SetDocType(const QString &name, const QString &publicId,
                                       const QString &systemId) {
    FDocType = std::make_unique<DocType>(DocType{name, publicId, systemId});
}

TOrvel_ExportNode *TOrvel_ExportDocument::CreateRoot(const QString &name) {
    CheckName(name);
    FRoot.reset(new TOrvel_ExportNode(TOrvel_ExportNode::Kind::Element, name));
    return FRoot.get();
}

void TOrvel_ExportDocument::WriteBeforeRows(TOrvel_ExportOutput &out) const {
    out.AppendAscii("<?xml version=\"1.0\" encoding=\"iso-8859-2\" standalone=\"yes\"?>\r\n");
    if (FDocType) {
        out.AppendText(QStringLiteral("<!DOCTYPE %1 PUBLIC \"%2\" \"%3\" >\r\n")
                           .arg(FDocType->Name, FDocType->PublicId, FDocType->SystemId));
    }
    bool pastRows = false;
    if (FRoot)
        FRoot->WriteTo(out, false, pastRows);
}

void TOrvel_ExportDocument::WriteAfterRows(TOrvel_ExportOutput &out) const {
    if (!FRoot)
        return;
    bool pastRows = false;
    FRoot->WriteTo(out, true, pastRows);
    out.AppendAscii("\r\n");
}
