// The command-line runner driven as a user drives it: the built executable on a temporary
// application folder with a small report tree and an embedded database. Its exports must be the
// bytes the core's writers give for the same result in this process.
#include "RunnerProcess.h"
#include "TestSupport.h"
#include "U_ColumnFit.h"
#include "U_DataExport.h"
#include "U_Db.h"
#include "U_GridColumns.h"
#include "U_Login.h"
#include "U_PrintDocument.h"
#include "U_SQL_report_settings.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace {

const QByteArray kNoPassword = "\x01";

const char *kTable = R"(
CREATE TABLE towary (Symbol NVARCHAR(10), Nazwa NVARCHAR(50), Kwota DECIMAL(12,2), Cena FLOAT,
  Data DATETIME, Aktywny BIT, Rok INT, Uwagi NVARCHAR(50), Orvel_Zestawnik_FORMAT NVARCHAR(100));
INSERT INTO towary VALUES ('A1', 'Łódź "Centrum"; hurt', 1234.5, 0.125, '2024-01-31 00:00:00', 1,
  2023, 'ukryte', 'color=0000FF;fontstyle=B');
INSERT INTO towary VALUES ('B2', 'O''Brien & syn <sp>', 12.5, 2.5, '2023-12-01 10:30:00', 0,
  2023, 'x', NULL);
INSERT INTO towary VALUES ('C3', 'Żółć, zieleń', NULL, NULL, NULL, NULL, 2022, NULL, NULL);
)";

// The script of "Sprzedaż/Obroty" and the same batch with the values the tests set written in.
const char *kScript = "DECLARE @Rok INT, @Opis NVARCHAR(50), @Rodzaj NVARCHAR(5)\r\n"
                      "-- [Orvel_Zestawnik_PARAMETRY]\r\n"
                      "SELECT Symbol, Nazwa, Kwota, Cena, Data, Aktywny, Uwagi, "
                      "Orvel_Zestawnik_FORMAT, @Opis AS Opis, @Rodzaj AS Rodzaj FROM towary\r\n"
                      "WHERE @Rok IS NULL OR Rok = @Rok ORDER BY Symbol\r\n";

QByteArray Definition(const QString &defaultDb, const QString &params) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Zestawnik><version>1.0"
                          "</version><defaultdb>%1</defaultdb><params>%2</params></Zestawnik>\r\n")
        .arg(defaultDb, params)
        .toUtf8();
}

QString Item(const QString &name, const QString &type, const QString &desc,
             const QString &extra = {}) {
    return QStringLiteral("<item><name>%1</name><type>%2</type><width>50</width><decimal>2"
                          "</decimal><desc>%3</desc>%4</item>")
        .arg(name, type, desc, extra);
}

// The preferences file holding one setting of the CSV export; no file when the value is null.
bool WriteCsvPreference(const QString &prefs, const QByteArray &name, const QString &value) {
    QFile::remove(prefs);
    return value.isNull() ||
           WriteBytes(prefs, "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                             "<Zestawnik><Export><CSV><" +
                                 name + ">" + value.toUtf8() + "</" + name +
                                 "></CSV></Export></Zestawnik>\r\n");
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void usageErrors_data();
    void strictSetValues_data();
    void strictSetValues();
    void storedValuesStayLenient();
    void usageErrors();
    void listShowsTheReportTree();
    void textCommands_data();
    void textCommands();
    void exportsMatchTheWriters_data();
    void exportsMatchTheWriters();
    void exportToAPipeOrDevice();
    void csvEncodings_data();
    void csvEncodings();
    void printShowsTheShownResult();
    void xlsxWritesAWorkbook();
    void pdfWritesTheWindowsPages();
    void pdfNamesThePickListEntry();
    void xlsxSaysCutCells();
    void killedExportLeavesNothingBehind_data();
    void killedExportLeavesNothingBehind();
    void failures_data();
    void failures();
    void progressOnlyOnATerminal_data();
    void progressOnlyOnATerminal();

private:
    // terminal: standard error is a pseudo-terminal, whose output comes back in Err.
    CliResult Cli(const QStringList &args, const QByteArray &password = kNoPassword,
                  bool terminal = false) const;
    QString App(const QString &relative) const { return FApp.filePath(relative); }
    QString Server() const { return QStringLiteral("sqlite:") + App(QStringLiteral("db")); }
    // The result of the Obroty batch with the given assignments, laid out by the report's
    // column settings.
    void OpenExpected(DbConnection &connection, DbQuery &query, TOrvel_GridColumns &columns,
                      TOrvel_ReportSettings &settings, const QString &assignments) const;

    QTemporaryDir FApp;
};

