#include "U_WidgetUtils.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

void SetControlsEnabled(QWidget *container, bool enabled) {
    if (!container)
        return;
    const auto children = container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (!child->findChildren<QWidget *>(Qt::FindDirectChildrenOnly).isEmpty())
            SetControlsEnabled(child, enabled);
        child->setEnabled(enabled);
    }
}

namespace {
QUrl TargetUrl(const QString &target) {
    // A path that exists is a file; anything else is taken as an address.
    if (QFileInfo::exists(target))
        return QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
    return QUrl::fromUserInput(target);
}
} // namespace

void ShellOpen(const QString &target) {
    QDesktopServices::openUrl(TargetUrl(target));
}

void ShellOpenOwned(QWidget *owner, const QString &target) {
    Q_UNUSED(owner); // the desktop's open action needs no owner window here
    QDesktopServices::openUrl(TargetUrl(target));
}
