#include "Orvel_ResultGrid.h"

#include "U_ColumnFit.h"
#include "U_Db.h"
#include "U_DbResult.h"
#include "U_GridColumns.h"
#include "U_SQL_report_settings.h"
#include "U_utils.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>

namespace {
QColor FromRgb(std::uint32_t rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
const TOrvel_RowFormat &PlainFormat() {
    static const TOrvel_RowFormat plain;
    return plain;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Model

TOrvel_ResultModel::TOrvel_ResultModel(TOrvel_GridColumns *columns, QObject *parent)
    : QAbstractTableModel(parent), FColumnsLayout(columns) {}

QColor TOrvel_ResultModel::SortTint() {
    return QColor(250, 245, 255);
}

DbQuery *TOrvel_ResultModel::Query() const {
    return FColumnsLayout->Query();
}

bool TOrvel_ResultModel::SameShape() const {
    const DbQuery *query = Query();
    if (!query || !query->IsOpen() || query->Result() != FResult)
        return false;
    if (query->RecordCount() != FRows || query->FieldCount() != FColumns)
        return false;
    for (int i = 0; i < FColumns; ++i)
        if (query->Field(i)->FieldName() != FColumnNames[i])
            return false;
    return true;
}

void TOrvel_ResultModel::QueryResultChanged() {
    // A re-sort: the same rows in another order. Column widths and the row formats (cached by
    // stored row) stay valid. Anything else arrives as a rebuilt column layout.
    if (SameShape() && FRows > 0 && FColumns > 0) {
        emit layoutAboutToBeChanged();
        emit layoutChanged();
        emit dataChanged(index(0, 0), index(FRows - 1, FColumns - 1));
    }
}

void TOrvel_ResultModel::ResetFromQuery() {
    beginResetModel();
    QObject::disconnect(FQueryConnection);
    FRowFormats.clear();
    FColumnNames.clear();
    FFormatColumn = -1;
    FSortPosition = -1;
    DbQuery *query = Query();
    if (query)
        FQueryConnection =
            connect(query, &DbQuery::resultChanged, this, &TOrvel_ResultModel::QueryResultChanged);
    if (query && query->IsOpen()) {
        FResult = query->Result();
        FRows = query->RecordCount();
        FColumns = query->FieldCount();
        for (int i = 0; i < FColumns; ++i) {
            const QString name = query->Field(i)->FieldName();
            FColumnNames.append(name);
            if (FFormatColumn < 0 && IsRowFormatFieldName(name))
                FFormatColumn = i;
        }
        if (FFormatColumn >= 0 && FResult)
            FRowFormats.resize(static_cast<std::size_t>(FResult->RowCount()));
    } else {
        FResult = nullptr;
        FRows = FColumns = 0;
    }
    SyncPositions();
    endResetModel();
}

void TOrvel_ResultModel::SyncPositions() {
    FPositions.assign(static_cast<std::size_t>(FColumns), -1);
    for (int p = 0; p < FColumnsLayout->Count(); ++p) {
        const DbField *field = FColumnsLayout->Field(p);
        if (field && field->Index() >= 0 && field->Index() < FColumns)
            FPositions[static_cast<std::size_t>(field->Index())] = p;
    }
}

int TOrvel_ResultModel::PositionOfField(int field) const {
    if (field < 0 || field >= static_cast<int>(FPositions.size()))
        return -1;
    return FPositions[static_cast<std::size_t>(field)];
}

void TOrvel_ResultModel::SetSortPosition(int position) {
    if (FSortPosition == position)
        return;
    FSortPosition = position;
    if (FRows > 0 && FColumns > 0)
        emit dataChanged(index(0, 0), index(FRows - 1, FColumns - 1), {Qt::BackgroundRole});
}

const TOrvel_RowFormat &TOrvel_ResultModel::RowFormat(int row) const {
    const DbQuery *query = Query();
    if (FFormatColumn < 0 || !query || row < 0 || row >= FRows || row >= query->RecordCount() ||
        FFormatColumn >= query->FieldCount())
        return PlainFormat();
    const int stored = query->StoredRow(row);
    if (stored < 0 || stored >= static_cast<int>(FRowFormats.size()))
        return PlainFormat();
    auto &slot = FRowFormats[static_cast<std::size_t>(stored)];
    if (!slot)
        slot = ParseRowFormat(query->Field(FFormatColumn)->AsStringAt(row));
    return *slot;
}

int TOrvel_ResultModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : FRows;
}

int TOrvel_ResultModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : FColumns;
}

QVariant TOrvel_ResultModel::data(const QModelIndex &index, int role) const {
    const DbQuery *query = Query();
    if (!index.isValid() || !query)
        return {};
    const int row = index.row();
    const int column = index.column();
    // The result is read from memory only; a result replaced behind the model's back (a run in
    // progress) is never indexed beyond its own size.
    if (row >= FRows || column >= FColumns || row >= query->RecordCount() ||
        column >= query->FieldCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return query->Field(column)->DisplayTextAt(row);
    case Qt::TextAlignmentRole: {
        Qt::Alignment align = Qt::AlignLeft;
        switch (FColumnsLayout->Alignment(PositionOfField(column))) {
        case TOrvel_Alignment::taRightJustify:
            align = Qt::AlignRight;
            break;
        case TOrvel_Alignment::taCenter:
            align = Qt::AlignHCenter;
            break;
        case TOrvel_Alignment::taLeftJustify:
            break;
        }
        return QVariant::fromValue(align | Qt::AlignVCenter);
    }
    case Qt::BackgroundRole: {
        const TOrvel_RowFormat &format = RowFormat(row);
        if (format.Color)
            return QBrush(FromRgb(*format.Color));
        if (FSortPosition >= 0 && PositionOfField(column) == FSortPosition)
            return QBrush(SortTint());
        return {};
    }
    case Qt::ForegroundRole: {
        const TOrvel_RowFormat &format = RowFormat(row);
        if (format.FontColor)
            return QBrush(FromRgb(*format.FontColor));
        return {};
    }
    case Qt::FontRole: {
        const TOrvel_RowFormat &format = RowFormat(row);
        if (!format.Bold && !format.Italic && !format.Underline)
            return {};
        QFont font; // only the attributes set here override the grid's font
        if (format.Bold)
            font.setBold(true);
        if (format.Italic)
            font.setItalic(true);
        if (format.Underline)
            font.setUnderline(true);
        return font;
    }
    case LineUpRole:
        return RowFormat(row).LineUp;
    case WholeValueRole: {
        const DbField *field = query->Field(column);
        return IsNumericField(*field) || IsDateTimeField(*field);
    }
    default:
        return {};
    }
}

QVariant TOrvel_ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    const DbQuery *query = Query();
    if (!query || section < 0 || section >= FColumns || section >= query->FieldCount())
        return {};
    if (role == Qt::DisplayRole)
        return query->Field(section)->Label();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TOrvel_ResultModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TOrvel_ResultModel::RefreshAll() {
    if (FColumns > 0)
        emit headerDataChanged(Qt::Horizontal, 0, FColumns - 1);
    if (FRows > 0 && FColumns > 0)
        emit dataChanged(index(0, 0), index(FRows - 1, FColumns - 1));
}

// ---------------------------------------------------------------------------------------------
// Title row

TOrvel_ResultHeader::TOrvel_ResultHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent) {}

