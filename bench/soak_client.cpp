// Soak run of the client. In a network namespace of its own, the real main window, logged in
// to a local back end, runs the batch latency test over an area of 2000 lines with the real
// ICMP prober for the whole run. Connects and disconnects through the simulated dialer come
// in bursts spread over the run, and the supervision and reporting timers tick many times
// faster than the client's own intervals. Every other platform layer is a test double.
// Memory, threads, descriptors and the probe queue are sampled at the start, once a minute
// and at the end; the run ends with a table and a verdict.
//
// Usage: soak_client [minutes]    (30 by default; needs root for the network namespace)

#include "app/ClientState.h"
#include "app/Services.h"
#include "mainwindow/Tfrmmain.h"
#include "platform/icmp/LinuxIcmpProber.h"
#include "support/ModalWindows.h"
#include "support/NetworkNamespace.h"
#include "support/TestEnvironment.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define SOAK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_UNDER_ASAN 1
#endif
#endif

#ifdef SOAK_UNDER_ASAN
// From the sanitizer's allocator interface; GCC does not install that header.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using mainwindow::Tfrmmain;
using platform::SimulatedDialer;

constexpr int LineCount = 2000;
constexpr int CyclesPerHalfHour = 200;
// One connect and disconnect with its hand-offs, and the batch test's restart after it.
constexpr auto CyclePeriod = 3s;
constexpr auto ConnectedTime = 1500ms;
constexpr auto DialTime = 60ms;
// Each round first leaves the batch test alone for longer than one pass over the table
// (2000 lines, 50 ms apart), so that the silent lines sorted to its end are probed too;
// the round's connect cycles follow in a burst.
constexpr auto RoundLength = 3min;
constexpr auto SampleInterval = 1min;
constexpr auto StepTimeout = 10s;
// Pool workers expire after 30 s without work.
constexpr auto SettleTimeout = 60s;

// What the run may show without counting as growth. The probe tasks only send their echo
// and return, so the pool's queue holds at most a task per worker in a burst; at most
// 20 probes a second with 4 s reply timeouts wait for replies; the rest is allocator noise.
constexpr int PoolMaxThreads = 40;
constexpr long long MostProbesWaiting = 20 * 4;
constexpr double HeapAllowanceMiB = 1.0;
constexpr double RssAllowanceMiB = 8.0;
#ifdef SOAK_UNDER_ASAN
// The sanitizer's quarantine and shadow memory make up most of the resident size.
constexpr bool RssJudged = false;
#else
constexpr bool RssJudged = true;
#endif

const QString Master = QStringLiteral("127.0.80.1");
const QString AreaName = QStringLiteral("浸泡测试");
const QString User = QStringLiteral("soak");
const QString Password = QStringLiteral("soak-pass");
const QString Connected = QStringLiteral("连接成功");
const QString Dropped = QStringLiteral("已断开连接");
const QString StartCaption = QStringLiteral("批量测速");
const QString PauseCaption = QStringLiteral("暂停测速");

// Most lines are local addresses, answered by the kernel at once. Every tenth goes through
// a route that leads nowhere, so its echo times out; a few have an unreachable or
// blackhole route, so the send itself fails and the row keeps its text.
struct SoakLine
{
    QString name;
    QString address;
};

std::vector<SoakLine> soakLines()
{
    std::vector<SoakLine> lines;
    lines.reserve(LineCount);
    for (int i = 0; i < LineCount; ++i) {
        QString address;
        if (i % 50 == 27)
            address = QStringLiteral("10.203.%1.%2").arg((i / 50) % 2).arg(i / 50 + 1);
        else if (i % 10 == 5)
            address = QStringLiteral("10.205.%1.%2").arg(i / 250).arg(i % 250 + 1);
        else
            address = QStringLiteral("10.202.%1.%2").arg(i / 250).arg(i % 250 + 1);
        lines.push_back(
            {QStringLiteral("浸泡线路%1").arg(i + 1, 4, 10, QLatin1Char('0')), address});
    }
    return lines;
}

