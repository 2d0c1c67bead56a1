// The result format dialog, the export menu and the stored column layout, on results of the
// embedded engine: what they do to the columns, to the settings file and to export files.
#include "FU_ResultFormat.h"
#include "Orvel_ResultGrid.h"
#include "TestSupport.h"
#include "U_Application.h"
#include "U_Db.h"
#include "U_ExportCommands.h"
#include "U_GridCommands.h"
#include "U_MessageBox.h"
#include "U_SQL_report_settings.h"
#include "U_locale.h"
#include "U_settings.h"
#include "U_utils.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QtTest>

namespace {

const QString kSample = QStringLiteral(
    "CREATE TABLE t (Symbol NVARCHAR(20), Kwota DECIMAL(10,2), Cena FLOAT, Flag BIT, "
    "Data DATETIME, orvel_zestawnik_format NVARCHAR(100));"
    "INSERT INTO t VALUES ('A1', 12.5, 1.25, 1, '2024-01-31 00:00:00', 'color=0000FF');"
    "INSERT INTO t VALUES ('B2', NULL, 2, 0, NULL, NULL);"
    "INSERT INTO t VALUES ('C3', 0, 3.5, NULL, '2024-02-01 12:30:00', '');"
    "SELECT Symbol, Kwota, Cena, Flag, Data, orvel_zestawnik_format FROM t ORDER BY Symbol");

QString AlignLetter(TOrvel_Alignment a) {
    switch (a) {
    case TOrvel_Alignment::taCenter:
        return QStringLiteral("C");
    case TOrvel_Alignment::taRightJustify:
        return QStringLiteral("R");
    default:
        return QStringLiteral("L");
    }
}

// An application folder with preferences, a result of the embedded engine shown through a column
// model, and the column settings of the report "Obroty" (no settings file yet).
struct ResultFixture {
    QTemporaryDir Dir;
    DbConnection Connection;
    DbQuery Query{&Connection};
    TOrvel_GridColumns Columns;
    TOrvel_ReportSettings Settings;

    explicit ResultFixture(const QString &sql = kSample) {
        SetAppFolder(Dir.path());
        QDir().mkpath(Dir.filePath(QStringLiteral("data")));
        CreateAppPrefs();
        TOrvel_ConnectionSettings settings;
        settings.Server = QStringLiteral("sqlite:") + Dir.path();
        Connection.Open(settings);
        Query.SQL = sql;
        Query.Open();
        Columns.SetQuery(&Query);
        Settings.LoadSettings(Dir.filePath(QStringLiteral("Obroty.xml")));
    }
    ~ResultFixture() {
        FreeAppPrefs();
        SetAppFolder(QString());
    }
    QString Path(const QString &name) const { return Dir.filePath(name); }
    // A text of a column element as the settings file holds it now.
    QString FileValue(const QString &column, const QString &child) const {
        TOrvel_XML_util xml;
        if (!xml.LoadFromFile(Settings.FileName))
            return QStringLiteral("<no file>");
        return xml.GetValue(QStringLiteral("fields/") + column + u'/' + child);
    }
    int Pos(const QString &name) const { return Columns.FindColumn(name); }
};

QTreeWidgetItem *Row(const TF_ResultFormat &dlg, const QString &name) {
    const auto found = dlg.list->findItems(name, Qt::MatchFixedString | Qt::MatchCaseSensitive,
                                           TF_ResultFormat::colName);
    return found.isEmpty() ? nullptr : found.constFirst();
}

QStringList ListNames(const TF_ResultFormat &dlg) {
    QStringList names;
    for (int i = 0; i < dlg.list->topLevelItemCount(); ++i)
        names << dlg.list->topLevelItem(i)->text(TF_ResultFormat::colName);
    return names;
}

bool Grey(const QTreeWidgetItem *item) {
    for (int c = TF_ResultFormat::colShow; c <= TF_ResultFormat::colName; ++c)
        if (item->foreground(c).color() != TF_ResultFormat::HiddenRowColor())
            return false;
    return true;
}

} // namespace

class ResultFormatTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland)); }

    // Opening brings the settings up to date with the columns and writes the file; the list
    // follows the document's order, matches names without regard to letter case and skips
    // elements whose column the result lacks.
    void openingListsTheDocument() {
        ResultFixture f;
        QVERIFY(WriteBytes(f.Settings.FileName,
                           "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                           "<Zestawnik><fields>"
                           "<Stara><align>L</align><width>50</width><desc>Stara</desc><format/>"
                           "<index>0</index><visible>1</visible></Stara>"
                           "<kwota><align>L</align><width>70</width><desc>Suma</desc>"
                           "<format>0.0</format><index>0</index><visible>0</visible></kwota>"
                           "</fields></Zestawnik>\r\n"));
        QVERIFY(f.Settings.LoadSettings(f.Path(QStringLiteral("Obroty.xml"))));
        f.Settings.ApplyColumns(f.Columns);
        QFile::remove(f.Settings.FileName);

        TF_ResultFormat dlg;
        dlg.SetTarget(&f.Settings, &f.Columns);
        dlg.show();
        QVERIFY(QFile::exists(f.Settings.FileName));
        // The capture keeps elements by their exact name, so "Kwota" was appended beside
        // "kwota"; both belong to the column and are listed.
        QCOMPARE(ListNames(dlg), QStringList({"kwota", "Kwota", "Symbol", "Cena", "Flag", "Data",
                                              "orvel_zestawnik_format"}));
        for (const char *name : {"kwota", "Kwota"}) {
            QTreeWidgetItem *kwota = Row(dlg, name);
            QCOMPARE(kwota->text(TF_ResultFormat::colDesc), QStringLiteral("Suma"));
            QCOMPARE(kwota->checkState(TF_ResultFormat::colShow), Qt::Unchecked);
            QVERIFY(Grey(kwota));
        }
        QCOMPARE(Row(dlg, "Symbol")->checkState(TF_ResultFormat::colShow), Qt::Checked);
        QVERIFY(!Grey(Row(dlg, "Symbol")));
        QCOMPARE(dlg.Formats().front().Format, QStringLiteral("0.0"));
        QCOMPARE(f.FileValue("Stara", "width"), QStringLiteral("50"));
        // Nothing is selected: no column's properties.
        QCOMPARE(dlg.grpProperties->title(), QStringLiteral("Właściwości kolumny"));
        QVERIFY(!dlg.edDesc->isEnabled());
        QVERIFY(!dlg.listAlign->isEnabled());
        QCOMPARE(dlg.listAlign->currentIndex(), -1);
    }

    void properties_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("alignEnabled");
        QTest::addColumn<QString>("alignText");
        QTest::addColumn<bool>("formatLabelEnabled");
        QTest::addColumn<QString>("formatText");
        QTest::newRow("text") << "Symbol"
                              << "Właściwości kolumny (typ: tekst)" << true << "do lewej" << false
                              << "";
        QTest::newRow("decimal") << "Kwota"
                                 << "Właściwości kolumny (typ: liczba)" << true << "do prawej"
                                 << true << "#,##0.00";
        QTest::newRow("boolean") << "Flag"
                                 << "Właściwości kolumny (typ: logiczny)" << false << "środek"
                                 << false << "";
        QTest::newRow("date") << "Data"
                              << "Właściwości kolumny (typ: data)" << true << "do lewej" << true
                              << "dd.mm.yyyy";
    }
    // The properties group follows the kind of the selected column's field.
    void properties() {
        QFETCH(QString, column);
        QFETCH(QString, title);
        QFETCH(bool, alignEnabled);
        QFETCH(QString, alignText);
        QFETCH(bool, formatLabelEnabled);
        QFETCH(QString, formatText);
        ResultFixture f;
        f.Columns.Field(f.Pos("Kwota"))->DisplayFormat = QStringLiteral("#,##0.00");
        f.Columns.Field(f.Pos("Data"))->DisplayFormat = QStringLiteral("dd.mm.yyyy");
        f.Columns.Field(f.Pos("Symbol"))->DisplayFormat = QStringLiteral("ignored");
        TF_ResultFormat dlg;
        dlg.SetTarget(&f.Settings, &f.Columns);
        dlg.show();
        dlg.list->setCurrentItem(Row(dlg, column));
        QCOMPARE(dlg.grpProperties->title(), title);
        QVERIFY(dlg.edDesc->isEnabled());
        QCOMPARE(dlg.edDesc->text(), column);
        QCOMPARE(dlg.listAlign->isEnabled(), alignEnabled);
        QCOMPARE(dlg.labAlign->isEnabled(), alignEnabled);
        QCOMPARE(dlg.listAlign->currentText(), alignText);
        QCOMPARE(dlg.labFormat->isEnabled(), formatLabelEnabled);
        QVERIFY(dlg.edFormat->isEnabled());
        QCOMPARE(dlg.edFormat->text(), formatText);
    }

    void edit_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("what"); // desc, align (index), format, hide
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("align");
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("fileChild");
        QTest::addColumn<QString>("fileValue");
        QTest::newRow("caption") << "Symbol"
                                 << "desc"
                                 << "Kod towaru"
                                 << "Kod towaru"
                                 << "L"
                                 << "" << true << "desc"
                                 << "Kod towaru";
        QTest::newRow("emptied caption shows the field name") << "Kwota"
                                                              << "desc"
                                                              << ""
                                                              << "Kwota"
                                                              << "R"
                                                              << "0.00" << true << "desc"
                                                              << "Kwota";
        QTest::newRow("alignment") << "Symbol"
                                   << "align"
                                   << "2"
                                   << "Symbol"
                                   << "R"
                                   << "" << true << "align"
                                   << "R";
        QTest::newRow("centred") << "Cena"
                                 << "align"
                                 << "1"
                                 << "Cena"
                                 << "C"
                                 << "0.000" << true << "align"
                                 << "C";
        QTest::newRow("numeric format") << "Kwota"
                                        << "format"
                                        << "#,##0.00"
                                        << "Kwota"
                                        << "R"
                                        << "#,##0.00" << true << "format"
                                        << "#,##0.00";
        // The default comes back on the field; the file holds it from the next capture on.
        QTest::newRow("cleared numeric format") << "Cena"
                                                << "format"
                                                << ""
                                                << "Cena"
                                                << "R"
                                                << "0.000" << true << "format"
                                                << "";
        QTest::newRow("date format") << "Data"
                                     << "format"
                                     << "yyyy-mm-dd"
                                     << "Data"
                                     << "L"
                                     << "yyyy-mm-dd" << true << "format"
                                     << "yyyy-mm-dd";
        QTest::newRow("text column keeps no format") << "Symbol"
                                                     << "format"
                                                     << "0.00"
                                                     << "Symbol"
                                                     << "L"
                                                     << "" << true << "format"
                                                     << "";
        QTest::newRow("hidden") << "Symbol"
                                << "hide"
                                << ""
                                << "Symbol"
                                << "L"
                                << "" << false << "visible"
                                << "0";
        QTest::newRow("row-format column hidden") << "orvel_zestawnik_format"
                                                  << "hide"
                                                  << ""
                                                  << "orvel_zestawnik_format"
                                                  << "L"
                                                  << "" << false << "visible"
                                                  << "0";
    }
    // An edit confirmed with "OK" reaches the columns and the settings file; the other columns
    // and the widths stay as they were.
    void edit() {
        QFETCH(QString, column);
        QFETCH(QString, what);
        QFETCH(QString, value);
        QFETCH(QString, caption);
        QFETCH(QString, align);
        QFETCH(QString, format);
        QFETCH(bool, visible);
        QFETCH(QString, fileChild);
        QFETCH(QString, fileValue);
        ResultFixture f;
        f.Columns.Field(f.Pos("Kwota"))->DisplayFormat = QStringLiteral("0.00");
        f.Columns.Field(f.Pos("Cena"))->DisplayFormat = QStringLiteral("0.000");
        f.Columns.SetUserWidth(f.Pos(column), 123); // as the mouse does
        TF_ResultFormat dlg;
        dlg.SetTarget(&f.Settings, &f.Columns);
        dlg.show();
        QTreeWidgetItem *row = Row(dlg, column);
        dlg.list->setCurrentItem(row);
        if (what == "desc") {
            dlg.edDesc->setText(value);
            QCOMPARE(row->text(TF_ResultFormat::colDesc), value); // shown at once
        } else if (what == "align") {
            dlg.listAlign->setCurrentIndex(value.toInt());
        } else if (what == "format") {
            dlg.edFormat->setText(value);
        } else {
            row->setCheckState(TF_ResultFormat::colShow, Qt::Unchecked);
        }
        dlg.btnOK->click();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));

        const int p = f.Pos(column);
        QCOMPARE(f.Columns.Caption(p), caption);
        QCOMPARE(AlignLetter(f.Columns.Alignment(p)), align);
        QCOMPARE(f.Columns.Field(p)->DisplayFormat, format);
        QCOMPARE(f.Columns.Visible(p), visible);
        QCOMPARE(f.Columns.Width(p), 123);
        QCOMPARE(f.FileValue(column, fileChild), fileValue);
        QCOMPARE(f.FileValue(column, "width"), QStringLiteral("123"));
        // Another column is untouched.
        const QString other = column == "Flag" ? "Symbol" : "Flag";
        QVERIFY(f.Columns.Visible(f.Pos(other)));
        QCOMPARE(f.Columns.Caption(f.Pos(other)), other);
        QCOMPARE(f.FileValue("Flag", "align"), QStringLiteral("C"));
    }

    // "Anuluj" leaves the columns as they were; the file keeps what the opening wrote.
    void cancelChangesNothing() {
        ResultFixture f;
        f.Columns.SetCaption(f.Pos("Symbol"), QStringLiteral("Kod"));
        TF_ResultFormat dlg;
        dlg.SetTarget(&f.Settings, &f.Columns);
        dlg.show();
        const QByteArray written = ReadBytes(f.Settings.FileName);
        QVERIFY(!written.isEmpty());
        dlg.list->setCurrentItem(Row(dlg, "Symbol"));
        dlg.edDesc->setText(QStringLiteral("Inny"));
        dlg.listAlign->setCurrentIndex(2);
        Row(dlg, "Kwota")->setCheckState(TF_ResultFormat::colShow, Qt::Unchecked);
        dlg.list->setCurrentItem(Row(dlg, "Kwota"));
        dlg.edFormat->setText(QStringLiteral("0.0000"));
        dlg.btnCancel->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(f.Columns.Caption(f.Pos("Symbol")), QStringLiteral("Kod"));
        QCOMPARE(f.Columns.Alignment(f.Pos("Symbol")), TOrvel_Alignment::taLeftJustify);
        QVERIFY(f.Columns.Visible(f.Pos("Kwota")));
        QCOMPARE(f.Columns.Field(f.Pos("Kwota"))->DisplayFormat, QStringLiteral("0.00"));
        QCOMPARE(ReadBytes(f.Settings.FileName), written);

        // The next opening starts from the document again, not from the abandoned edits.
        dlg.show();
        QCOMPARE(Row(dlg, "Symbol")->text(TF_ResultFormat::colDesc), QStringLiteral("Kod"));
        QCOMPARE(Row(dlg, "Kwota")->checkState(TF_ResultFormat::colShow), Qt::Checked);
    }

    // A row's colour follows its check box at once.
    void greyRowsFollowTheCheckBox() {
        ResultFixture f;
        f.Columns.SetVisible(f.Pos("Cena"), false);
        TF_ResultFormat dlg;
        dlg.SetTarget(&f.Settings, &f.Columns);
        dlg.show();
        QVERIFY(Grey(Row(dlg, "Cena")));
        QVERIFY(!Grey(Row(dlg, "Symbol")));
        Row(dlg, "Symbol")->setCheckState(TF_ResultFormat::colShow, Qt::Unchecked);
        QVERIFY(Grey(Row(dlg, "Symbol")));
        Row(dlg, "Cena")->setCheckState(TF_ResultFormat::colShow, Qt::Checked);
        QVERIFY(!Grey(Row(dlg, "Cena")));
        dlg.btnOK->click();
        QVERIFY(!f.Columns.Visible(f.Pos("Symbol")));
        QVERIFY(f.Columns.Visible(f.Pos("Cena")));
    }

    // A settings file that cannot be written is told; after a failed "OK" the dialog stays open
    // with the user's edits, and a later "OK" that succeeds stores them.
    void unwritableSettingsFile() {
        ResultFixture f;
        const QString good = f.Settings.FileName;
        f.Settings.FileName = f.Path(QStringLiteral("brak/Obroty settings.xml"));
        TOrvel_MessageRecorder boxes;
        TF_ResultFormat dlg;
        dlg.SetTarget(&f.Settings, &f.Columns);
        dlg.show();
        QCOMPARE(int(boxes.Messages().size()), 1);
        QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
        QCOMPARE(dlg.list->topLevelItemCount(), 6); // listed all the same

        dlg.list->setCurrentItem(Row(dlg, "Symbol"));
        dlg.edDesc->setText(QStringLiteral("Kod"));
        dlg.btnOK->click();
        QCOMPARE(int(boxes.Messages().size()), 2);
        QCOMPARE(boxes.Messages()[1].Caption, ApplicationTitle());
        QVERIFY(dlg.isVisible());
        QVERIFY(!QFile::exists(f.Settings.FileName));

        f.Settings.FileName = good;
        dlg.btnOK->click();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(f.FileValue("Symbol", "desc"), QStringLiteral("Kod"));
    }

    // Enlarging the window widens "Opis" and "Nazwa" in proportion to the list; "Pokaż" and the
    // properties group keep their size, the buttons keep their distance to the corner.
    void resizeScalesColumns() {
        ResultFixture f;
        TF_ResultFormat dlg;
        dlg.SetTarget(&f.Settings, &f.Columns);
        dlg.show();
        const int showWidth = dlg.list->columnWidth(TF_ResultFormat::colShow);
        const int listWidth = dlg.list->width();
        const int desc = dlg.list->columnWidth(TF_ResultFormat::colDesc);
        const int name = dlg.list->columnWidth(TF_ResultFormat::colName);
        const QPoint okFromCorner = QPoint(dlg.width(), dlg.height()) - dlg.btnOK->pos();
        const QSize properties = dlg.grpProperties->size();

        dlg.resize(dlg.width() + 300, dlg.height() + 100);
        const int newList = dlg.list->width();
        QCOMPARE(newList, listWidth + 300);
        QCOMPARE(dlg.list->height(), 241 + 100);
        QCOMPARE(dlg.list->columnWidth(TF_ResultFormat::colShow), showWidth);
        const int newDesc = dlg.list->columnWidth(TF_ResultFormat::colDesc);
        const int newName = dlg.list->columnWidth(TF_ResultFormat::colName);
        QVERIFY2(qAbs(newDesc * listWidth - desc * newList) <= listWidth,
                 qPrintable(QString::number(newDesc)));
        QVERIFY2(qAbs(newName * listWidth - name * newList) <= listWidth,
                 qPrintable(QString::number(newName)));
        QCOMPARE(QPoint(dlg.width(), dlg.height()) - dlg.btnOK->pos(), okFromCorner);
        QCOMPARE(dlg.grpProperties->size(), properties);
        QCOMPARE(dlg.grpProperties->x() + dlg.grpProperties->width(), dlg.width() - 8);
    }

    // Field names are never cut: "Nazwa" is as wide as the longest name needs.
    void nameColumnShowsWholeNames() {
        ResultFixture f(QStringLiteral("SELECT 1 AS [Data wystawienia faktury], 2 AS Id, "
                                       "'' AS Orvel_Zestawnik_FORMAT"));
        TF_ResultFormat dlg;
        dlg.SetTarget(&f.Settings, &f.Columns);
        dlg.show();
        const int margin = dlg.list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
        const int width = dlg.list->columnWidth(TF_ResultFormat::colName);
        for (const QString &name : ListNames(dlg)) {
            const int needed = dlg.list->fontMetrics().horizontalAdvance(name) + 2 * margin;
            QVERIFY2(needed <= width, qPrintable(name + ": " + QString::number(width)));
        }
        QVERIFY(width > 100);
    }

    // The dialog at its design size, for a look (the shots folder is not part of the sources).
    void screenshot() {
        ResultFixture f;
        f.Columns.SetVisible(f.Pos("orvel_zestawnik_format"), false);
        TF_ResultFormat dlg;
        dlg.SetTarget(&f.Settings, &f.Columns);
        dlg.show();
        dlg.list->setCurrentItem(Row(dlg, "Kwota"));
        const QString folder = qEnvironmentVariable("ORVEL_SHOTS");
        if (folder.isEmpty())
            QSKIP("ORVEL_SHOTS names no folder");
        QVERIFY(dlg.grab().save(folder + QStringLiteral("/result-format.png")));
    }
};

