#pragma once
// The embedded engine's failures in SQL Server's shape: the provider code and source of its
// messages, the errors of what the T-SQL layer does not run, and SQLite's own failures mapped onto
// the server's numbers, classes and texts.
#include "U_TSql.h"

#include <QString>

#include <cstdint>

struct sqlite3;

namespace sqliteengine {

using tsql::Error;
using tsql::Statement;
using tsql::Token;

// The provider code of errors in a command, and the source named in the engine's messages.
constexpr std::uint32_t kErrInCommand = 0x80040E14;
const QString kSource = QStringLiteral("Orvel-Zestawnik SQLite");

Error unsupported(const QString &what);
Error syntaxNear(const QString &near);
// A failed SQLite call in the server's shape. sql: the text the call was given.
Error sqliteError(sqlite3 *db, int rc, const QString &sql);

} // namespace sqliteengine
