#pragma once

#include "platform/dialer/Dialer.h"

namespace connection {

// Traffic of the tracked connection as the window shows and reports it. Each refresh
// keeps the larger of the stored and the newly reported counts, so the figures never
// fall between resets, not even across a drop and a redial; only reset() clears them.
// Counts are 64-bit, so a link that carries more than 4 GiB keeps counting up.
class LinkStatistics
{
public:
    void track(platform::ConnectionHandle handle) { m_handle = handle; }
    void refresh(platform::Dialer &dialer);
    void reset() { m_counts = {}; }

    std::uint64_t bytesSent() const { return m_counts.bytesSent; }
    std::uint64_t bytesReceived() const { return m_counts.bytesReceived; }

private:
    platform::ConnectionHandle m_handle = 0;
    platform::LinkCounters m_counts;
};

} // namespace connection
