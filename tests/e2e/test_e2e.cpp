// The SQL Server path above the database layer, end to end: sample reports run through the report
// object and through the command-line runner over the FreeTDS ODBC driver against the TDS test
// server, compared with the same runs on the embedded engine that the server answers from. Same
// data, same report: the exports must be the same bytes and a failed run must read the same.
#include "RunnerProcess.h"
#include "TdsFixture.h"
#include "TestSupport.h"
#include "U_DataExport.h"
#include "U_Db.h"
#include "U_GridColumns.h"
#include "U_Login.h"
#include "U_ParamInput.h"
#include "U_SQL_report.h"
#include "U_TextCodec.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

const QString kUser = QStringLiteral("orvel");
// Separators and braces that must survive the connection string and the environment.
const QString kPassword = QStringLiteral("Zaż;ó}ł{=ć}}");
const QString kTdsSource = QStringLiteral("[FreeTDS][SQL Server]");
const QString kMarker = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]");

using Values = QList<QPair<QString, QString>>; // parameter name, stored value

struct Exports {
    QString Failure; // why no exports came out; empty when they did
    QString ErrorText;
    int Rows = -1;
    QByteArray Csv, Xml, Xhtml;
};

QByteArray Definition(const QString &defaultDb) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                          "<Zestawnik><version>1.0</version><defaultdb>%1</defaultdb><params>"
                          "</params></Zestawnik>\r\n")
        .arg(defaultDb)
        .toUtf8();
}

// The lines a failed run adds after the error's message: one per provider message.
QString Line(std::uint32_t number, std::uint32_t native, const QString &source,
             const QString &description) {
    return QStringLiteral("%1.%2.%3 - %4\r\n")
        .arg(number, 8, 16, QLatin1Char('0'))
        .arg(native, 8, 16, QLatin1Char('0'))
        .toUpper()
        .arg(source, description);
}

} // namespace

class TestE2e : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sampleExportsMatch_data();
    void sampleExportsMatch();
    void failedRunText_data();
    void failedRunText();
    void cliExportsMatch_data();
    void cliExportsMatch();
    void cliFailures_data();
    void cliFailures();
    void cliCancel_data();
    void cliCancel();

private:
    QString App(const QString &relative) const { return FApp.filePath(relative); }
    QString Engine() const { return App(QStringLiteral("engine")); }
    QString Sample(const QString &name) const {
        return App(QStringLiteral("data reports/Przykłady/") + name + QStringLiteral(".xml"));
    }
    static Exports RunReport(DbConnection &connection, const QString &definition,
                             const Values &values);
    CliResult Cli(const QStringList &args, const QString *password) const;

    QTemporaryDir FApp;
    std::unique_ptr<TdsTestServer> FServer;
    DbConnection FOdbc;
    DbConnection FEmbedded;
};

void TestE2e::initTestCase() {
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    QVERIFY(FApp.isValid());
    SetAppFolder(FApp.path());

    // The demo databases, once for the server and the embedded engine alike.
    QCOMPARE(CopyDemoDatabases(Engine()), QString());
    QCOMPARE(CopyStyleSheet(FApp.path()), QString());
    QCOMPARE(CopySampleReports(FApp.path()), QString());
    const QString reports = App(QStringLiteral("data reports/Przykłady"));
    // Column settings on one sample: formats over decimals, money and dates read from the wire,
    // a caption, a hidden column and a new order.
    QVERIFY(WriteBytes(
        reports + QStringLiteral("/Faktury kontrahenta settings.xml"),
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n<Zestawnik><fields>"
        "<Brutto><align>C</align><width>90</width><desc>Brutto \"zł\"</desc>"
        "<format>#,##0.00 zł</format><index>0</index><visible>1</visible></Brutto>"
        "<Netto><align>R</align><width>90</width><desc>Netto</desc><format>0.0000</format>"
        "<index>1</index><visible>1</visible></Netto>"
        "<Miasto><align>L</align><width>50</width><desc>Miasto</desc><format></format>"
        "<index>2</index><visible>0</visible></Miasto>"
        "</fields></Zestawnik>\r\n"));
    // Stored values for the runner's --defaults, with a query-fed pick list among them.
    QVERIFY(WriteBytes(reports + QStringLiteral("/Stany magazynowe defaults.xml"),
                       "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                       "<Zestawnik><Kategoria>3</Kategoria><Towar>NULL</Towar><Fraza>NULL</Fraza>"
                       "<TylkoAktywne>1</TylkoAktywne><PonizejMinimum>0</PonizejMinimum>"
                       "</Zestawnik>\r\n"));

    const QString broken = App(QStringLiteral("data reports/Błędy/Skrypt.xml"));
    QVERIFY(WriteBytes(broken, Definition(QStringLiteral("Hurtownia"))));

    FServer = StartTdsServer(Engine(), kUser, kPassword);
    QVERIFY(FServer);
    QString failure;
    QVERIFY2(ConnectTds(FOdbc, *FServer, kUser, kPassword, &failure), qPrintable(failure));
    QVERIFY2(OpenConnection(FEmbedded,
                            LoginConnectionSettings(QStringLiteral("sqlite:") + Engine(), true,
                                                    QString(), QString()),
                            &failure),
             qPrintable(failure));
}

