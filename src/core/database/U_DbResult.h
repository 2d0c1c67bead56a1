#pragma once
// Column-wise storage of one result set: one typed vector per column and a null bitmap, texts in
// one shared character pool per column. No heap object per cell, so a million rows stay compact.
#include "U_DbColumnBuffer.h"
#include "U_FieldType.h"

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <cstdint>
#include <string_view>
#include <vector>

struct DbColumnInfo {
    QString Name;
    TFieldType Type = TFieldType::ftUnknown;
    int Size = 0;      // characters of a text column (0: unbounded)
    int Precision = 0; // decimal digits of a fixed-point column
    int Scale = 0;
    bool Nullable = true;
};

// Storage classes by type: integers, booleans and date-times (milliseconds since
// 1970-01-01T00:00, as a wall-clock value with no time zone) as 64-bit integers; floating point
// and currency as doubles; texts, GUIDs, fixed-point decimals (their exact text, "." as the
// separator) and large objects as text.
class DbColumn {
public:
    explicit DbColumn(const DbColumnInfo &info);
    const DbColumnInfo &Info() const { return FInfo; }
    // Changes the column's description after filling (e.g. INTEGER found to need 64 bits); the new
    // type must keep the storage class.
    void SetInfo(const DbColumnInfo &info);
    static bool SameStorage(TFieldType a, TFieldType b);

    void Reserve(std::size_t rows);
    void AppendNull();
    void AppendInt(std::int64_t value);
    void AppendReal(double value);
    void AppendText(QStringView value);
    void AppendAscii(std::string_view value); // a text of ASCII characters (digits, signs)
    // A text in UTF-8, decoded straight into a text column's pool. False, with nothing appended,
    // when the column does not hold texts, or the bytes are not well-formed UTF-8 or hold U+0000:
    // the caller then decodes them its own way.
    bool AppendUtf8(std::string_view value);
    void AppendDateTime(const QDateTime &value);
    void
    AppendVariant(const QVariant &value); // converts by the column's type; null QVariant = NULL

    std::size_t Size() const { return FNull.size(); }
    bool IsNull(std::size_t row) const { return FNull[row]; }
    std::int64_t Int(std::size_t row) const;
    double Real(std::size_t row) const;
    QStringView Text(std::size_t row) const;
    QDateTime DateTime(std::size_t row) const;
    // qint64, double, QString, QDate/QTime/QDateTime or bool by the column's type; invalid for
    // NULL.
    QVariant Value(std::size_t row) const;
    std::size_t MemoryBytes() const;

    // Takes the other column's values in place of its own, keeping its description (the object
    // stays where it is, so what reads it keeps reading it). The other column must have the same
    // storage class, or hold only NULLs; otherwise false, and nothing changes.
    bool TakeValues(DbColumn &&other);

    static std::int64_t ToMSecs(const QDateTime &value);
    static QDateTime FromMSecs(std::int64_t msecs);

private:
    enum class Storage : std::uint8_t { Int, Real, Text };
    static Storage StorageOf(TFieldType type);
    DbColumnInfo FInfo;
    Storage FStorage;
    std::vector<bool> FNull;
    DbColumnBuffer<std::int64_t> FInts;
    DbColumnBuffer<double> FReals;
    DbColumnBuffer<std::uint32_t> FTextStart; // offsets into the column's pool; n+1 ends row n
    DbColumnBuffer<char16_t> FPool;
};

class DbResult {
public:
    explicit DbResult(const std::vector<DbColumnInfo> &columns);
    int ColumnCount() const { return static_cast<int>(FColumns.size()); }
    int RowCount() const { return FColumns.empty() ? 0 : static_cast<int>(FColumns[0].Size()); }
    DbColumn &Column(int index) { return FColumns[static_cast<std::size_t>(index)]; }
    const DbColumn &Column(int index) const { return FColumns[static_cast<std::size_t>(index)]; }
    std::size_t MemoryBytes() const;
    std::vector<DbColumnInfo> ColumnInfos() const;
    // The rows of another result of the same columns in place of these (see DbColumn::TakeValues);
    // false, with nothing changed, when a column of it cannot stand in for ours.
    bool TakeRows(DbResult &&other);

private:
    std::vector<DbColumn> FColumns;
};
