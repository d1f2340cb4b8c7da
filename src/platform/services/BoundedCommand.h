#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct CommandResult
{
    int exitCode = 0;
    std::string output; // stdout and stderr as they came
};

// Runs a program without a shell and collects what it prints. Nothing when it cannot be
// started, dies from a signal, prints more than a few megabytes or has not finished within
// `timeLimit`; it is then killed together with the helpers it started.
std::optional<CommandResult> runBoundedCommand(const std::filesystem::path &program,
                                               const std::vector<std::string> &arguments,
                                               std::chrono::milliseconds timeLimit);

} // namespace platform
