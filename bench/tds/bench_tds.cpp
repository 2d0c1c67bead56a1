// Fetch speed over TDS: 1,000,000 rows of 8 mixed columns (int, nvarchar(40), money,
// decimal(18,4), datetime, bit, float, int) from the TDS test server, first in clear and then
// with the whole session under TLS (the server forcing encryption, as Azure SQL does). The runs
// alternate between the clients, so that a busy machine slows them alike, and the medians are
// printed.
//
//   bench_tds [ROWS [REPEATS]]          the server answers from its engine: our ODBC backend
//                                       (block fetching into the column storage) against
//                                       FreeTDS's bsqldb, with the engine's own share and our
//                                       memory per stored row
//   bench_tds replay [ROWS [REPEATS]]   the server writes the reply's packets encoded before the
//                                       clock starts: the runner's export to CSV against
//                                       freebcp queryout and bsqldb writing the same rows to a
//                                       file, each a process of its own, wall and CPU time
#include "TdsTestServer.h"
#include "U_DbBackend.h"
#include "U_Login.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

extern char **environ;

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

namespace {
// The server answering from its engine: ours in process against bsqldb.
int EngineMode(int rows, int repeats) {
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

// One client run as a process of its own: wall time, and CPU time (user and system) from the
// child's own rusage.
struct ChildRun {
    double Wall = 0;
    double Cpu = 0;
    bool Ok = false;
};

ChildRun Spawn(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv,
               const QString &stdoutFile, const QString &stderrFile) {
    ChildRun run;
    std::vector<std::string> envStrings(extraEnv);
    for (char **e = environ; *e; ++e)
        envStrings.emplace_back(*e);
    std::vector<char *> envp;
    for (std::string &e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings(argv);
    std::vector<char *> args;
    for (std::string &a : argStrings)
        args.push_back(a.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = stdoutFile.toUtf8();
    const QByteArray err = stderrFile.toUtf8();
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    clock_gettime(CLOCK_MONOTONIC, &end);
    run.Wall = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    run.Cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

double MedianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The lines of a written file (its row count, give or take a header line).
qint64 LinesIn(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 lines = 0;
    char buffer[1 << 16];
    for (qint64 got; (got = file.read(buffer, sizeof buffer)) > 0;)
        lines += std::count(buffer, buffer + got, '\n');
    return lines;
}

void PrintLoad() {
    if (FILE *uptime = popen("uptime", "r")) {
        char line[256];
        if (std::fgets(line, sizeof line, uptime))
            std::printf("  uptime: %s", line);
        pclose(uptime);
    }
}

bool WriteText(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// One client of the comparison: how it is started, and where it writes the rows.
struct Client {
    const char *Name;
    std::vector<std::string> Argv;
    QString Output;      // the rows
    bool OutputIsStdout; // else standard output is thrown away
    std::vector<double> Walls;
    std::vector<double> Cpus;
};

// The server replaying pre-encoded packets: the runner, freebcp and bsqldb as processes.
int ReplayMode(int rows, int repeats) {
    const QString query = QStringLiteral("SELECT * FROM b");
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("db"));
    if (!dir.isValid() || !QDir().mkpath(db) ||
        !CreateDatabase(db + QStringLiteral("/BENCH.sqlite"), rows)) {
        std::fprintf(stderr, "cannot create the bench database\n");
        return 1;
    }
    // The result the server will replay, read once from its engine.
    std::shared_ptr<const DbResult> result;
    {
        auto engine = CreateBackend("sqlite:" + db);
        TOrvel_ConnectionSettings local;
        local.Server = "sqlite:" + db;
        engine->Open(local);
        engine->ExecBatch("USE \"BENCH\"", 0, false);
        DbBatchOutcome outcome = engine->ExecBatch(query, 0, true);
        if (outcome.Failed || outcome.Items.empty() || !outcome.Items.back().rows) {
            std::fprintf(stderr, "cannot read the bench table\n");
            return 1;
        }
        result = outcome.Items.back().rows;
    }
    // The runner's report: the same query, on the bench database.
    const QString appFolder = dir.filePath(QStringLiteral("app"));
    QDir().mkpath(appFolder + QStringLiteral("/data"));
    const QString script = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]\r\n") + query;
    if (!WriteText(appFolder + QStringLiteral("/data reports/Bench.xml"),
                   "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Zestawnik><version>1.0"
                   "</version><defaultdb>BENCH</defaultdb><params></params></Zestawnik>\r\n") ||
        !WriteText(appFolder + QStringLiteral("/data reports/Bench.sql"), script.toUtf8()) ||
        !WriteText(dir.filePath(QStringLiteral("query.sql")), query.toUtf8() + "\n")) {
        std::fprintf(stderr, "cannot write the report\n");
        return 1;
    }
    const QString freebcp = QStandardPaths::findExecutable("freebcp");
    const QString bsqldb = QStandardPaths::findExecutable("bsqldb");
    if (freebcp.isEmpty() || bsqldb.isEmpty()) {
        std::fprintf(stderr, "freebcp and bsqldb are needed (the package freetds-bin)\n");
        return 1;
    }
    const std::string cli =
        (QCoreApplication::applicationDirPath() + QStringLiteral("/orvel-zestawnik-cli"))
            .toStdString();
    const std::string conf = dir.filePath(QStringLiteral("freetds.conf")).toStdString();
    const std::vector<std::string> env{"FREETDSCONF=" + conf,
                                       "ORVEL_PASSWORD=" + kPassword.toStdString()};
    auto path = [&dir](const char *name) { return dir.filePath(QLatin1String(name)); };

    std::printf("rows: %d (8 columns: int, nvarchar(40), money, decimal(18,4), datetime, bit, "
                "float, int); the server replays pre-encoded packets; medians of %d runs each, "
                "the three clients alternating; %d cores\n",
                rows, repeats, int(sysconf(_SC_NPROCESSORS_ONLN)));
    struct Mode {
        const char *name;
        TdsTestServer::Encryption encryption;
    };
    for (const Mode &mode : {Mode{"in clear", TdsTestServer::Encryption::NotSupported},
                             Mode{"TLS, whole session", TdsTestServer::Encryption::Required}}) {
        TdsTestServer server(db, kUser, kPassword);
        server.SetEncryption(mode.encryption);
        QElapsedTimer timer;
        timer.start();
        // The texts the clients send for the one query: the runner its script below the marker
        // line, from the line break on.
        for (const QString &text :
             {QStringLiteral("\r\n") + query, query, query + QStringLiteral("\n")})
            server.SetReplayedResult(text, result);
        const qint64 encodeMSecs = timer.elapsed();
        if (!server.Start()) {
            std::fprintf(stderr, "cannot start the test server\n");
            return 1;
        }
        QFile confFile(QString::fromStdString(conf));
        if (!confFile.open(QIODevice::WriteOnly) ||
            confFile.write(QStringLiteral("[orvelbench]\n\thost = 127.0.0.1\n\tport = %1\n"
                                          "\ttds version = 7.4\n")
                               .arg(server.Port())
                               .toUtf8()) < 0)
            return 1;
        confFile.close();
        const std::string port = server.ServerName().toStdString();
        const std::string user = kUser.toStdString();
        const std::string password = kPassword.toStdString();
        std::vector<Client> clients{
            {"runner run --csv",
             {cli, "--app-folder", appFolder.toStdString(), "run", "Bench", "--server", port,
              "--user", user, "--csv", path("runner.csv").toStdString()},
             path("runner.csv"),
             false,
             {},
             {}},
            {"freebcp queryout -c",
             {freebcp.toStdString(), query.toStdString(), "queryout",
              path("freebcp.txt").toStdString(), "-c", "-S", "orvelbench", "-U", user, "-P",
              password, "-D", "BENCH"},
             path("freebcp.txt"),
             false,
             {},
             {}},
            {"bsqldb > file",
             {bsqldb.toStdString(), "-S", "orvelbench", "-U", user, "-P", password, "-D", "BENCH",
              "-q", "-i", path("query.sql").toStdString()},
             path("bsqldb.txt"),
             true,
             {},
             {}},
        };
        std::printf("%s (the reply encoded in %lld ms, before the clock):\n", mode.name,
                    static_cast<long long>(encodeMSecs));
        PrintLoad();
        std::vector<qint64> fetchAlone;
        for (int r = 0; r < repeats; ++r) {
            // The runner's fetch by itself: our ODBC backend in this process, nothing written.
            const int replayedBefore = server.BatchesReplayed();
            const Fetch alone = OursOnce(server, query);
            if (alone.msecs < 0 || alone.rows != rows ||
                server.BatchesReplayed() != replayedBefore + 1) {
                std::fprintf(stderr, "the fetch alone failed or was not replayed\n");
                return 1;
            }
            fetchAlone.push_back(alone.msecs);
            for (Client &c : clients) {
                const int replayedBefore = server.BatchesReplayed();
                QFile::remove(c.Output);
                const ChildRun run =
                    Spawn(c.Argv, env, c.OutputIsStdout ? c.Output : QStringLiteral("/dev/null"),
                          path("stderr.txt"));
                const qint64 lines = LinesIn(c.Output);
                if (!run.Ok || lines < rows) {
                    QFile err(path("stderr.txt"));
                    err.open(QIODevice::ReadOnly);
                    std::fprintf(stderr, "%s failed (%lld lines written): %s\n", c.Name,
                                 static_cast<long long>(lines), err.readAll().constData());
                    return 1;
                }
                if (server.BatchesReplayed() != replayedBefore + 1) {
                    std::fprintf(stderr, "%s was not answered by the replay\n", c.Name);
                    return 1;
                }
                std::printf("  %-22s wall %6.2f s  cpu %6.2f s\n", c.Name, run.Wall, run.Cpu);
                std::fflush(stdout);
                c.Walls.push_back(run.Wall);
                c.Cpus.push_back(run.Cpu);
            }
        }
        const bool underTls = AllUnderTls(server);
        server.Stop();
        if (underTls != (mode.encryption == TdsTestServer::Encryption::Required)) {
            std::fprintf(stderr, "the sessions did not travel as intended (%s)\n", mode.name);
            return 1;
        }
        for (const Client &c : clients)
            std::printf("  median %-22s wall %6.2f s  cpu %6.2f s  %10.0f rows/s\n", c.Name,
                        MedianOf(c.Walls), MedianOf(c.Cpus), rows / MedianOf(c.Walls));
        std::printf("  median ODBC fetch alone (our backend in process, no file, no start-up): "
                    "wall %6.2f s\n",
                    static_cast<double>(Median(fetchAlone)) / 1000.0);
        const Client &ours = clients[0];
        const Client &peer =
            MedianOf(clients[1].Walls) <= MedianOf(clients[2].Walls) ? clients[1] : clients[2];
        std::printf("  the runner against the faster peer (%s): %.2fx faster in wall time, "
                    "%.2fx in CPU time\n",
                    peer.Name, MedianOf(peer.Walls) / MedianOf(ours.Walls),
                    MedianOf(peer.Cpus) / MedianOf(ours.Cpus));
        PrintLoad();
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    int first = 1;
    const bool replay = argc > 1 && QByteArray(argv[1]) == "replay";
    if (replay)
        ++first;
    const int rows = argc > first ? QString::fromLocal8Bit(argv[first]).toInt() : 1000000;
    const int repeats =
        std::max(1, argc > first + 1 ? QString::fromLocal8Bit(argv[first + 1]).toInt() : 3);
    if (rows <= 0) {
        std::fprintf(stderr, "usage: bench_tds [replay] [ROWS [REPEATS]]\n");
        return 2;
    }
    return replay ? ReplayMode(rows, repeats) : EngineMode(rows, repeats);
}
