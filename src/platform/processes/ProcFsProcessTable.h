#pragma once

#include "platform/processes/ProcessTable.h"

#include <filesystem>

namespace platform {

// The process table as Linux shows it under /proc.
//
// A process may end while it is being read; it is then left out of the snapshot, or its
// command line is empty. Reading happens under `root`, which tests point at a tree of their
// own; terminate() always signals the real process of that id.
class ProcFsProcessTable : public ProcessTable
{
public:
    explicit ProcFsProcessTable(std::filesystem::path root = "/proc");

    // Ascending by id. The executable is the file name of the first argument, or the
    // kernel's short name of the process where it has no arguments (kernel threads).
    std::vector<ProcessEntry> snapshot() override;
    std::u16string commandLine(std::uint32_t id) override;
    // Sends SIGKILL.
    bool terminate(std::uint32_t id) override;
    // Linux has no privilege to switch on: this only tells whether the process may already
    // signal processes of other users, that is whether it holds CAP_KILL (read from the
    // effective capabilities in <root>/self/status, or root's user id where that cannot be
    // read).
    bool enableDebugPrivilege() override;

private:
    std::filesystem::path m_root;
};

} // namespace platform
