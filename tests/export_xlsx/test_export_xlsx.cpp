// The spreadsheet export, read back from the written file (a zip of XML parts): every cell's type
// and value on a fixture of awkward values, the number formats, a styled row, the frozen header
// and the filter, the split onto further sheets, and a failed export that leaves nothing behind.
// Also the pattern translation into the spreadsheet's number formats, on a table of cases.
#include "EmbeddedResult.h"
#include "TestSupport.h"
#include "TmpfsMount.h"
#include "U_DataExport_XLSX.h"
#include "U_ExcelFormat.h"
#include "U_FileTarget.h"
#include "U_ZipCheck.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

QByteArray ZipPart(const QString &zip, const QString &part) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, part});
    if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0)
        return {};
    return unzip.readAllStandardOutput();
}

// The spreadsheet's own escape of a character in cell text: "_xHHHH_".
QString DecodeCellText(const QString &text) {
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString out;
    qsizetype at = 0;
    for (auto it = escape.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += text.mid(at, m.capturedStart() - at);
        out += QChar(char16_t(m.captured(1).toUShort(nullptr, 16)));
        at = m.capturedEnd();
    }
    return out + text.mid(at);
}

struct Cell {
    QString Type;  // the t attribute: "" (number), "b", "s", "inlineStr", "str"
    QString Value; // the number, the boolean, or the text
    int Style = 0;
};

struct Sheet {
    QMap<QString, Cell> Cells; // by reference: "A1"
    QString Pane;              // the frozen pane's top-left cell
    QString Filter;            // the autofilter's range
    QString Cols;              // the <col> elements' widths, "1:12.5;2:8"
};

Sheet ReadSheet(const QString &zip, int number = 1) {
    QStringList shared;
    {
        QXmlStreamReader xml(ZipPart(zip, QStringLiteral("xl/sharedStrings.xml")));
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"t")
                shared << xml.readElementText();
        }
    }
    Sheet sheet;
    QXmlStreamReader xml(ZipPart(zip, QStringLiteral("xl/worksheets/sheet%1.xml").arg(number)));
    QString ref;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = xml.attributes();
        if (xml.name() == u"c") {
            ref = a.value(QLatin1String("r")).toString();
            Cell cell;
            cell.Type = a.value(QLatin1String("t")).toString();
            cell.Style = a.value(QLatin1String("s")).toInt();
            sheet.Cells.insert(ref, cell);
        } else if (xml.name() == u"v") {
            Cell &cell = sheet.Cells[ref];
            cell.Value = xml.readElementText();
            if (cell.Type == u"s")
                cell.Value = shared.value(cell.Value.toInt());
        } else if (xml.name() == u"t") {
            sheet.Cells[ref].Value = DecodeCellText(xml.readElementText());
        } else if (xml.name() == u"pane") {
            sheet.Pane = a.value(QLatin1String("topLeftCell")).toString() + u'/' +
                         a.value(QLatin1String("state")).toString();
        } else if (xml.name() == u"autoFilter") {
            sheet.Filter = a.value(QLatin1String("ref")).toString();
        } else if (xml.name() == u"col") {
            sheet.Cols += a.value(QLatin1String("min")).toString() + u':' +
                          a.value(QLatin1String("width")).toString() + u';';
        }
    }
    return sheet;
}

// What a cell's style number means, read from xl/styles.xml.
struct Style {
    QString NumFormat; // the format code, or "#ID" for a built-in one
    bool Bold = false, Italic = false, Underline = false;
    QString FontColor, Fill, TopBorder, Align;
};

