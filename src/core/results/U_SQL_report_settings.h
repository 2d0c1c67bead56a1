#pragma once
// The column settings of one report: caption, alignment, width, display format, position and
// visibility of every result column, kept in an XML document keyed by the field names and stored
// beside the report's definition as "NAME settings.xml". They move between that document and the
// result's columns (TOrvel_GridColumns); the file is written only by SaveSettings.
//
// The document: root "Zestawnik", one element "fields", inside it one element per field named
// after the field (letter case kept) holding "align", "width", "desc", "format", "index" and
// "visible". A field name that is not an XML name, or holds "/", is stored under the XML helper's
// reversible escaped form ("Nazwa klienta" as "Nazwa_x0020_klienta", see EncodeElementName);
// valid names are stored as they are, so existing files keep working. A column without a name
// (an expression without an alias) is not stored and keeps the default layout.
//
// Several fields of one name (the two "Nazwa" of a join; names compared without regard to ASCII
// letter case) are kept apart by their order in the result: the first field's element is the
// plain one, the N-th field's element has the same name and the attribute occurrence="N"
// (<Nazwa occurrence="2">). Files without such elements read as before.
//
// "width" holds a number only for a width the user chose (resized with the mouse); any other
// column has an empty "width" and is fitted to its content whenever it is shown.
#include "U_GridColumns.h"
#include "U_XML_util.h"

#include <QString>

class TOrvel_ReportSettings {
public:
    TOrvel_ReportSettings() = default;
    TOrvel_ReportSettings(const TOrvel_ReportSettings &) = delete;
    TOrvel_ReportSettings &operator=(const TOrvel_ReportSettings &) = delete;

    // The settings document; the format dialog reads it directly.
    TOrvel_XML_util Xml;
    // Full path of the settings file; empty until the first LoadSettings.
    QString FileName;
    // The last LoadSettings read an existing, well-formed file.
    bool Loaded = false;

    // The settings file of a definition: the definition's path with the extension of its file
    // name (from the last "." on) replaced by " settings.xml".
    static QString SettingsFileName(const QString &definitionPath);
    // The display format a numeric column without one gets: "0.000" for floating point, "0.00"
    // for fixed-point decimals and currency, empty for integers and everything else.
    static QString DefaultDisplayFormat(TFieldType type);

    // Reads the settings file of the definition; a missing or malformed file leaves an empty
    // document. Returns Loaded.
    bool LoadSettings(const QString &definitionPath);
    // Writes the document to FileName (nothing when it is empty); throws EOrvelError naming the
    // file when it cannot be written.
    void SaveSettings();
    // Records the columns' current layout in the document (the file is not touched); numeric
    // columns without a display format get their default on the field.
    void CaptureColumns(TOrvel_GridColumns &grid);
    // Applies one column element to the first column whose field name equals the element's name
    // without regard to ASCII letter case; false when no column matches.
    bool ApplyColumn(TOrvel_GridColumns &grid, TOrvel_XmlElement element);
    // Which field of its name a column element stands for (its occurrence mark, 1 without one).
    static int ElementOccurrence(TOrvel_XmlElement element);
    // The position of the column a column element stands for; -1 when none.
    static int ColumnOfElement(const TOrvel_GridColumns &grid, TOrvel_XmlElement element);
    // Applies every column element in document order, then captures the layout as applied.
    void ApplyColumns(TOrvel_GridColumns &grid);

private:
    TOrvel_XmlElement FieldsElement() const;
    void EnsureDocument();
};
