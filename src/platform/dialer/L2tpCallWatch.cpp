#include "platform/dialer/L2tpCallWatch.h"

#include "platform/dialer/Dialer.h"
#include "platform/dialer/PppdExitStatus.h"

#include <charconv>
#include <sys/wait.h>

namespace platform {

namespace {

constexpr std::string_view kPppdExited = "pppd exited for call ";
constexpr std::string_view kWithCode = " with code ";

bool holds(std::string_view line, std::string_view part)
{
    return line.find(part) != std::string_view::npos;
}

// "Connection 31418 closed to ..." or "Call 7 to ... disconnected": `last` somewhere after
// `first` in the line.
bool holdsInOrder(std::string_view line, std::string_view first, std::string_view last)
{
    const std::size_t at = line.find(first);
    return at != std::string_view::npos &&
           line.find(last, at + first.size()) != std::string_view::npos;
}

std::optional<std::uint32_t> pppdExitCode(std::string_view line)
{
    const std::size_t exited = line.find(kPppdExited);
    if (exited == std::string_view::npos)
        return std::nullopt;
    const std::size_t with = line.find(kWithCode, exited);
    if (with == std::string_view::npos)
        return std::nullopt;
    const std::string_view digits = line.substr(with + kWithCode.size());
    int status = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), status);
    if (error != std::errc() || status < 0 || status > 255)
        return std::nullopt;
    // errorForPppdExit() reads a wait status; an exit status sits in its second byte.
    return errorForPppdExit(status << 8);
}

std::optional<std::uint32_t> xl2tpdEndCode(std::string_view line)
{
    namespace E = DialerErrors;
    // xl2tpd writes both "Maximum retries exceeded for tunnel N" and "...: maximum
    // retries exceeded.", and "Unable to bind socket" or "Unable to bind UDP socket".
    if (holds(line, "aximum retries exceeded"))
        return E::NoAnswer;
    if (holds(line, "Host name lookup failed"))
        return E::VpnServerUnreachable;
    if (holdsInOrder(line, "Unable to bind", "socket"))
        return E::DeviceNotAvailable;
    if (const std::optional<std::uint32_t> code = pppdExitCode(line))
        return code;
    if (holdsInOrder(line, "Connection ", "closed") || holdsInOrder(line, "Call ", " disconnected"))
        return E::PortDisconnected;
    return std::nullopt;
}

} // namespace

void L2tpCallWatch::readXl2tpdLine(std::string_view line)
{
    if (const std::optional<std::uint32_t> code = xl2tpdEndCode(line))
        end(*code, "xl2tpd: " + std::string(line));
}

void L2tpCallWatch::readPppdLine(std::string_view line)
{
    if (!m_notedCause && holds(line, "authentication failed")) {
        m_notedCause = DialerErrors::AuthenticationFailure;
        m_reason = "pppd: " + std::string(line);
    }
    if (holds(line, "Connection terminated."))
        end(DialerErrors::PortDisconnected, "pppd: " + std::string(line));
}

void L2tpCallWatch::xl2tpdEnded()
{
    end(DialerErrors::PortDisconnected, {});
}

std::uint32_t L2tpCallWatch::code() const
{
    return m_notedCause.value_or(m_endCode.value_or(DialerErrors::PortDisconnected));
}

void L2tpCallWatch::end(std::uint32_t code, std::string reason)
{
    if (m_over)
        return;
    m_over = true;
    m_endCode = code;
    if (!m_notedCause && !reason.empty())
        m_reason = std::move(reason);
}

} // namespace platform
