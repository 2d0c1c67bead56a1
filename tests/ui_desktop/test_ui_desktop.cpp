// The desktop program as a well-kept desktop program: the toolkit's own texts in Polish, the
// editors' menu, and (in the classes below) the keyboard, the window's remembered place and the
// window's feedback.
#include "DbLookupList.h"
#include "FU_Login.h"
#include "FU_Main.h"
#include "TestSupport.h"
#include "U_AppState.h"
#include "U_Application.h"
#include "U_Db.h"
#include "U_ExportCommands.h"
#include "U_MessageBox.h"
#include "U_Parameters.h"
#include "U_ReportFactory.h"
#include "U_SqlEditor.h"
#include "U_Translations.h"
#include "U_locale.h"
#include "U_settings.h"
#include "U_utils.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

QString DemoServer() {
    return QStringLiteral("sqlite:") + BuiltAppDir() + QStringLiteral("/data/demo");
}

// A temporary application folder with the sample reports.
class AppFolder {
public:
    AppFolder() {
        const QString source = SourceDir() + QStringLiteral("/data/data reports/Przykłady");
        const QString target = Path() + QStringLiteral("data reports/Przykłady/");
        QDir().mkpath(target);
        const auto files = QDir(source).entryList(QDir::Files);
        for (const QString &file : files)
            QFile::copy(source + u'/' + file, target + file);
        SetAppFolder(FDir.path());
    }
    ~AppFolder() { SetAppFolder(QString()); }
    QString Path() const { return FDir.path() + u'/'; }

private:
    QTemporaryDir FDir;
};

QTreeWidgetItem *FindItem(QTreeWidget *tree, const QString &text) {
    const auto items = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return items.isEmpty() ? nullptr : items.first();
}

// Acts on the next modal dialog as soon as it is shown (the caller then opens it).
void WhenModal(std::function<void(QWidget *)> act) {
    auto *poll = new QTimer;
    poll->setInterval(10);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, act = std::move(act)] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog && ++*tries < 1000)
            return;
        poll->stop();
        poll->deleteLater();
        if (dialog)
            act(dialog);
    });
    poll->start();
}

// The main window with the real report object and login window, shown and active, as the user
// has it. Every test starts from the first start (no preferences).
class Desktop {
public:
    Desktop() {
        Main = std::make_unique<TF_Main>(ReportFactory());
        Login = std::make_unique<TF_Login>(Main.get());
        Main->SetLoginWindow(Login.get());
        Main->CreateDialogs();
        // The first showing opens the login at once: the tests log in themselves.
        Login->ModalRunner = [](TF_Login &) { return int(QDialog::Rejected); };
    }
    ~Desktop() {
        Login.reset();
        Main.reset();
    }
    bool Show() {
        Main->show();
        QApplication::setActiveWindow(Main.get());
        if (!QTest::qWaitForWindowActive(Main.get()))
            return false;
        QCoreApplication::processEvents();
        return true;
    }
    bool LogIn(const QString &server = DemoServer()) {
        Login->ModalRunner = [server](TF_Login &login) {
            login.edServer->setEditText(server);
            return int(QDialog::Accepted);
        };
        Main->btnLoginClick();
        return Main->State() == asNoDatabase;
    }
    void ChooseDatabase(const QString &name) {
        Main->listDB->setCurrentIndex(Main->listDB->findText(name));
        Main->listDBChange();
    }
    bool Choose(const QString &node) {
        QTreeWidgetItem *item = FindItem(Main->tree, node);
        if (!item)
            return false;
        Main->tree->setCurrentItem(item);
        return true;
    }
    QWidget *Input(const QString &name) const {
        return Main->ParamsPanel()->findChild<QWidget *>(QStringLiteral("ed") + name);
    }
    std::unique_ptr<TF_Main> Main;
    std::unique_ptr<TF_Login> Login;
};

} // namespace

