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
    void ShowReport(const QString &script, const QString &scriptFile, const QString &definition);
    void Clear();
    void SetWritable(bool writable);

    // Writes an editor to a file and reloads the report; nothing happens for an empty path.
    // A write failure raises EOrvelError (the file keeps its old content).
    void SaveEditorToFile(const QString &path, TOrvel_ReportEditor *editor);
    // Asks for a file (extension "sql" or "xml") and writes the editor to it; no check, no reload.
    void SaveEditorAs(const QString &extension, TOrvel_ReportEditor *editor);
    // Whether the definition editor's text is a well-formed XML document; shows the error box
    // when it is not. Checks the text in memory: no file is written or removed.
    bool ValidateDefinition();

    // Commands of the toolbars. Errors are shown in the general error message.
    void btnEditSQL_saveClick();
    void btnEditDEF_saveClick();
    void btnEditSQL_saveasClick();
    void btnEditDEF_saveasClick();
    void btnEditSQL_undoClick();
    void btnEditDEF_undoClick();
    void miAddSQLParametersClick();
    void miAddDefParameterClick();

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
    QToolButton *btnEditDEF_add;
    QMenu *pmEditorDEF_add;
    QAction *miAddDefParameter;
    TOrvel_XmlEditor *edReportDefinition;

private:
    void WriteEditor(const QString &path, TOrvel_ReportEditor *editor);
    void SetActivity(const QString &text);

    TOrvel_EditorHost FHost;
};
