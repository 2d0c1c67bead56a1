#include "U_Application.h"

#include "U_MessageBox.h"
#include "U_error.h"

#include <exception>

namespace {
QString &TitleStore() {
    static QString title = QStringLiteral("Orvel-Zestawnik");
    return title;
}
} // namespace

QString ApplicationTitle() {
    return TitleStore();
}

void SetApplicationTitle(const QString &title) {
    TitleStore() = title;
}

QString GeneralErrorText(const QString &message) {
    if (!message.isEmpty() && message.back() > QChar(u'.'))
        return message + u'.';
    return message;
}

void ShowGeneralError(const QString &message) {
    ShowMessage(QApplication::activeWindow(), TOrvel_MsgIcon::Error, ApplicationTitle(),
                GeneralErrorText(message));
}

bool RunGuarded(const std::function<void()> &handler) {
    try {
        handler();
        return true;
    } catch (const EOrvelError &e) {
        ShowGeneralError(e.message());
    } catch (const std::exception &e) {
        ShowGeneralError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

TOrvel_Application::TOrvel_Application(int &argc, char **argv) : QApplication(argc, argv) {}

bool TOrvel_Application::notify(QObject *receiver, QEvent *event) {
    bool handled = false;
    RunGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

namespace {
std::function<void()> &ExclamationHandler() {
    static std::function<void()> handler;
    return handler;
}
} // namespace

void PlayExclamation() {
    if (ExclamationHandler())
        ExclamationHandler()();
    else
        QApplication::beep();
}

std::function<void()> SetExclamationHandler(std::function<void()> handler) {
    std::function<void()> previous = std::move(ExclamationHandler());
    ExclamationHandler() = std::move(handler);
    return previous;
}
