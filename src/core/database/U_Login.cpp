#include "U_Login.h"

#include "U_utils.h"

#include <QLibrary>

#include <vector>

namespace {
constexpr std::uint32_t kNoResultStatus = 0x00040EC9; // DB_S_NORESULT: not worth a line
constexpr std::uint32_t kServerUnreachable = 0x80004005;

// Unloads the plug-in library on every path.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const QString &path) : FLibrary(path) { FLoaded = FLibrary.load(); }
    ~LoadedLibrary() {
        if (FLoaded)
            FLibrary.unload();
    }
    LoadedLibrary(const LoadedLibrary &) = delete;
    LoadedLibrary &operator=(const LoadedLibrary &) = delete;
    QFunctionPointer Resolve(const char *name) {
        return FLoaded ? FLibrary.resolve(name) : nullptr;
    }

private:
    QLibrary FLibrary;
    bool FLoaded = false;
};
} // namespace

QString DatabaseListQuery() {
    return QStringLiteral("SELECT dbid,DB_NAME(dbid) AS DB_NAME From master..sysdatabases WHERE "
                          "(Name<>'master' AND Name<>'model' AND Name<>'tempdb' AND "
                          "Name<>'msdb') ORDER BY Name");
}

TOrvel_ConnectionSettings LoginConnectionSettings(const QString &server, bool sqlServerAuth,
                                                  const QString &user, const QString &password,
                                                  const QString &serverSpn) {
    TOrvel_ConnectionSettings settings;
    settings.Server = TrimText(server);
    settings.WindowsAuth = !sqlServerAuth;
    if (sqlServerAuth) {
        settings.User = TrimText(user);
        settings.Password = TrimText(password);
    } else {
        settings.ServerSPN = TrimText(serverSpn);
    }
    return settings;
}

QString LoginErrorFirstLine(std::uint32_t code) {
    switch (code) {
    case 0x800A0E7A:
        return QStringLiteral("Provider SQL OLEDB nie został znaleziony !");
    case 0x80004005:
        return QStringLiteral("Podany serwer nie został znaleziony");
    case 0x80040E4D:
        return QStringLiteral("Nieprawidłowe hasło lub nazwa użytkownika");
    case 0x800A0E79:
        return QStringLiteral("Połączenie jest już otwarte");
    default:
        return QString();
    }
}

QString LoginFailureText(std::uint32_t code, const QString &providerMessage) {
    return LoginErrorFirstLine(code) + QStringLiteral("\r\n(") + providerMessage + QLatin1Char(')');
}

