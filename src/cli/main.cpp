// orvel-zestawnik-cli: runs reports from the command line on the desktop program's core.
#include "U_CliRunner.h"
#include "U_Translations.h"

#include <QCoreApplication>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvel-zestawnik-cli"));
    // A file error's system reason in the user's language, as in the desktop program.
    InstallToolkitTranslations(app, QLocale::system());
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return RunCli(arguments);
}
