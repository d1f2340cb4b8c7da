#include "platform/icmp/EchoPacket.h"
#include "platform/icmp/LinuxIcmpProber.h"
#include "platform/icmp/SequenceAllocator.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include "support/EchoHosts.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <set>
#include <thread>
#include <vector>

using platform::EchoOptions;
using platform::EchoResult;
using platform::LinuxIcmpProber;
using Outcome = EchoResult::Outcome;
using Choice = LinuxIcmpProber::SocketChoice;
using Kind = LinuxIcmpProber::SocketKind;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Choice)
Q_DECLARE_METATYPE(Kind)

namespace {

// Addresses the test namespace sets up: a range the kernel itself answers and a host on a
// link whose far end is down, so echoes to it vanish.
const QString kLiveRange = QStringLiteral("10.66.1.");
const std::string kDeadHost = "10.66.2.9";
constexpr auto kShortTimeout = 300ms;
// Hosts behind the echo responder, which answers each after the delay the test gives it.
const std::string kEchoDevice = "echo0";
const std::string kEchoSource = "10.66.3.1";
const std::string kEchoNetwork = "10.66.4.0";
// A reply never comes before its delay. Other work on the machine (builds, a paused
// virtual CPU) may hold any single echo up by milliseconds, so the measurement's own error
// shows in the fastest of several echoes, which must be less than kEchoSlack late.
constexpr auto kEchoSlack = 1ms;
constexpr std::size_t kEchoesPerCheck = 5;
constexpr auto kEchoGap = 25ms;
// Only a bound to catch a hung prober; the waits end as soon as the results are in.
constexpr auto kPatience = 20s;

bool setPingGroupRange(const QByteArray &range)
{
    QFile file(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
    return file.open(QIODevice::WriteOnly) && file.write(range + '\n') == range.size() + 1;
}

std::string liveHost(int index)
{
    return (kLiveRange + QString::number(index)).toStdString();
}

std::string echoHost(int index)
{
    return "10.66.4." + std::to_string(index);
}

// Results gathered from the prober's threads, one slot per probe.
class Completions
{
public:
    explicit Completions(std::size_t count) : m_results(count), m_calls(count, 0) {}

    void record(std::size_t slot, const EchoResult &result)
    {
        std::lock_guard lock(m_mutex);
        m_results[slot] = result;
        ++m_calls[slot];
        ++m_total;
        m_changed.notify_all();
    }
    bool waitForAll()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kPatience, [this] { return m_total >= m_calls.size(); });
    }
    EchoResult result(std::size_t slot) const
    {
        std::lock_guard lock(m_mutex);
        return m_results[slot];
    }
    int calls(std::size_t slot) const
    {
        std::lock_guard lock(m_mutex);
        return m_calls[slot];
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<EchoResult> m_results;
    std::vector<int> m_calls;
    std::size_t m_total = 0;
};

QByteArray describe(const EchoResult &result)
{
    return QByteArray::number(static_cast<int>(result.outcome)) + " after " +
           QByteArray::number(static_cast<qlonglong>(result.elapsed.count())) + " us, errno " +
           QByteArray::number(result.error) + ": " + QByteArray::fromStdString(result.reason);
}

std::vector<std::uint8_t> withIpHeader(std::vector<std::uint8_t> icmp, std::uint8_t headerWords,
                                       std::uint8_t protocol)
{
    std::vector<std::uint8_t> packet(std::size_t{headerWords} * 4, 0);
    packet[0] = static_cast<std::uint8_t>(0x40 | headerWords);
    packet[9] = protocol;
    packet.insert(packet.end(), icmp.begin(), icmp.end());
    return packet;
}

std::vector<std::uint8_t> asReply(std::vector<std::uint8_t> packet)
{
    packet[0] = 0;
    return packet;
}

bool repliedAfter(const EchoResult &result, std::chrono::microseconds delay)
{
    return result.outcome == Outcome::Reply && result.elapsed >= delay;
}

std::chrono::microseconds fastest(const std::vector<EchoResult> &results)
{
    std::chrono::microseconds best = std::chrono::microseconds::max();
    for (const EchoResult &result : results)
        best = std::min(best, result.elapsed);
    return best;
}

QByteArray describe(const std::vector<EchoResult> &results)
{
    QByteArray text;
    for (const EchoResult &result : results)
        text += describe(result) + "; ";
    return text;
}

// Sends an echo to each host, one every kEchoGap so that a stall of the machine cannot
// hold them all up, and gives the results in the same order; none when some never came.
std::vector<EchoResult> spacedEchoes(LinuxIcmpProber &prober, const std::vector<std::string> &hosts)
{
    Completions completions(hosts.size());
    for (std::size_t slot = 0; slot < hosts.size(); ++slot) {
        if (slot > 0)
            std::this_thread::sleep_for(kEchoGap);
        prober.probe(hosts[slot], {}, [&completions, slot](const EchoResult &result) {
            completions.record(slot, result);
        });
    }
    std::vector<EchoResult> results;
    if (!completions.waitForAll())
        return results;
    for (std::size_t slot = 0; slot < hosts.size(); ++slot)
        results.push_back(completions.result(slot));
    return results;
}

} // namespace