void TestCli::initTestCase() {
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    QVERIFY(FApp.isValid());
    SetAppFolder(FApp.path()); // the style sheet address of the pages names the data folder
    QVERIFY(QDir().mkpath(App(QStringLiteral("db"))));
    QVERIFY(QDir().mkpath(App(QStringLiteral("data"))));
    QVERIFY(RunSqlite(App(QStringLiteral("db/Hurt.sqlite")), kTable));
    QVERIFY(QFile::copy(SourceDir() + QStringLiteral("/data/export.css"),
                        App(QStringLiteral("data/export.css"))));

    const QString reports = App(QStringLiteral("data reports/"));
    const QString params =
        Item(QStringLiteral("Rok"), QStringLiteral("INT"), QStringLiteral("Rok sprzedaży")) +
        Item(QStringLiteral("Opis"), QStringLiteral("TEXT"), QStringLiteral("Opis")) +
        Item(QStringLiteral("Rodzaj"), QStringLiteral("TEXT"), QStringLiteral("Rodzaj"),
             QStringLiteral("<listitems>Hurt;Detal</listitems><listvalues>H;D</listvalues>"));
    QVERIFY(WriteBytes(reports + QStringLiteral("Sprzedaż/Obroty.xml"),
                       Definition(QStringLiteral("hurt"), params)));
    QVERIFY(WriteBytes(reports + QStringLiteral("Sprzedaż/Obroty.sql"), kScript));
    QVERIFY(WriteBytes(reports + QStringLiteral("Sprzedaż/Obroty defaults.xml"),
                       "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                       "<Zestawnik><Rok>2023</Rok><Opis>O'Brien</Opis><Rodzaj>H</Rodzaj>"
                       "</Zestawnik>\r\n"));
    // The column settings: "Uwagi" hidden, "Kwota" renamed, formatted and moved to the front.
    QVERIFY(WriteBytes(
        reports + QStringLiteral("Sprzedaż/Obroty settings.xml"),
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n<Zestawnik><fields>"
        "<Uwagi><align>L</align><width>50</width><desc>Uwagi</desc><format></format>"
        "<index>6</index><visible>0</visible></Uwagi>"
        "<kwota><align>R</align><width>80</width><desc>Kwota \"brutto\"</desc>"
        "<format>#,##0.00</format><index>0</index><visible>1</visible></kwota>"
        "</fields></Zestawnik>\r\n"));
    QVERIFY(QDir().mkpath(reports + QStringLiteral("Sprzedaż/Puste")));
    // A pick list fed by a query: its stored value is set with or without a connection.
    QVERIFY(WriteBytes(
        reports + QStringLiteral("Sprzedaż/Lista.xml"),
        Definition(QStringLiteral("Hurt"),
                   Item(QStringLiteral("Kod"), QStringLiteral("TEXT"), QStringLiteral("Towar"),
                        QStringLiteral("<key>Symbol</key><listquery>SELECT Symbol, "
                                       "Nazwa FROM towary</listquery>"
                                       "<listfields>Nazwa</listfields>")))));
    QVERIFY(WriteBytes(reports + QStringLiteral("Sprzedaż/Lista.sql"),
                       "DECLARE @Kod NVARCHAR(10)\r\n-- [Orvel_Zestawnik_PARAMETRY]\r\n"
                       "SELECT Symbol, Rok FROM towary WHERE Symbol = @Kod\r\n"));
    QVERIFY(WriteBytes(reports + QStringLiteral("Sprzedaż/Lista defaults.xml"),
                       "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                       "<Zestawnik><Kod>B2</Kod></Zestawnik>\r\n"));

    // One parameter of each checked type; the stored values are wrong in every one of them.
    QVERIFY(WriteBytes(
        reports + QStringLiteral("Sprzedaż/Typy.xml"),
        Definition(
            QStringLiteral("Hurt"),
            Item(QStringLiteral("Od"), QStringLiteral("DATE"), QStringLiteral("Od dnia")) +
                Item(QStringLiteral("Ile"), QStringLiteral("INT"), QStringLiteral("Ile")) +
                Item(QStringLiteral("Kwota"), QStringLiteral("NUMERIC"), QStringLiteral("Kwota")) +
                Item(QStringLiteral("Rodzaj"), QStringLiteral("INT"), QStringLiteral("Rodzaj"),
                     QStringLiteral("<listitems>A;B</listitems>")))));
    QVERIFY(WriteBytes(reports + QStringLiteral("Sprzedaż/Typy.sql"),
                       "DECLARE @Od DATETIME, @Ile INT, @Kwota NUMERIC(10,2), @Rodzaj INT\r\n"
                       "-- [Orvel_Zestawnik_PARAMETRY]\r\n"
                       "SELECT @Ile AS Ile, @Kwota AS Kwota\r\n"));
    QVERIFY(WriteBytes(reports + QStringLiteral("Sprzedaż/Typy defaults.xml"),
                       "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                       "<Zestawnik><Od>2024-01-31</Od><Ile>12x</Ile><Kwota>x</Kwota>"
                       "</Zestawnik>\r\n"));
    // A database whose name has non-ASCII capitals, and a report naming it in other letters.
    QVERIFY(RunSqlite(App(QStringLiteral("db/KSIĘGOWOŚĆ.sqlite")), kTable));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Inne litery.xml"),
                       Definition(QStringLiteral("KSIęGOWOść"), {})));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Inne litery.sql"),
                       "-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT 1 AS Jeden\r\n"));

    const QString marker = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]\r\n");
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Zły skrypt.xml"), Definition({}, {})));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Zły skrypt.sql"),
                       (marker + QStringLiteral("SELECT * FROM brak_tabeli\r\n")).toUtf8()));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Bez markera.xml"),
                       Definition(QStringLiteral("Hurt"), {})));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Bez markera.sql"),
                       "SELECT Symbol FROM towary\r\n"));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Bez wyniku.xml"),
                       Definition(QStringLiteral("Hurt"), {})));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Bez wyniku.sql"),
                       (marker + QStringLiteral("UPDATE towary SET Uwagi = Uwagi\r\n")).toUtf8()));
    // Two names of one server variable: the second value would silently win.
    QVERIFY(WriteBytes(
        reports + QStringLiteral("Błędy/Dwie kwoty.xml"),
        Definition(
            QStringLiteral("Hurt"),
            Item(QStringLiteral("Kwota"), QStringLiteral("INT"), QStringLiteral("Kwota")) +
                Item(QStringLiteral("kwota"), QStringLiteral("INT"), QStringLiteral("Kwota")))));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Dwie kwoty.sql"),
                       (QStringLiteral("DECLARE @Kwota INT\r\n") + marker +
                        QStringLiteral("SELECT @Kwota AS Kwota\r\n"))
                           .toUtf8()));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Obca baza.xml"),
                       Definition(QStringLiteral("Kadry"), {})));
    QVERIFY(WriteBytes(reports + QStringLiteral("Błędy/Obca baza.sql"),
                       (marker + QStringLiteral("SELECT 1 AS Jeden\r\n")).toUtf8()));
}

CliResult TestCli::Cli(const QStringList &args, const QByteArray &password, bool terminal) const {
    RunnerCall call{.AppFolder = FApp.path(), .Terminal = terminal};
    if (password != kNoPassword)
        call.Password = QString::fromUtf8(password);
    return RunCli(call, args);
}

