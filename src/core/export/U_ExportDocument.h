#pragma once
// The document an XML or XHTML export builds: a small element tree written as exact text (one
// line for the whole root element, every element with both tags, attributes in the order set,
// text escaped). The rows go in as finished text (SerializedTail), so that a result of a million
// rows is held as text rather than as millions of nodes.
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class TOrvel_ExportNode {
public:
    enum class Kind { Element, Text, Serialized };

    Kind NodeKind() const { return FKind; }
    const QString &Name() const { return FName; }

    // Appends a child element; throws EOrvelError when the name is not an XML name.
    TOrvel_ExportNode *AppendElement(const QString &name);
    void AppendText(const QString &text);
    // Sets an attribute; a second call with the same name replaces the value in place.
    void SetAttribute(const QString &name, const QString &value);
    // The serialised text at the end of this element's content, to which a writer appends
    // finished markup directly (a million rows as text, not as nodes). The caller writes exact
    // markup: names checked with IsXmlNCName, texts through AppendEscapedText and
    // AppendEscapedAttribute.
    QString &SerializedTail();

private:
    friend class TOrvel_ExportDocument;
    TOrvel_ExportNode(Kind kind, QString nameOrText, TOrvel_ExportNode *parent)
        : FKind(kind), FName(std::move(nameOrText)), FParent(parent) {}
    // Appends the markup to `out`; with a sink, hands `out` and every serialised text over to the
    // sink in order instead of copying the serialised text.
    void WriteTo(QString &out, const std::function<void(const QString &)> *sink = nullptr) const;

    Kind FKind;
    QString FName; // the element's name, or the text of a text or serialised node
    TOrvel_ExportNode *FParent;
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

    // The declaration line (iso-8859-2, standalone), the document type line, the root element on
    // one line; each line ends with CR LF. Characters are not yet encoded.
    QString Serialize() const;
    // The same text handed over piece by piece, so that a caller can encode it without holding it
    // whole a second time.
    void Serialize(const std::function<void(const QString &)> &sink) const;

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
// Appends text escaped for element content: "&", "<", ">" as entities, CR as "&#xD;", LF as
// CR LF; characters XML cannot carry at all (control characters, lone surrogates) as U+FFFD.
void AppendEscapedText(QString &out, const QString &text);
// The same for an attribute value, with a double quote as "&quot;".
void AppendEscapedAttribute(QString &out, const QString &text);
