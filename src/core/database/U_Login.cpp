#include "U_Login.h"

#include "U_utils.h"

#include <QLibrary>

#include <vector>

namespace {
constexpr std::uint32_t kNoResultStatus = 0x00040EC9; // DB_S_NORESULT: not worth a line

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
                                                  const QString &user, const QString &password) {
    TOrvel_ConnectionSettings settings;
    settings.Server = TrimText(server);
    settings.WindowsAuth = !sqlServerAuth;
    if (sqlServerAuth) {
        settings.User = TrimText(user);
        settings.Password = TrimText(password);
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

bool OpenConnection(DbConnection &connection, const TOrvel_ConnectionSettings &settings,
                    QString *failureText) {
    connection.Close();
    try {
        connection.Open(settings);
    } catch (const EDbProviderError &e) {
        if (failureText)
            *failureText = LoginFailureText(e.code(), e.message());
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
