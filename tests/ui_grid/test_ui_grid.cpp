// The result grid and the row-format column: parsing of the format text, the model's roles over a
// real result of the embedded engine, the sort tint and mark, widening and fitting of columns, and
// the grid mirroring the column layout.
#include "Orvel_ResultGrid.h"
#include "TestSupport.h"
#include "U_Db.h"
#include "U_GridColumns.h"
#include "U_RowFormat.h"
#include "U_SQL_report_settings.h"
#include "U_locale.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include <sqlite3.h>

#include <optional>

Q_DECLARE_METATYPE(std::optional<std::uint32_t>)

class RowFormatTest : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<std::uint32_t>>("color");
        QTest::addColumn<std::optional<std::uint32_t>>("fontColor");
        QTest::addColumn<QString>("style"); // letters B, I, U set
        QTest::addColumn<bool>("lineUp");
        using C = std::optional<std::uint32_t>;
        const C none;
        QTest::newRow("empty") << "" << none << none << "" << false;
        QTest::newRow("red background, BGR layout")
            << "color=0000FF" << C(0xFF0000) << none << "" << false;
        QTest::newRow("blue background") << "color=FF0000" << C(0x0000FF) << none << "" << false;
        QTest::newRow("light yellow") << "color=C0FFFF" << C(0xFFFFC0) << none << "" << false;
        QTest::newRow("one digit is red") << "color=F" << C(0x0F0000) << none << "" << false;
        QTest::newRow("lower-case hex digits")
            << "color=00ff00" << C(0x00FF00) << none << "" << false;
        QTest::newRow("lower-case style letters ignored")
            << "fontstyle=bi" << none << none << "" << false;
        QTest::newRow("bold italic in any order")
            << "fontstyle=IB" << none << none << "BI" << false;
        QTest::newRow("other style characters ignored")
            << "fontstyle=xUz" << none << none << "U" << false;
        QTest::newRow("line value is exact") << "line=UP" << none << none << "" << false;
        QTest::newRow("names ignore case")
            << "LINE=up;FontColor=FFFFFF" << none << C(0xFFFFFF) << "" << true;
        QTest::newRow("empty colour ignored")
            << "color=;fontcolor=FFFFFF" << none << C(0xFFFFFF) << "" << false;
        QTest::newRow("first entry of a name wins")
            << "color=00FFFF;color=0000FF" << C(0xFFFF00) << none << "" << false;
        QTest::newRow("first entry wins even when empty")
            << "color=;color=0000FF" << none << none << "" << false;
        QTest::newRow("all four") << "color=E0E0E0;fontstyle=B;line=up" << C(0xE0E0E0) << none
                                  << "B" << true;
        QTest::newRow("CR LF end entries")
            << "fontcolor=0000FF\r\nfontstyle=U\nline=up" << none << C(0xFF0000) << "U" << true;
        QTest::newRow("nothing is trimmed")
            << " color=0000FF;fontcolor=0000FF " << none << none << "" << false;
        QTest::newRow("value after the first equals sign")
            << "color=0000FF=1" << none << none << "" << false;
        QTest::newRow("entries without equals sign ignored")
            << "abc;color;line=up" << none << none << "" << true;
        QTest::newRow("not hexadecimal") << "color=zz;fontcolor=12G" << none << none << "" << false;
        QTest::newRow("above FFFFFF names no colour")
            << "color=1FFFFFF" << none << none << "" << false;
        QTest::newRow("more than eight digits") << "color=000000000" << none << none << "" << false;
        QTest::newRow("unknown names ignored")
            << "background=0000FF;bold=1" << none << none << "" << false;
    }
    void parse() {
        QFETCH(QString, text);
        QFETCH(std::optional<std::uint32_t>, color);
        QFETCH(std::optional<std::uint32_t>, fontColor);
        QFETCH(QString, style);
        QFETCH(bool, lineUp);
        const TOrvel_RowFormat format = ParseRowFormat(text);
        QCOMPARE(format.Color, color);
        QCOMPARE(format.FontColor, fontColor);
        QCOMPARE(format.Bold, style.contains(u'B'));
        QCOMPARE(format.Italic, style.contains(u'I'));
        QCOMPARE(format.Underline, style.contains(u'U'));
        QCOMPARE(format.LineUp, lineUp);
    }

    void fieldName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isFormat");
        QTest::newRow("exact") << "Orvel_Zestawnik_FORMAT" << true;
        QTest::newRow("other case") << "orvel_zestawnik_format" << true;
        QTest::newRow("trailing blank") << "Orvel_Zestawnik_FORMAT " << false;
        QTest::newRow("other name") << "FORMAT" << false;
    }
    void fieldName() {
        QFETCH(QString, name);
        QFETCH(bool, isFormat);
        QCOMPARE(IsRowFormatFieldName(name), isFormat);
    }
};

