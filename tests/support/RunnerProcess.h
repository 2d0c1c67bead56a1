#pragma once
// The built command-line runner started as a user starts it: on an application folder of the
// test's own (also its working folder), without a controlling terminal, so that it can never stop
// to ask for a password.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

struct CliResult {
    int Status = -1; // -1 when the runner did not end by itself
    QByteArray Out;
    QString Err;
};

struct RunnerCall {
    QString AppFolder;
    // The environment the runner starts from; the Polish locale is always set in it.
    QProcessEnvironment Environment = DefaultEnvironment();
    std::optional<QString> Password; // ORVEL_PASSWORD, unset when none
    // Standard error on a pseudo-terminal (whose output comes back in Err), for what the runner
    // shows only on a terminal.
    bool Terminal = false;

    // PATH of this process, nothing else.
    static QProcessEnvironment DefaultEnvironment();
};

// Runs the runner with `--app-folder` and args to its end.
CliResult RunCli(const RunnerCall &call, const QStringList &args);
// Starts it and leaves it running; the caller owns the process.
QProcess *StartCli(const RunnerCall &call, const QStringList &args,
                   QProcess::ProcessChannelMode mode = QProcess::SeparateChannels,
                   QObject *parent = nullptr);
QString RunnerPath();

// An export without its time of creation, which differs between two runs; everything else must
// not.
QByteArray WithoutCreationTime(QByteArray bytes);
