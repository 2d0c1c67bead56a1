// Numeric display patterns. Every value is first turned into an exact decimal (digits and a
// decimal exponent) and rounded there, half away from zero, so that doubles and the exact texts
// of fixed-point columns share one path and no digit of a 38-digit decimal is lost. The digits
// live in buffers inside the objects (a longer text spills to the heap), and the text is written
// straight to the caller's buffer.
#include "U_DisplayFormat.h"

#include <QVarLengthArray>

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// More decimals than any fixed-point column carries; placeholders beyond it write nothing.
constexpr int kMaxDecimals = 40;
// Decimal exponents beyond this are not shown in fixed notation (the text is shown as given).
constexpr int kMaxDecimalExponent = 1000;
constexpr int kMaxExponentDigits = 4;
// The general form switches to scientific notation outside 1E-5 .. 1E15, as a desktop does.
constexpr int kGeneralMaxExponent = 15;
constexpr int kGeneralMinExponent = -5;

using TDigits = QVarLengthArray<char, 48>;

// value = 0.Digits x 10^Exp; Digits has no leading or trailing zeros, empty for zero.
struct TDecimal {
    bool Negative = false;
    TDigits Digits;
    int Exp = 0;

    bool IsZero() const { return Digits.isEmpty(); }
    int Count() const { return static_cast<int>(Digits.size()); }
    // The digit at position p of 0.Digits, '0' where there is none.
    char At(int p) const { return p >= 0 && p < Count() ? Digits[p] : '0'; }
};

void Normalize(TDecimal &d) {
    qsizetype lead = 0;
    while (lead < d.Digits.size() && d.Digits[lead] == '0')
        ++lead;
    if (lead > 0)
        d.Digits.remove(0, lead);
    d.Exp -= static_cast<int>(lead);
    while (!d.Digits.isEmpty() && d.Digits.back() == '0')
        d.Digits.removeLast();
    if (d.Digits.isEmpty()) {
        d.Exp = 0;
        d.Negative = false;
    }
}

// Keeps the first `keep` significant digits, rounding half away from zero.
void KeepDigits(TDecimal &d, int keep) {
    if (keep >= d.Count())
        return;
    if (keep < 0) {
        d = TDecimal{};
        return;
    }
    const bool up = d.Digits[keep] >= '5';
    d.Digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.Digits[i] == '9') {
            d.Digits[i] = '0';
            --i;
        }
        if (i < 0) {
            d.Digits.insert(d.Digits.cbegin(), '1');
            d.Exp += 1;
        } else {
            ++d.Digits[i];
        }
    }
    Normalize(d);
}

void RoundToDecimals(TDecimal &d, int decimals) {
    if (!d.IsZero())
        KeepDigits(d, d.Exp + decimals);
}

template <typename Ch> bool IsAsciiDigit(Ch c) {
    return c >= Ch('0') && c <= Ch('9');
}