// A result of the embedded engine: four rows, the row-format column last.
class GridFixture {
public:
    GridFixture() {
        const QString file = FDir.filePath(QStringLiteral("Testy.sqlite"));
        sqlite3 *db = nullptr;
        sqlite3_open(file.toUtf8().constData(), &db);
        sqlite3_exec(db,
                     "CREATE TABLE t (id INTEGER, nazwa NVARCHAR(20), kwota FLOAT, "
                     "Orvel_Zestawnik_FORMAT NVARCHAR(100));"
                     "INSERT INTO t VALUES (1, 'Alfa', 1.5, 'color=0000FF;fontstyle=B');"
                     "INSERT INTO t VALUES (2, 'Beta', 2.5, NULL);"
                     "INSERT INTO t VALUES (3, 'Gamma', 3.5, 'fontcolor=FF0000;line=up');"
                     "INSERT INTO t VALUES (4, 'Delta', 4.5, '');",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        TOrvel_ConnectionSettings settings;
        settings.Server = QStringLiteral("sqlite:") + FDir.path();
        Connection.Open(settings);
        DbQuery use(&Connection);
        use.SQL = QStringLiteral("USE \"TESTY\"");
        use.Execute();
        Query = std::make_unique<DbQuery>(&Connection);
        Query->SQL = QStringLiteral("SELECT id, nazwa, kwota, Orvel_Zestawnik_FORMAT FROM t "
                                    "ORDER BY id");
    }
    void Open() {
        Query->Open();
        QCoreApplication::processEvents();
    }

    QTemporaryDir FDir;
    DbConnection Connection;
    std::unique_ptr<DbQuery> Query;
};

class ResultGridTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<GridFixture> F;
    std::unique_ptr<TOrvel_ResultGrid> Grid;
    TOrvel_ResultModel *Model() { return Grid->ResultModel(); }
    QVariant Data(int row, int column, int role) {
        return Model()->data(Model()->index(row, column), role);
    }
    // The row whose id is the given one, in the current order.
    int RowOf(int id) {
        for (int r = 0; r < Model()->rowCount(); ++r)
            if (Data(r, 0, Qt::DisplayRole).toString() == QString::number(id))
                return r;
        return -1;
    }

private slots:
    void init() {
        SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
        F = std::make_unique<GridFixture>();
        Grid = std::make_unique<TOrvel_ResultGrid>();
        Grid->resize(600, 300);
        Grid->SetQuery(F->Query.get());
        F->Open();
    }
    void cleanup() {
        Grid.reset();
        F.reset();
    }

