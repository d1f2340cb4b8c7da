#include "platform/processes/ProcFsProcessTable.h"

#include "platform/settings/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kCapKill = 5;

// The whole file; /proc files report no size, so they are read until their end.
std::optional<std::string> readWhole(const std::filesystem::path &path)
{
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    std::string contents;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(file, buffer, sizeof buffer);
        if (got > 0) {
            contents.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            ::close(file);
            return std::nullopt;
        }
    }
    ::close(file);
    return contents;
}

std::optional<std::uint32_t> processIdOf(const std::string &name)
{
    std::uint32_t id = 0;
    const char *end = name.data() + name.size();
    const auto [stop, error] = std::from_chars(name.data(), end, id);
    if (name.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return id;
}

// The arguments of a cmdline file: each one ends with a NUL.
std::vector<std::string_view> argumentsOf(std::string_view cmdline)
{
    if (!cmdline.empty() && cmdline.back() == '\0')
        cmdline.remove_suffix(1);
    std::vector<std::string_view> arguments;
    if (cmdline.empty())
        return arguments;
    for (;;) {
        const std::size_t end = cmdline.find('\0');
        arguments.push_back(cmdline.substr(0, end));
        if (end == std::string_view::npos)
            break;
        cmdline.remove_prefix(end + 1);
    }
    return arguments;
}

std::string_view fileNameOf(std::string_view program)
{
    const std::size_t slash = program.rfind('/');
    return slash == std::string_view::npos ? program : program.substr(slash + 1);
}

std::optional<std::u16string> executableOf(const std::filesystem::path &processFolder)
{
    const std::optional<std::string> cmdline = readWhole(processFolder / "cmdline");
    if (cmdline) {
        const std::vector<std::string_view> arguments = argumentsOf(*cmdline);
        if (!arguments.empty() && !fileNameOf(arguments.front()).empty())
            return utf8ToUtf16(fileNameOf(arguments.front()));
    }
    std::optional<std::string> comm = readWhole(processFolder / "comm");
    if (!comm)
        return std::nullopt;
    if (!comm->empty() && comm->back() == '\n')
        comm->pop_back();
    return utf8ToUtf16(*comm);
}

std::optional<std::uint64_t> effectiveCapabilities(const std::string &status)
{
    constexpr std::string_view key = "\nCapEff:";
    const std::size_t at = status.find(key);
    if (at == std::string::npos)
        return std::nullopt;
    const std::size_t begin = status.find_first_not_of(" \t", at + key.size());
    if (begin == std::string::npos)
        return std::nullopt;
    std::uint64_t capabilities = 0;
    const auto [stop, error] =
        std::from_chars(status.data() + begin, status.data() + status.size(), capabilities, 16);
    if (error != std::errc() || stop == status.data() + begin)
        return std::nullopt;
    return capabilities;
}

} // namespace

ProcFsProcessTable::ProcFsProcessTable(std::filesystem::path root) : m_root(std::move(root)) {}

std::vector<ProcessEntry> ProcFsProcessTable::snapshot()
{
    std::vector<std::uint32_t> ids;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(m_root, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code typeError;
        if (!entry->is_directory(typeError))
            continue;
        if (const std::optional<std::uint32_t> id = processIdOf(entry->path().filename().string()))
            ids.push_back(*id);
    }
    std::sort(ids.begin(), ids.end());

    std::vector<ProcessEntry> processes;
    for (const std::uint32_t id : ids) {
        if (std::optional<std::u16string> executable = executableOf(m_root / std::to_string(id)))
            processes.push_back({id, std::move(*executable)});
    }
    return processes;
}

std::u16string ProcFsProcessTable::commandLine(std::uint32_t id)
{
    const std::optional<std::string> cmdline = readWhole(m_root / std::to_string(id) / "cmdline");
    if (!cmdline)
        return {};
    std::string joined;
    for (const std::string_view argument : argumentsOf(*cmdline)) {
        if (!joined.empty())
            joined += ' ';
        joined += argument;
    }
    return utf8ToUtf16(joined);
}

bool ProcFsProcessTable::terminate(std::uint32_t id)
{
    // Zero and ids beyond pid_t would address process groups or every process.
    if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX))
        return false;
    return ::kill(static_cast<pid_t>(id), SIGKILL) == 0;
}

bool ProcFsProcessTable::enableDebugPrivilege()
{
    const std::optional<std::string> status = readWhole(m_root / "self" / "status");
    const std::optional<std::uint64_t> capabilities =
        status ? effectiveCapabilities(*status) : std::nullopt;
    if (!capabilities)
        return ::geteuid() == 0;
    return (*capabilities >> kCapKill & 1U) != 0;
}

} // namespace platform
