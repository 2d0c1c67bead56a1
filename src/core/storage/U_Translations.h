#pragma once
// The toolkit's own texts (standard dialogs' buttons, file dialogs, the overwrite question, the
// system's reasons of a file error) in the user's language, from the translations Qt ships.
#include <QLocale>
#include <QStringList>

class QCoreApplication;

// Installs on the application the toolkit's translation catalogues for the locale ("qtbase" and
// the other Qt modules the catalogue "qt" gathers), from Qt's translations folder. Returns the
// names of the catalogues it installed; an English locale or a missing package installs none and
// the toolkit keeps its English texts.
QStringList InstallToolkitTranslations(QCoreApplication &app, const QLocale &locale);
