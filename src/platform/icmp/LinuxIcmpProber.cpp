#include "platform/icmp/LinuxIcmpProber.h"

#include "platform/icmp/EchoPacket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// The largest ICMP payload an IPv4 datagram can carry: 65535 less the IP and ICMP headers.
constexpr int kMaximumDataSize = 65535 - 20 - 8;
// Room for many replies arriving while the receiver is busy completing others; the kernel
// caps it at net.core.rmem_max.
constexpr int kReceiveBufferSize = 1 << 20;
constexpr std::size_t kPacketBufferSize = 65536;

using std::chrono::duration_cast;
using std::chrono::microseconds;

std::string errorText(int error)
{
    return std::strerror(error);
}

EchoResult failure(int error, std::string reason)
{
    EchoResult result;
    result.outcome = EchoResult::Outcome::Failure;
    result.error = error;
    result.reason = std::move(reason);
    return result;
}

EchoResult timeout(std::chrono::steady_clock::duration waited, std::chrono::milliseconds limit)
{
    EchoResult result;
    result.outcome = EchoResult::Outcome::Timeout;
    result.elapsed = duration_cast<microseconds>(waited);
    result.reason = "no reply within " + std::to_string(limit.count()) + " ms";
    return result;
}

// Send errors that belong to the destination rather than to the prober: a host behind
// them is as good as one that does not answer.
bool isUnreachable(int error)
{
    return error == ENETUNREACH || error == EHOSTUNREACH || error == EACCES || error == EPERM ||
           error == EINVAL || error == EADDRNOTAVAIL;
}

struct Resolution
{
    bool resolved = false;
    std::uint32_t address = 0; // network byte order
    std::string reason;
};

