#include "support/TunEchoResponder.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr std::size_t kIpHeaderSize = 20;
constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::uint8_t kIcmpProtocol = 1;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kReplyTtl = 64;
constexpr std::size_t kLargestPacket = 65535;

std::string errorText(int error)
{
    return std::strerror(error);
}

std::uint16_t readBigEndian(const std::uint8_t *bytes)
{
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

void writeBigEndian(std::uint8_t *bytes, std::uint16_t value)
{
    bytes[0] = static_cast<std::uint8_t>(value >> 8);
    bytes[1] = static_cast<std::uint8_t>(value & 0xff);
}

// RFC 1071: the ones' complement of the ones' complement sum of the 16-bit words.
std::uint16_t internetChecksum(const std::uint8_t *bytes, std::size_t size)
{
    std::uint32_t sum = 0;
    std::size_t at = 0;
    for (; at + 1 < size; at += 2)
        sum += readBigEndian(bytes + at);
    if (at < size)
        sum += static_cast<std::uint32_t>(bytes[at] << 8);
    while ((sum >> 16) != 0)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xffff);
}

std::uint32_t parseAddress(const std::string &address)
{
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1)
        throw std::invalid_argument("not a dotted IPv4 address: " + address);
    return parsed.s_addr;
}

timespec sinceClockStart(std::chrono::steady_clock::time_point time)
{
    const auto total = time.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(total);
    timespec value{};
    value.tv_sec = static_cast<time_t>(seconds.count());
    value.tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(total - seconds).count());
    return value;
}

sockaddr ipv4SocketAddress(std::uint32_t address)
{
    sockaddr_in inet{};
    inet.sin_family = AF_INET;
    inet.sin_addr.s_addr = address;
    sockaddr generic{};
    std::memcpy(&generic, &inet, sizeof inet);
    return generic;
}

} // namespace

TunEchoResponder::TunEchoResponder(const std::string &deviceName) : m_deviceName(deviceName)
{
    open();
    if (!ok())
        return;
    m_thread = std::jthread([this](const std::stop_token &stop) { run(stop); });
}

TunEchoResponder::~TunEchoResponder()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    for (const int fd : {m_tunFd, m_timerFd, m_wakeFd}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void TunEchoResponder::open()
{
    if (m_deviceName.empty() || m_deviceName.size() >= IFNAMSIZ) {
        m_error = "invalid TUN device name \"" + m_deviceName + "\"";
        return;
    }
    m_tunFd = ::open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (m_tunFd < 0) {
        m_error = "cannot open /dev/net/tun: " + errorText(errno);
        return;
    }
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, m_deviceName.c_str(), IFNAMSIZ - 1);
    if (::ioctl(m_tunFd, TUNSETIFF, &request) != 0) {
        m_error = "cannot create TUN device " + m_deviceName +
                  " (needs CAP_NET_ADMIN): " + errorText(errno);
        return;
    }
    m_timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_timerFd < 0 || m_wakeFd < 0)
        m_error = "cannot start the echo responder: " + errorText(errno);
}

bool TunEchoResponder::ok() const
{
    return m_error.empty();
}

const std::string &TunEchoResponder::error() const
{
    return m_error;
}

const std::string &TunEchoResponder::deviceName() const
{
    return m_deviceName;
}

void TunEchoResponder::setDelay(const std::string &address, std::chrono::microseconds delay)
{
    const std::uint32_t key = parseAddress(address);
    std::lock_guard lock(m_mutex);
    m_delays[key] = delay;
}

void TunEchoResponder::setSilent(const std::string &address)
{
    const std::uint32_t key = parseAddress(address);
    std::lock_guard lock(m_mutex);
    m_delays.erase(key);
}

std::uint64_t TunEchoResponder::requestsSeen() const
{
    return m_requestsSeen.load();
}

std::uint64_t TunEchoResponder::repliesSent() const
{
    return m_repliesSent.load();
}

void TunEchoResponder::run(const std::stop_token &stop)
{
    // Punctual replies even while other work loads the machine; without the right to
    // real-time scheduling they are merely less punctual.
    const sched_param priority{sched_get_priority_min(SCHED_FIFO)};
    ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &priority);

    while (!stop.stop_requested()) {
        pollfd watched[3] = {{m_tunFd, POLLIN, 0}, {m_timerFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(watched, 3, -1) < 0)
            continue; // EINTR: look again
        std::uint64_t count = 0;
        // Reading resets both counters; an empty one (EAGAIN) loses nothing.
        if ((watched[1].revents & POLLIN) != 0) {
            [[maybe_unused]] const ssize_t expirations = ::read(m_timerFd, &count, sizeof count);
        }
        if ((watched[2].revents & POLLIN) != 0) {
            [[maybe_unused]] const ssize_t wakes = ::read(m_wakeFd, &count, sizeof count);
        }
        if ((watched[0].revents & POLLIN) != 0)
            readRequests();
        sendDueReplies();
        armTimer();
    }
}

