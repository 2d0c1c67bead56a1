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
// refilling it clears that. Reloading the report after one editor was saved keeps the other
// editor's unsaved text.
#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QToolBar;
class QToolButton;
class QWidget;
class TOrvel_ReportEditor;
class TOrvel_SqlEditor;
class TOrvel_XmlEditor;
class TOrvel_FindBar;

// What the editors need of the main window and the report object.
struct TOrvel_EditorHost {
    std::function<QString()> ScriptFileName;     // "" when no report is loaded
    std::function<QString()> DefinitionFileName; // "" when no report is loaded
    std::function<QString()> Title;              // the report's title
    std::function<void(const QString &)> SetActivityText;
    // Runs the report tree's selection handler for the node selected now (if any), which loads
    // the report again from its files and refills both editors.
    std::function<void()> ReloadReport;
    // "Wstaw parametr": opens the add-parameter dialog.
    std::function<void()> AddDefinitionParameter;
    // F5 or Ctrl+Enter in the script editor, once unsaved changes have been asked about: runs
    // the report as the run button does.
    std::function<void()> RunReport;
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

class TOrvel_ReportEditors : public QObject {
    Q_OBJECT
public:
    TOrvel_ReportEditors(QWidget *sqlTab, QWidget *definitionTab, TOrvel_EditorHost host,
                         QObject *parent = nullptr);

    // Fills the editors with a loaded report; the script file's encoding is kept for writing.
    // While reloading after a save, an editor with unsaved changes keeps its text.
    void ShowReport(const QString &script, const QString &scriptFile, const QString &definition);
    void Clear();
    void SetWritable(bool writable);

    // Writes an editor to a file and reloads the report; nothing happens for an empty path.
    // A write failure raises EOrvelError (the file keeps its old content, the editor its text).
    void SaveEditorToFile(const QString &path, TOrvel_ReportEditor *editor);
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
    // Commands that need a loaded report ("Wstaw parametr") follow it.
    void UpdateCommands(bool reportLoaded);

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
    void WriteEditor(const QString &path, TOrvel_ReportEditor *editor);
    void Reload();
    void ReportScriptEncoding();
    void SetActivity(const QString &text);
    void AddShortcuts(QWidget *tab, TOrvel_ReportEditor *editor, TOrvel_FindBar *bar,
                      void (TOrvel_ReportEditors::*save)());
    QString ScriptPath() const;
    QString DefinitionPath() const;

    TOrvel_EditorHost FHost;
    bool FReloading = false; // a reload after a save: modified editors keep their text
    bool FWroteUtf8 = false; // the last script save needed UTF-8
};
