#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// IPv4 addresses here are 32-bit values with the first octet in the lowest byte, as the
// Windows IP Helper tables hold them (10.0.0.1 is 0x0100000A).

// One IPv4 forwarding-table row, field for field as the IP Helper API gives it.
struct ForwardRow
{
    std::uint32_t destination = 0;
    std::uint32_t mask = 0;
    std::uint32_t policy = 0;
    std::uint32_t nextHop = 0;
    std::uint32_t interfaceIndex = 0;
    std::uint32_t type = 0;     // 1 other, 2 invalid, 3 local (direct), 4 remote (via a gateway)
    std::uint32_t protocol = 0; // 1 OTHER … 18 NOT_DOD, numbered as the IP Helper API numbers them
    std::uint32_t age = 0;
    std::uint32_t nextHopAs = 0;
    std::uint32_t metric1 = 0;
    std::uint32_t metric2 = 0;
    std::uint32_t metric3 = 0;
    std::uint32_t metric4 = 0;
    std::uint32_t metric5 = 0;

    bool operator==(const ForwardRow &) const = default;
};

// One neighbour (ARP) entry.
struct NeighbourRow
{
    std::uint32_t interfaceIndex = 0;
    std::uint32_t physicalLength = 0;
    std::array<std::uint8_t, 8> physical{};
    std::uint32_t address = 0;
    std::uint32_t type = 0; // 1 other, 2 invalid, 3 dynamic, 4 static

    bool operator==(const NeighbourRow &) const = default;
};

// The machine's IPv4 routing and neighbour tables. Calls returning std::uint32_t answer 0
// on success, else an error code whose text errorText() gives; none throws.
class RoutingTable
{
public:
    virtual ~RoutingTable() = default;

    // Opens what the other calls need, once: later calls answer at once. False when the
    // facility is not available.
    virtual bool open() = 0;
    // The forwarding table of the main routing table, sorted by destination in address
    // order (first octet most significant), then by mask, next hop and metric 1; the
    // default route 0.0.0.0 therefore comes first.
    virtual std::uint32_t forwardTable(std::vector<ForwardRow> &rows) = 0;
    virtual std::uint32_t neighbourTable(std::vector<NeighbourRow> &rows) = 0;
    virtual std::uint32_t createRoute(const ForwardRow &row) = 0;
    // Deletes the route with the row's destination, mask, next hop and interface.
    virtual std::uint32_t deleteRoute(const ForwardRow &row) = 0;
    // The system's message for an error code, UTF-8.
    virtual std::string errorText(std::uint32_t code) const = 0;
};

} // namespace platform