// Every test of a class derived from this one starts logged in to the demo data, in an
// application folder of its own.
class LoggedInTest : public QObject {
    Q_OBJECT
protected:
    std::unique_ptr<AppFolder> FFolder;
    std::unique_ptr<Desktop> FDesk;
    TF_Main *Main() const { return FDesk->Main.get(); }

private slots:
    void init() {
        FFolder = std::make_unique<AppFolder>();
        FDesk = std::make_unique<Desktop>();
        QVERIFY(FDesk->Show());
        QVERIFY(FDesk->LogIn());
    }
    void cleanup() {
        FDesk.reset();
        FFolder.reset();
    }
};

class TranslationsTest : public QObject {
    Q_OBJECT
private slots:
    void standardButtonsSpeakPolish_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("yes") << int(QMessageBox::Yes) << QStringLiteral("&Tak");
        QTest::newRow("no") << int(QMessageBox::No) << QStringLiteral("&Nie");
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << QStringLiteral("Anuluj");
        QTest::newRow("save") << int(QMessageBox::Save) << QStringLiteral("Zachowaj");
    }
    void standardButtonsSpeakPolish() {
        QFETCH(int, button);
        QFETCH(QString, text);
        QMessageBox box(QMessageBox::Question, QStringLiteral("x"), QStringLiteral("y"),
                        QMessageBox::StandardButton(button));
        QCOMPARE(box.button(QMessageBox::StandardButton(button))->text(), text);
    }

    void editorMenuSpeaksPolish() {
        TOrvel_SqlEditor editor;
        editor.SetEditorText(QStringLiteral("SELECT 1"));
        editor.setReadOnly(false);
        editor.selectAll();
        std::unique_ptr<QMenu> menu(editor.CreateEditMenu(nullptr));
        QStringList captions;
        for (QAction *action : menu->actions())
            if (!action->isSeparator())
                captions.append(action->text());
        QCOMPARE(captions, (QStringList{"&Cofnij", "&Ponów", "Wy&tnij", "&Kopiuj", "&Wklej",
                                        "&Usuń", "&Zaznacz wszystko"}));
        // What the menu offers follows the editor: a read-only editor only copies and selects.
        editor.setReadOnly(true);
        menu.reset(editor.CreateEditMenu(nullptr));
        QStringList enabled;
        for (QAction *action : menu->actions())
            if (!action->isSeparator() && action->isEnabled())
                enabled.append(action->text());
        QCOMPARE(enabled, (QStringList{"&Kopiuj", "&Zaznacz wszystko"}));
    }

    void cutThroughTheMenu() {
        TOrvel_SqlEditor editor;
        editor.SetEditorText(QStringLiteral("abc"));
        editor.setReadOnly(false);
        editor.selectAll();
        std::unique_ptr<QMenu> menu(editor.CreateEditMenu(nullptr));
        menu->actions().at(3)->trigger(); // "Wytnij"
        QCOMPARE(editor.text(), QString());
    }
};

// ---------------------------------------------------------------------------------------------

class ResultCaptionTest : public QObject {
    Q_OBJECT
private slots:
    void pluralForms_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("caption");
        const std::pair<int, const char *> table[] = {{1, "1 pozycja"},
                                                      {2, "2 pozycje"},
                                                      {4, "4 pozycje"},
                                                      {5, "5 pozycji"},
                                                      {11, "11 pozycji"},
                                                      {12, "12 pozycji"},
                                                      {14, "14 pozycji"},
                                                      {21, "21 pozycji"},
                                                      {22, "22 pozycje"},
                                                      {24, "24 pozycje"},
                                                      {25, "25 pozycji"},
                                                      {101, "101 pozycji"},
                                                      {102, "102 pozycje"},
                                                      {112, "112 pozycji"},
                                                      {113, "113 pozycji"},
                                                      {122, "122 pozycje"},
                                                      {1000000, "1000000 pozycji"},
                                                      {1000002, "1000002 pozycje"}};
        for (const auto &[count, caption] : table)
            QTest::newRow(caption)
                << count << QStringLiteral("Wynik (%1)").arg(QString::fromUtf8(caption));
    }
    void pluralForms() {
        QFETCH(int, count);
        QFETCH(QString, caption);
        QCOMPARE(ResultCountCaption(count), caption);
    }
};

