// The SQL Server path without a server: connection strings, the mapping of driver diagnostics and
// column types, the login's texts, and real refused connections through the FreeTDS driver.
#include "TestSupport.h"
#include "U_Login.h"
#include "U_OdbcBackend.h"
#include "U_utils.h"

#include <QLibraryInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QString kOpenWithoutDrivers = QStringLiteral("--open-without-drivers");

// A loopback port that is bound but not listening: connections to it are refused, and no other
// program can take it while the test runs.
class ClosedPort {
public:
    ClosedPort() {
        FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FSocket, reinterpret_cast<sockaddr *>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(FSocket, reinterpret_cast<sockaddr *>(&address), &length);
        FPort = ntohs(address.sin_port);
    }
    ~ClosedPort() { ::close(FSocket); }
    int Port() const { return FPort; }

private:
    int FSocket = -1;
    int FPort = 0;
};

OdbcDiagRecord Diag(const char *state, int native, const char *text = "[FreeTDS][SQL Server]x") {
    OdbcDiagRecord r;
    r.SqlState = QString::fromLatin1(state);
    r.NativeError = native;
    r.Text = QString::fromUtf8(text);
    return r;
}
} // namespace

Q_DECLARE_METATYPE(TOrvel_ConnectionSettings)
Q_DECLARE_METATYPE(QList<OdbcDiagRecord>)
Q_DECLARE_METATYPE(TFieldType)
Q_DECLARE_METATYPE(QList<TOrvel_ProviderMessage>)

class TestOdbc : public QObject {
    Q_OBJECT
private slots:
    void connectionString_data();
    void connectionString();
    void valueFreeTdsCannotCarry_data();
    void valueFreeTdsCannotCarry();
    void driverChoice_data();
    void driverChoice();
    void loginSettings();
    void openErrorMapping_data();
    void openErrorMapping();
    void serverAnswered_data();
    void serverAnswered();
    void messageOfDiagnostic_data();
    void messageOfDiagnostic();
    void typeMapping_data();
    void typeMapping();
    void failureText_data();
    void failureText();
    void refusedConnection();
    void missingDriver();
    void providerMessagesText_data();
    void providerMessagesText();
    void connectionErrorsTextEmptiesTheList();
    void useStatement_data();
    void useStatement();
    void serverNames();
    void storedServerList_data();
    void storedServerList();
    void oldServerListsReadAsBefore_data();
    void oldServerListsReadAsBefore();
    void serverBrowseWithoutPlugin();
};

