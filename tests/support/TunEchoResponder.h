#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// Answers IPv4 ICMP echo requests that the kernel routes into a TUN device of its own, each
// after the delay configured for its destination address, or never.
//
// Replies swap the addresses, keep identifier, sequence and payload, and carry fresh IPv4
// and ICMP checksums. They wait on one deadline queue, so requests with different delays
// overlap freely and each reply leaves on its own deadline. Anything that is not an echo
// request is dropped. Plain C++ (no Qt), for tests and benchmarks alike.
class TunEchoResponder
{
public:
    // Creates TUN device `deviceName` (IFF_TUN | IFF_NO_PI; needs CAP_NET_ADMIN) in the
    // calling thread's network namespace and starts answering on a thread of its own.
    explicit TunEchoResponder(const std::string &deviceName);
    TunEchoResponder(const TunEchoResponder &) = delete;
    TunEchoResponder &operator=(const TunEchoResponder &) = delete;
    ~TunEchoResponder(); // stops the thread, closes the device (the kernel removes it)

    bool ok() const;                  // false when the device could not be created
    const std::string &error() const; // why not, for QSKIP messages
    const std::string &deviceName() const;

    // Echoes to address (dotted IPv4) are answered after delay (0 = at once). Throws
    // std::invalid_argument for anything but a dotted IPv4 address.
    void setDelay(const std::string &address, std::chrono::microseconds delay);
    // Echoes to address are never answered (the default for addresses never configured).
    void setSilent(const std::string &address);

    std::uint64_t requestsSeen() const; // echo requests read so far
    std::uint64_t repliesSent() const;

private:
    using Clock = std::chrono::steady_clock;
    using Packet = std::vector<std::uint8_t>;

    void open();
    void run(const std::stop_token &stop);
    void readRequests();
    void answer(const Packet &request, Clock::time_point readAt);
    void sendDueReplies();
    void armTimer();
    void send(const Packet &reply);

    std::string m_deviceName;
    std::string m_error;
    int m_tunFd = -1;
    int m_timerFd = -1;
    int m_wakeFd = -1;

    mutable std::mutex m_mutex;                                  // guards m_delays
    std::map<std::uint32_t, std::chrono::microseconds> m_delays; // network byte order keys

    // The responder thread's own: replies waiting for their deadline.
    std::multimap<Clock::time_point, Packet> m_pending;
    std::atomic<std::uint64_t> m_requestsSeen = 0;
    std::atomic<std::uint64_t> m_repliesSent = 0;

    std::jthread m_thread; // last, so that it stops before the members it uses go
};

// Brings deviceName up with localAddress/32, the source address of what the kernel sends
// into it, and routes network/prefixLength into it, in the calling thread's network
// namespace. Empty on success, else why not.
std::string routeIntoDevice(const std::string &deviceName, const std::string &localAddress,
                            const std::string &network, int prefixLength);

} // namespace testsupport
