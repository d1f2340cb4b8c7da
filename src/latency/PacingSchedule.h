#pragma once

#include <chrono>

namespace latency {

// When the batch test's feeder queues its next probe. Each probe is due one step after the
// previous one was due, not after the feeder woke for it, so that the time every wake-up
// takes does not add up over a pass. A wake-up later than the slack (a busy machine)
// starts the steps afresh from then instead of queueing the next probes closer together
// to catch up.
class PacingSchedule
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr Clock::duration Slack = std::chrono::milliseconds(1);

    PacingSchedule(Clock::duration step, Clock::time_point start)
        : m_step(step), m_due(start + step)
    {}

    Clock::time_point due() const { return m_due; }
    // The probe that was due has been queued; the feeder had woken for it at wokeAt.
    void advance(Clock::time_point wokeAt);

private:
    Clock::duration m_step;
    Clock::time_point m_due;
};

} // namespace latency
