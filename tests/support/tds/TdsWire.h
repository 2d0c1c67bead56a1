#pragma once
// The byte level of the SQL Server wire protocol (TDS 7.2 and later) as the test server writes it:
// a growing little-endian token buffer and the encoders of the tokens and values it sends.
#include "U_DbResult.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace Tds {

// 38 decimal digits need 128 bits.
__extension__ typedef unsigned __int128 UInt128;

enum PacketType : std::uint8_t {
    SqlBatch = 0x01,
    Rpc = 0x03,
    Reply = 0x04,
    Attention = 0x06,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    PreLogin = 0x12,
};

enum DoneStatus : std::uint16_t {
    DoneFinal = 0x00,
    DoneMore = 0x01,
    DoneError = 0x02,
    DoneCount = 0x10,
    DoneAttention = 0x20,
};

class Writer {
public:
    void U8(std::uint8_t v) { FBytes.push_back(static_cast<char>(v)); }
    void U16(std::uint16_t v);
    void U16BE(std::uint16_t v);
    void U32(std::uint32_t v);
    void U64(std::uint64_t v);
    void Bytes(const char *data, std::size_t size) {
        FBytes.insert(FBytes.end(), data, data + size);
    }
    void Ucs2(QStringView text);      // UTF-16LE without a length
    void BVarChar(QStringView text);  // 1-byte character count + UTF-16LE
    void UsVarChar(QStringView text); // 2-byte character count + UTF-16LE
    void PatchU16(std::size_t at, std::uint16_t v);
    std::size_t Size() const { return FBytes.size(); }
    const char *Data() const { return FBytes.data(); }
    void Erase(std::size_t count) { FBytes.erase(FBytes.begin(), FBytes.begin() + count); }
    void Clear() { FBytes.clear(); }

private:
    std::vector<char> FBytes;
};

// A server type that the stored result cannot tell by itself: its values are kept as exact text
// (money as a decimal with four places; a variant as the text of its value).
enum class WireType : std::uint8_t {
    Natural,    // from the stored column's type
    Money,      // MONEY (8 bytes)
    SmallMoney, // SMALLMONEY (4 bytes)
    Variant,    // sql_variant: an int when the text is a 32-bit whole number, else an nvarchar
};

// One column as the server describes it on the wire.
struct WireColumn {
    QString name;
    TFieldType type = TFieldType::ftUnknown;
    WireType wire = WireType::Natural;
    bool nullable = true;
    int maxChars = 1;   // text columns; above 4000 the column is nvarchar(max)
    int precision = 38; // decimals
    int scale = 0;
};

// The wire description of the stored result's columns (text widths measured on the data).
// `wireTypes` (by column, may be shorter) overrides the types taken from the stored columns.
std::vector<WireColumn> DescribeColumns(const DbResult &result,
                                        const std::vector<WireType> &wireTypes = {});

void ColMetadata(Writer &w, const std::vector<WireColumn> &columns);
void Row(Writer &w, const std::vector<WireColumn> &columns, const DbResult &result,
         std::size_t row);
void Done(Writer &w, std::uint16_t status, std::uint64_t count, std::uint8_t token = 0xFD);
void Message(Writer &w, bool error, std::uint32_t number, std::uint8_t state, std::uint8_t severity,
             QStringView text, std::uint32_t line);
void EnvChange(Writer &w, std::uint8_t type, QStringView newValue, QStringView oldValue);
void CollationChange(Writer &w);
void LoginAck(Writer &w, std::uint32_t tdsVersion);

// Decimal text ("-12.3400") as the sign and the magnitude scaled by 10^scale (rounded half up);
// false when the value does not fit the precision.
bool DecimalParts(QStringView text, int precision, int scale, bool *positive, UInt128 *magnitude);
// "6F9619FF-8B86-D011-B42D-00C04FC964FF" (braces optional) as the 16 wire bytes; false otherwise.
bool GuidBytes(QStringView text, unsigned char out[16]);

} // namespace Tds
