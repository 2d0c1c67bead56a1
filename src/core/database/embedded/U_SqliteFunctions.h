#pragma once
// The T-SQL functions the embedded engine registers on each SQLite handle, and the conversions
// between SQLite values and the layer's values (null, qint64, double, QString, QByteArray).
#include "U_TSql.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

struct sqlite3;
struct sqlite3_value;
struct sqlite3_stmt;

namespace sqlitefn {

// Registers ISNULL, GETDATE, LEN, DB_NAME, date functions, CONVERT/CAST support, text helpers,
// and the Polish collation with T-SQL's LIKE (U_SqliteCollation).
// currentDatabase and databaseNames answer DB_NAME().
struct Context {
    std::function<QString()> currentDatabase;
    std::function<QStringList()> databaseNames;
};
void Register(sqlite3 *db, Context *context);

QVariant FromValue(sqlite3_value *value);
QVariant ColumnValue(sqlite3_stmt *stmt, int column);

// The T-SQL error a registered function last raised on this thread (none when none), read and
// reset by the engine when a statement fails.
std::optional<tsql::Error> TakeFunctionError();

} // namespace sqlitefn
