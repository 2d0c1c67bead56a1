#include "U_WidgetUtils.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QVariant>
#include <QWidget>

namespace {
// Set on a control that SetControlsEnabled disabled, so that enabling gives back only what it
// took: a control disabled by its own rule stays disabled.
const char *const kDisabledByContainer = "orvelDisabledByContainer";
} // namespace

void SetControlsEnabled(QWidget *container, bool enabled) {
    if (!container)
        return;
    const auto children = container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (!child->findChildren<QWidget *>(Qt::FindDirectChildrenOnly).isEmpty())
            SetControlsEnabled(child, enabled);
        if (enabled) {
            if (child->property(kDisabledByContainer).toBool()) {
                child->setProperty(kDisabledByContainer, QVariant());
                child->setEnabled(true);
            }
        } else if (!child->testAttribute(Qt::WA_ForceDisabled)) {
            child->setProperty(kDisabledByContainer, true);
            child->setEnabled(false);
        }
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

bool ShellOpenOwned(QWidget *owner, const QString &target) {
    Q_UNUSED(owner); // the desktop's open action needs no owner window here
    return QDesktopServices::openUrl(TargetUrl(target));
}
