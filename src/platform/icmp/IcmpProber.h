#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace platform {

// The parameters of one ICMP echo request.
struct EchoOptions
{
    int dataSize = 56; // payload bytes after the 8-byte ICMP header
    int ttl = 64;
    std::chrono::milliseconds timeout{4000};
};

struct EchoResult
{
    // Unreachable: the echo could not be sent to this host (no route to it, or an address
    // that takes no echo); Failure: the prober could not make the probe at all.
    enum class Outcome { Reply, Timeout, Unresolvable, Unreachable, Failure };

    Outcome outcome = Outcome::Failure;
    // The round trip for Reply, the time waited for Timeout, else zero.
    std::chrono::microseconds elapsed{0};
    int error = 0; // the errno value for Unreachable and Failure, else 0
    std::string reason;
};

// Measures the latency of hosts with IPv4 ICMP echoes. Many probes may be in flight at
// once and probe() may be called from any number of threads; a probe does not hold the
// calling thread while it waits for its reply. None of the calls throws.
class IcmpProber
{
public:
    using Completion = std::function<void(const EchoResult &)>;

    virtual ~IcmpProber() = default;

    // Sends one echo to host, a dotted IPv4 address or a name that is resolved to IPv4, and
    // calls done exactly once with the result. Which thread runs done depends on the
    // implementation; done must not block for long, as it may hold up other probes.
    virtual void probe(const std::string &host, const EchoOptions &options, Completion done) = 0;
    // probe() that waits for its own result; do not call it from inside a completion.
    EchoResult probeAndWait(const std::string &host, const EchoOptions &options = {});

    // False when probes cannot be sent at all; each probe then fails at once.
    virtual bool available() const = 0;
    // Why available() is false, for the user; empty when it is true.
    virtual std::string unavailableReason() const = 0;
};

} // namespace platform
