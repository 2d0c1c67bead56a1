// Where the program keeps its files: the portable and the installed layout, the seeding of the
// user's folder from the shared files, and the runner started from an installed-like prefix.
#include "U_AppLayout.h"
#include "U_XML_util.h"
#include "U_error.h"

#include "TestSupport.h"
#include "TmpfsMount.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kSamples = QStringLiteral("data reports/Przykłady/");

void CopyTree(const QString &from, const QString &to) {
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + u'/' + QDir(from).relativeFilePath(file);
        QDir().mkpath(QFileInfo(target).absolutePath());
        QVERIFY2(QFile::copy(file, target), qPrintable(target));
    }
}

// The files below a folder, relative to it, sorted.
QStringList FilesBelow(const QString &folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// A small shared folder as a package installs it: the data files, two sample reports and a demo
// database that must never be copied.
struct SharedFixture {
    QTemporaryDir Root;
    QString Shared = Root.filePath(QStringLiteral("usr/share/orvel-zestawnik"));
    QString App = Root.filePath(QStringLiteral("xdg/orvel-zestawnik"));
    SharedFixture() {
        Put(QStringLiteral("data/export.css"), "body {}\n");
        Put(QStringLiteral("data/template/default.sql"), "-- szablon\n");
        Put(QStringLiteral("data/template/default.xml"), "<szablon/>\n");
        Put(kSamples + QStringLiteral("Sprzedaż.xml"), "<raport/>\n");
        Put(kSamples + QStringLiteral("Sprzedaż.sql"), "SELECT 1\n");
        Put(QStringLiteral("demo/Hurtownia.sqlite"), "baza");
    }
    void Put(const QString &path, const QByteArray &bytes) {
        QVERIFY(WriteBytes(Shared + u'/' + path, bytes));
    }
    QByteArray User(const QString &path) const { return ReadBytes(App + u'/' + path); }
};

} // namespace

class LayoutTest : public QObject {
    Q_OBJECT
private slots:
    void detect_data();
    void detect();
    void firstStartSeedsTheUserFolder();
    void laterStartKeepsTheUsersFiles();
    void newerPackageAddsNewSamples();
    void unwritableFolderIsReported();
    void fullDiskIsReportedInTheSystemsWords();

    void installedRunner_data();
    void installedRunner();
    void appFolderOptionWins();
    void portableFolderWinsOverASharedFolderBeside();
    void sampleOnSharedDemoGivesTheBuildTreesBytes();

private:
    struct Prefix {
        QTemporaryDir Root;
        QString Bin() const { return Root.filePath(QStringLiteral("usr/bin")); }
        QString Shared() const {
            return Root.filePath(QStringLiteral("usr/share/orvel-zestawnik"));
        }
        QString Xdg() const { return Root.filePath(QStringLiteral("xdg")); }
        QString Home() const { return Root.filePath(QStringLiteral("home")); }
    };
    // An installed-like prefix: the built runner in usr/bin and the shipped files in
    // usr/share/orvel-zestawnik, laid out as the install rules lay them.
    static void Install(const Prefix &p);
    struct Outcome {
        int Status = -1;
        QString Out;
        QString Err;
    };
    static Outcome Run(const QString &program, const QStringList &args, const QString &xdg,
                       const QString &home);
};

void LayoutTest::detect_data() {
    QTest::addColumn<QStringList>("folders"); // made below a temporary root
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("app");
    QTest::addColumn<QString>("plugins");
    QTest::addColumn<QString>("demo");

    const QStringList prefix{"usr/bin", "usr/share/orvel-zestawnik"};
    QTest::newRow("portable folder") << QStringList{"Zestawnik/data"} << "Zestawnik"
                                     << "/x" << false << "Zestawnik/"
                                     << "Zestawnik/"
                                     << "Zestawnik/data/demo/";
    QTest::newRow("folder with nothing beside is portable")
        << QStringList{"build/bin"} << "build/bin"
        << "/x" << false << "build/bin/"
        << "build/bin/"
        << "build/bin/data/demo/";
    QTest::newRow("own data beats a shared folder beside")
        << (prefix + QStringList{"usr/bin/data"}) << "usr/bin"
        << "/x" << false << "usr/bin/"
        << "usr/bin/"
        << "usr/bin/data/demo/";
    QTest::newRow("installed, XDG_DATA_HOME set") << prefix << "usr/bin"
                                                  << "/x/dane" << true << "/x/dane/orvel-zestawnik/"
                                                  << "usr/lib/orvel-zestawnik/"
                                                  << "usr/share/orvel-zestawnik/demo/";
    QTest::newRow("installed, XDG_DATA_HOME empty")
        << prefix << "usr/bin"
        << "" << true << "home/.local/share/orvel-zestawnik/"
        << "usr/lib/orvel-zestawnik/"
        << "usr/share/orvel-zestawnik/demo/";
    QTest::newRow("installed, relative XDG_DATA_HOME ignored")
        << prefix << "usr/bin"
        << "dane" << true << "home/.local/share/orvel-zestawnik/"
        << "usr/lib/orvel-zestawnik/"
        << "usr/share/orvel-zestawnik/demo/";
}

