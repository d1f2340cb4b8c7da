#include "platform/services/BoundedCommand.h"

#include "platform/dialer/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::size_t kOutputLimit = 16 * 1024 * 1024;
constexpr std::chrono::milliseconds kEndPollInterval{5};

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds remainingUntil(Clock::time_point deadline)
{
    return std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
}

} // namespace

std::optional<CommandResult> runBoundedCommand(const std::filesystem::path &program,
                                               const std::vector<std::string> &arguments,
                                               std::chrono::milliseconds timeLimit)
{
    const Clock::time_point deadline = Clock::now() + timeLimit;
    std::string error;
    // Leaving early destroys the process, which kills its group and reaps it.
    const std::unique_ptr<ChildProcess> process = ChildProcess::start(program, arguments, error);
    if (!process)
        return std::nullopt;

    CommandResult result;
    char buffer[4096];
    while (process->output() >= 0) {
        const std::chrono::milliseconds remaining = remainingUntil(deadline);
        if (remaining.count() <= 0)
            return std::nullopt;
        pollfd watched{process->output(), POLLIN, 0};
        if (::poll(&watched, 1, static_cast<int>(remaining.count())) <= 0)
            continue;
        const ssize_t got = ::read(process->output(), buffer, sizeof buffer);
        if (got > 0) {
            result.output.append(buffer, static_cast<std::size_t>(got));
            if (result.output.size() > kOutputLimit)
                return std::nullopt;
        } else if (got == 0 || errno != EINTR) {
            process->closeOutput();
        }
    }
    while (!process->hasEnded()) {
        const std::chrono::milliseconds remaining = remainingUntil(deadline);
        if (remaining.count() <= 0)
            return std::nullopt;
        ::poll(nullptr, 0, static_cast<int>(std::min(remaining, kEndPollInterval).count()));
    }
    const int status = process->reap();
    if (!WIFEXITED(status))
        return std::nullopt;
    result.exitCode = WEXITSTATUS(status);
    return result;
}

} // namespace platform