    void showsTheOpenResult() {
        QCOMPARE(Model()->rowCount(), 4);
        QCOMPARE(Model()->columnCount(), 4);
        QCOMPARE(Model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("nazwa"));
        QCOMPARE(Data(1, 1, Qt::DisplayRole).toString(), QStringLiteral("Beta"));
        // Numeric columns are right-aligned, the others left-aligned.
        QVERIFY(Data(0, 0, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
        QVERIFY(Data(0, 1, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);
        // The row-format column is an ordinary column showing its raw text.
        QCOMPARE(Data(0, 3, Qt::DisplayRole).toString(),
                 QStringLiteral("color=0000FF;fontstyle=B"));
        F->Query->Close();
        QCoreApplication::processEvents();
        QCOMPARE(Model()->rowCount(), 0);
        QCOMPARE(Model()->columnCount(), 0);
    }

    void rowFormatRoles() {
        // Every cell of a formatted row carries the row's format.
        for (int column = 0; column < 4; ++column) {
            QCOMPARE(Data(0, column, Qt::BackgroundRole).value<QBrush>().color(),
                     QColor(255, 0, 0));
            QVERIFY(Data(0, column, Qt::FontRole).value<QFont>().bold());
        }
        QVERIFY(!Data(1, 0, Qt::BackgroundRole).isValid()); // NULL: plain
        QVERIFY(!Data(1, 0, Qt::FontRole).isValid());
        QCOMPARE(Data(2, 1, Qt::ForegroundRole).value<QBrush>().color(), QColor(0, 0, 255));
        QVERIFY(Data(2, 1, TOrvel_ResultModel::LineUpRole).toBool());
        QVERIFY(!Data(3, 1, TOrvel_ResultModel::LineUpRole).toBool()); // empty text: plain
        QVERIFY(!Data(3, 1, Qt::ForegroundRole).isValid());
    }

    void sortTintAndFormatsFollowTheRows() {
        // Sorting the result descending by name: the same rows, another order; no model reset,
        // so the user's column widths stay.
        Grid->Columns().SetWidth(1, 150);
        QSignalSpy resets(Model(), &QAbstractItemModel::modelReset);
        F->Query->Sort(QStringLiteral("nazwa DESC"));
        QCoreApplication::processEvents();
        QCOMPARE(resets.count(), 0);
        QCOMPARE(Grid->horizontalHeader()->sectionSize(1), 150);
        QCOMPARE(Data(0, 1, Qt::DisplayRole).toString(), QStringLiteral("Gamma"));
        // The formats are cached per stored row and follow their rows.
        QVERIFY(Data(RowOf(3), 0, TOrvel_ResultModel::LineUpRole).toBool());
        QCOMPARE(Data(RowOf(1), 2, Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 0, 0));

        Grid->SetSortMark(1, false);
        QCOMPARE(Grid->SortColumn(), 1);
        QVERIFY(!Grid->SortAscending());
        const QColor tint(250, 245, 255);
        QCOMPARE(Data(RowOf(2), 1, Qt::BackgroundRole).value<QBrush>().color(), tint);
        QVERIFY(!Data(RowOf(2), 0, Qt::BackgroundRole).isValid());
        // The row's own colour wins over the tint.
        QCOMPARE(Data(RowOf(1), 1, Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 0, 0));
        Grid->ClearSortMark();
        QCOMPARE(Grid->SortColumn(), -1);
        QVERIFY(Grid->SortAscending());
        QVERIFY(!Data(RowOf(2), 1, Qt::BackgroundRole).isValid());
    }

    void sortMarkFollowsTheSortedField_data() {
        QTest::addColumn<int>("sorted"); // position of the sorted column before the move
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("expected"); // its position after the move
        QTest::newRow("the sorted column dragged right") << 0 << 0 << 2 << 2;
        QTest::newRow("the sorted column dragged left") << 2 << 2 << 0 << 0;
        QTest::newRow("another column dragged before it") << 1 << 2 << 0 << 2;
        QTest::newRow("another column dragged past it") << 1 << 0 << 3 << 0;
        QTest::newRow("a move beyond it leaves it") << 0 << 1 << 3 << 0;
    }
    void sortMarkFollowsTheSortedField() {
        QFETCH(int, sorted);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, expected);
        const int field = Grid->Columns().Field(sorted)->Index();
        Grid->SetSortMark(sorted, false);
        // As the mouse drags a title.
        QHeaderView *header = Grid->horizontalHeader();
        header->moveSection(from, to);
        QCOMPARE(Grid->Columns().Field(expected)->Index(), field);
        QCOMPARE(Grid->SortColumn(), expected);
        QVERIFY(!Grid->SortAscending());
        QCOMPARE(Model()->SortPosition(), expected);
        // The tint stays on the sorted field's cells and nowhere else.
        const QColor tint(250, 245, 255);
        for (int column = 0; column < 3; ++column) {
            const QVariant background = Data(1, column, Qt::BackgroundRole);
            if (column == field)
                QCOMPARE(background.value<QBrush>().color(), tint);
            else
                QVERIFY(!background.isValid());
        }
        // Alignment comes from the column's own settings, wherever it stands.
        QVERIFY(Data(1, 0, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
    }

    void titleClickWidens_data() {
        QTest::addColumn<bool>("withImages");
        QTest::addColumn<int>("markWidth");
        QTest::newRow("no image list: 16") << false << 16;
        QTest::newRow("sort marks: their width") << true << 9;
    }
    void titleClickWidens() {
        QFETCH(bool, withImages);
        QFETCH(int, markWidth);
        if (!withImages)
            Grid->SetSortImages({});
        TOrvel_GridColumns &columns = Grid->Columns();
        columns.SetWidth(1, 10);
        QSignalSpy clicks(Grid.get(), &TOrvel_ResultGrid::titleClick);
        emit Grid->horizontalHeader()->sectionClicked(1);
        const int expected = markWidth + columns.TextWidth(QStringLiteral("nazwa")) + 10;
        QCOMPARE(columns.Width(1), expected);
        QCOMPARE(Grid->horizontalHeader()->sectionSize(1), expected);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.first().first().toInt(), 1);
        // A column already wide enough keeps its width.
        columns.SetWidth(1, 300);
        emit Grid->horizontalHeader()->sectionClicked(1);
        QCOMPARE(columns.Width(1), 300);
    }

    void noTitleClickWithoutRows() {
        F->Query->SQL = QStringLiteral("SELECT id, nazwa FROM t WHERE id > 100");
        F->Open();
        QCOMPARE(Model()->rowCount(), 0);
        QCOMPARE(Model()->columnCount(), 2); // the empty result still shows its titles
        QSignalSpy clicks(Grid.get(), &TOrvel_ResultGrid::titleClick);
        emit Grid->horizontalHeader()->sectionClicked(0);
        QCOMPARE(clicks.count(), 0);
    }

    void fitColumnWidths() {
        TOrvel_GridColumns &columns = Grid->Columns();
        Grid->SetSortImages({});
        for (int p = 0; p < columns.Count(); ++p)
            columns.SetWidth(p, 5);
        columns.SetWidth(2, 400);
        columns.SetVisible(3, false);
        Grid->FitColumnWidths(false);
        // Narrow columns grow to their caption plus 10 (no sort marks), hidden ones too; a wide
        // column is left alone without the limit.
        QCOMPARE(columns.Width(0), columns.TextWidth(QStringLiteral("id")) + 10);
        QCOMPARE(columns.Width(2), 400);
        QCOMPARE(columns.Width(3),
                 columns.TextWidth(QStringLiteral("Orvel_Zestawnik_FORMAT")) + 10);
        QVERIFY(Grid->horizontalHeader()->isSectionHidden(3));
        // With the limit no column is wider than the grid's cells less a scroll bar and 16.
        columns.SetWidth(2, 5000);
        Grid->FitColumnWidths(true);
        QVERIFY(columns.Width(2) < Grid->viewport()->width() + Grid->verticalHeader()->width());
        QVERIFY(columns.Width(2) >= columns.TextWidth(QStringLiteral("kwota")) + 10);
    }

    void userChangesReachTheLayout() {
        TOrvel_GridColumns &columns = Grid->Columns();
        QHeaderView *header = Grid->horizontalHeader();
        header->resizeSection(2, 123); // as the mouse does
        QCOMPARE(columns.Width(2), 123);
        header->moveSection(0, 3); // "id" dragged to the end
        QCOMPARE(columns.Field(3)->FieldName(), QStringLiteral("id"));
        QCOMPARE(columns.Field(0)->FieldName(), QStringLiteral("nazwa"));
        // Hiding keeps the width for the next showing.
        columns.SetVisible(1, false); // "kwota" (now at position 1)
        QVERIFY(header->isSectionHidden(2));
        QCOMPARE(columns.Width(1), 123);
        columns.SetVisible(1, true);
        QCOMPARE(header->sectionSize(2), 123);
    }

    void startingWidthsShowWholeValues() {
        // Wide amounts in a bold row and a one-cell result: every value shows whole, in the
        // default format the column settings give it and in the font its row is drawn with, and
        // the fitting to the grid does not cut it again.
        F->Query->SQL = QStringLiteral(
            "SELECT id, CAST(kwota * 1000000 AS NUMERIC(14,2)) AS kw, kwota * 1000000 AS kf, "
            "Orvel_Zestawnik_FORMAT FROM t ORDER BY id");
        F->Open();
        Grid->FitColumnsToContent();
        Grid->FitColumnWidths(true);
        TOrvel_GridColumns &columns = Grid->Columns();
        for (int p : {1, 2}) {
            DbField *field = columns.Field(p);
            QVERIFY(field->DisplayFormat.isEmpty()); // the fitting leaves the format alone
            field->DisplayFormat = TOrvel_ReportSettings::DefaultDisplayFormat(field->DataType());
        }
        QFont bold = Grid->font();
        bold.setBold(true);
        const QFont plain = Grid->font();
        const int margin =
            Grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Grid.get()) + 1;
        for (int p : {1, 2})
            for (int row = 0; row < Model()->rowCount(); ++row) {
                const QString text = Data(row, p, Qt::DisplayRole).toString();
                const QFont &font = row == 0 ? bold : plain; // the first row's format sets bold
                QVERIFY2(columns.Width(p) - 2 * margin - 1 >=
                             QFontMetrics(font).horizontalAdvance(text),
                         qPrintable(text));
            }
        QCOMPARE(Data(0, 2, Qt::DisplayRole).toString(), QStringLiteral("1500000,000"));
        // Never narrower than the caption with the sort mark.
        QVERIFY(columns.Width(0) >= columns.TextWidth(QStringLiteral("id")) + 9 + 10);

        F->Query->SQL = QStringLiteral("SELECT COUNT(*) * 1000 AS n FROM t");
        F->Open();
        Grid->FitColumnsToContent();
        const int fitted = columns.Width(0);
        Grid->FitColumnWidths(true);
        QCOMPARE(columns.Width(0), fitted);
        const QFont plainFont = Grid->font();
        QVERIFY(fitted - 2 * margin - 1 >=
                QFontMetrics(plainFont).horizontalAdvance(Data(0, 0, Qt::DisplayRole).toString()));
    }

    void focusedCellDrawnWithoutRowFormat() {
        // The focused cell of a bold, coloured row looks as the focused cell of a plain row with
        // the same text: the selection colours and the grid's own font.
        F->Query->SQL = QStringLiteral(
            "SELECT 'Alfa' AS nazwa, 'color=0000FF;fontstyle=B' AS Orvel_Zestawnik_FORMAT "
            "UNION ALL SELECT 'Alfa', ''");
        F->Open();
        Grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(Grid.get()));
        Grid->setFocus();
        QTRY_VERIFY(Grid->hasFocus());
        auto cell = [this](int row) {
            Grid->setCurrentIndex(Model()->index(row, 0));
            QStyleOptionViewItem option;
            option.initFrom(Grid.get());
            option.widget = Grid.get();
            option.rect = QRect(0, 0, 120, 24);
            option.state |= QStyle::State_HasFocus | QStyle::State_Selected;
            option.font = Grid->font();
            QImage image(option.rect.size(), QImage::Format_ARGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            Grid->itemDelegate()->paint(&painter, option, Model()->index(row, 0));
            painter.end();
            return image;
        };
        QCOMPARE(cell(0), cell(1));
    }

    void captionFromTheLayout() {
        Grid->Columns().SetCaption(1, QStringLiteral("Nazwa towaru"));
        QCOMPARE(Model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Nazwa towaru"));
    }

    // A cell whose text does not fit gives its whole text as its hint; a whole cell, or a place
    // beside the columns, gives none.
    void hintOnlyWhereTextIsCut() {
        Grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(Grid.get()));
        Grid->Columns().Field(2)->DisplayFormat = QStringLiteral("0.0000000"); // "kwota"
        Grid->Columns().SetWidth(2, 30);
        QCoreApplication::processEvents();
        const auto hint = [this](const QPoint &at) {
            // The last hint gone first (it goes after a short delay).
            QToolTip::hideText();
            if (!QTest::qWaitFor([] { return QToolTip::text().isEmpty(); }, 5000))
                return QStringLiteral("(the last hint stayed)");
            QHelpEvent e(QEvent::ToolTip, at, Grid->viewport()->mapToGlobal(at));
            QApplication::sendEvent(Grid->viewport(), &e);
            return QToolTip::text();
        };
        const QRect cut = Grid->visualRect(Model()->index(1, 2));
        QCOMPARE(hint(cut.center()), Data(1, 2, Qt::DisplayRole).toString());
        QCOMPARE(hint(Grid->visualRect(Model()->index(1, 0)).center()), QString());
        const int beside = Grid->horizontalHeader()->length() + 20;
        QVERIFY(beside < Grid->viewport()->width());
        QCOMPARE(hint(QPoint(beside, cut.center().y())), QString());
        QToolTip::hideText();
    }

    void rerunKeepsNoStaleFormats() {
        // A new result with other rows: the cached formats of the old one are gone.
        F->Query->SQL = QStringLiteral("SELECT id, 'line=up' AS Orvel_Zestawnik_FORMAT FROM t "
                                       "WHERE id = 2");
        F->Open();
        QCOMPARE(Model()->rowCount(), 1);
        QVERIFY(Data(0, 0, TOrvel_ResultModel::LineUpRole).toBool());
        QVERIFY(!Data(0, 0, Qt::BackgroundRole).isValid());
        QCOMPARE(Model()->RowFormatColumn(), 1);
    }
};

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    int status = 0;
    {
        RowFormatTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    {
        ResultGridTest test;
        status |= QTest::qExec(&test, argc, argv);
    }
    return status;
}

#include "test_ui_grid.moc"
