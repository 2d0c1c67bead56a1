// The column model and the per-report column settings, on results of the embedded engine.
#include "TestSupport.h"
#include "U_ColumnFit.h"
#include "U_DbResult.h"
#include "U_GridColumns.h"
#include "U_SQL_report_settings.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

// A result of the embedded engine (its in-memory database), with a fixed text measure of 10
// pixels per character so that widths are exact.
struct ResultFixture {
    QTemporaryDir Dir;
    DbConnection Connection;
    DbQuery Query{&Connection};
    TOrvel_GridColumns Columns;

    explicit ResultFixture(const QString &sql) {
        TOrvel_ConnectionSettings settings;
        settings.Server = QStringLiteral("sqlite:") + Dir.path();
        Connection.Open(settings);
        Query.SQL = sql;
        Query.Open();
        Columns.SetTextWidthMeasure([](const QString &t) { return int(t.size()) * 10; });
        Columns.SetQuery(&Query);
    }
    QString Path(const QString &name) const { return Dir.filePath(name); }
};

const char *const kTable = "CREATE TABLE t (Symbol NVARCHAR(10), Kwota DECIMAL(10,2), "
                           "Cena FLOAT, Ilosc INT, Flag BIT, Dzien DATETIME);"
                           "INSERT INTO t VALUES ('A1', 12.5, 1.25, 3, 1, '2024-01-31');"
                           "INSERT INTO t VALUES ('B2', NULL, 2, 4, 0, NULL);";

QString Sql(const char *select) {
    return QString::fromUtf8(kTable) + QString::fromUtf8(select);
}

// A column element; a negative width is an empty one (a width the user did not choose).
QByteArray Element(const QByteArray &name, const QByteArray &align, int width,
                   const QByteArray &desc, const QByteArray &format, int index,
                   const QByteArray &visible = "1") {
    const QByteArray pixels = width < 0 ? QByteArray() : QByteArray::number(width);
    return "<" + name + "><align>" + align + "</align><width>" + pixels + "</width><desc>" + desc +
           "</desc><format>" + format + "</format><index>" + QByteArray::number(index) +
           "</index><visible>" + visible + "</visible></" + name + ">";
}

QByteArray File(const QByteArray &fields) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n<Zestawnik><fields>" +
           fields + "</fields></Zestawnik>\r\n";
}

// A file's bytes one tag a line, so that a difference shows where it is.
QStringList Lines(const QByteArray &file) {
    return QString::fromUtf8(file).replace("><", ">\n<").split(u'\n');
}

QStringList Order(const TOrvel_GridColumns &c) {
    QStringList names;
    for (int i = 0; i < c.Count(); ++i)
        names << c.Field(i)->FieldName();
    return names;
}

} // namespace

class GridColumnsTest : public QObject {
    Q_OBJECT
private slots:
    void defaultLayout() {
        ResultFixture f(Sql("SELECT Symbol, Kwota, Flag FROM t"));
        QCOMPARE(Order(f.Columns), QStringList({"Symbol", "Kwota", "Flag"}));
        QCOMPARE(f.Columns.Alignment(0), TOrvel_Alignment::taLeftJustify);
        QCOMPARE(f.Columns.Alignment(1), TOrvel_Alignment::taRightJustify);
        QCOMPARE(f.Columns.Alignment(2), TOrvel_Alignment::taCenter);
        QCOMPARE(f.Columns.Width(0), TOrvel_GridColumns::DefaultWidth);
        QVERIFY(f.Columns.Visible(2));
        QCOMPARE(f.Columns.FindColumn("KWOTA"), 1);
        QCOMPARE(f.Columns.FindColumn("nope"), -1);
    }

