// Fetch speed over TDS: 1,000,000 rows of 8 mixed columns from the TDS test server, read by our
// ODBC backend (FreeTDS driver, block fetching into the column storage) and by FreeTDS's own
// bsqldb (DB-Library) in the same run against the same server. Prints rows per second of each,
// the server's own share (the engine preparing the result) and our memory per stored row.
// Usage: bench_tds [rows]
#include "TdsTestServer.h"
#include "U_DbBackend.h"
#include "U_Login.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {
const QString kUser = QStringLiteral("bench");
const QString kPassword = QStringLiteral("bench-only");

bool CreateDatabase(const QString &file, int rows) {
    const QByteArray sql =
        QStringLiteral(
            "CREATE TABLE b (id INT, nazwa NVARCHAR(40), kwota MONEY, cena DECIMAL(18,4), "
            "chwila DATETIME, flaga BIT, wsp FLOAT, kod INT);"
            "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < %1) "
            "INSERT INTO b SELECT i, 'Pozycja nr ' || i, i * 1.25, printf('%d.%04d', i / 3, i % "
            "10000), "
            "datetime(1700000000 + i * 7, 'unixepoch'), i % 2, i / 7.0, i % 1000 FROM s;")
            .arg(rows)
            .toUtf8();
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(file.toUtf8().constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

double Rate(int rows, qint64 msecs) {
    return msecs > 0 ? rows * 1000.0 / msecs : 0;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const QString query = QStringLiteral("SELECT * FROM b");
    QTemporaryDir dir;
    if (!dir.isValid() || !CreateDatabase(dir.filePath("BENCH.sqlite"), rows)) {
        std::fprintf(stderr, "cannot create the bench database\n");
        return 1;
    }

    // The server's share: the embedded engine preparing the same result in process.
    auto engine = CreateBackend("sqlite:" + dir.path());
    TOrvel_ConnectionSettings local;
    local.Server = "sqlite:" + dir.path();
    engine->Open(local);
    engine->ExecBatch("USE \"BENCH\"", 0, false);
    QElapsedTimer timer;
    timer.start();
    engine->ExecBatch(query, 0, true);
    const qint64 engineMSecs = timer.elapsed();
    engine.reset();

    TdsTestServer server(dir.path(), kUser, kPassword);
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start the test server\n");
        return 1;
    }

    // Ours: the ODBC backend through the FreeTDS driver.
    DbConnection connection;
    QString failure;
    if (!OpenConnection(connection,
                        LoginConnectionSettings(server.ServerName(), true, kUser, kPassword),
                        &failure) ||
        !UseDatabase(connection, "BENCH")) {
        std::fprintf(stderr, "cannot connect: %s\n", qPrintable(failure));
        return 1;
    }
    timer.restart();
    DbBatchOutcome outcome = connection.Backend()->ExecBatch(query, 600, true);
    const qint64 oursMSecs = timer.elapsed();
    if (outcome.Failed || outcome.Items.empty() || !outcome.Items.back().rows) {
        std::fprintf(stderr, "our fetch failed: %s\n", qPrintable(outcome.ErrorMessage));
        return 1;
    }
    const DbResult &result = *outcome.Items.back().rows;
    const double bytesPerRow = static_cast<double>(result.MemoryBytes()) / result.RowCount();
    const int fetched = result.RowCount();
    outcome = DbBatchOutcome();
    connection.Close();

    // FreeTDS's bsqldb against the same server, output thrown away.
    const QString bsqldb = QStandardPaths::findExecutable("bsqldb");
    qint64 peerMSecs = -1;
    if (!bsqldb.isEmpty()) {
        QFile conf(dir.filePath("freetds.conf"));
        QFile script(dir.filePath("query.sql"));
        if (conf.open(QIODevice::WriteOnly) && script.open(QIODevice::WriteOnly)) {
            conf.write(QStringLiteral("[orvelbench]\n\thost = 127.0.0.1\n\tport = %1\n"
                                      "\ttds version = 7.4\n")
                           .arg(server.Port())
                           .toUtf8());
            conf.close();
            script.write(query.toUtf8() + "\n");
            script.close();
            QProcess peer;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("FREETDSCONF", conf.fileName());
            peer.setProcessEnvironment(env);
            peer.setStandardOutputFile(QProcess::nullDevice());
            timer.restart();
            peer.start(bsqldb, {"-S", "orvelbench", "-U", kUser, "-P", kPassword, "-D", "BENCH",
                                "-q", "-i", script.fileName()});
            peer.waitForFinished(-1);
            peerMSecs = timer.elapsed();
            if (peer.exitStatus() != QProcess::NormalExit || peer.exitCode() != 0) {
                std::fprintf(stderr, "bsqldb failed: %s\n",
                             peer.readAllStandardError().constData());
                peerMSecs = -1;
            }
        }
    }
    server.Stop();

    std::printf("rows: %d (8 columns: int, nvarchar(40), money, decimal(18,4), datetime, bit, "
                "float, int)\n",
                fetched);
    std::printf("server engine alone:      %8lld ms  %12.0f rows/s\n",
                static_cast<long long>(engineMSecs), Rate(rows, engineMSecs));
    std::printf("ours (ODBC, FreeTDS):     %8lld ms  %12.0f rows/s  %.1f bytes/row stored\n",
                static_cast<long long>(oursMSecs), Rate(fetched, oursMSecs), bytesPerRow);
    if (peerMSecs >= 0)
        std::printf(
            "bsqldb (DB-Library):      %8lld ms  %12.0f rows/s (includes its start-up, login "
            "and text output to /dev/null)\n",
            static_cast<long long>(peerMSecs), Rate(rows, peerMSecs));
    else
        std::printf("bsqldb: not run\n");
    return 0;
}
