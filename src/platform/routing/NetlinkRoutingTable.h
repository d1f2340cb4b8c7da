#pragma once

#include "platform/routing/NetlinkSocket.h"
#include "platform/routing/RoutingTable.h"

namespace platform {

// The IPv4 main routing table and neighbour table over rtnetlink. Error codes are errno
// values (EEXIST, ESRCH, ENETUNREACH, EPERM …).
//
// Rows carry what the kernel knows: policy, age, next-hop AS and metrics 2 to 5 have no
// counterpart and are 0. Types: unicast via a gateway 4, unicast without one 3,
// unreachable, blackhole and prohibit 2, anything else 1. Protocols: kernel 2 (local);
// boot, static and DHCP 3 (network management, as configured addresses' routes are);
// redirect and router advertisement 4 (ICMP); RIP 8, IS-IS 9, OSPF 13, BGP 14; anything
// else 1. Neighbour types: permanent or no-ARP 4, reachable, stale, delay or probe 3,
// failed or incomplete 2, anything else 1.
class NetlinkRoutingTable : public RoutingTable
{
public:
    bool open() override;
    std::uint32_t forwardTable(std::vector<ForwardRow> &rows) override;
    std::uint32_t neighbourTable(std::vector<NeighbourRow> &rows) override;
    // Adds a static unicast route to the main table; a row without a next hop makes a route
    // on the link itself. A mask that is no prefix answers EINVAL.
    std::uint32_t createRoute(const ForwardRow &row) override;
    // Also matches metric 1 unless it is 0.
    std::uint32_t deleteRoute(const ForwardRow &row) override;
    std::string errorText(std::uint32_t code) const override;

private:
    // Sends a route change for the row and answers the kernel's code; EINVAL when the
    // row's mask is no prefix.
    std::uint32_t changeRoute(std::uint16_t type, std::uint16_t flags, const ForwardRow &row,
                              bool creating);

    NetlinkSocket m_socket;
};

} // namespace platform
