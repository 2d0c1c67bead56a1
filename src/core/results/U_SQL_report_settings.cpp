#include "U_SQL_report_settings.h"

#include "U_utils.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace {

const QString kFields = QStringLiteral("fields");

// A stored number: optional blanks around an optional sign and decimal digits.
std::optional<int> ReadInteger(const QString &text) {
    bool ok = false;
    const int value = TrimText(text).toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

QString AlignText(TOrvel_Alignment alignment) {
    switch (alignment) {
    case TOrvel_Alignment::taCenter:
        return QStringLiteral("C");
    case TOrvel_Alignment::taRightJustify:
        return QStringLiteral("R");
    default:
        return QStringLiteral("L");
    }
}

bool HasDisplayFormat(const DbField &field) {
    return IsNumericField(field) || IsDateTimeField(field);
}

const char *const kOccurrence = "occurrence";

// The column element of the `occurrence`-th field of a name: the first has no mark, a later one
// carries occurrence="N". Names compare exactly, as the elements are written.
TOrvel_XmlElement FindColumnElement(TOrvel_XmlElement fields, const QString &name, int occurrence) {
    for (TOrvel_XmlElement e = FirstChildElement(fields, name); e; e = NextSiblingElement(e, name))
        if (TOrvel_ReportSettings::ElementOccurrence(e) == occurrence)
            return e;
    return nullptr;
}

// Whether the document keys any later field of the name (ASCII letter case ignored), which
// files written before such fields got keys of their own never do.
bool HasLaterOccurrence(TOrvel_XmlElement fields, const QString &name) {
    const QString wanted = AsciiUpper(name);
    for (TOrvel_XmlElement e = FirstChildElement(fields); e; e = NextSiblingElement(e))
        if (TOrvel_ReportSettings::ElementOccurrence(e) > 1 && AsciiUpper(ElementName(e)) == wanted)
            return true;
    return false;
}

} // namespace

QString TOrvel_ReportSettings::SettingsFileName(const QString &definitionPath) {
    // Only a "." within the file name starts the extension, never one in a folder name.
    qsizetype nameStart = definitionPath.lastIndexOf(u'/');
    nameStart = std::max(nameStart, definitionPath.lastIndexOf(u'\\')) + 1;
    const qsizetype dot = definitionPath.lastIndexOf(u'.');
    const QString stem = dot >= nameStart ? definitionPath.left(dot) : definitionPath;
    return stem + QStringLiteral(" settings.xml");
}

QString TOrvel_ReportSettings::DefaultDisplayFormat(TFieldType type) {
    switch (type) {
    case TFieldType::ftFloat:
        return QStringLiteral("0.000");
    case TFieldType::ftBCD:
    case TFieldType::ftCurrency:
        return QStringLiteral("0.00");
    default:
        return {};
    }
}

bool TOrvel_ReportSettings::LoadSettings(const QString &definitionPath) {
    FileName = SettingsFileName(definitionPath);
    Loaded = Xml.LoadFromFile(FileName);
    return Loaded;
}

void TOrvel_ReportSettings::SaveSettings() {
    if (FileName.isEmpty())
        return;
    EnsureDocument();
    Xml.SaveToFile(FileName);
}

void TOrvel_ReportSettings::EnsureDocument() {
    if (!Xml.HasDocument())
        Xml.NewDocument();
}

TOrvel_XmlElement TOrvel_ReportSettings::FieldsElement() const {
    return Xml.HasDocument() ? Xml.FindElement(kFields) : nullptr;
}

