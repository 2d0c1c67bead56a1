// The report object on the embedded engine: loading, the information lines, stored values, the
// dependent pick lists and runs on the worker thread.
#include "ReportFixture.h"
#include "TestSupport.h"
#include "U_Db.h"
#include "U_ParamInput.h"
#include "U_SQLRunThread.h"
#include "U_error.h"

#include <QTimer>
#include <QtTest>

namespace {
const QByteArray kMarker = "-- [Orvel_Zestawnik_PARAMETRY]";

QStringList ParamValues(const TOrvel_Report &report) {
    QStringList values;
    for (int i = 0; i < report.ParamCount(); ++i)
        values << report.Param(i).GetSQLValue();
    return values;
}

int IndexOf(const TOrvel_Report &report, const QString &name) {
    for (int i = 0; i < report.ParamCount(); ++i)
        if (report.Param(i).Name() == name)
            return i;
    return -1;
}
// A value in each parameter of the sample "Faktury kontrahenta".
void SetInvoiceValues(TOrvel_Report &report) {
    report.SetParamValue(0, "3");        // Kontrahent (SQL list)
    report.SetParamValue(1, "2");        // Status: third caption
    report.SetParamValue(2, "1234.5");   // MinKwota
    report.SetParamValue(3, "20240131"); // NaDzien
}
} // namespace

class ReportTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        FFixture = std::make_unique<TReportFixture>();
        QVERIFY2(FFixture->Ready(), "the embedded engine's demo databases are not built");
    }
    void cleanup() { FFixture.reset(); }

    void loadsSamples_data();
    void loadsSamples();
    void badDefinitions_data();
    void badDefinitions();
    void loadNotices_data();
    void loadNotices();
    void failedLoadLeavesNothingOfThePrevious();
    void informationLines();
    void updateInfoValueRefreshesTheNamedParameter();
    void saveValuesWritesDefaultsFile();
    void saveThenLoadRestoresValues();
    void valuesOutliveAReload();
    void listBeforeItsSourceEndsCleared();
    void cascadeClearsDependentLists();
    void failingListQuery();
    void addDefinitionItem();
    void assemblesScript_data();
    void assemblesScript();
    void refusesScript_data();
    void refusesScript();
    void runsSamplesWithParameters_data();
    void runsSamplesWithParameters();
    void failedRunErrorText();
    void batchWithoutResultIsSuccess();
    void errorTextComposition_data();
    void errorTextComposition();
    void runDoesNotBlockTheEventLoop();
    void cancelledRun_data();
    void cancelledRun();
    void sortStateFollowsClicksAndRuns();
    void namesakesSortByTheirOwnValues();

private:
    std::unique_ptr<TReportFixture> FFixture;
};

void ReportTest::loadsSamples_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QStringList>("params");
    QTest::newRow("invoices") << "Faktury kontrahenta"
                              << "Hurtownia"
                              << QStringList{"Kontrahent", "Status", "MinKwota", "NaDzien"};
    QTest::newRow("employees") << "Pracownicy działu"
                               << "Kadry" << QStringList{"Dzial", "Stan", "MinStaz", "Nazwisko"};
    QTest::newRow("sales") << "Sprzedaż w okresie"
                           << "Hurtownia" << QStringList{"Od", "Do", "Magazyn", "Grupowanie"};
    QTest::newRow("stock") << "Stany magazynowe"
                           << "Hurtownia"
                           << QStringList{"Kategoria", "Towar", "Fraza", "TylkoAktywne",
                                          "PonizejMinimum"};
    QTest::newRow("salaries") << "Wynagrodzenia w roku"
                              << "Kadry" << QStringList{"Rok", "Dzial", "MinPensja"};
}

void ReportTest::loadsSamples() {
    QFETCH(QString, name);
    QFETCH(QString, database);
    QFETCH(QStringList, params);
    TOrvel_Report report(&FFixture->Connection());
    TRecordingView view;
    report.SetParamView(&view);
    QStringList asked;
    report.OnDefaultDatabase = [&](const QString &db, const QString &file) {
        asked << db << file;
        return true;
    };
    const QString file = FFixture->Sample(name);
    QVERIFY(report.LoadReport(file, name));
    QVERIFY(report.IsLoaded());
    QCOMPARE(report.GetTitle(), name);
    QCOMPARE(report.GetVersionText(), QStringLiteral("1.0"));
    QCOMPARE(asked, (QStringList{database, file}));
    QCOMPARE(report.GetScriptFileName(), FFixture->Folder() + u'/' + name + ".sql");
    QVERIFY(report.GetScriptText().contains(QString::fromLatin1(kMarker)));
    QVERIFY(report.GetScriptText().endsWith(QStringLiteral("\r\n")));
    QVERIFY(report.GetDefinitionText().startsWith(QStringLiteral("<?xml")));
    QCOMPARE(report.GetDefaultsFileName(), FFixture->Folder() + u'/' + name + " defaults.xml");
    QStringList names;
    for (int i = 0; i < report.ParamCount(); ++i)
        names << report.Param(i).Name();
    QCOMPARE(names, params);
    // The rows are rebuilt in order; stored values are not applied at loading.
    QStringList expectedEvents{"clear", "begin"};
    for (int i = 0; i < params.size(); ++i)
        expectedEvents << QStringLiteral("add %1").arg(i);
    expectedEvents << "end";
    QCOMPARE(view.Events, expectedEvents);
    for (const QString &value : ParamValues(report))
        QVERIFY(value == "NULL" || value == "0"); // BIT inputs start unchecked
}

