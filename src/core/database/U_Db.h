#pragma once
// The database interface: every part of the system reaches a server through these classes alone.
// DbConnection picks a backend by the server name: "sqlite:FOLDER" is the embedded engine, any
// other name is SQL Server over ODBC. A result is held in memory in a compact, column-wise typed
// form; sorting reorders a row permutation, so row numbers, the grid and exports follow it.
#include "U_DisplayFormat.h"
#include "U_FieldType.h"
#include "U_error.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <vector>

// One message of the server about the last statement (a diagnostic record).
struct TOrvel_ProviderMessage {
    std::uint32_t Number = 0;      // the provider's error number (HRESULT-like, see U_Login)
    std::uint32_t NativeError = 0; // the server's own error number
    QString Source; // e.g. "Microsoft OLE DB Provider for SQL Server" / driver prefix
    QString Description;
    QString SqlState;
    int Class = 16; // severity: 10 and below is information (PRINT), above is an error
    int State = 1;
    int Line = 0;
};

// What the login window chose; the backend maps it onto its own connection settings.
struct TOrvel_ConnectionSettings {
    QString Server;
    bool WindowsAuth = false;
    QString User;
    QString Password; // never written anywhere
    QString AppName = QStringLiteral("Orvel-Zestawnik");
    QString Language = QStringLiteral("Polish");
    int LoginTimeout = 15; // seconds
    // Windows authentication: the Kerberos service principal of the server, where it is not the
    // one the driver forms from the server's name; "" for the driver's own.
    QString ServerSPN;
};

// A failed open or statement: Code is one of the provider codes of the login's error table
// (0x800A0E7A driver missing, 0x80004005 server unreachable, 0x80040E4D login failed,
// 0x800A0E79 already open) or another code; the message is the provider's own text. A failed
// open also tells the server's own error number, when the server sent one, and whether the
// server answered at all (a refused Kerberos step looks like "cannot connect" otherwise).
class EDbProviderError : public EOrvelError {
public:
    EDbProviderError(std::uint32_t code, const QString &message, std::int32_t nativeError = 0,
                     bool serverAnswered = false)
        : EOrvelError(message), FCode(code), FNativeError(nativeError),
          FServerAnswered(serverAnswered) {}
    std::uint32_t code() const noexcept { return FCode; }
    std::int32_t nativeError() const noexcept { return FNativeError; }
    bool serverAnswered() const noexcept { return FServerAnswered; }

private:
    std::uint32_t FCode;
    std::int32_t FNativeError;
    bool FServerAnswered;
};

// A batch stopped by a cancel request: its own outcome, not an error of the server.
class EDbCancelled : public EDbProviderError {
public:
    EDbCancelled();
};

class DbResult; // column-wise storage of one result set (U_DbResult.h)
class DbColumn;
class DbSortKeys; // a column's sort keys (U_DbSortKeys.h)
class DbBackend;  // one connection of one backend (U_DbBackend.h)
struct DbBatchOutcome;

// Takes the rows of a query's result in blocks while its batch still runs, on the thread that
// runs it, so that a result of any size passes through bounded memory. The backend hands over a
// block whenever it holds BlockRows() rows of the batch's first result with columns; the rows
// left at the end stay in the query's result as usual. Blocks of a batch that then fails or is
// cancelled must not count.
class DbRowSink {
public:
    virtual ~DbRowSink() = default;
    virtual std::size_t BlockRows() const = 0;
    // May wait until the taker has room for it: the fetch waits meanwhile.
    virtual void TakeBlock(std::unique_ptr<DbResult> rows) = 0;
};

class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    // Raises EDbProviderError on failure. Opening an open connection raises the "already open"
    // code.
    void Open(const TOrvel_ConnectionSettings &settings);
    // Safe also while a batch runs on another thread: that batch is cancelled, the connection is
    // closed from our side at once (a server that does not answer cannot hold it), and the
    // backend goes away with the batch.
    void Close();
    bool IsConnected() const;

    // Asks the batch now running on the connection to stop; safe from any thread, and nothing
    // happens when no batch runs. The query of that batch then raises EDbCancelled.
    void Cancel();
    // The rows the running batch has received so far (0 when there is no connection); safe from
    // any thread, so the window can show them while a report runs.
    qint64 RowsFetched() const;
    // Announces a batch that another thread is about to run, so that a cancel asked before the
    // batch reaches the server still stops it.
    void ExpectBatch();
    int CommandTimeout = 180;

    // The server's messages about the last statement; safe to call from the run's worker thread.
    QList<TOrvel_ProviderMessage> ProviderMessages() const;
    void ClearProviderMessages();
    void AddProviderMessages(const QList<TOrvel_ProviderMessage> &messages);

    DbBackend *Backend() const;
    QString ServerName() const { return FServer; }

private:
    friend class DbQuery;
    std::shared_ptr<DbBackend> SharedBackend() const;
    mutable QMutex FBackendLock; // the pointer only: a running batch holds its own reference
    std::shared_ptr<DbBackend> FBackend;
    QString FServer;
    mutable QMutex FMessagesLock;
    QList<TOrvel_ProviderMessage> FMessages;
};

class DbQuery;
class DbField;

// How one field's cells show, compiled once from the field's display format, boolean texts and
// the regional settings: reads a cell of the stored result and gives its display text without a
// string per cell. Immutable, so the threads of an export share one; valid while the query keeps
// the same result (a new run makes new fields).
class DbDisplayFormat {
public:
    explicit DbDisplayFormat(const DbField &field,
                             const TOrvel_FormatSettings &fs = UserFormatSettings());

