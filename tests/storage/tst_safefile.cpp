#include "StorageTests.h"
#include "TestSupport.h"
#include "U_SafeFile.h"
#include "U_error.h"

#include <QDir>
#include <QtTest>

#include <sys/time.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The message of the EOrvelError that the action throws; empty when it throws none.
template <typename Action> QString ErrorOf(Action action) {
    try {
        action();
    } catch (const EOrvelError &e) {
        return e.message();
    }
    return QString();
}

QString Expected(const QString &path, const QString &reason) {
    return QStringLiteral("Nie można zapisać pliku \"%1\": %2").arg(path, reason);
}

mode_t ModeOf(const QString &path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

// Both ways of writing: in one go and in pieces.
void WriteBoth(const QString &path, const QByteArray &bytes, bool pieces) {
    if (!pieces) {
        SafeWriteFile(path, bytes);
        return;
    }
    TOrvel_SafeFileStream stream(path);
    stream.Write(bytes.left(2));
    stream.Write(bytes.mid(2));
    stream.Commit();
}

} // namespace

class SafeFileTest : public QObject {
    Q_OBJECT
private slots:
    void lineEnds_data() {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("lf") << QByteArray("a\nb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("crlf kept") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("lone cr") << QByteArray("a\rb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("empty lines")
            << QByteArray("a\n\nb\r\r\n") << QByteArray("a\r\n\r\nb\r\n\r\n");
        QTest::newRow("only break") << QByteArray("\n") << QByteArray("\r\n");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void lineEnds() {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        QCOMPARE(ToCrLfLines(in), out);
        QCOMPARE(ToCrLfLines(QString::fromLatin1(in)), QString::fromLatin1(out));
    }

    void writesAndReplaces() {
        QTemporaryDir dir;
        const QString path = dir.filePath("a b.txt");
        SafeWriteFile(path, "first");
        QCOMPARE(ReadBytes(path), QByteArray("first"));
        SafeWriteTextFile(path, "x\ny");
        QCOMPARE(ReadBytes(path), QByteArray("x\r\ny\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"a b.txt"});
    }

    void missingFolderNamesFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("missing/x.xml");
        try {
            SafeWriteFile(path, "x");
            QFAIL("no error");
        } catch (const EOrvelError &e) {
            QVERIFY2(e.message().contains(path), qPrintable(e.message()));
        }
    }

    // The toolkit words a few reasons in English only; the user reads the C library's wording.
    void systemReasonInTheUserLanguage_data() {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("code");
        QTest::newRow("missing") << QStringLiteral("No such file or directory") << ENOENT;
        QTest::newRow("denied") << QStringLiteral("Permission denied") << EACCES;
        QTest::newRow("full") << QStringLiteral("No space left on device") << ENOSPC;
        QTest::newRow("too many") << QStringLiteral("Too many open files") << EMFILE;
        QTest::newRow("other kept") << QStringLiteral("Filename refers to a directory") << 0;
    }
    void systemReasonInTheUserLanguage() {
        QFETCH(QString, reason);
        QFETCH(int, code);
        const QString expected = code ? QString::fromLocal8Bit(strerror(code)) : reason;
        QCOMPARE(SystemErrorReason(reason), expected);
    }

    void missingFolderGivesThePolishReason() {
        // Tests run under pl_PL.UTF-8 with the C library's Polish messages installed.
        QTemporaryDir dir;
        try {
            SafeWriteFile(dir.filePath("missing/x.csv"), "x");
            QFAIL("no error");
        } catch (const EOrvelError &e) {
            QVERIFY2(e.message().endsWith(QStringLiteral(": Nie ma takiego pliku ani katalogu")),
                     qPrintable(e.message()));
        }
    }

    void failedWriteKeepsOldFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("old.txt");
        QVERIFY(WriteBytes(path, "old content"));
        const QString error =
            WithFileSizeLimit(4096, [&] { SafeWriteFile(path, QByteArray(1 << 20, 'x')); });
        QVERIFY(error.contains(path));
        QCOMPARE(ReadBytes(path), QByteArray("old content"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.txt"});
    }

    // While a file is written, nothing new is seen in its folder: the temporary file has no name
    // until it replaces the target. Where unnamed files are refused, the temporary file carries
    // our prefix, and a failed write removes it.
    void temporaryFileHasNoNameUntilCommit_data() {
        QTest::addColumn<bool>("unnamed");
        QTest::addColumn<bool>("commit");
        QTest::newRow("unnamed, committed") << true << true;
        QTest::newRow("unnamed, abandoned") << true << false;
        QTest::newRow("named, committed") << false << true;
        QTest::newRow("named, abandoned") << false << false;
    }
    void temporaryFileHasNoNameUntilCommit() {
        QFETCH(bool, unnamed);
        QFETCH(bool, commit);
        const bool saved = TOrvel_FileTarget::UnnamedAllowed;
        TOrvel_FileTarget::UnnamedAllowed = unnamed;
        const auto restore = qScopeGuard([saved] { TOrvel_FileTarget::UnnamedAllowed = saved; });
        QTemporaryDir dir;
        const QString path = dir.filePath("wynik.csv");
        QVERIFY(WriteBytes(path, "old"));
        const auto entries = [&] {
            return QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        {
            TOrvel_SafeFileStream stream(path);
            stream.Write("new content");
            const QStringList during = entries();
            if (unnamed) {
                QCOMPARE(during, QStringList{"wynik.csv"});
            } else {
                QCOMPARE(during.size(), 2);
                QVERIFY2(during.first().startsWith(TOrvel_FileTarget::TemporaryPrefix),
                         qPrintable(during.join(u' ')));
            }
            if (commit)
                stream.Commit();
        }
        QCOMPARE(entries(), QStringList{"wynik.csv"});
        QCOMPARE(ReadBytes(path), commit ? QByteArray("new content") : QByteArray("old"));
    }

    // Temporary files that a killed process left behind are removed when their folder is written
    // next: ours only (the prefix and its tag, a regular file of this user), older than a day and
    // open in no process. Anything else stays.
    void staleTemporariesOfOursAreRemoved() {
        QTemporaryDir dir;
        const QString prefix = QString::fromLatin1(TOrvel_FileTarget::TemporaryPrefix);
        struct Case {
            QString Name;
            int AgeHours;
            bool HeldOpen;
            bool Removed;
        };
        const Case cases[] = {
            {prefix + "a1b2c3d4-wynik.csv", 30, false, true},
            {prefix + "e5f6g7h8-wynik.xlsx", 25, false, true},
            {prefix + "young123-wynik.csv", 23, false, false},
            {prefix + "heldopen-wynik.csv", 30, true, false},
            {prefix + "short", 30, false, false},
            {".wynik.csv.AbCdEf", 30, false, false},
            {"wynik.csv", 30, false, false},
        };
        std::vector<std::unique_ptr<QFile>> held;
        for (const Case &c : cases) {
            const QString path = dir.filePath(c.Name);
            QVERIFY(WriteBytes(path, "leftover"));
            const QDateTime when = QDateTime::currentDateTime().addSecs(-3600LL * c.AgeHours);
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
            file.close();
            if (c.HeldOpen) {
                held.push_back(std::make_unique<QFile>(path));
                QVERIFY(held.back()->open(QIODevice::ReadOnly));
            }
        }
        // A folder and a link with our names are not files of ours either.
        QVERIFY(QDir(dir.path()).mkdir(prefix + "katalog1-x"));
        QVERIFY(QFile::link(dir.filePath(cases[0].Name), dir.filePath(prefix + "odnosnik-x")));
        const QDateTime old = QDateTime::currentDateTime().addDays(-2);
        const QByteArray link = QFile::encodeName(dir.filePath(prefix + "odnosnik-x"));
        const timeval times[2] = {{old.toSecsSinceEpoch(), 0}, {old.toSecsSinceEpoch(), 0}};
        QCOMPARE(lutimes(link.constData(), times), 0);

        SafeWriteFile(dir.filePath("inny.csv"), "new");
        for (const Case &c : cases)
            QVERIFY2(QFileInfo::exists(dir.filePath(c.Name)) != c.Removed, qPrintable(c.Name));
        QVERIFY(QFileInfo(dir.filePath(prefix + "katalog1-x")).isDir());
        QVERIFY(QFileInfo(dir.filePath(prefix + "odnosnik-x")).isSymLink());
    }

    void readOnlyFileIsNotReplaced() {
        if (geteuid() == 0)
            QSKIP("permissions do not stop root");
        QTemporaryDir dir;
        const QString path = dir.filePath("ro.txt");
        QVERIFY(WriteBytes(path, "old"));
        QFile::setPermissions(path, QFile::ReadOwner);
        QVERIFY_THROWS_EXCEPTION(EOrvelError, SafeWriteFile(path, "new"));
        QCOMPARE(ReadBytes(path), QByteArray("old"));
    }
};

// What a target is decides how it is written: only a regular file is replaced.
class WriteTargetTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(FDir.isValid());
        QVERIFY(WriteBytes(FDir.filePath("real.txt"), "old"));
        QVERIFY(QDir(FDir.path()).mkdir("folder"));
        QVERIFY(QFile::link(FDir.filePath("real.txt"), FDir.filePath("link.txt")));
        QVERIFY(QFile::link("folder", FDir.filePath("folderlink")));
        QVERIFY(QFile::link("missing.txt", FDir.filePath("dangling")));
    }

    void pieces_data() {
        QTest::addColumn<bool>("pieces");
        QTest::newRow("whole") << false;
        QTest::newRow("pieces") << true;
    }

    void linkIsFollowedAndKept_data() { pieces_data(); }
    void linkIsFollowedAndKept() {
        QFETCH(bool, pieces);
        WriteBoth(FDir.filePath("link.txt"), "through the link", pieces);
        QVERIFY(S_ISLNK(ModeOf(FDir.filePath("link.txt"))));
        QCOMPARE(ReadBytes(FDir.filePath("real.txt")), QByteArray("through the link"));
    }

    void danglingLinkCreatesItsTarget() {
        SafeWriteFile(FDir.filePath("dangling"), "new");
        QVERIFY(S_ISLNK(ModeOf(FDir.filePath("dangling"))));
        QCOMPARE(ReadBytes(FDir.filePath("missing.txt")), QByteArray("new"));
    }

    void replacedFileKeepsItsPermissions() {
        const QString path = FDir.filePath("mode.txt");
        QVERIFY(WriteBytes(path, "old"));
        QVERIFY(chmod(QFile::encodeName(path).constData(), 0640) == 0);
        SafeWriteFile(path, "new");
        QCOMPARE(ModeOf(path) & 07777, mode_t(0640));
    }

    void folderIsRefused_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("folder") << "folder";
        QTest::newRow("link to a folder") << "folderlink";
    }
    void folderIsRefused() {
        QFETCH(QString, name);
        const QString path = FDir.filePath(name);
        for (const bool pieces : {false, true})
            QCOMPARE(ErrorOf([&] { WriteBoth(path, "x", pieces); }),
                     Expected(path, SystemErrorText(EISDIR)));
        QCOMPARE(QDir(FDir.filePath("folder")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }

    // A reader waits on the FIFO; the export reaches it and the FIFO stays a FIFO.
    void fifoIsWrittenInPlace_data() { pieces_data(); }
    void fifoIsWrittenInPlace() {
        QFETCH(bool, pieces);
        const QString path = FDir.filePath("fifo");
        QFile::remove(path);
        QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        const int reader = open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        WriteBoth(path, "a;b\r\n", pieces);
        char buffer[64] = {};
        const ssize_t got = read(reader, buffer, sizeof buffer);
        close(reader);
        QCOMPARE(QByteArray(buffer, int(got)), QByteArray("a;b\r\n"));
        QVERIFY(S_ISFIFO(ModeOf(path)));
        QCOMPARE(QDir(FDir.path()).entryList({".fifo*"}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    void socketIsWrittenInPlace() {
        const QString path = FDir.filePath("sock");
        const int server = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        QVERIFY(native.size() < int(sizeof address.sun_path));
        memcpy(address.sun_path, native.constData(), size_t(native.size()) + 1);
        QVERIFY(bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        QVERIFY(listen(server, 1) == 0);
        SafeWriteFile(path, "to the socket");
        const int connection = accept(server, nullptr, nullptr);
        char buffer[64] = {};
        const ssize_t got = read(connection, buffer, sizeof buffer);
        close(connection);
        close(server);
        QCOMPARE(QByteArray(buffer, int(got)), QByteArray("to the socket"));
        QVERIFY(S_ISSOCK(ModeOf(path)));
    }

    // Copies of /dev/null and /dev/full (needs the right to make device nodes): the first takes
    // the bytes and stays a device, the second fails with the system's reason, not "Unknown error".
    void characterDevice_data() {
        QTest::addColumn<int>("minorNumber");
        QTest::addColumn<bool>("pieces");
        QTest::addColumn<int>("error");
        QTest::newRow("null") << 3 << false << 0;
        QTest::newRow("null in pieces") << 3 << true << 0;
        QTest::newRow("full") << 7 << false << ENOSPC;
        QTest::newRow("full in pieces") << 7 << true << ENOSPC;
    }
    void characterDevice() {
        QFETCH(int, minorNumber);
        QFETCH(bool, pieces);
        QFETCH(int, error);
        const QString path = FDir.filePath(QStringLiteral("dev%1").arg(minorNumber));
        if (!QFileInfo::exists(path) && mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666,
                                              makedev(1, unsigned(minorNumber))) != 0)
            QSKIP("device nodes cannot be made here");
        const QString message = ErrorOf([&] { WriteBoth(path, "a,b\r\n", pieces); });
        QCOMPARE(message, error ? Expected(path, SystemErrorText(error)) : QString());
        QVERIFY(S_ISCHR(ModeOf(path)));
    }

    // The reason is the system's own, in the language of the locale the tests run under.
    void reasonInUsersLanguage() {
        if (!QString::fromLocal8Bit(qgetenv("LC_ALL")).startsWith("pl_PL"))
            QSKIP("the suite runs under the Polish locale");
        QCOMPARE(SystemErrorText(ENOSPC), QStringLiteral("Brak miejsca na urządzeniu"));
        QCOMPARE(SystemErrorText(EISDIR), QStringLiteral("Jest katalogiem"));
    }

    // A regular file on a full disk (here: past the file-size limit) keeps its old contents and
    // names the reason.
    void failedWriteNamesTheReason() {
        const QString path = FDir.filePath("big.txt");
        QVERIFY(WriteBytes(path, "old content"));
        const QString error =
            WithFileSizeLimit(4096, [&] { SafeWriteFile(path, QByteArray(1 << 20, 'x')); });
        QCOMPARE(error, Expected(path, SystemErrorText(EFBIG)));
        QCOMPARE(ReadBytes(path), QByteArray("old content"));
    }

private:
    QTemporaryDir FDir;
};

std::unique_ptr<QObject> MakeWriteTargetTest() {
    return std::make_unique<WriteTargetTest>();
}

std::unique_ptr<QObject> MakeSafeFileTest() {
    return std::make_unique<SafeFileTest>();
}
#include "tst_safefile.moc"