void ReportTest::badDefinitions_data() {
    QTest::addColumn<QByteArray>("definition");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("declarations");
    QTest::newRow("no params element")
        << TReportFixture::Definition({}, "1.0", false) << true << QString() << QStringList{};
    QTest::newRow("unknown and lower-case types are INT")
        << TReportFixture::Definition(TReportFixture::Item("A", "Text") +
                                      TReportFixture::Item("B", "MONEY") +
                                      TReportFixture::Item("C", "TEXT", "<width>abc</width>"))
        << true << QString() << QStringList{"A INT", "B INT", "C NVARCHAR(10)"};
    QTest::newRow("version not a number")
        << TReportFixture::Definition(TReportFixture::Item("A", "INT"), "1.x") << false
        << "'1,x' is not a valid floating point value" << QStringList{};
    QTest::newRow("version missing") << QByteArray("<Zestawnik><params/></Zestawnik>") << false
                                     << "'' is not a valid floating point value" << QStringList{};
    QTest::newRow("not well-formed")
        << QByteArray("<Zestawnik><version>1</version>") << false << QString() << QStringList{};
    // One variable on the server: the run would silently use the second value for both.
    QTest::newRow("one name twice")
        << TReportFixture::Definition(TReportFixture::Item("A", "INT") +
                                      TReportFixture::Item("A", "TEXT"))
        << false << "Nazwa parametru 'A' powtarza się: dwa parametry to ta sama zmienna SQL"
        << QStringList{};
    QTest::newRow("names that differ only by letter case")
        << TReportFixture::Definition(TReportFixture::Item("Kwota", "INT") +
                                      TReportFixture::Item("Rok", "INT") +
                                      TReportFixture::Item("kwota", "NUMERIC"))
        << false
        << "Nazwa parametru 'kwota' powtarza się: parametry 'Kwota' i 'kwota' to ta sama zmienna "
           "SQL (wielkość liter nie ma znaczenia)"
        << QStringList{};
}

void ReportTest::loadNotices_data() {
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<bool>("withScript");
    QTest::addColumn<QString>("notice"); // "%1": the script file
    const auto list = [](const char *captions, const char *values) {
        return TReportFixture::Item(
            "Rodzaj", "TEXT",
            QStringLiteral("<listitems>%1</listitems><listvalues>%2</listvalues>")
                .arg(QLatin1String(captions), QLatin1String(values)));
    };
    QTest::newRow("more captions than values")
        << TReportFixture::Item("Rok", "INT") + list("A;B;C", "1;2") << true
        << "Lista wyboru parametru 'Rodzaj' ma różną liczbę nazw (3) i wartości (2): każda nazwa "
           "potrzebuje swojej wartości";
    QTest::newRow("more values than captions")
        << list("A", "1;2") << true
        << "Lista wyboru parametru 'Rodzaj' ma różną liczbę nazw (1) "
           "i wartości (2): każda nazwa potrzebuje swojej wartości";
    QTest::newRow("a separator at the end adds no entry")
        << list("A;B;", "1;2") << true << QString();
    QTest::newRow("no values: the index is the value")
        << TReportFixture::Item("Rodzaj", "INT", "<listitems>A;B;C</listitems>") << true
        << QString();
    QTest::newRow("an SQL list ignores its captions")
        << TReportFixture::Item("Rodzaj", "INT",
                                "<listquery>SELECT 1 AS k</listquery><key>k</key>"
                                "<listfields>k</listfields><listitems>A;B</listitems>"
                                "<listvalues>1</listvalues>")
        << true << QString();
    QTest::newRow("script file missing") << list("A;B", "1;2") << false << "Brak pliku skryptu: %1";
}

void ReportTest::loadNotices() {
    QFETCH(QByteArray, items);
    QFETCH(bool, withScript);
    QFETCH(QString, notice);
    const QByteArray script = kMarker + "\r\nSELECT 1 AS a\r\n";
    const QString file = FFixture->WriteReport("Uwagi", TReportFixture::Definition(items),
                                               withScript ? &script : nullptr);
    TOrvel_Report report(&FFixture->Connection());
    // Such a definition still loads: the notice is for the author to mend it.
    QVERIFY(report.LoadReport(file, "Uwagi"));
    QCOMPARE(report.LoadNotice(), notice.contains(QLatin1String("%1"))
                                      ? notice.arg(report.GetScriptFileName())
                                      : notice);
}

