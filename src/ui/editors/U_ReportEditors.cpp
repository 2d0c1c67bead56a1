#include "U_ReportEditors.h"

#include "U_Application.h"
#include "U_DefinitionCheck.h"
#include "U_EditorFiles.h"
#include "U_FindBar.h"
#include "U_MessageBox.h"
#include "U_ReportFileWatch.h"
#include "U_ReportFiles.h"
#include "U_SafeFile.h"
#include "U_SqlEditor.h"
#include "U_XML_util.h"
#include "U_XmlEditor.h"
#include "U_error.h"
#include "U_utils.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The script's marker line, where the parameter assignments go when the report runs.
const QString MarkerLine = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]");

TOrvel_SaveFileChooser &InstalledChooser() {
    static TOrvel_SaveFileChooser chooser;
    return chooser;
}

QString AskForFile(QWidget *owner, const TOrvel_SaveEditRequest &request) {
    if (const TOrvel_SaveFileChooser &chooser = InstalledChooser())
        return chooser(owner, request);
    QFileDialog dialog(owner, request.Title, request.Folder, request.Filter);
    dialog.setObjectName(QStringLiteral("dlgSaveEdit"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.DefaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setSizeGripEnabled(true);
    dialog.selectFile(request.ProposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

// The pause after saving, during which the window keeps painting.
void Pause(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

QToolBar *NewToolBar(QWidget *tab, const QString &name) {
    auto *bar = new QToolBar(tab);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return bar;
}

QToolButton *NewButton(QToolBar *bar, const QString &name, const QString &caption,
                       const QString &hint, QStyle::StandardPixmap picture) {
    auto *button = new QToolButton(bar);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setIcon(bar->style()->standardIcon(picture));
    button->setToolTip(hint);
    if (!caption.isEmpty()) {
        button->setText(caption);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    } else {
        button->setAccessibleName(hint); // a picture only
    }
    bar->addWidget(button);
    return button;
}

QString SanitizedFileStem(const QString &title) {
    // The proposed name is the title without an extension.
    return QFileInfo(title).completeBaseName().isEmpty() ? title
                                                         : QFileInfo(title).completeBaseName();
}

} // namespace

TOrvel_SaveFileChooser SetSaveFileChooser(TOrvel_SaveFileChooser chooser) {
    TOrvel_SaveFileChooser previous = std::move(InstalledChooser());
    InstalledChooser() = std::move(chooser);
    return previous;
}

TOrvel_ReportEditors::TOrvel_ReportEditors(QWidget *sqlTab, QWidget *definitionTab,
                                           TOrvel_EditorHost host, QObject *parent)
    : QObject(parent), FHost(std::move(host)), FSqlTab(sqlTab), FDefinitionTab(definitionTab),
      FWatch(new TOrvel_ReportFileWatch(this)), FReloadRetry(new QTimer(this)) {
    // "Zapytanie SQL": toolbar over the script editor.
    barEdit_SQL = NewToolBar(sqlTab, QStringLiteral("barEdit_SQL"));
    btnEditSQL_save =
        NewButton(barEdit_SQL, QStringLiteral("btnEditSQL_save"), QStringLiteral("&Zapisz"),
                  QStringLiteral("Zapisz"), QStyle::SP_DialogSaveButton);
    btnEditSQL_saveas = NewButton(barEdit_SQL, QStringLiteral("btnEditSQL_saveas"), QString(),
                                  QStringLiteral("Zapisz jako"), QStyle::SP_DriveFDIcon);
    barEdit_SQL->addSeparator();
    btnEditSQL_undo = NewButton(barEdit_SQL, QStringLiteral("btnEditSQL_undo"), QString(),
                                QStringLiteral("Cofnij"), QStyle::SP_ArrowBack);
    barEdit_SQL->addSeparator();
    btnEditSQL_add = NewButton(barEdit_SQL, QStringLiteral("btnEditSQL_add"), QString(),
                               QStringLiteral("Wstaw"), QStyle::SP_FileDialogDetailedView);
    pmEditorSQL_add = new QMenu(btnEditSQL_add);
    pmEditorSQL_add->setObjectName(QStringLiteral("pmEditorSQL_add"));
    miAddSQLParameters = pmEditorSQL_add->addAction(QStringLiteral("Wstaw linię parametrów"));
    miAddSQLParameters->setObjectName(QStringLiteral("miAddSQLParameters"));
    btnEditSQL_add->setMenu(pmEditorSQL_add);
    btnEditSQL_add->setPopupMode(QToolButton::InstantPopup);
    edReportSQL = new TOrvel_SqlEditor(sqlTab);

    // "Definicja": toolbar over the definition editor.
    barEdit_DEF = NewToolBar(definitionTab, QStringLiteral("barEdit_DEF"));
    btnEditDEF_save =
        NewButton(barEdit_DEF, QStringLiteral("btnEditDEF_save"), QStringLiteral("&Zapisz"),
                  QStringLiteral("Zapisz"), QStyle::SP_DialogSaveButton);
    btnEditDEF_saveas = NewButton(barEdit_DEF, QStringLiteral("btnEditDEF_saveas"), QString(),
                                  QStringLiteral("Zapisz jako"), QStyle::SP_DriveFDIcon);
    barEdit_DEF->addSeparator();
    btnEditDEF_undo = NewButton(barEdit_DEF, QStringLiteral("btnEditDEF_undo"), QString(),
                                QStringLiteral("Cofnij"), QStyle::SP_ArrowBack);
    barEdit_DEF->addSeparator();
    // A menu with a single entry of the button's own name would only cost a second click: the
    // button performs the command itself.
    btnEditDEF_add =
        NewButton(barEdit_DEF, QStringLiteral("btnEditDEF_add"), QStringLiteral("Wstaw parametr"),
                  QStringLiteral("Wstaw"), QStyle::SP_FileDialogDetailedView);
    miAddDefParameter = new QAction(btnEditDEF_add->icon(), QStringLiteral("Wstaw parametr"), this);
    miAddDefParameter->setObjectName(QStringLiteral("miAddDefParameter"));
    miAddDefParameter->setToolTip(QStringLiteral("Wstaw"));
    btnEditDEF_add->setDefaultAction(miAddDefParameter);
    edReportDefinition = new TOrvel_XmlEditor(definitionTab);

    barFind_SQL = new TOrvel_FindBar(edReportSQL, sqlTab);
    barFind_SQL->setObjectName(QStringLiteral("barFind_SQL"));
    barFind_DEF = new TOrvel_FindBar(edReportDefinition, definitionTab);
    barFind_DEF->setObjectName(QStringLiteral("barFind_DEF"));
    for (auto [tab, bar, editor, find] :
         {std::tuple<QWidget *, QToolBar *, QWidget *, QWidget *>{sqlTab, barEdit_SQL, edReportSQL,
                                                                  barFind_SQL},
          {definitionTab, barEdit_DEF, edReportDefinition, barFind_DEF}}) {
        auto *layout = new QVBoxLayout(tab);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(bar);
        layout->addWidget(editor, 1);
        layout->addWidget(find);
    }
    // The keys work in the editor, its toolbar and its find bar, not elsewhere in the window.
    AddShortcuts(sqlTab, Qt::WidgetWithChildrenShortcut, [this] { return edReportSQL; });
    AddShortcuts(definitionTab, Qt::WidgetWithChildrenShortcut,
                 [this] { return edReportDefinition; });
    connect(edReportSQL, &TOrvel_SqlEditor::runRequested, this,
            [this] { RunGuarded([this] { RunRequested(); }); });

    connect(FWatch, &TOrvel_ReportFileWatch::changed, this,
            [this](const QString &file) { RunGuarded([this, &file] { FileChanged(file); }); });
    connect(FWatch, &TOrvel_ReportFileWatch::removed, this,
            [this](const QString &file) { RunGuarded([this, &file] { FileRemoved(file); }); });
    FReloadRetry->setSingleShot(true);
    FReloadRetry->setInterval(300);
    connect(FReloadRetry, &QTimer::timeout, this,
            [this] { RunGuarded([this] { ReloadChangedFiles(); }); });

    auto guarded = [this](void (TOrvel_ReportEditors::*handler)()) {
        return [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); };
    };
    connect(btnEditSQL_save, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditSQL_saveClick));
    connect(btnEditSQL_saveas, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditSQL_saveasClick));
    connect(btnEditSQL_undo, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditSQL_undoClick));
    connect(miAddSQLParameters, &QAction::triggered, this,
            guarded(&TOrvel_ReportEditors::miAddSQLParametersClick));
    connect(btnEditDEF_save, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditDEF_saveClick));
    connect(btnEditDEF_saveas, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditDEF_saveasClick));
    connect(btnEditDEF_undo, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditDEF_undoClick));
    connect(miAddDefParameter, &QAction::triggered, this,
            guarded(&TOrvel_ReportEditors::miAddDefParameterClick));
}

