#pragma once
// The document an XML or XHTML export builds: a small element tree written as exact text (one
// line for the whole root element, every element with both tags, attributes in the order set,
// text escaped). The rows are no nodes: the tree holds the point where they go, and the writer
// streams them there between the part of the document before that point and the part after it.
#include "U_ExportOutput.h"

#include <QString>

#include <memory>
#include <utility>
#include <vector>

class TOrvel_ExportNode {
public:
    enum class Kind { Element, Text, Rows };

    Kind NodeKind() const { return FKind; }
    const QString &Name() const { return FName; }

    // Appends a child element; throws EOrvelError when the name is not an XML name.
    TOrvel_ExportNode *AppendElement(const QString &name);
    void AppendText(const QString &text);
    // Sets an attribute; a second call with the same name replaces the value in place.
    void SetAttribute(const QString &name, const QString &value);
    // Marks the end of this element's content so far as the place of the rows. A document has
    // one such place.
    void AppendRowsPoint();

private:
    friend class TOrvel_ExportDocument;
    TOrvel_ExportNode(Kind kind, QString nameOrText) : FKind(kind), FName(std::move(nameOrText)) {}
    // Writes the markup of this node that lies before the rows point (pastRows false on the way)
    // or after it; pastRows turns true at the point.
    void WriteTo(TOrvel_ExportOutput &out, bool afterRows, bool &pastRows) const;

    Kind FKind;
    QString FName; // the element's name, or the text of a text node
    std::vector<std::pair<QString, QString>> FAttributes;
    std::vector<std::unique_ptr<TOrvel_ExportNode>> FChildren;
};

class TOrvel_ExportDocument {
public:
    // The document type declaration written before the root, when set (XHTML).
    void SetDocType(const QString &name, const QString &publicId, const QString &systemId);
    // Creates the root element; throws EOrvelError when the name is not an XML name.
    TOrvel_ExportNode *CreateRoot(const QString &name);
    TOrvel_ExportNode *Root() const { return FRoot.get(); }

    // The document is the declaration line (iso-8859-2, standalone), the document type line and
    // the root element on one line, each line ending with CR LF. WriteBeforeRows writes it up to
    // the rows point, WriteAfterRows the rest (all of it after the root when there is no point).
    void WriteBeforeRows(TOrvel_ExportOutput &out) const;
    void WriteAfterRows(TOrvel_ExportOutput &out) const;

private:
    struct DocType {
        QString Name, PublicId, SystemId;
    };
    std::unique_ptr<DocType> FDocType;
    std::unique_ptr<TOrvel_ExportNode> FRoot;
};

// Whether a text is an XML name without a colon (letters, digits, ".", "-", "_", and the other
// name characters of XML 1.0; not beginning with a digit, ".", or "-").
bool IsXmlNCName(const QString &name);
