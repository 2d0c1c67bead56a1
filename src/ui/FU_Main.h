#pragma once
// The main window, the hub of the program: toolbar with the database list, the report tree and
// report information on the left, the parameter panel, result grid and editors on the right, the
// status bar. It keeps the application state through its state machine and reaches the report
// object through TOrvel_ReportPort.
#include "FU_Login.h"
#include "U_AppState.h"
#include "U_ReportPort.h"

#include <QDateTime>
#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <memory>

class DbConnection;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TF_Login;
class TOrvel_PrintCommand;
class TOrvel_LoadReports;
class TOrvel_MainStateMachine;
class TOrvel_ExportCommands;
class TOrvel_ReportEditors;
class TOrvel_ResultGrid;
class TOrvel_SqlEditor;
class TOrvel_XmlEditor;
class TF_ResultFormat;
struct TOrvel_ReportItem;

class TF_Main : public QMainWindow, public TOrvel_LoginHost {
    Q_OBJECT
public:
    // The report object is made by the factory on the parameter panel and the connection; without
    // one the window works but no report loads.
    explicit TF_Main(TOrvel_ReportFactory reportFactory = {}, QWidget *parent = nullptr);
    ~TF_Main() override;

    void SetLoginWindow(TF_Login *login) { FLogin = login; }
    // Creates the dialogs, each once, in this order: about, result format, add-parameter, new
    // report, settings. They live as long as the window and are shown modally when needed.
    void CreateDialogs();

    // Application state.
    TOrvel_AppState State() const;
    void SetAppState(TOrvel_AppState state) override;
    void EnableWorkArea(bool enable);

    // Window operations.
    void SetReportTitle(const QString &text);
    void SetResultInfo(const QString &text);
    void SetActivityText(const QString &text);
    QString StatusText(int panel) const;
    void ShowResult(bool visible);
    void ResetReport(bool clearTree);
    void SelectReport(const TOrvel_ReportItem &entry);
    // Loads the report again from its files (after an editor was saved), without asking about
    // unsaved changes: the editor that was not saved keeps its text.
    void ReloadReport();
    void RebuildReportList();
    void ShowExecTime(bool final);
    int NextWarningCount(const QString &key);

    // Services for the report object (registered at creation).
    bool SelectDefaultDatabase(const QString &database, const QString &definitionFile);
    void OnParamValueChanged(const QString &name, const QString &sqlValue);
    void OnRunFinished();

    // Commands.
    void treeChange(QTreeWidgetItem *node);
    void listDBChange();
    void btnLoginClick();
    void btnRunClick();
    // The run as the user asks for it (button, F5, Ctrl+Enter, Enter in a parameter input):
    // runs when the state allows it; without a chosen database it says so instead.
    // Unsaved editor text is asked about first (Zapisz / Nie zapisuj / Anuluj).
    void RunCommand();
    // The run once the question is answered; `savedFiles`: the files on disk run, not the
    // editors' unsaved text, and the status bar says so.
    void StartRun(bool savedFiles);
    // "Przerwij" (the run command while a report runs) and Esc: asks the database to stop.
    void btnCancelClick();
    // The server has not answered a cancel in time: offers to drop the connection.
    void CancelTimedOut();
    // Closes the connection from our side while a run hangs; the user logs in again.
    void DropConnection();
    void ExecTimeTimer();
    // The export's progress in the status bar, and the window's state around it.
    void ExportStarted(const QString &file, int total);
    void ExportProgress(int written, int total);
    void ExportEnded();
    // "Przerwij" in the status bar and Esc while a result is being saved.
    void StopExportClick();
    void TabSheet2Show();
    void TabSheet3Show();
    void btnResetParamsClick();
    void btnSaveParamsClick();
    void btnLoadDefaultValuesClick();
    void Splitter1Moved();
    void panRightResize();
    void gridlistTitleClick(int position);
    void gridlistMouseUp();
    void btnNewClick();
    void btnFormatClick();
    void btnSettingsClick();
    void btnAboutClick();
    void miAddDefParameterClick();

    // TOrvel_LoginHost
    DbConnection &Connection() override { return *conn1; }
    void SetConnectionText(const QString &text) override;
    QStringList DatabaseList() const override;
    void SetDatabaseList(const QStringList &databases) override;

    TOrvel_ReportPort *Report() const { return FReport.get(); }
    TOrvel_LoadReports *Reports() const { return FReports.get(); }
    QWidget *ParamsPanel() const { return panParams; }
    QMenu *SaveAsMenu() const { return pmSaveAsFormat; }
    TOrvel_ExportCommands *ExportCommands() const { return FExport; }
    TOrvel_PrintCommand *PrintCommand() const { return FPrint; }
    TOrvel_ReportEditors *Editors() const { return FEditors; }
    QString ResultCaption() const; // "Raport jest pusty" while the grid is hidden, else empty

