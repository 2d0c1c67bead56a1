// The three export writers on results of the embedded engine: the exact bytes of each format,
// the walk over the rows, and the failures.
#include "TestSupport.h"
#include "U_DataExport.h"
#include "U_DisplayFormat.h"
#include "U_TextCodec.h"
#include "U_XML_util.h"
#include "U_locale.h"
#include "U_utils.h"

#include <libxml/parser.h>

#include <QDir>
#include <QUrl>
#include <QtTest>

namespace {

const QDateTime kNow(QDate(2024, 1, 31), QTime(14, 5, 9));

// An application folder with a blank and capitals in its path, and a result of the embedded
// engine shown through a column model.
struct ExportFixture {
    QTemporaryDir Dir;
    QString AppFolder;
    DbConnection Connection;
    DbQuery Query{&Connection};
    TOrvel_GridColumns Columns;

    explicit ExportFixture(const QString &sql) {
        AppFolder = Dir.filePath(QStringLiteral("Moje Raporty"));
        QDir().mkpath(AppFolder + QStringLiteral("/data"));
        SetAppFolder(AppFolder);
        TOrvel_ConnectionSettings settings;
        settings.Server = QStringLiteral("sqlite:") + Dir.path();
        Connection.Open(settings);
        Query.SQL = sql;
        Query.Open();
        Columns.SetQuery(&Query);
    }
    ~ExportFixture() { SetAppFolder(QString()); }
    QString Path(const QString &name) const { return Dir.filePath(name); }

    QByteArray Export(TOrvel_DataExport &writer, const QString &name = "out") {
        writer.Now = [] { return kNow; };
        const QString path = Path(name);
        if (!writer.ExportToFile(path))
            return "export returned false";
        return ReadBytes(path);
    }
};

// Symbol, Kwota (moved before Nazwa, format "0.00"), Nazwa (caption with quotes), Flag, Uwagi
// (hidden), and the row-format column.
const QString kSample = QString::fromUtf8(
    "CREATE TABLE t (Symbol NVARCHAR(20), Nazwa NVARCHAR(40), Kwota DECIMAL(10,2), Flag BIT, "
    "Uwagi NVARCHAR(20), orvel_zestawnik_format NVARCHAR(100));"
    "INSERT INTO t VALUES ('A1', 'Ala \"ma\" kota', 12.5, 1, 'x', 'color=0000FF;fontstyle=B');"
    "INSERT INTO t VALUES ('B2', 'Zażółć 1,5 €', NULL, 0, NULL, NULL);"
    "INSERT INTO t VALUES ('C3', 'linia1' || char(13) || char(10) || 'linia2', 0, NULL, 'y', '');"
    "SELECT Symbol, Nazwa, Kwota, Flag, Uwagi, orvel_zestawnik_format FROM t ORDER BY Symbol");

void LayOutSample(TOrvel_GridColumns &c) {
    c.Move(c.FindColumn("Kwota"), 1);
    c.Field(1)->DisplayFormat = QStringLiteral("0.00");
    c.SetCaption(c.FindColumn("Nazwa"), QString::fromUtf8("Nazwa \"pełna\""));
    c.SetVisible(c.FindColumn("Uwagi"), false);
}

QByteArray Win1250(const char *utf8) {
    return EncodeWindows1250(QString::fromUtf8(utf8));
}
QByteArray Latin2(const QString &text) {
    return EncodeIso88592(text);
}

// The bytes parse as a namespace-well-formed XML document (the DTD is not fetched).
bool WellFormed(const QByteArray &bytes) {
    xmlDocPtr doc = xmlReadMemory(bytes.constData(), int(bytes.size()), "export.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc)
        return false;
    xmlFreeDoc(doc);
    return true;
}

QString XmlDate() {
    return FormatDateTime(QStringLiteral("c"), kNow, UserFormatSettings());
}

} // namespace

class ExportTest : public QObject {
    Q_OBJECT
private slots:
    void csv_data() {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("semicolon")
            << QChar(u';')
            << Win1250("\"Symbol\";\"Kwota\";\"Nazwa \"\"pełna\"\"\";\"Flag\"\r\n"
                       "\"A1\";\"12,50\";\"Ala \"\"ma\"\" kota\";\"tak\"\r\n"
                       "\"B2\";\"\";\"Zażółć 1,5 €\";\"nie\"\r\n"
                       "\"C3\";\"0,00\";\"linia1\r\nlinia2\";\"\"\r\n");
        QTest::newRow("comma") << QChar(u',')
                               << Win1250(
                                      "\"Symbol\",\"Kwota\",\"Nazwa \"\"pełna\"\"\",\"Flag\"\r\n"
                                      "\"A1\",\"12,50\",\"Ala \"\"ma\"\" kota\",\"tak\"\r\n"
                                      "\"B2\",\"\",\"Zażółć 1,5 €\",\"nie\"\r\n"
                                      "\"C3\",\"0,00\",\"linia1\r\nlinia2\",\"\"\r\n");
    }
    void csv() {
        QFETCH(QChar, separator);
        QFETCH(QByteArray, expected);
        ExportFixture f(kSample);
        LayOutSample(f.Columns);
        TOrvel_DataExport_CSV writer(f.Columns, separator, "Obroty");
        QCOMPARE(f.Export(writer), expected);
    }

