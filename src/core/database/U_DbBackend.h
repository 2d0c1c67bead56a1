#pragma once
// One connection of one backend (ODBC or the embedded engine) as DbConnection and DbQuery use it.
#include "U_Db.h"
#include "U_DbResult.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// What one batch produced, in the order the server sent it: result sets (with columns), counts of
// statements without columns, and messages (PRINT, warnings, errors).
struct DbBatchItem {
    enum class Kind { Rows, Count, Message };
    Kind kind = Kind::Count;
    std::shared_ptr<DbResult> rows;
    std::int64_t count = -1; // rows affected, -1 when the statement reports none
    TOrvel_ProviderMessage message;
};

struct DbBatchOutcome {
    std::vector<DbBatchItem> Items;
    bool Failed = false;         // an error stopped the batch
    bool Cancelled = false;      // a cancel request stopped the batch; nothing of it counts
    std::uint32_t ErrorCode = 0; // provider code of the failure
    QString ErrorMessage;        // the driver's / engine's message of the failure
};

class DbBackend {
public:
    virtual ~DbBackend() = default;
    virtual void Open(const TOrvel_ConnectionSettings &settings) = 0; // raises EDbProviderError
    virtual void Close() = 0;
    virtual bool IsConnected() const = 0;
    // Runs one batch. With firstResultOnly the backend may stop reading after the first result
    // that has columns (a report run needs no more). A batch stopped by Cancel ends with
    // Cancelled set and nothing else of it counts.
    // A sink (with firstResultOnly) takes the first result's rows in blocks as they arrive.
    DbBatchOutcome ExecBatch(const QString &sql, int timeoutSeconds, bool firstResultOnly,
                             DbRowSink *sink = nullptr);

    // Asks the batch now running to stop; safe from any thread. Nothing happens when no batch
    // runs and none is expected.
    void Cancel();
    // Marks a batch as about to start on another thread: a cancel asked before it reaches the
    // server is kept, and the batch stops as soon as it starts.
    void ExpectBatch();
    // Closes the connection from our side while a batch may still be running on another thread:
    // that batch fails at once where the backend can make it (the socket is shut down), and the
    // connection cannot be used again. Safe from any thread.
    virtual void Sever() {}

    // The rows the running batch has received so far, counted by the fetch itself as the rows
    // arrive (from 0 when a batch is announced or starts); safe from any thread.
    qint64 RowsFetched() const { return FRowsFetched.load(std::memory_order_relaxed); }

protected:
    // Told by the fetch loops of the rows just received.
    void CountFetchedRows(qint64 rows) { FRowsFetched.fetch_add(rows, std::memory_order_relaxed); }
    virtual DbBatchOutcome RunBatch(const QString &sql, int timeoutSeconds, bool firstResultOnly,
                                    DbRowSink *sink) = 0;
    // Stops the running statement; called under the run lock while a batch is running.
    virtual void InterruptBatch() = 0;
    bool CancelRequested() const { return FCancelRequested.load(); }

private:
    std::mutex FRunLock;
    bool FActive = false; // a batch runs or is expected
    std::atomic<bool> FCancelRequested{false};
    std::atomic<qint64> FRowsFetched{0};
};

// Chooses the backend for a server name: "sqlite:FOLDER" is the embedded engine, every other
// name SQL Server over ODBC.
std::unique_ptr<DbBackend> CreateBackend(const QString &server);
// Whether a server name selects the embedded engine, and the folder it names.
bool IsEmbeddedServer(const QString &server);
QString EmbeddedServerFolder(const QString &server);
