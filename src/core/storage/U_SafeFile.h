#pragma once
// The one way the system writes a file: into a temporary file beside the target, renamed over it
// when complete, so that a failed write leaves the old file whole. A failure throws EOrvelError
// naming the file and the platform's reason.
#include <QByteArray>
#include <QSaveFile>
#include <QString>

void SafeWriteFile(const QString &path, const QByteArray &bytes);
// Text in an ASCII-compatible encoding, split into lines at every CR, LF or CR LF and written
// with CR LF after every line; a line break at the very end adds no empty line.
void SafeWriteTextFile(const QString &path, const QByteArray &bytes);
QByteArray ToCrLfLines(const QByteArray &bytes);
QString ToCrLfLines(const QString &text);

// A file error's reason as the user reads it: the few reasons the toolkit words in English are
// replaced by the C library's wording under the user's locale; others are returned as they are.
QString SystemErrorReason(const QString &reason);

// A file written in pieces and replaced safely: the pieces go to a temporary file beside the
// target, which Commit renames over it. A failure, or the end of the object without Commit,
// leaves the old file as it was. Failures throw EOrvelError naming the file and the reason.
class TOrvel_SafeFileStream {
public:
    explicit TOrvel_SafeFileStream(const QString &path);
    TOrvel_SafeFileStream(const TOrvel_SafeFileStream &) = delete;
    TOrvel_SafeFileStream &operator=(const TOrvel_SafeFileStream &) = delete;

    void Write(const QByteArray &bytes);
    void Commit();

private:
    [[noreturn]] void Fail(const QString &reason);
    QString FPath;
    QSaveFile FFile;
};
