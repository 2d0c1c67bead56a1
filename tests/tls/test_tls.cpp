// The SQL Server path as real servers run it: the FreeTDS ODBC driver against the TDS test server
// encrypting the login only (PRELOGIN answer 0x00) or the whole session (0x01). What the user sees
// must not change: the same login, database list, exports and failure texts as in clear; and the
// login packet never crosses the wire in clear.
#include "RunnerProcess.h"
#include "TdsFixture.h"
#include "TdsWire.h"
#include "TestSupport.h"
#include "U_Db.h"
#include "U_DbResult.h"
#include "U_Login.h"
#include "U_OdbcBackend.h"

#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sql.h>
#include <sqlext.h>
#include <thread>

namespace {

using Encryption = TdsTestServer::Encryption;

const QString kUser = QStringLiteral("orvel");
const QString kPassword = QStringLiteral("Tajne;hasło}");
const QString kDatabaseList = QStringLiteral("SELECT dbid,DB_NAME(dbid) AS DB_NAME From");

QByteArray Utf16(const QString &text) {
    QByteArray bytes;
    for (QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

// The password as the login packet carries it: UTF-16LE, each byte's nibbles swapped, then XOR
// 0xA5.
QByteArray Scrambled(const QString &password) {
    QByteArray bytes = Utf16(password);
    for (char &c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        c = static_cast<char>((((b & 0x0F) << 4) | (b >> 4)) ^ 0xA5);
    }
    return bytes;
}

// The client's side of a connection as a capture tool reads it: TDS packets in clear (their
// types, in order) and TLS records going straight on the socket.
struct WireView {
    QList<int> ClearPackets;
    int TlsRecords = 0;
    bool Parsed = true; // every byte belongs to a packet or a record
};

WireView ReadWire(const QByteArray &wire) {
    WireView view;
    const auto at = [&wire](qsizetype i) { return static_cast<unsigned char>(wire[i]); };
    qsizetype i = 0;
    while (i < wire.size()) {
        // A TLS record: content type 20-23 (no TDS packet type), version 3.x, 2-byte length.
        if (i + 5 <= wire.size() && at(i) >= 0x14 && at(i) <= 0x17 && at(i + 1) == 0x03) {
            ++view.TlsRecords;
            i += 5 + (at(i + 3) << 8 | at(i + 4));
            continue;
        }
        if (i + 8 > wire.size() || (at(i + 2) << 8 | at(i + 3)) < 8)
            break;
        view.ClearPackets << at(i);
        i += at(i + 2) << 8 | at(i + 3);
    }
    view.Parsed = i == wire.size();
    return view;
}

std::unique_ptr<TdsTestServer> StartServer(const QString &folder, Encryption mode) {
    return StartTdsServer(folder, kUser, kPassword, mode);
}

TOrvel_ConnectionSettings Settings(const TdsTestServer &server, const QString &password) {
    return TdsSettings(server, kUser, password);
}
} // namespace

Q_DECLARE_METATYPE(TdsTestServer::Encryption)

class TestTls : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginNeverInClear_data();
    void loginNeverInClear();
    void wrongPasswordRefused_data();
    void wrongPasswordRefused();
    void exportsMatch_data();
    void exportsMatch();
    void timeOutLeavesSessionUsable_data();
    void timeOutLeavesSessionUsable();
    void cancel_data();
    void cancel();
    void driverEncryptionSetting_data();
    void driverEncryptionSetting();

private:
    QString App(const QString &relative) const { return FApp.filePath(relative); }
    QString Engine() const { return App(QStringLiteral("engine")); }
    TdsTestServer &Server(Encryption mode) const;
    CliResult Cli(const QStringList &args) const;

    QTemporaryDir FApp;
    std::unique_ptr<TdsTestServer> FClear, FLoginOnly, FRequired;
};

void TestTls::initTestCase() {
    QVERIFY(FApp.isValid());
    QCOMPARE(CopyDemoDatabases(Engine()), QString());
    QCOMPARE(CopyStyleSheet(FApp.path()), QString());
    QCOMPARE(CopySampleReports(FApp.path()), QString());

    FClear = StartServer(Engine(), Encryption::NotSupported);
    FLoginOnly = StartServer(Engine(), Encryption::LoginOnly);
    FRequired = StartServer(Engine(), Encryption::Required);
    QVERIFY(FClear && FLoginOnly && FRequired);
}

void TestTls::cleanupTestCase() {
    for (auto *server : {&FClear, &FLoginOnly, &FRequired})
        if (*server)
            (*server)->Stop();
}

TdsTestServer &TestTls::Server(Encryption mode) const {
    return mode == Encryption::LoginOnly  ? *FLoginOnly
           : mode == Encryption::Required ? *FRequired
                                          : *FClear;
}

CliResult TestTls::Cli(const QStringList &args) const {
    return RunCli({.AppFolder = FApp.path(), .Password = kPassword}, args);
}

void TestTls::loginNeverInClear_data() {
    QTest::addColumn<Encryption>("mode");
    QTest::addColumn<bool>("loginUnderTls");
    QTest::addColumn<bool>("batchesUnderTls");
    // The first row shows that the capture does see what travels in clear.
    QTest::newRow("server without TLS") << Encryption::NotSupported << false << false;
    QTest::newRow("login only") << Encryption::LoginOnly << true << false;
    QTest::newRow("whole session") << Encryption::Required << true << true;
}

void TestTls::loginNeverInClear() {
    // Our connection string leaves FreeTDS at its default ("request"): it takes what the server
    // offers and still logs in to a server without TLS.
    QFETCH(Encryption, mode);
    QFETCH(bool, loginUnderTls);
    QFETCH(bool, batchesUnderTls);
    const auto server = StartServer(Engine(), mode); // a capture of this test's connection only
    QVERIFY(server);
    DbConnection connection;
    QString failure;
    QVERIFY2(OpenConnection(connection, Settings(*server, kPassword), &failure),
             qPrintable(failure));
    QStringList databases;
    LoadDatabaseList(connection, databases);
    QCOMPARE(databases, (QStringList{"HURTOWNIA", "KADRY"}));
    QVERIFY(UseDatabase(connection, "KADRY"));
    connection.Close();
    server->Stop();
    QCOMPARE(server->LastLogin().User, kUser); // read by the server after decryption

    // What the server read, message by message: the login and two batches.
    int logins = 0;
    int batches = 0;
    for (const TdsTestServer::ReceivedMessage &m : server->ReceivedMessages()) {
        if (m.Type == Tds::Login7) {
            ++logins;
            QCOMPARE(m.Encrypted, loginUnderTls);
        } else if (m.Type == Tds::SqlBatch) {
            ++batches;
            QCOMPARE(m.Encrypted, batchesUnderTls);
        }
    }
    QCOMPARE(logins, 1);
    QCOMPARE(batches, 2);

    // What crossed the wire: neither the user name nor the password of the login packet under TLS;
    // the batches' texts exactly when they travel in clear.
    const QByteArray wire = server->CapturedBytes();
    QVERIFY(!wire.isEmpty());
    QCOMPARE(wire.contains(Utf16(kUser)), !loginUnderTls);
    QCOMPARE(wire.contains(Scrambled(kPassword)), !loginUnderTls);
    QCOMPARE(wire.contains(Utf16(kDatabaseList)), !batchesUnderTls);
    QCOMPARE(wire.contains(Utf16(QStringLiteral("USE \"KADRY\""))), !batchesUnderTls);
    // Read packet by packet: no login packet (type 0x10) in clear under TLS, the batches (0x01)
    // in clear exactly when the session is not encrypted, the rest in TLS records.
    const WireView view = ReadWire(wire);
    QVERIFY(view.Parsed);
    QCOMPARE(view.ClearPackets.first(), int(Tds::PreLogin));
    QCOMPARE(view.ClearPackets.count(Tds::Login7), loginUnderTls ? 0 : 1);
    QCOMPARE(view.ClearPackets.count(Tds::SqlBatch), batchesUnderTls ? 0 : 2);
    QCOMPARE(view.TlsRecords > 0, loginUnderTls);
}

void TestTls::wrongPasswordRefused_data() {
    QTest::addColumn<Encryption>("mode");
    QTest::newRow("login only") << Encryption::LoginOnly;
    QTest::newRow("whole session") << Encryption::Required;
}

void TestTls::wrongPasswordRefused() {
    // The password travels encrypted and the server still checks it: the refusal reads as in clear.
    QFETCH(Encryption, mode);
    DbConnection connection;
    QString text;
    QVERIFY(!OpenConnection(connection, Settings(Server(mode), kPassword + "x"), &text));
    QVERIFY(!connection.IsConnected());
    QCOMPARE(text, QStringLiteral("Nieprawidłowe hasło lub nazwa użytkownika\r\n([FreeTDS][SQL "
                                  "Server]Login failed for user 'orvel'.)"));
    // The connection object is usable for the right password straight away.
    QVERIFY2(OpenConnection(connection, Settings(Server(mode), kPassword), &text),
             qPrintable(text));
}

void TestTls::exportsMatch_data() {
    QTest::addColumn<Encryption>("mode");
    QTest::addColumn<QString>("format");
    for (const auto &[name, mode] : {std::pair{"login only", Encryption::LoginOnly},
                                     std::pair{"whole session", Encryption::Required}})
        for (const char *format : {"csv", "xml", "xhtml"})
            QTest::addRow("%s, %s", name, format) << mode << QString::fromLatin1(format);
}

void TestTls::exportsMatch() {
    // A sample report through the runner (login, database, parameters, fetch, export): the same
    // bytes over TLS as in clear.
    QFETCH(Encryption, mode);
    QFETCH(QString, format);
    auto run = [&](const TdsTestServer &server, const QString &file) {
        QFile::remove(file);
        const CliResult r =
            Cli({"run", "Przykłady/Faktury kontrahenta", "--server", server.ServerName(), "--user",
                 kUser, "--set", "Kontrahent=3", "--" + format, file});
        return r.Status == 0 && r.Err.isEmpty() ? ReadBytes(file) : r.Err.toUtf8();
    };
    const QByteArray clear = run(*FClear, App("clear." + format));
    const QByteArray encrypted = run(Server(mode), App("tls." + format));
    QVERIFY2(clear.contains("Kontrahent") || clear.count('\n') > 2, clear.left(300).constData());
    QCOMPARE(WithoutCreationTime(encrypted), WithoutCreationTime(clear));
}

void TestTls::timeOutLeavesSessionUsable_data() {
    QTest::addColumn<Encryption>("mode");
    QTest::newRow("login only") << Encryption::LoginOnly;
    QTest::newRow("whole session") << Encryption::Required;
}

void TestTls::timeOutLeavesSessionUsable() {
    // A query time-out: the driver sends an ATTENTION (under TLS when the session is encrypted),
    // the server stops the statement and acknowledges it, and the session goes on.
    QFETCH(Encryption, mode);
    const auto server = StartServer(Engine(), mode);
    QVERIFY(server);
    DbConnection connection;
    QString failure;
    QVERIFY2(OpenConnection(connection, Settings(*server, kPassword), &failure),
             qPrintable(failure));
    DbQuery query(&connection);
    query.CommandTimeout = 1;
    query.SQL = "WAITFOR DELAY '00:00:30'; SELECT 1 AS a";
    try {
        query.Open();
        QFAIL("the query outlived its time-out without an error");
    } catch (const EDbProviderError &e) {
        QCOMPARE(e.code(), 0x80040E31u);
        ConnectionErrorsText(connection);
    }
    QCOMPARE(server->BatchesCancelled(), 1);
    QVERIFY(connection.IsConnected());
    query.CommandTimeout = -1;
    query.SQL = "USE \"HURTOWNIA\"; SELECT 7 AS n";
    query.Open();
    QCOMPARE(query.Field(0)->ValueAt(0).toLongLong(), 7);
    connection.Close();
    server->Stop();
    bool attention = false;
    for (const TdsTestServer::ReceivedMessage &m : server->ReceivedMessages())
        if (m.Type == Tds::Attention) {
            attention = true;
            QCOMPARE(m.Encrypted, mode == Encryption::Required);
        }
    QVERIFY(attention);
}

void TestTls::cancel_data() {
    QTest::addColumn<Encryption>("mode");
    QTest::addColumn<QString>("sql");
    const QString held = QStringLiteral("WAITFOR DELAY '00:00:30'; SELECT 1 AS a");
    const QString streamed = QStringLiteral("SELECT n, t FROM many");
    // A statement the server holds, and a result the server is sending while the ATTENTION
    // comes (under TLS the server reads it while it writes).
    QTest::newRow("login only, held statement") << Encryption::LoginOnly << held;
    QTest::newRow("login only, rows on the way") << Encryption::LoginOnly << streamed;
    QTest::newRow("whole session, held statement") << Encryption::Required << held;
    QTest::newRow("whole session, rows on the way") << Encryption::Required << streamed;
}

void TestTls::cancel() {
    // The user's cancel of a running report: SQLCancel from another thread, the driver's
    // ATTENTION, the server's acknowledgement; the session then serves the next batch.
    QFETCH(Encryption, mode);
    QFETCH(QString, sql);
    const auto server = StartServer(Engine(), mode);
    QVERIFY(server);
    const auto many = NumberedTextRows(1000000);
    server->SetCannedResult(QStringLiteral("SELECT n, t FROM many"), many);
    server->SetPacketPause(2); // the rows take seconds, so the cancel always meets them

    DbConnection connection;
    QString failure;
    QVERIFY2(OpenConnection(connection, Settings(*server, kPassword), &failure),
             qPrintable(failure));
    DbQuery query(&connection);
    query.SQL = sql;
    connection.ExpectBatch();
    QString outcome;
    std::thread worker([&] {
        try {
            query.Open();
            outcome = QStringLiteral("ok");
        } catch (const EDbCancelled &) {
            outcome = QStringLiteral("cancelled");
        } catch (const EOrvelError &e) {
            outcome = e.message();
        }
    });
    QThread::msleep(300);
    query.Cancel();
    worker.join();
    QCOMPARE(outcome, QStringLiteral("cancelled"));
    QCOMPARE(server->BatchesCancelled(), 1);
    QVERIFY(connection.IsConnected());
    query.SQL = "SELECT 7 AS n";
    query.Open();
    QCOMPARE(query.Field(0)->ValueAt(0).toLongLong(), 7);
    connection.Close();
    server->Stop();
    int attentions = 0;
    for (const TdsTestServer::ReceivedMessage &m : server->ReceivedMessages())
        if (m.Type == Tds::Attention) {
            ++attentions;
            QCOMPARE(m.Encrypted, mode == Encryption::Required);
        }
    QVERIFY(attentions >= 1);
}

void TestTls::driverEncryptionSetting_data() {
    // The driver's own Encryption keyword, which our login leaves out: the outcome a user with a
    // stricter driver setting would meet, and the text a refusal would read as.
    QTest::addColumn<QString>("setting");
    QTest::addColumn<Encryption>("mode");
    QTest::addColumn<bool>("connects");
    QTest::newRow("require, server encrypting the login: the whole session")
        << "require" << Encryption::LoginOnly << true;
    QTest::newRow("require, server encrypting the session")
        << "require" << Encryption::Required << true;
    QTest::newRow("require, server without TLS") << "require" << Encryption::NotSupported << false;
    QTest::newRow("off, server requiring TLS") << "off" << Encryption::Required << false;
    QTest::newRow("off, server encrypting the login: all in clear")
        << "off" << Encryption::LoginOnly << true;
}

void TestTls::driverEncryptionSetting() {
    QFETCH(QString, setting);
    QFETCH(Encryption, mode);
    QFETCH(bool, connects);
    const auto server = StartServer(Engine(), mode);
    QVERIFY(server);
    const QString connectionString =
        BuildOdbcConnectionString(Settings(*server, kPassword), QStringLiteral("FreeTDS")) +
        QStringLiteral("Encryption={%1};").arg(setting);

    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    QVERIFY(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    QVERIFY(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
    const std::u16string wide = connectionString.toStdU16String();
    const bool opened = SQL_SUCCEEDED(SQLDriverConnectW(
        dbc, nullptr, reinterpret_cast<SQLWCHAR *>(const_cast<char16_t *>(wide.c_str())), SQL_NTS,
        nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    QList<OdbcDiagRecord> records;
    bool batchRan = false;
    if (opened) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        const std::u16string sql = u"SELECT 1 AS a";
        batchRan = SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt)) &&
                   SQL_SUCCEEDED(SQLExecDirectW(
                       stmt, reinterpret_cast<SQLWCHAR *>(const_cast<char16_t *>(sql.c_str())),
                       SQL_NTS)) &&
                   SQL_SUCCEEDED(SQLFetch(stmt));
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
    } else {
        for (SQLSMALLINT i = 1;; ++i) {
            SQLWCHAR state[6] = {};
            SQLINTEGER native = 0;
            SQLWCHAR text[1024] = {};
            SQLSMALLINT length = 0;
            if (!SQL_SUCCEEDED(
                    SQLGetDiagRecW(SQL_HANDLE_DBC, dbc, i, state, &native, text, 1024, &length)))
                break;
            OdbcDiagRecord r;
            r.SqlState = QString::fromUtf16(reinterpret_cast<const char16_t *>(state));
            r.NativeError = native;
            r.Text = QString::fromUtf16(reinterpret_cast<const char16_t *>(text));
            records << r;
        }
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    server->Stop();

    QCOMPARE(opened, connects);
    if (!connects) {
        // The refusal maps to our text for a server that cannot be reached, with the driver's words
        // in parentheses after it.
        QVERIFY(!records.isEmpty());
        int decisive = 0;
        const std::uint32_t code = MapOdbcOpenError(records, &decisive);
        const QString text = LoginFailureText(code, records[decisive].Text);
        QVERIFY2(text.startsWith("Podany serwer nie został znaleziony\r\n([FreeTDS]"),
                 qPrintable(text));
        return;
    }
    QVERIFY(batchRan);
    // "require" asks for more than the login: every message after PRELOGIN travels under TLS;
    // "off" keeps all of it in clear.
    int messages = 0;
    for (const TdsTestServer::ReceivedMessage &m : server->ReceivedMessages()) {
        if (m.Type == Tds::PreLogin)
            continue;
        ++messages;
        QCOMPARE(m.Encrypted, setting == QLatin1String("require"));
    }
    QVERIFY(messages >= 2); // the login, the batch, perhaps an ATTENTION at the statement's end
}

QTEST_GUILESS_MAIN(TestTls)
#include "test_tls.moc"
