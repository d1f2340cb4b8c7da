#include "platform/routing/NetlinkRoutingTable.h"

#include "platform/routing/Ipv4Conversions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <optional>
#include <sys/socket.h>

namespace platform {

namespace {

constexpr std::uint32_t kTypeOther = 1;
constexpr std::uint32_t kTypeInvalid = 2;
constexpr std::uint32_t kTypeLocal = 3;
constexpr std::uint32_t kTypeRemote = 4;
constexpr std::uint32_t kNeighbourDynamic = 3;
constexpr std::uint32_t kNeighbourStatic = 4;

template <typename T> bool readInto(std::span<const std::byte> bytes, T &value)
{
    if (bytes.size() < sizeof value)
        return false;
    std::memcpy(&value, bytes.data(), sizeof value);
    return true;
}

bool readAddress(std::span<const std::byte> bytes, std::uint32_t &address)
{
    std::array<std::uint8_t, 4> octets{};
    if (bytes.size() != octets.size())
        return false;
    std::memcpy(octets.data(), bytes.data(), octets.size());
    address = ipv4FromOctets(octets);
    return true;
}

void addAddress(NetlinkRequest &request, std::uint16_t type, std::uint32_t address)
{
    const std::array<std::uint8_t, 4> octets = ipv4Octets(address);
    request.addAttribute(type, std::as_bytes(std::span(octets)));
}

// The family part of a message and the attributes after it; nothing when it is too short.
template <typename Body>
std::optional<std::span<const std::byte>> attributesAfter(std::span<const std::byte> payload,
                                                          Body &body)
{
    if (!readInto(payload, body))
        return std::nullopt;
    return payload.subspan(std::min<std::size_t>(NLMSG_ALIGN(sizeof body), payload.size()));
}

std::uint32_t routeType(unsigned char kernelType, bool viaGateway)
{
    switch (kernelType) {
    case RTN_UNICAST:
        return viaGateway ? kTypeRemote : kTypeLocal;
    case RTN_UNREACHABLE:
    case RTN_BLACKHOLE:
    case RTN_PROHIBIT:
        return kTypeInvalid;
    default:
        return kTypeOther;
    }
}

std::uint32_t routeProtocol(unsigned char kernelProtocol)
{
    switch (kernelProtocol) {
    case RTPROT_KERNEL:
        return 2;
    case RTPROT_BOOT:
    case RTPROT_STATIC:
    case RTPROT_DHCP:
        return 3;
    case RTPROT_REDIRECT:
    case RTPROT_RA:
        return 4;
    case RTPROT_RIP:
        return 8;
    case RTPROT_ISIS:
        return 9;
    case RTPROT_OSPF:
        return 13;
    case RTPROT_BGP:
        return 14;
    default:
        return 1;
    }
}

std::uint32_t neighbourType(std::uint16_t state)
{
    if ((state & (NUD_PERMANENT | NUD_NOARP)) != 0)
        return kNeighbourStatic;
    if ((state & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE)) != 0)
        return kNeighbourDynamic;
    if ((state & (NUD_FAILED | NUD_INCOMPLETE)) != 0)
        return kTypeInvalid;
    return kTypeOther;
}

// The next hops of a multipath route, each with its own interface and gateway.
void addNextHops(std::span<const std::byte> area, const ForwardRow &route,
                 std::vector<ForwardRow> &rows)
{
    rtnexthop hop{};
    while (readInto(area, hop) && hop.rtnh_len >= sizeof hop && hop.rtnh_len <= area.size()) {
        ForwardRow row = route;
        row.interfaceIndex = static_cast<std::uint32_t>(hop.rtnh_ifindex);
        row.nextHop = 0;
        forEachAttribute(
            area.subspan(RTNH_ALIGN(sizeof hop), hop.rtnh_len - RTNH_ALIGN(sizeof hop)),
            [&row](std::uint16_t type, std::span<const std::byte> payload) {
                if (type == RTA_GATEWAY)
                    readAddress(payload, row.nextHop);
            });
        rows.push_back(row);
        area = area.subspan(std::min<std::size_t>(RTNH_ALIGN(hop.rtnh_len), area.size()));
    }
}

void addRoute(std::span<const std::byte> payload, std::vector<ForwardRow> &rows)
{
    rtmsg header{};
    const auto attributes = attributesAfter(payload, header);
    if (!attributes || header.rtm_family != AF_INET || header.rtm_dst_len > 32)
        return;
    std::uint32_t table = header.rtm_table;
    ForwardRow row;
    row.mask = maskFromPrefixLength(header.rtm_dst_len);
    std::span<const std::byte> multipath;
    forEachAttribute(*attributes, [&](std::uint16_t type, std::span<const std::byte> value) {
        switch (type) {
        case RTA_TABLE:
            readInto(value, table);
            break;
        case RTA_DST:
            readAddress(value, row.destination);
            break;
        case RTA_GATEWAY:
            readAddress(value, row.nextHop);
            break;
        case RTA_OIF:
            readInto(value, row.interfaceIndex);
            break;
        case RTA_PRIORITY:
            readInto(value, row.metric1);
            break;
        case RTA_MULTIPATH:
            multipath = value;
            break;
        default:
            break;
        }
    });
    if (table != RT_TABLE_MAIN)
        return;
    row.protocol = routeProtocol(header.rtm_protocol);
    const std::size_t firstHop = rows.size();
    if (multipath.empty())
        rows.push_back(row);
    else
        addNextHops(multipath, row, rows);
    for (auto hop = rows.begin() + static_cast<std::ptrdiff_t>(firstHop); hop != rows.end(); ++hop)
        hop->type = routeType(header.rtm_type, hop->nextHop != 0);
}

void addNeighbour(std::span<const std::byte> payload, std::vector<NeighbourRow> &rows)
{
    ndmsg header{};
    const auto attributes = attributesAfter(payload, header);
    if (!attributes || header.ndm_family != AF_INET)
        return;
    NeighbourRow row;
    row.interfaceIndex = static_cast<std::uint32_t>(header.ndm_ifindex);
    row.type = neighbourType(header.ndm_state);
    forEachAttribute(*attributes, [&row](std::uint16_t type, std::span<const std::byte> value) {
        if (type == NDA_DST) {
            readAddress(value, row.address);
        } else if (type == NDA_LLADDR && value.size() <= row.physical.size()) {
            std::memcpy(row.physical.data(), value.data(), value.size());
            row.physicalLength = static_cast<std::uint32_t>(value.size());
        }
    });
    rows.push_back(row);
}

} // namespace

