#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry
{
    std::uint32_t id = 0;
    std::u16string executable; // file name of the program, without its folder
};

// The running processes of the machine.
class ProcessTable
{
public:
    virtual ~ProcessTable() = default;

    // The processes running now, in the system's order.
    virtual std::vector<ProcessEntry> snapshot() = 0;
    // The process's command line, its arguments joined by blanks; empty when it cannot
    // be read.
    virtual std::u16string commandLine(std::uint32_t id) = 0;
    // Ends the process at once; false when it cannot be ended.
    virtual bool terminate(std::uint32_t id) = 0;
    // Gives the process what it needs to inspect and end other processes where the system
    // asks for that; false when it cannot.
    virtual bool enableDebugPrivilege() = 0;
};

} // namespace platform
