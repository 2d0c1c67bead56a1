#include "FU_Main.h"

#include "FU_About.h"
#include "FU_AddDefParam.h"
#include "FU_MainState.h"
#include "FU_NewReport.h"
#include "FU_ResultFormat.h"
#include "FU_Settings.h"
#include "Orvel_ResultGrid.h"
#include "U_Application.h"
#include "U_Db.h"
#include "U_DefinitionCheck.h"
#include "U_DisplayFormat.h"
#include "U_EditorFiles.h"
#include "U_ExportCommands.h"
#include "U_GridColumns.h"
#include "U_GridCommands.h"
#include "U_LoadReports.h"
#include "U_Login.h"
#include "U_MessageBox.h"
#include "U_PrintCommand.h"
#include "U_ReportEditors.h"
#include "U_ReportFiles.h"
#include "U_ReportTree.h"
#include "U_RowIndicator.h"
#include "U_SqlEditor.h"
#include "U_TextCodec.h"
#include "U_UiResources.h"
#include "U_WindowPlace.h"
#include "U_XML_util.h"
#include "U_XmlEditor.h"
#include "U_error.h"
#include "U_locale.h"
#include "U_settings.h"
#include "U_utils.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStringDecoder>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include <vector>

TF_Main *F_Main = nullptr;
TF_ResultFormat *F_ResultFormat = nullptr;

std::uint32_t TickCount() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<std::uint32_t>(clock.elapsed());
}

namespace {
const QString kTreeWidth = QStringLiteral("Windows/Main/TreeView/Width");
const QString kMainPlace = QStringLiteral("Windows/Main");
const QString kLeftTab = QStringLiteral("Windows/Main/LeftTab");
// The first start shows the sample reports' results without scrolling sideways.
constexpr QSize kFirstSize(1200, 760);

// Rows of the report tree: the height of its pictures plus 2 pixels.
class TreeRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(RowHeight);
        return size;
    }
    int RowHeight = 18;
};

// A hint that names the command's keys: "Login (Alt+L)".
QString HintWithKeys(const QString &hint, const QString &keys) {
    return keys.isEmpty() ? hint : hint + QStringLiteral(" (") + keys + u')';
}

QToolButton *ToolButton(QToolBar *bar, const char *name, const QString &hint,
                        const QString &picture, const QKeySequence &key = {}) {
    auto *button = new QToolButton(bar);
    button->setObjectName(QString::fromLatin1(name));
    button->setShortcut(key);
    button->setToolTip(HintWithKeys(hint, key.toString(QKeySequence::NativeText)));
    // A picture only: a screen reader reads the hint's words.
    button->setAccessibleName(hint);
    button->setIcon(UiIcon(picture));
    button->setIconSize(QSize(24, 24));
    button->setFixedSize(31, 31);
    button->setAutoRaise(true);
    return button;
}

const char *kCaptionStyle = "QLabel { color: #003651; background: palette(tool-tip-base);"
                            " border: 1px solid gray; padding-left: 2px; }";

// Runs a command of the window; an error it raises is shown in the general error message.
template <class F> auto Guarded(F f) {
    return [f](auto &&...) { RunGuarded(f); };
}

// Keeps the keyboard focus where the user is across a command that disables and enables the
// window's controls on its way (a disabled control hands the focus on to the next one). Keys
// typed meanwhile (the next arrow presses while a report loads) would reach whatever control
// held the focus for the moment and be lost: they are held back and delivered afterwards to the
// control the focus went back to.
class FocusKeeper : public QObject {
public:
    explicit FocusKeeper(QWidget *window) : FWindow(window), FWidget(window->focusWidget()) {
        qApp->installEventFilter(this);
    }
    ~FocusKeeper() override {
        qApp->removeEventFilter(this);
        RestoreFocus(FWidget);
        QWidget *target = FWindow ? FWindow->focusWidget() : nullptr;
        for (std::unique_ptr<QEvent> &key : FKeys)
            if (target)
                QCoreApplication::postEvent(target, key.release());
    }
    FocusKeeper(const FocusKeeper &) = delete;
    FocusKeeper &operator=(const FocusKeeper &) = delete;

    static void RestoreFocus(QWidget *widget) {
        if (widget && widget->isEnabled() && widget->isVisible() && !widget->hasFocus())
            widget->setFocus(Qt::OtherFocusReason);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
            watched->isWidgetType() && FWindow &&
            static_cast<QWidget *>(watched)->window() == FWindow) {
            FKeys.emplace_back(event->clone());
            return true;
        }
        return false;
    }

private:
    QPointer<QWidget> FWindow;
    QPointer<QWidget> FWidget;
    std::vector<std::unique_ptr<QEvent>> FKeys;
};

bool IsEnterKey(const QKeyEvent *event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}
} // namespace

TF_Main::TF_Main(TOrvel_ReportFactory reportFactory, QWidget *parent)
    : QMainWindow(parent), conn1(std::make_unique<DbConnection>()) {
    F_Main = this;
    setObjectName(QStringLiteral("F_Main"));
    InitUiResources();

    BuildToolbar();
    BuildLeft();
    BuildRight();
    BuildStatusBar();
    BuildShortcuts();
    ExecTime = new QTimer(this);
    ExecTime->setObjectName(QStringLiteral("ExecTime"));
    ExecTime->setInterval(200);
    connect(ExecTime, &QTimer::timeout, this, Guarded([this] { ExecTimeTimer(); }));
    CancelWait = new QTimer(this);
    CancelWait->setObjectName(QStringLiteral("CancelWait"));
    CancelWait->setInterval(10000);
    CancelWait->setSingleShot(true);
    connect(CancelWait, &QTimer::timeout, this, Guarded([this] { CancelTimedOut(); }));
    // Esc stops a running report wherever the focus is in the window.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("scCancel"));
    connect(escape, &QShortcut::activated, this, Guarded([this] {
                if (State() == asExporting)
                    StopExportClick();
                else
                    btnCancelClick();
            }));

    TOrvel_StateControls controls;
    controls.Pages = pages;
    controls.DatabaseList = listDB;
    controls.Login = btnLogin;
    controls.Save = btnSave;
    controls.Print = btnPrint;
    controls.Format = btnFormat;
    controls.Run = btnRun;
    controls.Stop = btnStop;
    controls.New = btnNew;
    controls.Settings = btnSettings;
    controls.WorkArea = panRight;
    controls.ParamButtons = {btnResetParams, btnSaveParams, btnLoadDefaultValues};
    controls.Editors = {edReportSQL, edReportDefinition};
    FStateMachine = std::make_unique<TOrvel_MainStateMachine>(controls);
    FStateMachine->IsLoaded = [this] { return FReport && FReport->IsLoaded(); };
    FStateMachine->HasRecords = [this] { return FReport && FReport->HasRecords(); };
    FStateMachine->ResultOpen = [this] {
        return FReport && FReport->ResultQuery() && FReport->ResultQuery()->IsOpen();
    };
    FStateMachine->ShowResult = [this](bool visible) { ShowResult(visible); };
    FStateMachine->SetGridVisible = [this](bool visible) { SetGridVisible(visible); };
    FStateMachine->SetStatusText = [this](int panel, const QString &text) {
        FStatusPanels[panel]->setText(text);
    };
    FStateMachine->ShowCancel = [this](bool cancel) {
        btnRun->setToolTip(RunHint(cancel));
        btnRun->setIcon(UiIcon(cancel ? QStringLiteral("stop") : QStringLiteral("run")));
    };
    FStateMachine->RepaintNow = [this] {
        repaint();
        QCoreApplication::processEvents();
    };

    // FormCreate
    FWarningCounts.clear();
    SetApplicationTitle(QStringLiteral("Orvel-Zestawnik ") + GetVersionString());
    QApplication::setApplicationName(QStringLiteral("Orvel-Zestawnik"));
    setWindowTitle(ApplicationTitle());
    CreateAppPrefs();
    RestoreWindowPlace(this, kMainPlace, kFirstSize);
    FReports = std::make_unique<TOrvel_LoadReports>();
    if (reportFactory)
        FReport = reportFactory(panParams, *conn1);
    if (FReport) {
        FReport->OnParamChange = [this](const QString &name, const QString &value) {
            OnParamValueChanged(name, value);
        };
        FReport->OnRunDone = [this] { RunGuarded([this] { OnRunFinished(); }); };
        FReport->OnDefaultDatabase = [this](const QString &database, const QString &file) {
            return SelectDefaultDatabase(database, file);
        };
        gridlist->SetQuery(FReport->ResultQuery());
    }
    FExport = new TOrvel_ExportCommands(this);
    FExport->Columns = &gridlist->Columns();
    FExport->View = gridlist;
    FExport->Title = [this] { return FReport ? FReport->GetTitle() : QString(); };
    FExport->ShowStatus = [this](const QString &text) { SetActivityText(text); };
    FExport->PrintInfo = [this] {
        TOrvel_PrintInfo info;
        if (FReport)
            info.Parameters = FReport->ShownParameters();
        info.Database = listDB->currentText();
        info.User = FLogin && FLogin->SQLServerAuth() ? FLogin->edUser->text().trimmed()
                                                      : GetSystemUserName();
        info.RunTime = FRunStartTime;
        return info;
    };
    FExport->ConnectMenu(pmSaveAsFormat);
    connect(FExport, &TOrvel_ExportCommands::exportStarted, this,
            [this](const QString &file, int total) { ExportStarted(file, total); });
    connect(FExport, &TOrvel_ExportCommands::exportProgress, this,
            [this](int written, int total) { ExportProgress(written, total); });
    connect(FExport, &TOrvel_ExportCommands::exportEnded, this, Guarded([this] { ExportEnded(); }));
    FPrint = new TOrvel_PrintCommand(this);
    FPrint->Document = [this] { return FExport->MakePrintDocument(); };
    FDbChanging = false;
    FTreeChanging = false;
    SetAppState(asNotConnected);
}

