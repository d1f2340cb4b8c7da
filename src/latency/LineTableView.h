#pragma once

#include <QTableView>

namespace latency {

class LineTableModel;

// The line table of the main window ("vt1"): one row per line of the chosen area. Sorting
// happens only on a header click or when the latency test asks the model for it; the view
// never sorts by itself.
class LineTableView : public QTableView
{
    Q_OBJECT
public:
    explicit LineTableView(LineTableModel *model, QWidget *parent = nullptr);

    // Repaints every row and returns the worker pool's diagnostics text: queued tasks and
    // threads joined by "/", for example "12/10".
    QString RefreshLineTable(int queuedTasks, int threads);

signals:
    // A click or double click on the table while a row with this line name has the focus.
    void lineChosen(const QString &name);
    // A click or double click while no row has the focus: the line selector goes back to
    // its first item.
    void clickedWithoutFocusedRow();
    // A header click has sorted the table; the owner refreshes the diagnostics text.
    void headerSorted();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void vt1HeaderClick(int column);
    // Also the double-click handler: both hand the focused line to the line selector.
    void vt1Click();
    void showSortState(int column, bool ascending);

    LineTableModel *m_model;
};

} // namespace latency
