#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// One run of /usr/bin/fping in this process's network namespace.
struct FpingRun
{
    bool ran = false;
    QString error; // why it did not run, or its complaint
    std::chrono::microseconds wall{0};
    std::chrono::microseconds cpu{0}; // user and system time of the fping process
    int received = 0;                 // flood(): replies over all hosts
    // One echo per host (sweep()): the round trip, nothing when no reply came. fping
    // prints three significant digits: to 10 µs below 10 ms, 100 µs below 100 ms, then ms.
    std::map<std::string, std::optional<std::chrono::microseconds>> roundTrips;
};

// One run of /usr/bin/fping, started on construction; finish() waits for its result.
class Fping
{
public:
    static bool installed();
    // One echo to every host in the order given, the requests interval apart: 56 data
    // bytes, TTL 64, timeout 4000 ms, no retries.
    static QStringList sweep(const std::vector<std::string> &hosts,
                             std::chrono::milliseconds interval);
    // count echoes to every host as fast as fping goes, quietly.
    static QStringList flood(const std::vector<std::string> &hosts, int count);

    // Runs on the given CPU only, unless it is negative.
    explicit Fping(const QStringList &arguments, int cpu = -1);
    FpingRun finish();

private:
    QProcess m_process;
    QElapsedTimer m_clock;
    std::chrono::microseconds m_cpuBefore{0};
};

} // namespace bench
