#include "platform/routing/Ipv4Conversions.h"

#include <algorithm>
#include <bit>
#include <tuple>

namespace platform {

std::uint32_t ipv4FromOctets(const std::array<std::uint8_t, 4> &octets)
{
    return std::uint32_t{octets[0]} | std::uint32_t{octets[1]} << 8 |
           std::uint32_t{octets[2]} << 16 | std::uint32_t{octets[3]} << 24;
}

std::array<std::uint8_t, 4> ipv4Octets(std::uint32_t address)
{
    return {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
}

std::uint32_t ipv4AddressOrder(std::uint32_t address)
{
    const auto octets = ipv4Octets(address);
    return std::uint32_t{octets[0]} << 24 | std::uint32_t{octets[1]} << 16 |
           std::uint32_t{octets[2]} << 8 | std::uint32_t{octets[3]};
}

std::optional<unsigned> prefixLengthFromMask(std::uint32_t mask)
{
    const std::uint32_t hostBits = ~ipv4AddressOrder(mask);
    // The host bits of a prefix mask are all ones from the lowest bit up.
    if ((hostBits & (hostBits + 1)) != 0)
        return std::nullopt;
    return static_cast<unsigned>(32 - std::popcount(hostBits));
}

std::uint32_t maskFromPrefixLength(unsigned length)
{
    const std::uint32_t ordered =
        length == 0 ? 0 : ~std::uint32_t{0} << (32 - std::min(length, 32u));
    return ipv4FromOctets(
        {static_cast<std::uint8_t>(ordered >> 24), static_cast<std::uint8_t>(ordered >> 16),
         static_cast<std::uint8_t>(ordered >> 8), static_cast<std::uint8_t>(ordered)});
}

void sortForwardRows(std::vector<ForwardRow> &rows)
{
    const auto key = [](const ForwardRow &row) {
        return std::tuple(ipv4AddressOrder(row.destination), ipv4AddressOrder(row.mask),
                          ipv4AddressOrder(row.nextHop), row.metric1);
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&key](const ForwardRow &a, const ForwardRow &b) { return key(a) < key(b); });
}

} // namespace platform
