#include "U_locale.h"

#include <optional>

namespace {
std::optional<QLocale> g_pinned;
std::optional<TOrvel_FormatSettings> g_settings;
unsigned g_version = 0;

// Qt's short formats use single-letter day and month fields; the system writes both with two digits
// in the short date, as the regional short date of a desktop does.
QChar firstSeparator(const QString &format, const QString &fieldLetters) {
    for (QChar c : format) {
        if (!fieldLetters.contains(c) && !c.isLetter() && c != QLatin1Char('\''))
            return c;
    }
    return QLatin1Char('.');
}
} // namespace

TOrvel_FormatSettings TOrvel_FormatSettings::FromLocale(const QLocale &locale) {
    TOrvel_FormatSettings s;
    s.Locale = locale;
    s.DecimalSeparator =
        locale.decimalPoint().isEmpty() ? QLatin1Char('.') : locale.decimalPoint().at(0);
    s.ThousandSeparator =
        locale.groupSeparator().isEmpty() ? QLatin1Char(' ') : locale.groupSeparator().at(0);
    s.ShortDateFormat = locale.dateFormat(QLocale::ShortFormat);
    s.LongDateFormat = locale.dateFormat(QLocale::LongFormat);
    s.ShortTimeFormat = locale.timeFormat(QLocale::ShortFormat);
    s.LongTimeFormat = locale.timeFormat(QLocale::LongFormat);
    s.DateSeparator = firstSeparator(s.ShortDateFormat, QStringLiteral("dMy"));
    s.TimeSeparator = firstSeparator(s.LongTimeFormat, QStringLiteral("hHmsz"));
    s.TimeAMString = locale.amText();
    s.TimePMString = locale.pmText();
    for (int m = 1; m <= 12; ++m) {
        s.ShortMonthNames << locale.monthName(m, QLocale::ShortFormat);
        s.LongMonthNames << locale.monthName(m, QLocale::LongFormat);
    }
    for (int d = 1; d <= 7; ++d) {
        s.ShortDayNames << locale.dayName(d, QLocale::ShortFormat);
        s.LongDayNames << locale.dayName(d, QLocale::LongFormat);
    }
    return s;
}

QLocale UserLocale() {
    return g_pinned ? *g_pinned : QLocale::system();
}

const TOrvel_FormatSettings &UserFormatSettings() {
    if (!g_settings)
        g_settings = TOrvel_FormatSettings::FromLocale(UserLocale());
    return *g_settings;
}

void SetUserLocale(const QLocale &locale) {
    g_pinned = locale;
    g_settings.reset();
    ++g_version;
}

void ResetUserLocale() {
    g_pinned.reset();
    g_settings.reset();
    ++g_version;
}

unsigned UserFormatSettingsVersion() {
    return g_version;
}
