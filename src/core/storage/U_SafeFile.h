#pragma once
// The one way the system writes a file: into a temporary file beside the target, renamed over it
// when complete, so that a failed write leaves the old file whole. A failure throws EOrvelError
// naming the file and the platform's reason.
#include <QByteArray>
#include <QString>

void SafeWriteFile(const QString &path, const QByteArray &bytes);
// Text in an ASCII-compatible encoding, split into lines at every CR, LF or CR LF and written
// with CR LF after every line; a line break at the very end adds no empty line.
void SafeWriteTextFile(const QString &path, const QByteArray &bytes);
QByteArray ToCrLfLines(const QByteArray &bytes);
QString ToCrLfLines(const QString &text);
