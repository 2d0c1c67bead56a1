// Date-time display patterns ("dd/mm/yyyy hh:nn", "c", "am/pm") and the user's own date and time
// formats. The user's formats are Qt patterns; they are written here with the names and markers of
// the given settings, so that a test can pin every text, and without the time zone Qt's long time
// format carries (result values have none). A pattern is compiled once into steps; a value's
// calendar fields come from its milliseconds by integer arithmetic.
#include "U_DisplayFormat.h"

#include <charconv>

namespace {

constexpr std::int64_t kMSecsPerDay = 86400000;
// 1970-01-01 as a Julian day number.
constexpr std::int64_t kEpochJulianDay = 2440588;

enum Op : std::uint8_t {
    opLiteral,
    opYear,  // Digits: minimum digits of the full year
    opYear2, // the year's last two digits
    opMonth, // Digits: 1 or 2
    opMonthShort,
    opMonthLong,
    opDay,
    opDayShort,
    opDayLong,
    opHour, // TwelveHour: 1..12
    opMinute,
    opSecond,
    opMSec,
    opMarker, // Text: the morning marker, Text + 1 the afternoon one
    opShortDate,
    opLongDate,
    opShortTime,
    opLongTime,
    opDateAndTime,
};

enum UserFormat { ufShortDate, ufLongDate, ufShortTime, ufLongTime };

QChar Upper(QChar c) {
    return (c >= u'a' && c <= u'z') ? QChar(c.unicode() - 32) : c;
}

// Length of the run of `c` (either letter case) starting at i.
qsizetype RunLength(QStringView s, qsizetype i) {
    const QChar c = Upper(s[i]);
    qsizetype n = 1;
    while (i + n < s.size() && Upper(s[i + n]) == c)
        ++n;
    return n;
}

qsizetype QuotedLength(QStringView s, qsizetype i) {
    const qsizetype close = s.indexOf(s[i], i + 1);
    return close < 0 ? s.size() - i : close - i + 1;
}

QStringView QuotedText(QStringView s, qsizetype i) {
    const qsizetype close = s.indexOf(s[i], i + 1);
    return close < 0 ? s.mid(i + 1) : s.mid(i + 1, close - i - 1);
}

enum class TAmPm { None, AmPm, AP, User };

TAmPm AmPmAt(QStringView s, qsizetype i) {
    if (s.mid(i, 5).compare(u"am/pm", Qt::CaseInsensitive) == 0)
        return TAmPm::AmPm;
    if (s.mid(i, 3).compare(u"a/p", Qt::CaseInsensitive) == 0)
        return TAmPm::AP;
    if (s.mid(i, 4).compare(u"ampm", Qt::CaseInsensitive) == 0)
        return TAmPm::User;
    return TAmPm::None;
}

// An hour specifier uses the 12-hour clock when a marker follows before the next hour specifier.
bool TwelveHourAfter(QStringView s, qsizetype i) {
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\'' || c == u'"')
            i += QuotedLength(s, i) - 1;
        else if (Upper(c) == u'H')
            return false;
        else if (Upper(c) == u'A' && AmPmAt(s, i) != TAmPm::None)
            return true;
    }
    return false;
}

int Hour12(int hour) {
    return hour == 0 ? 12 : (hour > 12 ? hour - 12 : hour);
}

// The number's text left-padded with zeros to minDigits characters (a sign counts as one).
void AppendNumber(TOrvel_TextBuffer &out, int value, int minDigits) {
    char buf[16];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    const qsizetype size = res.ptr - buf;
    out.AppendRepeated(u'0', minDigits - size);
    out.AppendAscii(buf, size);
}

} // namespace

// The calendar fields of one value (Qt's calendar: proleptic Gregorian, no year 0).
struct TOrvel_DateTimeFormat::Fields {
    int Year = 2000, Month = 1, Day = 1;
    int DayOfWeek = 6; // 1 Monday .. 7 Sunday
    int Hour = 0, Minute = 0, Second = 0, MSec = 0;
    bool Midnight = true;

