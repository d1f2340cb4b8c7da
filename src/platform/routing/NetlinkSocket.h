#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace platform {

// One netlink request: a header, a fixed family part and attributes, each padded as
// netlink requires.
class NetlinkRequest
{
public:
    NetlinkRequest(std::uint16_t type, std::uint16_t flags);

    // Appends the family part (rtmsg, ndmsg …); call once, before any attribute.
    template <typename Body> void addBody(const Body &body)
    {
        append(std::as_bytes(std::span(&body, 1)));
    }
    void addAttribute(std::uint16_t type, std::span<const std::byte> payload);
    void addU32(std::uint16_t type, std::uint32_t value);

    // The finished message for the given sequence number.
    std::vector<std::byte> message(std::uint32_t sequence) const;

private:
    void append(std::span<const std::byte> bytes);

    std::uint16_t m_type;
    std::uint16_t m_flags;
    std::vector<std::byte> m_payload;
};

// Calls visit for each attribute of a netlink attribute area, with its type and payload;
// stops at the first attribute whose length does not fit.
void forEachAttribute(std::span<const std::byte> area,
                      const std::function<void(std::uint16_t, std::span<const std::byte>)> &visit);

// A NETLINK_ROUTE socket that sends one request at a time and reads its answer. Calls
// answer 0 or an errno value; a receive time limit keeps any call from hanging.
class NetlinkSocket
{
public:
    NetlinkSocket() = default;
    NetlinkSocket(const NetlinkSocket &) = delete;
    NetlinkSocket &operator=(const NetlinkSocket &) = delete;
    ~NetlinkSocket();

    std::uint32_t open();
    bool isOpen() const { return m_fd >= 0; }
    // Sends a request that asks for an acknowledgement and returns the kernel's answer.
    std::uint32_t acknowledged(const NetlinkRequest &request);
    // Sends a dump request and calls visit with the type and payload of each answer.
    std::uint32_t dump(const NetlinkRequest &request,
                       const std::function<void(std::uint16_t, std::span<const std::byte>)> &visit);

private:
    // Sends the request and reads answers to it until it is done; visit sees each message
    // other than the closing acknowledgement, error or end of dump.
    std::uint32_t
    exchange(const NetlinkRequest &request,
             const std::function<void(std::uint16_t, std::span<const std::byte>)> &visit,
             bool &interrupted);

    int m_fd = -1;
    std::uint32_t m_sequence = 0;
    std::vector<std::byte> m_buffer;
};

} // namespace platform
