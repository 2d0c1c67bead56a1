#pragma once
// The report catalogue: the folder tree under the reports folder, every sub-folder a group and
// every definition file a report. The tree here holds no widgets; the main window mirrors it.
#include <QString>

#include <vector>

struct TOrvel_ReportItem {
    QString DefinitionFile; // full path of NAME.xml, or of the group's folder
    QString DisplayName;    // last path component without its last extension
    bool IsGroup = false;
};

// One node of the tree: its entry's index and its children in order.
struct TOrvel_ReportNode {
    int Index = -1;
    int ImageIndex = 0;    // 0 group, 1 report
    int SelectedIndex = 0; // 0 group, 2 report
    std::vector<TOrvel_ReportNode> Children;
};

class TOrvel_LoadReports {
public:
    // Takes the reports folder and creates it (one level) when missing; the tree stays empty.
    TOrvel_LoadReports();

    // Rebuilds the entries and the tree from the disk. A folder that cannot be listed gives an
    // empty tree.
    void Reload();

    const std::vector<TOrvel_ReportNode> &Nodes() const { return FNodes; }
    int Count() const { return int(FItems.size()); }
    // A copy of the entry, or an empty entry for an index outside the list.
    TOrvel_ReportItem GetItem(int index) const;
    // The first node in tree order (parents before children) whose entry's path equals `path`
    // with ASCII letters compared without case; null when none.
    const TOrvel_ReportNode *FindNode(const QString &path) const;
    static bool IsDefinitionFile(const QString &path);
    const QString &ReportsFolder() const { return FReportsFolder; }

private:
    void ScanFolder(std::vector<TOrvel_ReportNode> &parent, const QString &folder,
                    std::vector<QString> &visiting);
    TOrvel_ReportNode *AddEntry(std::vector<TOrvel_ReportNode> &parent, bool isGroup,
                                const QString &path);

    QString FReportsFolder;
    std::vector<TOrvel_ReportItem> FItems;
    std::vector<TOrvel_ReportNode> FNodes;
};