// ---------------------------------------------------------------------------------------------

class KeyboardTest : public LoggedInTest {
    Q_OBJECT
private:
    // Presses the keys on the widget with the focus and waits for the run they start to end.
    void PressAndWaitForTheRun(int key, Qt::KeyboardModifiers modifiers) {
        QWidget *target = QApplication::focusWidget();
        QVERIFY(target);
        QTest::keyClick(target, Qt::Key(key), modifiers);
        QTRY_COMPARE_WITH_TIMEOUT(Main()->State(), asReady, 60000);
    }

private slots:
    void loginLeavesTheFocusInTheDatabaseList() {
        QCOMPARE(QApplication::focusWidget(), Main()->listDB);
    }

    void databaseChosenWithArrowsKeepsTheFocus() {
        Main()->listDB->setFocus();
        QTest::keyClick(Main()->listDB, Qt::Key_Down);
        QCOMPARE(Main()->State(), asReady);
        QCOMPARE(Main()->listDB->currentText(), QStringLiteral("HURTOWNIA"));
        QCOMPARE(QApplication::focusWidget(), Main()->listDB);
        QTest::keyClick(Main()->listDB, Qt::Key_Down);
        QCOMPARE(Main()->listDB->currentText(), QStringLiteral("KADRY"));
        QCOMPARE(QApplication::focusWidget(), Main()->listDB);
    }

    void reportChosenWithArrowsKeepsTheFocus() {
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QTreeWidget *tree = Main()->tree;
        QTreeWidgetItem *folder = FindItem(tree, QStringLiteral("Przykłady"));
        QVERIFY(folder);
        tree->setFocus();
        tree->setCurrentItem(folder);
        tree->expandItem(folder);
        QStringList chosen;
        for (int i = 0; i < folder->childCount(); ++i) {
            QTest::keyClick(tree, Qt::Key_Down);
            QCOMPARE(QApplication::focusWidget(), tree);
            QCOMPARE(Main()->State(), asReady);
            chosen << tree->currentItem()->text(0);
        }
        QCOMPARE(chosen.size(), folder->childCount());
        QCOMPARE(chosen.last(), folder->child(folder->childCount() - 1)->text(0));
    }

    void keysTypedWhileAReportLoadsAreNotLost() {
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QTreeWidget *tree = Main()->tree;
        QTreeWidgetItem *folder = FindItem(tree, QStringLiteral("Przykłady"));
        QVERIFY(folder && folder->childCount() >= 3);
        tree->setFocus();
        tree->setCurrentItem(folder);
        tree->expandItem(folder);
        // Two more presses are waiting while the first one loads its report; each reaches the
        // control that has the focus at the moment it is handled, as the window system's keys do.
        for (int i = 0; i < 2; ++i)
            QMetaObject::invokeMethod(
                qApp,
                [] {
                    // Without a focused control the window itself gets the key.
                    QWidget *focus = QApplication::focusWidget();
                    QTest::keyClick(focus ? focus : QApplication::activeWindow(), Qt::Key_Down);
                },
                Qt::QueuedConnection);
        QTest::keyClick(tree, Qt::Key_Down);
        QTRY_COMPARE(tree->currentItem(), folder->child(2));
        QCOMPARE(QApplication::focusWidget(), tree);
        QCOMPARE(Main()->State(), asReady);
        QCOMPARE(Main()->labTitle->text(), u' ' + folder->child(2)->text(0));
    }

