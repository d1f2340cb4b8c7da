#include "platform/dialer/SimulatedDialer.h"

#include <QTest>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using platform::ConnectionHandle;
using platform::DialEntry;
using platform::LinkCounters;
using platform::SimulatedDialer;
namespace Errors = platform::DialerErrors;
namespace States = platform::DialStates;
using Kind = SimulatedDialer::Outcome::Kind;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Kind)

namespace {

constexpr std::u16string_view kEntry = u"Taverin VPN";
constexpr int kPatienceMs = 5000;

DialEntry entryFor(std::u16string host)
{
    DialEntry entry;
    entry.host = std::move(host);
    return entry;
}

SimulatedDialer::Outcome outcome(Kind kind, std::uint32_t errorCode = 0)
{
    SimulatedDialer::Outcome result;
    result.kind = kind;
    result.after = 60ms;
    result.errorCode = errorCode;
    result.dropAfter = 60ms;
    return result;
}

// Polls the state word until it reads `last` or patience runs out, returning every value
// it took in the order seen.
std::vector<std::uint16_t> statesUntil(const SimulatedDialer &dialer, std::uint16_t last)
{
    std::vector<std::uint16_t> seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::uint16_t state = dialer.connectState();
        if (seen.empty() || seen.back() != state)
            seen.push_back(state);
        if (state == last)
            break;
        std::this_thread::sleep_for(1ms);
    }
    return seen;
}

// Whether `seen` follows the dial's order: each state a later step than the one before.
bool inDialOrder(const std::vector<std::uint16_t> &seen, std::uint16_t failure)
{
    const std::vector<std::uint16_t> order{
        States::OpenPort,     States::PortOpened,    States::ConnectDevice, States::DeviceConnected,
        States::Authenticate, States::Authenticated, States::Connected,     failure};
    std::ptrdiff_t previous = -1;
    for (const std::uint16_t state : seen) {
        const auto at = std::find(order.begin(), order.end(), state) - order.begin();
        if (at <= previous || at == static_cast<std::ptrdiff_t>(order.size()))
            return false;
        previous = at;
    }
    return true;
}

std::uint16_t refreshed(SimulatedDialer &dialer, ConnectionHandle handle)
{
    dialer.refreshStatus(handle);
    return dialer.connectState();
}

} // namespace