void TOrvel_ResultHeader::SetMark(int position, bool ascending, const QList<QPixmap> *images) {
    FPosition = position;
    FAscending = ascending;
    FImages = images;
    viewport()->update();
}

void TOrvel_ResultHeader::paintSection(QPainter *painter, const QRect &rect,
                                       int logicalIndex) const {
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (FPosition < 0 || visualIndex(logicalIndex) != FPosition || !FImages || FImages->size() < 2)
        return;
    const QPixmap &mark = (*FImages)[FAscending ? 0 : 1];
    const int x = rect.right() + 1 - mark.width() - 4;
    const int y = rect.top() + rect.height() / 2 - mark.height() / 2;
    painter->drawPixmap(x, y, mark);
}

// ---------------------------------------------------------------------------------------------
// Cells

void TOrvel_ResultDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget *view = option.widget;
    const bool focused = (option.state & QStyle::State_HasFocus) && view && view->hasFocus();
    if (focused) {
        // The focused cell is drawn the platform's way, with the selection colours and the
        // grid's own font: no row format, no sort tint.
        opt.font = view->font();
        opt.fontMetrics = QFontMetrics(opt.font);
        opt.backgroundBrush = QBrush();
        opt.palette = option.palette;
    } else {
        // Elsewhere the row's format shows, not the selection.
        opt.state &= ~QStyle::State_Selected;
    }
    opt.text = ShownText(opt, index);
    const QStyle *style = view ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, view);
    if (!focused && index.data(TOrvel_ResultModel::LineUpRole).toBool()) {
        painter->save();
        painter->setPen(QPen(QColor(0, 0, 128), 1));
        painter->drawLine(option.rect.left(), option.rect.top(), option.rect.right(),
                          option.rect.top());
        painter->restore();
    }
}

