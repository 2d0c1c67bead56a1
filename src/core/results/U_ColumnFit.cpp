#include "U_ColumnFit.h"

#include "U_DbResult.h"
#include "U_GridColumns.h"
#include "U_SQL_report_settings.h"
#include "U_utils.h"

#include <algorithm>
#include <cmath>
#include <queue>

namespace {

// An exact decimal text ("-1234.5600") taken apart for comparing magnitudes.
struct DecimalParts {
    bool Valid = false;
    bool Negative = false;
    QStringView Int;  // without leading zeros; empty for a magnitude below 1
    QStringView Frac; // without trailing zeros
    bool IsZero() const { return Int.isEmpty() && Frac.isEmpty(); }
};

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

DecimalParts SplitDecimal(QStringView text) {
    DecimalParts d;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        d.Negative = text[i] == u'-';
        ++i;
    }
    const qsizetype intStart = i;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    qsizetype intEnd = i;
    qsizetype fracStart = i, fracEnd = i;
    if (i < text.size() && text[i] == u'.') {
        fracStart = ++i;
        while (i < text.size() && IsDigit(text[i]))
            ++i;
        fracEnd = i;
    }
    if (i != text.size() || (intEnd == intStart && fracEnd == fracStart))
        return d; // not a number: shown as it is
    qsizetype a = intStart;
    while (a < intEnd && text[a] == u'0')
        ++a;
    while (fracEnd > fracStart && text[fracEnd - 1] == u'0')
        --fracEnd;
    d.Valid = true;
    d.Int = text.mid(a, intEnd - a);
    d.Frac = text.mid(fracStart, fracEnd - fracStart);
    return d;
}

// Compares magnitudes: negative, zero or positive as |a| is below, equal to or above |b|.
int CompareMagnitude(const DecimalParts &a, const DecimalParts &b) {
    if (a.Int.size() != b.Int.size())
        return a.Int.size() < b.Int.size() ? -1 : 1;
    if (const int c = a.Int.compare(b.Int); c != 0)
        return c;
    return a.Frac.compare(b.Frac);
}

// A value of the same whole part with every decimal place filled, so that "#" places show.
constexpr char16_t kFilledFraction[] = u"111111111111111111";

QString Format(const TOrvel_FieldFormat &format, auto append) {
    TOrvel_TextBuffer out;
    append(format, out);
    return out.ToString();
}

} // namespace

TOrvel_ColumnFit::TOrvel_ColumnFit(const DbColumn &column) : FType(column.Info().Type) {
    const TFieldKind kind = FieldKindOf(FType);
    if (FType == TFieldType::ftFloat || FType == TFieldType::ftCurrency) {
        FKind = Kind::Real;
        ScanReals(column);
    } else if (FType == TFieldType::ftBCD) {
        FKind = Kind::Decimal;
        ScanDecimals(column);
    } else if (kind == TFieldKind::fkBoolean) {
        FKind = Kind::Boolean;
        ScanInts(column);
    } else if (kind == TFieldKind::fkDateTime) {
        FKind = Kind::DateTime;
        ScanInts(column);
    } else if (kind == TFieldKind::fkNumeric) {
        FKind = Kind::Int;
        ScanInts(column);
    } else {
        FKind = Kind::Text;
        ScanTexts(column);
    }
}

void TOrvel_ColumnFit::ScanInts(const DbColumn &column) {
    constexpr std::int64_t kDay = 86'400'000;
    const std::size_t n = column.Size();
    for (std::size_t row = 0; row < n; ++row) {
        if (column.IsNull(row))
            continue;
        const std::int64_t v = column.Int(row);
        if (!FAny) {
            FMinInt = FMaxInt = v;
            FAny = true;
        } else {
            FMinInt = std::min(FMinInt, v);
            FMaxInt = std::max(FMaxInt, v);
        }
        if (v == 0)
            FZero = true;
        else if (v > 0 && (FSmallestPositive == 0 || v < FSmallestPositive))
            FSmallestPositive = v;
        else if (v < 0 && (FSmallestNegative == 0 || v > FSmallestNegative))
            FSmallestNegative = v;
        if (FKind == Kind::DateTime && v % kDay != 0)
            FTimeOfDay = true;
    }
}

