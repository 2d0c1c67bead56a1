// Windows authentication as it runs on Linux: the FreeTDS ODBC driver logs in with the user's
// Kerberos ticket, checked by the TDS test server through GSS-API against a throw-away realm
// with a real KDC. Every failure must say what went wrong and what to do, never "server not
// found" for a server that answered.
#include "FU_Login.h"
#include "KrbRealm.h"
#include "RunnerProcess.h"
#include "TdsFixture.h"
#include "TestSupport.h"
#include "U_Kerberos.h"
#include "U_Login.h"
#include "U_utils.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

namespace {
const QString kRealm = QStringLiteral("ORVEL.TEST");
const QString kForeign = QStringLiteral("OBCA.TEST");
const QString kJan = QStringLiteral("jan@ORVEL.TEST");   // a domain user with a login
const QString kAnna = QStringLiteral("anna@ORVEL.TEST"); // a domain user without one
const QString kObcy = QStringLiteral("obcy@OBCA.TEST");  // a user of a realm without trust
const QString kSqlUser = QStringLiteral("raport");
const QString kSqlPassword = QStringLiteral("Tajne;hasło}");
const QString kDomainPassword = QStringLiteral("Zimą;śnieg}{");
// The runner ends each line of a message with LF alone, the message's CR LF included.
const QString kCannotConnect =
    QStringLiteral("\n([FreeTDS][SQL Server]Unable to connect to data source)\n");

} // namespace

Q_DECLARE_METATYPE(TOrvel_WindowsAuthFailure)

class TestKerberos : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void servicePrincipal_data();
    void servicePrincipal();
    void ticketLine();
    void failureText_data();
    void failureText();
    void ticketState();
    void runnerLogins_data();
    void runnerLogins();
    void domainUserWithPassword_data();
    void domainUserWithPassword();
    void loginWindowTicketLine();

private:
    QString App(const QString &relative) const { return FApp.filePath(relative); }
    QString Cache(const QString &name) const { return FRealm->Path(name + QStringLiteral(".cc")); }
    CliResult Cli(const QString &cache, const QStringList &args,
                  const QString *password = nullptr) const;

    QTemporaryDir FApp;
    std::unique_ptr<KrbRealm> FRealm;
    std::unique_ptr<TdsTestServer> FServer; // its service key in its keytab
    std::unique_ptr<TdsTestServer> FStale;  // its keytab holds a key the realm has replaced
};

void TestKerberos::initTestCase() {
    QVERIFY(FApp.isValid());
    QVERIFY(QDir().mkpath(App(QStringLiteral("engine"))));
    QVERIFY(QFile::copy(BuiltAppDir() + QStringLiteral("/data/demo/Kadry.sqlite"),
                        App(QStringLiteral("engine/Kadry.sqlite"))));
    QVERIFY(QDir().mkpath(App(QStringLiteral("data"))));
    QVERIFY(WriteBytes(App(QStringLiteral("data reports/Kto.xml")),
                       "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                       "<Zestawnik><version>1.0</version><defaultdb>Kadry</defaultdb><params>"
                       "</params></Zestawnik>\r\n"));
    QVERIFY(WriteBytes(App(QStringLiteral("data reports/Kto.sql")),
                       "-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT SYSTEM_USER AS Kto\r\n"));

    FRealm = std::make_unique<KrbRealm>(kRealm, kForeign);
    QVERIFY2(FRealm->Start(), qPrintable(FRealm->Error()));
    FServer = StartTdsServer(App(QStringLiteral("engine")), kSqlUser, kSqlPassword);
    FStale = StartTdsServer(App(QStringLiteral("engine")), kSqlUser, kSqlPassword);
    QVERIFY(FServer && FStale);
    // The service principals the driver asks for: MSSQLSvc/<host as given>:<port>.
    const QString service = QStringLiteral("MSSQLSvc/localhost:%1").arg(FServer->Port());
    const QString stale = QStringLiteral("MSSQLSvc/localhost:%1").arg(FStale->Port());
    for (const QString &principal : {service, stale})
        QVERIFY2(FRealm->AddService(principal), qPrintable(FRealm->Error()));
    QVERIFY(FRealm->ExportKeytab(service, FRealm->Path(QStringLiteral("server.keytab"))));
    QVERIFY(FRealm->ExportKeytab(stale, FRealm->Path(QStringLiteral("stale.keytab"))));
    QVERIFY2(FRealm->ChangeKey(stale), qPrintable(FRealm->Error()));
    FServer->SetIntegratedLogins(FRealm->Path(QStringLiteral("server.keytab")), {kJan});
    FStale->SetIntegratedLogins(FRealm->Path(QStringLiteral("stale.keytab")), {kJan});
    FServer->SetNtlmLogin(QStringLiteral("FIRMA"), QStringLiteral("jan"), kDomainPassword);

    const struct {
        QString principal, password, cache;
    } users[] = {{kJan, QStringLiteral("jan-haslo"), QStringLiteral("jan")},
                 {kAnna, QStringLiteral("anna-haslo"), QStringLiteral("anna")},
                 {kObcy, QStringLiteral("obcy-haslo"), QStringLiteral("obcy")}};
    for (const auto &user : users) {
        QVERIFY2(FRealm->AddUser(user.principal, user.password), qPrintable(FRealm->Error()));
        QVERIFY2(FRealm->Kinit(user.principal, user.password, Cache(user.cache)),
                 qPrintable(FRealm->Error()));
    }
    QVERIFY(FRealm->CopyExpired(Cache(QStringLiteral("jan")), Cache(QStringLiteral("expired"))));
}