// Reads "[+-]digits[.digits][(e|E)[+-]digits]"; at least one digit.
template <typename Ch> bool ParseDecimal(const Ch *text, qsizetype size, TDecimal &out) {
    qsizetype i = 0;
    TDecimal d;
    if (i < size && (text[i] == Ch('+') || text[i] == Ch('-')))
        d.Negative = text[i++] == Ch('-');
    bool anyDigit = false;
    int intDigits = 0;
    while (i < size && IsAsciiDigit(text[i])) {
        d.Digits.append(static_cast<char>(text[i++]));
        ++intDigits;
        anyDigit = true;
    }
    if (i < size && text[i] == Ch('.')) {
        ++i;
        while (i < size && IsAsciiDigit(text[i])) {
            d.Digits.append(static_cast<char>(text[i++]));
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return false;
    long exponent = 0;
    if (i < size && (text[i] == Ch('e') || text[i] == Ch('E'))) {
        ++i;
        bool negExp = false;
        if (i < size && (text[i] == Ch('+') || text[i] == Ch('-')))
            negExp = text[i++] == Ch('-');
        if (i >= size || !IsAsciiDigit(text[i]))
            return false;
        while (i < size && IsAsciiDigit(text[i])) {
            if (exponent < 1000000)
                exponent = exponent * 10 + (text[i] - Ch('0'));
            ++i;
        }
        if (negExp)
            exponent = -exponent;
    }
    if (i != size)
        return false;
    if (exponent > kMaxDecimalExponent * 2 || exponent < -kMaxDecimalExponent * 2)
        return false;
    d.Exp = intDigits + static_cast<int>(exponent);
    Normalize(d);
    if (!d.IsZero() && (d.Exp > kMaxDecimalExponent || d.Exp < -kMaxDecimalExponent))
        return false;
    out = std::move(d);
    return true;
}

// Blanks around the text are allowed.
bool ParseDecimalText(QStringView text, TDecimal &out) {
    text = text.trimmed();
    return ParseDecimal(text.utf16(), text.size(), out);
}

TDecimal FromDouble(double value) {
    // The shortest text that reads back as the same double: 2.675 rounds as 2.675, as the user
    // typed it, and not as its binary neighbour 2.67499999...
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    TDecimal d;
    ParseDecimal(buf, res.ptr - buf, d);
    return d;
}

TDecimal FromInteger(std::int64_t value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    TDecimal d;
    ParseDecimal(buf, res.ptr - buf, d);
    return d;
}

void AppendWhole(TOrvel_TextBuffer &out, long long value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.AppendAscii(buf, res.ptr - buf);
}

// The thousands separator as written: a no-break space of the locale becomes a plain blank, so
// that grouped numbers look the same in the grid and in the files the user opens elsewhere.
QChar GroupCharOf(const TOrvel_FormatSettings &fs) {
    const QChar c = fs.ThousandSeparator;
    if (c.isNull() || c == QChar(0x00A0) || c == QChar(0x202F) || c == QChar(0x2009))
        return QLatin1Char(' ');
    return c;
}

QChar DecimalCharOf(const TOrvel_FormatSettings &fs) {
    return fs.DecimalSeparator.isNull() ? QLatin1Char('.') : fs.DecimalSeparator;
}

// Digits at positions [from, from + count) of 0.Digits, zero where there is none.
void AppendDigits(TOrvel_TextBuffer &out, const TDecimal &d, int from, int count) {
    for (int p = from; p < from + count; ++p)
        out.Append(char16_t(d.At(p)));
}

void AppendGeneral(TOrvel_TextBuffer &out, const TDecimal &d, char16_t decimal,
                   bool allowScientific) {
    if (d.IsZero()) {
        out.Append(u'0');
        return;
    }
    if (d.Negative)
        out.Append(u'-');
    const int n = d.Count();
    const int exp10 = d.Exp - 1;
    if (allowScientific && (exp10 >= kGeneralMaxExponent || exp10 < kGeneralMinExponent)) {
        out.Append(char16_t(d.Digits[0]));
        if (n > 1) {
            out.Append(decimal);
            AppendDigits(out, d, 1, n - 1);
        }
        out.Append(u'E');
        AppendWhole(out, exp10);
        return;
    }
    if (d.Exp > 0)
        AppendDigits(out, d, 0, d.Exp);
    else
        out.Append(u'0');
    if (n > d.Exp) {
        out.Append(decimal);
        AppendDigits(out, d, d.Exp, n - d.Exp);
    }
}

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

TOrvel_NumberSection ScanSection(QStringView text) {
    TOrvel_NumberSection sec;
    sec.Text = text.toString();
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
    QVarLengthArray<char, 64> IntDigits;
    QVarLengthArray<char, 48> FracDigits;
    int Exponent = 0;
    bool Zero = true;
};

template <typename Array> void PutDigits(Array &to, const TDecimal &d, int from, int count) {
    for (int p = from; p < from + count; ++p)
        to.append(d.At(p));
}

// Lays the value out under the section; `value` is rounded in place.
void Layout(TDecimal &r, const TOrvel_NumberSection &sec, TNumParts &parts) {
    int fracKept = 0;
    const int minInt = sec.IntPlaces - sec.FirstIntZero;
    auto padInt = [&](int digits) {
        for (int i = digits; i < minInt; ++i)
            parts.IntDigits.append('0');
    };
    if (sec.Scientific) {
        const int significant = std::max(1, sec.IntPlaces + sec.FracPlaces);
        KeepDigits(r, significant);
        if (!r.IsZero())
            parts.Exponent = r.Exp - sec.IntPlaces;
        const int pointAt = r.IsZero() ? 0 : sec.IntPlaces; // digit index of the point
        padInt(pointAt);
        PutDigits(parts.IntDigits, r, 0, pointAt);
        fracKept = std::max(0, r.Count() - pointAt);
        PutDigits(parts.FracDigits, r, pointAt, sec.FracPlaces);
    } else {
        RoundToDecimals(r, sec.FracPlaces);
        const int intCount = r.Exp > 0 ? r.Exp : 0;
        padInt(intCount);
        PutDigits(parts.IntDigits, r, 0, intCount);
        fracKept = std::max(0, r.Count() - r.Exp);
        PutDigits(parts.FracDigits, r, r.Exp, sec.FracPlaces);
    }
    parts.Zero = r.IsZero();
    // "#" after the point drops trailing zeros, "0" keeps them.
    const int shown = std::min(sec.FracPlaces, std::max(sec.FracZeros, fracKept));
    parts.FracDigits.resize(std::min<qsizetype>(shown, parts.FracDigits.size()));
}

void ApplySection(const TOrvel_NumberSection &sec, const TNumParts &parts, bool minus,
                  char16_t decimal, char16_t group, TOrvel_TextBuffer &out) {
    const QStringView t = sec.Text;
    const auto &digits = parts.IntDigits;
    const int n = static_cast<int>(digits.size());
    if (minus)
        out.Append(u'-');

    auto putIntDigit = [&](int index) {
        out.Append(char16_t(digits[index]));
        const int fromRight = n - 1 - index;
        if (sec.Grouping && fromRight > 0 && fromRight % 3 == 0)
            out.Append(group);
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
            out.Append(QuotedText(t, i));
            i += QuotedLength(t, i) - 1;
        } else if (expDone) {
            out.Append(c);
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
                out.Append(char16_t(parts.FracDigits[fracPlace]));
            ++fracPlace;
        } else if (c == u'.') {
            if (pointDone)
                continue;
            pointDone = true;
            if (sec.IntPlaces == 0)
                putAllIntDigits();
            if (!parts.FracDigits.isEmpty())
                out.Append(decimal);
        } else if (c == u',') {
            continue;
        } else if (sec.Scientific && IsExponentAt(t, i)) {
            if (sec.IntPlaces == 0 && !pointDone)
                putAllIntDigits();
            expDone = true;
            out.Append(c);
            const int e = parts.Exponent;
            if (e < 0)
                out.Append(u'-');
            else if (t[i + 1] == u'+')
                out.Append(u'+');
            char buf[16];
            const auto res = std::to_chars(buf, buf + sizeof buf, std::abs(e));
            out.AppendRepeated(u'0', sec.ExpDigits - (res.ptr - buf));
            out.AppendAscii(buf, res.ptr - buf);
            i += 2;
            while (i < t.size() && t[i] == u'0')
                ++i;
            --i;
        } else {
            out.Append(c);
        }
    }
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

void AppendDecimal(const TOrvel_NumberFormat &format, TDecimal value, bool allowScientific,
                   TOrvel_TextBuffer &out) {
    const TOrvel_NumberSection &sec = value.Negative ? format.Negative() : format.Positive();
    if (sec.Text.isEmpty()) {
        AppendGeneral(out, value, format.DecimalChar(), allowScientific);
        return;
    }
    const bool minus = value.Negative && !format.OwnNegative();
    TNumParts parts;
    Layout(value, sec, parts);
    if (parts.Zero) {
        // What rounds to zero is shown by the zero section, or by the first one without a sign.
        const TOrvel_NumberSection &zero = format.Zero();
        if (zero.Text.isEmpty()) {
            AppendGeneral(out, TDecimal{}, format.DecimalChar(), allowScientific);
            return;
        }
        TDecimal none;
        TNumParts zeroParts;
        Layout(none, zero, zeroParts);
        ApplySection(zero, zeroParts, false, format.DecimalChar(), format.GroupChar(), out);
        return;
    }
    ApplySection(sec, parts, minus, format.DecimalChar(), format.GroupChar(), out);
}

} // namespace

TOrvel_NumberFormat::TOrvel_NumberFormat(const QString &pattern, const TOrvel_FormatSettings &fs)
    : FDecimal(DecimalCharOf(fs).unicode()), FGroup(GroupCharOf(fs).unicode()) {
    const QList<QStringView> sections = SplitSections(pattern);
    // An empty second or third section falls back to the first.
    auto sectionAt = [&](int i) -> QStringView {
        return i < sections.size() && !sections[i].isEmpty() ? sections[i] : sections[0];
    };
    FOwnNegative = sections.size() > 1 && !sections[1].isEmpty();
    FPositive = ScanSection(sectionAt(0));
    FNegative = ScanSection(sectionAt(1));
    FZero = ScanSection(sectionAt(2));
}

void TOrvel_NumberFormat::AppendDouble(double value, TOrvel_TextBuffer &out) const {
    if (std::isnan(value))
        out.Append(QStringView(u"NAN"));
    else if (std::isinf(value))
        out.Append(value < 0 ? QStringView(u"-INF") : QStringView(u"INF"));
    else
        AppendDecimal(*this, FromDouble(value), true, out);
}

void TOrvel_NumberFormat::AppendDecimalText(QStringView text, TOrvel_TextBuffer &out) const {
    TDecimal value;
    if (!ParseDecimalText(text, value))
        out.Append(text); // not a number: shown as it came
    else
        AppendDecimal(*this, std::move(value), false, out);
}

void TOrvel_NumberFormat::AppendInteger(std::int64_t value, TOrvel_TextBuffer &out) const {
    if (IsGeneral())
        AppendWhole(out, value);
    else
        AppendDecimal(*this, FromInteger(value), false, out);
}

QString FormatRowCount(qint64 rows, const TOrvel_FormatSettings &fs) {
    // One; a last digit 2-4 except in the teens; every other count.
    const qint64 lastDigit = rows % 10;
    const qint64 lastTwo = rows % 100;
    const char *noun = "wierszy";
    if (rows == 1)
        noun = "wiersz";
    else if (lastDigit >= 2 && lastDigit <= 4 && (lastTwo < 12 || lastTwo > 14))
        noun = "wiersze";
    return FormatFloat(QStringLiteral("#,##0"), static_cast<double>(rows), fs) + u' ' +
           QLatin1String(noun);
}

QChar DisplayThousandSeparator(const TOrvel_FormatSettings &fs) {
    return GroupCharOf(fs);
}

QString FormatFloat(const QString &pattern, double value, const TOrvel_FormatSettings &fs) {
    TOrvel_TextBuffer out;
    TOrvel_NumberFormat(pattern, fs).AppendDouble(value, out);
    return out.ToString();
}

QString FormatDecimalText(const QString &pattern, const QString &decimalText,
                          const TOrvel_FormatSettings &fs) {
    TOrvel_TextBuffer out;
    TOrvel_NumberFormat(pattern, fs).AppendDecimalText(decimalText, out);
    return out.ToString();
}

// ---------------------------------------------------------------------------------------------
// A field's display rule

namespace {

TOrvel_DateTimeFormat::Default EmptyPatternOf(TFieldType type) {
    switch (type) {
    case TFieldType::ftDate:
        return TOrvel_DateTimeFormat::Default::DateOnly;
    case TFieldType::ftTime:
        return TOrvel_DateTimeFormat::Default::TimeOnly;
    default:
        return TOrvel_DateTimeFormat::Default::DateAndTime;
    }
}

} // namespace

TOrvel_FieldFormat::TOrvel_FieldFormat(TFieldType type, const QString &pattern,
                                       const QString &booleanTexts, const TOrvel_FormatSettings &fs)
    : FType(type), FNumber(FieldKindOf(type) == TFieldKind::fkNumeric ? pattern : QString(), fs),
      FDateTime(FieldKindOf(type) == TFieldKind::fkDateTime ? pattern : QString(), fs,
                EmptyPatternOf(type)) {
    const QStringList texts = booleanTexts.split(QLatin1Char(';'));
    FTrue = texts.value(0);
    FFalse = texts.value(1);
}

void TOrvel_FieldFormat::AppendInt(std::int64_t value, TOrvel_TextBuffer &out) const {
    if (IsIntegerFieldType(FType)) {
        FNumber.AppendInteger(value, out);
        return;
    }
    switch (FType) {
    case TFieldType::ftBoolean:
        out.Append(value != 0 ? QStringView(FTrue) : QStringView(FFalse));
        return;
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
        FDateTime.AppendMSecs(value, out);
        return;
    default:
        AppendWhole(out, value);
        return;
    }
}

void TOrvel_FieldFormat::AppendReal(double value, TOrvel_TextBuffer &out) const {
    FNumber.AppendDouble(value, out);
}

void TOrvel_FieldFormat::AppendText(QStringView value, TOrvel_TextBuffer &out) const {
    if (FType == TFieldType::ftBCD)
        FNumber.AppendDecimalText(value, out);
    else
        out.Append(value);
}
