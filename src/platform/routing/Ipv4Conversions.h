#pragma once

#include "platform/routing/RoutingTable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// Conversions between the tables' address values (first octet in the lowest byte) and the
// forms the operating system uses.

// The value of the address whose octets are given in network order.
std::uint32_t ipv4FromOctets(const std::array<std::uint8_t, 4> &octets);
std::array<std::uint8_t, 4> ipv4Octets(std::uint32_t address);
// The address with its first octet most significant, so that numeric order is address order.
std::uint32_t ipv4AddressOrder(std::uint32_t address);

// The prefix length a mask stands for; nothing when its one bits do not form a prefix.
std::optional<unsigned> prefixLengthFromMask(std::uint32_t mask);
// The mask of a prefix length of 0 to 32.
std::uint32_t maskFromPrefixLength(unsigned length);

// Sorts rows by destination, mask, next hop (all in address order) and metric 1.
void sortForwardRows(std::vector<ForwardRow> &rows);

} // namespace platform
