#pragma once
// Desktop services for the windows: enabling a whole panel, opening a file or web address with
// the desktop's default application.
#include <QString>

class QWidget;

// Sets the enabled state of every widget inside the container, at every depth; a container's own
// children are set before the container itself. The container's own state is left alone.
// Enabling gives back only what disabling took: a control that was already disabled by its own
// rule stays disabled.
void SetControlsEnabled(QWidget *container, bool enabled);

// Asks the desktop to open a file path or web address; the outcome is not reported.
void ShellOpen(const QString &target);
bool ShellOpenOwned(QWidget *owner, const QString &target); // false: the desktop cannot open it