void TestOdbc::connectionString_data() {
    QTest::addColumn<TOrvel_ConnectionSettings>("settings");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("expected");

    TOrvel_ConnectionSettings sql =
        LoginConnectionSettings(" srv\\SQL2019 ", true, " jan ", "tajne");
    QTest::newRow("sql server login")
        << sql << "FreeTDS"
        << "Driver={FreeTDS};Server={srv\\SQL2019};UID={jan};PWD={tajne};APP={Orvel-Zestawnik};"
           "Language={Polish};";
    // FreeTDS reads a braced value literally up to the first "};"; other drivers double "}".
    TOrvel_ConnectionSettings hostile =
        LoginConnectionSettings("127.0.0.1,1433", true, "a;b", "p;w}d{x}}=;Driver=Evil}");
    QTest::newRow("FreeTDS: separators and braces inside values")
        << hostile << "FreeTDS"
        << "Driver={FreeTDS};Server={127.0.0.1,1433};UID={a;b};PWD={p;w}d{x}}=;Driver=Evil}};"
           "APP={Orvel-Zestawnik};Language={Polish};";
    QTest::newRow("ODBC rule: braces doubled")
        << hostile << "ODBC Driver 17 for SQL Server"
        << "Driver={ODBC Driver 17 for SQL Server};Server={127.0.0.1,1433};UID={a;b};"
           "PWD={p;w}}d{x}}}}=;Driver=Evil}}};APP={Orvel-Zestawnik};Language={Polish};";
    TOrvel_ConnectionSettings windows = LoginConnectionSettings("srv", false, "jan", "tajne");
    QTest::newRow("windows authentication carries no credentials")
        << windows << "ODBC Driver 17 for SQL Server"
        << "Driver={ODBC Driver 17 for SQL Server};Server={srv};Trusted_Connection={Yes};"
           "APP={Orvel-Zestawnik};Language={Polish};";
    QTest::newRow("windows authentication with the server's service name")
        << LoginConnectionSettings("10.1.2.3,1433", false, "", "", " MSSQLSvc/sql01.firma.pl:1433 ")
        << "FreeTDS"
        << "Driver={FreeTDS};Server={10.1.2.3,1433};Trusted_Connection={Yes};"
           "ServerSPN={MSSQLSvc/sql01.firma.pl:1433};APP={Orvel-Zestawnik};Language={Polish};";
    QTest::newRow("a service name is no part of SQL Server authentication")
        << LoginConnectionSettings("srv", true, "jan", "tajne", "MSSQLSvc/srv:1433") << "FreeTDS"
        << "Driver={FreeTDS};Server={srv};UID={jan};PWD={tajne};APP={Orvel-Zestawnik};"
           "Language={Polish};";
    // FreeTDS logs in with NTLM for a user written DOMAIN\user: the backslash goes in as typed.
    QTest::newRow("domain user with a password")
        << LoginConnectionSettings("srv", true, "FIRMA\\jan", "tajne") << "FreeTDS"
        << "Driver={FreeTDS};Server={srv};UID={FIRMA\\jan};PWD={tajne};APP={Orvel-Zestawnik};"
           "Language={Polish};";
    QTest::newRow("driver 18 keeps encryption optional")
        << sql << "ODBC Driver 18 for SQL Server"
        << "Driver={ODBC Driver 18 for SQL Server};Server={srv\\SQL2019};UID={jan};PWD={tajne};"
           "APP={Orvel-Zestawnik};Language={Polish};Encrypt={Optional};";
}

void TestOdbc::connectionString() {
    QFETCH(TOrvel_ConnectionSettings, settings);
    QFETCH(QString, driver);
    QFETCH(QString, expected);
    QCOMPARE(BuildOdbcConnectionString(settings, driver), expected);
}

void TestOdbc::valueFreeTdsCannotCarry_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<uint>("code");
    QTest::newRow("password") << "password" << 0x80040E4Du;
    QTest::newRow("user") << "user" << 0x80040E4Du;
    QTest::newRow("server") << "server" << 0x80004005u;
}

void TestOdbc::valueFreeTdsCannotCarry() {
    // "};" would end the value early and let its rest pass for keywords: refused before any
    // connection is tried (the port is closed, so trying would give another row).
    QFETCH(QString, field);
    QFETCH(uint, code);
    ClosedPort port;
    const QString server = QStringLiteral("127.0.0.1,%1").arg(port.Port());
    const QString hostile = QStringLiteral("x};Server={10.0.0.1");
    TOrvel_ConnectionSettings settings = LoginConnectionSettings(
        field == "server" ? server + hostile : server, true, field == "user" ? hostile : "jan",
        field == "password" ? hostile : "tajne");
    QVERIFY(OdbcCanCarry("a}b;c}", true));
    QVERIFY(!OdbcCanCarry(hostile, true));
    QVERIFY(OdbcCanCarry(hostile, false));
    auto backend = CreateOdbcBackend();
    try {
        backend->Open(settings);
        QFAIL("opened");
    } catch (const EDbProviderError &e) {
        QCOMPARE(e.code(), code);
        QVERIFY2(e.message().contains("\"};\""), qPrintable(e.message()));
        QVERIFY(!e.message().contains(hostile));
    }
}