class TestSimulatedDialer : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dialer = std::make_unique<SimulatedDialer>();
        QCOMPARE(m_dialer->writeEntry(kEntry, entryFor(u"vpn.example.net")), 0u);
        QCOMPARE(m_dialer->writeCredentials(kEntry, {u"alice", u"secret"}), 0u);
    }

    void dialEndsAsConfigured_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<uint>("errorCode");
        QTest::addColumn<uint>("finalState");
        QTest::addColumn<uint>("refreshedState");
        QTest::addColumn<bool>("listedActive");

        QTest::newRow("connects") << Kind::Connect << 0u << uint(States::Connected)
                                  << uint(States::Connected) << true;
        QTest::newRow("password refused")
            << Kind::Fail << uint(Errors::AuthenticationFailure)
            << uint(Errors::AuthenticationFailure) << uint(Errors::AuthenticationFailure) << false;
        QTest::newRow("server silent") << Kind::Fail << uint(Errors::NoAnswer)
                                       << uint(Errors::NoAnswer) << uint(Errors::NoAnswer) << false;
        QTest::newRow("drops after connecting")
            << Kind::ConnectThenDrop << 0u << uint(States::Connected) << uint(Errors::NoConnection)
            << false;
    }

    void dialEndsAsConfigured()
    {
        QFETCH(Kind, kind);
        QFETCH(uint, errorCode);
        QFETCH(uint, finalState);
        QFETCH(uint, refreshedState);
        QFETCH(bool, listedActive);

        m_dialer->setOutcome(outcome(kind, errorCode));
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kEntry, handle), 0u);
        QVERIFY(handle != 0);

        const std::vector<std::uint16_t> seen =
            statesUntil(*m_dialer, static_cast<std::uint16_t>(finalState));
        QCOMPARE(seen.back(), finalState);
        QVERIFY(inDialOrder(seen, static_cast<std::uint16_t>(errorCode)));
        QVERIFY(!m_dialer->statusText().empty());

        QTRY_COMPARE_WITH_TIMEOUT(refreshed(*m_dialer, handle), refreshedState, kPatienceMs);
        QCOMPARE(m_dialer->firstActiveConnection().has_value(), listedActive);
        if (kind == Kind::Fail)
            QCOMPARE(m_dialer->statusText(), m_dialer->errorText(errorCode));
    }

    void neverFinishingDialStaysInAuthenticate()
    {
        m_dialer->setOutcome(outcome(Kind::NeverFinish));
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kEntry, handle), 0u);
        QCOMPARE(statesUntil(*m_dialer, States::Authenticate).back(), States::Authenticate);
        // Several times as long as a dial takes to end.
        QTest::qWait(300);
        QCOMPARE(m_dialer->connectState(), States::Authenticate);
        QCOMPARE(refreshed(*m_dialer, handle), States::Authenticate);
        const auto active = m_dialer->firstActiveConnection();
        QVERIFY(active.has_value());
        QCOMPARE(active->handle, handle);
        QVERIFY(active->entryName == kEntry);
    }

    void connectedLinkCountsTrafficUntilHungUp()
    {
        m_dialer->setTraffic({1'000, 5'000});
        m_dialer->setTunnelAddress(u"10.8.0.77");
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kEntry, handle), 0u);
        QCOMPARE(statesUntil(*m_dialer, States::Connected).back(), States::Connected);

        std::u16string address;
        QCOMPARE(m_dialer->tunnelAddress(handle, address), 0u);
        QVERIFY(address == u"10.8.0.77");

        LinkCounters first;
        QCOMPARE(m_dialer->counters(handle, first), 0u);
        LinkCounters later;
        QTRY_VERIFY_WITH_TIMEOUT(m_dialer->counters(handle, later) == 0 &&
                                     later.bytesSent > first.bytesSent,
                                 kPatienceMs);
        QVERIFY(later.bytesReceived > first.bytesReceived);
        // Both grow from the same moment at their own rates.
        QCOMPARE(later.bytesReceived, 5 * later.bytesSent);

        m_dialer->hangUp(handle, 1s);
        LinkCounters afterHangUp;
        QCOMPARE(m_dialer->counters(handle, afterHangUp), Errors::NoConnection);
        QCOMPARE(m_dialer->tunnelAddress(handle, address), Errors::NoConnection);
        QCOMPARE(refreshed(*m_dialer, handle), Errors::NoConnection);
        QVERIFY(!m_dialer->firstActiveConnection().has_value());
    }

    void linkWithoutConnectionHasNoAddressOrCounters()
    {
        m_dialer->setOutcome(outcome(Kind::NeverFinish));
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kEntry, handle), 0u);
        std::u16string address;
        LinkCounters counters;
        QCOMPARE(m_dialer->tunnelAddress(handle, address), Errors::NoConnection);
        QCOMPARE(m_dialer->counters(handle, counters), Errors::NoConnection);
        QCOMPARE(m_dialer->counters(handle + 1, counters), Errors::NoConnection);
    }

    void hangUpWhileDiallingEndsTheDial()
    {
        SimulatedDialer::Outcome slow = outcome(Kind::Connect);
        slow.after = 10s;
        m_dialer->setOutcome(slow);
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(kEntry, handle), 0u);
        QCOMPARE(statesUntil(*m_dialer, States::PortOpened).back(), States::PortOpened);

        m_dialer->hangUp(handle, 1s);
        QCOMPARE(refreshed(*m_dialer, handle), Errors::NoConnection);
        QVERIFY(!m_dialer->firstActiveConnection().has_value());
        // The stopped notifier reports nothing more.
        QTest::qWait(100);
        QCOMPARE(m_dialer->connectState(), Errors::NoConnection);
    }

    void destructionStopsRunningDials()
    {
        m_dialer->setOutcome(outcome(Kind::NeverFinish));
        ConnectionHandle dialling = 0;
        QCOMPARE(m_dialer->dial(kEntry, dialling), 0u);
        m_dialer->setOutcome(outcome(Kind::ConnectThenDrop));
        ConnectionHandle connecting = 0;
        QCOMPARE(m_dialer->dial(kEntry, connecting), 0u);
        QVERIFY(connecting != dialling);
        // Returns only once both notifiers have stopped; a notifier left running would
        // write into the freed dialer.
        m_dialer.reset();
    }

    void firstActiveConnectionIsTheOldestLiveOne()
    {
        m_dialer->setOutcome(outcome(Kind::NeverFinish));
        ConnectionHandle first = 0;
        ConnectionHandle second = 0;
        QCOMPARE(m_dialer->dial(kEntry, first), 0u);
        QCOMPARE(m_dialer->dial(kEntry, second), 0u);
        QCOMPARE(m_dialer->firstActiveConnection()->handle, first);
        m_dialer->hangUp(first, 1s);
        QCOMPARE(m_dialer->firstActiveConnection()->handle, second);
    }

    void unknownHandlesNameNoConnection_data()
    {
        QTest::addColumn<quintptr>("handle");
        QTest::newRow("none") << quintptr(0);
        QTest::newRow("never dialled") << quintptr(4711);
    }

    void unknownHandlesNameNoConnection()
    {
        QFETCH(quintptr, handle);
        QCOMPARE(refreshed(*m_dialer, handle), Errors::NoConnection);
        m_dialer->hangUp(handle, 1s);
    }

    void dialOfUnknownEntryFails()
    {
        ConnectionHandle handle = 0;
        QCOMPARE(m_dialer->dial(u"Nowhere", handle), Errors::CannotFindEntry);
        QCOMPARE(handle, ConnectionHandle(0));
        QVERIFY(!m_dialer->firstActiveConnection().has_value());
    }

    void entryNamesAreValidated_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("expected");
        QTest::newRow("free") << "Other VPN" << 0u;
        QTest::newRow("taken") << QString::fromStdU16String(std::u16string(kEntry))
                               << uint(Errors::EntryExists);
        QTest::newRow("empty") << "" << uint(Errors::InvalidName);
        QTest::newRow("slash") << "a/b" << uint(Errors::InvalidName);
        QTest::newRow("parent") << ".." << uint(Errors::InvalidName);
        QTest::newRow("hidden") << ".vpn" << uint(Errors::InvalidName);
        QTest::newRow("option-like") << "-vpn" << uint(Errors::InvalidName);
        QTest::newRow("line break") << "a\nb" << uint(Errors::InvalidName);
        QTest::newRow("quote") << "a\"b" << uint(Errors::InvalidName);
        QTest::newRow("too long") << QString(65, 'a') << uint(Errors::InvalidName);
    }

    void entryNamesAreValidated()
    {
        QFETCH(QString, name);
        QFETCH(uint, expected);
        QCOMPARE(m_dialer->validateEntryName(name.toStdU16String()), expected);
        if (expected == Errors::InvalidName)
            QCOMPARE(m_dialer->writeEntry(name.toStdU16String(), entryFor(u"10.0.0.1")),
                     Errors::InvalidName);
    }

    void phoneBookKeepsEntriesAndCredentials()
    {
        DialEntry entry = entryFor(u"203.0.113.9");
        entry.strategy = platform::VpnStrategy::L2tpOnly;
        QCOMPARE(m_dialer->writeEntry(kEntry, entry), 0u);
        std::u16string host;
        QCOMPARE(m_dialer->entryHost(kEntry, host), 0u);
        QVERIFY(host == u"203.0.113.9");
        QCOMPARE(m_dialer->entry(kEntry)->strategy, platform::VpnStrategy::L2tpOnly);
        QVERIFY(m_dialer->credentials(kEntry)->password == u"secret");

        QCOMPARE(m_dialer->writeEntry(u"Other", entryFor(u"1.2.3.4 plugin evil.so")),
                 Errors::InvalidParameter);
        QCOMPARE(m_dialer->validateEntryName(u"Other"), 0u);
        QCOMPARE(m_dialer->writeCredentials(u"Other", {u"bob", u"x"}), Errors::CannotFindEntry);

        QCOMPARE(m_dialer->deleteEntry(kEntry), 0u);
        QCOMPARE(m_dialer->validateEntryName(kEntry), 0u);
        QCOMPARE(m_dialer->entryHost(kEntry, host), Errors::CannotFindEntry);
        QVERIFY(!m_dialer->credentials(kEntry).has_value());
        QCOMPARE(m_dialer->deleteEntry(kEntry), Errors::CannotFindEntry);
    }

    void writesFailWithTheConfiguredCode()
    {
        m_dialer->setEntryWriteFailure(Errors::AccessDenied);
        QCOMPARE(m_dialer->writeEntry(u"Other", entryFor(u"10.0.0.1")), Errors::AccessDenied);
        QCOMPARE(m_dialer->validateEntryName(u"Other"), 0u);

        m_dialer->setCredentialsWriteFailure(Errors::CannotLoadPhonebook);
        QCOMPARE(m_dialer->writeCredentials(kEntry, {u"bob", u"new"}), Errors::CannotLoadPhonebook);
        QVERIFY(m_dialer->credentials(kEntry)->user == u"alice");

        m_dialer->setEntryWriteFailure(0);
        QCOMPARE(m_dialer->writeEntry(u"Other", entryFor(u"10.0.0.1")), 0u);
        QCOMPARE(m_dialer->validateEntryName(u"Other"), Errors::EntryExists);
    }

private:
    std::unique_ptr<SimulatedDialer> m_dialer;
};

QTEST_GUILESS_MAIN(TestSimulatedDialer)
#include "tst_simulateddialer.moc"
