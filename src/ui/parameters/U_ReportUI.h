#pragma once
// The report object as the main window uses it: the report without widgets, its parameter rows on
// the window's parameter panel, and the information tree mirrored into a tree view.
#include "U_Parameters.h"
#include "U_PrintInfo.h"
#include "U_ReportPort.h"
#include "U_SQL_report.h"

#include <memory>

class QTreeWidget;

// Fills a tree view with the report's information lines; a value line carries the index of its
// parameter (Qt::UserRole), other lines -1.
void ShowReportInfo(QTreeWidget *tree, const TOrvel_Report &report);
// Refreshes the value line of every parameter named `name` with its current value.
void UpdateReportInfoValue(QTreeWidget *tree, const TOrvel_Report &report, const QString &name);

class TOrvel_ReportUI : public TOrvel_ReportPort {
public:
    TOrvel_ReportUI(QWidget *paramsPanel, DbConnection &connection);
    ~TOrvel_ReportUI() override;

    TOrvel_Report &Report() { return *FReport; }
    TOrvel_Parameters &Parameters() { return *FParameters; }

    void ClearReport() override { FReport->ClearReport(); }
    bool LoadReport(const QString &definitionFile, const QString &title) override {
        return FReport->LoadReport(definitionFile, title);
    }
    bool IsLoaded() const override { return FReport->IsLoaded(); }
    QString GetTitle() const override { return FReport->GetTitle(); }
    QString GetScriptText() const override { return FReport->GetScriptText(); }
    QString GetDefinitionText() const override { return FReport->GetDefinitionText(); }
    QString GetScriptFileName() const override { return FReport->GetScriptFileName(); }
    QString GetDefinitionFileName() const override { return FReport->GetDefinitionFileName(); }
    QString GetParamsText() const override { return FReport->GetParamsText(); }
    std::vector<std::pair<QString, QString>> ShownParameters() const override {
        return ::ShownParameters(*FReport);
    }
    QString LoadNotice() const override { return FReport->LoadNotice(); }

    void ShowInfo(QTreeWidget *tree) override { ShowReportInfo(tree, *FReport); }
    void UpdateInfoValue(QTreeWidget *tree, const QString &name, const QString &) override {
        UpdateReportInfoValue(tree, *FReport, name);
    }

    void ResetValues() override { FReport->ResetValues(); }
    void SaveValues() override { FReport->SaveValues(); }
    void LoadDefaultValues() override { FReport->LoadDefaultValues(); }
    std::vector<TOrvel_ParamValue> CurrentValues() const override {
        return FReport->CurrentValues();
    }
    void RestoreValues(const std::vector<TOrvel_ParamValue> &values) override {
        FReport->RestoreValues(values);
    }

    bool InputsRunnable() override { return FReport->InputsRunnable(); }
    bool Run() override { return FReport->Run(); }
    void CancelRun() override { FReport->CancelRun(); }
    void AbandonRun() override { FReport->AbandonRun(); }
    bool IsRunning() const override { return FReport->IsRunning(); }
    bool WasCancelled() const override { return FReport->WasCancelled(); }
    QString ErrorText() const override { return FReport->ErrorText(); }
    DbQuery *ResultQuery() const override { return FReport->ResultQuery(); }
    bool HasRecords() const override { return FReport->HasRecords(); }
    int RecordCount() const override { return FReport->RecordCount(); }

    void ApplyColumns(TOrvel_GridColumns &columns) override;
    TOrvel_ReportSettings *ColumnSettings() override { return &FReport->Settings; }
    bool AddDefinitionItem(const TOrvel_ParamData &param) override {
        return FReport->AddDefinitionItem(param);
    }
    QStringList ListQueryColumns(const QString &listQuery) override {
        return FReport->ListQueryColumns(listQuery);
    }
    void SortByColumn(TOrvel_GridColumns &columns, int position) override;
    bool SortAscending() const override { return FReport->SortAscending(); }
    int SortColumn() const override { return FReport->SortColumn(); }

private:
    std::unique_ptr<TOrvel_Report> FReport;
    std::unique_ptr<TOrvel_Parameters> FParameters;
};

// The factory the main window is created with.
std::unique_ptr<TOrvel_ReportPort> CreateReportUI(QWidget *paramsPanel, DbConnection &connection);
