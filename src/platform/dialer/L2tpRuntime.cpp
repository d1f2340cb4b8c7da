#include "platform/dialer/L2tpRuntime.h"

#include "platform/dialer/DialTargetRules.h"
#include "platform/dialer/PppdSyntax.h"
#include "platform/settings/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

bool isPlainPath(const std::string &path)
{
    return !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '/' || c == '.' || c == '_' || c == '+' || c == '-';
    });
}

// Creates the file afresh, readable by its owner only.
bool writePrivateFile(const std::filesystem::path &file, const std::string &contents,
                      std::string &error)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) {
        error = "cannot create " + file.string() + ": " + std::generic_category().message(errno);
        return false;
    }
    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t got = ::write(fd, contents.data() + written, contents.size() - written);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = "cannot write " + file.string() + ": " + std::generic_category().message(errno);
            ::close(fd);
            return false;
        }
        written += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return true;
}

// The lines of the peer file that pppd reads as options; comments and blanks stay behind.
bool readOptionLines(const std::filesystem::path &peerFile, std::string &options)
{
    std::ifstream in(peerFile, std::ios::binary);
    if (!in)
        return false;
    for (std::string line; std::getline(in, line);)
        if (!splitPppdWords(line).empty())
            options += line + '\n';
    return !in.bad();
}

} // namespace

std::unique_ptr<L2tpRuntime> L2tpRuntime::create(std::filesystem::path folder,
                                                 std::u16string_view entryName,
                                                 std::u16string_view host,
                                                 const std::filesystem::path &peerFile,
                                                 std::string_view linkName, std::string &error)
{
    if (!isValidEntryName(entryName) || !isValidHost(host)) {
        error = "the entry name or host is not acceptable";
        return nullptr;
    }
    if (!isPlainPath(folder.string())) {
        error = "the runtime folder " + folder.string() + " is not a plain path";
        return nullptr;
    }
    std::string pppOptions;
    if (!readOptionLines(peerFile, pppOptions)) {
        error = "cannot read " + peerFile.string();
        return nullptr;
    }

    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder.parent_path(), ec);
    if (::mkdir(folder.c_str(), S_IRWXU) != 0) {
        error = "cannot create " + folder.string() + ": " + std::generic_category().message(errno);
        return nullptr;
    }
    // From here on the destructor removes what was made.
    std::unique_ptr<L2tpRuntime> runtime(new L2tpRuntime(std::move(folder)));
    ::chmod(runtime->m_folder.c_str(), S_IRWXU); // the umask may have taken more

    const std::filesystem::path options = runtime->m_folder / "options.pppd";
    const std::string config = "[lac " + utf16ToUtf8(entryName) + "]\n" +
                               "lns = " + utf16ToUtf8(host) + "\n" +
                               "autodial = yes\n"
                               "redial = no\n"
                               "require chap = yes\n"
                               "refuse pap = no\n"
                               "require authentication = no\n"
                               "ppp debug = no\n"
                               "pppoptfile = " +
                               options.string() + "\n";
    pppOptions += "logfile " + quotePppdWord(runtime->pppdLog().string()) + "\n";
    pppOptions += "linkname " + std::string(linkName) + "\n";
    if (!writePrivateFile(runtime->m_folder / "xl2tpd.conf", config, error) ||
        !writePrivateFile(options, pppOptions, error) ||
        !writePrivateFile(runtime->m_folder / "l2tp-secrets", {}, error) ||
        !writePrivateFile(runtime->pppdLog(), {}, error))
        return nullptr;
    return runtime;
}

L2tpRuntime::~L2tpRuntime()
{
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
}

std::vector<std::string> L2tpRuntime::xl2tpdArguments() const
{
    return {"-D",
            "-c",
            (m_folder / "xl2tpd.conf").string(),
            "-s",
            (m_folder / "l2tp-secrets").string(),
            "-p",
            (m_folder / "xl2tpd.pid").string(),
            "-C",
            (m_folder / "l2tp-control").string()};
}

} // namespace platform
