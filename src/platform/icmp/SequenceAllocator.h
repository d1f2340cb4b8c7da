#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// Hands out 16-bit ICMP sequence numbers in wrapping order, skipping those still in use so
// that a late reply can never be taken for another probe's. Not thread-safe.
class SequenceAllocator
{
public:
    // The next free number after the last one handed out; none when all 65536 are in use.
    std::optional<std::uint16_t> acquire();
    // Makes a number free again; releasing a free one does nothing.
    void release(std::uint16_t sequence);
    std::size_t inUse() const { return m_inUse; }

private:
    static constexpr std::size_t kCount = 65536;

    std::vector<bool> m_used = std::vector<bool>(kCount);
    std::size_t m_next = 0;
    std::size_t m_inUse = 0;
};

} // namespace platform
