#include "latency/LineRowDelegate.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>

namespace latency {

namespace {

const QColor SelectionColour(55, 109, 125);
// Weight of the selection colour over the row's own background, out of 255.
constexpr int SelectionBlend = 200;

QColor blendedSelection(const QColor &background)
{
    const auto mix = [](int selection, int under) {
        return (selection * SelectionBlend + under * (255 - SelectionBlend)) / 255;
    };
    return QColor(mix(SelectionColour.red(), background.red()),
                  mix(SelectionColour.green(), background.green()),
                  mix(SelectionColour.blue(), background.blue()));
}

} // namespace

LineRowDelegate::LineRowDelegate(const QHeaderView *columns, QObject *parent)
    : QStyledItemDelegate(parent), m_columns(columns)
{}

void LineRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const
{
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    cell.state &= ~QStyle::State_HasFocus;
    const bool selected = cell.state.testFlag(QStyle::State_Selected);
    if (selected) {
        // The style would paint the highlight opaquely and hide the latency colour.
        const QColor under = cell.backgroundBrush.style() == Qt::NoBrush
                                 ? cell.palette.color(QPalette::Base)
                                 : cell.backgroundBrush.color();
        cell.backgroundBrush = blendedSelection(under);
        cell.palette.setColor(QPalette::Text, cell.palette.color(QPalette::HighlightedText));
        cell.state &= ~QStyle::State_Selected;
    }
    const QStyle *style = cell.widget ? cell.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);

    const QRect r = cell.rect;
    painter->save();
    painter->setPen(cell.palette.color(QPalette::Disabled, QPalette::Text));
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    if (selected) {
        painter->setPen(SelectionColour);
        painter->drawLine(r.topLeft(), r.topRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        const int visualColumn = m_columns->visualIndex(index.column());
        if (visualColumn == 0)
            painter->drawLine(r.topLeft(), r.bottomLeft());
        if (visualColumn == m_columns->count() - 1)
            painter->drawLine(r.topRight(), r.bottomRight());
    }
    painter->restore();
}

} // namespace latency
