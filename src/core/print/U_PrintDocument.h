#pragma once
// The printed result: one page layout that serves a PDF file, the printer and the print preview
// alike, drawn with QPainter and no widgets.
//
// The first page starts with the report's title, its parameters as the panel shows them, and the
// database, user and time of the run. Then the table: the shown columns in display order with
// their captions, alignments and the display texts the grid and the other exports show (never
// the row-format column), each row with its row format (fill, text colour, bold, italic,
// underline, the line above). The column header is repeated at the top of every page and no row
// is split across pages. Every page ends with the date and time and "Strona N z M".
//
// The page is A4 unless told otherwise. The orientation is chosen: portrait when the columns at
// their widths fit its width, else landscape; when even landscape is too narrow the table is
// scaled down to fit, to no smaller than 6 pt text; past that the columns share the width and
// long texts wrap inside their cells. A text never runs into the next cell.
//
//   TOrvel_PrintDocument doc(columns, info);
//   doc.Layout();                    // pages, orientation and scale
//   doc.WritePdf(path);              // by the one write rule; throws EOrvelError
//   doc.Paint(printer);              // the same pages on any paged device
//
// The layout works in units of 1/1200 inch and fonts sized in those units, so that the pages are
// the same on every device; painting scales to the device's resolution.
#include "U_GridColumns.h"
#include "U_RowFormat.h"

#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

class QPainter;
class QPagedPaintDevice;
class DbDisplayFormat;

// What the top of the first page says about the run.
struct TOrvel_PrintInfo {
    QString Title;
    // Caption and value of every parameter, the value as the panel shows it.
    std::vector<std::pair<QString, QString>> Parameters;
    QString Database;
    QString User;
    QDateTime RunTime;
};

enum class TOrvel_PageOrientation { poAuto, poPortrait, poLandscape };

// The rows of one page: [FirstRow, FirstRow + RowCount) of the result's current order.
struct TOrvel_PrintPage {
    int FirstRow = 0;
    int RowCount = 0;
};

class TOrvel_PrintDocument {
public:
    // Units of the layout per inch.
    static constexpr int Resolution = 1200;
    // The text size of the table at its own scale, and the least it is scaled down to, in points.
    static constexpr double BaseFontPoints = 8.0;
    static constexpr double MinFontPoints = 6.0;

    TOrvel_PrintDocument(TOrvel_GridColumns &grid, TOrvel_PrintInfo info);
    ~TOrvel_PrintDocument();
    TOrvel_PrintDocument(const TOrvel_PrintDocument &) = delete;
    TOrvel_PrintDocument &operator=(const TOrvel_PrintDocument &) = delete;

    QPageSize PageSize{QPageSize::A4};
    TOrvel_PageOrientation Orientation = TOrvel_PageOrientation::poAuto;
    // The date and time in each page's footer; replaceable so that a test sees fixed text.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };
    // Asked while the rows are measured and before every page is drawn: true stops with
    // EOrvelError "Zapis przerwany".
    std::function<bool()> Stop;
    // Told after every page is drawn: pages done, pages in all.
    std::function<void(int done, int total)> Progress;

    // Measures the columns and rows and breaks them into pages; again after any change.
    void Layout();

    // The chosen page: size, orientation and margins.
    QPageLayout PageLayout() const;
    QPageLayout::Orientation ChosenOrientation() const { return FOrientation; }
    // The table's size against the columns' own: 1 when they fit, less when scaled down.
    double Scale() const { return FScale; }
    double TablePointSize() const { return FFontPoints; }
    // Whether the columns were narrowed below their scaled widths, so that long texts wrap.
    bool Wraps() const { return FWraps; }
    int PageCount() const { return static_cast<int>(FPages.size()); }
    const TOrvel_PrintPage &Page(int index) const { return FPages[index]; }
    // The shown columns' positions in display order, and their widths on the page (units).
    const std::vector<int> &PrintedColumns() const { return FColumns; }
    const std::vector<double> &ColumnWidths() const { return FWidths; }

    // Draws a page (from 0) with a painter on a device of the chosen page's size.
    void PaintPage(QPainter &painter, int page) const;
    // Draws every page on the device, a new page between them; the device's page layout must be
    // PageLayout(). Progress and Stop are asked as the pages are drawn.
    void Paint(QPagedPaintDevice &device, QPainter &painter) const;

    // The PDF file's bytes: fonts embedded, text selectable, the title and the program as its
    // creator in the metadata.
    QByteArray PdfBytes() const;
    // The PDF written by the one write rule: a failure keeps the old file and leaves nothing.
    void WritePdf(const QString &fileName) const;

    static QString PageNumberText(int page, int pages);
    // The program and its version, as the PDF's creator.
    static QString CreatorText();

private:
    struct Fonts;
    double CellPadding() const;
    double LineHeight(const QFont &font) const;
    QStringList CellLines(const QString &text, const QFont &font, double width) const;
    double InfoHeight() const;
    double HeaderHeight() const;
    double FooterHeight() const;
    QRectF PrintableRect() const; // in units, on the page
    void PaintInfo(QPainter &painter, const QRectF &area) const;
    double PaintHeader(QPainter &painter, double top) const;
    void PaintRow(QPainter &painter, int row, double top, std::vector<QString> &texts) const;
    void PaintFooter(QPainter &painter, int page) const;
    const TOrvel_RowFormat &RowFormatAt(int row) const;
    QFont RowFont(const TOrvel_RowFormat &format) const;

    TOrvel_GridColumns &FGrid;
    TOrvel_PrintInfo FInfo;
    std::vector<int> FColumns;
    std::vector<QString> FCaptions;            // of the printed columns, in their order
    std::vector<TOrvel_Alignment> FAlignments; // likewise
    std::vector<double> FWidths;
    std::vector<DbDisplayFormat> FCells;
    std::unique_ptr<DbDisplayFormat> FFormatCell;
    std::vector<float> FRowHeights;
    // Each printed cell's text width on one line, row by row; negative where the text wraps.
    std::vector<float> FTextWidths;
    std::vector<TOrvel_PrintPage> FPages;
    QPageLayout::Orientation FOrientation = QPageLayout::Portrait;
    double FScale = 1.0;
    double FFontPoints = BaseFontPoints;
    bool FWraps = false;
    std::unique_ptr<Fonts> FFonts;
    mutable QHash<QString, TOrvel_RowFormat> FRowFormats;
    mutable QString FFooterTime;
};
