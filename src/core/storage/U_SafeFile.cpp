#include "U_SafeFile.h"

#include "U_error.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

namespace {

[[noreturn]] void Fail(const QString &path, int error) {
    throw EOrvelError(QStringLiteral("Nie można zapisać pliku \"%1\": %2")
                          .arg(QDir::toNativeSeparators(path), SystemErrorText(error)));
}

std::string NativeName(const QString &path) {
    return QFile::encodeName(path).toStdString();
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

QString SystemErrorText(int error) {
    char buffer[256];
    // The GNU strerror_r: thread-safe, and worded in the language of LC_MESSAGES.
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

void SafeWriteFile(const QString &path, const QByteArray &bytes) {
    if (const int error = WriteFileTarget(NativeName(path), bytes.constData(),
                                          static_cast<std::size_t>(bytes.size())))
        Fail(path, error);
}

void SafeWriteTextFile(const QString &path, const QByteArray &bytes) {
    SafeWriteFile(path, ToCrLfLines(bytes));
}

// TOrvel_SafeFileStream

TOrvel_SafeFileStream::TOrvel_SafeFileStream(const QString &path)
    : FPath(path), FTarget(std::make_unique<TOrvel_FileTarget>(NativeName(path))) {
    if (FTarget->Error() != 0)
        Fail();
}

void TOrvel_SafeFileStream::Fail() {
    const int error = FTarget ? FTarget->Error() : EBADF;
    FTarget.reset(); // a temporary file goes at once, not when the stream object does
    ::Fail(FPath, error);
}

void TOrvel_SafeFileStream::Write(const QByteArray &bytes) {
    if (!FTarget || !FTarget->Write(bytes.constData(), static_cast<std::size_t>(bytes.size())))
        Fail();
}

void TOrvel_SafeFileStream::Commit() {
    if (!FTarget || !FTarget->Commit())
        Fail();
}

QString TOrvel_SafeFileStream::WorkPath() const {
    return FTarget ? QFile::decodeName(QByteArray::fromStdString(FTarget->WorkPath())) : QString();
}

QString TOrvel_SafeFileStream::Folder() const {
    return FTarget ? QFile::decodeName(QByteArray::fromStdString(FTarget->Folder())) : QString();
}
