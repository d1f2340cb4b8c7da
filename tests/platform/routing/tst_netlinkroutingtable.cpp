#include "platform/routing/Ipv4Conversions.h"
#include "platform/routing/NetlinkRoutingTable.h"

#include <QHostAddress>
#include <QProcess>
#include <QTest>

#include "support/NetworkNamespace.h"

#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <sched.h>

using platform::ForwardRow;
using platform::NeighbourRow;
using platform::NetlinkRoutingTable;

Q_DECLARE_METATYPE(ForwardRow)

namespace platform {

char *toString(const ForwardRow &row)
{
    return QTest::toString(QStringLiteral("dst %1 mask %2 via %3 if %4 type %5 proto %6 metric %7 "
                                          "(policy %8 age %9 as %10 metrics %11 %12 %13 %14)")
                               .arg(row.destination, 8, 16, QChar('0'))
                               .arg(row.mask, 8, 16, QChar('0'))
                               .arg(row.nextHop, 8, 16, QChar('0'))
                               .arg(row.interfaceIndex)
                               .arg(row.type)
                               .arg(row.protocol)
                               .arg(row.metric1)
                               .arg(row.policy)
                               .arg(row.age)
                               .arg(row.nextHopAs)
                               .arg(row.metric2)
                               .arg(row.metric3)
                               .arg(row.metric4)
                               .arg(row.metric5));
}

} // namespace platform

namespace {

// The table value of a dotted address: its first octet in the lowest byte.
std::uint32_t address(const QString &text)
{
    const quint32 ordered = QHostAddress(text).toIPv4Address();
    return (ordered >> 24) | ((ordered >> 8) & 0xff00u) | ((ordered << 8) & 0xff0000u) |
           (ordered << 24);
}

ForwardRow route(const QString &destination, const QString &mask, const QString &nextHop,
                 std::uint32_t interfaceIndex, std::uint32_t type, std::uint32_t protocol,
                 std::uint32_t metric)
{
    ForwardRow row;
    row.destination = address(destination);
    row.mask = address(mask);
    row.nextHop = nextHop.isEmpty() ? 0 : address(nextHop);
    row.interfaceIndex = interfaceIndex;
    row.type = type;
    row.protocol = protocol;
    row.metric1 = metric;
    return row;
}

QList<ForwardRow> rowsTo(const std::vector<ForwardRow> &rows, std::uint32_t destination)
{
    QList<ForwardRow> matching;
    for (const ForwardRow &row : rows) {
        if (row.destination == destination)
            matching.append(row);
    }
    return matching;
}

} // namespace

class TestNetlinkRoutingTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void addressValues();
    void prefixLengths_data();
    void prefixLengths();
    void sortOrder();

    void callsBeforeOpenFail();
    void forwardTableListsTheMainTable();
    void secondDefaultRouteFollowsTheFirst();
    void routeKinds_data();
    void routeKinds();
    void neighbours_data();
    void neighbours();
    void createAndDeleteRoute();
    void createRouteFails_data();
    void createRouteFails();

private:
    std::vector<ForwardRow> forwardRows();

    bool m_namespaced = false;
    QString m_skipReason;
    std::uint32_t m_vt0 = 0;
    NetlinkRoutingTable m_table;
};

void TestNetlinkRoutingTable::initTestCase()
{
    m_namespaced = testsupport::enterPrivateNetworkNamespace(&m_skipReason);
    if (!m_namespaced)
        return;
    IP("link", "set", "lo", "up");
    IP("link", "add", "vt0", "type", "veth", "peer", "name", "vt1");
    IP("addr", "add", "10.77.0.1/24", "dev", "vt0");
    IP("link", "set", "vt0", "up");
    IP("link", "set", "vt1", "up");
    IP("route", "add", "default", "via", "10.77.0.254", "dev", "vt0", "metric", "25");
    IP("neigh", "add", "10.77.0.254", "lladdr", "00:1a:2b:3c:4d:5e", "dev", "vt0", "nud",
       "permanent");
    m_vt0 = ::if_nametoindex("vt0");
    QVERIFY(m_vt0 != 0);
    QVERIFY(m_table.open());
}

