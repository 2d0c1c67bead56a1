// Several result columns of one name (the two "Nazwa" and "Kwota" of a join), on the embedded
// engine and on SQL Server through the FreeTDS driver (the TDS test server): each column keeps its
// own values, caption, format, alignment and width in the grid, the sort, column moves, the column
// settings file and every writer.
#include "Orvel_ResultGrid.h"
#include "TdsFixture.h"
#include "TestSupport.h"
#include "U_DataExport.h"
#include "U_DataExport_XLSX.h"
#include "U_GridColumns.h"
#include "U_Login.h"
#include "U_SQL_report_settings.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

namespace {

const QString kUser = QStringLiteral("orvel");
const QString kPassword = QStringLiteral("haslo");

// Invoices and their clients: a client's name and limit share their names with the invoice's
// number and amount, and each column sorts in another order.
const char *const kTables = R"(
CREATE TABLE Klienci (Id INT, Nazwa NVARCHAR(40), Kwota DECIMAL(12,2));
INSERT INTO Klienci VALUES (1, 'Zeta', 5000.5), (2, 'Alfa', 125000);
CREATE TABLE Faktury (Id INT, Nazwa NVARCHAR(20), Kwota DECIMAL(12,2), IdKlienta INT);
INSERT INTO Faktury VALUES (1, 'FV/002', 10.25, 1), (2, 'FV/003', 99.9, 2), (3, 'FV/001', 1234.5, 1);
)";
const QString kJoin =
    QStringLiteral("SELECT f.Id, f.Nazwa, f.Kwota, k.Nazwa, k.Kwota FROM Faktury f "
                   "JOIN Klienci k ON k.Id = f.IdKlienta ORDER BY f.Id");

QByteArray ZipPart(const QString &zip, const QString &part) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, part});
    if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0)
        return {};
    return unzip.readAllStandardOutput();
}

// The texts and numbers of one row of the first sheet (1 = the header), in column order.
QStringList SheetRow(const QString &zip, int row) {
    QStringList shared;
    {
        QXmlStreamReader xml(ZipPart(zip, QStringLiteral("xl/sharedStrings.xml")));
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"t")
                shared << xml.readElementText();
    }
    QStringList cells;
    QXmlStreamReader xml(ZipPart(zip, QStringLiteral("xl/worksheets/sheet1.xml")));
    bool inRow = false, sharedCell = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == u"row")
            inRow = false;
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"row") {
            inRow = xml.attributes().value(QLatin1String("r")).toInt() == row;
        } else if (inRow && xml.name() == u"c") {
            sharedCell = xml.attributes().value(QLatin1String("t")) == u"s";
        } else if (inRow && xml.name() == u"v") {
            const QString v = xml.readElementText();
            cells << (sharedCell ? shared.value(v.toInt()) : v);
        } else if (inRow && xml.name() == u"t") {
            cells << xml.readElementText();
        }
    }
    return cells;
}

// The texts of every match of a pattern's first group, in order.
QStringList Captures(const QString &text, const QString &pattern) {
    QStringList out;
    for (auto it = QRegularExpression(pattern).globalMatch(text); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

} // namespace

class TestColumns : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void gridCellsAndSort_data() { Backends(); }
    void gridCellsAndSort();
    void settingsRoundTrip_data() { Backends(); }
    void settingsRoundTrip();
    void olderFileKeepsTheOrder();
    void writers_data();
    void writers();

private:
    void Backends();
    DbConnection &Connection(const QString &backend);
    // The join opened on a backend, its columns shown by a grid, and the report's settings
    // (stored in the fixture's folder, or none) applied.
    struct Shown {
        std::unique_ptr<DbQuery> Query;
        std::unique_ptr<TOrvel_ResultGrid> Grid;
        TOrvel_GridColumns &Columns() { return Grid->Columns(); }
        // The display text at a row of the column of the n-th field of a name.
        QString Cell(const QString &name, int occurrence, int row) {
            const int position = Columns().FindColumn(name, occurrence);
            const QModelIndex index = Grid->model()->index(row, Columns().Field(position)->Index());
            return index.data().toString();
        }
    };
    Shown Show(const QString &backend, TOrvel_ReportSettings *settings);
    // A layout of the user's: each column of a name made different from its namesake.
    static void ShapeColumns(TOrvel_GridColumns &columns);

    QTemporaryDir FFolder;
    std::unique_ptr<TdsTestServer> FServer;
    DbConnection FEmbedded, FOdbc;
};

