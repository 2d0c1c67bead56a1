// Fetch speed over TDS: 1,000,000 rows of 8 mixed columns from the TDS test server, read by our
// ODBC backend (FreeTDS driver, block fetching into the column storage) and by FreeTDS's own
// bsqldb (DB-Library) against the same server, first in clear and then with the whole session
// under TLS (the server forcing encryption, as Azure SQL does). Each fetch is repeated and the
// runs alternate between the two clients, so that a busy machine slows both alike; the medians
// are printed, with the server's own share (the engine preparing the result) and our memory per
// stored row.
// Usage: bench_tds [rows [repeats]]
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

#include <algorithm>
#include <cstdio>
#include <vector>

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

qint64 Median(std::vector<qint64> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Fetch {
    qint64 loginMSecs = -1; // connection and USE
    qint64 msecs = -1;      // the query and its fetch
    int rows = 0;
    double bytesPerRow = 0;
};

// Ours: the ODBC backend through the FreeTDS driver.
Fetch OursOnce(const TdsTestServer &server, const QString &query) {
    Fetch f;
    DbConnection connection;
    QString failure;
    QElapsedTimer timer;
    timer.start();
    if (!OpenConnection(connection,
                        LoginConnectionSettings(server.ServerName(), true, kUser, kPassword),
                        &failure) ||
        !UseDatabase(connection, "BENCH")) {
        std::fprintf(stderr, "cannot connect: %s\n", qPrintable(failure));
        return f;
    }
    f.loginMSecs = timer.restart();
    DbBatchOutcome outcome = connection.Backend()->ExecBatch(query, 600, true);
    f.msecs = timer.elapsed();
    if (outcome.Failed || outcome.Items.empty() || !outcome.Items.back().rows) {
        std::fprintf(stderr, "our fetch failed: %s\n", qPrintable(outcome.ErrorMessage));
        f.msecs = -1;
        return f;
    }
    const DbResult &result = *outcome.Items.back().rows;
    f.rows = result.RowCount();
    f.bytesPerRow = f.rows > 0 ? static_cast<double>(result.MemoryBytes()) / f.rows : 0;
    return f;
}

// FreeTDS's bsqldb against the same server, output thrown away; -1 when it is missing or failed.
qint64 BsqldbOnce(const QString &bsqldb, const QTemporaryDir &dir, const TdsTestServer &server,
                  const QString &query) {
    QFile conf(dir.filePath("freetds.conf"));
    QFile script(dir.filePath("query.sql"));
    if (bsqldb.isEmpty() || !conf.open(QIODevice::WriteOnly) || !script.open(QIODevice::WriteOnly))
        return -1;
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
    QElapsedTimer timer;
    timer.start();
    peer.start(bsqldb, {"-S", "orvelbench", "-U", kUser, "-P", kPassword, "-D", "BENCH", "-q", "-i",
                        script.fileName()});
    peer.waitForFinished(-1);
    const qint64 msecs = timer.elapsed();
    if (peer.exitStatus() != QProcess::NormalExit || peer.exitCode() != 0) {
        std::fprintf(stderr, "bsqldb failed: %s\n", peer.readAllStandardError().constData());
        return -1;
    }
    return msecs;
}

// Whether every message after the clients' PRELOGIN reached the server under TLS.
bool AllUnderTls(const TdsTestServer &server) {
    bool any = false;
    for (const TdsTestServer::ReceivedMessage &m : server.ReceivedMessages()) {
        if (m.Type == 0x12)
            continue;
        if (!m.Encrypted)
            return false;
        any = true;
    }
    return any;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const int repeats = std::max(1, argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 3);
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

    const QString bsqldb = QStandardPaths::findExecutable("bsqldb");
    std::printf("rows: %d (8 columns: int, nvarchar(40), money, decimal(18,4), datetime, bit, "
                "float, int); medians of %d runs each, ours and bsqldb alternating\n",
                rows, repeats);
    std::printf("server engine alone:          %8lld ms  %12.0f rows/s\n",
                static_cast<long long>(engineMSecs), Rate(rows, engineMSecs));

    struct Mode {
        const char *name;
        TdsTestServer::Encryption encryption;
    };
    for (const Mode &mode : {Mode{"in clear", TdsTestServer::Encryption::NotSupported},
                             Mode{"TLS, whole session", TdsTestServer::Encryption::Required}}) {
        TdsTestServer server(dir.path(), kUser, kPassword);
        server.SetEncryption(mode.encryption);
        if (!server.Start()) {
            std::fprintf(stderr, "cannot start the test server\n");
            return 1;
        }
        std::vector<qint64> ours, logins, peer;
        Fetch last;
        for (int i = 0; i < repeats; ++i) {
            last = OursOnce(server, query);
            if (last.msecs < 0 || last.rows != rows)
                return 1;
            ours.push_back(last.msecs);
            logins.push_back(last.loginMSecs);
            const qint64 p = BsqldbOnce(bsqldb, dir, server, query);
            if (p >= 0)
                peer.push_back(p);
        }
        const bool underTls = AllUnderTls(server);
        server.Stop();
        if (underTls != (mode.encryption == TdsTestServer::Encryption::Required)) {
            std::fprintf(stderr, "the session did not travel as intended (%s)\n", mode.name);
            return 1;
        }
        const qint64 oursMedian = Median(ours);
        std::printf("%s:\n", mode.name);
        std::printf(
            "  ours (ODBC, FreeTDS):       %8lld ms  %12.0f rows/s  %.1f bytes/row stored\n",
            static_cast<long long>(oursMedian), Rate(rows, oursMedian), last.bytesPerRow);
        std::printf("  ours, login and USE:        %8lld ms\n",
                    static_cast<long long>(Median(logins)));
        if (peer.size() == ours.size()) {
            const qint64 peerMedian = Median(peer);
            std::printf("  bsqldb (DB-Library):        %8lld ms  %12.0f rows/s (includes its "
                        "start-up, login and text output to /dev/null)\n",
                        static_cast<long long>(peerMedian), Rate(rows, peerMedian));
        } else {
            std::printf("  bsqldb: not run\n");
        }
    }
    return 0;
}
