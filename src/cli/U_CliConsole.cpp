#include "U_CliConsole.h"

#include <cstdio>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray ConsoleBytes(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text.toLocal8Bit();
}

void WriteTo(FILE *stream, const QString &text) {
    const QByteArray bytes = ConsoleBytes(text);
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// The terminal's descriptor, closed when it goes out of scope.
class TerminalHandle {
public:
    TerminalHandle() : FFd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~TerminalHandle() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TerminalHandle(const TerminalHandle &) = delete;
    TerminalHandle &operator=(const TerminalHandle &) = delete;
    int Fd() const { return FFd; }

private:
    int FFd;
};

// Echo off while it lives; the terminal's settings come back on every path.
class EchoOff {
public:
    explicit EchoOff(int fd) : FFd(fd) {
        FActive = ::tcgetattr(fd, &FSaved) == 0;
        if (FActive) {
            termios quiet = FSaved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            FActive = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff() {
        if (FActive)
            ::tcsetattr(FFd, TCSAFLUSH, &FSaved);
    }
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;
    bool Active() const { return FActive; }

private:
    int FFd;
    termios FSaved{};
    bool FActive = false;
};

} // namespace

void WriteOut(const QString &text) {
    WriteTo(stdout, text);
}
void WriteErr(const QString &text) {
    WriteTo(stderr, text);
}

std::optional<QString> AskPasswordOnTerminal(const QString &prompt) {
    TerminalHandle tty;
    if (tty.Fd() < 0 || !::isatty(tty.Fd()))
        return std::nullopt;
    const EchoOff echoOff(tty.Fd());
    if (!echoOff.Active())
        return std::nullopt; // never read a password that would show on the screen
    const QByteArray promptBytes = prompt.toLocal8Bit();
    if (::write(tty.Fd(), promptBytes.constData(), static_cast<std::size_t>(promptBytes.size())) <
        0)
        return std::nullopt;
    QByteArray line;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(tty.Fd(), &c, 1);
        if (n <= 0 || c == '\n')
            break;
        line.append(c);
    }
    if (line.endsWith('\r'))
        line.chop(1);
    QString password = QString::fromLocal8Bit(line);
    line.fill('\0'); // the typed bytes do not outlive the call
    return password;
}