void TestKerberos::cleanupTestCase() {
    if (FStale)
        FStale->Stop();
    if (FServer)
        FServer->Stop();
    FRealm.reset(); // stops the KDC
}

CliResult TestKerberos::Cli(const QString &cache, const QStringList &args,
                            const QString *password) const {
    RunnerCall call{.AppFolder = FApp.path(),
                    .Environment = FRealm->Environment(cache.isEmpty() ? QString() : Cache(cache))};
    if (password)
        call.Password = *password;
    return RunCli(call, args);
}

void TestKerberos::servicePrincipal_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("spn");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("address");
    QTest::newRow("default port") << "sql01.firma.pl"
                                  << ""
                                  << "MSSQLSvc/sql01.firma.pl:1433" << false;
    QTest::newRow("port after a comma") << " sql01.firma.pl , 14330 "
                                        << ""
                                        << "MSSQLSvc/sql01.firma.pl:14330" << false;
    QTest::newRow("IPv4 address") << "10.1.2.3,1433"
                                  << ""
                                  << "MSSQLSvc/10.1.2.3:1433" << true;
    QTest::newRow("IPv6 address") << "::1"
                                  << ""
                                  << "MSSQLSvc/::1:1433" << true;
    QTest::newRow("named instance: its port is the browser's") << "sql01\\KADRY"
                                                               << ""
                                                               << "" << false;
    QTest::newRow("named instance with a port") << "sql01\\KADRY,50123"
                                                << ""
                                                << "MSSQLSvc/sql01:50123" << false;
    QTest::newRow("a service name given wins") << "10.1.2.3"
                                               << " MSSQLSvc/sql01.firma.pl:1433@FIRMA.PL "
                                               << "MSSQLSvc/sql01.firma.pl:1433@FIRMA.PL" << true;
}

void TestKerberos::servicePrincipal() {
    QFETCH(QString, server);
    QFETCH(QString, spn);
    QFETCH(QString, expected);
    QFETCH(bool, address);
    QCOMPARE(DriverServicePrincipal(server, spn), expected);
    QCOMPARE(ServerNameIsAddress(server), address);
}

void TestKerberos::ticketLine() {
    const QDateTime now(QDate(2026, 12, 10), QTime(9, 15));
    TOrvel_KerberosTicket ticket;
    QCOMPARE(KerberosTicketLine(ticket, now),
             QStringLiteral("Brak biletu Kerberos: zaloguj się poleceniem kinit"));
    ticket.State = TOrvel_KerberosTicket::Status::Valid;
    ticket.Principal = QStringLiteral("jan@FIRMA.PL");
    ticket.Expires = QDateTime(QDate(2026, 12, 10), QTime(18, 30));
    QCOMPARE(KerberosTicketLine(ticket, now),
             QStringLiteral("Bilet Kerberos: jan@FIRMA.PL, ważny do 18:30"));
    // A ticket that lasts past midnight names its day.
    ticket.Expires = QDateTime(QDate(2026, 12, 11), QTime(8, 5));
    QCOMPARE(KerberosTicketLine(ticket, now),
             QStringLiteral("Bilet Kerberos: jan@FIRMA.PL, ważny do 11.12.2026 08:05"));
    ticket.State = TOrvel_KerberosTicket::Status::Expired;
    ticket.Expires = QDateTime(QDate(2026, 12, 10), QTime(7, 0));
    QCOMPARE(KerberosTicketLine(ticket, now),
             QStringLiteral("Bilet Kerberos wygasł o 07:00: odnów go poleceniem kinit"));
}