    void move_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("forward") << 0 << 2 << QStringList{"B", "C", "A", "D"};
        QTest::newRow("backward") << 3 << 1 << QStringList{"A", "D", "B", "C"};
        QTest::newRow("same place") << 1 << 1 << QStringList{"A", "B", "C", "D"};
        QTest::newRow("target out of range") << 1 << 4 << QStringList{"A", "B", "C", "D"};
        QTest::newRow("source out of range") << -1 << 0 << QStringList{"A", "B", "C", "D"};
    }
    void move() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QStringList, order);
        ResultFixture f("SELECT 1 AS A, 2 AS B, 3 AS C, 4 AS D");
        f.Columns.SetWidth(from >= 0 && from < 4 ? from : 0, 99);
        const QString movedName = f.Columns.Field(from >= 0 && from < 4 ? from : 0)->FieldName();
        QSignalSpy moved(&f.Columns, &TOrvel_GridColumns::columnMoved);
        f.Columns.Move(from, to);
        QCOMPARE(Order(f.Columns), order);
        QCOMPARE(moved.count(), order == QStringList({"A", "B", "C", "D"}) ? 0 : 1);
        // The column's own width travels with it.
        QCOMPARE(f.Columns.Width(f.Columns.FindColumn(movedName)), 99);
    }

    void captionIsTheFieldsLabel() {
        ResultFixture f("SELECT 1 AS A");
        QSignalSpy changed(&f.Columns, &TOrvel_GridColumns::columnChanged);
        f.Columns.SetCaption(0, "Ala");
        QCOMPARE(f.Query.Field(0)->DisplayLabel, QString("Ala"));
        f.Columns.SetCaption(0, QString());
        QCOMPARE(f.Columns.Caption(0), QString("A"));
        QCOMPARE(changed.count(), 2);
    }

    void layoutSurvivesSortButNotNewFields() {
        ResultFixture f(Sql("SELECT Symbol, Kwota FROM t"));
        f.Columns.Move(1, 0);
        f.Columns.SetWidth(0, 120);
        QSignalSpy reset(&f.Columns, &TOrvel_GridColumns::columnsReset);
        f.Query.Sort("Kwota DESC");
        QCOMPARE(reset.count(), 0);
        QCOMPARE(Order(f.Columns), QStringList({"Kwota", "Symbol"}));
        QCOMPARE(f.Columns.Width(0), 120);

        f.Query.Close();
        f.Query.SQL = "SELECT 1 AS X";
        f.Query.Open();
        QVERIFY(reset.count() >= 1);
        QCOMPARE(Order(f.Columns), QStringList({"X"}));
        QCOMPARE(f.Columns.Width(0), TOrvel_GridColumns::DefaultWidth);
    }

    void estimatedTextWidthWithoutMeasure() {
        TOrvel_GridColumns c;
        QCOMPARE(c.TextWidth("abcd"), 4 * TOrvel_GridColumns::EstimatedCharWidth);
        QVERIFY(!c.HasOpenResult());
        QCOMPARE(c.Field(0), nullptr);
    }
};

class ReportSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void fileName_data() {
        QTest::addColumn<QString>("definition");
        QTest::addColumn<QString>("settings");
        QTest::newRow("plain") << "data reports/Sprzedaż/Obroty.xml"
                               << "data reports/Sprzedaż/Obroty settings.xml";
        QTest::newRow("dot in folder") << "/a.b/Obroty"
                                       << "/a.b/Obroty settings.xml";
        QTest::newRow("two dots") << "/r/Obroty.2024.xml"
                                  << "/r/Obroty.2024 settings.xml";
        QTest::newRow("backslashes") << "C:\\Raporty.v1\\Obroty.xml"
                                     << "C:\\Raporty.v1\\Obroty settings.xml";
    }
    void fileName() {
        QFETCH(QString, definition);
        QFETCH(QString, settings);
        QCOMPARE(TOrvel_ReportSettings::SettingsFileName(definition), settings);
    }

    void defaultFormats_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("format");
        QTest::newRow("float") << int(TFieldType::ftFloat) << "0.000";
        QTest::newRow("decimal") << int(TFieldType::ftBCD) << "0.00";
        QTest::newRow("currency") << int(TFieldType::ftCurrency) << "0.00";
        QTest::newRow("integer") << int(TFieldType::ftInteger) << "";
        QTest::newRow("text") << int(TFieldType::ftWideString) << "";
    }
    void defaultFormats() {
        QFETCH(int, type);
        QFETCH(QString, format);
        QCOMPARE(TOrvel_ReportSettings::DefaultDisplayFormat(TFieldType(type)), format);
    }

    // No settings file: the first showing seeds the document from the grid and gives numeric
    // columns their default formats; the document takes them at the next capture. Nothing is
    // written until SaveSettings.
    void firstRunSeedsTheDocument() {
        ResultFixture f(Sql("SELECT Symbol, Kwota, Cena, Ilosc, Flag FROM t"));
        TOrvel_ReportSettings s;
        QVERIFY(!s.LoadSettings(f.Path("Obroty.xml")));
        s.ApplyColumns(f.Columns);
        QVERIFY(!QFile::exists(f.Path("Obroty settings.xml")));
        QCOMPARE(f.Query.FieldByName("Cena")->DisplayFormat, QString("0.000"));
        QCOMPARE(f.Query.FieldByName("Kwota")->DisplayFormat, QString("0.00"));
        QCOMPARE(f.Query.FieldByName("Ilosc")->DisplayFormat, QString());
        auto file = [](const QByteArray &decimal, const QByteArray &floating) {
            return File(Element("Symbol", "L", -1, "Symbol", "", 0) +
                        Element("Kwota", "R", -1, "Kwota", decimal, 1) +
                        Element("Cena", "R", -1, "Cena", floating, 2) +
                        Element("Ilosc", "R", -1, "Ilosc", "", 3) +
                        Element("Flag", "C", -1, "Flag", "", 4));
        };
        s.SaveSettings();
        QCOMPARE(Lines(ReadBytes(f.Path("Obroty settings.xml"))), Lines(file("", "")));
        s.CaptureColumns(f.Columns);
        s.SaveSettings();
        QCOMPARE(Lines(ReadBytes(f.Path("Obroty settings.xml"))), Lines(file("0.00", "0.000")));
    }

    // Loading, applying, capturing and saving a file gives the same bytes: elements of columns
    // the result lacks stay where they were, and so does anything else an element holds.
    void roundTripKeepsTheFile() {
        ResultFixture f(Sql("SELECT Symbol, Kwota FROM t"));
        const QByteArray file = File(Element("Gone", "R", 33, "Dawna", "0.0", 0) +
                                     "<Kwota><align>R</align><width>90</width><desc>Kwota zł</desc>"
                                     "<format>#,##0.00</format><index>0</index><visible>1</visible>"
                                     "<note>own</note></Kwota>" +
                                     Element("Symbol", "L", 70, "Symbol", "", 1, "0"));
        QVERIFY(WriteBytes(f.Path("R settings.xml"), file));
        TOrvel_ReportSettings s;
        QVERIFY(s.LoadSettings(f.Path("R.xml")));
        s.ApplyColumns(f.Columns);
        QCOMPARE(Order(f.Columns), QStringList({"Kwota", "Symbol"}));
        QCOMPARE(f.Columns.Caption(0), QString("Kwota zł"));
        QCOMPARE(f.Columns.Width(0), 90);
        QVERIFY(!f.Columns.Visible(1));
        s.SaveSettings();
        QCOMPARE(ReadBytes(f.Path("R settings.xml")), file);
    }

    void newColumnIsAppended() {
        ResultFixture f(Sql("SELECT Ilosc, Symbol FROM t"));
        QVERIFY(WriteBytes(f.Path("R settings.xml"),
                           File(Element("Symbol", "L", 70, "Symbol", "", 0))));
        TOrvel_ReportSettings s;
        s.LoadSettings(f.Path("R.xml"));
        s.ApplyColumns(f.Columns);
        s.SaveSettings();
        QCOMPARE(ReadBytes(f.Path("R settings.xml")),
                 File(Element("Symbol", "L", 70, "Symbol", "", 0) +
                      Element("Ilosc", "R", -1, "Ilosc", "", 1)));
    }

    // Only a width the user chose is kept: a stored number stays chosen, a resize makes one
    // chosen, and any other width (fitted, widened for the caption) is written empty and fitted
    // again through the fit measure at the next showing.
    void onlyChosenWidthsAreStored() {
        ResultFixture f(Sql("SELECT Symbol, Kwota, Ilosc FROM t"));
        QVERIFY(WriteBytes(f.Path("R settings.xml"),
                           File(Element("Symbol", "L", 70, "Symbol", "", 0) +
                                Element("Kwota", "R", -1, "Kwota", "0.00", 1))));
        f.Columns.SetFitMeasure([](int position) { return 200 + position; });
        TOrvel_ReportSettings s;
        s.LoadSettings(f.Path("R.xml"));
        s.ApplyColumns(f.Columns);
        QCOMPARE(f.Columns.Width(0), 70);
        QVERIFY(f.Columns.WidthChosen(0));
        QCOMPARE(f.Columns.Width(1), 201);
        QVERIFY(!f.Columns.WidthChosen(1));
        QVERIFY(!f.Columns.TakeUserChange());

        f.Columns.SetWidth(1, 150); // the program's own change
        f.Columns.SetUserWidth(2, 55);
        QVERIFY(f.Columns.TakeUserChange());
        QVERIFY(!f.Columns.TakeUserChange());
        s.CaptureColumns(f.Columns);
        s.SaveSettings();
        QCOMPARE(ReadBytes(f.Path("R settings.xml")),
                 File(Element("Symbol", "L", 70, "Symbol", "", 0) +
                      Element("Kwota", "R", -1, "Kwota", "0.00", 1) +
                      Element("Ilosc", "R", 55, "Ilosc", "", 2)));
        f.Columns.UserMove(2, 0);
        QVERIFY(f.Columns.TakeUserChange());
        f.Columns.Move(0, 2);
        QVERIFY(!f.Columns.TakeUserChange());
    }

    // Several fields of one name: each has an element of its own (the later ones marked with
    // their occurrence), found again whatever the letter case of the later names.
    void namesakesHaveElementsOfTheirOwn() {
        ResultFixture f("SELECT 1 AS Nr, 'a' AS Nazwa, 'b' AS NAZWA, 'c' AS nazwa");
        TOrvel_ReportSettings s;
        s.LoadSettings(f.Path("R.xml"));
        s.ApplyColumns(f.Columns);
        QCOMPARE(f.Columns.FindColumn("nazwa", 3), 3);
        QCOMPARE(f.Columns.FindColumn("nazwa", 4), -1);
        f.Columns.SetCaption(3, "Trzecia");
        f.Columns.UserMove(3, 0);
        s.CaptureColumns(f.Columns);
        s.SaveSettings();
        const QByteArray file = ReadBytes(f.Path("R settings.xml"));
        QVERIFY(file.contains("<Nazwa><align>L</align><width></width><desc>Nazwa</desc>"));
        QVERIFY(file.contains("<NAZWA occurrence=\"2\">"));
        QVERIFY(file.contains("<nazwa occurrence=\"3\"><align>L</align><width></width>"
                              "<desc>Trzecia</desc><format></format><index>0</index>"));

        ResultFixture again(f.Query.SQL);
        TOrvel_ReportSettings loaded;
        loaded.LoadSettings(f.Path("R.xml"));
        loaded.ApplyColumns(again.Columns);
        QCOMPARE(again.Columns.Caption(0), QString("Trzecia"));
        QCOMPARE(again.Columns.Field(0)->AsStringAt(0), QString("c"));
        QCOMPARE(again.Columns.Occurrence(0), 3);
        loaded.SaveSettings();
        QCOMPARE(ReadBytes(f.Path("R settings.xml")), file);
    }

    // One element applied to the result's columns; the table lists what each text does.
    void applyColumn_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("element");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("format");
        const int L = int(TOrvel_Alignment::taLeftJustify);
        const int R = int(TOrvel_Alignment::taRightJustify);
        const int C = int(TOrvel_Alignment::taCenter);
        QTest::newRow("lower-case c is left")
            << "Symbol" << Element("Symbol", "c", 50, "Sym", "", 0) << "Sym" << L << 50 << true << 0
            << "";
        QTest::newRow("visible true hides")
            << "Symbol" << Element("Symbol", "R", 50, "Sym", "", 0, "true") << "Sym" << R << 50
            << false << 0 << "";
        QTest::newRow("empty width: desc plus 8")
            << "Symbol" << Element("Symbol", "L", 0, "Abc", "", 0).replace("<width>0<", "<width><")
            << "Abc" << L << 38 << true << 0 << "";
        QTest::newRow("empty width and desc: 8")
            << "Symbol" << Element("Symbol", "L", 0, "", "", 0).replace("<width>0<", "<width>x<")
            << "Symbol" << L << 8 << true << 0 << "";
        QTest::newRow("index 99 stays") << "Dzien" << Element("Dzien", "L", 50, "D", "yyyy", 99)
                                        << "D" << L << 50 << true << 5 << "yyyy";
        QTest::newRow("index 2 moves") << "Dzien" << Element("Dzien", "L", 50, "D", "", 2) << "D"
                                       << L << 50 << true << 2 << "";
        QTest::newRow("index not a number stays")
            << "Cena" << Element("Cena", "R", 50, "C", "0.0", 0).replace("<index>0<", "<index>a<")
            << "C" << R << 50 << true << 2 << "0.0";
        QTest::newRow("boolean is centred whatever it says")
            << "Flag" << Element("Flag", "R", 50, "F", "", 4) << "F" << C << 50 << true << 4 << "";
        QTest::newRow("format of a text column ignored")
            << "Symbol" << Element("Symbol", "L", 50, "S", "0.00", 0) << "S" << L << 50 << true << 0
            << "";
        QTest::newRow("other letter case applies")
            << "Symbol" << Element("SYMBOL", "R", 51, "S", "", 0) << "S" << R << 51 << true << 0
            << "";
        QTest::newRow("missing children")
            << "Symbol" << QByteArray("<Symbol/>") << "Symbol" << L << 8 << false << 0 << "";
    }
    void applyColumn() {
        QFETCH(QString, field);
        QFETCH(QByteArray, element);
        QFETCH(QString, caption);
        QFETCH(int, alignment);
        QFETCH(int, width);
        QFETCH(bool, visible);
        QFETCH(int, position);
        QFETCH(QString, format);
        ResultFixture f(Sql("SELECT Symbol, Kwota, Cena, Ilosc, Flag, Dzien FROM t"));
        QVERIFY(WriteBytes(f.Path("R settings.xml"), File(element)));
        TOrvel_ReportSettings s;
        QVERIFY(s.LoadSettings(f.Path("R.xml")));
        QVERIFY(s.ApplyColumn(f.Columns, FirstChildElement(s.Xml.FindElement("fields"))));
        const int at = f.Columns.FindColumn(field);
        QCOMPARE(at, position);
        QCOMPARE(f.Columns.Caption(at), caption);
        QCOMPARE(int(f.Columns.Alignment(at)), alignment);
        QCOMPARE(f.Columns.Width(at), width);
        QCOMPARE(f.Columns.Visible(at), visible);
        QCOMPARE(f.Columns.Field(at)->DisplayFormat, format);
        if (IsBooleanField(*f.Columns.Field(at)))
            QCOMPARE(f.Columns.Field(at)->DisplayValues, QString("tak;nie"));
    }

    void unmatchedElementChangesNothing() {
        ResultFixture f(Sql("SELECT Symbol FROM t"));
        TOrvel_ReportSettings s;
        QVERIFY(
            WriteBytes(f.Path("R settings.xml"), File(Element("Inna", "R", 5, "X", "", 0, "0"))));
        s.LoadSettings(f.Path("R.xml"));
        QVERIFY(!s.ApplyColumn(f.Columns, FirstChildElement(s.Xml.FindElement("fields"))));
        QCOMPARE(f.Columns.Width(0), TOrvel_GridColumns::DefaultWidth);
        QVERIFY(f.Columns.Visible(0));
    }

    // The later of two elements for the same column wins.
    void secondElementOfOtherCaseWins() {
        ResultFixture f(Sql("SELECT Symbol FROM t"));
        QVERIFY(WriteBytes(f.Path("R settings.xml"),
                           File(Element("symbol", "R", 40, "pierwszy", "", 0) +
                                Element("SYMBOL", "L", 41, "drugi", "", 0))));
        TOrvel_ReportSettings s;
        s.LoadSettings(f.Path("R.xml"));
        s.ApplyColumns(f.Columns);
        QCOMPARE(f.Columns.Caption(0), QString("drugi"));
        QCOMPARE(f.Columns.Width(0), 41);
    }

    // Names that are not XML names, or hold "/", are stored escaped and read back.
    void unusualFieldNames() {
        ResultFixture f(QString::fromUtf8("SELECT 'a' AS [Nazwa klienta], 1 AS [a/b], "
                                          "2 AS [1szt], 3 AS [Ilość (szt.)]"));
        TOrvel_ReportSettings s;
        s.LoadSettings(f.Path("R.xml"));
        s.ApplyColumns(f.Columns);
        f.Columns.SetUserWidth(f.Columns.FindColumn("a/b"), 77);
        f.Columns.SetCaption(f.Columns.FindColumn("Nazwa klienta"), "Klient");
        f.Columns.Move(f.Columns.FindColumn(QString::fromUtf8("Ilość (szt.)")), 0);
        s.CaptureColumns(f.Columns);
        s.SaveSettings();
        const QByteArray file = ReadBytes(f.Path("R settings.xml"));
        QVERIFY(file.contains("<Nazwa_x0020_klienta><align>L</align><width></width>"
                              "<desc>Klient</desc>"));
        QVERIFY(file.contains("<a_x002F_b><align>R</align><width>77</width>"));
        QVERIFY(file.contains("<_x0031_szt>"));
        QVERIFY(file.contains("<Ilość_x0020__x0028_szt._x0029_>"));

        ResultFixture again(f.Query.SQL);
        TOrvel_ReportSettings loaded;
        QVERIFY(loaded.LoadSettings(f.Path("R.xml")));
        loaded.ApplyColumns(again.Columns);
        QCOMPARE(again.Columns.Field(0)->FieldName(), QString::fromUtf8("Ilość (szt.)"));
        QCOMPARE(again.Columns.Width(again.Columns.FindColumn("a/b")), 77);
        QCOMPARE(again.Columns.Caption(again.Columns.FindColumn("Nazwa klienta")),
                 QString("Klient"));
        loaded.SaveSettings();
        QCOMPARE(ReadBytes(f.Path("R settings.xml")), file);
    }

    void saveFailureNamesTheFile() {
        ResultFixture f(Sql("SELECT Symbol FROM t"));
        TOrvel_ReportSettings s;
        s.SaveSettings(); // no file name yet: nothing happens
        const QString definition = f.Path("no such folder/R.xml");
        s.LoadSettings(definition);
        s.ApplyColumns(f.Columns);
        try {
            s.SaveSettings();
            QFAIL("the write should fail");
        } catch (const EOrvelError &e) {
            QVERIFY2(e.message().contains("R settings.xml"), qPrintable(e.message()));
        }
    }

    void nothingWithoutOpenResult() {
        TOrvel_GridColumns empty;
        TOrvel_ReportSettings s;
        s.ApplyColumns(empty);
        s.CaptureColumns(empty);
        QVERIFY(!s.Xml.HasDocument());
    }
};

