#include "platform/dialer/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char **environ;

namespace platform {

namespace {

// Releases what posix_spawn() needs once the child has been started.
struct SpawnSetup
{
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::filesystem::path &program,
                                                  const std::vector<std::string> &arguments,
                                                  std::string &error)
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        error = "cannot create a pipe: " + std::generic_category().message(errno);
        return nullptr;
    }
    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, pipeEnds[1], STDERR_FILENO);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    // The child starts with default signal handling whatever the client ignores.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    posix_spawnattr_setsigmask(&setup.attributes, &noneBlocked);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                                    POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> argvStrings;
    argvStrings.push_back(program.string());
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &argument : argvStrings)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes,
                                      argv.data(), environ);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        error =
            "cannot start " + program.string() + ": " + std::generic_category().message(spawned);
        return nullptr;
    }
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid, pipeEnds[0]));
}

ChildProcess::~ChildProcess()
{
    if (!m_reaped) {
        signalGroup(SIGKILL);
        reap();
    }
    closeOutput();
}

void ChildProcess::closeOutput()
{
    if (m_output >= 0)
        ::close(m_output);
    m_output = -1;
}

bool ChildProcess::hasEnded() const
{
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == m_pid;
}

void ChildProcess::signalGroup(int signal)
{
    const std::lock_guard lock(m_reapMutex);
    if (!m_reaped)
        ::kill(-m_pid, signal);
}

int ChildProcess::reap()
{
    if (m_reaped)
        return m_status;
    // Wait without reaping first, so that signalGroup() may run meanwhile.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    const std::lock_guard lock(m_reapMutex);
    while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
    }
    m_reaped = true;
    return m_status;
}

} // namespace platform
