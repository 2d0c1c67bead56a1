// The runner's streamed export: the rows written block by block while the next block is fetched.
// The file must be the bytes the writers give for the whole result in this process, on the
// embedded engine and on SQL Server (the TDS test server through FreeTDS); an error, a cancel or
// a full disk in the middle of the rows must leave the old file and nothing beside it; and the
// runner's memory must not grow with the row count.
#include "RunnerProcess.h"
#include "TdsFixture.h"
#include "TestSupport.h"
#include "TmpfsMount.h"
#include "U_ColumnFit.h"
#include "U_DataExport.h"
#include "U_DataExport_XLSX.h"
#include "U_Db.h"
#include "U_GridColumns.h"
#include "U_Login.h"
#include "U_SQL_report_settings.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define ORVEL_ADDRESS_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEL_ADDRESS_SANITIZER
#endif
#endif

#ifdef ORVEL_ADDRESS_SANITIZER
// The runner is started from this process and its peak memory counts from this process's (see
// memoryDoesNotGrowWithTheRows): freed memory held back to catch late uses must not swell it.
extern "C" const char *__asan_default_options() {
    return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
}
#endif

namespace {
#ifdef ORVEL_ADDRESS_SANITIZER
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

const QString kUser = QStringLiteral("raporty");
const QString kPassword = QStringLiteral("Tajne;Hasło1");
const QString kMarker = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]");

// Rows 1..count of every kind a report shows: quotes, separators and line breaks in texts,
// NULLs, amounts for a display format, dates, yes/no, a row format and a hidden column.
QByteArray TableSql(int count) {
    return QStringLiteral(
               "CREATE TABLE wiele (Nr INT, Nazwa NVARCHAR(50), Kwota DECIMAL(12,2), Cena FLOAT, "
               "Data DATETIME, Aktywny BIT, Orvel_Zestawnik_FORMAT NVARCHAR(100), "
               "Ukryte NVARCHAR(10));"
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
               "INSERT INTO wiele SELECT i, CASE i % 4 WHEN 0 THEN NULL "
               "WHEN 1 THEN 'Łódź \"' || i || '\"; hurt' WHEN 2 THEN 'wiersz' || char(13, 10) || "
               "'drugi' ELSE 'zwykły, ' || i END, i * 1234.5, "
               "CASE WHEN i % 5 = 0 THEN NULL ELSE i / 8.0 END, "
               "printf('2024-01-%02d 10:30:00', i % 28 + 1), i % 2, "
               "CASE WHEN i % 3 = 0 THEN 'color=0000FF;fontstyle=B' END, 'ukryte' FROM n;")
        .arg(count)
        .toUtf8();
}

QByteArray Definition(const QString &defaultDb, const QString &params) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Zestawnik><version>1.0"
                          "</version><defaultdb>%1</defaultdb><params>%2</params></Zestawnik>\r\n")
        .arg(defaultDb, params)
        .toUtf8();
}

const QString kIleParam = QStringLiteral(
    "<item><name>Ile</name><type>INT</type><width>10</width><decimal>0</decimal><desc>Ile</desc>"
    "</item>");

// The report's batch: the table's columns and two computed ones (no declared type), of which one
// is NULL in the first rows.
const QString kScript = QStringLiteral(
    "DECLARE @Ile INT\r\n-- [Orvel_Zestawnik_PARAMETRY]\r\n"
    "SELECT Nr, Nazwa, Kwota, Cena, Data, Aktywny, Orvel_Zestawnik_FORMAT, Nr * 2 AS Podwojone, "
    "CASE WHEN Nr > 6 THEN Nr END AS Pozne, Ukryte FROM wiele WHERE Nr <= @Ile ORDER BY Nr\r\n");

