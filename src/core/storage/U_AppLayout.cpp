#include "U_AppLayout.h"

#include "U_SafeFile.h"
#include "U_XML_util.h"
#include "U_error.h"
#include "U_utils.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <optional>

namespace {

// The installed layout's folders, relative to the executable's folder.
const char kSharedFromBin[] = "../share/orvel-zestawnik";
const char kPluginsFromBin[] = "../lib/orvel-zestawnik";
const char kAppFolderName[] = "orvel-zestawnik";
// The shared trees copied into the user's folder; the demo databases are not among them.
const char *const kSeededTrees[] = {"data", "data reports"};
const char kPreferencesFile[] = "data/settings.xml";

QString Folder(const QString &path) {
    const QString clean = QDir::cleanPath(path);
    return clean.endsWith(u'/') ? clean : clean + u'/';
}

QString ExecutableFolder() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // No application object yet: ask the kernel.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
}

QSet<QString> ReadSeededList(const QString &path) {
    QSet<QString> seeded;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return seeded;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!line.isEmpty() && !line.startsWith(u'#'))
            seeded.insert(line);
    }
    return seeded;
}

void WriteSeededList(const QString &path, QStringList paths) {
    paths.sort();
    QString text = QStringLiteral("# Files of the installed program copied into this folder once; "
                                  "a path listed here is not copied again.\n");
    for (const QString &p : paths)
        text += p + u'\n';
    SafeWriteTextFile(path, text.toUtf8());
}

void MakeFolder(const QString &path) {
    if (!QDir().mkpath(path))
        throw EOrvelError(
            QStringLiteral("Nie można utworzyć folderu '%1'.").arg(QDir::cleanPath(path)));
}

// The shared files below the seeded trees, as paths relative to the shared folder.
QStringList SharedFiles(const QString &sharedFolder) {
    QStringList files;
    const QDir shared(sharedFolder);
    for (const char *tree : kSeededTrees) {
        QDirIterator it(sharedFolder + QString::fromUtf8(tree), QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files << shared.relativeFilePath(it.next());
    }
    files.sort();
    return files;
}

// Copies one shared file where the user has none. The copy belongs to the user and can be
// edited, whatever the shared file's modes are.
// The copy is written by the one write rule, so a full disk is told in the system's words and
// leaves no half file.
void CopyShared(const QString &from, const QString &to) {
    MakeFolder(QFileInfo(to).absolutePath());
    // Another start of the program may have copied it a moment ago.
    if (QFileInfo::exists(to))
        return;
    QFile source(from);
    QByteArray bytes;
    if (source.open(QIODevice::ReadOnly))
        bytes = source.readAll();
    if (!source.isOpen() || source.error() != QFileDevice::NoError)
        throw EOrvelError(QStringLiteral("Nie można skopiować pliku '%1' do '%2' (%3).")
                              .arg(from, to, SystemErrorReason(source.errorString())));
    SafeWriteFile(to, bytes);
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                  QFile::ReadOther);
}

} // namespace

TOrvel_AppLayout DetectAppLayout(const QString &executableFolder, const QString &xdgDataHome,
                                 const QString &home) {
    TOrvel_AppLayout layout;
    const QDir bin(executableFolder);
    const QString shared = bin.absoluteFilePath(QString::fromLatin1(kSharedFromBin));
    // A folder of its own with "data" beside the executable is portable, wherever it lies.
    const bool ownData = QFileInfo(bin.absoluteFilePath(QStringLiteral("data"))).isDir();
    if (ownData || !QFileInfo(shared).isDir()) {
        layout.Kind = TOrvel_LayoutKind::lkPortable;
        layout.AppFolder = Folder(executableFolder);
        layout.PluginFolder = layout.AppFolder;
        layout.DemoFolder = layout.AppFolder + QStringLiteral("data/demo/");
        return layout;
    }
    // The base folder of the user's data files: XDG_DATA_HOME when it is an absolute path (a
    // relative one is to be ignored), else ~/.local/share.
    const QString dataHome =
        QDir::isAbsolutePath(xdgDataHome) ? xdgDataHome : home + QStringLiteral("/.local/share");
    layout.Kind = TOrvel_LayoutKind::lkInstalled;
    layout.SharedFolder = Folder(shared);
    layout.AppFolder = Folder(dataHome + u'/' + QString::fromLatin1(kAppFolderName));
    layout.PluginFolder = Folder(bin.absoluteFilePath(QString::fromLatin1(kPluginsFromBin)));
    layout.DemoFolder = layout.SharedFolder + QStringLiteral("demo/");
    return layout;
}

const TOrvel_AppLayout &CurrentAppLayout() {
    static const TOrvel_AppLayout layout = DetectAppLayout(
        ExecutableFolder(), qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath());
    return layout;
}

QString SeededFilesListName() {
    return QStringLiteral("data/seeded-files.txt");
}

QStringList SeedAppFolder(const QString &sharedFolder, const QString &appFolder) {
    const QString app = Folder(appFolder);
    const QString shared = Folder(sharedFolder);
    MakeFolder(app);
    MakeFolder(app + QStringLiteral("data"));
    MakeFolder(app + QStringLiteral("data reports"));

    const QString listPath = app + SeededFilesListName();
    const QSet<QString> seeded = ReadSeededList(listPath);
    QStringList copied;
    QStringList now(seeded.begin(), seeded.end());
    for (const QString &file : SharedFiles(shared)) {
        if (seeded.contains(file))
            continue;
        if (!QFileInfo::exists(app + file)) {
            CopyShared(shared + file, app + file);
            copied << file;
        }
        now << file;
    }
    const QString preferences = QString::fromLatin1(kPreferencesFile);
    if (!seeded.contains(preferences)) {
        if (!QFileInfo::exists(app + preferences)) {
            TOrvel_XML_util empty;
            empty.NewDocument();
            empty.SaveToFile(app + preferences);
            copied << preferences;
        }
        now << preferences;
    }
    if (now.size() != seeded.size())
        WriteSeededList(listPath, now);
    return copied;
}

void PrepareAppFolder() {
    const TOrvel_AppLayout &layout = CurrentAppLayout();
    if (layout.Kind != TOrvel_LayoutKind::lkInstalled || IsAppFolderSet())
        return;
    SeedAppFolder(layout.SharedFolder, layout.AppFolder);
}