void TOrvel_ReportSettings::CaptureColumns(TOrvel_GridColumns &grid) {
    if (!grid.HasOpenResult())
        return;
    EnsureDocument();
    TOrvel_XmlElement fields = FieldsElement();
    if (!fields)
        fields = Xml.AddElement(Xml.RootElement(), kFields);

    for (int i = 0; i < grid.Count(); ++i) {
        DbField &field = *grid.Field(i);
        // An unnamed column (an expression without an alias) has no element to be kept under.
        if (field.FieldName().isEmpty())
            continue;
        // Looked up as a child rather than by path, so that a name holding "/" stays one name.
        const int occurrence = grid.Occurrence(i);
        TOrvel_XmlElement column = FindColumnElement(fields, field.FieldName(), occurrence);
        if (!column) {
            column = Xml.AddElement(fields, field.FieldName());
            if (occurrence > 1)
                xmlSetProp(
                    column, reinterpret_cast<const xmlChar *>(kOccurrence),
                    reinterpret_cast<const xmlChar *>(QByteArray::number(occurrence).constData()));
        }

        const QString visible = grid.Visible(i) ? QStringLiteral("1") : QStringLiteral("0");
        const QString align =
            IsBooleanField(field) ? QStringLiteral("C") : AlignText(grid.Alignment(i));
        // A width the user did not choose is fitted again on each showing, so it is not kept.
        const QString width = grid.WidthChosen(i) ? QString::number(grid.Width(i)) : QString();
        const QString desc = grid.Caption(i);
        const QString format = HasDisplayFormat(field) ? field.DisplayFormat : QString();
        // The default reaches the document at the next capture, as the format above was taken.
        if (IsNumericField(field) && field.DisplayFormat.isEmpty())
            field.DisplayFormat = DefaultDisplayFormat(field.DataType());
        const QString index = QString::number(i);

        Xml.SetValue(column, QStringLiteral("align"), align);
        Xml.SetValue(column, QStringLiteral("width"), width);
        Xml.SetValue(column, QStringLiteral("desc"), desc);
        Xml.SetValue(column, QStringLiteral("format"), format);
        Xml.SetValue(column, QStringLiteral("index"), index);
        Xml.SetValue(column, QStringLiteral("visible"), visible);
    }
}

int TOrvel_ReportSettings::ElementOccurrence(TOrvel_XmlElement element) {
    xmlChar *mark =
        element ? xmlGetProp(element, reinterpret_cast<const xmlChar *>(kOccurrence)) : nullptr;
    if (!mark)
        return 1;
    bool ok = false;
    const int occurrence = QString::fromUtf8(reinterpret_cast<const char *>(mark)).toInt(&ok);
    xmlFree(mark);
    return ok && occurrence >= 1 ? occurrence : 1;
}

int TOrvel_ReportSettings::ColumnOfElement(const TOrvel_GridColumns &grid,
                                           TOrvel_XmlElement element) {
    return element ? grid.FindColumn(ElementName(element), ElementOccurrence(element)) : -1;
}

bool TOrvel_ReportSettings::ApplyColumn(TOrvel_GridColumns &grid, TOrvel_XmlElement element) {
    int position = ColumnOfElement(grid, element);
    if (position < 0)
        return false;
    DbField &field = *grid.Field(position);

    const QString align = Xml.GetValue(QStringLiteral("align"), element);
    const QString width = Xml.GetValue(QStringLiteral("width"), element);
    const QString desc = Xml.GetValue(QStringLiteral("desc"), element);
    const QString format = Xml.GetValue(QStringLiteral("format"), element);
    const QString index = Xml.GetValue(QStringLiteral("index"), element);
    const QString visible = Xml.GetValue(QStringLiteral("visible"), element);

    grid.SetVisible(position, visible == QStringLiteral("1"));
    TOrvel_Alignment alignment = TOrvel_Alignment::taLeftJustify;
    if (align == QStringLiteral("C"))
        alignment = TOrvel_Alignment::taCenter;
    else if (align == QStringLiteral("R"))
        alignment = TOrvel_Alignment::taRightJustify;
    grid.SetAlignment(position, alignment);
    grid.SetCaption(position, desc);
    if (HasDisplayFormat(field))
        field.DisplayFormat = format;
    // A file written before later fields of a name had keys of their own holds one element for
    // them all, last written by whichever came last; its position would swap the columns, so
    // only a document that keys them apart places them.
    const QString name = ElementName(element);
    const bool placed = grid.NameCount(name) < 2 || HasLaterOccurrence(FieldsElement(), name);
    if (const auto target = ReadInteger(index);
        placed && target && *target >= 0 && *target < grid.Count()) {
        grid.Move(position, *target);
        position = *target;
    }
    const auto pixels = ReadInteger(width);
    grid.SetWidthChosen(position, pixels.has_value());
    grid.SetWidth(position,
                  pixels ? *pixels : grid.FittedWidth(position, grid.TextWidth(desc) + 8));
    if (IsBooleanField(field)) {
        field.DisplayValues = QStringLiteral("tak;nie");
        grid.SetAlignment(position, TOrvel_Alignment::taCenter);
    }
    return true;
}

void TOrvel_ReportSettings::ApplyColumns(TOrvel_GridColumns &grid) {
    if (!grid.HasOpenResult())
        return;
    if (!FieldsElement())
        CaptureColumns(grid);
    for (TOrvel_XmlElement e = FirstChildElement(FieldsElement()); e; e = NextSiblingElement(e))
        ApplyColumn(grid, e);
    CaptureColumns(grid);
}