void TestOdbc::driverChoice_data() {
    QTest::addColumn<QStringList>("registered");
    QTest::addColumn<QString>("expected");
    QTest::newRow("only FreeTDS") << QStringList{"FreeTDS"} << "FreeTDS";
    QTest::newRow("nothing registered") << QStringList{} << "FreeTDS";
    QTest::newRow("17 beats FreeTDS") << QStringList{"FreeTDS", "ODBC Driver 17 for SQL Server"}
                                      << "ODBC Driver 17 for SQL Server";
    QTest::newRow("18 beats 17") << QStringList{"ODBC Driver 17 for SQL Server",
                                                "ODBC Driver 18 for SQL Server", "FreeTDS"}
                                 << "ODBC Driver 18 for SQL Server";
}

void TestOdbc::driverChoice() {
    QFETCH(QStringList, registered);
    QFETCH(QString, expected);
    QCOMPARE(ChooseOdbcDriver(registered), expected);
}

void TestOdbc::loginSettings() {
    // The password is trimmed like the other fields; Windows authentication drops both credentials.
    TOrvel_ConnectionSettings s = LoginConnectionSettings("\t srv \n", true, "  jan", "haslo  ");
    QCOMPARE(s.Server, QStringLiteral("srv"));
    QCOMPARE(s.User, QStringLiteral("jan"));
    QCOMPARE(s.Password, QStringLiteral("haslo"));
    QVERIFY(!s.WindowsAuth);
    s = LoginConnectionSettings("srv", false, "jan", "haslo");
    QVERIFY(s.WindowsAuth);
    QVERIFY(s.User.isEmpty());
    QVERIFY(s.Password.isEmpty());
}

void TestOdbc::openErrorMapping_data() {
    QTest::addColumn<QList<OdbcDiagRecord>>("records");
    QTest::addColumn<uint>("code");
    QTest::addColumn<int>("decisive");
    QTest::newRow("driver manager: data source not found")
        << QList<OdbcDiagRecord>{Diag("IM002", 0)} << 0x800A0E7Au << 0;
    QTest::newRow("driver cannot be loaded")
        << QList<OdbcDiagRecord>{Diag("IM003", 0)} << 0x800A0E7Au << 0;
    QTest::newRow("FreeTDS refused login: 42000 and 18456 after a connect error")
        << QList<OdbcDiagRecord>{Diag("08001", 0), Diag("42000", 18456)} << 0x80040E4Du << 1;
    QTest::newRow("Microsoft driver refused login: 28000")
        << QList<OdbcDiagRecord>{Diag("28000", 18456)} << 0x80040E4Du << 0;
    QTest::newRow("refused connection")
        << QList<OdbcDiagRecord>{Diag("08001", 20009)} << 0x80004005u << 0;
    QTest::newRow("FreeTDS: a failed Kerberos step reads as a failed connect")
        << QList<OdbcDiagRecord>{Diag("08001", 0), Diag("01000", 20002)} << 0x80004005u << 0;
    QTest::newRow("FreeTDS: the server's 18452 after a connect error")
        << QList<OdbcDiagRecord>{Diag("08001", 0), Diag("42000", 18452)} << 0x80040E4Du << 1;
    QTest::newRow("link failure") << QList<OdbcDiagRecord>{Diag("08S01", 0)} << 0x80004005u << 0;
    QTest::newRow("login time-out") << QList<OdbcDiagRecord>{Diag("HYT00", 0)} << 0x80004005u << 0;
    QTest::newRow("database of the login missing: outside the table")
        << QList<OdbcDiagRecord>{Diag("42000", 4060)} << 0x80040E14u << 0;
    QTest::newRow("no record at all") << QList<OdbcDiagRecord>{} << 0x80040E14u << 0;
}

void TestOdbc::openErrorMapping() {
    QFETCH(QList<OdbcDiagRecord>, records);
    QFETCH(uint, code);
    QFETCH(int, decisive);
    int index = -1;
    QCOMPARE(MapOdbcOpenError(records, &index), code);
    QCOMPARE(index, decisive);
}