void TestNetlinkRoutingTable::cleanup()
{
    if (!m_namespaced)
        return;
    // Leaves the namespace as initTestCase made it for the next test.
    testsupport::runIp({"route", "flush", "192.0.2.0/24"});
    testsupport::runIp({"route", "flush", "198.51.100.7/32"});
    testsupport::runIp({"route", "flush", "table", "100"});
    testsupport::runIp({"route", "flush", "table", "1000"});
    testsupport::runIp({"route", "del", "default", "metric", "50"});
    testsupport::runIp({"neigh", "del", "10.77.0.9", "dev", "vt0"});
}

void TestNetlinkRoutingTable::addressValues()
{
    QCOMPARE(platform::ipv4FromOctets({10, 0, 0, 1}), 0x0100000Au);
    QCOMPARE(platform::ipv4Octets(0x0100000Au), (std::array<std::uint8_t, 4>{10, 0, 0, 1}));
    QCOMPARE(platform::ipv4AddressOrder(address("10.0.0.1")), 0x0A000001u);
    QCOMPARE(platform::ipv4AddressOrder(address("192.168.1.200")), 0xC0A801C8u);
}

void TestNetlinkRoutingTable::prefixLengths_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("length"); // -1: no prefix

    QTest::newRow("none") << "0.0.0.0" << 0;
    QTest::newRow("first bit") << "128.0.0.0" << 1;
    QTest::newRow("/17") << "255.255.128.0" << 17;
    QTest::newRow("/24") << "255.255.255.0" << 24;
    QTest::newRow("/31") << "255.255.255.254" << 31;
    QTest::newRow("host") << "255.255.255.255" << 32;
    QTest::newRow("gap") << "255.0.255.0" << -1;
    QTest::newRow("reversed") << "0.255.255.255" << -1;
    QTest::newRow("last bit") << "255.255.255.1" << -1;
    QTest::newRow("low bit only") << "0.0.0.1" << -1;
}

void TestNetlinkRoutingTable::prefixLengths()
{
    QFETCH(QString, mask);
    QFETCH(int, length);

    const std::optional<unsigned> found = platform::prefixLengthFromMask(address(mask));
    if (length < 0) {
        QVERIFY(!found);
        return;
    }
    QVERIFY(found);
    QCOMPARE(*found, static_cast<unsigned>(length));
    QCOMPARE(platform::maskFromPrefixLength(static_cast<unsigned>(length)), address(mask));
}

void TestNetlinkRoutingTable::sortOrder()
{
    const ForwardRow network10 = route("10.0.0.0", "255.0.0.0", "", 1, 3, 2, 0);
    const ForwardRow network9 = route("9.255.0.0", "255.255.0.0", "", 1, 3, 2, 0);
    const ForwardRow defaultLow = route("0.0.0.0", "0.0.0.0", "10.0.0.1", 1, 4, 3, 5);
    const ForwardRow defaultHigh = route("0.0.0.0", "0.0.0.0", "10.0.0.1", 1, 4, 3, 20);
    const ForwardRow defaultOtherHop = route("0.0.0.0", "0.0.0.0", "9.0.0.2", 1, 4, 3, 50);
    const ForwardRow network10Host = route("10.0.0.0", "255.255.255.255", "", 1, 3, 2, 0);
    std::vector<ForwardRow> rows = {network10Host, network10,  defaultHigh,
                                    network9,      defaultLow, defaultOtherHop};

    platform::sortForwardRows(rows);

    const std::vector<ForwardRow> expected = {defaultOtherHop, defaultLow, defaultHigh,
                                              network9,        network10,  network10Host};
    QCOMPARE(rows, expected);
}

std::vector<ForwardRow> TestNetlinkRoutingTable::forwardRows()
{
    std::vector<ForwardRow> rows;
    const std::uint32_t code = m_table.forwardTable(rows);
    if (code != 0)
        qWarning("forwardTable: %s", m_table.errorText(code).c_str());
    return rows;
}

void TestNetlinkRoutingTable::callsBeforeOpenFail()
{
    NetlinkRoutingTable unopened;
    std::vector<ForwardRow> rows{ForwardRow{}};

    QCOMPARE(unopened.forwardTable(rows), static_cast<std::uint32_t>(EBADF));
    QVERIFY(rows.empty());
    QCOMPARE(unopened.createRoute(route("198.51.100.7", "255.255.255.255", "", 1, 3, 3, 0)),
             static_cast<std::uint32_t>(EBADF));
}

