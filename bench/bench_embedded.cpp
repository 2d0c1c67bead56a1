// Benchmark of the embedded engine through the database interface: builds a table of 1,000,000
// rows and 8 columns, opens it as a report result, sorts it, and times the sqlite3 shell exporting
// the same query to CSV in the same run for comparison.
//
//   bench_embedded [ROWS]
#include "BenchSqlite.h"
#include "U_Db.h"
#include "U_DbResult.h"
#include "U_locale.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

bool buildTable(const QString &file, int rows) {
    const QByteArray sql =
        QStringLiteral(
            "CREATE TABLE Dane (Id INT PRIMARY KEY, Nazwa NVARCHAR(50), Kwota NUMERIC(12,2), Cena "
            "MONEY,"
            " Ilosc FLOAT, Data DATE, Znacznik DATETIME, Aktywny BIT);"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
            " INSERT INTO Dane SELECT i,"
            " CASE i % 5 WHEN 0 THEN 'Łukasz ' WHEN 1 THEN 'lis ' WHEN 2 THEN 'Żaneta ' WHEN 3 "
            "THEN 'Zenon ' ELSE 'Ćma ' END"
            "   || ((i * 7919) % 100003),"
            " CASE WHEN i % 50 = 0 THEN NULL ELSE ((i * 104729) % 10000000) / 100.0 END,"
            " ((i * 31) % 100000) / 100.0, ((i * 17) % 1000) / 7.0,"
            " date('2000-01-01', '+' || ((i * 13) % 9000) || ' days'),"
            " strftime('%Y-%m-%d %H:%M:%S', '2020-01-01', '+' || ((i * 7777) % 100000000) || ' "
            "seconds'),"
            " i % 3 = 0 FROM n;")
            .arg(rows)
            .toUtf8();
    return ExecSqliteFile(file, sql);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Bench.sqlite"));
    QElapsedTimer t;
    t.start();
    if (!buildTable(file, rows))
        return 1;
    std::printf("table of %d rows x 8 columns built in %.2f s\n", rows, t.elapsed() / 1000.0);
    const QString query = QStringLiteral("SELECT * FROM Dane");

    DbConnection conn;
    TOrvel_ConnectionSettings settings;
    settings.Server = QStringLiteral("sqlite:") + dir.path();
    conn.Open(settings);
    DbQuery use(&conn);
    use.SQL = QStringLiteral("USE Bench");
    use.Execute();

    DbQuery q(&conn);
    q.SQL = query;
    q.CommandTimeout = 600;
    const long rssBefore = residentKiB();
    t.restart();
    q.Open();
    const double openSeconds = t.elapsed() / 1000.0;
    const long rssAfter = residentKiB();
    const double perRow = double(q.Result()->MemoryBytes()) / q.RecordCount();
    std::printf("interface: opened %d rows in %.2f s = %.0f rows/s\n", q.RecordCount(), openSeconds,
                q.RecordCount() / openSeconds);
    std::printf("interface: result storage %.1f bytes/row (resident growth %.1f bytes/row)\n",
                perRow, (rssAfter - rssBefore) * 1024.0 / q.RecordCount());

    for (const char *order : {"Nazwa ASC", "Kwota DESC", "Znacznik ASC", "Id DESC"}) {
        t.restart();
        q.Sort(QString::fromLatin1(order));
        std::printf("interface: sort by %-13s %.2f s\n", order, t.elapsed() / 1000.0);
    }
    t.restart();
    qint64 chars = 0;
    for (int r = 0; r < q.RecordCount(); ++r)
        for (int c = 0; c < q.FieldCount(); ++c)
            chars += q.Field(c)->DisplayTextAt(r).size();
    std::printf("interface: display text of every cell in %.2f s (%lld characters)\n",
                t.elapsed() / 1000.0, static_cast<long long>(chars));

    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty()) {
        std::printf("sqlite3 shell: not found, no comparison\n");
        return 0;
    }
    QProcess p;
    p.setStandardOutputFile(dir.filePath(QStringLiteral("out.csv")));
    t.restart();
    p.start(shell, {QStringLiteral("-csv"), QStringLiteral("-header"), file, query});
    p.waitForFinished(-1);
    const double shellSeconds = t.elapsed() / 1000.0;
    std::printf(
        "sqlite3 shell: exported %d rows to CSV in %.2f s = %.0f rows/s (exit %d, %lld bytes)\n",
        rows, shellSeconds, rows / shellSeconds, p.exitCode(),
        static_cast<long long>(QFile(dir.filePath(QStringLiteral("out.csv"))).size()));
    return 0;
}
