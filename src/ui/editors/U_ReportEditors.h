#pragma once
// The two report editors with their toolbars, laid into the main window's tabs "Zapytanie SQL" and
// "Definicja", and their commands: save (the definition only when well-formed, then the report is
// reloaded), save under another name, undo, the marker line and the parameter entry.
//
// Usage (the main window):
//   TOrvel_EditorHost host; host.ScriptFileName = ...; ...          // see TOrvel_EditorHost
//   FEditors = new TOrvel_ReportEditors(tabReportSQL, tabReportDefinition, host, this);
//   FEditors->ShowReport(script, scriptFile, definitionText);        // after a report loads
//   FEditors->Clear();                                               // when it is dropped
//   FEditors->SetWritable(enable && state == asReady);
//   if (FEditors->ConfirmDiscard()) ...replace or drop the report...   // unsaved changes asked
//
// An editor whose text differs from its file is modified (QsciScintilla::isModified); saving or
// refilling it clears that. Reloading the report after one editor was saved leaves the other
// editor as it was: its unsaved text, its undo history and its mark.
//
// The open report's files are watched: a file changed outside the program is loaded again when
// its editor holds no unsaved edit; otherwise the next save of that editor asks whether to
// overwrite the file or load it again. A file removed outside is reported, and a save asks
// before it writes the file anew.
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QTimer;
class QMenu;
class QToolBar;
class QToolButton;
class QWidget;
class TOrvel_ReportEditor;
class TOrvel_SqlEditor;
class TOrvel_XmlEditor;
class TOrvel_FindBar;
class TOrvel_ReportFileWatch;
class QTabWidget;

// What the editors need of the main window and the report object.
struct TOrvel_EditorHost {
    std::function<QString()> ScriptFileName;     // "" when no report is loaded
    std::function<QString()> DefinitionFileName; // "" when no report is loaded
    std::function<QString()> Title;              // the report's title
    std::function<void(const QString &)> SetActivityText;
    // Runs the report tree's selection handler for the node selected now (if any), which loads
    // the report again from its files and refills the editors (but those kept, see ShowReport).
    std::function<void()> ReloadReport;
    // The report may be loaded again now (the window is ready, no dialog is open).
    std::function<bool()> CanReload;
    // "Wstaw parametr": opens the add-parameter dialog.
    std::function<void()> AddDefinitionParameter;
    // F5 or Ctrl+Enter in the script editor, once unsaved changes have been asked about: runs
    // the report as the run button does. `savedFiles`: the editors hold unsaved text that the
    // user chose not to save, so the run uses the files on disk.
    std::function<void(bool savedFiles)> RunReport;
    std::function<bool()> CanRun; // the run command is available now
};

// The save-as question: returns the chosen file, "" when the user cancelled. Tests replace it.
struct TOrvel_SaveEditRequest {
    QString Title;         // "Zapisz plik SQL"
    QString DefaultSuffix; // "sql"
    QString Filter;        // "pliki SQL (*.sql)"
    QString ProposedName;  // the report's title
    QString Folder;        // where the dialog starts
};
using TOrvel_SaveFileChooser =
    std::function<QString(QWidget *owner, const TOrvel_SaveEditRequest &request)>;
// Installs a chooser in place of the file dialog (empty: the dialog again); returns the old one.
TOrvel_SaveFileChooser SetSaveFileChooser(TOrvel_SaveFileChooser chooser);

// What a run command goes on with once unsaved editor text has been asked about.
enum class TOrvel_RunChoice {
    Run,        // nothing unsaved, or saved now: the run uses what the editors show
    SavedFiles, // "Nie zapisuj": the run uses the files on disk, not the editors' text
    Cancel      // "Anuluj", or the save failed: nothing runs
};

class TOrvel_ReportEditors : public QObject {
    Q_OBJECT
public:
    TOrvel_ReportEditors(QWidget *sqlTab, QWidget *definitionTab, TOrvel_EditorHost host,
                         QObject *parent = nullptr);

    // Fills the editors with a loaded report; the script file's encoding is kept for writing.
    // While the report is reloaded after a save (or an outside change), an editor with unsaved
    // changes is kept as it is; the report's files are watched from here on.
    void ShowReport(const QString &script, const QString &scriptFile, const QString &definition);
    // Empties the editors (but those kept while reloading) and stops watching the files.
    void Clear();
    // The editors' keys also work on the tab bar of the tabs that hold the editors' pages, for
    // the editor whose page is in front.
    void ServeTabBar(QTabWidget *tabs);
    void SetWritable(bool writable);

    // Writes an editor to a file and reloads the report; nothing happens for an empty path.
    // A file changed or removed outside the program is asked about first. True when written.
    // A write failure raises EOrvelError (the file keeps its old content, the editor its text).
    bool SaveEditorToFile(const QString &path, TOrvel_ReportEditor *editor);
    // Asks for a file (extension "sql" or "xml") and writes the editor to it; no check, no reload.
    void SaveEditorAs(const QString &extension, TOrvel_ReportEditor *editor);
    // Whether the definition editor's text is a definition the report can load and run (well-
    // formed, root "Zestawnik", a numeric version, valid and unique parameter names, known types,
    // SQL lists with their fields). Otherwise shows the reason with the line (and column) and
    // puts the caret there. Checks the text in memory: no file is written or removed.
    bool ValidateDefinition();

