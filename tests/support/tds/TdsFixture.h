#pragma once
// The TDS test server as the test programs set it up: started on 127.0.0.1 over a folder of the
// embedded engine's databases with one SQL Server login, in clear, with TLS for the login only or
// for the whole session; and connections to it as the login window opens them, through our ODBC
// backend and the FreeTDS driver.
#include "TdsTestServer.h"
#include "U_Db.h"

#include <QString>

#include <memory>

// A started server, or null when it cannot listen.
std::unique_ptr<TdsTestServer>
StartTdsServer(const QString &folder, const QString &user, const QString &password,
               TdsTestServer::Encryption mode = TdsTestServer::Encryption::NotSupported);

// The login's settings for SQL Server authentication against the server, with a login time-out
// short enough that a refused login cannot hold a test up.
TOrvel_ConnectionSettings TdsSettings(const TdsTestServer &server, const QString &user,
                                      const QString &password);

// Opens the connection as the login does; `failure` receives the login's text of a failure.
bool ConnectTds(DbConnection &connection, const TdsTestServer &server, const QString &user,
                const QString &password, QString *failure = nullptr);

// A long result for a run to be stopped in: `count` rows of a number "n" and a text "t".
std::shared_ptr<DbResult> NumberedTextRows(int count);
