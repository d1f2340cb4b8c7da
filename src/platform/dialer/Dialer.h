#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Dial-up VPN connections, shaped like the Windows remote-access service: phone-book
// entries named by the caller, a dial that runs in the background while a notifier keeps
// a 16-bit state word and a status text current, and per-connection queries.
//
// Every call returning std::uint32_t answers 0 on success and otherwise a remote-access
// error code (see DialerErrors below); none throws. All calls are made from one thread
// (the GUI thread); only the notifier runs elsewhere, and connectState()/statusText()
// may be read while it writes.

using ConnectionHandle = std::uintptr_t; // 0 names no connection

enum class VpnStrategy { PptpOnly, L2tpOnly };

// The properties of a phone-book entry that the client sets; everything else keeps the
// point-to-point defaults (TCP/IP only, remote default gateway, no fixed addresses).
struct DialEntry
{
    VpnStrategy strategy = VpnStrategy::PptpOnly;
    std::u16string deviceType = u"vpn";
    std::u16string deviceName; // e.g. u"WAN 微型端口 (PPTP)"
    std::u16string host;       // the VPN server: dotted IPv4 address or host name
    bool requirePap = true;
    bool requireChap = true;
    bool requireMsChap = true;
    bool requireMsChap2 = true;
    bool requireEncryptedPassword = false;
    bool requireDataEncryption = false; // encryption stays optional
    bool headerCompression = false;
    bool softwareCompression = false;
    bool promoteAlternates = false;
    bool custom = true;
    bool previewPhoneNumber = true;
    bool previewUserPw = true;
};

struct DialCredentials
{
    std::u16string user;
    std::u16string password;
};

struct ActiveConnection
{
    std::u16string entryName;
    ConnectionHandle handle = 0;
};

// Bytes carried by a connection since it came up, as the system counts them.
struct LinkCounters
{
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesReceived = 0;
};

namespace DialerErrors {
constexpr std::uint32_t AccessDenied = 5; // e.g. the phone book is not writable
constexpr std::uint32_t InvalidHandle = 6;
constexpr std::uint32_t InvalidParameter = 87;  // e.g. a host that is no host name
constexpr std::uint32_t InvalidName = 123;      // the name cannot be an entry name
constexpr std::uint32_t EntryExists = 183;      // validateEntryName: the name is taken
constexpr std::uint32_t NoConnection = 601;     // the handle names no connection
constexpr std::uint32_t PortDisconnected = 619; // the tunnel could not be set up
constexpr std::uint32_t CannotLoadPhonebook = 621;
constexpr std::uint32_t CannotFindEntry = 623;       // no phone-book entry of that name
constexpr std::uint32_t RemoteDisconnected = 629;    // the remote end closed the link
constexpr std::uint32_t DeviceNotAvailable = 633;    // the VPN device is missing or busy
constexpr std::uint32_t NoAnswer = 678;              // the server did not answer
constexpr std::uint32_t AuthenticationFailure = 691; // user name or password refused
constexpr std::uint32_t NoPppProtocols = 720;        // PPP negotiation found nothing in common
constexpr std::uint32_t RemoteNotResponding = 721;
constexpr std::uint32_t VpnServerUnreachable = 800;
constexpr std::uint32_t AuthenticationServerSilent = 930;
} // namespace DialerErrors

namespace DialStates {
constexpr std::uint16_t OpenPort = 0;
constexpr std::uint16_t PortOpened = 1;
constexpr std::uint16_t ConnectDevice = 2;
constexpr std::uint16_t DeviceConnected = 3;
constexpr std::uint16_t Authenticate = 6;
constexpr std::uint16_t Authenticated = 14;
constexpr std::uint16_t Connected = 0x2000;
constexpr std::uint16_t Disconnected = 0x2001;
} // namespace DialStates

class Dialer
{
public:
    virtual ~Dialer() = default;

    // Phone book.
    virtual std::uint32_t writeEntry(std::u16string_view name, const DialEntry &entry) = 0;
    virtual std::uint32_t writeCredentials(std::u16string_view name,
                                           const DialCredentials &credentials) = 0;
    // 0 when no entry has the name, EntryExists when one does, another code when the name
    // cannot be an entry name.
    virtual std::uint32_t validateEntryName(std::u16string_view name) = 0;
    virtual std::uint32_t deleteEntry(std::u16string_view name) = 0;
    // The host the entry dials.
    virtual std::uint32_t entryHost(std::u16string_view name, std::u16string &host) = 0;

    // Starts dialling the entry with its stored credentials and returns at once; handle
    // receives the new connection's handle. From then on the notifier keeps
    // connectState() and statusText() current: a DialStates value while all goes well,
    // or the error code of the step that failed.
    virtual std::uint32_t dial(std::u16string_view entryName, ConnectionHandle &handle) = 0;
    virtual std::uint16_t connectState() const = 0;
    virtual std::u16string statusText() const = 0;
    // Asks for the connection's status now: connectState() becomes its state, or
    // NoConnection when the handle names no connection.
    virtual void refreshStatus(ConnectionHandle handle) = 0;
    // Hangs up and returns once the link is down or waitLimit has passed.
    virtual void hangUp(ConnectionHandle handle, std::chrono::milliseconds waitLimit) = 0;
    virtual std::optional<ActiveConnection> firstActiveConnection() = 0;

    // The client's own address inside the tunnel, dotted.
    virtual std::uint32_t tunnelAddress(ConnectionHandle handle, std::u16string &address) = 0;
    virtual std::uint32_t counters(ConnectionHandle handle, LinkCounters &counters) = 0;
    // The system's text for an error code.
    virtual std::u16string errorText(std::uint32_t code) const = 0;
};

} // namespace platform
