// The desktop shell: the state table, closing, the general error message, the login window against
// the demo databases, and the main window's commands with the real report object.
#include "DesktopFixture.h"
#include "FU_About.h"
#include "FU_AddDefParam.h"
#include "FU_Login.h"
#include "FU_Main.h"
#include "FU_NewReport.h"
#include "FU_ResultFormat.h"
#include "FU_Settings.h"
#include "Orvel_ResultGrid.h"
#include "TestSupport.h"
#include "U_AppState.h"
#include "U_Application.h"
#include "U_Db.h"
#include "U_ExportCommands.h"
#include "U_GridColumns.h"
#include "U_MessageBox.h"
#include "U_ReportEditors.h"
#include "U_ReportFactory.h"
#include "U_RowIndicator.h"

#include "U_SQL_report_settings.h"
#include "U_SqlEditor.h"
#include "U_WidgetUtils.h"
#include "U_XmlEditor.h"
#include "U_error.h"
#include "U_locale.h"
#include "U_settings.h"
#include "U_utils.h"
#include <QElapsedTimer>
#include <QRegularExpression>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

// Counts the exclamation sounds for the time of its life.
class SoundCounter {
public:
    SoundCounter() {
        FPrevious = SetExclamationHandler([this] { ++Count; });
    }
    ~SoundCounter() { SetExclamationHandler(std::move(FPrevious)); }
    int Count = 0;

private:
    std::function<void()> FPrevious;
};

// A report whose answers the test sets.
class FakeReport : public TOrvel_ReportPort {
public:
    bool Loaded = false;
    bool Records = false;
    bool ThrowOnLoad = false;
    bool StartRun = false;
    QString Error;
    void ClearReport() override { Loaded = false; }
    bool LoadReport(const QString &, const QString &) override {
        if (ThrowOnLoad)
            throw EOrvelError(QStringLiteral("'x' is not a valid floating point value"));
        Loaded = true;
        return true;
    }
    bool IsLoaded() const override { return Loaded; }
    QString GetTitle() const override { return {}; }
    QString GetScriptText() const override { return QStringLiteral("SELECT 1"); }
    QString GetDefinitionText() const override { return QStringLiteral("<Zestawnik/>"); }
    QString GetScriptFileName() const override { return {}; }
    QString GetDefinitionFileName() const override { return {}; }
    QString GetParamsText() const override { return {}; }
    void ShowInfo(QTreeWidget *) override {}
    void UpdateInfoValue(QTreeWidget *, const QString &, const QString &) override {}
    void ResetValues() override {}
    void SaveValues() override {}
    void LoadDefaultValues() override {}
    std::vector<TOrvel_ParamValue> CurrentValues() const override { return {}; }
    void RestoreValues(const std::vector<TOrvel_ParamValue> &) override {}
    bool InputsRunnable() override { return true; }
    bool Run() override {
        Cancelled = false;
        return StartRun;
    }
    // A cancel only asks: the test ends the run with OnRunDone when it likes.
    void CancelRun() override { ++CancelRequests; }
    void AbandonRun() override {
        ++Abandoned;
        Cancelled = true;
        OnRunDone();
    }
    bool IsRunning() const override { return false; }
    bool WasCancelled() const override { return Cancelled; }
    int CancelRequests = 0;
    int Abandoned = 0;
    bool Cancelled = false;
    QString ErrorText() const override { return Error; }
    DbQuery *ResultQuery() const override { return nullptr; }
    bool HasRecords() const override { return Records; }
    int RecordCount() const override { return Records ? 7 : 0; }
    void ApplyColumns(TOrvel_GridColumns &) override {}
    TOrvel_ReportSettings *ColumnSettings() override { return &Settings; }
    bool AddDefinitionItem(const TOrvel_ParamData &) override { return false; }
    QStringList ListQueryColumns(const QString &) override { return {}; }
    TOrvel_ReportSettings Settings;
    void SortByColumn(TOrvel_GridColumns &, int) override {}
    bool SortAscending() const override { return true; }
    int SortColumn() const override { return -1; }
};

// A run in progress on the window; the run ends only when the test says so.
void StartRun(TF_Main &main, FakeReport &report) {
    main.SetDatabaseList({QStringLiteral("HURTOWNIA")});
    main.listDB->setCurrentIndex(0);
    report.Loaded = true;
    report.Records = false;
    report.StartRun = true;
    main.SetAppState(asReady);
    QTest::mouseClick(main.btnRun, Qt::LeftButton);
    QCOMPARE(main.State(), asRunning);
}

// The next widget of the window's focus chain, past the inner parts of a compound control.
QWidget *NextFocus(QWidget *widget) {
    QWidget *next = widget->nextInFocusChain();
    while (widget->isAncestorOf(next))
        next = next->nextInFocusChain();
    return next;
}

} // namespace

// ---------------------------------------------------------------------------------------------

class StateTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<AppFolder> FFolder;
    FakeReport *FReport = nullptr;
    std::unique_ptr<TF_Main> FMain;

    // A run needs a chosen database.
    void ChooseADatabase() {
        FMain->SetDatabaseList({QStringLiteral("HURTOWNIA")});
        FMain->listDB->setCurrentIndex(0);
    }

