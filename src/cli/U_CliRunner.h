#pragma once
// The runner's commands over the report core: the catalogue, a report's information tree and
// parameter block, and a run whose result is saved through the export writers or printed.
#include <QStringList>

// Exit status: 0 success, 1 a report, connection or run failure, 2 wrong usage.
// A run cancelled by SIGINT ends with 130, by SIGTERM with 143 (as a shell reports a process ended
// by the signal).
enum TOrvel_CliStatus {
    csSuccess = 0,
    csFailure = 1,
    csUsage = 2,
    csInterrupted = 130,
    csTerminated = 143
};

// `arguments` without the program's name. Needs a QCoreApplication.
int RunCli(const QStringList &arguments);
