#include "U_RowFormat.h"

namespace {

bool AsciiEqualNoCase(QStringView a, QStringView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x >= u'a' && x <= u'z')
            x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z')
            y = static_cast<char16_t>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

bool IsRowFormatFieldName(const QString &fieldName) {
    return AsciiEqualNoCase(fieldName, QStringView(RowFormatFieldName));
}

QStringList SplitRowFormatEntries(const QString &text) {
    QStringList entries;
    QString current;
    for (QChar c : text) {
        if (c == u';' || c == u'\r' || c == u'\n') {
            entries.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (!current.isEmpty())
        entries.append(current);
    return entries;
}

std::optional<QString> RowFormatValue(const QStringList &entries, const QString &name) {
    for (const QString &entry : entries) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq < 0)
            continue;
        if (AsciiEqualNoCase(QStringView(entry).left(eq), name))
            return entry.mid(eq + 1);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ParseRowFormatColor(const QString &value) {
    if (value.isEmpty() || value.size() > 8)
        return std::nullopt;
    std::uint32_t bgr = 0;
    for (QChar c : value) {
        const char16_t u = c.unicode();
        std::uint32_t digit;
        if (u >= u'0' && u <= u'9')
            digit = u - u'0';
        else if (u >= u'a' && u <= u'f')
            digit = u - u'a' + 10;
        else if (u >= u'A' && u <= u'F')
            digit = u - u'A' + 10;
        else
            return std::nullopt;
        bgr = (bgr << 4) | digit;
    }
    // The high byte of the 0x00BBGGRR layout names no colour of its own; such values are left out.
    if (bgr > 0x00FFFFFFu)
        return std::nullopt;
    const std::uint32_t red = bgr & 0xFF;
    const std::uint32_t green = (bgr >> 8) & 0xFF;
    const std::uint32_t blue = (bgr >> 16) & 0xFF;
    return (red << 16) | (green << 8) | blue;
}

TOrvel_RowFormat ParseRowFormat(const QString &text) {
    TOrvel_RowFormat format;
    if (text.isEmpty())
        return format;
    const QStringList entries = SplitRowFormatEntries(text);
    if (const auto color = RowFormatValue(entries, QStringLiteral("color"));
        color && !color->isEmpty())
        format.Color = ParseRowFormatColor(*color);
    if (const auto fontColor = RowFormatValue(entries, QStringLiteral("fontcolor"));
        fontColor && !fontColor->isEmpty())
        format.FontColor = ParseRowFormatColor(*fontColor);
    if (const auto style = RowFormatValue(entries, QStringLiteral("fontstyle")); style) {
        // Upper-case letters only: "bi" is not a style.
        format.Underline = style->contains(u'U');
        format.Bold = style->contains(u'B');
        format.Italic = style->contains(u'I');
    }
    if (const auto line = RowFormatValue(entries, QStringLiteral("line")); line)
        format.LineUp = *line == u"up";
    return format;
}
