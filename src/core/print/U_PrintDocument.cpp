#include "U_PrintDocument.h"

#include "U_Db.h"
#include "U_SafeFile.h"
#include "U_TextBuffer.h"
#include "U_error.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double UnitsPerPoint = TOrvel_PrintDocument::Resolution / 72.0;
// Column widths are grid pixels, at the screen's 96 per inch.
constexpr double UnitsPerGridPixel = TOrvel_PrintDocument::Resolution / 96.0;
constexpr double MarginUnits = 12.0 / 25.4 * TOrvel_PrintDocument::Resolution; // 12 mm
constexpr double TitlePoints = 14.0;
constexpr double InfoPoints = 9.0;
constexpr double FooterPoints = 8.0;
// The least width of a shown column on the page, in grid pixels.
constexpr int MinColumnPixels = 8;
// Rows measured between two askings of Stop.
constexpr int StopCheckRows = 1024;
// The measured width of a cell whose text does not fit on one line.
constexpr float WrappedText = -1.0f;

const QColor HeaderFill(0xE6, 0xE6, 0xE6);
const QColor RuleColor(0xB0, 0xB0, 0xB0);
const QColor LineUpColor(0, 0, 128); // the grid's line above a row

QFont MakeFont(double points, bool bold = false, bool italic = false, bool underline = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    // Sized in layout units, so that the text is the same size on every device.
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(points * UnitsPerPoint))));
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    return font;
}

QString DateTimeText(const QDateTime &time) {
    if (!time.isValid())
        return {};
    const QLocale locale = UserLocale();
    return locale.toString(time.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           time.time().toString(QStringLiteral("HH:mm:ss"));
}

QColor ToColor(std::uint32_t rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

} // namespace

// The table's fonts in the eight combinations of bold, italic and underline, with their metrics
// made once; the header's, the info block's and the footer's.
struct TOrvel_PrintDocument::Fonts {
    explicit Fonts(double points) {
        for (int i = 0; i < 8; ++i) {
            Table[i] = MakeFont(points, i & 1, i & 2, i & 4);
            Metrics.emplace_back(Table[i]);
        }
    }
    std::array<QFont, 8> Table;
    std::vector<QFontMetricsF> Metrics;
    QFont Title = MakeFont(TitlePoints, true);
    QFont Info = MakeFont(InfoPoints);
    QFont InfoBold = MakeFont(InfoPoints, true);
    QFont Footer = MakeFont(FooterPoints);

    static int Index(const TOrvel_RowFormat &f) {
        return (f.Bold ? 1 : 0) | (f.Italic ? 2 : 0) | (f.Underline ? 4 : 0);
    }
};

TOrvel_PrintDocument::TOrvel_PrintDocument(TOrvel_GridColumns &grid, TOrvel_PrintInfo info)
    : FGrid(grid), FInfo(std::move(info)), FFonts(std::make_unique<Fonts>(BaseFontPoints)) {}

TOrvel_PrintDocument::~TOrvel_PrintDocument() = default;

QString TOrvel_PrintDocument::PageNumberText(int page, int pages) {
    return QStringLiteral("Strona %1 z %2").arg(page).arg(pages);
}

QString TOrvel_PrintDocument::CreatorText() {
    return QStringLiteral("Orvel-Zestawnik ") + GetVersionString();
}

QPageLayout TOrvel_PrintDocument::PageLayout() const {
    // The margins are the layout's own, drawn inside the whole sheet.
    return QPageLayout(PageSize, FOrientation, QMarginsF(0, 0, 0, 0), QPageLayout::Point);
}

QRectF TOrvel_PrintDocument::PrintableRect() const {
    QSizeF size = PageSize.sizePoints() * UnitsPerPoint;
    if (FOrientation == QPageLayout::Landscape)
        size.transpose();
    return QRectF(QPointF(0, 0), size)
        .adjusted(MarginUnits, MarginUnits, -MarginUnits, -MarginUnits);
}

double TOrvel_PrintDocument::CellPadding() const {
    return 2.0 * UnitsPerPoint * FScale;
}

double TOrvel_PrintDocument::LineHeight(const QFont &font) const {
    return QFontMetricsF(font).lineSpacing();
}

QStringList TOrvel_PrintDocument::CellLines(const QString &text, const QFont &font,
                                            double width) const {
    const bool breaks = text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    if (!breaks && QFontMetricsF(font).horizontalAdvance(text) <= width)
        return {text};
    QString prepared = text;
    prepared.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    prepared.replace(QLatin1Char('\r'), QChar::LineSeparator);
    prepared.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(prepared, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, width));
        QString piece = prepared.mid(line.textStart(), line.textLength());
        while (!piece.isEmpty() && (piece.back() == QChar::LineSeparator || piece.back().isSpace()))
            piece.chop(1);
        lines << piece;
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines << QString();
    return lines;
}

