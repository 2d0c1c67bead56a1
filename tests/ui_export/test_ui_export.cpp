// Saving a large result from the main window: the export runs on its own thread while the window
// keeps answering, shows its progress, can be stopped (leaving the old file as it was), keeps the
// commands that would change the result disabled, and asks before the window closes.
#include "FU_Login.h"
#include "FU_Main.h"
#include "Orvel_ResultGrid.h"
#include "TestSupport.h"
#include "U_AppState.h"
#include "U_DataExport.h"
#include "U_ExportCommands.h"
#include "U_MessageBox.h"
#include "U_ReportFactory.h"
#include "U_ReportPort.h"
#include "U_SqlEditor.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

constexpr int kRows = 200000;

QString DemoServer() {
    return QStringLiteral("sqlite:") + BuiltAppDir() + QStringLiteral("/data/demo");
}

// An application folder with one report of kRows rows.
class AppFolder {
public:
    AppFolder() {
        const QString reports = Reports();
        QDir().mkpath(reports);
        QDir().mkpath(Path() + QStringLiteral("data"));
        WriteBytes(reports + QStringLiteral("Duży wynik.xml"),
                   "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                   "<Zestawnik><version>1.0</version><defaultdb>Hurtownia</defaultdb>"
                   "<params/></Zestawnik>\r\n");
        WriteBytes(reports + QStringLiteral("Duży wynik.sql"),
                   QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]\r\n"
                                  "WITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                                  "%1)\r\nSELECT i AS Nr, CASE WHEN i % 2 = 0 THEN 'parzysta' "
                                  "ELSE 'nieparzysta' END AS Opis, i * 1.25 AS Kwota FROM n "
                                  "OPTION (MAXRECURSION 0)\r\n")
                       .arg(kRows)
                       .toLatin1());
        SetAppFolder(FDir.path());
    }
    ~AppFolder() { SetAppFolder(QString()); }
    QString Path() const { return FDir.path() + u'/'; }
    QString Reports() const { return Path() + QStringLiteral("data reports/Testy/"); }

private:
    QTemporaryDir FDir;
};

// Holds an export's thread at its first block of rows until the test lets it go on.
class Gate {
public:
    ~Gate() { Open(); }
    void Attach(TOrvel_DataExport &writer) {
        auto inner = writer.Progress;
        writer.Progress = [this, inner](int written, int total) {
            inner(written, total);
            if (written < total && !FReached) {
                FHeldAt = written;
                Hold();
            }
        };
    }
    // Holds the thread once all rows are read, while the writer finishes its file.
    void AttachAtEnd(TOrvel_DataExport &writer) {
        auto inner = writer.RowsDone;
        writer.RowsDone = [this, inner] {
            inner();
            Hold();
        };
    }
    bool Reached() const { return FReached; }
    int HeldAt() const { return FHeldAt; } // the rows written when the thread was held
    void Open() {
        {
            const std::lock_guard lock(FLock);
            FOpen = true;
        }
        FWake.notify_all();
    }

private:
    void Hold() {
        FReached = true;
        std::unique_lock lock(FLock);
        FWake.wait(lock, [this] { return FOpen; });
    }
    std::mutex FLock;
    std::condition_variable FWake;
    bool FOpen = false;
    std::atomic<bool> FReached{false};
    std::atomic<int> FHeldAt{0};
};

// Clicks a menu's entry once the menu has popped up (the caller then opens it).
void WhenMenuShown(const QString &entry) {
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, entry] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        poll->stop();
        poll->deleteLater();
        for (QAction *action : menu->actions())
            if (action->objectName() == entry)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    });
    poll->start();
}