    // The display text of the cell at a stored row: a view into the result itself for a text
    // field, else into `scratch` (which is cleared first). Empty for NULL.
    QStringView Cell(std::size_t storedRow, TOrvel_TextBuffer &scratch) const;
    // The display text appended to `out`.
    void Append(std::size_t storedRow, TOrvel_TextBuffer &out) const;
    const TOrvel_FieldFormat &Format() const { return FFormat; }

private:
    enum class Read : std::uint8_t { Int, Real, Decimal, Text };
    const DbColumn *FColumn;
    TOrvel_FieldFormat FFormat;
    Read FRead;
};

// One column of the open result, read at the query's current row or at a given row (the grid and
// the exports read by row without moving the current row).
class DbField {
public:
    DbField(DbQuery *query, int index);

    QString FieldName() const;
    TFieldType DataType() const;
    TFieldKind Kind() const { return FieldKindOf(DataType()); }
    int Index() const { return FIndex; }

    bool IsNull() const;
    QVariant
    Value() const; // qint64, double, QString (decimal text for ftBCD), QDate/QTime/QDateTime, bool
    QString AsString() const; // the value as text ("" for NULL)
    QString DisplayText() const;

    bool IsNullAt(int row) const; // row: 0-based position in the current order
    QVariant ValueAt(int row) const;
    QString AsStringAt(int row) const;
    QString DisplayTextAt(int row) const;

    QString DisplayLabel;                              // the caption; the field name when empty
    QString DisplayFormat;                             // numeric and date-time fields only
    QString DisplayValues = QStringLiteral("tak;nie"); // boolean fields: text for true;false

    QString Label() const { return DisplayLabel.isEmpty() ? FieldName() : DisplayLabel; }

private:
    // The compiled form of the display format in force, made again when the format, the boolean
    // texts or the regional settings change.
    const DbDisplayFormat &CompiledFormat() const;

    DbQuery *FQuery;
    int FIndex;
    mutable std::unique_ptr<DbDisplayFormat> FCompiled;
    mutable QString FCompiledPattern, FCompiledValues;
    mutable unsigned FCompiledSettings = 0;
    friend class DbDisplayFormat;
};

class DbQuery : public QObject {
    Q_OBJECT
public:
    explicit DbQuery(DbConnection *connection, QObject *parent = nullptr);
    ~DbQuery() override;

    QString SQL;
    int CommandTimeout = -1; // seconds; -1: the connection's (180 s)
    // Where Open hands the result's rows in blocks as they arrive; none: the result is held whole.
    DbRowSink *RowSink = nullptr;

    // Runs SQL as one batch; the first result with columns becomes the open result. Raises
    // EOrvelError("Obiekt CommandText nie zwraca zestawu wyniku") when none has columns, and
    // EDbProviderError for server errors (the messages are also in the connection's list).
    void Open();
    void Execute();
    void Close();
    bool IsOpen() const;
    // Asks the running Open or Execute to stop (from any thread); it then raises EDbCancelled and
    // leaves the query closed.
    void Cancel();

    int RecordCount() const;
    int RecNo() const; // from 1; 0 when empty or closed
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;
    void MoveTo(int row); // 0-based
    int Bookmark() const { return FRow; }
    void GotoBookmark(int bookmark);

    // Attached views are not told about moves while controls are disabled (nesting counts).
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return FDisabled > 0; }

    int FieldCount() const;
    DbField *Field(int index) const;
    const std::vector<std::unique_ptr<DbField>> &Fields() const { return FFields; }
    DbField *FindField(const QString &name) const;   // letter case ignored; nullptr when absent
    DbField *FieldByName(const QString &name) const; // raises "Pole '%s' nie znalezione"

    // In-place, stable sort by "NAME ASC" or "NAME DESC"; an empty text restores the server's
    // order.
    void Sort(const QString &sortText);
    // The same by the field at an index of the result (-1: the server's order), so that of two
    // fields of one name each sorts by its own values.
    void SortByField(int index, bool ascending);
    QString SortSpec() const { return FSort; }

    const DbResult *Result() const { return FResult.get(); }
    // Another block of rows of the same columns in place of the result's rows, in the server's
    // order: the fields, their formats and compiled forms stay (a result that arrives in blocks,
    // written block by block). The first block, on a closed query, opens it. Raises EOrvelError
    // when a column of the block is of another kind than the result's (the engine typed it
    // otherwise); nothing changes then.
    void ReplaceRows(std::unique_ptr<DbResult> rows);
    // The result's rows, leaving the query open on the same columns without rows.
    std::unique_ptr<DbResult> TakeRows();
    // The row of the stored result behind the row at the given position of the current order.
    int StoredRow(int row) const;

signals:
    void resultChanged();         // opened, closed or re-sorted
    void currentChanged(int row); // the current row moved (not while controls are disabled)

private:
    void setResult(std::unique_ptr<DbResult> result);
    // Runs the batch and moves its messages into the connection's list; raises on errors.
    DbBatchOutcome runBatch(bool firstResultOnly);
    void moved();
    DbConnection *FConnection;
    std::unique_ptr<DbResult> FResult;
    std::vector<std::unique_ptr<DbField>> FFields;
    std::vector<std::uint32_t> FOrder; // the current order: position -> stored row
    // The sort keys of the columns sorted by so far, kept for the other direction and later
    // sorts of the same result; made again when the regional settings change.
    std::vector<std::unique_ptr<DbSortKeys>> FSortKeys;
    unsigned FSortKeysSettings = 0;
    int FRow = 0;
    bool FEof = true;
    int FDisabled = 0;
    QString FSort;
    friend class DbField;
    friend class DbDisplayFormat;
};
