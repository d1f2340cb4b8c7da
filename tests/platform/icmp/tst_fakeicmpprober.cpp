#include "platform/icmp/FakeIcmpProber.h"

#include <QTest>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using platform::EchoOptions;
using platform::EchoResult;
using platform::FakeIcmpProber;
using Outcome = EchoResult::Outcome;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Outcome)

namespace {

// What one probe's completion saw.
struct Seen
{
    EchoResult result;
    std::thread::id thread;
};

// Collects completions in the order they arrive.
class Log
{
public:
    FakeIcmpProber::Completion recorder(const std::string &host)
    {
        return [this, host](const EchoResult &result) {
            std::lock_guard lock(m_mutex);
            m_hosts.push_back(host);
            m_seen.push_back({result, std::this_thread::get_id()});
            m_changed.notify_all();
        };
    }
    bool waitFor(std::size_t count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 20s, [&] { return m_seen.size() >= count; });
    }
    std::vector<std::string> hosts() const
    {
        std::lock_guard lock(m_mutex);
        return m_hosts;
    }
    std::vector<Seen> seen() const
    {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_hosts;
    std::vector<Seen> m_seen;
};

} // namespace

class TestFakeIcmpProber : public QObject
{
    Q_OBJECT

private slots:
    void scriptedResults_data();
    void scriptedResults();
    void soonerDelaysCompleteFirst();
    void callsAreLogged();
    void unavailableFailsEveryProbe();
    void destructionCancelsWaitingProbes();
};

void TestFakeIcmpProber::scriptedResults_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("elapsedMs");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("onCallingThread");

    QTest::newRow("reply") << "fast" << Outcome::Reply << 20 << 0 << false;
    QTest::newRow("timeout") << "dead" << Outcome::Timeout << 700 << 0 << false;
    QTest::newRow("unresolvable") << "gone" << Outcome::Unresolvable << 0 << 0 << true;
    QTest::newRow("unscripted") << "unknown" << Outcome::Unresolvable << 0 << 0 << true;
    QTest::newRow("failure") << "broken" << Outcome::Failure << 0 << ENETUNREACH << true;
}

void TestFakeIcmpProber::scriptedResults()
{
    QFETCH(QString, host);
    QFETCH(Outcome, outcome);
    QFETCH(int, elapsedMs);
    QFETCH(int, error);
    QFETCH(bool, onCallingThread);

    FakeIcmpProber prober;
    prober.setReply("fast", 20ms);
    prober.setTimeout("dead");
    prober.setUnresolvable("gone");
    prober.setFailure("broken", ENETUNREACH);
    QVERIFY(prober.available());

    EchoOptions options;
    options.timeout = 700ms;
    Log log;
    prober.probe(host.toStdString(), options, log.recorder(host.toStdString()));
    QVERIFY(log.waitFor(1));
    const Seen seen = log.seen().front();
    QCOMPARE(seen.result.outcome, outcome);
    QCOMPARE(seen.result.elapsed, std::chrono::microseconds(std::chrono::milliseconds(elapsedMs)));
    QCOMPARE(seen.result.error, error);
    QCOMPARE(seen.thread == std::this_thread::get_id(), onCallingThread);
    QCOMPARE(prober.waiting(), std::size_t{0});
}

void TestFakeIcmpProber::soonerDelaysCompleteFirst()
{
    FakeIcmpProber prober;
    prober.setReply("slow", 300ms);
    prober.setReply("fast", 10ms);
    prober.setTimeout("dead", 100ms);
    Log log;
    for (const std::string host : {"slow", "dead", "fast"})
        prober.probe(host, {}, log.recorder(host));
    QVERIFY(log.waitFor(3));
    QCOMPARE(log.hosts(), (std::vector<std::string>{"fast", "dead", "slow"}));
}

void TestFakeIcmpProber::callsAreLogged()
{
    FakeIcmpProber prober;
    prober.setReply("a", 0ms);
    EchoOptions options;
    options.dataSize = 1000;
    options.ttl = 3;
    prober.probeAndWait("a", options);
    prober.probeAndWait("b");

    const std::vector<FakeIcmpProber::Call> calls = prober.calls();
    QCOMPARE(calls.size(), std::size_t{2});
    QCOMPARE(calls[0].host, std::string("a"));
    QCOMPARE(calls[0].options.dataSize, 1000);
    QCOMPARE(calls[0].options.ttl, 3);
    QCOMPARE(calls[1].host, std::string("b"));
    QCOMPARE(calls[1].options.timeout, EchoOptions{}.timeout);
}

void TestFakeIcmpProber::unavailableFailsEveryProbe()
{
    FakeIcmpProber prober;
    prober.setReply("a", 0ms);
    prober.setUnavailable("no ICMP here");
    QVERIFY(!prober.available());
    QCOMPARE(prober.unavailableReason(), std::string("no ICMP here"));
    const EchoResult result = prober.probeAndWait("a");
    QCOMPARE(result.outcome, Outcome::Failure);
    QCOMPARE(result.error, ENOTSUP);
    QCOMPARE(result.reason, std::string("no ICMP here"));
}

void TestFakeIcmpProber::destructionCancelsWaitingProbes()
{
    Log log;
    {
        FakeIcmpProber prober;
        prober.setReply("slow", 1h);
        prober.setTimeout("dead", 1h);
        prober.probe("slow", {}, log.recorder("slow"));
        prober.probe("dead", {}, log.recorder("dead"));
        QCOMPARE(prober.waiting(), std::size_t{2});
    }
    const std::vector<Seen> seen = log.seen();
    QCOMPARE(seen.size(), std::size_t{2});
    for (const Seen &one : seen) {
        QCOMPARE(one.result.outcome, Outcome::Failure);
        QCOMPARE(one.result.error, ECANCELED);
    }
}

QTEST_GUILESS_MAIN(TestFakeIcmpProber)
#include "tst_fakeicmpprober.moc"