class TestLinuxIcmpProber : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void sequencesWrapAndSkipThoseInUse();
    void sequencesRunOut();
    void echoRequestCarriesItsChecksum();
    void parseEchoReply_data();
    void parseEchoReply();

    void reply_data();
    void reply();
    void deadHostTimesOut_data();
    void deadHostTimesOut();
    void unresolvableName();
    void invalidOptions_data();
    void invalidOptions();
    void concurrentProbesCompleteOnce_data();
    void concurrentProbesCompleteOnce();
    void deadAndLiveInterleaved_data();
    void deadAndLiveInterleaved();
    void unavailableSocketFailsAtOnce();
    void destructionCancelsProbesInFlight_data();
    void destructionCancelsProbesInFlight();

    void delayedReply_data();
    void delayedReply();
    void overlappingDelaysFromManyThreads_data();
    void overlappingDelaysFromManyThreads();
    void replyAroundTheTimeout_data();
    void replyAroundTheTimeout();
    void replyReadLateCountsByItsArrival_data();
    void replyReadLateCountsByItsArrival();
    void responderEchoesOnlyEchoRequests();

private:
    void addSocketRows();

    bool m_namespaced = false;
    QString m_skipReason;
    std::unique_ptr<testsupport::TunEchoResponder> m_responder;
};

void TestLinuxIcmpProber::initTestCase()
{
    m_namespaced = testsupport::enterPrivateNetworkNamespace(&m_skipReason);
    if (!m_namespaced)
        return;
    IP("link", "set", "lo", "up");
    IP("route", "add", "local", "10.66.1.0/24", "dev", "lo");
    IP("link", "add", "vd0", "type", "veth", "peer", "name", "vd1");
    IP("addr", "add", "10.66.2.1/24", "dev", "vd0");
    IP("link", "set", "vd0", "up");
    // The range belongs to the namespace: admitting root's group here opens the datagram
    // socket to the tests without touching the host.
    QVERIFY(setPingGroupRange("0 0"));
    m_responder = std::make_unique<testsupport::TunEchoResponder>(kEchoDevice);
    if (m_responder->ok()) {
        const std::string failed =
            testsupport::routeIntoDevice(kEchoDevice, kEchoSource, kEchoNetwork, 24);
        QVERIFY2(failed.empty(), failed.c_str());
    }
}

void TestLinuxIcmpProber::sequencesWrapAndSkipThoseInUse()
{
    platform::SequenceAllocator sequences;
    for (int expected = 0; expected < 65535; ++expected)
        QCOMPARE(sequences.acquire(), std::optional<std::uint16_t>(expected));
    sequences.release(3);
    sequences.release(3);
    QCOMPARE(sequences.inUse(), std::size_t{65534});
    // The order goes on to the last number before a freed one is given again…
    QCOMPARE(sequences.acquire(), std::optional<std::uint16_t>(65535));
    // …and after wrapping it passes over 0, 1 and 2, still in use.
    QCOMPARE(sequences.acquire(), std::optional<std::uint16_t>(3));
}

