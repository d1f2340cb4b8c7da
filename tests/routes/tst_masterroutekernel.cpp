#include "routes/MasterRoute.h"

#include "app/ClientState.h"
#include "app/Services.h"
#include "platform/routing/NetlinkRoutingTable.h"

#include "support/NetworkNamespace.h"

#include <QTest>

namespace {

// ip's output, trimmed, and its exit code where asked for.
QString ip(const QStringList &arguments, int *exitCode = nullptr)
{
    const testsupport::IpResult result = testsupport::runIp(arguments);
    if (exitCode)
        *exitCode = result.exitCode;
    return result.output.trimmed();
}

} // namespace

// The host route against the real kernel, in a network namespace of this test's own: it
// goes away with the test process, so the machine's routing table is never touched.
class TestMasterRouteKernel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pinsTheRouteThroughTheGateway_data();
    void pinsTheRouteThroughTheGateway();
    void closeRemovesEveryRouteToTheDestinationOnly();
    void closeWithoutConnectRemovesNothing();

private:
    static QStringList routeTable();

    QString m_skipReason;
    platform::NetlinkRoutingTable m_routing;
    app::Services m_saved;
    std::vector<routes::Tmyrouter> m_list;
};

QStringList TestMasterRouteKernel::routeTable()
{
    QStringList lines = ip({"-4", "route", "show", "table", "main"}).split('\n');
    for (QString &line : lines)
        line = line.trimmed();
    return lines;
}

void TestMasterRouteKernel::initTestCase()
{
    if (!testsupport::enterPrivateNetworkNamespace(&m_skipReason))
        return;
    int status = 0;
    for (const QStringList &step :
         {QStringList{"link", "set", "lo", "up"},
          QStringList{"link", "add", "vt0", "type", "veth", "peer", "name", "vt1"},
          QStringList{"addr", "add", "10.77.0.1/24", "dev", "vt0"},
          QStringList{"link", "set", "vt0", "up"}, QStringList{"link", "set", "vt1", "up"},
          QStringList{"route", "add", "default", "via", "10.77.0.254", "dev", "vt0", "metric",
                      "25"}}) {
        const QString output = ip(step, &status);
        if (status != 0) {
            m_skipReason = QStringLiteral("cannot set up the test network: ip %1: %2")
                               .arg(step.join(' '), output);
            return;
        }
    }
}

void TestMasterRouteKernel::init()
{
    if (!m_skipReason.isEmpty())
        QSKIP(qPrintable(m_skipReason));
    m_saved = app::services();
    app::services().routing = &m_routing;
    app::client().MasterRouteAddress = QStringLiteral("198.51.100.7");
    app::client().MasterRouteAdded = false;
    m_list.assign(routes::RouterListSize, {});
}

void TestMasterRouteKernel::cleanup()
{
    if (!m_skipReason.isEmpty())
        return;
    ip({"route", "flush", "198.51.100.7/32"});
    ip({"neigh", "flush", "dev", "vt0", "nud", "all"});
    ip({"route", "del", "default", "via", "10.77.0.253", "dev", "vt0"});
    app::services() = m_saved;
}

void TestMasterRouteKernel::pinsTheRouteThroughTheGateway_data()
{
    QTest::addColumn<QStringList>("neighbours"); // addresses with an entry on vt0
    QTest::addColumn<bool>("secondDefault");
    QTest::addColumn<QString>("route");

    const QString pinned =
        QStringLiteral("198.51.100.7 via 10.77.0.254 dev vt0 proto static metric 10");
    QTest::newRow("gateway's neighbour entry present")
        << QStringList{"10.77.0.254"} << false << pinned;
    QTest::newRow("no entry for the gateway: the last entry's interface")
        << QStringList{"10.77.0.9"} << false << pinned;
    QTest::newRow("two default routes: the one listed first")
        << QStringList{"10.77.0.254", "10.77.0.253"} << true
        << QStringLiteral("198.51.100.7 via 10.77.0.253 dev vt0 proto static metric 10");
    QTest::newRow("no neighbours: an interface that does not exist, nothing made")
        << QStringList{} << false << QString();
}

void TestMasterRouteKernel::pinsTheRouteThroughTheGateway()
{
    QFETCH(QStringList, neighbours);
    QFETCH(bool, secondDefault);
    QFETCH(QString, route);
    int status = 0;
    for (const QString &neighbour : neighbours) {
        ip({"neigh", "add", neighbour, "lladdr", "00:1a:2b:3c:4d:5e", "dev", "vt0", "nud",
            "permanent"},
           &status);
        QCOMPARE(status, 0);
    }
    if (secondDefault) {
        const QString output =
            ip({"route", "add", "default", "via", "10.77.0.253", "dev", "vt0", "metric", "5"},
               &status);
        QVERIFY2(status == 0, qPrintable(output));
    }
    routes::MasterRoute master(m_list);

    master.PrepareMasterRoute("aa");
    master.AddMasterRoute();

    QCOMPARE(ip({"-4", "route", "show", "198.51.100.7"}), route);
    QVERIFY(app::client().MasterRouteAdded);
}

void TestMasterRouteKernel::closeRemovesEveryRouteToTheDestinationOnly()
{
    int status = 0;
    ip({"neigh", "add", "10.77.0.254", "lladdr", "00:1a:2b:3c:4d:5e", "dev", "vt0", "nud",
        "permanent"},
       &status);
    // A route to the same address that was there before the client ran goes too.
    ip({"route", "add", "198.51.100.7/32", "via", "10.77.0.2", "dev", "vt0", "metric", "99"},
       &status);
    QCOMPARE(status, 0);
    routes::MasterRoute master(m_list);
    master.PrepareMasterRoute("aa");
    master.AddMasterRoute();
    QCOMPARE(ip({"-4", "route", "show", "198.51.100.7"}).split('\n').size(), 2);
    QStringList others = routeTable();
    others.removeIf([](const QString &line) { return line.startsWith("198.51.100.7"); });

    master.DeleteListedRoutes();

    QVERIFY(ip({"-4", "route", "show", "198.51.100.7"}).isEmpty());
    QCOMPARE(routeTable(), others);
}

void TestMasterRouteKernel::closeWithoutConnectRemovesNothing()
{
    const QStringList before = routeTable();
    routes::MasterRoute master(m_list);

    master.DeleteListedRoutes();

    QCOMPARE(routeTable(), before);
}

QTEST_GUILESS_MAIN(TestMasterRouteKernel)
#include "tst_masterroutekernel.moc"