    static Fields FromMSecs(std::int64_t msecs) {
        std::int64_t days = msecs / kMSecsPerDay;
        std::int64_t rest = msecs % kMSecsPerDay;
        if (rest < 0) {
            rest += kMSecsPerDay;
            --days;
        }
        Fields f;
        // Days since 1970-01-01 to year, month and day (the civil-from-days algorithm on
        // 400-year eras, March-based years).
        const std::int64_t z = days + 719468;
        const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        const std::int64_t doe = z - era * 146097;
        const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const std::int64_t mp = (5 * doy + 2) / 153;
        const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
        const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
        std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
        if (y <= 0)
            --y; // no year 0: 1 BC is year -1
        f.Year = static_cast<int>(y);
        f.Month = static_cast<int>(m);
        f.Day = static_cast<int>(d);
        // 1970-01-01 was a Thursday.
        f.DayOfWeek = static_cast<int>(((days % 7) + 7 + 3) % 7) + 1;
        const int ms = static_cast<int>(rest);
        f.Hour = ms / 3600000;
        f.Minute = ms / 60000 % 60;
        f.Second = ms / 1000 % 60;
        f.MSec = ms % 1000;
        f.Midnight = ms == 0;
        return f;
    }
    // The date alone, as the user's date formats see it (midnight).
    Fields DateOnly() const {
        Fields f = *this;
        f.Hour = f.Minute = f.Second = f.MSec = 0;
        f.Midnight = true;
        return f;
    }
    // The time alone, as the user's time formats see it (on 2000-01-01, a Saturday).
    Fields TimeOnly() const {
        Fields f = *this;
        f.Year = 2000;
        f.Month = 1;
        f.Day = 1;
        f.DayOfWeek = 6;
        return f;
    }
};

int TOrvel_DateTimeFormat::AddText(QStringView text) {
    FTexts.push_back(text.toString());
    return static_cast<int>(FTexts.size()) - 1;
}

TOrvel_DateTimeFormat::TOrvel_DateTimeFormat(const QString &pattern,
                                             const TOrvel_FormatSettings &fs, Default empty) {
    for (int i = 0; i < 12; ++i) {
        FShortMonths[i] = AddText(fs.ShortMonthNames.value(i));
        FLongMonths[i] = AddText(fs.LongMonthNames.value(i));
    }
    for (int i = 0; i < 7; ++i) {
        FShortDays[i] = AddText(fs.ShortDayNames.value(i));
        FLongDays[i] = AddText(fs.LongDayNames.value(i));
    }
    FDateSeparator =
        AddText(fs.DateSeparator.isNull() ? QStringLiteral("/") : QString(fs.DateSeparator));
    FTimeSeparator =
        AddText(fs.TimeSeparator.isNull() ? QStringLiteral(":") : QString(fs.TimeSeparator));
    FUserAm = AddText(fs.TimeAMString);
    AddText(fs.TimePMString);
    CompileUser(FUser[ufShortDate], fs.ShortDateFormat, fs);
    CompileUser(FUser[ufLongDate], fs.LongDateFormat, fs);
    CompileUser(FUser[ufShortTime], fs.ShortTimeFormat, fs);
    CompileUser(FUser[ufLongTime], fs.LongTimeFormat, fs);
    if (!pattern.isEmpty()) {
        CompilePattern(pattern);
        return;
    }
    const std::uint8_t op = empty == Default::DateOnly   ? opShortDate
                            : empty == Default::TimeOnly ? opLongTime
                                                         : opDateAndTime;
    FPattern.Steps.push_back(Step{op, 0, false, -1});
}

// The user's formats are Qt patterns: letters by exact case, 'a'/'ap' for the markers in the
// letter case written, a time-zone field left out.
void TOrvel_DateTimeFormat::CompileUser(Program &program, QStringView fmt,
                                        const TOrvel_FormatSettings &fs) {
    bool twelveHour = false;
    for (qsizetype i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == u'\'')
            i += QuotedLength(fmt, i) - 1;
        else if (fmt[i] == u'a' || fmt[i] == u'A')
            twelveHour = true;
    }
    auto step = [&program](std::uint8_t op, int digits = 0, int text = -1, bool twelve = false) {
        program.Steps.push_back(Step{op, static_cast<std::uint8_t>(digits), twelve, text});
    };
    for (qsizetype i = 0; i < fmt.size();) {
        const QChar c = fmt[i];
        if (c == u'\'') {
            const qsizetype len = QuotedLength(fmt, i);
            // '' stands for one quote
            step(opLiteral, 0,
                 AddText(len == 2 && i + 1 < fmt.size() && fmt[i + 1] == u'\''
                             ? QStringView(u"'")
                             : QuotedText(fmt, i)));
            i += len;
            continue;
        }
        qsizetype n = 1;
        while (i + n < fmt.size() && fmt[i + n] == c)
            ++n;
        switch (c.unicode()) {
        case u'd':
            step(n == 1 ? opDay : n == 2 ? opDay : n == 3 ? opDayShort : opDayLong, n == 2 ? 2 : 1);
            break;
        case u'M':
            step(n == 1   ? opMonth
                 : n == 2 ? opMonth
                 : n == 3 ? opMonthShort
                          : opMonthLong,
                 n == 2 ? 2 : 1);
            break;
        case u'y':
            if (n >= 3)
                step(opYear, 4);
            else
                step(opYear2);
            break;
        case u'h':
        case u'H':
            step(opHour, n >= 2 ? 2 : 1, -1, c == u'h' && twelveHour);
            break;
        case u'm':
            step(opMinute, n >= 2 ? 2 : 1);
            break;
        case u's':
            step(opSecond, n >= 2 ? 2 : 1);
            break;
        case u'z':
            step(opMSec, n >= 3 ? 3 : 1);
            break;
        case u'a':
        case u'A': {
            const bool lower = c == u'a';
            n = i + 1 < fmt.size() && (fmt[i + 1] == u'p' || fmt[i + 1] == u'P') ? 2 : 1;
            const int am = AddText(lower ? fs.TimeAMString.toLower() : fs.TimeAMString.toUpper());
            AddText(lower ? fs.TimePMString.toLower() : fs.TimePMString.toUpper());
            step(opMarker, 0, am);
            break;
        }
        case u't':
            program.Trim = true;
            break;
        default:
            step(opLiteral, 0, AddText(fmt.mid(i, n)));
            break;
        }
        i += n;
    }
}