void TestLinuxIcmpProber::sequencesRunOut()
{
    platform::SequenceAllocator sequences;
    for (int i = 0; i < 65536; ++i)
        QVERIFY(sequences.acquire().has_value());
    QCOMPARE(sequences.acquire(), std::nullopt);
    sequences.release(40000);
    QCOMPARE(sequences.acquire(), std::optional<std::uint16_t>(40000));
}

void TestLinuxIcmpProber::echoRequestCarriesItsChecksum()
{
    for (const std::size_t dataSize : {std::size_t{0}, std::size_t{56}, std::size_t{57}}) {
        const std::vector<std::uint8_t> packet = platform::echoRequest(0xbeef, 0x1234, dataSize);
        QCOMPARE(packet.size(), 8 + dataSize);
        QCOMPARE(packet[0], std::uint8_t{8});
        QCOMPARE(packet[4], std::uint8_t{0xbe});
        QCOMPARE(packet[7], std::uint8_t{0x34});
        // A packet with a correct checksum sums to zero.
        QCOMPARE(platform::internetChecksum(packet), std::uint16_t{0});
    }
}

void TestLinuxIcmpProber::parseEchoReply_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<bool>("withIpHeader");
    QTest::addColumn<bool>("isReply");

    const auto request = platform::echoRequest(0x0102, 0xa0b0, 56);
    const auto bytes = [](const std::vector<std::uint8_t> &packet) {
        return QByteArray(reinterpret_cast<const char *>(packet.data()),
                          static_cast<qsizetype>(packet.size()));
    };
    auto badCode = asReply(request);
    badCode[1] = 1;
    QTest::newRow("reply") << bytes(asReply(request)) << false << true;
    QTest::newRow("reply after an IP header")
        << bytes(withIpHeader(asReply(request), 5, 1)) << true << true;
    QTest::newRow("reply after an IP header with options")
        << bytes(withIpHeader(asReply(request), 7, 1)) << true << true;
    QTest::newRow("echo request") << bytes(request) << false << false;
    QTest::newRow("echo request after an IP header")
        << bytes(withIpHeader(request, 5, 1)) << true << false;
    QTest::newRow("reply with a code") << bytes(badCode) << false << false;
    QTest::newRow("truncated reply") << bytes(asReply(request)).left(7) << false << false;
    QTest::newRow("not ICMP") << bytes(withIpHeader(asReply(request), 5, 17)) << true << false;
    QTest::newRow("header longer than the packet")
        << bytes(withIpHeader(asReply(request), 15, 1)).left(40) << true << false;
}

void TestLinuxIcmpProber::parseEchoReply()
{
    QFETCH(QByteArray, packet);
    QFETCH(bool, withIpHeader);
    QFETCH(bool, isReply);

    const auto reply = platform::parseEchoReply(
        std::span(reinterpret_cast<const std::uint8_t *>(packet.constData()),
                  static_cast<std::size_t>(packet.size())),
        withIpHeader);
    QCOMPARE(reply.has_value(), isReply);
    if (isReply) {
        QCOMPARE(reply->identifier, std::uint16_t{0x0102});
        QCOMPARE(reply->sequence, std::uint16_t{0xa0b0});
    }
}

void TestLinuxIcmpProber::addSocketRows()
{
    QTest::addColumn<Choice>("choice");
    QTest::addColumn<Kind>("kind");
    QTest::newRow("datagram socket") << Choice::DatagramOnly << Kind::Datagram;
    QTest::newRow("raw socket") << Choice::RawOnly << Kind::Raw;
}

