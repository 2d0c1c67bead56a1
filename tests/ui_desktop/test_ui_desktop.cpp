// The desktop program as a well-kept desktop program: the toolkit's own texts in Polish, the
// editors' menu, and (in the classes below) the keyboard, the window's remembered place and the
// window's feedback, and report authoring through the real keys and clicks.
#include "DbLookupList.h"
#include "DesktopFixture.h"
#include "FU_AddDefParam.h"
#include "FU_Login.h"
#include "FU_Main.h"
#include "Orvel_ResultGrid.h"
#include "TestSupport.h"
#include "U_AppState.h"
#include "U_Application.h"
#include "U_Db.h"
#include "U_ExportCommands.h"
#include "U_FindBar.h"
#include "U_GridColumns.h"
#include "U_MessageBox.h"
#include "U_Parameters.h"
#include "U_PrintCommand.h"
#include "U_ReportEditors.h"
#include "U_ReportFactory.h"
#include "U_ReportFileWatch.h"
#include "U_ReportFiles.h"
#include "U_SqlEditor.h"
#include "U_Translations.h"
#include "U_XmlEditor.h"
#include "U_locale.h"
#include "U_settings.h"
#include "U_utils.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

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

    // Esc in the find bar is the bar's, not the window's (which stops a run): it closes the bar
    // from whichever of its controls has the focus and gives the focus back to the editor.
    void escapeClosesTheFindBar_data() {
        QTest::addColumn<int>("key"); // opens the bar, with Ctrl
        QTest::addColumn<QString>("field");
        QTest::newRow("find") << int(Qt::Key_F) << "edFind";
        QTest::newRow("replace") << int(Qt::Key_H) << "edReplace";
        QTest::newRow("go to line") << int(Qt::Key_G) << "edLine";
        QTest::newRow("find button") << int(Qt::Key_F) << "btnFindNext";
    }
    void escapeClosesTheFindBar() {
        QFETCH(int, key);
        QFETCH(QString, field);
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(FDesk->Choose(QStringLiteral("Stany magazynowe")));
        Main()->tabsRight->setCurrentWidget(Main()->tabReportSQL);
        TOrvel_SqlEditor *editor = Main()->edReportSQL;
        const QString text = editor->text();
        QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 10));
        QTRY_VERIFY(editor->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::ControlModifier);
        TOrvel_FindBar *bar = Main()->Editors()->barFind_SQL;
        QTRY_VERIFY(bar->isVisible());
        auto *target = bar->findChild<QWidget *>(field);
        QVERIFY(target && target->isVisible());
        if (qobject_cast<QLineEdit *>(target))
            QTest::mouseClick(target, Qt::LeftButton);
        else
            target->setFocus(Qt::TabFocusReason); // a button takes the focus from Tab only
        QTRY_COMPARE(QApplication::focusWidget(), target);

        auto *stop = Main()->findChild<QShortcut *>(QStringLiteral("scCancel"));
        QVERIFY(stop);
        QSignalSpy stopped(stop, &QShortcut::activated);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);

        QCOMPARE(stopped.count(), 0); // the bar's key, not the window's
        QTRY_VERIFY(bar->isHidden());
        QTRY_COMPARE(QApplication::focusWidget(), editor);
        // What is typed next goes into the script.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x"));
        QCOMPARE(editor->text().size(), text.size() + 1);
        QCOMPARE(Main()->State(), asReady);
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
        // The parameters' tab has nothing to show before a report is loaded: "Lista" stands in
        // for it until then.
        QCOMPARE(desk.Main->pages->currentIndex(), 0);
        QVERIFY(desk.LogIn());
        desk.ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(desk.Choose(QStringLiteral("Stany magazynowe")));
        QCOMPARE(desk.Main->pages->currentIndex(), 2);
        // Loading another report leaves the tab the user has in front.
        desk.Main->pages->setCurrentIndex(0);
        QVERIFY(desk.Choose(QStringLiteral("Faktury kontrahenta")));
        QCOMPARE(desk.Main->State(), asReady);
        QCOMPARE(desk.Main->pages->currentIndex(), 0);
    }

    void restoredTabIsKeptWhenNoReportWasLoaded() {
        {
            Desktop desk;
            QVERIFY(desk.Show());
            desk.Main->pages->setCurrentIndex(2);
            QVERIFY(desk.Main->close());
        }
        {
            Desktop desk;
            QVERIFY(desk.Show());
            QCOMPARE(desk.Main->pages->currentIndex(), 0);
            QVERIFY(desk.Main->close());
        }
        Desktop desk;
        QVERIFY(desk.Show());
        QVERIFY(desk.LogIn());
        desk.ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(desk.Choose(QStringLiteral("Stany magazynowe")));
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
        // The databases of the connection before are gone from the (disabled) list.
        QVERIFY(!Main()->listDB->isEnabled());
        QCOMPARE(Main()->listDB->count(), 0);
        QVERIFY(Main()->listDB->currentText().isEmpty());
    }

    void valueButtonsSayWhatWasDone_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("status");
        QTest::newRow("Z") << "btnSaveParams"
                           << "Zapisano wartości parametrów";
        QTest::newRow("W") << "btnResetParams"
                           << "Wyczyszczono wartości parametrów";
        QTest::newRow("U") << "btnLoadDefaultValues"
                           << "Ustawiono domyślne wartości parametrów";
    }
    void valueButtonsSayWhatWasDone() {
        QFETCH(QString, button);
        QFETCH(QString, status);
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(FDesk->Choose(QStringLiteral("Stany magazynowe")));
        auto *widget = Main()->findChild<QAbstractButton *>(button);
        QVERIFY(widget && widget->isVisible() && widget->isEnabled());
        // An older text of another command must not stand for this one.
        Main()->SetActivityText(QStringLiteral("inny tekst"));
        QTest::mouseClick(widget, Qt::LeftButton);
        QCOMPARE(Main()->StatusText(1), status);
    }

    void informationTreeShowsWholeLines() {
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(FDesk->Choose(QStringLiteral("Stany magazynowe")));
        auto *info = Main()->findChild<QTreeWidget *>(QStringLiteral("treereport"));
        QVERIFY(info);
        Main()->pages->setCurrentIndex(1);
        QVERIFY(info->isVisible());
        QVERIFY(info->topLevelItemCount() > 0);
        int widest = 0;
        QList<QTreeWidgetItem *> items;
        for (int i = 0; i < info->topLevelItemCount(); ++i) {
            items << info->topLevelItem(i);
            for (int c = 0; c < info->topLevelItem(i)->childCount(); ++c)
                items << info->topLevelItem(i)->child(c);
        }
        for (QTreeWidgetItem *item : items) {
            QCOMPARE(item->toolTip(0), item->text(0));
            widest = qMax(widest, info->fontMetrics().horizontalAdvance(item->text(0)));
            // No line is cut: the column holds the whole of it.
            QVERIFY2(info->columnWidth(0) >= info->fontMetrics().horizontalAdvance(item->text(0)),
                     qPrintable(item->text(0)));
        }
        // A pane narrower than its widest line scrolls sideways.
        QVERIFY2(widest > info->viewport()->width(), qPrintable(QString::number(widest)));
        QTRY_VERIFY(info->horizontalScrollBar()->isVisible());
        QVERIFY(info->horizontalScrollBar()->maximum() > 0);
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

// "Drukuj" and "Dokument PDF…": the print preview opens on Ctrl+P pressed in the window, with the
// printed document's pages; the PDF entry writes the same document with the run's parameters,
// database and title. Neither is offered before a result with rows is shown.
class PrintCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        FFolder = std::make_unique<AppFolder>();
        FDesk = std::make_unique<Desktop>();
        QVERIFY(FDesk->Show());
        QVERIFY(FDesk->LogIn());
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(FDesk->Choose(QStringLiteral("Stany magazynowe")));
    }
    void cleanup() {
        FDesk.reset();
        FFolder.reset();
    }

    void ctrlPOpensThePreviewOfTheResult() {
        QToolButton *print = FDesk->Main->findChild<QToolButton *>(QStringLiteral("btnPrint"));
        QVERIFY(print);
        QVERIFY(!print->isEnabled()); // no result yet
        QCOMPARE(print->accessibleName(), QStringLiteral("Drukuj"));
        RunReport();
        QVERIFY(print->isEnabled());

        QString title;
        int pages = -1;
        FDesk->Main->PrintCommand()->RunDialog = [&](QPrintPreviewDialog &dialog) {
            dialog.show();
            auto *preview = dialog.findChild<QPrintPreviewWidget *>();
            QTRY_VERIFY(preview && preview->pageCount() > 0);
            title = dialog.windowTitle();
            pages = preview->pageCount();
            dialog.reject();
        };
        FDesk->Main->tree->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::ControlModifier);
        // The button's key clicks it the way a mouse would, a moment later.
        QTRY_COMPARE(title, QStringLiteral("Podgląd wydruku"));
        QCOMPARE(pages, FDesk->Main->ExportCommands()->MakePrintDocument()->PageCount());
    }

    void pdfEntryWritesTheDocumentOfTheRun() {
        RunReport();
        QTemporaryDir target;
        const QString file = target.filePath(QStringLiteral("stany.pdf"));
        TOrvel_SaveRequest asked;
        FDesk->Main->ExportCommands()->AskFileName = [&](const TOrvel_SaveRequest &request) {
            asked = request;
            return file;
        };
        TOrvel_MessageRecorder boxes;
        for (QAction *action : FDesk->Main->SaveAsMenu()->actions())
            if (action->objectName() == QLatin1String("miSaveAs_PDF")) {
                QCOMPARE(action->text(), QStringLiteral("Dokument PDF…"));
                action->trigger();
            }
        FDesk->Main->ExportCommands()->WaitForExport();
        QCOMPARE(boxes.Messages().size(), size_t(0));
        QCOMPARE(asked.Filter, QStringLiteral("dokumenty PDF|*.pdf"));
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-l"), QStringLiteral("1"), file, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QString page = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(page.contains(QStringLiteral("Stany magazynowe")), qPrintable(page.left(500)));
        QVERIFY(page.contains(QStringLiteral("Kategoria:")));
        QVERIFY(page.contains(QStringLiteral("Baza danych: HURTOWNIA")));
        QVERIFY(page.contains(QStringLiteral("Strona 1 z ")));
    }

