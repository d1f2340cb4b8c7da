#include "catalogue/AreaSelection.h"

#include "app/ClientState.h"
#include "catalogue/ServerListDocument.h"
#include "latency/LineTableModel.h"
#include "support/TestEnvironment.h"

#include <QComboBox>
#include <QTest>
#include <QWidget>

using catalogue::AreaSelection;
using devbackend::DevBackend;
using platform::RegistryRoot;
using platform::RegistryValue;

namespace {

const QString Master = QStringLiteral("127.0.65.1");
const std::u16string SelectionKey = u"SOFTWARE\\zavazizud";

const QString ThreeAreas = QStringLiteral("[东部]\ne1=10.0.1.1,90%,1\ne2=10.0.1.2,80%,0\n"
                                          "[西部]\nw1=10.0.2.1,70%,1\nw2=10.0.2.2,60%,1\n"
                                          "w3=10.0.2.3,50%,0\n"
                                          "[南部]\ns1=10.0.3.1,40%,1\n");

QStringList items(const QComboBox &box)
{
    QStringList result;
    for (int i = 0; i < box.count(); ++i)
        result << box.itemText(i);
    return result;
}

} // namespace

class TestAreaSelection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadAndOpenStartArea_data();
    void loadAndOpenStartArea();
    void areaChange_data();
    void areaChange();
    void workingSelectorRefillsLinesOnly();
    void batchTestBlocksRefill();
    void itemClickMovesHighlight();
    void refresh();
    void refreshWithEmptyReply();

private:
    void useDocument(const QString &text);
    void remember(const QString &area, const QString &line);
    QStringList tableNames() const;
    QStringList barCaptions() const;

    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::unique_ptr<QWidget> m_window;
    QComboBox *m_areaTxt2 = nullptr;
    QComboBox *m_areaTxt = nullptr;
    QComboBox *m_lineTxt = nullptr;
    QComboBox *m_modes = nullptr;
    latency::LineTableModel *m_lines = nullptr;
    std::unique_ptr<AreaSelection> m_selection;
};

void TestAreaSelection::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>(Master, Master);
    app::client().MasterHost = Master;
    m_window = std::make_unique<QWidget>();
    m_areaTxt2 = new QComboBox(m_window.get());
    m_areaTxt = new QComboBox(m_window.get());
    m_lineTxt = new QComboBox(m_window.get());
    m_modes = new QComboBox(m_window.get());
    m_modes->addItem("old mode");
    m_lines = new latency::LineTableModel(m_window.get());
    m_selection = std::make_unique<AreaSelection>(AreaSelection::Controls{
        m_window.get(), m_areaTxt2, m_areaTxt, m_lineTxt, m_modes, m_lines});
}

void TestAreaSelection::cleanup()
{
    m_selection.reset();
    m_window.reset();
    m_env.reset();
}

void TestAreaSelection::useDocument(const QString &text)
{
    app::client().ServerList = std::make_shared<const catalogue::ServerListDocument>(
        catalogue::ServerListDocument::parse(text));
}

void TestAreaSelection::remember(const QString &area, const QString &line)
{
    m_env->settings.createKey(RegistryRoot::LocalMachine, SelectionKey);
    if (!area.isNull())
        m_env->settings.writeValue(RegistryRoot::LocalMachine, SelectionKey, u"AREACombobox2",
                                   RegistryValue::fromString(area.toStdU16String()));
    if (!line.isNull())
        m_env->settings.writeValue(RegistryRoot::LocalMachine, SelectionKey, u"IPCombobox2",
                                   RegistryValue::fromString(line.toStdU16String()));
}

QStringList TestAreaSelection::tableNames() const
{
    QStringList names;
    for (int row = 0; row < m_lines->rowCount(); ++row)
        names << m_lines->record(row).name;
    return names;
}

QStringList TestAreaSelection::barCaptions() const
{
    QStringList captions;
    for (const auto &item : m_selection->areaBar().items())
        captions << item->caption;
    return captions;
}

