// Date-time display patterns ("dd/mm/yyyy hh:nn", "c", "am/pm") and the user's own date and time
// formats. The user's formats are Qt patterns; they are written here with the names and markers of
// the given settings, so that a test can pin every text, and without the time zone Qt's long time
// format carries (result values have none).
#include "U_DisplayFormat.h"

namespace {

QChar Upper(QChar c) {
    return (c >= u'a' && c <= u'z') ? QChar(c.unicode() - 32) : c;
}

QString Number(int value, int minDigits) {
    QString s = QString::number(value);
    if (s.size() < minDigits)
        s.prepend(QString(minDigits - s.size(), u'0'));
    return s;
}

int Hour12(int hour) {
    return hour == 0 ? 12 : (hour > 12 ? hour - 12 : hour);
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

// ---- The user's formats (Qt pattern letters) ----

QString RenderUserFormat(QStringView fmt, const QDate &date, const QTime &time,
                         const TOrvel_FormatSettings &fs) {
    bool twelveHour = false;
    for (qsizetype i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == u'\'')
            i += QuotedLength(fmt, i) - 1;
        else if (fmt[i] == u'a' || fmt[i] == u'A')
            twelveHour = true;
    }
    QString out;
    bool droppedZone = false;
    for (qsizetype i = 0; i < fmt.size();) {
        const QChar c = fmt[i];
        if (c == u'\'') {
            const qsizetype len = QuotedLength(fmt, i);
            // '' stands for one quote
            out += len == 2 && i + 1 < fmt.size() && fmt[i + 1] == u'\'' ? QStringView(u"'")
                                                                         : QuotedText(fmt, i);
            i += len;
            continue;
        }
        qsizetype n = 1;
        while (i + n < fmt.size() && fmt[i + n] == c)
            ++n;
        switch (c.unicode()) {
        case u'd':
            out += n == 1   ? QString::number(date.day())
                   : n == 2 ? Number(date.day(), 2)
                   : n == 3 ? fs.ShortDayNames.value(date.dayOfWeek() - 1)
                            : fs.LongDayNames.value(date.dayOfWeek() - 1);
            break;
        case u'M':
            out += n == 1   ? QString::number(date.month())
                   : n == 2 ? Number(date.month(), 2)
                   : n == 3 ? fs.ShortMonthNames.value(date.month() - 1)
                            : fs.LongMonthNames.value(date.month() - 1);
            break;
        case u'y':
            out += n >= 3 ? Number(date.year(), 4) : Number(date.year() % 100, 2);
            break;
        case u'h':
        case u'H': {
            const int h = (c == u'h' && twelveHour) ? Hour12(time.hour()) : time.hour();
            out += Number(h, n >= 2 ? 2 : 1);
            break;
        }
        case u'm':
            out += Number(time.minute(), n >= 2 ? 2 : 1);
            break;
        case u's':
            out += Number(time.second(), n >= 2 ? 2 : 1);
            break;
        case u'z':
            out += Number(time.msec(), n >= 3 ? 3 : 1);
            break;
        case u'a':
        case u'A': {
            const bool lower = c == u'a';
            if (i + 1 < fmt.size() && (fmt[i + 1] == u'p' || fmt[i + 1] == u'P'))
                n = 2;
            else
                n = 1;
            const QString marker = time.hour() < 12 ? fs.TimeAMString : fs.TimePMString;
            out += lower ? marker.toLower() : marker.toUpper();
            break;
        }
        case u't':
            droppedZone = true;
            break;
        default:
            out += fmt.mid(i, n);
            break;
        }
        i += n;
    }
    return droppedZone ? out.trimmed() : out;
}

QString ShortDate(const QDate &d, const TOrvel_FormatSettings &fs) {
    return RenderUserFormat(fs.ShortDateFormat, d, QTime(0, 0), fs);
}
QString LongDate(const QDate &d, const TOrvel_FormatSettings &fs) {
    return RenderUserFormat(fs.LongDateFormat, d, QTime(0, 0), fs);
}
QString ShortTime(const QTime &t, const TOrvel_FormatSettings &fs) {
    return RenderUserFormat(fs.ShortTimeFormat, QDate(2000, 1, 1), t, fs);
}
QString LongTime(const QTime &t, const TOrvel_FormatSettings &fs) {
    return RenderUserFormat(fs.LongTimeFormat, QDate(2000, 1, 1), t, fs);
}

QString DateAndTime(const QDate &d, const QTime &t, const TOrvel_FormatSettings &fs) {
    QString s = ShortDate(d, fs);
    if (t != QTime(0, 0))
        s += u' ' + LongTime(t, fs);
    return s;
}

// ---- Display patterns ----

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

} // namespace