private:
    void RunReport() {
        FDesk->Main->RunCommand();
        QTRY_COMPARE_WITH_TIMEOUT(FDesk->Main->State(), asReady, 60000);
    }
    std::unique_ptr<AppFolder> FFolder;
    std::unique_ptr<Desktop> FDesk;
};

// The spreadsheet export from the window's "Zapisz" menu: a cut cell is said in the status bar,
// and a folder that cannot take the file is said in the error box, in Polish, as the runner
// says both.
class SpreadsheetExportTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        FFolder = std::make_unique<AppFolder>();
        const QString reports = FFolder->Path() + QStringLiteral("data reports/Przykłady/");
        QVERIFY(WriteBytes(reports + QStringLiteral("Długi tekst.xml"),
                           "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Zestawnik><version>1.0"
                           "</version><defaultdb>HURTOWNIA</defaultdb><params></params>"
                           "</Zestawnik>\r\n"));
        QVERIFY(WriteBytes(reports + QStringLiteral("Długi tekst.sql"),
                           "-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT N'" + QByteArray(40000, 'a') +
                               "' AS Opis, 1 AS Nr\r\n"));
        FDesk = std::make_unique<Desktop>();
        QVERIFY(FDesk->Show());
        QVERIFY(FDesk->LogIn());
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(FDesk->Choose(QStringLiteral("Długi tekst")));
        FDesk->Main->RunCommand();
        QTRY_COMPARE_WITH_TIMEOUT(FDesk->Main->State(), asReady, 60000);
    }
    void cleanup() {
        FDesk.reset();
        FFolder.reset();
    }

    void cutCellIsSaidInTheStatusBar() {
        QTemporaryDir target;
        const QString file = target.filePath(QStringLiteral("wynik.xlsx"));
        TOrvel_MessageRecorder boxes;
        SaveWorkbook(file);
        QCOMPARE(boxes.Messages().size(), size_t(0));
        QVERIFY(QFileInfo(file).size() > 0);
        QVERIFY2(FDesk->Main->StatusText(1).contains(
                     QStringLiteral("1 komórkę skrócono do 32 767 znaków (limit arkusza)")),
                 qPrintable(FDesk->Main->StatusText(1)));
    }

    void unwritableFolderIsSaidInTheErrorBox() {
        QTemporaryDir target;
        const QString file = target.filePath(QStringLiteral("brak/wynik.xlsx"));
        TOrvel_MessageRecorder boxes;
        SaveWorkbook(file);
        QCOMPARE(boxes.Messages().size(), size_t(1));
        const QString text = boxes.Messages()[0].Text;
        QVERIFY2(text.contains(QStringLiteral("wynik.xlsx\": Nie ma takiego pliku ani katalogu")),
                 qPrintable(text));
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(!FDesk->Main->StatusText(1).contains(QStringLiteral("skrócono")));
    }