void TestE2e::cleanupTestCase() {
    FOdbc.Close();
    FEmbedded.Close();
    if (FServer)
        FServer->Stop();
    SetAppFolder(QString());
}

// Loads the report as the main window does (its default database made current under the listed
// name), sets the values, runs it and saves the shown result in the three formats at a fixed time.
Exports TestE2e::RunReport(DbConnection &connection, const QString &definition,
                           const Values &values) {
    Exports out;
    TOrvel_Report report(&connection);
    bool databaseSet = false;
    report.OnDefaultDatabase = [&](const QString &name, const QString &) {
        QStringList listed;
        LoadDatabaseList(connection, listed);
        for (const QString &db : listed)
            if (db.toLower() == name.toLower())
                databaseSet = UseDatabase(connection, db);
        return databaseSet;
    };
    if (!report.LoadReport(definition, QFileInfo(definition).completeBaseName())) {
        out.Failure = QStringLiteral("not loaded");
        return out;
    }
    if (!databaseSet) {
        out.Failure = QStringLiteral("default database not made current");
        return out;
    }
    for (const auto &[name, value] : values) {
        int index = -1;
        for (int i = 0; i < report.ParamCount(); ++i)
            if (report.Param(i).Name() == name)
                index = i;
        if (index < 0) {
            out.Failure = QStringLiteral("no parameter ") + name;
            return out;
        }
        report.SetParamValue(index, value);
    }

    QEventLoop loop;
    bool ended = false;
    report.OnRunDone = [&](TOrvel_Report &) {
        ended = true;
        loop.quit();
    };
    if (!report.Run()) {
        out.Failure = QStringLiteral("run refused");
        return out;
    }
    if (!ended)
        loop.exec(); // the end arrives queued on this thread
    out.ErrorText = report.ErrorText();
    if (!out.ErrorText.isEmpty() || !report.ResultQuery()->IsOpen())
        return out;

    out.Rows = report.RecordCount();
    TOrvel_GridColumns columns;
    columns.SetQuery(report.ResultQuery());
    report.Settings.ApplyColumns(columns);
    const auto fixedTime = [] { return QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)); };
    const QString title = report.GetTitle();
    TOrvel_DataExport_CSV csv(columns, u';', title);
    TOrvel_DataExport_XML xml(columns, title);
    TOrvel_DataExport_XHTML xhtml(columns, title);
    csv.Now = xml.Now = xhtml.Now = fixedTime;
    out.Csv = csv.GetOutputBytes();
    out.Xml = xml.GetOutputBytes();
    out.Xhtml = xhtml.GetOutputBytes();
    return out;
}

void TestE2e::sampleExportsMatch_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<Values>("values");
    QTest::newRow("invoices, nothing set") << "Faktury kontrahenta" << Values{};
    QTest::newRow("invoices of a contractor, unpaid, amount and day")
        << "Faktury kontrahenta"
        << Values{{"Kontrahent", "3"},
                  {"Status", "2"},
                  {"MinKwota", "1234.5"},
                  {"NaDzien", "20240131"}};
    QTest::newRow("sales of a half year by category")
        << "Sprzedaż w okresie"
        << Values{{"Od", "20240101"}, {"Do", "20240630"}, {"Grupowanie", "1"}};
    QTest::newRow("sales of a warehouse by contractor")
        << "Sprzedaż w okresie" << Values{{"Magazyn", "2"}, {"Grupowanie", "0"}};
    QTest::newRow("stock, phrase and active goods")
        << "Stany magazynowe" << Values{{"Fraza", "a"}, {"TylkoAktywne", "1"}};
    QTest::newRow("stock of a category and its goods list")
        << "Stany magazynowe" << Values{{"Kategoria", "3"}, {"PonizejMinimum", "0"}};
    QTest::newRow("staff, employed, name with a Polish letter")
        << "Pracownicy działu" << Values{{"Stan", "Z"}, {"Nazwisko", "Ł"}};
    QTest::newRow("staff of a department") << "Pracownicy działu" << Values{{"Dzial", "2"}};
    QTest::newRow("salaries with totals") << "Wynagrodzenia w roku" << Values{};
    QTest::newRow("salaries over a decimal threshold")
        << "Wynagrodzenia w roku" << Values{{"Rok", "2023"}, {"MinPensja", "6500.50"}};
}