bool NetlinkRoutingTable::open()
{
    return m_socket.open() == 0;
}

std::uint32_t NetlinkRoutingTable::forwardTable(std::vector<ForwardRow> &rows)
{
    rows.clear();
    NetlinkRequest request(RTM_GETROUTE, NLM_F_DUMP);
    rtmsg body{};
    body.rtm_family = AF_INET;
    request.addBody(body);
    std::vector<ForwardRow> found;
    const std::uint32_t error =
        m_socket.dump(request, [&found](std::uint16_t type, std::span<const std::byte> payload) {
            if (type == RTM_NEWROUTE)
                addRoute(payload, found);
        });
    if (error != 0)
        return error;
    sortForwardRows(found);
    rows = std::move(found);
    return 0;
}

std::uint32_t NetlinkRoutingTable::neighbourTable(std::vector<NeighbourRow> &rows)
{
    rows.clear();
    NetlinkRequest request(RTM_GETNEIGH, NLM_F_DUMP);
    ndmsg body{};
    body.ndm_family = AF_INET;
    request.addBody(body);
    std::vector<NeighbourRow> found;
    const std::uint32_t error =
        m_socket.dump(request, [&found](std::uint16_t type, std::span<const std::byte> payload) {
            if (type == RTM_NEWNEIGH)
                addNeighbour(payload, found);
        });
    if (error != 0)
        return error;
    rows = std::move(found);
    return 0;
}

std::uint32_t NetlinkRoutingTable::createRoute(const ForwardRow &row)
{
    return changeRoute(RTM_NEWROUTE, NLM_F_CREATE | NLM_F_EXCL | NLM_F_ACK, row, true);
}

std::uint32_t NetlinkRoutingTable::deleteRoute(const ForwardRow &row)
{
    return changeRoute(RTM_DELROUTE, NLM_F_ACK, row, false);
}

std::string NetlinkRoutingTable::errorText(std::uint32_t code) const
{
    return std::strerror(static_cast<int>(code));
}

std::uint32_t NetlinkRoutingTable::changeRoute(std::uint16_t type, std::uint16_t flags,
                                               const ForwardRow &row, bool creating)
{
    const std::optional<unsigned> prefixLength = prefixLengthFromMask(row.mask);
    if (!prefixLength)
        return EINVAL;
    rtmsg body{};
    body.rtm_family = AF_INET;
    body.rtm_dst_len = static_cast<unsigned char>(*prefixLength);
    body.rtm_table = RT_TABLE_MAIN;
    if (creating) {
        body.rtm_protocol = RTPROT_STATIC;
        // A route without a gateway reaches its destinations on the link itself.
        body.rtm_scope = row.nextHop != 0 ? RT_SCOPE_UNIVERSE : RT_SCOPE_LINK;
        body.rtm_type = RTN_UNICAST;
    } else {
        // Any scope, type and protocol match on deletion.
        body.rtm_scope = RT_SCOPE_NOWHERE;
    }
    NetlinkRequest request(type, flags);
    request.addBody(body);
    if (*prefixLength > 0)
        addAddress(request, RTA_DST, row.destination);
    if (row.nextHop != 0)
        addAddress(request, RTA_GATEWAY, row.nextHop);
    if (row.interfaceIndex != 0)
        request.addU32(RTA_OIF, row.interfaceIndex);
    if (creating || row.metric1 != 0)
        request.addU32(RTA_PRIORITY, row.metric1);
    return m_socket.acknowledged(request);
}

} // namespace platform