void ReportTest::badDefinitions() {
    QFETCH(QByteArray, definition);
    QFETCH(bool, loaded);
    QFETCH(QString, error);
    QFETCH(QStringList, declarations);
    const QString file = FFixture->WriteReport("Zły", definition);
    TOrvel_Report report(&FFixture->Connection());
    QString raised;
    bool result = false;
    try {
        result = report.LoadReport(file, "Zły");
    } catch (const EOrvelError &e) {
        raised = e.message();
    }
    QCOMPARE(raised, error);
    QCOMPARE(result, loaded);
    QCOMPARE(report.IsLoaded(), loaded);
    QCOMPARE(report.GetDefinitionFileName(), file);
    if (!error.isEmpty())
        QCOMPARE(report.GetTitle(), QStringLiteral("Zły")); // known, though not loaded
    QStringList got;
    for (int i = 0; i < report.ParamCount(); ++i)
        got << report.Param(i).GetDeclaration(false);
    QCOMPARE(got, declarations);
    // No script file: the report loads with an empty script, and a run is refused.
    QCOMPARE(report.GetScriptText(), QString());
}

void ReportTest::failedLoadLeavesNothingOfThePrevious() {
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(FFixture->Sample("Stany magazynowe"), "Stany"));
    QCOMPARE(report.ParamCount(), 5);
    const QString bad = FFixture->WriteReport(
        "Zły", TReportFixture::Definition(TReportFixture::Item("A", "INT"), "wersja"));
    QVERIFY_THROWS_EXCEPTION(EOrvelError, report.LoadReport(bad, "Zły"));
    QVERIFY(!report.IsLoaded());
    QCOMPARE(report.ParamCount(), 0);
    QCOMPARE(report.GetScriptText(), QString());
    QCOMPARE(report.GetParamsText(), QString());
    QVERIFY(!report.LoadReport(FFixture->Folder() + "/brak.xml", "Brak"));
    QCOMPARE(report.GetTitle(), QString());
    TOrvel_ReportInfo info;
    report.ShowInfo(info);
    QCOMPARE(info.ToText(), QStringLiteral("Raport nie został załadowany\r\n"));
    QVERIFY(!info.ShowLines);
}

void ReportTest::informationLines() {
    const QByteArray items =
        TReportFixture::Item("Rok", "INT") +
        TReportFixture::Item("Stan", "TEXT",
                             "<width>1</width><listitems>Tak;Nie</listitems>"
                             "<listvalues>T;N</listvalues>") +
        TReportFixture::Item("Kat", "INT",
                             "<key>IdKategorii</key><listquery>SELECT IdKategorii, Nazwa FROM "
                             "Kategorie</listquery><listfields>Nazwa;IdKategorii</listfields>");
    const QString file = FFixture->WriteReport("Info", TReportFixture::Definition(items, " 2.5 "));
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(file, "Informacje"));
    report.SetParamValue(0, "2023");
    TOrvel_ReportInfo info;
    report.ShowInfo(info);
    QVERIFY(info.ShowLines);
    const QString expected =
        QStringLiteral("Informacje\r\n"
                       "  wersja: 2.5\r\n"
                       "  zapytanie: %1/Info.sql\r\n"
                       "  parametry\r\n"
                       "    Rok opis\r\n"
                       "      Rok INT\r\n"
                       "      wartość: 2023\r\n"
                       "    Stan opis\r\n"
                       "      Stan NVARCHAR(1)\r\n"
                       "      pozycje: Tak, Nie\r\n"
                       "      wartości: T, N\r\n"
                       "      wartość: NULL\r\n"
                       "    Kat opis\r\n"
                       "      Kat INT\r\n"
                       "      klucz: IdKategorii\r\n"
                       "      zapytanie: SELECT IdKategorii, Nazwa FROM Kategorie\r\n"
                       "      pola: Nazwa, IdKategorii\r\n"
                       "      wartość: NULL\r\n")
            .arg(FFixture->Folder());
    QCOMPARE(info.ToText(), expected);

    // Without parameters the node "parametry" has no children.
    const QString empty = FFixture->WriteReport("Pusty", TReportFixture::Definition({}));
    QVERIFY(report.LoadReport(empty, "Pusty"));
    report.ShowInfo(info);
    QCOMPARE(info.Lines.back().Text, QStringLiteral("parametry"));
    QCOMPARE(info.Lines.back().Level, 1);
}

void ReportTest::updateInfoValueRefreshesTheNamedParameter() {
    // Names are compared whole: "A" is no prefix match for "AB". (Two parameters of one name no
    // longer load.)
    const QByteArray items = TReportFixture::Item("A", "INT") + TReportFixture::Item("AB", "INT") +
                             TReportFixture::Item("B", "TEXT");
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(
        report.LoadReport(FFixture->WriteReport("Dwa", TReportFixture::Definition(items)), "D"));
    TOrvel_ReportInfo info;
    report.ShowInfo(info);
    report.Param(0).SetText("7");
    report.Param(1).SetText("8");
    report.Param(2).SetText("x");
    const QList<int> changed = report.UpdateInfoValue(info, "A", "ignored");
    QCOMPARE(changed.size(), 1);
    QCOMPARE(info.Lines[changed[0]].Text, QStringLiteral("wartość: 7"));
    QCOMPARE(info.ToText().count("wartość: NULL"), 2); // AB's and B's lines untouched
}