// The whole failure text from what the login found out, for the cases the realm of the
// end-to-end tests cannot stage.
void TestKerberos::failureText_data() {
    QTest::addColumn<TOrvel_WindowsAuthFailure>("failure");
    QTest::addColumn<QString>("expected");
    using Result = TOrvel_ServiceTicketProbe::Result;
    const QString driver = QStringLiteral("[FreeTDS][SQL Server]Unable to connect to data source");
    TOrvel_WindowsAuthFailure base;
    base.Code = 0x80004005;
    base.ServerAnswered = true;
    base.ProviderMessage = driver;
    base.Ticket.State = TOrvel_KerberosTicket::Status::Valid;
    base.Ticket.Principal = kJan;
    base.Ticket.Expires = QDateTime::currentDateTime().addSecs(3600);
    base.Probed = true;
    base.Probe.Principal = QStringLiteral("MSSQLSvc/sql01.firma.pl:1433@ORVEL.TEST");

    TOrvel_WindowsAuthFailure unreachable = base;
    unreachable.ServerAnswered = false;
    unreachable.Ticket = TOrvel_KerberosTicket();
    unreachable.ProviderMessage = QStringLiteral("[FreeTDS][SQL Server]Unable to connect: "
                                                 "Adaptive Server is unavailable or does not "
                                                 "exist");
    QTest::newRow("nobody answered: the server was not found, ticket or not")
        << unreachable
        << QStringLiteral("Podany serwer nie został znaleziony\r\n(") +
               unreachable.ProviderMessage + u')';
    TOrvel_WindowsAuthFailure obtained = base;
    obtained.Probe.Outcome = Result::Obtained;
    QTest::newRow("the service ticket is there, yet the login failed")
        << obtained
        << QStringLiteral("Serwer nie przyjął logowania Kerberos, choć bilet dla usługi "
                          "MSSQLSvc/sql01.firma.pl:1433@ORVEL.TEST jest dostępny: sprawdź nazwę "
                          "usługi (SPN) serwera i różnicę zegarów komputera i serwera\r\n(") +
               driver + u')';
    TOrvel_WindowsAuthFailure failed = base;
    failed.Probe.Outcome = Result::Failed;
    failed.Probe.Reason = QStringLiteral("Clock skew too great");
    QTest::newRow("the realm refused the service ticket for another reason")
        << failed
        << QStringLiteral("Nie można uzyskać biletu Kerberos dla usługi "
                          "MSSQLSvc/sql01.firma.pl:1433@ORVEL.TEST (Clock skew too great): "
                          "sprawdź pełną nazwę serwera i zegar komputera, potem połącz się "
                          "ponownie\r\n(") +
               driver + u')';
    TOrvel_WindowsAuthFailure instance = base;
    instance.Probe.Principal.clear();
    QTest::newRow("named instance without a port: no service name to ask for")
        << instance
        << QStringLiteral("Nie można ustalić nazwy usługi Kerberos serwera: podaj port serwera "
                          "albo nazwę usługi (SPN) w ustawieniu ServerSPN\r\n(") +
               driver + u')';
    TOrvel_WindowsAuthFailure refused = base;
    refused.Code = 0x80040E4D;
    refused.NativeError = 18452;
    refused.Ticket = TOrvel_KerberosTicket(); // e.g. the other driver's own cache
    refused.ProviderMessage = QStringLiteral("Login failed.");
    QTest::newRow("18452 without a known principal")
        << refused
        << QStringLiteral("Serwer odrzucił bilet Kerberos: nie ufa domenie użytkownika albo nie "
                          "może odczytać biletu (nieaktualny klucz usługi serwera); zgłoś to "
                          "administratorowi serwera\r\n(Login failed.)");
    TOrvel_WindowsAuthFailure missing = base;
    missing.Code = 0x800A0E7A;
    missing.ServerAnswered = false;
    missing.ProviderMessage = QStringLiteral("Can't open lib");
    QTest::newRow("no driver: the table's own text")
        << missing
        << QStringLiteral("Provider SQL OLEDB nie został znaleziony !\r\n(Can't open lib)");
}