void LayoutTest::detect() {
    QFETCH(QStringList, folders);
    QFETCH(QString, executable);
    QFETCH(QString, xdg);
    QFETCH(bool, installed);
    QFETCH(QString, app);
    QFETCH(QString, plugins);
    QFETCH(QString, demo);
    QTemporaryDir root;
    for (const QString &f : folders)
        QVERIFY(QDir(root.path()).mkpath(f));
    const auto full = [&](const QString &p) {
        return p.startsWith(u'/') ? p : root.path() + u'/' + p;
    };

    const TOrvel_AppLayout layout =
        DetectAppLayout(full(executable), xdg, root.filePath(QStringLiteral("home")));
    QCOMPARE(layout.Kind == TOrvel_LayoutKind::lkInstalled, installed);
    QCOMPARE(layout.AppFolder, full(app));
    QCOMPARE(layout.PluginFolder, full(plugins));
    QCOMPARE(layout.DemoFolder, full(demo));
    QCOMPARE(layout.SharedFolder,
             installed ? full(QStringLiteral("usr/share/orvel-zestawnik/")) : QString());
}

void LayoutTest::firstStartSeedsTheUserFolder() {
    SharedFixture f;
    const QStringList copied = SeedAppFolder(f.Shared, f.App);

    const QStringList expected{"data/export.css",           "data/settings.xml",
                               "data/template/default.sql", "data/template/default.xml",
                               kSamples + "Sprzedaż.sql",   kSamples + "Sprzedaż.xml"};
    QStringList all = expected + QStringList{SeededFilesListName()};
    all.sort();
    QCOMPARE(FilesBelow(f.App), all);
    QStringList sortedCopied = copied;
    sortedCopied.sort();
    QStringList sortedExpected = expected;
    sortedExpected.sort();
    QCOMPARE(sortedCopied, sortedExpected);
    QCOMPARE(f.User(kSamples + "Sprzedaż.sql"), QByteArray("SELECT 1\n"));
    // The preferences start empty: a document with nothing but its root.
    TOrvel_XML_util prefs;
    QVERIFY(prefs.LoadFromFile(f.App + QStringLiteral("/data/settings.xml")));
    QCOMPARE(ElementName(prefs.RootElement()), QStringLiteral("Zestawnik"));
    QVERIFY(!FirstChildElement(prefs.RootElement()));
    // The copies are the user's to edit, whatever the shared files' modes.
    QVERIFY(QFileInfo(f.App + QStringLiteral("/data/export.css")).permissions() &
            QFile::WriteOwner);
}

void LayoutTest::laterStartKeepsTheUsersFiles() {
    SharedFixture f;
    SeedAppFolder(f.Shared, f.App);
    QVERIFY(WriteBytes(f.App + "/data/export.css", "body { color: red }\n"));
    QVERIFY(WriteBytes(f.App + "/" + kSamples + "Sprzedaż.sql", "SELECT 2\n"));
    QVERIFY(WriteBytes(f.App + "/data/settings.xml", "<Zestawnik><Export/></Zestawnik>"));
    // A sample the user removed stays removed.
    QVERIFY(QFile::remove(f.App + "/" + kSamples + "Sprzedaż.xml"));

    QCOMPARE(SeedAppFolder(f.Shared, f.App), QStringList());
    QCOMPARE(f.User("data/export.css"), QByteArray("body { color: red }\n"));
    QCOMPARE(f.User(kSamples + "Sprzedaż.sql"), QByteArray("SELECT 2\n"));
    QCOMPARE(f.User("data/settings.xml"), QByteArray("<Zestawnik><Export/></Zestawnik>"));
    QVERIFY(!QFileInfo::exists(f.App + "/" + kSamples + "Sprzedaż.xml"));
}