// Rows up to 4000 convert well; the next one fails in the middle of the result.
const QString kFailingScript = QStringLiteral(
    "-- [Orvel_Zestawnik_PARAMETRY]\r\n"
    "SELECT Nr, CONVERT(DATETIME, CASE WHEN Nr > 4000 THEN 'zła data' ELSE '2024-01-31' END) "
    "AS Data FROM wiele ORDER BY Nr\r\n");

// The parts of a workbook (a zip of XML files) by name, but for the one that tells when it was
// made.
QMap<QString, QByteArray> WorkbookParts(const QString &zip) {
    QMap<QString, QByteArray> parts;
    QProcess list;
    list.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    if (!list.waitForFinished(60000) || list.exitCode() != 0)
        return parts;
    for (const QByteArray &name : list.readAllStandardOutput().split('\n')) {
        if (name.isEmpty() || name == "docProps/core.xml")
            continue;
        // unzip reads brackets in a name as a pattern.
        QString pattern = QString::fromUtf8(name);
        pattern.replace(u'[', QStringLiteral("\\[")).replace(u']', QStringLiteral("\\]"));
        QProcess part;
        part.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, pattern});
        if (!part.waitForFinished(60000) || part.exitCode() != 0)
            return {};
        parts.insert(QString::fromUtf8(name), part.readAllStandardOutput());
    }
    return parts;
}

// Whether the process holds a file open in the folder (a temporary file without a name too).
bool WritesInto(qint64 pid, const QString &folder) {
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString &fd : QDir(fds).entryList(QDir::Files | QDir::System))
        if (QFileInfo(fds + u'/' + fd).symLinkTarget().startsWith(folder + u'/'))
            return true;
    return false;
}

QStringList Entries(const QString &folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

} // namespace

class TestCliStream : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    // First, while this process is still small (see the test).
    void memoryDoesNotGrowWithTheRows_data();
    void memoryDoesNotGrowWithTheRows();
    void streamedExportsAreTheWholeResultsExport_data();
    void streamedExportsAreTheWholeResultsExport();
    void printedBlocksAreTheWholePrint_data();
    void printedBlocksAreTheWholePrint();
    void failuresInTheRowsLeaveTheOldFile_data();
    void failuresInTheRowsLeaveTheOldFile();
    void cancelDuringTheRowsLeavesTheOldFile_data();
    void cancelDuringTheRowsLeavesTheOldFile();
    void fullDiskDuringTheRowsLeavesTheOldFile_data();
    void fullDiskDuringTheRowsLeavesTheOldFile();

private:
    QString App(const QString &relative) const { return FApp.filePath(relative); }
    QString Server(bool tds) const {
        return tds ? FServer->ServerName() : QStringLiteral("sqlite:") + App(QStringLiteral("db"));
    }
    QStringList RunArgs(const QString &report, bool tds) const;
    QProcess *StartCli(const QStringList &args, const QByteArray &blockRows,
                       const QByteArray &sheetRows = {});
    CliResult Cli(const QStringList &args, const QByteArray &blockRows,
                  const QByteArray &sheetRows = {});
    RunnerCall Call(const QByteArray &blockRows, const QByteArray &sheetRows = {}) const;
    void Expected(const QString &format, bool tds, int rows, int sheetRows, QByteArray &bytes);

    QTemporaryDir FApp;
    std::unique_ptr<TdsTestServer> FServer;
};

