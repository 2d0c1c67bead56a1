#pragma once
// Regional settings pinned for the format tests: every text the engine reads from them is fixed
// here, so the expected outputs do not move with the locale data of the Qt build.
#include "U_locale.h"

inline TOrvel_FormatSettings PolishSettings() {
    TOrvel_FormatSettings fs =
        TOrvel_FormatSettings::FromLocale(QLocale(QLocale::Polish, QLocale::Poland));
    fs.DecimalSeparator = u',';
    fs.ThousandSeparator = QChar(0x00A0);
    fs.DateSeparator = u'.';
    fs.TimeSeparator = u':';
    fs.ShortDateFormat = QStringLiteral("dd.MM.yyyy");
    fs.LongDateFormat = QStringLiteral("d MMMM yyyy");
    fs.ShortTimeFormat = QStringLiteral("HH:mm");
    fs.LongTimeFormat = QStringLiteral("HH:mm:ss");
    fs.TimeAMString = QStringLiteral("AM");
    fs.TimePMString = QStringLiteral("PM");
    fs.ShortMonthNames =
        QStringList{u"sty"_qs, u"lut"_qs, u"mar"_qs, u"kwi"_qs, u"maj"_qs, u"cze"_qs,
                    u"lip"_qs, u"sie"_qs, u"wrz"_qs, u"paź"_qs, u"lis"_qs, u"gru"_qs};
    fs.LongMonthNames =
        QStringList{u"styczeń"_qs,  u"luty"_qs,        u"marzec"_qs,   u"kwiecień"_qs,
                    u"maj"_qs,      u"czerwiec"_qs,    u"lipiec"_qs,   u"sierpień"_qs,
                    u"wrzesień"_qs, u"październik"_qs, u"listopad"_qs, u"grudzień"_qs};
    fs.ShortDayNames = QStringList{u"pon."_qs, u"wt."_qs,  u"śr."_qs,   u"czw."_qs,
                                   u"pt."_qs,  u"sob."_qs, u"niedz."_qs};
    fs.LongDayNames = QStringList{u"poniedziałek"_qs, u"wtorek"_qs, u"środa"_qs,    u"czwartek"_qs,
                                  u"piątek"_qs,       u"sobota"_qs, u"niedziela"_qs};
    return fs;
}

inline TOrvel_FormatSettings EnglishSettings() {
    TOrvel_FormatSettings fs =
        TOrvel_FormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    fs.DecimalSeparator = u'.';
    fs.ThousandSeparator = u',';
    fs.DateSeparator = u'/';
    fs.TimeSeparator = u':';
    fs.ShortDateFormat = QStringLiteral("M/d/yyyy");
    fs.LongDateFormat = QStringLiteral("dddd, MMMM d, yyyy");
    fs.ShortTimeFormat = QStringLiteral("h:mm AP");
    fs.LongTimeFormat = QStringLiteral("h:mm:ss AP");
    fs.TimeAMString = QStringLiteral("AM");
    fs.TimePMString = QStringLiteral("PM");
    fs.ShortMonthNames =
        QStringList{u"Jan"_qs, u"Feb"_qs, u"Mar"_qs, u"Apr"_qs, u"May"_qs, u"Jun"_qs,
                    u"Jul"_qs, u"Aug"_qs, u"Sep"_qs, u"Oct"_qs, u"Nov"_qs, u"Dec"_qs};
    fs.LongMonthNames =
        QStringList{u"January"_qs,   u"February"_qs, u"March"_qs,    u"April"_qs,
                    u"May"_qs,       u"June"_qs,     u"July"_qs,     u"August"_qs,
                    u"September"_qs, u"October"_qs,  u"November"_qs, u"December"_qs};
    fs.ShortDayNames =
        QStringList{u"Mon"_qs, u"Tue"_qs, u"Wed"_qs, u"Thu"_qs, u"Fri"_qs, u"Sat"_qs, u"Sun"_qs};
    fs.LongDayNames = QStringList{u"Monday"_qs, u"Tuesday"_qs,  u"Wednesday"_qs, u"Thursday"_qs,
                                  u"Friday"_qs, u"Saturday"_qs, u"Sunday"_qs};
    return fs;
}

inline TOrvel_FormatSettings SettingsNamed(const QString &name) {
    return name == u"en" ? EnglishSettings() : PolishSettings();
}
