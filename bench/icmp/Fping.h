#pragma once

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
    // One echo per host (sweep()): the round trip, nothing when no reply came.
    std::map<std::string, std::optional<std::chrono::microseconds>> roundTrips;
    // The resolution of each printed round trip: fping prints three significant digits.
    std::map<std::string, std::chrono::microseconds> resolution;
};

class Fping
{
public:
    static bool installed();
    // One echo to every host, 56 data bytes, TTL 64, timeout 4000 ms, no retries, the
    // requests interval apart.
    static FpingRun sweep(const std::vector<std::string> &hosts,
                          std::chrono::milliseconds interval);
    // count echoes to every host as fast as fping goes, quietly, on the given CPU.
    static FpingRun flood(const std::vector<std::string> &hosts, int count, int cpu);

private:
    static FpingRun run(const QStringList &arguments, int cpu);
};

} // namespace bench
