#pragma once
// The row-format column: a result column named "Orvel_Zestawnik_FORMAT" (ASCII letter case
// ignored) whose text, «name=value» entries separated by ";", sets the background colour, text
// colour, font style and a separating line of its row. UI-free: the grid and the XHTML export
// turn the parsed format into their own drawing.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

inline constexpr char16_t RowFormatFieldName[] = u"Orvel_Zestawnik_FORMAT";

bool IsRowFormatFieldName(const QString &fieldName);

// The entries of a format text in order: every ";", CR and LF ends an entry; nothing is trimmed.
QStringList SplitRowFormatEntries(const QString &text);
// The value of the first entry whose name (the text before its first "=") equals the name
// without regard to ASCII letter case; nullopt when no entry has that name.
std::optional<QString> RowFormatValue(const QStringList &entries, const QString &name);

// A colour value: 1 to 8 hexadecimal digits laid out as 0x00BBGGRR. Gives the colour as 0xRRGGBB,
// or nullopt when the value is empty, not hexadecimal, or above FFFFFF (such a row is drawn
// without that colour).
std::optional<std::uint32_t> ParseRowFormatColor(const QString &value);

struct TOrvel_RowFormat {
    std::optional<std::uint32_t> Color;     // background, 0xRRGGBB
    std::optional<std::uint32_t> FontColor; // text, 0xRRGGBB
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool LineUp = false; // a line on the row's upper edge

    bool IsPlain() const {
        return !Color && !FontColor && !Bold && !Italic && !Underline && !LineUp;
    }
    bool operator==(const TOrvel_RowFormat &) const = default;
};

TOrvel_RowFormat ParseRowFormat(const QString &text);
