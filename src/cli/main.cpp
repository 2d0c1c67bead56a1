// orvel-zestawnik-cli: runs reports from the command line on the desktop program's core.
#include "U_CliRunner.h"

#include <QCoreApplication>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvel-zestawnik-cli"));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return RunCli(arguments);
}
