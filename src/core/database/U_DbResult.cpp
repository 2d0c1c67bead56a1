#include "U_DbResult.h"

#include <cmath>
#include <limits>

namespace {
const QDate kEpoch(1970, 1, 1);
constexpr std::int64_t kMSecsPerDay = 86400000;
} // namespace

DbColumn::Storage DbColumn::StorageOf(TFieldType type) {
    switch (type) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
    case TFieldType::ftBoolean:
    case TFieldType::ftDate:
    case TFieldType::ftTime:
    case TFieldType::ftDateTime:
        return Storage::Int;
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
        return Storage::Real;
    default:
        return Storage::Text;
    }
}

bool DbColumn::SameStorage(TFieldType a, TFieldType b) {
    return StorageOf(a) == StorageOf(b);
}

DbColumn::DbColumn(const DbColumnInfo &info) : FInfo(info), FStorage(StorageOf(info.Type)) {
    if (FStorage == Storage::Text)
        FTextStart.push_back(0);
}

void DbColumn::SetInfo(const DbColumnInfo &info) {
    if (StorageOf(info.Type) != FStorage)
        throw std::logic_error("DbColumn::SetInfo: storage class differs");
    FInfo = info;
}

void DbColumn::Reserve(std::size_t rows) {
    FNull.reserve(rows);
    switch (FStorage) {
    case Storage::Int:
        FInts.reserve(rows);
        break;
    case Storage::Real:
        FReals.reserve(rows);
        break;
    case Storage::Text:
        FTextStart.reserve(rows + 1);
        break;
    }
}

void DbColumn::AppendNull() {
    FNull.push_back(true);
    switch (FStorage) {
    case Storage::Int:
        FInts.push_back(0);
        break;
    case Storage::Real:
        FReals.push_back(0);
        break;
    case Storage::Text:
        FTextStart.push_back(FTextStart.back());
        break;
    }
}

void DbColumn::AppendInt(std::int64_t value) {
    switch (FStorage) {
    case Storage::Int:
        FInts.push_back(value);
        break;
    case Storage::Real:
        FReals.push_back(static_cast<double>(value));
        break;
    case Storage::Text:
        AppendText(QString::number(value));
        return;
    }
    FNull.push_back(false);
}

void DbColumn::AppendReal(double value) {
    switch (FStorage) {
    case Storage::Int:
        FInts.push_back(static_cast<std::int64_t>(std::llround(value)));
        break;
    case Storage::Real:
        FReals.push_back(value);
        break;
    case Storage::Text:
        AppendText(QString::number(value, 'g', QLocale::FloatingPointShortest));
        return;
    }
    FNull.push_back(false);
}

void DbColumn::AppendText(QStringView value) {
    if (FStorage != Storage::Text) {
        // A text for a typed column: read it as that type; what does not convert is NULL.
        AppendVariant(QVariant(value.toString()));
        return;
    }
    if (FPool.size() + static_cast<std::size_t>(value.size()) >
        std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("DbColumn: text pool of a column exceeds 4 GiB characters");
    FPool.Append(reinterpret_cast<const char16_t *>(value.utf16()),
                 static_cast<std::size_t>(value.size()));
    FTextStart.push_back(static_cast<std::uint32_t>(FPool.size()));
    FNull.push_back(false);
}

void DbColumn::AppendDateTime(const QDateTime &value) {
    if (!value.isValid()) {
        AppendNull();
        return;
    }
    if (FStorage == Storage::Text) {
        AppendText(value.toString(Qt::ISODateWithMs));
        return;
    }
    if (FInfo.Type == TFieldType::ftTime)
        AppendInt(value.time().msecsSinceStartOfDay());
    else
        AppendInt(ToMSecs(value));
}

void DbColumn::AppendVariant(const QVariant &value) {
    if (!value.isValid() || value.isNull()) {
        AppendNull();
        return;
    }
    switch (FStorage) {
    case Storage::Text:
        AppendText(value.toString());
        return;
    case Storage::Real: {
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (ok)
            AppendReal(d);
        else
            AppendNull();
        return;
    }
    case Storage::Int:
        break;
    }
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        AppendDateTime(value.toDateTime());
        return;
    case QMetaType::QDate:
        AppendInt(kEpoch.daysTo(value.toDate()) * kMSecsPerDay);
        return;
    case QMetaType::QTime:
        AppendInt(value.toTime().msecsSinceStartOfDay());
        return;
    case QMetaType::Bool:
        AppendInt(value.toBool() ? 1 : 0);
        return;
    default:
        break;
    }
    bool ok = false;
    const qint64 i = value.toLongLong(&ok);
    if (ok) {
        AppendInt(i);
        return;
    }
    const double d = value.toDouble(&ok);
    if (ok)
        AppendReal(d);
    else
        AppendNull();
}