bool setUpNetwork(QString *whyNot)
{
    if (!testsupport::enterPrivateNetworkNamespace(whyNot))
        return false;
    const QList<QStringList> commands{
        {"link", "set", "lo", "up"},
        {"route", "add", "local", "10.202.0.0/16", "dev", "lo"},
        // Non-local addresses sent out on the loopback device are dropped coming back in.
        {"route", "add", "10.205.0.0/16", "dev", "lo"},
        {"route", "add", "unreachable", "10.203.0.0/24"},
        {"route", "add", "blackhole", "10.203.1.0/24"}};
    for (const QStringList &command : commands) {
        const testsupport::IpResult result = testsupport::runIp(command);
        if (result.exitCode != 0) {
            *whyNot = QStringLiteral("ip %1: %2").arg(command.join(u' '), result.output);
            return false;
        }
    }
    return true;
}

devbackend::BackendData backendData(const std::vector<SoakLine> &lines)
{
    devbackend::BackendData data;
    // Another version than the client's arms the version reminder at login.
    data.version = QStringLiteral("6.1");
    data.accounts.insert(User, {Password, devbackend::AccountState::Valid, 30});
    // The first line dials with an account of its own, so the heartbeat and the validity
    // check run while it is up; the second dials with the user's own account.
    data.lines.insert(lines.at(0).address,
                      {false, QStringLiteral("dial-soak"), QStringLiteral("dial-pass")});
    data.lines.insert(lines.at(1).address, {true, {}, {}});
    QString catalogue = u'[' + AreaName + QStringLiteral("]\n");
    for (const SoakLine &line : lines)
        catalogue += line.name + u'=' + line.address + QStringLiteral(",99%,1\n");
    catalogue += QStringLiteral("[华北网通]\n北京1=127.0.2.1,95%,1\n[Route]\nr1=10.0.0.0\n");
    data.catalogue = catalogue;
    return data;
}

// Passes every probe to the real prober and counts how the probes end.
class CountingProber : public platform::IcmpProber
{
public:
    struct Counts
    {
        long long started = 0;
        long long replies = 0;
        long long timeouts = 0;
        long long failures = 0;
        long long mostWaiting = 0; // the most probes out at once so far

        long long finished() const { return replies + timeouts + failures; }
        long long waiting() const { return started - finished(); }
    };

    explicit CountingProber(platform::IcmpProber &real) : m_real(real) {}

    void probe(const std::string &host, const platform::EchoOptions &options,
               Completion done) override
    {
        const long long waiting = ++m_started - finished();
        for (long long most = m_mostWaiting; waiting > most;)
            m_mostWaiting.compare_exchange_weak(most, waiting);
        m_real.probe(host, options,
                     [this, done = std::move(done)](const platform::EchoResult &result) {
                         count(result.outcome);
                         done(result);
                     });
    }
    bool available() const override { return m_real.available(); }
    std::string unavailableReason() const override { return m_real.unavailableReason(); }

    Counts counts() const
    {
        // Finished ones first: a probe read as finished is then surely counted as started.
        Counts counts;
        counts.replies = m_replies;
        counts.timeouts = m_timeouts;
        counts.failures = m_failures;
        counts.started = m_started;
        counts.mostWaiting = m_mostWaiting;
        return counts;
    }

private:
    long long finished() const { return m_replies + m_timeouts + m_failures; }

    void count(platform::EchoResult::Outcome outcome)
    {
        switch (outcome) {
        case platform::EchoResult::Outcome::Reply:
            ++m_replies;
            return;
        case platform::EchoResult::Outcome::Timeout:
            ++m_timeouts;
            return;
        case platform::EchoResult::Outcome::Unresolvable:
        case platform::EchoResult::Outcome::Unreachable:
        case platform::EchoResult::Outcome::Failure:
            ++m_failures;
            return;
        }
    }

    platform::IcmpProber &m_real;
    std::atomic<long long> m_started = 0;
    std::atomic<long long> m_replies = 0;
    std::atomic<long long> m_timeouts = 0;
    std::atomic<long long> m_failures = 0;
    std::atomic<long long> m_mostWaiting = 0;
};