void TestCliStream::initTestCase() {
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    QVERIFY(FApp.isValid());
    SetAppFolder(FApp.path());
    QVERIFY(QDir().mkpath(App(QStringLiteral("db"))));
    QVERIFY(QDir().mkpath(App(QStringLiteral("data"))));
    QVERIFY(RunSqlite(App(QStringLiteral("db/Wiele.sqlite")), TableSql(200000)));
    const QString reports = App(QStringLiteral("data reports/Strumień/"));
    QVERIFY(WriteBytes(reports + QStringLiteral("Wiele.xml"),
                       Definition(QStringLiteral("Wiele"), kIleParam)));
    QVERIFY(WriteBytes(reports + QStringLiteral("Wiele.sql"), kScript.toUtf8()));
    // "Ukryte" hidden, "Kwota" renamed, formatted and moved to the front; "Nr" and "Nazwa" fitted
    // to their texts, whose widest come in the last rows.
    QVERIFY(WriteBytes(
        reports + QStringLiteral("Wiele settings.xml"),
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n<Zestawnik><fields>"
        "<Nr><align>R</align><width></width><desc>Nr</desc><format></format><index>1</index>"
        "<visible>1</visible></Nr>"
        "<Nazwa><align>L</align><width></width><desc>Nazwa</desc><format></format>"
        "<index>2</index><visible>1</visible></Nazwa>"
        "<Ukryte><align>L</align><width>50</width><desc>Ukryte</desc><format></format>"
        "<index>9</index><visible>0</visible></Ukryte>"
        "<Kwota><align>R</align><width>80</width><desc>Kwota \"brutto\"</desc>"
        "<format>#,##0.00</format><index>0</index><visible>1</visible></Kwota>"
        "</fields></Zestawnik>\r\n"));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błąd.xml"), Definition("Wiele", {})));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błąd.sql"), kFailingScript.toUtf8()));
    QVERIFY(WriteBytes(reports + QStringLiteral("Rodzaj.xml"), Definition("Wiele", {})));
    QVERIFY(WriteBytes(reports + QStringLiteral("Rodzaj.sql"),
                       "-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT CASE WHEN Nr > 1000 THEN "
                       "'tekst' ELSE Nr END AS Raz FROM wiele ORDER BY Nr\r\n"));
    FServer = StartTdsServer(App(QStringLiteral("db")), kUser, kPassword);
    QVERIFY(FServer);
}

void TestCliStream::cleanupTestCase() {
    if (FServer)
        FServer->Stop();
}

QStringList TestCliStream::RunArgs(const QString &report, bool tds) const {
    QStringList args{QStringLiteral("run"), QStringLiteral("Strumień/") + report,
                     QStringLiteral("--server"), Server(tds)};
    if (tds)
        args << QStringLiteral("--user") << kUser;
    return args;
}

RunnerCall TestCliStream::Call(const QByteArray &blockRows, const QByteArray &sheetRows) const {
    RunnerCall call{.AppFolder = FApp.path(), .Password = kPassword};
    call.Environment.insert(QStringLiteral("ORVEL_CLI_BLOCK_ROWS"), QString::fromLatin1(blockRows));
    if (!sheetRows.isEmpty())
        call.Environment.insert(QStringLiteral("ORVEL_CLI_SHEET_ROWS"),
                                QString::fromLatin1(sheetRows));
    return call;
}

QProcess *TestCliStream::StartCli(const QStringList &args, const QByteArray &blockRows,
                                  const QByteArray &sheetRows) {
    return ::StartCli(Call(blockRows, sheetRows), args, QProcess::SeparateChannels, this);
}

CliResult TestCliStream::Cli(const QStringList &args, const QByteArray &blockRows,
                             const QByteArray &sheetRows) {
    return RunCli(Call(blockRows, sheetRows), args);
}