QStringList FolderEntries(const QString &folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class ExportWindowTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<Gate> FGate;
    std::unique_ptr<AppFolder> FFolder;
    std::unique_ptr<TF_Main> FMain;
    std::unique_ptr<TF_Login> FLogin;
    std::unique_ptr<QTemporaryDir> FTarget; // where the exports go

    TOrvel_ExportCommands *Commands() const { return FMain->ExportCommands(); }
    QString Target(const QString &name) const { return FTarget->filePath(name); }
    QStringList Written() const { return FolderEntries(FTarget->path()); }

    // Logs in, runs the large report and waits for its result.
    void RunLargeReport() {
        // The first showing has logged in already.
        QTRY_COMPARE(FMain->State(), asNoDatabase);
        const auto items = FMain->tree->findItems(QStringLiteral("Duży wynik"),
                                                  Qt::MatchExactly | Qt::MatchRecursive);
        QVERIFY(!items.isEmpty());
        FMain->tree->setCurrentItem(items.first());
        QCOMPARE(FMain->State(), asReady);
        FMain->btnRunClick();
        QTRY_COMPARE_WITH_TIMEOUT(FMain->State(), asReady, 120000);
        QCOMPARE(FMain->Report()->RecordCount(), kRows);
    }
    // Chooses the entry from the "Zapisz" menu with the mouse, the file dialog answering with
    // the file; the export has started when this returns.
    enum Hold { NotHeld, HeldAtFirstBlock, HeldAfterTheRows };
    void StartExport(const QString &entry, const QString &file, Hold held) {
        Commands()->AskFileName = [file](const TOrvel_SaveRequest &) { return file; };
        Commands()->WriterReady = [this, held](TOrvel_DataExport &writer) {
            if (held == HeldAtFirstBlock)
                FGate->Attach(writer);
            else if (held == HeldAfterTheRows)
                FGate->AttachAtEnd(writer);
        };
        WhenMenuShown(entry);
        QTest::mouseClick(FMain->btnSave, Qt::LeftButton);
        QTRY_VERIFY(Commands()->IsExporting());
        // The window is active again once the menu has gone, so that keys reach its shortcuts
        // (the off-screen platform does not always give the activation back by itself).
        QTRY_VERIFY(!QApplication::activePopupWidget());
        if (QApplication::activeWindow() != FMain.get())
            QApplication::setActiveWindow(FMain.get());
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(FMain.get()));
        // Held after the rows, a document has laid out and drawn every page first.
        if (held != NotHeld)
            QTRY_VERIFY_WITH_TIMEOUT(FGate->Reached(), 120000);
    }
    void WaitForTheEnd() {
        QTRY_COMPARE_WITH_TIMEOUT(FMain->State(), asReady, 120000);
        QVERIFY(!Commands()->IsExporting());
    }
    // A click in the grid, so that keys go to it as the user's would.
    void FocusGrid() {
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(FMain.get()));
        QWidget *cells = FMain->gridlist->viewport();
        QTest::mouseClick(cells, Qt::LeftButton, {}, QPoint(40, 30));
        QTRY_VERIFY(FMain->gridlist->hasFocus());
    }