double mebibytes(double bytes)
{
    return bytes / (1024.0 * 1024.0);
}

// A count from /proc/self/status ("VmRSS" in kB, "Threads").
long long statusField(const std::string &name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(name + ':'))
            return std::stoll(line.substr(name.size() + 1));
    }
    return -1;
}

double heapInUseBytes()
{
#ifdef SOAK_UNDER_ASAN
    return double(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = ::mallinfo2();
    return double(info.uordblks + info.hblkhd);
#endif
}

// Open descriptors by number, with what each refers to.
std::map<int, std::string> openDescriptors()
{
    std::map<int, std::string> descriptors;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const int number = std::stoi(entry.path().filename().string());
        descriptors[number] = std::filesystem::read_symlink(entry.path(), error).string();
    }
    // The listing's own descriptor is gone again, and its target no longer readable.
    std::erase_if(descriptors, [](const auto &descriptor) { return descriptor.second.empty(); });
    return descriptors;
}

std::map<std::string, int> threadNames()
{
    std::map<std::string, int> names;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        std::getline(comm, name);
        ++names[name];
    }
    return names;
}

struct Sample
{
    QString label;
    double seconds = 0;
    double rssMiB = 0;
    double heapMiB = 0;
    long long threads = 0;
    int descriptors = 0;
    // The batch test's own diagnostics: queued probe tasks and busy pool threads; none
    // while the test does not run.
    std::optional<int> queued;
    std::optional<int> busyWorkers;
    CountingProber::Counts probes;
    int cycles = 0;
    int heartbeats = 0;
    int validityChecks = 0;
};

enum class DialPlay { Connect, Fail, Drop };

DialPlay playOfCycle(int cycle)
{
    switch (cycle % 10) {
    case 3:
        return DialPlay::Fail;
    case 7:
        return DialPlay::Drop;
    default:
        return DialPlay::Connect;
    }
}

const char *playName(DialPlay play)
{
    switch (play) {
    case DialPlay::Connect:
        return "connect";
    case DialPlay::Fail:
        return "failed dial";
    case DialPlay::Drop:
        return "drop";
    }
    return "";
}

// The main window with the test doubles around it, the real prober inside, and the
// controls a user would press.
class SoakedClient
{
public:
    SoakedClient(platform::IcmpProber &prober, const std::vector<SoakLine> &lines)
        : m_env(Master, Master), m_backend(testsupport::startBackend(Master, backendData(lines)))
    {
        app::services().icmp = &prober;
        app::services().config.dialer = QStringLiteral("sim");
        // A default route to copy, so that every connect pins the master node's route.
        platform::ForwardRow defaultRoute;
        defaultRoute.nextHop = 0x0100000a; // 10.0.0.1 in network byte order
        defaultRoute.interfaceIndex = 1;
        defaultRoute.type = 4;
        m_env.routing.setForwardRows({defaultRoute});
    }

    ~SoakedClient()
    {
        app::BatchTestRunning() = false;
        m_window.reset();
    }

    bool logIn()
    {
        m_window = std::make_unique<Tfrmmain>([this](int code) { m_exitCodes.append(code); });
        testsupport::whenModalShows([](QDialog *login) {
            login->findChild<QLineEdit *>("edt_user")->setText(User);
            login->findChild<QLineEdit *>("edt_pass")->setText(Password);
            QMetaObject::invokeMethod(login->findChild<QPushButton *>("btn_login"), "click");
        });
        m_window->FormCreate();
        if (!app::client().LoggedIn)
            return false;
        m_window->show();
        return control<QAbstractItemView>("vt1")->model()->rowCount() == LineCount;
    }

    // Only here, never in the client: every supervision and reporting timer ticks many
    // times faster than its real interval.
    void speedUpTimers()
    {
        const std::pair<const char *, int> intervals[] = {
            {"Timer1", 500},      {"Timer2", 50},        {"dialupstatus", 50},
            {"rast12", 100},      {"dialupcheck", 1000}, {"autodialstatus", 100},
            {"statuscheck", 100}, {"vercheck", 100},     {"datecheck", 250}};
        for (const auto &[name, interval] : intervals)
            control<QTimer>(name)->setInterval(interval);
    }

