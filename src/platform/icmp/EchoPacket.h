#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform {

// The RFC 1071 checksum: the ones' complement of the ones' complement sum of 16-bit words.
std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes);

// An ICMP echo request (type 8) with dataSize payload bytes and its checksum filled in.
std::vector<std::uint8_t> echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                      std::size_t dataSize);

struct EchoReplyHeader
{
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
};

// The identifier and sequence of an ICMP echo reply (type 0, code 0); nothing for any
// other message or a truncated one. Raw sockets deliver the IPv4 header first, which
// withIpHeader skips.
std::optional<EchoReplyHeader> parseEchoReply(std::span<const std::uint8_t> packet,
                                              bool withIpHeader);

} // namespace platform
