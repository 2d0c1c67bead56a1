#pragma once
// Shared fixtures of the test programs: a temporary application folder laid out like the real one.
#include <QString>
#include <QTemporaryDir>

// Source tree, built application folder (with data/ and "data reports/"), and build tree.
inline QString SourceDir() { return QStringLiteral(ORVEL_SOURCE_DIR); }
inline QString BuiltAppDir() { return QStringLiteral(ORVEL_APP_DIR); }
inline QString BinaryDir() { return QStringLiteral(ORVEL_BINARY_DIR); }

// Writes bytes to a file, creating its folder; returns false on failure.
bool WriteBytes(const QString &path, const QByteArray &bytes);
QByteArray ReadBytes(const QString &path);

// Runs SQL on an SQLite database file (made when missing); false on failure.
bool RunSqlite(const QString &file, const QByteArray &sql);

// Copies of the built demo data into a test's folders; each gives the path that could not be
// copied, empty when all were. The demo databases go into `folder`, the style sheet into the
// application folder's data/ and the sample reports into its "data reports/Przykłady".
QString CopyDemoDatabases(const QString &folder);
QString CopyStyleSheet(const QString &appFolder);
QString CopySampleReports(const QString &appFolder);