void ReportTest::saveValuesWritesDefaultsFile() {
    TOrvel_Report report(&FFixture->Connection());
    const QString file = FFixture->Sample("Pracownicy działu");
    QVERIFY(report.LoadReport(file, "Pracownicy"));
    report.SetParamValue(IndexOf(report, "Stan"), "'Z'");
    report.SetParamValue(IndexOf(report, "MinStaz"), "3");
    report.SetParamValue(IndexOf(report, "Nazwisko"), "O'Brien");
    report.SaveValues();
    const QString defaults = FFixture->Folder() + "/Pracownicy działu defaults.xml";
    QCOMPARE(ReadBytes(defaults),
             QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                        "<Zestawnik><Dzial>NULL</Dzial><Stan>Z</Stan><MinStaz>3</MinStaz>"
                        "<Nazwisko>O'Brien</Nazwisko></Zestawnik>\r\n"));
    // Saving again keeps the order and replaces only the texts.
    report.SetParamValue(IndexOf(report, "MinStaz"), "NULL");
    report.SaveValues();
    QCOMPARE(ReadBytes(defaults),
             QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                        "<Zestawnik><Dzial>NULL</Dzial><Stan>Z</Stan><MinStaz>NULL</MinStaz>"
                        "<Nazwisko>O'Brien</Nazwisko></Zestawnik>\r\n"));

    // Nothing loaded: nothing to save, no file.
    TOrvel_Report empty(&FFixture->Connection());
    empty.SaveValues();

    // A file that cannot be written: the error reaches the caller.
    QVERIFY(report.LoadReport(file, "Pracownicy"));
    QFile::remove(defaults);
    QVERIFY(QDir(defaults).mkpath(".")); // a folder stands where the file should go
    QVERIFY_THROWS_EXCEPTION(EOrvelError, report.SaveValues());
}

void ReportTest::saveThenLoadRestoresValues() {
    QVERIFY(FFixture->Use("Hurtownia"));
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(FFixture->Sample("Faktury kontrahenta"), "Faktury"));
    SetInvoiceValues(report);
    const QStringList saved = ParamValues(report);
    QCOMPARE(saved, (QStringList{"3", "2", "1234.5", "'20240131'"}));
    report.SaveValues();
    report.ResetValues();
    QCOMPARE(ParamValues(report), (QStringList{"NULL", "NULL", "NULL", "NULL"}));
    report.LoadDefaultValues();
    QCOMPARE(ParamValues(report), saved);
    QVERIFY(report.ListQuery(0)->IsOpen()); // the pick list was refreshed

    // A defaults file without an element (or with an empty one) gives NULL.
    WriteBytes(report.GetDefaultsFileName(),
               "<?xml version=\"1.0\"?>\r\n<Zestawnik><Status></Status><MinKwota>5</MinKwota>"
               "</Zestawnik>\r\n");
    QVERIFY(report.LoadReport(FFixture->Sample("Faktury kontrahenta"), "Faktury"));
    report.LoadDefaultValues();
    QCOMPARE(ParamValues(report), (QStringList{"NULL", "NULL", "5", "NULL"}));
}

// After the report is loaded again (as after a save in the editors) the values taken before go
// back to the parameters of the same name and type, pick lists refreshed first; a parameter
// renamed or of another type keeps the value it loaded with.
void ReportTest::valuesOutliveAReload() {
    QVERIFY(FFixture->Use("Hurtownia"));
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(FFixture->Sample("Faktury kontrahenta"), "Faktury"));
    SetInvoiceValues(report);
    const QStringList before = ParamValues(report);
    const std::vector<TOrvel_ParamValue> kept = report.CurrentValues();

    QVERIFY(report.LoadReport(FFixture->Sample("Faktury kontrahenta"), "Faktury"));
    QCOMPARE(ParamValues(report), (QStringList{"NULL", "NULL", "NULL", "NULL"}));
    report.RestoreValues(kept);
    QCOMPARE(ParamValues(report), before);
    QVERIFY(report.ListQuery(0)->IsOpen()); // the pick list was refreshed

    // The same values against an edited definition: MinKwota became a text, NaDzien was renamed.
    const QString edited = FFixture->WriteReport(
        "Edytowany", TReportFixture::Definition(TReportFixture::Item("MinKwota", "TEXT") +
                                                TReportFixture::Item("Dzien", "DATE") +
                                                TReportFixture::Item("Status", "INT")));
    QVERIFY(report.LoadReport(edited, "Edytowany"));
    report.RestoreValues(kept);
    QCOMPARE(ParamValues(report), (QStringList{"NULL", "NULL", "2"}));
}

void ReportTest::listBeforeItsSourceEndsCleared() {
    // Towar's list refers to Kategoria; with Towar first, applying Kategoria clears Towar again.
    const QByteArray towar = TReportFixture::Item(
        "Towar", "INT",
        "<key>IdTowaru</key><listquery>SELECT IdTowaru, Nazwa FROM Towary WHERE IdKategorii = "
        "ISNULL(@Kategoria, IdKategorii)</listquery><listfields>Nazwa</listfields>");
    const QByteArray kategoria = TReportFixture::Item(
        "Kategoria", "INT",
        "<key>IdKategorii</key><listquery>SELECT IdKategorii, Nazwa FROM Kategorie</listquery>");
    TOrvel_Report report(&FFixture->Connection());
    const QString file =
        FFixture->WriteReport("Kolejność", TReportFixture::Definition(towar + kategoria));
    QVERIFY(report.LoadReport(file, "K"));
    report.SetParamValue(1, "2");
    report.SetParamValue(0, "5");
    report.SaveValues();
    report.ResetValues();
    report.LoadDefaultValues();
    QCOMPARE(ParamValues(report), (QStringList{"NULL", "2"}));

    // The usual order restores both.
    QVERIFY(report.LoadReport(FFixture->Sample("Stany magazynowe"), "Stany"));
    report.SetParamValue(0, "2");
    report.SetParamValue(1, "5");
    report.SaveValues();
    report.ResetValues();
    report.LoadDefaultValues();
    QCOMPARE(ParamValues(report).mid(0, 2), (QStringList{"2", "5"}));
}

