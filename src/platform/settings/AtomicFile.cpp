#include "platform/settings/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

std::string lastError(const std::string &what)
{
    return what + ": " + std::generic_category().message(errno);
}

bool writeAll(int fd, std::string_view contents)
{
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes the rename itself durable; a folder that cannot be synced only costs durability.
void syncFolder(const std::filesystem::path &folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

bool writeFileAtomically(const std::filesystem::path &file, std::string_view contents,
                         std::string &error)
{
    const std::filesystem::path folder = file.parent_path();
    std::error_code ec;
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot create " + folder.string() + ": " + ec.message();
        return false;
    }

    std::filesystem::path temporary = file;
    temporary += ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = lastError("cannot create " + temporary.string());
        return false;
    }
    bool written = writeAll(fd, contents) && ::fsync(fd) == 0;
    if (!written)
        error = lastError("cannot write " + temporary.string());
    if (::close(fd) != 0 && written) {
        written = false;
        error = lastError("cannot write " + temporary.string());
    }
    if (written && ::rename(temporary.c_str(), file.c_str()) != 0) {
        written = false;
        error = lastError("cannot replace " + file.string());
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolder(folder.empty() ? std::filesystem::path(".") : folder);
    return true;
}

} // namespace platform