const TOrvel_RowFormat &TOrvel_PrintDocument::RowFormatAt(int row) const {
    static const TOrvel_RowFormat plain;
    if (!FFormatCell)
        return plain;
    TOrvel_TextBuffer scratch;
    const QString text = FFormatCell->Cell(FGrid.Query()->StoredRow(row), scratch).toString();
    if (text.isEmpty())
        return plain;
    auto it = FRowFormats.find(text);
    if (it == FRowFormats.end())
        it = FRowFormats.insert(text, ParseRowFormat(text));
    return *it;
}

QFont TOrvel_PrintDocument::RowFont(const TOrvel_RowFormat &format) const {
    return FFonts->Table[Fonts::Index(format)];
}

double TOrvel_PrintDocument::InfoHeight() const {
    const double width = PrintableRect().width();
    double h = CellLines(FInfo.Title, FFonts->Title, width).size() * LineHeight(FFonts->Title);
    h += 0.5 * LineHeight(FFonts->Info);
    const double line = LineHeight(FFonts->Info);
    auto add = [&](const QString &caption, const QString &value) {
        h += CellLines(caption + QStringLiteral(": ") + value, FFonts->Info, width).size() * line;
    };
    for (const auto &[caption, value] : FInfo.Parameters)
        add(caption, value);
    add(QStringLiteral("Baza danych"), FInfo.Database);
    add(QStringLiteral("Użytkownik"), FInfo.User);
    add(QStringLiteral("Uruchomiono"), DateTimeText(FInfo.RunTime));
    return h + line; // a blank line before the table
}

double TOrvel_PrintDocument::HeaderHeight() const {
    const QFont &font = FFonts->Table[1];
    int lines = 1;
    for (std::size_t i = 0; i < FColumns.size(); ++i)
        lines = std::max<int>(lines,
                              CellLines(FCaptions[i], font, FWidths[i] - 2 * CellPadding()).size());
    return lines * FFonts->Metrics[1].lineSpacing() + 2 * CellPadding();
}

double TOrvel_PrintDocument::FooterHeight() const {
    return 2.0 * LineHeight(FFonts->Footer);
}

