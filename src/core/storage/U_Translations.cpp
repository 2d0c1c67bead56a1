#include "U_Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

QStringList InstallToolkitTranslations(QCoreApplication &app, const QLocale &locale) {
    QStringList installed;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // "qt" is a catalogue of catalogues: loading it pulls in qtbase and its siblings; qtbase is
    // loaded by itself too, for distributions that ship only the module files.
    for (const char *name : {"qt", "qtbase"}) {
        auto translator = std::make_unique<QTranslator>(&app);
        if (!translator->load(locale, QString::fromLatin1(name), QStringLiteral("_"), folder))
            continue;
        if (!QCoreApplication::installTranslator(translator.get()))
            continue;
        translator.release(); // owned by the application from here on
        installed.append(QString::fromLatin1(name));
    }
    return installed;
}
