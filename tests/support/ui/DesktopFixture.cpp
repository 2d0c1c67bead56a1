#include "DesktopFixture.h"

#include "TestSupport.h"
#include "U_AppState.h"
#include "U_ReportFactory.h"
#include "U_utils.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

QString DemoServer() {
    return QStringLiteral("sqlite:") + BuiltAppDir() + QStringLiteral("/data/demo");
}

QTreeWidgetItem *FindItem(QTreeWidget *tree, const QString &text) {
    const auto items = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return items.isEmpty() ? nullptr : items.first();
}

void WhenModal(std::function<void(QWidget *)> act, QWidget **seen) {
    auto *poll = new QTimer;
    poll->setInterval(10);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, act = std::move(act), seen] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog && ++*tries < 1000)
            return;
        poll->stop();
        poll->deleteLater();
        if (seen)
            *seen = dialog;
        if (dialog)
            act(dialog);
    });
    poll->start();
}

AppFolder::AppFolder(bool templates) {
    CopySampleReports(FDir.path());
    if (templates) {
        QDir().mkpath(Path() + QStringLiteral("data/template"));
        for (const char *name : {"default.sql", "default.xml"})
            QFile::copy(SourceDir() + QStringLiteral("/data/template/") + QLatin1String(name),
                        Path() + QStringLiteral("data/template/") + QLatin1String(name));
    }
    SetAppFolder(FDir.path());
}

AppFolder::~AppFolder() {
    SetAppFolder(QString());
}

Desktop::Desktop() {
    Main = std::make_unique<TF_Main>(ReportFactory());
    Login = std::make_unique<TF_Login>(Main.get());
    Main->SetLoginWindow(Login.get());
    Main->CreateDialogs();
    // The first showing opens the login at once: the tests log in themselves.
    Login->ModalRunner = [](TF_Login &) { return int(QDialog::Rejected); };
}

Desktop::~Desktop() {
    Login.reset();
    Main.reset();
}

bool Desktop::Show() {
    Main->show();
    QApplication::setActiveWindow(Main.get());
    if (!QTest::qWaitForWindowActive(Main.get()))
        return false;
    QCoreApplication::processEvents();
    return true;
}

bool Desktop::LogIn(const QString &server) {
    Login->ModalRunner = [server](TF_Login &login) {
        login.edServer->setEditText(server);
        return int(QDialog::Accepted);
    };
    Main->btnLoginClick();
    return Main->State() == asNoDatabase;
}

void Desktop::ChooseDatabase(const QString &name) {
    Main->listDB->setCurrentIndex(Main->listDB->findText(name));
    Main->listDBChange();
}

bool Desktop::Choose(const QString &node) {
    QTreeWidgetItem *item = FindItem(Main->tree, node);
    if (!item)
        return false;
    Main->tree->setCurrentItem(item);
    return true;
}

QWidget *Desktop::Input(const QString &name) const {
    return Main->ParamsPanel()->findChild<QWidget *>(QStringLiteral("ed") + name);
}

void LoggedInTest::init() {
    FFolder = std::make_unique<AppFolder>();
    FDesk = std::make_unique<Desktop>();
    QVERIFY(FDesk->Show());
    QVERIFY(FDesk->LogIn());
}

void LoggedInTest::cleanup() {
    FDesk.reset();
    FFolder.reset();
}