void TestOdbc::serverAnswered_data() {
    QTest::addColumn<QList<OdbcDiagRecord>>("records");
    QTest::addColumn<bool>("answered");
    QTest::newRow("FreeTDS: nobody listens")
        << QList<OdbcDiagRecord>{Diag("08S01", 20009), Diag("08001", 0)} << false;
    QTest::newRow("FreeTDS: the login step failed")
        << QList<OdbcDiagRecord>{Diag("08001", 0), Diag("01000", 20002)} << true;
    QTest::newRow("the server refused the login")
        << QList<OdbcDiagRecord>{Diag("08001", 0), Diag("42000", 18456)} << true;
    QTest::newRow("login time-out") << QList<OdbcDiagRecord>{Diag("HYT00", 0)} << false;
    QTest::newRow("no driver") << QList<OdbcDiagRecord>{Diag("IM002", 0)} << false;
    QTest::newRow("nothing reported") << QList<OdbcDiagRecord>{} << false;
}

void TestOdbc::serverAnswered() {
    QFETCH(QList<OdbcDiagRecord>, records);
    QFETCH(bool, answered);
    QCOMPARE(OdbcServerAnswered(records), answered);
}

void TestOdbc::messageOfDiagnostic_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("native");
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("number");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("severity");
    QTest::newRow("server error") << "42S02" << 208
                                  << "[FreeTDS][SQL Server]Invalid object name 'x'." << 0x80040E14u
                                  << "[FreeTDS][SQL Server]"
                                  << "Invalid object name 'x'." << 16;
    QTest::newRow("print") << "01000" << 0 << "[FreeTDS][SQL Server]Ala" << 0u
                           << "[FreeTDS][SQL Server]"
                           << "Ala" << 0;
    QTest::newRow("time-out") << "HYT00" << 0 << "[FreeTDS][SQL Server]Timeout expired"
                              << 0x80040E31u << "[FreeTDS][SQL Server]"
                              << "Timeout expired" << 16;
    QTest::newRow("cancelled") << "HY008" << 0 << "[unixODBC][FreeTDS]Operation canceled"
                               << 0x80040E4Eu << "[unixODBC][FreeTDS]"
                               << "Operation canceled" << 16;
    QTest::newRow("text without a prefix keeps its brackets inside")
        << "42000" << 50000 << "a [b] c" << 0x80040E14u << ""
        << "a [b] c" << 16;
}

void TestOdbc::messageOfDiagnostic() {
    QFETCH(QString, state);
    QFETCH(int, native);
    QFETCH(QString, text);
    OdbcDiagRecord r = Diag(state.toLatin1().constData(), native, text.toUtf8().constData());
    const TOrvel_ProviderMessage m = OdbcProviderMessage(r);
    QTEST(m.Number, "number");
    QCOMPARE(m.NativeError, static_cast<std::uint32_t>(native));
    QTEST(m.Source, "source");
    QTEST(m.Description, "description");
    QTEST(m.Class, "severity");
    QCOMPARE(m.SqlState, state);
}

