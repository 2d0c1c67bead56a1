#pragma once
// The application object and its general error message: an error that escapes an event handler is
// shown in a box with the application's title as caption, the error icon and the error's text, and
// the program goes on.
#include <QApplication>
#include <QString>

#include <functional>

class TOrvel_Application : public QApplication {
    Q_OBJECT
public:
    TOrvel_Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// The application title ("Orvel-Zestawnik 1.0.0.1891"), caption of the general error message and
// of the main window; the login window's caption starts with it.
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);

// The error's text as the general error message shows it: a full stop is added when the last
// character sorts after ".".
QString GeneralErrorText(const QString &message);
void ShowGeneralError(const QString &message);

// Runs a handler and shows any error it raises in the general error message; returns false when
// it raised one. Handlers use it so that an error never unwinds through the toolkit's frames.
bool RunGuarded(const std::function<void()> &handler);

// The system's exclamation sound (a refused close, a finished run); tests count it instead.
void PlayExclamation();
std::function<void()> SetExclamationHandler(std::function<void()> handler);
