// The runner's streamed export: the rows written block by block while the next block is fetched.
// The file must be the bytes the writers give for the whole result in this process, on the
// embedded engine and on SQL Server (the TDS test server through FreeTDS); an error, a cancel or
// a full disk in the middle of the rows must leave the old file and nothing beside it; and the
// runner's memory must not grow with the row count.
#include "TdsTestServer.h"
#include "TestSupport.h"
#include "TmpfsMount.h"
#include "U_DataExport.h"
#include "U_Db.h"
#include "U_GridColumns.h"
#include "U_Login.h"
#include "U_SQL_report_settings.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString kUser = QStringLiteral("raporty");
const QString kPassword = QStringLiteral("Tajne;Hasło1");
const QString kMarker = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]");

struct CliResult {
    int Status = -1;
    QString Err;
};

bool RunSqlite(const QString &file, const QByteArray &sql) {
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(file.toUtf8().constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

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

// Dates of creation differ between the runner and this process; everything else must not.
QByteArray WithoutCreationTime(QByteArray bytes) {
    static const QRegularExpression xmlDate(QStringLiteral("<date>[^<]*</date>"));
    static const QRegularExpression pageDate(QStringLiteral("Data utworzenia: [^<]*</p>"));
    QString text = QString::fromLatin1(bytes);
    text.replace(xmlDate, QStringLiteral("<date/>"));
    text.replace(pageDate, QStringLiteral("Data utworzenia: -</p>"));
    return text.toLatin1();
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
    void streamedExportsAreTheWholeResultsExport_data();
    void streamedExportsAreTheWholeResultsExport();
    void failuresInTheRowsLeaveTheOldFile_data();
    void failuresInTheRowsLeaveTheOldFile();
    void cancelDuringTheRowsLeavesTheOldFile();
    void fullDiskDuringTheRowsLeavesTheOldFile_data();
    void fullDiskDuringTheRowsLeavesTheOldFile();
    void memoryDoesNotGrowWithTheRows();

private:
    QString App(const QString &relative) const { return FApp.filePath(relative); }
    QString Server(bool tds) const {
        return tds ? FServer->ServerName() : QStringLiteral("sqlite:") + App(QStringLiteral("db"));
    }
    QStringList RunArgs(const QString &report, bool tds) const;
    QProcess *StartCli(const QStringList &args, const QByteArray &blockRows,
                       QProcess::ProcessChannelMode mode = QProcess::SeparateChannels);
    CliResult Cli(const QStringList &args, const QByteArray &blockRows);
    void Expected(const QString &format, bool tds, int rows, QByteArray &bytes);

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
    // "Ukryte" hidden, "Kwota" renamed, formatted and moved to the front.
    QVERIFY(WriteBytes(
        reports + QStringLiteral("Wiele settings.xml"),
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n<Zestawnik><fields>"
        "<Ukryte><align>L</align><width>50</width><desc>Ukryte</desc><format></format>"
        "<index>9</index><visible>0</visible></Ukryte>"
        "<Kwota><align>R</align><width>80</width><desc>Kwota \"brutto\"</desc>"
        "<format>#,##0.00</format><index>0</index><visible>1</visible></Kwota>"
        "</fields></Zestawnik>\r\n"));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błąd.xml"), Definition("Wiele", {})));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błąd.sql"), kFailingScript.toUtf8()));
    FServer = std::make_unique<TdsTestServer>(App(QStringLiteral("db")), kUser, kPassword);
    QVERIFY(FServer->Start());
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

QProcess *TestCliStream::StartCli(const QStringList &args, const QByteArray &blockRows,
                                  QProcess::ProcessChannelMode mode) {
    auto *process = new QProcess(this);
    QProcessEnvironment env;
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("pl_PL.UTF-8"));
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("ORVEL_PASSWORD"), kPassword);
    env.insert(QStringLiteral("ORVEL_CLI_BLOCK_ROWS"), QString::fromLatin1(blockRows));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(mode);
    process->setChildProcessModifier([] { ::setsid(); });
    process->setWorkingDirectory(FApp.path());
    process->start(BuiltAppDir() + QStringLiteral("/orvel-zestawnik-cli"),
                   QStringList{QStringLiteral("--app-folder"), FApp.path()} + args);
    return process;
}

