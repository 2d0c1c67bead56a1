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
        TOrvel_XmlElement column = FirstChildElement(fields, field.FieldName());
        if (!column)
            column = Xml.AddElement(fields, field.FieldName());

        const QString visible = grid.Visible(i) ? QStringLiteral("1") : QStringLiteral("0");
        const QString align =
            IsBooleanField(field) ? QStringLiteral("C") : AlignText(grid.Alignment(i));
        const QString width = QString::number(grid.Width(i));
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

bool TOrvel_ReportSettings::ApplyColumn(TOrvel_GridColumns &grid, TOrvel_XmlElement element) {
    int position = grid.FindColumn(ElementName(element));
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
    if (const auto target = ReadInteger(index); target && *target >= 0 && *target < grid.Count()) {
        grid.Move(position, *target);
        position = *target;
    }
    const auto pixels = ReadInteger(width);
    grid.SetWidth(position, pixels ? *pixels : grid.TextWidth(desc) + 8);
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
