#include "U_WindowPlace.h"

#include "U_settings.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace {
QString Key(const QString &key, const char *part) {
    return key + u'/' + QLatin1String(part);
}

// A stored place is used only where the user can still reach the window's title bar.
bool OnSomeScreen(const QRect &place) {
    const auto screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        const QRect free = screen->availableGeometry();
        if (free.intersects(QRect(place.topLeft(), QSize(place.width(), 30))) &&
            free.intersected(place).width() >= 100)
            return true;
    }
    return false;
}
} // namespace

void RestoreWindowPlace(QWidget *window, const QString &key, QSize firstSize) {
    QRect place;
    bool maximized = false;
    if (AppPrefs) {
        place = QRect(AppPrefs->ReadInteger(Key(key, "Left"), 0),
                      AppPrefs->ReadInteger(Key(key, "Top"), 0),
                      AppPrefs->ReadInteger(Key(key, "Width"), 0),
                      AppPrefs->ReadInteger(Key(key, "Height"), 0));
        maximized = AppPrefs->ReadBool(Key(key, "Maximized"), false);
    }
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
    if (place.width() >= least.width() && place.height() >= least.height() && OnSomeScreen(place)) {
        window->setGeometry(place);
    } else {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
        QSize size = firstSize.boundedTo(free.size());
        window->resize(size);
        QRect centred(QPoint(0, 0), size);
        centred.moveCenter(free.center());
        window->move(centred.topLeft());
    }
    if (maximized)
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

void StoreWindowPlace(const QWidget *window, const QString &key) {
    if (!AppPrefs)
        return;
    const bool maximized = window->isMaximized();
    const QRect place = maximized ? window->normalGeometry() : window->geometry();
    if (place.isValid()) {
        AppPrefs->WriteInteger(Key(key, "Left"), place.left());
        AppPrefs->WriteInteger(Key(key, "Top"), place.top());
        AppPrefs->WriteInteger(Key(key, "Width"), place.width());
        AppPrefs->WriteInteger(Key(key, "Height"), place.height());
    }
    AppPrefs->WriteBool(Key(key, "Maximized"), maximized);
    AppPrefs->SaveFile();
}
