#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

// A program started without a shell, in a process group of its own, with stdin on
// /dev/null and stdout and stderr on one pipe that the parent reads.
//
// Signals go to the whole group, so helpers the program started go with it. The process
// is reaped only by reap(), and signals are sent only while it has not been, so a signal
// can never reach an unrelated process that was given the same id. signalGroup() may be
// called from another thread than the others.
class ChildProcess
{
public:
    // Empty, with `error` set, when the program cannot be started.
    static std::unique_ptr<ChildProcess> start(const std::filesystem::path &program,
                                               const std::vector<std::string> &arguments,
                                               std::string &error);
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // The read end of the output pipe; -1 once closeOutput() was called.
    int output() const { return m_output; }
    void closeOutput();
    // Whether the process has ended, without reaping it.
    bool hasEnded() const;
    void signalGroup(int signal);
    // Waits for the process to end, reaps it and returns its wait status; once reaped,
    // returns that status again.
    int reap();

private:
    ChildProcess(pid_t pid, int output) : m_pid(pid), m_output(output) {}

    const pid_t m_pid;
    int m_output;
    std::mutex m_reapMutex; // held while reaping and while signalling
    bool m_reaped = false;
    int m_status = 0;
};

} // namespace platform
