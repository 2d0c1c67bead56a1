#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

bool WriteBytes(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool RunSqlite(const QString &file, const QByteArray &sql) {
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(file.toUtf8().constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

namespace {

// Copies the files of one folder into another (made when missing).
QString CopyFiles(const QString &from, const QString &to, const QStringList &names) {
    if (!QDir().mkpath(to))
        return to;
    for (const QString &name : names)
        if (!QFile::copy(from + u'/' + name, to + u'/' + name))
            return from + u'/' + name;
    return {};
}

} // namespace

QString CopyDemoDatabases(const QString &folder) {
    return CopyFiles(BuiltAppDir() + QStringLiteral("/data/demo"), folder,
                     {QStringLiteral("Hurtownia.sqlite"), QStringLiteral("Kadry.sqlite")});
}

QString CopyStyleSheet(const QString &appFolder) {
    return CopyFiles(SourceDir() + QStringLiteral("/data"), appFolder + QStringLiteral("/data"),
                     {QStringLiteral("export.css")});
}

QString CopySampleReports(const QString &appFolder) {
    const QString samples = SourceDir() + QStringLiteral("/data/data reports/Przykłady");
    return CopyFiles(samples, appFolder + QStringLiteral("/data reports/Przykłady"),
                     QDir(samples).entryList(QDir::Files));
}