void TestLinuxIcmpProber::reply_data()
{
    QTest::addColumn<Choice>("choice");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("dataSize");

    for (const auto &[name, choice] :
         {std::pair{"datagram", Choice::DatagramOnly}, std::pair{"raw", Choice::RawOnly}}) {
        const QString prefix = QString::fromLatin1(name) + ' ';
        QTest::newRow(qPrintable(prefix + "127.0.0.1")) << choice << "127.0.0.1" << 56;
        QTest::newRow(qPrintable(prefix + "elsewhere in 127/8")) << choice << "127.4.5.6" << 56;
        QTest::newRow(qPrintable(prefix + "local range")) << choice << "10.66.1.7" << 56;
        QTest::newRow(qPrintable(prefix + "name")) << choice << "localhost" << 56;
        QTest::newRow(qPrintable(prefix + "no data")) << choice << "127.0.0.1" << 0;
        QTest::newRow(qPrintable(prefix + "largest datagram")) << choice << "127.0.0.1" << 65507;
    }
}

void TestLinuxIcmpProber::reply()
{
    REQUIRE_NAMESPACE();
    QFETCH(Choice, choice);
    QFETCH(QString, host);
    QFETCH(int, dataSize);

    LinuxIcmpProber prober(choice);
    QVERIFY2(prober.available(), prober.unavailableReason().c_str());
    QVERIFY(prober.unavailableReason().empty());
    EchoOptions options;
    options.dataSize = dataSize;
    // Two in a row: the second shows the first left nothing behind to be mistaken for it.
    for (int round = 0; round < 2; ++round) {
        const EchoResult result = prober.probeAndWait(host.toStdString(), options);
        QVERIFY2(result.outcome == Outcome::Reply, describe(result));
        QCOMPARE(result.error, 0);
        QVERIFY2(result.elapsed >= 0us && result.elapsed < 50ms, describe(result));
    }
}

void TestLinuxIcmpProber::deadHostTimesOut_data()
{
    addSocketRows();
}

void TestLinuxIcmpProber::deadHostTimesOut()
{
    REQUIRE_NAMESPACE();
    QFETCH(Choice, choice);
    QFETCH(Kind, kind);

    LinuxIcmpProber prober(choice);
    QCOMPARE(prober.socketKind(), kind);
    EchoOptions options;
    options.timeout = kShortTimeout;
    const EchoResult result = prober.probeAndWait(kDeadHost, options);
    QVERIFY2(result.outcome == Outcome::Timeout, describe(result));
    QVERIFY2(result.elapsed >= kShortTimeout, describe(result));
    QCOMPARE(result.error, 0);
}

void TestLinuxIcmpProber::unresolvableName()
{
    // Needs the namespace too: the lookup must not reach the host's real name servers.
    REQUIRE_NAMESPACE();
    LinuxIcmpProber prober;
    const EchoResult result = prober.probeAndWait("no-such-host.invalid");
    QVERIFY2(result.outcome == Outcome::Unresolvable, describe(result));
    QVERIFY(result.reason.find("no-such-host.invalid") != std::string::npos);
}

void TestLinuxIcmpProber::invalidOptions_data()
{
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<int>("ttl");
    QTest::addColumn<int>("timeoutMs");

    QTest::newRow("negative data size") << -1 << 64 << 1000;
    QTest::newRow("data beyond an IPv4 datagram") << 65508 << 64 << 1000;
    QTest::newRow("TTL 0") << 56 << 0 << 1000;
    QTest::newRow("TTL 256") << 56 << 256 << 1000;
    QTest::newRow("negative timeout") << 56 << 64 << -1;
}

void TestLinuxIcmpProber::invalidOptions()
{
    REQUIRE_NAMESPACE();
    QFETCH(int, dataSize);
    QFETCH(int, ttl);
    QFETCH(int, timeoutMs);

    LinuxIcmpProber prober;
    const EchoOptions options{dataSize, ttl, std::chrono::milliseconds(timeoutMs)};
    bool completedInside = false;
    EchoResult result;
    prober.probe("127.0.0.1", options, [&](const EchoResult &echo) {
        result = echo;
        completedInside = true;
    });
    QVERIFY(completedInside);
    QVERIFY2(result.outcome == Outcome::Failure, describe(result));
    QCOMPARE(result.error, EINVAL);
}

