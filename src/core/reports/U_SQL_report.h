#pragma once
// The report that is open now: its definition, script, stored values, parameters, column
// settings and result, and the run that fills the result. No widgets: a user interface shows the
// parameters through a TOrvel_ParamView and learns of changes through the report's callbacks.
//
// Usage (the desktop program; the command-line runner leaves out the view):
//   TOrvel_Report report(&connection);
//   report.SetParamView(&panel);                     // one input row per parameter
//   report.OnParamChange = ...; report.OnRunDone = ...; report.OnDefaultDatabase = ...;
//   if (report.LoadReport(definitionFile, title)) report.Run();
//   // OnRunDone arrives on the user-interface thread; ResultQuery() holds the result.
#include "U_ParamData.h"
#include "U_ReportInfo.h"
#include "U_SQL_report_settings.h"
#include "U_XML_util.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class DbConnection;
class DbQuery;
class TOrvel_ParamInput;
class TOrvel_SQLRunThread;

// The marker line of a script, replaced by the parameter assignments when the report runs.
inline const QString OrvelParamsMarker = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]");

// What a user interface shows of the parameters. The report calls it on the user-interface thread.
class TOrvel_ParamView {
public:
    virtual ~TOrvel_ParamView() = default;
    // All rows go; new ones follow through Add and are shown by EndLoad.
    virtual void BeginLoad() = 0;
    // A row for the report's parameter at this index (the parameters are added in order).
    virtual void Add(int index) = 0;
    virtual void EndLoad() = 0;
    // All rows go (the report was cleared).
    virtual void Clear() = 0;
    // The parameter's input was changed by the report: show the new state.
    virtual void ShowValue(int index) = 0;
    // The parameter's list query was reopened (or closed after a failure): re-read its entries.
    virtual void ListRefreshed(int index) = 0;
    // A run was refused; the text says why, in the user's words.
    virtual void RunRefused(const QString &text) = 0;
};

class TOrvel_Report : public QObject {
    Q_OBJECT
public:
    explicit TOrvel_Report(DbConnection *connection, QObject *parent = nullptr);
    // Waits for a run in progress: the worker uses the result query.
    ~TOrvel_Report() override;
    TOrvel_Report(const TOrvel_Report &) = delete;
    TOrvel_Report &operator=(const TOrvel_Report &) = delete;

    // The rows that show the parameters; none for a report without a user interface. Not owned.
    void SetParamView(TOrvel_ParamView *view) { FView = view; }
    // False, after the view was told why, while an input holds text its type rejects.
    bool InputsRunnable();
    // Whether Run refuses while an input holds a text its type rejects (on by default). Off for a
    // caller that checks the values it sets itself and keeps the lenient rule for stored ones.
    void SetRefuseRejectedInput(bool refuse) { FRefuseRejectedInput = refuse; }

    // A parameter's value changed: (name, SQL value text).
    std::function<void(const QString &name, const QString &sqlValue)> OnParamChange;
    // A run ended; called on the user-interface thread with ErrorText already set.
    std::function<void(TOrvel_Report &report)> OnRunDone;
    // A loaded report names a default database: (database, definition file); the result is not
    // used.
    std::function<bool(const QString &database, const QString &definitionFile)> OnDefaultDatabase;

    void ClearReport();
    // False when the definition is missing or not well-formed. A version that is not a number
    // throws EOrvelError "'%s' is not a valid floating point value"; the report is then not
    // loaded and has no parameters.
    bool LoadReport(const QString &definitionFile, const QString &title);
    bool IsLoaded() const { return FLoaded; }

    QString GetTitle() const { return FTitle; }
    QString GetScriptText() const { return FScript; }
    QString GetDefinitionText() const;
    QString GetScriptFileName() const { return FScriptFile; }
    QString GetDefinitionFileName() const { return FDefinitionFile; }
    QString GetDefaultsFileName() const { return FDefaultsFile; }
    QString GetDefaultDatabase() const { return FDefaultDb; }
    QString GetVersionText() const { return FVersionText; }
    // The first fault of the loaded report that does not stop it loading: its script file is
    // missing (naming it), or a fixed pick list's captions and values differ in number (naming
    // the parameter); empty when none.
    QString LoadNotice() const;
    float GetVersion() const { return FVersion; }
    // The parameter block with declarations.
    QString GetParamsText() const { return GetParamsBlock(true); }
    QString GetParamsBlock(bool withDeclarations) const;

    // The information tree: title, version, script file and every parameter with its value.
    void ShowInfo(TOrvel_ReportInfo &info) const;
    // Refreshes the value line of every parameter named `name` (the value passed in is not
    // used); returns the indexes of the lines changed.
    QList<int> UpdateInfoValue(TOrvel_ReportInfo &info, const QString &name,
                               const QString &sqlValue) const;

