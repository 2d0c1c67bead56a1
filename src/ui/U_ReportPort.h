#pragma once
// What the main window needs of the report object: the operations it calls and the three
// notifications it registers. The report object (with its parameter panel and run worker) is
// reached only through this interface, so the window neither knows its inner parts nor depends on
// them being built, and tests can drive the window with a report of their own.
#include "U_ParamData.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class DbConnection;
class DbQuery;
class QTreeWidget;
class QWidget;
class TOrvel_GridColumns;
class TOrvel_ReportSettings;

class TOrvel_ReportPort {
public:
    virtual ~TOrvel_ReportPort() = default;

    // Notifications to the owner, registered by the main window at creation.
    std::function<void(const QString &name, const QString &sqlValue)> OnParamChange;
    std::function<void()> OnRunDone; // on the user-interface thread, after the run has ended
    std::function<bool(const QString &database, const QString &definitionFile)> OnDefaultDatabase;

    virtual void ClearReport() = 0;
    // Loads the report of a definition file under a title; may call OnDefaultDatabase. Errors
    // raised while loading pass on to the caller.
    virtual bool LoadReport(const QString &definitionFile, const QString &title) = 0;
    virtual bool IsLoaded() const = 0;
    virtual QString GetTitle() const = 0;
    virtual QString GetScriptText() const = 0;
    virtual QString GetDefinitionText() const = 0;
    virtual QString GetScriptFileName() const = 0;
    virtual QString GetDefinitionFileName() const = 0;
    virtual QString GetParamsText() const = 0;
    // Caption and value of every parameter as the panel shows them, for the printed document.
    virtual std::vector<std::pair<QString, QString>> ShownParameters() const { return {}; }
    // What the author should mend in a report that loaded all the same (its script file missing,
    // a fixed pick list with uneven caption and value counts), for the status bar; empty when
    // nothing.
    virtual QString LoadNotice() const { return QString(); }

    virtual void ShowInfo(QTreeWidget *tree) = 0;
    virtual void UpdateInfoValue(QTreeWidget *tree, const QString &name,
                                 const QString &sqlValue) = 0;

    virtual void ResetValues() = 0;
    virtual void SaveValues() = 0;
    virtual void LoadDefaultValues() = 0;
    // The values the panel holds, and putting them back into the parameters of the same name and
    // type once the same report is loaded again; the others keep theirs.
    virtual std::vector<TOrvel_ParamValue> CurrentValues() const = 0;
    virtual void RestoreValues(const std::vector<TOrvel_ParamValue> &values) = 0;

    // False, after telling the user why, while an input holds text its type rejects: nothing may
    // run with the stand-in value such an input renders.
    virtual bool InputsRunnable() = 0;
    // Starts a run whose result goes to ResultQuery(); false when it refused to start (it has
    // told the user why). The end arrives through OnRunDone.
    virtual bool Run() = 0;
    // Asks the running batch to stop; the run then ends through OnRunDone as cancelled.
    virtual void CancelRun() = 0;
    // Ends a run whose server does not answer a cancel at once, as cancelled (OnRunDone follows
    // before it returns); its worker is left to end by itself.
    virtual void AbandonRun() = 0;
    virtual bool IsRunning() const = 0;
    // The last run was stopped by a cancel: no error text, no result.
    virtual bool WasCancelled() const = 0;
    virtual QString ErrorText() const = 0;
    virtual DbQuery *ResultQuery() const = 0;
    virtual bool HasRecords() const = 0;
    virtual int RecordCount() const = 0;

    // The column settings applied to the grid's columns.
    virtual void ApplyColumns(TOrvel_GridColumns &columns) = 0;
    // The report's column settings themselves (stored at mouse-up, edited by the format dialog).
    virtual TOrvel_ReportSettings *ColumnSettings() = 0;

    // Appends a parameter entry to the loaded definition (the add-parameter dialog).
    virtual bool AddDefinitionItem(const TOrvel_ParamData &param) = 0;
    // The columns of a pick list's query opened as the list would open it; the database error
    // passes on (the add-parameter dialog's check of a query).
    virtual QStringList ListQueryColumns(const QString &listQuery) = 0;

    // Sorts the result by the grid column at a position (the same column again reverses).
    virtual void SortByColumn(TOrvel_GridColumns &columns, int position) = 0;
    virtual bool SortAscending() const = 0;
    virtual int SortColumn() const = 0;
};

// Creates the report object on the main window's parameter panel and connection.
using TOrvel_ReportFactory = std::function<std::unique_ptr<TOrvel_ReportPort>(
    QWidget *paramsPanel, DbConnection &connection)>;
