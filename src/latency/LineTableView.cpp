#include "latency/LineTableView.h"

#include "latency/LineRowDelegate.h"
#include "latency/LineTableModel.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace latency {

namespace {

constexpr int RowHeight = 20;
constexpr int HeaderHeight = 22;
constexpr int ColumnWidths[LineTableModel::ColumnCount] = {150, 80, 70, 55};

} // namespace

LineTableView::LineTableView(LineTableModel *model, QWidget *parent)
    : QTableView(parent), m_model(model)
{
    setObjectName(QStringLiteral("vt1"));
    setModel(m_model);
    setItemDelegate(new LineRowDelegate(horizontalHeader(), this));

    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);

    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(RowHeight);
    verticalHeader()->setDefaultSectionSize(RowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView *header = horizontalHeader();
    header->setFixedHeight(HeaderHeight);
    header->setSectionsClickable(true);
    header->setSectionsMovable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setHighlightSections(false);
    header->setSortIndicatorShown(true);
    for (int column = 0; column < LineTableModel::ColumnCount; ++column)
        setColumnWidth(column, ColumnWidths[column]);
    showSortState(m_model->sortColumn(), m_model->sortAscending());

    connect(header, &QHeaderView::sectionClicked, this, &LineTableView::vt1HeaderClick);
    connect(m_model, &LineTableModel::sortStateChanged, this, &LineTableView::showSortState);
}

QString LineTableView::RefreshLineTable(int queuedTasks, int threads)
{
    viewport()->update();
    return QStringLiteral("%1/%2").arg(queuedTasks).arg(threads);
}

void LineTableView::focusInEvent(QFocusEvent *event)
{
    // Qt makes the first row current when the table gains the focus. A row counts as
    // focused only once the user picks one, so that a click on empty space before that
    // still means "no line".
    const bool hadFocusedRow = currentIndex().isValid();
    QTableView::focusInEvent(event);
    if (!hadFocusedRow)
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
}

void LineTableView::mouseReleaseEvent(QMouseEvent *event)
{
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        vt1Click();
}

void LineTableView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        vt1Click();
}

void LineTableView::vt1HeaderClick(int column)
{
    // The header has already flipped its indicator by its own rules; the model's
    // sortStateChanged puts it right.
    m_model->vt1HeaderClick(column);
    emit headerSorted();
}

void LineTableView::vt1Click()
{
    const QModelIndex focused = currentIndex();
    if (!focused.isValid()) {
        emit clickedWithoutFocusedRow();
        return;
    }
    const QString name = m_model->record(focused.row()).name;
    if (!name.isEmpty())
        emit lineChosen(name);
}

void LineTableView::showSortState(int column, bool ascending)
{
    horizontalHeader()->setSortIndicator(column,
                                         ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

} // namespace latency
