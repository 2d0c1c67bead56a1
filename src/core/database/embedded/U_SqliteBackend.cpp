// The embedded engine's connection: the folder of databases, the current database and its SQLite
// handle, opened, changed by USE and interrupted by a cancel.
#include "U_SqliteBackend.h"

#include "U_SqliteErrors.h"
#include "U_SqliteFunctions.h"
#include "U_TSql.h"
#include "U_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <unistd.h>

namespace {

using tsql::Error;

const QStringList kSystemDatabases = {QStringLiteral("master"), QStringLiteral("model"),
                                      QStringLiteral("tempdb"), QStringLiteral("msdb")};

// A database in a folder the user cannot write to (the installed demo data) is opened read-only:
// its journal could not be made there, so a write must fail at once with the server's own
// read-only error rather than half-way through.
bool CanWriteDatabase(const QString &path) {
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::access(file.constData(), W_OK) == 0 && ::access(folder.constData(), W_OK) == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------

SqliteBackend::SqliteBackend() : FContext(std::make_unique<sqlitefn::Context>()) {
    FContext->currentDatabase = [this] { return CurrentDatabase(); };
    FContext->databaseNames = [this] { return DatabaseNames(); };
}
SqliteBackend::~SqliteBackend() {
    Close();
}

sqlite3 *SqliteBackend::openHandle(const QString &path) {
    sqlite3 *handle = nullptr;
    const QByteArray p = path.toUtf8();
    // Each handle is used by one thread at a time (see FUse): no lock of SQLite's own.
    int flags = SQLITE_OPEN_READWRITE;
    if (path == QLatin1String(":memory:"))
        flags |= SQLITE_OPEN_CREATE;
    else if (!CanWriteDatabase(path))
        flags = SQLITE_OPEN_READONLY;
    flags |= SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(p.constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString text =
            handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QStringLiteral("out of memory");
        sqlite3_close(handle);
        throw Error(4060,
                    QStringLiteral("Nie można otworzyć bazy danych '%1' (%2).")
                        .arg(QFileInfo(path).completeBaseName(), text),
                    11);
    }
    sqlite3_busy_timeout(handle, 5000);
    sqlitefn::Register(handle, FContext.get());
    return handle;
}

void SqliteBackend::Open(const TOrvel_ConnectionSettings &settings) {
    const std::lock_guard lock(FUse);
    Close();
    QString folder = EmbeddedServerFolder(settings.Server);
    if (QDir::isRelativePath(folder))
        folder = QDir(GetAppFolder()).absoluteFilePath(folder);
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir())
        throw EDbProviderError(
            0x80004005, QStringLiteral("Folder baz danych '%1' nie istnieje lub nie jest folderem.")
                            .arg(settings.Server));
    FFolder = QDir::cleanPath(info.absoluteFilePath());
    try {
        replaceHandle(openHandle(QStringLiteral(":memory:")));
    } catch (const Error &e) {
        throw EDbProviderError(0x80004005, e.Text);
    }
    FDatabaseName = QStringLiteral("master");
    FConnected = true;
}

void SqliteBackend::replaceHandle(sqlite3 *handle) {
    sqlite3 *old = nullptr;
    {
        std::lock_guard lock(FHandleLock);
        old = std::exchange(FDb, handle);
    }
    if (old)
        sqlite3_close_v2(old);
}

void SqliteBackend::InterruptBatch() {
    std::lock_guard lock(FHandleLock);
    if (FDb)
        sqlite3_interrupt(FDb);
}

void SqliteBackend::Close() {
    const std::lock_guard lock(FUse);
    replaceHandle(nullptr);
    FConnected = false;
    FDatabaseName.clear();
}

bool SqliteBackend::IsConnected() const {
    return FConnected;
}

QStringList SqliteBackend::DatabaseNames() const {
    QStringList names;
    const QFileInfoList files =
        QDir(FFolder).entryInfoList(QDir::Files | QDir::Readable, QDir::NoSort);
    for (const QFileInfo &f : files) {
        if (f.suffix().compare(QLatin1String("sqlite"), Qt::CaseInsensitive) != 0)
            continue;
        const QString name = f.completeBaseName();
        bool system = false;
        for (const QString &s : kSystemDatabases)
            system = system || name.compare(s, Qt::CaseInsensitive) == 0;
        if (!system && !name.isEmpty())
            names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

void SqliteBackend::UseDatabase(const QString &name) {
    const std::lock_guard lock(FUse);
    if (name.compare(QLatin1String("master"), Qt::CaseInsensitive) == 0) {
        replaceHandle(openHandle(QStringLiteral(":memory:")));
        FDatabaseName = QStringLiteral("master");
        return;
    }
    // Only names found in the folder are opened, so no name can reach outside it.
    for (const QString &candidate : DatabaseNames()) {
        if (candidate.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const QFileInfoList files = QDir(FFolder).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo &f : files) {
            if (f.completeBaseName() == candidate &&
                f.suffix().compare(QLatin1String("sqlite"), Qt::CaseInsensitive) == 0) {
                replaceHandle(openHandle(f.absoluteFilePath()));
                FDatabaseName = candidate;
                return;
            }
        }
    }
    throw Error(911, QStringLiteral(
                         "Baza danych '%1' nie istnieje. Upewnij się, że nazwa została wprowadzona "
                         "poprawnie.")
                         .arg(name));
}

std::unique_ptr<DbBackend> CreateSqliteBackend() {
    return std::make_unique<SqliteBackend>();
}