void ReportTest::cascadeClearsDependentLists() {
    // A chain C -> B -> A of lists, and a cycle between D and E that must end.
    const QString query = QStringLiteral("<key>k</key><listquery>SELECT 1 AS k %1</listquery>");
    const QByteArray items = TReportFixture::Item("A", "INT") +
                             TReportFixture::Item("B", "INT", query.arg("WHERE @A IS NULL")) +
                             TReportFixture::Item("C", "INT", query.arg("WHERE @B IS NULL")) +
                             TReportFixture::Item("D", "INT", query.arg("WHERE @E IS NULL")) +
                             TReportFixture::Item("E", "INT", query.arg("WHERE @D IS NULL"));
    TRecordingView view;
    TOrvel_Report report(&FFixture->Connection());
    report.SetParamView(&view);
    QVERIFY(report.LoadReport(FFixture->WriteReport("Kaskada", TReportFixture::Definition(items)),
                              "K"));
    for (int i = 1; i < 5; ++i)
        report.Param(i).SetKeyValue(1);
    QStringList notified;
    report.OnParamChange = [&](const QString &name, const QString &value) {
        notified << name + '=' + value;
    };
    view.Events.clear();
    report.Param(0).SetText("4");
    report.ParamChanged(0);
    QCOMPARE(notified, (QStringList{"A=4", "B=NULL", "C=NULL"}));
    QCOMPARE(view.Events, (QStringList{"show 1", "show 2"}));
    notified.clear();
    report.SetParamValue(3, "2");
    QCOMPARE(notified, (QStringList{"D=2", "E=NULL"}));
    QCOMPARE(ParamValues(report), (QStringList{"4", "NULL", "NULL", "2", "NULL"}));
}

void ReportTest::failingListQuery() {
    const QByteArray items =
        TReportFixture::Item("Zly", "INT", "<key>k</key><listquery>SELECT FROM nic</listquery>") +
        TReportFixture::Item("Pole", "INT", "<key>brak</key><listquery>SELECT 1 AS k</listquery>") +
        TReportFixture::Item("Dalej", "INT");
    TRecordingView view;
    TOrvel_Report report(&FFixture->Connection());
    report.SetParamView(&view);
    QVERIFY(
        report.LoadReport(FFixture->WriteReport("Lista", TReportFixture::Definition(items)), "L"));
    view.Events.clear();
    QVERIFY_THROWS_EXCEPTION(EOrvelError, report.RefreshList(0));
    QVERIFY(!report.ListQuery(0)->IsOpen());
    QCOMPARE(view.Events, QStringList{"list 0"}); // the list shows it is empty
    try {
        report.RefreshList(1);
        QFAIL("a missing key field must fail");
    } catch (const EOrvelError &e) {
        QCOMPARE(e.message(), QStringLiteral("Pole 'brak' nie znalezione"));
    }
    QVERIFY(!report.ListQuery(1)->IsOpen());
    // Applying stored values stops at the failing list; later parameters stay as they were.
    report.Param(2).SetText("9");
    QVERIFY_THROWS_EXCEPTION(EOrvelError, report.LoadDefaultValues());
    QCOMPARE(report.Param(2).GetSQLValue(), QStringLiteral("9"));
    // Other kinds of input have no list to refresh.
    report.RefreshList(2);
}

void ReportTest::addDefinitionItem() {
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(!report.AddDefinitionItem(TOrvel_ParamData())); // nothing loaded
    QVERIFY(report.LoadReport(FFixture->WriteReport("Dodaj", TReportFixture::Definition({})), "D"));
    TOrvel_ParamData param;
    param.name = "Nowy";
    param.type = TOrvel_ParamType::ptNumeric;
    param.width = 12;
    QVERIFY(report.AddDefinitionItem(param));
    QVERIFY(report.GetDefinitionText().contains(
        "<params><item><name>Nowy</name><type>NUMERIC</type><width>12</width><decimal>2</decimal>"
        "<desc>Parametr</desc><key></key><listquery></listquery><listitems></listitems>"
        "<listvalues></listvalues><listfields></listfields></item></params>"));
    QVERIFY(report.LoadReport(
        FFixture->WriteReport("BezParams", TReportFixture::Definition({}, "1", false)), "B"));
    // Without `params` the element is added with the item, so the parameter is not lost.
    QVERIFY(!report.GetDefinitionText().contains("<params>"));
    QVERIFY(report.AddDefinitionItem(param));
    QVERIFY(
        report.GetDefinitionText().contains("<params><item><name>Nowy</name><type>NUMERIC</type>"));
}