private slots:
    void init() {
        SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
        FGate = std::make_unique<Gate>();
        FFolder = std::make_unique<AppFolder>();
        FMain = std::make_unique<TF_Main>(ReportFactory());
        FLogin = std::make_unique<TF_Login>(FMain.get());
        FMain->SetLoginWindow(FLogin.get());
        FLogin->ModalRunner = [](TF_Login &login) {
            login.edServer->setEditText(DemoServer());
            return int(QDialog::Accepted);
        };
        FTarget = std::make_unique<QTemporaryDir>();
        FMain->resize(900, 600);
        FMain->CreateDialogs();
        FMain->show();
        QVERIFY(QTest::qWaitForWindowActive(FMain.get()));
        RunLargeReport();
    }
    void cleanup() {
        FGate->Open(); // a held export goes on, so the window can wait for it
        FLogin.reset();
        FMain.reset();
        FFolder.reset();
        FGate.reset();
        FTarget.reset();
    }

    void exportsRunWhileTheWindowAnswers_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("XLSX") << "miSaveAs_XLSX"
                              << "wynik.xlsx" << QByteArray("PK");
        QTest::newRow("CSV") << "miSaveAs_CSV"
                             << "wynik.csv" << QByteArray("\"Nr\",\"Opis\",\"Kwota\"\r\n\"1\"");
        QTest::newRow("XHTML") << "miSaveAs_XHTML"
                               << "wynik.htm" << QByteArray("<?xml");
        QTest::newRow("XML") << "miSaveAs_XML"
                             << "wynik.xml" << QByteArray("<?xml");
        QTest::newRow("PDF") << "miSaveAs_PDF"
                             << "wynik.pdf" << QByteArray("%PDF-");
    }
    // A large result saved while a 10 ms timer of the window keeps firing; the progress reaches
    // all rows, and the status line says what was written.
    void exportsRunWhileTheWindowAnswers() {
        QFETCH(QString, entry);
        QFETCH(QString, name);
        QFETCH(QByteArray, start);
        int ticks = 0;
        bool exporting = false;
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, [&] { ticks += exporting ? 1 : 0; });
        timer.start();
        QList<std::pair<int, int>> progress;
        connect(Commands(), &TOrvel_ExportCommands::exportStarted, [&] { exporting = true; });
        connect(Commands(), &TOrvel_ExportCommands::exportEnded, [&] { exporting = false; });
        connect(Commands(), &TOrvel_ExportCommands::exportProgress, [&](int written, int total) {
            progress.append({written, total});
        });
        TOrvel_MessageRecorder boxes;
        StartExport(entry, Target(name), NotHeld);
        WaitForTheEnd();
        QVERIFY(boxes.Messages().empty());
        QVERIFY2(ticks > 0, "no timer event reached the window during the export");
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), std::make_pair(kRows, kRows));
        QVERIFY(FMain->barExport->isHidden());
        QVERIFY(FMain->btnStopExport->isHidden());
        const QRegularExpression written(
            QStringLiteral("^Zapisano 200 000 wierszy do pliku „%1”, czas: \\d+:\\d\\d$")
                .arg(name));
        QVERIFY2(written.match(FMain->StatusText(1)).hasMatch(), qPrintable(FMain->StatusText(1)));
        QVERIFY(ReadBytes(Target(name)).startsWith(start));
        if (name.endsWith(QLatin1String(".pdf"))) {
            // Drawn on the export's thread, the text is real text, Polish letters included.
            QProcess text;
            text.start(QStringLiteral("pdftotext"), {QStringLiteral("-l"), QStringLiteral("1"),
                                                     Target(name), QStringLiteral("-")});
            QVERIFY(text.waitForFinished(60000));
            const QString page = QString::fromUtf8(text.readAllStandardOutput());
            QVERIFY2(page.contains(QStringLiteral("Duży wynik")) &&
                         page.contains(QStringLiteral("nieparzysta")),
                     qPrintable(page.left(300)));
        }
        QCOMPARE(Written(), QStringList{name});
        QVERIFY(FMain->btnRun->isEnabled());
        QVERIFY(FMain->btnSave->isEnabled());
    }

    // While the file is written the user reads and scrolls the grid; what would change the
    // result or the report is disabled, keys included, and the grid is left where the user put
    // it when the export ends.
    void commandsWhileExporting() {
        FocusGrid();
        StartExport(QStringLiteral("miSaveAs_CSV"), Target(QStringLiteral("wynik.csv")),
                    HeldAtFirstBlock);
        QCOMPARE(FMain->State(), asExporting);
        QVERIFY(FMain->barExport->isVisible());
        QVERIFY(FMain->btnStopExport->isVisible());
        const int held = FGate->HeldAt();
        QTRY_COMPARE(FMain->barExport->value(), held);
        QCOMPARE(FMain->barExport->maximum(), kRows);
        QCOMPARE(FMain->barExport->text(), QStringLiteral("%1 %2 z 200 000 wierszy: wynik.csv")
                                               .arg(held / 1000)
                                               .arg(held % 1000, 3, 10, QChar(u'0')));
        QCOMPARE(FMain->StatusText(1), QStringLiteral("Zapisywanie wyniku..."));
        for (QWidget *w : std::initializer_list<QWidget *>{
                 FMain->btnRun, FMain->btnSave, FMain->btnFormat, FMain->btnLogin, FMain->btnNew,
                 FMain->listDB, FMain->pages})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(FMain->btnSettings->isEnabled());
        QVERIFY(FMain->gridlist->isEnabled());
        QVERIFY(FMain->edReportSQL->isReadOnly());

        // A title click sorts nothing, F5 starts no run.
        QHeaderView *header = FMain->gridlist->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(header->logicalIndex(0)) + 5,
                                 header->height() / 2));
        QCOMPARE(FMain->Report()->SortColumn(), -1);
        FocusGrid();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
        QCOMPARE(FMain->State(), asExporting);
        // Scrolling with the keys, as the user reads on.
        QScrollBar *rows = FMain->gridlist->verticalScrollBar();
        const int top = rows->value();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
        QVERIFY(rows->value() > top);
        const int scrolled = rows->value();

        FGate->Open();
        WaitForTheEnd();
        QCOMPARE(rows->value(), scrolled);
        QVERIFY(FMain->StatusText(1).startsWith(QStringLiteral("Zapisano 200 000 wierszy")));
        QVERIFY(FMain->btnRun->isEnabled());
        QVERIFY(FMain->pages->isEnabled());
        QVERIFY(!FMain->edReportSQL->isReadOnly());
    }

    void stopKeepsTheOldFile_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("escape");
        QTest::addColumn<bool>("rowsRead"); // stopped while the file is being finished
        QTest::newRow("XLSX, Esc") << "miSaveAs_XLSX"
                                   << "wynik.xlsx" << true << false;
        QTest::newRow("CSV, Przerwij") << "miSaveAs_CSV"
                                       << "wynik.csv" << false << false;
        QTest::newRow("XHTML, Esc") << "miSaveAs_XHTML"
                                    << "wynik.htm" << true << false;
        QTest::newRow("XLSX finishing its file, Esc") << "miSaveAs_XLSX"
                                                      << "wynik.xlsx" << true << true;
        QTest::newRow("CSV finishing its file, Przerwij") << "miSaveAs_CSV"
                                                          << "wynik.csv" << false << true;
        QTest::newRow("PDF, Esc") << "miSaveAs_PDF"
                                  << "wynik.pdf" << true << false;
        QTest::newRow("PDF finishing its file, Przerwij") << "miSaveAs_PDF"
                                                          << "wynik.pdf" << false << true;
    }
    // A stop at mid-file: the file there before keeps its bytes, no temporary file is left, and
    // the status line says the save was stopped.
    void stopKeepsTheOldFile() {
        QFETCH(QString, entry);
        QFETCH(QString, name);
        QFETCH(bool, escape);
        QFETCH(bool, rowsRead);
        const QByteArray old("stara zawartość\r\n");
        QVERIFY(WriteBytes(Target(name), old));
        FocusGrid();
        TOrvel_MessageRecorder boxes;
        StartExport(entry, Target(name), rowsRead ? HeldAfterTheRows : HeldAtFirstBlock);
        if (escape)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        else
            QTest::mouseClick(FMain->btnStopExport, Qt::LeftButton);
        QCOMPARE(FMain->StatusText(1), QStringLiteral("Przerywanie zapisu…"));
        if (rowsRead) {
            // The rows are all read: the window is the user's again while the file is dropped.
            QCOMPARE(FMain->State(), asReady);
            QVERIFY(FMain->barExport->isHidden());
            QVERIFY(FMain->btnRun->isEnabled());
            FGate->Open();
            QTRY_COMPARE(FMain->StatusText(1), QStringLiteral("Zapis przerwany"));
        }
        FGate->Open();
        WaitForTheEnd();
        QVERIFY(boxes.Messages().empty());
        QCOMPARE(FMain->StatusText(1), QStringLiteral("Zapis przerwany"));
        QCOMPARE(ReadBytes(Target(name)), old);
        QCOMPARE(Written(), QStringList{name});
        QVERIFY(FMain->barExport->isHidden());
    }

    // Closing during an export asks first; "Nie" keeps the export going, "Tak" stops it and the
    // window closes once it has ended, with no file written.
    void closingDuringAnExport() {
        StartExport(QStringLiteral("miSaveAs_XLSX"), Target(QStringLiteral("wynik.xlsx")),
                    HeldAtFirstBlock);
        TOrvel_MessageRecorder boxes(QMessageBox::No);
        FMain->close();
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        QCOMPARE(boxes.Messages()[0].Text,
                 QStringLiteral("Wynik jest zapisywany do pliku. Przerwać i zamknąć?"));
        QVERIFY(FMain->isVisible());
        QCOMPARE(FMain->State(), asExporting);
        boxes.SetAnswer(QMessageBox::Yes);
        FMain->close();
        QVERIFY(FMain->isVisible()); // until the export has ended
        FGate->Open();
        QTRY_VERIFY_WITH_TIMEOUT(!FMain->isVisible(), 60000);
        QCOMPARE(boxes.Messages().size(), std::size_t(2));
        QCOMPARE(Written(), QStringList());
    }

    // A failed write shows the writer's reason in the general error message; the window goes
    // back to its ready state.
    void failedExport() {
        QVERIFY(QDir(FTarget->path()).mkdir(QStringLiteral("folder.csv")));
        TOrvel_MessageRecorder boxes;
        StartExport(QStringLiteral("miSaveAs_CSV"), Target(QStringLiteral("folder.csv")), NotHeld);
        WaitForTheEnd();
        QCOMPARE(boxes.Messages().size(), std::size_t(1));
        QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
        QVERIFY(!boxes.Messages()[0].Text.isEmpty());
        QCOMPARE(Written(), QStringList{QStringLiteral("folder.csv")});
        QVERIFY(FMain->btnSave->isEnabled());
    }
};

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    ExportWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_ui_export.moc"
