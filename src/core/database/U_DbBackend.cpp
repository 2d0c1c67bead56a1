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

DbBatchOutcome DbBackend::ExecBatch(const QString &sql, int timeoutSeconds, bool firstResultOnly,
                                    DbRowSink *sink) {
    {
        std::lock_guard lock(FRunLock);
        // A request left from before is stale unless this batch was announced.
        if (!FActive)
            FCancelRequested = false;
        FActive = true;
    }
    FRowsFetched.store(0, std::memory_order_relaxed);
    DbBatchOutcome outcome;
    try {
        outcome = RunBatch(sql, timeoutSeconds, firstResultOnly, sink);
    } catch (...) {
        std::lock_guard lock(FRunLock);
        FActive = false;
        FCancelRequested = false;
        throw;
    }
    std::lock_guard lock(FRunLock);
    if (FCancelRequested) {
        // What the batch produced up to the cancel (rows, the driver's "cancelled" records) is
        // dropped: the user asked for nothing of it.
        outcome = DbBatchOutcome();
        outcome.Cancelled = true;
    }
    FActive = false;
    FCancelRequested = false;
    return outcome;
}

void DbBackend::Cancel() {
    std::lock_guard lock(FRunLock);
    if (!FActive)
        return;
    FCancelRequested = true;
    InterruptBatch();
}

void DbBackend::ExpectBatch() {
    std::lock_guard lock(FRunLock);
    FActive = true;
    FCancelRequested = false;
    // The rows of the batch before are not those of the one on its way.
    FRowsFetched.store(0, std::memory_order_relaxed);
}
