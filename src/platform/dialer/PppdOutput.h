#pragma once

#include <string>
#include <string_view>

namespace platform {

// What a line of pppd's log says about the progress of the link it brings up.
struct PppdProgress
{
    enum class Step {
        None,
        InterfaceChosen, // "Using interface ppp0"; detail: the interface
        LinkConnected,   // "Connect: ppp0 <--> /dev/pts/3": the tunnel carries PPP
        Authenticated,   // "CHAP authentication succeeded" and the like
        AddressAssigned, // "local  IP address 10.8.0.2"; detail: the address
    };
    Step step = Step::None;
    std::string detail;
};

PppdProgress readPppdLine(std::string_view line);

} // namespace platform