void TOrvel_PrintDocument::Layout() {
    FColumns.clear();
    FCaptions.clear();
    FAlignments.clear();
    FWidths.clear();
    FCells.clear();
    FFormatCell.reset();
    FRowHeights.clear();
    FTextWidths.clear();
    FPages.clear();
    FRowFormats.clear();
    DbQuery *query = FGrid.Query();
    if (!FGrid.HasOpenResult() || !query)
        throw EOrvelError(QStringLiteral("Brak otwartego wyniku do zapisania"));

    std::vector<double> natural;
    for (int i = 0; i < FGrid.Count(); ++i) {
        if (!FGrid.Visible(i) || IsRowFormatFieldName(FGrid.Field(i)->FieldName()))
            continue;
        FColumns.push_back(i);
        FCells.emplace_back(*FGrid.Field(i));
        // Kept as they are now: the pages may be drawn on another thread while the grid's
        // columns are shown and moved on the user's.
        FCaptions.push_back(FGrid.Caption(i));
        FAlignments.push_back(FGrid.Alignment(i));
        natural.push_back(std::max(FGrid.Width(i), MinColumnPixels) * UnitsPerGridPixel);
    }
    if (DbField *format = query->FindField(QStringView(RowFormatFieldName).toString());
        format && format->Kind() == TFieldKind::fkText)
        FFormatCell = std::make_unique<DbDisplayFormat>(*format);
    double total = 0;
    for (double w : natural)
        total += w;

    // The orientation: portrait when the table fits its width.
    FOrientation = QPageLayout::Portrait;
    if (Orientation == TOrvel_PageOrientation::poLandscape ||
        (Orientation == TOrvel_PageOrientation::poAuto && total > PrintableRect().width()))
        FOrientation = QPageLayout::Landscape;
    const double width = PrintableRect().width();
    FScale = 1.0;
    FWraps = false;
    double widthFactor = 1.0;
    if (total > width) {
        widthFactor = width / total;
        FScale = std::max(widthFactor, MinFontPoints / BaseFontPoints);
        FWraps = widthFactor < FScale;
    }
    FFontPoints = BaseFontPoints * FScale;
    FFonts = std::make_unique<Fonts>(FFontPoints);
    for (double w : natural)
        FWidths.push_back(w * widthFactor);

    // Every row's height: its tallest cell, with the texts wrapped that do not fit.
    const int rows = query->RecordCount();
    FRowHeights.reserve(rows);
    FTextWidths.reserve(static_cast<std::size_t>(rows) * FColumns.size());
    const double pad = CellPadding();
    TOrvel_TextBuffer scratch;
    for (int row = 0; row < rows; ++row) {
        // Measuring a large result takes a while: a stop asked meanwhile is heard.
        if (row % StopCheckRows == 0 && Stop && Stop())
            throw EOrvelError(QStringLiteral("Zapis przerwany"));
        const int font = Fonts::Index(RowFormatAt(row));
        const QFontMetricsF &metrics = FFonts->Metrics[font];
        const std::size_t stored = query->StoredRow(row);
        int lines = 1;
        for (std::size_t i = 0; i < FColumns.size(); ++i) {
            const QStringView text = FCells[i].Cell(stored, scratch);
            const double inner = FWidths[i] - 2 * pad;
            float width = WrappedText;
            if (!text.contains(u'\n') && !text.contains(u'\r')) {
                // Measured in place, without a copy of the cell's text.
                const double advance =
                    metrics.horizontalAdvance(QString::fromRawData(text.constData(), text.size()));
                if (advance <= inner)
                    width = static_cast<float>(advance);
            }
            if (width == WrappedText)
                lines = std::max<int>(
                    lines, CellLines(text.toString(), FFonts->Table[font], inner).size());
            FTextWidths.push_back(width);
        }
        FRowHeights.push_back(static_cast<float>(lines * metrics.lineSpacing() + 2 * pad));
    }

    // The pages: as many whole rows as fit under the header; a row taller than a page has one
    // to itself.
    const QRectF area = PrintableRect();
    const double header = HeaderHeight();
    const double bottom = area.bottom() - FooterHeight();
    double top = area.top() + InfoHeight() + header;
    TOrvel_PrintPage page;
    for (int row = 0; row < rows; ++row) {
        if (page.RowCount > 0 && top + FRowHeights[row] > bottom) {
            FPages.push_back(page);
            page = TOrvel_PrintPage{row, 0};
            top = area.top() + header;
        }
        top += FRowHeights[row];
        ++page.RowCount;
    }
    FPages.push_back(page);
}

