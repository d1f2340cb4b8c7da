#include "latency/LineTableModel.h"

#include "util/TextRoutines.h"

#include <QBrush>

#include <algorithm>
#include <numeric>
#include <string_view>
#include <vector>

namespace latency {

using catalogue::ps;

namespace {

// Where a line that was not measured or did not answer sorts: behind every real latency.
constexpr qint32 UnmeasuredDelayKey = 37000000;

qint32 delayKey(const QString &delay)
{
    return util::parseInt32(delay).value_or(UnmeasuredDelayKey);
}

// Ordinal order of UTF-16 code units, a prefix before the longer text; unlike
// QString::compare it cannot depend on the Qt version's idea of "ordinal".
std::u16string_view codeUnits(const QString &text)
{
    return {QStringView(text).utf16(), static_cast<std::size_t>(text.size())};
}

const QString &textKey(const ps &record, int column)
{
    switch (column) {
    case LineTableModel::NameColumn:
        return record.name;
    case LineTableModel::OnlineRateColumn:
        return record.onlinerate;
    default:
        return record.l2tpstatus;
    }
}

bool isSortable(int column)
{
    return column >= 0 && column < LineTableModel::ColumnCount;
}

// Negative, zero or positive as the first row's key is less than, equal to or greater
// than the second's.
int compareKeys(const ps &first, const ps &second, int column)
{
    if (column == LineTableModel::DelayColumn) {
        const qint32 a = delayKey(first.delay);
        const qint32 b = delayKey(second.delay);
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    return codeUnits(textKey(first, column)).compare(codeUnits(textKey(second, column)));
}

// Row numbers in stable ascending key order. Keys are extracted once so the sort itself
// compares plain integers or code-unit views.
std::vector<qsizetype> ascendingOrder(const QList<ps> &rows, int column)
{
    std::vector<qsizetype> order(static_cast<std::size_t>(rows.size()));
    std::iota(order.begin(), order.end(), qsizetype{0});
    if (column == LineTableModel::DelayColumn) {
        std::vector<qint32> keys;
        keys.reserve(order.size());
        for (const ps &record : rows)
            keys.push_back(delayKey(record.delay));
        std::stable_sort(order.begin(), order.end(), [&keys](qsizetype a, qsizetype b) {
            return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
        });
    } else {
        std::vector<std::u16string_view> keys;
        keys.reserve(order.size());
        for (const ps &record : rows)
            keys.push_back(codeUnits(textKey(record, column)));
        std::stable_sort(order.begin(), order.end(), [&keys](qsizetype a, qsizetype b) {
            return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
        });
    }
    return order;
}

} // namespace

LineTableModel::LineTableModel(QObject *parent) : QAbstractTableModel(parent) {}

int LineTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int LineTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LineTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const ps &row = m_rows.at(index.row());
    if (role == Qt::DisplayRole)
        return vt1GetText(row, index.column());
    if (role == Qt::BackgroundRole) {
        if (const std::optional<QColor> colour = vt1DrawText(row))
            return QBrush(*colour);
    }
    return {};
}

QVariant LineTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("线路名称");
    case DelayColumn:
        return QStringLiteral("延时(ms)");
    case OnlineRateColumn:
        return QStringLiteral("在线率");
    case L2tpColumn:
        return QStringLiteral("L2TP");
    default:
        return {};
    }
}

void LineTableModel::clear()
{
    setRows({});
}

void LineTableModel::appendRow(const ps &record)
{
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.append(record);
    m_keys.append(m_nextKey);
    m_rowOfKey.insert(m_nextKey++, row);
    endInsertRows();
}

void LineTableModel::setRows(QList<ps> records)
{
    beginResetModel();
    m_rows = std::move(records);
    m_keys.clear();
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        m_keys.append(m_nextKey++);
    indexKeys();
    endResetModel();
}