namespace {
constexpr std::int32_t kUntrustedLogin = 18452; // untrusted domain, or a ticket it cannot use
constexpr std::int32_t kLoginRefused = 18456;

// " jan@FIRMA.PL" for the user's principal, "" when no ticket names one.
QString UserOf(const TOrvel_KerberosTicket &ticket) {
    return ticket.Principal.isEmpty() ? QString() : QLatin1Char(' ') + ticket.Principal;
}

QString RealmOf(const QString &principal) {
    const qsizetype at = principal.lastIndexOf(QLatin1Char('@'));
    return at < 0 ? QString() : principal.mid(at + 1);
}

// The first line when the server answered but the Kerberos step failed before it saw a ticket.
QString KerberosStepLine(const TOrvel_WindowsAuthFailure &f, const QDateTime &now) {
    using Status = TOrvel_KerberosTicket::Status;
    using Result = TOrvel_ServiceTicketProbe::Result;
    if (f.Ticket.State == Status::NoTicket)
        return QStringLiteral("Brak biletu Kerberos: zaloguj się poleceniem kinit i połącz się "
                              "ponownie");
    if (f.Ticket.State == Status::Expired)
        return QStringLiteral("Bilet Kerberos użytkownika %1 wygasł o %2: odnów go poleceniem "
                              "kinit i połącz się ponownie")
            .arg(f.Ticket.Principal, KerberosTimeText(f.Ticket.Expires, now));
    if (!f.Probed || f.Probe.Principal.isEmpty())
        return QStringLiteral("Nie można ustalić nazwy usługi Kerberos serwera: podaj port "
                              "serwera albo nazwę usługi (SPN) w ustawieniu ServerSPN");
    switch (f.Probe.Outcome) {
    case Result::Obtained:
        return QStringLiteral("Serwer nie przyjął logowania Kerberos, choć bilet dla usługi %1 "
                              "jest dostępny: sprawdź nazwę usługi (SPN) serwera i różnicę "
                              "zegarów komputera i serwera")
            .arg(f.Probe.Principal);
    case Result::NoTrust:
        return QStringLiteral("Bilet Kerberos użytkownika %1 nie daje dostępu do obszaru %2, w "
                              "którym jest serwer (brak zaufania między obszarami): zaloguj się "
                              "poleceniem kinit jako użytkownik obszaru %2")
            .arg(f.Ticket.Principal, RealmOf(f.Probe.Principal));
    case Result::UnknownService:
        if (f.ServerIsAddress)
            return QStringLiteral("Serwer podano adresem IP, a Kerberos zna serwer tylko z "
                                  "pełnej nazwy: wpisz pełną nazwę serwera (np. "
                                  "sql01.firma.pl) albo nazwę usługi (SPN) w ustawieniu "
                                  "ServerSPN");
        return QStringLiteral("Kerberos nie zna usługi %1: wpisz pełną nazwę serwera, pod którą "
                              "usługa jest zarejestrowana, albo nazwę usługi (SPN) w ustawieniu "
                              "ServerSPN")
            .arg(f.Probe.Principal);
    case Result::Failed:
        break;
    }
    return QStringLiteral("Nie można uzyskać biletu Kerberos dla usługi %1 (%2): sprawdź pełną "
                          "nazwę serwera i zegar komputera, potem połącz się ponownie")
        .arg(f.Probe.Principal, f.Probe.Reason);
}
} // namespace

QString WindowsAuthFailureText(const TOrvel_WindowsAuthFailure &f, const QDateTime &now) {
    QString first;
    if (f.NativeError == kUntrustedLogin)
        first = QStringLiteral("Serwer odrzucił bilet Kerberos%1: nie ufa domenie użytkownika "
                               "albo nie może odczytać biletu (nieaktualny klucz usługi "
                               "serwera); zgłoś to administratorowi serwera")
                    .arg(UserOf(f.Ticket));
    else if (f.NativeError == kLoginRefused)
        first = QStringLiteral("Serwer nie przyjął użytkownika domeny%1: nie ma on loginu na "
                               "serwerze albo prawa do logowania; poproś administratora serwera o "
                               "dostęp")
                    .arg(UserOf(f.Ticket));
    else if (f.ServerAnswered && f.Code == kServerUnreachable)
        first = KerberosStepLine(f, now);
    else
        return LoginFailureText(f.Code, f.ProviderMessage);
    return first + QStringLiteral("\r\n(") + f.ProviderMessage + QLatin1Char(')');
}

TOrvel_WindowsAuthFailure ExamineWindowsAuthFailure(const TOrvel_ConnectionSettings &settings,
                                                    const EDbProviderError &error) {
    TOrvel_WindowsAuthFailure f;
    f.Code = error.code();
    f.NativeError = error.nativeError();
    f.ServerAnswered = error.serverAnswered();
    f.ProviderMessage = error.message();
    f.ServerIsAddress = settings.ServerSPN.isEmpty() && ServerNameIsAddress(settings.Server);
    f.Ticket = ReadKerberosTicket();
    const bool refusedByServer = f.NativeError == kUntrustedLogin || f.NativeError == kLoginRefused;
    if (f.ServerAnswered && !refusedByServer &&
        f.Ticket.State == TOrvel_KerberosTicket::Status::Valid) {
        f.Probed = true;
        f.Probe = ProbeServiceTicket(DriverServicePrincipal(settings.Server, settings.ServerSPN));
    }
    return f;
}

