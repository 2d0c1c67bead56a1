// The re-formatting plug-in as the definition editor uses it: LoadXml on the saved file, SaveXml
// to a sibling file, then the caller renames.
#include "PluginTests.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>
#include <QtTest>

namespace {
using XmlCall = unsigned char (*)(const char *);
}

class TinyXmlPluginTest : public QObject {
    Q_OBJECT
private:
    QLibrary FLibrary{BuiltAppDir() + QStringLiteral("/libTinyXml.so")};
    XmlCall FLoadXml = nullptr;
    XmlCall FSaveXml = nullptr;
    std::unique_ptr<QTemporaryDir> FDir;

    QString Path(const QString &name) const { return FDir->filePath(name); }
    bool Load(const QString &path) { return FLoadXml(QFile::encodeName(path).constData()) != 0; }
    bool Save(const QString &path) { return FSaveXml(QFile::encodeName(path).constData()) != 0; }
    QStringList Entries() const {
        return QDir(FDir->path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

private slots:
    void initTestCase() {
        QVERIFY2(FLibrary.load(), qPrintable(FLibrary.errorString()));
        FLoadXml = reinterpret_cast<XmlCall>(FLibrary.resolve("LoadXml"));
        FSaveXml = reinterpret_cast<XmlCall>(FLibrary.resolve("SaveXml"));
        QVERIFY(FLoadXml && FSaveXml);
    }
    void init() {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
    }

    void reformat_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("definition on one line")
            << QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n"
                          "<Zestawnik><version>1.0</version><defaultdb>Kadry</defaultdb><params>"
                          "<item><name>rok</name><type>INT</type><desc>Rok \xC5\xBC\xC3\xB3\xC5\x82"
                          "ty</desc><key></key></item></params></Zestawnik>\n")
            << QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                          "<Zestawnik>\r\n"
                          "  <version>1.0</version>\r\n"
                          "  <defaultdb>Kadry</defaultdb>\r\n"
                          "  <params>\r\n"
                          "    <item>\r\n"
                          "      <name>rok</name>\r\n"
                          "      <type>INT</type>\r\n"
                          "      <desc>Rok \xC5\xBC\xC3\xB3\xC5\x82ty</desc>\r\n"
                          "      <key/>\r\n"
                          "    </item>\r\n"
                          "  </params>\r\n"
                          "</Zestawnik>\r\n");
        // Bytes and references pass through untouched, whatever the declared encoding.
        QTest::newRow("single-byte encoding and references")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?><a><b>\xA3\xF3\x64\xBC "
                          "&#x141; &amp; &lt;&gt;</b></a>")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\r\n<a>\r\n"
                          "  <b>\xA3\xF3\x64\xBC &#x141; &amp; &lt;&gt;</b>\r\n</a>\r\n");
        QTest::newRow("no declaration is added")
            << QByteArray("<a><b/></a>") << QByteArray("<a>\r\n  <b/>\r\n</a>\r\n");
        QTest::newRow("byte-order mark kept")
            << QByteArray("\xEF\xBB\xBF<a><b>1</b></a>")
            << QByteArray("\xEF\xBB\xBF<a>\r\n  <b>1</b>\r\n</a>\r\n");
        QTest::newRow("double quote in a single-quoted attribute")
            << QByteArray("<a x='say \"hi\"' y=\"it's\"/>")
            << QByteArray("<a x=\"say &quot;hi&quot;\" y=\"it's\"/>\r\n");
        QTest::newRow("doctype, comments and CDATA kept")
            << QByteArray("<!DOCTYPE a><!-- c --><a><q><![CDATA[SELECT 1 < 2]]></q><!--x--></a>")
            << QByteArray("<!DOCTYPE a>\r\n<!-- c -->\r\n<a>\r\n"
                          "  <q><![CDATA[SELECT 1 < 2]]></q>\r\n  <!--x-->\r\n</a>\r\n");
        QTest::newRow("line breaks inside a text become CR LF")
            << QByteArray("<a><q>SELECT 1\nFROM t\r\nWHERE x\r</q></a>")
            << QByteArray("<a>\r\n  <q>SELECT 1\r\nFROM t\r\nWHERE x\r\n</q>\r\n</a>\r\n");
        QTest::newRow("old indentation replaced, blanks inside texts kept")
            << QByteArray("<a>\n\t<b>  x  </b>\n\t\t<c a=\"1\">\n<d>y</d></c>\n</a>\n")
            << QByteArray("<a>\r\n  <b>  x  </b>\r\n  <c a=\"1\">\r\n    <d>y</d>\r\n  </c>\r\n"
                          "</a>\r\n");
    }
    void reformat() {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QVERIFY(WriteBytes(Path("r.xml"), input));
        QVERIFY(Load(Path("r.xml")));
        QVERIFY(Save(Path("r.xmltmp")));
        QCOMPARE(ReadBytes(Path("r.xmltmp")), expected);
        QCOMPARE(ReadBytes(Path("r.xml")), input);
        QCOMPARE(Entries(), QStringList({"r.xml", "r.xmltmp"})); // no temporary left behind
        // The kept document can be written again, over an existing file.
        QVERIFY(WriteBytes(Path("again.xml"), "old"));
        QVERIFY(Save(Path("again.xml")));
        QCOMPARE(ReadBytes(Path("again.xml")), expected);
    }

    // A file that cannot be laid out again without loss is refused and never touched; the
    // refusal also drops the document of an earlier load, so SaveXml cannot write stale content.
    void refuse_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("unclosed element") << QByteArray("<a><b>x</a>");
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("SQL script") << QByteArray("SELECT 1\r\n");
        QTest::newRow("text beside the root") << QByteArray("SELECT '<a/>'\r\n");
        QTest::newRow("two roots") << QByteArray("<a/><b/>");
        QTest::newRow("element holding only blanks") << QByteArray("<a><desc> </desc></a>");
        QTest::newRow("mixed content") << QByteArray("<a>x <b>y</b> <i>z</i></a>");
        QTest::newRow("zero byte") << QByteArray("<a>x</a>\0<b/>", 13);
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFE<\0a\0/\0>\0", 10);
    }
    void refuse() {
        QFETCH(QByteArray, input);
        QVERIFY(WriteBytes(Path("good.xml"), "<a><b>1</b></a>"));
        QVERIFY(Load(Path("good.xml")));
        QVERIFY(WriteBytes(Path("r.xml"), input));
        QVERIFY(WriteBytes(Path("out.xml"), "keep"));
        QVERIFY(!Load(Path("r.xml")));
        QVERIFY(!Save(Path("out.xml")));
        QCOMPARE(ReadBytes(Path("r.xml")), input);
        QCOMPARE(ReadBytes(Path("out.xml")), QByteArray("keep"));
        QCOMPARE(Entries(), QStringList({"good.xml", "out.xml", "r.xml"}));
    }

    void missingFileOrNoPath() {
        QVERIFY(!Load(Path("none.xml")));
        QCOMPARE(FLoadXml(nullptr), 0);
        QCOMPARE(FSaveXml(nullptr), 0);
        QVERIFY(!Save(Path("out.xml")));
        QVERIFY(Entries().isEmpty());
    }

    void failedSaveChangesNothing() {
        QVERIFY(WriteBytes(Path("r.xml"), "<a><b>1</b></a>"));
        QVERIFY(Load(Path("r.xml")));
        QVERIFY(!Save(Path("missing folder/out.xml")));
        QVERIFY(QDir(FDir->path()).mkdir("taken"));
        QVERIFY(WriteBytes(Path("taken/inner"), "x"));
        QVERIFY(!Save(Path("taken"))); // a folder of that name cannot be replaced by a file
        QCOMPARE(ReadBytes(Path("taken/inner")), QByteArray("x"));
        QCOMPARE(Entries(), QStringList({"r.xml", "taken"}));
    }
};

int RunTinyXmlPluginTests(int argc, char **argv) {
    TinyXmlPluginTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TinyXmlPluginTest.moc"
