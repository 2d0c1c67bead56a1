// Numeric display patterns. Every value is first turned into an exact decimal (digits and a
// decimal exponent) and rounded there, half away from zero, so that doubles and the exact texts
// of fixed-point columns share one path and no digit of a 38-digit decimal is lost.
#include "U_DisplayFormat.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

// More decimals than any fixed-point column carries; placeholders beyond it write nothing.
constexpr int kMaxDecimals = 40;
// Decimal exponents beyond this are not shown in fixed notation (the text is shown as given).
constexpr int kMaxDecimalExponent = 1000;
constexpr int kMaxExponentDigits = 4;
// The general form switches to scientific notation outside 1E-5 .. 1E15, as a desktop does.
constexpr int kGeneralMaxExponent = 15;
constexpr int kGeneralMinExponent = -5;

// value = 0.Digits x 10^Exp; Digits has no leading or trailing zeros, empty for zero.
struct TDecimal {
    bool Negative = false;
    std::string Digits;
    int Exp = 0;

    bool IsZero() const { return Digits.empty(); }
};

void Normalize(TDecimal &d) {
    std::size_t lead = 0;
    while (lead < d.Digits.size() && d.Digits[lead] == '0')
        ++lead;
    d.Digits.erase(0, lead);
    d.Exp -= static_cast<int>(lead);
    while (!d.Digits.empty() && d.Digits.back() == '0')
        d.Digits.pop_back();
    if (d.Digits.empty()) {
        d.Exp = 0;
        d.Negative = false;
    }
}

// Keeps the first `keep` significant digits, rounding half away from zero.
TDecimal KeepDigits(TDecimal d, int keep) {
    if (keep >= static_cast<int>(d.Digits.size()))
        return d;
    if (keep < 0)
        return TDecimal{};
    const bool up = d.Digits[static_cast<std::size_t>(keep)] >= '5';
    d.Digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.Digits[static_cast<std::size_t>(i)] == '9') {
            d.Digits[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.Digits.insert(d.Digits.begin(), '1');
            d.Exp += 1;
        } else {
            ++d.Digits[static_cast<std::size_t>(i)];
        }
    }
    Normalize(d);
    return d;
}

TDecimal RoundToDecimals(const TDecimal &d, int decimals) {
    return d.IsZero() ? d : KeepDigits(d, d.Exp + decimals);
}