private slots:
    void init() {
        FFolder = std::make_unique<AppFolder>(true);
        FMain = std::make_unique<TF_Main>([this](QWidget *, DbConnection &) {
            auto report = std::make_unique<FakeReport>();
            FReport = report.get();
            return report;
        });
    }
    void cleanup() {
        FMain.reset();
        FFolder.reset();
    }

    void afterCreation() {
        QCOMPARE(FMain->State(), asNotConnected);
        QCOMPARE(FMain->StatusText(0), QStringLiteral("Nie połączone !"));
        QCOMPARE(FMain->windowTitle(), QStringLiteral("Orvel-Zestawnik 1.0.0.1891"));
        QCOMPARE(ApplicationTitle(), QStringLiteral("Orvel-Zestawnik 1.0.0.1891"));
        QVERIFY(FMain->btnLogin->isEnabled());
        QVERIFY(!FMain->btnSettings->isEnabled());
        QVERIFY(!FMain->tabsRight->tabBar()->isEnabled());
    }

    void table_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<bool>("records");
        // pages/listDB, Login, Save, Format, Run, Stop, New, Settings, work area, and whether the
        // run command is "Przerwij"
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("panel");
        QTest::newRow("ready, nothing loaded") << 0 << false << false << "1100001110"
                                               << "OK" << 1;
        QTest::newRow("ready, loaded, no rows") << 0 << true << false << "1100101110"
                                                << "OK" << 1;
        QTest::newRow("ready, loaded with rows") << 0 << true << true << "1111101110"
                                                 << "OK" << 1;
        QTest::newRow("ready, rows but not loaded") << 0 << false << true << "1100001110"
                                                    << "OK" << 1;
        QTest::newRow("not connected") << 1 << true << true << "0100000000"
                                       << "Nie połączone !" << 0;
        QTest::newRow("running") << 2 << true << true << "0000110101"
                                 << "Wykonywanie..." << 1;
        QTest::newRow("loading") << 3 << true << false << "0000010100"
                                 << "Ładowanie raportu..." << 1;
        QTest::newRow("not loaded") << 4 << false << false << "1100001100"
                                    << "Raport nie został załadowany !" << 1;
        QTest::newRow("changing database") << 5 << true << true << "0000000100"
                                           << "Zmiana bazy..." << 1;
        QTest::newRow("no database") << 6 << false << false << "1100001100"
                                     << "Baza nie została ustawiona !" << 1;
        // The grid stays readable while its result is saved; nothing can change that result.
        QTest::newRow("exporting") << 7 << true << true << "0000000110"
                                   << "Zapisywanie wyniku..." << 1;
    }
    void table() {
        QFETCH(int, state);
        QFETCH(bool, loaded);
        QFETCH(bool, records);
        QFETCH(QString, expected);
        QFETCH(QString, status);
        QFETCH(int, panel);
        FReport->Loaded = loaded;
        FReport->Records = records;
        FMain->SetActivityText(QStringLiteral("ostatnia"));
        FMain->SetConnectionText(QStringLiteral("połączenie"));
        FMain->SetAppState(static_cast<TOrvel_AppState>(state));
        const QWidget *controls[] = {FMain->pages,     FMain->btnLogin,   FMain->btnSave,
                                     FMain->btnFormat, FMain->btnRun,     FMain->btnStop,
                                     FMain->btnNew,    FMain->btnSettings};
        for (int i = 0; i < 8; ++i)
            QVERIFY2(controls[i]->isEnabled() == (expected[i] == u'1'),
                     qPrintable(controls[i]->objectName()));
        QCOMPARE(FMain->listDB->isEnabled(), expected[0] == u'1');
        const bool work = expected[8] == u'1';
        // Nothing in the right-hand tabs reacts when the work area is disabled, the tab headers
        // included.
        QCOMPARE(FMain->tabsRight->tabBar()->isEnabled(), work);
        QCOMPARE(FMain->gridlist->isEnabled(), work);
        QCOMPARE(FMain->edReportSQL->isEnabled(), work);
        // The editors are writable only when ready; the parameter buttons only with a report.
        QCOMPARE(FMain->edReportSQL->isReadOnly(), !(work && state == asReady));
        QCOMPARE(FMain->edReportDefinition->isReadOnly(), !(work && state == asReady));
        for (QWidget *button : {static_cast<QWidget *>(FMain->btnResetParams),
                                static_cast<QWidget *>(FMain->btnSaveParams),
                                static_cast<QWidget *>(FMain->btnLoadDefaultValues)})
            QCOMPARE(button->isEnabled(), work && loaded);
        QVERIFY(FMain->btnAbout->isEnabled());
        QVERIFY(FMain->btnRun->toolTip().startsWith(
            expected[9] == u'1' ? QStringLiteral("Przerwij (") : QStringLiteral("Uruchom (")));
        QCOMPARE(FMain->StatusText(panel), status);
        QCOMPARE(FMain->StatusText(1 - panel),
                 panel == 0 ? QStringLiteral("ostatnia") : QStringLiteral("połączenie"));
    }

    void gridOnlyWithAnOpenResult() {
        FReport->Loaded = true;
        FReport->Records = false;
        FMain->SetAppState(asReady);
        QVERIFY(FMain->gridlist->isHidden());
        QCOMPARE(FMain->ResultCaption(), QStringLiteral("Raport jest pusty"));
    }

    void closeQuery_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<int>("sounds");
        QTest::newRow("ready") << 0 << true << 0;
        QTest::newRow("not connected") << 1 << true << 0;
        // A run can be stopped: the user is asked (here answering "Nie") instead of a sound.
        QTest::newRow("running") << 2 << false << 0;
        QTest::newRow("loading") << 3 << false << 1;
        QTest::newRow("not loaded") << 4 << true << 0;
        QTest::newRow("changing database") << 5 << false << 1;
        QTest::newRow("no database") << 6 << true << 0;
        // An export can be stopped: asked as during a run.
        QTest::newRow("exporting") << 7 << false << 0;
    }
    void closeQuery() {
        QFETCH(int, state);
        QFETCH(bool, allowed);
        QFETCH(int, sounds);
        SoundCounter sounded;
        TOrvel_MessageRecorder boxes(QMessageBox::No);
        FMain->SetAppState(static_cast<TOrvel_AppState>(state));
        QCloseEvent event;
        QApplication::sendEvent(FMain.get(), &event);
        QCOMPARE(event.isAccepted(), allowed);
        QCOMPARE(sounded.Count, sounds);
        QCOMPARE(boxes.Messages().size(),
                 std::size_t(state == asRunning || state == asExporting ? 1 : 0));
        QCOMPARE(FReport->CancelRequests, 0);
        QCOMPARE(FMain->State(), static_cast<TOrvel_AppState>(state));
    }

    void elapsedTime_data() {
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("under a second") << 999 << "0:00";
        QTest::newRow("three seconds") << 3000 << "0:03";
        QTest::newRow("65 seconds") << 65000 << "1:05";
        QTest::newRow("ten minutes") << 600000 << "10:00";
        QTest::newRow("over an hour") << 3725000 << "62:05";
    }
    void elapsedTime() {
        QFETCH(int, ms);
        QFETCH(QString, text);
        QCOMPARE(FormatElapsedTime(ms), text);
    }

    // The rows of the status line: grouped by blanks, the noun in its Polish plural form.
    void rowsText_data() {
        QTest::addColumn<qint64>("rows");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << qint64(1) << "1 wiersz";
        QTest::newRow("few") << qint64(3) << "3 wiersze";
        QTest::newRow("teens") << qint64(12) << "12 wierszy";
        QTest::newRow("twenty-two") << qint64(22) << "22 wiersze";
        QTest::newRow("grouped") << qint64(350000) << "350 000 wierszy";
        QTest::newRow("millions") << qint64(1234562) << "1 234 562 wiersze";
    }
    void rowsText() {
        QFETCH(qint64, rows);
        QFETCH(QString, text);
        QCOMPARE(RowsText(rows), text);
    }

    void runRefusedReturnsToReady() {
        ChooseADatabase();
        FReport->Loaded = true;
        FMain->SetAppState(asReady);
        FReport->StartRun = false;
        FMain->btnRunClick();
        QCOMPARE(FMain->State(), asReady);
        QVERIFY(!FMain->ExecTime->isActive());
        QCOMPARE(FMain->StatusText(1), QStringLiteral("OK"));
    }

    void failedRunShowsOneBoxAndNoSound() {
        ChooseADatabase();
        FReport->Loaded = true;
        FMain->SetAppState(asReady);
        FReport->StartRun = true;
        FMain->btnRunClick();
        QCOMPARE(FMain->State(), asRunning);
        QVERIFY(FMain->ExecTime->isActive());
        FReport->Error = QStringLiteral("Błąd składni\r\n00040E14.00000066.Serwer - x\r\n");
        TOrvel_MessageRecorder boxes;
        SoundCounter sounds;
        FReport->OnRunDone();
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
        QVERIFY(boxes.Messages()[0].Caption.isEmpty());
        QCOMPARE(boxes.Messages()[0].Text, FReport->Error);
        QCOMPARE(sounds.Count, 0);
        QCOMPARE(FMain->State(), asReady);
        QVERIFY(!FMain->ExecTime->isActive());
    }

    void runWithRowsAndWithout() {
        ChooseADatabase();
        FReport->Loaded = true;
        FMain->SetAppState(asReady);
        FReport->StartRun = true;
        SoundCounter sounds;
        FMain->btnRunClick();
        FReport->Records = false;
        FReport->OnRunDone();
        QCOMPARE(FMain->labInfo->text(), QStringLiteral(" Wynik"));
        QCOMPARE(FMain->StatusText(1), QStringLiteral("OK"));
        QCOMPARE(sounds.Count, 1);
        FMain->btnRunClick();
        FReport->Records = true;
        FReport->OnRunDone();
        QCOMPARE(FMain->labInfo->text(), QStringLiteral(" Wynik (7 pozycji)"));
        QVERIFY(FMain->StatusText(1).startsWith(QStringLiteral("OK, czas generowania raportu: ")));
        QCOMPARE(sounds.Count, 2);
        QVERIFY(FMain->btnSave->isEnabled());
    }

    void cancel_data() {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Przerwij") << false;
        QTest::newRow("Esc") << true;
    }
    void cancel() {
        QFETCH(bool, escape);
        FMain->show();
        QVERIFY(QTest::qWaitForWindowExposed(FMain.get()));
        FMain->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(FMain.get()));
        StartRun(*FMain, *FReport);
        QVERIFY(FMain->btnRun->isEnabled());
        QVERIFY(FMain->btnRun->toolTip().startsWith(QStringLiteral("Przerwij (")));
        const auto press = [&] {
            if (escape)
                QTest::keyClick(FMain.get(), Qt::Key_Escape);
            else
                QTest::mouseClick(FMain->btnRun, Qt::LeftButton);
        };
        press();
        QCOMPARE(FReport->CancelRequests, 1);
        QCOMPARE(FMain->StatusText(1), QStringLiteral("Przerywanie…"));
        // The elapsed time does not overwrite the status, and a second press asks nothing more.
        QTest::qWait(450);
        QCOMPARE(FMain->StatusText(1), QStringLiteral("Przerywanie…"));
        press();
        QCOMPARE(FReport->CancelRequests, 1);
        QCOMPARE(FMain->State(), asRunning);

        TOrvel_MessageRecorder boxes;
        SoundCounter sounds;
        FReport->Cancelled = true;
        FReport->OnRunDone();
        QCOMPARE(boxes.Messages().size(), std::size_t(0));
        QCOMPARE(sounds.Count, 0);
        QCOMPARE(FMain->State(), asReady);
        QVERIFY2(QRegularExpression(QStringLiteral("^Przerwano, czas: \\d+:\\d\\d$"))
                     .match(FMain->StatusText(1))
                     .hasMatch(),
                 qPrintable(FMain->StatusText(1)));
        QCOMPARE(FMain->labInfo->text(), QStringLiteral(" Wynik"));
        QVERIFY(FMain->btnRun->toolTip().startsWith(QStringLiteral("Uruchom (")));
        QVERIFY(!FMain->ExecTime->isActive());
        QVERIFY(!FMain->CancelWait->isActive());
        // Esc outside a run does nothing.
        press();
        QCOMPARE(FReport->CancelRequests, 1);
    }

    void unansweredCancel_data() {
        QTest::addColumn<bool>("drop");
        QTest::newRow("drop the connection") << true;
        QTest::newRow("keep waiting") << false;
    }
    void unansweredCancel() {
        QFETCH(bool, drop);
        FMain->SetConnectionText(QStringLiteral("Użytkownik: serwer/ja"));
        FMain->SetDatabaseList({QStringLiteral("HURTOWNIA")});
        StartRun(*FMain, *FReport);
        FMain->CancelWait->setInterval(50);
        TOrvel_MessageRecorder boxes(drop ? QMessageBox::Yes : QMessageBox::No);
        FMain->btnCancelClick();
        QTRY_COMPARE(boxes.Messages().size(), std::size_t(1));
        const TOrvel_MessageRequest &box = boxes.Messages()[0];
        QVERIFY(box.Text.startsWith(QStringLiteral("Serwer nie odpowiedział na przerwanie")));
        QCOMPARE(box.Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.DefaultButton, QMessageBox::No);
        if (drop) {
            QCOMPARE(FReport->Abandoned, 1);
            QCOMPARE(FMain->State(), asNotConnected);
            QCOMPARE(FMain->StatusText(0), QStringLiteral("Nie połączone !"));
            QVERIFY(FMain->DatabaseList().isEmpty());
            QVERIFY(!FMain->Connection().IsConnected());
            QVERIFY(FMain->btnLogin->isEnabled());
        } else {
            // Still waiting, and asked again while the server keeps silent.
            QCOMPARE(FReport->Abandoned, 0);
            QCOMPARE(FMain->State(), asRunning);
            QCOMPARE(FMain->StatusText(1), QStringLiteral("Przerywanie…"));
            QTRY_COMPARE(boxes.Messages().size(), std::size_t(2));
            FReport->Cancelled = true;
            FReport->OnRunDone();
            QCOMPARE(FMain->State(), asReady);
            QVERIFY(!FMain->CancelWait->isActive());
        }
    }

    void closingDuringARun_data() {
        QTest::addColumn<int>("answer");        // to "Przerwać i zamknąć?"
        QTest::addColumn<bool>("serverSilent"); // the cancel is never answered: drop offered
        QTest::newRow("no") << int(QMessageBox::No) << false;
        QTest::newRow("yes") << int(QMessageBox::Yes) << false;
        QTest::newRow("yes, server silent") << int(QMessageBox::Yes) << true;
    }
    void closingDuringARun() {
        QFETCH(int, answer);
        QFETCH(bool, serverSilent);
        FMain->show();
        QVERIFY(QTest::qWaitForWindowExposed(FMain.get()));
        StartRun(*FMain, *FReport);
        FMain->CancelWait->setInterval(50);
        TOrvel_MessageRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));
        QVERIFY(!FMain->close());
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        QCOMPARE(boxes.Messages()[0].Text,
                 QStringLiteral("Raport jest wykonywany. Przerwać i zamknąć?"));
        QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Question);
        QVERIFY(FMain->isVisible());
        if (answer == QMessageBox::No) {
            QCOMPARE(FReport->CancelRequests, 0);
            QCOMPARE(FMain->State(), asRunning);
            FReport->OnRunDone();
            QTest::qWait(20);
            QVERIFY(FMain->isVisible()); // the run's end does not close the window
            return;
        }
        QCOMPARE(FReport->CancelRequests, 1);
        // A second close while waiting asks nothing more.
        QVERIFY(!FMain->close());
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        if (serverSilent) {
            // "Tak" to dropping the connection as well.
            QTRY_VERIFY(!FMain->isVisible());
            QCOMPARE(FReport->Abandoned, 1);
            QCOMPARE(boxes.Messages().size(), std::size_t(2));
        } else {
            QVERIFY(FMain->isVisible());
            FReport->Cancelled = true;
            FReport->OnRunDone();
            QTRY_VERIFY(!FMain->isVisible());
            QCOMPARE(FReport->Abandoned, 0);
        }
    }
};

