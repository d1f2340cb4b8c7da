#include "icmp/Measurements.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace bench {

namespace {

std::chrono::microseconds cpuTime(const rusage &usage)
{
    const auto part = [](const timeval &time) {
        return std::chrono::seconds(time.tv_sec) + std::chrono::microseconds(time.tv_usec);
    };
    return part(usage.ru_utime) + part(usage.ru_stime);
}

long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

int countOpenDescriptors()
{
    DIR *directory = ::opendir("/proc/self/fd");
    if (directory == nullptr)
        return -1;
    int count = 0;
    while (const dirent *entry = ::readdir(directory)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(directory);
    return count - 1; // the directory's own descriptor
}

} // namespace

double percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * double(samples.size())));
    return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

Summary summarize(const std::vector<double> &samples)
{
    Summary summary;
    summary.count = samples.size();
    summary.median = percentile(samples, 0.5);
    summary.p95 = percentile(samples, 0.95);
    summary.p99 = percentile(samples, 0.99);
    summary.max = percentile(samples, 1.0);
    return summary;
}

std::vector<double> magnitudes(std::vector<double> samples)
{
    for (double &sample : samples)
        sample = std::abs(sample);
    return samples;
}

ResourceSnapshot ResourceSnapshot::take()
{
    ResourceSnapshot snapshot;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    snapshot.cpu = cpuTime(usage);
    ::getrusage(RUSAGE_CHILDREN, &usage);
    snapshot.childCpu = cpuTime(usage);
    snapshot.rssKiB = residentKiB();
    snapshot.openDescriptors = countOpenDescriptors();
    return snapshot;
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void Goals::judge(const std::string &goal, bool met, const std::string &measured)
{
    m_verdicts.push_back({goal, met, measured});
    std::printf("  %s  %s: %s\n", met ? "PASS" : "FAIL", goal.c_str(), measured.c_str());
}

bool Goals::summarize() const
{
    bool all = true;
    for (const Verdict &verdict : m_verdicts) {
        std::printf("%s  %-58s %s\n", verdict.met ? "PASS" : "FAIL", verdict.goal.c_str(),
                    verdict.measured.c_str());
        all = all && verdict.met;
    }
    return all;
}

} // namespace bench