void TestColumns::initTestCase() {
    QVERIFY(FFolder.isValid());
    SetAppFolder(FFolder.path());
    QVERIFY(RunSqlite(FFolder.filePath("HURTOWNIA.sqlite"), kTables));
    TOrvel_ConnectionSettings embedded;
    embedded.Server = QStringLiteral("sqlite:") + FFolder.path();
    FEmbedded.Open(embedded);
    QVERIFY(UseDatabase(FEmbedded, "HURTOWNIA"));

    FServer = StartTdsServer(FFolder.path(), kUser, kPassword);
    QVERIFY(FServer);
    QString failure;
    QVERIFY2(ConnectTds(FOdbc, *FServer, kUser, kPassword, &failure), qPrintable(failure));
    QVERIFY(UseDatabase(FOdbc, "HURTOWNIA"));
}

void TestColumns::cleanupTestCase() {
    FOdbc.Close();
    FServer->Stop();
    SetAppFolder(QString());
}

void TestColumns::Backends() {
    QTest::addColumn<QString>("backend");
    QTest::newRow("embedded engine") << QStringLiteral("embedded");
    QTest::newRow("SQL Server over ODBC") << QStringLiteral("odbc");
}

DbConnection &TestColumns::Connection(const QString &backend) {
    return backend == u"odbc" ? FOdbc : FEmbedded;
}

TestColumns::Shown TestColumns::Show(const QString &backend, TOrvel_ReportSettings *settings) {
    Shown s;
    s.Query = std::make_unique<DbQuery>(&Connection(backend));
    s.Query->SQL = kJoin;
    s.Query->Open();
    s.Grid = std::make_unique<TOrvel_ResultGrid>();
    s.Grid->SetQuery(s.Query.get());
    // As a shown result always is: without a file of its own, numbers get their default formats.
    TOrvel_ReportSettings none;
    (settings ? *settings : none).ApplyColumns(s.Columns());
    return s;
}

void TestColumns::ShapeColumns(TOrvel_GridColumns &columns) {
    const int client = columns.FindColumn("Nazwa", 2);
    columns.SetCaption(client, "Klient");
    columns.SetUserWidth(client, 123);
    columns.Field(columns.FindColumn("Kwota", 2))->DisplayFormat = "#,##0";
    columns.SetAlignment(columns.FindColumn("Kwota", 2), TOrvel_Alignment::taCenter);
    columns.SetCaption(columns.FindColumn("Kwota", 2), "Limit");
    columns.SetCaption(columns.FindColumn("Nazwa", 1), "Faktura");
    columns.UserMove(client, 0);
}

