#pragma once
// The desktop program's main window as the tests set it up: a temporary application folder with
// the sample reports, the main window with the real report object and login window, and the
// login to the demo databases of the build.
#include "FU_Login.h"
#include "FU_Main.h"

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// The embedded engine's server of the built demo databases.
QString DemoServer();

// The item of a tree with this text, at any level; null when there is none.
QTreeWidgetItem *FindItem(QTreeWidget *tree, const QString &text);

// Acts on the next modal dialog as soon as it is shown (the caller then opens it with exec()).
// `seen` receives the dialog that was met.
void WhenModal(std::function<void(QWidget *)> act, QWidget **seen = nullptr);

// A temporary application folder with the sample reports (and, when asked, the report
// templates); it is the application folder for the time of its life.
class AppFolder {
public:
    explicit AppFolder(bool templates = false);
    ~AppFolder();
    AppFolder(const AppFolder &) = delete;
    AppFolder &operator=(const AppFolder &) = delete;
    QString Path() const { return FDir.path() + u'/'; }
    QString Reports() const { return Path() + QStringLiteral("data reports/Przykłady/"); }

private:
    QTemporaryDir FDir;
};

// The main window with the real report object and login window. Every test starts from the first
// start (no preferences).
class Desktop {
public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop &) = delete;
    Desktop &operator=(const Desktop &) = delete;
    // Shows the window and makes it active, as the user has it.
    bool Show();
    // Logs in through the login window (answered with the server given); true when the window
    // then waits for a database.
    bool LogIn(const QString &server = DemoServer());
    void ChooseDatabase(const QString &name);
    // Makes a node of the report tree current; false when the tree has none of that name.
    bool Choose(const QString &node);
    // The parameter panel's input of a parameter.
    QWidget *Input(const QString &name) const;

    std::unique_ptr<TF_Main> Main;
    std::unique_ptr<TF_Login> Login;
};

// Every test of a class derived from this one starts logged in to the demo data, in the shown
// window, in an application folder of its own.
class LoggedInTest : public QObject {
    Q_OBJECT
protected:
    std::unique_ptr<AppFolder> FFolder;
    std::unique_ptr<Desktop> FDesk;
    TF_Main *Main() const { return FDesk->Main.get(); }

private slots:
    void init();
    void cleanup();
};
