// The one place that chooses a backend for a server name; nothing else in the program knows the
// backends.
#include "U_DbBackend.h"
#include "U_OdbcBackend.h"
#include "U_SqliteBackend.h"

std::unique_ptr<DbBackend> CreateBackend(const QString &server) {
    if (IsEmbeddedServer(server))
        return CreateSqliteBackend();
    return CreateOdbcBackend();
}
