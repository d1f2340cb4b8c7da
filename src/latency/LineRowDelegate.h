#pragma once

#include <QStyledItemDelegate>

class QHeaderView;

namespace latency {

// Paints the line table's cells: the selected row as a translucent teal band with a border
// over the latency colour, a horizontal grid line under every row, no focus rectangle.
class LineRowDelegate : public QStyledItemDelegate
{
public:
    // columns tells which cells are the row's outer ends, where the selection border closes.
    LineRowDelegate(const QHeaderView *columns, QObject *parent);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    const QHeaderView *m_columns;
};

} // namespace latency
