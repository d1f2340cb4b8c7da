#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Replaces `file` with `contents` so that after a crash or power loss the file holds
// either the old or the new contents in full: the bytes go to "<file>.tmp" in the same
// folder, are flushed to the disk, and the temporary file is then renamed over `file`.
// Creates the folder and its parents when missing. On failure returns false, leaves
// `file` untouched and describes the failure in `error`.
bool writeFileAtomically(const std::filesystem::path &file, std::string_view contents,
                         std::string &error);

} // namespace platform