    // Every parameter's value as its input holds it.
    std::vector<TOrvel_ParamValue> CurrentValues() const;
    // Sets every parameter that has a value of the same name and type in `values`, refreshing
    // its SQL pick list first; the others keep theirs. A failing list query passes on to the
    // caller, and the remaining parameters stay as they are.
    void RestoreValues(const std::vector<TOrvel_ParamValue> &values);

    void ResetValues();
    // Stores every value in the defaults file; the file's write error passes on to the caller
    // (the values stay in the defaults document).
    void SaveValues();
    // Sets every parameter from the defaults document, refreshing each SQL pick list first; a
    // failing list query passes on to the caller and the remaining parameters stay as they are.
    void LoadDefaultValues();

    // Starts a run; false when the script was refused (the view was told why).
    bool Run();
    bool IsRunning() const { return FRunThread != nullptr; }
    // Asks the running batch to stop; the run then ends as cancelled through OnRunDone. Nothing
    // happens when no run is in progress.
    void CancelRun();
    // Gives up waiting for a run whose server does not answer a cancel (its connection has been
    // or is being closed): the run ends at once as cancelled, through OnRunDone, and its worker
    // is left to end by itself, touching nothing of the report any more.
    void AbandonRun();
    // The last run was stopped by a cancel; it has no error text and no result.
    bool WasCancelled() const { return FCancelled; }
    // The error text of the last run; empty after a successful one.
    const QString &ErrorText() const { return FErrorText; }
    // The result of the last run; the same query for the report's whole life.
    DbQuery *ResultQuery() const { return FResult.get(); }
    bool HasRecords() const;
    int RecordCount() const;

    // Sorts the open result by a grid column showing the field at an index of the result; the
    // same field again reverses the direction, also after its column was moved.
    void SortByColumn(int column, int fieldIndex);
    // The same for the first field of a name.
    void SortByColumn(int column, const QString &fieldName);
    bool SortAscending() const { return FSortAscending; }
    int SortColumn() const { return FSortColumn; }

    bool AddDefinitionItem(const TOrvel_ParamData &param);
    // Opens a pick list's query as the list would open it (every parameter declared and set in
    // front of it, through ListQueryRunner) and returns the names of its columns; the database
    // error passes on, EDbCancelled after a cancel.
    QStringList ListQueryColumns(const QString &listQuery);

    TOrvel_ReportSettings Settings;

    // The parameters in definition order.
    int ParamCount() const { return static_cast<int>(FParams.size()); }
    TOrvel_ParamInput &Param(int index) const;
    // The query that feeds an SQL pick list; null for other kinds of input.
    DbQuery *ListQuery(int index) const;
    // The input of a parameter was changed by the user: notify the owner and clear the SQL pick
    // lists that depend on it.
    void ParamChanged(int index);
    // Puts an SQL value text (or a stored value) into a parameter's input, then as ParamChanged.
    void SetParamValue(int index, const QString &value);
    // Reopens an SQL pick list's query with every parameter declared and set in front of it.
    // The database error of a failing query passes on to the caller; the list is then empty.
    // A list query stopped by a cancel raises EDbCancelled, also with an empty list.
    void RefreshList(int index);
    // Runs the opening of a pick list's query; by default on the calling thread. A user
    // interface may run it on another thread and wait for it without freezing, offering a
    // cancel (through the connection). It must run the function to its end, or pass on what
    // it raised.
    std::function<void(const std::function<void()> &open)> ListQueryRunner;

private slots:
    void RunEnd();

private:
    struct Parameter;
    void RemoveParameters();
    void BuildParameters();
    void ResetFields();
    QList<const TOrvel_ParamInput *> Inputs() const;

    DbConnection *FConnection;
    TOrvel_ParamView *FView = nullptr;
    bool FRefuseRejectedInput = true;
    std::vector<std::unique_ptr<Parameter>> FParams;
    bool FLoaded = false;
    TOrvel_XML_util FDefinition;
    TOrvel_XML_util FDefaults;
    QString FTitle;
    float FVersion = 0;
    QString FVersionText;
    QString FDefaultDb;
    QString FDefinitionFile;
    QString FScriptFile;
    QString FScript;
    std::unique_ptr<DbQuery> FResult;
    QString FDefaultsFile;
    std::unique_ptr<TOrvel_SQLRunThread> FRunThread;
    bool FSortAscending = true;
    int FSortColumn = -1;
    int FSortField = -1;
    QString FErrorText;
    bool FCancelled = false;
};