    void startBatchTest()
    {
        auto *button = control<QPushButton>("btn_speed");
        if (button->isEnabled() && button->text() == StartCaption)
            button->click();
    }

    void pauseBatchTest()
    {
        auto *button = control<QPushButton>("btn_speed");
        if (button->isEnabled() && button->text() == PauseCaption)
            button->click();
    }

    bool batchTestRunning() const { return app::BatchTestRunning(); }

    // "queued/busy" while the test runs.
    std::pair<std::optional<int>, std::optional<int>> poolDiagnostics() const
    {
        const QStringList parts = control<QLabel>("lbl_info")->text().split(u'/');
        if (!batchTestRunning() || parts.size() != 2)
            return {};
        bool queuedOk = false;
        bool busyOk = false;
        const int queued = parts.at(0).toInt(&queuedOk);
        const int busy = parts.at(1).toInt(&busyOk);
        return {queuedOk ? std::optional(queued) : std::nullopt,
                busyOk ? std::optional(busy) : std::nullopt};
    }

    // One connect on the given line that plays out as scripted, ending with the window
    // back from the tray; false, with the reason, when a step did not come.
    bool connectCycle(DialPlay play, int line, QString *whyNot)
    {
        SimulatedDialer::Outcome outcome;
        outcome.kind = play == DialPlay::Fail   ? SimulatedDialer::Outcome::Kind::Fail
                       : play == DialPlay::Drop ? SimulatedDialer::Outcome::Kind::ConnectThenDrop
                                                : SimulatedDialer::Outcome::Kind::Connect;
        outcome.after = DialTime;
        outcome.dropAfter = ConnectedTime;
        m_env.dialer.setOutcome(outcome);
        control<QComboBox>("IPAddrTxt")->setCurrentIndex(line);
        control<QPushButton>("btn_conn")->click();

        const auto step = [&](const char *what, const std::function<bool()> &done) {
            if (QTest::qWaitFor(done, int(std::chrono::milliseconds(StepTimeout).count())))
                return true;
            *whyNot =
                QStringLiteral("%1 did not come; status \"%2\"").arg(QLatin1String(what), status());
            return false;
        };
        if (play == DialPlay::Fail)
            return step("the dial error", [this] { return status().startsWith(u"错误"); });
        if (!step("the hand-off to the tray", [this] { return handedOff(); }))
            return false;
        if (play == DialPlay::Drop) {
            if (!step("the drop", [this] { return status() == Dropped; }))
                return false;
        } else {
            QTest::qWait(int(ConnectedTime.count()));
            control<QPushButton>("btn_disconn")->click();
        }
        emit m_env.tray.restoreRequested();
        return step("the window's return", [this] { return m_window->isVisible(); });
    }

    void close()
    {
        m_window->close();
        QTest::qWait(100);
    }

    // Heartbeats and validity checks the back end answered since the last call. The stand-in
    // back end keeps every request for tests to read; here that would be growth of the
    // harness, not of the client, so they are forgotten once counted.
    std::pair<int, int> takeReports()
    {
        int heartbeats = 0;
        int validityChecks = 0;
        for (const devbackend::LoggedRequest &request : m_backend->requests()) {
            heartbeats += request.path.endsWith(u"/statuscheck7193.php");
            validityChecks += request.path.endsWith(u"/usercheck7193.php");
        }
        m_backend->clearRequests();
        return {heartbeats, validityChecks};
    }
    bool closedCleanly() const { return m_exitCodes == QList<int>{0}; }

private:
    template <typename T> T *control(const char *name) const
    {
        T *found = m_window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("the main window has no %s", name);
        return found;
    }
    QString status() const { return control<QLabel>("statuslabel")->text(); }
    bool handedOff() const
    {
        return status() == Connected && !control<QTimer>("Timer2")->isActive() &&
               !m_window->isVisible();
    }

