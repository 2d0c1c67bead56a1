#pragma once
// The login's logic without its window: connection settings from the login's choices, the text of
// a failed open, the server's database list, making a database current, the connection's pending
// messages as text, and the server browse through the plug-in library.
#include "U_Db.h"
#include "U_Kerberos.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// The query that lists the server's user databases, exactly as sent.
QString DatabaseListQuery();

// The connection settings for the login's choices; server, user and password trimmed. Windows
// authentication carries no user name and no password, but the server's Kerberos service name
// when one is set (trimmed; "" leaves it to the driver).
TOrvel_ConnectionSettings LoginConnectionSettings(const QString &server, bool sqlServerAuth,
                                                  const QString &user, const QString &password,
                                                  const QString &serverSpn = QString());

// The first line of a failed open's message for a provider code ("" for codes outside the table).
QString LoginErrorFirstLine(std::uint32_t code);
// The whole message: first line, CR LF, "(", the provider's message, ")".
QString LoginFailureText(std::uint32_t code, const QString &providerMessage);

// What is known of a failed open under Windows authentication: the driver's error, the user's
// Kerberos ticket and, where it was asked, the realm's answer for the server's service ticket.
struct TOrvel_WindowsAuthFailure {
    std::uint32_t Code = 0;
    std::int32_t NativeError = 0; // the server's error number, 0 without one
    bool ServerAnswered = false;
    QString ProviderMessage;
    bool ServerIsAddress = false;
    TOrvel_KerberosTicket Ticket;
    bool Probed = false; // whether Probe holds the realm's answer
    TOrvel_ServiceTicketProbe Probe;
};
// The whole message of a failed open under Windows authentication: one sentence for what went
// wrong and what to do, CR LF, "(", the driver's message, ")". Never "server not found" for a
// server that answered.
QString WindowsAuthFailureText(const TOrvel_WindowsAuthFailure &failure,
                               const QDateTime &now = QDateTime::currentDateTime());
// Reads the ticket and, when the server answered without refusing the user itself, asks the
// realm for the service ticket the driver needed.
TOrvel_WindowsAuthFailure ExamineWindowsAuthFailure(const TOrvel_ConnectionSettings &settings,
                                                    const EDbProviderError &error);

// Closes the connection and opens it with the settings. A provider error gives false and the
// failure text; other errors pass on to the caller.
bool OpenConnection(DbConnection &connection, const TOrvel_ConnectionSettings &settings,
                    QString *failureText);

// Fills the list with the server's user databases, upper-cased (ASCII letters only). Nothing
// happens when the connection is closed; errors of the query pass on to the caller.
void LoadDatabaseList(DbConnection &connection, QStringList &list);

// "USE " and the name in double quotes; a double quote inside the name is doubled, so the name
// cannot end the quoted identifier and add statements of its own.
QString UseDatabaseStatement(const QString &name);
// Makes the database current; any error gives false, silently.
bool UseDatabase(DbConnection &connection, const QString &name);

// The provider messages, one line each ("%08X.%08X.SOURCE - DESCRIPTION" and CR LF), leaving out
// the "no result" status 0x00040EC9.
QString ProviderMessagesText(const QList<TOrvel_ProviderMessage> &messages);
// The connection's pending provider messages as text; empties the list.
QString ConnectionErrorsText(DbConnection &connection);

// The names the plug-in library "libSQLServerInfo.so" in the plug-in folder reports, separated
// by ";"; "" without the library or its function "GetServers".
QString GetSQLServerList();

// Server lists: names separated by a character (a final separator adds no entry), names compared
// without regard to letter case, and the stored form (every entry followed by ","). A name that
// holds a "," ("host,port") or begins with a double quote is stored in double quotes with its
// inner quotes doubled, so that it reads back as one entry; lists without quotes read as they
// always did.
QStringList SplitServerNames(const QString &text, QChar separator);
QStringList SplitStoredServerNames(const QString &text);
bool ContainsServerName(const QStringList &list, const QString &name);
bool AppendServerName(QStringList &list, const QString &name); // false when already listed
QString JoinServerNames(const QStringList &list);
