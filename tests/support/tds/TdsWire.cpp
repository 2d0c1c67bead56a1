#include "TdsWire.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Tds {

namespace {
constexpr std::uint8_t kIntN = 0x26;
constexpr std::uint8_t kGuid = 0x24;
constexpr std::uint8_t kDateN = 0x28;
constexpr std::uint8_t kTimeN = 0x29;
constexpr std::uint8_t kBitN = 0x68;
constexpr std::uint8_t kDecimalN = 0x6A;
constexpr std::uint8_t kFloatN = 0x6D;
constexpr std::uint8_t kMoneyN = 0x6E;
constexpr std::uint8_t kDateTimeN = 0x6F;
constexpr std::uint8_t kNVarChar = 0xE7;
constexpr std::uint8_t kVariant = 0x62;
constexpr std::uint8_t kInt4 = 0x38;
constexpr std::uint32_t kVariantMaxBytes = 8009;
constexpr int kMaxNVarChar = 4000;
constexpr std::int64_t kMSecsPerDay = 86400000;
constexpr std::int64_t kDays1900To1970 = 25567;
constexpr std::int64_t kDays0001To1970 = 719162;
const unsigned char kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

bool IsText(TFieldType t) {
    switch (t) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
    case TFieldType::ftGuid:
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
    case TFieldType::ftBoolean:
        return false;
    default:
        return true;
    }
}

// Integer width on the wire for an integer column.
int IntBytes(TFieldType t) {
    switch (t) {
    case TFieldType::ftWord:
        return 1;
    case TFieldType::ftSmallint:
        return 2;
    case TFieldType::ftLargeint:
        return 8;
    default:
        return 4;
    }
}

int DecimalBytes(int precision) {
    return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}

int DecimalsOf(QStringView text) {
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    return point < 0 ? 0 : static_cast<int>(text.size() - point - 1);
}

// A value shown as text on an nvarchar column.
QString TextOf(const DbColumn &column, std::size_t row) {
    return column.Text(row).toString();
}
} // namespace

void Writer::U16(std::uint16_t v) {
    U8(v & 0xFF);
    U8(v >> 8);
}

void Writer::U16BE(std::uint16_t v) {
    U8(v >> 8);
    U8(v & 0xFF);
}

void Writer::U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
}

void Writer::U64(std::uint64_t v) {
    U32(v & 0xFFFFFFFFu);
    U32(v >> 32);
}

void Writer::Ucs2(QStringView text) {
    for (QChar c : text)
        U16(c.unicode());
}

void Writer::BVarChar(QStringView text) {
    const QStringView cut = text.left(255);
    U8(static_cast<std::uint8_t>(cut.size()));
    Ucs2(cut);
}

void Writer::UsVarChar(QStringView text) {
    const QStringView cut = text.left(65535);
    U16(static_cast<std::uint16_t>(cut.size()));
    Ucs2(cut);
}

void Writer::PatchU16(std::size_t at, std::uint16_t v) {
    FBytes[at] = static_cast<char>(v & 0xFF);
    FBytes[at + 1] = static_cast<char>(v >> 8);
}

std::vector<WireColumn> DescribeColumns(const DbResult &result,
                                        const std::vector<WireType> &wireTypes) {
    std::vector<WireColumn> columns;
    for (int c = 0; c < result.ColumnCount(); ++c) {
        const DbColumn &column = result.Column(c);
        WireColumn w;
        w.name = column.Info().Name;
        w.type = column.Info().Type;
        w.nullable = true;
        if (static_cast<std::size_t>(c) < wireTypes.size())
            w.wire = wireTypes[static_cast<std::size_t>(c)];
        if (w.wire == WireType::Money || w.wire == WireType::SmallMoney) {
            w.precision = w.wire == WireType::Money ? 19 : 10;
            w.scale = 4;
        } else if (w.wire == WireType::Variant) {
            // nothing to measure: the type travels with each value
        } else if (IsText(w.type)) {
            int widest = 1;
            for (std::size_t r = 0; r < column.Size(); ++r)
                if (!column.IsNull(r))
                    widest = std::max<int>(widest, static_cast<int>(column.Text(r).size()));
            w.maxChars = std::max(widest, column.Info().Size);
        } else if (w.type == TFieldType::ftBCD) {
            // The declared precision and scale; what is not declared comes from the values.
            const DbColumnInfo &info = column.Info();
            int scale = info.Scale;
            if (scale < 0) {
                scale = 0;
                for (std::size_t r = 0; r < column.Size(); ++r)
                    if (!column.IsNull(r))
                        scale = std::max(scale, DecimalsOf(column.Text(r)));
            }
            w.precision = info.Precision > 0 ? std::min(info.Precision, 38) : 38;
            w.scale = std::min(scale, w.precision);
        }
        columns.push_back(w);
    }
    return columns;
}