    testsupport::TestEnvironment m_env;
    std::unique_ptr<devbackend::DevBackend> m_backend;
    std::unique_ptr<Tfrmmain> m_window;
    QList<int> m_exitCodes;
};

struct SoakPlan
{
    int minutes = 30;
    int cycles = CyclesPerHalfHour;
    int rounds = 10;

    static std::optional<SoakPlan> fromArguments(const QStringList &arguments)
    {
        SoakPlan plan;
        if (arguments.size() > 2)
            return std::nullopt;
        if (arguments.size() == 2) {
            bool ok = false;
            plan.minutes = arguments.at(1).toInt(&ok);
            if (!ok || plan.minutes < 1)
                return std::nullopt;
        }
        // The same rate of cycles for any length of run.
        plan.cycles = std::max(1, (CyclesPerHalfHour * plan.minutes + 15) / 30);
        plan.rounds = std::max(1, int(std::chrono::minutes(plan.minutes) / RoundLength));
        return plan;
    }
    Clock::duration duration() const { return std::chrono::minutes(minutes); }
};

// What a run leaves for its verdict.
struct RunRecord
{
    std::vector<Sample> samples;
    std::map<int, std::string> startDescriptors;
    std::map<int, std::string> settledDescriptors;
    std::map<std::string, int> startThreads;
    std::map<std::string, int> settledThreads;
    int cyclesDone = 0;
    int cyclesAstray = 0;
    // The longest the batch test's queue was, watched all along rather than per sample.
    int mostQueued = 0;
    bool closedCleanly = false;
};

// The table of samples and the verdict against the growth the batch test allows.
class SoakReport
{
public:
    SoakReport(const SoakPlan &plan, const RunRecord &record) : m_plan(plan), m_record(record) {}

    static void printHeader()
    {
        std::printf("%-9s %7s %8s %9s %7s %4s %6s %5s %8s %8s %8s %8s %7s %6s %6s %6s\n", "sample",
                    "elapsed", "RSS MiB", "heap MiB", "threads", "fds", "queued", "busy", "probes",
                    "replies", "timeouts", "failed", "waiting", "cycles", "beats", "checks");
    }

    static void printRow(const Sample &sample)
    {
        const long long seconds = std::llround(sample.seconds);
        std::printf(
            "%-9s %4lld:%02lld %8.1f %9.2f %7lld %4d %6s %5s %8lld %8lld %8lld %8lld "
            "%7lld %6d %6d %6d\n",
            qPrintable(sample.label), seconds / 60, seconds % 60, sample.rssMiB, sample.heapMiB,
            sample.threads, sample.descriptors, qPrintable(optionalText(sample.queued)),
            qPrintable(optionalText(sample.busyWorkers)), sample.probes.finished(),
            sample.probes.replies, sample.probes.timeouts, sample.probes.failures,
            sample.probes.waiting(), sample.cycles, sample.heartbeats, sample.validityChecks);
        std::fflush(stdout);
    }

