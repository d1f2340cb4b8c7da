#include "icmp/TimestampingProber.h"

#include <algorithm>

namespace bench {

TimestampingProber::TimestampingProber(std::unique_ptr<platform::IcmpProber> inner)
    : m_inner(std::move(inner))
{}

void TimestampingProber::probe(const std::string &host, const platform::EchoOptions &options,
                               Completion done)
{
    std::size_t index = 0;
    {
        std::lock_guard lock(m_mutex);
        index = m_probes.size();
        m_probes.push_back({host, Clock::now(), std::nullopt, {}});
    }
    m_inner->probe(host, options,
                   [this, index, done = std::move(done)](const platform::EchoResult &result) {
                       {
                           std::lock_guard lock(m_mutex);
                           m_probes[index].done = Clock::now();
                           m_probes[index].result = result;
                       }
                       done(result);
                   });
}

std::vector<TimestampingProber::Probe> TimestampingProber::probes() const
{
    std::lock_guard lock(m_mutex);
    return {m_probes.begin(), m_probes.end()};
}

std::size_t TimestampingProber::sent() const
{
    std::lock_guard lock(m_mutex);
    return m_probes.size();
}

bool TimestampingProber::firstEnded(std::size_t count) const
{
    std::lock_guard lock(m_mutex);
    return m_probes.size() >= count &&
           std::all_of(m_probes.begin(), m_probes.begin() + std::ptrdiff_t(count),
                       [](const Probe &probe) { return probe.done.has_value(); });
}

} // namespace bench
