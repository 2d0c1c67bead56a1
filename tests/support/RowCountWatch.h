#pragma once
// A result opened on a worker thread while the connection's count of the rows received so far is
// read, as the window's progress reads it: what the count showed on the way.
#include "U_Db.h"
#include "U_error.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <thread>

struct RowCountWatch {
    QString Failure;       // the open's error text, empty when it went well
    bool Partial = false;  // a count between none and the whole result was seen
    bool Monotonic = true; // the count never went down
};

// Announces the batch as a report's run does (the count of the batch before is gone), opens the
// query on a worker thread and reads the count every pollMsecs until the open ends.
inline RowCountWatch WatchRowCount(DbConnection &connection, DbQuery &query, qint64 rows,
                                   int pollMsecs) {
    RowCountWatch watch;
    connection.ExpectBatch();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            query.Open();
        } catch (const EOrvelError &e) {
            watch.Failure = e.message();
        }
        done = true;
    });
    qint64 last = 0;
    while (!done) {
        const qint64 seen = connection.RowsFetched();
        watch.Monotonic = watch.Monotonic && seen >= last;
        watch.Partial = watch.Partial || (seen > 0 && seen < rows);
        last = seen;
        QThread::msleep(pollMsecs);
    }
    worker.join();
    return watch;
}