void TestColumns::gridCellsAndSort() {
    QFETCH(QString, backend);
    Shown s = Show(backend, nullptr);
    QCOMPARE(s.Columns().NameCount("NAZWA"), 2);
    QCOMPARE(s.Cell("Nazwa", 1, 0), QStringLiteral("FV/002"));
    QCOMPARE(s.Cell("Nazwa", 2, 0), QStringLiteral("Zeta"));
    QCOMPARE(s.Cell("Kwota", 2, 1), QStringLiteral("125000,00"));

    // A sort by a column's own values, whichever namesake it is; a move keeps each column's own.
    const struct {
        const char *name;
        int occurrence;
        bool ascending;
        int firstId;
    } sorts[] = {{"Nazwa", 1, true, 3},
                 {"Nazwa", 2, true, 2},
                 {"Nazwa", 2, false, 1},
                 {"Kwota", 1, false, 3},
                 {"Kwota", 2, false, 2}};
    for (const auto &sort : sorts) {
        const int position = s.Columns().FindColumn(sort.name, sort.occurrence);
        s.Query->SortByField(s.Columns().Field(position)->Index(), sort.ascending);
        QVERIFY2(s.Query->Field(0)->ValueAt(0).toInt() == sort.firstId,
                 qPrintable(QStringLiteral("%1 #%2").arg(sort.name).arg(sort.occurrence)));
    }
    s.Query->SortByField(-1, true);
    s.Columns().UserMove(s.Columns().FindColumn("Nazwa", 2), 1);
    s.Columns().UserMove(s.Columns().FindColumn("Nazwa", 1), 4);
    QCOMPARE(s.Columns().Field(1)->FieldName(), QStringLiteral("Nazwa"));
    QCOMPARE(s.Columns().Occurrence(1), 2);
    QCOMPARE(s.Columns().Occurrence(4), 1);
    QCOMPARE(s.Cell("Nazwa", 2, 2), QStringLiteral("Zeta"));
    QCOMPARE(s.Cell("Nazwa", 1, 2), QStringLiteral("FV/001"));
}

void TestColumns::settingsRoundTrip() {
    QFETCH(QString, backend);
    const QString definition = FFolder.filePath(backend + ".xml");
    QFile::remove(TOrvel_ReportSettings::SettingsFileName(definition));
    {
        TOrvel_ReportSettings settings;
        settings.LoadSettings(definition);
        Shown s = Show(backend, &settings);
        ShapeColumns(s.Columns());
        settings.CaptureColumns(s.Columns());
        settings.SaveSettings();
    }
    const QByteArray stored = ReadBytes(TOrvel_ReportSettings::SettingsFileName(definition));
    QVERIFY(stored.contains("<Nazwa occurrence=\"2\"><align>L</align><width>123</width>"
                            "<desc>Klient</desc><format></format><index>0</index>"));
    QVERIFY(stored.contains("<Kwota occurrence=\"2\"><align>C</align><width></width>"
                            "<desc>Limit</desc><format>#,##0</format>"));

    // The next run: every column back with its own settings, and the file unchanged.
    TOrvel_ReportSettings settings;
    QVERIFY(settings.LoadSettings(definition));
    Shown s = Show(backend, &settings);
    TOrvel_GridColumns &c = s.Columns();
    QCOMPARE(c.FindColumn("Nazwa", 2), 0);
    QCOMPARE(c.Caption(0), QStringLiteral("Klient"));
    QCOMPARE(c.Width(0), 123);
    QVERIFY(c.WidthChosen(0));
    QCOMPARE(s.Cell("Nazwa", 2, 0), QStringLiteral("Zeta"));
    QCOMPARE(c.Caption(c.FindColumn("Nazwa", 1)), QStringLiteral("Faktura"));
    QCOMPARE(s.Cell("Nazwa", 1, 0), QStringLiteral("FV/002"));
    const int limit = c.FindColumn("Kwota", 2);
    QCOMPARE(c.Alignment(limit), TOrvel_Alignment::taCenter);
    QCOMPARE(c.Alignment(c.FindColumn("Kwota", 1)), TOrvel_Alignment::taRightJustify);
    QCOMPARE(s.Cell("Kwota", 2, 1), QStringLiteral("125 000"));
    QCOMPARE(s.Cell("Kwota", 1, 1), QStringLiteral("99,90"));
    settings.SaveSettings();
    QCOMPARE(ReadBytes(TOrvel_ReportSettings::SettingsFileName(definition)), stored);
}