TF_Main::~TF_Main() {
    // An export still running reads the report's result: it is stopped and waited for first.
    delete FExport;
    FExport = nullptr;
    // FormDestroy: the report object, the catalogue, the preferences, the warning counters.
    // The dialogs this window created go with it, in reverse order of creation.
    const auto drop = [this](auto *&dialog) {
        if (dialog && dialog->parent() == this) {
            delete dialog;
            dialog = nullptr;
        }
    };
    drop(F_Settings);
    drop(F_NewReport);
    drop(F_AddDefParam);
    drop(F_ResultFormat);
    drop(F_About);
    gridlist->SetQuery(nullptr);
    FReport.reset();
    FReports.reset();
    FreeAppPrefs();
    FWarningCounts.clear();
    if (F_Main == this)
        F_Main = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Layout

void TF_Main::BuildToolbar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(40);
    ToolBar1->setIconSize(QSize(24, 24));
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    // Every command has an Alt key, named in its hint; running also has F5 and Ctrl+Enter.
    btnLogin = ToolButton(ToolBar1, "btnLogin", QStringLiteral("Login"), QStringLiteral("login"),
                          QKeySequence(Qt::ALT | Qt::Key_L));
    btnNew = ToolButton(ToolBar1, "btnNew", QStringLiteral("Nowy"), QStringLiteral("new"),
                        QKeySequence(Qt::ALT | Qt::Key_N));
    // "Zapisz" only drops down its menu; its key opens the menu (below).
    btnSave = ToolButton(ToolBar1, "btnSave", QStringLiteral("Zapisz"), QStringLiteral("save"));
    btnSave->setToolTip(
        HintWithKeys(QStringLiteral("Zapisz"),
                     QKeySequence(Qt::ALT | Qt::Key_Z).toString(QKeySequence::NativeText)));
    btnPrint = ToolButton(ToolBar1, "btnPrint", QStringLiteral("Drukuj"), QStringLiteral("print"),
                          QKeySequence(Qt::CTRL | Qt::Key_P));
    btnRun = ToolButton(ToolBar1, "btnRun", QStringLiteral("Uruchom"), QStringLiteral("run"));
    btnStop = ToolButton(ToolBar1, "btnStop", QStringLiteral("Zatrzymaj"), QStringLiteral("stop"));
    btnFormat = ToolButton(ToolBar1, "btnFormat", QStringLiteral("Format wyniku"),
                           QStringLiteral("format"), QKeySequence(Qt::ALT | Qt::Key_F));
    btnSettings = ToolButton(ToolBar1, "btnSettings", QStringLiteral("Ustawienia"),
                             QStringLiteral("settings"), QKeySequence(Qt::ALT | Qt::Key_T));
    btnAbout = ToolButton(ToolBar1, "btnAbout", QStringLiteral("O programie"),
                          QStringLiteral("about"), QKeySequence(Qt::ALT | Qt::Key_O));

    // The export menu behind "Zapisz"; its entries are connected by the export commands.
    pmSaveAsFormat = new QMenu(this);
    pmSaveAsFormat->setObjectName(QStringLiteral("pmSaveAsFormat"));
    const char *items[][2] = {{"miSaveAs_CSV", "zapisz do formatu CSV"},
                              {"miSaveAs_XHTML", "zapisz do formatu XHTML"},
                              {"miSaveAs_XHTML_andOpen", "zapisz do formatu XHTML i pokaż"},
                              {"miSaveAs_XML", "zapisz do formatu XML"},
                              {"miSaveAs_XLSX", "Arkusz Excel (XLSX)…"},
                              {"miSaveAs_PDF", "Dokument PDF…"}};
    for (const auto &item : items)
        pmSaveAsFormat->addAction(QString::fromUtf8(item[1]))
            ->setObjectName(QString::fromLatin1(item[0]));
    btnSave->setMenu(pmSaveAsFormat);
    btnSave->setPopupMode(QToolButton::InstantPopup);

    panDB = new QWidget(ToolBar1);
    panDB->setObjectName(QStringLiteral("panDB"));
    panDB->setFixedWidth(253);
    auto *dbLayout = new QHBoxLayout(panDB);
    dbLayout->setContentsMargins(4, 0, 4, 0);
    dbLayout->setSpacing(4);
    auto *labDB = new QLabel(QStringLiteral("Baza"), panDB);
    dbLayout->addWidget(labDB);
    listDB = new QComboBox(panDB);
    labDB->setBuddy(listDB);
    listDB->setAccessibleName(QStringLiteral("Baza"));
    listDB->setObjectName(QStringLiteral("listDB"));
    listDB->setEditable(false);
    listDB->setFixedWidth(213);
    listDB->setToolTip(
        HintWithKeys(QStringLiteral("Lista baz serwera"),
                     QKeySequence(Qt::ALT | Qt::Key_B).toString(QKeySequence::NativeText)));
    dbLayout->addWidget(listDB);

    ToolBar1->addWidget(btnLogin);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(btnNew);
    ToolBar1->addWidget(btnSave);
    ToolBar1->addWidget(btnPrint);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(btnRun);
    // Never shown: while a report runs the run command itself becomes "Przerwij".
    ToolBar1->addWidget(btnStop)->setVisible(false);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(panDB);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(btnFormat);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(btnSettings);
    ToolBar1->addWidget(btnAbout);

    connect(btnLogin, &QToolButton::clicked, this, Guarded([this] { btnLoginClick(); }));
    BuildRunCommand();
    connect(btnNew, &QToolButton::clicked, this, Guarded([this] { btnNewClick(); }));
    connect(btnFormat, &QToolButton::clicked, this, Guarded([this] { btnFormatClick(); }));
    connect(btnPrint, &QToolButton::clicked, this, Guarded([this] {
                if (FPrint && btnPrint->isEnabled())
                    FPrint->Execute();
            }));
    connect(btnSettings, &QToolButton::clicked, this, Guarded([this] { btnSettingsClick(); }));
    connect(btnAbout, &QToolButton::clicked, this, Guarded([this] { btnAboutClick(); }));
    // A selection by the user counts as coming from the user, also of the entry already chosen.
    connect(listDB, &QComboBox::activated, this, Guarded([this] { listDBChange(); }));
}

