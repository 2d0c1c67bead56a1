#pragma once
// The result grid: a read-only table over the open result of a DbQuery. The model answers from
// the result in memory only, row by row as the view asks; the row-format column gives colours and
// fonts through model roles, parsed once per row; the sorted column is tinted and its title shows
// the sort mark.
#include "U_RowFormat.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QList>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTableView>

#include <memory>
#include <optional>
#include <vector>

class DbQuery;
class DbResult;

class TOrvel_GridColumns;
class TOrvel_ColumnFit;

class TOrvel_ResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The line on a row's upper edge (bool).
    static constexpr int LineUpRole = Qt::UserRole + 1;
    // The cell shows a number or a date (bool): never cut, "###" when it does not fit.
    static constexpr int WholeValueRole = Qt::UserRole + 2;

    // Model columns are the result's fields in result order; their alignment, and their position
    // for the sort tint, come from the column layout.
    explicit TOrvel_ResultModel(TOrvel_GridColumns *columns, QObject *parent = nullptr);

    DbQuery *Query() const;
    int RowFormatColumn() const { return FFormatColumn; } // -1 when the result has none

    // Re-reads the result after the column layout was rebuilt.
    void ResetFromQuery();
    // The layout's order changed: positions of the fields are taken anew.
    void SyncPositions();
    int PositionOfField(int field) const;

    void SetSortPosition(int position); // the tinted column, by position; -1 for none
    int SortPosition() const { return FSortPosition; }

    // The parsed format of the row at a position of the current order (cached per stored row).
    const TOrvel_RowFormat &RowFormat(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Tells the views that captions, alignments or display texts changed.
    void RefreshAll();

    static QColor SortTint();

private:
    void QueryResultChanged();
    bool SameShape() const;

    TOrvel_GridColumns *FColumnsLayout;
    QMetaObject::Connection FQueryConnection;
    const DbResult *FResult = nullptr;
    QStringList FColumnNames;
    int FRows = 0;
    int FColumns = 0;
    int FFormatColumn = -1;
    int FSortPosition = -1;
    std::vector<int> FPositions; // field index -> position
    // Row formats by stored row: parsed on first use, kept until another result is opened.
    mutable std::vector<std::optional<TOrvel_RowFormat>> FRowFormats;
};

// The title row: draws the sort mark of the sorted column at its right end.
class TOrvel_ResultHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TOrvel_ResultHeader(QWidget *parent = nullptr);
    void SetMark(int position, bool ascending, const QList<QPixmap> *images);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    int FPosition = -1;
    bool FAscending = true;
    const QList<QPixmap> *FImages = nullptr;
};

// Draws the line above a formatted row; keeps the selection colours only for the focused cell.
class TOrvel_ResultDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    // A cell whose text does not fit shows its whole display text as its hint.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
    // The width the text of a cell has inside it, and whether a text fits there.
    static int TextSpace(const QStyleOptionViewItem &option);
    static bool Fits(const QStyleOptionViewItem &option, const QString &text);
    // The text a cell draws with the view's option for it: its display text, or "###" across
    // the cell for a number or a date that does not fit.
    QString TextShown(const QStyleOptionViewItem &option, const QModelIndex &index) const;

private:
    // The same, for an option the cell's data are already in.
    static QString ShownText(const QStyleOptionViewItem &option, const QModelIndex &index);
};

// The grid mirrors a column layout (TOrvel_GridColumns): order, widths, alignment and visibility
// come from it, and the user's mouse changes are written back into it. Grid columns are addressed
// by position, as in the layout.
class TOrvel_ResultGrid : public QTableView {
    Q_OBJECT
public:
    explicit TOrvel_ResultGrid(QWidget *parent = nullptr);
    ~TOrvel_ResultGrid() override;

    // The data source: the grid shows the query's open result and follows its changes.
    void SetQuery(DbQuery *query);
    DbQuery *Query() const;
    bool HasOpenResult() const;
    TOrvel_GridColumns &Columns() const { return *FColumnsLayout; }
    TOrvel_ResultModel *ResultModel() const { return FModel; }

    // The sort marks: index 0 ascending, index 1 descending; fewer than two draw no mark.
    void SetSortImages(const QList<QPixmap> &images);
    const QList<QPixmap> &SortImages() const { return FSortImages; }
    static QList<QPixmap> DefaultSortImages();

    void SetSortMark(int position, bool ascending);
    void ClearSortMark();
    int SortColumn() const { return FSortColumn; }
    bool SortAscending() const { return FSortAscending; }
    void RefreshTitles();

    // Fits every column to its caption (and the sort mark); with limit, no column is wider than
    // the grid's client width (with the row indicator), less a scroll bar and 16 pixels.
    void FitColumnWidths(bool limit);
    // Sets every column whose width the user did not choose wide enough for the widest display
    // text of the whole result (numbers with their default format when they have none), in the
    // fonts the rows are drawn with (a row format's bold included), with the cell's text
    // margins and grid line; never narrower than the caption. Texts stop at ContentCap (they may
    // be elided); numbers and dates always fit.
    static constexpr int ContentCap = 600;
    void FitColumnsToContent();
    // The width that fits the content of the column at a position, as above.
    int ContentWidth(int position);
    // The width a cell needs to show a text whole in a font.
    int CellWidthFor(const QString &text, const QFont &font) const;

signals:
    // A column title was clicked while the grid shows rows (after the column was widened).
    void titleClick(int position);
    // A mouse button was released over the grid or its titles (after resizing or moving columns).
    void mouseUp();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void titleClicked(int logicalIndex);
    void layoutReset();
    void layoutColumnChanged(int position);
    void layoutColumnMoved(int from, int to);
    void sectionMovedByUser(int logicalIndex, int oldVisual, int newVisual);
    void sectionResizedByUser(int logicalIndex, int oldSize, int newSize);
    void ApplyPosition(int position);
    int SortImageWidth(int noImages) const;
    const TOrvel_ColumnFit &ColumnFit(int field);
    const std::vector<QFont> &RowFonts();

    TOrvel_GridColumns *FColumnsLayout;
    TOrvel_ResultModel *FModel;
    TOrvel_ResultHeader *FHeader;
    QList<QPixmap> FSortImages;
    int FSortColumn = -1;
    bool FSortAscending = true;
    bool FSyncing = false; // the header is being brought in line with the layout
    // What fitting needs of the shown result, gathered once per result: per field its extremes,
    // and the fonts its rows are drawn in.
    std::vector<std::unique_ptr<TOrvel_ColumnFit>> FFits;
    std::optional<std::vector<QFont>> FRowFonts;
};