CliResult TestCliStream::Cli(const QStringList &args, const QByteArray &blockRows) {
    std::unique_ptr<QProcess> process(StartCli(args, blockRows));
    CliResult r;
    if (!process->waitForFinished(300000) || process->exitStatus() != QProcess::NormalExit)
        return r;
    r.Status = process->exitCode();
    r.Err = QString::fromUtf8(process->readAllStandardError());
    return r;
}

// Today's export of the same result: the whole result opened in this process, laid out by the
// report's column settings and written by the CSV writer.
void TestCliStream::Expected(const QString &format, bool tds, int rows, QByteArray &bytes) {
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
    TOrvel_ReportSettings settings;
    settings.LoadSettings(App(QStringLiteral("data reports/Strumień/Wiele.xml")));
    settings.ApplyColumns(columns);
    std::unique_ptr<TOrvel_DataExport> writer;
    if (format == QLatin1String("csv"))
        writer = std::make_unique<TOrvel_DataExport_CSV>(columns, u',', QStringLiteral("Wiele"));
    else if (format == QLatin1String("xml"))
        writer = std::make_unique<TOrvel_DataExport_XML>(columns, QStringLiteral("Wiele"));
    else
        writer = std::make_unique<TOrvel_DataExport_XHTML>(columns, QStringLiteral("Wiele"));
    const QString file = App(QStringLiteral("expected.out"));
    QVERIFY(writer->ExportToFile(file));
    bytes = ReadBytes(file);
}

// Blocks of 4 rows: no row, one, a block less one, a block, a block and one, several blocks;
// the computed column that is NULL in the first rows gets its type from a later block. The XML
// and XHTML headers count the rows, which only the end tells.
void TestCliStream::streamedExportsAreTheWholeResultsExport_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("tds");
    QTest::addColumn<int>("rows");
    for (const char *format : {"csv", "xml", "xhtml"})
        for (const bool tds : {false, true})
            for (const int rows : {0, 1, 3, 4, 5, 13, 1000})
                QTest::addRow("%s, %s, %d rows", format, tds ? "SQL Server" : "embedded", rows)
                    << QString::fromLatin1(format) << tds << rows;
}

void TestCliStream::streamedExportsAreTheWholeResultsExport() {
    QFETCH(QString, format);
    QFETCH(bool, tds);
    QFETCH(int, rows);
    const QString file = App(QStringLiteral("streamed.") + format);
    QFile::remove(file);
    const CliResult r =
        Cli(RunArgs(QStringLiteral("Wiele"), tds) +
                QStringList{QStringLiteral("--set"), QStringLiteral("Ile=%1").arg(rows),
                            QStringLiteral("--") + format, file},
            "4");
    QVERIFY2(r.Status == 0, qPrintable(r.Err));
    QByteArray expected;
    Expected(format, tds, rows, expected);
    QVERIFY(!expected.contains("ukryte"));
    if (format == QLatin1String("xml"))
        QVERIFY(expected.contains(QStringLiteral("<rowcount>%1</rowcount>").arg(rows).toLatin1()));
    if (format == QLatin1String("xhtml") && rows > 0)
        QVERIFY(expected.contains(QStringLiteral(">%1</td>").arg(rows).toLatin1()));
    QCOMPARE(WithoutCreationTime(ReadBytes(file)), WithoutCreationTime(expected));
    QCOMPARE(Entries(App({})).filter(QStringLiteral("orvel")), QStringList{});
}

