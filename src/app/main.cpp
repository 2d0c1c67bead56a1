// The desktop program's entry: the splash window, the windows created once, the event loop.
#include "FU_Login.h"
#include "FU_Main.h"
#include "FU_Splash.h"
#include "U_AppLayout.h"
#include "U_Application.h"
#include "U_MessageBox.h"
#include "U_ReportFactory.h"
#include "U_Translations.h"
#include "U_error.h"

#include <QEventLoop>
#include <QIcon>
#include <QTimer>

int main(int argc, char *argv[]) {
    TOrvel_Application app(argc, argv);
    // The toolkit's dialogs and system error reasons speak the user's language.
    InstallToolkitTranslations(app, QLocale::system());

    // The desktop entry the window belongs to, for the desktop's task list and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("orvel-zestawnik"));
    // Installed, the icon theme holds the program's icon; a portable folder has none.
    if (QIcon::hasThemeIcon(QStringLiteral("orvel-zestawnik")))
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("orvel-zestawnik")));

    // An installed program fills the user's folder before anything reads it.
    try {
        PrepareAppFolder();
    } catch (const EOrvelError &e) {
        ShowMessage(nullptr, TOrvel_MsgIcon::Error, QStringLiteral("Orvel-Zestawnik"), e.message());
        return 1;
    }

    TF_Splash splash;
    splash.SetSplashInfo(QString());
    splash.show();
    splash.repaint();
    QCoreApplication::processEvents();

    // The splash stays on the screen for 1.5 seconds; the event loop keeps it painted.
    {
        QEventLoop wait;
        QTimer::singleShot(1500, &wait, &QEventLoop::quit);
        wait.exec();
    }

    SetApplicationTitle(QStringLiteral("Orvel-Zestawnik"));

    // The windows, each once, in this order; the dialogs live as long as the process.
    TF_Main mainWindow(ReportFactory());
    TF_Login login(&mainWindow);
    mainWindow.SetLoginWindow(&login);
    mainWindow.CreateDialogs();

    splash.hide();
    mainWindow.show();
    return app.exec();
}