void TestCli::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString s = QStringLiteral("sqlite:x");
    QTest::newRow("no command") << QStringList{} << "no command given";
    QTest::newRow("unknown command") << QStringList{"show"} << "unknown command 'show'";
    QTest::newRow("unknown option") << QStringList{"list", "--frob"} << "unknown option '--frob'";
    QTest::newRow("short option") << QStringList{"list", "-x"} << "unknown option '-x'";
    QTest::newRow("list with a report") << QStringList{"list", "A"} << "unexpected argument 'A'";
    QTest::newRow("info without report") << QStringList{"info"} << "info needs a report";
    QTest::newRow("option of another command")
        << QStringList{"params", "A", "--server", s} << "params takes no option --server";
    QTest::newRow("set without name")
        << QStringList{"info", "A", "--set", "=1"} << "--set needs NAME=VALUE";
    QTest::newRow("run without server")
        << QStringList{"run", "A", "--print"} << "run needs --server";
    QTest::newRow("run without output")
        << QStringList{"run", "A", "--server", s}
        << "exactly one of --csv, --xml, --xhtml, --xlsx, --pdf and --print";
    QTest::newRow("run with two outputs")
        << QStringList{"run", "A", "--server", s, "--print", "--xml", "a.xml"}
        << "exactly one of --csv, --xml, --xhtml, --xlsx, --pdf and --print";
    QTest::newRow("xlsx with csv")
        << QStringList{"run", "A", "--server", s, "--xlsx", "a.xlsx", "--csv", "a.csv"}
        << "exactly one of --csv, --xml, --xhtml, --xlsx, --pdf and --print";
    QTest::newRow("xlsx without file")
        << QStringList{"run", "A", "--server", s, "--xlsx"} << "--xlsx needs a value";
    QTest::newRow("pdf with csv")
        << QStringList{"run", "A", "--server", s, "--pdf", "a.pdf", "--csv", "a.csv"}
        << "exactly one of --csv, --xml, --xhtml, --xlsx, --pdf and --print";
    QTest::newRow("pdf without file")
        << QStringList{"run", "A", "--server", s, "--pdf"} << "--pdf needs a value";
    QTest::newRow("page size without pdf")
        << QStringList{"run", "A", "--server", s, "--xml", "a.xml", "--page", "A4"}
        << "--page belongs to --pdf";
    QTest::newRow("orientation without pdf")
        << QStringList{"run", "A", "--server", s, "--print", "--orientation", "portrait"}
        << "--orientation belongs to --pdf";
    QTest::newRow("unknown page size")
        << QStringList{"run", "A", "--server", s, "--pdf", "a.pdf", "--page", "a4"}
        << "--page needs one of A4, A3, Letter";
    QTest::newRow("unknown orientation")
        << QStringList{"run", "A", "--server", s, "--pdf", "a.pdf", "--orientation", "sideways"}
        << "--orientation needs one of auto, portrait, landscape";
    QTest::newRow("file name taken from the next option")
        << QStringList{"run", "A", "--server", s, "--csv", "--print"} << "--csv needs a value";
    QTest::newRow("separator without csv")
        << QStringList{"run", "A", "--server", s, "--xml", "a.xml", "--separator", ";"}
        << "--separator belongs to --csv";
    QTest::newRow("encoding without csv")
        << QStringList{"run", "A", "--server", s, "--xml", "a.xml", "--encoding", "utf-8"}
        << "--encoding belongs to --csv";
    for (const char *name : {"utf8", "latin2", ""})
        QTest::newRow(qPrintable(QStringLiteral("encoding '%1'").arg(QLatin1String(name))))
            << QStringList{"run", "A", "--server", s, "--csv", "a.csv", "--encoding", name}
            << "--encoding needs windows-1250, utf-8 or utf-8-bom";
    QTest::newRow("long separator")
        << QStringList{"run", "A", "--server", s, "--csv", "a.csv", "--separator", ";;"}
        << "--separator needs exactly one character";
    for (const char *seconds : {"0", "-5", "1.5", "abc", "2000001"})
        QTest::newRow(qPrintable(QStringLiteral("time-out %1").arg(QLatin1String(seconds))))
            << QStringList{"run", "A", "--server", s, "--print", "--timeout", seconds}
            << "--timeout needs a whole number of seconds from 1 to 2000000";
    QTest::newRow("time-out of another command")
        << QStringList{"info", "A", "--timeout", "5"} << "info takes no option --timeout";
    for (const char *quoteOrBreak : {"\"", "\r", "\n"})
        QTest::newRow(
            qPrintable(QStringLiteral("separator %1").arg(QByteArray(quoteOrBreak).toHex())))
            << QStringList{"run", "A", "--server", s, "--csv", "a.csv", "--separator", quoteOrBreak}
            << "--separator cannot be a double quote, CR or LF";
    QTest::newRow("user and windows authentication")
        << QStringList{"run", "A", "--server", s, "--user", "sa", "--windows-auth", "--print"}
        << "--user and --windows-auth exclude each other";
    QTest::newRow("a service name without Windows authentication")
        << QStringList{"run", "A",     "--server",        s,        "--user",
                       "sa",  "--spn", "MSSQLSvc/h:1433", "--print"}
        << "--spn needs --windows-auth";
    QTest::newRow("an empty service name")
        << QStringList{"run", "A", "--server", s, "--windows-auth", "--spn", " ", "--print"}
        << "--spn needs a service principal name";
    QTest::newRow("password on the command line")
        << QStringList{"run", "A", "--server", s, "--password", "x", "--print"}
        << "unknown option '--password'";
    QTest::newRow("server twice") << QStringList{"run",      "A", "--server", s,
                                                 "--server", s,   "--print"}
                                  << "--server given more than once";
    QTest::newRow("no user name") << QStringList{"run", "Sprzedaż/Obroty", "--server",
                                                 "127.0.0.1,1", "--print"}
                                  << "no user name: give --user or --windows-auth";
    QTest::newRow("unknown parameter")
        << QStringList{"params", "Sprzedaż/Obroty", "--set", "Brak=1"}
        << "the report has no parameter 'Brak'";
}

void TestCli::strictSetValues_data() {
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::addColumn<QString>("block");   // the assignments when accepted
    const QString rest = QStringLiteral("SET @Ile = NULL -- INT\nSET @Kwota = NULL -- NUMERIC\n"
                                        "SET @Rodzaj = NULL -- INT\n");
    auto invalid = [](const QString &name, const QString &value, const QString &expected) {
        return QStringLiteral("orvel-zestawnik-cli: invalid value for parameter %1: '%2' "
                              "(expected %3)\n")
            .arg(name, value, expected);
    };
    QTest::newRow("date as text") << "Od=abc" << invalid("Od", "abc", "YYYYMMDD") << QString();
    QTest::newRow("impossible date")
        << "Od=20240231" << invalid("Od", "20240231", "YYYYMMDD") << QString();
    QTest::newRow("date with dashes")
        << "Od=2024-01-31" << invalid("Od", "2024-01-31", "YYYYMMDD") << QString();
    QTest::newRow("date of seven digits")
        << "Od=2024013" << invalid("Od", "2024013", "YYYYMMDD") << QString();
    QTest::newRow("not a whole number")
        << "Ile=12x" << invalid("Ile", "12x", "a whole number") << QString();
    QTest::newRow("whole number out of range")
        << "Ile=3000000000" << invalid("Ile", "3000000000", "a whole number") << QString();
    QTest::newRow("number with a comma")
        << "Kwota=1,5" << invalid("Kwota", "1,5", "a number") << QString();
    QTest::newRow("not a number") << "Kwota=x" << invalid("Kwota", "x", "a number") << QString();
    QTest::newRow("real date") << "Od=20240229" << QString()
                               << "SET @Od = '20240229' -- DATE\n" + rest;
    QTest::newRow("quoted date") << "Od='20240229'" << QString()
                                 << "SET @Od = '20240229' -- DATE\n" + rest;
    QTest::newRow("empty date") << "Od=" << QString() << "SET @Od = NULL -- DATE\n" + rest;
    QTest::newRow("NULL date") << "Od=NULL" << QString() << "SET @Od = NULL -- DATE\n" + rest;
    QTest::newRow("whole number") << "Ile= -7 " << QString()
                                  << QStringLiteral("SET @Od = NULL -- DATE\nSET @Ile = -7 -- "
                                                    "INT\nSET @Kwota = NULL -- NUMERIC\n"
                                                    "SET @Rodzaj = NULL -- INT\n");
    QTest::newRow("number with a dot")
        << "Kwota=1.25" << QString()
        << QStringLiteral("SET @Od = NULL -- DATE\nSET @Ile = NULL -- INT\n"
                          "SET @Kwota = 1.25 -- NUMERIC\nSET @Rodzaj = NULL -- INT\n");
    QTest::newRow("a fixed list takes its own values")
        << "Rodzaj=1" << QString()
        << QStringLiteral("SET @Od = NULL -- DATE\nSET @Ile = NULL -- INT\n"
                          "SET @Kwota = NULL -- NUMERIC\nSET @Rodzaj = 1 -- INT\n");
}