std::int64_t DbColumn::Int(std::size_t row) const {
    switch (FStorage) {
    case Storage::Int:
        return FInts[row];
    case Storage::Real:
        return static_cast<std::int64_t>(std::llround(FReals[row]));
    case Storage::Text:
        return Text(row).toLongLong();
    }
    return 0;
}

double DbColumn::Real(std::size_t row) const {
    switch (FStorage) {
    case Storage::Int:
        return static_cast<double>(FInts[row]);
    case Storage::Real:
        return FReals[row];
    case Storage::Text:
        return Text(row).toDouble();
    }
    return 0;
}

QStringView DbColumn::Text(std::size_t row) const {
    if (FStorage != Storage::Text)
        return {};
    const std::uint32_t begin = FTextStart[row];
    const std::uint32_t end = FTextStart[row + 1];
    return QStringView(FPool.data() + begin, static_cast<qsizetype>(end - begin));
}

QDateTime DbColumn::DateTime(std::size_t row) const {
    if (FStorage != Storage::Int || FNull[row])
        return {};
    if (FInfo.Type == TFieldType::ftTime)
        return QDateTime(kEpoch, QTime::fromMSecsSinceStartOfDay(static_cast<int>(FInts[row])),
                         Qt::UTC);
    return FromMSecs(FInts[row]);
}

QVariant DbColumn::Value(std::size_t row) const {
    if (FNull[row])
        return {};
    switch (FInfo.Type) {
    case TFieldType::ftBoolean:
        return QVariant(FInts[row] != 0);
    case TFieldType::ftDate:
        return QVariant(FromMSecs(FInts[row]).date());
    case TFieldType::ftTime:
        return QVariant(QTime::fromMSecsSinceStartOfDay(static_cast<int>(FInts[row])));
    case TFieldType::ftDateTime:
        return QVariant(FromMSecs(FInts[row]));
    default:
        break;
    }
    switch (FStorage) {
    case Storage::Int:
        return QVariant(static_cast<qint64>(FInts[row]));
    case Storage::Real:
        return QVariant(FReals[row]);
    case Storage::Text:
        return QVariant(Text(row).toString());
    }
    return {};
}

std::size_t DbColumn::MemoryBytes() const {
    return FNull.capacity() / 8 + FInts.capacity() * sizeof(std::int64_t) +
           FReals.capacity() * sizeof(double) + FTextStart.capacity() * sizeof(std::uint32_t) +
           FPool.capacity() * sizeof(char16_t) + sizeof(*this);
}

std::int64_t DbColumn::ToMSecs(const QDateTime &value) {
    const std::int64_t days = kEpoch.daysTo(value.date());
    return days * kMSecsPerDay + value.time().msecsSinceStartOfDay();
}

QDateTime DbColumn::FromMSecs(std::int64_t msecs) {
    std::int64_t days = msecs / kMSecsPerDay;
    std::int64_t rest = msecs % kMSecsPerDay;
    if (rest < 0) {
        rest += kMSecsPerDay;
        --days;
    }
    // UTC only as a label: the value is a wall-clock time, and a local zone's daylight-saving gaps
    // must not move it.
    return QDateTime(kEpoch.addDays(days), QTime::fromMSecsSinceStartOfDay(static_cast<int>(rest)),
                     Qt::UTC);
}

DbResult::DbResult(const std::vector<DbColumnInfo> &columns) {
    FColumns.reserve(columns.size());
    for (const DbColumnInfo &info : columns)
        FColumns.emplace_back(info);
}

std::size_t DbResult::MemoryBytes() const {
    std::size_t total = sizeof(*this);
    for (const DbColumn &c : FColumns)
        total += c.MemoryBytes();
    return total;
}
