#pragma once

#include "catalogue/LineRecord.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QList>

#include <optional>

namespace latency {

// The rows of the line table: one line record per row, in the order they were added until
// the table is sorted. The sort column and direction live here too, because the latency
// test sorts the table without going through the view.
class LineTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn = 0, DelayColumn, OnlineRateColumn, L2tpColumn, ColumnCount };

    explicit LineTableModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void clear();
    void appendRow(const catalogue::ps &record);
    // Replaces all rows at once: an area holds thousands of lines, so a refill is one reset
    // rather than one insertion per line.
    void setRows(QList<catalogue::ps> records);
    const catalogue::ps &record(int row) const;
    void setDelay(int row, const QString &delay);

    // Every row gets a key that stays with it through sorts, so a latency result that
    // arrives later finds its row, or finds that the row is gone.
    QList<quint64> rowKeys() const { return m_keys; }
    // The row's current position; -1 when no row has the key any more.
    int rowOfKey(quint64 key) const { return m_rowOfKey.value(key, -1); }
    // Writes a probe's result into the row with the key, if it still exists.
    void recordProbeResult(quint64 key, const QString &delay, bool failed);

    int sortColumn() const { return m_sortColumn; }
    bool sortAscending() const { return m_sortAscending; }
    // Changes the header state only; the rows keep their order until sortRows().
    void setSortState(int column, bool ascending);
    // Stable sort of all rows by the sort column: ascending keeps equal keys in their
    // previous order, descending is exactly the reverse of the ascending outcome.
    void sortRows();

    // -1 or 1 for the sort column as the header's direction orders the two rows (equal keys
    // give -1 ascending and 1 descending), 0 for any other column.
    int vt1CompareNodes(const catalogue::ps &first, const catalogue::ps &second, int column) const;
    // Makes column the sort column, toggles the direction on every click and sorts.
    void vt1HeaderClick(int column);

    static QString vt1GetText(const catalogue::ps &record, int column);
    // The background of all cells of the row, by latency band; nullopt for the normal
    // background.
    static std::optional<QColor> vt1DrawText(const catalogue::ps &record);

signals:
    void sortStateChanged(int column, bool ascending);

private:
    void indexKeys();

    QList<catalogue::ps> m_rows;
    QList<quint64> m_keys;
    QHash<quint64, int> m_rowOfKey;
    quint64 m_nextKey = 1;
    int m_sortColumn = DelayColumn;
    bool m_sortAscending = true;
};

} // namespace latency
