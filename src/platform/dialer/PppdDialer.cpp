#include "platform/dialer/PppdDialer.h"

#include "platform/dialer/DialerText.h"
#include "platform/dialer/DialTargetRules.h"
#include "platform/dialer/PppdExitStatus.h"
#include "platform/dialer/PppdOutput.h"
#include "platform/settings/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// How long the notifier waits for pppd's output before it looks whether pppd has ended.
constexpr int kPollMilliseconds = 20;

bool isExecutable(const std::filesystem::path &program)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(program, ec) && ::access(program.c_str(), X_OK) == 0;
}

// Interface names come from pppd's output and become a path below netStatistics.
bool isPlainInterfaceName(const std::string &name)
{
    return !name.empty() && name.size() < 16 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
}

std::optional<std::uint64_t> readCounter(const std::filesystem::path &file)
{
    std::ifstream in(file);
    std::string text;
    if (!(in >> text))
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

PppdDialer::PppdDialer(PppdDialerOptions options)
    : m_options(std::move(options)),
      m_phonebook(m_options.peersFolder, m_options.secretsFile, m_options.pptp)
{}

PppdDialer::~PppdDialer()
{
    // Each link's jthread asks its notifier to stop, which kills pppd, and joins it.
    m_links.clear();
}

std::uint32_t PppdDialer::writeEntry(std::u16string_view name, const DialEntry &entry)
{
    return refusePhonebook(m_phonebook.write(name, entry));
}

std::uint32_t PppdDialer::writeCredentials(std::u16string_view name,
                                           const DialCredentials &credentials)
{
    return refusePhonebook(m_phonebook.writeCredentials(name, credentials));
}

std::uint32_t PppdDialer::validateEntryName(std::u16string_view name)
{
    if (!isValidEntryName(name))
        return DialerErrors::InvalidName;
    return m_phonebook.contains(name) ? DialerErrors::EntryExists : 0;
}

std::uint32_t PppdDialer::deleteEntry(std::u16string_view name)
{
    return refusePhonebook(m_phonebook.remove(name));
}

std::uint32_t PppdDialer::entryHost(std::u16string_view name, std::u16string &host)
{
    const std::optional<PppdPhonebook::Peer> peer = m_phonebook.read(name);
    if (!peer)
        return DialerErrors::CannotFindEntry;
    host = utf8ToUtf16(peer->host);
    return 0;
}

std::uint32_t PppdDialer::dial(std::u16string_view entryName, ConnectionHandle &handle)
{
    const std::optional<PppdPhonebook::Peer> peer = m_phonebook.read(entryName);
    if (!peer)
        return refuse(DialerErrors::CannotFindEntry, "no usable phone-book entry of that name");
    if (peer->strategy == VpnStrategy::L2tpOnly)
        return refuse(DialerErrors::DeviceNotAvailable,
                      isExecutable(m_options.xl2tpd)
                          ? "this dialler does not drive xl2tpd; L2TP cannot be dialled"
                          : "L2TP needs xl2tpd, which is not installed at " +
                                m_options.xl2tpd.string());
    if (!isExecutable(m_options.pppd))
        return refuse(DialerErrors::DeviceNotAvailable,
                      "pppd is not installed at " + m_options.pppd.string());
    if (!isExecutable(m_options.pptp))
        return refuse(DialerErrors::DeviceNotAvailable,
                      "the pptp client is not installed at " + m_options.pptp.string());
    std::error_code ec;
    if (!std::filesystem::exists(m_options.pppDevice, ec))
        return refuse(DialerErrors::DeviceNotAvailable,
                      "the kernel has no PPP support: " + m_options.pppDevice.string() +
                          " is missing");

    const ConnectionHandle next = m_lastHandle + 1;
    std::string error;
    std::unique_ptr<ChildProcess> pppd = ChildProcess::start(
        m_options.pppd,
        {"file", m_phonebook.peerFile(entryName).string(), "nodetach", "linkname",
         "taverin-" + std::to_string(next), "ipparam", utf16ToUtf8(entryName)},
        error);
    if (!pppd)
        return refuse(DialerErrors::DeviceNotAvailable, error);
    ::fcntl(pppd->output(), F_SETFL, ::fcntl(pppd->output(), F_GETFL) | O_NONBLOCK);

    auto link = std::make_unique<Link>();
    link->entryName = std::u16string(entryName);
    link->pppd = std::move(pppd);
    m_status.set(DialStates::OpenPort);
    Link &started = *link;
    started.notifier =
        std::jthread([this, &started](std::stop_token stop) { follow(stop, started); });
    handle = m_lastHandle = next;
    m_links.emplace(handle, std::move(link));
    return 0;
}

std::uint16_t PppdDialer::connectState() const
{
    return m_status.state();
}

std::u16string PppdDialer::statusText() const
{
    return m_status.text();
}

void PppdDialer::refreshStatus(ConnectionHandle handle)
{
    std::uint16_t state = DialerErrors::NoConnection;
    if (const Link *link = findLink(handle)) {
        const std::lock_guard lock(link->mutex);
        if (link->phase != Phase::Dropped)
            state = link->state;
    }
    m_status.set(state);
}

void PppdDialer::hangUp(ConnectionHandle handle, std::chrono::milliseconds waitLimit)
{
    const auto found = m_links.find(handle);
    if (found == m_links.end())
        return;
    Link &link = *found->second;
    {
        const std::lock_guard lock(link.mutex);
        link.hangingUp = true;
    }
    link.pppd->signalGroup(SIGTERM);
    {
        std::unique_lock lock(link.mutex);
        link.ended.wait_for(lock, waitLimit, [&link] { return link.pppdEnded; });
    }
    // Stopping the notifier kills a pppd still running, reaps it and joins.
    m_links.erase(found);
}

std::optional<ActiveConnection> PppdDialer::firstActiveConnection()
{
    for (const auto &[handle, link] : m_links) {
        const std::lock_guard lock(link->mutex);
        if (link->phase == Phase::Dialling || link->phase == Phase::Connected)
            return ActiveConnection{link->entryName, handle};
    }
    return std::nullopt;
}

std::uint32_t PppdDialer::tunnelAddress(ConnectionHandle handle, std::u16string &address)
{
    const Link *link = findLink(handle);
    if (link == nullptr)
        return DialerErrors::NoConnection;
    const std::lock_guard lock(link->mutex);
    if (link->phase != Phase::Connected)
        return DialerErrors::NoConnection;
    address = utf8ToUtf16(link->address);
    return 0;
}

std::uint32_t PppdDialer::counters(ConnectionHandle handle, LinkCounters &counters)
{
    const Link *link = findLink(handle);
    if (link == nullptr)
        return DialerErrors::NoConnection;
    std::filesystem::path statistics;
    {
        const std::lock_guard lock(link->mutex);
        if (link->phase != Phase::Connected || !isPlainInterfaceName(link->interfaceName))
            return DialerErrors::NoConnection;
        statistics = m_options.netStatistics / link->interfaceName / "statistics";
    }
    const std::optional<std::uint64_t> sent = readCounter(statistics / "tx_bytes");
    const std::optional<std::uint64_t> received = readCounter(statistics / "rx_bytes");
    if (!sent || !received)
        return DialerErrors::NoConnection;
    counters.bytesSent = *sent;
    counters.bytesReceived = *received;
    return 0;
}

std::u16string PppdDialer::errorText(std::uint32_t code) const
{
    return dialerErrorText(code);
}

std::uint32_t PppdDialer::refuse(std::uint32_t code, const std::string &reason)
{
    m_status.set(static_cast<std::uint16_t>(code),
                 dialerErrorText(code) + u" (" + utf8ToUtf16(reason) + u")");
    return code;
}

std::uint32_t PppdDialer::refusePhonebook(std::uint32_t code)
{
    return code == 0 ? 0 : refuse(code, m_phonebook.lastProblem());
}

void PppdDialer::follow(const std::stop_token &stop, Link &link)
{
    report(link, Phase::Dialling, DialStates::ConnectDevice);
    ChildProcess &pppd = *link.pppd;
    std::string pending;
    std::string lastLine;
    const auto takeLines = [&] {
        for (std::size_t end = pending.find('\n'); end != std::string::npos;
             end = pending.find('\n')) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.find_first_not_of(" \t\r") != std::string::npos)
                lastLine = line;
            advance(link, line);
        }
    };
    // Reads what is there without waiting; false once the pipe is closed or broken.
    const auto readAvailable = [&] {
        char buffer[4096];
        while (true) {
            const ssize_t got = ::read(pppd.output(), buffer, sizeof buffer);
            if (got > 0) {
                pending.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            takeLines();
            return got < 0 && (errno == EAGAIN || errno == EINTR);
        }
    };

    while (!pppd.hasEnded()) {
        if (stop.stop_requested())
            pppd.signalGroup(SIGKILL);
        if (pppd.output() < 0) {
            ::poll(nullptr, 0, kPollMilliseconds);
            continue;
        }
        pollfd watched{pppd.output(), POLLIN, 0};
        if (::poll(&watched, 1, kPollMilliseconds) > 0 && !readAvailable())
            pppd.closeOutput();
    }
    // Helpers pppd started may keep the pipe open; take only what is already written.
    if (pppd.output() >= 0) {
        readAvailable();
        pppd.closeOutput();
    }
    if (!pending.empty()) {
        pending += '\n';
        takeLines();
    }
    finish(link, pppd.reap(), lastLine);
}

