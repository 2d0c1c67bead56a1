#include "StorageTests.h"
#include "U_TextCodec.h"

#include <QtTest>

class TextCodecTest : public QObject {
    Q_OBJECT
private slots:
    void windows1250Letters() {
        const QString letters = u"ąćęłńóśźżĄĆĘŁŃÓŚŹŻ€"_qs;
        const QByteArray bytes(
            "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F"
            "\xAF\x80");
        QCOMPARE(EncodeWindows1250(letters), bytes);
        QCOMPARE(DecodeWindows1250(bytes), letters);
    }
    void windows1250EveryByteRoundTrips() {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        bool lossy = true;
        QCOMPARE(EncodeWindows1250(DecodeWindows1250(all), &lossy), all);
        QVERIFY(!lossy);
    }
    void windows1250LacksCharacter() {
        bool lossy = false;
        QCOMPARE(EncodeWindows1250(u"a€Ωb😀"_qs, &lossy), QByteArray("a\x80?b?"));
        QVERIFY(lossy);
    }

    void scriptEncoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<bool>("bom");
        QTest::addColumn<QString>("text");
        const int cp = int(TOrvel_TextEncoding::teWindows1250);
        const int u8 = int(TOrvel_TextEncoding::teUtf8);
        QTest::newRow("ascii") << QByteArray("SELECT 1\r\n") << cp << false << "SELECT 1\r\n";
        QTest::newRow("utf-8") << QByteArray("-- Zażółć\r\n") << u8 << false << u"-- Zażółć\r\n"_qs;
        QTest::newRow("windows-1250")
            << QByteArray("-- Za\xBF\xF3\xB3\xE6") << cp << false << u"-- Zażółć"_qs;
        QTest::newRow("bom") << QByteArray("\xEF\xBB\xBFSELECT 1") << u8 << true << "SELECT 1";
        QTest::newRow("overlong is not utf-8") << QByteArray("\xC0\x80") << cp << false << u"Ŕ€"_qs;
        QTest::newRow("truncated sequence") << QByteArray("a\xC5") << cp << false << u"aĹ"_qs;
        QTest::newRow("mark only") << QByteArray("\xEF\xBB\xBF") << u8 << true << QString();
        QTest::newRow("U+FEFF inside is kept") << QByteArray("A\xEF\xBB\xBF"
                                                             "B")
                                               << u8 << false << u"A\uFEFFB"_qs;
        QTest::newRow("mark and U+FEFF inside") << QByteArray("\xEF\xBB\xBF"
                                                              "A\xEF\xBB\xBF"
                                                              "B")
                                                << u8 << true << u"A\uFEFFB"_qs;
        QTest::newRow("U+FEFF right after the mark is kept")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF") << u8 << true << u"\uFEFF"_qs;
        QTest::newRow("surrogate is not utf-8")
            << QByteArray("\xED\xA0\x80") << cp << false << u"í\u00A0€"_qs;
    }
    void scriptEncoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(bool, bom);
        QFETCH(QString, text);
        const TOrvel_DecodedText decoded = DecodeScriptText(bytes);
        QCOMPARE(int(decoded.Encoding), encoding);
        QCOMPARE(decoded.Bom, bom);
        QCOMPARE(decoded.Text, text);
        // Written back in the encoding it was read with, the file is the same bytes.
        QCOMPARE(EncodeScriptText(decoded.Text, decoded.Encoding, decoded.Bom), bytes);
    }

    void characterReferences_data() {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("iso-8859-2")
            << "ISO-8859-2" << u"Zażółć €"_qs << QByteArray("Za\xBF\xF3\xB3\xE6 &#x20AC;");
        QTest::newRow("astral") << "iso-8859-2" << u"a😀"_qs << QByteArray("a&#x1F600;");
        QTest::newRow("ascii") << "us-ascii" << u"é\u0100"_qs << QByteArray("&#xE9;&#x100;");
        QTest::newRow("latin1") << "ISO-8859-1" << u"éł"_qs << QByteArray("\xE9&#x142;");
        QTest::newRow("windows-1250") << "windows-1250" << u"ż€é"_qs << QByteArray("\xBF\x80\xE9");
        QTest::newRow("utf-8") << "utf-8" << u"ż😀"_qs << QByteArray("\xC5\xBC\xF0\x9F\x98\x80");
        QTest::newRow("no name is utf-8") << "" << u"ż"_qs << QByteArray("\xC5\xBC");
        QTest::newRow("through iconv") << "KOI8-R" << u"Жż"_qs << QByteArray("\xF6&#x17C;");
        QTest::newRow("unknown is utf-8") << "x-no-such" << u"ż"_qs << QByteArray("\xC5\xBC");
        QTest::newRow("U+FEFF in utf-8") << "utf-8" << u"a\uFEFFb"_qs
                                         << QByteArray("a\xEF\xBB\xBF"
                                                       "b");
        QTest::newRow("U+FEFF as a reference")
            << "iso-8859-2" << u"a\uFEFFb"_qs << QByteArray("a&#xFEFF;b");
        QTest::newRow("one mark for utf-32") << "UTF-32" << u"<a>"_qs
                                             << QByteArray("\xFF\xFE\x00\x00<\x00\x00\x00"
                                                           "a\x00\x00\x00>\x00\x00\x00",
                                                           16);
        QTest::newRow("U+0000 in windows-1250")
            << "windows-1250" << QString(QChar(0)) << QByteArray(1, '\0');
    }
    void characterReferences() {
        QFETCH(QString, encoding);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(EncodeWithCharRefs(text, encoding), bytes);
        // The text form holds the same references, and only characters the encoding has.
        QCOMPARE(EncodeWithCharRefs(ReplaceUnencodable(text, encoding), encoding), bytes);
    }
    void iso88592ForExports() {
        QCOMPARE(EncodeIso88592(u"Łódź & \u2013"_qs), QByteArray("\xA3\xF3\x64\xBC & &#x2013;"));
        // What XML cannot carry is U+FFFD, never an illegal reference such as "&#x0;".
        QCOMPARE(EncodeIso88592(QString("a") + QChar(0) + QChar(0x1F) + "b"),
                 QByteArray("a&#xFFFD;&#xFFFD;b"));
    }

    void writableEncodings_data() {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<bool>("writable");
        QTest::newRow("none") << "" << true;
        QTest::newRow("utf-16") << "UTF-16" << true;
        QTest::newRow("utf-32") << "UTF-32" << true;
        QTest::newRow("koi8-r") << "KOI8-R" << true;
        QTest::newRow("utf-7") << "UTF-7" << false;
        QTest::newRow("iso-2022-jp") << "ISO-2022-JP" << false;
        QTest::newRow("unknown") << "x-no-such" << false;
    }
    void writableEncodings() {
        QFETCH(QString, encoding);
        QFETCH(bool, writable);
        QCOMPARE(IsWritableEncoding(encoding), writable);
    }
};

std::unique_ptr<QObject> MakeTextCodecTest() {
    return std::make_unique<TextCodecTest>();
}
#include "tst_textcodec.moc"
