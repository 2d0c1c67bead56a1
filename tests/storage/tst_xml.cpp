#include "StorageTests.h"
#include "TestSupport.h"
#include "U_XML_util.h"
#include "U_error.h"

#include <QtTest>

#include <iconv.h>

namespace {
const QByteArray kDecl = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>";

// The fixture file in a named encoding, made by the platform's converter in one call.
QByteArray InEncoding(const QString &text, const QByteArray &encoding) {
    iconv_t cd = iconv_open(encoding.constData(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray in = text.toUtf8();
    QByteArray out(in.size() * 8 + 16, '\0');
    char *inp = in.data();
    char *outp = out.data();
    size_t inLeft = size_t(in.size()), outLeft = size_t(out.size());
    const bool ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != size_t(-1) &&
                    iconv(cd, nullptr, nullptr, &outp, &outLeft) != size_t(-1);
    iconv_close(cd);
    return ok ? out.left(out.size() - qsizetype(outLeft)) : QByteArray();
}
} // namespace

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
        QTest::newRow("looks like a long escape") << "_x0001F600_"
                                                  << "_x005F_x0001F600_";
        QTest::newRow("escape completed by the next one") << "_x0041 a"
                                                          << "_x005F_x0041_x0020_a";
        QTest::newRow("U+0000") << QString("a") + QChar(0) + "b"
                                << "a_x0000_b";
        QTest::newRow("beyond the BMP") << "a😀"
                                        << "a_x0001F600_";
        QTest::newRow("too large for a code point") << "_x12345678_"
                                                    << "_x12345678_";
        QTest::newRow("not hexadecimal") << "_x00G1_"
                                         << "_x00G1_";
        QTest::newRow("sign is no digit") << "_x+041_"
                                          << "_x_x002B_041_";
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

    // Decoding is the exact inverse of encoding, whatever the name holds.
    void escapedNamesRoundTrip_data() {
        QTest::addColumn<QString>("name");
        const QStringList names{
            "_x",      "_x_",        "__x0041_",    "_x0041",    "x_x0041_", "_x0041__x0042_",
            "_x005F_", "_x0001F600", "_x00000041_", "a _x0020_", "_xD800_"};
        for (const QString &name : names)
            QTest::newRow(qPrintable(name)) << name;
        QTest::newRow("U+FEFF") << QString("a") + QChar(0xFEFF) + "b";
        QTest::newRow("lone surrogate") << QString("a") + QChar(0xD800) + "b";
        QTest::newRow("U+0000 first") << QString(QChar(0)) + "_x0000_";
    }
    void escapedNamesRoundTrip() {
        QFETCH(QString, name);
        const QString stored = EncodeElementName(name);
        QCOMPARE(DecodeElementName(stored), name);
        TOrvel_XML_util xml;
        xml.NewDocument();
        QVERIFY2(xml.AddElement(xml.RootElement(), name), qPrintable(stored));
        QCOMPARE(ElementName(FirstChildElement(xml.RootElement())), name);
    }

    // A value holding characters XML cannot carry still gives a file that loads: they become
    // U+FFFD, as in the exports.
    void controlCharactersInValues() {
        TOrvel_XML_util xml;
        xml.NewDocument();
        xml.SetValue(nullptr, "a", QString("x") + QChar(0) + QChar(1) + "y" + QChar(0xFFFE));
        const QString path = FDir.filePath("controls.xml");
        xml.SaveToFile(path);
        TOrvel_XML_util back;
        QVERIFY(back.LoadFromFile(path));
        QCOMPARE(back.GetValue("a"),
                 QString("x") + QChar(0xFFFD) + QChar(0xFFFD) + "y" + QChar(0xFFFD));
    }

    // A document saved in the encoding it declares loads again with its values. An encoding that
    // cannot be written back (UTF-7, stateful ones) is saved as UTF-8 with the declaration to
    // match. Encodings the loader itself refuses are skipped.
    void savedInDeclaredEncoding_data() {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QString>("written"); // the declaration after a save
        for (const char *name : {"UTF-8", "UTF-16", "UTF-16LE", "UTF-16BE", "UTF-32BE", "UCS-4",
                                 "ISO-8859-1", "ISO-8859-2", "windows-1250", "US-ASCII", "KOI8-R",
                                 "Shift_JIS", "EUC-JP", "GB18030", "CP852"})
            QTest::newRow(name) << QByteArray(name) << QString::fromLatin1(name);
        // The platform writes UTF-32 and UTF-32LE with a little-endian mark, which the loader
        // does not read; UTF-7 and ISO-2022 are stateful.
        for (const char *name : {"UTF-32", "UTF-32LE", "UTF-7", "ISO-2022-JP", "ISO-2022-KR"})
            QTest::newRow(name) << QByteArray(name) << QStringLiteral("utf-8");
    }
    void savedInDeclaredEncoding() {
        QFETCH(QByteArray, encoding);
        QFETCH(QString, written);
        const QString text = "<?xml version=\"1.0\" encoding=\"" + QString::fromLatin1(encoding) +
                             "\"?>\n<Zestawnik><a>x &lt; y</a></Zestawnik>\n";
        // The file as the platform encodes it, or else ASCII bytes under that declaration (which
        // the loader takes for UTF-7 and the like), or big-endian UTF-32 (which it takes for a
        // document declared UTF-32).
        const QString path = FDir.filePath("enc.xml");
        TOrvel_XML_util xml;
        bool loaded = false;
        for (const QByteArray &bytes :
             {InEncoding(text, encoding), text.toLatin1(), InEncoding(text, "UTF-32BE")}) {
            QVERIFY(WriteBytes(path, bytes));
            if ((loaded = xml.LoadFromFile(path)))
                break;
        }
        if (!loaded)
            QSKIP("the loader does not accept this encoding");
        const QString value = QString("Zażółć <&> 😀 a") + QChar(0xFEFF) + "b";
        xml.SetValue(nullptr, "c", value);
        xml.SaveToFile(path);
        const QByteArray saved = ReadBytes(path);

        TOrvel_XML_util back;
        QVERIFY2(back.LoadFromFile(path), saved.toHex(' ').left(200).constData());
        QCOMPARE(back.Encoding(), written);
        QCOMPARE(back.GetValue("a"), QStringLiteral("x < y"));
        QCOMPARE(back.GetValue("c"), value);
        back.SaveToFile(path);
        QCOMPARE(ReadBytes(path), saved); // a second save changes nothing
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