class ExportCommandsTest : public QObject {
    Q_OBJECT

    // The main window's menu, the grid showing the fixture's result and the commands on it; the
    // save dialog answers with Answer and records what it was asked.
    struct ExportFixture : ResultFixture {
        TOrvel_ResultGrid Grid;
        QMenu Menu;
        TOrvel_ExportCommands Commands{&Grid};
        std::vector<TOrvel_SaveRequest> Asked;
        QString Answer;
        QStringList Opened;

        ExportFixture() {
            Grid.SetQuery(&Query);
            Grid.resize(400, 200);
            for (const char *name :
                 {"miSaveAs_CSV", "miSaveAs_XHTML", "miSaveAs_XHTML_andOpen", "miSaveAs_XML"})
                Menu.addAction(QString::fromLatin1(name))->setObjectName(QString::fromLatin1(name));
            Commands.Columns = &Grid.Columns();
            Commands.View = &Grid;
            Commands.Title = [] { return QStringLiteral("Obroty"); };
            Commands.AskFileName = [this](const TOrvel_SaveRequest &r) {
                Asked.push_back(r);
                return Answer;
            };
            Commands.OpenFile = [this](QWidget *, const QString &file) {
                Opened << file;
                return true;
            };
            Commands.ConnectMenu(&Menu);
        }
        // Triggers the entry and waits for the export it starts on its own thread.
        void Trigger(const QString &name) {
            for (QAction *a : Menu.actions())
                if (a->objectName() == name)
                    a->trigger();
            Commands.WaitForExport();
        }
    };

private slots:
    void init() { SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland)); }

    void entries_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("CSV") << "miSaveAs_CSV"
                             << "Zapisz do formatu CSV"
                             << ".csv"
                             << "pliki CSV|*.csv;*.txt" << QByteArray("\"Symbol\",\"Kwota\"");
        QTest::newRow("XHTML") << "miSaveAs_XHTML"
                               << "Zapisz do formatu XHTML"
                               << ".htm"
                               << "pliki XHTML|*.htm;*.html" << QByteArray("<title>Obroty</title>");
        QTest::newRow("XHTML and open")
            << "miSaveAs_XHTML_andOpen"
            << "Zapisz do formatu XHTML"
            << ".htm"
            << "pliki XHTML|*.htm;*.html" << QByteArray("<p class=\"title\">Obroty</p>");
        QTest::newRow("XML") << "miSaveAs_XML"
                             << "Zapisz do formatu XML"
                             << ".xml"
                             << "pliki XML|*.xml"
                             << QByteArray("<Zestawnik><title>Obroty</title><rowcount>3");
    }
    // Each entry asks with its title, extension and filter, writes the shown result with the
    // report's title, and leaves the current row and the grid's current cell where they were.
    void entries() {
        QFETCH(QString, entry);
        QFETCH(QString, title);
        QFETCH(QString, extension);
        QFETCH(QString, filter);
        QFETCH(QByteArray, content);
        ExportFixture f;
        f.Query.MoveTo(1);
        f.Grid.setCurrentIndex(f.Grid.model()->index(1, 2));
        f.Answer = f.Path(QStringLiteral("wynik") + extension);
        TOrvel_MessageRecorder boxes;
        f.Trigger(entry);
        QCOMPARE(int(boxes.Messages().size()), 0);
        QCOMPARE(int(f.Asked.size()), 1);
        QCOMPARE(f.Asked[0].Title, title);
        QCOMPARE(f.Asked[0].DefaultExtension, extension);
        QCOMPARE(f.Asked[0].Filter, filter);
        QCOMPARE(f.Asked[0].Owner, static_cast<QWidget *>(&f.Grid));
        const QByteArray bytes = ReadBytes(f.Answer);
        QVERIFY2(bytes.contains(content), bytes.left(300).constData());
        QVERIFY(!bytes.contains("color=0000FF")); // the row-format column is never a column
        QCOMPARE(f.Query.RecNo(), 2);
        QCOMPARE(f.Grid.currentIndex(), f.Grid.model()->index(1, 2));
        const bool xhtml = extension == ".htm";
        QCOMPARE(f.Commands.LastXhtmlFile(), xhtml ? f.Answer : QString());
        QCOMPARE(f.Opened,
                 entry == "miSaveAs_XHTML_andOpen" ? QStringList{f.Answer} : QStringList());
    }

    void separator_data() {
        QTest::addColumn<QString>("preference");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("empty") << "" << QByteArray("\"Symbol\",\"Kwota\",");
        QTest::newRow("first character") << ";|" << QByteArray("\"Symbol\";\"Kwota\";");
        QTest::newRow("tab") << "\t" << QByteArray("\"Symbol\"\t\"Kwota\"\t");
    }
    // The separator is the preference's first character, read after the dialog has closed.
    void separator() {
        QFETCH(QString, preference);
        QFETCH(QByteArray, header);
        ExportFixture f;
        f.Answer = f.Path(QStringLiteral("wynik.csv"));
        AppPrefs->WriteString(QStringLiteral("Export/CSV/Separator"), QStringLiteral("#"));
        f.Commands.AskFileName = [&](const TOrvel_SaveRequest &) {
            AppPrefs->WriteString(QStringLiteral("Export/CSV/Separator"), preference);
            return f.Answer;
        };
        f.Trigger("miSaveAs_CSV");
        QVERIFY2(ReadBytes(f.Answer).startsWith(header), ReadBytes(f.Answer).left(80).constData());
    }

    // A cancelled dialog writes nothing; a cancelled XHTML export forgets the last file, so
    // "zapisz do formatu XHTML i pokaż" opens nothing even after an earlier export.
    void cancelled() {
        ExportFixture f;
        f.Answer = f.Path(QStringLiteral("raz.htm"));
        f.Trigger("miSaveAs_XHTML");
        QCOMPARE(f.Commands.LastXhtmlFile(), f.Answer);
        f.Answer.clear();
        for (const char *entry : {"miSaveAs_CSV", "miSaveAs_XML", "miSaveAs_XHTML_andOpen"})
            f.Trigger(entry);
        QCOMPARE(f.Commands.LastXhtmlFile(), QString());
        QVERIFY(f.Opened.isEmpty());
        QCOMPARE(QDir(f.Dir.path()).entryList({"*.csv", "*.xml", "*.htm"}, QDir::Files),
                 QStringList{"raz.htm"});
    }

    void failedWrite_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("target");
        QTest::newRow("CSV into a missing folder") << "miSaveAs_CSV"
                                                   << "brak/wynik.csv";
        QTest::newRow("XML over a folder") << "miSaveAs_XML"
                                           << "folder.xml";
        QTest::newRow("XHTML and open over a folder") << "miSaveAs_XHTML_andOpen"
                                                      << "folder.htm";
    }
    // A file that cannot be written: the general error message, no file (and no leftovers),
    // nothing opened, and the current row and cell where they were.
    void failedWrite() {
        QFETCH(QString, entry);
        QFETCH(QString, target);
        ExportFixture f;
        QVERIFY(QDir(f.Dir.path()).mkdir(QStringLiteral("folder.xml")));
        QVERIFY(QDir(f.Dir.path()).mkdir(QStringLiteral("folder.htm")));
        const QStringList before =
            QDir(f.Dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        f.Query.MoveTo(2);
        f.Grid.setCurrentIndex(f.Grid.model()->index(2, 0));
        f.Answer = f.Path(target);
        TOrvel_MessageRecorder boxes;
        f.Trigger(entry);
        QCOMPARE(int(boxes.Messages().size()), 1);
        QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
        QCOMPARE(boxes.Messages()[0].Caption, ApplicationTitle());
        QVERIFY(!boxes.Messages()[0].Text.isEmpty());
        QVERIFY(QFileInfo(f.Answer).isDir() || !QFileInfo::exists(f.Answer));
        QCOMPARE(QDir(f.Dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QCOMPARE(f.Commands.LastXhtmlFile(), QString());
        QVERIFY(f.Opened.isEmpty());
        QCOMPARE(f.Query.RecNo(), 3);
        QCOMPARE(f.Grid.currentIndex(), f.Grid.model()->index(2, 0));
    }

    void nameFilters() {
        QCOMPARE(SaveFilterToNameFilters("pliki CSV|*.csv;*.txt"),
                 QStringList{"pliki CSV (*.csv *.txt)"});
        QCOMPARE(SaveFilterToNameFilters("pliki XML|*.xml|wszystkie|*"),
                 QStringList({"pliki XML (*.xml)", "wszystkie (*)"}));
    }
};

class GridCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland)); }

    // After a mouse-up the layout the user made is in the settings file at once.
    void mouseUpStoresTheLayout() {
        ResultFixture f;
        f.Settings.ApplyColumns(f.Columns);
        QVERIFY(!QFile::exists(f.Settings.FileName));
        f.Columns.SetUserWidth(f.Pos("Cena"), 210); // as the mouse does
        f.Columns.UserMove(f.Pos("Cena"), 0);
        QVERIFY(StoreColumnLayout(f.Settings, f.Columns));
        QCOMPARE(f.FileValue("Cena", "width"), QStringLiteral("210"));
        QCOMPARE(f.FileValue("Cena", "index"), QStringLiteral("0"));
        QCOMPARE(f.FileValue("Symbol", "index"), QStringLiteral("1"));
        // The default format shown since the first capture reaches the file now.
        QCOMPARE(f.FileValue("Kwota", "format"), QStringLiteral("0.00"));
    }

    // A mouse-up after a click that resized and moved nothing stores nothing, nor do the
    // program's own widths (fitted, or widened for the caption).
    void mouseUpWithoutChangeStoresNothing() {
        ResultFixture f;
        f.Settings.ApplyColumns(f.Columns);
        f.Columns.SetWidth(f.Pos("Cena"), 150);
        QVERIFY(!StoreColumnLayout(f.Settings, f.Columns));
        QVERIFY(!QFile::exists(f.Settings.FileName));
        f.Columns.SetUserWidth(f.Pos("Symbol"), 90);
        QVERIFY(StoreColumnLayout(f.Settings, f.Columns));
        QCOMPARE(f.FileValue("Symbol", "width"), QStringLiteral("90"));
        QCOMPARE(f.FileValue("Cena", "width"), QString());
        QVERIFY(QFile::remove(f.Settings.FileName));
        QVERIFY(!StoreColumnLayout(f.Settings, f.Columns));
        QVERIFY(!QFile::exists(f.Settings.FileName));
    }

    // Without rows a mouse-up stores nothing.
    void mouseUpWithoutRows() {
        ResultFixture f(QStringLiteral("CREATE TABLE t (a INT); SELECT a FROM t"));
        QVERIFY(!StoreColumnLayout(f.Settings, f.Columns));
        QVERIFY(!QFile::exists(f.Settings.FileName));
        f.Query.Close();
        QVERIFY(!StoreColumnLayout(f.Settings, f.Columns));
        QVERIFY(!QFile::exists(f.Settings.FileName));
    }
};

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    int status = 0;
    {
        ResultFormatTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        ExportCommandsTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        GridCommandsTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}

#include "test_ui_format.moc"
