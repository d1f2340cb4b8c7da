// Measures the ICMP prober against fping on the same hosts in the same run, and the batch
// latency test's pacing and headroom, inside two network namespaces of its own (see
// icmp/Topology.h). Needs root, fping and nftables; skips with exit code 77 without them.
// Prints PASS or FAIL for each goal and exits with 1 when one was missed.
//
//   bench_icmp [--repetitions N (default 20, at least 5)]
//              [--only accuracy|pacing|throughput|memory|stall]

#include "icmp/BatchHarness.h"
#include "icmp/Fping.h"
#include "icmp/Measurements.h"
#include "icmp/TimestampingProber.h"
#include "icmp/Topology.h"

#include "app/Services.h"
#include "latency/PacingSchedule.h"
#include "platform/icmp/LinuxIcmpProber.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <latch>
#include <mutex>
#include <sched.h>
#include <semaphore>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using platform::EchoResult;
using platform::LinuxIcmpProber;
using Clock = std::chrono::steady_clock;
using Micros = std::chrono::microseconds;

constexpr int SkipExitCode = 77;
constexpr auto ReplyTimeout = 4000ms; // the batch test's
constexpr int KernelHosts = 50;
constexpr int DeadHosts = 10;
// The delays of the hosts behind the echo responder. Each has its own, spaced wider than
// the jitter of a busy machine, so that a reply matched to the wrong host shows; the last
// two straddle the timeout.
constexpr std::array EchoDelaysMs = {1,  4,  7,  10, 14, 18, 22, 26,  30,   35,   40,  45,
                                     50, 56, 62, 70, 78, 86, 94, 200, 1000, 3990, 4010};
constexpr int SilentEchoHost = 200;
const std::string JustInTime = bench::Topology::echoHost(EchoDelaysMs.size() - 2);
const std::string JustTooLate = bench::Topology::echoHost(EchoDelaysMs.size() - 1);

double microseconds(Clock::duration duration)
{
    return double(std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count()) / 1e3;
}

double milliseconds(Clock::duration duration)
{
    return microseconds(duration) / 1e3;
}

