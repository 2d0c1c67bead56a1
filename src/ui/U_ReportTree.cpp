#include "U_ReportTree.h"

#include "U_LoadReports.h"

#include <QTreeWidget>

namespace {
void AddNodes(QTreeWidget *tree, QTreeWidgetItem *parent,
              const std::vector<TOrvel_ReportNode> &nodes, const TOrvel_LoadReports &catalogue,
              const QIcon &groupIcon, const QIcon &reportIcon) {
    for (const TOrvel_ReportNode &node : nodes) {
        const TOrvel_ReportItem entry = catalogue.GetItem(node.Index);
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, entry.DisplayName);
        item->setData(0, ReportIndexRole, node.Index);
        item->setIcon(0, entry.IsGroup ? groupIcon : reportIcon);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        AddNodes(tree, item, node.Children, catalogue, groupIcon, reportIcon);
    }
}

QTreeWidgetItem *FindIn(QTreeWidgetItem *item, int index) {
    if (ReportIndexOf(item) == index)
        return item;
    for (int i = 0; i < item->childCount(); ++i)
        if (QTreeWidgetItem *found = FindIn(item->child(i), index))
            return found;
    return nullptr;
}
} // namespace

void FillReportTree(QTreeWidget *tree, const TOrvel_LoadReports &catalogue, const QIcon &groupIcon,
                    const QIcon &reportIcon) {
    tree->setUpdatesEnabled(false);
    tree->clear();
    AddNodes(tree, nullptr, catalogue.Nodes(), catalogue, groupIcon, reportIcon);
    tree->expandAll();
    tree->setUpdatesEnabled(true);
}

int ReportIndexOf(const QTreeWidgetItem *item) {
    if (!item)
        return -1;
    bool ok = false;
    const int index = item->data(0, ReportIndexRole).toInt(&ok);
    return ok ? index : -1;
}

QTreeWidgetItem *FindReportItem(QTreeWidget *tree, int index) {
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        if (QTreeWidgetItem *found = FindIn(tree->topLevelItem(i), index))
            return found;
    return nullptr;
}