void TOrvel_PrintDocument::PaintInfo(QPainter &painter, const QRectF &area) const {
    double y = area.top();
    auto lines = [&](const QString &text, const QFont &font) {
        painter.setFont(font);
        const QFontMetricsF metrics(font);
        for (const QString &line : CellLines(text, font, area.width())) {
            painter.drawText(QPointF(area.left(), y + metrics.ascent()), line);
            y += metrics.lineSpacing();
        }
    };
    painter.setPen(Qt::black);
    lines(FInfo.Title, FFonts->Title);
    y += 0.5 * LineHeight(FFonts->Info);
    auto entry = [&](const QString &caption, const QString &value) {
        lines(caption + QStringLiteral(": ") + value, FFonts->Info);
    };
    for (const auto &[caption, value] : FInfo.Parameters)
        entry(caption, value);
    entry(QStringLiteral("Baza danych"), FInfo.Database);
    entry(QStringLiteral("Użytkownik"), FInfo.User);
    entry(QStringLiteral("Uruchomiono"), DateTimeText(FInfo.RunTime));
}

namespace {

// Where a line of the given width starts inside a cell with the column's alignment.
double LineLeft(const QRectF &inner, TOrvel_Alignment alignment, double width) {
    switch (alignment) {
    case TOrvel_Alignment::taLeftJustify:
        return inner.left();
    case TOrvel_Alignment::taRightJustify:
        return inner.right() - width;
    default:
        return inner.left() + (inner.width() - width) / 2;
    }
}

// Writes the lines of a cell inside its rectangle with the column's alignment.
void DrawCellLines(QPainter &painter, const QFontMetricsF &metrics, const QStringList &lines,
                   const QRectF &inner, TOrvel_Alignment alignment) {
    double y = inner.top() + metrics.ascent();
    for (const QString &line : lines) {
        const double width =
            alignment == TOrvel_Alignment::taLeftJustify ? 0.0 : metrics.horizontalAdvance(line);
        painter.drawText(QPointF(LineLeft(inner, alignment, width), y), line);
        y += metrics.lineSpacing();
    }
}

} // namespace

double TOrvel_PrintDocument::PaintHeader(QPainter &painter, double top) const {
    const QRectF area = PrintableRect();
    const double height = HeaderHeight();
    const double pad = CellPadding();
    const QFont &font = FFonts->Table[1];
    double x = area.left();
    painter.setFont(font);
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
        const QRectF cell(x, top, FWidths[i], height);
        painter.fillRect(cell, HeaderFill);
        painter.setPen(QPen(RuleColor, 2));
        painter.drawRect(cell);
        painter.setPen(Qt::black);
        const QRectF inner = cell.adjusted(pad, pad, -pad, -pad);
        DrawCellLines(painter, FFonts->Metrics[1], CellLines(FCaptions[i], font, inner.width()),
                      inner, FAlignments[i]);
        x += FWidths[i];
    }
    return top + height;
}

