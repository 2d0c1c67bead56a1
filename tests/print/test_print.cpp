// The printed result, read back from the written PDF with poppler's tools: the pages' texts and
// count, the header on every page and the page numbers, the orientation and scaling of narrow,
// wide and very wide results, the row styles found in a rendered page's pixels, the first page's
// parameter block, the metadata and the embedded fonts, and a stopped export that keeps the old
// file.
#include "EmbeddedResult.h"
#include "TestSupport.h"
#include "U_DataExport_PDF.h"
#include "U_PrintDocument.h"
#include "U_PrintInfo.h"
#include "U_SQL_report.h"
#include "U_error.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

QString Run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of one page (from 1), as a PDF reader copies it out.
QString PageText(const QString &pdf, int page) {
    return Run(QStringLiteral("pdftotext"),
               {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
                QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
}

// The text of page 1 in the order it was drawn, without any blank or line break.
QString DrawnText(const QString &pdf) {
    QString text = Run(QStringLiteral("pdftotext"),
                       {QStringLiteral("-raw"), QStringLiteral("-f"), QStringLiteral("1"),
                        QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    return text;
}

QString InfoField(const QString &pdf, const QString &name) {
    const QString info = Run(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpression line(QStringLiteral("^%1:\\s*(.*)$").arg(name),
                                  QRegularExpression::MultilineOption);
    return line.match(info).captured(1).trimmed();
}

// Rows "Wiersz 1" ... with a number and an amount.
QString NumberedRows(int rows) {
    return QStringLiteral(
               "CREATE TABLE r (Nr INT, Nazwa NVARCHAR(40), Kwota DECIMAL(12,2));"
               "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
               "WHERE x < %1) INSERT INTO r SELECT x, 'Wiersz ' || x, x * 1.5 FROM c WHERE x <= %1;"
               "SELECT Nr, Nazwa, Kwota FROM r ORDER BY Nr")
        .arg(rows);
}

// A result of `count` text columns K1 ... each `width` grid pixels wide.
QString ManyColumns(int count) {
    QStringList cols;
    for (int i = 1; i <= count; ++i)
        cols << QStringLiteral("'Wartość kolumny %1 dość długa' AS K%1").arg(i);
    return QStringLiteral("SELECT ") + cols.join(QStringLiteral(", "));
}

TOrvel_PrintInfo SampleInfo() {
    TOrvel_PrintInfo info;
    info.Title = QStringLiteral("Obroty miesięczne");
    info.Database = QStringLiteral("DEMO");
    info.User = QStringLiteral("księgowa");
    info.RunTime = QDateTime(QDate(2024, 3, 12), QTime(14, 30, 5));
    return info;
}

} // namespace

class PrintTest : public QObject {
    Q_OBJECT
private slots:
    void pagination_data() {
        QTest::addColumn<int>("rows");
        QTest::newRow("empty result") << 0;
        QTest::newRow("one row") << 1;
        QTest::newRow("a few pages") << 150;
    }
    void pagination() {
        QFETCH(int, rows);
        EmbeddedResult f(NumberedRows(rows));
        f.Columns.SetWidth(1, 120);
        TOrvel_PrintDocument doc(f.Columns, SampleInfo());
        doc.Layout();
        const QString pdf = f.Path(QStringLiteral("r.pdf"));
        doc.WritePdf(pdf);

        const int pages = doc.PageCount();
        QCOMPARE(InfoField(pdf, QStringLiteral("Pages")).toInt(), pages);
        // The pages hold every row once, in order.
        int next = 0;
        for (int p = 0; p < pages; ++p) {
            QCOMPARE(doc.Page(p).FirstRow, next);
            next += doc.Page(p).RowCount;
        }
        QCOMPARE(next, rows);
        if (rows > 100)
            QVERIFY(pages > 1);
        for (int p = 1; p <= pages; ++p) {
            const QString text = PageText(pdf, p);
            QVERIFY2(text.contains(QRegularExpression(QStringLiteral("Nr\\s+Nazwa\\s+Kwota"))),
                     qPrintable(text.left(400)));
            QVERIFY(text.contains(TOrvel_PrintDocument::PageNumberText(p, pages)));
            QVERIFY(text.contains(QStringLiteral("12.03.2024")) == (p == 1));
            if (rows > 0) {
                const TOrvel_PrintPage &page = doc.Page(p - 1);
                QVERIFY(text.contains(QStringLiteral("Wiersz %1\n").arg(page.FirstRow + 1)) ||
                        text.contains(QStringLiteral("Wiersz %1 ").arg(page.FirstRow + 1)));
                const int last = page.FirstRow + page.RowCount;
                QVERIFY2(text.contains(QStringLiteral("Wiersz %1 ").arg(last)), qPrintable(text));
                QVERIFY(!text.contains(QStringLiteral("Wiersz %1 ").arg(last + 1)));
            }
        }
    }

    void orientationAndScale_data() {
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("scaled");
        QTest::addColumn<bool>("wraps");
        QTest::newRow("narrow") << 3 << 100 << int(QPageLayout::Portrait) << false << false;
        QTest::newRow("wide") << 10 << 100 << int(QPageLayout::Landscape) << false << false;
        QTest::newRow("wider than landscape")
            << 12 << 100 << int(QPageLayout::Landscape) << true << false;
        QTest::newRow("very wide") << 40 << 150 << int(QPageLayout::Landscape) << true << true;
    }
    void orientationAndScale() {
        QFETCH(int, columns);
        QFETCH(int, width);
        QFETCH(int, orientation);
        QFETCH(bool, scaled);
        QFETCH(bool, wraps);
        EmbeddedResult f(ManyColumns(columns));
        for (int i = 0; i < f.Columns.Count(); ++i)
            f.Columns.SetWidth(i, width);
        TOrvel_PrintDocument doc(f.Columns, SampleInfo());
        doc.Layout();
        QCOMPARE(int(doc.ChosenOrientation()), orientation);
        QCOMPARE(doc.Scale() < 1.0, scaled);
        QCOMPARE(doc.Wraps(), wraps);
        QVERIFY(doc.TablePointSize() >= TOrvel_PrintDocument::MinFontPoints);
        // No column is dropped and the table stays inside the page's width.
        QCOMPARE(int(doc.PrintedColumns().size()), columns);
        double total = 0;
        for (double w : doc.ColumnWidths())
            total += w;
        QSizeF page = doc.PageSize.sizePoints() * (TOrvel_PrintDocument::Resolution / 72.0);
        if (doc.ChosenOrientation() == QPageLayout::Landscape)
            page.transpose();
        QVERIFY(total <= page.width());

        const QString pdf = f.Path(QStringLiteral("w.pdf"));
        doc.WritePdf(pdf);
        QVERIFY2(InfoField(pdf, QStringLiteral("Page size"))
                     .startsWith(orientation == QPageLayout::Portrait
                                     ? QStringLiteral("595 x 842")
                                     : QStringLiteral("842 x 595")),
                 qPrintable(InfoField(pdf, QStringLiteral("Page size"))));
        // Every cell's whole text is on the page: wrapped, never cut off.
        const QString text = PageText(pdf, 1).simplified();
        for (int i = 1; i <= columns; ++i) {
            QVERIFY2(text.contains(QStringLiteral("K%1").arg(i)), qPrintable(text.left(300)));
        }
        const QString drawn = DrawnText(pdf);
        for (int i = 1; i <= columns; ++i)
            QVERIFY2(drawn.contains(QStringLiteral("Wartośćkolumny%1dośćdługa").arg(i)),
                     qPrintable(drawn.left(300)));
    }

    void fixedOrientationAndPageSize() {
        EmbeddedResult f(ManyColumns(2));
        TOrvel_PrintDocument doc(f.Columns, SampleInfo());
        doc.Orientation = TOrvel_PageOrientation::poLandscape;
        doc.PageSize = QPageSize(QPageSize::A3);
        doc.Layout();
        const QString pdf = f.Path(QStringLiteral("a3.pdf"));
        doc.WritePdf(pdf);
        QVERIFY2(
            InfoField(pdf, QStringLiteral("Page size")).startsWith(QStringLiteral("1191 x 842")),
            qPrintable(InfoField(pdf, QStringLiteral("Page size"))));
    }

    // A plain row, a row with every style, and a plain row after it; page 1 rendered.
    void rowStylesDrawn() {
        EmbeddedResult f(QStringLiteral(
            "CREATE TABLE t (Nazwa NVARCHAR(40), orvel_zestawnik_format NVARCHAR(80));"
            "INSERT INTO t VALUES ('zwykły', NULL);"
            "INSERT INTO t VALUES ('wyróżniony', "
            "'color=C0FFFF;fontcolor=FF0000;fontstyle=BIU;line=up');"
            "INSERT INTO t VALUES ('czerwony', 'color=0000FF');"
            "SELECT Nazwa, orvel_zestawnik_format FROM t"));
        f.Columns.SetWidth(0, 300);
        TOrvel_PrintDocument doc(f.Columns, SampleInfo());
        doc.Layout();
        QCOMPARE(int(doc.PrintedColumns().size()), 1); // the row-format column is never printed
        const QString pdf = f.Path(QStringLiteral("s.pdf"));
        doc.WritePdf(pdf);
        QVERIFY(!PageText(pdf, 1).contains(QStringLiteral("color=")));

        QProcess render;
        render.start(QStringLiteral("pdftoppm"),
                     {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
                      QStringLiteral("-singlefile"), pdf, f.Path(QStringLiteral("page"))});
        QVERIFY(render.waitForFinished(60000) && render.exitCode() == 0);
        const QImage image(f.Path(QStringLiteral("page.png")));
        QVERIFY(!image.isNull());
        int lightYellow = 0, red = 0, blueText = 0, navyLine = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c == QColor(255, 255, 192))
                    ++lightYellow;
                else if (c == QColor(255, 0, 0))
                    ++red;
                else if (c.blue() > 200 && c.red() < 80 && c.green() < 80)
                    ++blueText;
                else if (c.blue() > 90 && c.blue() < 170 && c.red() < 40 && c.green() < 40)
                    ++navyLine;
            }
        QVERIFY2(lightYellow > 1000, qPrintable(QString::number(lightYellow)));
        QVERIFY2(red > 1000, qPrintable(QString::number(red)));
        QVERIFY2(blueText > 5, qPrintable(QString::number(blueText)));
        QVERIFY2(navyLine > 100, qPrintable(QString::number(navyLine)));
        // Bold italic text: the bold oblique face is in the file.
        const QString fonts = Run(QStringLiteral("pdffonts"), {pdf});
        QVERIFY2(fonts.contains(QStringLiteral("BoldOblique")), qPrintable(fonts));
    }

    void parameterBlock() {
        EmbeddedResult f(NumberedRows(2));
        TOrvel_PrintInfo info = SampleInfo();
        info.Parameters = {{QStringLiteral("Liczba sztuk"), QStringLiteral("12")},
                           {QStringLiteral("Nazwa klienta"), QStringLiteral("Łódź „Żuraw”")},
                           {QStringLiteral("Kwota minimalna"), QStringLiteral("1 234,50")},
                           {QStringLiteral("Tylko aktywni"), QStringLiteral("tak")},
                           {QStringLiteral("Od dnia"), QStringLiteral("01.03.2024")},
                           {QStringLiteral("Region"), QStringLiteral("Mazowsze")},
                           {QStringLiteral("Opis"), QString()}};
        TOrvel_PrintDocument doc(f.Columns, info);
        doc.Layout();
        const QString pdf = f.Path(QStringLiteral("p.pdf"));
        doc.WritePdf(pdf);
        const QString text = PageText(pdf, 1);
        QVERIFY(text.contains(QStringLiteral("Obroty miesięczne")));
        for (const auto &[caption, value] : info.Parameters)
            QVERIFY2(text.contains((caption + QStringLiteral(": ") + value).trimmed()),
                     qPrintable(caption + QStringLiteral(" in ") + text.left(800)));
        QVERIFY(text.contains(QRegularExpression(QStringLiteral("Opis:\\s*\\n"))));
        QVERIFY(text.contains(QStringLiteral("Baza danych: DEMO")));
        QVERIFY(text.contains(QStringLiteral("Użytkownik: księgowa")));
        QVERIFY(text.contains(QStringLiteral("Uruchomiono: 12.03.2024 14:30:05")));
        // The block is on the first page only: the table below it starts lower than on page 2,
        // and the table's header comes after the block.
        QVERIFY(text.indexOf(QStringLiteral("Uruchomiono")) <
                text.indexOf(QRegularExpression(QStringLiteral("Nr\\s+Nazwa\\s+Kwota"))));
    }

    // The block of a loaded report: every kind of input gives its value as the panel shows it;
    // a pick list its caption, never the key the script receives.
    void parameterBlockOfAReport() {
        EmbeddedResult f(NumberedRows(2));
        const QString regions = QStringLiteral(
            "<key>Id</key><listquery>SELECT 1 AS Id, 'Mazowsze' AS Nazwa, 'MZ' AS Skrot UNION ALL "
            "SELECT 2, 'Pomorze', 'PM' UNION ALL SELECT 3, 'Pomorze', 'ZP'</listquery>");
        struct Case {
            QString type, extra, value, shown;
        };
        const Case cases[] = {
            {"INT", "", "12", "12"},
            {"TEXT", "", "'Łódź „Żuraw”'", "Łódź „Żuraw”"},
            {"TEXT", "", "NULL", ""},
            {"NUMERIC", "<decimal>2</decimal>", "1234.5", "1234,5"},
            {"BIT", "", "1", "tak"},
            {"DATE", "", "'20240301'", "1.03.2024"},
            {"DATE", "", "NULL", ""},
            {"TEXT", "<listitems>Północ;Południe</listitems><listvalues>N;S</listvalues>", "'S'",
             "Południe"},
            {"INT", "<listitems>mały;duży</listitems>", "1", "duży"},
            {"INT", regions + "<listfields>Nazwa</listfields>", "1", "Mazowsze"},
            // Rows showing the same name are told apart, as in the closed box.
            {"INT", regions + "<listfields>Nazwa;Skrot</listfields>", "3", "Pomorze (ZP)"},
            // Without list fields the list shows its key.
            {"INT", regions, "2", "2"},
            // A key the list does not hold: the value the script used is still said.
            {"INT", regions + "<listfields>Nazwa</listfields>", "7", "7"},
        };
        QByteArray items;
        for (std::size_t i = 0; i < std::size(cases); ++i)
            items += QStringLiteral("<item><name>P%1</name><type>%2</type><desc>Parametr "
                                    "%1</desc>%3</item>")
                         .arg(i)
                         .arg(cases[i].type, cases[i].extra)
                         .toUtf8();
        const QString definition = f.Path(QStringLiteral("Obroty.xml"));
        QVERIFY(WriteBytes(definition,
                           "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                           "<Zestawnik><version>1.0</version><params>" +
                               items + "</params></Zestawnik>\r\n"));
        QVERIFY(WriteBytes(f.Path(QStringLiteral("Obroty.sql")),
                           "-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT 1 AS A\r\n"));
        TOrvel_Report report(&f.Connection);
        QVERIFY(report.LoadReport(definition, QStringLiteral("Obroty")));
        QCOMPARE(report.ParamCount(), int(std::size(cases)));
        for (int i = 0; i < report.ParamCount(); ++i) {
            if (report.ListQuery(i))
                report.RefreshList(i);
            report.SetParamValue(i, cases[i].value);
        }
        const auto shown = ShownParameters(report);
        QCOMPARE(int(shown.size()), report.ParamCount());
        for (int i = 0; i < report.ParamCount(); ++i) {
            QCOMPARE(shown[i].first, QStringLiteral("Parametr %1").arg(i));
            QCOMPARE(shown[i].second, cases[i].shown);
        }

        TOrvel_PrintInfo info = SampleInfo();
        info.Parameters = shown;
        TOrvel_PrintDocument doc(f.Columns, info);
        doc.Layout();
        const QString pdf = f.Path(QStringLiteral("r.pdf"));
        doc.WritePdf(pdf);
        const QString text = PageText(pdf, 1);
        QVERIFY2(text.contains(QStringLiteral("Parametr 9: Mazowsze\n")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Parametr 10: Pomorze (ZP)\n")));
        QVERIFY(!text.contains(QStringLiteral("Parametr 9: 1")));
    }

    void metadataAndFonts() {
        EmbeddedResult f(NumberedRows(3));
        TOrvel_PrintDocument doc(f.Columns, SampleInfo());
        doc.Layout();
        const QString pdf = f.Path(QStringLiteral("m.pdf"));
        doc.WritePdf(pdf);
        QCOMPARE(InfoField(pdf, QStringLiteral("Title")), QStringLiteral("Obroty miesięczne"));
        QCOMPARE(InfoField(pdf, QStringLiteral("Creator")),
                 QStringLiteral("Orvel-Zestawnik ") + GetVersionString());
        const QStringList lines =
            Run(QStringLiteral("pdffonts"), {pdf}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 2);
        // Columns: name type encoding emb sub uni object ID; after the two heading lines.
        for (const QString &line : lines.mid(2)) {
            const QStringList cols = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            QVERIFY(cols.size() >= 5);
            QCOMPARE(cols.at(cols.size() - 5), QStringLiteral("yes")); // embedded
        }
    }

    void stoppedExportKeepsOldFile_data() {
        QTest::addColumn<int>("stopAtRows"); // rows on the pages drawn when Stop says yes
        QTest::newRow("while the rows are measured") << 0;
        QTest::newRow("after the first page") << 1;
        QTest::newRow("after the last page") << 3000;
    }
    // The PDF export stopped at any point keeps the old file whole and leaves no other file.
    void stoppedExportKeepsOldFile() {
        QFETCH(int, stopAtRows);
        EmbeddedResult f(NumberedRows(3000));
        const QString pdf = f.Path(QStringLiteral("old.pdf"));
        QVERIFY(WriteBytes(pdf, "stary plik"));
        TOrvel_DataExport_PDF writer(f.Columns, SampleInfo());
        int written = 0;
        bool rowsDone = false;
        writer.Progress = [&](int rows, int total) {
            QCOMPARE(total, 3000);
            written = rows;
        };
        writer.RowsDone = [&] { rowsDone = true; };
        writer.Stop = [&] { return written >= stopAtRows; };
        QVERIFY_THROWS_EXCEPTION(EOrvelError, writer.ExportToFile(pdf));
        if (stopAtRows == 1)
            QVERIFY2(written > 0 && written < 3000, qPrintable(QString::number(written)));
        else
            QCOMPARE(written, stopAtRows);
        QCOMPARE(rowsDone, stopAtRows == 3000);
        QCOMPARE(ReadBytes(pdf), QByteArray("stary plik"));
        QCOMPARE(QDir(f.Dir.path())
                     .entryList({QStringLiteral("*.pdf"), QStringLiteral(".orvel-tmp-*")},
                                QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("old.pdf")});
    }
};

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    PrintTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_print.moc"