void TestCli::strictSetValues() {
    QFETCH(QString, set);
    QFETCH(QString, message);
    QFETCH(QString, block);
    const CliResult r = Cli({"params", "Sprzedaż/Typy", "--set", set});
    if (message.isEmpty()) {
        QCOMPARE(r.Status, 0);
        QCOMPARE(r.Err, QString());
        QCOMPARE(QString::fromUtf8(r.Out), block);
    } else {
        QCOMPARE(r.Status, 2);
        QVERIFY2(r.Err.startsWith(message), qPrintable(r.Err));
        QVERIFY(r.Out.isEmpty());
    }
}

void TestCli::storedValuesStayLenient() {
    // Wrong stored values: a date not of eight characters is today, a wrong whole number 0, a
    // wrong number NULL; the run goes ahead with them.
    const CliResult params = Cli({"params", "Sprzedaż/Typy", "--defaults"});
    QCOMPARE(params.Status, 0);
    QCOMPARE(QString::fromUtf8(params.Out),
             QStringLiteral("SET @Od = %1 -- DATE\nSET @Ile = 0 -- INT\n"
                            "SET @Kwota = NULL -- NUMERIC\nSET @Rodzaj = NULL -- INT\n")
                 .arg(DateToSQL(QDate::currentDate())));
    const CliResult run =
        Cli({"run", "Sprzedaż/Typy", "--server", Server(), "--defaults", "--print"});
    QCOMPARE(run.Status, 0);
    QVERIFY2(run.Err.isEmpty(), qPrintable(run.Err));
    QVERIFY(run.Out.startsWith("Ile\tKwota\n0\t"));
    // A value typed on the command line over a stored one is strict all the same.
    const CliResult typed = Cli(
        {"run", "Sprzedaż/Typy", "--server", Server(), "--defaults", "--set", "Ile=1x", "--print"});
    QCOMPARE(typed.Status, 2);
    QVERIFY(typed.Err.startsWith(
        "orvel-zestawnik-cli: invalid value for parameter Ile: '1x' (expected a whole number)"));
}

void TestCli::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const CliResult r = Cli(args);
    QCOMPARE(r.Status, 2);
    QVERIFY2(r.Err.contains(message), qPrintable(r.Err));
    QVERIFY(r.Err.contains(QStringLiteral("Usage: orvel-zestawnik-cli")));
    QVERIFY(r.Out.isEmpty());
}

void TestCli::listShowsTheReportTree() {
    const CliResult r = Cli({QStringLiteral("list")});
    QCOMPARE(r.Status, 0);
    QCOMPARE(QString::fromUtf8(r.Out), QStringLiteral("Błędy/\n"
                                                      "  Bez markera\n"
                                                      "  Bez wyniku\n"
                                                      "  Dwie kwoty\n"
                                                      "  Inne litery\n"
                                                      "  Obca baza\n"
                                                      "  Zły skrypt\n"
                                                      "Sprzedaż/\n"
                                                      "  Lista\n"
                                                      "  Obroty\n"
                                                      "  Puste/\n"
                                                      "  Typy\n"));
}

void TestCli::textCommands_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");
    const QString script = App(QStringLiteral("data reports/Sprzedaż/Obroty.sql"));
    const auto info = [&](const QString &rok, const QString &opis, const QString &rodzaj) {
        return QStringLiteral("Obroty\n  wersja: 1.0\n  zapytanie: %1\n  parametry\n"
                              "    Rok sprzedaży\n      Rok INT\n      wartość: %2\n"
                              "    Opis\n      Opis NVARCHAR(50)\n      wartość: %3\n"
                              "    Rodzaj\n      Rodzaj NVARCHAR(50)\n"
                              "      pozycje: Hurt, Detal\n      wartości: H, D\n"
                              "      wartość: %4\n")
            .arg(script, rok, opis, rodzaj);
    };
    QTest::newRow("info as loaded")
        << QStringList{"info", "Sprzedaż/Obroty"} << info("NULL", "NULL", "NULL");
    QTest::newRow("info with stored values")
        << QStringList{"info", "Sprzedaż/Obroty.xml", "--defaults"}
        << info("2023", "'O''Brien'", "'H'");
    QTest::newRow("info, full path, set after defaults")
        << QStringList{"info",       App("data reports/Sprzedaż/Obroty.xml"),
                       "--defaults", "--set",
                       "Rok=NULL",   "--set",
                       "Rodzaj='d'"}
        << info("NULL", "'O''Brien'", "'D'");
    QTest::newRow("params: the assignments of a run")
        << QStringList{"params", "Sprzedaż/Obroty", "--set", "Rok=2024", "--set", "Opis=a=b"}
        << QStringLiteral("SET @Rok = 2024 -- INT\nSET @Opis = 'a=b' -- TEXT\n"
                          "SET @Rodzaj = NULL -- TEXT\n");
    QTest::newRow("params with declarations")
        << QStringList{"params", "Sprzedaż/Obroty", "--declare", "--defaults"}
        << QStringLiteral("DECLARE\n @Rok INT,\n @Opis NVARCHAR(50),\n @Rodzaj NVARCHAR(50)\n\n"
                          "SET @Rok = 2023\nSET @Opis = 'O''Brien'\nSET @Rodzaj = 'H'\n");
    QTest::newRow("params, stored value of a query-fed list")
        << QStringList{"params", "Sprzedaż/Lista", "--defaults"}
        << QStringLiteral("SET @Kod = 'B2' -- TEXT\n");
    QTest::newRow("run, stored value of a query-fed list")
        << QStringList{"run", "Sprzedaż/Lista", "--server", Server(), "--defaults", "--print"}
        << QStringLiteral("Symbol\tRok\nB2\t2023\n");
    QTest::newRow("params of a report without parameters")
        << QStringList{"params", "Błędy/Bez wyniku", "--declare"} << QString();
}

void TestCli::textCommands() {
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    const CliResult r = Cli(args);
    QVERIFY2(r.Status == 0, qPrintable(r.Err));
    QCOMPARE(QString::fromUtf8(r.Out), expected);
}

