// The window's export path under load: a large result of the embedded engine saved as XLSX (or
// another kind) through the export commands of the main window, while a 10 ms timer runs on the
// user-interface thread. Reports the export's wall time and the worst and mean delay between two
// ticks of the timer (the window blocked for that long at most); the aim is under 50 ms.
//
//   QT_QPA_PLATFORM=offscreen bench_export_window [ROWS [xlsx|csv|xml|xhtml|pdf]]
#include "BenchSqlite.h"
#include "Orvel_ResultGrid.h"
#include "U_Db.h"
#include "U_ExportCommands.h"
#include "U_GridColumns.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const QString kind = argc > 2 ? QString::fromLatin1(argv[2]).toUpper() : QStringLiteral("XLSX");
    QTemporaryDir dir;
    SetAppFolder(dir.path());
    const QByteArray sql =
        "CREATE TABLE t (Id INT, Symbol NVARCHAR(20), Nazwa NVARCHAR(60), Kwota DECIMAL(12,2), "
        "Cena FLOAT, Flag BIT, Dzien DATETIME, Orvel_Zestawnik_FORMAT NVARCHAR(60));"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        QByteArray::number(rows) +
        ") INSERT INTO t SELECT x, 'S' || (x % 9973), 'Pozycja ' || x || ' zażółć, gęślą', "
        "round((x % 100000) / 7.0, 2), x / 3.0, x % 2, "
        "date('2024-01-01', '+' || (x % 365) || ' days') || ' 10:15:00', "
        "CASE WHEN x % 10 = 0 THEN 'color=C0FFFF;fontstyle=B' ELSE NULL END FROM c;";
    if (!ExecSqliteFile(dir.filePath(QStringLiteral("bench.sqlite")), sql))
        return 1;

    DbConnection connection;
    TOrvel_ConnectionSettings settings;
    settings.Server = QStringLiteral("sqlite:") + dir.path();
    connection.Open(settings);
    DbQuery query(&connection);
    query.SQL = QStringLiteral("USE bench; SELECT * FROM t");
    query.Open();
    std::printf("rows: %d, export %s\n", query.RecordCount(), qPrintable(kind));

    TOrvel_ResultGrid grid;
    grid.SetQuery(&query);
    grid.resize(800, 500);
    grid.show();
    // The grid's first layout and paint are done before the clock starts: they are the grid's
    // showing, not the export's.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    TOrvel_ExportCommands commands(&grid);
    commands.Columns = &grid.Columns();
    commands.View = &grid;
    commands.Title = [] { return QStringLiteral("B"); };
    const QString file = dir.filePath(QStringLiteral("out.") + kind.toLower());
    commands.AskFileName = [&](const TOrvel_SaveRequest &) { return file; };

    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    qint64 worstAt = 0; // when the worst delay ended, from the start
    qint64 total = 0;
    int gaps = 0;
    QTimer ticker;
    ticker.setInterval(10);
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (now - last > worst) {
            worst = now - last;
            worstAt = now;
        }
        total += now - last;
        ++gaps;
        last = now;
    });
    QObject::connect(&commands, &TOrvel_ExportCommands::exportEnded, &app, &QApplication::quit);
    QTimer::singleShot(0, [&] {
        clock.start();
        last = 0;
        ticker.start();
        if (kind == QLatin1String("CSV"))
            commands.miSaveAs_CSVClick();
        else if (kind == QLatin1String("XML"))
            commands.miSaveAs_XMLClick();
        else if (kind == QLatin1String("XHTML"))
            commands.miSaveAs_XHTMLClick();
        else if (kind == QLatin1String("PDF"))
            commands.miSaveAs_PDFClick();
        else
            commands.miSaveAs_XLSXClick();
    });
    app.exec();
    const qint64 wall = clock.elapsed();
    std::printf("export wall %.2f s; 10 ms timer: %d ticks, worst delay %lld ms (ending %.2f s "
                "after the start), mean %.1f ms (aim: worst under 50 ms)\n",
                double(wall) / 1000.0, gaps, static_cast<long long>(worst),
                double(worstAt) / 1000.0, gaps ? double(total) / gaps : 0.0);
    return 0;
}