// Today's export of the same result: the whole result opened in this process, laid out by the
// report's column settings (the widths they leave open fitted to the content, as the runner fits
// them) and written by the format's writer.
void TestCliStream::Expected(const QString &format, bool tds, int rows, int sheetRows,
                             QByteArray &bytes) {
    DbConnection connection;
    QString failure;
    QVERIFY2(OpenConnection(connection,
                            LoginConnectionSettings(Server(tds), true, kUser, kPassword), &failure),
             qPrintable(failure));
    QVERIFY(UseDatabase(connection, QStringLiteral("Wiele")));
    DbQuery query(&connection);
    query.SQL = QString(kScript).replace(kMarker, QStringLiteral("SET @Ile = %1").arg(rows));
    query.Open();
    TOrvel_GridColumns columns;
    columns.SetQuery(&query);
    columns.SetFitMeasure(EstimatedFitMeasure(columns));
    TOrvel_ReportSettings settings;
    settings.LoadSettings(App(QStringLiteral("data reports/Strumień/Wiele.xml")));
    settings.ApplyColumns(columns);
    const QString file = App(QStringLiteral("expected.out"));
    if (format == QLatin1String("xlsx")) {
        TOrvel_DataExport_XLSX workbook(columns, QStringLiteral("Wiele"));
        if (sheetRows > 0)
            workbook.RowsPerSheet = sheetRows;
        QVERIFY(workbook.ExportToFile(file));
        bytes = ReadBytes(file);
        return;
    }
    std::unique_ptr<TOrvel_DataExport> writer;
    if (format == QLatin1String("csv"))
        writer = std::make_unique<TOrvel_DataExport_CSV>(columns, u',', QStringLiteral("Wiele"));
    else if (format == QLatin1String("xml"))
        writer = std::make_unique<TOrvel_DataExport_XML>(columns, QStringLiteral("Wiele"));
    else
        writer = std::make_unique<TOrvel_DataExport_XHTML>(columns, QStringLiteral("Wiele"));
    QVERIFY(writer->ExportToFile(file));
    bytes = ReadBytes(file);
}

// Blocks of 4 rows: no row, one, a block less one, a block, a block and one, several blocks;
// the computed column that is NULL in the first rows gets its type from a later block. The XML
// and XHTML headers count the rows, which only the end tells. A workbook is compared part by
// part (its widths fit every block's rows); with sheets of 5 rows the split goes on across the
// blocks, and the runner says how many sheets the rows took.
void TestCliStream::streamedExportsAreTheWholeResultsExport_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("tds");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("sheetRows"); // the header and the rows of a sheet; 0: the limit
    for (const char *format : {"csv", "xml", "xhtml", "xlsx"})
        for (const bool tds : {false, true})
            for (const int rows : {0, 1, 3, 4, 5, 13, 1000})
                QTest::addRow("%s, %s, %d rows", format, tds ? "SQL Server" : "embedded", rows)
                    << QString::fromLatin1(format) << tds << rows << 0;
    for (const bool tds : {false, true})
        for (const int rows : {5, 13})
            QTest::addRow("xlsx, %s, %d rows on sheets of 5", tds ? "SQL Server" : "embedded", rows)
                << QStringLiteral("xlsx") << tds << rows << 6;
}

