#include "routes/IpHelper.h"

#include "support/TestEnvironment.h"

#include <QTest>

using namespace routes;

namespace {

constexpr std::uint32_t address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    return std::uint32_t(a) | std::uint32_t(b) << 8 | std::uint32_t(c) << 16 |
           std::uint32_t(d) << 24;
}

} // namespace

class TestIpHelper : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ipAddrToText_data();
    void ipAddrToText();
    void textToIpAddr_data();
    void textToIpAddr();
    void macAddrToText_data();
    void macAddrToText();
    void takeToken_data();
    void takeToken();

    void arpTable_data();
    void arpTable();
    void routeTable_data();
    void routeTable();
    void missingFacilityLeavesListsAlone();

private:
    std::unique_ptr<testsupport::TestEnvironment> m_env;
};

void TestIpHelper::init()
{
    m_env = std::make_unique<testsupport::TestEnvironment>("127.0.70.1", "127.0.70.2");
}

void TestIpHelper::cleanup()
{
    m_env.reset();
}

void TestIpHelper::ipAddrToText_data()
{
    QTest::addColumn<quint32>("address");
    QTest::addColumn<QString>("text");

    QTest::newRow("10.0.0.1") << address(10, 0, 0, 1) << " 10.  0.  0.  1";
    QTest::newRow("192.168.1.1") << address(192, 168, 1, 1) << "192.168.  1.  1";
    QTest::newRow("0.0.0.0") << address(0, 0, 0, 0) << "  0.  0.  0.  0";
    QTest::newRow("255.255.255.255") << address(255, 255, 255, 255) << "255.255.255.255";
}

void TestIpHelper::ipAddrToText()
{
    QFETCH(quint32, address);
    QFETCH(QString, text);
    QCOMPARE(IpAddrToText(address), text);
    QCOMPARE(TextToIpAddr(text), address);
}

void TestIpHelper::textToIpAddr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("address");

    QTest::newRow("plain") << "192.168.1.1" << address(192, 168, 1, 1);
    QTest::newRow("only the low 8 bits count") << "300.1.1.1" << address(44, 1, 1, 1);
    QTest::newRow("a missing fourth part") << "1.2.3" << quint32(0);
    QTest::newRow("a part that is not a number resets") << "x.2.3.4" << address(0, 2, 3, 4);
    QTest::newRow("a late bad part resets what was read") << "1.2.x.4" << address(0, 0, 0, 4);
    QTest::newRow("after the fourth dot nothing counts") << "1.2.3.4.5.6" << address(1, 2, 3, 4);
    QTest::newRow("negative numbers wrap") << "-1.0.0.1" << address(255, 0, 0, 1);
    QTest::newRow("trailing blank is not a number") << "1.2.3.4 " << quint32(0);
    QTest::newRow("empty") << "" << quint32(0);
}

void TestIpHelper::textToIpAddr()
{
    QFETCH(QString, text);
    QFETCH(quint32, address);
    QCOMPARE(TextToIpAddr(text), address);
}

void TestIpHelper::macAddrToText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint32>("length");
    QTest::addColumn<QString>("text");

    QTest::newRow("six bytes") << QByteArray::fromHex("001a2b3c4d5e") << quint32(6)
                               << "00-1A-2B-3C-4D-5E";
    QTest::newRow("no length") << QByteArray::fromHex("001a2b3c4d5e") << quint32(0)
                               << "00-00-00-00-00-00";
    QTest::newRow("longer than the bytes held")
        << QByteArray::fromHex("0102030405060708") << quint32(12) << "01-02-03-04-05-06-07-08";
}

void TestIpHelper::macAddrToText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(quint32, length);
    QFETCH(QString, text);
    std::array<std::uint8_t, 8> physical{};
    std::copy(bytes.begin(), bytes.end(), physical.begin());
    QCOMPARE(MacAddrToText(physical, length), text);
}

