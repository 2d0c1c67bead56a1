// Benchmark of the result grid over a large result of the embedded engine, off-screen: the model
// reset when the result is bound, fitting every column to the widest text of the whole result,
// scrolling page by page, and sorting by a click on a column title (the main window's handling:
// the result is re-sorted and the sort mark set), per column kind.
//
//   QT_QPA_PLATFORM=offscreen bench_grid [ROWS]
#include "BenchSqlite.h"
#include "Orvel_ResultGrid.h"
#include "U_Db.h"
#include "U_GridColumns.h"
#include "U_locale.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <ctime>

namespace {

bool buildTable(const QString &file, int rows) {
    const QByteArray sql =
        QStringLiteral(
            "CREATE TABLE Dane (Id INT PRIMARY KEY, Nazwa NVARCHAR(50), Kwota NUMERIC(12,2),"
            " Data DATE, Aktywny BIT);"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
            " INSERT INTO Dane SELECT i,"
            " CASE i % 5 WHEN 0 THEN 'Łukasz ' WHEN 1 THEN 'lis ' WHEN 2 THEN 'Żaneta ' WHEN 3"
            " THEN 'Zenon ' ELSE 'Ćma ' END || ((i * 7919) % 100003),"
            " CASE WHEN i % 50 = 0 THEN NULL ELSE ((i * 104729) % 10000000) / 100.0 END,"
            " date('2000-01-01', '+' || ((i * 13) % 9000) || ' days'), i % 3 = 0 FROM n;")
            .arg(rows)
            .toUtf8();
    return ExecSqliteFile(file, sql);
}

double Seconds(const QElapsedTimer &t) {
    return t.nsecsElapsed() / 1e9;
}

// CPU seconds of the whole process, all threads: on a busy machine it tells more than the wall
// clock (a parallel step shows more CPU than wall time on an idle machine).
double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Bench.sqlite"));
    if (!buildTable(file, rows))
        return 1;

    DbConnection conn;
    TOrvel_ConnectionSettings settings;
    settings.Server = QStringLiteral("sqlite:") + dir.path();
    conn.Open(settings);
    DbQuery use(&conn);
    use.SQL = QStringLiteral("USE Bench");
    use.Execute();
    DbQuery q(&conn);
    q.SQL = QStringLiteral("SELECT * FROM Dane");
    q.CommandTimeout = 600;
    QElapsedTimer t;
    t.start();
    q.Open();
    std::printf("query opened: %d rows in %.2f s\n", q.RecordCount(), Seconds(t));

    TOrvel_ResultGrid grid;
    grid.resize(1000, 700);
    grid.show();
    QCoreApplication::processEvents();

    // Binding the open result: the column layout and the model are reset, then the first paint.
    t.restart();
    grid.SetQuery(&q);
    const double reset = Seconds(t);
    grid.FitColumnWidths(true);
    grid.viewport()->repaint();
    std::printf("model reset: %.4f s; with column fitting and the first paint: %.4f s\n", reset,
                Seconds(t));

    // Fitting to the whole result: the first time gathers each column's extremes in one pass,
    // later fittings (a changed display format) reuse them.
    for (const char *when : {"first", "again"}) {
        const double cpu = CpuSeconds();
        t.restart();
        grid.FitColumnsToContent();
        std::printf("fitting %d columns to %d rows, %s: %.3f s  cpu %.3f s\n",
                    grid.Columns().Count(), q.RecordCount(), when, Seconds(t), CpuSeconds() - cpu);
    }

    // Page by page from the top; every step is painted before the next.
    QScrollBar *bar = grid.verticalScrollBar();
    constexpr int Pages = 500;
    t.restart();
    for (int i = 0; i < Pages; ++i) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        grid.viewport()->repaint();
    }
    const double paging = Seconds(t);
    t.restart();
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    grid.viewport()->repaint();
    const double toEnd = Seconds(t);
    std::printf("scrolling: %d pages of %d rows in %.3f s (%.2f ms a page); jump to the last "
                "row %.2f ms\n",
                Pages, bar->pageStep(), paging, paging * 1000 / Pages, toEnd * 1000);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);

    // The main window's title click: sort the result by the column, then set the mark.
    int sortColumn = -1;
    bool ascending = true;
    QObject::connect(&grid, &TOrvel_ResultGrid::titleClick, [&](int position) {
        ascending = position == sortColumn ? !ascending : true;
        sortColumn = position;
        q.Sort(grid.Columns().Field(position)->FieldName() +
               (ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")));
        grid.SetSortMark(position, ascending);
    });
    const struct {
        const char *kind;
        const char *field;
    } columns[] = {{"text", "Nazwa"}, {"decimal", "Kwota"}, {"date", "Data"}, {"integer", "Id"}};
    for (const auto &column : columns) {
        const int position = grid.Columns().FindColumn(QString::fromLatin1(column.field));
        const int logical = grid.Columns().Field(position)->Index();
        // Twice each way: the first click of a column makes its sort keys, later ones reuse them.
        for (const char *direction : {"ascending", "descending", "ascending", "descending"}) {
            const double cpu = CpuSeconds();
            t.restart();
            emit grid.horizontalHeader()->sectionClicked(logical);
            grid.viewport()->repaint();
            std::printf("sort by title click, %-7s (%s) %-10s %.3f s  cpu %.3f s\n", column.kind,
                        column.field, direction, Seconds(t), CpuSeconds() - cpu);
        }
    }
    return 0;
}