QList<Style> ReadStyles(const QString &zip) {
    QMap<int, QString> numFmts;
    struct Font {
        bool B = false, I = false, U = false;
        QString Color;
    };
    QList<Font> fonts;
    QStringList fills, borders;
    QList<Style> xfs;
    QXmlStreamReader xml(ZipPart(zip, QStringLiteral("xl/styles.xml")));
    QString section;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token != QXmlStreamReader::StartElement)
            continue;
        const auto a = xml.attributes();
        const auto name = xml.name();
        if (name == u"numFmt") {
            numFmts.insert(a.value(QLatin1String("numFmtId")).toInt(),
                           a.value(QLatin1String("formatCode")).toString());
        } else if (name == u"fonts" || name == u"fills" || name == u"borders" ||
                   name == u"cellXfs" || name == u"cellStyleXfs") {
            section = name.toString();
        } else if (section == u"fonts" && name == u"font") {
            fonts.append(Font{});
        } else if (section == u"fonts" && !fonts.isEmpty()) {
            if (name == u"b")
                fonts.last().B = true;
            else if (name == u"i")
                fonts.last().I = true;
            else if (name == u"u")
                fonts.last().U = true;
            else if (name == u"color")
                fonts.last().Color = a.value(QLatin1String("rgb")).toString();
        } else if (section == u"fills" && name == u"fill") {
            fills.append(QString());
        } else if (section == u"fills" && name == u"fgColor") {
            fills.last() = a.value(QLatin1String("rgb")).toString();
        } else if (section == u"borders" && name == u"border") {
            borders.append(QString());
        } else if (section == u"borders" && name == u"top") {
            borders.last() = a.value(QLatin1String("style")).toString();
        } else if (section == u"cellXfs" && name == u"xf") {
            Style s;
            const int id = a.value(QLatin1String("numFmtId")).toInt();
            s.NumFormat = numFmts.contains(id) ? numFmts.value(id) : u'#' + QString::number(id);
            const Font font = fonts.value(a.value(QLatin1String("fontId")).toInt());
            s.Bold = font.B;
            s.Italic = font.I;
            s.Underline = font.U;
            s.FontColor = font.Color;
            s.Fill = fills.value(a.value(QLatin1String("fillId")).toInt());
            s.TopBorder = borders.value(a.value(QLatin1String("borderId")).toInt());
            xfs.append(s);
        } else if (section == u"cellXfs" && name == u"alignment" && !xfs.isEmpty()) {
            xfs.last().Align = a.value(QLatin1String("horizontal")).toString();
        }
    }
    return xfs;
}

QStringList SheetNames(const QString &zip) {
    QStringList names;
    QXmlStreamReader xml(ZipPart(zip, QStringLiteral("xl/workbook.xml")));
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"sheet")
            names << xml.attributes().value(QLatin1String("name")).toString();
    }
    return names;
}

// Awkward values in every kind of column; the second row carries a row format, the fourth is
// all NULL.
const char *const kFixture =
    "CREATE TABLE t (Id INT, Kwota DECIMAL(12,2), Cena FLOAT, Aktywny BIT, Kiedy DATETIME, "
    "Dzien DATE, Telefon NVARCHAR(40), orvel_zestawnik_format NVARCHAR(80));"
    "INSERT INTO t VALUES (1, 1234.5, 2.5, 1, '2024-03-12 14:30:00', '2024-03-12', "
    "'+48 591 637 183', NULL);"
    "INSERT INTO t VALUES (2, -10.25, 0.125, 0, '1899-12-31 00:00:00', '1900-03-01', '007', "
    "'color=C0FFFF;fontcolor=0000FF;fontstyle=BIU;line=up');"
    "INSERT INTO t VALUES (3, 0, 1e300, 1, '2000-01-01 12:00:00', '2000-01-01', "
    "'=1+2 _x0041_ ' || char(7), NULL);"
    "INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
    "SELECT Id, Kwota, Cena, Aktywny, Kiedy, Dzien, Telefon, orvel_zestawnik_format FROM t "
    "ORDER BY COALESCE(Id, 99)";

// The result every workbook case starts from, opened on the embedded engine.
using Fixture = EmbeddedResult;

// A writer that fails in the middle of the rows, as a refused value or a full disk would.
class FailingWriter : public TOrvel_DataExport_XLSX {
public:
    using TOrvel_DataExport_XLSX::TOrvel_DataExport_XLSX;

protected:
    void WriteRow() override {
        TOrvel_DataExport_XLSX::WriteRow();
        throw EOrvelError(QStringLiteral("przerwany zapis"));
    }
};

// Rows of random hexadecimal text: a workbook of about 1.5 MB whose sheet holds about 5 MB.
QString RandomRows(int rows) {
    return QStringLiteral(
               "CREATE TABLE r (A NVARCHAR(40), B NVARCHAR(40), C NVARCHAR(40));"
               "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
               "INSERT INTO r SELECT hex(randomblob(16)), hex(randomblob(16)), "
               "hex(randomblob(16)) FROM c;"
               "SELECT A, B, C FROM r")
        .arg(rows);
}

// The process's standard error while it lives, read back as text.
class StandardErrorCaught {
public:
    StandardErrorCaught() {
        std::fflush(stderr);
        FSaved = dup(STDERR_FILENO);
        FFile = std::tmpfile();
        dup2(fileno(FFile), STDERR_FILENO);
    }
    ~StandardErrorCaught() { Restore(); }
    QByteArray Text() {
        Restore();
        std::rewind(FFile);
        QByteArray text;
        char buffer[4096];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, FFile))
            text.append(buffer, static_cast<qsizetype>(n));
        return text;
    }

