#include "latency/PacingSchedule.h"

namespace latency {

void PacingSchedule::advance(Clock::time_point wokeAt)
{
    if (wokeAt - m_due > Slack)
        m_due = wokeAt;
    m_due += m_step;
}

} // namespace latency