    // Whether either editor holds text that differs from its file.
    bool IsModified() const;
    // Before the editors' text is replaced or thrown away: with unsaved changes asks "Zapisać
    // zmiany w raporcie „…”?" (Zapisz / Nie zapisuj / Anuluj). True to go on: nothing was
    // modified, the changes were saved, or
    // the user chose not to save. False on Anuluj or when the save failed; nothing is changed.
    // With `reloadAfterSave` a save loads the report again (the caller goes on with it).
    bool ConfirmDiscard(bool reloadAfterSave = false);
    // Writes every modified editor to its file, the definition only after its check; with
    // `reload` the report is loaded again afterwards. False (and nothing written) when the
    // definition is refused; false when a write fails (its error is shown).
    bool SaveModified(bool reload);
    // The definition's save command; false when the check refused it or nothing was written.
    bool SaveDefinition();
    // Before a run: with unsaved changes asks the same question as before replacing the text.
    // Zapisz saves (and reloads), Nie zapisuj leaves the editors as they are.
    TOrvel_RunChoice ConfirmRun();
    // Commands that need a loaded report ("Wstaw parametr") follow it.
    void UpdateCommands(bool reportLoaded);
    TOrvel_ReportFileWatch *FileWatch() const { return FWatch; }

    // Commands of the toolbars. Errors are shown in the general error message.
    void btnEditSQL_saveClick();
    void btnEditDEF_saveClick();
    void btnEditSQL_saveasClick();
    void btnEditDEF_saveasClick();
    void btnEditSQL_undoClick();
    void btnEditDEF_undoClick();
    void miAddSQLParametersClick();
    void miAddDefParameterClick();
    // F5 / Ctrl+Enter in the script: asks about unsaved changes (saving reloads), then runs.
    void RunRequested();

    // Controls, named as in the window's layout.
    QToolBar *barEdit_SQL;
    QToolButton *btnEditSQL_save;
    QToolButton *btnEditSQL_saveas;
    QToolButton *btnEditSQL_undo;
    QToolButton *btnEditSQL_add;
    QMenu *pmEditorSQL_add;
    QAction *miAddSQLParameters;
    TOrvel_SqlEditor *edReportSQL;

    QToolBar *barEdit_DEF;
    QToolButton *btnEditDEF_save;
    QToolButton *btnEditDEF_saveas;
    QToolButton *btnEditDEF_undo;
    QToolButton *btnEditDEF_add; // one click: "Wstaw parametr"
    QAction *miAddDefParameter;
    TOrvel_XmlEditor *edReportDefinition;

    // The find / replace / go-to-line bars under the editors.
    TOrvel_FindBar *barFind_SQL;
    TOrvel_FindBar *barFind_DEF;

private:
    enum class Answer { Save, Discard, Cancel };
    Answer AskToSave();
    // What the file on disk has become behind the editor's back since it was read or written.
    enum class Outside { None, Changed, Removed };
    enum class WriteChoice { Write, Reload, Cancel };
    // Asks about a file changed or removed outside before the editor overwrites or recreates it.
    WriteChoice ConfirmWrite(TOrvel_ReportEditor *editor);
    // The saved definition names another script than the one in the (modified) script editor:
    // asks whether to save that script first.
    void SaveScriptBeforeItsFileChanges(const QString &definitionFile);
    // Drops the editor's edits for the file's content (the user chose to load the file again).
    void DropEdits(TOrvel_ReportEditor *editor);
    void WriteEditor(const QString &path, TOrvel_ReportEditor *editor);
    // Loads the report again; the editors with unsaved changes are kept as they are.
    void Reload();
    void ReportScriptEncoding();
    void SetActivity(const QString &text);
    void AddShortcuts(QWidget *owner, Qt::ShortcutContext context,
                      std::function<TOrvel_ReportEditor *()> target);
    TOrvel_FindBar *FindBarOf(TOrvel_ReportEditor *editor) const;
    void SaveCommand(TOrvel_ReportEditor *editor);
    QString ScriptPath() const;
    QString DefinitionPath() const;
    QString PathOf(const TOrvel_ReportEditor *editor) const;
    TOrvel_ReportEditor *EditorOf(const QString &file) const;
    Outside &OutsideOf(const TOrvel_ReportEditor *editor);
    void WatchFiles();
    void FileChanged(const QString &file);
    void FileRemoved(const QString &file);
    void ReloadChangedFiles();

    TOrvel_EditorHost FHost;
    QWidget *FSqlTab;
    QWidget *FDefinitionTab;
    TOrvel_ReportFileWatch *FWatch;
    QTimer *FReloadRetry;         // an outside change waits for the window to be ready
    QStringList FPendingReloads;  // files changed outside whose reload waits
    bool FKeepScript = false;     // while reloading: the script editor stays as it is
    bool FKeepDefinition = false; // while reloading: the definition editor stays as it is
    Outside FScriptOutside = Outside::None;
    Outside FDefinitionOutside = Outside::None;
    bool FWroteUtf8 = false; // the last script save needed UTF-8
};