void TunEchoResponder::readRequests()
{
    Packet packet(kLargestPacket);
    for (;;) {
        const ssize_t size = ::read(m_tunFd, packet.data(), packet.size());
        if (size < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: all read
        }
        answer(Packet(packet.begin(), packet.begin() + size), Clock::now());
    }
}

void TunEchoResponder::answer(const Packet &request, Clock::time_point readAt)
{
    if (request.size() < kIpHeaderSize || (request[0] >> 4) != 4 || request[9] != kIcmpProtocol)
        return;
    const std::size_t headerSize = static_cast<std::size_t>(request[0] & 0x0f) * 4;
    const std::size_t totalSize = readBigEndian(&request[2]);
    const bool fragment = (readBigEndian(&request[6]) & 0x3fff) != 0; // more fragments, offset
    if (headerSize < kIpHeaderSize || totalSize > request.size() ||
        totalSize < headerSize + kIcmpHeaderSize || fragment ||
        request[headerSize] != kEchoRequest || request[headerSize + 1] != 0)
        return;
    ++m_requestsSeen;

    std::uint32_t destination = 0;
    std::memcpy(&destination, &request[16], sizeof destination);
    std::chrono::microseconds delay{0};
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_delays.find(destination);
        if (found == m_delays.end())
            return;
        delay = found->second;
    }

    Packet reply(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(totalSize));
    std::swap_ranges(reply.begin() + 12, reply.begin() + 16, reply.begin() + 16);
    reply[8] = kReplyTtl;
    writeBigEndian(&reply[10], 0);
    writeBigEndian(&reply[10], internetChecksum(reply.data(), headerSize));
    std::uint8_t *icmp = reply.data() + headerSize;
    icmp[0] = kEchoReply;
    writeBigEndian(&icmp[2], 0);
    writeBigEndian(&icmp[2], internetChecksum(icmp, totalSize - headerSize));

    if (delay <= std::chrono::microseconds::zero())
        send(reply);
    else
        m_pending.emplace(readAt + delay, std::move(reply));
}

void TunEchoResponder::sendDueReplies()
{
    const Clock::time_point now = Clock::now();
    while (!m_pending.empty() && m_pending.begin()->first <= now) {
        send(m_pending.begin()->second);
        m_pending.erase(m_pending.begin());
    }
}

void TunEchoResponder::armTimer()
{
    itimerspec next{}; // all zero disarms it
    if (!m_pending.empty())
        next.it_value = sinceClockStart(m_pending.begin()->first);
    ::timerfd_settime(m_timerFd, TFD_TIMER_ABSTIME, &next, nullptr);
}

void TunEchoResponder::send(const Packet &reply)
{
    // A reply the device refuses is lost, as on a real line.
    if (::write(m_tunFd, reply.data(), reply.size()) == static_cast<ssize_t>(reply.size()))
        ++m_repliesSent;
}

std::string routeIntoDevice(const std::string &deviceName, const std::string &localAddress,
                            const std::string &network, int prefixLength)
{
    in_addr local{};
    in_addr destination{};
    if (::inet_pton(AF_INET, localAddress.c_str(), &local) != 1 ||
        ::inet_pton(AF_INET, network.c_str(), &destination) != 1 || prefixLength < 0 ||
        prefixLength > 32 || deviceName.size() >= IFNAMSIZ)
        return "invalid route " + network + "/" + std::to_string(prefixLength) + " from " +
               localAddress + " into " + deviceName;
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (control < 0)
        return "cannot configure " + deviceName + ": " + errorText(errno);

    const auto failed = [&](const std::string &what) {
        const std::string reason = "cannot " + what + " " + deviceName + ": " + errorText(errno);
        ::close(control);
        return reason;
    };
    ifreq device{};
    std::strncpy(device.ifr_name, deviceName.c_str(), IFNAMSIZ - 1);
    device.ifr_addr = ipv4SocketAddress(local.s_addr);
    if (::ioctl(control, SIOCSIFADDR, &device) != 0)
        return failed("set the address of");
    device.ifr_netmask = ipv4SocketAddress(0xffffffffU);
    if (::ioctl(control, SIOCSIFNETMASK, &device) != 0)
        return failed("set the netmask of");
    if (::ioctl(control, SIOCGIFFLAGS, &device) != 0)
        return failed("read the flags of");
    device.ifr_flags = static_cast<short>(device.ifr_flags | IFF_UP);
    if (::ioctl(control, SIOCSIFFLAGS, &device) != 0)
        return failed("bring up");

    const std::uint32_t mask =
        prefixLength == 0 ? 0U : htonl(~((std::uint32_t{1} << (32 - prefixLength)) - 1));
    rtentry route{};
    route.rt_dst = ipv4SocketAddress(destination.s_addr & mask);
    route.rt_genmask = ipv4SocketAddress(mask);
    route.rt_flags = RTF_UP;
    std::string name = deviceName; // rt_dev is not const
    route.rt_dev = name.data();
    if (::ioctl(control, SIOCADDRT, &route) != 0)
        return failed("route " + network + "/" + std::to_string(prefixLength) + " into");
    ::close(control);
    return {};
}

} // namespace testsupport
