#include "StorageTests.h"
#include "TestSupport.h"
#include "U_SafeFile.h"
#include "U_error.h"

#include <QDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <unistd.h>

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

std::unique_ptr<QObject> MakeSafeFileTest() {
    return std::make_unique<SafeFileTest>();
}
#include "tst_safefile.moc"