    void runKeys_data() {
        QTest::addColumn<QString>("focus"); // "tree" or a parameter's input
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("F5 in the tree") << "tree" << int(Qt::Key_F5) << int(Qt::NoModifier);
        QTest::newRow("Ctrl+Return in the tree")
            << "tree" << int(Qt::Key_Return) << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+Enter (keypad) in the tree")
            << "tree" << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::KeypadModifier);
        QTest::newRow("F5 in a text input") << "Fraza" << int(Qt::Key_F5) << int(Qt::NoModifier);
        QTest::newRow("Enter in a text input")
            << "Fraza" << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("Enter in a check box")
            << "TylkoAktywne" << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("Enter in a closed pick list")
            << "Kategoria" << int(Qt::Key_Return) << int(Qt::NoModifier);
    }
    void runKeys() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(FDesk->Choose(QStringLiteral("Stany magazynowe")));
        QWidget *target = focus == QLatin1String("tree") ? Main()->tree : FDesk->Input(focus);
        QVERIFY2(target, qPrintable(focus));
        target->setFocus();
        QCOMPARE(QApplication::focusWidget(), target);
        QCOMPARE(Main()->labInfo->text(), QStringLiteral(" Wynik"));
        PressAndWaitForTheRun(key, Qt::KeyboardModifiers(modifiers));
        QVERIFY2(Main()->labInfo->text().startsWith(QStringLiteral(" Wynik (")),
                 qPrintable(Main()->labInfo->text()));
        // The user goes on where the run was asked for.
        QCOMPARE(QApplication::focusWidget(), target);
    }

    void enterInAnOpenListChoosesWithoutRunning() {
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(FDesk->Choose(QStringLiteral("Stany magazynowe")));
        auto *list = qobject_cast<QComboBox *>(FDesk->Input(QStringLiteral("Kategoria")));
        QVERIFY(list);
        list->setFocus();
        list->showPopup();
        QTRY_VERIFY(list->view()->isVisible());
        QTest::keyClick(list->view(), Qt::Key_Down);
        const int row = list->view()->currentIndex().row();
        QVERIFY(row >= 0);
        QTest::keyClick(list->view(), Qt::Key_Return);
        QTRY_VERIFY(!list->view()->isVisible());
        QCOMPARE(list->currentIndex(), row);
        QCoreApplication::processEvents();
        QCOMPARE(Main()->State(), asReady);
        QCOMPARE(Main()->labInfo->text(), QStringLiteral(" Wynik"));
    }

    void runWithoutADatabaseIsRefused() {
        // A report that names no default database, chosen before any database.
        const QString definition =
            FFolder->Path() + QStringLiteral("data reports/Przykłady/Stany magazynowe.xml");
        QByteArray xml = ReadBytes(definition);
        xml.replace("<defaultdb>Hurtownia</defaultdb>", "");
        QVERIFY(WriteBytes(definition, xml));
        TOrvel_MessageRecorder boxes;
        QVERIFY(FDesk->Choose(QStringLiteral("Stany magazynowe")));
        QCOMPARE(Main()->listDB->currentIndex(), -1);
        QCOMPARE(Main()->State(), asReady);
        Main()->tree->setFocus();
        QTest::keyClick(Main()->tree, Qt::Key_F5);
        QCOMPARE(Main()->State(), asReady);
        QCOMPARE(Main()->StatusText(1), QStringLiteral("Wybierz bazę danych"));
        QCOMPARE(Main()->labInfo->text(), QStringLiteral(" Wynik"));
        QVERIFY(boxes.Messages().empty());
        // The button says the same.
        Main()->btnRun->click();
        QCOMPARE(Main()->StatusText(1), QStringLiteral("Wybierz bazę danych"));
        QVERIFY(boxes.Messages().empty());
    }

    void hintsNameTheKeys_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("hint");
        QTest::newRow("login") << "btnLogin"
                               << "Login (Alt+L)";
        QTest::newRow("new") << "btnNew"
                             << "Nowy (Alt+N)";
        QTest::newRow("save") << "btnSave"
                              << "Zapisz (Alt+Z)";
        QTest::newRow("run") << "btnRun"
                             << "Uruchom (F5, Ctrl+Return)";
        QTest::newRow("format") << "btnFormat"
                                << "Format wyniku (Alt+F)";
        QTest::newRow("settings") << "btnSettings"
                                  << "Ustawienia (Alt+T)";
        QTest::newRow("about") << "btnAbout"
                               << "O programie (Alt+O)";
    }
    void hintsNameTheKeys() {
        QFETCH(QString, button);
        QFETCH(QString, hint);
        auto *widget = Main()->findChild<QToolButton *>(button);
        QVERIFY(widget);
        QCOMPARE(widget->toolTip(), hint);
    }

    void altKeysReachTheCommands() {
        QTest::keyClick(Main(), Qt::Key_R, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), Main()->tree);
        QTest::keyClick(Main(), Qt::Key_B, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), Main()->listDB);
        // Alt+L opens the login window.
        bool asked = false;
        FDesk->Login->ModalRunner = [&asked](TF_Login &) {
            asked = true;
            return int(QDialog::Rejected);
        };
        QTest::keyClick(Main(), Qt::Key_L, Qt::AltModifier);
        QTRY_VERIFY(asked);
    }
};