void TestLinuxIcmpProber::concurrentProbesCompleteOnce_data()
{
    addSocketRows();
}

void TestLinuxIcmpProber::concurrentProbesCompleteOnce()
{
    REQUIRE_NAMESPACE();
    QFETCH(Choice, choice);

    constexpr int kThreads = 8;
    constexpr int kProbes = 200;
    constexpr int kHosts = 20;
    LinuxIcmpProber prober(choice);
    Completions completions(kProbes);
    std::vector<std::string> answeredHost(kProbes);
    std::mutex hostsMutex;
    {
        std::vector<std::jthread> senders;
        for (int thread = 0; thread < kThreads; ++thread) {
            senders.emplace_back([&, thread] {
                for (int probe = thread; probe < kProbes; probe += kThreads) {
                    const std::string host = liveHost(1 + probe % kHosts);
                    prober.probe(host, {}, [&, probe, host](const EchoResult &result) {
                        {
                            std::lock_guard lock(hostsMutex);
                            answeredHost[static_cast<std::size_t>(probe)] = host;
                        }
                        completions.record(static_cast<std::size_t>(probe), result);
                    });
                }
            });
        }
    }
    QVERIFY(completions.waitForAll());
    for (int probe = 0; probe < kProbes; ++probe) {
        const auto slot = static_cast<std::size_t>(probe);
        QCOMPARE(completions.calls(slot), 1);
        QVERIFY2(completions.result(slot).outcome == Outcome::Reply,
                 describe(completions.result(slot)));
        std::lock_guard lock(hostsMutex);
        QCOMPARE(answeredHost[slot], liveHost(1 + probe % kHosts));
    }
}

void TestLinuxIcmpProber::deadAndLiveInterleaved_data()
{
    addSocketRows();
}

void TestLinuxIcmpProber::deadAndLiveInterleaved()
{
    REQUIRE_NAMESPACE();
    QFETCH(Choice, choice);

    constexpr int kProbes = 40;
    LinuxIcmpProber prober(choice);
    EchoOptions options;
    options.timeout = kShortTimeout;
    Completions completions(kProbes);
    for (int probe = 0; probe < kProbes; ++probe) {
        const std::string host = probe % 2 == 0 ? kDeadHost : liveHost(1 + probe);
        prober.probe(host, options, [&completions, probe](const EchoResult &result) {
            completions.record(static_cast<std::size_t>(probe), result);
        });
    }
    QVERIFY(completions.waitForAll());
    for (int probe = 0; probe < kProbes; ++probe) {
        const auto slot = static_cast<std::size_t>(probe);
        const EchoResult result = completions.result(slot);
        QCOMPARE(completions.calls(slot), 1);
        QVERIFY2(result.outcome == (probe % 2 == 0 ? Outcome::Timeout : Outcome::Reply),
                 describe(result));
    }
}

void TestLinuxIcmpProber::unavailableSocketFailsAtOnce()
{
    REQUIRE_NAMESPACE();
    // An empty range admits nobody, as on hosts that keep ping sockets closed.
    QVERIFY(setPingGroupRange("1 0"));
    LinuxIcmpProber prober(Choice::DatagramOnly);
    QVERIFY(setPingGroupRange("0 0"));

    QVERIFY(!prober.available());
    QCOMPARE(prober.socketKind(), Kind::None);
    QVERIFY2(prober.unavailableReason().find("ping_group_range") != std::string::npos,
             prober.unavailableReason().c_str());
    bool completedInside = false;
    EchoResult result;
    prober.probe("127.0.0.1", {}, [&](const EchoResult &echo) {
        result = echo;
        completedInside = true;
    });
    QVERIFY(completedInside);
    QVERIFY2(result.outcome == Outcome::Failure, describe(result));
    QCOMPARE(result.error, ENOTSUP);
    QCOMPARE(result.reason, prober.unavailableReason());
}