std::string format(const char *pattern, auto... values)
{
    char text[256];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

void printSummary(const std::string &label, const std::vector<double> &samples, const char *unit)
{
    const bench::Summary summary = bench::summarize(samples);
    std::printf("  %-44s n=%-5zu median %9.3f  p95 %9.3f  p99 %9.3f  max %9.3f %s\n", label.c_str(),
                summary.count, summary.median, summary.p95, summary.p99, summary.max, unit);
}

// The calling thread's time on a CPU and waiting in a run queue for one, from the
// scheduler's statistics.
struct ThreadTimes
{
    double runningMs = 0;
    double waitingMs = 0;
};

ThreadTimes threadTimes()
{
    std::ifstream schedstat("/proc/thread-self/schedstat");
    double runningNs = 0;
    double waitingNs = 0;
    schedstat >> runningNs >> waitingNs;
    return {runningNs / 1e6, waitingNs / 1e6};
}

void printResources(const char *label, const bench::ResourceSnapshot &before,
                    const bench::ResourceSnapshot &after)
{
    std::printf("  resources, %s: CPU %.3f s, RSS %ld -> %ld KiB, open descriptors %d -> %d\n",
                label, double((after.cpu - before.cpu).count()) / 1e6, before.rssKiB, after.rssKiB,
                before.openDescriptors, after.openDescriptors);
}

// ---- Hosts and sweeps ------------------------------------------------------------------

struct Host
{
    std::string address;
    std::optional<Micros> delay; // the configured reply delay; nothing: never answers
    bool kernel = false;         // answered by the kernel at once
};

bool shouldAnswer(const Host &host)
{
    return host.delay && *host.delay < ReplyTimeout;
}

// The responder's hosts come first, so that the start of a sweep shows at the responder;
// they are left out when there is none.
std::vector<Host> sweepHosts(testsupport::TunEchoResponder *responder)
{
    std::vector<Host> hosts;
    if (responder != nullptr) {
        for (std::size_t index = 0; index < EchoDelaysMs.size(); ++index) {
            const Host host{bench::Topology::echoHost(int(index)),
                            std::chrono::milliseconds(EchoDelaysMs[index]), false};
            responder->setDelay(host.address, *host.delay);
            hosts.push_back(host);
        }
        const std::string silent = bench::Topology::echoHost(SilentEchoHost);
        responder->setSilent(silent);
        hosts.push_back({silent, std::nullopt, false});
    }
    for (int index = 0; index < KernelHosts; ++index)
        hosts.push_back({bench::Topology::kernelHost(index), Micros(0), true});
    for (int index = 0; index < DeadHosts; ++index)
        hosts.push_back({bench::Topology::deadHost(index), std::nullopt, false});
    return hosts;
}

// Waits until fping's first echo reaches the responder, so that ours follow fping's
// within a fraction of a millisecond and a hold-up of the responder meets both alike.
void waitForFirstRequest(const testsupport::TunEchoResponder *responder)
{
    if (responder == nullptr)
        return;
    const std::uint64_t before = responder->requestsSeen();
    const auto giveUp = Clock::now() + 2s;
    while (responder->requestsSeen() == before && Clock::now() < giveUp)
        std::this_thread::sleep_for(20us);
}

std::vector<std::string> addressesOf(const std::vector<Host> &hosts)
{
    std::vector<std::string> addresses;
    for (const Host &host : hosts)
        addresses.push_back(host.address);
    return addresses;
}

// Every host's round trip in one sweep; nothing where no reply counted.
using Sweep = std::map<std::string, std::optional<Micros>>;

struct Tool
{
    std::string name;
    std::vector<Sweep> sweeps;
    std::vector<double> wallMs; // from the first request to the last result
};

struct ProberTool
{
    platform::IcmpProber *prober;
    Tool *tool;
};

// One echo to every host through each prober, in fping's order and at fping's interval,
// so that both tools' echoes to a host meet the same moment of a busy machine. Answers
// the CPU time the process used meanwhile, in milliseconds.
double sweepOurs(const std::vector<ProberTool> &tools, const std::vector<Host> &hosts,
                 std::chrono::milliseconds interval)
{
    std::mutex mutex;
    std::vector<Sweep> sweeps(tools.size());
    const auto start = Clock::now();
    std::vector<Clock::time_point> lastResult(tools.size(), start);
    std::latch left(std::ptrdiff_t(hosts.size() * tools.size()));
    const bench::ResourceSnapshot before = bench::ResourceSnapshot::take();
    for (std::size_t index = 0; index < hosts.size(); ++index) {
        std::this_thread::sleep_until(start + index * interval);
        for (std::size_t which = 0; which < tools.size(); ++which) {
            const std::string &address = hosts[index].address;
            tools[which].prober->probe(address, {}, [&, which, address](const EchoResult &result) {
                {
                    std::lock_guard lock(mutex);
                    sweeps[which][address] = result.outcome == EchoResult::Outcome::Reply
                                                 ? std::optional(result.elapsed)
                                                 : std::nullopt;
                    lastResult[which] = std::max(lastResult[which], Clock::now());
                }
                left.count_down();
            });
        }
    }
    left.wait();
    for (std::size_t which = 0; which < tools.size(); ++which) {
        tools[which].tool->sweeps.push_back(std::move(sweeps[which]));
        tools[which].tool->wallMs.push_back(milliseconds(lastResult[which] - start));
    }
    return double((bench::ResourceSnapshot::take().cpu - before.cpu).count()) / 1e3;
}

// A reply for a host that never answers belongs to another host, and so does one that came
// before its host's delay was up (the responder never answers early). Swapped replies
// show as the second: one of the two hosts gets the other's earlier reply.
bool wrongHost(const Host &host, Micros measured)
{
    return !host.delay || measured < *host.delay;
}

// Replies more than 1 ms past their delay: a busy machine holds up the responder.
bool lateOutlier(const Host &host, Micros measured)
{
    return host.delay && measured > *host.delay + 1ms;
}

struct Accuracy
{
    std::vector<double> kernelErrors;  // µs, round trip less the configured delay
    std::vector<double> delayedErrors; // µs
    int wrongHosts = 0;
    int lateOutliers = 0;
    int aliveDeadMismatches = 0;
    int probes = 0;
};

Accuracy analyse(const Tool &tool, const std::vector<Host> &hosts)
{
    Accuracy accuracy;
    for (const Sweep &sweep : tool.sweeps) {
        for (const Host &host : hosts) {
            const auto found = sweep.find(host.address);
            const std::optional<Micros> measured =
                found == sweep.end() ? std::nullopt : found->second;
            ++accuracy.probes;
            if (measured.has_value() != shouldAnswer(host))
                ++accuracy.aliveDeadMismatches;
            if (!measured)
                continue;
            if (wrongHost(host, *measured))
                ++accuracy.wrongHosts;
            if (lateOutlier(host, *measured))
                ++accuracy.lateOutliers;
            if (!host.delay)
                continue;
            const auto error = double((*measured - *host.delay).count());
            (host.kernel ? accuracy.kernelErrors : accuracy.delayedErrors).push_back(error);
        }
    }
    return accuracy;
}

// Ours less fping per host and sweep where both had a reply, over the chosen hosts.
std::vector<double> difference(const Tool &ours, const Tool &fping, const std::vector<Host> &hosts,
                               const std::function<bool(const Host &)> &chosen)
{
    std::vector<double> differences;
    for (std::size_t sweep = 0; sweep < ours.sweeps.size(); ++sweep) {
        for (const Host &host : hosts) {
            const auto mine = ours.sweeps[sweep].find(host.address);
            const auto theirs = fping.sweeps[sweep].find(host.address);
            if (chosen(host) && mine != ours.sweeps[sweep].end() && mine->second &&
                theirs != fping.sweeps[sweep].end() && theirs->second)
                differences.push_back(double((*mine->second - *theirs->second).count()));
        }
    }
    return differences;
}

bool isKernelHost(const Host &host)
{
    return host.kernel;
}

// Delayed hosts whose round trips fping prints to 100 µs or finer.
bool isFinelyPrinted(const Host &host)
{
    return !host.kernel && host.delay && *host.delay < 100ms;
}

bool isCoarselyPrinted(const Host &host)
{
    return !host.kernel && host.delay && *host.delay >= 100ms;
}

std::vector<double> errorsOf(const Tool &tool, const Host &host)
{
    std::vector<double> errors;
    for (const Sweep &sweep : tool.sweeps) {
        const auto found = sweep.find(host.address);
        if (found != sweep.end() && found->second)
            errors.push_back(double((*found->second - *host.delay).count()));
    }
    return errors;
}

void printEchoHosts(const std::vector<Host> &hosts, const std::vector<const Tool *> &tools)
{
    std::printf("\n  Hosts behind the echo responder: error against the configured delay, "
                "median (max) in µs,\n  replies in brackets\n");
    std::printf("  %-12s %8s", "host", "delay ms");
    for (const Tool *tool : tools)
        std::printf(" %26s", tool->name.c_str());
    std::printf("\n");
    for (const Host &host : hosts) {
        if (host.kernel || !host.delay)
            continue;
        std::printf("  %-12s %8lld", host.address.c_str(),
                    static_cast<long long>(host.delay->count() / 1000));
        for (const Tool *tool : tools) {
            const std::vector<double> errors = errorsOf(*tool, host);
            const bench::Summary summary = bench::summarize(errors);
            std::printf(" %11.0f (%7.0f) [%zu/%zu]", summary.median, summary.max, errors.size(),
                        tool->sweeps.size());
        }
        std::printf("\n");
    }
}

// Whether every sweep took the reply just inside the timeout and lost the one just beyond.
bool timeoutEdgeHeld(const Tool &tool)
{
    return std::all_of(tool.sweeps.begin(), tool.sweeps.end(), [](const Sweep &sweep) {
        const auto inTime = sweep.find(JustInTime);
        const auto late = sweep.find(JustTooLate);
        return inTime != sweep.end() && inTime->second && late != sweep.end() && !late->second;
    });
}

void measureAccuracy(const bench::Topology &topology, int repetitions, bench::Goals &goals)
{
    std::printf("\n== Accuracy: %d sweeps, each one echo per host from each tool, all three tools "
                "at once, hosts 1 ms apart ==\n",
                repetitions);
    QString whyNot;
    const std::unique_ptr<testsupport::TunEchoResponder> responder =
        topology.startResponder(&whyNot);
    if (!responder)
        std::printf("  no echo responder, so no delayed hosts: %s\n", qPrintable(whyNot));
    const std::vector<Host> hosts = sweepHosts(responder.get());
    std::printf("  hosts: %d answered by the kernel, %d dropped by nftables, %zu behind the echo "
                "responder (one of them silent)\n",
                KernelHosts, DeadHosts, responder ? EchoDelaysMs.size() + 1 : 0);
    LinuxIcmpProber raw(LinuxIcmpProber::SocketChoice::RawOnly);
    LinuxIcmpProber datagram(LinuxIcmpProber::SocketChoice::DatagramOnly);
    if (!raw.available() || !datagram.available()) {
        goals.judge("ICMP sockets open", false,
                    raw.unavailableReason() + datagram.unavailableReason());
        return;
    }
    Tool ours{"ours (raw socket)", {}, {}};
    Tool oursDatagram{"ours (datagram socket)", {}, {}};
    Tool fping{"fping", {}, {}};
    std::vector<double> oursCpuMs;
    std::vector<double> fpingCpuMs;
    constexpr auto Interval = 1ms;
    const bench::ResourceSnapshot before = bench::ResourceSnapshot::take();
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        bench::Fping running(bench::Fping::sweep(addressesOf(hosts), Interval));
        waitForFirstRequest(responder.get());
        oursCpuMs.push_back(
            sweepOurs({{&raw, &ours}, {&datagram, &oursDatagram}}, hosts, Interval));
        const bench::FpingRun run = running.finish();
        if (!run.ran)
            std::printf("  fping did not run: %s\n", qPrintable(run.error));
        fping.sweeps.push_back(run.roundTrips);
        fping.wallMs.push_back(double(run.wall.count()) / 1e3);
        fpingCpuMs.push_back(double(run.cpu.count()) / 1e3);
    }
    printResources("accuracy sweeps (fping's CPU is not in it)", before,
                   bench::ResourceSnapshot::take());

    std::printf("\n  Error against the configured delay, kernel-answered hosts (µs):\n");
    std::map<std::string, Accuracy> accuracies;
    for (const Tool *tool : {&ours, &oursDatagram, &fping}) {
        accuracies[tool->name] = analyse(*tool, hosts);
        printSummary(tool->name, accuracies[tool->name].kernelErrors, "µs");
    }
    std::printf("\n  Error against the configured delay, hosts behind the responder (µs):\n");
    for (const Tool *tool : {&ours, &oursDatagram, &fping})
        printSummary(tool->name, accuracies[tool->name].delayedErrors, "µs");
    if (responder)
        printEchoHosts(hosts, {&ours, &oursDatagram, &fping});
    std::printf("\n  Ours less fping, same host and sweep (µs):\n");
    std::map<std::string, std::vector<double>> fineDifferences;
    for (const Tool *tool : {&ours, &oursDatagram}) {
        const std::vector<double> kernel = difference(*tool, fping, hosts, isKernelHost);
        const std::vector<double> fine = fineDifferences[tool->name] =
            difference(*tool, fping, hosts, isFinelyPrinted);
        const std::vector<double> coarse = difference(*tool, fping, hosts, isCoarselyPrinted);
        printSummary(tool->name + ", kernel hosts", kernel, "µs");
        printSummary("  |difference|", bench::magnitudes(kernel), "µs");
        printSummary(tool->name + ", delayed < 100 ms", fine, "µs");
        printSummary("  |difference|", bench::magnitudes(fine), "µs");
        printSummary(tool->name + ", delayed >= 100 ms (fping to 1 ms)", coarse, "µs");
        printSummary("  |difference|", bench::magnitudes(coarse), "µs");
    }
    std::printf("\n  Sweep time (first request to last result) and CPU per sweep:\n");
    for (const Tool *tool : {&ours, &oursDatagram, &fping})
        printSummary(tool->name + ", sweep time", tool->wallMs, "ms");
    printSummary("ours, both probers together, CPU", oursCpuMs, "ms");
    printSummary("fping, CPU", fpingCpuMs, "ms");
    std::printf("\n  Matching and liveness (per probe):\n");
    for (const Tool *tool : {&ours, &oursDatagram, &fping}) {
        const Accuracy &accuracy = accuracies[tool->name];
        std::printf("  %-24s probes %4d, wrong-host replies %d, alive/dead not as configured %d, "
                    "replies over 1 ms late %d\n",
                    tool->name.c_str(), accuracy.probes, accuracy.wrongHosts,
                    accuracy.aliveDeadMismatches, accuracy.lateOutliers);
    }
    if (responder)
        std::printf("  echo responder: %llu requests seen, %llu replies sent\n",
                    static_cast<unsigned long long>(responder->requestsSeen()),
                    static_cast<unsigned long long>(responder->repliesSent()));

    std::printf("\n  Goals:\n");
    for (const Tool *tool : {&ours, &oursDatagram}) {
        const Accuracy &accuracy = accuracies[tool->name];
        const bench::Summary kernel = bench::summarize(accuracy.kernelErrors);
        goals.judge(tool->name + ": zero-delay median error <= 20 us", kernel.median <= 20,
                    format("%.1f us", kernel.median));
        goals.judge(tool->name + ": zero-delay p99 error <= 200 us", kernel.p99 <= 200,
                    format("%.1f us", kernel.p99));
        goals.judge(tool->name + ": no reply matched to the wrong host", accuracy.wrongHosts == 0,
                    format("%d of %d", accuracy.wrongHosts, accuracy.probes));
        goals.judge(tool->name + ": alive/dead exactly as configured",
                    accuracy.aliveDeadMismatches == 0,
                    format("%d of %d differ", accuracy.aliveDeadMismatches, accuracy.probes));
        const std::vector<double> &delayed = fineDifferences[tool->name];
        // Ours later than fping is what the goals limit; earlier is fping's rounding or its
        // own delay, shown with the |difference| figures above.
        const bench::Summary behind = bench::summarize(delayed);
        const double median = behind.median;
        const double p99 = behind.p99;
        const bool measured = !delayed.empty();
        goals.judge(tool->name + ": delayed < 100 ms, ours - fping median <= 50 us",
                    measured && median <= 50,
                    measured ? format("%.1f us", median) : "not measured");
        goals.judge(tool->name + ": delayed < 100 ms, ours - fping p99 <= 0.5 ms",
                    measured && p99 <= 500, measured ? format("%.1f us", p99) : "not measured");
        goals.judge(tool->name + ": a 3990 ms reply counts, a 4010 ms one is lost",
                    responder && timeoutEdgeHeld(*tool),
                    responder
                        ? format("%s in %zu sweeps", timeoutEdgeHeld(*tool) ? "held" : "broken",
                                 tool->sweeps.size())
                        : "not measured");
    }
}

