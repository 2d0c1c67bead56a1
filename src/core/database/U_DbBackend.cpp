#include "U_DbBackend.h"

namespace {
const QLatin1String kEmbeddedPrefix("sqlite:");
}

bool IsEmbeddedServer(const QString &server) {
    return server.trimmed().startsWith(kEmbeddedPrefix, Qt::CaseInsensitive);
}

QString EmbeddedServerFolder(const QString &server) {
    return server.trimmed().mid(kEmbeddedPrefix.size()).trimmed();
}

std::unique_ptr<DbBackend> CreateBackend(const QString &server) {
    if (IsEmbeddedServer(server))
        return CreateSqliteBackend();
    return CreateOdbcBackend();
}