void TOrvel_ColumnFit::ScanReals(const DbColumn &column) {
    const std::size_t n = column.Size();
    for (std::size_t row = 0; row < n; ++row) {
        if (column.IsNull(row))
            continue;
        const double v = column.Real(row);
        if (std::isnan(v)) {
            FNaN = true;
            continue;
        }
        if (std::isinf(v)) {
            (v > 0 ? FPosInf : FNegInf) = true;
            continue;
        }
        if (!FAny) {
            FMinReal = FMaxReal = v;
            FAny = true;
        } else {
            FMinReal = std::min(FMinReal, v);
            FMaxReal = std::max(FMaxReal, v);
        }
        if (v == 0)
            FZero = true;
        else if (v > 0 && (FNearestPositive == 0 || v < FNearestPositive))
            FNearestPositive = v;
        else if (v < 0 && (FNearestNegative == 0 || v > FNearestNegative))
            FNearestNegative = v;
    }
}

void TOrvel_ColumnFit::ScanDecimals(const DbColumn &column) {
    // Rows of the extremes of each sign, of the values nearest zero and of the longest text
    // that is not a number; the texts are copied once at the end.
    std::size_t largestPos = 0, largestNeg = 0, nearestPos = 0, nearestNeg = 0, zero = 0, other = 0;
    DecimalParts largestPosParts, largestNegParts, nearestPosParts, nearestNegParts;
    bool hasLargestPos = false, hasLargestNeg = false, hasNearestPos = false, hasNearestNeg = false,
         hasZero = false, hasOther = false;
    const std::size_t n = column.Size();
    for (std::size_t row = 0; row < n; ++row) {
        if (column.IsNull(row))
            continue;
        FAny = true;
        const QStringView text = column.Text(row);
        const DecimalParts d = SplitDecimal(text);
        if (!d.Valid) {
            if (!hasOther || text.size() > column.Text(other).size()) {
                other = row;
                hasOther = true;
            }
        } else if (d.IsZero()) {
            zero = row;
            hasZero = true;
        } else if (!d.Negative) {
            if (!hasLargestPos || CompareMagnitude(d, largestPosParts) > 0) {
                largestPos = row;
                largestPosParts = d;
                hasLargestPos = true;
            }
            if (!hasNearestPos || CompareMagnitude(d, nearestPosParts) < 0) {
                nearestPos = row;
                nearestPosParts = d;
                hasNearestPos = true;
            }
        } else {
            if (!hasLargestNeg || CompareMagnitude(d, largestNegParts) > 0) {
                largestNeg = row;
                largestNegParts = d;
                hasLargestNeg = true;
            }
            if (!hasNearestNeg || CompareMagnitude(d, nearestNegParts) < 0) {
                nearestNeg = row;
                nearestNegParts = d;
                hasNearestNeg = true;
            }
        }
    }
    const auto keep = [&](bool has, std::size_t row) {
        if (has)
            FTexts.push_back(column.Text(row).toString());
    };
    keep(hasLargestPos, largestPos);
    keep(hasLargestNeg, largestNeg);
    keep(hasNearestPos, nearestPos);
    keep(hasNearestNeg, nearestNeg);
    keep(hasZero, zero);
    keep(hasOther, other);
    for (const auto &[has, parts] :
         {std::pair{hasLargestPos, largestPosParts}, std::pair{hasLargestNeg, largestNegParts}}) {
        if (!has)
            continue;
        QString filled = parts.Negative ? QStringLiteral("-") : QString();
        filled += parts.Int.isEmpty() ? QStringLiteral("0") : parts.Int.toString();
        filled += u'.';
        filled += QStringView(kFilledFraction);
        FTexts.push_back(filled);
    }
}

void TOrvel_ColumnFit::ScanTexts(const DbColumn &column) {
    // The longest texts by their number of characters: a small heap of (length, row), the
    // shortest of the kept ones on top.
    using Entry = std::pair<qsizetype, std::size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> longest;
    const std::size_t n = column.Size();
    for (std::size_t row = 0; row < n; ++row) {
        if (column.IsNull(row))
            continue;
        FAny = true;
        const qsizetype length = column.Text(row).size();
        if (longest.size() < LongestTexts) {
            longest.emplace(length, row);
        } else if (length > longest.top().first) {
            longest.pop();
            longest.emplace(length, row);
        }
    }
    for (; !longest.empty(); longest.pop())
        FTexts.push_back(column.Text(longest.top().second).toString());
}