// ---- Pacing through the batch test --------------------------------------------------------

void measurePacing(bench::Goals &goals)
{
    constexpr int Lines = 100;
    constexpr auto Pacing = 50ms;
    std::printf("\n== Pacing: the batch test over %d lines, every second one dead, %lld ms "
                "pacing, two passes ==\n",
                Lines, static_cast<long long>(Pacing.count()));
    // The last line is a dead one: the pass then ends with a full timeout.
    std::vector<std::string> lines;
    for (int index = 0; index < Lines; ++index)
        lines.push_back(index % 2 == 0 ? bench::Topology::kernelHost(index / 2)
                                       : bench::Topology::deadHost(index / 2 % DeadHosts));
    bench::TimestampingProber prober(std::make_unique<LinuxIcmpProber>());
    app::services().icmp = &prober;
    const bench::ResourceSnapshot before = bench::ResourceSnapshot::take();
    std::vector<double> bareDeviations;
    {
        // A bare thread on the feeder's schedule meanwhile, without the worker pool, shows
        // what the machine itself adds.
        const std::jthread bare([&bareDeviations, Pacing](const std::stop_token &stop) {
            latency::PacingSchedule schedule(Pacing, Clock::now());
            auto previous = Clock::now();
            while (!stop.stop_requested()) {
                std::this_thread::sleep_until(schedule.due());
                const auto now = Clock::now();
                schedule.advance(now);
                bareDeviations.push_back(milliseconds(now - previous) - double(Pacing.count()));
                previous = now;
            }
        });
        bench::BatchHarness harness(lines, Pacing);
        harness.toggle();
        const bool done = bench::runEventsUntil(
            [&] { return prober.sent() >= 2 * Lines && prober.firstEnded(Lines); }, 60s);
        harness.toggle();
        if (!done) {
            goals.judge("batch test made two passes", false, "it did not within 60 s");
            return;
        }
    }
    printResources("pacing run", before, bench::ResourceSnapshot::take());

    const std::vector<bench::TimestampingProber::Probe> probes = prober.probes();
    std::vector<double> intervals;
    for (std::size_t index = 1; index < 2 * Lines; ++index)
        intervals.push_back(milliseconds(probes[index].sent - probes[index - 1].sent));
    std::vector<double> deviations;
    for (const double interval : intervals)
        deviations.push_back(interval - double(Pacing.count()));
    Clock::time_point lastResult = probes.front().sent;
    for (std::size_t index = 0; index < Lines; ++index)
        lastResult = std::max(lastResult, *probes[index].done);
    const double passMs = milliseconds(lastResult - probes.front().sent);
    const double queueMs = milliseconds(probes[Lines - 1].sent - probes.front().sent);
    const double limitMs = (Lines - 1) * double(Pacing.count()) * 1.01 + 4000;

    printSummary("interval between probes", intervals, "ms");
    printSummary("|interval - 50 ms|", bench::magnitudes(deviations), "ms");
    printSummary("|interval - 50 ms|, a bare thread meanwhile", bench::magnitudes(bareDeviations),
                 "ms");
    std::printf("  first pass: probes sent over %.1f ms ((N-1)*50 = %d ms), last result after "
                "%.1f ms\n",
                queueMs, (Lines - 1) * 50, passMs);
    std::printf("\n  Goals:\n");
    const bench::Summary deviation = bench::summarize(bench::magnitudes(deviations));
    goals.judge("pacing: one probe per 50 ms +- 1 ms (p99)", deviation.p99 <= 1.0,
                format("p99 deviation %.3f ms", deviation.p99));
    goals.judge(format("pass over %d lines <= (N-1)*50 ms*1.01 + 4 s", Lines), passMs <= limitMs,
                format("%.1f ms (limit %.1f ms)", passMs, limitMs));
}