void TestKerberos::failureText() {
    QFETCH(TOrvel_WindowsAuthFailure, failure);
    QFETCH(QString, expected);
    QCOMPARE(WindowsAuthFailureText(failure), expected);
}

// The ticket state the login reads from the cache, in each state a user meets.
void TestKerberos::ticketState() {
    using Status = TOrvel_KerberosTicket::Status;
    const QByteArray old = qgetenv("KRB5CCNAME");
    const struct {
        QString cache;
        Status state;
        QString principal;
    } cases[] = {{QStringLiteral("jan"), Status::Valid, kJan},
                 {QStringLiteral("expired"), Status::Expired, kJan},
                 {QStringLiteral("obcy"), Status::Valid, kObcy},
                 {QStringLiteral("none"), Status::NoTicket, QString()}};
    for (const auto &c : cases) {
        qputenv("KRB5CCNAME", ("FILE:" + Cache(c.cache)).toLocal8Bit());
        const TOrvel_KerberosTicket ticket = ReadKerberosTicket();
        QCOMPARE(ticket.State, c.state);
        QCOMPARE(ticket.Principal, c.principal);
        QCOMPARE(ticket.Expires.isValid(), c.state != Status::NoTicket);
    }
    // The service ticket the driver needs: there, unknown, or out of reach of a foreign realm.
    qputenv("KRB5CCNAME", ("FILE:" + Cache(QStringLiteral("jan"))).toLocal8Bit());
    using Result = TOrvel_ServiceTicketProbe::Result;
    const QString service = QStringLiteral("MSSQLSvc/localhost:%1").arg(FServer->Port());
    QCOMPARE(ProbeServiceTicket(service).Outcome, Result::Obtained);
    const TOrvel_ServiceTicketProbe unknown =
        ProbeServiceTicket(QStringLiteral("MSSQLSvc/127.0.0.1:%1").arg(FServer->Port()));
    QCOMPARE(unknown.Outcome, Result::UnknownService);
    QCOMPARE(unknown.Principal,
             QStringLiteral("MSSQLSvc/127.0.0.1:%1@ORVEL.TEST").arg(FServer->Port()));
    qputenv("KRB5CCNAME", ("FILE:" + Cache(QStringLiteral("obcy"))).toLocal8Bit());
    QCOMPARE(ProbeServiceTicket(service).Outcome, Result::NoTrust);
    old.isNull() ? qunsetenv("KRB5CCNAME") : qputenv("KRB5CCNAME", old);
}