void PppdDialer::advance(Link &link, const std::string &line)
{
    using Step = PppdProgress::Step;
    const PppdProgress progress = readPppdLine(line);
    std::uint16_t state = 0;
    {
        const std::lock_guard lock(link.mutex);
        if (link.phase != Phase::Dialling)
            return;
        switch (progress.step) {
        case Step::None:
            return;
        case Step::InterfaceChosen:
            link.interfaceName = progress.detail;
            state = DialStates::DeviceConnected;
            break;
        case Step::LinkConnected:
            state = DialStates::Authenticate;
            break;
        case Step::Authenticated:
            state = DialStates::Authenticated;
            break;
        case Step::AddressAssigned:
            link.address = progress.detail;
            state = DialStates::Connected;
            break;
        }
    }
    report(link, state == DialStates::Connected ? Phase::Connected : Phase::Dialling, state);
}

void PppdDialer::report(Link &link, Phase phase, std::uint16_t state)
{
    {
        const std::lock_guard lock(link.mutex);
        link.phase = phase;
        link.state = state;
    }
    m_status.set(state);
}

void PppdDialer::finish(Link &link, int waitStatus, const std::string &lastLine)
{
    const std::uint32_t code = errorForPppdExit(waitStatus);
    bool failed = false;
    {
        const std::lock_guard lock(link.mutex);
        link.pppdEnded = true;
        if (link.phase == Phase::Connected) {
            // As with the system's notifier, progress reports end at Connected; the loss
            // shows in refreshStatus() only.
            link.phase = Phase::Dropped;
        } else if (!link.hangingUp) {
            link.phase = Phase::Failed;
            link.state = static_cast<std::uint16_t>(code);
            failed = true;
        }
    }
    link.ended.notify_all();
    if (failed)
        m_status.set(static_cast<std::uint16_t>(code),
                     lastLine.empty()
                         ? dialerErrorText(code)
                         : dialerErrorText(code) + u" (pppd: " + utf8ToUtf16(lastLine) + u")");
}

const PppdDialer::Link *PppdDialer::findLink(ConnectionHandle handle) const
{
    const auto found = m_links.find(handle);
    return found == m_links.end() ? nullptr : found->second.get();
}

} // namespace platform