void ColMetadata(Writer &w, const std::vector<WireColumn> &columns) {
    w.U8(0x81);
    w.U16(static_cast<std::uint16_t>(columns.size()));
    for (const WireColumn &c : columns) {
        w.U32(0);                            // user type
        w.U16(c.nullable ? 0x0009 : 0x0008); // nullable, writeable
        if (c.wire == WireType::Money || c.wire == WireType::SmallMoney) {
            w.U8(kMoneyN);
            w.U8(c.wire == WireType::Money ? 8 : 4);
            w.BVarChar(c.name);
            continue;
        }
        if (c.wire == WireType::Variant) {
            w.U8(kVariant);
            w.U32(kVariantMaxBytes);
            w.BVarChar(c.name);
            continue;
        }
        switch (c.type) {
        case TFieldType::ftSmallint:
        case TFieldType::ftInteger:
        case TFieldType::ftLargeint:
        case TFieldType::ftWord:
        case TFieldType::ftAutoInc:
            w.U8(kIntN);
            w.U8(static_cast<std::uint8_t>(IntBytes(c.type)));
            break;
        case TFieldType::ftFloat:
            w.U8(kFloatN);
            w.U8(8);
            break;
        case TFieldType::ftCurrency:
            w.U8(kMoneyN);
            w.U8(8);
            break;
        case TFieldType::ftBCD:
            w.U8(kDecimalN);
            w.U8(static_cast<std::uint8_t>(DecimalBytes(c.precision)));
            w.U8(static_cast<std::uint8_t>(c.precision));
            w.U8(static_cast<std::uint8_t>(c.scale));
            break;
        case TFieldType::ftGuid:
            w.U8(kGuid);
            w.U8(16);
            break;
        case TFieldType::ftDate:
            w.U8(kDateN);
            break;
        case TFieldType::ftTime:
            w.U8(kTimeN);
            w.U8(3); // milliseconds
            break;
        case TFieldType::ftDateTime:
            w.U8(kDateTimeN);
            w.U8(8);
            break;
        case TFieldType::ftBoolean:
            w.U8(kBitN);
            w.U8(1);
            break;
        default:
            w.U8(kNVarChar);
            w.U16(c.maxChars > kMaxNVarChar ? 0xFFFF : static_cast<std::uint16_t>(c.maxChars * 2));
            w.Bytes(reinterpret_cast<const char *>(kCollation), 5);
        }
        w.BVarChar(c.name);
    }
}

