#pragma once
// The pictures of the windows live in a resource file of the (static) window library; this makes
// sure they are registered before the first window needs them.
#include <QIcon>
#include <QPixmap>
#include <QString>

void InitUiResources();
// A picture by its name in the resource file ("run" gives icons/run.png).
QPixmap UiPicture(const QString &name);
QIcon UiIcon(const QString &name);
