#pragma once
// Builds a benchmark's table: runs SQL on an SQLite database file through the sqlite3 API, apart
// from the system under measurement. False, with the engine's message on stderr, on an error.
#include <QByteArray>
#include <QString>

#include <sqlite3.h>

#include <cstdio>

inline bool ExecSqliteFile(const QString &file, const QByteArray &sql) {
    sqlite3 *db = nullptr;
    if (sqlite3_open(file.toUtf8().constData(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(file), sqlite3_errmsg(db));
        sqlite3_close(db);
        return false;
    }
    char *error = nullptr;
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK)
        std::fprintf(stderr, "building the table failed: %s\n", error ? error : "?");
    sqlite3_free(error);
    sqlite3_close(db);
    return rc == SQLITE_OK;
}
