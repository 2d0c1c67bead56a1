#include "StorageTests.h"
#include "TestSupport.h"
#include "U_LoadReports.h"
#include "U_utils.h"

#include <QDir>
#include <QtTest>

namespace {
// The tree as text: one line per node, two blanks per level, groups marked with "+".
void Dump(const TOrvel_LoadReports &cat, const std::vector<TOrvel_ReportNode> &nodes, int depth,
          QStringList &out) {
    for (const TOrvel_ReportNode &node : nodes) {
        const TOrvel_ReportItem item = cat.GetItem(node.Index);
        out << QString(depth * 2, u' ') + (item.IsGroup ? "+" : "") + item.DisplayName;
        Dump(cat, node.Children, depth + 1, out);
    }
}
QStringList Dump(const TOrvel_LoadReports &cat) {
    QStringList out;
    Dump(cat, cat.Nodes(), 0, out);
    return out;
}
} // namespace

class LoadReportsTest : public QObject {
    Q_OBJECT
private slots:
    void isDefinitionFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("yes");
        QTest::newRow("plain") << "Obroty.xml" << true;
        QTest::newRow("upper extension") << "Obroty.XML" << true;
        QTest::newRow("Settings capital") << "Settings.xml" << true;
        QTest::newRow("settings") << "settings.xml" << false;
        QTest::newRow("Mysettings") << "Mysettings.xml" << false;
        QTest::newRow("companion") << u"Stany na dzień settings.xml"_qs << false;
        QTest::newRow("defaults") << "Obroty defaults.xml" << false;
        QTest::newRow("both words") << "settings raport settings.xml" << false;
        QTest::newRow("bak") << "Obroty.xml.bak" << false;
        QTest::newRow("sql") << "Obroty.sql" << false;
        QTest::newRow("no extension") << "xml" << false;
        QTest::newRow("dotted folder") << "a.xml/Obroty" << false;
    }
    void isDefinitionFile() {
        QFETCH(QString, name);
        QFETCH(bool, yes);
        QCOMPARE(TOrvel_LoadReports::IsDefinitionFile("/x/data reports/" + name), yes);
    }

    void scansTree() {
        AppFolderFixture app;
        TOrvel_LoadReports cat;
        const QString r = app.path() + "data reports/";
        QVERIFY(QDir(r).exists());
        for (const char *f : {"Obroty.xml", "Obroty.sql", "Obroty settings.xml",
                              "Obroty defaults.xml", "Zestaw.XML", "Stare.xml.bak", "Tylko.sql",
                              "Kadry/Lista.xml", "Kadry/Płace/Pensje.xml", "Sprzedaż 2.0/a.xml"})
            QVERIFY(WriteBytes(r + QString::fromUtf8(f), "<Zestawnik/>"));
        QVERIFY(QDir().mkpath(r + "Pusta"));
        cat.Reload();
        QCOMPARE(Dump(cat), (QStringList{"+Kadry", "  Lista", u"  +Płace"_qs, "    Pensje",
                                         "Obroty", "+Pusta", u"+Sprzedaż 2"_qs, "  a", "Zestaw"}));
        // Entries are numbered in the order they were added; groups carry their folder.
        QCOMPARE(cat.Count(), 9);
        QCOMPARE(cat.GetItem(0).DefinitionFile, r + "Kadry");
        QCOMPARE(cat.GetItem(1).DefinitionFile, r + "Kadry/Lista.xml");
        QCOMPARE(cat.Nodes().front().ImageIndex, 0);
        QCOMPARE(cat.Nodes().front().Children.front().SelectedIndex, 2);

        QCOMPARE(cat.GetItem(-1).DefinitionFile, QString());
        QCOMPARE(cat.GetItem(cat.Count()).DisplayName, QString());
        QVERIFY(!cat.GetItem(cat.Count()).IsGroup);

        // A second reload sees what changed on the disk and numbers afresh.
        QVERIFY(QFile::remove(r + "Zestaw.XML"));
        cat.Reload();
        QCOMPARE(cat.Count(), 8);
    }

    // The user's language order with letter case ignored, as the grid sorts texts, by the names
    // shown: Polish letters after their plain ones, groups and reports together.
    void polishOrder() {
        AppFolderFixture app;
        TOrvel_LoadReports cat;
        const QString r = app.path() + "data reports/";
        for (const char *f : {"Duży wynik.xml", "Długie liczenie.xml", "duma.xml", "Łąka.xml",
                              "Lato/a.xml", "zestaw.xml", "Źródła.xml", "Żniwa.xml", "Ćwierć.xml",
                              "Cyfry.xml", "Duży.xml", "ćma.xml"})
            QVERIFY(WriteBytes(r + QString::fromUtf8(f), "<Zestawnik/>"));
        cat.Reload();
        QCOMPARE(Dump(cat), (QStringList{"Cyfry", u"ćma"_qs, u"Ćwierć"_qs, u"Długie liczenie"_qs,
                                         "duma", u"Duży"_qs, u"Duży wynik"_qs, "+Lato", "  a",
                                         u"Łąka"_qs, "zestaw", u"Źródła"_qs, u"Żniwa"_qs}));
    }

    void findNode() {
        AppFolderFixture app;
        TOrvel_LoadReports cat;
        const QString r = app.path() + "data reports/";
        QVERIFY(WriteBytes(r + "Kadry/Lista.xml", "x"));
        QVERIFY(WriteBytes(r + u"Kadry/Łódź.xml"_qs, "x"));
        cat.Reload();
        const TOrvel_ReportNode *node = cat.FindNode(AsciiUpper(r) + "KADRY/LISTA.XML");
        QVERIFY(node);
        QCOMPARE(cat.GetItem(node->Index).DisplayName, QStringLiteral("Lista"));
        QVERIFY(cat.FindNode(r + u"Kadry/Łódź.xml"_qs));
        QVERIFY(!cat.FindNode(r + u"Kadry/łódź.xml"_qs));
        QVERIFY(!cat.FindNode(r + "Kadry/Nie ma.xml"));
    }

    void unlistableFolderGivesEmptyTree() {
        AppFolderFixture app;
        TOrvel_LoadReports cat;
        QVERIFY(WriteBytes(app.path() + "data reports/a.xml", "x"));
        cat.Reload();
        QCOMPARE(cat.Count(), 1);
        QVERIFY(QDir(app.path() + "data reports").removeRecursively());
        cat.Reload();
        QCOMPARE(cat.Count(), 0);
        QVERIFY(cat.Nodes().empty());
    }

    void linkLoopEnds() {
        AppFolderFixture app;
        TOrvel_LoadReports cat;
        const QString r = app.path() + "data reports/";
        QVERIFY(QDir().mkpath(r + "A"));
        QVERIFY(QFile::link(r, r + "A/loop"));
        cat.Reload();
        QCOMPARE(Dump(cat), (QStringList{"+A", "  +loop"}));
    }
};

std::unique_ptr<QObject> MakeLoadReportsTest() {
    return std::make_unique<LoadReportsTest>();
}
#include "tst_loadreports.moc"
