#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Follows the two sources of news of an L2TP dial, xl2tpd's own output and the log of the
// pppd it starts, and tells when the call is over and with which dialer error code.
//
// xl2tpd output (a line holding)                  code
//   "Maximum retries exceeded"                     678 NoAnswer
//   "Host name lookup failed"                      800 VpnServerUnreachable
//   "Unable to bind socket" (port 1701 taken)      633 DeviceNotAvailable
//   "Connection ... closed"                        619 PortDisconnected
//   "Call ... disconnected"                        619 PortDisconnected
//   "pppd exited for call ... with code N"         pppd's exit status N, as for PPTP
//                                                  (errorForPppdExit)
// pppd log
//   "... authentication failed"                    noted: 691 AuthenticationFailure
//   "Connection terminated."                       the call is over
// xl2tpd ending                                    the call is over
//
// A cause pppd's log noted wins over the code of the line that ended the call, since a
// server that refuses the password also closes the tunnel; a call over without either
// gives PortDisconnected.
class L2tpCallWatch
{
public:
    void readXl2tpdLine(std::string_view line);
    void readPppdLine(std::string_view line);
    void xl2tpdEnded();

    bool isOver() const { return m_over; }
    std::uint32_t code() const;
    // The line that tells why, with the program that wrote it; empty when none did.
    const std::string &reason() const { return m_reason; }

private:
    void end(std::uint32_t code, std::string reason);

    bool m_over = false;
    std::optional<std::uint32_t> m_endCode;
    std::optional<std::uint32_t> m_notedCause;
    std::string m_reason;
};

} // namespace platform