// A file written before namesakes had keys of their own holds one element, last written by the
// later column: it no longer moves the first column over its namesake.
void TestColumns::olderFileKeepsTheOrder() {
    const QString definition = FFolder.filePath("old.xml");
    QVERIFY(WriteBytes(TOrvel_ReportSettings::SettingsFileName(definition),
                       "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                       "<Zestawnik><fields><Nazwa><align>L</align><width>90</width>"
                       "<desc>Nazwa</desc><format></format><index>3</index>"
                       "<visible>1</visible></Nazwa></fields></Zestawnik>\r\n"));
    TOrvel_ReportSettings settings;
    QVERIFY(settings.LoadSettings(definition));
    Shown s = Show("embedded", &settings);
    QCOMPARE(s.Columns().FindColumn("Nazwa", 1), 1);
    QCOMPARE(s.Columns().FindColumn("Nazwa", 2), 3);
    QCOMPARE(s.Columns().Width(1), 90);
    QCOMPARE(s.Cell("Nazwa", 1, 0), QStringLiteral("FV/002"));
}

void TestColumns::writers_data() {
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("kind");
    for (const char *backend : {"embedded", "odbc"})
        for (const char *kind : {"CSV", "XML", "XHTML", "XLSX"})
            QTest::addRow("%s %s", kind, backend)
                << QString::fromLatin1(backend) << QString::fromLatin1(kind);
}

// Every writer shows each column's own caption, values, format and alignment, in the grid's
// order: Klient (the client's name, moved first), Id, Faktura, Kwota, Limit.
void TestColumns::writers() {
    QFETCH(QString, backend);
    QFETCH(QString, kind);
    Shown s = Show(backend, nullptr);
    ShapeColumns(s.Columns());
    const QString path = FFolder.filePath("out." + kind.toLower());
    // Each writer through its own type: the workbook's ExportToFile is its own.
    if (kind == u"CSV")
        QVERIFY(TOrvel_DataExport_CSV(s.Columns(), u';', "T").ExportToFile(path));
    else if (kind == u"XML")
        QVERIFY(TOrvel_DataExport_XML(s.Columns(), "T").ExportToFile(path));
    else if (kind == u"XHTML")
        QVERIFY(TOrvel_DataExport_XHTML(s.Columns(), "T").ExportToFile(path));
    else
        QVERIFY(TOrvel_DataExport_XLSX(s.Columns(), "T").ExportToFile(path));
    const QString text = QString::fromLatin1(ReadBytes(path));

    const QStringList header{"Klient", "Id", "Faktura", "Kwota", "Limit"};
    const QStringList second{"Alfa", "2", "FV/003", "99,90", "125 000"};
    if (kind == u"CSV") {
        const QStringList lines = text.split("\r\n");
        QCOMPARE(lines.value(0), "\"" + header.join("\";\"") + "\"");
        QCOMPARE(lines.value(2), "\"" + second.join("\";\"") + "\"");
    } else if (kind == u"XML") {
        // Elements are named after the fields; the values say which column is which.
        const QStringList rows = Captures(text, "<item>(.*?)</item>");
        QVERIFY2(rows.size() == 3, qPrintable(text));
        QCOMPARE(Captures(rows[1], ">([^<]*)</"), second);
        QCOMPARE(Captures(rows[1], "<([A-Za-z]+)>"),
                 QStringList({"Nazwa", "Id", "Nazwa", "Kwota", "Kwota"}));
    } else if (kind == u"XHTML") {
        QCOMPARE(Captures(text, "<th[^>]*>([^<]*)</th>").mid(1), header); // after "Nr"
        const QStringList rows = Captures(text, "(<tr><td class=\"align_R\">2</td>.*?</tr>)");
        QVERIFY2(rows.size() == 1, qPrintable(text));
        QCOMPARE(Captures(rows[0], "<td class=\"align_\\w\"[^>]*>([^<]*)</td>").mid(1), second);
        QCOMPARE(Captures(rows[0], "<td class=\"align_(\\w)\"").mid(1),
                 QStringList({"L", "R", "L", "R", "C"}));
    } else {
        QCOMPARE(SheetRow(path, 1), header);
        // Numbers as the spreadsheet's numbers (written with all their binary digits).
        QStringList row = SheetRow(path, 3);
        for (const int number : {1, 3, 4})
            if (number < row.size())
                row[number] = QString::number(row[number].toDouble());
        QCOMPARE(row, QStringList({"Alfa", "2", "FV/003", "99.9", "125000"}));
    }
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    TestColumns t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_columns.moc"
