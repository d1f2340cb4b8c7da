#pragma once

#include "platform/dialer/ChildProcess.h"
#include "platform/dialer/Dialer.h"
#include "platform/dialer/DialStatus.h"
#include "platform/dialer/L2tpCallWatch.h"
#include "platform/dialer/L2tpRuntime.h"
#include "platform/dialer/PppdPhonebook.h"

#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace platform {

// Where the pppd dialer finds its files and programs; tests point them at stand-ins.
struct PppdDialerOptions
{
    std::filesystem::path peersFolder = "/etc/ppp/peers";
    std::filesystem::path secretsFile = "/etc/ppp/chap-secrets";
    std::filesystem::path pppd = "/usr/sbin/pppd";
    std::filesystem::path pptp = "/usr/sbin/pptp";
    std::filesystem::path xl2tpd = "/usr/sbin/xl2tpd";
    std::filesystem::path pppDevice = "/dev/ppp"; // present when the kernel supports PPP
    std::filesystem::path netStatistics = "/sys/class/net";
    std::filesystem::path runtimeFolder = "/run/taverin"; // L2TP dials keep their files here
};

// Dials PPTP entries with pppd and the pptp client, and L2TP entries (without IPsec) with
// xl2tpd, on Linux. The phone book is a PppdPhonebook.
//
// A PPTP dial runs
//     pppd file PEERFILE nodetach linkname taverin-HANDLE ipparam ENTRY
// without a shell, and its notifier follows pppd's log on stdout: the pty command running
// (ConnectDevice), "Using interface" (DeviceConnected), "Connect:" (Authenticate),
// "... authentication succeeded" (Authenticated) and "local IP address" (Connected). A
// pppd that ends before that fails the dial with the code errorForPppdExit() gives and
// pppd's last line in the status text; one that ends later has dropped the link.
//
// An L2TP dial runs a private xl2tpd in the foreground, without a shell,
//     xl2tpd -D -c CONF -s SECRETS -p PIDFILE -C CONTROL
// with the files of an L2tpRuntime in runtimeFolder/l2tp-HANDLE. Its pppd logs to a file
// there, which the notifier reads every 50 ms for the same progress as above, while it
// follows xl2tpd's output for the end of the tunnel; L2tpCallWatch tells which code a
// failed dial gets and which line goes into the status text. A call that ends after
// Connected has dropped the link; the notifier then stops xl2tpd.
//
// Missing programs or kernel PPP support fail dial() at once with DeviceNotAvailable.
class PppdDialer : public Dialer
{
public:
    explicit PppdDialer(PppdDialerOptions options);
    ~PppdDialer() override;
    PppdDialer(const PppdDialer &) = delete;
    PppdDialer &operator=(const PppdDialer &) = delete;

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
    // Sends SIGTERM to the process group of pppd (PPTP) or xl2tpd (L2TP, which stops its
    // pppd) and, when waitLimit passes first, SIGKILL; an L2TP dial's folder goes too.
    void hangUp(ConnectionHandle handle, std::chrono::milliseconds waitLimit) override;
    std::optional<ActiveConnection> firstActiveConnection() override;

    // Both answer NoConnection unless the link is Connected; counters() reads the
    // interface's statistics under netStatistics.
    std::uint32_t tunnelAddress(ConnectionHandle handle, std::u16string &address) override;
    std::uint32_t counters(ConnectionHandle handle, LinkCounters &counters) override;
    std::u16string errorText(std::uint32_t code) const override;

private:
    enum class Phase { Dialling, Connected, Failed, Dropped };

    struct Link
    {
        std::u16string entryName;
        std::unique_ptr<L2tpRuntime> l2tp;     // L2TP only; outlives the process that uses it
        std::unique_ptr<ChildProcess> process; // pppd for PPTP, xl2tpd for L2TP
        mutable std::mutex mutex;              // guards the fields below
        std::condition_variable ended;
        Phase phase = Phase::Dialling;
        std::uint16_t state = DialStates::OpenPort; // a DialStates value or an error code
        std::string interfaceName;
        std::string address;
        bool processEnded = false;
        bool hangingUp = false;
        std::jthread notifier; // last, so it stops before the fields it uses go
    };

    std::uint32_t refuse(std::uint32_t code, const std::string &reason);
    std::uint32_t refusePhonebook(std::uint32_t code);
    std::uint32_t checkPrograms(VpnStrategy strategy);
    std::unique_ptr<ChildProcess> startPptp(std::u16string_view entryName, ConnectionHandle next,
                                            std::string &error);
    std::unique_ptr<ChildProcess> startL2tp(std::u16string_view entryName,
                                            const PppdPhonebook::Peer &peer, ConnectionHandle next,
                                            std::unique_ptr<L2tpRuntime> &runtime,
                                            std::string &error);
    void follow(const std::stop_token &stop, Link &link);
    void takePptpLines(Link &link, const std::vector<std::string> &lines, std::string &lastLine);
    void takeL2tpLines(Link &link, const std::vector<std::string> &pppdLines,
                       const std::vector<std::string> &xl2tpdLines, L2tpCallWatch &watch);
    void advance(Link &link, const std::string &line);
    void report(Link &link, Phase phase, std::uint16_t state);
    void endL2tpCall(Link &link, const L2tpCallWatch &watch);
    // The process has ended and been reaped.
    void finish(Link &link, std::uint32_t code, const std::string &reason);
    // A dial still going fails with `code`; a Connected link has dropped.
    void conclude(Link &link, std::uint32_t code, const std::string &reason);
    const Link *findLink(ConnectionHandle handle) const;

    PppdDialerOptions m_options;
    PppdPhonebook m_phonebook;
    ConnectionHandle m_lastHandle = 0;
    DialStatus m_status;
    // Last, so that every notifier has stopped before the state above goes.
    std::map<ConnectionHandle, std::unique_ptr<Link>> m_links;
};

} // namespace platform
