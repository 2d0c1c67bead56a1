#include "U_Db.h"

#include "U_DbBackend.h"
#include "U_DbResult.h"
#include "U_DisplayFormat.h"
#include "U_locale.h"

#include <QCollator>
#include <QMutexLocker>

#include <algorithm>
#include <numeric>
#include <thread>

namespace {
// The provider codes the interface itself raises (as the OLE DB provider would).
constexpr std::uint32_t kErrObjectClosed = 0x800A0E78;
constexpr std::uint32_t kErrObjectOpen = 0x800A0E79;
constexpr std::uint32_t kErrInCommand = 0x80040E14;
constexpr std::uint32_t kErrCancelled = 0x80040E4E; // as OLE DB's DB_E_CANCELED

const QString kClosedText =
    QStringLiteral("Operacja nie jest dozwolona, gdy obiekt jest zamknięty");
const QString kNoResultText = QStringLiteral("Obiekt CommandText nie zwraca zestawu wyniku");

bool isIntegerType(TFieldType t) {
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

// The long time format without a time-zone field: result values carry no zone.
QString timeFormat(const TOrvel_FormatSettings &fs) {
    QString f = fs.LongTimeFormat;
    f.remove(QLatin1Char('t'));
    return f.trimmed();
}

QString withDecimalSeparator(QString text, const TOrvel_FormatSettings &fs) {
    text.replace(QLatin1Char('.'), fs.DecimalSeparator);
    return text;
}

// Compares two exact decimal texts ("-12.50", "3") by value, digit by digit, so that
// 38-digit decimals sort exactly.
int compareDecimalText(QStringView a, QStringView b) {
    struct Parts {
        bool negative = false;
        QStringView intPart, fracPart;
    };
    auto split = [](QStringView s) {
        Parts p;
        s = s.trimmed();
        if (!s.isEmpty() && (s[0] == QLatin1Char('-') || s[0] == QLatin1Char('+'))) {
            p.negative = s[0] == QLatin1Char('-');
            s = s.mid(1);
        }
        const qsizetype dot = s.indexOf(QLatin1Char('.'));
        p.intPart = dot < 0 ? s : s.left(dot);
        p.fracPart = dot < 0 ? QStringView() : s.mid(dot + 1);
        while (!p.intPart.isEmpty() && p.intPart[0] == QLatin1Char('0'))
            p.intPart = p.intPart.mid(1);
        while (!p.fracPart.isEmpty() && p.fracPart.back() == QLatin1Char('0'))
            p.fracPart.chop(1);
        if (p.intPart.isEmpty() && p.fracPart.isEmpty())
            p.negative = false; // -0 equals 0
        return p;
    };
    const Parts x = split(a), y = split(b);
    if (x.negative != y.negative)
        return x.negative ? -1 : 1;
    int magnitude = 0;
    if (x.intPart.size() != y.intPart.size()) {
        magnitude = x.intPart.size() < y.intPart.size() ? -1 : 1;
    } else {
        magnitude = x.intPart.compare(y.intPart);
        if (magnitude == 0) {
            const qsizetype n = std::max(x.fracPart.size(), y.fracPart.size());
            for (qsizetype i = 0; i < n && magnitude == 0; ++i) {
                const QChar cx = i < x.fracPart.size() ? x.fracPart[i] : QLatin1Char('0');
                const QChar cy = i < y.fracPart.size() ? y.fracPart[i] : QLatin1Char('0');
                magnitude = cx < cy ? -1 : (cy < cx ? 1 : 0);
            }
        }
        magnitude = magnitude < 0 ? -1 : (magnitude > 0 ? 1 : 0);
    }
    return x.negative ? -magnitude : magnitude;
}
unsigned sortThreads(std::size_t n) {
    if (n < 50000)
        return 1;
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

// A stable sort that sorts slices in parallel and merges them in order (merging neighbours keeps
// equal elements in their original order).
template <typename It, typename Less> void parallelStableSort(It first, It last, Less less) {
    const auto n = static_cast<std::size_t>(last - first);
    const unsigned parts = sortThreads(n);
    if (parts <= 1) {
        std::stable_sort(first, last, less);
        return;
    }
    std::vector<It> bounds;
    for (unsigned p = 0; p <= parts; ++p)
        bounds.push_back(first + static_cast<std::ptrdiff_t>(n * p / parts));
    {
        std::vector<std::jthread> workers;
        for (unsigned p = 0; p < parts; ++p)
            workers.emplace_back([&, p] { std::stable_sort(bounds[p], bounds[p + 1], less); });
    }
    for (std::size_t width = 1; width < parts; width *= 2)
        for (std::size_t p = 0; p + width < parts; p += 2 * width)
            std::inplace_merge(bounds[p], bounds[p + width],
                               bounds[std::min<std::size_t>(p + 2 * width, parts)], less);
}

// The collation sort keys of a text column, one per stored row (NULL rows get the key of "").
class TextSortKeys {
public:
    TextSortKeys(const DbColumn &column, const QLocale &locale) {
        const std::size_t n = column.Size();
        const unsigned parts = sortThreads(n);
        FSlice = std::max<std::size_t>(1, (n + parts - 1) / parts);
        FKeys.resize(parts);
        std::vector<std::jthread> workers;
        for (unsigned p = 0; p < parts; ++p)
            workers.emplace_back([&, p] {
                QCollator collator(locale);
                collator.setCaseSensitivity(Qt::CaseInsensitive);
                const std::size_t from = p * FSlice, to = std::min(n, from + FSlice);
                auto &keys = FKeys[p];
                keys.reserve(to > from ? to - from : 0);
                for (std::size_t r = from; r < to; ++r)
                    keys.push_back(
                        collator.sortKey(column.IsNull(r) ? QString() : column.Text(r).toString()));
            });
    }
    const QCollatorSortKey &Key(std::uint32_t row) const {
        return FKeys[row / FSlice][row % FSlice];
    }

private:
    std::size_t FSlice = 1;
    std::vector<std::vector<QCollatorSortKey>> FKeys;
};

} // namespace

EDbCancelled::EDbCancelled()
    : EDbProviderError(kErrCancelled,
                       QStringLiteral("Wykonywanie raportu przerwane przez użytkownika")) {}

// ---------------------------------------------------------------------------------------------
// DbConnection

DbConnection::DbConnection() = default;
DbConnection::~DbConnection() {
    Close();
}

void DbConnection::Open(const TOrvel_ConnectionSettings &settings) {
    if (IsConnected())
        throw EDbProviderError(
            kErrObjectOpen, QStringLiteral("Operacja nie jest dozwolona, gdy obiekt jest otwarty"));
    std::shared_ptr<DbBackend> backend = CreateBackend(settings.Server);
    backend->Open(settings);
    QMutexLocker lock(&FBackendLock);
    FBackend = std::move(backend);
    FServer = settings.Server;
}

void DbConnection::Close() {
    std::shared_ptr<DbBackend> backend;
    {
        QMutexLocker lock(&FBackendLock);
        backend = std::move(FBackend);
    }
    if (!backend)
        return;
    if (backend.use_count() > 1) {
        // A batch still runs on another thread and holds the backend: stop it and cut the line;
        // the backend closes itself when that batch lets go of it.
        backend->Cancel();
        backend->Sever();
        return;
    }
    backend->Close();
}

bool DbConnection::IsConnected() const {
    const std::shared_ptr<DbBackend> backend = SharedBackend();
    return backend && backend->IsConnected();
}

DbBackend *DbConnection::Backend() const {
    return SharedBackend().get();
}

std::shared_ptr<DbBackend> DbConnection::SharedBackend() const {
    QMutexLocker lock(&FBackendLock);
    return FBackend;
}

void DbConnection::Cancel() {
    if (const std::shared_ptr<DbBackend> backend = SharedBackend())
        backend->Cancel();
}

void DbConnection::ExpectBatch() {
    if (const std::shared_ptr<DbBackend> backend = SharedBackend())
        backend->ExpectBatch();
}

QList<TOrvel_ProviderMessage> DbConnection::ProviderMessages() const {
    QMutexLocker lock(&FMessagesLock);
    return FMessages;
}

void DbConnection::ClearProviderMessages() {
    QMutexLocker lock(&FMessagesLock);
    FMessages.clear();
}

void DbConnection::AddProviderMessages(const QList<TOrvel_ProviderMessage> &messages) {
    QMutexLocker lock(&FMessagesLock);
    FMessages += messages;
}

// ---------------------------------------------------------------------------------------------
// DbField

DbField::DbField(DbQuery *query, int index) : FQuery(query), FIndex(index) {}

QString DbField::FieldName() const {
    return FQuery->FResult->Column(FIndex).Info().Name;
}

TFieldType DbField::DataType() const {
    return FQuery->FResult->Column(FIndex).Info().Type;
}

bool DbField::IsNull() const {
    return FQuery->RecordCount() == 0 || IsNullAt(FQuery->FRow);
}
QVariant DbField::Value() const {
    return FQuery->RecordCount() == 0 ? QVariant() : ValueAt(FQuery->FRow);
}
QString DbField::AsString() const {
    return FQuery->RecordCount() == 0 ? QString() : AsStringAt(FQuery->FRow);
}
QString DbField::DisplayText() const {
    return FQuery->RecordCount() == 0 ? QString() : DisplayTextAt(FQuery->FRow);
}

bool DbField::IsNullAt(int row) const {
    return FQuery->FResult->Column(FIndex).IsNull(static_cast<std::size_t>(FQuery->StoredRow(row)));
}

QVariant DbField::ValueAt(int row) const {
    return FQuery->FResult->Column(FIndex).Value(static_cast<std::size_t>(FQuery->StoredRow(row)));
}

QString DbField::AsStringAt(int row) const {
    const DbColumn &c = FQuery->FResult->Column(FIndex);
    const auto r = static_cast<std::size_t>(FQuery->StoredRow(row));
    if (c.IsNull(r))
        return {};
    const TOrvel_FormatSettings &fs = UserFormatSettings();
    const TFieldType t = c.Info().Type;
    if (isIntegerType(t))
        return QString::number(c.Int(r));
    switch (t) {
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
        return withDecimalSeparator(QString::number(c.Real(r), 'g', 15), fs);
    case TFieldType::ftBCD:
        return withDecimalSeparator(c.Text(r).toString(), fs);
    case TFieldType::ftBoolean: {
        const QStringList texts = DisplayValues.split(QLatin1Char(';'));
        return c.Int(r) != 0 ? texts.value(0) : texts.value(1);
    }
    case TFieldType::ftDate:
        return c.DateTime(r).date().toString(fs.ShortDateFormat);
    case TFieldType::ftTime:
        return c.DateTime(r).time().toString(timeFormat(fs));
    case TFieldType::ftDateTime: {
        // As the platform writes a date-time: the time is left out at midnight.
        const QDateTime dt = c.DateTime(r);
        QString text = dt.date().toString(fs.ShortDateFormat);
        if (dt.time() != QTime(0, 0))
            text += QLatin1Char(' ') + dt.time().toString(timeFormat(fs));
        return text;
    }
    default:
        return c.Text(r).toString();
    }
}

QString DbField::DisplayTextAt(int row) const {
    const DbColumn &c = FQuery->FResult->Column(FIndex);
    const auto r = static_cast<std::size_t>(FQuery->StoredRow(row));
    if (c.IsNull(r))
        return {};
    const TOrvel_FormatSettings &fs = UserFormatSettings();
    const TFieldType t = c.Info().Type;
    if (isIntegerType(t))
        return DisplayFormat.isEmpty()
                   ? QString::number(c.Int(r))
                   : FormatDecimalText(DisplayFormat, QString::number(c.Int(r)), fs);
    switch (t) {
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
        return FormatFloat(DisplayFormat, c.Real(r), fs);
    case TFieldType::ftBCD:
        return FormatDecimalText(DisplayFormat, c.Text(r).toString(), fs);
    case TFieldType::ftDate:
        return DisplayFormat.isEmpty() ? FormatDateOnly(c.DateTime(r).date(), fs)
                                       : FormatDateTime(DisplayFormat, c.DateTime(r), fs);
    case TFieldType::ftTime:
        return DisplayFormat.isEmpty() ? FormatTimeOnly(c.DateTime(r).time(), fs)
                                       : FormatDateTime(DisplayFormat, c.DateTime(r), fs);
    case TFieldType::ftDateTime:
        return FormatDateTime(DisplayFormat, c.DateTime(r), fs);
    default:
        return AsStringAt(row);
    }
}

// ---------------------------------------------------------------------------------------------
// DbQuery

DbQuery::DbQuery(DbConnection *connection, QObject *parent)
    : QObject(parent), FConnection(connection) {}

DbQuery::~DbQuery() = default;

DbBatchOutcome DbQuery::runBatch(bool firstResultOnly) {
    // The batch holds its backend for as long as it runs, so that a connection closed meanwhile
    // from another thread cannot pull it away.
    const std::shared_ptr<DbBackend> backend = FConnection ? FConnection->SharedBackend() : nullptr;
    if (!backend || !backend->IsConnected())
        throw EDbProviderError(kErrObjectClosed, kClosedText);
    FConnection->ClearProviderMessages();
    const int timeout = CommandTimeout >= 0 ? CommandTimeout : FConnection->CommandTimeout;
    DbBatchOutcome outcome = backend->ExecBatch(SQL, timeout, firstResultOnly);
    if (outcome.Cancelled)
        throw EDbCancelled();

    QList<TOrvel_ProviderMessage> messages;
    const TOrvel_ProviderMessage *firstError = nullptr;
    for (const DbBatchItem &item : outcome.Items) {
        if (item.kind != DbBatchItem::Kind::Message)
            continue;
        messages << item.message;
        if (!firstError && item.message.Class > 10)
            firstError = &item.message;
    }
    // A failure must always leave a message behind: the run reports an error only when the
    // connection has one, so a failure without it would pass for success.
    if (outcome.Failed && !firstError) {
        TOrvel_ProviderMessage m;
        m.Number = outcome.ErrorCode ? outcome.ErrorCode : kErrInCommand;
        m.Description = outcome.ErrorMessage;
        m.Class = 16;
        messages << m;
    }
    FConnection->AddProviderMessages(messages);
    if (outcome.Failed || firstError) {
        const QString text = firstError ? firstError->Description : outcome.ErrorMessage;
        const std::uint32_t code = outcome.ErrorCode
                                       ? outcome.ErrorCode
                                       : (firstError ? firstError->Number : kErrInCommand);
        throw EDbProviderError(code ? code : kErrInCommand, text);
    }
    return outcome;
}

void DbQuery::Open() {
    Close();
    DbBatchOutcome outcome = runBatch(true);
    for (DbBatchItem &item : outcome.Items) {
        if (item.kind == DbBatchItem::Kind::Rows && item.rows && item.rows->ColumnCount() > 0) {
            // The batch outcome shares the result; this query becomes its only owner.
            auto owned = std::make_unique<DbResult>(std::move(*item.rows));
            item.rows.reset();
            setResult(std::move(owned));
            return;
        }
    }
    throw EOrvelError(kNoResultText);
}

void DbQuery::Execute() {
    runBatch(false);
}

void DbQuery::Cancel() {
    if (FConnection)
        FConnection->Cancel();
}

void DbQuery::Close() {
    if (!FResult)
        return;
    setResult(nullptr);
}

bool DbQuery::IsOpen() const {
    return FResult != nullptr;
}

void DbQuery::setResult(std::unique_ptr<DbResult> result) {
    FFields.clear();
    FResult = std::move(result);
    FOrder.clear();
    FSort.clear();
    if (FResult) {
        FOrder.resize(static_cast<std::size_t>(FResult->RowCount()));
        std::iota(FOrder.begin(), FOrder.end(), 0u);
        for (int i = 0; i < FResult->ColumnCount(); ++i)
            FFields.push_back(std::make_unique<DbField>(this, i));
    }
    FRow = 0;
    FEof = RecordCount() == 0;
    emit resultChanged();
}

int DbQuery::RecordCount() const {
    return FResult ? FResult->RowCount() : 0;
}

int DbQuery::RecNo() const {
    return RecordCount() == 0 ? 0 : FRow + 1;
}

void DbQuery::moved() {
    if (FDisabled == 0)
        emit currentChanged(FRow);
}

void DbQuery::First() {
    FRow = 0;
    FEof = RecordCount() == 0;
    moved();
}

void DbQuery::Next() {
    if (FRow + 1 < RecordCount()) {
        ++FRow;
        moved();
    } else {
        FEof = true;
    }
}

void DbQuery::Prior() {
    if (FRow > 0) {
        --FRow;
        FEof = false;
        moved();
    }
}

void DbQuery::Last() {
    FRow = std::max(0, RecordCount() - 1);
    FEof = RecordCount() == 0;
    moved();
}

bool DbQuery::Eof() const {
    return FEof || RecordCount() == 0;
}

void DbQuery::MoveTo(int row) {
    if (row < 0 || row >= RecordCount())
        return;
    FRow = row;
    FEof = false;
    moved();
}

void DbQuery::GotoBookmark(int bookmark) {
    MoveTo(bookmark);
}

void DbQuery::DisableControls() {
    ++FDisabled;
}

void DbQuery::EnableControls() {
    if (FDisabled > 0 && --FDisabled == 0)
        emit currentChanged(FRow);
}

int DbQuery::FieldCount() const {
    return static_cast<int>(FFields.size());
}

DbField *DbQuery::Field(int index) const {
    if (index < 0 || index >= FieldCount())
        return nullptr;
    return FFields[static_cast<std::size_t>(index)].get();
}

DbField *DbQuery::FindField(const QString &name) const {
    for (const auto &f : FFields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

DbField *DbQuery::FieldByName(const QString &name) const {
    DbField *f = FindField(name);
    if (!f)
        throw EOrvelError(QStringLiteral("Pole '%1' nie znalezione").arg(name));
    return f;
}

int DbQuery::StoredRow(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= FOrder.size())
        return row;
    return static_cast<int>(FOrder[static_cast<std::size_t>(row)]);
}

void DbQuery::Sort(const QString &sortText) {
    if (!FResult)
        throw EOrvelError(kClosedText);
    QString name = sortText.trimmed();
    bool ascending = true;
    const qsizetype blank = name.lastIndexOf(QLatin1Char(' '));
    if (blank > 0) {
        const QString word = name.mid(blank + 1);
        if (word.compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0 ||
            word.compare(QLatin1String("ASC"), Qt::CaseInsensitive) == 0) {
            ascending = word.compare(QLatin1String("ASC"), Qt::CaseInsensitive) == 0;
            name = name.left(blank).trimmed();
        }
    }
    // A quoted name ([a b] or "a b") is the name inside the quotes.
    if (name.size() >= 2 &&
        ((name.front() == QLatin1Char('[') && name.back() == QLatin1Char(']')) ||
         (name.front() == QLatin1Char('"') && name.back() == QLatin1Char('"'))) &&
        !FindField(name))
        name = name.mid(1, name.size() - 2);

    const std::size_t n = static_cast<std::size_t>(FResult->RowCount());
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);

    if (!name.isEmpty()) {
        const DbField *field = FieldByName(name);
        const DbColumn &c = FResult->Column(field->Index());
        const TFieldType t = c.Info().Type;

        // NULLs come first ascending and last descending; the rest is sorted by value. Ties keep
        // the server's order (a stable sort of the stored order).
        auto valuesBegin = order.begin(), valuesEnd = order.end();
        if (ascending)
            valuesBegin = std::stable_partition(order.begin(), order.end(),
                                                [&](std::uint32_t r) { return c.IsNull(r); });
        else
            valuesEnd = std::stable_partition(order.begin(), order.end(),
                                              [&](std::uint32_t r) { return !c.IsNull(r); });
        auto sortBy = [&](auto compare) {
            parallelStableSort(valuesBegin, valuesEnd, [&](std::uint32_t a, std::uint32_t b) {
                const int r = compare(a, b);
                return ascending ? r < 0 : r > 0;
            });
        };
        const TFieldKind kind = FieldKindOf(t);
        if (t == TFieldType::ftBCD) {
            // The double of each decimal orders all values whose doubles differ; equal doubles
            // are settled on the exact text.
            std::vector<double> approx(n);
            for (std::size_t i = 0; i < n; ++i)
                approx[i] = c.IsNull(i) ? 0.0 : c.Text(i).toDouble();
            sortBy([&](std::uint32_t a, std::uint32_t b) {
                if (approx[a] != approx[b])
                    return approx[a] < approx[b] ? -1 : 1;
                return compareDecimalText(c.Text(a), c.Text(b));
            });
        } else if (t == TFieldType::ftFloat || t == TFieldType::ftCurrency) {
            sortBy([&](std::uint32_t a, std::uint32_t b) {
                const double x = c.Real(a), y = c.Real(b);
                return x < y ? -1 : (y < x ? 1 : 0);
            });
        } else if (kind == TFieldKind::fkNumeric || kind == TFieldKind::fkDateTime ||
                   kind == TFieldKind::fkBoolean) {
            sortBy([&](std::uint32_t a, std::uint32_t b) {
                const std::int64_t x = c.Int(a), y = c.Int(b);
                return x < y ? -1 : (y < x ? 1 : 0);
            });
        } else {
            // The user's language order, letter case ignored; one sort key per row, computed once
            // (in parallel slices, each with its own collator).
            const TextSortKeys keys(c, UserLocale());
            sortBy(
                [&](std::uint32_t a, std::uint32_t b) { return keys.Key(a).compare(keys.Key(b)); });
        }
        FSort = sortText;
    } else {
        FSort.clear();
    }
    FOrder = std::move(order);
    FRow = 0;
    FEof = n == 0;
    emit resultChanged();
    moved();
}