namespace {
void WriteText(Writer &w, const WireColumn &c, const QString &text, bool null) {
    if (c.maxChars <= kMaxNVarChar) {
        if (null) {
            w.U16(0xFFFF);
            return;
        }
        w.U16(static_cast<std::uint16_t>(text.size() * 2));
        w.Ucs2(text);
        return;
    }
    // nvarchar(max): total length, one chunk, terminator.
    if (null) {
        w.U64(~0ull);
        return;
    }
    const auto bytes = static_cast<std::uint32_t>(text.size() * 2);
    w.U64(bytes);
    if (bytes > 0) {
        w.U32(bytes);
        w.Ucs2(text);
    }
    w.U32(0);
}

void WriteDecimal(Writer &w, const WireColumn &c, QStringView text) {
    bool positive = true;
    UInt128 magnitude = 0;
    if (!DecimalParts(text, c.precision, c.scale, &positive, &magnitude)) {
        w.U8(0); // does not fit: sent as NULL rather than as a wrong number
        return;
    }
    const int size = DecimalBytes(c.precision);
    w.U8(static_cast<std::uint8_t>(size));
    w.U8(positive ? 1 : 0);
    for (int i = 0; i < size - 1; ++i) {
        w.U8(static_cast<std::uint8_t>(magnitude & 0xFF));
        magnitude >>= 8;
    }
}

// Money from its exact text, as a whole number of ten-thousandths.
void WriteMoney(Writer &w, const WireColumn &c, QStringView text) {
    bool positive = true;
    UInt128 magnitude = 0;
    if (!DecimalParts(text, c.precision, c.scale, &positive, &magnitude)) {
        w.U8(0);
        return;
    }
    const std::int64_t v = positive ? static_cast<std::int64_t>(magnitude)
                                    : -static_cast<std::int64_t>(magnitude - 1) - 1;
    if (c.wire == WireType::SmallMoney) {
        w.U8(4);
        w.U32(static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
        return;
    }
    const auto bits = static_cast<std::uint64_t>(v);
    w.U8(8);
    w.U32(static_cast<std::uint32_t>(bits >> 32));
    w.U32(static_cast<std::uint32_t>(bits & 0xFFFFFFFFu));
}

// A variant: its length, the base type with its properties, then the value.
void WriteVariant(Writer &w, QStringView text, bool null) {
    if (null) {
        w.U32(0);
        return;
    }
    bool isInt = false;
    const int number = text.toInt(&isInt);
    if (isInt) {
        w.U32(2 + 4);
        w.U8(kInt4);
        w.U8(0);
        w.U32(static_cast<std::uint32_t>(number));
        return;
    }
    const auto bytes = static_cast<std::uint32_t>(text.size() * 2);
    w.U32(2 + 7 + bytes);
    w.U8(kNVarChar);
    w.U8(7);
    w.Bytes(reinterpret_cast<const char *>(kCollation), 5);
    w.U16(static_cast<std::uint16_t>(bytes));
    w.Ucs2(text);
}
} // namespace

void Row(Writer &w, const std::vector<WireColumn> &columns, const DbResult &result,
         std::size_t row) {
    w.U8(0xD1);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const WireColumn &c = columns[i];
        const DbColumn &column = result.Column(static_cast<int>(i));
        const bool null = column.IsNull(row);
        if (c.wire == WireType::Variant) {
            WriteVariant(w, null ? QStringView() : column.Text(row), null);
            continue;
        }
        if (c.wire != WireType::Natural) {
            if (null)
                w.U8(0);
            else
                WriteMoney(w, c, column.Text(row));
            continue;
        }
        if (IsText(c.type)) {
            WriteText(w, c, null ? QString() : TextOf(column, row), null);
            continue;
        }
        if (null) {
            w.U8(0);
            continue;
        }
        switch (c.type) {
        case TFieldType::ftSmallint:
        case TFieldType::ftInteger:
        case TFieldType::ftLargeint:
        case TFieldType::ftWord:
        case TFieldType::ftAutoInc: {
            const int bytes = IntBytes(c.type);
            const auto v = static_cast<std::uint64_t>(column.Int(row));
            w.U8(static_cast<std::uint8_t>(bytes));
            for (int b = 0; b < bytes; ++b)
                w.U8(static_cast<std::uint8_t>(v >> (8 * b)));
            break;
        }
        case TFieldType::ftFloat: {
            const double d = column.Real(row);
            std::uint64_t bits;
            std::memcpy(&bits, &d, sizeof bits);
            w.U8(8);
            w.U64(bits);
            break;
        }
        case TFieldType::ftCurrency: {
            const auto v = static_cast<std::uint64_t>(std::llround(column.Real(row) * 10000.0));
            w.U8(8);
            w.U32(static_cast<std::uint32_t>(v >> 32));
            w.U32(static_cast<std::uint32_t>(v & 0xFFFFFFFFu));
            break;
        }
        case TFieldType::ftBCD:
            WriteDecimal(w, c, column.Text(row));
            break;
        case TFieldType::ftGuid: {
            unsigned char bytes[16];
            if (!GuidBytes(column.Text(row), bytes)) {
                w.U8(0);
                break;
            }
            w.U8(16);
            w.Bytes(reinterpret_cast<const char *>(bytes), 16);
            break;
        }
        case TFieldType::ftDate: {
            const std::int64_t msecs = column.Int(row);
            const std::int64_t days =
                (msecs >= 0 ? msecs / kMSecsPerDay : (msecs - kMSecsPerDay + 1) / kMSecsPerDay) +
                kDays0001To1970;
            w.U8(3);
            w.U8(days & 0xFF);
            w.U8((days >> 8) & 0xFF);
            w.U8((days >> 16) & 0xFF);
            break;
        }
        case TFieldType::ftTime: {
            const auto msecs = static_cast<std::uint32_t>(column.Int(row) % kMSecsPerDay);
            w.U8(4);
            w.U32(msecs);
            break;
        }
        case TFieldType::ftDateTime: {
            const std::int64_t msecs = column.Int(row);
            std::int64_t days =
                msecs >= 0 ? msecs / kMSecsPerDay : (msecs - kMSecsPerDay + 1) / kMSecsPerDay;
            const std::int64_t ofDay = msecs - days * kMSecsPerDay;
            std::int64_t ticks = (ofDay * 300 + 500) / 1000;
            if (ticks >= 300LL * 86400) {
                ticks = 0;
                ++days;
            }
            w.U8(8);
            w.U32(static_cast<std::uint32_t>(static_cast<std::int32_t>(days + kDays1900To1970)));
            w.U32(static_cast<std::uint32_t>(ticks));
            break;
        }
        case TFieldType::ftBoolean:
            w.U8(1);
            w.U8(column.Int(row) != 0 ? 1 : 0);
            break;
        default:
            w.U8(0);
        }
    }
}

