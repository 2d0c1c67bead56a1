#pragma once
// The data types a result field can carry, and their five kinds (numeric, text, date-time,
// boolean, none). The database layer maps every server column type onto one of these.
#include <cstdint>

enum class TFieldType : std::uint8_t {
    ftUnknown,
    // numeric
    ftSmallint, // 16-bit
    ftInteger,  // 32-bit
    ftLargeint, // 64-bit
    ftWord,     // unsigned 16-bit (SQL Server tinyint)
    ftAutoInc,
    ftFloat,
    ftCurrency,
    ftBCD, // fixed-point decimal
    // text
    ftString,
    ftFixedChar,
    ftWideString,
    ftGuid,
    // date-time
    ftDate,
    ftTime,
    ftDateTime,
    // boolean
    ftBoolean,
    // none
    ftMemo,
    ftWideMemo,
    ftBlob,
    ftBytes,
    ftVariant,
};

enum class TFieldKind : std::uint8_t { fkNone, fkNumeric, fkText, fkDateTime, fkBoolean };

constexpr TFieldKind FieldKindOf(TFieldType t) {
    switch (t) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
        return TFieldKind::fkNumeric;
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
    case TFieldType::ftWideString:
    case TFieldType::ftGuid:
        return TFieldKind::fkText;
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
        return TFieldKind::fkDateTime;
    case TFieldType::ftBoolean:
        return TFieldKind::fkBoolean;
    default:
        return TFieldKind::fkNone;
    }
}

// The whole-number types, whose values are held as 64-bit integers.
constexpr bool IsIntegerFieldType(TFieldType t) {
    switch (t) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
        return true;
    default:
        return false;
    }
}
