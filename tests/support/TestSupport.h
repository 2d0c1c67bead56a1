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
