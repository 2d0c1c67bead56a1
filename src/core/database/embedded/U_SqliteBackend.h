#pragma once
// The embedded engine: SQLite behind a thin T-SQL layer. A server "sqlite:FOLDER" holds one
// database per NAME.sqlite file in FOLDER; USE opens one of them. Before any USE the current
// database is an empty in-memory "master".
#include "U_DbBackend.h"

#include <mutex>

struct sqlite3;
namespace sqlitefn {
struct Context;
}

class SqliteBackend : public DbBackend {
public:
    SqliteBackend();
    ~SqliteBackend() override;

    void Open(const TOrvel_ConnectionSettings &settings) override;
    void Close() override;
    bool IsConnected() const override;

    // The user databases of the folder: names as the files spell them, ordered by name with
    // letter case ignored; the system databases' names are left out.
    QStringList DatabaseNames() const;
    QString CurrentDatabase() const { return FDatabaseName; }
    QString Folder() const { return FFolder; }

    // Makes a database current (its name compared without letter case); raises tsql::Error 911
    // when the folder has no such database.
    void UseDatabase(const QString &name);

protected:
    DbBatchOutcome RunBatch(const QString &sql, int timeoutSeconds, bool firstResultOnly,
                            DbRowSink *sink) override;
    void InterruptBatch() override;

private:
    class Batch;
    friend class Batch;
    sqlite3 *openHandle(const QString &path);
    // Makes another handle current; a cancel never meets a handle being closed.
    void replaceHandle(sqlite3 *handle);
    std::mutex FHandleLock; // guards FDb against a cancel from another thread
    // The handles are opened without SQLite's own lock, which it would take on every call, i.e.
    // several times per cell of a fetch; instead one use of the connection (a batch, a change of
    // database, opening or closing) holds this lock from start to end. A cancel takes only
    // FHandleLock.
    mutable std::recursive_mutex FUse;
    QString FFolder;
    QString FDatabaseName;
    sqlite3 *FDb = nullptr;
    bool FConnected = false;
    std::unique_ptr<sqlitefn::Context> FContext; // answers DB_NAME() on every handle
};

// The backend of the embedded engine.
std::unique_ptr<DbBackend> CreateSqliteBackend();
