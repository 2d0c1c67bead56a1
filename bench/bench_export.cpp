// Export of a large result to CSV, XML, XHTML, XLSX and the printed PDF, next to the sqlite3 shell
// writing the same rows to CSV in the same run.
//   bench_export [rows [folder]]   (default 1000000 rows; the files are kept in the folder when
//                                   one is given, e.g. to compare two builds' output)
// Prints one line per step: seconds, output size, and the peak memory during the step (the
// result's rows, held since the fetch, included).
#include "BenchSqlite.h"
#include "U_ColumnFit.h"
#include "U_DataExport.h"
#include "U_DataExport_XLSX.h"
#include "U_PrintDocument.h"
#include "U_SQL_report_settings.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>
#include <functional>

namespace {

const char *const kColumns = "Id, Symbol, Nazwa, Kwota, Cena, Flag, Dzien, Orvel_Zestawnik_FORMAT";

bool MakeDatabase(const QString &path, int rows) {
    const QByteArray sql =
        "CREATE TABLE t (Id INT, Symbol NVARCHAR(20), Nazwa NVARCHAR(60), Kwota DECIMAL(12,2), "
        "Cena FLOAT, Flag BIT, Dzien DATETIME, Orvel_Zestawnik_FORMAT NVARCHAR(60));"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        QByteArray::number(rows) +
        ") INSERT INTO t SELECT x, 'S' || (x % 9973), 'Pozycja \"' || x || '\" zażółć, gęślą', "
        "round((x % 100000) / 7.0, 2), x / 3.0, x % 2, "
        "date('2024-01-01', '+' || (x % 365) || ' days') || ' 10:15:00', "
        "CASE WHEN x % 10 = 0 THEN 'color=C0FFFF;fontstyle=B' ELSE NULL END FROM c;";
    return ExecSqliteFile(path, sql);
}

// The peak resident memory since the last ResetPeak (Linux keeps it as VmHWM); elsewhere the
// process's peak so far.
long PeakMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong() / 1024;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Starts a new peak at the present memory, so that each step reports its own peak rather than
// the largest of the steps before it.
void ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// CPU seconds of this process and of its finished children: on a busy machine they tell more
// than the wall clock.
double CpuSeconds() {
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

struct Timing {
    double Wall = 0;
    double Cpu = 0;
};

void Report(const char *step, Timing t, const QString &file = QString()) {
    const qint64 size = file.isEmpty() ? 0 : QFileInfo(file).size();
    std::printf("%-32s wall %7.2f s  cpu %7.2f s %9.1f MB   peak %6ld MB\n", step, t.Wall, t.Cpu,
                double(size) / (1024.0 * 1024.0), PeakMegabytes());
    std::fflush(stdout);
}

Timing Timed(const std::function<void()> &step) {
    ResetPeak();
    QElapsedTimer timer;
    const double cpu = CpuSeconds();
    timer.start();
    step();
    return {double(timer.nsecsElapsed()) / 1e9, CpuSeconds() - cpu};
}

} // namespace

int main(int argc, char **argv) {
    // The printed document is drawn with fonts: the toolkit's graphical side, off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    SetAppFolder(dir.path());
    const QString database = dir.filePath(QStringLiteral("bench.sqlite"));

    Report("create database (sqlite3 API)", Timed([&] { MakeDatabase(database, rows); }));

    DbConnection connection;
    TOrvel_ConnectionSettings settings;
    settings.Server = QStringLiteral("sqlite:") + dir.path();
    connection.Open(settings);
    DbQuery query(&connection);
    query.SQL = QStringLiteral("USE bench; SELECT %1 FROM t").arg(QLatin1String(kColumns));
    Report("open and fetch", Timed([&] { query.Open(); }));
    std::printf("rows: %d\n", query.RecordCount());

    TOrvel_GridColumns columns;
    columns.SetQuery(&query);
    TOrvel_ReportSettings reportSettings;
    reportSettings.LoadSettings(dir.filePath(QStringLiteral("bench.xml")));
    reportSettings.ApplyColumns(columns); // default formats, booleans as "tak"/"nie"

    const QDir out(argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.path());
    const QString csv = out.filePath(QStringLiteral("out.csv"));
    const Timing csvTime =
        Timed([&] { TOrvel_DataExport_CSV(columns, u';', "B").ExportToFile(csv); });
    Report("export CSV", csvTime, csv);
    const QString xml = out.filePath(QStringLiteral("out.xml"));
    Report("export XML", Timed([&] { TOrvel_DataExport_XML(columns, "B").ExportToFile(xml); }),
           xml);
    const QString xhtml = out.filePath(QStringLiteral("out.htm"));
    Report("export XHTML",
           Timed([&] { TOrvel_DataExport_XHTML(columns, "B").ExportToFile(xhtml); }), xhtml);

    const QString xlsx = out.filePath(QStringLiteral("out.xlsx"));
    const Timing xlsxTime = Timed([&] { TOrvel_DataExport_XLSX(columns, "B").ExportToFile(xlsx); });
    Report("export XLSX", xlsxTime, xlsx);
    if (csvTime.Cpu > 0 && csvTime.Wall > 0)
        std::printf("XLSX to CSV: cpu %.1fx, wall %.1fx\n", xlsxTime.Cpu / csvTime.Cpu,
                    xlsxTime.Wall / csvTime.Wall);

    // The printed document: every row on pages; a result of millions of rows is no document
    // anyone prints, so it is measured up to 200,000 rows.
    if (query.RecordCount() <= 200000) {
        // Widths fitted to the content, as the window and the runner show them.
        columns.SetFitMeasure(EstimatedFitMeasure(columns));
        reportSettings.ApplyColumns(columns);
        const QString pdf = out.filePath(QStringLiteral("out.pdf"));
        int pages = 0;
        Report("export PDF", Timed([&] {
                   TOrvel_PrintDocument document(columns, TOrvel_PrintInfo{QStringLiteral("B")});
                   document.Layout();
                   document.WritePdf(pdf);
                   pages = document.PageCount();
               }),
               pdf);
        std::printf("PDF pages: %d\n", pages);
    } else {
        std::printf("export PDF skipped above 200000 rows\n");
    }

    const QString shellCsv = dir.filePath(QStringLiteral("shell.csv"));
    bool shellOk = false;
    const Timing shell = Timed([&] {
        QProcess p;
        p.setStandardOutputFile(shellCsv);
        p.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-csv"), QStringLiteral("-header"), database,
                 QStringLiteral("SELECT %1 FROM t").arg(QLatin1String(kColumns))});
        shellOk = p.waitForFinished(-1) && p.exitCode() == 0;
    });
    if (shellOk)
        Report("sqlite3 shell -csv (same rows)", shell, shellCsv);
    else
        std::printf("sqlite3 shell not available\n");
    return 0;
}