void Done(Writer &w, std::uint16_t status, std::uint64_t count, std::uint8_t token) {
    w.U8(token);
    w.U16(status);
    w.U16(0xC1); // current command: SELECT (not read by the client)
    w.U64(count);
}

void Message(Writer &w, bool error, std::uint32_t number, std::uint8_t state, std::uint8_t severity,
             QStringView text, std::uint32_t line) {
    static const QString server = QStringLiteral("ORVELTDS");
    w.U8(error ? 0xAA : 0xAB);
    const std::size_t lengthAt = w.Size();
    w.U16(0);
    w.U32(number);
    w.U8(state);
    w.U8(severity);
    w.UsVarChar(text);
    w.BVarChar(server);
    w.BVarChar(QStringView());
    w.U32(line);
    w.PatchU16(lengthAt, static_cast<std::uint16_t>(w.Size() - lengthAt - 2));
}

void EnvChange(Writer &w, std::uint8_t type, QStringView newValue, QStringView oldValue) {
    w.U8(0xE3);
    const std::size_t lengthAt = w.Size();
    w.U16(0);
    w.U8(type);
    w.BVarChar(newValue);
    w.BVarChar(oldValue);
    w.PatchU16(lengthAt, static_cast<std::uint16_t>(w.Size() - lengthAt - 2));
}

void CollationChange(Writer &w) {
    w.U8(0xE3);
    w.U16(1 + 1 + 5 + 1);
    w.U8(7);
    w.U8(5);
    w.Bytes(reinterpret_cast<const char *>(kCollation), 5);
    w.U8(0);
}

void LoginAck(Writer &w, std::uint32_t tdsVersion) {
    static const QString program = QStringLiteral("Orvel TDS test server");
    w.U8(0xAD);
    w.U16(static_cast<std::uint16_t>(10 + 2 * program.size()));
    w.U8(1); // interface: SQL (0 makes FreeTDS refuse the login)
    w.U8(tdsVersion >> 24);
    w.U8((tdsVersion >> 16) & 0xFF);
    w.U8((tdsVersion >> 8) & 0xFF);
    w.U8(tdsVersion & 0xFF);
    w.BVarChar(program);
    w.U8(16);
    w.U8(0);
    w.U8(0);
    w.U8(1);
}

bool DecimalParts(QStringView text, int precision, int scale, bool *positive, UInt128 *magnitude) {
    text = text.trimmed();
    *positive = true;
    if (text.startsWith(QLatin1Char('-'))) {
        *positive = false;
        text = text.mid(1);
    } else if (text.startsWith(QLatin1Char('+'))) {
        text = text.mid(1);
    }
    UInt128 limit = 1;
    for (int i = 0; i < precision; ++i)
        limit *= 10;
    UInt128 value = 0;
    int fraction = -1; // digits after the point so far; -1 before the point
    bool roundUp = false;
    for (QChar ch : text) {
        if (ch == QLatin1Char('.') && fraction < 0) {
            fraction = 0;
            continue;
        }
        if (!ch.isDigit() || ch.unicode() > '9')
            return false;
        if (fraction >= scale) {
            // Beyond the scale: only the first dropped digit decides the rounding.
            if (fraction == scale)
                roundUp = ch.unicode() >= '5';
            ++fraction;
            continue;
        }
        value = value * 10 + (ch.unicode() - '0');
        if (value >= limit)
            return false;
        if (fraction >= 0)
            ++fraction;
    }
    for (int f = std::max(fraction, 0); f < scale; ++f) {
        value *= 10;
        if (value >= limit)
            return false;
    }
    if (roundUp)
        ++value;
    if (value >= limit)
        return false;
    if (value == 0)
        *positive = true;
    *magnitude = value;
    return true;
}

bool GuidBytes(QStringView text, unsigned char out[16]) {
    if (text.startsWith(QLatin1Char('{')) && text.endsWith(QLatin1Char('}')))
        text = text.mid(1, text.size() - 2);
    if (text.size() != 36)
        return false;
    unsigned char display[16];
    int n = 0;
    for (qsizetype i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != QLatin1Char('-'))
                return false;
            ++i;
            continue;
        }
        bool ok = false;
        const uint byte = text.mid(i, 2).toUInt(&ok, 16);
        if (!ok)
            return false;
        display[n++] = static_cast<unsigned char>(byte);
        i += 2;
    }
    // The first three groups travel little-endian, the last eight bytes as they are.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i)
        out[i] = display[order[i]];
    return true;
}

} // namespace Tds