// Display patterns: letters in either case, "m" right after an hour meaning minutes, "/" and ":"
// as the user's separators, quoted literals.
void TOrvel_DateTimeFormat::CompilePattern(QStringView p) {
    auto step = [this](std::uint8_t op, int digits = 0, int text = -1, bool twelve = false) {
        FPattern.Steps.push_back(Step{op, static_cast<std::uint8_t>(digits), twelve, text});
    };
    QChar lastToken;
    for (qsizetype i = 0; i < p.size();) {
        const QChar c = p[i];
        if (c == u'\'' || c == u'"') {
            step(opLiteral, 0, AddText(QuotedText(p, i)));
            i += QuotedLength(p, i);
            continue;
        }
        QChar token = Upper(c);
        if (token >= u'A' && token <= u'Z') {
            if (token == u'M' && lastToken == u'H')
                token = u'N';
            lastToken = token;
        }
        qsizetype n = 1;
        switch (token.unicode()) {
        case u'Y':
            n = RunLength(p, i);
            if (n <= 2)
                step(opYear2);
            else
                step(opYear, 4);
            break;
        case u'M':
            n = RunLength(p, i);
            step(n <= 2 ? opMonth : n == 3 ? opMonthShort : opMonthLong, n == 2 ? 2 : 1);
            break;
        case u'D':
            n = RunLength(p, i);
            step(n <= 2   ? opDay
                 : n == 3 ? opDayShort
                 : n == 4 ? opDayLong
                 : n == 5 ? opShortDate
                          : opLongDate,
                 n == 2 ? 2 : 1);
            break;
        case u'H':
            n = RunLength(p, i);
            step(opHour, n >= 2 ? 2 : 1, -1, TwelveHourAfter(p, i + n));
            break;
        case u'N':
            n = RunLength(p, i);
            step(opMinute, n >= 2 ? 2 : 1);
            break;
        case u'S':
            n = RunLength(p, i);
            step(opSecond, n >= 2 ? 2 : 1);
            break;
        case u'Z':
            n = RunLength(p, i);
            step(opMSec, static_cast<int>(std::min<qsizetype>(n, 3)));
            break;
        case u'T':
            n = RunLength(p, i);
            step(n == 1 ? opShortTime : opLongTime);
            break;
        case u'C':
            n = RunLength(p, i);
            step(opDateAndTime);
            break;
        case u'A':
            switch (AmPmAt(p, i)) {
            case TAmPm::AmPm: // the marker in the letter case written
                step(opMarker, 0, AddText(p.mid(i, 2)));
                AddText(p.mid(i + 3, 2));
                n = 5;
                break;
            case TAmPm::AP:
                step(opMarker, 0, AddText(p.mid(i, 1)));
                AddText(p.mid(i + 2, 1));
                n = 3;
                break;
            case TAmPm::User:
                step(opMarker, 0, FUserAm);
                n = 4;
                break;
            case TAmPm::None:
                step(opLiteral, 0, AddText(p.mid(i, 1)));
                break;
            }
            break;
        case u'/':
            step(opLiteral, 0, FDateSeparator);
            break;
        case u':':
            step(opLiteral, 0, FTimeSeparator);
            break;
        default:
            step(opLiteral, 0, AddText(p.mid(i, 1)));
            break;
        }
        i += n;
    }
}

