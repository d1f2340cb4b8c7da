#pragma once

#include "platform/processes/ProcessTable.h"

#include <map>

namespace platform {

// A process table held in memory, for tests of code that looks for and ends processes.
// Ending a process takes it out of the table.
class FakeProcessTable : public ProcessTable
{
public:
    void setProcesses(std::vector<ProcessEntry> processes) { m_processes = std::move(processes); }
    void setCommandLine(std::uint32_t id, std::u16string commandLine)
    {
        m_commandLines[id] = std::move(commandLine);
    }
    void setDebugPrivilegeResult(bool result) { m_debugPrivilege = result; }
    // The ids terminate() was called with, in order, whether or not they were running.
    const std::vector<std::uint32_t> &terminateCalls() const { return m_terminateCalls; }

    std::vector<ProcessEntry> snapshot() override { return m_processes; }
    std::u16string commandLine(std::uint32_t id) override
    {
        const auto found = m_commandLines.find(id);
        return found == m_commandLines.end() ? std::u16string() : found->second;
    }
    bool terminate(std::uint32_t id) override
    {
        m_terminateCalls.push_back(id);
        return std::erase_if(m_processes,
                             [id](const ProcessEntry &entry) { return entry.id == id; }) > 0;
    }
    bool enableDebugPrivilege() override { return m_debugPrivilege; }

private:
    std::vector<ProcessEntry> m_processes;
    std::map<std::uint32_t, std::u16string> m_commandLines;
    std::vector<std::uint32_t> m_terminateCalls;
    bool m_debugPrivilege = true;
};

} // namespace platform