void TestKerberos::runnerLogins_data() {
    QTest::addColumn<QString>("cache");
    QTest::addColumn<QString>("server"); // "main", "stale", "ip"
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // the printed result, or the exact message on stderr
    QTest::addColumn<QString>("err");

    const QStringList windows{QStringLiteral("--windows-auth")};
    QTest::newRow("a valid ticket: the report sees the principal")
        << "jan"
        << "main" << windows << 0 << QStringLiteral("Kto\n%1\n").arg(kJan) << QString();
    QTest::newRow("no ticket") << ""
                               << "main" << windows << 1 << QString()
                               << QStringLiteral("Brak biletu Kerberos: zaloguj się poleceniem "
                                                 "kinit i połącz się ponownie") +
                                      kCannotConnect;
    QTest::newRow("an expired ticket")
        << "expired"
        << "main" << windows << 1 << QString()
        << QStringLiteral("Bilet Kerberos użytkownika jan@ORVEL.TEST wygasł o %1: odnów go "
                          "poleceniem kinit i połącz się ponownie") +
               kCannotConnect;
    QTest::newRow("a ticket of a realm without trust")
        << "obcy"
        << "main" << windows << 1 << QString()
        << QStringLiteral("Bilet Kerberos użytkownika obcy@OBCA.TEST nie daje dostępu do obszaru "
                          "ORVEL.TEST, w którym jest serwer (brak zaufania między obszarami): "
                          "zaloguj się poleceniem kinit jako użytkownik obszaru ORVEL.TEST") +
               kCannotConnect;
    QTest::newRow("a stale service key: the server's 18452")
        << "jan"
        << "stale" << windows << 1 << QString()
        << QStringLiteral("Serwer odrzucił bilet Kerberos jan@ORVEL.TEST: nie ufa domenie "
                          "użytkownika albo nie może odczytać biletu (nieaktualny klucz usługi "
                          "serwera); zgłoś to administratorowi serwera\n([FreeTDS][SQL "
                          "Server]Login failed. The login is from an untrusted domain and cannot "
                          "be used with Integrated authentication.)\n");
    QTest::newRow("a domain user without a login: the server's 18456")
        << "anna"
        << "main" << windows << 1 << QString()
        << QStringLiteral("Serwer nie przyjął użytkownika domeny anna@ORVEL.TEST: nie ma on "
                          "loginu na serwerze albo prawa do logowania; poproś administratora "
                          "serwera o dostęp\n([FreeTDS][SQL Server]Login failed for user "
                          "'anna@ORVEL.TEST'.)\n");
    QTest::newRow("the server by its IP address")
        << "jan"
        << "ip" << windows << 1 << QString()
        << QStringLiteral("Serwer podano adresem IP, a Kerberos zna serwer tylko z pełnej nazwy: "
                          "wpisz pełną nazwę serwera (np. sql01.firma.pl) albo nazwę usługi "
                          "(SPN) w ustawieniu ServerSPN") +
               kCannotConnect;
    QTest::newRow("the server by its IP address with --spn")
        << "jan"
        << "ip" << (windows + QStringList{QStringLiteral("--spn"), QStringLiteral("@SPN")}) << 0
        << QStringLiteral("Kto\n%1\n").arg(kJan) << QString();
    QTest::newRow("an --spn the realm does not know")
        << "jan"
        << "main"
        << (windows + QStringList{QStringLiteral("--spn"), QStringLiteral("MSSQLSvc/sql01:1433")})
        << 1 << QString()
        << QStringLiteral("Kerberos nie zna usługi MSSQLSvc/sql01:1433@ORVEL.TEST: wpisz pełną "
                          "nazwę serwera, pod którą usługa jest zarejestrowana, albo nazwę usługi "
                          "(SPN) w ustawieniu ServerSPN") +
               kCannotConnect;
    QTest::newRow("SQL Server authentication on the same server, with a ticket at hand")
        << "jan"
        << "main" << QStringList{QStringLiteral("--user"), kSqlUser} << 0
        << QStringLiteral("Kto\n%1\n").arg(kSqlUser) << QString();
    QTest::newRow("SQL Server authentication keeps its own text")
        << "jan"
        << "main" << QStringList{QStringLiteral("--user"), QStringLiteral("obcy")} << 1 << QString()
        << QStringLiteral("Nieprawidłowe hasło lub nazwa użytkownika\n([FreeTDS][SQL Server]"
                          "Login failed for user 'obcy'.)\n");
}

void TestKerberos::runnerLogins() {
    QFETCH(QString, cache);
    QFETCH(QString, server);
    QFETCH(QStringList, extra);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const TdsTestServer &target = server == QLatin1String("stale") ? *FStale : *FServer;
    const QString name = server == QLatin1String("ip")
                             ? QStringLiteral("127.0.0.1,%1").arg(target.Port())
                             : QStringLiteral("localhost,%1").arg(target.Port());
    extra.replaceInStrings(QStringLiteral("@SPN"),
                           QStringLiteral("MSSQLSvc/localhost:%1").arg(target.Port()));
    if (cache == QLatin1String("expired")) {
        const QByteArray old = qgetenv("KRB5CCNAME");
        qputenv("KRB5CCNAME", ("FILE:" + Cache(cache)).toLocal8Bit());
        err = err.arg(KerberosTimeText(ReadKerberosTicket().Expires, QDateTime::currentDateTime()));
        old.isNull() ? qunsetenv("KRB5CCNAME") : qputenv("KRB5CCNAME", old);
    }
    const CliResult r =
        Cli(cache,
            QStringList{QStringLiteral("run"), QStringLiteral("Kto"), QStringLiteral("--server"),
                        name, QStringLiteral("--print")} +
                extra,
            &kSqlPassword);
    QCOMPARE(r.Err, err);
    QCOMPARE(r.Status, status);
    QCOMPARE(QString::fromUtf8(r.Out), out);
}

