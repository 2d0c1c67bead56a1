#pragma once
// One XML document in memory, addressed by slash-separated element paths ("fields/Kwota/width"):
// loaded from a file, read and changed element by element, and written back as exact text.
#include <QByteArray>
#include <QString>

#include <libxml/tree.h>

#include <memory>

// An element of the document; valid as long as the document that holds it.
using TOrvel_XmlElement = xmlNodePtr;

// The element operations callers use directly on the elements the helper returns. A name given
// here (and in every path) is the element's name as the program knows it; names that are not
// valid XML names are stored in an escaped form (see EncodeElementName) and read back decoded.
TOrvel_XmlElement FirstChildElement(TOrvel_XmlElement element, const QString &name = QString());
TOrvel_XmlElement NextSiblingElement(TOrvel_XmlElement element, const QString &name = QString());
QString ElementName(TOrvel_XmlElement element);
// The concatenated text and CDATA inside the element at any depth; comments do not count.
QString ElementText(TOrvel_XmlElement element);

// A name that is a valid XML name (and does not look like an escape) stays as it is; any other
// character becomes "_xHHHH_", so that a field or parameter name such as "Kwota netto" still
// gives a well-formed file that reads back to the same name.
QString EncodeElementName(const QString &name);
QString DecodeElementName(const QString &name);

class TOrvel_XML_util {
public:
    TOrvel_XML_util();
    ~TOrvel_XML_util();
    TOrvel_XML_util(const TOrvel_XML_util &) = delete;
    TOrvel_XML_util &operator=(const TOrvel_XML_util &) = delete;

    // Parses the file; on any failure (missing, unreadable, not well-formed) holds a new empty
    // document instead and returns false.
    bool LoadFromFile(const QString &path);
    // Drops the document held and starts a new one: declaration encoding "utf-8", standalone
    // "yes", a single root element "Zestawnik".
    void NewDocument();
    bool HasDocument() const { return FDoc != nullptr; }
    // The libxml2 document itself (null before the first load), for code that builds on it.
    xmlDocPtr Document() const { return FDoc.get(); }

    // The document as text: the declaration, a line feed, the tree without indentation, a line
    // feed; characters the document's encoding lacks appear as character references.
    QString GetXML() const;
    // The same text in the document's encoding.
    QByteArray GetXMLBytes() const;
    // Writes GetXML with CR LF after every line, replacing the file safely; throws EOrvelError
    // when the file cannot be written.
    bool SaveToFile(const QString &path) const;

    TOrvel_XmlElement RootElement() const;
    TOrvel_XmlElement FindElement(const QString &path, TOrvel_XmlElement start = nullptr) const;
    QString GetValue(const QString &path, TOrvel_XmlElement start = nullptr) const;
    // Without a start element the path begins at the top-level element "Zestawnik"; when the
    // document has none, nothing changes and false is returned.
    bool SetValue(TOrvel_XmlElement start, const QString &path, const QString &value);
    TOrvel_XmlElement AddElement(TOrvel_XmlElement parent, const QString &name);
    bool SetElementText(TOrvel_XmlElement element, const QString &value);

    // The encoding named by the declaration ("" when none: written as UTF-8).
    QString Encoding() const;
    // The encoding a save writes in and declares: the declared one, or UTF-8 where the declared
    // one cannot be written back safely (UTF-7, a stateful or unknown encoding).
    QString WriteEncoding() const;

private:
    struct DocDeleter {
        void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
    };
    std::unique_ptr<xmlDoc, DocDeleter> FDoc;
};
