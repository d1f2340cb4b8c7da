#pragma once

#include "platform/icmp/IcmpProber.h"
#include "platform/icmp/SequenceAllocator.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

// Probes over one ICMP socket shared by all probes: an unprivileged datagram ("ping")
// socket when net.ipv4.ping_group_range admits the user, else a raw socket (root or
// CAP_NET_RAW). A receiver thread of its own matches replies to requests and runs the
// timeouts.
//
// Threads: replies and timeouts complete on the receiver thread. Results known before
// anything is sent (prober unavailable, bad options, unresolvable name, send failure)
// complete on the calling thread before probe() returns. Names are resolved on the calling
// thread, so probing a name may block it for as long as the resolver takes.
//
// Destruction stops the receiver and then completes every probe still in flight with
// Failure (ECANCELED) on the destroying thread. No probe() call may run concurrently with
// the destructor.
class LinuxIcmpProber : public IcmpProber
{
public:
    enum class SocketKind { None, Datagram, Raw };
    // Which sockets the prober may open; Either tries the datagram one first.
    enum class SocketChoice { Either, DatagramOnly, RawOnly };

    explicit LinuxIcmpProber(SocketChoice choice = SocketChoice::Either);
    LinuxIcmpProber(const LinuxIcmpProber &) = delete;
    LinuxIcmpProber &operator=(const LinuxIcmpProber &) = delete;
    ~LinuxIcmpProber() override;

    void probe(const std::string &host, const EchoOptions &options, Completion done) override;
    bool available() const override { return m_kind != SocketKind::None; }
    std::string unavailableReason() const override { return m_unavailableReason; }
    SocketKind socketKind() const { return m_kind; }

private:
    using Clock = std::chrono::steady_clock;
    using Deadline = std::pair<Clock::time_point, std::uint16_t>;

    struct InFlight
    {
        std::uint32_t destination = 0; // network byte order
        timespec sentRealtime{};
        Clock::time_point sentMonotonic;
        std::chrono::milliseconds timeout{0};
        Completion done;
    };
    struct Finished
    {
        Completion done;
        EchoResult result;
    };

    void openSocket(SocketChoice choice);
    void configureSocket();
    // Registers and sends one echo; answers 0 or the errno of the failure.
    int send(std::uint32_t destination, const EchoOptions &options, Completion &done);
    void receive(std::stop_token stop);
    int millisecondsToNextDeadline();
    void readReplies(std::vector<Finished> &finished);
    void takeReply(std::size_t size, std::uint32_t source, const timespec *received,
                   std::vector<Finished> &finished);
    void expireDeadlines(std::vector<Finished> &finished);
    void wake();

    int m_fd = -1;
    int m_wakeFd = -1;
    SocketKind m_kind = SocketKind::None;
    std::string m_unavailableReason;
    std::uint16_t m_identifier = 0; // raw sockets only: the kernel picks it for datagram ones
    std::vector<std::uint8_t> m_buffer;

    std::mutex m_mutex; // guards the members below and serialises TTL changes with sends
    SequenceAllocator m_sequences;
    std::map<std::uint16_t, InFlight> m_inFlight;
    std::set<Deadline> m_deadlines;

    std::jthread m_receiver; // last, so that it stops before the members it uses go
};

} // namespace platform
