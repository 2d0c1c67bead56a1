#pragma once
// The runner's commands over the report core: the catalogue, a report's information tree and
// parameter block, and a run whose result is saved through the export writers or printed.
#include <QStringList>

// Exit status: 0 success, 1 a report, connection or run failure, 2 wrong usage.
enum TOrvel_CliStatus { csSuccess = 0, csFailure = 1, csUsage = 2 };

// `arguments` without the program's name. Needs a QCoreApplication.
int RunCli(const QStringList &arguments);
