#include "platform/dialer/LogTail.h"

#include <utility>

namespace platform {

std::vector<std::string> LogTail::newLines()
{
    if (!m_in.is_open()) {
        m_in.open(m_file, std::ios::binary);
        if (!m_in.is_open())
            return {};
    }
    m_in.clear(); // the end of the file seen last time is no longer the end
    char buffer[4096];
    while (m_in.read(buffer, sizeof buffer) || m_in.gcount() > 0)
        m_pending.append(buffer, static_cast<std::size_t>(m_in.gcount()));
    std::vector<std::string> lines;
    for (std::size_t end = m_pending.find('\n'); end != std::string::npos;
         end = m_pending.find('\n')) {
        lines.push_back(m_pending.substr(0, end));
        m_pending.erase(0, end + 1);
    }
    return lines;
}

std::vector<std::string> LogTail::remainingLines()
{
    std::vector<std::string> lines = newLines();
    if (!m_pending.empty())
        lines.push_back(std::exchange(m_pending, {}));
    return lines;
}

} // namespace platform