void TestE2e::sampleExportsMatch() {
    QFETCH(QString, report);
    QFETCH(Values, values);
    const Exports tds = RunReport(FOdbc, Sample(report), values);
    QVERIFY2(tds.Failure.isEmpty(), qPrintable(tds.Failure));
    QVERIFY2(tds.ErrorText.isEmpty(), qPrintable(tds.ErrorText));
    const Exports embedded = RunReport(FEmbedded, Sample(report), values);
    QVERIFY2(embedded.Failure.isEmpty(), qPrintable(embedded.Failure));
    QVERIFY2(embedded.ErrorText.isEmpty(), qPrintable(embedded.ErrorText));

    QVERIFY(embedded.Rows > 0);
    QCOMPARE(tds.Rows, embedded.Rows);
    QCOMPARE(tds.Csv, embedded.Csv);
    QCOMPARE(tds.Xml, embedded.Xml);
    QCOMPARE(tds.Xhtml, embedded.Xhtml);
}

void TestE2e::failedRunText_data() {
    QTest::addColumn<QString>("script"); // after the marker line
    QTest::addColumn<QString>("expected");
    QTest::newRow("raised error") << "RAISERROR('Brak zamówień dla „Łodzi”', 16, 1)"
                                  << "Brak zamówień dla „Łodzi”\r\n" +
                                         Line(0x80040E14, 50000, kTdsSource,
                                              "Brak zamówień dla „Łodzi”");
    QTest::newRow("printed lines before the error")
        << "PRINT 'Krok 1'\r\nPRINT 'Krok 2'\r\nRAISERROR('Przerwano', 16, 1)\r\nSELECT 1 AS a"
        << "Przerwano\r\n" + Line(0, 0, kTdsSource, "Krok 1") + Line(0, 0, kTdsSource, "Krok 2") +
               Line(0x80040E14, 50000, kTdsSource, "Przerwano");
    QTest::newRow("a result before the error")
        << "SELECT 1 AS a\r\nRAISERROR('Za późno', 16, 1)" << QString();
    QTest::newRow("missing table, as the engine words it") << "SELECT * FROM brak_tabeli"
                                                           << "engine";
}

void TestE2e::failedRunText() {
    QFETCH(QString, script);
    QFETCH(QString, expected);
    const QString definition = App(QStringLiteral("data reports/Błędy/Skrypt.xml"));
    QVERIFY(
        WriteBytes(App(QStringLiteral("data reports/Błędy/Skrypt.sql")),
                   (kMarker + QStringLiteral("\r\n") + script + QStringLiteral("\r\n")).toUtf8()));
    const Exports tds = RunReport(FOdbc, definition, {});
    QVERIFY2(tds.Failure.isEmpty(), qPrintable(tds.Failure));
    const Exports embedded = RunReport(FEmbedded, definition, {});
    QVERIFY2(embedded.Failure.isEmpty(), qPrintable(embedded.Failure));
    QVERIFY(!embedded.ErrorText.isEmpty() || expected.isEmpty());

    // The same failure reads the same on both paths; only the source of the messages differs.
    QString fromEngine = embedded.ErrorText;
    fromEngine.replace(QStringLiteral(".Orvel-Zestawnik SQLite - "), u'.' + kTdsSource + " - ");
    if (expected == QLatin1String("engine")) {
        QVERIFY2(embedded.ErrorText.startsWith(
                     QStringLiteral("Nieprawidłowa nazwa obiektu 'brak_tabeli'.\r\n")),
                 qPrintable(embedded.ErrorText));
        expected = fromEngine;
    }
    QEXPECT_FAIL("a result before the error",
                 "over ODBC the error of a later statement ends the fetch of the first result "
                 "with SQL_ERROR, and the backend drops the fetched result",
                 Abort);
    QCOMPARE(tds.ErrorText, expected);
    QCOMPARE(fromEngine, expected);
    // A failed run leaves no messages behind for the next one.
    QVERIFY(FOdbc.ProviderMessages().isEmpty());
    QCOMPARE(tds.Rows, expected.isEmpty() ? 1 : -1);
}

CliResult TestE2e::Cli(const QStringList &args, const QString *password) const {
    RunnerCall call{.AppFolder = FApp.path()};
    if (password)
        call.Password = *password;
    return RunCli(call, args);
}