    // The encodings a CSV file can be written in, byte for byte: a Polish text, a character
    // Windows-1250 lacks ("?" there) and one beyond the Basic Multilingual Plane; the UTF-8
    // byte-order mark only where it is asked for. Rows formatted in slices on several threads
    // come out the same.
    void csvEncodings_data() {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray utf8 =
            "\"Warto\xC5\x9B\xC4\x87\";\"Znak\"\r\n"
            "\"Warto\xC5\x9B\xC4\x87 netto\";\"\xE6\x97\xA5 \xF0\x9F\x98\x80\"\r\n"
            "\"\xC5\xBC\xC3\xB3\xC5\x82w\";\"\xE2\x82\xAC\"\r\n";
        QTest::newRow("windows-1250") << int(TOrvel_CsvEncoding::Windows1250)
                                      << QByteArray("\"Warto\x9C\xE6\";\"Znak\"\r\n"
                                                    "\"Warto\x9C\xE6 netto\";\"? ?\"\r\n"
                                                    "\"\xBF\xF3\xB3w\";\"\x80\"\r\n");
        QTest::newRow("utf-8") << int(TOrvel_CsvEncoding::Utf8) << utf8;
        QTest::newRow("utf-8-bom")
            << int(TOrvel_CsvEncoding::Utf8Bom) << QByteArray("\xEF\xBB\xBF") + utf8;
    }
    void csvEncodings() {
        QFETCH(int, encoding);
        QFETCH(QByteArray, expected);
        ExportFixture f(
            QString::fromUtf8("SELECT 'Wartość netto' AS \"Wartość\", '日 😀' AS Znak UNION ALL "
                              "SELECT 'żółw', '€'"));
        TOrvel_DataExport_CSV writer(f.Columns, u';', "T", TOrvel_CsvEncoding(encoding));
        QCOMPARE(f.Export(writer), expected);
        QCOMPARE(writer.GetOutputBytes(), expected);
        TOrvel_DataExport_CSV sliced(f.Columns, u';', "T", TOrvel_CsvEncoding(encoding));
        sliced.Threads = 2;
        sliced.SliceRows = 1;
        QCOMPARE(f.Export(sliced, "sliced"), expected);
    }

    // The names the preference and the runner use; a preference that names no encoding keeps
    // the old habit, Windows-1250.
    void csvEncodingNames() {
        for (const auto encoding : {TOrvel_CsvEncoding::Windows1250, TOrvel_CsvEncoding::Utf8,
                                    TOrvel_CsvEncoding::Utf8Bom})
            QCOMPARE(CsvEncodingFromName(CsvEncodingName(encoding)), encoding);
        QCOMPARE(CsvEncodingFromName("UTF-8"), TOrvel_CsvEncoding::Utf8);
        QVERIFY(!CsvEncodingFromName("utf8"));
        QVERIFY(!CsvEncodingFromName(""));
        QCOMPARE(CsvEncodingFromPreference(""), TOrvel_CsvEncoding::Windows1250);
        QCOMPARE(CsvEncodingFromPreference("latin-1"), TOrvel_CsvEncoding::Windows1250);
        QCOMPARE(CsvEncodingFromPreference(" utf-8-bom "), TOrvel_CsvEncoding::Utf8Bom);
    }

