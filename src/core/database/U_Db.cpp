#include "U_Db.h"

#include "U_DbBackend.h"
#include "U_DbResult.h"
#include "U_DbSortKeys.h"
#include "U_DisplayFormat.h"
#include "U_locale.h"

#include <QMutexLocker>

#include <algorithm>
#include <numeric>

namespace {
// The provider codes the interface itself raises (as the OLE DB provider would).
constexpr std::uint32_t kErrObjectClosed = 0x800A0E78;
constexpr std::uint32_t kErrObjectOpen = 0x800A0E79;
constexpr std::uint32_t kErrInCommand = 0x80040E14;
constexpr std::uint32_t kErrCancelled = 0x80040E4E; // as OLE DB's DB_E_CANCELED

const QString kClosedText =
    QStringLiteral("Operacja nie jest dozwolona, gdy obiekt jest zamknięty");
const QString kNoResultText = QStringLiteral("Obiekt CommandText nie zwraca zestawu wyniku");

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

qint64 DbConnection::RowsFetched() const {
    const std::shared_ptr<DbBackend> backend = SharedBackend();
    return backend ? backend->RowsFetched() : 0;
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
    if (IsIntegerFieldType(t))
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
    TOrvel_TextBuffer scratch;
    return CompiledFormat()
        .Cell(static_cast<std::size_t>(FQuery->StoredRow(row)), scratch)
        .toString();
}

const DbDisplayFormat &DbField::CompiledFormat() const {
    const unsigned settings = UserFormatSettingsVersion();
    if (!FCompiled || FCompiledSettings != settings || FCompiledPattern != DisplayFormat ||
        FCompiledValues != DisplayValues) {
        FCompiled = std::make_unique<DbDisplayFormat>(*this);
        FCompiledPattern = DisplayFormat;
        FCompiledValues = DisplayValues;
        FCompiledSettings = settings;
    }
    return *FCompiled;
}

// ---------------------------------------------------------------------------------------------
// DbDisplayFormat

DbDisplayFormat::DbDisplayFormat(const DbField &field, const TOrvel_FormatSettings &fs)
    : FColumn(&field.FQuery->FResult->Column(field.FIndex)),
      FFormat(FColumn->Info().Type, field.DisplayFormat, field.DisplayValues, fs) {
    const TFieldType t = FColumn->Info().Type;
    const TFieldKind kind = FieldKindOf(t);
    if (t == TFieldType::ftFloat || t == TFieldType::ftCurrency)
        FRead = Read::Real;
    else if (t == TFieldType::ftBCD)
        FRead = Read::Decimal;
    else if (kind == TFieldKind::fkNumeric || kind == TFieldKind::fkDateTime ||
             kind == TFieldKind::fkBoolean)
        FRead = Read::Int;
    else
        FRead = Read::Text;
}

QStringView DbDisplayFormat::Cell(std::size_t storedRow, TOrvel_TextBuffer &scratch) const {
    if (FColumn->IsNull(storedRow))
        return {};
    if (FRead == Read::Text)
        return FColumn->Text(storedRow);
    scratch.Clear();
    Append(storedRow, scratch);
    return scratch.View();
}

void DbDisplayFormat::Append(std::size_t storedRow, TOrvel_TextBuffer &out) const {
    if (FColumn->IsNull(storedRow))
        return;
    switch (FRead) {
    case Read::Int:
        FFormat.AppendInt(FColumn->Int(storedRow), out);
        break;
    case Read::Real:
        FFormat.AppendReal(FColumn->Real(storedRow), out);
        break;
    case Read::Decimal:
        FFormat.AppendText(FColumn->Text(storedRow), out);
        break;
    case Read::Text:
        out.Append(FColumn->Text(storedRow));
        break;
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
    DbBatchOutcome outcome =
        backend->ExecBatch(SQL, timeout, firstResultOnly, firstResultOnly ? RowSink : nullptr);
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
    FSortKeys.clear();
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

void DbQuery::ReplaceRows(std::unique_ptr<DbResult> rows) {
    if (!FResult || !rows) {
        setResult(std::move(rows));
        return;
    }
    if (!FResult->TakeRows(std::move(*rows)))
        throw EOrvelError(QStringLiteral("Typ kolumny wyniku zmienił się w trakcie odczytu"));
    FOrder.resize(static_cast<std::size_t>(FResult->RowCount()));
    std::iota(FOrder.begin(), FOrder.end(), 0u);
    FSort.clear();
    FSortKeys.clear();
    FRow = 0;
    FEof = RecordCount() == 0;
}

std::unique_ptr<DbResult> DbQuery::TakeRows() {
    if (!FResult)
        return nullptr;
    auto rows = std::make_unique<DbResult>(FResult->ColumnInfos());
    std::swap(rows, FResult);
    FOrder.clear();
    FSort.clear();
    FSortKeys.clear();
    FRow = 0;
    FEof = true;
    // The fields read the result through the query, so they go on reading the empty one.
    FFields.clear();
    for (int i = 0; i < FResult->ColumnCount(); ++i)
        FFields.push_back(std::make_unique<DbField>(this, i));
    emit resultChanged();
    return rows;
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

    if (name.isEmpty()) {
        SortByField(-1, true);
    } else {
        SortByField(FieldByName(name)->Index(), ascending);
        FSort = sortText;
    }
}

void DbQuery::SortByField(int index, bool ascending) {
    if (!FResult)
        throw EOrvelError(kClosedText);
    const std::size_t n = static_cast<std::size_t>(FResult->RowCount());
    std::vector<std::uint32_t> order;

    if (index >= 0) {
        const DbField *field = Field(index);
        if (!field)
            throw EOrvelError(QStringLiteral("Pole '%1' nie znalezione").arg(index));
        const unsigned settings = UserFormatSettingsVersion();
        if (FSortKeysSettings != settings) {
            FSortKeys.clear();
            FSortKeysSettings = settings;
        }
        FSortKeys.resize(static_cast<std::size_t>(FResult->ColumnCount()));
        auto &keys = FSortKeys[static_cast<std::size_t>(index)];
        if (!keys)
            keys = std::make_unique<DbSortKeys>(FResult->Column(index), UserLocale());
        order = keys->Order(ascending);
        FSort = field->FieldName() + (ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC"));
    } else {
        order.resize(n);
        std::iota(order.begin(), order.end(), 0u);
        FSort.clear();
    }
    FOrder = std::move(order);
    FRow = 0;
    FEof = n == 0;
    emit resultChanged();
    moved();
}