void TestLinuxIcmpProber::destructionCancelsProbesInFlight_data()
{
    addSocketRows();
}

void TestLinuxIcmpProber::destructionCancelsProbesInFlight()
{
    REQUIRE_NAMESPACE();
    QFETCH(Choice, choice);

    constexpr int kProbes = 20;
    Completions completions(kProbes);
    {
        LinuxIcmpProber prober(choice);
        EchoOptions options;
        options.timeout = 60s;
        for (int probe = 0; probe < kProbes; ++probe) {
            prober.probe(kDeadHost, options, [&completions, probe](const EchoResult &result) {
                completions.record(static_cast<std::size_t>(probe), result);
            });
        }
    }
    QVERIFY(completions.waitForAll());
    for (int probe = 0; probe < kProbes; ++probe) {
        const auto slot = static_cast<std::size_t>(probe);
        QCOMPARE(completions.calls(slot), 1);
        QVERIFY2(completions.result(slot).outcome == Outcome::Failure,
                 describe(completions.result(slot)));
        QCOMPARE(completions.result(slot).error, ECANCELED);
    }
}

void TestLinuxIcmpProber::delayedReply_data()
{
    QTest::addColumn<Choice>("choice");
    QTest::addColumn<int>("delayMs");

    for (const auto &[name, choice] :
         {std::pair{"datagram", Choice::DatagramOnly}, std::pair{"raw", Choice::RawOnly}}) {
        for (const int delay : {0, 1, 10, 45, 1000})
            QTest::addRow("%s %d ms", name, delay) << choice << delay;
    }
}

void TestLinuxIcmpProber::delayedReply()
{
    REQUIRE_ECHO_HOSTS();
    QFETCH(Choice, choice);
    QFETCH(int, delayMs);

    const std::chrono::milliseconds delay(delayMs);
    m_responder->setDelay(echoHost(1), delay);
    LinuxIcmpProber prober(choice);
    const std::uint64_t repliesBefore = m_responder->repliesSent();

    const std::vector<EchoResult> results =
        spacedEchoes(prober, std::vector(kEchoesPerCheck, echoHost(1)));

    QCOMPARE(results.size(), kEchoesPerCheck);
    for (const EchoResult &result : results)
        QVERIFY2(repliedAfter(result, delay), describe(result));
    QVERIFY2(fastest(results) < delay + kEchoSlack, describe(results));
    QCOMPARE(m_responder->repliesSent(), repliesBefore + kEchoesPerCheck);
}

void TestLinuxIcmpProber::overlappingDelaysFromManyThreads_data()
{
    addSocketRows();
}