int TOrvel_ResultDelegate::TextSpace(const QStyleOptionViewItem &option) {
    // The item view draws the text inside a margin on each side of the cell.
    const QWidget *view = option.widget;
    const QStyle *style = view ? view->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    return option.rect.width() - 2 * margin;
}

QString TOrvel_ResultDelegate::TextShown(const QStyleOptionViewItem &option,
                                         const QModelIndex &index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    return ShownText(opt, index);
}

QString TOrvel_ResultDelegate::ShownText(const QStyleOptionViewItem &option,
                                         const QModelIndex &index) {
    // A number or a date that does not fit is never shown cut, which would read as another
    // value: "###" across the cell instead, the whole value in the cell's hint.
    if (!index.data(TOrvel_ResultModel::WholeValueRole).toBool() || Fits(option, option.text))
        return option.text;
    const int hash = std::max(1, option.fontMetrics.horizontalAdvance(u'#'));
    return QString(std::max(1, TextSpace(option) / hash), u'#');
}

bool TOrvel_ResultDelegate::Fits(const QStyleOptionViewItem &option, const QString &text) {
    return option.fontMetrics.horizontalAdvance(text) <= TextSpace(option);
}

bool TOrvel_ResultDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                      const QStyleOptionViewItem &option,
                                      const QModelIndex &index) {
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    // The hint is the grid's whole answer: a cell that shows its text whole, or a place beside
    // the cells, has none, and the event goes no further (the window would answer it otherwise).
    event->accept();
    QStyleOptionViewItem opt = option;
    if (index.isValid())
        initStyleOption(&opt, index);
    if (!index.isValid() || opt.text.isEmpty() || Fits(opt, opt.text)) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), opt.text, view->viewport(), option.rect);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Grid

