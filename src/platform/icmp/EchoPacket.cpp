#include "platform/icmp/EchoPacket.h"

namespace platform {

namespace {

constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::size_t kMinimumIpHeaderSize = 20;
constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kIcmpProtocol = 1;

std::uint16_t readBigEndian(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

void writeBigEndian(std::vector<std::uint8_t> &bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value & 0xff);
}

} // namespace

std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes)
{
    std::uint32_t sum = 0;
    std::size_t at = 0;
    for (; at + 1 < bytes.size(); at += 2)
        sum += readBigEndian(bytes, at);
    if (at < bytes.size())
        sum += static_cast<std::uint32_t>(bytes[at] << 8);
    while ((sum >> 16) != 0)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xffff);
}

std::vector<std::uint8_t> echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                      std::size_t dataSize)
{
    std::vector<std::uint8_t> packet(kIcmpHeaderSize + dataSize);
    packet[0] = kEchoRequest;
    writeBigEndian(packet, 4, identifier);
    writeBigEndian(packet, 6, sequence);
    for (std::size_t i = 0; i < dataSize; ++i)
        packet[kIcmpHeaderSize + i] = static_cast<std::uint8_t>(i & 0xff);
    writeBigEndian(packet, 2, internetChecksum(packet));
    return packet;
}

std::optional<EchoReplyHeader> parseEchoReply(std::span<const std::uint8_t> packet,
                                              bool withIpHeader)
{
    if (withIpHeader) {
        if (packet.size() < kMinimumIpHeaderSize || (packet[0] >> 4) != 4 ||
            packet[9] != kIcmpProtocol)
            return std::nullopt;
        const std::size_t headerSize = static_cast<std::size_t>(packet[0] & 0x0f) * 4;
        if (headerSize < kMinimumIpHeaderSize || headerSize > packet.size())
            return std::nullopt;
        packet = packet.subspan(headerSize);
    }
    if (packet.size() < kIcmpHeaderSize || packet[0] != kEchoReply || packet[1] != 0)
        return std::nullopt;
    return EchoReplyHeader{readBigEndian(packet, 4), readBigEndian(packet, 6)};
}

} // namespace platform