bool IsAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Reads "[+-]digits[.digits][(e|E)[+-]digits]" with blanks around; at least one digit.
bool ParseDecimal(QStringView text, TDecimal &out) {
    text = text.trimmed();
    qsizetype i = 0;
    TDecimal d;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        d.Negative = text[i++] == u'-';
    bool anyDigit = false;
    int intDigits = 0;
    while (i < text.size() && IsAsciiDigit(text[i])) {
        d.Digits.push_back(static_cast<char>(text[i++].unicode()));
        ++intDigits;
        anyDigit = true;
    }
    if (i < text.size() && text[i] == u'.') {
        ++i;
        while (i < text.size() && IsAsciiDigit(text[i])) {
            d.Digits.push_back(static_cast<char>(text[i++].unicode()));
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return false;
    long exponent = 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negExp = false;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            negExp = text[i++] == u'-';
        if (i >= text.size() || !IsAsciiDigit(text[i]))
            return false;
        while (i < text.size() && IsAsciiDigit(text[i])) {
            if (exponent < 1000000)
                exponent = exponent * 10 + (text[i].unicode() - u'0');
            ++i;
        }
        if (negExp)
            exponent = -exponent;
    }
    if (i != text.size())
        return false;
    if (exponent > kMaxDecimalExponent * 2 || exponent < -kMaxDecimalExponent * 2)
        return false;
    d.Exp = intDigits + static_cast<int>(exponent);
    Normalize(d);
    if (!d.IsZero() && (d.Exp > kMaxDecimalExponent || d.Exp < -kMaxDecimalExponent))
        return false;
    out = d;
    return true;
}

TDecimal FromDouble(double value) {
    // The shortest text that reads back as the same double: 2.675 rounds as 2.675, as the user
    // typed it, and not as its binary neighbour 2.67499999...
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    TDecimal d;
    ParseDecimal(QString::fromLatin1(buf, res.ptr - buf), d);
    return d;
}

// The thousands separator as written: a no-break space of the locale becomes a plain blank, so
// that grouped numbers look the same in the grid and in the files the user opens elsewhere.
QChar GroupChar(const TOrvel_FormatSettings &fs) {
    const QChar c = fs.ThousandSeparator;
    if (c.isNull() || c == QChar(0x00A0) || c == QChar(0x202F) || c == QChar(0x2009))
        return QLatin1Char(' ');
    return c;
}

QChar DecimalChar(const TOrvel_FormatSettings &fs) {
    return fs.DecimalSeparator.isNull() ? QLatin1Char('.') : fs.DecimalSeparator;
}

QString DigitsText(const TDecimal &d, int from, int count) {
    // Digits at positions [from, from + count) of 0.Digits, zero where there is none.
    QString s;
    s.reserve(count > 0 ? count : 0);
    for (int p = from; p < from + count; ++p) {
        const bool inside = p >= 0 && p < static_cast<int>(d.Digits.size());
        s.append(inside ? QChar(QLatin1Char(d.Digits[static_cast<std::size_t>(p)]))
                        : QLatin1Char('0'));
    }
    return s;
}

QString GeneralText(const TDecimal &d, const TOrvel_FormatSettings &fs, bool allowScientific) {
    if (d.IsZero())
        return QStringLiteral("0");
    QString s;
    if (d.Negative)
        s += u'-';
    const int n = static_cast<int>(d.Digits.size());
    const int exp10 = d.Exp - 1;
    if (allowScientific && (exp10 >= kGeneralMaxExponent || exp10 < kGeneralMinExponent)) {
        s += QLatin1Char(d.Digits[0]);
        if (n > 1)
            s += DecimalChar(fs) + DigitsText(d, 1, n - 1);
        s += u'E' + QString::number(exp10);
        return s;
    }
    s += d.Exp > 0 ? DigitsText(d, 0, d.Exp) : QStringLiteral("0");
    if (n > d.Exp)
        s += DecimalChar(fs) + DigitsText(d, d.Exp, n - d.Exp);
    return s;
}

// One section of a numeric pattern, as scanned once before writing.
struct TNumSection {
    QStringView Text;
    int IntPlaces = 0;     // "0" and "#" before the decimal point
    int FirstIntZero = -1; // index of the first "0" among them
    int FracPlaces = 0;    // placeholders after the point (capped)
    int FracZeros = 0;     // placeholders after the point up to the last "0"
    bool HasPoint = false;
    bool Grouping = false;
    bool Scientific = false;
    int ExpDigits = 0;
};

// Length of the quoted literal starting at i (the quotes included; an open quote runs to the end).
qsizetype QuotedLength(QStringView s, qsizetype i) {
    const qsizetype close = s.indexOf(s[i], i + 1);
    return close < 0 ? s.size() - i : close - i + 1;
}

// The text inside the quoted literal starting at i.
QStringView QuotedText(QStringView s, qsizetype i) {
    const qsizetype close = s.indexOf(s[i], i + 1);
    return close < 0 ? s.mid(i + 1) : s.mid(i + 1, close - i - 1);
}

bool IsExponentAt(QStringView s, qsizetype i) {
    return (s[i] == u'E' || s[i] == u'e') && i + 1 < s.size() &&
           (s[i + 1] == u'+' || s[i + 1] == u'-');
}

TNumSection ScanSection(QStringView text) {
    TNumSection sec;
    sec.Text = text;
    int fracSeen = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\'' || c == u'"') {
            i += QuotedLength(text, i) - 1;
        } else if (sec.Scientific) {
            continue; // after the exponent everything is literal
        } else if (c == u'0' || c == u'#') {
            if (!sec.HasPoint) {
                if (c == u'0' && sec.FirstIntZero < 0)
                    sec.FirstIntZero = sec.IntPlaces;
                ++sec.IntPlaces;
            } else {
                ++fracSeen;
                if (fracSeen <= kMaxDecimals) {
                    sec.FracPlaces = fracSeen;
                    if (c == u'0')
                        sec.FracZeros = fracSeen;
                }
            }
        } else if (c == u'.') {
            sec.HasPoint = true;
        } else if (c == u',') {
            if (!sec.HasPoint)
                sec.Grouping = true;
        } else if (IsExponentAt(text, i)) {
            sec.Scientific = true;
            i += 2;
            while (i < text.size() && text[i] == u'0') {
                ++sec.ExpDigits;
                ++i;
            }
            --i;
            sec.ExpDigits = std::min(sec.ExpDigits, kMaxExponentDigits);
        }
    }
    if (sec.FirstIntZero < 0)
        sec.FirstIntZero = sec.IntPlaces;
    return sec;
}

