#pragma once
// The widest display text of a whole result column, found without formatting every cell: one
// pass over the stored values keeps what decides the width (for numbers the extremes and the
// values nearest zero, for dates the range and whether any has a time of day, for texts the
// longest ones), and the few display texts made from those are all that is measured.
//
// Usage:
//   const TOrvel_ColumnFit fit(result->Column(i));   // once per result
//   for (const QString &text : fit.Candidates(compiledFormat))  // after each format change
//       widest = std::max(widest, measure(text));
//
// Numbers: the widest text of a pattern comes from the value of largest magnitude of each sign
// (digits and grouping grow with it), from the values nearest zero (exponents, the zero section),
// and from a value of that magnitude with every decimal place filled ("0.####" shows
// "1234,1111"). Digits are measured as the widest digit of the font by the caller, so that the
// result is an upper bound whatever the digits are.
#include "U_DisplayFormat.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class DbColumn;

class TOrvel_ColumnFit {
public:
    // How many of the longest texts of a text column are kept to be measured.
    static constexpr std::size_t LongestTexts = 32;

    explicit TOrvel_ColumnFit(const DbColumn &column);

    // The display texts that the widest one is among, formatted as the column shows them now.
    std::vector<QString> Candidates(const TOrvel_FieldFormat &format) const;
    // Whether the candidates are numbers or dates, whose digits the caller measures at their
    // widest; texts are measured as they are.
    bool IsNumberOrDate() const { return FKind != Kind::Text; }

private:
    enum class Kind : std::uint8_t { Int, Real, Decimal, DateTime, Boolean, Text };
    void ScanInts(const DbColumn &column);
    void ScanReals(const DbColumn &column);
    void ScanDecimals(const DbColumn &column);
    void ScanTexts(const DbColumn &column);

    Kind FKind = Kind::Text;
    TFieldType FType = TFieldType::ftUnknown;
    bool FAny = false; // a value other than NULL

    // Whole numbers and date-times (milliseconds).
    std::int64_t FMinInt = 0, FMaxInt = 0;
    std::int64_t FSmallestPositive = 0, FSmallestNegative = 0; // nearest zero; 0 when none
    bool FZero = false;
    bool FTimeOfDay = false; // a date-time off midnight

    // Floating point.
    double FMinReal = 0, FMaxReal = 0, FNearestPositive = 0, FNearestNegative = 0;
    bool FNaN = false, FPosInf = false, FNegInf = false;

    // Exact decimals, and the texts of a text column: kept as the texts themselves.
    std::vector<QString> FTexts;
};

class TOrvel_GridColumns;

// A fit measure for columns shown by no grid (the command-line runner's exports): the widest
// candidate by the columns' own text width, with a cell's margins, never narrower than the
// caption; texts stop at 600 pixels. The fits are gathered on first use, for the result the
// columns show at that time.
std::function<int(int position)> EstimatedFitMeasure(const TOrvel_GridColumns &columns);