void TestAreaSelection::loadAndOpenStartArea_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("rememberedArea"); // null: no value stored
    QTest::addColumn<QString>("rememberedLine");
    QTest::addColumn<int>("areaIndex");
    QTest::addColumn<QStringList>("lineItems");
    QTest::addColumn<int>("lineIndex");
    QTest::addColumn<QStringList>("bar");
    QTest::addColumn<QStringList>("rows"); // after the start item is clicked

    const QStringList bar{"东部", "西部", "南部"};
    QTest::newRow("first run") << ThreeAreas << QString() << QString() << 0
                               << QStringList{"e1", "e2"} << 0 << bar + QStringList{"东部"}
                               << QStringList{"e1", "e2"};
    QTest::newRow("remembered area and line")
        << ThreeAreas << "1"
        << "2" << 1 << QStringList{"w1", "w2", "w3"} << 2 << bar + QStringList{"西部"}
        << QStringList{"w1", "w2", "w3"};
    QTest::newRow("nothing selected at the last close")
        << ThreeAreas << "-1"
        << "-1" << 0 << QStringList{"e1", "e2"} << 0 << bar + QStringList{"东部"}
        << QStringList{"e1", "e2"};
    QTest::newRow("remembered indexes beyond the lists")
        << ThreeAreas << "7"
        << "9" << 0 << QStringList{"e1", "e2"} << 0 << bar + QStringList{"东部"}
        << QStringList{"e1", "e2"};
    QTest::newRow("line index beyond the remembered area's list")
        << ThreeAreas << "2"
        << "2" << 2 << QStringList{"s1"} << 0 << bar + QStringList{"南部"} << QStringList{"s1"};
    QTest::newRow("not numbers") << ThreeAreas << "x"
                                 << "1.5" << 0 << QStringList{"e1", "e2"} << 0
                                 << bar + QStringList{"东部"} << QStringList{"e1", "e2"};
    QTest::newRow("first section is Route")
        << "[Route]\nr1=10.9.0.1,1%,0\n[东部]\ne1=10.0.1.1,90%,1\n"
        << QString() << QString() << 0 << QStringList{"r1"} << 0 << QStringList{"东部", "Route"}
        << QStringList{"r1"};
    QTest::newRow("no section at all")
        << "just text\n"
        << QString() << QString() << -1 << QStringList{} << -1 << QStringList{} << QStringList{};
    QTest::newRow("area of empty values") << "[空]\na=\nb=\n[东部]\ne1=10.0.1.1,90%,1\n"
                                          << QString() << QString() << 0 << QStringList{"a", "b"}
                                          << 0 << QStringList{"空", "东部", "空"} << QStringList{};
    QTest::newRow("flag that is not a number keeps the lines after it")
        << "[东部]\ne1=10.0.1.1,90%,x\ne2=10.0.1.2,80%,\ne3=10.0.1.3,70%,1\n"
        << QString() << QString() << 0 << QStringList{"e1", "e2", "e3"} << 0
        << QStringList{"东部", "东部"} << QStringList{"e1", "e2", "e3"};
}

void TestAreaSelection::loadAndOpenStartArea()
{
    QFETCH(QString, document);
    QFETCH(QString, rememberedArea);
    QFETCH(QString, rememberedLine);
    QFETCH(int, areaIndex);
    QFETCH(QStringList, lineItems);
    QFETCH(int, lineIndex);
    QFETCH(QStringList, bar);
    QFETCH(QStringList, rows);
    useDocument(document);
    remember(rememberedArea, rememberedLine);

    m_selection->LoadAreaSelectors();

    const QStringList sections = app::client().ServerList->sectionNames();
    QCOMPARE(items(*m_areaTxt2), sections);
    QCOMPARE(items(*m_areaTxt), sections);
    QCOMPARE(m_areaTxt2->currentIndex(), areaIndex);
    QCOMPARE(m_areaTxt->currentIndex(), areaIndex);
    QCOMPARE(items(*m_lineTxt), lineItems);
    QCOMPARE(m_lineTxt->currentIndex(), lineIndex);
    QCOMPARE(barCaptions(), bar);
    QCOMPARE(m_modes->count(), 0);
    QVERIFY(m_env->settings.keyExists(RegistryRoot::LocalMachine, SelectionKey));
    QCOMPARE(m_lines->rowCount(), 0);

    if (bar.isEmpty()) {
        QVERIFY(!m_selection->startItem());
        return;
    }
    QCOMPARE(m_selection->startItem(), m_selection->areaBar().items().back().get());
    m_selection->AreaItemClick(m_selection->startItem());
    QCOMPARE(tableNames(), rows);
    QVERIFY(m_selection->startItem()->highlighted);
    QVERIFY(m_env->boxes.shown().isEmpty());
    if (!rows.isEmpty() && document.contains(",x"))
        QCOMPARE(m_lines->record(0).l2tpstatus, QString("不支持"));
}

void TestAreaSelection::areaChange_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QStringList>("lineItems");
    QTest::addColumn<int>("lineIndex");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("filled area") << ThreeAreas << 1 << QStringList{"w1", "w2", "w3"} << 0
                                 << QStringList{"w1", "w2", "w3"};
    QTest::newRow("area of empty values lists its lines, no rows")
        << "[东部]\ne1=10.0.1.1,90%,1\n[空]\na=\nb=\n"
        << 1 << QStringList{"a", "b"} << 0 << QStringList{};
    QTest::newRow("area without entries clears the line selector")
        << "[东部]\ne1=10.0.1.1,90%,1\n[无]\n"
        << 1 << QStringList{} << -1 << QStringList{};
}

