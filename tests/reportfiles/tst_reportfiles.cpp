#include "TestSupport.h"
#include "U_ParamInput.h"
#include "U_ReportFiles.h"
#include "U_error.h"
#include "U_locale.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {
const QByteArray kDecl = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n";

const QByteArray kDefinition = R"(<?xml version="1.0" encoding="utf-8" standalone="yes"?>
<Zestawnik>
  <version> 1.5 </version>
  <defaultdb> Magazyn </defaultdb>
  <params>
    <item><name>Od</name><type>DATE</type><desc>Data od</desc></item>
    <note>skipped</note>
    <item>
      <name>Kod</name><type>Text</type><width>abc</width><decimal></decimal>
      <listquery>SELECT kod FROM t WHERE d = @Od</listquery><listitems>A;B</listitems>
      <key>kod</key><listfields>kod;nazwa</listfields>
    </item>
    <item><name>Kwota_2</name><type>NUMERIC</type><width>  30 </width><decimal>4</decimal><listvalues>1;2</listvalues></item>
  </params>
  <params><item><name>second</name></item></params>
</Zestawnik>
)";
} // namespace

class ReportFilesTest : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

private slots:
    void initTestCase() { SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland)); }

    void companions_data() {
        QTest::addColumn<QString>("definition");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("defaults");
        QTest::addColumn<QString>("settings");
        QTest::newRow("plain") << "/r/Obroty.xml"
                               << "/r/Obroty.sql"
                               << "/r/Obroty defaults.xml"
                               << "/r/Obroty settings.xml";
        QTest::newRow("dotted name") << "/r/Raport.2023.xml"
                                     << "/r/Raport.2023.sql"
                                     << "/r/Raport.2023 defaults.xml"
                                     << "/r/Raport.2023 settings.xml";
        QTest::newRow("dotted folder") << "/r.v2/Raport"
                                       << "/r.v2/Raport.sql"
                                       << "/r.v2/Raport defaults.xml"
                                       << "/r.v2/Raport settings.xml";
    }
    void companions() {
        QFETCH(QString, definition);
        QFETCH(QString, sql);
        QFETCH(QString, defaults);
        QFETCH(QString, settings);
        QCOMPARE(ScriptFileName(definition), sql);
        QCOMPARE(DefaultsFileName(definition), defaults);
        QCOMPARE(SettingsFileName(definition), settings);
    }

    void readsDefinition() {
        const QString path = FDir.filePath("Obroty.xml");
        QVERIFY(WriteBytes(path, kDefinition));
        TOrvel_XML_util doc;
        TOrvel_ReportDefinition def;
        QVERIFY(ReadDefinition(doc, path, def));
        QCOMPARE(def.VersionText, QStringLiteral("1.5"));
        QCOMPARE(def.Version, 1.5f);
        QCOMPARE(def.DefaultDb, QStringLiteral("Magazyn"));
        QCOMPARE(def.ScriptFile, FDir.filePath("Obroty.sql"));
        QCOMPARE(def.Params.size(), size_t(3)); // only the first params counts

        const TOrvel_ParamData &od = def.Params[0];
        QCOMPARE(od.name, QStringLiteral("Od"));
        QCOMPARE(od.type, TOrvel_ParamType::ptDate);
        QCOMPARE(od.desc, QStringLiteral("Data od"));
        QCOMPARE(od.width, 10);
        QCOMPARE(od.decimal, 2);

        const TOrvel_ParamData &kod = def.Params[1];
        QCOMPARE(kod.name, QStringLiteral("Kod"));
        QCOMPARE(kod.type, TOrvel_ParamType::ptInt); // "Text" is no type code
        QCOMPARE(kod.width, 10);
        QCOMPARE(kod.decimal, 2);
        QCOMPARE(kod.listquery, QStringLiteral("SELECT kod FROM t WHERE d = @Od"));
        QCOMPARE(kod.listitems, QStringLiteral("A;B"));
        QCOMPARE(kod.key, QStringLiteral("kod"));
        QCOMPARE(kod.listfields, QStringLiteral("kod;nazwa"));
        QCOMPARE(kod.desc, QString()); // absent reads as empty

        const TOrvel_ParamData &num = def.Params[2];
        QCOMPARE(num.name, QStringLiteral("Kwota_2"));
        QCOMPARE(num.type, TOrvel_ParamType::ptNumeric);
        QCOMPARE(num.width, 30);
        QCOMPARE(num.decimal, 4);
        QCOMPARE(num.listvalues, QStringLiteral("1;2"));
    }

    void queryElementNamesScript() {
        const QString path = FDir.filePath("Q.xml");
        WriteBytes(path, "<Zestawnik><version>1</version><query> inne.sql </query></Zestawnik>");
        TOrvel_XML_util doc;
        TOrvel_ReportDefinition def;
        QVERIFY(ReadDefinition(doc, path, def));
        QCOMPARE(def.ScriptFile, QStringLiteral("inne.sql"));
        QVERIFY(def.Params.empty());
    }

    void version_data() {
        QTest::addColumn<QByteArray>("element");
        QTest::addColumn<QString>("error"); // empty: loads
        QTest::newRow("absent") << QByteArray() << "'' is not a valid floating point value";
        QTest::newRow("empty") << QByteArray("<version> </version>")
                               << "'' is not a valid floating point value";
        QTest::newRow("not a number")
            << QByteArray("<version>1.x</version>") << "'1,x' is not a valid floating point value";
        QTest::newRow("two dots") << QByteArray("<version>1.0.2</version>")
                                  << "'1,0,2' is not a valid floating point value";
        QTest::newRow("comma") << QByteArray("<version>2,5</version>") << "";
        QTest::newRow("integer") << QByteArray("<version>3</version>") << "";
    }
    void version() {
        QFETCH(QByteArray, element);
        QFETCH(QString, error);
        const QString path = FDir.filePath("V.xml");
        WriteBytes(path, "<Zestawnik>" + element + "</Zestawnik>");
        TOrvel_XML_util doc;
        TOrvel_ReportDefinition def;
        try {
            QVERIFY(ReadDefinition(doc, path, def));
            QVERIFY2(error.isEmpty(), "no error raised");
        } catch (const EOrvelError &e) {
            QCOMPARE(e.message(), error);
        }
    }

    // The name goes verbatim into the DECLARE block run before every list query: anything but a
    // plain identifier fails the load, naming the item.
    void invalidParamName_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("error");
        QTest::newRow("injection") << "<name>x INT; DROP TABLE T; --</name>"
                                   << "Nieprawidłowa nazwa parametru: 'x INT; DROP TABLE T; --'";
        QTest::newRow("blank around") << "<name> Kod</name>"
                                      << "Nieprawidłowa nazwa parametru: ' Kod'";
        QTest::newRow("absent") << "<type>INT</type>"
                                << "Nieprawidłowa nazwa parametru: ''";
        QTest::newRow("with @") << "<name>@Rok</name>"
                                << "Nieprawidłowa nazwa parametru: '@Rok'";
        QTest::newRow("Polish") << "<name>Żółć_1</name>"
                                << "";
        // One variable on the server: both assignments would land on it.
        QTest::newRow("the first name in other letters")
            << "<name>oK</name>"
            << "Nazwa parametru 'oK' powtarza się: parametry 'Ok' i 'oK' to ta sama zmienna SQL "
               "(wielkość liter nie ma znaczenia)";
        QTest::newRow("more than letter case differs") << "<name>Ok_</name>"
                                                       << "";
    }
    void invalidParamName() {
        QFETCH(QString, item);
        QFETCH(QString, error);
        const QString path = FDir.filePath("N.xml");
        WriteBytes(path,
                   ("<Zestawnik><version>1</version><params><item><name>Ok</name></item><item>" +
                    item + "</item></params></Zestawnik>")
                       .toUtf8());
        TOrvel_XML_util doc;
        TOrvel_ReportDefinition def;
        try {
            QVERIFY(ReadDefinition(doc, path, def));
            QVERIFY2(error.isEmpty(), "no error raised");
            QCOMPARE(def.Params.size(), size_t(2));
        } catch (const EOrvelError &e) {
            QCOMPARE(e.message(), error);
        }
    }

    void unloadableDefinition_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("create");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("malformed") << QByteArray("<Zestawnik><version>1</Zestawnik>") << true;
    }
    void unloadableDefinition() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, create);
        const QString path = FDir.filePath("bad.xml");
        QFile::remove(path);
        if (create)
            WriteBytes(path, bytes);
        TOrvel_XML_util doc;
        TOrvel_ReportDefinition def;
        def.DefaultDb = "untouched";
        QVERIFY(!ReadDefinition(doc, path, def));
        QCOMPARE(def.DefaultDb, QStringLiteral("untouched"));
    }

    void splitList_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("two separators") << "A;;B" << QStringList{"A", "", "B"};
        QTest::newRow("trailing") << "A;B;" << QStringList{"A", "B"};
        QTest::newRow("line breaks") << "A\r\nB\nC\rD" << QStringList{"A", "B", "C", "D"};
        QTest::newRow("separator and break") << "A;\r\nB" << QStringList{"A", "", "B"};
        QTest::newRow("only separator") << ";" << QStringList{""};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("one") << "A" << QStringList{"A"};
    }
    void splitList() {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);
        QCOMPARE(SplitListText(text), pieces);
    }

    void appendsItem() {
        const QString path = FDir.filePath("Add.xml");
        WriteBytes(path, "<Zestawnik><version>1</version><params><item><name>a</name></item>"
                         "</params></Zestawnik>");
        TOrvel_XML_util doc;
        QVERIFY(doc.LoadFromFile(path));
        TOrvel_ParamData p;
        p.name = "Kwota";
        p.type = TOrvel_ParamType::ptNumeric;
        p.width = 12;
        p.decimal = 0;
        p.desc = "Kwota & VAT";
        p.listitems = "x;y";
        QVERIFY(AppendDefinitionItem(doc, p));
        QCOMPARE(
            doc.GetXML(),
            QStringLiteral("<?xml version=\"1.0\"?>\n<Zestawnik><version>1</version><params>"
                           "<item><name>a</name></item><item><name>Kwota</name><type>NUMERIC"
                           "</type><width>12</width><decimal>0</decimal><desc>Kwota &amp; VAT"
                           "</desc><key></key><listquery></listquery><listitems>x;y</listitems>"
                           "<listvalues></listvalues><listfields></listfields></item></params>"
                           "</Zestawnik>\n"));
        // Read back, the item gives the same record.
        QCOMPARE(ReadParamItems(doc).back(), p);
    }

    void appendWithoutParams() {
        // The missing container is added at the end of the root, then the item into it.
        TOrvel_XML_util doc;
        doc.NewDocument();
        TOrvel_ParamData p;
        p.name = "Rok";
        QVERIFY(AppendDefinitionItem(doc, p));
        QVERIFY(doc.GetXML().contains(
            QStringLiteral("<Zestawnik><params><item><name>Rok</name><type>INT</type>")));
        QCOMPARE(ReadParamItems(doc).size(), std::size_t(1));
    }

    void readsScript_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("encoding");
        const int cp = int(TOrvel_TextEncoding::teWindows1250);
        const int u8 = int(TOrvel_TextEncoding::teUtf8);
        QTest::newRow("lf, no final break")
            << QByteArray("SELECT 1\n-- [x]") << "SELECT 1\r\n-- [x]\r\n"
            << cp;
        QTest::newRow("windows-1250")
            << QByteArray("-- \xA3\xF3\x64\x9F\r\n") << u"-- Łódź\r\n"_qs << cp;
        QTest::newRow("utf-8") << QByteArray("-- \xC5\x81\xC3\xB3\x64\xC5\xBA\r\n")
                               << u"-- Łódź\r\n"_qs << u8;
        QTest::newRow("empty") << QByteArray() << "" << cp;
    }
    void readsScript() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(int, encoding);
        const QString path = FDir.filePath("s.sql");
        WriteBytes(path, bytes);
        const TOrvel_ScriptFile script = ReadScriptFile(path);
        QVERIFY(script.Exists);
        QCOMPARE(script.Text, text);
        QCOMPARE(int(script.Encoding), encoding);
        // Written back unchanged, a file with CR LF line ends is the same bytes.
        const QString out = FDir.filePath("out.sql");
        QVERIFY(WriteScriptFile(out, script.Text, script.Encoding, script.Bom));
        if (bytes.endsWith("\r\n") || bytes.isEmpty())
            QCOMPARE(ReadBytes(out), bytes);
    }

    void missingScriptIsEmpty() {
        const TOrvel_ScriptFile script = ReadScriptFile(FDir.filePath("nope.sql"));
        QVERIFY(!script.Exists);
        QCOMPARE(script.Text, QString());
    }

    void scriptLosingCharacters() {
        const QString out = FDir.filePath("lossy.sql");
        QVERIFY(!WriteScriptFile(out, u"-- Ω\n"_qs, TOrvel_TextEncoding::teWindows1250));
        QCOMPARE(ReadBytes(out), QByteArray("-- ?\r\n"));
    }

    void savesDefaults() {
        const QString path = FDir.filePath("R defaults.xml");
        QFile::remove(path);
        TOrvel_XML_util doc;
        QVERIFY(!LoadDefaults(doc, path));
        QCOMPARE(ReadStoredValue(doc, "Od"), QString());
        SaveDefaults(doc, path, {{"Od", "20240305"}, {"Nazwa", "it's"}, {"Kwota", "NULL"}});
        QCOMPARE(ReadBytes(path), kDecl + "<Zestawnik><Od>20240305</Od><Nazwa>it's</Nazwa>"
                                          "<Kwota>NULL</Kwota></Zestawnik>\r\n");
        // Saving again in another order keeps the file's order and replaces the texts.
        TOrvel_XML_util again;
        QVERIFY(LoadDefaults(again, path));
        QCOMPARE(ReadStoredValue(again, "Nazwa"), QStringLiteral("it's"));
        SaveDefaults(again, path, {{"Kwota", "1.5"}, {"Od", "NULL"}, {"", "x"}, {"Nowy", ""}});
        QCOMPARE(ReadBytes(path), kDecl + "<Zestawnik><Od>NULL</Od><Nazwa>it's</Nazwa>"
                                          "<Kwota>1.5</Kwota><Nowy></Nowy></Zestawnik>\r\n");
        QCOMPARE(ReadStoredValue(again, ""), QString());
    }

    void defaultsUnderOtherRoot() {
        const QString path = FDir.filePath("O defaults.xml");
        WriteBytes(path, "<Inne><a>1</a></Inne>");
        TOrvel_XML_util doc;
        QVERIFY(LoadDefaults(doc, path));
        QCOMPARE(ReadStoredValue(doc, "a"), QStringLiteral("1"));
        SaveDefaults(doc, path, {{"a", "2"}});
        QCOMPARE(ReadBytes(path),
                 QByteArray("<?xml version=\"1.0\"?>\r\n<Inne><a>2</a></Inne>\r\n"));
    }

    void unwritableDefaultsKeepOldFile() {
        const QString path = FDir.filePath("W defaults.xml");
        const QByteArray old = kDecl + "<Zestawnik><a>1</a></Zestawnik>\r\n";
        WriteBytes(path, old);
        TOrvel_XML_util doc;
        QVERIFY(LoadDefaults(doc, path));
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit low = saved;
        low.rlim_cur = 4096;
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &low);
        bool thrown = false;
        try {
            SaveDefaults(doc, path, {{"a", QString(100000, u'x')}});
        } catch (const EOrvelError &) {
            thrown = true;
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QVERIFY(thrown);
        QCOMPARE(ReadBytes(path), old);
        QCOMPARE(ReadStoredValue(doc, "a").size(), 100000); // kept in memory all the same
    }
};

QTEST_GUILESS_MAIN(ReportFilesTest)
#include "tst_reportfiles.moc"