// The rounded value as the section shows it: integer digits, fraction digits, exponent.
struct TNumParts {
    QString IntDigits;
    QString FracDigits;
    int Exponent = 0;
    bool Zero = true;
};

TNumParts Layout(const TDecimal &value, const TNumSection &sec) {
    TNumParts parts;
    TDecimal r;
    int fracKept = 0;
    if (sec.Scientific) {
        const int significant = std::max(1, sec.IntPlaces + sec.FracPlaces);
        r = KeepDigits(value, significant);
        if (!r.IsZero())
            parts.Exponent = r.Exp - sec.IntPlaces;
        const int pointAt = r.IsZero() ? 0 : sec.IntPlaces; // digit index of the point
        parts.IntDigits = r.IsZero() ? QString() : DigitsText(r, 0, pointAt);
        fracKept = std::max(0, static_cast<int>(r.Digits.size()) - pointAt);
        parts.FracDigits = DigitsText(r, pointAt, sec.FracPlaces);
    } else {
        r = RoundToDecimals(value, sec.FracPlaces);
        parts.IntDigits = r.Exp > 0 ? DigitsText(r, 0, r.Exp) : QString();
        fracKept = std::max(0, static_cast<int>(r.Digits.size()) - r.Exp);
        parts.FracDigits = DigitsText(r, r.Exp, sec.FracPlaces);
    }
    parts.Zero = r.IsZero();
    // "#" after the point drops trailing zeros, "0" keeps them.
    const int shown = std::min(sec.FracPlaces, std::max(sec.FracZeros, fracKept));
    parts.FracDigits.truncate(shown);
    const int minInt = sec.IntPlaces - sec.FirstIntZero;
    if (parts.IntDigits.size() < minInt)
        parts.IntDigits = QString(minInt - parts.IntDigits.size(), u'0') + parts.IntDigits;
    return parts;
}

