#pragma once
// Mirrors the report catalogue's tree in the main window's tree widget: each item carries the
// index of its catalogue entry.
#include <QIcon>

class QTreeWidget;
class QTreeWidgetItem;
class TOrvel_LoadReports;

inline constexpr int ReportIndexRole = Qt::UserRole + 1;

// Rebuilds the tree from the catalogue (after its Reload) and expands every node. icons: 0 group,
// 1 report (with the selected picture in its Selected mode).
void FillReportTree(QTreeWidget *tree, const TOrvel_LoadReports &catalogue, const QIcon &groupIcon,
                    const QIcon &reportIcon);
int ReportIndexOf(const QTreeWidgetItem *item); // -1 for none
// The first item, in tree order, whose entry index is the given one; null when none.
QTreeWidgetItem *FindReportItem(QTreeWidget *tree, int index);
