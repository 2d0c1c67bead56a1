// The whole command-line run to a file, next to the sqlite3 shell exporting the same table to CSV,
// each timed as a separate process in the same run (alternating, so that a busy machine weighs on
// both alike), with the median of the repetitions.
//
//   bench_cli [ROWS [REPEAT]]   (default 1000000 rows, 3 repetitions)
//
// The table has 8 columns: an integer, two texts with Polish letters, a DECIMAL(12,2), a float, a
// bit, a date-time and an integer. Lines: wall and CPU seconds and the peak memory of each run,
// then the medians and their ratio; XML, XHTML and XLSX runs are set against our own CSV run.
#include "BenchSqlite.h"
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
#include <map>
#include <string>
#include <vector>

extern char **environ;

namespace {

const char *const kColumns = "Id, Symbol, Nazwa, Kwota, Cena, Flag, Dzien, Ilosc";

bool MakeDatabase(const QString &path, int rows) {
    const QByteArray sql =
        "CREATE TABLE t (Id INT, Symbol NVARCHAR(20), Nazwa NVARCHAR(60), Kwota DECIMAL(12,2), "
        "Cena FLOAT, Flag BIT, Dzien DATETIME, Ilosc INT);"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        QByteArray::number(rows) +
        ") INSERT INTO t SELECT x, 'Ś' || (x % 9973), 'Pozycja \"' || x || '\" zażółć, gęślą', "
        "round((x % 100000) / 7.0, 2), x / 3.0, x % 2, "
        "datetime('2024-01-01 08:00:00', '+' || (x % 500000) || ' minutes'), x % 1000 FROM c;";
    return ExecSqliteFile(path, sql);
}

bool WriteFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

struct Run {
    double Wall = 0;
    double Cpu = 0;
    long PeakMB = 0;
    bool Ok = false;
};

// One child process, its standard output to a file; the figures come from wait4, so each run
// reports its own CPU time and peak memory.
Run Spawn(const std::vector<std::string> &argv, const QString &stdoutFile) {
    Run run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = stdoutFile.isEmpty() ? QByteArray("/dev/null") : stdoutFile.toUtf8();
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
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
    run.PeakMB = usage.ru_maxrss / 1024;
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const int repeat = std::max(1, argc > 2 ? QByteArray(argv[2]).toInt() : 3);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("db"));
    QDir().mkpath(db);
    const QString database = db + QStringLiteral("/Bench.sqlite");
    if (!MakeDatabase(database, rows))
        return 1;
    // An application folder with one report selecting the whole table.
    const QString appFolder = dir.filePath(QStringLiteral("app"));
    QDir().mkpath(appFolder + QStringLiteral("/data"));
    WriteFile(appFolder + QStringLiteral("/data reports/Bench.xml"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Zestawnik><version>1.0</version>"
              "<defaultdb>Bench</defaultdb><params></params></Zestawnik>\r\n");
    WriteFile(appFolder + QStringLiteral("/data reports/Bench.sql"),
              QByteArray("-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT ") + kColumns + " FROM t\r\n");

    const std::string cli =
        (QCoreApplication::applicationDirPath() + QStringLiteral("/orvel-zestawnik-cli"))
            .toStdString();
    const std::string folder = appFolder.toStdString();
    const std::string server = "sqlite:" + db.toStdString();
    auto ours = [&](const char *option, const char *file) {
        return std::vector<std::string>{
            cli,    "--app-folder", folder,
            "run",  "Bench",        "--server",
            server, option,         dir.filePath(QString::fromLatin1(file)).toStdString()};
    };
    struct Task {
        const char *Name;
        std::vector<std::string> Argv;
        QString Stdout;
    };
    const std::vector<Task> tasks = {
        {"ours run --csv", ours("--csv", "out.csv"), {}},
        {"sqlite3 shell -csv",
         {"sqlite3", "-csv", "-header", database.toStdString(),
          std::string("SELECT ") + kColumns + " FROM t"},
         dir.filePath(QStringLiteral("shell.csv"))},
        {"ours run --xml", ours("--xml", "out.xml"), {}},
        {"ours run --xhtml", ours("--xhtml", "out.htm"), {}},
        {"ours run --xlsx", ours("--xlsx", "out.xlsx"), {}},
    };
    std::printf("%d rows x 8 columns, %d repetitions, %d cores\n", rows, repeat,
                int(sysconf(_SC_NPROCESSORS_ONLN)));
    std::map<std::string, std::vector<double>> walls;
    std::map<std::string, long> peaks;
    for (int r = 0; r < repeat; ++r) {
        for (const Task &t : tasks) {
            const Run run = Spawn(t.Argv, t.Stdout);
            if (!run.Ok) {
                std::printf("%-22s failed\n", t.Name);
                return 1;
            }
            std::printf("%-22s wall %6.2f s  cpu %6.2f s  peak %5ld MB\n", t.Name, run.Wall,
                        run.Cpu, run.PeakMB);
            std::fflush(stdout);
            walls[t.Name].push_back(run.Wall);
            peaks[t.Name] = std::max(peaks[t.Name], run.PeakMB);
        }
    }
    const double csv = Median(walls["ours run --csv"]);
    const double shell = Median(walls["sqlite3 shell -csv"]);
    std::printf("median: ours CSV %.2f s, sqlite3 shell %.2f s: %.2fx the shell; peak %ld MB, "
                "%.1f bytes a cell\n",
                csv, shell, csv / shell, peaks["ours run --csv"],
                double(peaks["ours run --csv"]) * 1024 * 1024 / (double(rows) * 8));
    for (const char *name : {"ours run --xml", "ours run --xhtml", "ours run --xlsx"})
        std::printf("median: %s %.2f s: %.2fx our CSV; peak %ld MB\n", name, Median(walls[name]),
                    Median(walls[name]) / csv, peaks[name]);
    return 0;
}