void TestCliStream::streamedExportsAreTheWholeResultsExport() {
    QFETCH(QString, format);
    QFETCH(bool, tds);
    QFETCH(int, rows);
    QFETCH(int, sheetRows);
    const QString file = App(QStringLiteral("streamed.") + format);
    QFile::remove(file);
    const CliResult r =
        Cli(RunArgs(QStringLiteral("Wiele"), tds) +
                QStringList{QStringLiteral("--set"), QStringLiteral("Ile=%1").arg(rows),
                            QStringLiteral("--") + format, file},
            "4", sheetRows > 0 ? QByteArray::number(sheetRows) : QByteArray());
    QVERIFY2(r.Status == 0, qPrintable(r.Err));
    QByteArray expected;
    Expected(format, tds, rows, sheetRows, expected);
    QCOMPARE(Entries(App({})).filter(QStringLiteral("orvel")), QStringList{});
    if (format == QLatin1String("xlsx")) {
        const QMap<QString, QByteArray> parts = WorkbookParts(file);
        const QMap<QString, QByteArray> expectedParts = WorkbookParts(App("expected.out"));
        QVERIFY(expectedParts.contains(QStringLiteral("xl/worksheets/sheet1.xml")));
        QVERIFY(
            !expectedParts.value(QStringLiteral("xl/worksheets/sheet1.xml")).contains("ukryte"));
        QCOMPARE(parts.keys(), expectedParts.keys());
        for (auto it = expectedParts.cbegin(); it != expectedParts.cend(); ++it) {
            const QByteArray got = parts.value(it.key());
            qsizetype at = 0;
            while (at < got.size() && at < it.value().size() && got[at] == it.value()[at])
                ++at;
            QVERIFY2(got == it.value(),
                     qPrintable(it.key() + QStringLiteral(": ") + got.mid(at - 40, 120) +
                                QStringLiteral(" instead of ") + it.value().mid(at - 40, 120)));
        }
        const int sheets =
            sheetRows > 0 ? std::max(1, (rows + sheetRows - 2) / (sheetRows - 1)) : 1;
        QCOMPARE(parts.contains(QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheets)), true);
        QCOMPARE(parts.contains(QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheets + 1)),
                 false);
        QCOMPARE(r.Err.contains(TOrvel_DataExport_XLSX::SplitMessage(sheets)), sheets > 1);
        return;
    }
    QVERIFY(!expected.contains("ukryte"));
    if (format == QLatin1String("xml"))
        QVERIFY(expected.contains(QStringLiteral("<rowcount>%1</rowcount>").arg(rows).toLatin1()));
    if (format == QLatin1String("xhtml") && rows > 0)
        QVERIFY(expected.contains(QStringLiteral(">%1</td>").arg(rows).toLatin1()));
    QCOMPARE(WithoutCreationTime(ReadBytes(file)), WithoutCreationTime(expected));
}

// --print writes each block as it comes: the lines are those of the result printed whole.
void TestCliStream::printedBlocksAreTheWholePrint_data() {
    QTest::addColumn<bool>("tds");
    QTest::newRow("embedded") << false;
    QTest::newRow("SQL Server") << true;
}

void TestCliStream::printedBlocksAreTheWholePrint() {
    QFETCH(bool, tds);
    const QStringList args =
        RunArgs(QStringLiteral("Wiele"), tds) +
        QStringList{QStringLiteral("--set"), QStringLiteral("Ile=13"), QStringLiteral("--print")};
    const CliResult blocks = Cli(args, "4");
    QVERIFY2(blocks.Status == 0, qPrintable(blocks.Err));
    const CliResult whole = Cli(args, "1000000");
    QVERIFY2(whole.Status == 0, qPrintable(whole.Err));
    QCOMPARE(whole.Out.count('\n'), 14);
    QVERIFY(whole.Out.startsWith("Kwota \"brutto\"\tNr\tNazwa"));
    QCOMPARE(blocks.Out, whole.Out);
}

// A server error after 4000 rows (many blocks already written), and on the embedded engine a
// column whose values turn from numbers to texts after the first blocks were written: exit 1
// with the message, and the old file as it was, with nothing beside it.
void TestCliStream::failuresInTheRowsLeaveTheOldFile_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("tds");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("message");
    for (const char *format : {"csv", "xlsx"}) {
        QTest::addRow("server error, embedded, %s", format)
            << "Błąd" << false << format << "zła data";
        QTest::addRow("server error, SQL Server, %s", format)
            << "Błąd" << true << format << "zła data";
        QTest::addRow("kind changes, embedded, %s", format)
            << "Rodzaj" << false << format << "Typ kolumny wyniku zmienił się w trakcie odczytu";
    }
}

void TestCliStream::failuresInTheRowsLeaveTheOldFile() {
    QFETCH(QString, report);
    QFETCH(bool, tds);
    QFETCH(QString, format);
    QFETCH(QString, message);
    const QString folder = App(QStringLiteral("błąd ") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder));
    const QString name = QStringLiteral("wynik.") + format;
    const QString file = folder + u'/' + name;
    QVERIFY(WriteBytes(file, "OLD"));
    const CliResult r =
        Cli(RunArgs(report, tds) + QStringList{QStringLiteral("--") + format, file}, "100");
    QCOMPARE(r.Status, 1);
    QVERIFY2(r.Err.contains(message), qPrintable(r.Err));
    QCOMPARE(ReadBytes(file), QByteArray("OLD"));
    QCOMPARE(Entries(folder), QStringList{name});
}

