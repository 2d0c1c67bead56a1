#pragma once
// The grid's row indicator: the narrow column before the cells, with an arrow at the current row.
#include <QHeaderView>

class QTableView;

class TOrvel_RowIndicator : public QHeaderView {
    Q_OBJECT
public:
    explicit TOrvel_RowIndicator(QTableView *grid);

    // Puts an indicator of this kind in place of the grid's row header, `width` pixels wide with
    // rows of `rowHeight` pixels, and follows the grid's current row from then on.
    static TOrvel_RowIndicator *Install(QTableView *grid, int width, int rowHeight);

    int CurrentRow() const; // -1 when the grid has no current cell

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    void CurrentRowChanged();
    QTableView *FGrid;
};