TOrvel_ResultGrid::TOrvel_ResultGrid(QWidget *parent)
    : QTableView(parent), FColumnsLayout(new TOrvel_GridColumns(this)),
      FModel(new TOrvel_ResultModel(FColumnsLayout, this)), FHeader(new TOrvel_ResultHeader(this)) {
    setHorizontalHeader(FHeader);
    setModel(FModel);
    setItemDelegate(new TOrvel_ResultDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    FHeader->setSectionsClickable(true);
    FHeader->setSectionsMovable(true);
    FHeader->setSectionResizeMode(QHeaderView::Interactive);
    FHeader->setHighlightSections(false);
    FHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FHeader->setStretchLastSection(false);
    FHeader->setDefaultSectionSize(TOrvel_GridColumns::DefaultWidth);
    // The row indicator: a narrow blank column before the cells.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setFixedWidth(12);
    FColumnsLayout->SetTextWidthMeasure(
        [this](const QString &text) { return fontMetrics().horizontalAdvance(text); });
    FColumnsLayout->SetFitMeasure([this](int position) { return ContentWidth(position); });
    connect(FColumnsLayout, &TOrvel_GridColumns::columnsReset, this,
            &TOrvel_ResultGrid::layoutReset);
    connect(FColumnsLayout, &TOrvel_GridColumns::columnChanged, this,
            &TOrvel_ResultGrid::layoutColumnChanged);
    connect(FColumnsLayout, &TOrvel_GridColumns::columnMoved, this,
            &TOrvel_ResultGrid::layoutColumnMoved);
    connect(FHeader, &QHeaderView::sectionClicked, this, &TOrvel_ResultGrid::titleClicked);
    connect(FHeader, &QHeaderView::sectionMoved, this, &TOrvel_ResultGrid::sectionMovedByUser);
    connect(FHeader, &QHeaderView::sectionResized, this, &TOrvel_ResultGrid::sectionResizedByUser);
    viewport()->installEventFilter(this);
    FHeader->viewport()->installEventFilter(this);
    SetSortImages(DefaultSortImages());
}

TOrvel_ResultGrid::~TOrvel_ResultGrid() {
    // The layout outlives nothing of ours that its fit measure reaches.
    FColumnsLayout->SetFitMeasure({});
}

void TOrvel_ResultGrid::SetQuery(DbQuery *query) {
    FColumnsLayout->SetQuery(query);
}

DbQuery *TOrvel_ResultGrid::Query() const {
    return FColumnsLayout->Query();
}

bool TOrvel_ResultGrid::HasOpenResult() const {
    return FColumnsLayout->HasOpenResult();
}

QList<QPixmap> TOrvel_ResultGrid::DefaultSortImages() {
    QList<QPixmap> images;
    for (bool up : {true, false}) {
        QPixmap mark(9, 8);
        mark.fill(Qt::transparent);
        QPainter p(&mark);
        QPolygon triangle;
        if (up)
            triangle << QPoint(4, 0) << QPoint(8, 7) << QPoint(0, 7);
        else
            triangle << QPoint(0, 0) << QPoint(8, 0) << QPoint(4, 7);
        p.setPen(QColor(0, 0, 255));
        p.setBrush(QColor(125, 190, 255));
        p.drawPolygon(triangle);
        p.end();
        images.append(mark);
    }
    return images;
}

void TOrvel_ResultGrid::SetSortImages(const QList<QPixmap> &images) {
    FSortImages = images;
    FHeader->SetMark(FSortColumn, FSortAscending, &FSortImages);
}

void TOrvel_ResultGrid::RefreshTitles() {
    FHeader->viewport()->update();
    viewport()->update();
}

void TOrvel_ResultGrid::SetSortMark(int position, bool ascending) {
    FSortColumn = position;
    FSortAscending = ascending;
    FModel->SetSortPosition(position);
    FHeader->SetMark(position, ascending, &FSortImages);
    RefreshTitles();
}

void TOrvel_ResultGrid::ClearSortMark() {
    SetSortMark(-1, true);
}

int TOrvel_ResultGrid::SortImageWidth(int noImages) const {
    return FSortImages.isEmpty() ? noImages : FSortImages.first().width();
}

void TOrvel_ResultGrid::titleClicked(int logicalIndex) {
    const int position = FHeader->visualIndex(logicalIndex);
    TOrvel_GridColumns &columns = *FColumnsLayout;
    const int needed = SortImageWidth(16) + columns.TextWidth(columns.Caption(position)) + 10;
    if (needed >= columns.Width(position))
        columns.SetWidth(position, needed);
    if (FModel->rowCount() > 0)
        emit titleClick(position);
}

void TOrvel_ResultGrid::FitColumnWidths(bool limit) {
    TOrvel_GridColumns &columns = *FColumnsLayout;
    const int w = SortImageWidth(0);
    const int scrollBarWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    for (int position = 0; position < columns.Count(); ++position) {
        if (limit) {
            // The cap is the grid's client width. (The width the cells happen to cover would cut
            // every column of a narrow result, a one-cell result by a scroll bar and more.)
            const int indicator = verticalHeader()->isVisible() ? verticalHeader()->width() : 0;
            const int m = viewport()->width() + indicator - (scrollBarWidth + 16);
            if (columns.Width(position) > m)
                columns.SetWidth(position, m);
        }
        const int needed = columns.TextWidth(columns.Caption(position)) + w + 10;
        if (needed >= columns.Width(position))
            columns.SetWidth(position, needed);
    }
}

int TOrvel_ResultGrid::CellWidthFor(const QString &text, const QFont &font) const {
    // The item view draws the text inside a margin on each side; the grid line takes a pixel.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return QFontMetrics(font).horizontalAdvance(text) + 2 * margin + (showGrid() ? 1 : 0) + 2;
}

const TOrvel_ColumnFit &TOrvel_ResultGrid::ColumnFit(int field) {
    const DbResult *result = Query() ? Query()->Result() : nullptr;
    if (FFits.size() != static_cast<std::size_t>(result->ColumnCount()))
        FFits.resize(static_cast<std::size_t>(result->ColumnCount()));
    auto &fit = FFits[static_cast<std::size_t>(field)];
    if (!fit)
        fit = std::make_unique<TOrvel_ColumnFit>(result->Column(field));
    return *fit;
}

const std::vector<QFont> &TOrvel_ResultGrid::RowFonts() {
    if (FRowFonts)
        return *FRowFonts;
    // The grid's font, and its bold and italic forms where some row format asks for them; the
    // formats are read once per distinct text.
    bool bold = false, italic = false;
    const DbQuery *query = Query();
    const int formatField = FModel->RowFormatColumn();
    if (query && query->Result() && formatField >= 0 && formatField < query->FieldCount() &&
        query->Field(formatField)->Kind() == TFieldKind::fkText) {
        const DbColumn &column = query->Result()->Column(formatField);
        QHash<QString, bool> seen;
        QStringView last;
        bool hasLast = false;
        for (std::size_t row = 0; row < column.Size() && !(bold && italic); ++row) {
            if (column.IsNull(row))
                continue;
            const QStringView text = column.Text(row);
            if (text.isEmpty() || (hasLast && text == last))
                continue;
            last = text;
            hasLast = true;
            const QString key = text.toString();
            if (seen.contains(key))
                continue;
            seen.insert(key, true);
            const TOrvel_RowFormat format = ParseRowFormat(key);
            bold = bold || format.Bold;
            italic = italic || format.Italic;
        }
    }
    std::vector<QFont> fonts{font()};
    for (const auto &[b, i] :
         {std::pair{true, false}, std::pair{false, true}, std::pair{true, true}}) {
        if ((b && !bold) || (i && !italic))
            continue;
        QFont f = font();
        f.setBold(b);
        f.setItalic(i);
        fonts.push_back(f);
    }
    FRowFonts = std::move(fonts);
    return *FRowFonts;
}

int TOrvel_ResultGrid::ContentWidth(int position) {
    TOrvel_GridColumns &columns = *FColumnsLayout;
    int widest = columns.TextWidth(columns.Caption(position)) + SortImageWidth(0) + 10;
    DbField *field = columns.Field(position);
    if (!field || !HasOpenResult() || !Query()->Result() ||
        field->Index() >= Query()->Result()->ColumnCount())
        return widest;
    // Measured as the column will show: a number without a format of its own gets its kind's
    // default format when the column settings are applied.
    QString pattern = field->DisplayFormat;
    if (IsNumericField(*field) && pattern.isEmpty())
        pattern = TOrvel_ReportSettings::DefaultDisplayFormat(field->DataType());
    const TOrvel_FieldFormat format(field->DataType(), pattern, field->DisplayValues,
                                    UserFormatSettings());
    const TOrvel_ColumnFit &fit = ColumnFit(field->Index());
    const std::vector<QString> texts = fit.Candidates(format);
    for (const QFont &f : RowFonts()) {
        // Every digit measured as the widest digit of the font: the widths found for the
        // extremes then hold for any digits.
        QChar wideDigit = u'0';
        if (fit.IsNumberOrDate()) {
            const QFontMetrics metrics(f);
            for (char16_t d = u'1'; d <= u'9'; ++d)
                if (metrics.horizontalAdvance(QChar(d)) > metrics.horizontalAdvance(wideDigit))
                    wideDigit = QChar(d);
        }
        for (QString text : texts) {
            if (fit.IsNumberOrDate())
                for (QChar &c : text)
                    if (c >= u'0' && c <= u'9')
                        c = wideDigit;
            widest = std::max(widest, CellWidthFor(text, f));
        }
    }
    return fit.IsNumberOrDate() ? widest : std::min(widest, ContentCap);
}

void TOrvel_ResultGrid::FitColumnsToContent() {
    TOrvel_GridColumns &columns = *FColumnsLayout;
    for (int position = 0; position < columns.Count(); ++position)
        if (!columns.WidthChosen(position))
            columns.SetWidth(position, ContentWidth(position));
}

void TOrvel_ResultGrid::ApplyPosition(int position) {
    const DbField *field = FColumnsLayout->Field(position);
    if (!field)
        return;
    const int logical = field->Index();
    if (logical < 0 || logical >= FHeader->count())
        return;
    const bool visible = FColumnsLayout->Visible(position);
    FHeader->setSectionHidden(logical, !visible);
    if (visible)
        FHeader->resizeSection(logical, FColumnsLayout->Width(position));
}

void TOrvel_ResultGrid::layoutReset() {
    FFits.clear();
    FRowFonts.reset();
    FSyncing = true;
    FModel->ResetFromQuery();
    // A fresh header: identity order; bring it to the layout's order, widths and visibility.
    for (int position = 0; position < FColumnsLayout->Count(); ++position) {
        const DbField *field = FColumnsLayout->Field(position);
        if (!field || field->Index() >= FHeader->count())
            continue;
        const int from = FHeader->visualIndex(field->Index());
        if (from != position)
            FHeader->moveSection(from, position);
        ApplyPosition(position);
    }
    FSyncing = false;
    FSortColumn = -1;
    FSortAscending = true;
    FHeader->SetMark(-1, true, &FSortImages);
}

void TOrvel_ResultGrid::layoutColumnChanged(int position) {
    FSyncing = true;
    ApplyPosition(position);
    FSyncing = false;
    FModel->RefreshAll();
}

void TOrvel_ResultGrid::layoutColumnMoved(int from, int to) {
    if (!FSyncing) {
        FSyncing = true;
        FHeader->moveSection(from, to);
        FSyncing = false;
    }
    FModel->SyncPositions();
    // The sort mark and tint belong to the sorted field: they move with its column.
    if (FSortColumn >= 0) {
        int sorted = FSortColumn;
        if (sorted == from)
            sorted = to;
        else if (from < sorted && sorted <= to)
            --sorted;
        else if (to <= sorted && sorted < from)
            ++sorted;
        if (sorted != FSortColumn)
            SetSortMark(sorted, FSortAscending);
    }
    FModel->RefreshAll();
}

void TOrvel_ResultGrid::sectionMovedByUser(int, int oldVisual, int newVisual) {
    if (FSyncing)
        return;
    FSyncing = true;
    FColumnsLayout->UserMove(oldVisual, newVisual);
    FSyncing = false;
}

void TOrvel_ResultGrid::sectionResizedByUser(int logicalIndex, int, int newSize) {
    if (FSyncing || FHeader->isSectionHidden(logicalIndex))
        return;
    FSyncing = true;
    FColumnsLayout->SetUserWidth(FHeader->visualIndex(logicalIndex), newSize);
    FSyncing = false;
}

bool TOrvel_ResultGrid::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        (watched == viewport() || watched == FHeader->viewport())) {
        // After the toolkit's own handling (a finished resize or move), not before it.
        QMetaObject::invokeMethod(this, &TOrvel_ResultGrid::mouseUp, Qt::QueuedConnection);
    }
    return QTableView::eventFilter(watched, event);
}