// SIGINT once the streamed file has begun: the runner ends with 130, and the old file stays.
void TestCliStream::cancelDuringTheRowsLeavesTheOldFile_data() {
    QTest::addColumn<QString>("format");
    QTest::newRow("csv") << QStringLiteral("csv");
    QTest::newRow("xlsx") << QStringLiteral("xlsx");
}

void TestCliStream::cancelDuringTheRowsLeavesTheOldFile() {
    QFETCH(QString, format);
    const QString folder = App(QStringLiteral("przerwane ") + format);
    QVERIFY(QDir().mkpath(folder));
    const QString name = QStringLiteral("wynik.") + format;
    const QString file = folder + u'/' + name;
    QVERIFY(WriteBytes(file, "OLD"));
    std::unique_ptr<QProcess> runner(
        StartCli(RunArgs(QStringLiteral("Wiele"), false) +
                     QStringList{QStringLiteral("--set"), QStringLiteral("Ile=200000"),
                                 QStringLiteral("--") + format, file},
                 "50"));
    QVERIFY(runner->waitForStarted());
    // The temporary file beside the target, open in the runner, shows that rows are being
    // written.
    QElapsedTimer clock;
    clock.start();
    while (!WritesInto(runner->processId(), folder) && runner->state() == QProcess::Running &&
           clock.elapsed() < 120000)
        QThread::msleep(2);
    QVERIFY2(runner->state() == QProcess::Running, "the runner ended before it was cancelled");
    ::kill(static_cast<pid_t>(runner->processId()), SIGINT);
    QVERIFY(runner->waitForFinished(120000));
    QCOMPARE(runner->exitStatus(), QProcess::NormalExit);
    QCOMPARE(runner->exitCode(), 130);
    QVERIFY(QString::fromUtf8(runner->readAllStandardError()).contains("cancelled"));
    QCOMPARE(ReadBytes(file), QByteArray("OLD"));
    QCOMPARE(Entries(folder), QStringList{name});
}

// The file system fills up while the rows are written (for XML, into the spool of its rows):
// exit 1 with the system's reason, the old file whole and nothing beside it.
void TestCliStream::fullDiskDuringTheRowsLeavesTheOldFile_data() {
    QTest::addColumn<QString>("format");
    QTest::newRow("csv") << QStringLiteral("csv");
    QTest::newRow("xml") << QStringLiteral("xml");
    QTest::newRow("xlsx") << QStringLiteral("xlsx");
}

void TestCliStream::fullDiskDuringTheRowsLeavesTheOldFile() {
    QFETCH(QString, format);
    TmpfsMount disk(QStringLiteral("1m"));
    if (!disk.Mounted())
        QSKIP(qPrintable(QStringLiteral("no tmpfs: ") + disk.Error()));
    const QString name = QStringLiteral("wynik.") + format;
    const QString file = disk.FilePath(name);
    QVERIFY(WriteBytes(file, "OLD"));
    const CliResult r = Cli(RunArgs(QStringLiteral("Wiele"), false) +
                                QStringList{QStringLiteral("--set"), QStringLiteral("Ile=200000"),
                                            QStringLiteral("--") + format, file},
                            "1000");
    QCOMPARE(r.Status, 1);
    QVERIFY2(r.Err.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(r.Err));
    QCOMPARE(ReadBytes(file), QByteArray("OLD"));
    QCOMPARE(Entries(disk.Path()), QStringList{name});
}