void LayoutTest::newerPackageAddsNewSamples() {
    SharedFixture f;
    SeedAppFolder(f.Shared, f.App);
    QVERIFY(WriteBytes(f.App + "/" + kSamples + "Sprzedaż.sql", "SELECT 2\n"));
    // The newer package changes a sample the user has and brings a new one, in a new sub-folder.
    f.Put(kSamples + QStringLiteral("Sprzedaż.sql"), "SELECT 3\n");
    f.Put(kSamples + QStringLiteral("Kadry/Urlopy.xml"), "<raport/>\n");
    f.Put(kSamples + QStringLiteral("Kadry/Urlopy.sql"), "SELECT 4\n");

    QStringList copied = SeedAppFolder(f.Shared, f.App);
    copied.sort();
    QCOMPARE(copied, (QStringList{kSamples + "Kadry/Urlopy.sql", kSamples + "Kadry/Urlopy.xml"}));
    QCOMPARE(f.User(kSamples + "Kadry/Urlopy.sql"), QByteArray("SELECT 4\n"));
    QCOMPARE(f.User(kSamples + "Sprzedaż.sql"), QByteArray("SELECT 2\n"));
    // Offered once: a third start copies nothing.
    QCOMPARE(SeedAppFolder(f.Shared, f.App), QStringList());
}

void LayoutTest::unwritableFolderIsReported() {
    SharedFixture f;
    // A file where the folder should be: no user, not even the superuser, can make it.
    QVERIFY(WriteBytes(f.Root.filePath(QStringLiteral("plik")), "x"));
    const QString app = f.Root.filePath(QStringLiteral("plik/orvel-zestawnik"));
    try {
        SeedAppFolder(f.Shared, app);
        QFAIL("seeding did not fail");
    } catch (const EOrvelError &e) {
        QCOMPARE(e.message(), QStringLiteral("Nie można utworzyć folderu '%1'.").arg(app));
    }
}

// A disk that fills while the user's folder is seeded: the system's reason, and no half copy.
void LayoutTest::fullDiskIsReportedInTheSystemsWords() {
    SharedFixture f;
    TmpfsMount disk(QStringLiteral("256k"));
    REQUIRE_TMPFS(disk);
    QVERIFY(disk.Fill(QStringLiteral("zapchaj")));
    const QString app = disk.FilePath(QStringLiteral("orvel-zestawnik"));
    try {
        SeedAppFolder(f.Shared, app);
        QFAIL("seeding did not fail");
    } catch (const EOrvelError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("Brak miejsca na urządzeniu")),
                 qPrintable(e.message()));
        QVERIFY2(!e.message().contains(QStringLiteral("Unknown error")), qPrintable(e.message()));
    }
    QDirIterator it(app, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        QVERIFY2(file.size() > 0, qPrintable(file.filePath()));
    }
}

void LayoutTest::Install(const Prefix &p) {
    QVERIFY(QDir().mkpath(p.Bin()));
    QVERIFY(QFile::copy(BuiltAppDir() + QStringLiteral("/orvel-zestawnik-cli"),
                        p.Bin() + QStringLiteral("/orvel-zestawnik-cli")));
    CopyTree(SourceDir() + QStringLiteral("/data/template"), p.Shared() + "/data/template");
    QVERIFY(QFile::copy(SourceDir() + QStringLiteral("/data/export.css"),
                        p.Shared() + "/data/export.css"));
    CopyTree(SourceDir() + QStringLiteral("/data/data reports/Przykłady"),
             p.Shared() + "/data reports/Przykłady");
    CopyTree(BuiltAppDir() + QStringLiteral("/data/demo"), p.Shared() + "/demo");
}

LayoutTest::Outcome LayoutTest::Run(const QString &program, const QStringList &args,
                                    const QString &xdg, const QString &home) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    if (!xdg.isNull())
        env.insert(QStringLiteral("XDG_DATA_HOME"), xdg);
    env.insert(QStringLiteral("HOME"), home);
    process.setProcessEnvironment(env);
    process.start(program, args);
    Outcome o;
    if (!process.waitForFinished(120000))
        return o;
    o.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    o.Out = QString::fromUtf8(process.readAllStandardOutput());
    o.Err = QString::fromUtf8(process.readAllStandardError());
    return o;
}

void LayoutTest::installedRunner_data() {
    QTest::addColumn<bool>("xdgSet");
    QTest::addColumn<QString>("app"); // relative to the temporary root
    QTest::newRow("XDG_DATA_HOME") << true << "xdg/orvel-zestawnik";
    QTest::newRow("default under the home folder") << false << "home/.local/share/orvel-zestawnik";
}

