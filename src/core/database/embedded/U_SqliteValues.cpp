#include "U_SqliteValues.h"

#include "U_TSql.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace sqliteengine {

namespace {

bool isDigits(const char *s, int n) {
    for (int i = 0; i < n; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}
int digits(const char *s, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 10 + (s[i] - '0');
    return v;
}

} // namespace

// The engine's date texts ("YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]", "T" allowed) as
// milliseconds since 1970-01-01, without allocation (results of a million rows pass here).
bool parseStoredDateTime(const char *s, int n, std::int64_t &msecs, bool &hasTime) {
    if (n < 10 || !isDigits(s, 4) || s[4] != '-' || !isDigits(s + 5, 2) || s[7] != '-' ||
        !isDigits(s + 8, 2))
        return false;
    const QDate date(digits(s, 4), digits(s + 5, 2), digits(s + 8, 2));
    if (!date.isValid())
        return false;
    int h = 0, mi = 0, sec = 0, ms = 0;
    hasTime = false;
    if (n > 10) {
        if ((s[10] != ' ' && s[10] != 'T') || n < 16 || !isDigits(s + 11, 2) || s[13] != ':' ||
            !isDigits(s + 14, 2))
            return false;
        h = digits(s + 11, 2);
        mi = digits(s + 14, 2);
        int p = 16;
        if (n > p) {
            if (s[p] != ':' || n < p + 3 || !isDigits(s + p + 1, 2))
                return false;
            sec = digits(s + p + 1, 2);
            p += 3;
            if (n > p) {
                if (s[p] != '.' || n == p + 1 || !isDigits(s + p + 1, n - p - 1))
                    return false;
                const int len = std::min(3, n - p - 1);
                ms = digits(s + p + 1, len);
                for (int k = len; k < 3; ++k)
                    ms *= 10;
            }
        }
        if (h > 23 || mi > 59 || sec > 59)
            return false;
        hasTime = true;
    }
    msecs = QDate(1970, 1, 1).daysTo(date) * 86400000LL + ((h * 60 + mi) * 60 + sec) * 1000LL + ms;
    return true;
}

bool parseStoredTime(const char *s, int n, std::int64_t &msecs) {
    const QTime t =
        QTime::fromString(QString::fromLatin1(s, n),
                          n > 8 ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
    if (!t.isValid())
        return false;
    msecs = t.msecsSinceStartOfDay();
    return true;
}

// The text of any stored value, for a column that had to become text.
QString canonicalText(const DbColumn &c, std::size_t row) {
    const TFieldType t = c.Info().Type;
    switch (t) {
    case TFieldType::ftDate:
        return tsql::DateText(c.DateTime(row).date());
    case TFieldType::ftDateTime:
        return tsql::DateTimeText(c.DateTime(row));
    case TFieldType::ftTime:
        return tsql::TimeText(c.DateTime(row).time());
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
        return QString::number(c.Real(row), 'g', QLocale::FloatingPointShortest);
    default:
        break;
    }
    if (DbColumn::SameStorage(t, TFieldType::ftInteger))
        return QString::number(c.Int(row));
    return c.Text(row).toString();
}

// The digits of v to `scale` places, as QString::number(v, 'f', scale) writes them (an exact half
// rounded away from zero, negative zero as "0"), into `buffer`, without a string per cell; the
// length, or 0 when the buffer is too small.
int fixedDecimal(double v, int scale, char *buffer, int size) {
    if (size < 2)
        return 0;
    // Halfway exactly when v * 2^(scale+1) is an odd whole number: the digits to scale + 1
    // places are then exact and end in 5.
    const double w = std::ldexp(v, scale + 1);
    const bool half = std::isfinite(w) && w == std::trunc(w) && std::fmod(w, 2.0) != 0;
    if (!half) {
        const auto result =
            std::to_chars(buffer, buffer + size, v, std::chars_format::fixed, scale);
        if (result.ec != std::errc())
            return 0;
        int n = static_cast<int>(result.ptr - buffer);
        if (v == 0 && buffer[0] == '-') {
            std::memmove(buffer, buffer + 1, static_cast<std::size_t>(n - 1));
            --n;
        }
        return n;
    }
    // One place more (room kept for a carry into a new first digit), then the 5 dropped and the
    // rest rounded up in magnitude.
    char *digits = buffer + 1;
    const auto result =
        std::to_chars(digits, buffer + size, v, std::chars_format::fixed, scale + 1);
    if (result.ec != std::errc())
        return 0;
    int n = static_cast<int>(result.ptr - digits) - (scale == 0 ? 2 : 1);
    int i = n - 1;
    for (; i >= 0 && digits[i] != '-'; --i) {
        if (digits[i] == '.')
            continue;
        if (digits[i] != '9') {
            ++digits[i];
            break;
        }
        digits[i] = '0';
    }
    if (i < 0 || digits[i] == '-') { // carried past the first digit
        const int at = i + 1;
        std::memmove(digits + at + 1, digits + at, static_cast<std::size_t>(n - at));
        digits[at] = '1';
        ++n;
    }
    std::memmove(buffer, digits, static_cast<std::size_t>(n));
    return n;
}

QString decimalText(double v, int scale) {
    if (scale >= 0)
        return QString::number(v, 'f', scale);
    QString s = QString::number(v, 'f', 15);
    while (s.contains(QLatin1Char('.')) &&
           (s.endsWith(QLatin1Char('0')) || s.endsWith(QLatin1Char('.'))))
        s.chop(1);
    return s;
}

bool isDecimalText(QStringView s) {
    s = s.trimmed();
    if (s.isEmpty())
        return false;
    qsizetype i = (s[0] == QLatin1Char('-') || s[0] == QLatin1Char('+')) ? 1 : 0;
    bool digit = false, dot = false;
    for (; i < s.size(); ++i) {
        if (s[i].isDigit())
            digit = true;
        else if (s[i] == QLatin1Char('.') && !dot)
            dot = true;
        else
            return false;
    }
    return digit;
}

QString quoteText(const QString &s) {
    QString q = s;
    q.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

} // namespace sqliteengine