void LineTableModel::indexKeys()
{
    m_rowOfKey.clear();
    m_rowOfKey.reserve(m_keys.size());
    for (qsizetype row = 0; row < m_keys.size(); ++row)
        m_rowOfKey.insert(m_keys.at(row), static_cast<int>(row));
}

void LineTableModel::recordProbeResult(quint64 key, const QString &delay, bool failed)
{
    const int row = rowOfKey(key);
    if (row < 0)
        return;
    if (failed)
        ++m_rows[row].losttimes;
    setDelay(row, delay);
}

const ps &LineTableModel::record(int row) const
{
    return m_rows.at(row);
}

void LineTableModel::setDelay(int row, const QString &delay)
{
    m_rows[row].delay = delay;
    // The delay also decides the colour of every cell of the row.
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1),
                     {Qt::DisplayRole, Qt::BackgroundRole});
}

void LineTableModel::setSortState(int column, bool ascending)
{
    if (column == m_sortColumn && ascending == m_sortAscending)
        return;
    m_sortColumn = column;
    m_sortAscending = ascending;
    emit sortStateChanged(m_sortColumn, m_sortAscending);
}

void LineTableModel::sortRows()
{
    // No column (or one without a key) compares every row as equal: the order stays.
    if (!isSortable(m_sortColumn) || m_rows.size() < 2)
        return;
    std::vector<qsizetype> order = ascendingOrder(m_rows, m_sortColumn);
    if (!m_sortAscending)
        std::reverse(order.begin(), order.end());

    emit layoutAboutToBeChanged({}, VerticalSortHint);
    QList<ps> sorted;
    QList<quint64> sortedKeys;
    sorted.reserve(m_rows.size());
    sortedKeys.reserve(m_keys.size());
    std::vector<int> newRowOf(order.size());
    for (std::size_t newRow = 0; newRow < order.size(); ++newRow) {
        sorted.append(std::move(m_rows[order[newRow]]));
        sortedKeys.append(m_keys.at(order[newRow]));
        newRowOf[static_cast<std::size_t>(order[newRow])] = static_cast<int>(newRow);
    }
    m_rows = std::move(sorted);
    m_keys = std::move(sortedKeys);
    indexKeys();

    // Keeps the selection and the focused row on the same lines.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after.append(index(newRowOf[static_cast<std::size_t>(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, VerticalSortHint);
}

int LineTableModel::vt1CompareNodes(const ps &first, const ps &second, int column) const
{
    if (column != m_sortColumn || !isSortable(column))
        return 0;
    const bool firstGreater = compareKeys(first, second, column) > 0;
    if (m_sortAscending)
        return firstGreater ? 1 : -1;
    return firstGreater ? -1 : 1;
}

void LineTableModel::vt1HeaderClick(int column)
{
    setSortState(column, !m_sortAscending);
    sortRows();
}

QString LineTableModel::vt1GetText(const ps &record, int column)
{
    switch (column) {
    case NameColumn:
        return record.name;
    case DelayColumn:
        return record.delay;
    case OnlineRateColumn:
        return record.onlinerate;
    case L2tpColumn:
        return record.l2tpstatus;
    default:
        return {};
    }
}

std::optional<QColor> LineTableModel::vt1DrawText(const ps &record)
{
    if (record.delay == u"NA")
        return std::nullopt;
    const std::optional<qint32> milliseconds = util::parseInt32(record.delay);
    // A failed probe ("禁ping") has no latency at all; grey keeps it from looking like a
    // line that answered in 0 ms.
    if (!milliseconds)
        return QColor(164, 162, 165);
    if (*milliseconds < 0)
        return std::nullopt;
    if (*milliseconds <= 200)
        return QColor(170, 255, 155);
    if (*milliseconds <= 250)
        return QColor(200, 255, 150);
    if (*milliseconds <= 300)
        return QColor(225, 255, 140);
    return QColor(240, 255, 140);
}

} // namespace latency