// ---------------------------------------------------------------------------------------------

class ThrowingObject : public QObject {
public:
    bool event(QEvent *e) override {
        if (e->type() == QEvent::User)
            throw EOrvelError(QStringLiteral("Coś poszło nie tak"));
        return QObject::event(e);
    }
};

class GeneralErrorTest : public QObject {
    Q_OBJECT
private slots:
    void text_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Brak pliku"
                                << "Brak pliku.";
        QTest::newRow("digit sorts after the dot") << "Kod 100"
                                                   << "Kod 100.";
        QTest::newRow("full stop kept") << "Koniec."
                                        << "Koniec.";
        QTest::newRow("exclamation mark sorts before") << "Nie połączone !"
                                                       << "Nie połączone !";
        QTest::newRow("closing parenthesis sorts before") << "(x)"
                                                          << "(x)";
        QTest::newRow("Polish letter") << "Błąd zapisu: ł"
                                       << "Błąd zapisu: ł.";
        QTest::newRow("empty") << ""
                               << "";
    }
    void text() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(GeneralErrorText(message), shown);
    }

    void escapingErrorIsShownAndTheProgramGoesOn() {
        SetApplicationTitle(QStringLiteral("Orvel-Zestawnik 1.0.0.1891"));
        TOrvel_MessageRecorder boxes;
        ThrowingObject target;
        QEvent event(QEvent::User);
        QApplication::sendEvent(&target, &event);
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        QCOMPARE(boxes.Messages()[0].Caption, QStringLiteral("Orvel-Zestawnik 1.0.0.1891"));
        QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
        QCOMPARE(boxes.Messages()[0].Text, QStringLiteral("Coś poszło nie tak."));
    }

    void setControlsEnabledReachesEveryDepth() {
        QWidget container;
        auto *panel = new QWidget(&container);
        auto *inner = new QWidget(panel);
        auto *button = new QPushButton(inner);
        auto *leaf = new QPushButton(&container);
        SetControlsEnabled(&container, false);
        QVERIFY(container.isEnabled());
        for (QWidget *w :
             {panel, inner, static_cast<QWidget *>(button), static_cast<QWidget *>(leaf)})
            QVERIFY(!w->isEnabled());
        SetControlsEnabled(&container, true);
        for (QWidget *w :
             {panel, inner, static_cast<QWidget *>(button), static_cast<QWidget *>(leaf)})
            QVERIFY(w->isEnabled());
    }
};

// ---------------------------------------------------------------------------------------------

class LoginTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<AppFolder> FFolder;
    std::unique_ptr<TF_Main> FMain;
    std::unique_ptr<TF_Login> FLogin;

private slots:
    void init() {
        FFolder = std::make_unique<AppFolder>(true);
        FMain = std::make_unique<TF_Main>();
        FLogin = std::make_unique<TF_Login>(FMain.get());
        FMain->SetLoginWindow(FLogin.get());
    }
    void cleanup() {
        FLogin.reset();
        FMain.reset();
        FFolder.reset();
    }

    void layout() {
        QCOMPARE(FLogin->size(), QSize(331, 240));
        QCOMPARE(FLogin->edServer->geometry(), QRect(108, 44, 184, 21));
        QCOMPARE(FLogin->btnConnect->geometry(), QRect(155, 208, 80, 25));
        QVERIFY(FLogin->btnConnect->isDefault());
        QCOMPARE(FLogin->btnGetServers->focusPolicy() & Qt::TabFocus, 0);
        QCOMPARE(FLogin->edPassword->echoMode(), QLineEdit::Password);
        // Tab order: server, the two choices, user, password, the two buttons.
        QCOMPARE(NextFocus(FLogin->edServer), FLogin->rbWindowsAuth);
        QCOMPARE(NextFocus(FLogin->rbWindowsAuth), FLogin->rbSQLServerAuth);
        QCOMPARE(NextFocus(FLogin->rbSQLServerAuth), FLogin->edUser);
        QCOMPARE(NextFocus(FLogin->edUser), FLogin->edPassword);
        QCOMPARE(NextFocus(FLogin->edPassword), FLogin->btnConnect);
        QCOMPARE(NextFocus(FLogin->btnConnect), FLogin->btnClose);
    }

    void firstShowingOffersTheDemoData() {
        FLogin->FormShow();
        QCOMPARE(FLogin->windowTitle(), QStringLiteral("Orvel-Zestawnik 1.0.0.1891: login"));
        const QString demo = QStringLiteral("sqlite:") + GetDataFolder() + QStringLiteral("demo");
        QCOMPARE(FLogin->edServer->count(), 1);
        QCOMPARE(FLogin->edServer->itemText(0), demo);
        QCOMPARE(FLogin->edServer->currentText(), demo);
        QVERIFY(FLogin->rbSQLServerAuth->isChecked());
    }

    void showingReadsThePreferences() {
        AppPrefs->WriteString(QStringLiteral("Connection/servers"),
                              QStringLiteral("SRV1,SRV2\\SQL,"));
        AppPrefs->WriteString(QStringLiteral("Connection/server"), QStringLiteral("SRV2\\SQL"));
        AppPrefs->WriteString(QStringLiteral("Connection/login"), QStringLiteral("sa"));
        AppPrefs->WriteBool(QStringLiteral("Connection/SQLServerAuth"), false);
        FLogin->edPassword->setText(QStringLiteral("tajne"));
        FLogin->FormShow();
        QCOMPARE(FLogin->edServer->count(), 2);
        QCOMPARE(FLogin->edServer->itemText(1), QStringLiteral("SRV2\\SQL"));
        QCOMPARE(FLogin->edServer->currentText(), QStringLiteral("SRV2\\SQL"));
        QVERIFY(FLogin->rbWindowsAuth->isChecked());
        QVERIFY(!FLogin->SQLServerAuth());
        QVERIFY(!FLogin->edUser->isEnabled() && !FLogin->edPassword->isEnabled());
        QVERIFY(FLogin->edUser->text().isEmpty() && FLogin->edPassword->text().isEmpty());
        // Back to SQL Server authentication: the user name comes back, the password stays empty.
        FLogin->rbSQLServerAuth->click();
        QCOMPARE(FLogin->edUser->text(), QStringLiteral("sa"));
        QVERIFY(FLogin->edPassword->text().isEmpty());
        QVERIFY(FLogin->edUser->isEnabled() && FLogin->labPassword->isEnabled());
    }

    void connectToTheDemoData() {
        FLogin->FormShow();
        FLogin->edServer->setEditText(DemoServer());
        FLogin->edUser->setText(QStringLiteral("  ania "));
        FLogin->edPassword->setText(QStringLiteral("Hasło;123"));
        QVERIFY(FLogin->Connect(*FMain));
        QVERIFY(FLogin->Connected());
        QCOMPARE(FMain->State(), asNoDatabase);
        QCOMPARE(FMain->StatusText(0),
                 QStringLiteral("Użytkownik: ") + DemoServer() + QStringLiteral("/ania"));
        QCOMPARE(FMain->StatusText(1), QStringLiteral("Baza nie została ustawiona !"));
        QCOMPARE(FMain->DatabaseList(),
                 (QStringList{QStringLiteral("HURTOWNIA"), QStringLiteral("KADRY")}));
        QCOMPARE(FMain->listDB->currentIndex(), -1);
        // The choices are remembered, the password never.
        AppPrefs->LoadFile(QStringLiteral("settings.xml"));
        QCOMPARE(AppPrefs->ReadString(QStringLiteral("Connection/server")), DemoServer());
        QCOMPARE(AppPrefs->ReadString(QStringLiteral("Connection/login")), QStringLiteral("ania"));
        QCOMPARE(AppPrefs->ReadString(QStringLiteral("Connection/SQLServerAuth")),
                 QStringLiteral("1"));
        const QString demo = QStringLiteral("sqlite:") + GetDataFolder() + QStringLiteral("demo");
        QCOMPARE(AppPrefs->ReadString(QStringLiteral("Connection/servers")),
                 demo + u',' + DemoServer() + u',');
        QVERIFY(!ReadBytes(GetDataFolder() + QStringLiteral("settings.xml")).contains("Has"));
    }

    void windowsAuthentication() {
        AppPrefs->WriteString(QStringLiteral("Connection/login"), QStringLiteral("stary"));
        FLogin->FormShow();
        FLogin->rbWindowsAuth->click();
        FLogin->edServer->setEditText(DemoServer());
        QVERIFY(FLogin->Connect(*FMain));
        QCOMPARE(FMain->StatusText(0),
                 QStringLiteral("Użytkownik: ") + DemoServer() + u'/' + GetSystemUserName());
        AppPrefs->LoadFile(QStringLiteral("settings.xml"));
        QCOMPARE(AppPrefs->ReadString(QStringLiteral("Connection/SQLServerAuth")),
                 QStringLiteral("0"));
        QCOMPARE(AppPrefs->ReadString(QStringLiteral("Connection/login")), QStringLiteral("stary"));
    }

    void failedConnection() {
        FLogin->FormShow();
        FLogin->edServer->setEditText(QStringLiteral("sqlite:/nie/ma/takiego/folderu"));
        FMain->SetDatabaseList({QStringLiteral("HURTOWNIA")}); // of an earlier connection
        TOrvel_MessageRecorder boxes;
        QVERIFY(!FLogin->Connect(*FMain));
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        const TOrvel_MessageRequest &box = boxes.Messages()[0];
        QCOMPARE(box.Icon, TOrvel_MsgIcon::Error);
        QVERIFY(box.Caption.isEmpty());
        QCOMPARE(box.Owner, FLogin.get());
        QVERIFY(box.Text.startsWith(QStringLiteral("Podany serwer nie został znaleziony\r\n(")));
        QVERIFY(box.Text.endsWith(u')'));
        QCOMPARE(FMain->State(), asNotConnected);
        QCOMPARE(FMain->StatusText(0), QStringLiteral("Nie połączone !"));
        // The databases of an earlier connection are not offered for this one.
        QVERIFY(FMain->DatabaseList().isEmpty());
        // The attempt is remembered all the same.
        QCOMPARE(AppPrefs->ReadString(QStringLiteral("Connection/server")),
                 QStringLiteral("sqlite:/nie/ma/takiego/folderu"));
    }

    void serverWithPortStaysOneEntry() {
        // A server written "host,port" (and one "host\\INSTANCE") stays one entry through
        // attempts, the stored list and the next showing.
        AppPrefs->WriteString(QStringLiteral("Connection/servers"), QStringLiteral("SRV\\SQL,"));
        TOrvel_MessageRecorder boxes; // nothing listens on port 1
        for (int attempt = 0; attempt < 2; ++attempt) {
            FLogin->FormShow();
            FLogin->edServer->setEditText(QStringLiteral("127.0.0.1,1"));
            QVERIFY(!FLogin->Connect(*FMain));
        }
        FLogin->FormShow();
        QCOMPARE(FLogin->edServer->count(), 2);
        QCOMPARE(FLogin->edServer->itemText(0), QStringLiteral("SRV\\SQL"));
        QCOMPARE(FLogin->edServer->itemText(1), QStringLiteral("127.0.0.1,1"));
        QCOMPARE(FLogin->edServer->currentText(), QStringLiteral("127.0.0.1,1"));
        AppPrefs->LoadFile(QStringLiteral("settings.xml"));
        QCOMPARE(AppPrefs->ReadString(QStringLiteral("Connection/servers")),
                 QStringLiteral("SRV\\SQL,\"127.0.0.1,1\","));
    }

    void serverNamesAreNotRepeated() {
        AppPrefs->WriteString(QStringLiteral("Connection/servers"), QStringLiteral("Serwer1,"));
        FLogin->FormShow();
        FLogin->edServer->setEditText(QStringLiteral("SERWER1"));
        TOrvel_MessageRecorder boxes; // the server does not exist
        FLogin->Connect(*FMain);
        QCOMPARE(FLogin->edServer->count(), 1);
        QCOMPARE(FLogin->edServer->itemText(0), QStringLiteral("Serwer1"));
        QCOMPARE(AppPrefs->ReadString(QStringLiteral("Connection/servers")),
                 QStringLiteral("Serwer1,"));
    }

    void emptyServerNameWritesNothing() {
        FLogin->FormShow();
        FLogin->edServer->setEditText(QStringLiteral("   "));
        TOrvel_MessageRecorder boxes;
        FLogin->Connect(*FMain);
        QVERIFY(!QFile::exists(GetDataFolder() + QStringLiteral("settings.xml")));
    }
};

