#include "latency/LineTableModel.h"

#include <QBrush>
#include <QSignalSpy>
#include <QTest>

using catalogue::ps;
using latency::LineTableModel;

namespace {

const QString Supported = QStringLiteral("支持");
const QString Unsupported = QStringLiteral("不支持");

// The ip field serves as the row's identity, so rows with equal keys stay distinguishable.
ps line(const QString &id, const QString &name, const QString &delay, const QString &onlineRate,
        const QString &l2tp)
{
    ps record;
    record.ip = id;
    record.name = name;
    record.delay = delay;
    record.onlinerate = onlineRate;
    record.l2tpstatus = l2tp;
    return record;
}

// Every column has ties, and the unmeasured and failed lines are interleaved.
QList<ps> mixedLines()
{
    return {
        line("r1", QStringLiteral("线路B"), "120", "95%", Supported),
        line("r2", QStringLiteral("线路A"), "NA", "100%", Unsupported),
        line("r3", QStringLiteral("线路A"), "35", "99%", Supported),
        line("r4", "Line", "120", "95%", Unsupported),
        line("r5", QStringLiteral("线路"), QStringLiteral("禁ping"), "", Supported),
        line("r6", "line", "-3", "99%", Unsupported),
        line("r7", QStringLiteral("线路B"), "NA", "100%", Supported),
    };
}

QStringList rowIds(const LineTableModel &model)
{
    QStringList ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids.append(model.record(row).ip);
    return ids;
}

QStringList reversed(QStringList list)
{
    std::reverse(list.begin(), list.end());
    return list;
}

void fieldForColumn(ps &record, int column, const QString &key)
{
    switch (column) {
    case LineTableModel::NameColumn:
        record.name = key;
        break;
    case LineTableModel::DelayColumn:
        record.delay = key;
        break;
    case LineTableModel::OnlineRateColumn:
        record.onlinerate = key;
        break;
    default:
        record.l2tpstatus = key;
    }
}

} // namespace

class TestLineTableModel : public QObject
{
    Q_OBJECT

private slots:
    void cellTextsAndCaptions_data();
    void cellTextsAndCaptions();
    void latencyBandColours_data();
    void latencyBandColours();
    void setDelayRecoloursWholeRow();
    void fillingKeepsDocumentOrder();

    void sortRows_data();
    void sortRows();
    void compareNodes_data();
    void compareNodes();
    void onlyExplicitSortsReorder();
    void sortKeepsPersistentIndexesOnTheirLines();

    void headerClickSequence_data();
    void headerClickSequence();
    void ascendingAndNextClickMirror_data();
    void ascendingAndNextClickMirror();
};

void TestLineTableModel::cellTextsAndCaptions_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");

    QTest::newRow("name") << 0 << QStringLiteral("上海电信1") << QStringLiteral("线路名称");
    QTest::newRow("delay") << 1 << "87" << QStringLiteral("延时(ms)");
    QTest::newRow("online rate") << 2 << "95%" << QStringLiteral("在线率");
    QTest::newRow("l2tp") << 3 << Unsupported << "L2TP";
}

void TestLineTableModel::cellTextsAndCaptions()
{
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QString, caption);

    LineTableModel model;
    model.appendRow(line("1.2.3.4", QStringLiteral("上海电信1"), "87", "95%", Unsupported));

    QCOMPARE(model.columnCount(), 4);
    QCOMPARE(model.data(model.index(0, column)).toString(), text);
    QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), caption);
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
}

void TestLineTableModel::latencyBandColours_data()
{
    QTest::addColumn<QString>("delay");
    QTest::addColumn<QColor>("colour"); // invalid: the normal background

    const QColor green(170, 255, 155);
    const QColor yellowGreen(200, 255, 150);
    const QColor paleYellow(225, 255, 140);
    const QColor yellow(240, 255, 140);

    QTest::newRow("0") << "0" << green;
    QTest::newRow("200") << "200" << green;
    QTest::newRow("201") << "201" << yellowGreen;
    QTest::newRow("250") << "250" << yellowGreen;
    QTest::newRow("251") << "251" << paleYellow;
    QTest::newRow("300") << "300" << paleYellow;
    QTest::newRow("301") << "301" << yellow;
    QTest::newRow("very slow") << "4000" << yellow;
    QTest::newRow("negative") << "-5" << QColor();
    QTest::newRow("not measured") << "NA" << QColor();
    QTest::newRow("probe failed is grey, not 0 ms")
        << QStringLiteral("禁ping") << QColor(164, 162, 165);
}