void ReportTest::assemblesScript_data() {
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariant>("value");
    const QByteArray rok = TReportFixture::Item("Rok", "INT");
    QTest::newRow("assignments at the marker")
        << rok << "DECLARE @Rok INT\r\n" + kMarker + "\r\nSELECT @Rok AS Rok\r\n"
        << "DECLARE @Rok INT\r\nSET @Rok = 2023 -- INT\r\n\r\nSELECT @Rok AS Rok" << QVariant(2023);
    QTest::newRow("only the first marker")
        << rok
        << "  \r\nDECLARE @Rok INT\r\n" + kMarker + "\r\n" + kMarker + "\r\nSELECT @Rok AS Rok"
        << "DECLARE @Rok INT\r\nSET @Rok = 2023 -- INT\r\n\r\n" + QString::fromLatin1(kMarker) +
               "\r\nSELECT @Rok AS Rok"
        << QVariant(2023);
    QTest::newRow("marker after a statement")
        << rok << "DECLARE @Rok INT " + kMarker + "\r\nSELECT @Rok + 1 AS Rok\r\n\r\n"
        << "DECLARE @Rok INT SET @Rok = 2023 -- INT\r\n\r\nSELECT @Rok + 1 AS Rok"
        << QVariant(2024);
    QTest::newRow("no parameters") << QByteArray() << kMarker + "\nSELECT 5 AS Rok"
                                   << "\nSELECT 5 AS Rok" << QVariant(5);
}

void ReportTest::assemblesScript() {
    QFETCH(QByteArray, items);
    QFETCH(QByteArray, script);
    QFETCH(QString, sql);
    QFETCH(QVariant, value);
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(
        FFixture->WriteReport("Skrypt", TReportFixture::Definition(items), &script), "S"));
    if (report.ParamCount() > 0)
        report.SetParamValue(0, "2023");
    QVERIFY(TReportFixture::RunAndWait(report));
    // The script file's lines are joined with CR LF after each.
    QCOMPARE(report.ResultQuery()->SQL, QString(sql).replace("\n", "\r\n").replace("\r\r", "\r"));
    QCOMPARE(report.ErrorText(), QString());
    QVERIFY(report.HasRecords());
    QCOMPARE(report.RecordCount(), 1);
    QCOMPARE(report.ResultQuery()->Field(0)->Value().toInt(), value.toInt());
}

void ReportTest::refusesScript_data() {
    QTest::addColumn<bool>("writeScript");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << false << QByteArray() << "Zapytanie SQL jest puste";
    QTest::newRow("blanks and line breaks")
        << true << QByteArray(" \r\n\t\r\n  ") << "Zapytanie SQL jest puste";
    QTest::newRow("no marker") << true << QByteArray("SELECT 1 AS a")
                               << "Zapytanie SQL nie zawiera linii wymiany parametrów";
    QTest::newRow("marker in other letter case")
        << true << QByteArray("-- [Orvel_Zestawnik_parametry]\r\nSELECT 1 AS a")
        << "Zapytanie SQL nie zawiera linii wymiany parametrów";
}

void ReportTest::refusesScript() {
    QFETCH(bool, writeScript);
    QFETCH(QByteArray, script);
    QFETCH(QString, message);
    TRecordingView view;
    TOrvel_Report report(&FFixture->Connection());
    report.SetParamView(&view);
    const QString file = FFixture->WriteReport("Odmowa", TReportFixture::Definition({}),
                                               writeScript ? &script : nullptr);
    QVERIFY(report.LoadReport(file, "O"));
    bool done = false;
    report.OnRunDone = [&](TOrvel_Report &) { done = true; };
    QVERIFY(!report.Run());
    QCOMPARE(view.Refusals, QStringList{message});
    QVERIFY(!report.IsRunning());
    QCOMPARE(report.ResultQuery()->SQL, QString());
    QCoreApplication::processEvents();
    QVERIFY(!done);
}

void ReportTest::runsSamplesWithParameters_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QStringList>("values"); // name=value pairs set before the run
    QTest::addColumn<QString>("countQuery");
    QTest::newRow("employees let go")
        << "Pracownicy działu"
        << "Kadry" << QStringList{"Stan='X'"}
        << "SELECT COUNT(*) FROM Pracownicy WHERE DataZwolnienia IS NOT NULL";
    QTest::newRow("employees by name")
        << "Pracownicy działu"
        << "Kadry" << QStringList{"Nazwisko=K"}
        << "SELECT COUNT(*) FROM Pracownicy WHERE Nazwisko LIKE 'K%'";
    QTest::newRow("stock of one category")
        << "Stany magazynowe"
        << "Hurtownia" << QStringList{"Kategoria=2"}
        << "SELECT COUNT(*) FROM Stany s JOIN Towary t ON t.IdTowaru = s.IdTowaru WHERE "
           "t.IdKategorii = 2";
    QTest::newRow("invoices, all") << "Faktury kontrahenta"
                                   << "Hurtownia" << QStringList{}
                                   << "SELECT COUNT(*) FROM Faktury WHERE DataWystawienia < "
                                      "'2025-01-01'";
    QTest::newRow("sales by category")
        << "Sprzedaż w okresie"
        << "Hurtownia" << QStringList{"Grupowanie=1"}
        << "SELECT COUNT(DISTINCT t.IdKategorii) FROM PozycjeFaktur p JOIN Towary t ON "
           "t.IdTowaru = p.IdTowaru";
    QTest::newRow("salaries") << "Wynagrodzenia w roku"
                              << "Kadry" << QStringList{"Rok=2024"} << QString();
}

