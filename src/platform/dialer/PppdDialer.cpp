#include "platform/dialer/PppdDialer.h"

#include "platform/dialer/DialerText.h"
#include "platform/dialer/DialTargetRules.h"
#include "platform/dialer/LogTail.h"
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
// For L2TP, also how often it reads the log pppd writes.
constexpr int kLogPollMilliseconds = 50;

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

// Appends the complete lines there are to `lines` without waiting, keeping the rest in
// `pending`; false once the pipe is closed or broken.
bool readAvailable(int fd, std::string &pending, std::vector<std::string> &lines)
{
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        pending.append(buffer, static_cast<std::size_t>(got));
    for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        lines.push_back(pending.substr(0, end));
        pending.erase(0, end + 1);
    }
    return got < 0 && (errno == EAGAIN || errno == EINTR);
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
    // Each link's jthread asks its notifier to stop, which kills pppd or xl2tpd, and joins it.
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
    if (const std::uint32_t missing = checkPrograms(peer->strategy); missing != 0)
        return missing;

    const ConnectionHandle next = m_lastHandle + 1;
    std::string error;
    std::unique_ptr<L2tpRuntime> runtime;
    std::unique_ptr<ChildProcess> process = peer->strategy == VpnStrategy::L2tpOnly
                                                ? startL2tp(entryName, *peer, next, runtime, error)
                                                : startPptp(entryName, next, error);
    if (!process)
        return refuse(DialerErrors::DeviceNotAvailable, error);
    ::fcntl(process->output(), F_SETFL, ::fcntl(process->output(), F_GETFL) | O_NONBLOCK);

    auto link = std::make_unique<Link>();
    link->entryName = std::u16string(entryName);
    link->l2tp = std::move(runtime);
    link->process = std::move(process);
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
    link.process->signalGroup(SIGTERM);
    {
        std::unique_lock lock(link.mutex);
        link.ended.wait_for(lock, waitLimit, [&link] { return link.processEnded; });
    }
    // Stopping the notifier kills a process still running, reaps it and joins; an L2TP
    // dial's folder goes after it.
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

std::uint32_t PppdDialer::checkPrograms(VpnStrategy strategy)
{
    const bool l2tp = strategy == VpnStrategy::L2tpOnly;
    if (l2tp && !isExecutable(m_options.xl2tpd))
        return refuse(DialerErrors::DeviceNotAvailable,
                      "L2TP needs xl2tpd, which is not installed at " + m_options.xl2tpd.string());
    if (!isExecutable(m_options.pppd))
        return refuse(DialerErrors::DeviceNotAvailable,
                      "pppd is not installed at " + m_options.pppd.string());
    if (!l2tp && !isExecutable(m_options.pptp))
        return refuse(DialerErrors::DeviceNotAvailable,
                      "the pptp client is not installed at " + m_options.pptp.string());
    std::error_code ec;
    if (!std::filesystem::exists(m_options.pppDevice, ec))
        return refuse(DialerErrors::DeviceNotAvailable,
                      "the kernel has no PPP support: " + m_options.pppDevice.string() +
                          " is missing");
    return 0;
}

std::unique_ptr<ChildProcess> PppdDialer::startPptp(std::u16string_view entryName,
                                                    ConnectionHandle next, std::string &error)
{
    return ChildProcess::start(m_options.pppd,
                               {"file", m_phonebook.peerFile(entryName).string(), "nodetach",
                                "linkname", "taverin-" + std::to_string(next), "ipparam",
                                utf16ToUtf8(entryName)},
                               error);
}

std::unique_ptr<ChildProcess> PppdDialer::startL2tp(std::u16string_view entryName,
                                                    const PppdPhonebook::Peer &peer,
                                                    ConnectionHandle next,
                                                    std::unique_ptr<L2tpRuntime> &runtime,
                                                    std::string &error)
{
    runtime =
        L2tpRuntime::create(m_options.runtimeFolder / ("l2tp-" + std::to_string(next)), entryName,
                            utf8ToUtf16(peer.host), m_phonebook.peerFile(entryName),
                            "taverin-" + std::to_string(next), error);
    if (!runtime)
        return nullptr;
    std::unique_ptr<ChildProcess> xl2tpd =
        ChildProcess::start(m_options.xl2tpd, runtime->xl2tpdArguments(), error);
    if (!xl2tpd)
        runtime.reset();
    return xl2tpd;
}

