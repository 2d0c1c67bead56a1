#include "StorageTests.h"
#include "TestSupport.h"
#include "U_XML_util.h"
#include "U_error.h"

#include <QtTest>

namespace {
const QByteArray kDecl = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>";
}

class XmlUtilTest : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

    QString load(TOrvel_XML_util &xml, const QByteArray &bytes, bool expectParsed = true) {
        const QString path = FDir.filePath("in.xml");
        WriteBytes(path, bytes);
        const bool parsed = xml.LoadFromFile(path);
        if (parsed != expectParsed)
            qWarning("parse result %d", parsed);
        return path;
    }

private slots:
    void newDocument() {
        TOrvel_XML_util xml;
        QVERIFY(!xml.LoadFromFile(FDir.filePath("none.xml")));
        QCOMPARE(xml.GetXML(), QString::fromUtf8(kDecl + "\n<Zestawnik></Zestawnik>\n"));
    }

    void savesExactBytes() {
        TOrvel_XML_util xml;
        xml.LoadFromFile(FDir.filePath("none.xml"));
        QVERIFY(xml.SetValue(nullptr, "Export/CSV/Separator", ";"));
        const QString out = FDir.filePath("out.xml");
        QVERIFY(xml.SaveToFile(out));
        QCOMPARE(ReadBytes(out),
                 kDecl + "\r\n<Zestawnik><Export><CSV><Separator>;</Separator></CSV></Export>"
                         "</Zestawnik>\r\n");
    }

    void writesByPathCreateOnlyMissing() {
        TOrvel_XML_util xml;
        xml.NewDocument();
        xml.SetValue(nullptr, "Connection/server", "S1");
        xml.SetValue(nullptr, "Connection/login", "sa");
        xml.SetValue(nullptr, "Connection/server", "S2");
        QVERIFY(xml.GetXML().contains("<Zestawnik><Connection><server>S2</server><login>sa</"
                                      "login></Connection></Zestawnik>"));
    }

    void escapingAndEmptyElements_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("written");
        QTest::newRow("markup") << "a<b>&\"c'"
                                << "<v>a&lt;b&gt;&amp;\"c'</v>";
        QTest::newRow("empty") << ""
                               << "<v></v>";
        QTest::newRow("cr") << "a\rb"
                            << "<v>a&#xD;b</v>";
    }
    void escapingAndEmptyElements() {
        QFETCH(QString, value);
        QFETCH(QString, written);
        TOrvel_XML_util xml;
        xml.NewDocument();
        xml.SetValue(nullptr, "v", value);
        QCOMPARE(xml.GetXML(),
                 QString::fromUtf8(kDecl) + "\n<Zestawnik>" + written + "</Zestawnik>\n");
    }

    void lineBreaksInValues_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("inFile");
        QTest::newRow("lf") << "a\nb" << QByteArray("<v>a\r\nb</v>");
        QTest::newRow("crlf") << "a\r\nb" << QByteArray("<v>a&#xD;\r\nb</v>");
    }
    void lineBreaksInValues() {
        QFETCH(QString, value);
        QFETCH(QByteArray, inFile);
        TOrvel_XML_util xml;
        xml.NewDocument();
        xml.SetValue(nullptr, "v", value);
        const QString path = FDir.filePath("lines.xml");
        xml.SaveToFile(path);
        QCOMPARE(ReadBytes(path), kDecl + "\r\n<Zestawnik>" + inFile + "</Zestawnik>\r\n");
        TOrvel_XML_util back;
        QVERIFY(back.LoadFromFile(path));
        QCOMPARE(back.GetValue("v"), value);
    }

    void rootNotZestawnik() {
        TOrvel_XML_util xml;
        load(xml, "<a/>");
        QCOMPARE(xml.GetValue("a"), QString());
        const QString before = xml.GetXML();
        QVERIFY(!xml.SetValue(nullptr, "a", "x"));
        QCOMPARE(xml.GetXML(), before);
        // With an explicit start element the write goes where it is told.
        QVERIFY(xml.SetValue(xml.RootElement(), "b", "x"));
        QCOMPARE(xml.GetValue("b"), QStringLiteral("x"));
    }

    void readsText_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("value");
        QTest::newRow("cdata") << QByteArray("<r><query><![CDATA[SELECT 1]]></query></r>")
                               << "query"
                               << "SELECT 1";
        QTest::newRow("blanks kept") << QByteArray("<r><width>  30 </width></r>") << "width"
                                     << "  30 ";
        QTest::newRow("nested, no comments")
            << QByteArray("<r><a>x<!--c--><b>y</b><?pi z?>&amp;<![CDATA[<]]></a></r>") << "a"
            << "xy&<";
        QTest::newRow("first of two") << QByteArray("<r><a>1</a><a>2</a></r>") << "a"
                                      << "1";
        QTest::newRow("case matters") << QByteArray("<r><A>1</A></r>") << "a"
                                      << "";
        QTest::newRow("deep") << QByteArray("<r><f><K><w>7</w></K></f></r>") << "f/K/w"
                              << "7";
        QTest::newRow("final slash") << QByteArray("<r><f><K>7</K></f></r>") << "f/K/"
                                     << "7";
        QTest::newRow("missing") << QByteArray("<r><f/></r>") << "f/K"
                                 << "";
    }
    void readsText() {
        QFETCH(QByteArray, file);
        QFETCH(QString, path);
        QFETCH(QString, value);
        TOrvel_XML_util xml;
        load(xml, file);
        QCOMPARE(xml.GetValue(path), value);
    }

    void emptyPathIsStart() {
        TOrvel_XML_util xml;
        load(xml, "<r><a>1</a></r>");
        TOrvel_XmlElement a = xml.FindElement("a");
        QCOMPARE(xml.FindElement("", a), a);
        QCOMPARE(xml.FindElement(""), xml.RootElement());
    }

    void unparseable_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("malformed") << QByteArray("<r><a></r>");
        QTest::newRow("text only") << QByteArray("hello");
    }
    void unparseable() {
        QFETCH(QByteArray, file);
        TOrvel_XML_util xml;
        load(xml, file, false);
        QCOMPARE(xml.GetXML(), QString::fromUtf8(kDecl + "\n<Zestawnik></Zestawnik>\n"));
    }

    // A document read from a file is written back with its own declaration, every kind of node
    // in place, and its own encoding.
    void roundTrip_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("nodes")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE r>\n<!--top-->\n"
                          "<r b=\"2\" a=\"1&amp;&quot;\">\n  <x>t</x>\n  <y/><![CDATA[a<b]]>"
                          "<!-- c --><?p d?></r>\n")
            << QByteArray(
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE r><!--top--><r b=\"2\" "
                   "a=\"1&amp;&quot;\">\n  <x>t</x>\n  <y></y><![CDATA[a<b]]><!-- c --><?p d?>"
                   "</r>\n");
        QTest::newRow("standalone no")
            << QByteArray("<?xml version=\"1.0\" standalone=\"no\"?><r/>")
            << QByteArray("<?xml version=\"1.0\" standalone=\"no\"?>\n<r></r>\n");
        QTest::newRow("no declaration") << QByteArray("<r>\xC5\xBC</r>")
                                        << QByteArray("<?xml version=\"1.0\"?>\n<r>\xC5\xBC</r>\n");
        QTest::newRow("iso-8859-2")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?><r>\xBF&#x20AC;</r>")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<r>\xBF&#x20AC;</r>\n");
        QTest::newRow("internal subset")
            << QByteArray("<!DOCTYPE r [<!ENTITY e \"v\">]><r>&e;</r>")
            << QByteArray(
                   "<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n<!ENTITY e \"v\">\n]><r>&e;</r>\n");
    }
    void roundTrip() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, written);
        TOrvel_XML_util xml;
        load(xml, file);
        QCOMPARE(xml.GetXMLBytes(), written);
    }

    void entityTextCounts() {
        TOrvel_XML_util xml;
        load(xml, "<!DOCTYPE r [<!ENTITY e \"v\">]><r><a>x&e;</a></r>");
        QCOMPARE(xml.GetValue("a"), QStringLiteral("xv"));
    }

    void addElementAppends() {
        TOrvel_XML_util xml;
        xml.NewDocument();
        TOrvel_XmlElement params = xml.AddElement(xml.RootElement(), "params");
        TOrvel_XmlElement first = xml.AddElement(params, "item");
        TOrvel_XmlElement second = xml.AddElement(params, "item");
        QVERIFY(first && second && first != second);
        QCOMPARE(FirstChildElement(params, "item"), first);
        QCOMPARE(NextSiblingElement(first, "item"), second);
        QCOMPARE(NextSiblingElement(second), nullptr);
        QCOMPARE(xml.AddElement(nullptr, "x"), nullptr);
        QVERIFY(!xml.SetElementText(nullptr, "x"));
    }

    void setElementTextReplacesEverything() {
        TOrvel_XML_util xml;
        load(xml, "<Zestawnik><a>t<b>u</b><!--c--></a></Zestawnik>");
        QVERIFY(xml.SetElementText(xml.FindElement("a"), "new"));
        QVERIFY(xml.GetXML().contains("<Zestawnik><a>new</a></Zestawnik>"));
    }

    void namesThatAreNotXmlNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stored");
        QTest::newRow("valid") << u"Kwota_netto.1"_qs << u"Kwota_netto.1"_qs;
        QTest::newRow("polish") << u"Wartość"_qs << u"Wartość"_qs;
        QTest::newRow("blank") << "Kwota netto"
                               << "Kwota_x0020_netto";
        QTest::newRow("digit first") << "1st"
                                     << "_x0031_st";
        QTest::newRow("colon") << "a:b"
                               << "a_x003A_b";
        QTest::newRow("looks escaped") << "_x0041_"
                                       << "_x005F_x0041_";
    }
    void namesThatAreNotXmlNames() {
        QFETCH(QString, name);
        QFETCH(QString, stored);
        QCOMPARE(EncodeElementName(name), stored);
        TOrvel_XML_util xml;
        xml.NewDocument();
        xml.SetValue(nullptr, "fields/" + name + "/width", "5");
        const QString path = FDir.filePath("names.xml");
        xml.SaveToFile(path);
        TOrvel_XML_util back;
        QVERIFY(back.LoadFromFile(path));
        TOrvel_XmlElement field = FirstChildElement(back.FindElement("fields"));
        QCOMPARE(ElementName(field), name);
        QCOMPARE(back.GetValue("fields/" + name + "/width"), QStringLiteral("5"));
    }

    void unwritableFileThrows() {
        TOrvel_XML_util xml;
        xml.NewDocument();
        QVERIFY_THROWS_EXCEPTION(EOrvelError, xml.SaveToFile(FDir.filePath("no/such/dir/x.xml")));
    }
};

std::unique_ptr<QObject> MakeXmlUtilTest() {
    return std::make_unique<XmlUtilTest>();
}
#include "tst_xml.moc"
