#pragma once
// The user's regional settings as the system uses them: separators, date and time formats, month
// and day names. Taken from QLocale::system() unless a test or the command-line runner pins a
// locale with SetUserLocale.
#include <QLocale>
#include <QString>
#include <QStringList>

struct TOrvel_FormatSettings {
    QChar DecimalSeparator;
    QChar ThousandSeparator;
    QChar DateSeparator;
    QChar TimeSeparator;
    QString ShortDateFormat; // Qt date pattern, e.g. "dd.MM.yyyy"
    QString LongDateFormat;
    QString ShortTimeFormat; // Qt time pattern, e.g. "HH:mm"
    QString LongTimeFormat;
    QString TimeAMString;
    QString TimePMString;
    QStringList ShortMonthNames; // 12 entries
    QStringList LongMonthNames;
    QStringList ShortDayNames; // 7 entries, Monday first (Qt's order)
    QStringList LongDayNames;
    QLocale Locale;

    static TOrvel_FormatSettings FromLocale(const QLocale &locale);
};

// The settings in force: the pinned locale or the system's.
const TOrvel_FormatSettings &UserFormatSettings();
QLocale UserLocale();
// Pins the user's locale (tests, the command-line runner); a default QLocale() unpins it.
void SetUserLocale(const QLocale &locale);
void ResetUserLocale();
// Changes whenever the settings in force may have changed: what was compiled from them is stale.
unsigned UserFormatSettingsVersion();
