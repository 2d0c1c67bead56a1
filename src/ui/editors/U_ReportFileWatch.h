#pragma once
// Watches the open report's files for changes made outside the program. The content last read
// or written by the program is known for each file, so only a real change of the bytes on disk
// is told: the program's own saves (a replace by rename) and a mere touch pass unnoticed.
//
// Usage (the editors):
//   FWatch = new TOrvel_ReportFileWatch(this);
//   connect(FWatch, &TOrvel_ReportFileWatch::changed, ...);   // new content on disk
//   connect(FWatch, &TOrvel_ReportFileWatch::removed, ...);   // the file is gone
//   FWatch->Watch({scriptFile, definitionFile});               // after the report was loaded
//   FWatch->Known(path);                                       // after the program wrote it
#include <QByteArray>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

class TOrvel_ReportFileWatch : public QObject {
    Q_OBJECT
public:
    explicit TOrvel_ReportFileWatch(QObject *parent = nullptr);

    // Watches these files (empty names are skipped) from now on; what they hold now is known.
    void Watch(const QStringList &files);
    // Watches nothing.
    void Stop();
    // What the file holds now is the program's own (it has just written it).
    void Known(const QString &file);
    QStringList Files() const { return FKnown.keys(); }

    // Compares every watched file with what is known of it and tells each difference. The
    // watcher's notices lead here a moment later, once a write in progress has settled.
    void Check();

signals:
    void changed(const QString &file);
    void removed(const QString &file);

private:
    struct TState {
        bool Exists = false;
        QByteArray Digest;
        bool operator==(const TState &other) const = default;
    };
    static TState StateOf(const QString &file);
    void Rewatch();

    QFileSystemWatcher FWatcher;
    QTimer FSettle;
    QHash<QString, TState> FKnown;
};