void ReportTest::runsSamplesWithParameters() {
    QFETCH(QString, name);
    QFETCH(QString, database);
    QFETCH(QStringList, values);
    QFETCH(QString, countQuery);
    QVERIFY(FFixture->Use(database));
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(FFixture->Sample(name), name));
    for (const QString &pair : values) {
        const int index = IndexOf(report, pair.section('=', 0, 0));
        QVERIFY(index >= 0);
        report.SetParamValue(index, pair.section('=', 1));
    }
    int done = 0;
    report.OnRunDone = [&](TOrvel_Report &r) {
        ++done;
        QCOMPARE(&r, &report);
    };
    QVERIFY(TReportFixture::RunAndWait(report));
    QCOMPARE(done, 1);
    QCOMPARE(report.ErrorText(), QString());
    QVERIFY(report.HasRecords());
    if (!countQuery.isEmpty())
        QCOMPARE(report.RecordCount(), FFixture->Scalar(countQuery).toInt());
    QVERIFY(report.ResultQuery()->FindField("Orvel_Zestawnik_FORMAT") ||
            name == "Wynagrodzenia w roku");
}

void ReportTest::failedRunErrorText() {
    const QByteArray script = kMarker + "\r\nSELECT * FROM TabelaKtorejNieMa";
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(
        FFixture->WriteReport("Blad", TReportFixture::Definition({}), &script), "B"));
    QVERIFY(TReportFixture::RunAndWait(report));
    const QStringList lines = report.ErrorText().split("\r\n");
    QVERIFY2(lines.size() >= 2, qPrintable(report.ErrorText()));
    QVERIFY(lines[0].contains("TabelaKtorejNieMa"));
    QVERIFY2(QRegularExpression("^[0-9A-F]{8}\\.[0-9A-F]{8}\\..* - ").match(lines[1]).hasMatch(),
             qPrintable(lines[1]));
    QVERIFY(!report.HasRecords());
    QVERIFY(!report.ResultQuery()->IsOpen());
    QCOMPARE(report.RecordCount(), 0);
    // The messages were taken: a second failing run does not repeat the first one's.
    QVERIFY(TReportFixture::RunAndWait(report));
    QCOMPARE(report.ErrorText().split("\r\n").size(), lines.size());
}

void ReportTest::batchWithoutResultIsSuccess() {
    const QByteArray script = "DECLARE @x INT\r\n" + kMarker + "\r\nSET @x = 1";
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(FFixture->WriteReport("Bez", TReportFixture::Definition({}), &script),
                              "B"));
    bool done = false;
    report.OnRunDone = [&](TOrvel_Report &) { done = true; };
    QVERIFY(TReportFixture::RunAndWait(report));
    QVERIFY(done);
    QCOMPARE(report.ErrorText(), QString());
    QVERIFY(!report.HasRecords());
}

void ReportTest::errorTextComposition_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("expected");
    QTest::newRow("with provider lines") << "Błąd składni"
                                         << "00000001.00000066.S - opis\r\n"
                                         << "Błąd składni\r\n00000001.00000066.S - opis\r\n";
    QTest::newRow("no result set, no messages")
        << "Obiekt CommandText nie zwraca zestawu wyniku" << QString() << QString();
    QTest::newRow("other failure without messages stays an error")
        << "Połączenie zostało przerwane" << QString() << "Połączenie zostało przerwane";
}

void ReportTest::errorTextComposition() {
    QFETCH(QString, message);
    QFETCH(QString, provider);
    QFETCH(QString, expected);
    QCOMPARE(TOrvel_SQLRunThread::ComposeErrorText(message, provider), expected);
}

void ReportTest::runDoesNotBlockTheEventLoop() {
    // A query long enough that the event loop turns many times while the worker runs it.
    const QByteArray script = kMarker + "\r\nSELECT COUNT(*) AS n FROM PozycjeFaktur a, Faktury b "
                                        "WHERE (a.IdPozycji + b.IdFaktury) % 7 = 0";
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(
        FFixture->WriteReport("Wolny", TReportFixture::Definition({}), &script), "W"));
    int ticks = 0;
    int ticksAtEnd = -1;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    report.OnRunDone = [&](TOrvel_Report &) { ticksAtEnd = ticks; };
    QVERIFY(report.Run());
    QVERIFY(report.IsRunning());
    QVERIFY(!report.HasRecords()); // nothing is read while the worker holds the query
    timer.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(ticksAtEnd >= 0, 300000);
    QVERIFY2(ticksAtEnd > 0, "the user-interface thread was blocked during the run");
    QCOMPARE(report.ErrorText(), QString());
    QVERIFY(report.HasRecords());
    QVERIFY(report.ResultQuery()->Field(0)->Value().toLongLong() > 0);
}

void ReportTest::cancelledRun_data() {
    QTest::addColumn<bool>("abandon");
    QTest::newRow("cancel") << false;
    // Giving up on the worker (its connection dropped) ends the run at once in the same way.
    QTest::newRow("abandon") << true;
}