QString ApplySection(const TNumSection &sec, const TNumParts &parts, bool minus,
                     const TOrvel_FormatSettings &fs) {
    const QStringView t = sec.Text;
    const QString &digits = parts.IntDigits;
    const int n = static_cast<int>(digits.size());
    const QChar group = GroupChar(fs);
    QString out;
    if (minus)
        out += u'-';

    auto putIntDigit = [&](int index) {
        out += digits[index];
        const int fromRight = n - 1 - index;
        if (sec.Grouping && fromRight > 0 && fromRight % 3 == 0)
            out += group;
    };
    auto putAllIntDigits = [&] {
        for (int i = 0; i < n; ++i)
            putIntDigit(i);
    };

    int intPlace = 0;
    int fracPlace = 0;
    bool pointDone = false;
    bool expDone = false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == u'\'' || c == u'"') {
            out += QuotedText(t, i);
            i += QuotedLength(t, i) - 1;
        } else if (expDone) {
            out += c;
        } else if ((c == u'0' || c == u'#') && !pointDone) {
            // The integer digits stand right-aligned under the placeholders; the first
            // placeholder takes every digit that has no placeholder of its own.
            if (intPlace == 0) {
                for (int d = 0; d <= n - sec.IntPlaces; ++d)
                    putIntDigit(d);
            } else {
                const int d = n - sec.IntPlaces + intPlace;
                if (d >= 0)
                    putIntDigit(d);
            }
            ++intPlace;
        } else if (c == u'0' || c == u'#') {
            if (fracPlace < parts.FracDigits.size())
                out += parts.FracDigits[fracPlace];
            ++fracPlace;
        } else if (c == u'.') {
            if (pointDone)
                continue;
            pointDone = true;
            if (sec.IntPlaces == 0)
                putAllIntDigits();
            if (!parts.FracDigits.isEmpty())
                out += DecimalChar(fs);
        } else if (c == u',') {
            continue;
        } else if (sec.Scientific && IsExponentAt(t, i)) {
            if (sec.IntPlaces == 0 && !pointDone)
                putAllIntDigits();
            expDone = true;
            out += c;
            const int e = parts.Exponent;
            if (e < 0)
                out += u'-';
            else if (t[i + 1] == u'+')
                out += u'+';
            QString expText = QString::number(std::abs(e));
            if (expText.size() < sec.ExpDigits)
                expText.prepend(QString(sec.ExpDigits - expText.size(), u'0'));
            out += expText;
            i += 2;
            while (i < t.size() && t[i] == u'0')
                ++i;
            --i;
        } else {
            out += c;
        }
    }
    return out;
}

QList<QStringView> SplitSections(QStringView pattern) {
    QList<QStringView> sections;
    qsizetype start = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'\'' || c == u'"') {
            i += QuotedLength(pattern, i) - 1;
        } else if (c == u';') {
            sections << pattern.mid(start, i - start);
            start = i + 1;
            if (sections.size() == 2)
                break; // a third section runs to the end
        }
    }
    sections << pattern.mid(start);
    return sections;
}

QString FormatDecimal(const QString &pattern, const TDecimal &value,
                      const TOrvel_FormatSettings &fs, bool allowScientific) {
    const QList<QStringView> sections = SplitSections(pattern);
    // An empty second or third section falls back to the first.
    auto sectionAt = [&](int i) -> QStringView {
        return i < sections.size() && !sections[i].isEmpty() ? sections[i] : sections[0];
    };
    const bool ownNegative = value.Negative && sections.size() > 1 && !sections[1].isEmpty();
    TNumSection sec = ScanSection(value.Negative ? sectionAt(1) : sectionAt(0));
    if (sec.Text.isEmpty())
        return GeneralText(value, fs, allowScientific);
    TNumParts parts = Layout(value, sec);
    bool minus = value.Negative && !ownNegative;
    if (parts.Zero) {
        // What rounds to zero is shown by the zero section, or by the first one without a sign.
        sec = ScanSection(sectionAt(2));
        if (sec.Text.isEmpty())
            return GeneralText(TDecimal{}, fs, allowScientific);
        parts = Layout(TDecimal{}, sec);
        minus = false;
    }
    return ApplySection(sec, parts, minus, fs);
}

} // namespace

QChar DisplayThousandSeparator(const TOrvel_FormatSettings &fs) {
    return GroupChar(fs);
}

QString FormatFloat(const QString &pattern, double value, const TOrvel_FormatSettings &fs) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    return FormatDecimal(pattern, FromDouble(value), fs, true);
}

QString FormatDecimalText(const QString &pattern, const QString &decimalText,
                          const TOrvel_FormatSettings &fs) {
    TDecimal value;
    if (!ParseDecimal(decimalText, value))
        return decimalText; // not a number: shown as it came
    return FormatDecimal(pattern, value, fs, false);
}