    // The table and the verdict; true when the run passed.
    bool print() const
    {
        std::printf("\nSoak run: %d min, %d lines, %d connect cycles\n\n", m_plan.minutes,
                    LineCount, m_plan.cycles);
        printHeader();
        for (const Sample &sample : m_record.samples)
            printRow(sample);

        const Sample &start = sampleNamed(QStringLiteral("start"));
        const Sample &from = baseline();
        const Sample &end = sampleNamed(QStringLiteral("end"));
        const Sample &settled = sampleNamed(QStringLiteral("settled"));
        const int mostQueued = m_record.mostQueued;
        const long long mostWaiting = end.probes.mostWaiting;
        const double heapGrowth = end.heapMiB - from.heapMiB;
        const double rssGrowth = end.rssMiB - from.rssMiB;
        const bool heapOk = heapGrowth <= HeapAllowanceMiB;
        const bool rssOk = !RssJudged || rssGrowth <= RssAllowanceMiB;
        const bool queueOk = mostQueued <= PoolMaxThreads;
        const bool waitingOk = mostWaiting <= MostProbesWaiting;
        const bool descriptorsOk =
            m_record.settledDescriptors.size() == m_record.startDescriptors.size();
        const bool threadsOk = m_record.settledThreads == m_record.startThreads;
        const bool cyclesOk = m_record.cyclesDone == m_plan.cycles && m_record.cyclesAstray == 0;
        const bool probedOk = end.probes.replies > 0 && end.probes.timeouts > 0;
        const bool closedOk = m_record.closedCleanly;
        const bool reportedOk = end.heartbeats > 0 && end.validityChecks > 0;

        const auto verdict = [](bool ok) { return ok ? "ok  " : "FAIL"; };
        const char *rssVerdict = RssJudged ? verdict(rssOk) : "--  ";
        std::printf("\nExpected: the feeder queues one probe every 50 ms and each pool task only\n"
                    "sends its echo and returns, while the ICMP layer waits for the replies on\n"
                    "its own thread. So the queue cannot build up as it would with workers\n"
                    "blocked on replies: at most a task per worker (%d) sits queued, at most\n"
                    "%lld probes wait for a reply (20/s for 4 s), and memory stays flat.\n\n",
                    PoolMaxThreads, MostProbesWaiting);
        std::printf("%s crash: none, the run reached its end and the window closed %s\n",
                    verdict(closedOk), closedOk ? "cleanly" : "WITHOUT ending the process");
        std::printf("%s heap in use %.2f MiB at %s, %.2f MiB at the end: %+.2f MiB "
                    "(allowed %.1f)\n",
                    verdict(heapOk), from.heapMiB, qPrintable(from.label), end.heapMiB, heapGrowth,
                    HeapAllowanceMiB);
        std::printf("%s RSS %.1f MiB at %s, %.1f MiB at the end: %+.1f MiB (%s)\n", rssVerdict,
                    from.rssMiB, qPrintable(from.label), end.rssMiB, rssGrowth,
                    RssJudged
                        ? qPrintable(QStringLiteral("allowed %1").arg(RssAllowanceMiB, 0, 'f', 1))
                        : "not judged under the sanitizers");
        std::printf("%s probe queue: at most %d queued, watched every 100 ms (allowed %d)\n",
                    verdict(queueOk), mostQueued, PoolMaxThreads);
        std::printf("%s probes waiting for a reply: at most %lld at once (allowed %lld)\n",
                    verdict(waitingOk), mostWaiting, MostProbesWaiting);
        std::printf("%s descriptors: %zu at the start, %zu settled\n", verdict(descriptorsOk),
                    m_record.startDescriptors.size(), m_record.settledDescriptors.size());
        printDifferences(m_record.startDescriptors, m_record.settledDescriptors);
        std::printf("%s threads: %lld at the start, %lld settled\n", verdict(threadsOk),
                    start.threads, settled.threads);
        printDifferences(m_record.startThreads, m_record.settledThreads);
        std::printf("%s probes: %lld replies, %lld timeouts, %lld failed sends (%.1f/s)\n",
                    verdict(probedOk), end.probes.replies, end.probes.timeouts, end.probes.failures,
                    double(end.probes.finished()) / end.seconds);
        std::printf("%s connect cycles: %d of %d as scripted\n", verdict(cyclesOk),
                    m_record.cyclesDone, m_plan.cycles);
        std::printf("%s reports while connected: %d heartbeats, %d validity checks\n",
                    verdict(reportedOk), end.heartbeats, end.validityChecks);
        const bool passed = closedOk && heapOk && rssOk && queueOk && waitingOk && descriptorsOk &&
                            threadsOk && probedOk && cyclesOk && reportedOk;
        std::printf("\nVerdict: %s\n", passed ? "PASS" : "FAIL");
        return passed;
    }

private:
    static QString optionalText(const std::optional<int> &value)
    {
        return value ? QString::number(*value) : QStringLiteral("-");
    }