// ---- Headroom ----------------------------------------------------------------------------

// Keeps this thread, and the threads it starts, on one CPU while it lives.
class PinnedToOneCpu
{
public:
    explicit PinnedToOneCpu(int cpu)
    {
        ::sched_getaffinity(0, sizeof m_saved, &m_saved);
        cpu_set_t only;
        CPU_ZERO(&only);
        CPU_SET(cpu, &only);
        ::sched_setaffinity(0, sizeof only, &only);
    }
    ~PinnedToOneCpu() { ::sched_setaffinity(0, sizeof m_saved, &m_saved); }
    PinnedToOneCpu(const PinnedToOneCpu &) = delete;
    PinnedToOneCpu &operator=(const PinnedToOneCpu &) = delete;

private:
    cpu_set_t m_saved{};
};

struct Flood
{
    int probes = 0;
    int replies = 0;
    double wallS = 0;
    double cpuS = 0;
};

// As many echoes as the prober takes, a window of them in flight, prober and sender on the
// one CPU.
Flood floodOurs(const std::vector<std::string> &hosts, int probes, int cpu)
{
    constexpr std::ptrdiff_t Window = 64;
    PinnedToOneCpu pinned(cpu);
    LinuxIcmpProber prober;
    std::counting_semaphore<Window> window(Window);
    std::latch left(probes);
    std::atomic<int> replies = 0;
    platform::EchoOptions options;
    options.timeout = 1000ms;
    const bench::ResourceSnapshot before = bench::ResourceSnapshot::take();
    const auto start = Clock::now();
    for (int index = 0; index < probes; ++index) {
        window.acquire();
        prober.probe(hosts[std::size_t(index) % hosts.size()], options,
                     [&](const EchoResult &result) {
                         if (result.outcome == EchoResult::Outcome::Reply)
                             ++replies;
                         window.release();
                         left.count_down();
                     });
    }
    left.wait();
    Flood flood;
    flood.probes = probes;
    flood.replies = replies;
    flood.wallS = microseconds(Clock::now() - start) / 1e6;
    flood.cpuS = double((bench::ResourceSnapshot::take().cpu - before.cpu).count()) / 1e6;
    return flood;
}