void TOrvel_PrintDocument::PaintRow(QPainter &painter, int row, double top,
                                    std::vector<QString> &texts) const {
    const QRectF area = PrintableRect();
    const TOrvel_RowFormat &format = RowFormatAt(row);
    const int fontIndex = Fonts::Index(format);
    const QFont &font = FFonts->Table[fontIndex];
    const QFontMetricsF &metrics = FFonts->Metrics[fontIndex];
    const double height = FRowHeights[row];
    const double pad = CellPadding();
    const std::size_t stored = FGrid.Query()->StoredRow(row);
    TOrvel_TextBuffer scratch;
    texts.resize(FColumns.size());
    for (std::size_t i = 0; i < FColumns.size(); ++i)
        texts[i] = FCells[i].Cell(stored, scratch).toString();

    double width = 0;
    for (double w : FWidths)
        width += w;
    const QRectF rowRect(area.left(), top, width, height);
    if (format.Color)
        painter.fillRect(rowRect, ToColor(*format.Color));
    painter.setPen(QPen(RuleColor, 2));
    double x = area.left();
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
        painter.drawRect(QRectF(x, top, FWidths[i], height));
        x += FWidths[i];
    }
    if (format.LineUp) {
        painter.setPen(QPen(LineUpColor, UnitsPerGridPixel));
        painter.drawLine(QPointF(rowRect.left(), top), QPointF(rowRect.right(), top));
    }
    painter.setFont(font);
    painter.setPen(format.FontColor ? ToColor(*format.FontColor) : QColor(Qt::black));
    // The layout measured every text: one that fits is drawn at once, at its measured width.
    const float *measured = FTextWidths.data() + static_cast<std::size_t>(row) * FColumns.size();
    x = area.left();
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
        const QRectF inner = QRectF(x, top, FWidths[i], height).adjusted(pad, pad, -pad, -pad);
        const QString &text = texts[i];
        const TOrvel_Alignment alignment = FAlignments[i];
        if (!text.isEmpty() && measured[i] != WrappedText)
            painter.drawText(
                QPointF(LineLeft(inner, alignment, measured[i]), inner.top() + metrics.ascent()),
                text);
        else if (!text.isEmpty())
            DrawCellLines(painter, metrics, CellLines(text, font, inner.width()), inner, alignment);
        x += FWidths[i];
    }
}

void TOrvel_PrintDocument::PaintFooter(QPainter &painter, int page) const {
    const QRectF area = PrintableRect();
    const QFontMetricsF metrics(FFonts->Footer);
    const double y = area.bottom() - metrics.descent();
    painter.setFont(FFonts->Footer);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(area.left(), y), FFooterTime);
    const QString number = PageNumberText(page + 1, PageCount());
    painter.drawText(QPointF(area.right() - metrics.horizontalAdvance(number), y), number);
}

void TOrvel_PrintDocument::PaintPage(QPainter &painter, int page) const {
    if (page < 0 || page >= PageCount())
        return;
    if (FFooterTime.isEmpty())
        FFooterTime = DateTimeText(Now());
    painter.save();
    const double dpi = painter.device() ? painter.device()->logicalDpiX() : Resolution;
    painter.scale(dpi / Resolution, dpi / Resolution);
    const QRectF area = PrintableRect();
    double top = area.top();
    if (page == 0) {
        PaintInfo(painter, area);
        top += InfoHeight();
    }
    top = PaintHeader(painter, top);
    std::vector<QString> texts;
    const TOrvel_PrintPage &rows = FPages[page];
    for (int row = rows.FirstRow; row < rows.FirstRow + rows.RowCount; ++row) {
        PaintRow(painter, row, top, texts);
        top += FRowHeights[row];
    }
    PaintFooter(painter, page);
    painter.restore();
}

void TOrvel_PrintDocument::Paint(QPagedPaintDevice &device, QPainter &painter) const {
    FFooterTime = DateTimeText(Now());
    for (int page = 0; page < PageCount(); ++page) {
        if (Stop && Stop())
            throw EOrvelError(QStringLiteral("Zapis przerwany"));
        if (page > 0)
            device.newPage();
        PaintPage(painter, page);
        if (Progress)
            Progress(page + 1, PageCount());
    }
}

QByteArray TOrvel_PrintDocument::PdfBytes() const {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(Resolution);
        writer.setPageLayout(PageLayout());
        writer.setTitle(FInfo.Title);
        writer.setCreator(CreatorText());
        QPainter painter;
        if (!painter.begin(&writer))
            throw EOrvelError(QStringLiteral("Nie można utworzyć dokumentu PDF"));
        try {
            Paint(writer, painter);
        } catch (...) {
            painter.end();
            throw;
        }
        painter.end();
    }
    return buffer.data();
}

void TOrvel_PrintDocument::WritePdf(const QString &fileName) const {
    const QByteArray bytes = PdfBytes();
    if (Stop && Stop())
        throw EOrvelError(QStringLiteral("Zapis przerwany"));
    SafeWriteFile(fileName, bytes);
}
