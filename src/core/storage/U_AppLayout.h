#pragma once
// Where the program keeps its files. Two layouts follow from where the executable sits:
// - portable (the build tree, a copied folder): the executable's folder holds "data" and
//   "data reports" and is the application folder; the plug-ins and the demo data lie there too;
// - installed (PREFIX/bin with PREFIX/share/orvel-zestawnik beside it): the application folder is
//   the user's $XDG_DATA_HOME/orvel-zestawnik, filled from the shared files on the first start;
//   the plug-ins lie in PREFIX/lib/orvel-zestawnik and the demo databases stay read-only in the
//   shared folder.
#include <QString>
#include <QStringList>

enum class TOrvel_LayoutKind { lkPortable, lkInstalled };

// Every folder is a full path ending with the separator; SharedFolder is empty when portable.
struct TOrvel_AppLayout {
    TOrvel_LayoutKind Kind = TOrvel_LayoutKind::lkPortable;
    QString AppFolder;
    QString SharedFolder;
    QString PluginFolder;
    QString DemoFolder;
};

// The layout of a program whose executable lies in executableFolder. xdgDataHome is the value of
// XDG_DATA_HOME (used only when it is an absolute path), home the user's home folder.
TOrvel_AppLayout DetectAppLayout(const QString &executableFolder, const QString &xdgDataHome,
                                 const QString &home);

// The layout of this process, worked out once from its executable and its environment.
const TOrvel_AppLayout &CurrentAppLayout();

// The file in the user's data folder that lists what seeding has copied there, one path relative
// to the application folder a line.
QString SeededFilesListName();

// Fills the user's application folder from the shared files: every file of the shared "data" and
// "data reports" trees that was never copied before and is missing is copied, and an empty
// preferences file is written once. A file that was copied once is never copied again, so a later
// start neither overwrites the user's changes nor brings back what the user removed, while a file
// that a newer package ships arrives. Returns the paths copied (relative to appFolder). Throws
// EOrvelError naming the folder or file that could not be made.
QStringList SeedAppFolder(const QString &sharedFolder, const QString &appFolder);

// Done once at the start of the window and of the runner, before anything reads the folders:
// seeds the user's folder of the installed layout. Nothing happens in the portable layout or
// when the application folder has been pointed elsewhere. Throws EOrvelError as SeedAppFolder.
void PrepareAppFolder();