void TOrvel_ReportEditors::AddShortcuts(QWidget *owner, Qt::ShortcutContext context,
                                        std::function<TOrvel_ReportEditor *()> target) {
    const auto add = [this, owner, context, target](const QKeySequence &keys, const char *name,
                                                    auto act) {
        auto *shortcut = new QShortcut(keys, owner);
        shortcut->setObjectName(QLatin1String(name));
        shortcut->setContext(context);
        QObject::connect(shortcut, &QShortcut::activated, this, [this, target, act] {
            if (TOrvel_ReportEditor *editor = target())
                RunGuarded([this, editor, act] { act(this, editor); });
        });
    };
    using Self = TOrvel_ReportEditors;
    using Editor = TOrvel_ReportEditor;
    add(QKeySequence(Qt::CTRL | Qt::Key_S), "scSave",
        [](Self *self, Editor *editor) { self->SaveCommand(editor); });
    add(QKeySequence(Qt::CTRL | Qt::Key_F), "scFind",
        [](Self *self, Editor *editor) { self->FindBarOf(editor)->ShowFind(); });
    add(QKeySequence(Qt::Key_F3), "scFindNext",
        [](Self *self, Editor *editor) { self->FindBarOf(editor)->FindNext(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_H), "scReplace",
        [](Self *self, Editor *editor) { self->FindBarOf(editor)->ShowReplace(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_G), "scGoToLine",
        [](Self *self, Editor *editor) { self->FindBarOf(editor)->ShowGoToLine(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Slash), "scCommentLines", [](Self *self, Editor *editor) {
        if (editor == self->edReportSQL)
            self->edReportSQL->ToggleLineComments();
    });
}

void TOrvel_ReportEditors::ServeTabBar(QTabWidget *tabs) {
    // A click on an editor's tab leaves the focus on the tab bar, outside the editor's page.
    AddShortcuts(tabs->tabBar(), Qt::WidgetShortcut, [this, tabs]() -> TOrvel_ReportEditor * {
        if (tabs->currentWidget() == FSqlTab)
            return edReportSQL;
        if (tabs->currentWidget() == FDefinitionTab)
            return edReportDefinition;
        return nullptr;
    });
    // A click on an editor's tab is where the author goes on writing: the editor takes the
    // focus, wherever it was, so its keys (Ctrl+S first) act on the editor now in front.
    connect(tabs->tabBar(), &QTabBar::tabBarClicked, this, [this, tabs](int index) {
        QWidget *page = tabs->widget(index);
        TOrvel_ReportEditor *editor = nullptr;
        if (page == FSqlTab)
            editor = edReportSQL;
        else if (page == FDefinitionTab)
            editor = edReportDefinition;
        if (editor)
            QMetaObject::invokeMethod(
                editor, [editor] { editor->setFocus(Qt::MouseFocusReason); },
                Qt::QueuedConnection);
    });
}

TOrvel_FindBar *TOrvel_ReportEditors::FindBarOf(TOrvel_ReportEditor *editor) const {
    return editor == edReportSQL ? barFind_SQL : barFind_DEF;
}

void TOrvel_ReportEditors::SaveCommand(TOrvel_ReportEditor *editor) {
    if (editor == edReportSQL)
        btnEditSQL_saveClick();
    else
        btnEditDEF_saveClick();
}

void TOrvel_ReportEditors::ShowReport(const QString &script, const QString &scriptFile,
                                      const QString &definition) {
    // After a save only the saved editor is refilled from the files; the other keeps its edits.
    // A script kept for another file than the one the report now names would be saved there.
    if (!(FKeepScript && edReportSQL->SourceFile() == scriptFile)) {
        edReportSQL->SetScript(script, scriptFile);
        FScriptOutside = Outside::None;
    }
    if (!FKeepDefinition) {
        edReportDefinition->SetEditorText(definition);
        FDefinitionOutside = Outside::None;
    }
    WatchFiles();
}

void TOrvel_ReportEditors::Clear() {
    FWatch->Stop();
    FPendingReloads.clear();
    if (!FKeepScript) {
        edReportSQL->SetScript(QString());
        FScriptOutside = Outside::None;
    }
    if (!FKeepDefinition) {
        edReportDefinition->SetEditorText(QString());
        FDefinitionOutside = Outside::None;
    }
}

void TOrvel_ReportEditors::WatchFiles() {
    FWatch->Watch({ScriptPath(), DefinitionPath()});
}

QString TOrvel_ReportEditors::PathOf(const TOrvel_ReportEditor *editor) const {
    return editor == edReportSQL ? ScriptPath() : DefinitionPath();
}

TOrvel_ReportEditor *TOrvel_ReportEditors::EditorOf(const QString &file) const {
    if (file.isEmpty())
        return nullptr;
    if (file == ScriptPath())
        return edReportSQL;
    if (file == DefinitionPath())
        return edReportDefinition;
    return nullptr;
}

TOrvel_ReportEditors::Outside &TOrvel_ReportEditors::OutsideOf(const TOrvel_ReportEditor *editor) {
    return editor == edReportSQL ? FScriptOutside : FDefinitionOutside;
}

void TOrvel_ReportEditors::FileChanged(const QString &file) {
    TOrvel_ReportEditor *editor = EditorOf(file);
    if (!editor)
        return;
    const QString name = QFileInfo(file).fileName();
    if (editor->isModified()) {
        // The author's edits are not thrown away: the next save asks what to do.
        OutsideOf(editor) = Outside::Changed;
        SetActivity(QStringLiteral("Plik „%1” został zmieniony poza programem; przed zapisem "
                                   "padnie pytanie, czy go zastąpić")
                        .arg(name));
        return;
    }
    if (!FPendingReloads.contains(file))
        FPendingReloads.append(file);
    ReloadChangedFiles();
}

void TOrvel_ReportEditors::ReloadChangedFiles() {
    if (FPendingReloads.isEmpty())
        return;
    // Not in the middle of a run, a load or a dialog: the change is taken once the window is
    // ready again.
    if (QApplication::activeModalWidget() || (FHost.CanReload && !FHost.CanReload())) {
        FReloadRetry->start();
        return;
    }
    QStringList names;
    for (const QString &file : std::as_const(FPendingReloads))
        names.append(QStringLiteral("„%1”").arg(QFileInfo(file).fileName()));
    FPendingReloads.clear();
    Reload();
    SetActivity(QStringLiteral("Plik %1 został zmieniony poza programem i wczytany ponownie")
                    .arg(names.join(QStringLiteral(", "))));
}

void TOrvel_ReportEditors::FileRemoved(const QString &file) {
    TOrvel_ReportEditor *editor = EditorOf(file);
    if (!editor)
        return;
    FPendingReloads.removeAll(file);
    // The editor keeps its text; the file is written anew only when the author says so.
    OutsideOf(editor) = Outside::Removed;
    SetActivity(
        QStringLiteral("Plik „%1” został usunięty poza programem").arg(QFileInfo(file).fileName()));
}

TOrvel_ReportEditors::WriteChoice TOrvel_ReportEditors::ConfirmWrite(TOrvel_ReportEditor *editor) {
    // A change on disk whose notice is still settling would be written over without a word:
    // the files are looked at now, as the notice would a moment later.
    FWatch->Check();
    const Outside outside = OutsideOf(editor);
    if (outside == Outside::None)
        return WriteChoice::Write;
    const QString name = QFileInfo(PathOf(editor)).fileName();
    TOrvel_MessageRequest request;
    request.Owner = editor->window();
    request.Icon = TOrvel_MsgIcon::Question;
    request.Caption = QStringLiteral("Uwaga");
    if (outside == Outside::Changed) {
        request.Text = QStringLiteral("Plik „%1” został zmieniony poza programem.\n\nZastąpić go "
                                      "tekstem z edytora czy wczytać plik ponownie? Wczytanie "
                                      "porzuca niezapisane zmiany w edytorze.")
                           .arg(name);
        request.Buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        request.ButtonTexts = {{QMessageBox::Yes, QStringLiteral("Zastąp")},
                               {QMessageBox::No, QStringLiteral("Wczytaj ponownie")},
                               {QMessageBox::Cancel, QStringLiteral("Anuluj")}};
    } else {
        request.Text = QStringLiteral("Plik „%1” został usunięty poza programem.\n\nZapisać go "
                                      "ponownie z tekstu edytora?")
                           .arg(name);
        request.Buttons = QMessageBox::Yes | QMessageBox::Cancel;
        request.ButtonTexts = {{QMessageBox::Yes, QStringLiteral("Zapisz")},
                               {QMessageBox::Cancel, QStringLiteral("Anuluj")}};
    }
    request.DefaultButton = QMessageBox::Cancel;
    switch (ShowMessage(request)) {
    case QMessageBox::Yes:
        return WriteChoice::Write;
    case QMessageBox::No:
        return outside == Outside::Changed ? WriteChoice::Reload : WriteChoice::Cancel;
    default:
        return WriteChoice::Cancel;
    }
}

void TOrvel_ReportEditors::SaveScriptBeforeItsFileChanges(const QString &definitionFile) {
    // The reload fills the script editor from the file the definition names now: unsaved text
    // of the file it names no longer would be lost without a word.
    const QString shown = edReportSQL->SourceFile();
    if (!edReportSQL->isModified() || shown.isEmpty())
        return;
    TOrvel_XML_util doc;
    TOrvel_ReportDefinition definition;
    try {
        if (!ReadDefinition(doc, definitionFile, definition) || definition.ScriptFile == shown)
            return;
    } catch (const EOrvelError &) {
        return; // the report will not load: the script editor is kept as it is
    }
    TOrvel_MessageRequest request;
    request.Owner = edReportSQL->window();
    request.Icon = TOrvel_MsgIcon::Question;
    request.Caption = QStringLiteral("Uwaga");
    request.Text =
        QStringLiteral("Definicja wskazuje teraz plik skryptu „%1”.\n\nZapisać zmiany "
                       "w skrypcie „%2”, zanim zostanie wczytany nowy plik?")
            .arg(QFileInfo(definition.ScriptFile).fileName(), QFileInfo(shown).fileName());
    request.Buttons = QMessageBox::Save | QMessageBox::Discard;
    request.DefaultButton = QMessageBox::Save;
    request.ButtonTexts = {{QMessageBox::Save, QStringLiteral("Zapisz")},
                           {QMessageBox::Discard, QStringLiteral("Nie zapisuj")}};
    if (ShowMessage(request) == QMessageBox::Save)
        WriteEditor(shown, edReportSQL);
    edReportSQL->setModified(false); // either way the editor shows the new file next
}

void TOrvel_ReportEditors::DropEdits(TOrvel_ReportEditor *editor) {
    // Unmarked, the editor is refilled from its file by the next reload.
    editor->setModified(false);
    OutsideOf(editor) = Outside::None;
}

void TOrvel_ReportEditors::SetWritable(bool writable) {
    edReportSQL->setReadOnly(!writable);
    edReportDefinition->setReadOnly(!writable);
}

void TOrvel_ReportEditors::UpdateCommands(bool reportLoaded) {
    // With no report loaded the add-parameter dialog would have no definition to add to.
    miAddDefParameter->setEnabled(reportLoaded);
    btnEditDEF_add->setEnabled(reportLoaded && btnEditDEF_save->isEnabled());
}

void TOrvel_ReportEditors::SetActivity(const QString &text) {
    if (FHost.SetActivityText)
        FHost.SetActivityText(text);
}

QString TOrvel_ReportEditors::ScriptPath() const {
    return FHost.ScriptFileName ? FHost.ScriptFileName() : QString();
}

QString TOrvel_ReportEditors::DefinitionPath() const {
    return FHost.DefinitionFileName ? FHost.DefinitionFileName() : QString();
}

void TOrvel_ReportEditors::WriteEditor(const QString &path, TOrvel_ReportEditor *editor) {
    SetActivity(QStringLiteral("Zapisywanie..."));
    try {
        SafeWriteFile(path, editor->FileBytes());
    } catch (const EOrvelError &) {
        // The box tells why; the status bar keeps the outcome, not the work in progress.
        SetActivity(QStringLiteral("Nie zapisano pliku „%1”").arg(QFileInfo(path).fileName()));
        throw;
    }
    if (editor == edReportSQL)
        FWroteUtf8 = edReportSQL->Encoding() == TOrvel_TextEncoding::teUtf8;
    RemoveStaleXmlBackup(path);
    ReformatXmlFile(path); // a file the library does not take as XML stays as written
    FWatch->Known(path);
    if (path == PathOf(editor))
        OutsideOf(editor) = Outside::None;
    SetActivity(QStringLiteral("Zapisane"));
}

void TOrvel_ReportEditors::Reload() {
    if (!FHost.ReloadReport)
        return;
    const QScopedValueRollback<bool> keepScript(FKeepScript, edReportSQL->isModified());
    const QScopedValueRollback<bool> keepDefinition(FKeepDefinition,
                                                    edReportDefinition->isModified());
    FHost.ReloadReport();
}

void TOrvel_ReportEditors::ReportScriptEncoding() {
    if (!FWroteUtf8)
        return;
    FWroteUtf8 = false;
    SetActivity(
        QStringLiteral("Skrypt zapisany w UTF-8: zawiera znaki spoza strony kodowej Windows-1250"));
}

bool TOrvel_ReportEditors::SaveEditorToFile(const QString &path, TOrvel_ReportEditor *editor) {
    if (path.isEmpty())
        return false; // no report loaded
    switch (ConfirmWrite(editor)) {
    case WriteChoice::Write:
        break;
    case WriteChoice::Reload:
        DropEdits(editor);
        Reload();
        SetActivity(QStringLiteral("Wczytano ponownie plik „%1”").arg(QFileInfo(path).fileName()));
        return false;
    case WriteChoice::Cancel:
        SetActivity(QStringLiteral("Nie zapisano pliku „%1”").arg(QFileInfo(path).fileName()));
        return false;
    }
    FWroteUtf8 = false;
    WriteEditor(path, editor);
    // The file now holds the editor's text, also when the reload below is not this report's.
    editor->setModified(false);
    if (editor == edReportDefinition)
        SaveScriptBeforeItsFileChanges(path);
    Pause(100);
    Reload();
    ReportScriptEncoding();
    return true;
}

bool TOrvel_ReportEditors::ValidateDefinition() {
    // The text is checked as the bytes a save would write, without a file: a file of the user's
    // that happens to carry the check's name is never overwritten or removed.
    const TOrvel_DefinitionCheck check = CheckDefinition(edReportDefinition->FileBytes());
    if (check.Ok)
        return true;
    QString where;
    if (check.Line > 0 && check.Column > 0)
        where = QStringLiteral("\n(wiersz %1, kolumna %2)").arg(check.Line).arg(check.Column);
    else if (check.Line > 0)
        where = QStringLiteral("\n(wiersz %1)").arg(check.Line);
    ShowMessage(edReportDefinition->window(), TOrvel_MsgIcon::Error,
                QStringLiteral("Błąd walidacji"),
                QStringLiteral("Plik definicji zawiera błędy i nie może być zapisany\n\n") +
                    check.Reason + where);
    if (check.Line > 0)
        edReportDefinition->ShowPosition(check.Line, check.Column);
    return false;
}

bool TOrvel_ReportEditors::IsModified() const {
    return edReportSQL->isModified() || edReportDefinition->isModified();
}

TOrvel_ReportEditors::Answer TOrvel_ReportEditors::AskToSave() {
    TOrvel_MessageRequest request;
    request.Owner = edReportSQL->window();
    request.Icon = TOrvel_MsgIcon::Question;
    request.Caption = QStringLiteral("Uwaga");
    request.Text = QStringLiteral("Zapisać zmiany w raporcie „%1”?")
                       .arg(FHost.Title ? FHost.Title() : QString());
    request.Buttons = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
    request.DefaultButton = QMessageBox::Save;
    request.ButtonTexts = {{QMessageBox::Save, QStringLiteral("Zapisz")},
                           {QMessageBox::Discard, QStringLiteral("Nie zapisuj")},
                           {QMessageBox::Cancel, QStringLiteral("Anuluj")}};
    switch (ShowMessage(request)) {
    case QMessageBox::Save:
        return Answer::Save;
    case QMessageBox::Discard:
        return Answer::Discard;
    default:
        return Answer::Cancel; // also the box closed by Esc or its close button
    }
}

bool TOrvel_ReportEditors::ConfirmDiscard(bool reloadAfterSave) {
    if (!IsModified())
        return true;
    switch (AskToSave()) {
    case Answer::Save:
        return SaveModified(reloadAfterSave);
    case Answer::Discard:
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

bool TOrvel_ReportEditors::SaveModified(bool reload) {
    bool script = edReportSQL->isModified();
    bool definition = edReportDefinition->isModified();
    // Files changed or removed outside are asked about before anything is written.
    const WriteChoice definitionChoice =
        definition ? ConfirmWrite(edReportDefinition) : WriteChoice::Write;
    if (definitionChoice == WriteChoice::Cancel)
        return false;
    const WriteChoice scriptChoice = script ? ConfirmWrite(edReportSQL) : WriteChoice::Write;
    if (scriptChoice == WriteChoice::Cancel)
        return false;
    if (definition && definitionChoice == WriteChoice::Write && !ValidateDefinition())
        return false;
    bool dropped = false;
    for (auto [choice, editor, modified] : {std::tuple<WriteChoice, TOrvel_ReportEditor *, bool *>{
                                                definitionChoice, edReportDefinition, &definition},
                                            {scriptChoice, edReportSQL, &script}}) {
        if (*modified && choice == WriteChoice::Reload) {
            DropEdits(editor);
            *modified = false;
            dropped = true;
        }
    }
    bool written = dropped;
    FWroteUtf8 = false;
    const bool ok = RunGuarded([&] {
        if (definition && !DefinitionPath().isEmpty()) {
            WriteEditor(DefinitionPath(), edReportDefinition);
            edReportDefinition->setModified(false);
            written = true;
        }
        if (script && !ScriptPath().isEmpty()) {
            WriteEditor(ScriptPath(), edReportSQL);
            edReportSQL->setModified(false);
            written = true;
        }
    });
    if (!ok)
        return false; // the error was shown; what was not written keeps its mark
    if (reload && written) {
        Pause(100);
        Reload();
    }
    ReportScriptEncoding();
    return true;
}

bool TOrvel_ReportEditors::SaveDefinition() {
    if (!ValidateDefinition())
        return false;
    const QString path = DefinitionPath();
    if (path.isEmpty())
        return false;
    return SaveEditorToFile(path, edReportDefinition);
}

TOrvel_RunChoice TOrvel_ReportEditors::ConfirmRun() {
    if (!IsModified())
        return TOrvel_RunChoice::Run;
    switch (AskToSave()) {
    case Answer::Save:
        return SaveModified(true) ? TOrvel_RunChoice::Run : TOrvel_RunChoice::Cancel;
    case Answer::Discard:
        return TOrvel_RunChoice::SavedFiles; // the editors keep their text
    case Answer::Cancel:
        break;
    }
    return TOrvel_RunChoice::Cancel;
}

void TOrvel_ReportEditors::RunRequested() {
    if (!FHost.RunReport || (FHost.CanRun && !FHost.CanRun()))
        return;
    const TOrvel_RunChoice choice = ConfirmRun();
    if (choice == TOrvel_RunChoice::Cancel)
        return;
    if (!FHost.CanRun || FHost.CanRun())
        FHost.RunReport(choice == TOrvel_RunChoice::SavedFiles);
}

void TOrvel_ReportEditors::SaveEditorAs(const QString &extension, TOrvel_ReportEditor *editor) {
    const QString upper = AsciiUpper(extension);
    const QString lower = AsciiLower(extension);
    TOrvel_SaveEditRequest request;
    request.Title = QStringLiteral("Zapisz plik ") + upper;
    request.DefaultSuffix = lower;
    request.Filter = QStringLiteral("pliki %1 (*.%2)").arg(upper, lower);
    request.ProposedName = SanitizedFileStem(FHost.Title ? FHost.Title() : QString());
    const QString current =
        editor == edReportSQL ? (FHost.ScriptFileName ? FHost.ScriptFileName() : QString())
                              : (FHost.DefinitionFileName ? FHost.DefinitionFileName() : QString());
    request.Folder = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();

    const QString path = AskForFile(editor->window(), request);
    if (path.isEmpty())
        return;
    WriteEditor(path, editor);
}

void TOrvel_ReportEditors::btnEditSQL_saveClick() {
    SaveEditorToFile(ScriptPath(), edReportSQL);
}

void TOrvel_ReportEditors::btnEditDEF_saveClick() {
    SaveDefinition();
}

void TOrvel_ReportEditors::btnEditSQL_saveasClick() {
    SaveEditorAs(QStringLiteral("sql"), edReportSQL);
}

void TOrvel_ReportEditors::btnEditDEF_saveasClick() {
    SaveEditorAs(QStringLiteral("xml"), edReportDefinition);
}

void TOrvel_ReportEditors::btnEditSQL_undoClick() {
    edReportSQL->undo();
}

void TOrvel_ReportEditors::btnEditDEF_undoClick() {
    edReportDefinition->undo();
}

void TOrvel_ReportEditors::miAddSQLParametersClick() {
    if (edReportSQL->isReadOnly())
        return;
    edReportSQL->InsertMarkerLine(MarkerLine);
}

void TOrvel_ReportEditors::miAddDefParameterClick() {
    if (miAddDefParameter->isEnabled() && FHost.AddDefinitionParameter)
        FHost.AddDefinitionParameter();
}