void TestLineTableModel::latencyBandColours()
{
    QFETCH(QString, delay);
    QFETCH(QColor, colour);

    LineTableModel model;
    model.appendRow(line("h", "n", delay, "90%", Supported));

    for (int column = 0; column < model.columnCount(); ++column) {
        const QVariant background = model.data(model.index(0, column), Qt::BackgroundRole);
        if (!colour.isValid())
            QVERIFY2(!background.isValid(), qPrintable(QString::number(column)));
        else
            QCOMPARE(background.value<QBrush>().color(), colour);
    }
}

void TestLineTableModel::setDelayRecoloursWholeRow()
{
    LineTableModel model;
    model.setRows({line("a", "a", "NA", "90%", Supported), line("b", "b", "NA", "90%", Supported)});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    model.setDelay(1, "260");

    QCOMPARE(model.data(model.index(1, 1)).toString(), "260");
    QCOMPARE(model.data(model.index(1, 0), Qt::BackgroundRole).value<QBrush>().color(),
             QColor(225, 255, 140));
    QVERIFY(!model.data(model.index(0, 0), Qt::BackgroundRole).isValid());
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.index(1, 0));
    QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), model.index(1, 3));
}

void TestLineTableModel::fillingKeepsDocumentOrder()
{
    LineTableModel model;
    model.appendRow(line("old", "old", "12", "90%", Supported));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    model.setRows(mixedLines());
    model.appendRow(line("r8", "A", "NA", "90%", Supported));

    QCOMPARE(rowIds(model), QStringList({"r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8"}));
    QCOMPARE(reset.size(), 1);
    QCOMPARE(inserted.size(), 1);

    model.clear();
    QCOMPARE(model.rowCount(), 0);
}

void TestLineTableModel::sortRows_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QStringList>("order");

    // Names: "Line" < "line" < "线路" < "线路A" (r2, r3) < "线路B" (r1, r7).
    QTest::newRow("name ascending")
        << 0 << true << QStringList{"r4", "r6", "r5", "r2", "r3", "r1", "r7"};
    QTest::newRow("name descending")
        << 0 << false << QStringList{"r7", "r1", "r3", "r2", "r5", "r6", "r4"};
    // Unmeasured and failed lines go last and keep their previous order (r2, r5, r7).
    QTest::newRow("delay ascending")
        << 1 << true << QStringList{"r6", "r3", "r1", "r4", "r2", "r5", "r7"};
    QTest::newRow("delay descending")
        << 1 << false << QStringList{"r7", "r5", "r2", "r4", "r1", "r3", "r6"};
    // Text order, not numbers: "" < "100%" < "95%" < "99%".
    QTest::newRow("online rate ascending")
        << 2 << true << QStringList{"r5", "r2", "r7", "r1", "r4", "r3", "r6"};
    QTest::newRow("online rate descending")
        << 2 << false << QStringList{"r6", "r3", "r4", "r1", "r7", "r2", "r5"};
    QTest::newRow("l2tp ascending")
        << 3 << true << QStringList{"r2", "r4", "r6", "r1", "r3", "r5", "r7"};
    QTest::newRow("l2tp descending")
        << 3 << false << QStringList{"r7", "r5", "r3", "r1", "r6", "r4", "r2"};
}

void TestLineTableModel::sortRows()
{
    QFETCH(int, column);
    QFETCH(bool, ascending);
    QFETCH(QStringList, order);

    LineTableModel model;
    model.setRows(mixedLines());
    model.setSortState(column, ascending);
    model.sortRows();

    QCOMPARE(rowIds(model), order);
}

void TestLineTableModel::compareNodes_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("result");

    QTest::newRow("greater name ascending") << 0 << true << "b"
                                            << "a" << 1;
    QTest::newRow("greater name descending") << 0 << false << "b"
                                             << "a" << -1;
    QTest::newRow("equal names ascending") << 0 << true << "a"
                                           << "a" << -1;
    QTest::newRow("equal names descending") << 0 << false << "a"
                                            << "a" << 1;
    QTest::newRow("upper case first") << 0 << true << "Line"
                                      << "line" << -1;
    QTest::newRow("prefix first") << 0 << true << QStringLiteral("线路A") << QStringLiteral("线路")
                                  << 1;
    QTest::newRow("empty first") << 0 << true << ""
                                 << "a" << -1;
    // U+1F600 is stored as D83D DE00, below U+FF01 in code units though above it as a code
    // point.
    QTest::newRow("code units, not code points")
        << 0 << true << QStringLiteral("\U0001F600") << QStringLiteral("\uFF01") << -1;
    QTest::newRow("delay as a number") << 1 << true << "95"
                                       << "100" << -1;
    QTest::newRow("unmeasured after slowest") << 1 << true << "NA"
                                              << "36999999" << 1;
    QTest::newRow("failed equals unmeasured")
        << 1 << true << QStringLiteral("禁ping") << "NA" << -1;
    QTest::newRow("empty delay equals unmeasured") << 1 << false << ""
                                                   << "NA" << 1;
    QTest::newRow("online rate as text") << 2 << true << "100%"
                                         << "95%" << -1;
    QTest::newRow("unsupported before supported") << 3 << true << Unsupported << Supported << -1;
}

