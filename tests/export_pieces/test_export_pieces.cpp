// Exports larger than one piece of the file: what reaches the file must be the whole output, in
// order, exactly as the writer makes it in memory; and the encoding tables the writers use must
// agree with the system's codecs character for character.
#include "TestSupport.h"
#include "U_DataExport.h"
#include "U_ExportOutput.h"
#include "U_TextCodec.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QtTest>

#include <memory>

namespace {

// Rows whose texts need every kind of care: quotes, markup characters, a line break inside a
// value, letters of both code pages, a character neither holds, a row format every tenth row.
const char *const kRows =
    "CREATE TABLE t (Id INT, Nazwa NVARCHAR(80), orvel_zestawnik_format NVARCHAR(40));"
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
    "INSERT INTO t SELECT x, 'Poz. \"' || x || '\" <zażółć> & gęślą' || char(13) || char(10) || "
    "'€ ☺ koniec', CASE WHEN x % 10 = 0 THEN 'color=C0FFFF;fontstyle=B' END FROM c;"
    "SELECT Id, Nazwa, orvel_zestawnik_format FROM t ORDER BY Id";

constexpr int kRowCount = 60000; // a few megabytes in every format

// A result of the embedded engine, opened in an application folder of its own and shown
// through grid columns.
struct ResultFixture {
    QTemporaryDir dir;
    DbConnection connection;
    DbQuery query{&connection};
    TOrvel_GridColumns columns;

    explicit ResultFixture(const QString &sql) {
        SetAppFolder(dir.path());
        TOrvel_ConnectionSettings settings;
        settings.Server = QStringLiteral("sqlite:") + dir.path();
        connection.Open(settings);
        query.SQL = sql;
        query.Open();
        columns.SetQuery(&query);
    }
    ~ResultFixture() { SetAppFolder(QString()); }
};

// The writer of an export kind, over the columns, titled "T" (CSV separated by ";").
std::unique_ptr<TOrvel_DataExport> MakeWriter(int kind, TOrvel_GridColumns &columns) {
    if (kind == int(TOrvel_ExportKind::ekCSV))
        return std::make_unique<TOrvel_DataExport_CSV>(columns, u';', "T");
    if (kind == int(TOrvel_ExportKind::ekXML))
        return std::make_unique<TOrvel_DataExport_XML>(columns, "T");
    return std::make_unique<TOrvel_DataExport_XHTML>(columns, "T");
}

} // namespace

