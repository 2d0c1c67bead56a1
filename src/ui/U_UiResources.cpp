#include "U_UiResources.h"

static void RegisterUiResources() {
    Q_INIT_RESOURCE(orvel_ui);
}

void InitUiResources() {
    static const bool registered = [] {
        RegisterUiResources();
        return true;
    }();
    Q_UNUSED(registered);
}

QPixmap UiPicture(const QString &name) {
    InitUiResources();
    return QPixmap(QStringLiteral(":/orvel/icons/%1.png").arg(name));
}

QIcon UiIcon(const QString &name) {
    return QIcon(UiPicture(name));
}