// ---------------------------------------------------------------------------------------------

class WindowPlaceTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<AppFolder> FFolder;

private slots:
    void init() { FFolder = std::make_unique<AppFolder>(); }
    void cleanup() { FFolder.reset(); }

    void firstStartIsLargeAndCentred() {
        Desktop desk;
        const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(desk.Main->size(), QSize(1200, 760).boundedTo(free.size()));
        QCOMPARE(desk.Main->geometry().center(), free.center());
    }

    void placeAndTabAreKeptAcrossARestart() {
        const QRect place(30, 40, 640, 480);
        {
            Desktop desk;
            QVERIFY(desk.Show());
            desk.Main->setGeometry(place);
            desk.Main->pages->setCurrentIndex(2);
            QTRY_COMPARE(desk.Main->geometry(), place);
            QVERIFY(desk.Main->close());
        }
        Desktop desk;
        QCOMPARE(desk.Main->geometry(), place);
        QVERIFY(desk.Show());
        QCOMPARE(desk.Main->geometry(), place);
        QCOMPARE(desk.Main->pages->currentIndex(), 2);
    }

    void maximisedStateIsKeptWithTheNormalPlace() {
        const QRect place(50, 60, 600, 450);
        {
            Desktop desk;
            QVERIFY(desk.Show());
            desk.Main->setGeometry(place);
            QTRY_COMPARE(desk.Main->geometry(), place);
            desk.Main->showMaximized();
            QTRY_VERIFY(desk.Main->isMaximized());
            QVERIFY(desk.Main->close());
        }
        Desktop desk;
        QVERIFY(desk.Show());
        QTRY_VERIFY(desk.Main->isMaximized());
        desk.Main->showNormal();
        QTRY_COMPARE(desk.Main->geometry(), place);
    }

    void placeOffEveryScreenIsNotUsed() {
        CreateAppPrefs();
        AppPrefs->WriteInteger(QStringLiteral("Windows/Main/Left"), 20000);
        AppPrefs->WriteInteger(QStringLiteral("Windows/Main/Top"), 20000);
        AppPrefs->WriteInteger(QStringLiteral("Windows/Main/Width"), 700);
        AppPrefs->WriteInteger(QStringLiteral("Windows/Main/Height"), 500);
        AppPrefs->SaveFile();
        FreeAppPrefs();
        Desktop desk;
        const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(free.contains(desk.Main->geometry().center()));
        QCOMPARE(desk.Main->size(), QSize(1200, 760).boundedTo(free.size()));
    }
};

