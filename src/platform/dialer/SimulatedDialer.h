#pragma once

#include "platform/dialer/Dialer.h"
#include "platform/dialer/DialStatus.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace platform {

// A dialer that connects nothing: the phone book lives in memory and every dial plays an
// outcome chosen beforehand on its own notifier thread, stepping through the dial states
// as the system would. For tests and for running the client where no VPN can be dialled.
//
// Entry names and hosts must pass isValidEntryName() and isValidHost(), as for a real
// dialer.
class SimulatedDialer : public Dialer
{
public:
    // How the dials started from now on end. The walk through the dial states before
    // Connected (or before the failure) takes `after` in all.
    struct Outcome
    {
        enum class Kind {
            Connect,         // ends Connected and stays up until hung up
            Fail,            // ends in errorCode
            NeverFinish,     // stays in Authenticate until hung up
            ConnectThenDrop, // ends Connected, then the link goes down after dropAfter
        };
        Kind kind = Kind::Connect;
        std::chrono::milliseconds after{60};
        std::uint32_t errorCode = DialerErrors::AuthenticationFailure;
        std::chrono::milliseconds dropAfter{60};
    };

    // Traffic a connected link carries, growing steadily with the time it has been up.
    struct Traffic
    {
        std::uint64_t sentPerSecond = 4'000;
        std::uint64_t receivedPerSecond = 20'000;
    };

    SimulatedDialer() = default;
    ~SimulatedDialer() override;
    SimulatedDialer(const SimulatedDialer &) = delete;
    SimulatedDialer &operator=(const SimulatedDialer &) = delete;

    void setOutcome(const Outcome &outcome);
    void setTraffic(const Traffic &traffic);
    void setTunnelAddress(std::u16string address);
    // Makes writeEntry / writeCredentials fail with `code` until set back to 0.
    void setEntryWriteFailure(std::uint32_t code);
    void setCredentialsWriteFailure(std::uint32_t code);
    // Makes dial() refuse to start with `code` until set back to 0.
    void setDialStartFailure(std::uint32_t code);
    // What the phone book holds, for checking what the client stored.
    std::optional<DialEntry> entry(std::u16string_view name) const;
    std::optional<DialCredentials> credentials(std::u16string_view name) const;

    std::uint32_t writeEntry(std::u16string_view name, const DialEntry &entry) override;
    std::uint32_t writeCredentials(std::u16string_view name,
                                   const DialCredentials &credentials) override;
    std::uint32_t validateEntryName(std::u16string_view name) override;
    std::uint32_t deleteEntry(std::u16string_view name) override;
    std::uint32_t entryHost(std::u16string_view name, std::u16string &host) override;

    std::uint32_t dial(std::u16string_view entryName, ConnectionHandle &handle) override;
    std::uint16_t connectState() const override;
    std::u16string statusText() const override;
    // A link whose dial failed answers its error code; a dropped one NoConnection.
    void refreshStatus(ConnectionHandle handle) override;
    void hangUp(ConnectionHandle handle, std::chrono::milliseconds waitLimit) override;
    std::optional<ActiveConnection> firstActiveConnection() override;

    // Both answer NoConnection unless the link is Connected.
    std::uint32_t tunnelAddress(ConnectionHandle handle, std::u16string &address) override;
    std::uint32_t counters(ConnectionHandle handle, LinkCounters &counters) override;
    std::u16string errorText(std::uint32_t code) const override;

private:
    enum class Phase { Dialling, Connected, Failed, Dropped };

    struct Link
    {
        std::u16string entryName;
        Outcome outcome;
        Traffic traffic;
        mutable std::mutex mutex; // guards the fields below
        std::condition_variable_any wake;
        Phase phase = Phase::Dialling;
        std::uint16_t state = DialStates::OpenPort; // a DialStates value or an error code
        std::chrono::steady_clock::time_point connectedAt;
        std::jthread notifier; // last, so it stops before the fields it uses go
    };

    void runNotifier(const std::stop_token &stop, Link &link);
    // Sleeps for `delay` unless a stop is requested first; false when stopped.
    static bool pause(const std::stop_token &stop, Link &link, std::chrono::milliseconds delay);
    void report(Link &link, Phase phase, std::uint16_t state);
    const Link *findLink(ConnectionHandle handle) const;

    std::map<std::u16string, DialEntry, std::less<>> m_entries;
    std::map<std::u16string, DialCredentials, std::less<>> m_credentials;
    Outcome m_outcome;
    Traffic m_traffic;
    std::u16string m_tunnelAddress = u"10.8.0.2";
    std::uint32_t m_entryWriteFailure = 0;
    std::uint32_t m_dialStartFailure = 0;
    std::uint32_t m_credentialsWriteFailure = 0;
    ConnectionHandle m_lastHandle = 0;

    DialStatus m_status;

    // Last, so that every notifier has stopped before the state above goes.
    std::map<ConnectionHandle, std::unique_ptr<Link>> m_links;
};

} // namespace platform