// 2,000,000 rows of 9 columns: held whole they take close to 400 MB; streamed, the runner's
// peak stays within a bound set well below that. The workbook takes two sheets.
void TestCliStream::memoryDoesNotGrowWithTheRows_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<qint64>("leastSize"); // the file's size once all the rows arrived
    QTest::newRow("csv") << QStringLiteral("csv") << qint64(100'000'000);
    QTest::newRow("xlsx") << QStringLiteral("xlsx") << qint64(20'000'000);
}

void TestCliStream::memoryDoesNotGrowWithTheRows() {
    QFETCH(QString, format);
    QFETCH(qint64, leastSize);
    const QString db = App(QStringLiteral("db/Wielka.sqlite"));
    if (!QFile::exists(db))
        QVERIFY(RunSqlite(db, TableSql(2000000)));
    const QString reports = App(QStringLiteral("data reports/Strumień/"));
    QVERIFY(WriteBytes(reports + QStringLiteral("Wielka.xml"),
                       Definition(QStringLiteral("Wielka"), {})));
    // In the table's order: a sort would add the engine's own sorter to the runner's memory.
    QVERIFY(WriteBytes(reports + QStringLiteral("Wielka.sql"),
                       "-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT Nr, Nazwa, Kwota, Cena, Data, "
                       "Aktywny, Orvel_Zestawnik_FORMAT, Nr * 2 AS Podwojone, Ukryte "
                       "FROM wiele\r\n"));
    const QString file = App(QStringLiteral("wielka.") + format);
    // Waited for with wait4, which tells this child's own peak. The kernel starts a child's peak
    // at the peak of the process it was started from (the memory it shared until exec), so this
    // test runs first, while this process is small: the figure is then an upper bound of the
    // runner's own.
    const QStringList args{BuiltAppDir() + QStringLiteral("/orvel-zestawnik-cli"),
                           QStringLiteral("--app-folder"),
                           FApp.path(),
                           QStringLiteral("run"),
                           QStringLiteral("Strumień/Wielka"),
                           QStringLiteral("--server"),
                           Server(false),
                           QStringLiteral("--") + format,
                           file};
    std::vector<QByteArray> argBytes;
    for (const QString &arg : args)
        argBytes.push_back(arg.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &arg : argBytes)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    QByteArray locale = "LC_ALL=pl_PL.UTF-8";
    // Under AddressSanitizer freed memory is held back for a while to catch late uses, which
    // alone outgrows the bound; the runner's own growth is what is measured.
    QByteArray sanitizer = "ASAN_OPTIONS=" + qgetenv("ASAN_OPTIONS") +
                           ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
    char *envp[] = {locale.data(), kAddressSanitizer ? sanitizer.data() : nullptr, nullptr};
    const QByteArray errors = QFile::encodeName(App(QStringLiteral("wielka.err")));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    QCOMPARE(spawned, 0);
    int status = 0;
    rusage usage{};
    QCOMPARE(wait4(pid, &status, 0, &usage), pid);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0,
             ReadBytes(App(QStringLiteral("wielka.err"))).constData());
    QCOMPARE(QFileInfo(file).size() > leastSize, true); // the rows all arrived
    if (format == QLatin1String("xlsx"))
        QVERIFY(ReadBytes(App(QStringLiteral("wielka.err")))
                    .contains(TOrvel_DataExport_XLSX::SplitMessage(2).toUtf8()));
    const long peakMB = usage.ru_maxrss / 1024;
    qInfo("peak of the runner (%s): %ld MB", qPrintable(format), peakMB);
    // AddressSanitizer's shadow memory and guard zones make every allocation dearer (about 2.5
    // times here); the whole result held in memory would still be several times the bound.
    const long boundMB = kAddressSanitizer ? 250 : 100;
    QVERIFY2(peakMB < boundMB, qPrintable(QStringLiteral("%1 MB").arg(peakMB)));
    QFile::remove(file);
}

QTEST_GUILESS_MAIN(TestCliStream)
#include "test_cli_stream.moc"