// ---------------------------------------------------------------------------------------------

class FeedbackTest : public LoggedInTest {
    Q_OBJECT
private:
    void RunStock() {
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(FDesk->Choose(QStringLiteral("Stany magazynowe")));
        Main()->RunCommand();
        QTRY_COMPARE_WITH_TIMEOUT(Main()->State(), asReady, 60000);
        QVERIFY(Main()->StatusText(1).startsWith(QStringLiteral("OK, czas")));
    }

private slots:
    void connectionPanelShowsTheWholeUserText() {
        const QLabel *panel = Main()->findChild<QLabel *>(QStringLiteral("barStatusPanel0"));
        QVERIFY(panel);
        QVERIFY(panel->text().startsWith(QStringLiteral("Użytkownik: sqlite:")));
        QTRY_VERIFY2(panel->width() >= panel->fontMetrics().horizontalAdvance(panel->text()),
                     qPrintable(QString::number(panel->width())));
    }

    void failedLoginResetsStatusAndCaption() {
        RunStock();
        QVERIFY(Main()->labInfo->text().startsWith(QStringLiteral(" Wynik (")));
        TOrvel_MessageRecorder boxes;
        QVERIFY(!FDesk->LogIn(QStringLiteral("sqlite:") + FFolder->Path() + "missing"));
        QCOMPARE(Main()->State(), asNotConnected);
        QCOMPARE(boxes.Messages().size(), size_t(1));
        QCOMPARE(Main()->StatusText(0), QStringLiteral("Nie połączone !"));
        QCOMPARE(Main()->StatusText(1), QString());
        QCOMPARE(Main()->labInfo->text(), QStringLiteral(" Wynik"));
        QCOMPARE(Main()->labTitle->text(), QStringLiteral(" Wybierz raport"));
        QCOMPARE(Main()->ResultCaption(), QStringLiteral("Raport jest pusty"));
    }

    void savedValuesAreConfirmed() {
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(FDesk->Choose(QStringLiteral("Stany magazynowe")));
        Main()->btnSaveParams->click();
        QCOMPARE(Main()->StatusText(1), QStringLiteral("Zapisano wartości parametrów"));
    }

    void closingDuringARunIsExplained() {
        // Closing during a run is a question (stop the run and close?); "Nie" keeps both.
        Main()->SetAppState(asRunning);
        TOrvel_MessageRecorder boxes(QMessageBox::No);
        QVERIFY(!Main()->close());
        QCOMPARE(boxes.Messages().size(), size_t(1));
        QCOMPARE(boxes.Messages()[0].Text,
                 QStringLiteral("Raport jest wykonywany. Przerwać i zamknąć?"));
        Main()->SetAppState(asNoDatabase);
    }

    void exportsOpenInTheFolderLastUsedForTheirKind() {
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("Documents")));
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", home.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
        const QString documents = home.path() + QStringLiteral("/Documents");
        RunStock();
        QTemporaryDir target;
        QStringList folders;
        TOrvel_ExportCommands *exports = Main()->ExportCommands();
        exports->AskFileName = [&](const TOrvel_SaveRequest &request) {
            folders << request.Folder;
            return target.filePath(QStringLiteral("wynik") + request.DefaultExtension);
        };
        exports->miSaveAs_CSVClick();
        exports->WaitForExport();
        exports->miSaveAs_CSVClick();
        exports->WaitForExport();
        exports->miSaveAs_XMLClick();
        exports->WaitForExport();
        // A cancelled dialog keeps the folder.
        exports->AskFileName = [&](const TOrvel_SaveRequest &request) {
            folders << request.Folder;
            return QString();
        };
        exports->miSaveAs_XMLClick();
        qputenv("HOME", oldHome);
        if (!oldConfig.isEmpty())
            qputenv("XDG_CONFIG_HOME", oldConfig);
        QCOMPARE(folders, (QStringList{documents, target.path(), documents, target.path()}));
        QVERIFY(QFile::exists(target.filePath(QStringLiteral("wynik.csv"))));
    }
};