private:
    // The entry of the window's "Zapisz" menu, as its menu delivers it.
    void SaveAs(const QString &entry) {
        for (QAction *action : FDesk->Main->SaveAsMenu()->actions())
            if (action->objectName() == entry) {
                action->trigger();
                return;
            }
        QFAIL(qPrintable(entry));
    }
    // Saves the result as a workbook from the menu, the file's name answered, to the export's end.
    void SaveWorkbook(const QString &file) {
        FDesk->Main->ExportCommands()->AskFileName = [file](const TOrvel_SaveRequest &) {
            return file;
        };
        SaveAs(QStringLiteral("miSaveAs_XLSX"));
        FDesk->Main->ExportCommands()->WaitForExport();
    }

    std::unique_ptr<AppFolder> FFolder;
    std::unique_ptr<Desktop> FDesk;
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
            // The hint holds the whole caption; a caption without room is shown cut with "…".
            const QString shown = row->CaptionLabel()->text();
            QVERIFY2(shown == row->toolTip() || (shown.endsWith(QChar(0x2026)) &&
                                                 row->toolTip().startsWith(shown.chopped(1))),
                     qPrintable(shown));
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

// ---------------------------------------------------------------------------------------------

// Column widths in the window, driven by real mouse events: a report of 100,000 rows whose
// amounts grow from 0,00 to 1369986,29, every tenth row bold: the widest lie far below the first
// screen.
class GridWidthsTest : public LoggedInTest {
    Q_OBJECT
private:
    QString Definition() const {
        return FFolder->Path() + QStringLiteral("data reports/Testy/Kwoty.xml");
    }
    QString SettingsFile() const {
        return FFolder->Path() + QStringLiteral("data reports/Testy/Kwoty settings.xml");
    }
    void WriteReport() {
        QString digits = QStringLiteral("(SELECT 0 AS d");
        for (int d = 1; d <= 9; ++d)
            digits += QStringLiteral(" UNION ALL SELECT %1").arg(d);
        digits += u')';
        const QString script =
            QStringLiteral("DECLARE @Mnoznik INT\r\n-- [Orvel_Zestawnik_PARAMETRY]\r\n"
                           "SELECT n.i AS Nr, CAST((n.i * 1370 + n.i %% 100) / 100.0 * "
                           "ISNULL(@Mnoznik, 1) AS NUMERIC(18,2)) AS Kwota, "
                           "CASE WHEN n.i %% 10 = 0 THEN 'fontstyle=B' END AS "
                           "Orvel_Zestawnik_FORMAT FROM (SELECT a.d + 10 * b.d + 100 * c.d + "
                           "1000 * e.d + 10000 * f.d AS i FROM %1 a CROSS JOIN %1 b CROSS JOIN "
                           "%1 c CROSS JOIN %1 e CROSS JOIN %1 f) n ORDER BY n.i\r\n")
                .arg(digits)
                .replace(QStringLiteral("%%"), QStringLiteral("%"));
        QVERIFY(QDir().mkpath(QFileInfo(Definition()).path()));
        QVERIFY(WriteBytes(QFileInfo(Definition()).path() + QStringLiteral("/Kwoty.sql"),
                           script.toLatin1()));
        QVERIFY(WriteBytes(
            Definition(),
            "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n<Zestawnik>"
            "<version>1.0</version><defaultdb>Hurtownia</defaultdb><params><item>"
            "<name>Mnoznik</name><type>INT</type><width>10</width><decimal>2</decimal>"
            "<desc>Mnoznik</desc><key/><listquery/><listitems/><listvalues/><listfields/>"
            "</item></params></Zestawnik>\r\n"));
        Main()->RebuildReportList();
        FDesk->ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QVERIFY(FDesk->Choose(QStringLiteral("Kwoty")));
    }
    void Run(const QString &multiplier) {
        auto *input = qobject_cast<QLineEdit *>(FDesk->Input(QStringLiteral("Mnoznik")));
        QVERIFY(input);
        input->setText(multiplier);
        Main()->RunCommand();
        QTRY_COMPARE_WITH_TIMEOUT(Main()->State(), asReady, 120000);
        QCOMPARE(Main()->gridlist->model()->rowCount(), 100000);
    }
    int KwotaPosition() const { return Main()->gridlist->Columns().FindColumn("Kwota"); }
    int KwotaLogical() const { return Main()->gridlist->Columns().Field(KwotaPosition())->Index(); }
    // Every amount of the result, in the font its row is drawn in, fits the column whole.
    void EveryAmountFits() {
        TOrvel_ResultGrid *grid = Main()->gridlist;
        QAbstractItemModel *model = grid->model();
        QFont bold = grid->font();
        bold.setBold(true);
        const QFontMetrics plain(grid->font()), wide(bold);
        const int margin =
            grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
        const int space = grid->columnWidth(KwotaLogical()) - 1 - 2 * margin;
        int widest = 0;
        QString widestText;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString text = model->index(row, KwotaLogical()).data().toString();
            const bool isBold = model->index(row, 0).data(Qt::FontRole).isValid();
            const int w = (isBold ? wide : plain).horizontalAdvance(text);
            if (w > widest) {
                widest = w;
                widestText = text;
            }
        }
        QVERIFY2(widest <= space,
                 qPrintable(QStringLiteral("%1: %2 > %3").arg(widestText).arg(widest).arg(space)));
    }
    // The text the cell at a row of the amounts draws.
    QString ShownAmount(int row) const {
        TOrvel_ResultGrid *grid = Main()->gridlist;
        const QModelIndex index = grid->model()->index(row, KwotaLogical());
        QStyleOptionViewItem option;
        option.initFrom(grid->viewport());
        option.widget = grid;
        option.rect = grid->visualRect(index);
        option.font = grid->font();
        auto *delegate = static_cast<TOrvel_ResultDelegate *>(grid->itemDelegate());
        return delegate->TextShown(option, index);
    }
    void ClickCell(int row, int logical) {
        TOrvel_ResultGrid *grid = Main()->gridlist;
        const QRect cell = grid->visualRect(grid->model()->index(row, logical));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCoreApplication::processEvents();
    }
    // Drags the right edge of a column's title to a new width, as the mouse does.
    void DragWidth(int logical, int width) {
        QHeaderView *header = Main()->gridlist->horizontalHeader();
        QWidget *target = header->viewport();
        const int edge =
            header->sectionViewportPosition(logical) + header->sectionSize(logical) - 1;
        const int y = header->height() / 2;
        const int to = header->sectionViewportPosition(logical) + width - 1;
        auto send = [target](QEvent::Type type, int x, int y, Qt::MouseButtons buttons) {
            QMouseEvent e(type, QPointF(x, y), target->mapToGlobal(QPointF(x, y)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
            QApplication::sendEvent(target, &e);
        };
        send(QEvent::MouseMove, edge, y, Qt::NoButton);
        send(QEvent::MouseButtonPress, edge, y, Qt::LeftButton);
        for (int step = 1; step <= 4; ++step)
            send(QEvent::MouseMove, edge + (to - edge) * step / 4, y, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, y, Qt::NoButton);
        QCoreApplication::processEvents();
    }

private slots:
    void fitsTheWholeResultSortedBothWays() {
        WriteReport();
        Run(QString());
        EveryAmountFits();
        const int width = Main()->gridlist->columnWidth(KwotaLogical());
        QHeaderView *header = Main()->gridlist->horizontalHeader();
        for (const bool ascending : {true, false}) {
            const int x = header->sectionViewportPosition(KwotaLogical()) + 10;
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(x, header->height() / 2));
            QTRY_COMPARE(Main()->gridlist->SortAscending(), ascending);
            QCOMPARE(Main()->gridlist->SortColumn(), KwotaPosition());
            QCOMPARE(Main()->gridlist->columnWidth(KwotaLogical()), width);
            for (int row = 0; row < 3; ++row)
                QVERIFY(!ShownAmount(row).contains(u'#'));
        }
        // Ctrl+End in the grid: the last rows show their amounts whole too.
        ClickCell(0, KwotaLogical());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(Main()->gridlist->currentIndex().row(), 99999);
        QVERIFY(!ShownAmount(99999).contains(u'#'));
        QVERIFY(!QFile::exists(SettingsFile()));
    }

    void rerunFitsWiderValues() {
        WriteReport();
        Run(QStringLiteral("1"));
        const int narrow = Main()->gridlist->columnWidth(KwotaLogical());
        Run(QStringLiteral("1000"));
        QVERIFY(Main()->gridlist->columnWidth(KwotaLogical()) > narrow);
        EveryAmountFits();
    }

    // A click stores nothing; a resize stores the resized width alone, which the next run keeps
    // while the other columns are fitted again; narrowed, an amount shows "###" and its whole
    // value as the cell's hint.
    void onlyAResizeIsStored() {
        WriteReport();
        Run(QStringLiteral("1000"));
        TOrvel_ResultGrid *grid = Main()->gridlist;
        ClickCell(5, KwotaLogical());
        ClickCell(7, 0);
        QVERIFY(!QFile::exists(SettingsFile()));

        // Narrower than the amounts, still as wide as the title with its sort mark.
        const int width = grid->fontMetrics().horizontalAdvance(QStringLiteral("Kwota")) + 21;
        DragWidth(KwotaLogical(), width);
        QTRY_VERIFY(QFile::exists(SettingsFile()));
        QCOMPARE(grid->columnWidth(KwotaLogical()), width);
        const QByteArray stored = ReadBytes(SettingsFile());
        QVERIFY2(stored.contains("<Kwota><align>R</align><width>" + QByteArray::number(width) +
                                 "</width>"),
                 stored.constData());
        QVERIFY2(stored.contains("<Nr><align>R</align><width></width>"), stored.constData());

        // A plain row whose amount no longer fits: "###" across the cell, the amount as its hint.
        const QFontMetrics metrics(grid->font());
        const int margin =
            grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
        int row = 1;
        QString whole;
        for (; row < 1000; ++row) {
            whole = grid->model()->index(row, KwotaLogical()).data().toString();
            if (row % 10 != 0 && metrics.horizontalAdvance(whole) > width - 1 - 2 * margin)
                break;
        }
        QVERIFY(row < 1000);
        const QModelIndex index = grid->model()->index(row, KwotaLogical());
        grid->scrollTo(index);
        QCoreApplication::processEvents();
        const QString shown = ShownAmount(row);
        QVERIFY2(!shown.isEmpty() && shown == QString(shown.size(), u'#'), qPrintable(shown));
        const QRect cell = grid->visualRect(index);
        QHelpEvent hint(QEvent::ToolTip, cell.center(),
                        grid->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(grid->viewport(), &hint);
        QTRY_COMPARE(QToolTip::text(), whole);
        QToolTip::hideText();

        ClickCell(row, 0);
        QCOMPARE(ReadBytes(SettingsFile()), stored);
        Run(QStringLiteral("2000"));
        QCOMPARE(grid->columnWidth(KwotaLogical()), width);
    }
};

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

// ---------------------------------------------------------------------------------------------

// Report authoring as the author does it: keys go to the window and are routed by the focus and
// the shortcuts, tabs and buttons are clicked, and files change behind the program's back.
class AuthoringTest : public LoggedInTest {
    Q_OBJECT
private:
    enum Tab { ResultTab = 0, ScriptTab = 1, DefinitionTab = 2 };

    QString ReportFile(const QString &name) const {
        return FFolder->Path() + QStringLiteral("data reports/Przykłady/") + name;
    }
    QString Script() const { return ReportFile(QStringLiteral("Faktury kontrahenta.sql")); }
    QString Definition() const { return ReportFile(QStringLiteral("Faktury kontrahenta.xml")); }
    QsciScintilla *Sql() const { return Main()->edReportSQL; }
    QsciScintilla *Xml() const { return Main()->edReportDefinition; }
    QString TabText(int tab) const { return Main()->tabsRight->tabText(tab); }

    // A key as the window system delivers it: to the focused control, through the shortcuts.
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(Main()->windowHandle(), key, modifiers);
    }
    void Type(const QString &text) {
        for (const QChar c : text)
            QTest::keyClick(Main()->windowHandle(), c.toLatin1());
    }
    void ClickTab(int tab) {
        QTabBar *bar = Main()->tabsRight->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
        QCOMPARE(Main()->tabsRight->currentIndex(), tab);
    }
    // A click into the editor, then the caret where the author puts it.
    void ClickInto(QsciScintilla *editor, int line, int index) {
        QTest::mouseClick(editor->viewport(), Qt::LeftButton, {},
                          QPoint(editor->viewport()->width() / 2, 4));
        QTRY_VERIFY(editor->hasFocus());
        editor->setCursorPosition(line, index);
    }
    // "-- notatka" typed as the script's first line.
    void EditScript() {
        ClickTab(ScriptTab);
        ClickInto(Sql(), 0, 0);
        Type(QStringLiteral("-- notatka"));
        Press(Qt::Key_Return);
        QVERIFY(Sql()->text().startsWith(QStringLiteral("-- notatka\r\n")));
        QCOMPARE(TabText(ScriptTab), QStringLiteral("Zapytanie SQL*"));
    }
    // The caption of "Kontrahent" becomes "Nowy Kontrahent".
    void EditDefinition() {
        ClickTab(DefinitionTab);
        const QString desc = QStringLiteral("<desc>Kontrahent</desc>");
        int line = 0;
        while (line < Xml()->lines() && !Xml()->text(line).contains(desc))
            ++line;
        QVERIFY(line < Xml()->lines());
        ClickInto(Xml(), line, int(Xml()->text(line).indexOf(desc)) + 6);
        Type(QStringLiteral("Nowy "));
        QVERIFY(Xml()->text().contains(QStringLiteral("<desc>Nowy Kontrahent</desc>")));
        QCOMPARE(TabText(DefinitionTab), QStringLiteral("Definicja*"));
    }
    // "Wstaw parametr" clicked, the dialog filled in and left with OK.
    void AddParameter(const QString &name, const QString &caption, TOrvel_ParamType type) {
        TOrvel_MessageRecorder boxes;
        bool accepted = false;
        WhenModal([&](QWidget *dialog) {
            auto *add = qobject_cast<TF_AddDefParam *>(dialog);
            QVERIFY(add);
            add->edName->setText(name);
            add->edDesc->setText(caption);
            add->listTyp->setCurrentIndex(add->listTyp->findData(int(type)));
            QTest::mouseClick(add->btnOK, Qt::LeftButton);
            accepted = !add->isVisible();
            if (!accepted)
                add->reject();
        });
        QTest::mouseClick(Main()->Editors()->btnEditDEF_add, Qt::LeftButton);
        // The window manager gives the window back its activation once the dialog is gone.
        QApplication::setActiveWindow(Main());
        QVERIFY(QTest::qWaitForWindowActive(Main()));
        QVERIFY2(accepted && boxes.Messages().empty(),
                 boxes.Messages().empty() ? "" : qPrintable(boxes.Messages()[0].Text));
    }
    // Undone step by step, the editor comes back to the text it was loaded with.
    static void UndoesBackTo(QsciScintilla *editor, const QString &loaded) {
        for (int i = 0; i < 100 && editor->isModified(); ++i)
            editor->undo();
        QVERIFY(!editor->isModified());
        QCOMPARE(editor->text(), loaded);
    }
    void ReplaceOnDisk(const QString &file, const QByteArray &from, const QByteArray &to) {
        QByteArray bytes = ReadBytes(file);
        QVERIFY(bytes.contains(from));
        bytes.replace(from, to);
        QVERIFY(WriteBytes(file, bytes));
    }

private slots:
    void savingOneEditorKeepsTheOther_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("script"); // the script is saved, else the definition
        for (const auto &[how, name] :
             {std::pair{"Ctrl+S", "Ctrl+S in the editor"}, std::pair{"button", "its Zapisz button"},
              std::pair{"Alt+Z", "Alt+Z, the key of its Zapisz"},
              std::pair{"tab bar", "Ctrl+S on the tab bar after a click on the tab"}}) {
            QTest::addRow("%s saves the script", name) << QString::fromLatin1(how) << true;
            QTest::addRow("%s saves the definition", name) << QString::fromLatin1(how) << false;
        }
    }
    void savingOneEditorKeepsTheOther() {
        QFETCH(QString, how);
        QFETCH(bool, script);
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        const QString loadedScript = Sql()->text();
        const QString loadedDefinition = Xml()->text();
        const QByteArray scriptBefore = ReadBytes(Script());
        const QByteArray definitionBefore = ReadBytes(Definition());
        EditScript();
        EditDefinition();
        QsciScintilla *other = script ? Xml() : Sql();
        const QString otherText = other->text();
        const int tab = script ? ScriptTab : DefinitionTab;
        const int otherTab = script ? DefinitionTab : ScriptTab;
        TOrvel_MessageRecorder boxes;

        ClickTab(tab);
        if (how == QLatin1String("button")) {
            QTest::mouseClick(script ? Main()->Editors()->btnEditSQL_save
                                     : Main()->Editors()->btnEditDEF_save,
                              Qt::LeftButton);
        } else if (how == QLatin1String("Alt+Z")) {
            ClickInto(script ? Sql() : Xml(), 0, 0);
            Press(Qt::Key_Z, Qt::AltModifier);
            // The button's key clicks it a moment later, as a button shows its press.
            QTRY_VERIFY(!(script ? Sql() : Xml())->isModified());
        } else {
            if (how == QLatin1String("Ctrl+S"))
                ClickInto(script ? Sql() : Xml(), 0, 0);
            else if (QApplication::focusWidget() != Main()->tabsRight->tabBar())
                Main()->tabsRight->tabBar()->setFocus(Qt::TabFocusReason);
            Press(Qt::Key_S, Qt::ControlModifier);
        }
        if (how == QLatin1String("Ctrl+S")) // the author goes on typing in the editor
            QCOMPARE(QApplication::focusWidget(), script ? Sql() : Xml());

        QVERIFY(boxes.Messages().empty());
        if (script) {
            QVERIFY(ReadBytes(Script()).startsWith("-- notatka\r\n"));
            QCOMPARE(ReadBytes(Definition()), definitionBefore);
        } else {
            QVERIFY(ReadBytes(Definition()).contains("<desc>Nowy Kontrahent</desc>"));
            QCOMPARE(ReadBytes(Script()), scriptBefore);
        }
        QCOMPARE(Main()->State(), asReady);
        QVERIFY(!(script ? Sql() : Xml())->isModified());
        QCOMPARE(TabText(tab),
                 script ? QStringLiteral("Zapytanie SQL") : QStringLiteral("Definicja"));
        // The other editor is as it was: its text, its mark and its undo history.
        QCOMPARE(other->text(), otherText);
        QVERIFY(other->isModified());
        QCOMPARE(TabText(otherTab),
                 script ? QStringLiteral("Definicja*") : QStringLiteral("Zapytanie SQL*"));
        // The program's own write is no change made outside.
        Main()->Editors()->FileWatch()->Check();
        QVERIFY2(!Main()->StatusText(1).contains(QStringLiteral("poza programem")),
                 qPrintable(Main()->StatusText(1)));
        QCOMPARE(other->text(), otherText);
        UndoesBackTo(other, script ? loadedDefinition : loadedScript);
    }

    void definitionNamingAnotherScriptAsksFirst_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("Zapisz") << int(QMessageBox::Save);
        QTest::newRow("Nie zapisuj") << int(QMessageBox::Discard);
    }
    void definitionNamingAnotherScriptAsksFirst() {
        // The script editor's unsaved text belongs to the script the definition names no longer.
        QFETCH(int, answer);
        const QString other = ReportFile(QStringLiteral("Inny.sql"));
        QVERIFY(WriteBytes(other, "SELECT 2\r\n"));
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        const QByteArray before = ReadBytes(Script());
        EditScript();
        ClickTab(DefinitionTab);
        ClickInto(Xml(), 2, 0);
        Xml()->insert(QStringLiteral("  <query>%1</query>\r\n").arg(other));
        TOrvel_MessageRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));
        Press(Qt::Key_S, Qt::ControlModifier);

        QCOMPARE(int(boxes.Messages().size()), 1);
        QCOMPARE(boxes.Messages()[0].Text,
                 QStringLiteral("Definicja wskazuje teraz plik skryptu „Inny.sql”.\n\nZapisać "
                                "zmiany w skrypcie „Faktury kontrahenta.sql”, zanim zostanie "
                                "wczytany nowy plik?"));
        if (answer == QMessageBox::Save)
            QVERIFY(ReadBytes(Script()).startsWith("-- notatka\r\n"));
        else
            QCOMPARE(ReadBytes(Script()), before);
        QCOMPARE(ReadBytes(other), QByteArray("SELECT 2\r\n"));
        QCOMPARE(Sql()->text(), QStringLiteral("SELECT 2\r\n"));
        QVERIFY(!Sql()->isModified());
    }

    void addingParametersKeepsEachDeclaration() {
        // Two parameters added one after the other, with a note typed into the script between.
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        EditScript();
        ClickTab(DefinitionTab);
        AddParameter(QStringLiteral("Kwota"), QStringLiteral("Kwota od"),
                     TOrvel_ParamType::ptNumeric);
        QVERIFY(Sql()->text().contains(QStringLiteral("DECLARE @Kwota ")));
        ClickTab(ScriptTab);
        ClickInto(Sql(), 1, 0);
        Type(QStringLiteral("-- druga"));
        Press(Qt::Key_Return);
        ClickTab(DefinitionTab);
        AddParameter(QStringLiteral("Aktywny"), QStringLiteral("Aktywny"), TOrvel_ParamType::ptBit);

        const QString script = Sql()->text();
        for (const char *kept :
             {"-- notatka", "-- druga", "DECLARE @Kwota ", "DECLARE @Aktywny BIT"})
            QVERIFY2(script.contains(QLatin1String(kept)), kept);
        QVERIFY(Sql()->isModified());
        QVERIFY(!Xml()->isModified());
        const QByteArray definition = ReadBytes(Definition());
        QVERIFY(definition.contains("<name>Kwota</name>") &&
                definition.contains("<name>Aktywny</name>"));

        // F5 in the script: Zapisz writes the declarations, and the report runs with both.
        ClickTab(ScriptTab);
        ClickInto(Sql(), 0, 0);
        TOrvel_MessageRecorder boxes(QMessageBox::Save);
        Press(Qt::Key_F5);
        QTRY_COMPARE_WITH_TIMEOUT(Main()->State(), asReady, 60000);
        QCOMPARE(int(boxes.Messages().size()), 1); // the question, no error
        QCOMPARE(boxes.Messages()[0].Text,
                 QStringLiteral("Zapisać zmiany w raporcie „Faktury kontrahenta”?"));
        QVERIFY(ReadBytes(Script()).contains("DECLARE @Kwota "));
        QVERIFY(ReadBytes(Script()).contains("DECLARE @Aktywny BIT"));
        QVERIFY(Main()->StatusText(1).startsWith(QStringLiteral("OK")));
    }

    void runCommandsAskAboutUnsavedText_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("answer");
        for (const char *command :
             {"Uruchom", "F5", "Ctrl+Enter", "Enter in an input", "F5 in the script"}) {
            QTest::addRow("%s, Zapisz", command)
                << QString::fromLatin1(command) << int(QMessageBox::Save);
            QTest::addRow("%s, Nie zapisuj", command)
                << QString::fromLatin1(command) << int(QMessageBox::Discard);
            QTest::addRow("%s, Anuluj", command)
                << QString::fromLatin1(command) << int(QMessageBox::Cancel);
        }
    }
    void runCommandsAskAboutUnsavedText() {
        QFETCH(QString, command);
        QFETCH(int, answer);
        const QString file = ReportFile(QStringLiteral("Stany magazynowe.sql"));
        QVERIFY(FDesk->Choose(QStringLiteral("Stany magazynowe")));
        const QByteArray before = ReadBytes(file);
        EditScript();
        if (command == QLatin1String("F5 in the script")) {
            ClickInto(Sql(), 0, 0);
        } else {
            ClickTab(ResultTab);
            QWidget *input = FDesk->Input(QStringLiteral("Fraza"));
            QVERIFY(input);
            QTest::mouseClick(input, Qt::LeftButton);
            QTRY_COMPARE(QApplication::focusWidget(), input);
        }
        TOrvel_MessageRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));

        if (command == QLatin1String("Uruchom"))
            QTest::mouseClick(Main()->btnRun, Qt::LeftButton);
        else if (command == QLatin1String("Ctrl+Enter"))
            Press(Qt::Key_Return, Qt::ControlModifier);
        else if (command == QLatin1String("Enter in an input"))
            Press(Qt::Key_Return);
        else
            Press(Qt::Key_F5);
        QTRY_COMPARE_WITH_TIMEOUT(Main()->State(), asReady, 60000);

        QCOMPARE(int(boxes.Messages().size()), 1);
        QCOMPARE(boxes.Messages()[0].Text,
                 QStringLiteral("Zapisać zmiany w raporcie „Stany magazynowe”?"));
        const bool runs = answer != QMessageBox::Cancel;
        const bool saved = answer == QMessageBox::Save;
        QCOMPARE(Main()->labInfo->text().startsWith(QStringLiteral(" Wynik (")), runs);
        QCOMPARE(ReadBytes(file).startsWith("-- notatka\r\n"), saved);
        if (!saved)
            QCOMPARE(ReadBytes(file), before);
        // What ran is what the files hold.
        QCOMPARE(Main()->Report()->GetScriptText().contains(QStringLiteral("-- notatka")), saved);
        QCOMPARE(
            Main()->StatusText(1).contains(QStringLiteral("Uruchomiono zapisaną wersję raportu")),
            answer == QMessageBox::Discard);
        // The editor keeps the text in every case; only a save takes the mark away.
        QVERIFY(Sql()->text().startsWith(QStringLiteral("-- notatka\r\n")));
        QCOMPARE(TabText(ScriptTab),
                 saved ? QStringLiteral("Zapytanie SQL") : QStringLiteral("Zapytanie SQL*"));
    }

    void outsideChangeWithoutUnsavedEditIsLoaded_data() {
        QTest::addColumn<bool>("scriptUnsaved");
        QTest::newRow("nothing unsaved") << false;
        QTest::newRow("the script unsaved") << true;
    }
    void outsideChangeWithoutUnsavedEditIsLoaded() {
        QFETCH(bool, scriptUnsaved);
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        if (scriptUnsaved)
            EditScript();
        const QString script = Sql()->text();
        TOrvel_MessageRecorder boxes;

        ReplaceOnDisk(Definition(), "<desc>Kontrahent</desc>", "<desc>Odbiorca</desc>");

        QTRY_VERIFY2(Main()->StatusText(1).contains(
                         QStringLiteral("„Faktury kontrahenta.xml” został zmieniony poza "
                                        "programem i wczytany ponownie")),
                     qPrintable(Main()->StatusText(1)));
        QVERIFY(boxes.Messages().empty());
        QVERIFY(Xml()->text().contains(QStringLiteral("<desc>Odbiorca</desc>")));
        QVERIFY(!Xml()->isModified());
        QVERIFY(Main()->Report()->GetDefinitionText().contains(QStringLiteral("Odbiorca")));
        QCOMPARE(Sql()->text(), script);
        QCOMPARE(Sql()->isModified(), scriptUnsaved);
        if (scriptUnsaved) // the reload took the focus from no one
            QCOMPARE(QApplication::focusWidget(), Sql());
    }

    void outsideChangeWaitsForAnOpenDialog() {
        // The add-parameter dialog works on the loaded definition: it is not reloaded under it.
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        bool keptWhileOpen = false;
        WhenModal([&](QWidget *dialog) {
            ReplaceOnDisk(Definition(), "<desc>Kontrahent</desc>", "<desc>Odbiorca</desc>");
            Main()->Editors()->FileWatch()->Check(); // what the watcher's notice leads to
            keptWhileOpen = Xml()->text().contains(QStringLiteral("<desc>Kontrahent</desc>"));
            static_cast<QDialog *>(dialog)->reject();
        });
        QTest::mouseClick(Main()->Editors()->btnEditDEF_add, Qt::LeftButton);
        QVERIFY(keptWhileOpen);
        QTRY_VERIFY2(Main()->StatusText(1).contains(QStringLiteral("wczytany ponownie")),
                     qPrintable(Main()->StatusText(1)));
        QVERIFY(Xml()->text().contains(QStringLiteral("<desc>Odbiorca</desc>")));
    }

    void outsideChangeWithUnsavedEditsIsAskedBeforeSaving_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("Zastąp") << int(QMessageBox::Yes);
        QTest::newRow("Wczytaj ponownie") << int(QMessageBox::No);
        QTest::newRow("Anuluj") << int(QMessageBox::Cancel);
    }
    void outsideChangeWithUnsavedEditsIsAskedBeforeSaving() {
        QFETCH(int, answer);
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        EditDefinition();
        ReplaceOnDisk(Definition(), "<desc>Status płatności</desc>", "<desc>Stan</desc>");
        QTRY_VERIFY2(Main()->StatusText(1).contains(QStringLiteral(
                         "„Faktury kontrahenta.xml” został zmieniony poza programem")),
                     qPrintable(Main()->StatusText(1)));
        // Nothing is loaded over the author's edit.
        QVERIFY(Xml()->text().contains(QStringLiteral("Nowy Kontrahent")));
        QVERIFY(Xml()->isModified());

        ClickInto(Xml(), 0, 0);
        TOrvel_MessageRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));
        Press(Qt::Key_S, Qt::ControlModifier);

        QCOMPARE(int(boxes.Messages().size()), 1);
        QVERIFY2(boxes.Messages()[0].Text.startsWith(QStringLiteral(
                     "Plik „Faktury kontrahenta.xml” został zmieniony poza programem.")),
                 qPrintable(boxes.Messages()[0].Text));
        QCOMPARE(boxes.Messages()[0].ButtonTexts.size(), 3);
        const QByteArray onDisk = ReadBytes(Definition());
        if (answer == QMessageBox::Yes) {
            QVERIFY(onDisk.contains("Nowy Kontrahent") && !onDisk.contains("<desc>Stan</desc>"));
            QVERIFY(!Xml()->isModified());
        } else if (answer == QMessageBox::No) {
            QVERIFY(onDisk.contains("<desc>Stan</desc>") && !onDisk.contains("Nowy Kontrahent"));
            QVERIFY(Xml()->text().contains(QStringLiteral("<desc>Stan</desc>")));
            QVERIFY(!Xml()->isModified());
        } else {
            QVERIFY(onDisk.contains("<desc>Stan</desc>") && !onDisk.contains("Nowy Kontrahent"));
            QVERIFY(Xml()->text().contains(QStringLiteral("Nowy Kontrahent")));
            QVERIFY(Xml()->isModified());
            // The next save asks again.
            Press(Qt::Key_S, Qt::ControlModifier);
            QCOMPARE(int(boxes.Messages().size()), 2);
        }
    }

    void outsideChangeRightBeforeSavingIsAsked() {
        // Ctrl+S at once after the change on disk, before the watcher's notice has settled.
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        EditDefinition();
        ClickInto(Xml(), 0, 0);
        ReplaceOnDisk(Definition(), "<desc>Status płatności</desc>", "<desc>Stan</desc>");
        TOrvel_MessageRecorder boxes(QMessageBox::Cancel);
        Press(Qt::Key_S, Qt::ControlModifier);

        QCOMPARE(int(boxes.Messages().size()), 1);
        QVERIFY2(boxes.Messages()[0].Text.startsWith(QStringLiteral(
                     "Plik „Faktury kontrahenta.xml” został zmieniony poza programem.")),
                 qPrintable(boxes.Messages()[0].Text));
        const QByteArray onDisk = ReadBytes(Definition());
        QVERIFY(onDisk.contains("<desc>Stan</desc>") && !onDisk.contains("Nowy Kontrahent"));
        QVERIFY(Xml()->isModified());
    }

    void removedFileIsReportedNotRecreated() {
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        const QString text = Sql()->text();
        QVERIFY(QFile::remove(Script()));
        QTRY_VERIFY2(Main()->StatusText(1).contains(QStringLiteral(
                         "Plik „Faktury kontrahenta.sql” został usunięty poza programem")),
                     qPrintable(Main()->StatusText(1)));
        QCOMPARE(Sql()->text(), text);
        QVERIFY(!QFile::exists(Script()));

        ClickTab(ScriptTab);
        ClickInto(Sql(), 0, 0);
        TOrvel_MessageRecorder boxes(QMessageBox::Cancel);
        Press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(int(boxes.Messages().size()), 1);
        QVERIFY(
            boxes.Messages()[0].Text.contains(QStringLiteral("został usunięty poza programem")));
        QVERIFY(!QFile::exists(Script()));
        // Written again only when the author says so.
        boxes.SetAnswer(QMessageBox::Yes);
        Press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(int(boxes.Messages().size()), 2);
        QVERIFY(QFile::exists(Script()));
        QCOMPARE(ReadScriptFile(Script()).Text, text);
    }

    void failedSaveSaysSo() {
        QVERIFY(FDesk->Choose(QStringLiteral("Faktury kontrahenta")));
        EditScript();
        const QString typed = Sql()->text();
        // A folder where the script was: the write is refused.
        QVERIFY(QFile::remove(Script()));
        QVERIFY(QDir().mkdir(Script()));
        Main()->Editors()->FileWatch()->Check();
        ClickInto(Sql(), 0, 0);
        TOrvel_MessageRecorder boxes(QMessageBox::Yes);
        Press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(int(boxes.Messages().size()), 2); // write it again? then why it failed
        QCOMPARE(boxes.Messages()[1].Icon, TOrvel_MsgIcon::Error);
        QCOMPARE(Main()->StatusText(1),
                 QStringLiteral("Nie zapisano pliku „Faktury kontrahenta.sql”"));
        QCOMPARE(Sql()->text(), typed);
        QVERIFY(Sql()->isModified());
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
        SpreadsheetExportTest test;
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
        GridWidthsTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        MessageBoxTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        AuthoringTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        PrintCommandsTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    return status;
}

#include "test_ui_desktop.moc"
