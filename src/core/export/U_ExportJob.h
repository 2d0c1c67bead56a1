#pragma once
// One export run on its own thread, so that the window keeps painting and answering while a
// large result is written. The job owns its writer; the caller keeps the result unchanged until
// `finished` (the application state disables every command that would change it). The thread
// that started the job reads the rows written so far at any time, may ask the job to stop (the
// writer then ends at its next block of rows, and the old file stays as it was), and is told
// of the end by the `finished` signal, delivered on its own thread.
//
//   auto job = std::make_unique<TOrvel_ExportJob>(std::move(writer), file);
//   connect(job.get(), &TOrvel_ExportJob::finished, ...);
//   job->Start();
//   ... job->Written(), job->Total(), job->Stop() ...
#include "U_DataExport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

enum class TOrvel_ExportEnd { Written, Stopped, Failed };

class TOrvel_ExportJob : public QObject {
    Q_OBJECT
public:
    // How the writer writes the file: its ExportToFile unless the writer has its own (the
    // spreadsheet).
    using TWrite = std::function<void(TOrvel_DataExport &writer, const QString &file)>;

    TOrvel_ExportJob(std::unique_ptr<TOrvel_DataExport> writer, const QString &file,
                     TWrite write = {}, QObject *parent = nullptr);
    // A job still running is stopped and waited for: its temporary file goes, the target stays.
    ~TOrvel_ExportJob() override;
    TOrvel_ExportJob(const TOrvel_ExportJob &) = delete;
    TOrvel_ExportJob &operator=(const TOrvel_ExportJob &) = delete;

    // How much the job's thread is niced below the window's (0: not at all); set before Start.
    int BackgroundNice = 4;
    void Start();
    // Asks the writer to stop; `finished` follows with Stopped (or Written when the file was
    // already in place).
    void Stop();
    bool IsRunning() const;
    bool StopAsked() const { return FStop.load(std::memory_order_relaxed); }

    const QString &FileName() const { return FFile; }
    int Written() const { return FWritten.load(std::memory_order_relaxed); }
    int Total() const { return FTotal.load(std::memory_order_relaxed); }
    // The writer no longer reads the result; it is finishing its file.
    bool RowsDone() const { return FRowsDone.load(); }

    // After `finished`: how it ended, the writer's error when it failed, and how long it took.
    TOrvel_ExportEnd End() const { return FEnd; }
    const QString &ErrorText() const { return FError; }
    qint64 ElapsedMs() const { return FElapsedMs; }
    TOrvel_DataExport &Writer() const { return *FWriter; }

signals:
    void finished();

private:
    void Work(); // on the job's thread

    std::unique_ptr<TOrvel_DataExport> FWriter;
    QString FFile;
    TWrite FWrite;
    std::unique_ptr<QThread> FThread;
    std::atomic<bool> FStop{false};
    std::atomic<int> FWritten{0};
    std::atomic<int> FTotal{0};
    std::atomic<bool> FRowsDone{false};
    QElapsedTimer FClock;
    // Written by the job's thread before it ends, read after `finished`.
    TOrvel_ExportEnd FEnd = TOrvel_ExportEnd::Failed;
    QString FError;
    qint64 FElapsedMs = 0;
};