    // Growth is measured from the first sample after the first round, when every line has
    // been probed and the pool has grown to what the run needs.
    const Sample &baseline() const
    {
        const int minute = std::max(1, (m_plan.minutes + 5) / 6);
        const QString label = QStringLiteral("%1 min").arg(minute);
        const auto found = std::find_if(m_record.samples.begin(), m_record.samples.end(),
                                        [&label](const Sample &s) { return s.label == label; });
        return found != m_record.samples.end() ? *found : m_record.samples.front();
    }

    const Sample &sampleNamed(const QString &label) const
    {
        return *std::find_if(m_record.samples.begin(), m_record.samples.end(),
                             [&label](const Sample &s) { return s.label == label; });
    }

    static std::string text(int number) { return std::to_string(number); }
    static const std::string &text(const std::string &name) { return name; }

    template <typename Key, typename Value>
    static void printDifferences(const std::map<Key, Value> &before,
                                 const std::map<Key, Value> &after)
    {
        for (const auto &[key, value] : after) {
            const auto found = before.find(key);
            if (found == before.end() || found->second != value)
                std::printf("       now  %s: %s\n", text(key).c_str(), text(value).c_str());
        }
        for (const auto &[key, value] : before) {
            if (!after.contains(key))
                std::printf("       gone %s: %s\n", text(key).c_str(), text(value).c_str());
        }
    }

    const SoakPlan &m_plan;
    const RunRecord &m_record;
};

class SoakRun
{
public:
    SoakRun(const SoakPlan &plan, CountingProber &prober, const std::vector<SoakLine> &lines)
        : m_plan(plan), m_prober(prober), m_client(prober, lines)
    {}

    // The exit status: 0 when the verdict is a pass.
    int execute()
    {
        if (!m_client.logIn()) {
            std::fprintf(stderr, "soak_client: the login or the area of %d lines failed\n",
                         LineCount);
            return 2;
        }
        m_client.speedUpTimers();
        SoakReport::printHeader();
        m_begin = Clock::now();
        m_nextSample = m_begin + SampleInterval;
        m_record.startDescriptors = openDescriptors();
        m_record.startThreads = threadNames();
        record(QStringLiteral("start"));
        m_client.startBatchTest();

        int cycle = 0;
        for (int round = 0; round < m_plan.rounds; ++round) {
            const Clock::time_point roundEnd =
                m_begin + m_plan.duration() * (round + 1) / m_plan.rounds;
            const int roundCycles = m_plan.cycles * (round + 1) / m_plan.rounds - cycle;
            runUntil(roundEnd - CyclePeriod * roundCycles);
            for (int i = 0; i < roundCycles; ++i, ++cycle) {
                const Clock::time_point cycleEnd = Clock::now() + CyclePeriod;
                runCycle(cycle);
                m_client.startBatchTest();
                runUntil(cycleEnd);
            }
        }
        runUntil(m_begin + m_plan.duration());
        record(QStringLiteral("end"));

        if (!settle())
            std::printf("  not settled after %lld s\n",
                        static_cast<long long>(std::chrono::seconds(SettleTimeout).count()));
        record(QStringLiteral("settled"));
        m_record.settledDescriptors = openDescriptors();
        m_record.settledThreads = threadNames();
        m_client.close();
        m_record.closedCleanly = m_client.closedCleanly();
        return SoakReport(m_plan, m_record).print() ? 0 : 1;
    }

private:
    void runCycle(int cycle)
    {
        const DialPlay play = playOfCycle(cycle);
        // Most cycles use the line with a dial account, which runs the heartbeat.
        const int line = cycle % 4 == 1 ? 1 : 0;
        QString whyNot;
        if (m_client.connectCycle(play, line, &whyNot)) {
            ++m_record.cyclesDone;
            return;
        }
        ++m_record.cyclesAstray;
        std::printf("  cycle %d (%s): %s\n", cycle + 1, playName(play), qPrintable(whyNot));
        std::fflush(stdout);
    }

