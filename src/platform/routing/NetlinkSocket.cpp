#include "platform/routing/NetlinkSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform {

namespace {

// Large enough for any one dump part the kernel sends (it caps them at 32 KiB).
constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::size_t kHeaderSize = NLMSG_ALIGN(sizeof(nlmsghdr));
constexpr std::size_t kAttributeHeaderSize = RTA_ALIGN(sizeof(rtattr));
constexpr int kReceiveSeconds = 5;
// A dump that the kernel reports as changed underneath it is read again this often.
constexpr int kDumpAttempts = 3;

using Visitor = std::function<void(std::uint16_t, std::span<const std::byte>)>;

template <typename T> T readAt(std::span<const std::byte> bytes)
{
    T value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

} // namespace

NetlinkRequest::NetlinkRequest(std::uint16_t type, std::uint16_t flags)
    : m_type(type), m_flags(flags)
{}

void NetlinkRequest::addAttribute(std::uint16_t type, std::span<const std::byte> payload)
{
    rtattr header{};
    header.rta_len = static_cast<unsigned short>(kAttributeHeaderSize + payload.size());
    header.rta_type = type;
    append(std::as_bytes(std::span(&header, 1)));
    m_payload.resize(m_payload.size() + (kAttributeHeaderSize - sizeof header));
    append(payload);
}

void NetlinkRequest::addU32(std::uint16_t type, std::uint32_t value)
{
    addAttribute(type, std::as_bytes(std::span(&value, 1)));
}

std::vector<std::byte> NetlinkRequest::message(std::uint32_t sequence) const
{
    nlmsghdr header{};
    header.nlmsg_len = static_cast<std::uint32_t>(kHeaderSize + m_payload.size());
    header.nlmsg_type = m_type;
    header.nlmsg_flags = static_cast<std::uint16_t>(m_flags | NLM_F_REQUEST);
    header.nlmsg_seq = sequence;
    std::vector<std::byte> message(header.nlmsg_len);
    std::memcpy(message.data(), &header, sizeof header);
    std::copy(m_payload.begin(), m_payload.end(), message.begin() + kHeaderSize);
    return message;
}

void NetlinkRequest::append(std::span<const std::byte> bytes)
{
    m_payload.insert(m_payload.end(), bytes.begin(), bytes.end());
    m_payload.resize(NLMSG_ALIGN(m_payload.size()));
}

void forEachAttribute(std::span<const std::byte> area, const Visitor &visit)
{
    while (area.size() >= sizeof(rtattr)) {
        const auto header = readAt<rtattr>(area);
        if (header.rta_len < kAttributeHeaderSize || header.rta_len > area.size())
            return;
        visit(header.rta_type,
              area.subspan(kAttributeHeaderSize, header.rta_len - kAttributeHeaderSize));
        area = area.subspan(std::min<std::size_t>(RTA_ALIGN(header.rta_len), area.size()));
    }
}

NetlinkSocket::~NetlinkSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::uint32_t NetlinkSocket::open()
{
    if (m_fd >= 0)
        return 0;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return static_cast<std::uint32_t>(errno);
    timeval limit{};
    limit.tv_sec = kReceiveSeconds;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
        const int error = errno;
        ::close(fd);
        return static_cast<std::uint32_t>(error);
    }
    m_fd = fd;
    m_buffer.resize(kBufferSize);
    return 0;
}

std::uint32_t NetlinkSocket::acknowledged(const NetlinkRequest &request)
{
    bool interrupted = false;
    return exchange(
        request, [](std::uint16_t, std::span<const std::byte>) {}, interrupted);
}

std::uint32_t NetlinkSocket::dump(const NetlinkRequest &request, const Visitor &visit)
{
    struct Message
    {
        std::uint16_t type;
        std::vector<std::byte> payload;
    };
    for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
        // Held back until the dump is known to be whole, so a repeated one lists nothing twice.
        std::vector<Message> messages;
        bool interrupted = false;
        const std::uint32_t error = exchange(
            request,
            [&messages](std::uint16_t type, std::span<const std::byte> payload) {
                messages.push_back({type, {payload.begin(), payload.end()}});
            },
            interrupted);
        if (error != 0)
            return error;
        if (!interrupted) {
            for (const Message &message : messages)
                visit(message.type, message.payload);
            return 0;
        }
    }
    return EAGAIN;
}

std::uint32_t NetlinkSocket::exchange(const NetlinkRequest &request, const Visitor &visit,
                                      bool &interrupted)
{
    if (m_fd < 0)
        return EBADF;
    const std::uint32_t sequence = ++m_sequence;
    const std::vector<std::byte> message = request.message(sequence);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(m_fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr *>(&kernel),
                 sizeof kernel) < 0)
        return static_cast<std::uint32_t>(errno);

    for (;;) {
        sockaddr_nl sender{};
        iovec part{m_buffer.data(), m_buffer.size()};
        msghdr header{};
        header.msg_name = &sender;
        header.msg_namelen = sizeof sender;
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        const ssize_t received = ::recvmsg(m_fd, &header, 0);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? ETIMEDOUT
                                                           : static_cast<std::uint32_t>(errno);
        }
        if ((header.msg_flags & MSG_TRUNC) != 0)
            return EMSGSIZE;
        if (sender.nl_pid != 0)
            continue;

        std::span<const std::byte> data(m_buffer.data(), static_cast<std::size_t>(received));
        while (data.size() >= sizeof(nlmsghdr)) {
            const auto answer = readAt<nlmsghdr>(data);
            if (answer.nlmsg_len < kHeaderSize || answer.nlmsg_len > data.size())
                return EPROTO;
            const auto payload = data.subspan(kHeaderSize, answer.nlmsg_len - kHeaderSize);
            data = data.subspan(std::min<std::size_t>(NLMSG_ALIGN(answer.nlmsg_len), data.size()));
            // Late answers to an earlier request that ran out of time.
            if (answer.nlmsg_seq != sequence)
                continue;
            if ((answer.nlmsg_flags & NLM_F_DUMP_INTR) != 0)
                interrupted = true;
            if (answer.nlmsg_type == NLMSG_ERROR || answer.nlmsg_type == NLMSG_DONE) {
                // Both carry the negated errno first; an acknowledgement carries 0.
                if (payload.size() < sizeof(int))
                    return answer.nlmsg_type == NLMSG_DONE ? 0 : EPROTO;
                const int error = readAt<int>(payload);
                return static_cast<std::uint32_t>(error < 0 ? -error : error);
            }
            if (answer.nlmsg_type != NLMSG_NOOP)
                visit(answer.nlmsg_type, payload);
        }
    }
}

} // namespace platform
