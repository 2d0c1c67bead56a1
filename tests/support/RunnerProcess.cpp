#include "RunnerProcess.h"

#include "TestSupport.h"

#include <QRegularExpression>

#include <pty.h>
#include <unistd.h>

#include <thread>

namespace {

QProcessEnvironment RunnerEnvironment(const RunnerCall &call) {
    QProcessEnvironment env = call.Environment;
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("pl_PL.UTF-8"));
    if (call.Password)
        env.insert(QStringLiteral("ORVEL_PASSWORD"), *call.Password);
    return env;
}

} // namespace

QProcessEnvironment RunnerCall::DefaultEnvironment() {
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    return env;
}

QString RunnerPath() {
    return BuiltAppDir() + QStringLiteral("/orvel-zestawnik-cli");
}

QProcess *StartCli(const RunnerCall &call, const QStringList &args,
                   QProcess::ProcessChannelMode mode, QObject *parent) {
    auto *process = new QProcess(parent);
    process->setProcessEnvironment(RunnerEnvironment(call));
    process->setProcessChannelMode(mode);
    process->setChildProcessModifier([] { ::setsid(); });
    process->setWorkingDirectory(call.AppFolder);
    process->start(RunnerPath(),
                   QStringList{QStringLiteral("--app-folder"), call.AppFolder} + args);
    return process;
}

CliResult RunCli(const RunnerCall &call, const QStringList &args) {
    int master = -1;
    int slave = -1;
    if (call.Terminal && ::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return {};
    QByteArray seen;
    std::thread reader;
    QProcess process;
    process.setProcessEnvironment(RunnerEnvironment(call));
    process.setChildProcessModifier([slave] {
        ::setsid();
        if (slave >= 0)
            ::dup2(slave, STDERR_FILENO);
    });
    process.setWorkingDirectory(call.AppFolder);
    process.start(RunnerPath(), QStringList{QStringLiteral("--app-folder"), call.AppFolder} + args);
    if (call.Terminal) {
        // Read while the runner writes, so that a full terminal buffer never holds it up; the
        // reads end when the runner's side is closed.
        ::close(slave);
        reader = std::thread([master, &seen] {
            char buffer[4096];
            for (;;) {
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                seen.append(buffer, n);
            }
        });
    }
    CliResult r;
    const bool finished = process.waitForFinished(300000);
    if (!finished)
        process.kill();
    process.waitForFinished();
    if (call.Terminal) {
        reader.join();
        ::close(master);
    }
    if (!finished || process.exitStatus() != QProcess::NormalExit)
        return r;
    r.Status = process.exitCode();
    r.Out = process.readAllStandardOutput();
    r.Err =
        call.Terminal ? QString::fromUtf8(seen) : QString::fromUtf8(process.readAllStandardError());
    return r;
}

QByteArray WithoutCreationTime(QByteArray bytes) {
    static const QRegularExpression xmlDate(QStringLiteral("<date>[^<]*</date>"));
    static const QRegularExpression pageDate(QStringLiteral("Data utworzenia: [^<]*</p>"));
    QString text = QString::fromLatin1(bytes);
    text.replace(xmlDate, QStringLiteral("<date/>"));
    text.replace(pageDate, QStringLiteral("Data utworzenia: -</p>"));
    return text.toLatin1();
}