void TestAreaSelection::areaChange()
{
    QFETCH(QString, document);
    QFETCH(int, chosen);
    QFETCH(QStringList, lineItems);
    QFETCH(int, lineIndex);
    QFETCH(QStringList, rows);
    useDocument(document);
    m_selection->LoadAreaSelectors();
    m_selection->AreaItemClick(m_selection->startItem());

    m_areaTxt2->setCurrentIndex(chosen);
    m_selection->AreaTxt2Change();

    QCOMPARE(items(*m_lineTxt), lineItems);
    QCOMPARE(m_lineTxt->currentIndex(), lineIndex);
    QCOMPARE(tableNames(), rows);
    QVERIFY(!m_selection->selectedItem()->highlighted);
}

void TestAreaSelection::workingSelectorRefillsLinesOnly()
{
    useDocument(ThreeAreas);
    m_selection->LoadAreaSelectors();
    m_selection->AreaItemClick(m_selection->startItem());

    m_areaTxt->setCurrentIndex(1);
    m_selection->AreaTxtChange();

    QCOMPARE(items(*m_lineTxt), (QStringList{"w1", "w2", "w3"}));
    QCOMPARE(m_lineTxt->currentIndex(), 0);
    QCOMPARE(tableNames(), (QStringList{"e1", "e2"}));
}

void TestAreaSelection::batchTestBlocksRefill()
{
    useDocument(ThreeAreas);
    m_selection->LoadAreaSelectors();
    m_selection->AreaItemClick(m_selection->startItem());
    m_lines->setDelay(0, "42");
    app::BatchTestRunning() = true;

    m_areaTxt2->setCurrentIndex(2);
    m_selection->AreaTxt2Change();
    m_selection->AreaItemClick(m_selection->areaBar().items().at(1).get());
    app::BatchTestRunning() = false;

    QCOMPARE(m_env->boxes.texts(), (QStringList{"请先关闭测速", "请先关闭Ping测试"}));
    QCOMPARE(m_env->boxes.shown().first().icon, platform::BoxIcon::Information);
    QCOMPARE(m_areaTxt2->currentIndex(), 2);
    QCOMPARE(items(*m_lineTxt), (QStringList{"e1", "e2"}));
    QCOMPARE(tableNames(), (QStringList{"e1", "e2"}));
    QCOMPARE(m_lines->record(0).delay, QString("42"));
    QVERIFY(m_selection->startItem()->highlighted);
}

void TestAreaSelection::itemClickMovesHighlight()
{
    useDocument(ThreeAreas);
    m_selection->LoadAreaSelectors();
    catalogue::AreaBarItem *start = m_selection->startItem();
    m_selection->AreaItemClick(start);
    catalogue::AreaBarItem *west = m_selection->areaBar().items().at(1).get();

    m_selection->AreaItemClick(west);

    QVERIFY(!start->highlighted);
    QVERIFY(west->highlighted);
    QCOMPARE(m_selection->selectedItem(), west);
    QCOMPARE(tableNames(), (QStringList{"w1", "w2", "w3"}));
    QCOMPARE(items(*m_lineTxt), (QStringList{"e1", "e2"}));
}

void TestAreaSelection::refresh()
{
    auto backend = testsupport::startBackend(Master);
    useDocument(ThreeAreas);
    remember("1", "1");
    m_selection->LoadAreaSelectors();
    m_areaTxt2->setCurrentIndex(2);
    m_selection->AreaTxt2Change();

    m_selection->N14Click();

    QCOMPARE(app::client().ServerList->sectionNames(),
             (QStringList{"华东电信", "华北网通", "华南", "Route"}));
    QCOMPARE(m_areaTxt2->currentIndex(), 1);
    QCOMPARE(items(*m_lineTxt), (QStringList{"北京1", "北京2", "北京3"}));
    QCOMPARE(m_lineTxt->currentIndex(), 0);
    QCOMPARE(tableNames(), (QStringList{"北京1", "北京2", "北京3"}));
    QCOMPARE(m_selection->selectedItem()->caption, QString("华北网通"));
    QVERIFY(!m_selection->selectedItem()->highlighted);
    QVERIFY(m_env->boxes.shown().isEmpty());
}

void TestAreaSelection::refreshWithEmptyReply()
{
    auto backend = testsupport::startBackend(Master);
    backend->setFault("vpnlist7193.php", DevBackend::Fault::Http500);
    useDocument(ThreeAreas);
    m_selection->LoadAreaSelectors();
    const auto before = app::client().ServerList;

    m_selection->N14Click();

    QCOMPARE(m_env->boxes.texts(), QStringList{"无法更新服务器列表，请稍后再试"});
    QCOMPARE(m_env->boxes.shown().first().icon, platform::BoxIcon::None);
    QCOMPARE(app::client().ServerList, before);
    QCOMPARE(items(*m_areaTxt2), (QStringList{"东部", "西部", "南部"}));
}

QTEST_MAIN(TestAreaSelection)
#include "tst_areaselection.moc"
