#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace platform {

// Follows a log file another process appends to: each call answers the lines completed
// since the last one. A file that does not exist yet reads as empty.
class LogTail
{
public:
    explicit LogTail(std::filesystem::path file) : m_file(std::move(file)) {}

    std::vector<std::string> newLines();
    // The new lines and, once the writer has ended, an unfinished last line as well.
    std::vector<std::string> remainingLines();

private:
    std::filesystem::path m_file;
    std::ifstream m_in;
    std::string m_pending;
};

} // namespace platform