void TestCli::OpenExpected(DbConnection &connection, DbQuery &query, TOrvel_GridColumns &columns,
                           TOrvel_ReportSettings &settings, const QString &assignments) const {
    TOrvel_ConnectionSettings login;
    login.Server = Server();
    connection.Open(login);
    QVERIFY(UseDatabase(connection, QStringLiteral("HURT")));
    query.SQL = QString::fromUtf8(kScript).replace(QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]"),
                                                   assignments);
    query.Open();
    columns.SetQuery(&query);
    settings.LoadSettings(App(QStringLiteral("data reports/Sprzedaż/Obroty.xml")));
    settings.ApplyColumns(columns);
}

// An export named /dev/stdout reaches the pipe the runner writes to, as the same export into a
// file; a folder as the target is refused with the system's reason, and nothing is written.
void TestCli::exportToAPipeOrDevice() {
    const QStringList run{"run", "Sprzedaż/Obroty", "--server", Server()};
    const QString file = App(QStringLiteral("piped.csv"));
    QFile::remove(file);
    const CliResult toFile = Cli(run + QStringList{"--csv", file});
    QVERIFY2(toFile.Status == 0, qPrintable(toFile.Err));
    const CliResult toPipe = Cli(run + QStringList{"--csv", "/dev/stdout"});
    QVERIFY2(toPipe.Status == 0, qPrintable(toPipe.Err));
    QVERIFY(!ReadBytes(file).isEmpty());
    QCOMPARE(toPipe.Out, ReadBytes(file));

    const QString folder = App(QStringLiteral("a folder.csv"));
    QVERIFY(QDir().mkpath(folder));
    const CliResult toFolder = Cli(run + QStringList{"--xml", folder});
    QVERIFY(toFolder.Status != 0);
    QVERIFY2(toFolder.Err.contains(QStringLiteral("Jest katalogiem")), qPrintable(toFolder.Err));
    QVERIFY(QFileInfo(folder).isDir());
}

// The CSV file's encoding: the one given, else the preference's, else Windows-1250; the
// byte-order mark only with utf-8-bom.
void TestCli::csvEncodings_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("preference"); // "Export/CSV/Encoding", none when null
    QTest::addColumn<QByteArray>("start");   // the file's first bytes
    QTest::addColumn<QByteArray>("polish");  // «Łódź» as the file holds it
    const QByteArray win1250 = "\xA3\xF3"
                               "d\x9F";
    const QByteArray utf8 = "\xC5\x81\xC3\xB3"
                            "d\xC5\xBA";
    const QByteArray bom = "\xEF\xBB\xBF";
    const QByteArray header = "\"Kwota \"\"brutto\"\"\""; // the first caption
    QTest::newRow("default") << QStringList{} << QString() << header << win1250;
    QTest::newRow("the preference's") << QStringList{} << QStringLiteral("utf-8") << header << utf8;
    QTest::newRow("an unknown preference")
        << QStringList{} << QStringLiteral("koi8-r") << header << win1250;
    QTest::newRow("given wins") << QStringList{"--encoding", "windows-1250"}
                                << QStringLiteral("utf-8-bom") << header << win1250;
    QTest::newRow("utf-8") << QStringList{"--encoding", "utf-8"} << QString() << header << utf8;
    QTest::newRow("utf-8 with the mark")
        << QStringList{"--encoding=utf-8-bom"} << QString() << bom + header << utf8;
}

void TestCli::csvEncodings() {
    QFETCH(QStringList, options);
    QFETCH(QString, preference);
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, polish);
    const QString prefs = App(QStringLiteral("data/settings.xml"));
    QVERIFY(WriteCsvPreference(prefs, "Encoding", preference));
    const QString file = App(QStringLiteral("encoded.csv"));
    QFile::remove(file);
    const CliResult r =
        Cli(QStringList{"run", "Sprzedaż/Obroty", "--server", Server(), "--csv", file} + options);
    QFile::remove(prefs);
    QVERIFY2(r.Status == 0, qPrintable(r.Err));
    const QByteArray written = ReadBytes(file);
    QVERIFY2(written.startsWith(start), written.left(12).toHex().constData());
    QVERIFY2(written.contains("\"" + polish + " \"\"Centrum\"\"; hurt\""),
             written.toHex().constData());
}

void TestCli::exportsMatchTheWriters_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("preference"); // "Export/CSV/Separator", none when null
    QTest::addColumn<int>("kind");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("assignments");
    const QString fromDefaults = QStringLiteral("SET @Rok = 2023 -- INT\r\nSET @Opis = 'O''Brien' "
                                                "-- TEXT\r\nSET @Rodzaj = 'H' -- TEXT\r\n");
    const QString none = QStringLiteral(
        "SET @Rok = NULL -- INT\r\nSET @Opis = NULL -- TEXT\r\nSET @Rodzaj = NULL -- TEXT\r\n");
    QTest::newRow("csv, default separator") << QStringList{"--csv", "out.csv"} << QString()
                                            << int(TOrvel_ExportKind::ekCSV) << QChar(u',') << none;
    QTest::newRow("csv, separator of the preferences")
        << QStringList{"--csv", "out.csv", "--defaults"} << QStringLiteral(";|")
        << int(TOrvel_ExportKind::ekCSV) << QChar(u';') << fromDefaults;
    QTest::newRow("csv, separator given wins")
        << QStringList{"--csv", "out.txt", "--separator", "\t"} << QStringLiteral(";")
        << int(TOrvel_ExportKind::ekCSV) << QChar(u'\t') << none;
    QTest::newRow("xml with stored values")
        << QStringList{"--xml", "out.xml", "--defaults"} << QString()
        << int(TOrvel_ExportKind::ekXML) << QChar() << fromDefaults;
    QTest::newRow("xhtml, values set")
        << QStringList{"--xhtml", "out.htm", "--set", "Opis=Zażółć & <gęślą>", "--set", "Rodzaj=d"}
        << QString() << int(TOrvel_ExportKind::ekXHTML) << QChar()
        << QStringLiteral("SET @Rok = NULL -- INT\r\nSET @Opis = 'Zażółć & <gęślą>' -- TEXT\r\n"
                          "SET @Rodzaj = 'D' -- TEXT\r\n");
}