// The texts measured to fit a column hold its widest display text, for any digits: checked
// against every cell, with a width per character in which all digits are alike and other
// characters differ.
class ColumnFitTest : public QObject {
    Q_OBJECT
    static int Width(QStringView text) {
        int w = 0;
        for (const QChar c : text)
            w += c.isDigit() ? 9 : 3 + (c.unicode() * 7) % 11;
        return w;
    }

private slots:
    void candidatesHoldTheWidest_data() {
        QTest::addColumn<QString>("values"); // a SELECT of one column named v
        QTest::addColumn<QString>("pattern");
        const QString reals = "SELECT v FROM (SELECT 1234.5 AS v UNION ALL SELECT -98765.25 "
                              "UNION ALL SELECT 0.004 UNION ALL SELECT 0 UNION ALL SELECT 7.125 "
                              "UNION ALL SELECT -0.5 UNION ALL SELECT NULL)";
        const QString decimals = "SELECT CAST(v AS DECIMAL(18,4)) AS v FROM (SELECT 1234.5 AS v "
                                 "UNION ALL SELECT -98765.2512 UNION ALL SELECT 0.0004 UNION ALL "
                                 "SELECT 99999.9999 UNION ALL SELECT 0 UNION ALL SELECT -0.5)";
        const QString ints = "SELECT CAST(v AS INT) AS v FROM (SELECT 5 AS v UNION ALL SELECT "
                             "-120000 UNION ALL SELECT 99 UNION ALL SELECT 0 UNION ALL SELECT 7)";
        const QString dates =
            "SELECT CAST(v AS DATETIME) AS v FROM (SELECT '2024-05-01' AS v UNION ALL SELECT "
            "'2023-09-17 08:05:00' UNION ALL SELECT '2024-02-29 23:59:58' UNION ALL SELECT "
            "'2022-12-03')";
        const QString days = "SELECT CAST(v AS DATE) AS v FROM (SELECT '2024-05-01' AS v UNION "
                             "ALL SELECT '2021-09-13' UNION ALL SELECT '2020-02-29')";
        QTest::newRow("float, default") << reals << "0.000";
        QTest::newRow("float, places that show only when set") << reals << "#,##0.####";
        QTest::newRow("float, exponent") << reals << "0.00E+00";
        QTest::newRow("float, sections") << reals << "0.0;(0.0);zero";
        QTest::newRow("float, general") << reals << "";
        QTest::newRow("decimal, default") << decimals << "0.00";
        QTest::newRow("decimal, rounding up a digit") << decimals << "0";
        QTest::newRow("decimal, grouping and places") << decimals << "#,##0.0###";
        QTest::newRow("integer, general") << ints << "";
        QTest::newRow("integer, grouped with a zero text") << ints << "#,##0;-#,##0;'brak'";
        QTest::newRow("date-time, default") << dates << "";
        QTest::newRow("date-time, names") << dates << "dddd d mmmm yyyy, h:nn am/pm";
        QTest::newRow("date, default") << days << "";
        QTest::newRow("date, month names") << days << "d mmmm yyyy";
    }
    void candidatesHoldTheWidest() {
        QFETCH(QString, values);
        QFETCH(QString, pattern);
        ResultFixture f(values);
        DbField &field = *f.Query.Field(0);
        field.DisplayFormat = pattern;
        const DbDisplayFormat display(field);
        const TOrvel_ColumnFit fit(f.Query.Result()->Column(0));
        QVERIFY(fit.IsNumberOrDate());
        int widestCandidate = 0;
        for (const QString &text : fit.Candidates(display.Format()))
            widestCandidate = std::max(widestCandidate, Width(text));
        TOrvel_TextBuffer scratch;
        for (int row = 0; row < f.Query.RecordCount(); ++row) {
            const QString text =
                display.Cell(std::size_t(f.Query.StoredRow(row)), scratch).toString();
            QVERIFY2(Width(text) <= widestCandidate, qPrintable(text));
        }
    }

    // Texts: the longest by their number of characters are kept, however many rows there are.
    void longestTextsAreKept() {
        ResultFixture f("SELECT v FROM (SELECT 'a' AS v UNION ALL SELECT 'Zażółć gęślą' UNION ALL "
                        "SELECT NULL UNION ALL SELECT 'bb')");
        const TOrvel_ColumnFit fit(f.Query.Result()->Column(0));
        QVERIFY(!fit.IsNumberOrDate());
        const DbDisplayFormat display(*f.Query.Field(0));
        const auto texts = fit.Candidates(display.Format());
        QVERIFY(std::find(texts.begin(), texts.end(), QString::fromUtf8("Zażółć gęślą")) !=
                texts.end());
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    int failed = 0;
    {
        GridColumnsTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    {
        ReportSettingsTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    {
        ColumnFitTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    return failed;
}

#include "test_settings.moc"
