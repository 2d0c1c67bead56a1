#pragma once
// The one way the system writes a file (the rule itself: U_FileTarget.h): a regular file goes
// into a temporary file beside it, renamed over it when complete, so that a failed write leaves
// the old file whole; a device, FIFO or socket is written in place; a folder is refused. A
// failure throws EOrvelError naming the file and the system's reason in the user's language.
#include "U_FileTarget.h"

#include <QByteArray>
#include <QString>

#include <memory>

void SafeWriteFile(const QString &path, const QByteArray &bytes);
// Text in an ASCII-compatible encoding, split into lines at every CR, LF or CR LF and written
// with CR LF after every line; a line break at the very end adds no empty line.
void SafeWriteTextFile(const QString &path, const QByteArray &bytes);
QByteArray ToCrLfLines(const QByteArray &bytes);
QString ToCrLfLines(const QString &text);

// A file error's reason as the user reads it: the few reasons the toolkit words in English are
// replaced by the C library's wording under the user's locale; others are returned as they are.
QString SystemErrorReason(const QString &reason);

// The system's text for an errno value, in the language of the process's locale.
QString SystemErrorText(int error);

// A file written in pieces by the same rule: for a regular file the pieces go to a temporary file
// beside the target, which Commit renames over it. A failure, or the end of the object without
// Commit, leaves the old file as it was. Failures throw EOrvelError naming the file and the reason.
class TOrvel_SafeFileStream {
public:
    explicit TOrvel_SafeFileStream(const QString &path);
    TOrvel_SafeFileStream(const TOrvel_SafeFileStream &) = delete;
    TOrvel_SafeFileStream &operator=(const TOrvel_SafeFileStream &) = delete;

    void Write(const QByteArray &bytes);
    void Commit();

    // For a writer that fills the file by name itself: the name of the temporary file until
    // Commit (empty when the target is written in place), and the target's folder.
    bool InPlace() const { return FTarget && FTarget->InPlace(); }
    QString WorkPath() const;
    QString Folder() const;
    const QString &Path() const { return FPath; }

private:
    [[noreturn]] void Fail();
    QString FPath;
    std::unique_ptr<TOrvel_FileTarget> FTarget;
};
