#pragma once
// Sorting a result by one column. The column's sort keys are made once per result and kept, so
// that the other direction and later clicks only reorder: 64-bit keys that order by value (the
// user's language order for texts, through the collation's binary sort keys), sorted by radix
// passes; rows whose first 8 key bytes tie are sorted on by the next 8, and so on, and exact
// decimals whose doubles tie are settled on their text. Stable: ties keep the stored order. NULLs
// come first in ascending order and last in descending order.
#include "U_DbResult.h"

#include <QLocale>

#include <cstdint>
#include <vector>

class DbSortKeys {
public:
    // Builds the keys of the column (texts in the locale's order, letter case ignored).
    DbSortKeys(const DbColumn &column, const QLocale &locale);

    // The stored rows in sorted order.
    std::vector<std::uint32_t> Order(bool ascending) const;
    std::size_t MemoryBytes() const;

private:
    enum class Kind : std::uint8_t { Exact, Text, Decimal };
    // The 8 key bytes from byte 8 x depth of a text's collation key (zeros past its end).
    std::uint64_t TextChunk(std::uint32_t row, std::size_t depth) const;
    bool TextEnds(std::uint32_t row, std::size_t depth) const;

    const DbColumn &FColumn;
    Kind FKind = Kind::Exact;
    std::vector<std::uint64_t> FKeys; // per stored row: the value's key, or its first 8 bytes
    // Texts: every row's whole collation key, one after another.
    std::vector<std::uint8_t> FPool;
    std::vector<std::uint32_t> FStart; // row n's key is [FStart[n], FStart[n + 1])
};