void measureThroughput(bench::Goals &goals)
{
    const int cpu = int(std::thread::hardware_concurrency()) - 1;
    std::printf("\n== Headroom: probes per second and CPU per probe, pacing off, on CPU %d ==\n",
                cpu);
    std::vector<std::string> hosts;
    for (int index = 0; index < 100; ++index)
        hosts.push_back(bench::Topology::bulkHost(index));
    floodOurs(hosts, 2000, cpu); // warms up neighbours and caches
    const Flood ours = floodOurs(hosts, 50000, cpu);
    const bench::FpingRun fping = bench::Fping(bench::Fping::flood(hosts, 100), cpu).finish();
    const int fpingProbes = 100 * int(hosts.size());
    const double oursRate = ours.probes / ours.wallS;
    const double oursCpu = ours.cpuS * 1e6 / ours.probes;
    const double fpingCpu = double(fping.cpu.count()) / fpingProbes;
    std::printf("  ours:  %d probes, %d replies in %.3f s: %.0f probes/s, CPU %.3f s = %.2f µs "
                "per probe\n",
                ours.probes, ours.replies, ours.wallS, oursRate, ours.cpuS, oursCpu);
    if (!fping.ran)
        std::printf("  fping did not run: %s\n", qPrintable(fping.error));
    std::printf("  fping: %d probes, %d replies in %.3f s: %.0f probes/s, CPU %.3f s = %.2f µs "
                "per probe\n",
                fpingProbes, fping.received, double(fping.wall.count()) / 1e6,
                fpingProbes / (double(fping.wall.count()) / 1e6), double(fping.cpu.count()) / 1e6,
                fpingCpu);
    std::printf("\n  Goals:\n");
    goals.judge("probes per second on one core >= 5000", oursRate >= 5000,
                format("%.0f/s, %d of %d answered", oursRate, ours.replies, ours.probes));
    goals.judge("CPU per probe <= 2x fping's", fping.ran && oursCpu <= 2 * fpingCpu,
                format("%.2f us vs %.2f us (%.2fx)", oursCpu, fpingCpu, oursCpu / fpingCpu));
}