    // Lets the client work until the given time, taking the minute samples on the way.
    void runUntil(Clock::time_point until)
    {
        for (Clock::time_point now = Clock::now(); now < until; now = Clock::now()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
            QTest::qWait(int(std::min<std::chrono::milliseconds>(left, 100ms).count()));
            m_record.mostQueued =
                std::max(m_record.mostQueued, m_client.poolDiagnostics().first.value_or(0));
            if (Clock::now() >= m_nextSample) {
                const auto minute =
                    std::chrono::duration_cast<std::chrono::minutes>(m_nextSample - m_begin);
                record(QStringLiteral("%1 min").arg(minute.count()));
                m_nextSample += SampleInterval;
            }
        }
    }

    // Stops the test and waits for the probes in flight and the idle pool workers to go,
    // so that threads and descriptors can be compared with the start. False when they did
    // not go in time; the comparison then shows what stayed.
    bool settle()
    {
        m_client.pauseBatchTest();
        const int timeout = int(std::chrono::milliseconds(SettleTimeout).count());
        const bool probesDone =
            QTest::qWaitFor([this] { return m_prober.counts().waiting() == 0; }, timeout);
        const bool threadsGone = QTest::qWaitFor(
            [this] {
                return threadNames() == m_record.startThreads &&
                       openDescriptors().size() == m_record.startDescriptors.size();
            },
            timeout);
        return probesDone && threadsGone;
    }

    void record(const QString &label)
    {
        Sample sample;
        sample.label = label;
        sample.seconds = std::chrono::duration<double>(Clock::now() - m_begin).count();
        sample.rssMiB = double(statusField("VmRSS")) / 1024.0;
        sample.heapMiB = mebibytes(heapInUseBytes());
        sample.threads = statusField("Threads");
        sample.descriptors = int(openDescriptors().size());
        std::tie(sample.queued, sample.busyWorkers) = m_client.poolDiagnostics();
        sample.probes = m_prober.counts();
        sample.cycles = m_record.cyclesDone + m_record.cyclesAstray;
        const auto [heartbeats, validityChecks] = m_client.takeReports();
        m_heartbeats += heartbeats;
        m_validityChecks += validityChecks;
        sample.heartbeats = m_heartbeats;
        sample.validityChecks = m_validityChecks;
        m_record.samples.push_back(sample);
        SoakReport::printRow(sample);
    }

    SoakPlan m_plan;
    CountingProber &m_prober;
    SoakedClient m_client;
    Clock::time_point m_begin;
    Clock::time_point m_nextSample;
    RunRecord m_record;
    int m_heartbeats = 0;
    int m_validityChecks = 0;
};

// Qt's warnings, each shown once: the off-screen platform answers every return of the
// window from the tray with the same one.
void showWarningOnce(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    static QSet<QString> shown;
    if (type == QtFatalMsg || !shown.contains(message)) {
        shown.insert(message);
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

int main(int argc, char *argv[])
{
    // Before any thread exists: a namespace entered later would not hold the threads
    // started before it.
    QString whyNot;
    if (!setUpNetwork(&whyNot)) {
        std::fprintf(stderr, "soak_client: %s\n", qPrintable(whyNot));
        return 2;
    }
    qInstallMessageHandler(showWarningOnce);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::optional<SoakPlan> plan = SoakPlan::fromArguments(application.arguments());
    if (!plan) {
        std::fprintf(stderr, "usage: soak_client [minutes]\n");
        return 2;
    }
    platform::LinuxIcmpProber realProber;
    if (!realProber.available()) {
        std::fprintf(stderr, "soak_client: %s\n", realProber.unavailableReason().c_str());
        return 2;
    }
    CountingProber prober(realProber);
    QTemporaryDir programFolder;
    app::ProgramFolder() = programFolder.path() + u'/';

    std::printf("Soak run: %d min, %d lines, %d connect cycles in %d rounds\n", plan->minutes,
                LineCount, plan->cycles, plan->rounds);
    std::fflush(stdout);
    const std::vector<SoakLine> lines = soakLines();
    int status = 0;
    {
        SoakRun run(*plan, prober, lines);
        status = run.execute();
    }
    return status;
}
