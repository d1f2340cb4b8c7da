#include "platform/icmp/FakeIcmpProber.h"

#include <cerrno>
#include <cstring>

namespace platform {

FakeIcmpProber::FakeIcmpProber()
    : m_completer([this](std::stop_token stop) { run(std::move(stop)); })
{}

FakeIcmpProber::~FakeIcmpProber()
{
    m_completer.request_stop();
    m_completer.join();
    std::multimap<Clock::time_point, Scheduled> abandoned;
    {
        std::lock_guard lock(m_mutex);
        abandoned.swap(m_scheduled);
    }
    for (auto &[when, scheduled] : abandoned) {
        EchoResult result;
        result.error = ECANCELED;
        result.reason = "the prober was closed before the reply came";
        scheduled.done(result);
    }
}

void FakeIcmpProber::setReply(const std::string &host, std::chrono::milliseconds roundTrip)
{
    std::lock_guard lock(m_mutex);
    m_scripts[host] = {EchoResult::Outcome::Reply, roundTrip, 0};
}

void FakeIcmpProber::setTimeout(const std::string &host, std::chrono::milliseconds wait)
{
    std::lock_guard lock(m_mutex);
    m_scripts[host] = {EchoResult::Outcome::Timeout, wait, 0};
}

void FakeIcmpProber::setUnresolvable(const std::string &host)
{
    std::lock_guard lock(m_mutex);
    m_scripts[host] = {EchoResult::Outcome::Unresolvable, {}, 0};
}

void FakeIcmpProber::setFailure(const std::string &host, int error)
{
    std::lock_guard lock(m_mutex);
    m_scripts[host] = {EchoResult::Outcome::Failure, {}, error};
}

void FakeIcmpProber::setUnavailable(const std::string &reason)
{
    std::lock_guard lock(m_mutex);
    m_unavailableReason = reason;
}

std::vector<FakeIcmpProber::Call> FakeIcmpProber::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::size_t FakeIcmpProber::waiting() const
{
    std::lock_guard lock(m_mutex);
    return m_scheduled.size();
}

bool FakeIcmpProber::available() const
{
    std::lock_guard lock(m_mutex);
    return m_unavailableReason.empty();
}

std::string FakeIcmpProber::unavailableReason() const
{
    std::lock_guard lock(m_mutex);
    return m_unavailableReason;
}

void FakeIcmpProber::probe(const std::string &host, const EchoOptions &options, Completion done)
{
    EchoResult result;
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back({host, options});
        if (!m_unavailableReason.empty()) {
            result.error = ENOTSUP;
            result.reason = m_unavailableReason;
        } else {
            const auto found = m_scripts.find(host);
            const Script script = found == m_scripts.end() ? Script{} : found->second;
            result.outcome = script.outcome;
            switch (script.outcome) {
            case EchoResult::Outcome::Reply:
                result.elapsed = script.delay;
                break;
            case EchoResult::Outcome::Timeout:
                result.elapsed = options.timeout;
                result.reason =
                    "no reply within " + std::to_string(options.timeout.count()) + " ms";
                break;
            case EchoResult::Outcome::Unresolvable:
                result.reason = "cannot resolve " + host;
                break;
            case EchoResult::Outcome::Unreachable:
            case EchoResult::Outcome::Failure:
                result.error = script.error;
                result.reason = std::strerror(script.error);
                break;
            }
            if (script.outcome == EchoResult::Outcome::Reply ||
                script.outcome == EchoResult::Outcome::Timeout) {
                m_scheduled.emplace(Clock::now() + script.delay,
                                    Scheduled{std::move(done), std::move(result)});
                m_changed.notify_all();
                return;
            }
        }
    }
    done(result);
}

void FakeIcmpProber::run(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        if (m_scheduled.empty()) {
            m_changed.wait(lock, stop, [this] { return !m_scheduled.empty(); });
            continue;
        }
        const auto due = m_scheduled.begin()->first;
        if (Clock::now() < due) {
            // Woken early by a probe due sooner.
            m_changed.wait_until(lock, stop, due, [this, due] {
                return m_scheduled.empty() || m_scheduled.begin()->first < due;
            });
            continue;
        }
        Scheduled next = std::move(m_scheduled.begin()->second);
        m_scheduled.erase(m_scheduled.begin());
        lock.unlock();
        next.done(next.result);
        lock.lock();
    }
}

} // namespace platform