// The resident set after one full-speed pass of the batch test over lines kernel-answered
// lines, with the table still filled.
long residentAfterPass(int lines)
{
    std::vector<std::string> hosts;
    for (int index = 0; index < lines; ++index)
        hosts.push_back(bench::Topology::bulkHost(index));
    bench::TimestampingProber prober(std::make_unique<LinuxIcmpProber>());
    app::services().icmp = &prober;
    bench::BatchHarness harness(hosts, 0ms);
    harness.toggle();
    if (!bench::runEventsUntil([&] { return prober.firstEnded(std::size_t(lines)); }, 60s))
        return -1;
    harness.toggle();
    return bench::ResourceSnapshot::take().rssKiB;
}

void measureMemory(bench::Goals &goals)
{
    std::printf("\n== Headroom: memory per line, one pass with pacing off ==\n");
    residentAfterPass(1000); // lets the allocator and Qt reach their working size
    const long small = residentAfterPass(1000);
    const long large = residentAfterPass(10000);
    const double perLine = double(large - small) * 1024 / 9000;
    std::printf("  RSS after a pass: 1000 lines %ld KiB, 10000 lines %ld KiB\n", small, large);
    std::printf("\n  Goals:\n");
    goals.judge("memory per line <= 1 KB", small > 0 && large > 0 && perLine <= 1024,
                format("%.0f bytes", perLine));
}