void TestCli::exportsMatchTheWriters() {
    QFETCH(QStringList, options);
    QFETCH(QString, preference);
    QFETCH(int, kind);
    QFETCH(QChar, separator);
    QFETCH(QString, assignments);

    const QString prefs = App(QStringLiteral("data/settings.xml"));
    QVERIFY(WriteCsvPreference(prefs, "Separator", preference));
    const QString file = App(options.at(1));
    QFile::remove(file);
    const CliResult r = Cli(QStringList{"run", "Sprzedaż/Obroty", "--server", Server()} + options);
    QFile::remove(prefs);
    QVERIFY2(r.Status == 0, qPrintable(r.Err));
    QVERIFY(r.Err.isEmpty());
    const QByteArray written = ReadBytes(file);

    DbConnection connection;
    DbQuery query(&connection);
    TOrvel_GridColumns columns;
    TOrvel_ReportSettings settings;
    OpenExpected(connection, query, columns, settings, assignments);
    std::unique_ptr<TOrvel_DataExport> writer;
    switch (TOrvel_ExportKind(kind)) {
    case TOrvel_ExportKind::ekCSV:
        writer = std::make_unique<TOrvel_DataExport_CSV>(columns, separator, "Obroty");
        break;
    case TOrvel_ExportKind::ekXML:
        writer = std::make_unique<TOrvel_DataExport_XML>(columns, "Obroty");
        break;
    case TOrvel_ExportKind::ekXHTML:
        writer = std::make_unique<TOrvel_DataExport_XHTML>(columns, "Obroty");
        break;
    default:
        QFAIL("no byte-exact writer of that kind");
    }
    const QString expectedFile = App(QStringLiteral("expected.out"));
    QVERIFY(writer->ExportToFile(expectedFile));
    const QByteArray expected = ReadBytes(expectedFile);
    // The layout of the column settings reached the file: the renamed, formatted column first
    // and the hidden one missing.
    QVERIFY(expected.contains("1\xa0"
                              "234,50") ||
            expected.contains("1 234,50"));
    QVERIFY(!expected.contains("ukryte"));
    QCOMPARE(WithoutCreationTime(written), WithoutCreationTime(expected));
    if (kind != int(TOrvel_ExportKind::ekCSV))
        QVERIFY(WithoutCreationTime(written) != written); // the creation time was there
}

// The workbook is a zip: its sheet holds the shown columns' captions and the typed amounts.
void TestCli::xlsxSaysCutCells() {
    const QString reports = App(QStringLiteral("data reports/"));
    QVERIFY(WriteBytes(reports + QStringLiteral("Teksty/Długi.xml"),
                       Definition(QStringLiteral("Hurt"), {})));
    QVERIFY(WriteBytes(reports + QStringLiteral("Teksty/Długi.sql"),
                       "-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT N'" + QByteArray(40000, 'a') +
                           "' AS Dlugi, 'krotki' AS Krotki\r\n"));
    const CliResult r = Cli({"run", "Teksty/Długi", "--server", Server(), "--xlsx", "dlugi.xlsx"});
    QVERIFY2(r.Status == 0, qPrintable(r.Err));
    QCOMPARE(r.Err, QStringLiteral("orvel-zestawnik-cli: 1 komórkę skrócono do 32 767 znaków "
                                   "(limit arkusza)\n"));
}

// A runner killed in the middle of an export leaves the old file as it was and nothing beside
// it; the next export to that folder finishes and leaves nothing either.
void TestCli::killedExportLeavesNothingBehind_data() {
    QTest::addColumn<QString>("option");
    for (const char *option : {"--csv", "--xml", "--xhtml", "--xlsx"})
        QTest::newRow(option) << option;
}

void TestCli::killedExportLeavesNothingBehind() {
    QFETCH(QString, option);
    static bool made = false;
    if (!made) {
        QVERIFY(RunSqlite(App(QStringLiteral("db/Duze.sqlite")),
                          "CREATE TABLE duze (Id INT, Tekst NVARCHAR(80), Kwota FLOAT);"
                          "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                          "WHERE x < 200000) INSERT INTO duze SELECT x, hex(randomblob(24)), "
                          "x / 7.0 FROM c;"));
        const QString reports = App(QStringLiteral("data reports/"));
        QVERIFY(WriteBytes(reports + QStringLiteral("Duże/Wszystko.xml"),
                           Definition(QStringLiteral("Duze"), {})));
        QVERIFY(
            WriteBytes(reports + QStringLiteral("Duże/Wszystko.sql"),
                       "-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT Id, Tekst, Kwota FROM duze\r\n"));
        made = true;
    }
    const QString folder = App(QStringLiteral("zabite ") + option.mid(2));
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/wynik.") + option.mid(2);
    QVERIFY(WriteBytes(file, "OLD"));
    const QStringList args{QStringLiteral("--app-folder"),
                           FApp.path(),
                           QStringLiteral("run"),
                           QStringLiteral("Duże/Wszystko"),
                           QStringLiteral("--server"),
                           Server(),
                           option,
                           file};

    QProcess runner;
    runner.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    runner.start(BuiltAppDir() + QStringLiteral("/orvel-zestawnik-cli"), args);
    QVERIFY(runner.waitForStarted());
    // In the middle of the export: a file of the runner's in that folder, with no name there,
    // already holding bytes (the rows, or for the workbook the library's rows).
    const QString fds = QStringLiteral("/proc/%1/fd").arg(runner.processId());
    bool midExport = false;
    QElapsedTimer clock;
    clock.start();
    while (!midExport && runner.state() == QProcess::Running && clock.elapsed() < 120000) {
        const QDir dir(fds);
        for (const QFileInfo &fd : dir.entryInfoList(QDir::System | QDir::Files)) {
            const QString target = fd.symLinkTarget().isEmpty()
                                       ? QFile::symLinkTarget(fd.absoluteFilePath())
                                       : fd.symLinkTarget();
            if (target.startsWith(folder + u'/') && fd.size() > 0) {
                midExport = true;
                break;
            }
        }
        if (!midExport)
            QThread::usleep(500);
    }
    if (midExport)
        ::kill(static_cast<pid_t>(runner.processId()), SIGKILL);
    runner.waitForFinished(30000);
    QVERIFY2(midExport, "the runner finished before the export was seen under way");
    QCOMPARE(runner.exitStatus(), QProcess::CrashExit);
    QCOMPARE(ReadBytes(file), QByteArray("OLD"));
    const auto entries = [&] {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    QCOMPARE(entries(), QStringList{QStringLiteral("wynik.") + option.mid(2)});

    const CliResult later = Cli({"run", "Duże/Wszystko", "--server", Server(), option, file});
    QVERIFY2(later.Status == 0, qPrintable(later.Err));
    QVERIFY(QFileInfo(file).size() > 500000);
    QCOMPARE(entries(), QStringList{QStringLiteral("wynik.") + option.mid(2)});
}

