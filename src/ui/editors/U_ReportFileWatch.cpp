#include "U_ReportFileWatch.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {
// A write in progress (an editor's temporary file, then its rename) gives several notices in a
// row; the files are looked at once they have settled.
constexpr int SettleMilliseconds = 150;
} // namespace

TOrvel_ReportFileWatch::TOrvel_ReportFileWatch(QObject *parent) : QObject(parent) {
    FSettle.setSingleShot(true);
    FSettle.setInterval(SettleMilliseconds);
    connect(&FSettle, &QTimer::timeout, this, &TOrvel_ReportFileWatch::Check);
    const auto notice = [this] { FSettle.start(); };
    connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, notice);
    // The folders too: a file replaced by rename drops out of the file watch, and a removed file
    // that comes back shows only in its folder.
    connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, notice);
}

TOrvel_ReportFileWatch::TState TOrvel_ReportFileWatch::StateOf(const QString &file) {
    TState state;
    QFile f(file);
    if (!QFileInfo(file).isFile() || !f.open(QIODevice::ReadOnly))
        return state;
    state.Exists = true;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&f);
    state.Digest = hash.result();
    return state;
}

void TOrvel_ReportFileWatch::Watch(const QStringList &files) {
    Stop();
    for (const QString &file : files)
        if (!file.isEmpty())
            FKnown.insert(file, StateOf(file));
    Rewatch();
}

void TOrvel_ReportFileWatch::Stop() {
    FSettle.stop();
    FKnown.clear();
    if (!FWatcher.files().isEmpty())
        FWatcher.removePaths(FWatcher.files());
    if (!FWatcher.directories().isEmpty())
        FWatcher.removePaths(FWatcher.directories());
}

void TOrvel_ReportFileWatch::Known(const QString &file) {
    if (!FKnown.contains(file))
        return;
    FKnown.insert(file, StateOf(file));
    Rewatch();
}

void TOrvel_ReportFileWatch::Rewatch() {
    const QStringList watchedFiles = FWatcher.files();
    const QStringList watchedFolders = FWatcher.directories();
    for (auto it = FKnown.cbegin(); it != FKnown.cend(); ++it) {
        const QFileInfo info(it.key());
        if (info.isFile() && !watchedFiles.contains(it.key()))
            FWatcher.addPath(it.key());
        const QString folder = info.absolutePath();
        if (QFileInfo(folder).isDir() && !watchedFolders.contains(folder) &&
            !FWatcher.directories().contains(folder))
            FWatcher.addPath(folder);
    }
}

void TOrvel_ReportFileWatch::Check() {
    QStringList changedFiles;
    QStringList removedFiles;
    for (auto it = FKnown.begin(); it != FKnown.end(); ++it) {
        const TState now = StateOf(it.key());
        if (now == it.value())
            continue;
        it.value() = now;
        (now.Exists ? changedFiles : removedFiles).append(it.key());
    }
    Rewatch();
    // Told after the bookkeeping: a receiver may reload the report and watch anew.
    for (const QString &file : std::as_const(removedFiles))
        emit removed(file);
    for (const QString &file : std::as_const(changedFiles))
        emit changed(file);
}