void TestE2e::cliExportsMatch_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<QStringList>("options"); // the output option comes first, without its file
    QTest::addColumn<QString>("row");         // a text that each row of the export carries
    QTest::addColumn<int>("minimum");         // how many times at least
    QTest::newRow("csv, values set")
        << "Przykłady/Faktury kontrahenta"
        << QStringList{"--csv", "--separator", ";", "--set", "Kontrahent=3", "--set", "Status=2"}
        << "\r\n"
        << 3;
    QTest::newRow("xml, stored values with a query-fed list")
        << "Przykłady/Stany magazynowe" << QStringList{"--xml", "--defaults"} << "</Towar>" << 2;
    QTest::newRow("xhtml with row formats")
        << "Przykłady/Wynagrodzenia w roku" << QStringList{"--xhtml", "--set", "Rok=2024"}
        << "Razem" << 2;
    QTest::newRow("csv of another database")
        << "Przykłady/Pracownicy działu" << QStringList{"--csv", "--set", "Nazwisko=K"} << "\r\n"
        << 2;
}

void TestE2e::cliExportsMatch() {
    QFETCH(QString, report);
    QFETCH(QStringList, options);
    QFETCH(QString, row);
    QFETCH(int, minimum);
    const QString extension = options.first().mid(2);
    QStringList tdsArgs{"run", report, "--server", FServer->ServerName(), "--user", kUser};
    QStringList embeddedArgs{"run", report, "--server", QStringLiteral("sqlite:") + Engine()};
    const QString tdsFile = App("tds." + extension);
    const QString embeddedFile = App("embedded." + extension);
    QFile::remove(tdsFile);
    QFile::remove(embeddedFile);
    QStringList tdsOptions = options;
    tdsOptions.insert(1, tdsFile);
    QStringList embeddedOptions = options;
    embeddedOptions.insert(1, embeddedFile);

    const CliResult tds = Cli(tdsArgs + tdsOptions, &kPassword);
    QVERIFY2(tds.Status == 0, qPrintable(tds.Err));
    QCOMPARE(tds.Err, QString());
    QVERIFY(tds.Out.isEmpty());
    const CliResult embedded = Cli(embeddedArgs + embeddedOptions, nullptr);
    QVERIFY2(embedded.Status == 0, qPrintable(embedded.Err));

    const QByteArray written = ReadBytes(tdsFile);
    const QByteArray expected = ReadBytes(embeddedFile);
    const QString text = extension == QLatin1String("csv") ? DecodeWindows1250(expected)
                                                           : QString::fromLatin1(expected);
    QVERIFY2(text.count(row) >= minimum, qPrintable(text.left(400)));
    QCOMPARE(WithoutCreationTime(written), WithoutCreationTime(expected));
}

void TestE2e::cliFailures_data() {
    QTest::addColumn<QStringList>("args"); // the report first, then the options
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected"); // standard error, whole when it ends a line
    const QString refused = QStringLiteral("Nieprawidłowe hasło lub nazwa użytkownika\n(");
    QTest::newRow("wrong password")
        << QStringList{"Przykłady/Stany magazynowe", "--csv", "none.csv"} << kUser
        << kPassword + "x" << refused + "[FreeTDS][SQL Server]Login failed for user 'orvel'.)\n";
    QTest::newRow("password of another user")
        << QStringList{"Przykłady/Stany magazynowe", "--print"} << "sa" << kPassword << refused;
    QTest::newRow("failing script")
        << QStringList{"Błędy/Skrypt", "--csv", "none.csv"} << kUser << kPassword
        << QString("Przerwano\r\n" + Line(0, 0, kTdsSource, "Krok") +
                   Line(0x80040E14, 50000, kTdsSource, "Przerwano"))
               .replace("\r\n", "\n");
    QTest::newRow("database not on the server")
        << QStringList{"Przykłady/Stany magazynowe", "--database", "Brak", "--print"} << kUser
        << kPassword << "Baza nie została ustawiona ! (Brak)\n";
}

void TestE2e::cliFailures() {
    QFETCH(QStringList, args);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    QVERIFY(
        WriteBytes(App(QStringLiteral("data reports/Błędy/Skrypt.sql")),
                   (kMarker + "\r\nPRINT 'Krok'\r\nRAISERROR('Przerwano', 16, 1)\r\n").toUtf8()));
    const CliResult r =
        Cli(QStringList{"run", args.first(), "--server", FServer->ServerName(), "--user", user} +
                args.mid(1),
            &password);
    QCOMPARE(r.Status, 1);
    if (expected.endsWith(u'\n'))
        QCOMPARE(r.Err, expected);
    else
        QVERIFY2(r.Err.startsWith(expected), qPrintable(r.Err));
    QVERIFY(r.Out.isEmpty());
    QVERIFY(!r.Err.contains(password));
    QVERIFY(!QFileInfo::exists(App(QStringLiteral("none.csv"))));
}