class ExportPiecesTest : public QObject {
    Q_OBJECT
private slots:
    void fileIsTheWholeOutput_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("end");
        QTest::newRow("csv") << int(TOrvel_ExportKind::ekCSV)
                             << EncodeWindows1250(
                                    QString::fromUtf8("\"60000\";\"Poz. \"\"60000\"\" <zażółć> & "
                                                      "gęślą\r\n€ ? koniec\"\r\n"));
        QTest::newRow("xml") << int(TOrvel_ExportKind::ekXML)
                             << EncodeIso88592(QString::fromUtf8(
                                    "<item><Id>60000</Id><Nazwa>Poz. \"60000\" &lt;zażółć&gt; "
                                    "&amp; gęślą&#xD;\r\n€ ☺ koniec</Nazwa></item></rows>"
                                    "</Zestawnik>\r\n"));
        // The last row, before the footer that carries the version.
        QTest::newRow("xhtml") << int(TOrvel_ExportKind::ekXHTML)
                               << EncodeIso88592(QString::fromUtf8(
                                      "<td class=\"align_L\" style=\"background-color: #FFFFC0;"
                                      "font-weight: bold;\">Poz. \"60000\" &lt;zażółć&gt; &amp; "
                                      "gęślą&#xD;\r\n€ ☺ koniec</td></tr></tbody></table>"));
    }
    void fileIsTheWholeOutput() {
        QFETCH(int, kind);
        QFETCH(QByteArray, end);
        ResultFixture f(QString::fromUtf8(kRows).arg(kRowCount));
        const std::unique_ptr<TOrvel_DataExport> writer = MakeWriter(kind, f.columns);
        const QString path = f.dir.filePath(QStringLiteral("out"));
        QVERIFY(writer->ExportToFile(path));
        const QByteArray file = ReadBytes(path);
        QVERIFY2(file.size() > 3 * 1024 * 1024, "the output should span several pieces");
        QCOMPARE(file.size(), writer->GetOutputBytes().size());
        QVERIFY(file == writer->GetOutputBytes());
        if (kind == int(TOrvel_ExportKind::ekXHTML))
            QVERIFY(file.contains(end));
        else
            QVERIFY(file.endsWith(end));
        // No temporary file is left beside the export.
        QCOMPARE(QDir(f.dir.path()).entryList({QStringLiteral("out*")}, QDir::Files),
                 QStringList{QStringLiteral("out")});
    }

    // Rows formatted in parallel slices make the bytes of a serial walk, in every format, over a
    // sorted result (the rows are read through the order) with every kind of column and NULLs.
    void parallelSlicesWriteTheSerialBytes_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("csv") << int(TOrvel_ExportKind::ekCSV);
        QTest::newRow("xml") << int(TOrvel_ExportKind::ekXML);
        QTest::newRow("xhtml") << int(TOrvel_ExportKind::ekXHTML);
    }
    void parallelSlicesWriteTheSerialBytes() {
        QFETCH(int, kind);
        ResultFixture f(QString::fromUtf8(
            "CREATE TABLE t (Id INT, Nazwa NVARCHAR(80), Kwota DECIMAL(12,2), Cena FLOAT, "
            "Dzien DATETIME, Flag BIT, orvel_zestawnik_format NVARCHAR(40));"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 20000) "
            "INSERT INTO t SELECT x, 'Poz. \"' || (x % 777) || '\" <zażółć> & ☺', "
            "CASE WHEN x % 13 = 0 THEN NULL ELSE round((x % 5000) / 7.0, 2) END, x / 3.0, "
            "datetime('2024-01-01', '+' || (x * 37) || ' minutes'), x % 2, "
            // More row formats than a writer keeps made at once, alternating row by row.
            "CASE WHEN x % 12 > 0 THEN 'color=' || (x % 12) || '0FFFF;fontstyle=B' END FROM c;"
            "SELECT * FROM t ORDER BY Id"));
        DbQuery &query = f.query;
        TOrvel_GridColumns &columns = f.columns;
        query.Sort(QStringLiteral("Nazwa DESC"));
        columns.Field(columns.FindColumn(QStringLiteral("Kwota")))->DisplayFormat =
            QStringLiteral("#,##0.00");
        columns.Field(columns.FindColumn(QStringLiteral("Dzien")))->DisplayFormat =
            QStringLiteral("dddd, d mmmm yyyy hh:nn");

        auto exportWith = [&](int threads, int sliceRows) {
            const std::unique_ptr<TOrvel_DataExport> writer = MakeWriter(kind, columns);
            writer->Now = [] { return QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)); };
            writer->Threads = threads;
            writer->SliceRows = sliceRows;
            return writer->GetOutputBytes();
        };
        const QByteArray serial = exportWith(1, 4096);
        QVERIFY(serial.size() > 1000000);
        for (const int threads : {2, 4}) {
            const QByteArray parallel = exportWith(threads, 997); // many slices, a short last one
            QCOMPARE(parallel.size(), serial.size());
            QVERIFY2(parallel == serial, qPrintable(QStringLiteral("%1 threads").arg(threads)));
        }
        // The walk reads rows by position and leaves the current row where it was.
        QCOMPARE(query.RecNo(), 1);
        // The next export on the same thread writes its own columns' markup, not the last one's.
        const int nazwa = columns.FindColumn(QStringLiteral("Nazwa"));
        columns.SetAlignment(nazwa, TOrvel_Alignment::taCenter);
        const QByteArray centred = exportWith(1, 4096);
        if (kind == int(TOrvel_ExportKind::ekXHTML))
            QCOMPARE(centred.count("class=\"align_C\""), serial.count("class=\"align_C\"") + 20000);
        else
            QCOMPARE(centred, serial);
        columns.SetAlignment(nazwa, TOrvel_Alignment::taLeftJustify);
    }

    // The writers encode through tables of their own; each character must come out as the
    // system's codecs write it (a reference or "?" for what the code page lacks).
    void encodingAgreesWithTheCodecs_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("Polish letters") << QString::fromUtf8("ĄĆĘŁŃÓŚŹŻąćęłńóśźż");
        QTest::newRow("euro and dashes") << QString::fromUtf8("€ – — „x”");
        QTest::newRow("C1 controls") << QString(QChar(0x81)) + QChar(0x90) + QChar(0x9F);
        QTest::newRow("beyond the BMP") << QString::fromUtf8("a😀b");
        QTest::newRow("lone surrogates") << QString(QChar(0xD800)) + u'x' + QChar(0xDC00);
        QTest::newRow("non-characters") << QString(QChar(0xFFFE)) + QChar(0xFFFF);
        QTest::newRow("other scripts") << QString::fromUtf8("Жж 中文 ÿ ß é");
        QTest::newRow("U+0000 and controls") << QString("a") + QChar(0) + QChar(1) + "b";
    }
    void encodingAgreesWithTheCodecs() {
        QFETCH(QString, text);
        TOrvel_ExportOutput iso(TOrvel_ExportOutput::Charset::Iso88592);
        iso.AppendText(text);
        QCOMPARE(iso.Bytes(), EncodeIso88592(text));
        TOrvel_ExportOutput windows(TOrvel_ExportOutput::Charset::Windows1250);
        windows.AppendText(text);
        QCOMPARE(windows.Bytes(), EncodeWindows1250(text));
    }

    // One rule for U+0000: CSV writes what the encoder writes (byte 0x00), XML writes U+FFFD as
    // for the other control characters (never "?" or the illegal "&#x0;").
    void nulFollowsOneRule() {
        const QString text = QString("a") + QChar(0) + "b";
        TOrvel_ExportOutput csv(TOrvel_ExportOutput::Charset::Windows1250);
        csv.AppendCsvText(text);
        QCOMPARE(csv.Bytes(), QByteArray("a\0b", 3));
        QCOMPARE(csv.Bytes(), EncodeWindows1250(text));
        TOrvel_ExportOutput xmlText(TOrvel_ExportOutput::Charset::Iso88592);
        xmlText.AppendXmlText(text);
        QCOMPARE(xmlText.Bytes(), QByteArray("a&#xFFFD;b"));
        TOrvel_ExportOutput xmlMarkup(TOrvel_ExportOutput::Charset::Iso88592);
        xmlMarkup.AppendText(text);
        QCOMPARE(xmlMarkup.Bytes(), QByteArray("a&#xFFFD;b"));
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    ExportPiecesTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_export_pieces.moc"