// ---------------------------------------------------------------------------------------------

class LoginWindowTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<AppFolder> FFolder;

private slots:
    void init() {
        FFolder = std::make_unique<AppFolder>();
        CreateAppPrefs();
    }
    void cleanup() {
        FreeAppPrefs();
        FFolder.reset();
    }

    void tabEntersTheRadioGroupOnTheChosenButton_data() {
        QTest::addColumn<bool>("sqlServerAuth");
        QTest::newRow("SQL Server") << true;
        QTest::newRow("Windows") << false;
    }
    void tabEntersTheRadioGroupOnTheChosenButton() {
        QFETCH(bool, sqlServerAuth);
        AppPrefs->WriteBool(QStringLiteral("Connection/SQLServerAuth"), sqlServerAuth);
        TF_Login login;
        login.show();
        QApplication::setActiveWindow(&login);
        QVERIFY(QTest::qWaitForWindowActive(&login));
        login.edServer->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(),
                 sqlServerAuth ? login.rbSQLServerAuth : login.rbWindowsAuth);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(),
                 sqlServerAuth ? static_cast<QWidget *>(login.edUser) : login.btnConnect);
        // An arrow key changes the choice; Tab then enters the group on the new one.
        QWidget *other = sqlServerAuth ? login.rbWindowsAuth : login.rbSQLServerAuth;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QTest::keyClick(QApplication::focusWidget(), sqlServerAuth ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), other);
        QCOMPARE(login.SQLServerAuth(), !sqlServerAuth);
        login.edServer->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), other);
    }

    void enterInThePasswordConnects() {
        TF_Login login;
        login.show();
        QApplication::setActiveWindow(&login);
        QVERIFY(QTest::qWaitForWindowActive(&login));
        login.edPassword->setFocus();
        QTest::keyClicks(login.edPassword, QStringLiteral("tajne"));
        QTest::keyClick(login.edPassword, Qt::Key_Return);
        QCOMPARE(login.result(), int(QDialog::Accepted));
        QVERIFY(!login.isVisible());
    }

    void browsingSaysWhenNoServerIsFound() {
        // The application folder has no server-list plug-in: the network answers nothing.
        TF_Login login;
        login.show();
        login.btnGetServersClick();
        QVERIFY(login.Browsing());
        QVERIFY(!login.btnGetServers->isEnabled());
        QCOMPARE(login.btnGetServers->cursor().shape(), Qt::BusyCursor);
        QTRY_VERIFY(!login.Browsing());
        QCOMPARE(login.labInfo->text(), kNoServersFound);
        QVERIFY(login.btnGetServers->isEnabled());
        QCOMPARE(login.btnGetServers->cursor().shape(), Qt::ArrowCursor);
        // The next showing starts afresh.
        login.hide();
        login.show();
        QCOMPARE(login.labInfo->text(), QStringLiteral("Wprowadź dane logowania do Serwera SQL"));
    }
};

// ---------------------------------------------------------------------------------------------

class ListsAndCaptionsTest : public LoggedInTest {
    Q_OBJECT
private:
    QList<TOrvel_Parameter *> Rows() const {
        return Main()->ParamsPanel()->findChildren<TOrvel_Parameter *>();
    }

private slots:
    void pickListDropsDownTwentyRowsAtMost() {
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        auto *list = qobject_cast<DbLookupList *>(FDesk->Input(QStringLiteral("Kontrahent")));
        QVERIFY(list);
        list->setFocus(); // entering the list fills it
        QTRY_VERIFY(list->count() > 20);
        static_cast<QComboBox *>(list)->showPopup();
        QTRY_VERIFY(list->view()->isVisible());
        const int rowHeight = list->view()->sizeHintForRow(0);
        QVERIFY2(
            list->view()->height() <= 21 * rowHeight,
            qPrintable(QStringLiteral("%1 rows of %2").arg(list->view()->height()).arg(rowHeight)));
        list->hidePopup();
    }