void TF_Main::BuildRunCommand() {
    // The one way a run is asked for: the button, F5 and Ctrl+Enter anywhere in the window, and
    // Enter in a parameter input all come to RunCommand.
    actRun = new QAction(QStringLiteral("Uruchom"), this);
    actRun->setObjectName(QStringLiteral("actRun"));
    actRun->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_Return),
                          QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    actRun->setShortcutContext(Qt::WindowShortcut);
    addAction(actRun);
    btnRun->setToolTip(RunHint(false));
    connect(actRun, &QAction::triggered, this, Guarded([this] { RunCommand(); }));
    // While a report runs the run command is "Przerwij".
    connect(btnRun, &QToolButton::clicked, this, Guarded([this] {
                if (State() == asRunning)
                    btnCancelClick();
                else
                    RunCommand();
            }));
}

QString TF_Main::RunHint(bool cancel) {
    if (cancel)
        return HintWithKeys(QStringLiteral("Przerwij"),
                            QKeySequence(Qt::Key_Escape).toString(QKeySequence::NativeText));
    return HintWithKeys(
        QStringLiteral("Uruchom"),
        QKeySequence(Qt::Key_F5).toString(QKeySequence::NativeText) + QStringLiteral(", ") +
            QKeySequence(Qt::CTRL | Qt::Key_Return).toString(QKeySequence::NativeText));
}

void TF_Main::BuildShortcuts() {
    const auto key = [this](QKeyCombination keys, std::function<void()> act) {
        auto *shortcut = new QShortcut(QKeySequence(keys), this);
        connect(shortcut, &QShortcut::activated, this, Guarded(std::move(act)));
        return shortcut;
    };
    QShortcut *saveMenu = key(Qt::ALT | Qt::Key_Z, [this] {
        if (btnSave->isEnabled())
            btnSave->showMenu();
    });
    // On an editor's page Alt+Z is the key of that editor's "&Zapisz"; two shortcuts of the same
    // key would cancel each other out.
    connect(tabsRight, &QTabWidget::currentChanged, saveMenu,
            [this, saveMenu] { saveMenu->setEnabled(tabsRight->currentWidget() == tabResult); });
    key(Qt::ALT | Qt::Key_B, [this] {
        if (listDB->isEnabled())
            listDB->setFocus(Qt::ShortcutFocusReason);
    });
    key(Qt::ALT | Qt::Key_R, [this] {
        if (!pages->isEnabled())
            return;
        pages->setCurrentWidget(tree);
        tree->setFocus(Qt::ShortcutFocusReason);
    });
    // Alt+P: the report's first parameter input.
    key(Qt::ALT | Qt::Key_P, [this] {
        for (QWidget *widget : panParams->findChildren<QWidget *>()) {
            if (panTitle->isAncestorOf(widget) || !(widget->focusPolicy() & Qt::TabFocus) ||
                !widget->isVisibleTo(panParams) || !widget->isEnabled())
                continue;
            widget->setFocus(Qt::ShortcutFocusReason);
            return;
        }
    });
    labTitle->setToolTip(
        HintWithKeys(QStringLiteral("Parametry raportu"),
                     QKeySequence(Qt::ALT | Qt::Key_P).toString(QKeySequence::NativeText)));
    pages->setTabToolTip(
        0, HintWithKeys(QStringLiteral("Lista raportów"),
                        QKeySequence(Qt::ALT | Qt::Key_R).toString(QKeySequence::NativeText)));
    // Enter in a parameter input runs the report; an input that uses Enter itself (an open
    // drop-down) keeps it, only what the inputs pass on reaches the panel.
    panParams->installEventFilter(this);
}

void TF_Main::RunCommand() {
    // While a report runs the run button stands for "Przerwij": F5 and Enter start nothing.
    if (State() == asRunning)
        return;
    // A run never silently uses other text than the editors show: unsaved edits are asked about.
    if (btnRun->isEnabled()) {
        const TOrvel_RunChoice choice = FEditors->ConfirmRun();
        if (choice == TOrvel_RunChoice::Cancel)
            return;
        StartRun(choice == TOrvel_RunChoice::SavedFiles);
        return;
    }
    StartRun(false);
}

void TF_Main::StartRun(bool savedFiles) {
    if (State() == asRunning)
        return;
    const bool noDatabase =
        listDB->currentIndex() < 0 && (State() == asReady || State() == asNoDatabase);
    if (!btnRun->isEnabled() && !noDatabase)
        return;
    FRunNote = savedFiles ? QStringLiteral("Uruchomiono zapisaną wersję raportu") : QString();
    btnRunClick();
}

QString TF_Main::WithRunNote(const QString &text) const {
    if (FRunNote.isEmpty())
        return text;
    return text.isEmpty() ? FRunNote : text + QStringLiteral(" – ") + FRunNote;
}

void TF_Main::BuildLeft() {
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    // The width is stored once the user lets the splitter go.
    Splitter1->setOpaqueResize(false);
    setCentralWidget(Splitter1);

    panLeft = new QWidget(Splitter1);
    panLeft->setObjectName(QStringLiteral("panLeft"));
    panLeft->setMinimumWidth(32);
    auto *leftLayout = new QVBoxLayout(panLeft);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    pages = new QTabWidget(panLeft);
    pages->setObjectName(QStringLiteral("pages"));
    pages->setUsesScrollButtons(false);
    pages->setElideMode(Qt::ElideRight);
    // Three captions in the narrow default width of the panel.
    QFont tabFont = pages->tabBar()->font();
    tabFont.setPointSizeF(tabFont.pointSizeF() - 1);
    pages->tabBar()->setFont(tabFont);
    leftLayout->addWidget(pages);

    tree = new QTreeWidget(pages);
    tree->setObjectName(QStringLiteral("tree"));
    tree->setAccessibleName(QStringLiteral("Lista raportów"));
    tree->setHeaderHidden(true);
    tree->setIconSize(QSize(16, 16));
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setItemDelegate(new TreeRowDelegate(tree));
    // The style draws no focus mark on a tree: its frame shows where the keyboard is.
    tree->setStyleSheet(
        QStringLiteral("QTreeWidget:focus { border: 1px solid palette(highlight); }"));
    QPalette treePalette = tree->palette();
    // The selection stays visible when the tree loses the focus.
    treePalette.setColor(QPalette::Inactive, QPalette::Highlight,
                         treePalette.color(QPalette::Active, QPalette::Highlight));
    treePalette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         treePalette.color(QPalette::Active, QPalette::HighlightedText));
    tree->setPalette(treePalette);
    pages->addTab(tree, QStringLiteral("Lista"));

    treereport = new QTreeWidget(pages);
    treereport->setObjectName(QStringLiteral("treereport"));
    treereport->setAccessibleName(QStringLiteral("Informacje o raporcie"));
    treereport->setHeaderHidden(true);
    treereport->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Long lines (a query, a list of values) are not cut: the one column is as wide as its
    // widest line, and the pane scrolls sideways.
    treereport->header()->setStretchLastSection(false);
    treereport->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    treereport->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pages->addTab(treereport, QStringLiteral("Raport"));

    textParams = new QPlainTextEdit(pages);
    textParams->setObjectName(QStringLiteral("textParams"));
    textParams->setAccessibleName(QStringLiteral("Parametry raportu"));
    textParams->setReadOnly(true);
    textParams->setLineWrapMode(QPlainTextEdit::NoWrap);
    textParams->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    textParams->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette paramsPalette = textParams->palette();
    paramsPalette.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xDF));
    textParams->setPalette(paramsPalette);
    pages->addTab(textParams, QStringLiteral("Parametry"));

    connect(tree, &QTreeWidget::itemSelectionChanged, this, Guarded([this] {
                const auto selected = tree->selectedItems();
                treeChange(selected.isEmpty() ? nullptr : selected.first());
            }));
    connect(pages, &QTabWidget::currentChanged, this, [this](int index) {
        FPendingLeftTab = -1; // a tab the user chose himself stays
        RunGuarded([this, index] {
            if (index == 1)
                TabSheet2Show();
            else if (index == 2)
                TabSheet3Show();
        });
    });
    connect(Splitter1, &QSplitter::splitterMoved, this, Guarded([this] { Splitter1Moved(); }));
}