void TestOdbc::typeMapping_data() {
    QTest::addColumn<int>("sqlType");
    QTest::addColumn<qulonglong>("size");
    QTest::addColumn<QString>("typeName");
    QTest::addColumn<bool>("identity");
    QTest::addColumn<TFieldType>("type");
    auto row = [](const char *name, int sqlType, qulonglong size, const char *typeName,
                  TFieldType type, bool identity = false) {
        QTest::newRow(name) << sqlType << size << QString::fromLatin1(typeName) << identity << type;
    };
    row("bit", -7, 1, "bit", TFieldType::ftBoolean);
    row("tinyint is unsigned 16-bit", -6, 3, "tinyint", TFieldType::ftWord);
    row("smallint", 5, 5, "smallint", TFieldType::ftSmallint);
    row("int", 4, 10, "int", TFieldType::ftInteger);
    row("int identity", 4, 10, "int identity", TFieldType::ftAutoInc, true);
    row("bigint", -5, 19, "bigint", TFieldType::ftLargeint);
    row("real", 7, 24, "real", TFieldType::ftFloat);
    row("float", 6, 53, "float", TFieldType::ftFloat);
    row("money is an exact decimal", 3, 19, "money", TFieldType::ftBCD);
    row("smallmoney is an exact decimal", 3, 10, "smallmoney", TFieldType::ftBCD);
    row("decimal", 3, 38, "decimal", TFieldType::ftBCD);
    row("numeric", 2, 18, "numeric", TFieldType::ftBCD);
    row("char", 1, 10, "char", TFieldType::ftFixedChar);
    row("varchar", 12, 50, "varchar", TFieldType::ftString);
    row("varchar(max)", 12, 0, "varchar", TFieldType::ftMemo);
    row("nchar", -8, 10, "nchar", TFieldType::ftWideString);
    row("nvarchar", -9, 4000, "nvarchar", TFieldType::ftWideString);
    row("nvarchar(max)", -9, 0, "nvarchar", TFieldType::ftWideMemo);
    row("nvarchar(max) as Microsoft reports it", -9, 1073741823, "nvarchar",
        TFieldType::ftWideMemo);
    row("text", -1, 2147483647, "text", TFieldType::ftMemo);
    row("ntext", -10, 1073741823, "ntext", TFieldType::ftWideMemo);
    row("xml", -152, 0, "xml", TFieldType::ftWideMemo);
    row("uniqueidentifier", -11, 36, "uniqueidentifier", TFieldType::ftGuid);
    row("date", 91, 10, "date", TFieldType::ftDate);
    row("time", -154, 16, "time", TFieldType::ftTime);
    row("datetime", 93, 23, "datetime", TFieldType::ftDateTime);
    row("smalldatetime", 93, 16, "smalldatetime", TFieldType::ftDateTime);
    row("datetime2", 93, 27, "datetime2", TFieldType::ftDateTime);
    row("varbinary", -3, 16, "varbinary", TFieldType::ftBytes);
    row("image", -4, 2147483647, "image", TFieldType::ftBlob);
    row("sql_variant", -150, 8000, "sql_variant", TFieldType::ftVariant);
}

void TestOdbc::typeMapping() {
    QFETCH(int, sqlType);
    QFETCH(qulonglong, size);
    QFETCH(QString, typeName);
    QFETCH(bool, identity);
    QFETCH(TFieldType, type);
    QCOMPARE(MapOdbcType(sqlType, size, 0, typeName, identity), type);
}

void TestOdbc::failureText_data() {
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("expected");
    const QString m = QStringLiteral("[FreeTDS][SQL Server]Login failed for user 'jan'.");
    QTest::newRow("driver") << 0x800A0E7Au
                            << "Provider SQL OLEDB nie został znaleziony !\r\n(" + m + ")";
    QTest::newRow("server") << 0x80004005u << "Podany serwer nie został znaleziony\r\n(" + m + ")";
    QTest::newRow("login") << 0x80040E4Du
                           << "Nieprawidłowe hasło lub nazwa użytkownika\r\n(" + m + ")";
    QTest::newRow("open") << 0x800A0E79u << "Połączenie jest już otwarte\r\n(" + m + ")";
    QTest::newRow("unlisted code starts with an empty line") << 0x80040E14u << "\r\n(" + m + ")";
}

void TestOdbc::failureText() {
    QFETCH(uint, code);
    QFETCH(QString, expected);
    QCOMPARE(LoginFailureText(code, "[FreeTDS][SQL Server]Login failed for user 'jan'."), expected);
}

void TestOdbc::refusedConnection() {
    // Through the real driver: nothing listens on the port.
    ClosedPort port;
    TOrvel_ConnectionSettings settings = LoginConnectionSettings(
        QStringLiteral("127.0.0.1,%1").arg(port.Port()), true, "jan", "x;y}z");
    settings.LoginTimeout = 5;
    DbConnection connection;
    QString text;
    QVERIFY(!OpenConnection(connection, settings, &text));
    QVERIFY(!connection.IsConnected());
    QVERIFY2(text.startsWith("Podany serwer nie został znaleziony\r\n([FreeTDS]"),
             qPrintable(text));
    QVERIFY(text.endsWith(')'));
    QVERIFY(!text.contains("x;y}z"));
}

