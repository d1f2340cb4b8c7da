#include "platform/dialer/SimulatedDialer.h"

#include "platform/dialer/DialerText.h"
#include "platform/dialer/DialTargetRules.h"

#include <array>
#include <utility>

namespace platform {

namespace {

// The states a dial passes before it authenticates, in order.
constexpr std::array kOpeningStates{DialStates::OpenPort, DialStates::PortOpened,
                                    DialStates::ConnectDevice, DialStates::DeviceConnected,
                                    DialStates::Authenticate};

std::uint64_t bytesAfter(std::uint64_t perSecond, std::chrono::steady_clock::duration up)
{
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(up).count();
    return perSecond * static_cast<std::uint64_t>(milliseconds < 0 ? 0 : milliseconds) / 1000;
}

} // namespace

SimulatedDialer::~SimulatedDialer()
{
    // Each link's jthread asks its notifier to stop and joins it.
    m_links.clear();
}

void SimulatedDialer::setOutcome(const Outcome &outcome)
{
    m_outcome = outcome;
}

void SimulatedDialer::setTraffic(const Traffic &traffic)
{
    m_traffic = traffic;
}

void SimulatedDialer::setTunnelAddress(std::u16string address)
{
    m_tunnelAddress = std::move(address);
}

void SimulatedDialer::setEntryWriteFailure(std::uint32_t code)
{
    m_entryWriteFailure = code;
}

void SimulatedDialer::setDialStartFailure(std::uint32_t code)
{
    m_dialStartFailure = code;
}

void SimulatedDialer::setCredentialsWriteFailure(std::uint32_t code)
{
    m_credentialsWriteFailure = code;
}

std::optional<DialEntry> SimulatedDialer::entry(std::u16string_view name) const
{
    const auto found = m_entries.find(name);
    return found == m_entries.end() ? std::nullopt : std::optional(found->second);
}

std::optional<DialCredentials> SimulatedDialer::credentials(std::u16string_view name) const
{
    const auto found = m_credentials.find(name);
    return found == m_credentials.end() ? std::nullopt : std::optional(found->second);
}

std::uint32_t SimulatedDialer::writeEntry(std::u16string_view name, const DialEntry &entry)
{
    if (!isValidEntryName(name))
        return DialerErrors::InvalidName;
    if (!isValidHost(entry.host))
        return DialerErrors::InvalidParameter;
    if (m_entryWriteFailure != 0)
        return m_entryWriteFailure;
    m_entries.insert_or_assign(std::u16string(name), entry);
    return 0;
}

std::uint32_t SimulatedDialer::writeCredentials(std::u16string_view name,
                                                const DialCredentials &credentials)
{
    if (!m_entries.contains(name))
        return DialerErrors::CannotFindEntry;
    if (m_credentialsWriteFailure != 0)
        return m_credentialsWriteFailure;
    m_credentials.insert_or_assign(std::u16string(name), credentials);
    return 0;
}

std::uint32_t SimulatedDialer::validateEntryName(std::u16string_view name)
{
    if (!isValidEntryName(name))
        return DialerErrors::InvalidName;
    return m_entries.contains(name) ? DialerErrors::EntryExists : 0;
}

std::uint32_t SimulatedDialer::deleteEntry(std::u16string_view name)
{
    const auto found = m_entries.find(name);
    if (found == m_entries.end())
        return DialerErrors::CannotFindEntry;
    m_entries.erase(found);
    if (const auto credentials = m_credentials.find(name); credentials != m_credentials.end())
        m_credentials.erase(credentials);
    return 0;
}

std::uint32_t SimulatedDialer::entryHost(std::u16string_view name, std::u16string &host)
{
    const auto found = m_entries.find(name);
    if (found == m_entries.end())
        return DialerErrors::CannotFindEntry;
    host = found->second.host;
    return 0;
}

std::uint32_t SimulatedDialer::dial(std::u16string_view entryName, ConnectionHandle &handle)
{
    if (!m_entries.contains(entryName))
        return DialerErrors::CannotFindEntry;
    if (m_dialStartFailure != 0)
        return m_dialStartFailure;
    auto link = std::make_unique<Link>();
    link->entryName = std::u16string(entryName);
    link->outcome = m_outcome;
    link->traffic = m_traffic;
    m_status.set(DialStates::OpenPort);
    Link &started = *link;
    started.notifier =
        std::jthread([this, &started](std::stop_token stop) { runNotifier(stop, started); });
    handle = ++m_lastHandle;
    m_links.emplace(handle, std::move(link));
    return 0;
}

std::uint16_t SimulatedDialer::connectState() const
{
    return m_status.state();
}

std::u16string SimulatedDialer::statusText() const
{
    return m_status.text();
}

void SimulatedDialer::refreshStatus(ConnectionHandle handle)
{
    std::uint16_t state = DialerErrors::NoConnection;
    if (const Link *link = findLink(handle)) {
        const std::lock_guard lock(link->mutex);
        if (link->phase != Phase::Dropped)
            state = link->state;
    }
    m_status.set(state);
}

void SimulatedDialer::hangUp(ConnectionHandle handle, std::chrono::milliseconds)
{
    // The notifier only ever waits on the link's condition, which a stop request ends at
    // once, so joining takes no time worth bounding.
    const auto found = m_links.find(handle);
    if (found != m_links.end())
        m_links.erase(found);
}

std::optional<ActiveConnection> SimulatedDialer::firstActiveConnection()
{
    for (const auto &[handle, link] : m_links) {
        const std::lock_guard lock(link->mutex);
        if (link->phase == Phase::Dialling || link->phase == Phase::Connected)
            return ActiveConnection{link->entryName, handle};
    }
    return std::nullopt;
}

std::uint32_t SimulatedDialer::tunnelAddress(ConnectionHandle handle, std::u16string &address)
{
    const Link *link = findLink(handle);
    if (link == nullptr)
        return DialerErrors::NoConnection;
    const std::lock_guard lock(link->mutex);
    if (link->phase != Phase::Connected)
        return DialerErrors::NoConnection;
    address = m_tunnelAddress;
    return 0;
}

std::uint32_t SimulatedDialer::counters(ConnectionHandle handle, LinkCounters &counters)
{
    const Link *link = findLink(handle);
    if (link == nullptr)
        return DialerErrors::NoConnection;
    const std::lock_guard lock(link->mutex);
    if (link->phase != Phase::Connected)
        return DialerErrors::NoConnection;
    const auto up = std::chrono::steady_clock::now() - link->connectedAt;
    counters.bytesSent = bytesAfter(link->traffic.sentPerSecond, up);
    counters.bytesReceived = bytesAfter(link->traffic.receivedPerSecond, up);
    return 0;
}

std::u16string SimulatedDialer::errorText(std::uint32_t code) const
{
    return dialerErrorText(code);
}

void SimulatedDialer::runNotifier(const std::stop_token &stop, Link &link)
{
    using Kind = Outcome::Kind;
    const Outcome &outcome = link.outcome;
    // The opening states, Authenticated and the end each take an equal share of `after`.
    const auto step = outcome.after / static_cast<int>(kOpeningStates.size() + 1);
    for (const std::uint16_t state : kOpeningStates) {
        report(link, Phase::Dialling, state);
        if (!pause(stop, link, step))
            return;
    }
    switch (outcome.kind) {
    case Kind::NeverFinish:
        pause(stop, link, std::chrono::milliseconds::max());
        return;
    case Kind::Fail:
        if (pause(stop, link, step))
            report(link, Phase::Failed, static_cast<std::uint16_t>(outcome.errorCode));
        return;
    case Kind::Connect:
    case Kind::ConnectThenDrop:
        report(link, Phase::Dialling, DialStates::Authenticated);
        if (!pause(stop, link, step))
            return;
        report(link, Phase::Connected, DialStates::Connected);
        // As with the system's notifier, progress reports end at Connected; a later loss
        // shows in refreshStatus() only.
        if (outcome.kind == Kind::ConnectThenDrop && pause(stop, link, outcome.dropAfter)) {
            const std::lock_guard lock(link.mutex);
            link.phase = Phase::Dropped;
        }
        return;
    }
}

bool SimulatedDialer::pause(const std::stop_token &stop, Link &link,
                            std::chrono::milliseconds delay)
{
    std::unique_lock lock(link.mutex);
    if (delay == std::chrono::milliseconds::max())
        link.wake.wait(lock, stop, [] { return false; });
    else
        link.wake.wait_for(lock, stop, delay, [] { return false; });
    return !stop.stop_requested();
}

void SimulatedDialer::report(Link &link, Phase phase, std::uint16_t state)
{
    {
        const std::lock_guard lock(link.mutex);
        link.phase = phase;
        link.state = state;
        if (phase == Phase::Connected)
            link.connectedAt = std::chrono::steady_clock::now();
    }
    m_status.set(state);
}

const SimulatedDialer::Link *SimulatedDialer::findLink(ConnectionHandle handle) const
{
    const auto found = m_links.find(handle);
    return found == m_links.end() ? nullptr : found->second.get();
}

} // namespace platform