void TestCli::xlsxWritesAWorkbook() {
    const QString file = App(QStringLiteral("out.xlsx"));
    QFile::remove(file);
    const CliResult r = Cli({"run", "Sprzedaż/Obroty", "--server", Server(), "--set", "Rok=2023",
                             "--xlsx", "out.xlsx"});
    QVERIFY2(r.Status == 0, qPrintable(r.Err));
    QVERIFY(r.Err.isEmpty());
    QVERIFY(ReadBytes(file).startsWith("PK\x03\x04"));
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"),
                {QStringLiteral("-p"), file, QStringLiteral("xl/worksheets/sheet1.xml")});
    QVERIFY(unzip.waitForFinished(30000));
    const QString sheet = QString::fromUtf8(unzip.readAllStandardOutput());
    QVERIFY2(sheet.contains(QStringLiteral("Kwota \"brutto\"")) ||
                 sheet.contains(QStringLiteral("Kwota &quot;brutto&quot;")),
             qPrintable(sheet.left(400)));
    QVERIFY(!sheet.contains(QStringLiteral("Orvel_Zestawnik_FORMAT")));
    QVERIFY(!sheet.contains(QStringLiteral("ukryte")));
}

namespace {

// The pages' table texts as a PDF reader copies them out, without what tells the run's time and
// user (the info block above the table, the footer's time): those differ from run to run.
QStringList TablePages(const QString &pdf) {
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    info.waitForFinished(30000);
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    const int pages =
        QRegularExpression(QStringLiteral("Pages:\\s*(\\d+)")).match(infoText).captured(1).toInt();
    QStringList texts;
    for (int page = 1; page <= pages; ++page) {
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
                    QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
        text.waitForFinished(30000);
        QStringList lines = QString::fromUtf8(text.readAllStandardOutput()).split(u'\n');
        if (page == 1)
            while (!lines.isEmpty() && !lines.first().contains(QStringLiteral("Symbol")))
                lines.removeFirst();
        lines.removeIf([](const QString &l) { return l.contains(QStringLiteral("Strona")); });
        // The words in their order; the blanks between the columns are the reader's guess.
        texts << lines.join(u'\n').simplified();
    }
    return texts;
}

} // namespace

// The runner's document has the pages of the window's: the same layout over the result as the
// column settings shape it; the page size and orientation as asked.
void TestCli::pdfWritesTheWindowsPages() {
    const QString file = App(QStringLiteral("out.pdf"));
    QFile::remove(file);
    const CliResult r = Cli({"run", "Sprzedaż/Obroty", "--server", Server(), "--set", "Rok=2023",
                             "--pdf", "out.pdf", "--page", "A3", "--orientation", "landscape"});
    QVERIFY2(r.Status == 0, qPrintable(r.Err));
    QVERIFY(r.Err.isEmpty());
    QVERIFY(ReadBytes(file).startsWith("%PDF-"));

    DbConnection connection;
    DbQuery query(&connection);
    TOrvel_GridColumns columns;
    TOrvel_ReportSettings settings;
    OpenExpected(connection, query, columns, settings,
                 QStringLiteral("SET @Rok = 2023\r\nSET @Opis = NULL\r\nSET @Rodzaj = NULL\r\n"));
    // Laid out as the runner lays out: widths not chosen by the user fitted to the content.
    TOrvel_GridColumns fitted;
    fitted.SetQuery(&query);
    fitted.SetFitMeasure(EstimatedFitMeasure(fitted));
    TOrvel_ReportSettings fittedSettings;
    fittedSettings.LoadSettings(App(QStringLiteral("data reports/Sprzedaż/Obroty.xml")));
    fittedSettings.ApplyColumns(fitted);
    TOrvel_PrintDocument expected(fitted, TOrvel_PrintInfo{});
    expected.PageSize = QPageSize(QPageSize::A3);
    expected.Orientation = TOrvel_PageOrientation::poLandscape;
    expected.Layout();
    const QString expectedFile = App(QStringLiteral("expected.pdf"));
    expected.WritePdf(expectedFile);
    const QStringList pages = TablePages(file);
    QCOMPARE(pages.size(), expected.PageCount());
    QCOMPARE(pages, TablePages(expectedFile));
    QVERIFY(pages.first().contains(QStringLiteral("\"brutto\"")));
    QVERIFY(!pages.first().contains(QStringLiteral("color=")));

    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {file});
    info.waitForFinished(30000);
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(infoText.contains(QStringLiteral("1191 x 842 pts (A3)")), qPrintable(infoText));
    QFile::remove(expectedFile);
}

