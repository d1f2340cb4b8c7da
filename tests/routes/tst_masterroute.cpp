#include "routes/MasterRoute.h"

#include "app/ClientState.h"
#include "support/TestEnvironment.h"

#include <QTest>

using platform::ForwardRow;
using platform::NeighbourRow;

namespace {

constexpr std::uint32_t address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    return std::uint32_t(a) | std::uint32_t(b) << 8 | std::uint32_t(c) << 16 |
           std::uint32_t(d) << 24;
}

const std::uint32_t Gateway = address(192, 168, 1, 1);
const std::uint32_t OtherGateway = address(192, 168, 1, 2);
const std::uint32_t Master = address(198, 51, 100, 2);

ForwardRow defaultRoute(std::uint32_t nextHop, std::uint32_t interfaceIndex, std::uint32_t metric)
{
    ForwardRow row;
    row.nextHop = nextHop;
    row.interfaceIndex = interfaceIndex;
    row.type = 4;
    row.protocol = 3;
    row.nextHopAs = 7;
    row.metric1 = metric;
    row.metric2 = 5;
    return row;
}

NeighbourRow neighbour(std::uint32_t interfaceIndex, std::uint32_t ip)
{
    return {interfaceIndex, 6, {0, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}, ip, 3};
}

} // namespace

class TestMasterRoute : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pinsTheHostRoute_data();
    void pinsTheHostRoute();
    void noRouteWithoutATable_data();
    void noRouteWithoutATable();
    void missingFacility();
    void deletesEveryRouteToTheListedDestination();
    void closeWithoutConnectRemovesNothing();
    void unusableMasterAddressKeepsTheDefaultRoute();

private:
    std::unique_ptr<testsupport::TestEnvironment> m_env;
    std::vector<routes::Tmyrouter> m_list;
    std::unique_ptr<routes::MasterRoute> m_route;
};

void TestMasterRoute::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>("127.0.71.1", "127.0.71.2");
    app::client().MasterRouteAddress = QStringLiteral("198.51.100.2");
    m_list.assign(routes::RouterListSize, {});
    m_route = std::make_unique<routes::MasterRoute>(m_list);
}

void TestMasterRoute::cleanup()
{
    m_route.reset();
    m_env.reset();
}

void TestMasterRoute::pinsTheHostRoute_data()
{
    QTest::addColumn<std::vector<ForwardRow>>("table");
    QTest::addColumn<std::vector<NeighbourRow>>("neighbours");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<std::uint32_t>("interfaceIndex");

    QTest::newRow("gateway with a neighbour entry")
        << std::vector<ForwardRow>{defaultRoute(Gateway, 11, 25)}
        << std::vector<NeighbourRow>{neighbour(11, Gateway), neighbour(12, OtherGateway)}
        << "192.168.1.1" << std::uint32_t(11);
    QTest::newRow("no entry for the gateway: the last entry's interface")
        << std::vector<ForwardRow>{defaultRoute(Gateway, 11, 25)}
        << std::vector<NeighbourRow>{neighbour(3, address(10, 0, 0, 9)), neighbour(5, OtherGateway)}
        << "192.168.1.1" << std::uint32_t(5);
    QTest::newRow("no neighbours at all")
        << std::vector<ForwardRow>{defaultRoute(Gateway, 11, 25)} << std::vector<NeighbourRow>{}
        << "192.168.1.1" << std::uint32_t(65540);
    // The table comes sorted (destination, mask, next hop, metric): .1 before .2, whatever
    // the metrics say.
    QTest::newRow("two default routes: the first listed")
        << std::vector<ForwardRow>{defaultRoute(OtherGateway, 12, 5), defaultRoute(Gateway, 11, 25)}
        << std::vector<NeighbourRow>{neighbour(11, Gateway), neighbour(12, OtherGateway)}
        << "192.168.1.1" << std::uint32_t(11);
}

void TestMasterRoute::pinsTheHostRoute()
{
    QFETCH(std::vector<ForwardRow>, table);
    QFETCH(std::vector<NeighbourRow>, neighbours);
    QFETCH(QString, gateway);
    QFETCH(std::uint32_t, interfaceIndex);
    m_env->routing.setForwardRows(table);
    m_env->routing.setNeighbourRows(neighbours);
    const ForwardRow firstListed = m_env->routing.forwardRows().front();

    m_route->PrepareMasterRoute("aa");
    m_route->AddMasterRoute();

    QCOMPARE(m_list.front().destionation, QString("198.51.100.2"));
    QCOMPARE(m_list.front().mask, QString("255.255.255.255"));
    QCOMPARE(m_list.front().gateway, gateway);
    QVERIFY(app::client().MasterRouteAdded);
    QCOMPARE(m_env->routing.createdRows().size(), size_t(1));
    ForwardRow expected = firstListed;
    expected.destination = Master;
    expected.mask = 0xFFFFFFFF;
    expected.interfaceIndex = interfaceIndex;
    expected.metric1 = 10;
    QVERIFY(m_env->routing.createdRows().front() == expected);
}