    // Controls, named as in the window's layout.
    QToolBar *ToolBar1;
    QToolButton *btnLogin;
    QToolButton *btnNew;
    QToolButton *btnSave;
    QToolButton *btnPrint;
    QToolButton *btnRun;
    QToolButton *btnStop;
    QWidget *panDB;
    QComboBox *listDB;
    QToolButton *btnFormat;
    QToolButton *btnSettings;
    QToolButton *btnAbout;
    QMenu *pmSaveAsFormat;
    QSplitter *Splitter1;
    QWidget *panLeft;
    QTabWidget *pages;
    QTreeWidget *tree;
    QTreeWidget *treereport;
    QPlainTextEdit *textParams;
    QWidget *panRight;
    QTabWidget *tabsRight;
    QWidget *tabResult;
    QWidget *tabReportSQL;
    QWidget *tabReportDefinition;
    QWidget *panParams;
    QFrame *panTitle;
    QLabel *labTitle;
    QToolButton *btnLoadDefaultValues;
    QToolButton *btnSaveParams;
    QToolButton *btnResetParams;
    QWidget *panResult;
    QLabel *labInfo;
    QLabel *labEmpty; // the result panel's own caption, "Raport jest pusty"
    TOrvel_ResultGrid *gridlist;
    QToolBar *barEdit_SQL;
    QToolBar *barEdit_DEF;
    TOrvel_SqlEditor *edReportSQL;
    TOrvel_XmlEditor *edReportDefinition;
    QStatusBar *barStatus;
    // While an export runs: its progress (rows written of all rows, the file's name) and
    // "Przerwij", which stops it (as Esc does).
    QProgressBar *barExport;
    QToolButton *btnStopExport;
    QTimer *ExecTime;
    QAction *actRun; // F5, Ctrl+Enter: runs from anywhere in the window
    // How long a cancel may wait for the server before the program offers to drop the
    // connection (milliseconds).
    QTimer *CancelWait;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildToolbar();
    void BuildRunCommand();
    // The run command's hint with its keys, or "Przerwij" with Esc while a report runs.
    static QString RunHint(bool cancel);
    void BuildShortcuts();
    void StoreWindowState();
    void BuildLeft();
    void BuildRight();
    void BuildStatusBar();
    void FormShow();
    void SelectDatabase(bool fromUser);
    void SetGridVisible(bool visible);
    void LoadNode(QTreeWidgetItem *node);
    bool OpenForRepair(const TOrvel_ReportItem &entry, const QString &loadError);
    void UpdateEditorTab(QWidget *tab, const QString &caption, bool modified);
    QString WithRunNote(const QString &text) const;

    std::unique_ptr<DbConnection> conn1;
    std::unique_ptr<TOrvel_LoadReports> FReports;
    std::unique_ptr<TOrvel_ReportPort> FReport;
    std::unique_ptr<TOrvel_MainStateMachine> FStateMachine;
    QHash<QString, int> FWarningCounts;
    std::uint32_t FRunStartTick = 0;
    TOrvel_ExportCommands *FExport = nullptr;
    TOrvel_PrintCommand *FPrint = nullptr;
    QDateTime FRunStartTime; // when the shown result's run began
    TOrvel_ReportEditors *FEditors = nullptr;
    // The report shown in the editors: its tree entry (-1 none) and title; the files of a report
    // whose definition failed to load, opened in the editors for repair ("" otherwise).
    int FShownIndex = -1;
    QString FShownTitle;
    QString FRepairDefinitionFile;
    QString FRepairScriptFile;
    QString FCurrentDatabase; // the database made current last ("" none)
    bool FDbChanging = false;
    bool FTreeChanging = false;
    bool FShown = false;
    // The left tab to bring back once a report has loaded: before that only "Lista" has content.
    int FPendingLeftTab = -1;
    bool FCancelling = false;        // a cancel was asked and the run has not ended yet
    bool FCloseAfterRun = false;     // closing was confirmed during a run
    bool FCloseAfterExport = false;  // closing was confirmed during an export
    bool FLayoutAfterExport = false; // a column layout to store once the export has ended
    bool FReloadAfterExport = false; // an editor was saved during an export
    QString FExportFile;             // the name the progress bar shows
    bool FParamsAutoSize = false;
    TF_Login *FLogin = nullptr;
    QPointer<QWidget> FRunFocus; // where the focus was when the run was asked for
    QString FRunNote;            // said with every status of the run that uses the saved files
    QLabel *FStatusPanels[2] = {nullptr, nullptr};
};

// The single main window of the process (null before it is created and after it is destroyed).
extern TF_Main *F_Main;
// The single result format dialog (null until the main window creates its dialogs).
extern TF_ResultFormat *F_ResultFormat;

// The millisecond tick count of a monotonic clock, 32 bits.
std::uint32_t TickCount();