void TestLinuxIcmpProber::overlappingDelaysFromManyThreads()
{
    REQUIRE_ECHO_HOSTS();
    QFETCH(Choice, choice);

    constexpr int kThreads = 8;
    constexpr int kProbes = 160;
    constexpr int kHosts = 10;
    // A probe that took another host's reply would come out nearer that host's delay.
    constexpr auto kSpacing = 20ms;
    const auto delayOf = [kSpacing](int host) { return 5ms + kSpacing * host; };
    const auto hostOf = [](int probe) { return probe % kHosts; };
    for (int host = 0; host < kHosts; ++host)
        m_responder->setDelay(echoHost(10 + host), delayOf(host));
    LinuxIcmpProber prober(choice);
    Completions completions(kProbes);
    {
        std::vector<std::jthread> senders;
        for (int thread = 0; thread < kThreads; ++thread) {
            senders.emplace_back([&, thread] {
                for (int probe = thread; probe < kProbes; probe += kThreads) {
                    prober.probe(echoHost(10 + hostOf(probe)), {},
                                 [&completions, probe](const EchoResult &result) {
                                     completions.record(static_cast<std::size_t>(probe), result);
                                 });
                }
            });
        }
    }
    QVERIFY(completions.waitForAll());
    // No echo comes back before its own host's delay, so swapped replies show as some probe
    // answered too early, and replies taken from another host as a typical time near that
    // host's delay. Single echoes may be held up by other work on the machine.
    std::vector<std::vector<std::chrono::microseconds>> byHost(kHosts);
    for (int probe = 0; probe < kProbes; ++probe) {
        const auto slot = static_cast<std::size_t>(probe);
        const EchoResult result = completions.result(slot);
        QCOMPARE(completions.calls(slot), 1);
        QVERIFY2(repliedAfter(result, delayOf(hostOf(probe))),
                 describe(result) + " from host " + QByteArray::number(hostOf(probe)));
        byHost[static_cast<std::size_t>(hostOf(probe))].push_back(result.elapsed);
    }
    for (int host = 0; host < kHosts; ++host) {
        std::vector<std::chrono::microseconds> &times = byHost[static_cast<std::size_t>(host)];
        std::sort(times.begin(), times.end());
        const QByteArray message =
            "host " + QByteArray::number(host) + ": fastest " +
            QByteArray::number(qlonglong(times.front().count())) + " us, median " +
            QByteArray::number(qlonglong(times[times.size() / 2].count())) + " us";
        QVERIFY2(times.front() < delayOf(host) + kEchoSlack, message);
        QVERIFY2(times[times.size() / 2] < delayOf(host) + kSpacing / 2, message);
    }
}

void TestLinuxIcmpProber::replyAroundTheTimeout_data()
{
    addSocketRows();
}

void TestLinuxIcmpProber::replyAroundTheTimeout()
{
    REQUIRE_ECHO_HOSTS();
    QFETCH(Choice, choice);

    // Several of each, all out together against the default 4000 ms, so that the row waits
    // the timeout about once. A reply after the timeout is always lost. One before it counts,
    // unless other work on the machine held it past the timeout, so the fastest must be in time.
    m_responder->setDelay(echoHost(30), 3990ms);
    m_responder->setDelay(echoHost(31), 4010ms);
    LinuxIcmpProber prober(choice);
    std::vector<std::string> hosts(kEchoesPerCheck, echoHost(30));
    hosts.insert(hosts.end(), kEchoesPerCheck, echoHost(31));

    const std::vector<EchoResult> results = spacedEchoes(prober, hosts);

    QCOMPARE(results.size(), hosts.size());
    std::vector<EchoResult> counted;
    for (std::size_t echo = 0; echo < kEchoesPerCheck; ++echo) {
        const EchoResult &early = results[echo];
        QVERIFY2(repliedAfter(early, 3990ms) || early.outcome == Outcome::Timeout, describe(early));
        if (early.outcome == Outcome::Reply)
            counted.push_back(early);
        const EchoResult &late = results[kEchoesPerCheck + echo];
        QVERIFY2(late.outcome == Outcome::Timeout && late.elapsed >= EchoOptions{}.timeout,
                 describe(late));
    }
    QVERIFY2(!counted.empty() && fastest(counted) < 3990ms + kEchoSlack, describe(results));
}

void TestLinuxIcmpProber::replyReadLateCountsByItsArrival_data()
{
    addSocketRows();
}

void TestLinuxIcmpProber::replyReadLateCountsByItsArrival()
{
    REQUIRE_ECHO_HOSTS();
    QFETCH(Choice, choice);

    // The first reply's completion holds the receiver past the timeout of the other two
    // probes, so it reads their replies together after their deadline: a reply that came
    // in time still counts, one that came too late does not.
    m_responder->setDelay(echoHost(40), 50ms);
    m_responder->setDelay(echoHost(41), 200ms);
    m_responder->setDelay(echoHost(42), 330ms);
    LinuxIcmpProber prober(choice);
    Completions completions(3);
    prober.probe(echoHost(40), {}, [&completions](const EchoResult &result) {
        std::this_thread::sleep_for(400ms);
        completions.record(0, result);
    });
    EchoOptions options;
    options.timeout = 300ms;
    for (const int slot : {1, 2}) {
        prober.probe(echoHost(40 + slot), options, [&completions, slot](const EchoResult &result) {
            completions.record(static_cast<std::size_t>(slot), result);
        });
    }
    QVERIFY(completions.waitForAll());

    QVERIFY2(repliedAfter(completions.result(0), 50ms), describe(completions.result(0)));
    QVERIFY2(repliedAfter(completions.result(1), 200ms), describe(completions.result(1)));
    const EchoResult late = completions.result(2);
    QVERIFY2(late.outcome == Outcome::Timeout && late.elapsed >= options.timeout, describe(late));
}