private:
    void Restore() {
        if (FSaved < 0)
            return;
        std::fflush(stderr);
        dup2(FSaved, STDERR_FILENO);
        close(FSaved);
        FSaved = -1;
    }
    int FSaved = -1;
    std::FILE *FFile = nullptr;
};

QStringList FolderEntries(const QString &folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

const QString kNoSpace = QStringLiteral("Brak miejsca na urządzeniu");

} // namespace

class ExportXlsxTest : public QObject {
    Q_OBJECT
private slots:
    void numberFormats_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("excel"); // "-" when it cannot be carried over
        QTest::newRow("empty") << ""
                               << "General";
        QTest::newRow("decimals") << "0.00"
                                  << "0.00";
        QTest::newRow("grouping") << "#,##0.00"
                                  << "#,##0.00";
        QTest::newRow("grouping anywhere before the point") << "0,000.0"
                                                            << "0,000.0";
        QTest::newRow("one placeholder grouped") << ",0"
                                                 << "#,0";
        QTest::newRow("sections, empty one falls back") << "0.0;(0.0);"
                                                        << "0.0;\"(\"0.0\")\";0.0";
        QTest::newRow("quoted and bare literals") << "0.00 'zł'"
                                                  << "0.00\" zł\"";
        QTest::newRow("per cent is only text") << "0%"
                                               << "0\"%\"";
        QTest::newRow("a quote inside") << "0\"\"\""
                                        << "0";
        QTest::newRow("exponent") << "0.00E+000"
                                  << "0.00E+000";
        QTest::newRow("exponent lower minus") << "#.#e-0"
                                              << "#.#E-0";
        QTest::newRow("comma after the point") << "0.0,0"
                                               << "-";
        QTest::newRow("four sections") << "0;0;0;0"
                                       << "-";
    }
    void numberFormats() {
        QFETCH(QString, pattern);
        QFETCH(QString, excel);
        const auto got = ExcelNumberFormat(pattern);
        QCOMPARE(got.value_or(QStringLiteral("-")), excel);
    }

    void dateFormats_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("excel");
        const int dt = int(TFieldType::ftDateTime);
        QTest::newRow("empty date") << "" << int(TFieldType::ftDate) << "d\".\"mm\".\"yyyy";
        QTest::newRow("empty time") << "" << int(TFieldType::ftTime) << "hh\":\"mm\":\"ss";
        QTest::newRow("c") << "c" << dt << "d\".\"mm\".\"yyyy\" \"hh\":\"mm\":\"ss";
        QTest::newRow("day month year") << "dd/mm/yyyy" << dt << "dd\".\"mm\".\"yyyy";
        QTest::newRow("m after an hour is minutes") << "hh:mm" << dt << "hh\":\"mm";
        QTest::newRow("n is minutes") << "h:nn:ss" << dt << "h\":\"mm\":\"ss";
        QTest::newRow("names") << "dddd, d mmmm yy" << dt << "dddd\", \"d\" \"mmmm\" \"yy";
        QTest::newRow("milliseconds") << "hh:nn:ss.zzz" << dt << "hh\":\"mm\":\"ss.000";
        QTest::newRow("am/pm") << "h:nn am/pm" << dt << "h\":\"mm\" \"AM/PM";
        QTest::newRow("quoted") << "yyyy 'r.'" << dt << "yyyy\" r.\"";
        QTest::newRow("lone minutes") << "nn" << dt << "-";
        QTest::newRow("one z") << "ss.z" << dt << "-";
    }
    void dateFormats() {
        QFETCH(QString, pattern);
        QFETCH(int, type);
        QFETCH(QString, excel);
        const auto got =
            ExcelDateFormat(pattern, static_cast<TFieldType>(type), UserFormatSettings());
        QCOMPARE(got.value_or(QStringLiteral("-")), excel);
    }

    void sheetNamesAndLimits() {
        QCOMPARE(ExcelSheetName(QStringLiteral("Sprzedaż [2024]: a/b\\c*?")),
                 QStringLiteral("Sprzedaż _2024__ a_b_c__"));
        QCOMPARE(ExcelSheetName(QString(40, u'x')), QString(31, u'x'));
        QCOMPARE(ExcelSheetName(QString(40, u'x'), 12), QString(26, u'x') + " (12)");
        QCOMPARE(ExcelSheetName(QStringLiteral("'a'")), QStringLiteral("_a_"));
        QCOMPARE(ExcelSheetName(QString()), QStringLiteral("Wynik"));
        QVERIFY(!DecimalExceedsExcelPrecision(QStringLiteral("-123456789012345.00")));
        QVERIFY(DecimalExceedsExcelPrecision(QStringLiteral("1234567890123456")));
        QVERIFY(DecimalExceedsExcelPrecision(QStringLiteral("0.1000000000000001")));
        QVERIFY(!ExcelSerialDate(QDateTime(QDate(1900, 2, 28), QTime(0, 0))));
        QCOMPARE(*ExcelSerialDate(QDateTime(QDate(1900, 3, 1), QTime(12, 0))), 61.5);
        QCOMPARE(*ExcelSerialDate(QDateTime(QDate(2024, 3, 12), QTime(0, 0))), 45363.0);
    }

    void cellsTypesAndStyles() {
        Fixture f(QString::fromLatin1(kFixture));
        f.Columns.Field(1)->DisplayFormat = QStringLiteral("#,##0.00 'zł'");
        f.Columns.Field(4)->DisplayFormat = QStringLiteral("yyyy-mm-dd hh:nn");
        f.Columns.SetWidth(6, 124);
        TOrvel_DataExport_XLSX writer(f.Columns, QStringLiteral("Raport: test"));
        const QString path = f.Path(QStringLiteral("wynik.xlsx"));
        QVERIFY(writer.ExportToFile(path));
        QCOMPARE(writer.SheetCount(), 1);
        QCOMPARE(SheetNames(path), QStringList{QStringLiteral("Raport_ test")});

        const Sheet sheet = ReadSheet(path);
        const QList<Style> styles = ReadStyles(path);
        auto cell = [&](const char *ref) { return sheet.Cells.value(QString::fromLatin1(ref)); };
        auto style = [&](const char *ref) { return styles.value(cell(ref).Style); };

        // The header: captions, bold on a fill; the row-format column is not exported.
        QCOMPARE(cell("A1").Value, QStringLiteral("Id"));
        QCOMPARE(cell("G1").Value, QStringLiteral("Telefon"));
        QVERIFY(!sheet.Cells.contains(QStringLiteral("H1")));
        QVERIFY(style("A1").Bold);
        QVERIFY(!style("A1").Fill.isEmpty());
        QCOMPARE(sheet.Pane, QStringLiteral("A2/frozen"));
        QCOMPARE(sheet.Filter, QStringLiteral("A1:G5"));
        QVERIFY2(sheet.Cols.contains(QStringLiteral("7:17")), qPrintable(sheet.Cols));

        struct Expect {
            const char *ref, *type, *value;
        };
        const Expect expected[] = {
            {"A2", "", "1"},
            {"B2", "", "1234.5"},
            {"C2", "", "2.5"},
            {"D2", "b", "1"},
            {"E2", "", "45363.604166666664"},
            {"F2", "", "45363"},
            {"D3", "b", "0"},
            {"F3", "", "61"},
            {"C4", "", "1E+300"},
        };
        for (const Expect &e : expected) {
            QCOMPARE(cell(e.ref).Type, QString::fromLatin1(e.type));
            QCOMPARE(cell(e.ref).Value.toDouble(), QString::fromLatin1(e.value).toDouble());
        }
        // Texts stay texts, whatever they look like; what XML cannot carry becomes U+FFFD.
        QVERIFY(cell("G2").Type != u"" && cell("G2").Type != u"b");
        QCOMPARE(cell("G2").Value, QStringLiteral("+48 591 637 183"));
        QCOMPARE(cell("G3").Value, QStringLiteral("007"));
        QCOMPARE(cell("G4").Value, QString::fromUtf8("=1+2 _x0041_ \xEF\xBF\xBD"));
        QVERIFY(!ZipPart(path, QStringLiteral("xl/worksheets/sheet1.xml")).contains("<f>"));
        // A date before March 1900 is the grid's text.
        QVERIFY(cell("E3").Type != u"");
        QCOMPARE(cell("E3").Value, f.Columns.Field(4)->DisplayTextAt(1));
        // NULL is no cell in a plain row.
        for (const char *ref : {"A5", "B5", "C5", "D5", "E5", "F5", "G5"})
            QVERIFY2(!sheet.Cells.contains(QString::fromLatin1(ref)), ref);

        // Formats translated from the columns' patterns, alignments from the settings.
        QCOMPARE(style("B2").NumFormat, QStringLiteral("#,##0.00\" zł\""));
        QCOMPARE(style("E2").NumFormat, QStringLiteral("yyyy\"-\"mm\"-\"dd\" \"hh\":\"mm"));
        QCOMPARE(style("F2").NumFormat, QStringLiteral("d\".\"mm\".\"yyyy"));
        QCOMPARE(style("B2").Align, QStringLiteral("right"));
        QCOMPARE(style("D2").Align, QStringLiteral("center"));

        // The styled row: every cell, NULL ones too, with the fill, font and the line above.
        for (const char *ref : {"A3", "B3", "D3", "G3"}) {
            const Style s = style(ref);
            QCOMPARE(s.Fill, QStringLiteral("FFFFFFC0")); // BGR C0FFFF is light yellow
            QCOMPARE(s.FontColor, QStringLiteral("FFFF0000"));
            QVERIFY(s.Bold && s.Italic && s.Underline);
            QCOMPARE(s.TopBorder, QStringLiteral("thin"));
        }
        QVERIFY(!style("A2").Bold);
        QVERIFY(style("A2").TopBorder.isEmpty());
    }

    void decimalsBeyondFifteenDigitsAreExactText() {
        Fixture f(QStringLiteral("CREATE TABLE d (V DECIMAL(38,6), W BIGINT);"
                                 "INSERT INTO d VALUES ('12345678901234567890123456789012.345678', "
                                 "9007199254740993);"
                                 "SELECT V, W FROM d"));
        if (f.Columns.Field(0)->DataType() != TFieldType::ftBCD)
            QSKIP("the engine gives no fixed-point decimal for this column");
        TOrvel_DataExport_XLSX writer(f.Columns, QStringLiteral("D"));
        const QString path = f.Path(QStringLiteral("d.xlsx"));
        QVERIFY(writer.ExportToFile(path));
        const Sheet sheet = ReadSheet(path);
        const QString exact = f.Columns.Field(0)->ValueAt(0).toString().replace(u'.', u',');
        QVERIFY2(exact.size() > 30, qPrintable(exact));
        QCOMPARE(sheet.Cells.value(QStringLiteral("A2")).Value, exact);
        QCOMPARE(sheet.Cells.value(QStringLiteral("B2")).Value, QStringLiteral("9007199254740993"));
        const QList<Style> styles = ReadStyles(path);
        QCOMPARE(styles.value(sheet.Cells.value(QStringLiteral("A2")).Style).Align,
                 QStringLiteral("right"));
    }

    void rowsContinueOnFurtherSheets() {
        Fixture f(QStringLiteral(
            "CREATE TABLE n (X INT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 5) "
            "INSERT INTO n SELECT x FROM c;"
            "SELECT X FROM n ORDER BY X"));
        TOrvel_DataExport_XLSX writer(f.Columns, QStringLiteral("Liczby"));
        writer.RowsPerSheet = 3; // the header and two rows
        const QString path = f.Path(QStringLiteral("n.xlsx"));
        QVERIFY(writer.ExportToFile(path));
        QCOMPARE(writer.SheetCount(), 3);
        QCOMPARE(SheetNames(path),
                 (QStringList{QStringLiteral("Liczby"), QStringLiteral("Liczby (2)"),
                              QStringLiteral("Liczby (3)")}));
        const QStringList firstOfSheet{"1", "3", "5"};
        for (int s = 1; s <= 3; ++s) {
            const Sheet sheet = ReadSheet(path, s);
            QCOMPARE(sheet.Cells.value(QStringLiteral("A1")).Value, QStringLiteral("X"));
            QCOMPARE(sheet.Cells.value(QStringLiteral("A2")).Value, firstOfSheet[s - 1]);
            QCOMPARE(sheet.Pane, QStringLiteral("A2/frozen"));
        }
        QCOMPARE(ReadSheet(path, 3).Filter, QStringLiteral("A1:A2"));
    }

    void failedExportLeavesNothing() {
        Fixture f(QStringLiteral("SELECT 1 AS X UNION ALL SELECT 2"));
        const QString path = f.Path(QStringLiteral("stary.xlsx"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("OLD");
        old.close();
        FailingWriter writer(f.Columns, QStringLiteral("X"));
        QVERIFY_THROWS_EXCEPTION(EOrvelError, writer.ExportToFile(path));
        QCOMPARE(ReadBytes(path), QByteArray("OLD"));
        QCOMPARE(QDir(f.Dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("stary.xlsx")});

        const QString missing = f.Path(QStringLiteral("brak/x.xlsx"));
        TOrvel_DataExport_XLSX plain(f.Columns, QStringLiteral("X"));
        QVERIFY_THROWS_EXCEPTION(EOrvelError, plain.ExportToFile(missing));
        QVERIFY(!QFile::exists(missing));
        // The grid's current row is where it was.
        QCOMPARE(f.Query.RecNo(), 1);
    }

    // A file system that fills up, wherever and whenever, fails the export with the reason and
    // keeps the old file; nothing is left beside it, and the library's own English lines do not
    // reach the terminal. A full temporary folder does not matter at all: the workbook and the
    // library's temporary files live on the target's file system.
    void fullFileSystemsNeverPassAsSuccess_data() {
        QTest::addColumn<QString>("tmpdirSize"); // "": the usual temporary folder
        QTest::addColumn<QString>("targetSize"); // "": a roomy folder
        QTest::addColumn<bool>("fillFirst");     // the file system is full before the export
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("full temporary folder") << "1m"
                                               << "" << true << true;
        QTest::newRow("target full from the start") << ""
                                                    << "1m" << true << false;
        QTest::newRow("target fills during the rows") << ""
                                                      << "3m" << false << false;
        QTest::newRow("target fills while the library closes") << ""
                                                               << "6m" << false << false;
        QTest::newRow("room enough") << ""
                                     << "40m" << false << true;
    }
    void fullFileSystemsNeverPassAsSuccess() {
        QFETCH(QString, tmpdirSize);
        QFETCH(QString, targetSize);
        QFETCH(bool, fillFirst);
        QFETCH(bool, succeeds);
        std::unique_ptr<TmpfsMount> tmp, target;
        if (!tmpdirSize.isEmpty()) {
            tmp = std::make_unique<TmpfsMount>(tmpdirSize);
            REQUIRE_TMPFS(*tmp);
            if (fillFirst)
                QVERIFY(tmp->Fill(QStringLiteral("zapchaj")));
        }
        Fixture f(RandomRows(20000));
        QString folder = f.Dir.path();
        if (!targetSize.isEmpty()) {
            target = std::make_unique<TmpfsMount>(targetSize);
            REQUIRE_TMPFS(*target);
            folder = target->Path() + QStringLiteral("/wyniki");
            QVERIFY(QDir().mkpath(folder));
        }
        const QString path = folder + QStringLiteral("/stary.xlsx");
        QVERIFY(WriteBytes(path, "OLD"));
        if (fillFirst && target)
            QVERIFY(target->Fill(QStringLiteral("zapchaj")));

        const QByteArray savedTmpdir = qgetenv("TMPDIR");
        if (tmp)
            qputenv("TMPDIR", QFile::encodeName(tmp->Path()));
        TOrvel_DataExport_XLSX writer(f.Columns, QStringLiteral("Losowe"));
        StandardErrorCaught stderrText;
        QString error;
        try {
            writer.ExportToFile(path);
        } catch (const EOrvelError &e) {
            error = e.message();
        }
        qputenv("TMPDIR", savedTmpdir);
        const QByteArray libraryLines = stderrText.Text();
        QVERIFY2(!libraryLines.contains("[ERROR]") && !libraryLines.contains("ZIP_ERRNO"),
                 libraryLines.constData());
        if (succeeds) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            const Sheet sheet = ReadSheet(path);
            QCOMPARE(sheet.Cells.size(), 3 * 20001);
            QCOMPARE(sheet.Cells.value(QStringLiteral("C20001")).Value.size(), 32);
        } else {
            QVERIFY2(error.contains(kNoSpace), qPrintable(error + QString::fromUtf8(libraryLines)));
            QVERIFY2(error.contains(QStringLiteral("stary.xlsx")), qPrintable(error));
            QCOMPARE(ReadBytes(path), QByteArray("OLD"));
        }
        QCOMPARE(FolderEntries(folder), QStringList{QStringLiteral("stary.xlsx")});
    }

    // The finished workbook is renamed into place, not copied: once the library is done, the
    // target's file system needs no room for a second copy.
    void finishedWorkbookNeedsNoRoomForACopy() {
        TmpfsMount target(QStringLiteral("40m"));
        REQUIRE_TMPFS(target);
        Fixture f(RandomRows(20000));
        const QString folder = target.FilePath(QStringLiteral("wyniki"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/stary.xlsx");
        QVERIFY(WriteBytes(path, "OLD"));
        TOrvel_DataExport_XLSX writer(f.Columns, QStringLiteral("Losowe"));
        // Asked before every row and once more before the file replaces the old one: then the
        // disk is filled to within 64 KiB, far less than the workbook's 1.5 MB.
        int asked = 0;
        bool filled = false;
        writer.Stop = [&] {
            if (++asked > 20000 && !filled)
                filled = target.Fill(QStringLiteral("zapchaj"), 64 * 1024);
            return false;
        };
        QVERIFY(writer.ExportToFile(path));
        QVERIFY(filled);
        QVERIFY(QFileInfo(path).size() > 1024 * 1024);
        QCOMPARE(ReadSheet(path).Cells.size(), 3 * 20001);
        QCOMPARE(FolderEntries(folder), QStringList{QStringLiteral("stary.xlsx")});
    }

    // A folder that cannot take the file is refused before any row is written, with the
    // system's reason in Polish, by every writer alike.
    void unwritableFolderRefusedBeforeAnyRow_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("readOnlyMount");
        QTest::addColumn<QString>("reason");
        for (const char *kind : {"xlsx", "csv", "xml", "xhtml"}) {
            QTest::addRow("%s, missing folder", kind)
                << kind << false << QStringLiteral("Nie ma takiego pliku ani katalogu");
            QTest::addRow("%s, read-only folder", kind)
                << kind << true << QStringLiteral("System plików wyłącznie do odczytu");
        }
    }
    void unwritableFolderRefusedBeforeAnyRow() {
        QFETCH(QString, kind);
        QFETCH(bool, readOnlyMount);
        QFETCH(QString, reason);
        Fixture f(QStringLiteral("SELECT 1 AS X UNION ALL SELECT 2"));
        std::unique_ptr<TmpfsMount> readOnly;
        QString path = f.Path(QStringLiteral("brak/wynik.") + kind);
        if (readOnlyMount) {
            readOnly = std::make_unique<TmpfsMount>(QStringLiteral("1m"), true);
            REQUIRE_TMPFS(*readOnly);
            path = readOnly->FilePath(QStringLiteral("wynik.") + kind);
        }
        std::unique_ptr<TOrvel_DataExport> writer;
        if (kind == u"xlsx")
            writer = std::make_unique<TOrvel_DataExport_XLSX>(f.Columns, QStringLiteral("X"));
        else if (kind == u"csv")
            writer = std::make_unique<TOrvel_DataExport_CSV>(f.Columns, u';', QStringLiteral("X"));
        else if (kind == u"xml")
            writer = std::make_unique<TOrvel_DataExport_XML>(f.Columns, QStringLiteral("X"));
        else
            writer = std::make_unique<TOrvel_DataExport_XHTML>(f.Columns, QStringLiteral("X"));
        int rowsAsked = 0;
        writer->Stop = [&] {
            ++rowsAsked;
            return false;
        };
        QString error;
        try {
            if (kind == u"xlsx")
                static_cast<TOrvel_DataExport_XLSX &>(*writer).ExportToFile(path);
            else
                writer->ExportToFile(path);
        } catch (const EOrvelError &e) {
            error = e.message();
        }
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("wynik.") + kind), qPrintable(error));
        QCOMPARE(rowsAsked, 0);
        QVERIFY(!QFileInfo::exists(path));
    }

    // A text past the cell's 32,767 characters is cut at a whole character, never inside an
    // escape, and counted; a text that fits is not.
    void longTextsAreCutAndSaid_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cell"); // as the spreadsheet reads it back
        QTest::addColumn<int>("cut");
        const QString a32761(32761, u'a');
        QTest::newRow("fits exactly") << QString(32767, u'b') << QString(32767, u'b') << 0;
        QTest::newRow("40,000 characters") << QString(40000, u'c') << QString(32767, u'c') << 1;
        QTest::newRow("an escape across the limit")
            << a32761 + QStringLiteral("_x0041_") + QString(100, u'd') << a32761 << 1;
        QTest::newRow("an escape just inside the limit")
            << QString(32754, u'e') + QStringLiteral("_x0041_ff")
            << QString(32754, u'e') + QStringLiteral("_x0041_") << 1;
        QTest::newRow("a character beyond the plane at the limit")
            << QString(32766, u'g') + QString::fromUcs4(U"\U0001F600") << QString(32766, u'g') << 1;
        QTest::newRow("a short text with an escape")
            << QStringLiteral("_x0041_ zostaje") << QStringLiteral("_x0041_ zostaje") << 0;
    }
    void longTextsAreCutAndSaid() {
        QFETCH(QString, text);
        QFETCH(QString, cell);
        QFETCH(int, cut);
        Fixture f(
            QStringLiteral("DECLARE @t NVARCHAR(MAX) = N'%1' SELECT @t AS T, @t AS U").arg(text));
        TOrvel_DataExport_XLSX writer(f.Columns, QStringLiteral("Teksty"));
        const QString path = f.Path(QStringLiteral("t.xlsx"));
        QVERIFY(writer.ExportToFile(path));
        QCOMPARE(writer.CutCells(), 2 * cut);
        const Sheet sheet = ReadSheet(path);
        QCOMPARE(sheet.Cells.value(QStringLiteral("A2")).Value, cell);
        QCOMPARE(sheet.Cells.value(QStringLiteral("B2")).Value, cell);
        QCOMPARE(writer.NoticeText().isEmpty(), cut == 0);
    }

    // Where the folder takes no unnamed files, the workbook goes through a named temporary file
    // beside the target, and nothing of it stays.
    void workbookThroughANamedTemporaryFile() {
        const bool saved = TOrvel_FileTarget::UnnamedAllowed;
        TOrvel_FileTarget::UnnamedAllowed = false;
        const auto restore = qScopeGuard([saved] { TOrvel_FileTarget::UnnamedAllowed = saved; });
        Fixture f(QStringLiteral("SELECT 1 AS X UNION ALL SELECT 2"));
        const QString path = f.Path(QStringLiteral("wyniki/n.xlsx"));
        QVERIFY(QDir().mkpath(f.Path(QStringLiteral("wyniki"))));
        TOrvel_DataExport_XLSX writer(f.Columns, QStringLiteral("X"));
        QVERIFY(writer.ExportToFile(path));
        QCOMPARE(ReadSheet(path).Cells.value(QStringLiteral("A3")).Value, QStringLiteral("2"));
        QCOMPARE(FolderEntries(f.Path(QStringLiteral("wyniki"))), QStringList{"n.xlsx"});
    }

    // The look at a finished package before it replaces the old file: a whole one passes, and
    // each kind of damage is named.
    void packageCheck_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("reason"); // "": sound
        QTest::newRow("whole") << ""
                               << "";
        QTest::newRow("cut short") << "cut"
                                   << "brak katalogu archiwum";
        QTest::newRow("directory pointing past the file") << "offset"
                                                          << "katalog archiwum";
        QTest::newRow("a part missing") << "missing"
                                        << "brak części \"xl/worksheets/sheet2.xml\"";
        QTest::newRow("sheets shorter than written") << "short"
                                                     << "arkusze krótsze";
        QTest::newRow("not a package") << "text"
                                       << "brak katalogu archiwum";
    }
    void packageCheck() {
        QFETCH(QString, damage);
        QFETCH(QString, reason);
        Fixture f(QStringLiteral("SELECT 1 AS X UNION ALL SELECT 2"));
        const QString path = f.Path(QStringLiteral("p.xlsx"));
        QVERIFY(TOrvel_DataExport_XLSX(f.Columns, QStringLiteral("X")).ExportToFile(path));
        QByteArray bytes = ReadBytes(path);
        TOrvel_ZipExpectation expected;
        expected.RequiredParts = {QStringLiteral("[Content_Types].xml"),
                                  QStringLiteral("xl/worksheets/sheet1.xml")};
        expected.CountedParts = {QStringLiteral("xl/worksheets/sheet1.xml")};
        expected.MinCountedBytes = 100;
        if (damage == u"cut") {
            bytes.chop(bytes.size() / 3);
        } else if (damage == u"offset") {
            // The end record's directory offset, four bytes at 16 from its start.
            const qsizetype end = bytes.lastIndexOf(QByteArray("PK\x05\x06", 4));
            QVERIFY(end > 0);
            bytes[end + 19] = char(0x7F);
        } else if (damage == u"missing") {
            expected.RequiredParts << QStringLiteral("xl/worksheets/sheet2.xml");
        } else if (damage == u"short") {
            expected.MinCountedBytes = 1 << 20;
        } else if (damage == u"text") {
            bytes = QByteArray(4096, 'x');
        }
        QVERIFY(WriteBytes(path, bytes));
        const auto broken = CheckZipPackage(path, expected);
        if (reason.isEmpty()) {
            QVERIFY2(!broken, qPrintable(broken.value_or(QString())));
        } else {
            QVERIFY(broken);
            QVERIFY2(broken->contains(reason), qPrintable(*broken));
        }
    }

    void cutMessageInPolish_data() {
        QTest::addColumn<int>("cells");
        QTest::addColumn<QString>("text");
        const QString rest = QStringLiteral(" skrócono do 32 767 znaków (limit arkusza)");
        QTest::newRow("1") << 1 << "1 komórkę" + rest;
        QTest::newRow("3") << 3 << "3 komórki" + rest;
        QTest::newRow("5") << 5 << "5 komórek" + rest;
        QTest::newRow("12") << 12 << "12 komórek" + rest;
        QTest::newRow("22") << 22 << "22 komórki" + rest;
        QTest::newRow("1000") << 1000 << "1000 komórek" + rest;
    }
    void cutMessageInPolish() {
        QFETCH(int, cells);
        QFETCH(QString, text);
        QCOMPARE(TOrvel_DataExport_XLSX::CutMessage(cells), text);
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    ExportXlsxTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_export_xlsx.moc"