void TestIpHelper::takeToken_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("rest");

    QTest::newRow("separator inside") << "a.b.c"
                                      << "a"
                                      << "b.c";
    QTest::newRow("leading separator") << ".b"
                                       << ""
                                       << "b";
    QTest::newRow("no separator") << "abc"
                                  << "abc"
                                  << "";
}

void TestIpHelper::takeToken()
{
    QFETCH(QString, text);
    QFETCH(QString, token);
    QFETCH(QString, rest);
    QCOMPARE(TakeToken(text, u'.'), token);
    QCOMPARE(text, rest);
}

void TestIpHelper::arpTable_data()
{
    QTest::addColumn<std::vector<platform::NeighbourRow>>("rows");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("one entry")
        << std::vector<platform::NeighbourRow>{{11,
                                                6,
                                                {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e},
                                                address(192, 168, 1, 1),
                                                3}}
        << QStringList{"       B | 00-1A-2B-3C-4D-5E |  192.168.  1.  1|    Dynamic"};
    QTest::newRow("empty") << std::vector<platform::NeighbourRow>{}
                           << QStringList{" ARP-cache empty."};
}

void TestIpHelper::arpTable()
{
    QFETCH(std::vector<platform::NeighbourRow>, rows);
    QFETCH(QStringList, lines);
    m_env->routing.setNeighbourRows(rows);
    QStringList dumped{"stale"};

    DumpArpTable(&dumped);

    QCOMPARE(dumped, lines);
}

void TestIpHelper::routeTable_data()
{
    QTest::addColumn<std::vector<platform::ForwardRow>>("rows");
    QTest::addColumn<std::uint32_t>("error");
    QTest::addColumn<QStringList>("lines");

    platform::ForwardRow defaultRoute;
    defaultRoute.nextHop = address(192, 168, 1, 1);
    defaultRoute.interfaceIndex = 11;
    defaultRoute.type = 4;
    defaultRoute.protocol = 3;
    defaultRoute.metric1 = 25;
    QTest::newRow("default route")
        << std::vector<platform::ForwardRow>{defaultRoute} << std::uint32_t(0)
        << QStringList{"  0.  0.  0.  0|  0.  0.  0.  0|192.168.  1.  1|0000000B| remote|   "
                       "00000|    NETMGMT|        25"};
    QTest::newRow("no rows") << std::vector<platform::ForwardRow>{} << std::uint32_t(0)
                             << QStringList{"no entries."};
    QTest::newRow("the table cannot be read") << std::vector<platform::ForwardRow>{defaultRoute}
                                              << std::uint32_t(1) << QStringList{"<error 1>"};
}

void TestIpHelper::routeTable()
{
    QFETCH(std::vector<platform::ForwardRow>, rows);
    QFETCH(std::uint32_t, error);
    QFETCH(QStringList, lines);
    m_env->routing.setForwardRows(rows);
    m_env->routing.setError(platform::FakeRoutingTable::Call::ForwardTable, error);
    if (error)
        lines = QStringList{QString::fromStdString(m_env->routing.errorText(error))};

    QStringList dumped;
    DumpRouteTable(&dumped);

    QCOMPARE(dumped, lines);
    for (const QString &line : std::as_const(dumped)) {
        if (line.contains('|'))
            QVERIFY(line.at(15) == '|' && line.at(31) == '|' && line.at(47) == '|');
        else
            QVERIFY(!line.isEmpty());
    }
}

void TestIpHelper::missingFacilityLeavesListsAlone()
{
    m_env->routing.setOpenable(false);
    QStringList arp{"before"};
    QStringList routes{"before"};

    QVERIFY(!BindIpHelper());
    DumpArpTable(&arp);
    DumpRouteTable(&routes);

    QCOMPARE(arp, QStringList{"before"});
    QCOMPARE(routes, QStringList{"before"});
}

QTEST_GUILESS_MAIN(TestIpHelper)
#include "tst_iphelper.moc"
