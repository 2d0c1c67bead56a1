#include "U_RowIndicator.h"

#include <QItemSelectionModel>
#include <QPainter>
#include <QPolygon>
#include <QTableView>

TOrvel_RowIndicator::TOrvel_RowIndicator(QTableView *grid)
    : QHeaderView(Qt::Vertical, grid), FGrid(grid) {
    setObjectName(QStringLiteral("RowIndicator"));
    setSectionsClickable(false);
    setHighlightSections(false);
}

TOrvel_RowIndicator *TOrvel_RowIndicator::Install(QTableView *grid, int width, int rowHeight) {
    auto *indicator = new TOrvel_RowIndicator(grid);
    grid->setVerticalHeader(indicator);
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setDefaultSectionSize(rowHeight);
    indicator->setFixedWidth(width);
    const auto follow = [grid, indicator] {
        // The grid's model and selection model may be replaced; follow the current one.
        if (QItemSelectionModel *selection = grid->selectionModel())
            QObject::connect(selection, &QItemSelectionModel::currentRowChanged, indicator,
                             &TOrvel_RowIndicator::CurrentRowChanged, Qt::UniqueConnection);
    };
    follow();
    if (grid->model())
        QObject::connect(grid->model(), &QAbstractItemModel::modelReset, indicator, follow);
    return indicator;
}

void TOrvel_RowIndicator::CurrentRowChanged() {
    viewport()->update();
}

int TOrvel_RowIndicator::CurrentRow() const {
    const QModelIndex current =
        FGrid->selectionModel() ? FGrid->selectionModel()->currentIndex() : QModelIndex();
    return current.isValid() ? current.row() : -1;
}

void TOrvel_RowIndicator::paintSection(QPainter *painter, const QRect &rect,
                                       int logicalIndex) const {
    QHeaderView::paintSection(painter, rect, logicalIndex);
    if (logicalIndex != CurrentRow())
        return;
    // A small solid triangle pointing right, centred in the section.
    const int h = std::min(8, rect.height() - 4);
    const int w = h / 2 + 1;
    const int x = rect.left() + (rect.width() - w) / 2;
    const int y = rect.top() + (rect.height() - h) / 2;
    painter->save();
    // The style's drawing of the section leaves its own clip behind.
    painter->setClipRect(rect, Qt::ReplaceClip);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::ButtonText));
    painter->drawPolygon(QPolygon({QPoint(x, y), QPoint(x + w, y + h / 2), QPoint(x, y + h)}));
    painter->restore();
}