void TestNetlinkRoutingTable::forwardTableListsTheMainTable()
{
    REQUIRE_NAMESPACE();
    // Routes of other tables, one numbered beyond what the message header can hold.
    IP("route", "add", "203.0.113.0/24", "dev", "vt0", "table", "100");
    IP("route", "add", "203.0.113.0/25", "dev", "vt0", "table", "1000");

    const std::vector<ForwardRow> expected = {
        route("0.0.0.0", "0.0.0.0", "10.77.0.254", m_vt0, 4, 3, 25),
        route("10.77.0.0", "255.255.255.0", "", m_vt0, 3, 2, 0),
    };
    QCOMPARE(forwardRows(), expected);
}

void TestNetlinkRoutingTable::secondDefaultRouteFollowsTheFirst()
{
    REQUIRE_NAMESPACE();
    IP("route", "add", "default", "via", "10.77.0.254", "dev", "vt0", "metric", "50");

    const std::vector<ForwardRow> rows = forwardRows();
    const QList<ForwardRow> expected = {
        route("0.0.0.0", "0.0.0.0", "10.77.0.254", m_vt0, 4, 3, 25),
        route("0.0.0.0", "0.0.0.0", "10.77.0.254", m_vt0, 4, 3, 50),
    };
    QCOMPARE(rowsTo(rows, 0), expected);
    QCOMPARE(rows.front(), expected.front());
}

void TestNetlinkRoutingTable::routeKinds_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<ForwardRow>>("expected"); // interface index 1 stands for vt0

    const QString net = "192.0.2.0";
    const QString mask = "255.255.255.0";
    QTest::newRow("static via gateway")
        << QStringList{"192.0.2.0/24", "via", "10.77.0.254", "dev", "vt0", "proto", "static"}
        << QList{route(net, mask, "10.77.0.254", 1, 4, 3, 0)};
    QTest::newRow("on the link") << QStringList{"192.0.2.0/24", "dev", "vt0", "metric", "7"}
                                 << QList{route(net, mask, "", 1, 3, 3, 7)};
    QTest::newRow("kernel") << QStringList{"192.0.2.0/24", "dev", "vt0", "proto", "kernel"}
                            << QList{route(net, mask, "", 1, 3, 2, 0)};
    QTest::newRow("dhcp") << QStringList{"192.0.2.0/24", "dev", "vt0", "proto", "dhcp"}
                          << QList{route(net, mask, "", 1, 3, 3, 0)};
    QTest::newRow("router advertisement")
        << QStringList{"192.0.2.0/24", "dev", "vt0", "proto", "ra"}
        << QList{route(net, mask, "", 1, 3, 4, 0)};
    QTest::newRow("other protocol") << QStringList{"192.0.2.0/24", "dev", "vt0", "proto", "42"}
                                    << QList{route(net, mask, "", 1, 3, 1, 0)};
    QTest::newRow("unreachable") << QStringList{"unreachable", "192.0.2.0/24"}
                                 << QList{route(net, mask, "", 0, 2, 3, 0)};
    QTest::newRow("blackhole") << QStringList{"blackhole", "192.0.2.0/24"}
                               << QList{route(net, mask, "", 0, 2, 3, 0)};
    QTest::newRow("prohibit") << QStringList{"prohibit", "192.0.2.0/24"}
                              << QList{route(net, mask, "", 0, 2, 3, 0)};
    QTest::newRow("multipath") << QStringList{"192.0.2.0/24", "nexthop", "via",     "10.77.0.254",
                                              "dev",          "vt0",     "nexthop", "via",
                                              "10.77.0.253",  "dev",     "vt0"}
                               << QList{route(net, mask, "10.77.0.253", 1, 4, 3, 0),
                                        route(net, mask, "10.77.0.254", 1, 4, 3, 0)};
}

void TestNetlinkRoutingTable::routeKinds()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<ForwardRow>, expected);
    REQUIRE_NAMESPACE();
    for (ForwardRow &row : expected) {
        if (row.interfaceIndex == 1)
            row.interfaceIndex = m_vt0;
    }
    const testsupport::IpResult added = testsupport::runIp(QStringList{"route", "add"} + arguments);
    QVERIFY2(added.exitCode == 0, qPrintable(added.output));

    QCOMPARE(rowsTo(forwardRows(), address("192.0.2.0")), expected);
}

