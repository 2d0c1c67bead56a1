#include "U_ReportUI.h"

#include "U_Db.h"
#include "U_GridColumns.h"
#include "U_ListQueryWait.h"
#include "U_ParamInput.h"

#include <QTreeWidget>

namespace {
constexpr int ParamRole = Qt::UserRole;

const QString ValuePrefix = QStringLiteral("wartość: ");

void ForEachItem(QTreeWidgetItem *item, const std::function<void(QTreeWidgetItem *)> &visit) {
    visit(item);
    for (int i = 0; i < item->childCount(); ++i)
        ForEachItem(item->child(i), visit);
}
} // namespace

void ShowReportInfo(QTreeWidget *tree, const TOrvel_Report &report) {
    TOrvel_ReportInfo info;
    report.ShowInfo(info);
    tree->clear();
    tree->setUpdatesEnabled(false);
    tree->setRootIsDecorated(info.ShowLines);
    std::vector<QTreeWidgetItem *> parents; // the last node of each level
    for (const TOrvel_InfoLine &line : info.Lines) {
        QTreeWidgetItem *item = line.Level == 0 || parents.empty()
                                    ? new QTreeWidgetItem(tree)
                                    : new QTreeWidgetItem(parents[static_cast<std::size_t>(
                                          qMin<int>(line.Level, int(parents.size())) - 1)]);
        item->setText(0, line.Text);
        item->setToolTip(0, line.Text); // the whole line, also where the pane cuts it
        item->setData(0, ParamRole, line.Param);
        parents.resize(static_cast<std::size_t>(line.Level));
        parents.push_back(item);
    }
    tree->expandAll();
    tree->setUpdatesEnabled(true);
    if (tree->topLevelItemCount() > 0)
        tree->scrollToItem(tree->topLevelItem(0));
}

void UpdateReportInfoValue(QTreeWidget *tree, const TOrvel_Report &report, const QString &name) {
    for (int top = 0; top < tree->topLevelItemCount(); ++top) {
        ForEachItem(tree->topLevelItem(top), [&](QTreeWidgetItem *item) {
            bool ok = false;
            const int param = item->data(0, ParamRole).toInt(&ok);
            if (!ok || param < 0 || param >= report.ParamCount() ||
                report.Param(param).Name() != name)
                return;
            item->setText(0, ValuePrefix + report.Param(param).GetSQLValue());
            item->setToolTip(0, item->text(0));
            tree->scrollToItem(item);
        });
    }
}

TOrvel_ReportUI::TOrvel_ReportUI(QWidget *paramsPanel, DbConnection &connection)
    : FReport(std::make_unique<TOrvel_Report>(&connection)),
      FParameters(std::make_unique<TOrvel_Parameters>(paramsPanel, FReport.get())) {
    FReport->SetParamView(FParameters.get());
    // A pick list's query that hangs must not freeze the window.
    FReport->ListQueryRunner = [paramsPanel, &connection](const std::function<void()> &open) {
        RunListQuery(paramsPanel, connection, open);
    };
    FReport->OnParamChange = [this](const QString &name, const QString &value) {
        if (OnParamChange)
            OnParamChange(name, value);
    };
    FReport->OnRunDone = [this](TOrvel_Report &) {
        if (OnRunDone)
            OnRunDone();
    };
    FReport->OnDefaultDatabase = [this](const QString &database, const QString &definitionFile) {
        return OnDefaultDatabase ? OnDefaultDatabase(database, definitionFile) : false;
    };
}

TOrvel_ReportUI::~TOrvel_ReportUI() {
    // The rows go before the inputs they show.
    FReport->SetParamView(nullptr);
    FParameters.reset();
    FReport.reset();
}

void TOrvel_ReportUI::ApplyColumns(TOrvel_GridColumns &columns) {
    FReport->Settings.ApplyColumns(columns);
}

void TOrvel_ReportUI::SortByColumn(TOrvel_GridColumns &columns, int position) {
    DbField *field =
        position >= 0 && position < columns.Count() ? columns.Field(position) : nullptr;
    FReport->SortByColumn(position, field ? field->Index() : -1);
}

std::unique_ptr<TOrvel_ReportPort> CreateReportUI(QWidget *paramsPanel, DbConnection &connection) {
    return std::make_unique<TOrvel_ReportUI>(paramsPanel, connection);
}