void ReportTest::cancelledRun() {
    QFETCH(bool, abandon);
    // Rows keep coming for minutes: a cancel meets a result partly read.
    const QByteArray script =
        kMarker + "\r\nWITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                  "1000000000) SELECT i FROM n WHERE i % 100000 = 0 OPTION (MAXRECURSION 0)";
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(
        FFixture->WriteReport("Dlugi", TReportFixture::Definition({}), &script), "D"));
    const QByteArray quick = kMarker + "\r\nSELECT 1 AS x";
    int ends = 0;
    report.OnRunDone = [&](TOrvel_Report &) { ++ends; };
    QVERIFY(report.Run());
    QTest::qWait(300);
    if (abandon) {
        report.AbandonRun();
        QCOMPARE(ends, 1); // before AbandonRun returned
    } else {
        report.CancelRun();
        QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 60000);
    }
    QVERIFY(report.WasCancelled());
    QCOMPARE(report.ErrorText(), QString());
    QVERIFY(!report.IsRunning());
    QVERIFY(!report.HasRecords());
    QVERIFY(!report.ResultQuery()->IsOpen());
    QCOMPARE(report.RecordCount(), 0);
    QVERIFY(FFixture->Connection().ProviderMessages().isEmpty());

    // The next run on the same connection is an ordinary one.
    QVERIFY(report.LoadReport(
        FFixture->WriteReport("Szybki", TReportFixture::Definition({}), &quick), "S"));
    QVERIFY(TReportFixture::RunAndWait(report));
    QVERIFY(!report.WasCancelled());
    QCOMPARE(report.RecordCount(), 1);
    report.CancelRun(); // nothing runs: nothing happens
    QVERIFY(report.HasRecords());
}

void ReportTest::sortStateFollowsClicksAndRuns() {
    QVERIFY(FFixture->Use("Hurtownia"));
    const QByteArray script = kMarker + "\r\nSELECT IdKategorii, Nazwa FROM Kategorie";
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(
        FFixture->WriteReport("Sort", TReportFixture::Definition({}), &script), "S"));
    QVERIFY_THROWS_EXCEPTION(EOrvelError, report.SortByColumn(0, "IdKategorii")); // no result
    QVERIFY(TReportFixture::RunAndWait(report));
    QCOMPARE(report.SortColumn(), -1);
    DbQuery *result = report.ResultQuery();
    const int rows = result->RecordCount();
    QVERIFY(rows > 1);
    const auto firstId = [result] { return result->Field(0)->ValueAt(0).toInt(); };
    const int maxId = FFixture->Scalar("SELECT MAX(IdKategorii) FROM Kategorie").toInt();
    const int minId = FFixture->Scalar("SELECT MIN(IdKategorii) FROM Kategorie").toInt();
    report.SortByColumn(0, "IdKategorii");
    QVERIFY(report.SortAscending());
    QCOMPARE(firstId(), minId);
    report.SortByColumn(0, "IdKategorii");
    QVERIFY(!report.SortAscending());
    QCOMPARE(firstId(), maxId);
    report.SortByColumn(1, "Nazwa");
    QVERIFY(report.SortAscending());
    QCOMPARE(report.SortColumn(), 1);
    QCOMPARE(result->SortSpec(), QStringLiteral("Nazwa ASC"));
    QVERIFY(TReportFixture::RunAndWait(report));
    QVERIFY(report.SortAscending());
    QCOMPARE(report.SortColumn(), -1);
    report.SortByColumn(1, "Nazwa");
    QVERIFY(report.SortAscending());
}

// Two fields of one name: a click on the second sorts by its own values, and starts ascending
// rather than turning the first one's direction round.
void ReportTest::namesakesSortByTheirOwnValues() {
    QVERIFY(FFixture->Use("Hurtownia"));
    const QByteArray script =
        kMarker + "\r\nSELECT -IdKategorii AS Nazwa, Nazwa FROM Kategorie ORDER BY IdKategorii";
    TOrvel_Report report(&FFixture->Connection());
    QVERIFY(report.LoadReport(
        FFixture->WriteReport("Sort2", TReportFixture::Definition({}), &script), "S"));
    QVERIFY(TReportFixture::RunAndWait(report));
    DbQuery *result = report.ResultQuery();
    const QString firstName =
        FFixture->Scalar("SELECT Nazwa FROM Kategorie ORDER BY Nazwa COLLATE POLISH_CI_AS")
            .toString();
    const QString lastName =
        FFixture->Scalar("SELECT Nazwa FROM Kategorie ORDER BY Nazwa COLLATE POLISH_CI_AS DESC")
            .toString();
    const int lowest = -FFixture->Scalar("SELECT MAX(IdKategorii) FROM Kategorie").toInt();
    report.SortByColumn(0, 0);
    QVERIFY(report.SortAscending());
    QCOMPARE(result->Field(0)->ValueAt(0).toInt(), lowest);
    report.SortByColumn(1, 1);
    QVERIFY(report.SortAscending());
    QCOMPARE(result->Field(1)->AsStringAt(0), firstName);
    report.SortByColumn(1, 1);
    QVERIFY(!report.SortAscending());
    QCOMPARE(result->Field(1)->AsStringAt(0), lastName);
}

QTEST_GUILESS_MAIN(ReportTest)
#include "test_report.moc"