void LayoutTest::installedRunner() {
    QFETCH(bool, xdgSet);
    QFETCH(QString, app);
    Prefix p;
    Install(p);
    const QString cli = p.Bin() + QStringLiteral("/orvel-zestawnik-cli");
    const Outcome o = Run(cli, {QStringLiteral("list")}, xdgSet ? p.Xdg() : QString(), p.Home());
    QVERIFY2(o.Status == 0, qPrintable(o.Err));
    QVERIFY2(o.Out.contains(QStringLiteral("Przykłady/\n")), qPrintable(o.Out));
    QVERIFY(o.Out.contains(QStringLiteral("  Sprzedaż w okresie\n")));

    const QString folder = p.Root.filePath(app);
    QVERIFY(QFileInfo::exists(folder + "/data/settings.xml"));
    QVERIFY(QFileInfo::exists(folder + "/data/template/default.sql"));
    QVERIFY(QFileInfo::exists(folder + "/data/export.css"));
    QCOMPARE(FilesBelow(folder + "/" + kSamples),
             FilesBelow(SourceDir() + QStringLiteral("/data/data reports/Przykłady")));
    // The demo databases are read where the package put them, never copied.
    QVERIFY(!QFileInfo::exists(folder + "/data/demo"));
}

void LayoutTest::appFolderOptionWins() {
    Prefix p;
    Install(p);
    const QString own = p.Root.filePath(QStringLiteral("moje"));
    QVERIFY(WriteBytes(own + QStringLiteral("/data reports/Własne/Raport.xml"), "<raport/>"));
    const Outcome o =
        Run(p.Bin() + QStringLiteral("/orvel-zestawnik-cli"),
            {QStringLiteral("--app-folder"), own, QStringLiteral("list")}, p.Xdg(), p.Home());
    QVERIFY2(o.Status == 0, qPrintable(o.Err));
    QCOMPARE(o.Out, QStringLiteral("Własne/\n  Raport\n"));
    // Nothing is seeded anywhere: neither the user's folder nor the given one.
    QVERIFY(!QFileInfo::exists(p.Xdg()));
    QVERIFY(!QFileInfo::exists(own + "/data reports/Przykłady"));
}

void LayoutTest::portableFolderWinsOverASharedFolderBeside() {
    Prefix p;
    Install(p);
    // The runner's folder gets a "data" of its own: a copied folder, portable again.
    QVERIFY(WriteBytes(p.Bin() + QStringLiteral("/data reports/Obok/Raport.xml"), "<raport/>"));
    QVERIFY(QDir().mkpath(p.Bin() + QStringLiteral("/data")));
    const Outcome o = Run(p.Bin() + QStringLiteral("/orvel-zestawnik-cli"),
                          {QStringLiteral("list")}, p.Xdg(), p.Home());
    QVERIFY2(o.Status == 0, qPrintable(o.Err));
    QCOMPARE(o.Out, QStringLiteral("Obok/\n  Raport\n"));
    QVERIFY(!QFileInfo::exists(p.Xdg()));
}

void LayoutTest::sampleOnSharedDemoGivesTheBuildTreesBytes() {
    Prefix p;
    Install(p);
    const QStringList values{QStringLiteral("--set"), QStringLiteral("Od=20240101"),
                             QStringLiteral("--set"), QStringLiteral("Do=20240331"),
                             QStringLiteral("--set"), QStringLiteral("Grupowanie=1")};
    const QString installedCsv = p.Root.filePath(QStringLiteral("zainstalowany.csv"));
    const QString builtCsv = p.Root.filePath(QStringLiteral("drzewo.csv"));
    Outcome o =
        Run(p.Bin() + QStringLiteral("/orvel-zestawnik-cli"),
            QStringList{"run", "Przykłady/Sprzedaż w okresie"} + values +
                QStringList{"--server", "sqlite:" + p.Shared() + "/demo", "--csv", installedCsv},
            p.Xdg(), p.Home());
    QVERIFY2(o.Status == 0, qPrintable(o.Err));
    // A build folder keeps a developer's older copy of a sample, so its runner is given the
    // source's definition: the one the installed runner was seeded with.
    const QString source =
        SourceDir() + QStringLiteral("/data/data reports/Przykłady/Sprzedaż w okresie.xml");
    o = Run(BuiltAppDir() + QStringLiteral("/orvel-zestawnik-cli"),
            QStringList{"run", source} + values +
                QStringList{"--server", "sqlite:data/demo", "--csv", builtCsv},
            p.Xdg(), p.Home());
    QVERIFY2(o.Status == 0, qPrintable(o.Err));
    QVERIFY(ReadBytes(installedCsv).size() > 100);
    QCOMPARE(ReadBytes(installedCsv), ReadBytes(builtCsv));
}

QTEST_GUILESS_MAIN(LayoutTest)
#include "test_layout.moc"