    void xml() {
        ExportFixture f(kSample);
        LayOutSample(f.Columns);
        TOrvel_DataExport_XML writer(f.Columns, "Obroty & <spółka>");
        const QString body =
            "<Zestawnik><title>Obroty &amp; &lt;spółka&gt;</title><rowcount>3</rowcount><date>" +
            XmlDate() +
            "</date><rows>"
            "<item><Symbol>A1</Symbol><Kwota>12,50</Kwota><Nazwa>Ala \"ma\" kota</Nazwa>"
            "<Flag>tak</Flag></item>"
            "<item><Symbol>B2</Symbol><Kwota></Kwota><Nazwa>Zażółć 1,5 &#x20AC;</Nazwa>"
            "<Flag>nie</Flag></item>"
            "<item><Symbol>C3</Symbol><Kwota>0,00</Kwota><Nazwa>linia1&#xD;\r\nlinia2</Nazwa>"
            "<Flag></Flag></item>"
            "</rows></Zestawnik>\r\n";
        const QByteArray out = f.Export(writer);
        QCOMPARE(out, "<?xml version=\"1.0\" encoding=\"iso-8859-2\" standalone=\"yes\"?>\r\n" +
                          Latin2(body));
        QVERIFY(WellFormed(out));
        QCOMPARE(writer.GetOutputBytes(), out);
    }

    // Field names that are no XML names are exported under the escaped form instead of failing.
    void xmlNames_data() {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("element");
        QTest::newRow("blank") << "Nazwa klienta"
                               << "Nazwa_x0020_klienta";
        QTest::newRow("leading digit") << "2024"
                                       << "_x0032_024";
        QTest::newRow("percent and parentheses") << "Marża (%)"
                                                 << "Marża_x0020__x0028__x0025__x0029_";
        QTest::newRow("slash") << "a/b"
                               << "a_x002F_b";
        QTest::newRow("colon") << "a:b"
                               << "a_x003A_b";
        QTest::newRow("letter ISO-8859-2 lacks") << "Ж"
                                                 << "_x0416_";
        QTest::newRow("valid stays") << "Cena_netto"
                                     << "Cena_netto";
    }
    void xmlNames() {
        QFETCH(QString, alias);
        QFETCH(QString, element);
        QCOMPARE(TOrvel_DataExport_XML::ExportElementName(alias), element);
        QCOMPARE(DecodeElementName(element), alias);
        ExportFixture f("SELECT 'A & B <C>' AS [" + alias + "]");
        TOrvel_DataExport_XML writer(f.Columns, "T");
        const QByteArray out = f.Export(writer);
        QVERIFY(out.contains(
            Latin2("<item><" + element + ">A &amp; B &lt;C&gt;</" + element + "></item>")));
        QVERIFY(WellFormed(out));
    }