void TestMasterRoute::noRouteWithoutATable_data()
{
    QTest::addColumn<std::vector<ForwardRow>>("table");
    QTest::addColumn<std::uint32_t>("error");
    QTest::addColumn<QString>("masterAddress");

    QTest::newRow("no rows") << std::vector<ForwardRow>{} << std::uint32_t(0) << "198.51.100.2";
    QTest::newRow("table cannot be read") << std::vector<ForwardRow>{defaultRoute(Gateway, 11, 1)}
                                          << std::uint32_t(5) << "198.51.100.2";
    QTest::newRow("no master address")
        << std::vector<ForwardRow>{defaultRoute(Gateway, 11, 1)} << std::uint32_t(0) << "";
    const char *unusable[] = {"garbage",        "198.51.100",  "198.51.100.2.7", "256.51.100.2",
                              "198.51.100.2 x", "0.0.0.0",     "224.0.0.1",      "255.255.255.255",
                              "1e2.51.100.2",   "١٩٨.51.100.2"};
    for (const char *masterAddress : unusable) {
        QTest::newRow(qPrintable(QStringLiteral("master address \"%1\"").arg(masterAddress)))
            << std::vector<ForwardRow>{defaultRoute(Gateway, 11, 1)} << std::uint32_t(0)
            << QString::fromUtf8(masterAddress);
    }
}

void TestMasterRoute::noRouteWithoutATable()
{
    QFETCH(std::vector<ForwardRow>, table);
    QFETCH(std::uint32_t, error);
    QFETCH(QString, masterAddress);
    app::client().MasterRouteAddress = masterAddress;
    m_env->routing.setForwardRows(table);
    m_env->routing.setError(platform::FakeRoutingTable::Call::ForwardTable, error);

    m_route->PrepareMasterRoute("aa");
    m_route->AddMasterRoute();

    QVERIFY(m_env->routing.createdRows().empty());
    QVERIFY(!app::client().MasterRouteAdded);
}

void TestMasterRoute::missingFacility()
{
    m_env->routing.setOpenable(false);
    app::client().MasterRouteAdded = true;

    m_route->PrepareMasterRoute("aa");
    m_route->AddMasterRoute();

    QVERIFY(m_env->routing.createdRows().empty());
    QVERIFY(!app::client().MasterRouteAdded);
    QVERIFY(m_list.front().gateway.isEmpty());
}

void TestMasterRoute::deletesEveryRouteToTheListedDestination()
{
    ForwardRow ours = defaultRoute(Gateway, 11, 10);
    ours.destination = Master;
    ours.mask = 0xFFFFFFFF;
    ForwardRow older = ours;
    older.nextHop = OtherGateway;
    ForwardRow elsewhere = ours;
    elsewhere.destination = address(198, 51, 100, 3);
    const ForwardRow gatewayRoute = defaultRoute(Gateway, 11, 25);
    m_env->routing.setForwardRows({gatewayRoute, ours, older, elsewhere});
    m_route->PrepareMasterRoute("aa");

    m_route->DeleteListedRoutes();

    QCOMPARE(m_env->routing.deletedRows().size(), size_t(2));
    QVERIFY(m_env->routing.deletedRows().at(0) == ours);
    QVERIFY(m_env->routing.deletedRows().at(1) == older);
}

void TestMasterRoute::closeWithoutConnectRemovesNothing()
{
    m_env->routing.setForwardRows({defaultRoute(Gateway, 11, 25)});

    m_route->DeleteListedRoutes();

    QVERIFY(m_env->routing.deletedRows().empty());
}

void TestMasterRoute::unusableMasterAddressKeepsTheDefaultRoute()
{
    // Garbage reads as 0.0.0.0, which is where the default route goes.
    app::client().MasterRouteAddress = QStringLiteral("no address");
    m_env->routing.setForwardRows({defaultRoute(Gateway, 11, 25)});
    m_route->PrepareMasterRoute("aa");

    m_route->DeleteListedRoutes();

    QVERIFY(m_env->routing.deletedRows().empty());
}

QTEST_GUILESS_MAIN(TestMasterRoute)
#include "tst_masterroute.moc"
