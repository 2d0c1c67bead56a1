#pragma once
// A top-level window's place on the screen kept in the preferences: position, size and whether it
// was maximised, under "<key>/Left", "/Top", "/Width", "/Height" and "/Maximized".
#include <QSize>
#include <QString>

class QWidget;

// Puts the window where it was last closed. Without a stored place, or when the stored place
// lies on no screen any more, the window takes the given size (shrunk to the screen's free area)
// in the middle of the screen. Call before the window is first shown.
void RestoreWindowPlace(QWidget *window, const QString &key, QSize firstSize);
// Stores the window's normal (not maximised) place and its maximised state, and writes the
// preferences file.
void StoreWindowPlace(const QWidget *window, const QString &key);