    void xhtml() {
        ExportFixture f(kSample);
        LayOutSample(f.Columns);
        TOrvel_DataExport_XHTML writer(f.Columns, "Zysk & strata");
        const QString href = "file://" + f.AppFolder + "/data/export.css";
        QCOMPARE(writer.StyleSheetHref(), href);
        const TOrvel_FormatSettings &fs = UserFormatSettings();
        const QString html =
            "<?xml version=\"1.0\" encoding=\"iso-8859-2\" standalone=\"yes\"?>\r\n"
            "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" "
            "\"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\" >\r\n"
            "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Zysk &amp; strata</title>"
            "<link href=\"" +
            href +
            "\" type=\"text/css\" rel=\"stylesheet\" media=\"all\"></link></head>"
            "<body xml:lang=\"pl\"><p class=\"title\">Zysk &amp; strata</p>"
            "<p>Pozycji: 3. Data utworzenia: " +
            FormatDateOnly(kNow.date(), fs) + ", godzina: " + FormatTimeOnly(kNow.time(), fs) +
            "</p><table><caption>Lista pozycji</caption><tbody>"
            "<tr><th>Nr</th><th>Symbol</th><th>Kwota</th><th>Nazwa \"pełna\"</th><th>Flag</th></tr>"
            "<tr><td class=\"align_R\">1</td>"
            "<td class=\"align_L\" style=\"background-color: #FF0000;font-weight: bold;\">A1</td>"
            "<td class=\"align_R\" style=\"background-color: #FF0000;font-weight: "
            "bold;\">12,50</td>"
            "<td class=\"align_L\" style=\"background-color: #FF0000;font-weight: bold;\">"
            "Ala \"ma\" kota</td>"
            "<td class=\"align_C\" style=\"background-color: #FF0000;font-weight: bold;\">tak</td>"
            "</tr>"
            "<tr><td class=\"align_R\">2</td><td class=\"align_L\">B2</td>"
            "<td class=\"align_R\"></td><td class=\"align_L\">Zażółć 1,5 &#x20AC;</td>"
            "<td class=\"align_C\">nie</td></tr>"
            "<tr><td class=\"align_R\">3</td><td class=\"align_L\">C3</td>"
            "<td class=\"align_R\">0,00</td><td class=\"align_L\">linia1&#xD;\r\nlinia2</td>"
            "<td class=\"align_C\"></td></tr>"
            "</tbody></table><p style=\"font-size: smaller\">Wygenerowane programem "
            "<a" +
            (TOrvel_DataExport::ProductPage.isEmpty()
                 ? QString()
                 : " href=\"" + TOrvel_DataExport::ProductPage + "\"") +
            ">Orvel-Zestawnik</a> " + GetVersionString() + ". </p></body></html>\r\n";
        const QByteArray out = f.Export(writer);
        QCOMPARE(out, Latin2(html));
        QVERIFY(WellFormed(out));
        // The file is the serialised text, encoded, with CR LF line ends.
        QCOMPARE(writer.GetOutputBytes(), out);
    }

    // The row style of one format value, as the cells of its row carry it.
    void rowStyle_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("style");
        QTest::newRow("none") << ""
                              << "";
        QTest::newRow("all font styles") << "fontstyle=UBI"
                                         << "text-decoration: underline;font-weight: bold;"
                                            "font-style: italic;";
        QTest::newRow("fixed order") << "line=up;color=FFFFFF"
                                     << "background-color: #FFFFFF;border-top: #000000 1px solid;";
        QTest::newRow("colours are BGR") << "color=C0FFFF;fontcolor=FF0000"
                                         << "background-color: #FFFFC0;color: #0000FF;";
        QTest::newRow("first entry counts") << "COLOR=00FFFF;color=0000FF"
                                            << "background-color: #FFFF00;";
        QTest::newRow("lower-case style letters") << "fontstyle=bi;line=UP"
                                                  << "";
        QTest::newRow("bad colours left out") << "color=zz;fontcolor=1FFFFFF;fontstyle=B"
                                              << "font-weight: bold;";
        QTest::newRow("empty colour") << "color=;fontcolor=FFFFFF"
                                      << "color: #FFFFFF;";
    }
    void rowStyle() {
        QFETCH(QString, format);
        QFETCH(QString, style);
        ExportFixture f("SELECT 'v' AS A, '" + format + "' AS Orvel_Zestawnik_FORMAT");
        TOrvel_DataExport_XHTML writer(f.Columns, "T");
        const QByteArray out = f.Export(writer);
        const QString cell = style.isEmpty()
                                 ? QString("<td class=\"align_L\">v</td>")
                                 : "<td class=\"align_L\" style=\"" + style + "\">v</td>";
        QVERIFY2(out.contains(Latin2(cell)), out.constData());
        QVERIFY(!out.contains("Orvel_Zestawnik_FORMAT"));
    }

    // All rows in the sorted order, and afterwards the grid is where it was.
    void walkKeepsTheCurrentRow() {
        ExportFixture f(kSample);
        f.Query.Sort("Symbol DESC");
        f.Query.MoveTo(1);
        QSignalSpy moved(&f.Query, &DbQuery::currentChanged);
        TOrvel_DataExport_CSV writer(f.Columns, u',', "T");
        const QByteArray out = f.Export(writer);
        QVERIFY(out.indexOf("\"C3\"") < out.indexOf("\"B2\""));
        QVERIFY(out.indexOf("\"B2\"") < out.indexOf("\"A1\""));
        QCOMPARE(f.Query.RecNo(), 2);
        QVERIFY(!f.Query.ControlsDisabled());
        // The walk itself is not shown; only the return, if anything.
        QVERIFY(moved.count() <= 1);
    }

