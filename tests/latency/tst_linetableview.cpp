#include "latency/LineTableModel.h"
#include "latency/LineTableView.h"

#include <QHeaderView>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

using catalogue::ps;
using latency::LineTableModel;
using latency::LineTableView;

namespace {

ps line(const QString &name, const QString &delay)
{
    ps record;
    record.ip = name + QStringLiteral(".example");
    record.name = name;
    record.delay = delay;
    record.onlinerate = QStringLiteral("95%");
    record.l2tpstatus = QStringLiteral("支持");
    return record;
}

QPoint rowCentre(const LineTableView &view, int row)
{
    return view.visualRect(view.model()->index(row, 0)).center();
}

} // namespace

class TestLineTableView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startState();
    void headerClickSortsAndShowsDirection();
    void clickChoosesFocusedLine_data();
    void clickChoosesFocusedLine();
    void clickWithoutFocusedRowAsksForFirstLine();
    void focusedLineFollowsSort();
    void paintsLatencyAndSelectionColours();
    void refreshGivesPoolLoad();

private:
    std::unique_ptr<LineTableModel> m_model;
    std::unique_ptr<LineTableView> m_view;
};

void TestLineTableView::init()
{
    m_model = std::make_unique<LineTableModel>();
    m_model->setRows({line(QStringLiteral("上海1"), "260"), line(QStringLiteral("北京2"), "NA"),
                      line(QStringLiteral("广州3"), "35"), line(QString(), "80")});
    m_view = std::make_unique<LineTableView>(m_model.get());
    m_view->resize(400, 300);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void TestLineTableView::cleanup()
{
    m_view.reset();
    m_model.reset();
}

void TestLineTableView::startState()
{
    const QHeaderView *header = m_view->horizontalHeader();

    QCOMPARE(m_view->objectName(), "vt1");
    QVERIFY(!m_view->verticalHeader()->isVisible());
    QVERIFY(!m_view->isSortingEnabled());
    QCOMPARE(m_view->rowHeight(0), 20);
    QCOMPARE(header->height(), 22);
    QCOMPARE(QList<int>({m_view->columnWidth(0), m_view->columnWidth(1), m_view->columnWidth(2),
                         m_view->columnWidth(3)}),
             QList<int>({150, 80, 70, 55}));
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(m_model->record(0).name, QStringLiteral("上海1")); // filling does not sort
}

void TestLineTableView::headerClickSortsAndShowsDirection()
{
    QHeaderView *header = m_view->horizontalHeader();
    QSignalSpy sorted(m_view.get(), &LineTableView::headerSorted);
    const QPoint nameHeader(header->sectionViewportPosition(0) + 20, header->height() / 2);

    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, nameHeader);

    QCOMPARE(m_model->sortColumn(), 0);
    QVERIFY(!m_model->sortAscending());
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(m_model->record(0).name, QStringLiteral("广州3")); // U+5E7F is the largest
    QCOMPARE(sorted.size(), 1);

    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, nameHeader);

    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(m_model->record(0).name, QString());
    QCOMPARE(sorted.size(), 2);
}

void TestLineTableView::clickChoosesFocusedLine_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QStringList>("chosen");

    QTest::newRow("click") << 2 << false << QStringList{QStringLiteral("广州3")};
    QTest::newRow("double click") << 1 << true << QStringList{QStringLiteral("北京2")};
    QTest::newRow("line without a name") << 3 << false << QStringList{};
}

void TestLineTableView::clickChoosesFocusedLine()
{
    QFETCH(int, row);
    QFETCH(bool, doubleClick);
    QFETCH(QStringList, chosen);

    QSignalSpy chosenSpy(m_view.get(), &LineTableView::lineChosen);
    QSignalSpy withoutFocus(m_view.get(), &LineTableView::clickedWithoutFocusedRow);

    if (doubleClick)
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, rowCentre(*m_view, row));
    else
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, rowCentre(*m_view, row));

    QCOMPARE(m_view->currentIndex().row(), row);
    QCOMPARE(withoutFocus.size(), 0);
    QVERIFY(chosen.isEmpty() ? chosenSpy.isEmpty() : !chosenSpy.isEmpty());
    for (const QList<QVariant> &emitted : chosenSpy)
        QCOMPARE(emitted.at(0).toString(), chosen.constFirst());
}

void TestLineTableView::clickWithoutFocusedRowAsksForFirstLine()
{
    QSignalSpy chosen(m_view.get(), &LineTableView::lineChosen);
    QSignalSpy withoutFocus(m_view.get(), &LineTableView::clickedWithoutFocusedRow);
    const QPoint belowRows(20, m_view->rowViewportPosition(3) + 3 * m_view->rowHeight(3));

    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, belowRows);

    QVERIFY(!m_view->currentIndex().isValid());
    QCOMPARE(withoutFocus.size(), 1);
    QCOMPARE(chosen.size(), 0);
}

void TestLineTableView::focusedLineFollowsSort()
{
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, rowCentre(*m_view, 0));
    QSignalSpy chosen(m_view.get(), &LineTableView::lineChosen);

    m_model->setSortState(1, true);
    m_model->sortRows();

    QCOMPARE(m_view->currentIndex().row(), 2); // 35, 80, 260, NA
    QCOMPARE(m_view->selectionModel()->selectedRows(), QModelIndexList{m_model->index(2, 0)});

    // A click on empty space still hands over the focused line.
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {},
                      QPoint(20, m_view->rowViewportPosition(3) + 3 * m_view->rowHeight(3)));

    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen.at(0).at(0).toString(), QStringLiteral("上海1"));
}

void TestLineTableView::paintsLatencyAndSelectionColours()
{
    m_view->selectRow(2); // 35 ms
    const QImage image = m_view->viewport()->grab().toImage();
    // Right end of the delay cell, clear of the left-aligned text and the grid line.
    const auto pixel = [&](int row) {
        const QRect cell = m_view->visualRect(m_model->index(row, 1));
        return image.pixelColor(cell.right() - 4, cell.center().y());
    };

    QCOMPARE(pixel(0), QColor(225, 255, 140)); // 260 ms
    QCOMPARE(pixel(1), m_view->palette().color(QPalette::Base));
    // Selection teal at weight 200/255 over the 0-200 ms green, so the band still shows.
    QCOMPARE(pixel(2), QColor(79, 140, 131));
}

void TestLineTableView::refreshGivesPoolLoad()
{
    QCOMPARE(m_view->RefreshLineTable(12, 10), "12/10");
}

QTEST_MAIN(TestLineTableView)
#include "tst_linetableview.moc"
