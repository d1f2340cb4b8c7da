#include "platform/dialer/DialStatus.h"

#include "platform/dialer/DialerText.h"

#include <utility>

namespace platform {

void DialStatus::set(std::uint16_t state, std::u16string text)
{
    // The text first, so that a reader who sees the new state never reads an older text.
    {
        const std::lock_guard lock(m_textMutex);
        m_text = text.empty() ? dialStateText(state) : std::move(text);
    }
    m_state = state;
}

std::u16string DialStatus::text() const
{
    const std::lock_guard lock(m_textMutex);
    return m_text;
}

} // namespace platform
