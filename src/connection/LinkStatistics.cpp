#include "connection/LinkStatistics.h"

#include <algorithm>

namespace connection {

void LinkStatistics::refresh(platform::Dialer &dialer)
{
    platform::LinkCounters latest;
    if (dialer.counters(m_handle, latest) != 0)
        return;
    m_counts.bytesSent = std::max(m_counts.bytesSent, latest.bytesSent);
    m_counts.bytesReceived = std::max(m_counts.bytesReceived, latest.bytesReceived);
}

} // namespace connection
