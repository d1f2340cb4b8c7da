#pragma once

#include "platform/icmp/IcmpProber.h"

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace bench {

// Passes probes on to the prober it owns and notes when each one was asked for and when
// and how it ended, so that pacing and pass times can be read off afterwards.
class TimestampingProber : public platform::IcmpProber
{
public:
    using Clock = std::chrono::steady_clock;

    struct Probe
    {
        std::string host;
        Clock::time_point sent;
        std::optional<Clock::time_point> done;
        platform::EchoResult result;
    };

    explicit TimestampingProber(std::unique_ptr<platform::IcmpProber> inner);

    void probe(const std::string &host, const platform::EchoOptions &options,
               Completion done) override;
    bool available() const override { return m_inner->available(); }
    std::string unavailableReason() const override { return m_inner->unavailableReason(); }

    // Every probe so far, in the order they were asked for.
    std::vector<Probe> probes() const;
    std::size_t sent() const;
    // Whether the first count probes have all ended.
    bool firstEnded(std::size_t count) const;

private:
    mutable std::mutex m_mutex;
    std::deque<Probe> m_probes;
    // Last: its destruction completes the probes still in flight, which writes above.
    std::unique_ptr<platform::IcmpProber> m_inner;
};

} // namespace bench
