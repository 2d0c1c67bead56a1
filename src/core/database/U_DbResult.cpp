#include "U_DbResult.h"

#include <cmath>
#include <cstddef>
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

void DbColumn::AppendAscii(std::string_view value) {
    char16_t wide[128];
    if (FStorage != Storage::Text || value.size() > std::size(wide)) {
        AppendText(QString::fromLatin1(value.data(), static_cast<qsizetype>(value.size())));
        return;
    }
    for (std::size_t i = 0; i < value.size(); ++i)
        wide[i] = static_cast<unsigned char>(value[i]);
    AppendText(QStringView(wide, static_cast<qsizetype>(value.size())));
}

namespace {

// Decodes well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF, no U+0000)
// into `to`, which has room for one unit a byte; the units written, or -1.
std::ptrdiff_t DecodeUtf8(const unsigned char *s, std::size_t n, char16_t *to) {
    char16_t *const start = to;
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b >= 0x01 && b < 0x80) {
            *to++ = b;
            ++i;
            continue;
        }
        auto tail = [&](std::size_t k) { return i + k < n && (s[i + k] & 0xC0) == 0x80; };
        char32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF && tail(1)) {
            c = (char32_t(b & 0x1F) << 6) | (s[i + 1] & 0x3F);
            i += 2;
        } else if (b >= 0xE0 && b <= 0xEF && tail(1) && tail(2)) {
            c = (char32_t(b & 0x0F) << 12) | (char32_t(s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))
                return -1;
            i += 3;
        } else if (b >= 0xF0 && b <= 0xF4 && tail(1) && tail(2) && tail(3)) {
            c = (char32_t(b & 0x07) << 18) | (char32_t(s[i + 1] & 0x3F) << 12) |
                (char32_t(s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
            if (c < 0x10000 || c > 0x10FFFF)
                return -1;
            i += 4;
        } else {
            return -1; // U+0000, a stray continuation byte, a cut or invalid sequence
        }
        if (c >= 0x10000) {
            *to++ = char16_t(0xD800 + ((c - 0x10000) >> 10));
            *to++ = char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            *to++ = char16_t(c);
        }
    }
    return to - start;
}

} // namespace

bool DbColumn::AppendUtf8(std::string_view value) {
    if (FStorage != Storage::Text)
        return false;
    const std::size_t before = FPool.size();
    if (before + value.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("DbColumn: text pool of a column exceeds 4 GiB characters");
    // A UTF-8 text has at least as many bytes as UTF-16 units.
    char16_t *to = FPool.AppendUninitialized(value.size());
    const std::ptrdiff_t units =
        DecodeUtf8(reinterpret_cast<const unsigned char *>(value.data()), value.size(), to);
    if (units < 0) {
        FPool.Truncate(before);
        return false;
    }
    FPool.Truncate(before + static_cast<std::size_t>(units));
    FTextStart.push_back(static_cast<std::uint32_t>(FPool.size()));
    FNull.push_back(false);
    return true;
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

bool DbColumn::TakeValues(DbColumn &&other) {
    if (other.FStorage != FStorage) {
        for (std::size_t r = 0; r < other.Size(); ++r)
            if (!other.IsNull(r))
                return false;
        // NULLs show the same in every type: they take this column's own type.
        const std::size_t rows = other.Size();
        DbColumn nulls(FInfo);
        nulls.Reserve(rows);
        for (std::size_t r = 0; r < rows; ++r)
            nulls.AppendNull();
        return TakeValues(std::move(nulls));
    }
    FNull = std::move(other.FNull);
    FInts = std::move(other.FInts);
    FReals = std::move(other.FReals);
    FTextStart = std::move(other.FTextStart);
    FPool = std::move(other.FPool);
    return true;
}

std::vector<DbColumnInfo> DbResult::ColumnInfos() const {
    std::vector<DbColumnInfo> infos;
    infos.reserve(FColumns.size());
    for (const DbColumn &column : FColumns)
        infos.push_back(column.Info());
    return infos;
}

bool DbResult::TakeRows(DbResult &&other) {
    if (other.ColumnCount() != ColumnCount())
        return false;
    for (int c = 0; c < ColumnCount(); ++c) {
        const DbColumn &theirs = other.Column(c);
        if (theirs.Size() != other.Column(0).Size())
            return false;
        if (!DbColumn::SameStorage(theirs.Info().Type, Column(c).Info().Type) ||
            FieldKindOf(theirs.Info().Type) != FieldKindOf(Column(c).Info().Type)) {
            for (std::size_t r = 0; r < theirs.Size(); ++r)
                if (!theirs.IsNull(r))
                    return false;
        }
    }
    for (int c = 0; c < ColumnCount(); ++c)
        Column(c).TakeValues(std::move(other.Column(c)));
    return true;
}