void TestNetlinkRoutingTable::neighbours_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<std::uint32_t>("type");

    QTest::newRow("permanent") << "permanent" << 4u;
    QTest::newRow("no arp") << "noarp" << 4u;
    QTest::newRow("stale") << "stale" << 3u;
    QTest::newRow("reachable") << "reachable" << 3u;
}

void TestNetlinkRoutingTable::neighbours()
{
    QFETCH(QString, state);
    QFETCH(std::uint32_t, type);
    REQUIRE_NAMESPACE();
    IP("neigh", "add", "10.77.0.9", "lladdr", "02:00:5e:10:20:ff", "dev", "vt0", "nud", state);

    std::vector<NeighbourRow> rows;
    QCOMPARE(m_table.neighbourTable(rows), 0u);

    NeighbourRow gateway;
    gateway.interfaceIndex = m_vt0;
    gateway.physicalLength = 6;
    gateway.physical = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    gateway.address = address("10.77.0.254");
    gateway.type = 4;
    NeighbourRow added = gateway;
    added.physical = {0x02, 0x00, 0x5e, 0x10, 0x20, 0xff};
    added.address = address("10.77.0.9");
    added.type = type;
    QCOMPARE(std::count(rows.begin(), rows.end(), gateway), 1);
    QCOMPARE(std::count(rows.begin(), rows.end(), added), 1);
}

void TestNetlinkRoutingTable::createAndDeleteRoute()
{
    REQUIRE_NAMESPACE();
    const std::vector<ForwardRow> before = forwardRows();
    const ForwardRow host =
        route("198.51.100.7", "255.255.255.255", "10.77.0.254", m_vt0, 4, 3, 10);

    QCOMPARE(m_table.createRoute(host), 0u);

    const testsupport::IpResult shown = testsupport::runIp({"-4", "route", "show", "198.51.100.7"});
    QCOMPARE(shown.exitCode, 0);
    QCOMPARE(shown.output.simplified(),
             QStringLiteral("198.51.100.7 via 10.77.0.254 dev vt0 proto static metric 10"));
    QCOMPARE(rowsTo(forwardRows(), host.destination), QList{host});

    const std::uint32_t again = m_table.createRoute(host);
    QCOMPARE(again, static_cast<std::uint32_t>(EEXIST));
    QCOMPARE(m_table.errorText(again), std::string(std::strerror(EEXIST)));

    QCOMPARE(m_table.deleteRoute(host), 0u);
    QCOMPARE(forwardRows(), before);
    QCOMPARE(m_table.deleteRoute(host), static_cast<std::uint32_t>(ESRCH));
}

void TestNetlinkRoutingTable::createRouteFails_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("nextHop");
    QTest::addColumn<bool>("onVt0");
    QTest::addColumn<int>("code");

    QTest::newRow("gateway off the link") << "198.51.100.7"
                                          << "255.255.255.255"
                                          << "10.99.0.1" << true << ENETUNREACH;
    QTest::newRow("mask with a gap") << "198.51.100.7"
                                     << "255.0.255.255"
                                     << "10.77.0.254" << true << EINVAL;
    QTest::newRow("host bits beyond the mask") << "198.51.100.7"
                                               << "255.255.255.0"
                                               << "10.77.0.254" << true << EINVAL;
    QTest::newRow("no such interface") << "198.51.100.7"
                                       << "255.255.255.255"
                                       << "" << false << ENODEV;
}

void TestNetlinkRoutingTable::createRouteFails()
{
    QFETCH(QString, destination);
    QFETCH(QString, mask);
    QFETCH(QString, nextHop);
    QFETCH(bool, onVt0);
    QFETCH(int, code);
    REQUIRE_NAMESPACE();
    const std::vector<ForwardRow> before = forwardRows();

    const std::uint32_t answer =
        m_table.createRoute(route(destination, mask, nextHop, onVt0 ? m_vt0 : 9999, 4, 3, 10));

    QCOMPARE(answer, static_cast<std::uint32_t>(code));
    QVERIFY(!m_table.errorText(answer).empty());
    QCOMPARE(forwardRows(), before);
}

QTEST_GUILESS_MAIN(TestNetlinkRoutingTable)
#include "tst_netlinkroutingtable.moc"