void TF_Main::BuildRight() {
    panRight = new QWidget(Splitter1);
    panRight->setObjectName(QStringLiteral("panRight"));
    panRight->setMinimumWidth(32);
    panRight->installEventFilter(this);
    auto *rightLayout = new QVBoxLayout(panRight);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    tabsRight = new QTabWidget(panRight);
    tabsRight->setObjectName(QStringLiteral("tabsRight"));
    rightLayout->addWidget(tabsRight);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    // "Raport": the parameter panel over the result panel.
    tabResult = new QWidget(tabsRight);
    tabResult->setObjectName(QStringLiteral("tabResult"));
    auto *resultTabLayout = new QVBoxLayout(tabResult);
    resultTabLayout->setContentsMargins(0, 0, 0, 0);
    resultTabLayout->setSpacing(0);

    panParams = new QWidget(tabResult);
    panParams->setObjectName(QStringLiteral("panParams"));
    panParams->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto *paramsLayout = new QVBoxLayout(panParams);
    paramsLayout->setContentsMargins(0, 0, 0, 0);
    paramsLayout->setSpacing(0);
    panTitle = new QFrame(panParams);
    panTitle->setObjectName(QStringLiteral("panTitle"));
    panTitle->setFixedHeight(24);
    auto *titleLayout = new QHBoxLayout(panTitle);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->setSpacing(0);
    labTitle = new QLabel(panTitle);
    labTitle->setObjectName(QStringLiteral("labTitle"));
    labTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    labTitle->setStyleSheet(QString::fromLatin1(kCaptionStyle));
    titleLayout->addWidget(labTitle, 1);
    auto *buttonBox = new QFrame(panTitle);
    buttonBox->setObjectName(QStringLiteral("panParamButtons"));
    buttonBox->setStyleSheet(
        QStringLiteral("#panParamButtons { background: #9CE3FE; border: 1px solid #0098C4; }"
                       " QToolButton { color: #003148; border: none; font-weight: bold; }"
                       " QToolButton:hover { background: #C8F0FF; }"
                       " QToolButton:focus { border: 1px dotted #003148; }"
                       " QToolButton:disabled { color: #6A9AB0; }"));
    auto *buttonLayout = new QHBoxLayout(buttonBox);
    buttonLayout->setContentsMargins(1, 1, 1, 1);
    buttonLayout->setSpacing(0);
    const auto paramButton = [buttonBox, buttonLayout](const char *name, const QString &caption,
                                                       const QString &hint) {
        auto *button = new QToolButton(buttonBox);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(caption);
        button->setToolTip(hint);
        // The letter alone says nothing to a screen reader.
        button->setAccessibleName(hint);
        button->setAutoRaise(true);
        button->setFixedSize(21, 20);
        buttonLayout->addWidget(button);
        return button;
    };
    // The one-letter captions are explained in words by their hints.
    btnLoadDefaultValues =
        paramButton("btnLoadDefaultValues", QStringLiteral("U"),
                    QStringLiteral("Ustaw domyślne wartości parametrów\n"
                                   "Wpisuje w pola wartości zapamiętane przyciskiem „Z”."));
    btnSaveParams =
        paramButton("btnSaveParams", QStringLiteral("Z"),
                    QStringLiteral("Zapamiętaj wartości parametrów\n"
                                   "Zapisuje obecne wartości pól jako domyślne dla tego raportu."));
    btnResetParams = paramButton("btnResetParams", QStringLiteral("W"),
                                 QStringLiteral("Wyczyść wartości parametrów\n"
                                                "Opróżnia wszystkie pola parametrów."));
    titleLayout->addWidget(buttonBox);
    paramsLayout->addWidget(panTitle);
    resultTabLayout->addWidget(panParams);

    panResult = new QWidget(tabResult);
    panResult->setObjectName(QStringLiteral("panResult"));
    auto *resultLayout = new QVBoxLayout(panResult);
    resultLayout->setContentsMargins(0, 0, 0, 0);
    resultLayout->setSpacing(0);
    auto *panInfo = new QFrame(panResult);
    panInfo->setObjectName(QStringLiteral("panInfo"));
    panInfo->setFixedHeight(24);
    auto *infoLayout = new QHBoxLayout(panInfo);
    infoLayout->setContentsMargins(0, 0, 0, 0);
    labInfo = new QLabel(panInfo);
    labInfo->setObjectName(QStringLiteral("labInfo"));
    labInfo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    labInfo->setStyleSheet(QString::fromLatin1(kCaptionStyle));
    infoLayout->addWidget(labInfo);
    resultLayout->addWidget(panInfo);
    gridlist = new TOrvel_ResultGrid(panResult);
    gridlist->setObjectName(QStringLiteral("gridlist"));
    gridlist->setAccessibleName(QStringLiteral("Wynik raportu"));
    TOrvel_RowIndicator::Install(gridlist, 12, gridlist->verticalHeader()->defaultSectionSize());
    resultLayout->addWidget(gridlist, 1);
    labEmpty = new QLabel(QStringLiteral("Raport jest pusty"), panResult);
    labEmpty->setObjectName(QStringLiteral("labEmpty"));
    labEmpty->setAlignment(Qt::AlignCenter);
    resultLayout->addWidget(labEmpty, 1);
    resultTabLayout->addWidget(panResult, 1);
    tabsRight->addTab(tabResult, QStringLiteral("Raport"));

    // The editors with their toolbars; read-only until the state allows writing.
    tabReportSQL = new QWidget(tabsRight);
    tabReportSQL->setObjectName(QStringLiteral("tabReportSQL"));
    tabReportDefinition = new QWidget(tabsRight);
    tabReportDefinition->setObjectName(QStringLiteral("tabReportDefinition"));
    TOrvel_EditorHost host;
    // A report whose definition failed to load is open in the editors under its own files.
    host.ScriptFileName = [this] {
        return FReport && FReport->IsLoaded() ? FReport->GetScriptFileName() : FRepairScriptFile;
    };
    host.DefinitionFileName = [this] {
        return FReport && FReport->IsLoaded() ? FReport->GetDefinitionFileName()
                                              : FRepairDefinitionFile;
    };
    host.Title = [this] { return FShownTitle; };
    host.SetActivityText = [this](const QString &text) { SetActivityText(text); };
    host.ReloadReport = [this] { ReloadReport(); };
    host.AddDefinitionParameter = [this] { miAddDefParameterClick(); };
    host.CanRun = [this] { return btnRun->isEnabled(); };
    host.RunReport = [this](bool savedFiles) { StartRun(savedFiles); };
    host.CanReload = [this] { return State() == asReady && !FTreeChanging && !FDbChanging; };
    FEditors = new TOrvel_ReportEditors(tabReportSQL, tabReportDefinition, host, this);
    barEdit_SQL = FEditors->barEdit_SQL;
    barEdit_DEF = FEditors->barEdit_DEF;
    edReportSQL = FEditors->edReportSQL;
    edReportSQL->setObjectName(QStringLiteral("edReportSQL"));
    edReportSQL->setAccessibleName(QStringLiteral("Zapytanie SQL"));
    edReportDefinition = FEditors->edReportDefinition;
    edReportDefinition->setObjectName(QStringLiteral("edReportDefinition"));
    edReportDefinition->setAccessibleName(QStringLiteral("Definicja"));
    tabsRight->addTab(tabReportSQL, QStringLiteral("Zapytanie SQL"));
    tabsRight->addTab(tabReportDefinition, QStringLiteral("Definicja"));
    FEditors->ServeTabBar(tabsRight);
    // An asterisk after a tab's caption: its text differs from the file.
    connect(edReportSQL, &QsciScintilla::modificationChanged, this, [this](bool modified) {
        UpdateEditorTab(tabReportSQL, QStringLiteral("Zapytanie SQL"), modified);
    });
    connect(edReportDefinition, &QsciScintilla::modificationChanged, this, [this](bool modified) {
        UpdateEditorTab(tabReportDefinition, QStringLiteral("Definicja"), modified);
    });

    connect(btnResetParams, &QToolButton::clicked, this,
            Guarded([this] { btnResetParamsClick(); }));
    connect(btnSaveParams, &QToolButton::clicked, this, Guarded([this] { btnSaveParamsClick(); }));
    connect(btnLoadDefaultValues, &QToolButton::clicked, this,
            Guarded([this] { btnLoadDefaultValuesClick(); }));
    connect(gridlist, &TOrvel_ResultGrid::titleClick, this, [this](int position) {
        RunGuarded([this, position] { gridlistTitleClick(position); });
    });
    connect(gridlist, &TOrvel_ResultGrid::mouseUp, this, Guarded([this] { gridlistMouseUp(); }));
    SetGridVisible(false);
}