void PppdDialer::follow(const std::stop_token &stop, Link &link)
{
    report(link, Phase::Dialling, DialStates::ConnectDevice);
    ChildProcess &process = *link.process;
    std::string pending; // output not yet ended by a line break
    std::string lastLine;
    std::optional<LogTail> pppdLog;
    if (link.l2tp)
        pppdLog.emplace(link.l2tp->pppdLog());
    L2tpCallWatch watch;
    const auto take = [&](const std::vector<std::string> &output, bool processEnded) {
        if (!pppdLog)
            takePptpLines(link, output, lastLine);
        else
            takeL2tpLines(link, processEnded ? pppdLog->remainingLines() : pppdLog->newLines(),
                          output, watch);
    };

    const int waitMilliseconds = pppdLog ? kLogPollMilliseconds : kPollMilliseconds;
    while (!process.hasEnded()) {
        if (stop.stop_requested())
            process.signalGroup(SIGKILL);
        std::vector<std::string> output;
        if (process.output() < 0) {
            ::poll(nullptr, 0, waitMilliseconds);
        } else {
            pollfd watched{process.output(), POLLIN, 0};
            if (::poll(&watched, 1, waitMilliseconds) > 0 &&
                !readAvailable(process.output(), pending, output))
                process.closeOutput();
        }
        take(output, false);
    }
    // Helpers the process started may keep the pipe open; take only what is already written.
    std::vector<std::string> output;
    if (process.output() >= 0) {
        readAvailable(process.output(), pending, output);
        process.closeOutput();
    }
    if (!pending.empty())
        output.push_back(std::exchange(pending, {}));
    take(output, true);
    const int waitStatus = process.reap();
    if (pppdLog) {
        watch.xl2tpdEnded();
        finish(link, watch.code(), watch.reason());
    } else {
        finish(link, errorForPppdExit(waitStatus), lastLine.empty() ? "" : "pppd: " + lastLine);
    }
}

void PppdDialer::takePptpLines(Link &link, const std::vector<std::string> &lines,
                               std::string &lastLine)
{
    for (const std::string &line : lines) {
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            lastLine = line;
        advance(link, line);
    }
}

void PppdDialer::takeL2tpLines(Link &link, const std::vector<std::string> &pppdLines,
                               const std::vector<std::string> &xl2tpdLines, L2tpCallWatch &watch)
{
    const bool wasOver = watch.isOver();
    // pppd's log first: what it wrote before xl2tpd's news is in the file by now.
    for (const std::string &line : pppdLines) {
        advance(link, line);
        watch.readPppdLine(line);
    }
    for (const std::string &line : xl2tpdLines)
        watch.readXl2tpdLine(line);
    if (!wasOver && watch.isOver())
        endL2tpCall(link, watch);
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

void PppdDialer::endL2tpCall(Link &link, const L2tpCallWatch &watch)
{
    conclude(link, watch.code(), watch.reason());
    // With redial off xl2tpd would idle on; nothing is left for it to do.
    link.process->signalGroup(SIGTERM);
}

void PppdDialer::finish(Link &link, std::uint32_t code, const std::string &reason)
{
    conclude(link, code, reason);
    {
        const std::lock_guard lock(link.mutex);
        link.processEnded = true;
    }
    link.ended.notify_all();
}

void PppdDialer::conclude(Link &link, std::uint32_t code, const std::string &reason)
{
    bool failed = false;
    {
        const std::lock_guard lock(link.mutex);
        if (link.phase == Phase::Connected) {
            // As with the system's notifier, progress reports end at Connected; the loss
            // shows in refreshStatus() only.
            link.phase = Phase::Dropped;
        } else if (link.phase == Phase::Dialling && !link.hangingUp) {
            link.phase = Phase::Failed;
            link.state = static_cast<std::uint16_t>(code);
            failed = true;
        }
    }
    if (failed)
        m_status.set(static_cast<std::uint16_t>(code),
                     reason.empty() ? dialerErrorText(code)
                                    : dialerErrorText(code) + u" (" + utf8ToUtf16(reason) + u")");
}

const PppdDialer::Link *PppdDialer::findLink(ConnectionHandle handle) const
{
    const auto found = m_links.find(handle);
    return found == m_links.end() ? nullptr : found->second.get();
}

} // namespace platform
