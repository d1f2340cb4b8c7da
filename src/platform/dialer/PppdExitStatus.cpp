#include "platform/dialer/PppdExitStatus.h"

#include "platform/dialer/Dialer.h"

#include <array>
#include <sys/wait.h>

namespace platform {

std::uint32_t errorForPppdExit(int waitStatus)
{
    namespace E = DialerErrors;
    constexpr std::array<std::uint32_t, 20> kByExitStatus{
        E::PortDisconnected,     E::PortDisconnected,     E::PortDisconnected,
        E::AccessDenied,         E::DeviceNotAvailable,   E::PortDisconnected,
        E::DeviceNotAvailable,   E::DeviceNotAvailable,   E::NoAnswer,
        E::VpnServerUnreachable, E::NoPppProtocols,       E::AuthenticationServerSilent,
        E::RemoteDisconnected,   E::RemoteDisconnected,   E::RemoteDisconnected,
        E::RemoteNotResponding,  E::RemoteDisconnected,   E::RemoteDisconnected,
        E::DeviceNotAvailable,   E::AuthenticationFailure};
    if (!WIFEXITED(waitStatus))
        return E::PortDisconnected;
    const int status = WEXITSTATUS(waitStatus);
    return status < static_cast<int>(kByExitStatus.size())
               ? kByExitStatus[static_cast<std::size_t>(status)]
               : E::PortDisconnected;
}

} // namespace platform