// A server error after 4000 rows (many blocks already written): exit 1 with the server's
// message, and the old file as it was, with nothing beside it.
void TestCliStream::failuresInTheRowsLeaveTheOldFile_data() {
    QTest::addColumn<bool>("tds");
    QTest::newRow("embedded") << false;
    QTest::newRow("SQL Server") << true;
}

void TestCliStream::failuresInTheRowsLeaveTheOldFile() {
    QFETCH(bool, tds);
    const QString folder = App(tds ? QStringLiteral("błąd tds") : QStringLiteral("błąd"));
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/wynik.csv");
    QVERIFY(WriteBytes(file, "OLD"));
    const CliResult r = Cli(
        RunArgs(QStringLiteral("Błąd"), tds) + QStringList{QStringLiteral("--csv"), file}, "100");
    QCOMPARE(r.Status, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("zła data")), qPrintable(r.Err));
    QCOMPARE(ReadBytes(file), QByteArray("OLD"));
    QCOMPARE(Entries(folder), QStringList{QStringLiteral("wynik.csv")});
}

// SIGINT once the streamed file has begun: the runner ends with 130, and the old file stays.
void TestCliStream::cancelDuringTheRowsLeavesTheOldFile() {
    const QString folder = App(QStringLiteral("przerwane"));
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/wynik.csv");
    QVERIFY(WriteBytes(file, "OLD"));
    std::unique_ptr<QProcess> runner(
        StartCli(RunArgs(QStringLiteral("Wiele"), false) +
                     QStringList{QStringLiteral("--set"), QStringLiteral("Ile=200000"),
                                 QStringLiteral("--csv"), file},
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
    QCOMPARE(Entries(folder), QStringList{QStringLiteral("wynik.csv")});
}

// The file system fills up while the rows are written (for XML, into the spool of its rows):
// exit 1 with the system's reason, the old file whole and nothing beside it.
void TestCliStream::fullDiskDuringTheRowsLeavesTheOldFile_data() {
    QTest::addColumn<QString>("format");
    QTest::newRow("csv") << QStringLiteral("csv");
    QTest::newRow("xml") << QStringLiteral("xml");
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

// 2,000,000 rows of 10 columns: held whole they take several hundred megabytes; streamed, the
// runner's peak stays within a bound set well below that.
void TestCliStream::memoryDoesNotGrowWithTheRows() {
    const QString db = App(QStringLiteral("db/Wielka.sqlite"));
    if (!QFile::exists(db))
        QVERIFY(RunSqlite(db, TableSql(2000000)));
    const QString reports = App(QStringLiteral("data reports/Strumień/"));
    QVERIFY(WriteBytes(reports + QStringLiteral("Wielka.xml"),
                       Definition(QStringLiteral("Wielka"), kIleParam)));
    QVERIFY(WriteBytes(reports + QStringLiteral("Wielka.sql"), kScript.toUtf8()));
    const QString file = App(QStringLiteral("wielka.csv"));
    rusage before{};
    QCOMPARE(getrusage(RUSAGE_CHILDREN, &before), 0);
    const CliResult r = Cli(RunArgs(QStringLiteral("Wielka"), false) +
                                QStringList{QStringLiteral("--set"), QStringLiteral("Ile=2000000"),
                                            QStringLiteral("--csv"), file},
                            {});
    QVERIFY2(r.Status == 0, qPrintable(r.Err));
    rusage after{};
    QCOMPARE(getrusage(RUSAGE_CHILDREN, &after), 0);
    QCOMPARE(QFileInfo(file).size() > 100'000'000, true); // the rows all arrived
    const long peakMB = after.ru_maxrss / 1024;
    qInfo("peak of the runner: %ld MB", peakMB);
    QVERIFY2(peakMB < 120, qPrintable(QStringLiteral("%1 MB").arg(peakMB)));
    QFile::remove(file);
}

QTEST_GUILESS_MAIN(TestCliStream)
#include "test_cli_stream.moc"