std::vector<QString> TOrvel_ColumnFit::Candidates(const TOrvel_FieldFormat &format) const {
    std::vector<QString> out;
    if (!FAny && FKind != Kind::Real)
        return out;
    const auto ofInt = [&](std::int64_t v) {
        out.push_back(Format(
            format, [v](const TOrvel_FieldFormat &f, TOrvel_TextBuffer &b) { f.AppendInt(v, b); }));
    };
    const auto ofReal = [&](double v) {
        out.push_back(Format(format, [v](const TOrvel_FieldFormat &f, TOrvel_TextBuffer &b) {
            f.AppendReal(v, b);
        }));
    };
    switch (FKind) {
    case Kind::Boolean:
        ofInt(1);
        ofInt(0);
        break;
    case Kind::Int:
        ofInt(FMinInt);
        ofInt(FMaxInt);
        if (FSmallestPositive)
            ofInt(FSmallestPositive);
        if (FSmallestNegative)
            ofInt(FSmallestNegative);
        if (FZero)
            ofInt(0);
        break;
    case Kind::Real: {
        if (FNaN)
            ofReal(std::nan(""));
        if (FPosInf)
            ofReal(HUGE_VAL);
        if (FNegInf)
            ofReal(-HUGE_VAL);
        if (!FAny)
            break;
        ofReal(FMinReal);
        ofReal(FMaxReal);
        if (FNearestPositive != 0)
            ofReal(FNearestPositive);
        if (FNearestNegative != 0)
            ofReal(FNearestNegative);
        if (FZero)
            ofReal(0);
        // Every decimal place filled, at the largest magnitude of each sign (within the range
        // where a double still holds those places).
        constexpr double kFilled = 0.111111111111111;
        if (FMaxReal > 0 && FMaxReal < 1e15)
            ofReal(std::trunc(FMaxReal) + kFilled);
        if (FMinReal < 0 && FMinReal > -1e15)
            ofReal(std::trunc(FMinReal) - kFilled);
        break;
    }
    case Kind::Decimal:
        for (const QString &text : FTexts)
            out.push_back(Format(format, [&text](const TOrvel_FieldFormat &f,
                                                 TOrvel_TextBuffer &b) { f.AppendText(text, b); }));
        break;
    case Kind::DateTime: {
        ofInt(FMinInt);
        ofInt(FMaxInt);
        // Names of months and weekdays differ in width, and so do one- and two-digit days and
        // hours: a date of each month and weekday (the 22nd to the 28th hold every weekday) in
        // the latest year, at a late time before and after noon when any value has a time.
        const QDateTime latest = DbColumn::FromMSecs(FMaxInt);
        const QList<QTime> times =
            FTimeOfDay ? QList<QTime>{QTime(23, 59, 59, 999), QTime(10, 59, 59, 999)}
                       : QList<QTime>{QTime(0, 0)};
        if (FType == TFieldType::ftTime) {
            for (const QTime &t : times)
                ofInt(DbColumn::ToMSecs(QDateTime(latest.date(), t)));
            break;
        }
        const int year = latest.date().year();
        for (int month = 1; month <= 12; ++month)
            for (int day = 22; day <= 28; ++day)
                for (const QTime &t : times)
                    ofInt(DbColumn::ToMSecs(QDateTime(QDate(year, month, day), t)));
        break;
    }
    case Kind::Text:
        out = FTexts;
        break;
    }
    return out;
}

std::function<int(int position)> EstimatedFitMeasure(const TOrvel_GridColumns &columns) {
    auto fits = std::make_shared<std::vector<std::unique_ptr<TOrvel_ColumnFit>>>();
    return [&columns, fits](int position) {
        const DbField *field = columns.Field(position);
        int widest = columns.TextWidth(columns.Caption(position)) + 10;
        const DbResult *result = columns.HasOpenResult() ? columns.Query()->Result() : nullptr;
        if (!field || !result || field->Index() >= result->ColumnCount())
            return widest;
        if (fits->size() != static_cast<std::size_t>(result->ColumnCount()))
            fits->resize(static_cast<std::size_t>(result->ColumnCount()));
        auto &fit = (*fits)[static_cast<std::size_t>(field->Index())];
        if (!fit)
            fit = std::make_unique<TOrvel_ColumnFit>(result->Column(field->Index()));
        QString pattern = field->DisplayFormat;
        if (IsNumericField(*field) && pattern.isEmpty())
            pattern = TOrvel_ReportSettings::DefaultDisplayFormat(field->DataType());
        const TOrvel_FieldFormat format(field->DataType(), pattern, field->DisplayValues,
                                        UserFormatSettings());
        for (const QString &text : fit->Candidates(format))
            widest = std::max(widest, columns.TextWidth(text) + 10);
        return fit->IsNumberOrDate() ? widest : std::min(widest, 600);
    };
}
