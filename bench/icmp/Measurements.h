#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace bench {

// Nearest-rank percentile (fraction in [0, 1]) of the samples; 0 when there are none.
double percentile(std::vector<double> samples, double fraction);

struct Summary
{
    std::size_t count = 0;
    double median = 0;
    double p95 = 0;
    double p99 = 0;
    double max = 0;
};

Summary summarize(const std::vector<double> &samples);

// The samples' distances from zero, for percentiles of a deviation in either direction.
std::vector<double> magnitudes(std::vector<double> samples);

// What the process has used so far.
struct ResourceSnapshot
{
    std::chrono::microseconds cpu{0};      // user and system time of this process
    std::chrono::microseconds childCpu{0}; // of its children that have been waited for
    long rssKiB = 0;                       // resident set now
    int openDescriptors = 0;

    static ResourceSnapshot take();
};

// The load averages of /proc/loadavg, as text.
std::string loadAverage();

// Collects the goals' verdicts and prints each as it is judged.
class Goals
{
public:
    void judge(const std::string &goal, bool met, const std::string &measured);
    // Prints the verdicts again, together; answers whether all were met.
    bool summarize() const;

private:
    struct Verdict
    {
        std::string goal;
        bool met;
        std::string measured;
    };
    std::vector<Verdict> m_verdicts;
};

} // namespace bench