void TOrvel_DateTimeFormat::Run(const Program &program, const Fields &f,
                                TOrvel_TextBuffer &out) const {
    const qsizetype start = out.Size();
    for (const Step &s : program.Steps) {
        switch (s.Op) {
        case opLiteral:
            out.Append(QStringView(FTexts[static_cast<std::size_t>(s.Text)]));
            break;
        case opYear:
            AppendNumber(out, f.Year, s.Digits);
            break;
        case opYear2:
            AppendNumber(out, f.Year % 100, 2);
            break;
        case opMonth:
            AppendNumber(out, f.Month, s.Digits);
            break;
        case opMonthShort:
            out.Append(QStringView(FTexts[static_cast<std::size_t>(FShortMonths[f.Month - 1])]));
            break;
        case opMonthLong:
            out.Append(QStringView(FTexts[static_cast<std::size_t>(FLongMonths[f.Month - 1])]));
            break;
        case opDay:
            AppendNumber(out, f.Day, s.Digits);
            break;
        case opDayShort:
            out.Append(QStringView(FTexts[static_cast<std::size_t>(FShortDays[f.DayOfWeek - 1])]));
            break;
        case opDayLong:
            out.Append(QStringView(FTexts[static_cast<std::size_t>(FLongDays[f.DayOfWeek - 1])]));
            break;
        case opHour:
            AppendNumber(out, s.TwelveHour ? Hour12(f.Hour) : f.Hour, s.Digits);
            break;
        case opMinute:
            AppendNumber(out, f.Minute, s.Digits);
            break;
        case opSecond:
            AppendNumber(out, f.Second, s.Digits);
            break;
        case opMSec:
            AppendNumber(out, f.MSec, s.Digits);
            break;
        case opMarker:
            out.Append(QStringView(FTexts[static_cast<std::size_t>(s.Text + (f.Hour >= 12))]));
            break;
        case opShortDate:
            Run(FUser[ufShortDate], f.DateOnly(), out);
            break;
        case opLongDate:
            Run(FUser[ufLongDate], f.DateOnly(), out);
            break;
        case opShortTime:
            Run(FUser[ufShortTime], f.TimeOnly(), out);
            break;
        case opLongTime:
            Run(FUser[ufLongTime], f.TimeOnly(), out);
            break;
        case opDateAndTime:
            Run(FUser[ufShortDate], f.DateOnly(), out);
            if (!f.Midnight) {
                out.Append(u' ');
                Run(FUser[ufLongTime], f.TimeOnly(), out);
            }
            break;
        }
    }
    if (program.Trim)
        out.TrimFrom(start);
}

void TOrvel_DateTimeFormat::AppendMSecs(std::int64_t msecs, TOrvel_TextBuffer &out) const {
    Run(FPattern, Fields::FromMSecs(msecs), out);
}

namespace {

std::int64_t ToMSecs(const QDate &date, const QTime &time) {
    return (date.toJulianDay() - kEpochJulianDay) * kMSecsPerDay +
           (time.isValid() ? time.msecsSinceStartOfDay() : 0);
}

QString Formatted(const QString &pattern, const TOrvel_FormatSettings &fs,
                  TOrvel_DateTimeFormat::Default empty, std::int64_t msecs) {
    TOrvel_TextBuffer out;
    TOrvel_DateTimeFormat(pattern, fs, empty).AppendMSecs(msecs, out);
    return out.ToString();
}

} // namespace

QString FormatDateTime(const QString &pattern, const QDateTime &value,
                       const TOrvel_FormatSettings &fs) {
    if (!value.isValid())
        return {};
    return Formatted(pattern, fs, TOrvel_DateTimeFormat::Default::DateAndTime,
                     ToMSecs(value.date(), value.time()));
}

QString FormatDateOnly(const QDate &value, const TOrvel_FormatSettings &fs) {
    return value.isValid() ? Formatted({}, fs, TOrvel_DateTimeFormat::Default::DateOnly,
                                       ToMSecs(value, QTime(0, 0)))
                           : QString();
}

QString FormatTimeOnly(const QTime &value, const TOrvel_FormatSettings &fs) {
    return value.isValid() ? Formatted({}, fs, TOrvel_DateTimeFormat::Default::TimeOnly,
                                       ToMSecs(QDate(2000, 1, 1), value))
                           : QString();
}
