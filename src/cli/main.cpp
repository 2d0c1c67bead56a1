// orvel-zestawnik-cli: runs reports from the command line on the desktop program's core.
#include "U_CliRunner.h"
#include "U_Translations.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstring>
#include <memory>

int main(int argc, char *argv[]) {
    // A PDF is drawn with fonts, which need the toolkit's graphical side: without a display, on
    // the off-screen platform. Every other command stays without it.
    bool pdf = false;
    for (int i = 1; i < argc; ++i)
        pdf = pdf || std::strcmp(argv[i], "--pdf") == 0 || std::strncmp(argv[i], "--pdf=", 6) == 0;
    if (pdf && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The toolkit's notes about the desktop session while its graphical side starts (no runtime
    // folder of a session, say) are no concern of a run and would read as its errors.
    const QtMessageHandler previous =
        pdf ? qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {})
            : nullptr;
    std::unique_ptr<QCoreApplication> application =
        pdf ? std::make_unique<QGuiApplication>(argc, argv)
            : std::make_unique<QCoreApplication>(argc, argv);
    if (pdf)
        qInstallMessageHandler(previous);
    QCoreApplication &app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("orvel-zestawnik-cli"));
    // A file error's system reason in the user's language, as in the desktop program.
    InstallToolkitTranslations(app, QLocale::system());
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return RunCli(arguments);
}