// The parameter block of the runner's document names a pick list's entry as the panel does, by
// the caption its list shows, not by the key the script receives.
void TestCli::pdfNamesThePickListEntry() {
    const QString file = App(QStringLiteral("lista.pdf"));
    const CliResult r = Cli(
        {"run", "Sprzedaż/Lista", "--server", Server(), "--set", "Kod=B2", "--pdf", "lista.pdf"});
    QVERIFY2(r.Status == 0, qPrintable(r.Err));
    QProcess text;
    text.start(QStringLiteral("pdftotext"),
               {QStringLiteral("-l"), QStringLiteral("1"), file, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(page.contains(QStringLiteral("Towar: O'Brien & syn <sp>")), qPrintable(page));
    QFile::remove(file);
}

void TestCli::printShowsTheShownResult() {
    const CliResult r = Cli({"run", "Sprzedaż/Obroty", "--server", Server(), "--set", "Rok=2023",
                             "--set", "Opis=a\tb", "--print"});
    QVERIFY2(r.Status == 0, qPrintable(r.Err));

    DbConnection connection;
    DbQuery query(&connection);
    TOrvel_GridColumns columns;
    TOrvel_ReportSettings settings;
    OpenExpected(connection, query, columns, settings,
                 QStringLiteral("SET @Rok = 2023\r\nSET @Opis = 'a b'\r\nSET @Rodzaj = NULL\r\n"));
    QStringList lines;
    QStringList cells;
    for (int p = 0; p < columns.Count(); ++p)
        if (columns.Visible(p))
            cells << columns.Caption(p);
    lines << cells.join(u'\t');
    for (int row = 0; row < query.RecordCount(); ++row) {
        cells.clear();
        for (int p = 0; p < columns.Count(); ++p)
            if (columns.Visible(p))
                cells << columns.Field(p)->DisplayTextAt(row);
        lines << cells.join(u'\t');
    }
    QCOMPARE(query.RecordCount(), 2);
    QVERIFY(lines.first().startsWith(QStringLiteral("Kwota \"brutto\"\tSymbol")));
    QVERIFY(lines.first().endsWith(QStringLiteral("Orvel_Zestawnik_FORMAT\tOpis\tRodzaj")));
    QCOMPARE(QString::fromUtf8(r.Out), lines.join(u'\n') + u'\n');
}

void TestCli::failures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QStringList>("messages");
    const QString server = Server();
    const QByteArray none = kNoPassword;
    QTest::newRow("missing report") << QStringList{"info", "Sprzedaż/Brak"} << none
                                    << QStringList{"Raport nie został załadowany !"};
    QTest::newRow("a group is not a report") << QStringList{"params", "Sprzedaż/Puste"} << none
                                             << QStringList{"Raport nie został załadowany !"};
    QTest::newRow("stored values are not a report")
        << QStringList{"info", "Sprzedaż/Obroty defaults"} << none
        << QStringList{"Raport nie został załadowany !"};
    QTest::newRow("missing report, before any login")
        << QStringList{"run", "Brak", "--server", "127.0.0.1,1", "--user", "sa", "--print"} << none
        << QStringList{"Raport nie został załadowany !"};
    QTest::newRow("embedded server folder missing")
        << QStringList{"run", "Sprzedaż/Obroty", "--server", "sqlite:/nie/ma", "--print"} << none
        << QStringList{"Podany serwer nie został znaleziony\n(", "/nie/ma"};
    QTest::newRow("SQL Server not reachable")
        << QStringList{"run", "Sprzedaż/Obroty", "--server", "127.0.0.1,1", "--user",
                       "sa",  "--print"}
        << QByteArray("tajne;Hasło") << QStringList{"Podany serwer nie został znaleziony\n("};
    QTest::newRow("no password and no terminal")
        << QStringList{"run", "Sprzedaż/Obroty", "--server", "127.0.0.1,1", "--user",
                       "sa",  "--print"}
        << none << QStringList{"ORVEL_PASSWORD"};
    QTest::newRow("failing script")
        << QStringList{"run",  "Błędy/Zły skrypt", "--server", server, "--database",
                       "Hurt", "--print"}
        << none
        << QStringList{"Nieprawidłowa nazwa obiektu 'brak_tabeli'.\n",
                       " - Nieprawidłowa nazwa obiektu 'brak_tabeli'.\n"};
    const QStringList twoNames = {
        "Nazwa parametru 'kwota' powtarza się: parametry 'Kwota' i 'kwota' to ta sama zmienna SQL"};
    QTest::newRow("names differing by letter case, declared")
        << QStringList{"params", "Błędy/Dwie kwoty", "--declare"} << none << twoNames;
    QTest::newRow("names differing by letter case, run")
        << QStringList{"run", "Błędy/Dwie kwoty", "--server", server, "--print"} << none
        << twoNames;
    QTest::newRow("no marker") << QStringList{"run", "Błędy/Bez markera", "--server", server,
                                              "--print"}
                               << none
                               << QStringList{"Zapytanie SQL nie zawiera linii wymiany parametrów"};
    QTest::newRow("no result set")
        << QStringList{"run", "Błędy/Bez wyniku", "--server", server, "--csv", "none.csv"} << none
        << QStringList{"Obiekt CommandText nie zwraca zestawu wyniku"};
    QTest::newRow("database not on the server")
        << QStringList{"run",        "Sprzedaż/Obroty", "--server", server,
                       "--database", "Kadry",           "--print"}
        << none << QStringList{"Baza nie została ustawiona ! (Kadry)"};
    QTest::newRow("default database not on the server")
        << QStringList{"run", "Błędy/Obca baza", "--server", server, "--print"} << none
        << QStringList{"Domyślna baza \"kadry\" dla raportu, nie jest dostępna\n",
                       "Baza nie została ustawiona !"};
    QTest::newRow("default database compared by its ASCII letters only")
        << QStringList{"run", "Błędy/Inne litery", "--server", server, "--print"} << none
        << QStringList{"Domyślna baza \"księgowość\" dla raportu, nie jest dostępna\n",
                       "Baza nie została ustawiona !"};
    QTest::newRow("no database at all")
        << QStringList{"run", "Błędy/Zły skrypt", "--server", server, "--print"} << none
        << QStringList{"Baza nie została ustawiona !"};
    QTest::newRow("export file cannot be written")
        << QStringList{"run", "Sprzedaż/Obroty", "--server", server, "--xml", "brak/folderu/a.xml"}
        << none << QStringList{"a.xml"};
    QTest::newRow("workbook into a missing folder")
        << QStringList{"run",  "Sprzedaż/Obroty", "--server",
                       server, "--xlsx",          "brak/folderu/a.xlsx"}
        << none << QStringList{"a.xlsx\": Nie ma takiego pliku ani katalogu"};
    QTest::newRow("document into a missing folder")
        << QStringList{"run", "Sprzedaż/Obroty", "--server", server, "--pdf", "brak/folderu/a.pdf"}
        << none << QStringList{"a.pdf\": Nie ma takiego pliku ani katalogu"};
}

void TestCli::failures() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, password);
    QFETCH(QStringList, messages);
    const CliResult r = Cli(args, password);
    QCOMPARE(r.Status, 1);
    for (const QString &m : messages)
        QVERIFY2(r.Err.contains(m), qPrintable(r.Err));
    QVERIFY(!r.Err.contains(QStringLiteral("Usage:")));
    QVERIFY2(!r.Err.contains(QStringLiteral("[ERROR]")), qPrintable(r.Err));
    QVERIFY(r.Out.isEmpty());
    if (password != kNoPassword)
        QVERIFY(!r.Err.contains(QString::fromUtf8(password)));
    QVERIFY(!QFileInfo::exists(App(QStringLiteral("none.csv"))));
}

void TestCli::progressOnlyOnATerminal_data() {
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<bool>("shown");
    QTest::newRow("terminal") << true << false << true;
    QTest::newRow("terminal, --quiet") << true << true << false;
    QTest::newRow("pipe") << false << false << false;
}

// On a terminal one line is rewritten with the rows written of all rows and cleared at the end;
// a pipe and --quiet get nothing, and the exit status is the same. Once every row is in, the
// line counts the rows written of all while the rest of the workbook is written.
void TestCli::progressOnlyOnATerminal() {
    QFETCH(bool, terminal);
    QFETCH(bool, quiet);
    QFETCH(bool, shown);
    const QString file = App(QStringLiteral("progress.xlsx"));
    QStringList args{"run",   "Sprzedaż/Obroty", "--server", Server(),
                     "--set", "Rok=2023",        "--xlsx",   file};
    if (quiet)
        args << QStringLiteral("--quiet");
    const CliResult r = Cli(args, kNoPassword, terminal);
    QCOMPARE(r.Status, 0);
    QVERIFY(QFile::exists(file));
    if (!shown) {
        QCOMPARE(r.Err, QString());
        return;
    }
    const QString erase = QStringLiteral("\r\x1b[K");
    QVERIFY2(r.Err.startsWith(erase), qPrintable(r.Err));
    QVERIFY2(r.Err.endsWith(erase), qPrintable(r.Err));
    static const QRegularExpression written(QStringLiteral("zapisano (\\d+) z \\1 wiersz"));
    QVERIFY2(written.match(r.Err).hasMatch(), qPrintable(r.Err));
    // Nothing but rewritten lines: no line break anywhere.
    QVERIFY(!r.Err.contains(u'\n'));
}

// A document is drawn with fonts: the toolkit's graphical side, off screen.
QTEST_MAIN(TestCli)
#include "test_cli.moc"