// The child process of missingDriver: opens a connection and prints the code and the message.
int OpenWithoutDrivers() {
    auto backend = CreateOdbcBackend();
    try {
        backend->Open(LoginConnectionSettings("127.0.0.1", true, "jan", "x"));
    } catch (const EDbProviderError &e) {
        std::printf("%08X %s\n", e.code(), e.message().toUtf8().constData());
        return backend->IsConnected() ? 1 : 0;
    }
    return 1;
}

void TestOdbc::missingDriver() {
    // A driver manager that knows no driver at all gives the first row of the error table. It runs
    // in a child process: unixODBC keeps the driver list it has read for the rest of a process.
    QTemporaryDir dir;
    QVERIFY(WriteBytes(dir.filePath("odbcinst.ini"), QByteArray()));
    QVERIFY(WriteBytes(dir.filePath("odbc.ini"), QByteArray()));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ODBCSYSINI", dir.path());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {kOpenWithoutDrivers});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 0);
    const QString output = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    QVERIFY2(output.startsWith("800A0E7A [unixODBC]"), qPrintable(output));
}

void TestOdbc::providerMessagesText_data() {
    QTest::addColumn<QList<TOrvel_ProviderMessage>>("messages");
    QTest::addColumn<QString>("expected");
    TOrvel_ProviderMessage error;
    error.Number = 0x80040E14;
    error.NativeError = 208;
    error.Source = "[FreeTDS][SQL Server]";
    error.Description = "Invalid object name 'x'.";
    TOrvel_ProviderMessage noResult = error;
    noResult.Number = 0x00040EC9;
    TOrvel_ProviderMessage print;
    print.Number = 0;
    print.NativeError = 0xABCDEF;
    print.Source = "[FreeTDS][SQL Server]";
    print.Description = "Zażółć";
    QTest::newRow("none") << QList<TOrvel_ProviderMessage>{} << QString();
    QTest::newRow("upper-case hex with leading zeros, CR LF after each line")
        << QList<TOrvel_ProviderMessage>{print, error}
        << "00000000.00ABCDEF.[FreeTDS][SQL Server] - Zażółć\r\n"
           "80040E14.000000D0.[FreeTDS][SQL Server] - Invalid object name 'x'.\r\n";
    QTest::newRow("the no-result status is left out")
        << QList<TOrvel_ProviderMessage>{noResult, error, noResult}
        << "80040E14.000000D0.[FreeTDS][SQL Server] - Invalid object name 'x'.\r\n";
}

void TestOdbc::providerMessagesText() {
    QFETCH(QList<TOrvel_ProviderMessage>, messages);
    QFETCH(QString, expected);
    QCOMPARE(ProviderMessagesText(messages), expected);
}

void TestOdbc::connectionErrorsTextEmptiesTheList() {
    DbConnection connection;
    TOrvel_ProviderMessage m;
    m.Number = 0x80040E14;
    m.NativeError = 1;
    m.Source = "S";
    m.Description = "D";
    connection.AddProviderMessages({m});
    QCOMPARE(ConnectionErrorsText(connection), QStringLiteral("80040E14.00000001.S - D\r\n"));
    QVERIFY(connection.ProviderMessages().isEmpty());
    QCOMPARE(ConnectionErrorsText(connection), QString());
}

void TestOdbc::useStatement_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("statement");
    QTest::newRow("plain") << "HURTOWNIA"
                           << "USE \"HURTOWNIA\"";
    QTest::newRow("Polish letters and blanks") << "SPRZEDAż 2024"
                                               << "USE \"SPRZEDAż 2024\"";
    QTest::newRow("a quote cannot end the name") << "x\"; DROP TABLE t; --"
                                                 << "USE \"x\"\"; DROP TABLE t; --\"";
    QTest::newRow("brackets and single quotes stay") << "a]'b"
                                                     << "USE \"a]'b\"";
}