void TF_Main::BuildStatusBar() {
    barStatus = new QStatusBar(this);
    barStatus->setObjectName(QStringLiteral("barStatus"));
    setStatusBar(barStatus);
    for (int i = 0; i < 2; ++i) {
        FStatusPanels[i] = new QLabel(barStatus);
        FStatusPanels[i]->setObjectName(QStringLiteral("barStatusPanel%1").arg(i));
    }
    // The connection panel is at least 200 wide and as wide as its text, so that the server and
    // user name show whole.
    FStatusPanels[0]->setMinimumWidth(200);
    FStatusPanels[1]->setMinimumWidth(50);
    barStatus->addWidget(FStatusPanels[0]);
    barStatus->addWidget(FStatusPanels[1], 1);
    barExport = new QProgressBar(barStatus);
    barExport->setObjectName(QStringLiteral("barExport"));
    barExport->setAccessibleName(QStringLiteral("Postęp zapisu"));
    barExport->setTextVisible(true);
    btnStopExport = new QToolButton(barStatus);
    btnStopExport->setObjectName(QStringLiteral("btnStopExport"));
    btnStopExport->setText(QStringLiteral("Przerwij"));
    btnStopExport->setAccessibleName(QStringLiteral("Przerwij"));
    btnStopExport->setToolTip(
        HintWithKeys(QStringLiteral("Przerwij zapis"),
                     QKeySequence(Qt::Key_Escape).toString(QKeySequence::NativeText)));
    // In the status bar only while an export runs, so that they never count in the window's
    // least size.
    barExport->hide();
    btnStopExport->hide();
    connect(btnStopExport, &QToolButton::clicked, this, Guarded([this] { StopExportClick(); }));
}

// ---------------------------------------------------------------------------------------------
// Showing and closing

void TF_Main::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    FormShow();
}

void TF_Main::FormShow() {
    static_cast<TreeRowDelegate *>(tree->itemDelegate())->RowHeight = tree->iconSize().height() + 2;
    // The left tab the user left in front last time ("Lista" at first).
    // Until a report has loaded, the other tabs would show empty panes: "Lista" stands in for
    // them.
    const int leftTab = AppPrefs ? AppPrefs->ReadInteger(kLeftTab, 0) : 0;
    pages->setCurrentIndex(0);
    FPendingLeftTab = leftTab > 0 && leftTab < pages->count() ? leftTab : -1;
    tabsRight->setCurrentIndex(0);
    int width = AppPrefs ? AppPrefs->ReadInteger(kTreeWidth, 200) : 200;
    width = std::max(width, panLeft->minimumWidth());
    const int total = std::max(Splitter1->width(), width + 32 + Splitter1->handleWidth());
    Splitter1->setSizes({width, total - width - Splitter1->handleWidth()});
    SetReportTitle(QStringLiteral("Wybierz raport"));
    labInfo->clear();
    ShowResult(false);
    FParamsAutoSize = true;
    panRightResize();
    // The login dialog opens once the window is on the screen and the event loop runs.
    QTimer::singleShot(0, this, Guarded([this] { btnLoginClick(); }));
}

void TF_Main::closeEvent(QCloseEvent *event) {
    if (State() == asExporting) {
        // As during a run: the window closes once the stopped export has ended.
        event->ignore();
        if (FCloseAfterExport)
            return;
        TOrvel_MessageRequest question;
        question.Owner = this;
        question.Icon = TOrvel_MsgIcon::Question;
        question.Text = QStringLiteral("Wynik jest zapisywany do pliku. Przerwać i zamknąć?");
        question.Buttons = QMessageBox::Yes | QMessageBox::No;
        question.DefaultButton = QMessageBox::No;
        if (ShowMessage(question) != QMessageBox::Yes)
            return;
        if (State() != asExporting) {
            // The export ended while the question was open.
            QTimer::singleShot(0, this, &QWidget::close);
            return;
        }
        FCloseAfterExport = true;
        StopExportClick();
        return;
    }
    if (State() == asRunning) {
        // A run can be stopped: the window closes once it has ended (or its connection has been
        // dropped).
        event->ignore();
        if (FCloseAfterRun)
            return;
        TOrvel_MessageRequest question;
        question.Owner = this;
        question.Icon = TOrvel_MsgIcon::Question;
        question.Text = QStringLiteral("Raport jest wykonywany. Przerwać i zamknąć?");
        question.Buttons = QMessageBox::Yes | QMessageBox::No;
        question.DefaultButton = QMessageBox::No;
        if (ShowMessage(question) != QMessageBox::Yes)
            return;
        if (State() != asRunning) {
            // The run ended while the question was open.
            QTimer::singleShot(0, this, &QWidget::close);
            return;
        }
        FCloseAfterRun = true;
        btnCancelClick();
        return;
    }
    if (!StateAllowsClose(State())) {
        event->ignore();
        PlayExclamation();
        return;
    }
    // Unsaved changes in the editors: saved, dropped on purpose, or the window stays open.
    if (!FEditors->ConfirmDiscard()) {
        event->ignore();
        return;
    }
    StoreWindowState();
    QMainWindow::closeEvent(event);
}

void TF_Main::StoreWindowState() {
    if (!AppPrefs)
        return;
    AppPrefs->WriteInteger(kLeftTab,
                           FPendingLeftTab >= 0 ? FPendingLeftTab : pages->currentIndex());
    StoreWindowPlace(this, kMainPlace); // writes the preferences file
}

void TF_Main::UpdateEditorTab(QWidget *tab, const QString &caption, bool modified) {
    const int index = tabsRight->indexOf(tab);
    if (index >= 0)
        tabsRight->setTabText(index, modified ? caption + u'*' : caption);
}