bool OpenConnection(DbConnection &connection, const TOrvel_ConnectionSettings &settings,
                    QString *failureText) {
    connection.Close();
    try {
        connection.Open(settings);
    } catch (const EDbProviderError &e) {
        if (failureText)
            *failureText = settings.WindowsAuth
                               ? WindowsAuthFailureText(ExamineWindowsAuthFailure(settings, e))
                               : LoginFailureText(e.code(), e.message());
        return false;
    }
    return connection.IsConnected();
}

void LoadDatabaseList(DbConnection &connection, QStringList &list) {
    if (!connection.IsConnected())
        return;
    DbQuery query(&connection);
    query.SQL = DatabaseListQuery();
    query.Open();
    list.clear();
    if (!query.IsOpen() || query.RecordCount() == 0)
        return;
    DbField *name = query.FieldByName(QStringLiteral("DB_NAME"));
    for (query.First(); !query.Eof(); query.Next())
        list.append(AsciiUpper(name->AsString()));
}

QString UseDatabaseStatement(const QString &name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QStringLiteral("USE \"") + quoted + QLatin1Char('"');
}

bool UseDatabase(DbConnection &connection, const QString &name) {
    try {
        DbQuery query(&connection);
        query.SQL = UseDatabaseStatement(name);
        query.Execute();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

QString ProviderMessagesText(const QList<TOrvel_ProviderMessage> &messages) {
    QString text;
    for (const TOrvel_ProviderMessage &m : messages) {
        if (m.Number == kNoResultStatus)
            continue;
        text += QString::asprintf("%08X.%08X.", m.Number, m.NativeError) + m.Source +
                QStringLiteral(" - ") + m.Description + QStringLiteral("\r\n");
    }
    return text;
}

QString ConnectionErrorsText(DbConnection &connection) {
    const QString text = ProviderMessagesText(connection.ProviderMessages());
    connection.ClearProviderMessages();
    return text;
}

QString GetSQLServerList() {
    LoadedLibrary library(GetPluginFolder() + QStringLiteral("libSQLServerInfo.so"));
    using GetServersFunction = unsigned char (*)(char *buffer);
    auto getServers = reinterpret_cast<GetServersFunction>(library.Resolve("GetServers"));
    if (!getServers)
        return QString();
    std::vector<char> buffer(65536, 0);
    getServers(buffer.data());
    buffer.back() = 0; // the text ends at the first zero byte, within the buffer
    return QString::fromUtf8(buffer.data());
}

QStringList SplitServerNames(const QString &text, QChar separator) {
    if (text.isEmpty())
        return {};
    QStringList names = text.split(separator);
    if (text.endsWith(separator))
        names.removeLast();
    return names;
}

QStringList SplitStoredServerNames(const QString &text) {
    QStringList names;
    qsizetype at = 0;
    while (at < text.size()) {
        if (text[at] == u'"') {
            // A quoted entry ends at a lone quote that a "," or the end of the text follows.
            QString name;
            qsizetype i = at + 1;
            bool closed = false;
            while (i < text.size()) {
                if (text[i] == u'"') {
                    if (i + 1 < text.size() && text[i + 1] == u'"') {
                        name += u'"';
                        i += 2;
                        continue;
                    }
                    closed = i + 1 == text.size() || text[i + 1] == u',';
                    break;
                }
                name += text[i++];
            }
            if (closed) {
                names.append(name);
                at = i + 2;
                continue;
            }
            // Not a quoted entry after all: read as the plain name it was written as.
        }
        qsizetype end = text.indexOf(u',', at);
        if (end < 0)
            end = text.size();
        names.append(text.mid(at, end - at));
        at = end + 1;
    }
    return names;
}

bool ContainsServerName(const QStringList &list, const QString &name) {
    return list.contains(name, Qt::CaseInsensitive);
}

bool AppendServerName(QStringList &list, const QString &name) {
    if (ContainsServerName(list, name))
        return false;
    list.append(name);
    return true;
}

QString JoinServerNames(const QStringList &list) {
    QString text;
    for (const QString &name : list) {
        if (name.contains(u',') || name.startsWith(u'"'))
            text += u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
        else
            text += name;
        text += u',';
    }
    return text;
}