    void failedWriteRestoresAndNamesTheFile_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("csv") << int(TOrvel_ExportKind::ekCSV);
        QTest::newRow("xml") << int(TOrvel_ExportKind::ekXML);
        QTest::newRow("xhtml") << int(TOrvel_ExportKind::ekXHTML);
    }
    void failedWriteRestoresAndNamesTheFile() {
        QFETCH(int, kind);
        ExportFixture f(kSample);
        f.Query.MoveTo(2);
        std::unique_ptr<TOrvel_DataExport> writer;
        if (kind == int(TOrvel_ExportKind::ekCSV))
            writer = std::make_unique<TOrvel_DataExport_CSV>(f.Columns, u';', "T");
        else if (kind == int(TOrvel_ExportKind::ekXML))
            writer = std::make_unique<TOrvel_DataExport_XML>(f.Columns, "T");
        else
            writer = std::make_unique<TOrvel_DataExport_XHTML>(f.Columns, "T");
        const QString path = f.Path("brak/wynik.txt");
        try {
            writer->ExportToFile(path);
            QFAIL("the export should fail");
        } catch (const EOrvelError &e) {
            QVERIFY2(e.message().contains("wynik.txt"), qPrintable(e.message()));
        }
        QCOMPARE(f.Query.RecNo(), 3);
        QVERIFY(!f.Query.ControlsDisabled());
        QVERIFY(!QFile::exists(path));
    }

    void stoppedExportWritesNothing_data() {
        QTest::addColumn<int>("stopAt"); // the question answered "stop" first (0: before row 1)
        QTest::newRow("before the first row") << 0;
        QTest::newRow("within the rows") << 2;
        // All rows written: the file would replace the old one next.
        QTest::newRow("before the file replaces the old one") << 3;
    }
    void stoppedExportWritesNothing() {
        QFETCH(int, stopAt);
        ExportFixture f(kSample);
        const QString path = f.Path("wynik.csv");
        QVERIFY(WriteBytes(path, "stary\r\n"));
        TOrvel_DataExport_CSV writer(f.Columns, u';', "T");
        int asked = 0;
        writer.Stop = [&] { return asked++ == stopAt; };
        try {
            writer.ExportToFile(path);
            QFAIL("the export went on after its stop");
        } catch (const EOrvelError &e) {
            QCOMPARE(e.message(), QStringLiteral("Zapis przerwany"));
        }
        QCOMPARE(asked, stopAt + 1);
        QCOMPARE(ReadBytes(path), QByteArray("stary\r\n"));
        QCOMPARE(QDir(f.Dir.path()).entryList({"wynik*"}, QDir::Files | QDir::Hidden),
                 QStringList{"wynik.csv"});
        QVERIFY(!f.Query.ControlsDisabled());
    }

    void emptyResult() {
        ExportFixture f("CREATE TABLE e (A INT, [B c] NVARCHAR(5)); SELECT A, [B c] FROM e");
        TOrvel_DataExport_CSV csv(f.Columns, u';', "T");
        QCOMPARE(f.Export(csv), QByteArray("\"A\";\"B c\"\r\n"));
        TOrvel_DataExport_XML xml(f.Columns, "T");
        QVERIFY(f.Export(xml).contains("<rowcount>0</rowcount><date>"));
        QVERIFY(f.Export(xml).endsWith("<rows></rows></Zestawnik>\r\n"));
        TOrvel_DataExport_XHTML xhtml(f.Columns, "T");
        QVERIFY(f.Export(xhtml).contains(
            "<tbody><tr><th>Nr</th><th>A</th><th>B c</th></tr></tbody></table>"));
    }

    void everyColumnHidden() {
        ExportFixture f("SELECT 1 AS A UNION ALL SELECT 2");
        f.Columns.SetVisible(0, false);
        TOrvel_DataExport_CSV writer(f.Columns, u';', "T");
        QCOMPARE(f.Export(writer), QByteArray("\r\n\r\n\r\n"));
    }

    // A second export by the same writer writes the same file again.
    void writerCanRepeat() {
        ExportFixture f(kSample);
        TOrvel_DataExport_XML writer(f.Columns, "T");
        const QByteArray first = f.Export(writer, "a");
        QCOMPARE(f.Export(writer, "b"), first);
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    ExportTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_export.moc"