bool TF_Main::eventFilter(QObject *watched, QEvent *event) {
    if (watched == panRight && event->type() == QEvent::Resize)
        panRightResize();
    if (watched == panParams && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (IsEnterKey(key) && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            RunGuarded([this] { RunCommand(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// States

TOrvel_AppState TF_Main::State() const {
    return FStateMachine->State();
}

void TF_Main::SetAppState(TOrvel_AppState state) {
    FStateMachine->SetAppState(state);
    FEditors->UpdateCommands(FReport && FReport->IsLoaded());
}

void TF_Main::EnableWorkArea(bool enable) {
    FStateMachine->EnableWorkArea(enable);
    FEditors->UpdateCommands(FReport && FReport->IsLoaded());
}

// ---------------------------------------------------------------------------------------------
// Window operations

void TF_Main::SetReportTitle(const QString &text) {
    labTitle->setText(u' ' + text);
}

void TF_Main::SetResultInfo(const QString &text) {
    labInfo->setText(u' ' + text);
}

void TF_Main::SetActivityText(const QString &text) {
    FStatusPanels[1]->setText(text);
}

QString TF_Main::StatusText(int panel) const {
    return panel == 0 || panel == 1 ? FStatusPanels[panel]->text() : QString();
}

void TF_Main::SetConnectionText(const QString &text) {
    FStatusPanels[0]->setText(text);
    FStatusPanels[0]->repaint();
}

QStringList TF_Main::DatabaseList() const {
    QStringList list;
    for (int i = 0; i < listDB->count(); ++i)
        list.append(listDB->itemText(i));
    return list;
}

void TF_Main::SetDatabaseList(const QStringList &databases) {
    FCurrentDatabase.clear();
    listDB->clear();
    listDB->addItems(databases);
    listDB->setCurrentIndex(-1);
}

QString TF_Main::ResultCaption() const {
    return labEmpty->isHidden() ? QString() : labEmpty->text();
}

void TF_Main::SetGridVisible(bool visible) {
    gridlist->setVisible(visible);
    labEmpty->setVisible(!visible);
}

void TF_Main::ShowResult(bool visible) {
    if (visible) {
        // The grid is laid out in the result panel first: the width limit of the fitting is the
        // grid's real width, not the size it had while hidden.
        SetGridVisible(true);
        if (QLayout *layout = panResult->layout())
            layout->activate();
        // The stored settings first; every column whose width the user did not choose is then
        // fitted to the whole result, on each run, and finally kept within the grid.
        if (FReport)
            FReport->ApplyColumns(gridlist->Columns());
        gridlist->FitColumnsToContent();
        gridlist->FitColumnWidths(true);
        gridlist->ClearSortMark();
        // A shown result always has a current row, the first one to begin with; nothing is
        // selected by it.
        if (!gridlist->currentIndex().isValid() && gridlist->model()->rowCount() > 0) {
            const int first = gridlist->horizontalHeader()->logicalIndex(0);
            gridlist->selectionModel()->setCurrentIndex(gridlist->model()->index(0, first),
                                                        QItemSelectionModel::NoUpdate);
        }
        gridlist->repaint();
    } else {
        SetGridVisible(false);
    }
}

void TF_Main::ResetReport(bool clearTree) {
    ShowResult(false);
    if (clearTree) {
        treereport->clear();
        tree->clearSelection();
        tree->setCurrentItem(nullptr);
    }
    if (FReport)
        FReport->ClearReport();
    FEditors->Clear();
    FShownTitle.clear();
    FRepairDefinitionFile.clear();
    FRepairScriptFile.clear();
    if (clearTree)
        FShownIndex = -1;
    SetReportTitle(QStringLiteral("Wybierz raport"));
    SetResultInfo(QStringLiteral("Wynik"));
}

void TF_Main::SelectReport(const TOrvel_ReportItem &entry) {
    SetAppState(asLoading);
    ResetReport(false);
    SetResultInfo(QStringLiteral("Wynik"));
    SetReportTitle(entry.DisplayName);
    // The parameter panel's own caption is the title bar above; it holds no text of its own.
    if (entry.IsGroup) {
        SetAppState(asNotLoaded);
        return;
    }
    SetAppState(asLoading);
    FShownTitle = entry.DisplayName;
    bool loaded = false;
    QString loadError;
    try {
        loaded = FReport && FReport->LoadReport(entry.DefinitionFile, entry.DisplayName);
    } catch (const EOrvelError &error) {
        loadError = error.message();
    } catch (...) {
        // The window stays usable: the report counts as not loaded, the error is shown by the
        // caller's general error message.
        SetAppState(asNotLoaded);
        throw;
    }
    if (loaded) {
        FEditors->ShowReport(FReport->GetScriptText(), FReport->GetScriptFileName(),
                             FReport->GetDefinitionText());
        SetAppState(asReady);
        if (FPendingLeftTab >= 0)
            pages->setCurrentIndex(std::exchange(FPendingLeftTab, -1));
        // A fault that does not stop the report loading still wants mending.
        if (const QString notice = FReport->LoadNotice(); !notice.isEmpty())
            SetActivityText(notice);
    } else if (FReport && OpenForRepair(entry, loadError)) {
        // The author repairs the files in the editors; nothing runs until the definition loads.
    } else {
        SetAppState(asNotLoaded);
        // Removed since the list was made: say which file is gone.
        if (!QFileInfo::exists(entry.DefinitionFile))
            SetActivityText(StateStatusText(asNotLoaded) + QStringLiteral(" Brak pliku: ") +
                            entry.DefinitionFile);
    }
}

namespace {

// A definition file's text as written, for an editor: in the encoding its declaration names,
// else UTF-8, else Windows-1250.
QString DefinitionFileText(const QByteArray &bytes) {
    const QString declared = DeclaredXmlEncoding(QString::fromLatin1(bytes.left(512)));
    if (!declared.isEmpty() && declared.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) != 0) {
        QStringDecoder decoder(declared.toLatin1().constData());
        if (decoder.isValid()) {
            const QString text = decoder.decode(bytes);
            if (!decoder.hasError())
                return text;
        }
    }
    return IsValidUtf8(bytes) ? QString::fromUtf8(bytes) : DecodeWindows1250(bytes);
}

} // namespace

bool TF_Main::OpenForRepair(const TOrvel_ReportItem &entry, const QString &loadError) {
    QFile file(entry.DefinitionFile);
    if (!QFileInfo(entry.DefinitionFile).isFile() || !file.open(QIODevice::ReadOnly))
        return false; // nothing there to repair
    const QByteArray bytes = file.readAll();
    // The script named by the definition when it can be read that far, else NAME.sql.
    QString scriptFile;
    TOrvel_XML_util doc;
    if (doc.LoadFromFile(entry.DefinitionFile))
        scriptFile = TrimText(doc.GetValue(QStringLiteral("query")));
    if (scriptFile.isEmpty())
        scriptFile = ScriptFileName(entry.DefinitionFile);
    const TOrvel_ScriptFile script = ReadScriptFile(scriptFile);

    FRepairDefinitionFile = entry.DefinitionFile;
    FRepairScriptFile = scriptFile;
    FEditors->ShowReport(script.Text, script.Exists ? scriptFile : QString(),
                         DefinitionFileText(bytes));
    // Ready with no report loaded: the editors are writable, the run is not.
    SetAppState(asReady);
    const TOrvel_DefinitionCheck check = CheckDefinition(bytes);
    QString reason = check.Ok ? loadError : check.Reason;
    if (!check.Ok && check.Line > 0)
        reason += QStringLiteral(" (wiersz %1)").arg(check.Line);
    SetActivityText(QStringLiteral("Raport nie został załadowany, popraw definicję: ") + reason);
    return true;
}

void TF_Main::ReloadReport() {
    // A saved editor reloads its report once the export of the current result has ended.
    if (State() == asExporting) {
        FReloadAfterExport = true;
        return;
    }
    // Selecting the node already selected fires nothing: load it explicitly.
    const auto selected = tree->selectedItems();
    if (selected.isEmpty() || FTreeChanging)
        return;
    const QScopedValueRollback<bool> busy(FTreeChanging, true);
    // The author goes on typing where the focus was (the editor that was not saved, say).
    FocusKeeper keepFocus(this);
    // The values the user set in the panel outlive the reload (after a save in the editors):
    // each goes back to the parameter of the same name and type, if the definition still has one.
    std::vector<TOrvel_ParamValue> values;
    if (FReport && FReport->IsLoaded())
        values = FReport->CurrentValues();
    tree->setCurrentItem(selected.first());
    LoadNode(selected.first());
    if (FReport && FReport->IsLoaded() && !values.empty())
        FReport->RestoreValues(values);
}

void TF_Main::LoadNode(QTreeWidgetItem *node) {
    FShownIndex = node ? ReportIndexOf(node) : -1;
    if (node)
        SelectReport(FReports->GetItem(FShownIndex));
}

void TF_Main::RebuildReportList() {
    ResetReport(true);
    SetActivityText(QStringLiteral("Tworzenie listy raportów..."));
    FReports->Reload();
    FTreeChanging = true; // filling the tree selects nothing worth loading
    FillReportTree(tree, *FReports, UiIcon(QStringLiteral("folder")), [] {
        QIcon icon(UiPicture(QStringLiteral("report")));
        icon.addPixmap(UiPicture(QStringLiteral("report-selected")), QIcon::Selected);
        return icon;
    }());
    FTreeChanging = false;
    SetActivityText(QStringLiteral("OK"));
}

void TF_Main::ShowExecTime(bool final) {
    const auto elapsed = static_cast<std::int32_t>(TickCount() - FRunStartTick);
    const QString time = FormatElapsedTime(elapsed);
    // A run of the files on disk, not of the editors' unsaved text, says so all the time.
    if (!final) {
        // The rows counted by the fetch as they arrive.
        const qint64 rows = conn1->RowsFetched();
        SetActivityText(WithRunNote(QStringLiteral("Wykonywanie... czas: ") + time +
                                    (rows > 0 ? QStringLiteral(", pobrano ") + RowsText(rows)
                                              : QString())));
    } else
        SetActivityText(WithRunNote(QStringLiteral("OK, czas generowania raportu: ") + time));
    QCoreApplication::processEvents();
}

int TF_Main::NextWarningCount(const QString &key) {
    const int count = FWarningCounts.value(key, 0);
    FWarningCounts.insert(key, count + 1);
    return count;
}

// ---------------------------------------------------------------------------------------------
// Services for the report object

bool TF_Main::SelectDefaultDatabase(const QString &database, const QString &definitionFile) {
    const QString wanted = AsciiLower(database);
    for (int i = 0; i < listDB->count(); ++i) {
        if (AsciiLower(listDB->itemText(i)) == wanted) {
            listDB->setCurrentIndex(i);
            SelectDatabase(false);
            return true;
        }
    }
    if (NextWarningCount(QStringLiteral("BaseNotAvailable_") + definitionFile) == 0)
        ShowMessage(this, TOrvel_MsgIcon::Warning, QStringLiteral("Informacja"),
                    QStringLiteral("Domyślna baza \"") + wanted +
                        QStringLiteral("\" dla raportu, nie jest dostępna"));
    return false;
}

void TF_Main::OnParamValueChanged(const QString &name, const QString &sqlValue) {
    if (!FReport)
        return;
    FReport->UpdateInfoValue(treereport, name, sqlValue);
    textParams->setPlainText(FReport->GetParamsText());
}

void TF_Main::OnRunFinished() {
    ExecTime->stop();
    CancelWait->stop();
    FCancelling = false;
    if (FCloseAfterRun) {
        FCloseAfterRun = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
    if (FReport && FReport->WasCancelled()) {
        // As after a failed run, without an error box: the user asked for it.
        const auto elapsed = static_cast<std::int32_t>(TickCount() - FRunStartTick);
        SetAppState(asReady);
        SetActivityText(
            WithRunNote(QStringLiteral("Przerwano, czas: ") + FormatElapsedTime(elapsed)));
        FRunNote.clear();
        return;
    }
    const QString error = FReport ? FReport->ErrorText() : QString();
    if (!error.isEmpty())
        ShowMessage(this, TOrvel_MsgIcon::Error, QString(), error);
    SetAppState(asReady);
    if (FReport && FReport->HasRecords()) {
        ShowExecTime(true);
        SetResultInfo(ResultCountCaption(FReport->RecordCount()));
    } else {
        SetActivityText(WithRunNote(StatusText(1)));
    }
    FRunNote.clear();
    // The user goes on where the run was asked for (a parameter input, the tree).
    FocusKeeper::RestoreFocus(FRunFocus);
    FRunFocus = nullptr;
    if (error.isEmpty())
        PlayExclamation();
}

// ---------------------------------------------------------------------------------------------
// Commands

void TF_Main::treeChange(QTreeWidgetItem *node) {
    if (FTreeChanging)
        return;
    // Cleared on every path, so an error while loading never leaves the tree dead.
    const QScopedValueRollback<bool> busy(FTreeChanging, true);
    if (node && !FEditors->ConfirmDiscard()) {
        // Anuluj (or a failed save): the selection goes back to the report in the editors.
        QTreeWidgetItem *shown = FShownIndex >= 0 ? FindReportItem(tree, FShownIndex) : nullptr;
        if (shown)
            tree->setCurrentItem(shown);
        else
            tree->clearSelection();
        return;
    }
    // Browsing the tree with the arrow keys goes on from the chosen node.
    FocusKeeper keepFocus(this);
    LoadNode(node);
}

void TF_Main::listDBChange() {
    SelectDatabase(true);
}

void TF_Main::SelectDatabase(bool fromUser) {
    if (FDbChanging)
        return;
    const QScopedValueRollback<bool> busy(FDbChanging, true);
    // A database chosen by hand drops the report: its unsaved changes are asked about first, and
    // Anuluj puts the list back.
    if (fromUser && !FEditors->ConfirmDiscard()) {
        listDB->setCurrentIndex(FCurrentDatabase.isEmpty() ? -1
                                                           : listDB->findText(FCurrentDatabase));
        return;
    }
    // A database chosen with the keyboard leaves the focus in the list.
    FocusKeeper keepFocus(this);
    SetAppState(asChangingDatabase);
    if (FReport && FReport->ResultQuery() && FReport->ResultQuery()->IsOpen())
        FReport->ResultQuery()->Close();
    if (listDB->currentIndex() < 0) {
        SetAppState(asNoDatabase);
        return;
    }
    if (UseDatabase(*conn1, listDB->currentText())) {
        FCurrentDatabase = listDB->currentText();
        if (fromUser)
            ResetReport(true);
        SetAppState(asReady);
    } else {
        SetAppState(asNoDatabase);
    }
}

void TF_Main::btnLoginClick() {
    if (!FLogin)
        return;
    // A new login rebuilds the report tree and drops the report.
    if (!FEditors->ConfirmDiscard())
        return;
    if (!FLogin->ShowModal())
        return;
    if (FLogin->Connect(*this)) {
        RebuildReportList();
        // The next step is choosing a database.
        if (listDB->isEnabled())
            listDB->setFocus(Qt::OtherFocusReason);
        return;
    }
    // Nothing of the former connection is left to show: neither its last run's time nor the
    // caption of its result.
    ResetReport(true);
    SetActivityText(QString());
}

void TF_Main::btnRunClick() {
    // Without a database the report would run against the server's default one and fail on
    // its first table.
    if (listDB->currentIndex() < 0) {
        SetActivityText(QStringLiteral("Wybierz bazę danych"));
        return;
    }
    // A refusal for the inputs comes before the window leaves its ready state.
    if (FReport && !FReport->InputsRunnable())
        return;
    FRunFocus = focusWidget();
    SetResultInfo(QStringLiteral("Wynik"));
    SetAppState(asRunning);
    SetActivityText(WithRunNote(StatusText(1)));
    FRunStartTick = TickCount();
    FRunStartTime = QDateTime::currentDateTime();
    ExecTime->start();
    bool started = false;
    try {
        started = FReport && FReport->Run();
    } catch (...) {
        FRunNote.clear();
        SetAppState(asReady);
        ExecTime->stop();
        SetActivityText(QStringLiteral("OK"));
        throw;
    }
    if (started)
        return;
    FRunNote.clear();
    SetAppState(asReady);
    ExecTime->stop();
    SetActivityText(QStringLiteral("OK"));
}

void TF_Main::btnCancelClick() {
    if (State() != asRunning || FCancelling || !FReport)
        return;
    FCancelling = true;
    SetActivityText(QStringLiteral("Przerywanie…"));
    CancelWait->start();
    FReport->CancelRun();
}

void TF_Main::CancelTimedOut() {
    if (State() != asRunning || !FCancelling)
        return;
    TOrvel_MessageRequest question;
    question.Owner = this;
    question.Icon = TOrvel_MsgIcon::Warning;
    question.Text = QStringLiteral("Serwer nie odpowiedział na przerwanie raportu w ciągu 10 "
                                   "sekund.\nZerwać połączenie? Trzeba będzie zalogować się "
                                   "ponownie.");
    question.Buttons = QMessageBox::Yes | QMessageBox::No;
    question.DefaultButton = QMessageBox::No;
    const QMessageBox::StandardButton answer = ShowMessage(question);
    if (State() != asRunning || !FCancelling)
        return; // the run ended while the question was open
    if (answer == QMessageBox::Yes)
        DropConnection();
    else
        CancelWait->start(); // asked again if the server still keeps silent
}

void TF_Main::DropConnection() {
    CancelWait->stop();
    conn1->Close();
    if (FReport)
        FReport->AbandonRun(); // ends the run as cancelled (OnRunFinished) before it returns
    FCancelling = false;
    ResetReport(true);
    SetDatabaseList(QStringList());
    SetAppState(asNotConnected);
}

void TF_Main::ExecTimeTimer() {
    // "Przerywanie…" stays until the run has ended.
    if (State() == asRunning && !FCancelling)
        ShowExecTime(false);
}

void TF_Main::ExportStarted(const QString &file, int total) {
    FExportFile = QFileInfo(file).fileName();
    SetAppState(asExporting);
    barExport->setRange(0, std::max(total, 1));
    // As wide as its longest text (all rows written), within bounds.
    ExportProgress(total, total);
    const int textWidth = barExport->fontMetrics().horizontalAdvance(barExport->text());
    barExport->setFixedWidth(std::clamp(textWidth + 24, 160, 520));
    ExportProgress(0, total);
    barStatus->addPermanentWidget(barExport);
    barStatus->addPermanentWidget(btnStopExport);
    barExport->show();
    btnStopExport->setEnabled(true);
    btnStopExport->show();
}

void TF_Main::ExportProgress(int written, int total) {
    const QString pattern = QStringLiteral("#,##0");
    barExport->setMaximum(std::max(total, 1));
    barExport->setValue(std::min(written, std::max(total, 1)));
    // "350 000 z 1 000 000 wierszy: wynik.xlsx"
    const TOrvel_FormatSettings &fs = UserFormatSettings();
    barExport->setFormat(
        QStringLiteral("%1 z %2 %3: %4")
            .arg(FormatFloat(pattern, written, fs), FormatFloat(pattern, total, fs),
                 total == 1 ? QStringLiteral("wiersza") : QStringLiteral("wierszy"), FExportFile));
}

void TF_Main::ExportEnded() {
    barStatus->removeWidget(barExport);
    barStatus->removeWidget(btnStopExport);
    barExport->hide();
    btnStopExport->hide();
    SetAppState(asReady);
    if (FCloseAfterExport) {
        FCloseAfterExport = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
    if (std::exchange(FLayoutAfterExport, false))
        gridlistMouseUp();
    if (std::exchange(FReloadAfterExport, false))
        ReloadReport();
}

void TF_Main::StopExportClick() {
    if (State() != asExporting || !FExport->IsExporting())
        return;
    btnStopExport->setEnabled(false);
    SetActivityText(QStringLiteral("Przerywanie zapisu…"));
    FExport->StopExport();
}

void TF_Main::TabSheet2Show() {
    if (!FReport)
        return;
    FReport->ShowInfo(treereport);
    textParams->setPlainText(FReport->GetParamsText());
}

void TF_Main::TabSheet3Show() {
    if (FReport)
        textParams->setPlainText(FReport->GetParamsText());
}

void TF_Main::btnResetParamsClick() {
    if (!FReport)
        return;
    FReport->ResetValues();
    SetActivityText(QStringLiteral("Wyczyszczono wartości parametrów"));
}

void TF_Main::btnSaveParamsClick() {
    if (!FReport)
        return;
    FReport->SaveValues();
    SetActivityText(QStringLiteral("Zapisano wartości parametrów"));
}

void TF_Main::btnLoadDefaultValuesClick() {
    if (!FReport)
        return;
    FReport->LoadDefaultValues();
    SetActivityText(QStringLiteral("Ustawiono domyślne wartości parametrów"));
}

void TF_Main::Splitter1Moved() {
    if (!AppPrefs)
        return;
    AppPrefs->WriteInteger(kTreeWidth, panLeft->width());
    AppPrefs->SaveFile();
}

void TF_Main::panRightResize() {
    // From the first showing on the parameter panel sizes itself to its rows.
    if (!FParamsAutoSize)
        panParams->setFixedHeight(panRight->height() / 2);
    else if (panParams->minimumHeight() == panParams->maximumHeight()) {
        panParams->setMinimumHeight(0);
        panParams->setMaximumHeight(QWIDGETSIZE_MAX);
    }
}

void TF_Main::gridlistTitleClick(int position) {
    // The order of the rows is what an export is writing.
    if (!FReport || !StateCommands(State(), FReport->IsLoaded(), FReport->HasRecords()).Sort)
        return;
    FReport->SortByColumn(gridlist->Columns(), position);
    gridlist->SetSortMark(FReport->SortColumn(), FReport->SortAscending());
}

void TF_Main::gridlistMouseUp() {
    // The columns an export reads stay as they are until it has ended.
    if (State() == asExporting) {
        FLayoutAfterExport = true;
        return;
    }
    if (FReport && FReport->HasRecords())
        StoreColumnLayout(*FReport->ColumnSettings(), gridlist->Columns(), gridlist);
}

void TF_Main::CreateDialogs() {
    F_About = new TF_About(this);
    F_ResultFormat = new TF_ResultFormat(this);
    F_AddDefParam = new TF_AddDefParam(this);
    F_NewReport = new TF_NewReport(this);
    F_NewReport->BeforeCreate = [this] { return FEditors->ConfirmDiscard(); };
    F_NewReport->OnReportCreated = [this](const QString &definitionFile) {
        RunGuarded([this, &definitionFile] {
            tabsRight->setCurrentWidget(tabResult);
            RebuildReportList();
            const TOrvel_ReportNode *node = FReports->FindNode(definitionFile);
            if (QTreeWidgetItem *item = node ? FindReportItem(tree, node->Index) : nullptr)
                tree->setCurrentItem(item); // loads the new report
        });
    };
    F_Settings = new TF_Settings(this);
}

void TF_Main::btnNewClick() {
    if (F_NewReport)
        F_NewReport->exec();
}

void TF_Main::btnFormatClick() {
    if (F_ResultFormat && FReport && FReport->HasRecords())
        F_ResultFormat->ShowResultFormat(FReport->ColumnSettings(), &gridlist->Columns(), gridlist);
}

void TF_Main::btnSettingsClick() {
    if (F_Settings)
        F_Settings->exec();
}

void TF_Main::btnAboutClick() {
    if (F_About)
        F_About->exec();
}

void TF_Main::miAddDefParameterClick() {
    if (!F_AddDefParam || !FReport)
        return;
    F_AddDefParam->SetTarget(TOrvel_AddParamTarget::ForEditors(
        FEditors,
        [this](const TOrvel_ParamData &param) { return FReport->AddDefinitionItem(param); },
        [this] { return FReport->GetDefinitionText(); },
        [this](const QString &query) { return FReport->ListQueryColumns(query); }));
    F_AddDefParam->exec();
}