// A domain account with its password, from a machine outside the domain: the user name
// DOMAIN\user under SQL Server authentication makes the driver log in with NTLM, which the
// server checks as an NTLMv2 response.
void TestKerberos::domainUserWithPassword_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("the right password")
        << "FIRMA\\jan" << kDomainPassword << 0 << "Kto\nFIRMA\\jan\n"
        << QString();
    QTest::newRow("a wrong password")
        << "FIRMA\\jan" << QStringLiteral("Zimą;śnieg") << 1 << QString()
        << QStringLiteral("Nieprawidłowe hasło lub nazwa użytkownika\n([FreeTDS][SQL Server]Login "
                          "failed for user 'FIRMA\\jan'.)\n");
    QTest::newRow("another domain's user")
        << "OBCA\\jan" << kDomainPassword << 1 << QString()
        << QStringLiteral("Nieprawidłowe hasło lub nazwa użytkownika\n([FreeTDS][SQL Server]Login "
                          "failed for user 'OBCA\\jan'.)\n");
}

void TestKerberos::domainUserWithPassword() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const CliResult r =
        Cli(QString(),
            {QStringLiteral("run"), QStringLiteral("Kto"), QStringLiteral("--server"),
             QStringLiteral("localhost,%1").arg(FServer->Port()), QStringLiteral("--user"), user,
             QStringLiteral("--print")},
            &password);
    QCOMPARE(r.Err, err);
    QCOMPARE(r.Status, status);
    QCOMPARE(QString::fromUtf8(r.Out), out);
}

// The login window shows the ticket's state under the authentication choice, read anew on
// every showing, and only while Windows authentication is chosen.
void TestKerberos::loginWindowTicketLine() {
    const QByteArray old = qgetenv("KRB5CCNAME");
    qputenv("KRB5CCNAME", ("FILE:" + Cache(QStringLiteral("jan"))).toLocal8Bit());
    TF_Login login;
    login.show();
    QVERIFY(QTest::qWaitForWindowExposed(&login));
    QVERIFY(!login.labKerberos->isVisible());
    QTest::mouseClick(login.rbWindowsAuth, Qt::LeftButton, {}, QPoint(8, 10));
    QVERIFY(login.rbWindowsAuth->isChecked());
    QVERIFY(login.labKerberos->isVisible());
    const QString expected =
        QStringLiteral("Bilet Kerberos: jan@ORVEL.TEST, ważny do %1")
            .arg(KerberosTimeText(ReadKerberosTicket().Expires, QDateTime::currentDateTime()));
    QCOMPARE(login.labKerberos->text(), expected);
    // The label sits inside the window, clear of the fields above and the buttons below.
    QVERIFY(login.rect().contains(login.labKerberos->geometry()));
    QVERIFY(login.labKerberos->geometry().bottom() < login.btnConnect->geometry().top());
    QVERIFY(login.labKerberos->geometry().top() > login.edPassword->geometry().bottom());

    // The user's ticket is gone (kdestroy): the next showing says so.
    login.hide();
    qputenv("KRB5CCNAME", ("FILE:" + Cache(QStringLiteral("none"))).toLocal8Bit());
    login.show();
    QVERIFY(QTest::qWaitForWindowExposed(&login));
    QTest::mouseClick(login.rbWindowsAuth, Qt::LeftButton, {}, QPoint(8, 10));
    QCOMPARE(login.labKerberos->text(),
             QStringLiteral("Brak biletu Kerberos: zaloguj się poleceniem kinit"));
    QVERIFY(login.labKerberos->isVisible());
    QTest::mouseClick(login.rbSQLServerAuth, Qt::LeftButton, {}, QPoint(8, 10));
    QVERIFY(!login.labKerberos->isVisible());
    old.isNull() ? qunsetenv("KRB5CCNAME") : qputenv("KRB5CCNAME", old);
}

QTEST_MAIN(TestKerberos)
#include "test_kerberos.moc"