QString FormatDateTime(const QString &pattern, const QDateTime &value,
                       const TOrvel_FormatSettings &fs) {
    if (!value.isValid())
        return {};
    const QDate date = value.date();
    const QTime time = value.time();
    if (pattern.isEmpty())
        return DateAndTime(date, time, fs);

    const QStringView p = pattern;
    QString out;
    QChar lastToken;
    for (qsizetype i = 0; i < p.size();) {
        const QChar c = p[i];
        if (c == u'\'' || c == u'"') {
            out += QuotedText(p, i);
            i += QuotedLength(p, i);
            continue;
        }
        QChar token = Upper(c);
        if (token >= u'A' && token <= u'Z') {
            // "m" right after an hour specifier means minutes
            if (token == u'M' && lastToken == u'H')
                token = u'N';
            lastToken = token;
        }
        qsizetype n = 1;
        switch (token.unicode()) {
        case u'Y':
            n = RunLength(p, i);
            out += n <= 2 ? Number(date.year() % 100, 2) : Number(date.year(), 4);
            break;
        case u'M':
            n = RunLength(p, i);
            out += n == 1   ? QString::number(date.month())
                   : n == 2 ? Number(date.month(), 2)
                   : n == 3 ? fs.ShortMonthNames.value(date.month() - 1)
                            : fs.LongMonthNames.value(date.month() - 1);
            break;
        case u'D':
            n = RunLength(p, i);
            out += n == 1   ? QString::number(date.day())
                   : n == 2 ? Number(date.day(), 2)
                   : n == 3 ? fs.ShortDayNames.value(date.dayOfWeek() - 1)
                   : n == 4 ? fs.LongDayNames.value(date.dayOfWeek() - 1)
                   : n == 5 ? ShortDate(date, fs)
                            : LongDate(date, fs);
            break;
        case u'H': {
            n = RunLength(p, i);
            const int h = TwelveHourAfter(p, i + n) ? Hour12(time.hour()) : time.hour();
            out += Number(h, n >= 2 ? 2 : 1);
            break;
        }
        case u'N':
            n = RunLength(p, i);
            out += Number(time.minute(), n >= 2 ? 2 : 1);
            break;
        case u'S':
            n = RunLength(p, i);
            out += Number(time.second(), n >= 2 ? 2 : 1);
            break;
        case u'Z':
            n = RunLength(p, i);
            out += Number(time.msec(), static_cast<int>(std::min<qsizetype>(n, 3)));
            break;
        case u'T':
            n = RunLength(p, i);
            out += n == 1 ? ShortTime(time, fs) : LongTime(time, fs);
            break;
        case u'C':
            n = RunLength(p, i);
            out += DateAndTime(date, time, fs);
            break;
        case u'A': {
            const bool pm = time.hour() >= 12;
            switch (AmPmAt(p, i)) {
            case TAmPm::AmPm: // the marker in the letter case written
                out += pm ? p.mid(i + 3, 2) : p.mid(i, 2);
                n = 5;
                break;
            case TAmPm::AP:
                out += pm ? p[i + 2] : p[i];
                n = 3;
                break;
            case TAmPm::User:
                out += pm ? fs.TimePMString : fs.TimeAMString;
                n = 4;
                break;
            case TAmPm::None:
                out += c;
                break;
            }
            break;
        }
        case u'/':
            out += fs.DateSeparator.isNull() ? QChar(u'/') : fs.DateSeparator;
            break;
        case u':':
            out += fs.TimeSeparator.isNull() ? QChar(u':') : fs.TimeSeparator;
            break;
        default:
            out += c;
            break;
        }
        i += n;
    }
    return out;
}

QString FormatDateOnly(const QDate &value, const TOrvel_FormatSettings &fs) {
    return value.isValid() ? ShortDate(value, fs) : QString();
}

QString FormatTimeOnly(const QTime &value, const TOrvel_FormatSettings &fs) {
    return value.isValid() ? LongTime(value, fs) : QString();
}