Resolution resolveIpv4(const std::string &host)
{
    Resolution resolution;
    in_addr dotted{};
    if (::inet_pton(AF_INET, host.c_str(), &dotted) == 1) {
        resolution.resolved = true;
        resolution.address = dotted.s_addr;
        return resolution;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    addrinfo *found = nullptr;
    const int error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (error != 0 || found == nullptr) {
        resolution.reason = "cannot resolve " + host + ": " + ::gai_strerror(error);
        return resolution;
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    resolution.resolved = true;
    resolution.address = address.sin_addr.s_addr;
    return resolution;
}

std::chrono::nanoseconds sinceEpoch(const timespec &time)
{
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

} // namespace

LinuxIcmpProber::LinuxIcmpProber(SocketChoice choice)
{
    openSocket(choice);
    if (m_fd < 0)
        return;
    configureSocket();
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        m_unavailableReason = "cannot start the ICMP receiver: " + errorText(errno);
        m_kind = SocketKind::None;
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_buffer.resize(kPacketBufferSize);
    m_receiver = std::jthread([this](std::stop_token stop) { receive(std::move(stop)); });
}

LinuxIcmpProber::~LinuxIcmpProber()
{
    if (m_receiver.joinable()) {
        m_receiver.request_stop();
        wake();
        m_receiver.join();
    }
    std::map<std::uint16_t, InFlight> abandoned;
    {
        std::lock_guard lock(m_mutex);
        abandoned.swap(m_inFlight);
        m_deadlines.clear();
    }
    for (auto &[sequence, probe] : abandoned)
        probe.done(failure(ECANCELED, "the prober was closed before the reply came"));
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void LinuxIcmpProber::openSocket(SocketChoice choice)
{
    std::string reasons;
    if (choice != SocketChoice::RawOnly) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (m_fd >= 0) {
            m_kind = SocketKind::Datagram;
            return;
        }
        reasons = "unprivileged ICMP socket: " + errorText(errno) +
                  " (net.ipv4.ping_group_range does not admit this user's groups)";
    }
    if (choice != SocketChoice::DatagramOnly) {
        m_fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (m_fd >= 0) {
            m_kind = SocketKind::Raw;
            m_identifier = static_cast<std::uint16_t>(std::random_device{}() & 0xffff);
            return;
        }
        if (!reasons.empty())
            reasons += "; ";
        reasons += "raw ICMP socket: " + errorText(errno) + " (needs root or CAP_NET_RAW)";
    }
    m_unavailableReason = "ICMP echo is not available: " + reasons;
}

void LinuxIcmpProber::configureSocket()
{
    // Failures here cost precision or headroom only, never correctness: the round trip
    // falls back to the monotonic clock and the kernel keeps its own buffer size.
    const int on = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferSize, sizeof kReceiveBufferSize);
    if (m_kind == SocketKind::Raw) {
        // A raw socket sees every ICMP message on the host; let only echo replies through.
        icmp_filter filter{};
        filter.data = ~(1U << ICMP_ECHOREPLY);
        ::setsockopt(m_fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
}

void LinuxIcmpProber::probe(const std::string &host, const EchoOptions &options, Completion done)
{
    if (!available()) {
        done(failure(ENOTSUP, m_unavailableReason));
        return;
    }
    if (options.dataSize < 0 || options.dataSize > kMaximumDataSize || options.ttl < 1 ||
        options.ttl > 255 || options.timeout.count() < 0) {
        done(failure(EINVAL, "invalid echo options"));
        return;
    }
    const Resolution resolution = resolveIpv4(host);
    if (!resolution.resolved) {
        EchoResult result;
        result.outcome = EchoResult::Outcome::Unresolvable;
        result.reason = resolution.reason;
        done(result);
        return;
    }
    const int error = send(resolution.address, options, done);
    if (error == 0)
        return;
    EchoResult result = failure(error, "cannot send an echo to " + host + ": " + errorText(error));
    if (isUnreachable(error))
        result.outcome = EchoResult::Outcome::Unreachable;
    done(result);
}

int LinuxIcmpProber::send(std::uint32_t destination, const EchoOptions &options, Completion &done)
{
    bool earliest = false;
    {
        std::lock_guard lock(m_mutex);
        const std::optional<std::uint16_t> sequence = m_sequences.acquire();
        if (!sequence)
            return EAGAIN;
        if (::setsockopt(m_fd, IPPROTO_IP, IP_TTL, &options.ttl, sizeof options.ttl) != 0) {
            m_sequences.release(*sequence);
            return errno;
        }
        const std::vector<std::uint8_t> packet =
            echoRequest(m_identifier, *sequence, static_cast<std::size_t>(options.dataSize));
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = destination;

        InFlight probe;
        probe.destination = destination;
        probe.timeout = options.timeout;
        ::clock_gettime(CLOCK_REALTIME, &probe.sentRealtime);
        probe.sentMonotonic = Clock::now();
        const ssize_t sent = ::sendto(m_fd, packet.data(), packet.size(), 0,
                                      reinterpret_cast<const sockaddr *>(&target), sizeof target);
        if (sent < 0) {
            const int error = errno;
            m_sequences.release(*sequence);
            return error;
        }
        // Registered after the send under the same lock: the receiver cannot look for
        // the probe before it is here.
        probe.done = std::move(done);
        const Deadline deadline{probe.sentMonotonic + options.timeout, *sequence};
        m_inFlight.emplace(*sequence, std::move(probe));
        m_deadlines.insert(deadline);
        earliest = *m_deadlines.begin() == deadline;
    }
    if (earliest)
        wake();
    return 0;
}

void LinuxIcmpProber::wake()
{
    const std::uint64_t one = 1;
    // A full counter already means a pending wake-up, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void LinuxIcmpProber::receive(std::stop_token stop)
{
    while (!stop.stop_requested()) {
        pollfd watched[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(watched, 2, millisecondsToNextDeadline()) < 0 && errno != EINTR)
            continue;
        if ((watched[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &count, sizeof count);
        }
        std::vector<Finished> finished;
        if ((watched[0].revents & (POLLIN | POLLERR)) != 0)
            readReplies(finished);
        expireDeadlines(finished);
        for (Finished &one : finished)
            one.done(one.result);
    }
}

int LinuxIcmpProber::millisecondsToNextDeadline()
{
    std::lock_guard lock(m_mutex);
    if (m_deadlines.empty())
        return -1;
    const auto left = m_deadlines.begin()->first - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    // Rounded up, so that the wait never ends just before the deadline.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

void LinuxIcmpProber::readReplies(std::vector<Finished> &finished)
{
    for (;;) {
        sockaddr_in source{};
        iovec part{m_buffer.data(), m_buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr header{};
        header.msg_name = &source;
        header.msg_namelen = sizeof source;
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        const ssize_t received = ::recvmsg(m_fd, &header, MSG_DONTWAIT);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            // EAGAIN: all read. Anything else is a reported ICMP error, which the probe's
            // timeout covers.
            return;
        }
        const timespec *stamp = nullptr;
        for (cmsghdr *item = CMSG_FIRSTHDR(&header); item != nullptr;
             item = CMSG_NXTHDR(&header, item)) {
            if (item->cmsg_level == SOL_SOCKET && item->cmsg_type == SCM_TIMESTAMPNS)
                stamp = reinterpret_cast<const timespec *>(CMSG_DATA(item));
        }
        timespec receivedAt{};
        if (stamp != nullptr)
            std::memcpy(&receivedAt, stamp, sizeof receivedAt);
        takeReply(static_cast<std::size_t>(received), source.sin_addr.s_addr,
                  stamp != nullptr ? &receivedAt : nullptr, finished);
    }
}

void LinuxIcmpProber::takeReply(std::size_t size, std::uint32_t source, const timespec *received,
                                std::vector<Finished> &finished)
{
    const auto monotonicNow = Clock::now();
    const bool raw = m_kind == SocketKind::Raw;
    const std::optional<EchoReplyHeader> reply =
        parseEchoReply(std::span<const std::uint8_t>(m_buffer.data(), size), raw);
    // The kernel gives datagram sockets an identifier of their own and hands them only the
    // replies that carry it; on raw sockets other processes' replies arrive too.
    if (!reply || (raw && reply->identifier != m_identifier))
        return;

    std::lock_guard lock(m_mutex);
    const auto found = m_inFlight.find(reply->sequence);
    if (found == m_inFlight.end() || found->second.destination != source)
        return;
    InFlight &probe = found->second;
    EchoResult result;
    result.outcome = EchoResult::Outcome::Reply;
    result.elapsed = duration_cast<microseconds>(monotonicNow - probe.sentMonotonic);
    if (received != nullptr) {
        const auto kernelTrip = sinceEpoch(*received) - sinceEpoch(probe.sentRealtime);
        // A wall clock stepped back in between makes the kernel's stamp useless.
        if (kernelTrip >= std::chrono::nanoseconds::zero())
            result.elapsed = duration_cast<microseconds>(kernelTrip);
    }
    // The receiver may get to a reply only after the probe's deadline (a slow completion
    // holds it up); when the reply came is what decides, not when it was read.
    if (result.elapsed >= probe.timeout)
        result = timeout(monotonicNow - probe.sentMonotonic, probe.timeout);
    finished.push_back({std::move(probe.done), std::move(result)});
    m_deadlines.erase({probe.sentMonotonic + probe.timeout, reply->sequence});
    m_sequences.release(reply->sequence);
    m_inFlight.erase(found);
}

void LinuxIcmpProber::expireDeadlines(std::vector<Finished> &finished)
{
    const auto now = Clock::now();
    std::lock_guard lock(m_mutex);
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= now) {
        const std::uint16_t sequence = m_deadlines.begin()->second;
        m_deadlines.erase(m_deadlines.begin());
        const auto found = m_inFlight.find(sequence);
        finished.push_back({std::move(found->second.done),
                            timeout(now - found->second.sentMonotonic, found->second.timeout)});
        m_inFlight.erase(found);
        m_sequences.release(sequence);
    }
}

} // namespace platform