void measureGuiStall(bench::Goals &goals)
{
    constexpr int Lines = 1000;
    constexpr auto Run = 10s;
    std::printf("\n== Headroom: GUI thread stalls during a %d-line batch test (1 ms pacing, 30%% "
                "dead lines, table shown, %lld s) ==\n",
                Lines, static_cast<long long>(Run.count()));
    std::vector<std::string> hosts;
    for (int index = 0; index < Lines; ++index)
        hosts.push_back(index % 10 < 3 ? bench::Topology::deadHost(index % DeadHosts)
                                       : bench::Topology::bulkHost(index));
    bench::TimestampingProber prober(std::make_unique<LinuxIcmpProber>());
    app::services().icmp = &prober;
    bench::BatchHarness harness(hosts, 1ms);
    harness.showTable();
    // The first paint loads fonts once; that is no stall of the batch test.
    const auto settled = Clock::now() + 500ms;
    bench::runEventsUntil([&] { return Clock::now() >= settled; }, 1s);
    // How the GUI thread spent the longest gap tells our own work (running) from a busy
    // machine (waiting for a CPU); the rest it slept or was blocked.
    std::vector<double> gaps;
    ThreadTimes longest;
    double longestAtS = 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point lastTick = start;
    ThreadTimes last = threadTimes();
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const ThreadTimes times = threadTimes();
        const double gap = milliseconds(now - lastTick);
        if (gaps.empty() || gap > *std::max_element(gaps.begin(), gaps.end())) {
            longest = {times.runningMs - last.runningMs, times.waitingMs - last.waitingMs};
            longestAtS = milliseconds(now - start) / 1e3;
        }
        gaps.push_back(gap);
        lastTick = now;
        last = times;
    });
    // A bare thread ticking alike meanwhile: a gap there too is the machine's (on a virtual
    // machine a timer can fire late when the host does not run the virtual CPU).
    double bareLongestMs = 0;
    std::jthread bare([&bareLongestMs](const std::stop_token &stop) {
        auto previous = Clock::now();
        while (!stop.stop_requested()) {
            std::this_thread::sleep_for(1ms);
            const auto now = Clock::now();
            bareLongestMs = std::max(bareLongestMs, milliseconds(now - previous));
            previous = now;
        }
    });
    ticker.start(1);
    harness.toggle();
    const auto end = Clock::now() + Run;
    bench::runEventsUntil([&] { return Clock::now() >= end; }, Run + 1s);
    harness.toggle();
    ticker.stop();
    bare = {};
    const std::size_t results = prober.probes().size();
    printSummary("gap between 1 ms ticks", gaps, "ms");
    const double longestGap = bench::summarize(gaps).max;
    std::printf("  longest gap %.1f ms, %.1f s in: the GUI thread ran %.1f ms, waited for a CPU "
                "%.1f ms, slept or was blocked %.1f ms\n",
                longestGap, longestAtS, longest.runningMs, longest.waitingMs,
                std::max(0.0, longestGap - longest.runningMs - longest.waitingMs));
    std::printf("  a bare thread's longest gap between 1 ms sleeps meanwhile: %.1f ms; probes sent "
                "meanwhile: %zu\n",
                bareLongestMs, results);
    std::printf("\n  Goals:\n");
    goals.judge("longest GUI stall during a 1000-line batch test <= 50 ms", longestGap <= 50,
                format("%.1f ms", longestGap));
}

