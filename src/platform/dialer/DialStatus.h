#pragma once

#include "platform/dialer/Dialer.h"

#include <atomic>
#include <mutex>
#include <string>

namespace platform {

// The state word and status text a dialer answers, written by its notifiers and read by
// the GUI thread.
class DialStatus
{
public:
    // Sets the state with its standard text, or with `text` when one is given.
    void set(std::uint16_t state, std::u16string text = {});
    std::uint16_t state() const { return m_state; }
    std::u16string text() const;

private:
    std::atomic<std::uint16_t> m_state{DialStates::Disconnected};
    mutable std::mutex m_textMutex;
    std::u16string m_text;
};

} // namespace platform