    void repeatedNamesShowTheirOtherFields() {
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        auto *list = qobject_cast<DbLookupList *>(FDesk->Input(QStringLiteral("Kontrahent")));
        QVERIFY(list);
        list->setFocus();
        QTRY_VERIFY(list->count() > 0);
        QHash<QString, QList<int>> rowsByName;
        for (int row = 0; row < list->count(); ++row)
            rowsByName[list->itemText(row)].append(row);
        int repeated = 0;
        for (auto it = rowsByName.cbegin(); it != rowsByName.cend(); ++it) {
            QSet<QString> shown;
            for (int row : it.value()) {
                list->setCurrentIndex(row);
                const QString text = list->ClosedText();
                if (it.value().size() == 1) {
                    QCOMPARE(text, it.key()); // a name of its own is shown alone
                } else {
                    QVERIFY2(text.startsWith(it.key() + QStringLiteral(" (")), qPrintable(text));
                    shown.insert(text);
                }
            }
            if (it.value().size() > 1) {
                ++repeated;
                QCOMPARE(shown.size(), it.value().size()); // told apart
            }
        }
        QVERIFY(repeated > 0); // the demo data repeats some names
    }

    void captionColumnFitsTheLongestCaption_data() {
        QTest::addColumn<int>("width");
        QTest::newRow("wide window") << 1100;
        QTest::newRow("narrow window") << 520;
    }
    void captionColumnFitsTheLongestCaption() {
        QFETCH(int, width);
        Main()->resize(width, 700);
        QVERIFY(FDesk->Choose(QStringLiteral("Pracownicy działu")));
        QCoreApplication::processEvents();
        const auto rows = Rows();
        QVERIFY(rows.size() >= 4);
        int longest = 0;
        for (TOrvel_Parameter *row : rows)
            longest = std::max(longest, row->CaptionTextWidth());
        const int left = rows.first()->InputWidget()->x();
        for (TOrvel_Parameter *row : rows) {
            QCOMPARE(row->InputWidget()->x(), left); // one column for the report
            QVERIFY(row->toolTip() == row->CaptionLabel()->text());
        }
        const int limit = rows.first()->width() * TOrvel_Parameter::CaptionShare / 100;
        QCOMPARE(left, std::max(int(TOrvel_Parameter::InputLeft), std::min(longest, limit)));
        if (width >= 1000)
            QCOMPARE(left, longest); // every caption shows whole
        else
            QVERIFY(left < longest);
    }
};

// ---------------------------------------------------------------------------------------------

class MessageBoxTest : public QObject {
    Q_OBJECT
private slots:
    void boxIsAsWideAsItsTitle() {
        const QString title = QStringLiteral("Orvel-Zestawnik 1.0.0.1891");
        int width = 0;
        WhenModal([&width](QWidget *box) {
            width = box->width();
            static_cast<QDialog *>(box)->accept();
        });
        ShowMessage(nullptr, TOrvel_MsgIcon::Error, title, QStringLiteral("x"));
        QVERIFY2(width >= TitleWidth(title), qPrintable(QString::number(width)));
    }
};

int main(int argc, char *argv[]) {
    TOrvel_Application app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    if (InstallToolkitTranslations(app, QLocale(QLocale::Polish, QLocale::Poland)).isEmpty()) {
        qCritical("the toolkit's Polish translations are not installed (qt6-translations-l10n)");
        return 1;
    }
    int status = 0;
    {
        TranslationsTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        ResultCaptionTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        KeyboardTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        WindowPlaceTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        FeedbackTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        LoginWindowTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        ListsAndCaptionsTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        MessageBoxTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    return status;
}

#include "test_ui_desktop.moc"
