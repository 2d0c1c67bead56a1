#include "U_SafeFile.h"

#include "U_error.h"

#include <QDir>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace {

[[noreturn]] void Fail(const QString &path, const QString &reason) {
    throw EOrvelError(QStringLiteral("Nie można zapisać pliku \"%1\": %2")
                          .arg(QDir::toNativeSeparators(path), SystemErrorReason(reason)));
}

template <typename Text, typename Char> Text CrLfLines(const Text &text, Char cr, Char lf) {
    Text out;
    out.reserve(text.size() + text.size() / 16 + 2);
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (text.at(i) != cr && text.at(i) != lf)
            continue;
        out.append(text.mid(start, i - start));
        out.append(cr);
        out.append(lf);
        if (text.at(i) == cr && i + 1 < n && text.at(i + 1) == lf)
            ++i;
        start = i + 1;
    }
    if (start < n) {
        out.append(text.mid(start));
        out.append(cr);
        out.append(lf);
    }
    return out;
}

} // namespace

QString SystemErrorReason(const QString &reason) {
    // The toolkit words these four reasons itself, always in English; every other one it takes
    // from the C library, which speaks the user's language.
    static const struct {
        int Code;
        const char *Text;
    } english[] = {{EACCES, "Permission denied"},
                   {EMFILE, "Too many open files"},
                   {ENOENT, "No such file or directory"},
                   {ENOSPC, "No space left on device"}};
    for (const auto &known : english) {
        if (reason != QLatin1String(known.Text))
            continue;
        char buffer[256];
        // GNU strerror_r: thread-safe, worded under the process's LC_MESSAGES.
        return QString::fromLocal8Bit(strerror_r(known.Code, buffer, sizeof buffer)).trimmed();
    }
    return reason;
}

QByteArray ToCrLfLines(const QByteArray &bytes) {
    return CrLfLines(bytes, '\r', '\n');
}

QString ToCrLfLines(const QString &text) {
    return CrLfLines(text, QChar(u'\r'), QChar(u'\n'));
}

void SafeWriteFile(const QString &path, const QByteArray &bytes) {
    QSaveFile file(path);
    // Writing directly is never wanted: a failure must leave the old file as it was.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        Fail(path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        Fail(path, reason);
    }
    if (!file.commit())
        Fail(path, file.errorString());
}

void SafeWriteTextFile(const QString &path, const QByteArray &bytes) {
    SafeWriteFile(path, ToCrLfLines(bytes));
}

// TOrvel_SafeFileStream

TOrvel_SafeFileStream::TOrvel_SafeFileStream(const QString &path) : FPath(path), FFile(path) {
    // Writing directly is never wanted: a failure must leave the old file as it was.
    FFile.setDirectWriteFallback(false);
    if (!FFile.open(QIODevice::WriteOnly))
        Fail(FFile.errorString());
}

void TOrvel_SafeFileStream::Fail(const QString &reason) {
    if (FFile.isOpen())
        FFile.cancelWriting();
    ::Fail(FPath, reason);
}

void TOrvel_SafeFileStream::Write(const QByteArray &bytes) {
    if (FFile.write(bytes) != bytes.size())
        Fail(FFile.errorString());
}

void TOrvel_SafeFileStream::Commit() {
    if (!FFile.commit())
        Fail(FFile.errorString());
}