void TestLinuxIcmpProber::responderEchoesOnlyEchoRequests()
{
    REQUIRE_ECHO_HOSTS();
    const std::string answering = echoHost(50);
    const std::string silent = echoHost(51);
    m_responder->setDelay(answering, 0ms);
    m_responder->setSilent(silent);
    const int raw = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const auto closeSockets = qScopeGuard([&] {
        ::close(raw);
        ::close(udp);
    });
    QVERIFY(raw >= 0 && udp >= 0);
    const auto target = [](const std::string &host, std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
        return address;
    };
    const auto sendTo = [&](int fd, const std::string &host, std::uint16_t port,
                            const std::vector<std::uint8_t> &bytes) {
        const sockaddr_in address = target(host, port);
        return ::sendto(fd, bytes.data(), bytes.size(), 0,
                        reinterpret_cast<const sockaddr *>(&address),
                        sizeof address) == static_cast<ssize_t>(bytes.size());
    };
    const std::uint64_t seenBefore = m_responder->requestsSeen();
    const std::uint64_t sentBefore = m_responder->repliesSent();
    // An odd payload length puts the checksum's padding to the test.
    const std::vector<std::uint8_t> request = platform::echoRequest(0x4242, 7, 57);

    QVERIFY(sendTo(udp, answering, 9, {1, 2, 3}));
    QVERIFY(sendTo(raw, silent, 0, request));
    QVERIFY(sendTo(raw, answering, 0, request));

    std::vector<std::uint8_t> reply(65536);
    std::size_t size = 0;
    for (;;) {
        pollfd readable{raw, POLLIN, 0};
        QVERIFY2(::poll(&readable, 1, int(std::chrono::milliseconds(kPatience).count())) == 1,
                 "no reply");
        const ssize_t received = ::recv(raw, reply.data(), reply.size(), 0);
        QVERIFY(received > 0);
        size = static_cast<std::size_t>(received);
        if (platform::parseEchoReply(std::span(reply.data(), size), true))
            break;
    }
    constexpr std::size_t kIpHeader = 20;
    QCOMPARE(size, kIpHeader + request.size());
    const auto address = [&](std::size_t at) {
        in_addr bytes{};
        std::memcpy(&bytes, &reply[at], sizeof bytes);
        char text[INET_ADDRSTRLEN] = {};
        return std::string(::inet_ntop(AF_INET, &bytes, text, sizeof text));
    };
    QCOMPARE(address(12), answering);
    QCOMPARE(address(16), kEchoSource);
    QCOMPARE(platform::internetChecksum(std::span(reply.data(), kIpHeader)), std::uint16_t{0});
    const std::span<const std::uint8_t> icmp(reply.data() + kIpHeader, request.size());
    QCOMPARE(icmp[0], std::uint8_t{0});
    QCOMPARE(platform::internetChecksum(icmp), std::uint16_t{0});
    QVERIFY(std::equal(icmp.begin() + 4, icmp.end(), request.begin() + 4));
    // Both echoes were read, the datagram was not; only the answering host's got a reply.
    QCOMPARE(m_responder->requestsSeen(), seenBefore + 2);
    QCOMPARE(m_responder->repliesSent(), sentBefore + 1);
}

QTEST_GUILESS_MAIN(TestLinuxIcmpProber)
#include "tst_linuxicmpprober.moc"
