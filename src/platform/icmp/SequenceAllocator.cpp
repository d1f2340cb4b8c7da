#include "platform/icmp/SequenceAllocator.h"

namespace platform {

std::optional<std::uint16_t> SequenceAllocator::acquire()
{
    if (m_inUse == kCount)
        return std::nullopt;
    while (m_used[m_next])
        m_next = (m_next + 1) % kCount;
    const auto sequence = static_cast<std::uint16_t>(m_next);
    m_used[m_next] = true;
    ++m_inUse;
    m_next = (m_next + 1) % kCount;
    return sequence;
}

void SequenceAllocator::release(std::uint16_t sequence)
{
    if (!m_used[sequence])
        return;
    m_used[sequence] = false;
    --m_inUse;
}

} // namespace platform
