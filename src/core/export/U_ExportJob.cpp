#include "U_ExportJob.h"

#include "U_error.h"

#include <algorithm>
#include <cerrno>

#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

TOrvel_ExportJob::TOrvel_ExportJob(std::unique_ptr<TOrvel_DataExport> writer, const QString &file,
                                   TWrite write, QObject *parent)
    : QObject(parent), FWriter(std::move(writer)), FFile(file), FWrite(std::move(write)) {
    if (!FWrite)
        FWrite = [](TOrvel_DataExport &w, const QString &f) { w.ExportToFile(f); };
    FWriter->Stop = [this] { return FStop.load(std::memory_order_relaxed); };
    FWriter->Progress = [this](int written, int total) {
        FTotal.store(total, std::memory_order_relaxed);
        FWritten.store(written, std::memory_order_relaxed);
    };
    FWriter->RowsDone = [this] { FRowsDone.store(true); };
}

TOrvel_ExportJob::~TOrvel_ExportJob() {
    if (!FThread)
        return;
    FStop.store(true);
    FThread->wait();
}

void TOrvel_ExportJob::Start() {
    if (FThread)
        return;
    FClock.start();
    FThread.reset(QThread::create([this] { Work(); }));
    // Delivered on the thread that owns the job, after Work has stored the outcome.
    connect(FThread.get(), &QThread::finished, this, &TOrvel_ExportJob::finished,
            Qt::QueuedConnection);
    // As a run's worker: one step below normal, so the window stays first.
    FThread->start(QThread::LowPriority);
}

void TOrvel_ExportJob::Stop() {
    FStop.store(true, std::memory_order_relaxed);
}

bool TOrvel_ExportJob::IsRunning() const {
    return FThread && !FThread->isFinished();
}

void TOrvel_ExportJob::Work() {
    // Linux's normal scheduling ignores the thread priority QThread sets: the thread's own nice
    // value is what lets the window's thread win a contended core while the export runs (the
    // slices of rows the writers format on other threads inherit it).
    if (BackgroundNice > 0) {
        const auto self = static_cast<id_t>(gettid());
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, self);
        if (errno == 0)
            (void)setpriority(PRIO_PROCESS, self, std::min(nice + BackgroundNice, 19));
    }
    try {
        FWrite(*FWriter, FFile);
        FEnd = TOrvel_ExportEnd::Written;
    } catch (const EOrvelError &e) {
        // A stop asked for ends the export however the writer gave up.
        FEnd = StopAsked() ? TOrvel_ExportEnd::Stopped : TOrvel_ExportEnd::Failed;
        FError = e.message();
    } catch (const std::exception &e) {
        FEnd = StopAsked() ? TOrvel_ExportEnd::Stopped : TOrvel_ExportEnd::Failed;
        FError = QString::fromLocal8Bit(e.what());
    } catch (...) {
        FEnd = StopAsked() ? TOrvel_ExportEnd::Stopped : TOrvel_ExportEnd::Failed;
        FError = QStringLiteral("Nieznany błąd zapisu");
    }
    FElapsedMs = FClock.elapsed();
}