namespace {
// Whether the runner's main thread has SIGINT blocked: from then on a signal is the run's cancel.
bool TakesSignals(qint64 pid) {
    const QByteArray status = ReadBytes(QStringLiteral("/proc/%1/task/%1/status").arg(pid));
    for (const QByteArray &line : status.split('\n'))
        if (line.startsWith("SigBlk:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGINT - 1)) & 1;
    return false;
}
} // namespace

void TestE2e::cliCancel_data() {
    QTest::addColumn<bool>("server");       // over FreeTDS and the test server, or embedded
    QTest::addColumn<QString>("statement"); // the report's long statement
    QTest::addColumn<QList<int>>("sends");  // sent one after another; none: --timeout 1
    QTest::addColumn<bool>("ignoreCancel"); // the server leaves the ATTENTION unanswered
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QString count = "WITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                          "1000000000) SELECT COUNT(*) AS ile FROM n OPTION (MAXRECURSION 0)";
    const QString cancelled = "orvel-zestawnik-cli: cancelled\n";
    const QString timedOut =
        "orvel-zestawnik-cli: the run took longer than 1 s and was cancelled\n";
    QTest::newRow("embedded, SIGINT")
        << false << count << QList<int>{SIGINT} << false << 130 << cancelled;
    QTest::newRow("embedded, SIGTERM")
        << false << count << QList<int>{SIGTERM} << false << 143 << cancelled;
    QTest::newRow("embedded, time-out") << false << count << QList<int>{} << false << 1 << timedOut;
    QTest::newRow("server, SIGINT")
        << true << count << QList<int>{SIGINT} << false << 130 << cancelled;
    QTest::newRow("server, time-out") << true << count << QList<int>{} << false << 1 << timedOut;
    // A server that does not answer the cancel: the second SIGINT ends the runner at once.
    QTest::newRow("silent server, SIGINT twice")
        << true << "WAITFOR DELAY '00:01:00'; SELECT 1 AS a" << QList<int>{SIGINT, SIGINT} << true
        << 130 << cancelled;
}

void TestE2e::cliCancel() {
    QFETCH(bool, server);
    QFETCH(QString, statement);
    QFETCH(QList<int>, sends);
    QFETCH(bool, ignoreCancel);
    QFETCH(int, status);
    QFETCH(QString, message);
    QVERIFY(WriteBytes(App(QStringLiteral("data reports/Błędy/Długi.xml")),
                       Definition(QStringLiteral("Hurtownia"))));
    QVERIFY(WriteBytes(App(QStringLiteral("data reports/Błędy/Długi.sql")),
                       (kMarker + "\r\n" + statement + "\r\n").toUtf8()));
    // The file of the same name from before stays as it was, and nothing else appears beside it.
    QTemporaryDir out;
    const QString file = out.filePath(QStringLiteral("wynik.csv"));
    QVERIFY(WriteBytes(file, "stary plik\r\n"));

    QStringList args{"run", "Błędy/Długi", "--csv", file};
    if (server)
        args << "--server" << FServer->ServerName() << "--user" << kUser;
    else
        args << "--server" << QStringLiteral("sqlite:") + Engine();
    if (sends.isEmpty())
        args << "--timeout"
             << "1";
    FServer->SetIgnoreAttention(ignoreCancel);
    const auto answerAgain = qScopeGuard([this] { FServer->SetIgnoreAttention(false); });

    const std::unique_ptr<QProcess> runner(
        StartCli({.AppFolder = FApp.path(), .Password = kPassword}, args));
    QProcess &process = *runner;
    QVERIFY(process.waitForStarted());
    const auto stopped = qScopeGuard([&] {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(TakesSignals(process.processId()), 60000);
    QTest::qWait(500); // the run is under way
    for (int i = 0; i < sends.size(); ++i) {
        if (i > 0) {
            // The first one was not answered: the runner still waits for the server.
            QTest::qWait(500);
            QCOMPARE(process.state(), QProcess::Running);
        }
        ::kill(static_cast<pid_t>(process.processId()), sends[i]);
    }
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), message);
    QCOMPARE(ReadBytes(file), QByteArray("stary plik\r\n"));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("wynik.csv")});
    // The runner's cancel left the server's connection handling as it was.
    QVERIFY(FOdbc.IsConnected());
}

QTEST_GUILESS_MAIN(TestE2e)
#include "test_e2e.moc"