void TestLineTableModel::compareNodes()
{
    QFETCH(int, column);
    QFETCH(bool, ascending);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, result);

    ps a = line("a", "n", "NA", "90%", Supported);
    ps b = a;
    fieldForColumn(a, column, first);
    fieldForColumn(b, column, second);
    LineTableModel model;
    model.setSortState(column, ascending);

    QCOMPARE(model.vt1CompareNodes(a, b, column), result);
    QCOMPARE(model.vt1CompareNodes(a, b, (column + 1) % LineTableModel::ColumnCount), 0);
}

void TestLineTableModel::onlyExplicitSortsReorder()
{
    LineTableModel model;
    model.setRows(mixedLines());
    QSignalSpy stateChanged(&model, &LineTableModel::sortStateChanged);

    model.setSortState(0, true);
    model.setDelay(0, "999");
    model.appendRow(line("r8", "A", "1", "90%", Supported));

    QCOMPARE(rowIds(model), QStringList({"r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8"}));
    QCOMPARE(stateChanged.size(), 1);
    QCOMPARE(stateChanged.at(0), QVariantList({0, true}));

    model.sortRows();
    QCOMPARE(rowIds(model), QStringList({"r8", "r4", "r6", "r5", "r2", "r3", "r1", "r7"}));
}

void TestLineTableModel::sortKeepsPersistentIndexesOnTheirLines()
{
    LineTableModel model;
    model.setRows(mixedLines());
    const QPersistentModelIndex focused = model.index(2, 1); // r3
    const QPersistentModelIndex last = model.index(6, 3);    // r7

    model.setSortState(1, true);
    model.sortRows();

    QCOMPARE(focused.row(), 1);
    QCOMPARE(focused.column(), 1);
    QCOMPARE(model.record(focused.row()).ip, "r3");
    QCOMPARE(model.record(last.row()).ip, "r7");
    QCOMPARE(last.column(), 3);
}

void TestLineTableModel::headerClickSequence_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QStringList>("order");

    // The table starts sorted by delay, ascending, so the first click always descends.
    QTest::newRow("first click on name")
        << QList<int>{0} << 0 << false << QStringList{"r7", "r1", "r3", "r2", "r5", "r6", "r4"};
    QTest::newRow("first click on delay")
        << QList<int>{1} << 1 << false << QStringList{"r7", "r5", "r2", "r4", "r1", "r3", "r6"};
    QTest::newRow("toggles when the column changes")
        << QList<int>{0, 2} << 2 << true << QStringList{"r5", "r7", "r2", "r1", "r4", "r3", "r6"};
    // Delay ties and the unmeasured lines keep the name-descending order of the first click.
    QTest::newRow("name, then delay")
        << QList<int>{0, 1} << 1 << true << QStringList{"r6", "r3", "r1", "r4", "r7", "r2", "r5"};
    QTest::newRow("three clicks") << QList<int>{3, 1, 1} << 1 << false
                                  << QStringList{"r2", "r5", "r7", "r4", "r1", "r3", "r6"};
}

void TestLineTableModel::headerClickSequence()
{
    QFETCH(QList<int>, clicks);
    QFETCH(int, sortColumn);
    QFETCH(bool, ascending);
    QFETCH(QStringList, order);

    LineTableModel model;
    model.setRows(mixedLines());
    for (const int column : clicks)
        model.vt1HeaderClick(column);

    QCOMPARE(model.sortColumn(), sortColumn);
    QCOMPARE(model.sortAscending(), ascending);
    QCOMPARE(rowIds(model), order);
}

void TestLineTableModel::ascendingAndNextClickMirror_data()
{
    QTest::addColumn<int>("column");

    QTest::newRow("name") << 0;
    QTest::newRow("delay") << 1;
    QTest::newRow("online rate") << 2;
    QTest::newRow("l2tp") << 3;
}

void TestLineTableModel::ascendingAndNextClickMirror()
{
    QFETCH(int, column);

    LineTableModel model;
    model.setRows(mixedLines());
    model.vt1HeaderClick(column);
    model.vt1HeaderClick(column);
    QVERIFY(model.sortAscending());
    const QStringList ascending = rowIds(model);
    model.vt1HeaderClick(column);

    QCOMPARE(rowIds(model), reversed(ascending));
}

QTEST_GUILESS_MAIN(TestLineTableModel)
#include "tst_linetablemodel.moc"
