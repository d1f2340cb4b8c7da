#pragma once

#include "platform/icmp/IcmpProber.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace platform {

// Scripted probe results per host, for tests of code that measures latency.
//
// Replies and timeouts complete on the fake's own thread once their scripted delay has
// passed; Unresolvable and Failure results (and every probe while unavailable) complete on
// the calling thread before probe() returns, as the Linux prober's immediate results do.
// Hosts without a script are unresolvable. Destruction completes probes still waiting with
// Failure (ECANCELED) on the destroying thread.
class FakeIcmpProber : public IcmpProber
{
public:
    struct Call
    {
        std::string host;
        EchoOptions options;
    };

    FakeIcmpProber();
    FakeIcmpProber(const FakeIcmpProber &) = delete;
    FakeIcmpProber &operator=(const FakeIcmpProber &) = delete;
    ~FakeIcmpProber() override;

    // The host replies with this round trip, reported once that long has passed.
    void setReply(const std::string &host, std::chrono::milliseconds roundTrip);
    // The host never replies; the Timeout is reported after wait (not after the probe's
    // timeout, so tests need not sit through it) with the probe's timeout as elapsed.
    void setTimeout(const std::string &host,
                    std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    void setUnresolvable(const std::string &host);
    // The probe fails at once with this errno value.
    void setFailure(const std::string &host, int error);
    // An unavailable fake fails every probe with ENOTSUP and the reason.
    void setUnavailable(const std::string &reason);

    // Every probe() so far, in order.
    std::vector<Call> calls() const;
    // Probes whose scripted result is still to come.
    std::size_t waiting() const;

    void probe(const std::string &host, const EchoOptions &options, Completion done) override;
    bool available() const override;
    std::string unavailableReason() const override;

private:
    using Clock = std::chrono::steady_clock;

    struct Script
    {
        EchoResult::Outcome outcome = EchoResult::Outcome::Unresolvable;
        std::chrono::milliseconds delay{0};
        int error = 0;
    };
    struct Scheduled
    {
        Completion done;
        EchoResult result;
    };

    void run(std::stop_token stop);

    mutable std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::map<std::string, Script> m_scripts;
    std::string m_unavailableReason;
    std::vector<Call> m_calls;
    std::multimap<Clock::time_point, Scheduled> m_scheduled;
    std::jthread m_completer; // last, so that it stops before the members it uses go
};

} // namespace platform