// ---- Set-up ------------------------------------------------------------------------------

int skip(const QString &why)
{
    std::printf("SKIP: %s\n", qPrintable(why));
    return SkipExitCode;
}

// The namespace is the process's own: admitting every group lets the client use the
// unprivileged datagram socket, as it does on most desktops.
bool admitPingSockets()
{
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
    return range.open(QIODevice::WriteOnly) && range.write("0 2147483647\n") > 0;
}

QString optionValue(const QStringList &arguments, const QString &option)
{
    const qsizetype found = arguments.indexOf(option);
    return found < 0 || found + 1 >= arguments.size() ? QString() : arguments.at(found + 1);
}

void printSetting(const bench::Topology &topology)
{
    utsname system{};
    ::uname(&system);
    std::printf(
        "ICMP benchmark: ours (LinuxIcmpProber, batch test) against %s\n",
        qPrintable(topology.runHere(QStringLiteral("/usr/bin/fping"), {"-v"}).output.trimmed()));
    std::printf("kernel %s, %u CPUs, load average %s\n", system.release,
                std::thread::hardware_concurrency(), bench::loadAverage().c_str());
}

} // namespace

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (::geteuid() != 0)
        return skip(QStringLiteral("needs root (network namespaces, veth pair, nftables)"));
    if (!bench::Fping::installed())
        return skip(QStringLiteral("needs /usr/bin/fping (Debian package fping)"));
    if (!QFileInfo(QStringLiteral("/usr/sbin/nft")).isExecutable())
        return skip(QStringLiteral("needs /usr/sbin/nft (Debian package nftables)"));
    bench::Topology topology;
    QString whyNot;
    if (!topology.enterNamespaces(&whyNot))
        return skip(whyNot);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (!topology.build(&whyNot))
        return skip(QStringLiteral("cannot build the namespaces' network: ") + whyNot);
    if (!admitPingSockets())
        return skip(QStringLiteral("cannot open ping sockets in the source namespace"));
    const QStringList arguments = QApplication::arguments();
    const QString repetitionsGiven = optionValue(arguments, QStringLiteral("--repetitions"));
    const int repetitions = repetitionsGiven.isEmpty() ? 20 : std::max(5, repetitionsGiven.toInt());
    const QString only = optionValue(arguments, QStringLiteral("--only"));
    const auto chosen = [&only](const char *section) {
        return only.isEmpty() || only == QLatin1String(section);
    };
    testsupport::TestEnvironment environment(QStringLiteral("127.0.72.1"),
                                             QStringLiteral("127.0.72.2"));
    printSetting(topology);
    const bench::ResourceSnapshot start = bench::ResourceSnapshot::take();

    bench::Goals goals;
    if (chosen("accuracy"))
        measureAccuracy(topology, repetitions, goals);
    if (chosen("pacing"))
        measurePacing(goals);
    if (chosen("throughput"))
        measureThroughput(goals);
    if (chosen("memory"))
        measureMemory(goals);
    if (chosen("stall"))
        measureGuiStall(goals);
    app::services().icmp = &environment.icmp;

    std::printf("\n== Summary (load average now %s) ==\n", bench::loadAverage().c_str());
    printResources("whole run", start, bench::ResourceSnapshot::take());
    return goals.summarize() ? 0 : 1;
}
