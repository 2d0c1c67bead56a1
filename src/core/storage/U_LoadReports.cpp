#include "U_LoadReports.h"

#include "U_Collation.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

QString LastComponent(const QString &path) {
    QString p = path;
    while (p.endsWith(u'/'))
        p.chop(1);
    return p.section(u'/', -1);
}

const TOrvel_ReportNode *FindIn(const std::vector<TOrvel_ReportNode> &nodes,
                                const std::vector<TOrvel_ReportItem> &items, const QString &key) {
    for (const TOrvel_ReportNode &node : nodes) {
        if (AsciiLower(items.at(size_t(node.Index)).DefinitionFile) == key)
            return &node;
        if (const TOrvel_ReportNode *found = FindIn(node.Children, items, key))
            return found;
    }
    return nullptr;
}

// A node's caption: the name without everything from its last ".".
QStringView ShownName(const QString &name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QStringView(name) : QStringView(name).left(dot);
}

} // namespace

TOrvel_LoadReports::TOrvel_LoadReports() : FReportsFolder(GetReportsFolder()) {
    if (!QDir(FReportsFolder).exists())
        QDir().mkdir(FReportsFolder);
}

void TOrvel_LoadReports::Reload() {
    FNodes.clear();
    FItems.clear();
    std::vector<QString> visiting;
    ScanFolder(FNodes, FReportsFolder, visiting);
}

TOrvel_ReportItem TOrvel_LoadReports::GetItem(int index) const {
    if (index < 0 || index >= Count())
        return TOrvel_ReportItem();
    return FItems.at(size_t(index));
}

const TOrvel_ReportNode *TOrvel_LoadReports::FindNode(const QString &path) const {
    return FindIn(FNodes, FItems, AsciiLower(path));
}

bool TOrvel_LoadReports::IsDefinitionFile(const QString &path) {
    const QString name = LastComponent(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0 || AsciiLower(name.mid(dot)) != u".xml")
        return false;
    const QString base = name.left(dot);
    return !base.endsWith(QLatin1String("settings")) && !base.endsWith(QLatin1String("defaults"));
}

void TOrvel_LoadReports::ScanFolder(std::vector<TOrvel_ReportNode> &parent, const QString &folder,
                                    std::vector<QString> &visiting) {
    const QString dir = folder.endsWith(u'/') ? folder : folder + u'/';
    // A folder reached again through a link would be scanned for ever: it is shown once, empty.
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    if (canonical.isEmpty() ||
        std::find(visiting.begin(), visiting.end(), canonical) != visiting.end())
        return;
    visiting.push_back(canonical);

    // By name in the user's language order, letter case ignored, as the grid sorts texts
    // ("Długie liczenie" before "Duży wynik"); names equal in that order keep a fixed order.
    QFileInfoList entries = QDir(dir).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    const TOrvel_TextOrder order(UserLocale());
    // Compared by the names shown ("Duży" before "Duży wynik", whatever the extension).
    std::stable_sort(entries.begin(), entries.end(),
                     [&order](const QFileInfo &a, const QFileInfo &b) {
                         const QString x = a.fileName(), y = b.fileName();
                         const int c = order.Compare(ShownName(x), ShownName(y));
                         if (c != 0)
                             return c < 0;
                         const int d = order.Compare(x, y);
                         return d != 0 ? d < 0 : x < y;
                     });
    for (const QFileInfo &entry : entries) {
        const QString path = TrimText(dir + entry.fileName());
        if (entry.isDir()) {
            if (TOrvel_ReportNode *node = AddEntry(parent, true, path)) {
                // The node may move when its siblings grow; scan into a list of its own.
                std::vector<TOrvel_ReportNode> children;
                ScanFolder(children, path, visiting);
                node->Children = std::move(children);
            }
        } else {
            AddEntry(parent, false, path);
        }
    }
    visiting.pop_back();
}

TOrvel_ReportNode *TOrvel_LoadReports::AddEntry(std::vector<TOrvel_ReportNode> &parent,
                                                bool isGroup, const QString &path) {
    if (path.isEmpty())
        return nullptr;
    if (!isGroup && !IsDefinitionFile(path))
        return nullptr;
    TOrvel_ReportItem item;
    item.DefinitionFile = path;
    const QString name = LastComponent(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    item.DisplayName = dot < 0 ? name : name.left(dot);
    item.IsGroup = isGroup;
    FItems.push_back(item);

    TOrvel_ReportNode node;
    node.Index = int(FItems.size()) - 1;
    node.ImageIndex = isGroup ? 0 : 1;
    node.SelectedIndex = isGroup ? 0 : 2;
    parent.push_back(std::move(node));
    return &parent.back();
}