// ---------------------------------------------------------------------------------------------

class MainWindowTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<AppFolder> FFolder;
    std::unique_ptr<Desktop> FDesk;
    TF_Main *FMain = nullptr;
    TF_Login *FLogin = nullptr;

    void ChooseDatabase(const QString &name) { FDesk->ChooseDatabase(name); }
    void Choose(const QString &node) {
        QTreeWidgetItem *item = FindItem(FMain->tree, node);
        QVERIFY2(item, qPrintable(node));
        FMain->tree->setCurrentItem(item);
    }
    // Chooses a report, runs it and waits for the end of the run.
    void Run(const QString &node) {
        Choose(node);
        QCOMPARE(FMain->State(), asReady);
        FMain->btnRunClick();
        QTRY_COMPARE_WITH_TIMEOUT(FMain->State(), asReady, 60000);
    }
    int Position(const QString &field) const {
        return FMain->gridlist->Columns().FindColumn(field);
    }
    QString SettingsFile(const QString &report) const {
        return FFolder->Reports() + report + QStringLiteral(" settings.xml");
    }

private slots:
    void init() {
        SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
        FFolder = std::make_unique<AppFolder>(true);
        FDesk = std::make_unique<Desktop>();
        FMain = FDesk->Main.get();
        FLogin = FDesk->Login.get();
        FMain->resize(900, 600);
        QVERIFY(FDesk->LogIn());
    }
    void cleanup() {
        FMain = nullptr;
        FLogin = nullptr;
        FDesk.reset();
        FFolder.reset();
    }

    void loginBuildsTheReportTree() {
        QVERIFY(FindItem(FMain->tree, QStringLiteral("Przykłady")));
        QVERIFY(FindItem(FMain->tree, QStringLiteral("Stany magazynowe")));
        QCOMPARE(FMain->StatusText(1), QStringLiteral("OK"));
        QVERIFY(FMain->tree->isEnabled());
        QVERIFY(!FMain->btnRun->isEnabled());
        QVERIFY(FMain->edReportSQL->isReadOnly());
    }

    void abandonedLoginChangesNothing() {
        ChooseDatabase(QStringLiteral("KADRY"));
        FLogin->ModalRunner = [](TF_Login &) { return int(QDialog::Rejected); };
        FMain->btnLoginClick();
        QCOMPARE(FMain->State(), asReady);
        QCOMPARE(FMain->listDB->currentText(), QStringLiteral("KADRY"));
    }

    void choosingAFolder() {
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        Choose(QStringLiteral("Przykłady"));
        QCOMPARE(FMain->labTitle->text(), QStringLiteral(" Przykłady"));
        QCOMPARE(FMain->State(), asNotLoaded);
        QCOMPARE(FMain->StatusText(1), QStringLiteral("Raport nie został załadowany !"));
        QVERIFY(FMain->edReportSQL->text().isEmpty());
        QVERIFY(!FMain->btnRun->isEnabled());
    }

    void loadingAReportMakesItsDatabaseCurrent() {
        ChooseDatabase(QStringLiteral("KADRY"));
        TOrvel_MessageRecorder boxes;
        Choose(QStringLiteral("Stany magazynowe"));
        QCOMPARE(FMain->State(), asReady);
        QCOMPARE(FMain->listDB->currentText(), QStringLiteral("HURTOWNIA")); // defaultdb Hurtownia
        QVERIFY(FMain->Report()->IsLoaded());
        QVERIFY(boxes.Messages().empty());
        QCOMPARE(FMain->labTitle->text(), QStringLiteral(" Stany magazynowe"));
        QVERIFY(
            FMain->edReportSQL->text().contains(QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]")));
        QVERIFY(FMain->edReportDefinition->text().contains(QStringLiteral("<defaultdb>")));
        QVERIFY(!FMain->edReportSQL->isReadOnly());
        QVERIFY(FMain->btnRun->isEnabled());
        QVERIFY(!FMain->btnSave->isEnabled());
        QVERIFY(FMain->btnResetParams->isEnabled());
        QCOMPARE(FMain->ResultCaption(), QStringLiteral("Raport jest pusty"));
    }

    void missingDefaultDatabaseWarnsOncePerReport() {
        ChooseDatabase(QStringLiteral("KADRY"));
        for (const QString &name : {QStringLiteral("Brak A"), QStringLiteral("Brak B")}) {
            QByteArray xml = ReadBytes(FFolder->Reports() + QStringLiteral("Stany magazynowe.xml"));
            // Only the ASCII letters are lower-cased in the comparison and in the warning.
            xml.replace("<defaultdb>Hurtownia</defaultdb>",
                        QStringLiteral("<defaultdb>Archiwum ŁÓDŹ</defaultdb>").toUtf8());
            QVERIFY(WriteBytes(FFolder->Reports() + name + QStringLiteral(".xml"), xml));
        }
        FMain->RebuildReportList();
        ChooseDatabase(QStringLiteral("KADRY"));
        TOrvel_MessageRecorder boxes;
        Choose(QStringLiteral("Brak A"));
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        QCOMPARE(boxes.Messages()[0].Caption, QStringLiteral("Informacja"));
        QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Warning);
        QCOMPARE(boxes.Messages()[0].Text,
                 QStringLiteral("Domyślna baza \"archiwum ŁÓdŹ\" dla raportu, nie jest dostępna"));
        QCOMPARE(FMain->State(), asReady);
        QCOMPARE(FMain->listDB->currentText(), QStringLiteral("KADRY"));
        Choose(QStringLiteral("Stany magazynowe"));
        Choose(QStringLiteral("Brak A"));
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        Choose(QStringLiteral("Brak B"));
        QCOMPARE(boxes.Messages().size(), std::size_t(2));
    }

    void choosingADatabaseByHandDropsTheReport() {
        Choose(QStringLiteral("Stany magazynowe"));
        QVERIFY(FMain->Report()->IsLoaded());
        ChooseDatabase(QStringLiteral("KADRY"));
        QCOMPARE(FMain->State(), asReady);
        QVERIFY(!FMain->Report()->IsLoaded());
        QCOMPARE(FMain->labTitle->text(), QStringLiteral(" Wybierz raport"));
        QVERIFY(FMain->tree->selectedItems().isEmpty());
        QVERIFY(!FMain->btnRun->isEnabled());
    }

    void brokenDefinitionOpensForRepair() {
        // A definition edited outside the program so that it no longer loads.
        QByteArray xml = ReadBytes(FFolder->Reports() + QStringLiteral("Stany magazynowe.xml"));
        xml.replace("<version>1.0</version>", "<version>abc</version>");
        QVERIFY(WriteBytes(FFolder->Reports() + QStringLiteral("Zepsuty.xml"), xml));
        QVERIFY(QFile::copy(FFolder->Reports() + QStringLiteral("Stany magazynowe.sql"),
                            FFolder->Reports() + QStringLiteral("Zepsuty.sql")));
        FMain->RebuildReportList();
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        TOrvel_MessageRecorder boxes;
        Choose(QStringLiteral("Zepsuty"));

        // Opened in the editors from the files; nothing runs, the status says why.
        QVERIFY(boxes.Messages().empty());
        QCOMPARE(FMain->State(), asReady);
        QVERIFY(!FMain->Report()->IsLoaded());
        QVERIFY(!FMain->btnRun->isEnabled());
        QVERIFY(FMain->ParamsPanel()->findChildren<QLineEdit *>().isEmpty());
        QVERIFY2(FMain->StatusText(1).contains(QStringLiteral("'abc'")),
                 qPrintable(FMain->StatusText(1)));
        QCOMPARE(FMain->edReportDefinition->text(), QString::fromUtf8(xml));
        QVERIFY(
            FMain->edReportSQL->text().contains(QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]")));
        QVERIFY(!FMain->edReportDefinition->isReadOnly());
        QVERIFY(!FMain->Editors()->miAddDefParameter->isEnabled());
        QCloseEvent event;
        QApplication::sendEvent(FMain, &event);
        QVERIFY(event.isAccepted());

        // Repaired in the editor and saved: the report loads.
        FMain->edReportDefinition->setText(FMain->edReportDefinition->text().replace(
            QStringLiteral("<version>abc</version>"), QStringLiteral("<version>1.1</version>")));
        FMain->Editors()->btnEditDEF_save->click();
        QVERIFY(boxes.Messages().empty());
        QVERIFY(ReadBytes(FFolder->Reports() + QStringLiteral("Zepsuty.xml")).contains("1.1"));
        QVERIFY(FMain->Report()->IsLoaded());
        QCOMPARE(FMain->State(), asReady);
        QVERIFY(FMain->btnRun->isEnabled());
        QVERIFY(FMain->Editors()->miAddDefParameter->isEnabled());
        QCOMPARE(FMain->tree->currentItem()->text(0), QStringLiteral("Zepsuty"));
    }

    void malformedDefinitionOpensForRepair() {
        QVERIFY(WriteBytes(FFolder->Reports() + QStringLiteral("Urwany.xml"),
                           "<Zestawnik><version>1</version>\r\n<params>\r\n"));
        FMain->RebuildReportList();
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        Choose(QStringLiteral("Urwany"));
        QCOMPARE(FMain->State(), asReady);
        QVERIFY(!FMain->btnRun->isEnabled());
        QVERIFY2(FMain->StatusText(1).contains(QStringLiteral("(wiersz 3)")),
                 qPrintable(FMain->StatusText(1)));
        QCOMPARE(FMain->edReportDefinition->text(),
                 QStringLiteral("<Zestawnik><version>1</version>\r\n<params>\r\n"));
        QVERIFY(FMain->edReportSQL->text().isEmpty());
        // A folder still leaves nothing to edit.
        Choose(QStringLiteral("Przykłady"));
        QCOMPARE(FMain->State(), asNotLoaded);
        QVERIFY(FMain->edReportDefinition->text().isEmpty());
    }

    // Faults of a definition written outside the program, as the status bar names them.
    void definitionFaultsOnLoad_data() {
        QTest::addColumn<QString>("items");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<QString>("status"); // a part of the status bar's activity text
        const auto item = [](const char *name, const char *type, const char *extra = "") {
            return QStringLiteral("<item><name>%1</name><type>%2</type><desc>%1</desc>%3</item>")
                .arg(QLatin1String(name), QLatin1String(type), QString::fromUtf8(extra));
        };
        // One variable on the server: the run would use the second value for both.
        QTest::newRow("names that differ only by letter case")
            << item("Kwota", "INT") + item("Rok", "INT") + item("kwota", "INT") << false
            << QStringLiteral("parametry 'Kwota' i 'kwota' to ta sama zmienna SQL");
        // Loads as before; the author learns which list to mend.
        QTest::newRow("a fixed list with more captions than values")
            << item("Rok", "INT") + item("Rodzaj", "TEXT",
                                         "<listitems>A;B;C</listitems><listvalues>1;2</listvalues>")
            << true
            << QStringLiteral("Lista wyboru parametru 'Rodzaj' ma różną liczbę nazw (3) i "
                              "wartości (2)");
    }
    void definitionFaultsOnLoad() {
        QFETCH(QString, items);
        QFETCH(bool, loads);
        QFETCH(QString, status);
        const QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Zestawnik>"
                               "<version>1.0</version><params>" +
                               items.toUtf8() + "</params></Zestawnik>\r\n";
        QVERIFY(WriteBytes(FFolder->Reports() + QStringLiteral("Obcy.xml"), xml));
        QVERIFY(WriteBytes(FFolder->Reports() + QStringLiteral("Obcy.sql"),
                           "DECLARE @Kwota INT, @Rok INT, @Rodzaj NVARCHAR(5)\r\n"
                           "-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT @Rok AS Rok\r\n"));
        FMain->RebuildReportList();
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        TOrvel_MessageRecorder boxes;
        Choose(QStringLiteral("Obcy"));

        QVERIFY(boxes.Messages().empty());
        QCOMPARE(FMain->State(), asReady);
        QCOMPARE(FMain->Report()->IsLoaded(), loads);
        QCOMPARE(FMain->btnRun->isEnabled(), loads);
        QVERIFY2(FMain->StatusText(1).contains(status), qPrintable(FMain->StatusText(1)));
        // Refused or not, the files are in the editors for repair.
        QVERIFY(FMain->edReportDefinition->text().contains(QStringLiteral("<name>Rok</name>")));
        QVERIFY(FMain->edReportSQL->text().contains(QStringLiteral("DECLARE @Kwota")));
        QVERIFY(!FMain->edReportDefinition->isReadOnly());
    }

    void missingDefinitionIsNamed() {
        const QString file = FFolder->Reports() + QStringLiteral("Stany magazynowe.xml");
        QVERIFY(QFile::remove(file)); // gone since the list was made
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        Choose(QStringLiteral("Stany magazynowe"));
        QCOMPARE(FMain->State(), asNotLoaded);
        QCOMPARE(FMain->StatusText(1),
                 QStringLiteral("Raport nie został załadowany ! Brak pliku: ") + file);
    }

    void missingScriptIsNamed() {
        const QString script = FFolder->Reports() + QStringLiteral("Stany magazynowe.sql");
        QVERIFY(QFile::remove(script));
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        Choose(QStringLiteral("Stany magazynowe"));
        QCOMPARE(FMain->State(), asReady);
        QCOMPARE(FMain->StatusText(1), QStringLiteral("Brak pliku skryptu: ") + script);
    }

    void unsavedQuestionWhenChoosingAnotherReport_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("moves");   // the other report is loaded
        QTest::addColumn<bool>("written"); // the edit reached the file
        QTest::newRow("Zapisz") << int(QMessageBox::Save) << true << true;
        QTest::newRow("Nie zapisuj") << int(QMessageBox::Discard) << true << false;
        QTest::newRow("Anuluj") << int(QMessageBox::Cancel) << false << false;
    }
    void unsavedQuestionWhenChoosingAnotherReport() {
        QFETCH(int, answer);
        QFETCH(bool, moves);
        QFETCH(bool, written);
        Choose(QStringLiteral("Stany magazynowe"));
        const QString script = FFolder->Reports() + QStringLiteral("Stany magazynowe.sql");
        const QByteArray before = ReadBytes(script);
        QCOMPARE(FMain->tabsRight->tabText(1), QStringLiteral("Zapytanie SQL"));
        FMain->edReportSQL->setCursorPosition(0, 0);
        QTest::keyClicks(FMain->edReportSQL, QStringLiteral("-- poprawka"));
        QCOMPARE(FMain->tabsRight->tabText(1), QStringLiteral("Zapytanie SQL*"));
        const QString typed = FMain->edReportSQL->text();
        TOrvel_MessageRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));

        Choose(QStringLiteral("Wynagrodzenia w roku"));

        QCOMPARE(int(boxes.Messages().size()), 1);
        QCOMPARE(boxes.Messages()[0].Text,
                 QStringLiteral("Zapisać zmiany w raporcie „Stany magazynowe”?"));
        QCOMPARE(ReadBytes(script).startsWith("-- poprawka"), written);
        if (!written)
            QCOMPARE(ReadBytes(script), before);
        QCOMPARE(FMain->tree->currentItem()->text(0), moves ? QStringLiteral("Wynagrodzenia w roku")
                                                            : QStringLiteral("Stany magazynowe"));
        QCOMPARE(FMain->labTitle->text(), moves ? QStringLiteral(" Wynagrodzenia w roku")
                                                : QStringLiteral(" Stany magazynowe"));
        if (moves) {
            QVERIFY(!FMain->edReportSQL->text().contains(QStringLiteral("-- poprawka")));
            QCOMPARE(FMain->tabsRight->tabText(1), QStringLiteral("Zapytanie SQL"));
        } else {
            QCOMPARE(FMain->edReportSQL->text(), typed);
            QCOMPARE(FMain->tabsRight->tabText(1), QStringLiteral("Zapytanie SQL*"));
            QVERIFY(FMain->Report()->IsLoaded());
            // The next choice asks again.
            boxes.SetAnswer(QMessageBox::Discard);
            Choose(QStringLiteral("Wynagrodzenia w roku"));
            QCOMPARE(int(boxes.Messages().size()), 2);
        }
    }

    void unsavedQuestionOnOtherPaths_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("answer");
        for (const char *path : {"database", "close", "new report", "login"}) {
            QTest::addRow("%s, Anuluj", path)
                << QString::fromLatin1(path) << int(QMessageBox::Cancel);
            QTest::addRow("%s, Nie zapisuj", path)
                << QString::fromLatin1(path) << int(QMessageBox::Discard);
            QTest::addRow("%s, Zapisz", path)
                << QString::fromLatin1(path) << int(QMessageBox::Save);
        }
    }
    void unsavedQuestionOnOtherPaths() {
        QFETCH(QString, path);
        QFETCH(int, answer);
        const bool cancel = answer == QMessageBox::Cancel;
        Choose(QStringLiteral("Stany magazynowe"));
        const QString definition = FFolder->Reports() + QStringLiteral("Stany magazynowe.xml");
        FMain->edReportDefinition->setText(FMain->edReportDefinition->text().replace(
            QStringLiteral("<desc>"), QStringLiteral("<desc>Nowy opis ")));
        QCOMPARE(FMain->tabsRight->tabText(2), QStringLiteral("Definicja*"));
        TOrvel_MessageRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));
        bool went = false; // the action went on

        if (path == QStringLiteral("database")) {
            ChooseDatabase(QStringLiteral("KADRY"));
            QCOMPARE(FMain->listDB->currentText(),
                     cancel ? QStringLiteral("HURTOWNIA") : QStringLiteral("KADRY"));
            went = !FMain->Report()->IsLoaded();
        } else if (path == QStringLiteral("close")) {
            QCloseEvent event;
            QApplication::sendEvent(FMain, &event);
            went = event.isAccepted();
        } else if (path == QStringLiteral("new report")) {
            QWidget *seen = nullptr;
            WhenModal(
                [](QWidget *dialog) {
                    auto *add = qobject_cast<TF_NewReport *>(dialog);
                    QVERIFY(add);
                    add->edName->setText(QStringLiteral("Drugi"));
                    add->btnOK->click();
                    if (add->isVisible())
                        add->reject(); // Anuluj kept it open: leave it by hand
                },
                &seen);
            FMain->btnNew->click();
            went = QFile::exists(FFolder->Path() + QStringLiteral("data reports/Drugi.xml"));
        } else {
            FLogin->ModalRunner = [](TF_Login &) { return int(QDialog::Rejected); };
            int shown = 0;
            FLogin->ModalRunner = [&shown](TF_Login &) {
                ++shown;
                return int(QDialog::Rejected);
            };
            FMain->btnLoginClick();
            went = shown == 1;
        }

        QCOMPARE(int(boxes.Messages().size()), 1);
        QCOMPARE(went, !cancel);
        QCOMPARE(ReadBytes(definition).contains("Nowy opis"), answer == QMessageBox::Save);
        if (cancel) {
            QVERIFY(FMain->Report()->IsLoaded());
            QVERIFY(FMain->edReportDefinition->text().contains(QStringLiteral("Nowy opis")));
            QCOMPARE(FMain->tabsRight->tabText(2), QStringLiteral("Definicja*"));
        }
    }

    void refusedSaveKeepsEverything() {
        // Zapisz with a definition the check refuses: nothing is written, nothing dropped.
        Choose(QStringLiteral("Stany magazynowe"));
        const QString definition = FFolder->Reports() + QStringLiteral("Stany magazynowe.xml");
        const QByteArray before = ReadBytes(definition);
        FMain->edReportDefinition->setText(QStringLiteral("<foo/>"));
        TOrvel_MessageRecorder boxes(QMessageBox::Save);
        Choose(QStringLiteral("Wynagrodzenia w roku"));
        QCOMPARE(int(boxes.Messages().size()), 2);
        QCOMPARE(boxes.Messages()[1].Caption, QStringLiteral("Błąd walidacji"));
        QCOMPARE(ReadBytes(definition), before);
        QCOMPARE(FMain->tree->currentItem()->text(0), QStringLiteral("Stany magazynowe"));
        QCOMPARE(FMain->edReportDefinition->text(), QStringLiteral("<foo/>"));
    }

    void addParameterNeedsALoadedReport() {
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        QCOMPARE(FMain->State(), asReady);
        QVERIFY(!FMain->Report()->IsLoaded());
        QVERIFY(!FMain->Editors()->btnEditDEF_add->isEnabled());
        TOrvel_MessageRecorder boxes;
        FMain->Editors()->miAddDefParameter->trigger();
        QVERIFY(boxes.Messages().empty());
        Choose(QStringLiteral("Stany magazynowe"));
        QVERIFY(FMain->Editors()->btnEditDEF_add->isEnabled());
        // One click opens the dialog: no menu in between.
        QVERIFY(!FMain->Editors()->btnEditDEF_add->menu());
        QWidget *seen = nullptr;
        WhenModal([](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); }, &seen);
        FMain->Editors()->btnEditDEF_add->click();
        QVERIFY(qobject_cast<TF_AddDefParam *>(seen));
    }

    void listQueryIsCheckedOnTheConnection() {
        Choose(QStringLiteral("Stany magazynowe"));
        TOrvel_ReportPort *report = FMain->Report();
        QCOMPARE(report->ListQueryColumns(QStringLiteral(
                     "SELECT IdKategorii, Nazwa FROM Kategorie WHERE @Fraza IS NULL")),
                 (QStringList{"IdKategorii", "Nazwa"}));
        try {
            report->ListQueryColumns(QStringLiteral("SELECT * FROM Brak"));
            QFAIL("no error for a missing table");
        } catch (const EOrvelError &error) {
            QVERIFY2(error.message().contains(QStringLiteral("Brak")), qPrintable(error.message()));
        }
    }

    void runKeyInTheScriptEditor() {
        Choose(QStringLiteral("Stany magazynowe"));
        FMain->edReportSQL->setText(FMain->edReportSQL->text() + QStringLiteral("\r\n-- x"));
        TOrvel_MessageRecorder boxes(QMessageBox::Discard);
        SoundCounter sounds;
        QTest::keyClick(FMain->edReportSQL, Qt::Key_F5);
        QCOMPARE(int(boxes.Messages().size()), 1);
        QTRY_COMPARE_WITH_TIMEOUT(FMain->State(), asReady, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(sounds.Count, 1, 60000);
        QVERIFY(FMain->Report()->HasRecords());
        QVERIFY(FMain->edReportSQL->text().endsWith(QStringLiteral("-- x")));
    }

    void runningAReport() {
        Choose(QStringLiteral("Stany magazynowe"));
        SoundCounter sounds;
        FMain->btnRunClick();
        QCOMPARE(FMain->State(), asRunning);
        QVERIFY(FMain->ExecTime->isActive());
        {
            // Closing is offered as stopping the run; "Nie" keeps both.
            TOrvel_MessageRecorder boxes(QMessageBox::No);
            QCloseEvent refused;
            QApplication::sendEvent(FMain, &refused);
            QVERIFY(!refused.isAccepted());
            QCOMPARE(boxes.Messages().size(), std::size_t(1));
        }
        QCOMPARE(sounds.Count, 0);
        QTRY_COMPARE_WITH_TIMEOUT(FMain->State(), asReady, 60000);
        QCOMPARE(sounds.Count, 1);
        const int rows = FMain->Report()->RecordCount();
        QVERIFY(rows > 0);
        QCOMPARE(FMain->labInfo->text(), u' ' + ResultCountCaption(rows));
        QVERIFY(FMain->StatusText(1).startsWith(QStringLiteral("OK, czas generowania raportu: ")));
        QVERIFY(!FMain->gridlist->isHidden());
        QCOMPARE(FMain->gridlist->model()->rowCount(), rows);
        QVERIFY(FMain->btnSave->isEnabled() && FMain->btnFormat->isEnabled());
        QVERIFY(FMain->gridlist->ResultModel()->RowFormatColumn() >= 0);

        // Sorting by a title: ascending, then descending on the same column.
        FMain->gridlistTitleClick(1);
        QCOMPARE(FMain->gridlist->SortColumn(), 1);
        QVERIFY(FMain->gridlist->SortAscending());
        FMain->gridlistTitleClick(1);
        QVERIFY(!FMain->gridlist->SortAscending());
        FMain->gridlistTitleClick(2);
        QCOMPARE(FMain->gridlist->SortColumn(), 2);
        QVERIFY(FMain->gridlist->SortAscending());

        QCloseEvent allowed;
        QApplication::sendEvent(FMain, &allowed);
        QVERIFY(allowed.isAccepted());
    }

    void rejectedInputRefusedBeforeRunning() {
        FMain->show();
        QVERIFY(QTest::qWaitForWindowExposed(FMain));
        Choose(QStringLiteral("Wynagrodzenia w roku"));
        auto *rok = FMain->ParamsPanel()->findChild<QLineEdit *>(QStringLiteral("edRok"));
        QVERIFY(rok);
        rok->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(rok, QStringLiteral("12x"));
        TOrvel_MessageRecorder boxes;
        FMain->btnRun->click(); // the toolbar button takes no focus: the box is not left
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        QCOMPARE(boxes.Messages()[0].Text,
                 QStringLiteral("Raport nie został uruchomiony: wartość \"12x\" parametru "
                                "\"Rok\" nie jest liczbą całkowitą."));
        QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
        // Refused before the window left its ready state: nothing ran, nothing was cleared.
        QCOMPARE(FMain->State(), asReady);
        QVERIFY(!FMain->Report()->ResultQuery()->IsOpen());
        QCOMPARE(FMain->ResultCaption(), QStringLiteral("Raport jest pusty"));
        QCOMPARE(rok->text(), QStringLiteral("12x"));
    }

    void columnsFitTheirContentAndTheGrid() {
        FMain->show();
        QVERIFY(QTest::qWaitForWindowExposed(FMain));
        Run(QStringLiteral("Stany magazynowe"));
        const TOrvel_GridColumns &columns = FMain->gridlist->Columns();
        const QAbstractItemModel *model = FMain->gridlist->model();
        const int limit = FMain->gridlist->viewport()->width();
        QVERIFY(limit > 300);
        for (int p = 0; p < columns.Count(); ++p) {
            const int width = columns.Width(p);
            QVERIFY2(width >= columns.TextWidth(columns.Caption(p)) + 10,
                     qPrintable(columns.Caption(p)));
            QVERIFY2(width <= limit, qPrintable(columns.Caption(p)));
            // Every text of the first rows is shown whole, unless it is wider than the grid.
            const int field = columns.Field(p)->Index();
            for (int row = 0; row < std::min(model->rowCount(), 20); ++row) {
                const int text = columns.TextWidth(model->index(row, field).data().toString());
                QVERIFY2(width >= std::min(text, limit - 40),
                         qPrintable(columns.Caption(p) + u' ' + QString::number(row)));
            }
        }
        // A width the user chose wins over the content at the next showing.
        FMain->gridlist->Columns().SetUserWidth(Position(QStringLiteral("Towar")), 123);
        emit FMain->gridlist->mouseUp();
        QCoreApplication::processEvents();
        FMain->btnRunClick();
        QTRY_COMPARE_WITH_TIMEOUT(FMain->State(), asReady, 60000);
        QCOMPARE(FMain->gridlist->Columns().Width(Position(QStringLiteral("Towar"))), 123);
    }

    void rowIndicatorMarksTheCurrentRow() {
        FMain->show();
        QVERIFY(QTest::qWaitForWindowExposed(FMain));
        Run(QStringLiteral("Stany magazynowe"));
        auto *indicator = qobject_cast<TOrvel_RowIndicator *>(FMain->gridlist->verticalHeader());
        QVERIFY(indicator);
        QCOMPARE(indicator->width(), 12);
        QCOMPARE(indicator->CurrentRow(), 0); // a new result starts on its first row
        QVERIFY(FMain->gridlist->selectionModel()->selectedIndexes().isEmpty());
        FMain->gridlist->setCurrentIndex(FMain->gridlist->model()->index(2, 1));
        QCOMPARE(indicator->CurrentRow(), 2);
        const QImage image = indicator->grab().toImage();
        const QColor arrow = indicator->palette().color(QPalette::ButtonText);
        const auto marked = [&](int row) {
            const int top = indicator->sectionViewportPosition(row);
            const int height = indicator->sectionSize(row);
            for (int y = top + 1; y < top + height - 1; ++y)
                for (int x = 1; x < image.width() - 1; ++x)
                    if (image.pixelColor(x, y) == arrow)
                        return true;
            return false;
        };
        QVERIFY(marked(2));
        QVERIFY(!marked(1) && !marked(3));
        // A new run keeps the indicator in step with the new result.
        FMain->btnRunClick();
        QTRY_COMPARE_WITH_TIMEOUT(FMain->State(), asReady, 60000);
        FMain->gridlist->setCurrentIndex(FMain->gridlist->model()->index(4, 0));
        QCOMPARE(indicator->CurrentRow(), 4);
    }

    void failedRunOnTheEngine() {
        const QString base = FFolder->Reports() + QStringLiteral("Stany magazynowe");
        QVERIFY(WriteBytes(FFolder->Reports() + QStringLiteral("Zły.xml"),
                           ReadBytes(base + QStringLiteral(".xml"))));
        QVERIFY(WriteBytes(FFolder->Reports() + QStringLiteral("Zły.sql"),
                           ReadBytes(base + QStringLiteral(".sql"))
                               .replace("FROM Stany s", "FROM NieMaTakiejTabeli s")));
        FMain->RebuildReportList();
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        TOrvel_MessageRecorder boxes;
        SoundCounter sounds;
        Run(QStringLiteral("Zły"));
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
        QVERIFY2(boxes.Messages()[0].Text.contains(QStringLiteral("NieMaTakiejTabeli")),
                 qPrintable(boxes.Messages()[0].Text));
        QCOMPARE(sounds.Count, 0);
        QCOMPARE(FMain->labInfo->text(), QStringLiteral(" Wynik"));
        QCOMPARE(FMain->ResultCaption(), QStringLiteral("Raport jest pusty"));
        QVERIFY(!FMain->btnSave->isEnabled());
        QVERIFY(FMain->btnRun->isEnabled());
    }

    void exportMenuWritesTheFile_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<bool>("opened");
        QTest::newRow("CSV") << "miSaveAs_CSV"
                             << ".csv" << QByteArray("\"Magazyn\",\"Indeks\",\"Towar\"") << false;
        QTest::newRow("XHTML") << "miSaveAs_XHTML"
                               << ".htm" << QByteArray("<?xml") << false;
        QTest::newRow("XHTML and open") << "miSaveAs_XHTML_andOpen"
                                        << ".htm" << QByteArray("<?xml") << true;
        QTest::newRow("XML") << "miSaveAs_XML"
                             << ".xml" << QByteArray("<?xml") << false;
        QTest::newRow("PDF") << "miSaveAs_PDF"
                             << ".pdf" << QByteArray("%PDF-") << false;
    }
    void exportMenuWritesTheFile() {
        QFETCH(QString, item);
        QFETCH(QString, extension);
        QFETCH(QByteArray, start);
        QFETCH(bool, opened);
        Run(QStringLiteral("Stany magazynowe"));
        QVERIFY(FMain->btnSave->isEnabled());
        const QString file = FFolder->Path() + QStringLiteral("wynik") + extension;
        TOrvel_ExportCommands *commands = FMain->ExportCommands();
        commands->AskFileName = [&](const TOrvel_SaveRequest &request) {
            return request.DefaultExtension == extension ? file : QString();
        };
        QString shown;
        commands->OpenFile = [&](QWidget *, const QString &path) {
            shown = path;
            return true;
        };
        auto *action = FMain->pmSaveAsFormat->findChild<QAction *>(item);
        QVERIFY(action);
        TOrvel_MessageRecorder boxes;
        action->trigger();
        commands->WaitForExport();
        QVERIFY(boxes.Messages().empty());
        const QByteArray written = ReadBytes(file);
        QVERIFY2(written.startsWith(start), written.left(80).constData());
        // The row-format column never reaches a file.
        QVERIFY(!written.contains("Orvel_Zestawnik_FORMAT"));
        QCOMPARE(shown, opened ? file : QString());
    }

    void pageThatCannotBeShownIsNamed() {
        // No program opens web pages: the page is written all the same, and the user is told
        // where.
        Run(QStringLiteral("Stany magazynowe"));
        const QString file = FFolder->Path() + QStringLiteral("strona.htm");
        TOrvel_ExportCommands *commands = FMain->ExportCommands();
        commands->AskFileName = [&](const TOrvel_SaveRequest &) { return file; };
        commands->OpenFile = [](QWidget *, const QString &) { return false; };
        TOrvel_MessageRecorder boxes;
        FMain->pmSaveAsFormat->findChild<QAction *>("miSaveAs_XHTML_andOpen")->trigger();
        commands->WaitForExport();
        QVERIFY(ReadBytes(file).startsWith("<?xml"));
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Warning);
        QCOMPARE(boxes.Messages()[0].Owner, FMain);
        QVERIFY2(boxes.Messages()[0].Text.contains(QDir::toNativeSeparators(file)),
                 qPrintable(boxes.Messages()[0].Text));
    }

    void settingsSeparatorReachesTheCsvExport() {
        Run(QStringLiteral("Stany magazynowe"));
        QWidget *seen = nullptr;
        WhenModal(
            [](QWidget *dialog) {
                auto *settings = qobject_cast<TF_Settings *>(dialog);
                QVERIFY(settings);
                QCOMPARE(settings->edCSVSeparator->text(), QStringLiteral(","));
                settings->edCSVSeparator->setText(QStringLiteral(";"));
                settings->btnOK->click();
            },
            &seen);
        FMain->btnSettings->click();
        QCOMPARE(seen, F_Settings);
        const QString file = FFolder->Path() + QStringLiteral("wynik.csv");
        FMain->ExportCommands()->AskFileName = [&](const TOrvel_SaveRequest &) { return file; };
        FMain->pmSaveAsFormat->findChild<QAction *>(QStringLiteral("miSaveAs_CSV"))->trigger();
        FMain->ExportCommands()->WaitForExport();
        QVERIFY(ReadBytes(file).startsWith("\"Magazyn\";\"Indeks\";\"Towar\""));
    }

    void toolbarOpensItsDialog_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("about") << "btnAbout";
        QTest::newRow("settings") << "btnSettings";
        QTest::newRow("new report") << "btnNew";
        QTest::newRow("result format") << "btnFormat";
    }
    void toolbarOpensItsDialog() {
        QFETCH(QString, button);
        Run(QStringLiteral("Stany magazynowe"));
        const QHash<QString, QWidget *> dialogs = {{QStringLiteral("btnAbout"), F_About},
                                                   {QStringLiteral("btnSettings"), F_Settings},
                                                   {QStringLiteral("btnNew"), F_NewReport},
                                                   {QStringLiteral("btnFormat"), F_ResultFormat}};
        QWidget *seen = nullptr;
        WhenModal([](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); }, &seen);
        FMain->findChild<QToolButton *>(button)->click();
        QVERIFY(dialogs.value(button));
        QCOMPARE(seen, dialogs.value(button));
        QVERIFY(dialogs.value(button)->isHidden());
        QCOMPARE(dialogs.value(button)->parent(), FMain);
    }

    void formatDialogOkChangesTheGrid() {
        Run(QStringLiteral("Stany magazynowe"));
        WhenModal([](QWidget *dialog) {
            auto *format = qobject_cast<TF_ResultFormat *>(dialog);
            QVERIFY(format);
            const auto row = [format](const QString &name) {
                const auto items =
                    format->list->findItems(name, Qt::MatchExactly, TF_ResultFormat::colName);
                return items.isEmpty() ? nullptr : items.first();
            };
            QVERIFY(row(QStringLiteral("Jm")) && row(QStringLiteral("Towar")));
            row(QStringLiteral("Jm"))->setCheckState(TF_ResultFormat::colShow, Qt::Unchecked);
            format->list->setCurrentItem(row(QStringLiteral("Towar")));
            format->edDesc->setText(QStringLiteral("Nazwa towaru"));
            format->btnOK->click();
        });
        FMain->btnFormatClick();
        const TOrvel_GridColumns &columns = FMain->gridlist->Columns();
        QVERIFY(!columns.Visible(Position(QStringLiteral("Jm"))));
        QVERIFY(FMain->gridlist->horizontalHeader()->isSectionHidden(
            columns.Field(Position(QStringLiteral("Jm")))->Index()));
        const int towar = Position(QStringLiteral("Towar"));
        QCOMPARE(columns.Caption(towar), QStringLiteral("Nazwa towaru"));
        QCOMPARE(
            FMain->gridlist->model()->headerData(columns.Field(towar)->Index(), Qt::Horizontal),
            QVariant(QStringLiteral("Nazwa towaru")));
        const QByteArray stored = ReadBytes(SettingsFile(QStringLiteral("Stany magazynowe")));
        QVERIFY(stored.contains("Nazwa towaru"));
        // The next run shows the same layout.
        FMain->btnRunClick();
        QTRY_COMPARE_WITH_TIMEOUT(FMain->State(), asReady, 60000);
        QVERIFY(!FMain->gridlist->Columns().Visible(Position(QStringLiteral("Jm"))));
    }

    void mouseUpWithoutRowsStoresNothing() {
        Choose(QStringLiteral("Stany magazynowe"));
        emit FMain->gridlist->mouseUp();
        QCoreApplication::processEvents();
        QVERIFY(!QFile::exists(SettingsFile(QStringLiteral("Stany magazynowe"))));
    }

    void editorsFollowTheReportAndTheState() {
        Choose(QStringLiteral("Stany magazynowe"));
        QVERIFY(!FMain->edReportSQL->isReadOnly() && !FMain->edReportDefinition->isReadOnly());
        QVERIFY(FMain->Editors()->barEdit_SQL->isAncestorOf(FMain->Editors()->btnEditSQL_save));
        QVERIFY(FMain->tabReportSQL->isAncestorOf(FMain->edReportSQL));
        QVERIFY(FMain->tabReportDefinition->isAncestorOf(FMain->edReportDefinition));
        Choose(QStringLiteral("Przykłady"));
        QVERIFY(FMain->edReportSQL->text().isEmpty());
        QVERIFY(FMain->edReportSQL->isReadOnly() && FMain->edReportDefinition->isReadOnly());
    }

    void savingTheScriptReloadsTheReport() {
        Choose(QStringLiteral("Stany magazynowe"));
        const QString script = FFolder->Reports() + QStringLiteral("Stany magazynowe.sql");
        FMain->edReportSQL->setText(FMain->edReportSQL->text() +
                                    QStringLiteral("\r\n-- dopisane w edytorze"));
        FMain->Editors()->btnEditSQL_save->click();
        QVERIFY(ReadBytes(script).endsWith("-- dopisane w edytorze"));
        QCOMPARE(FMain->State(), asReady);
        QCOMPARE(FMain->StatusText(1), QStringLiteral("OK"));
        QVERIFY(
            FMain->Report()->GetScriptText().contains(QStringLiteral("-- dopisane w edytorze")));
        QVERIFY(FMain->edReportSQL->text().contains(QStringLiteral("-- dopisane w edytorze")));
        QVERIFY(FMain->tree->currentItem());
        QCOMPARE(FMain->tree->currentItem()->text(0), QStringLiteral("Stany magazynowe"));
    }

    void addingAParameterThroughTheDialog() {
        Choose(QStringLiteral("Stany magazynowe"));
        WhenModal([](QWidget *dialog) {
            auto *add = qobject_cast<TF_AddDefParam *>(dialog);
            QVERIFY(add);
            add->edName->setText(QStringLiteral("Uwagi"));
            add->edDesc->setText(QStringLiteral("Uwagi do zestawienia"));
            add->btnOK->click();
        });
        FMain->Editors()->miAddDefParameter->trigger();
        const QByteArray definition =
            ReadBytes(FFolder->Reports() + QStringLiteral("Stany magazynowe.xml"));
        QVERIFY(definition.contains("Uwagi do zestawienia"));
        QCOMPARE(FMain->State(), asReady);
        QVERIFY(FMain->edReportDefinition->text().contains(QStringLiteral("Uwagi do zestawienia")));
        QVERIFY(FMain->Report()->GetParamsText().contains(QStringLiteral("@Uwagi")));
    }

    void newReportIsCreatedAndChosen() {
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        FMain->tabsRight->setCurrentWidget(FMain->tabReportSQL);
        WhenModal([](QWidget *dialog) {
            auto *add = qobject_cast<TF_NewReport *>(dialog);
            QVERIFY(add);
            add->edPath->setEditText(QStringLiteral("Moje"));
            add->edName->setText(QStringLiteral("Pierwszy"));
            add->btnOK->click();
        });
        FMain->btnNew->click();
        const QString definition =
            FFolder->Path() + QStringLiteral("data reports/Moje/Pierwszy.xml");
        QVERIFY(QFile::exists(definition));
        QVERIFY(FMain->tree->currentItem());
        QCOMPARE(FMain->tree->currentItem()->text(0), QStringLiteral("Pierwszy"));
        QCOMPARE(FMain->Report()->GetDefinitionFileName(), definition);
        QCOMPARE(FMain->tabsRight->currentWidget(), FMain->tabResult);
        QCOMPARE(FMain->State(), asReady);
    }

    // A report made from the template, given one parameter of each type through the dialog,
    // runs at once on the embedded engine: each parameter is declared above the marker.
    void templateReportTakesEveryType() {
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        WhenModal([](QWidget *dialog) {
            auto *add = qobject_cast<TF_NewReport *>(dialog);
            QVERIFY(add);
            add->edName->setText(QStringLiteral("Z szablonu"));
            add->btnOK->click();
        });
        FMain->btnNew->click();
        QCOMPARE(FMain->State(), asReady);
        QCOMPARE(FMain->Report()->GetTitle(), QStringLiteral("Z szablonu"));
        const QString script = FMain->Report()->GetScriptFileName();
        const QStringList types = {"tekst", "logiczny", "data", "liczba całkowita",
                                   "liczba rzeczywista"};
        const QStringList names = {"Nazwa", "Aktywny", "Od", "Rok", "Kwota"};
        for (int i = 0; i < types.size(); ++i) {
            WhenModal([&, i](QWidget *dialog) {
                auto *add = qobject_cast<TF_AddDefParam *>(dialog);
                QVERIFY(add);
                add->listTyp->setCurrentIndex(add->listTyp->findText(types[i]));
                add->edName->setText(names[i]);
                add->edDesc->setText(names[i]);
                add->btnOK->click();
            });
            FMain->Editors()->miAddDefParameter->trigger();
            QVERIFY2(FMain->edReportSQL->text().contains(QStringLiteral("DECLARE @") + names[i]),
                     qPrintable(FMain->edReportSQL->text()));
            FMain->Editors()->btnEditSQL_save->click();
            QVERIFY(ReadBytes(script).contains(("DECLARE @" + names[i]).toUtf8()));
        }
        QCOMPARE(QString::fromUtf8(ReadBytes(script)),
                 QStringLiteral("DECLARE @Nazwa NVARCHAR(50)\r\nDECLARE @Aktywny BIT\r\n"
                                "DECLARE @Od DATETIME\r\nDECLARE @Rok INT\r\n"
                                "DECLARE @Kwota NUMERIC(12,2)\r\n"
                                "-- [Orvel_Zestawnik_PARAMETRY]\r\n"
                                "SELECT 'Nowy raport' AS Opis\r\n"));
        QCOMPARE(FMain->Report()->GetParamsText().count(QStringLiteral("SET @")), 5);

        TOrvel_MessageRecorder boxes;
        FMain->btnRunClick();
        QTRY_COMPARE_WITH_TIMEOUT(FMain->State(), asReady, 60000);
        QVERIFY2(boxes.Messages().empty(),
                 qPrintable(boxes.Messages().empty() ? QString() : boxes.Messages()[0].Text));
        QVERIFY(FMain->Report()->ErrorText().isEmpty());
        QCOMPARE(FMain->Report()->RecordCount(), 1);
    }

    void splitterWidthIsStored() {
        FMain->show();
        QVERIFY(QTest::qWaitForWindowExposed(FMain));
        FLogin->ModalRunner = [](TF_Login &) { return int(QDialog::Rejected); };
        QCoreApplication::processEvents();
        FMain->Splitter1->setSizes({260, 600});
        FMain->Splitter1Moved();
        AppPrefs->LoadFile(QStringLiteral("settings.xml"));
        QCOMPARE(AppPrefs->ReadInteger(QStringLiteral("Windows/Main/TreeView/Width"), 0),
                 FMain->panLeft->width());
    }

    // A report on the demo data whose rows keep coming for minutes, stopped on the real engine.
    void cancelOnTheEmbeddedEngine_data() {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Przerwij") << false;
        QTest::newRow("Esc") << true;
    }
    void cancelOnTheEmbeddedEngine() {
        QFETCH(bool, escape);
        const QString base = FFolder->Reports() + QStringLiteral("Długi licznik");
        WriteBytes(base + QStringLiteral(".xml"),
                   "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                   "<Zestawnik><version>1.0</version><defaultdb>Hurtownia</defaultdb><params/>"
                   "</Zestawnik>\r\n");
        WriteBytes(
            base + QStringLiteral(".sql"),
            "-- [Orvel_Zestawnik_PARAMETRY]\r\nWITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 "
            "FROM n WHERE i < 1000000000) SELECT i FROM n WHERE i % 100000 = 0 "
            "OPTION (MAXRECURSION 0)\r\n");
        FMain->RebuildReportList();
        ChooseDatabase(QStringLiteral("HURTOWNIA"));
        FMain->show();
        QVERIFY(QTest::qWaitForWindowExposed(FMain));
        FMain->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(FMain));
        Choose(QStringLiteral("Długi licznik"));
        QCOMPARE(FMain->State(), asReady);
        TOrvel_MessageRecorder boxes;
        QTest::mouseClick(FMain->btnRun, Qt::LeftButton);
        QCOMPARE(FMain->State(), asRunning);
        QTest::qWait(500);
        QCOMPARE(FMain->State(), asRunning);
        QElapsedTimer clock;
        clock.start();
        if (escape)
            QTest::keyClick(FMain, Qt::Key_Escape);
        else
            QTest::mouseClick(FMain->btnRun, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(FMain->State(), asReady, 60000);
        // Reported, not asserted: the time from the press to a usable window.
        qInfo("cancel on the embedded engine: window usable %lld ms after the press",
              static_cast<long long>(clock.elapsed()));
        QVERIFY(boxes.Messages().empty());
        QVERIFY(FMain->StatusText(1).startsWith(QStringLiteral("Przerwano, czas: ")));
        QVERIFY(FMain->gridlist->isHidden());
        QCOMPARE(FMain->labInfo->text(), QStringLiteral(" Wynik"));
        QVERIFY(!FMain->btnSave->isEnabled());
        // The connection serves the next run.
        Run(QStringLiteral("Stany magazynowe"));
        QVERIFY(boxes.Messages().empty());
        QVERIFY(FMain->gridlist->isVisible());
    }
};

int main(int argc, char *argv[]) {
    TOrvel_Application app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    int status = 0;
    {
        GeneralErrorTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        StateTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        LoginTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        MainWindowTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    return status;
}

#include "test_ui_shell.moc"