void TestOdbc::useStatement() {
    QFETCH(QString, name);
    QFETCH(QString, statement);
    QCOMPARE(UseDatabaseStatement(name), statement);
}

void TestOdbc::serverNames() {
    QCOMPARE(SplitServerNames("a,b\\X,", ','), (QStringList{"a", "b\\X"}));
    QCOMPARE(SplitServerNames("a;b", ';'), (QStringList{"a", "b"}));
    QCOMPARE(SplitServerNames("", ';'), QStringList());
    QStringList list{"Serwer1"};
    QVERIFY(!AppendServerName(list, "SERWER1"));
    QVERIFY(AppendServerName(list, "serwer2"));
    QCOMPARE(list, (QStringList{"Serwer1", "serwer2"}));
    QCOMPARE(JoinServerNames(list), QStringLiteral("Serwer1,serwer2,"));
    QCOMPARE(JoinServerNames({}), QString());
}

void TestOdbc::storedServerList_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("stored");
    QTest::newRow("plain names") << QStringList{"a", "b\\X"} << "a,b\\X,";
    QTest::newRow("host,port stays one entry")
        << QStringList{"127.0.0.1,1433", "srv"} << "\"127.0.0.1,1433\",srv,";
    QTest::newRow("host\\INSTANCE and a port")
        << QStringList{"srv\\SQL2019", "db.example.com,14330"}
        << "srv\\SQL2019,\"db.example.com,14330\",";
    QTest::newRow("quotes in a name")
        << QStringList{"\"q\"", "a\"b,c"} << "\"\"\"q\"\"\",\"a\"\"b,c\",";
    QTest::newRow("a name ending in a comma") << QStringList{"x,", ",y"} << "\"x,\",\",y\",";
    QTest::newRow("empty list") << QStringList{} << "";
}

void TestOdbc::storedServerList() {
    QFETCH(QStringList, list);
    QFETCH(QString, stored);
    QCOMPARE(JoinServerNames(list), stored);
    QCOMPARE(SplitStoredServerNames(stored), list);
}

void TestOdbc::oldServerListsReadAsBefore_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("list");
    QTest::newRow("every entry followed by a comma") << "a,b\\X," << QStringList{"a", "b\\X"};
    QTest::newRow("no final comma") << "a,b" << QStringList{"a", "b"};
    QTest::newRow("a port written before, split")
        << "127.0.0.1,1," << QStringList{"127.0.0.1", "1"};
    QTest::newRow("an unclosed quote is a plain name") << "\"a,b," << QStringList{"\"a", "b"};
    QTest::newRow("a quote inside a name") << "a\"b,c," << QStringList{"a\"b", "c"};
    QTest::newRow("a quote not closing the entry") << "\"a\"b,c," << QStringList{"\"a\"b", "c"};
}

void TestOdbc::oldServerListsReadAsBefore() {
    QFETCH(QString, stored);
    QFETCH(QStringList, list);
    QCOMPARE(SplitStoredServerNames(stored), list);
}

void TestOdbc::serverBrowseWithoutPlugin() {
    QTemporaryDir dir;
    SetAppFolder(dir.path());
    QCOMPARE(GetSQLServerList(), QString());
    // A library of that name without the function gives nothing either.
    QVERIFY(QFile::copy(QLibraryInfo::path(QLibraryInfo::LibrariesPath) + "/libQt6Core.so.6",
                        dir.filePath("libSQLServerInfo.so")));
    QCOMPARE(GetSQLServerList(), QString());
    SetAppFolder(QString());
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 2 && QString::fromLocal8Bit(argv[1]) == kOpenWithoutDrivers)
        return OpenWithoutDrivers();
    TestOdbc test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_odbc.moc"
