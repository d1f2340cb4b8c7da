#include "platform/dialer/PppdPhonebook.h"

#include "platform/dialer/DialTargetRules.h"
#include "platform/dialer/PppdSyntax.h"
#include "platform/settings/AtomicFile.h"
#include "platform/settings/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

// Lines of metadata in a peer file; pppd reads them as comments.
constexpr std::string_view kStrategyMark = "#@ strategy ";
constexpr std::string_view kHostMark = "#@ host ";

bool isPlainCommandPath(const std::string &path)
{
    return !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '/' || c == '.' || c == '_' || c == '+' || c == '-';
    });
}

std::optional<std::vector<std::string>> readLines(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(std::move(line));
    if (in.bad())
        return std::nullopt;
    return lines;
}

std::string joinLines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + '\n';
    return text;
}

// Whether pppd would read `word` as written. A secret "@/path" makes pppd send the
// contents of that file instead, and no quoting prevents it; NUL ends pppd's strings.
bool isSafeSecretWord(std::string_view word)
{
    return word.find('\0') == std::string_view::npos && !word.starts_with("@/");
}

std::vector<std::string> peerOptions(const DialEntry &entry)
{
    std::vector<std::string> options{"noauth", "refuse-eap", "noipdefault", "defaultroute"};
    if (!entry.requirePap || entry.requireEncryptedPassword)
        options.emplace_back("refuse-pap");
    if (!entry.requireChap)
        options.emplace_back("refuse-chap");
    if (!entry.requireMsChap)
        options.emplace_back("refuse-mschap");
    if (!entry.requireMsChap2)
        options.emplace_back("refuse-mschap-v2");
    if (entry.requireDataEncryption)
        options.emplace_back("require-mppe");
    if (!entry.softwareCompression) {
        options.emplace_back("nobsdcomp");
        options.emplace_back("nodeflate");
    }
    if (!entry.headerCompression)
        options.emplace_back("novj");
    return options;
}

} // namespace

PppdPhonebook::PppdPhonebook(std::filesystem::path peersFolder, std::filesystem::path secretsFile,
                             std::filesystem::path pptpCommand)
    : m_peersFolder(std::move(peersFolder)), m_secretsFile(std::move(secretsFile)),
      m_pptpCommand(std::move(pptpCommand))
{}

std::filesystem::path PppdPhonebook::peerFile(std::u16string_view name) const
{
    return m_peersFolder / utf16ToUtf8(name);
}

bool PppdPhonebook::contains(std::u16string_view name) const
{
    std::error_code ec;
    return isValidEntryName(name) && std::filesystem::is_regular_file(peerFile(name), ec);
}

std::uint32_t PppdPhonebook::write(std::u16string_view name, const DialEntry &entry)
{
    if (!isValidEntryName(name))
        return fail(DialerErrors::InvalidName, "the entry name is not acceptable");
    if (!isValidHost(entry.host))
        return fail(DialerErrors::InvalidParameter, "the host is no IPv4 address or host name");
    const std::optional<Peer> existing = read(name);
    return writePeer(name, entry, existing ? existing->user : std::string());
}

std::uint32_t PppdPhonebook::writePeer(std::u16string_view name, const DialEntry &entry,
                                       const std::string &user)
{
    const std::string host = utf16ToUtf8(entry.host);
    const bool pptp = entry.strategy == VpnStrategy::PptpOnly;
    if (pptp && !isPlainCommandPath(m_pptpCommand.string()))
        return fail(DialerErrors::DeviceNotAvailable,
                    "the pptp client path " + m_pptpCommand.string() + " is not a plain path");
    std::vector<std::string> lines{"# VPN client phone-book entry; the client rewrites this file.",
                                   std::string(kStrategyMark) + (pptp ? "pptp" : "l2tp"),
                                   std::string(kHostMark) + host};
    // pppd hands the pty command to a shell; the host and path are plain by now.
    if (pptp)
        lines.push_back("pty " +
                        quotePppdWord(m_pptpCommand.string() + " " + host + " --nolaunchpppd"));
    lines.push_back("remotename " + quotePppdWord(utf16ToUtf8(name)));
    if (!user.empty())
        lines.push_back("user " + quotePppdWord(user));
    for (const std::string &option : peerOptions(entry))
        lines.push_back(option);
    std::string error;
    if (!writeFileAtomically(peerFile(name), joinLines(lines), error))
        return fail(DialerErrors::AccessDenied, error);
    return 0;
}

std::uint32_t PppdPhonebook::writeCredentials(std::u16string_view name,
                                              const DialCredentials &credentials)
{
    if (!contains(name))
        return fail(DialerErrors::CannotFindEntry, "no such entry");
    const std::string user = utf16ToUtf8(credentials.user);
    if (!isSafeSecretWord(user) || !isSafeSecretWord(utf16ToUtf8(credentials.password)))
        return fail(DialerErrors::InvalidParameter,
                    "the user name or password holds NUL or starts with \"@/\"");
    std::optional<std::vector<std::string>> lines = readLines(peerFile(name));
    if (!lines)
        return fail(DialerErrors::CannotLoadPhonebook, "cannot read " + peerFile(name).string());
    std::erase_if(*lines, [](const std::string &line) {
        const std::vector<std::string> words = splitPppdWords(line);
        return !words.empty() && words.front() == "user";
    });
    lines->push_back("user " + quotePppdWord(user));
    // The secret first: a peer file naming a user without a secret could not dial.
    if (const std::uint32_t error = replaceSecret(name, credentials); error != 0)
        return error;
    std::string problem;
    if (!writeFileAtomically(peerFile(name), joinLines(*lines), problem))
        return fail(DialerErrors::AccessDenied, problem);
    return 0;
}

std::uint32_t PppdPhonebook::remove(std::u16string_view name)
{
    if (!contains(name))
        return fail(DialerErrors::CannotFindEntry, "no such entry");
    if (const std::uint32_t error = replaceSecret(name, std::nullopt); error != 0)
        return error;
    std::error_code ec;
    if (!std::filesystem::remove(peerFile(name), ec))
        return fail(DialerErrors::AccessDenied,
                    "cannot remove " + peerFile(name).string() + ": " + ec.message());
    return 0;
}

std::optional<PppdPhonebook::Peer> PppdPhonebook::read(std::u16string_view name) const
{
    if (!contains(name))
        return std::nullopt;
    const std::optional<std::vector<std::string>> lines = readLines(peerFile(name));
    if (!lines)
        return std::nullopt;
    Peer peer;
    bool strategyFound = false;
    for (const std::string &line : *lines) {
        if (line.starts_with(kStrategyMark)) {
            const std::string_view strategy = std::string_view(line).substr(kStrategyMark.size());
            strategyFound = strategy == "pptp" || strategy == "l2tp";
            peer.strategy = strategy == "pptp" ? VpnStrategy::PptpOnly : VpnStrategy::L2tpOnly;
        } else if (line.starts_with(kHostMark)) {
            peer.host = line.substr(kHostMark.size());
        } else if (const std::vector<std::string> words = splitPppdWords(line);
                   words.size() == 2 && words.front() == "user") {
            peer.user = words.back();
        }
    }
    if (!strategyFound || !isValidHost(utf8ToUtf16(peer.host)))
        return std::nullopt;
    return peer;
}

std::uint32_t PppdPhonebook::replaceSecret(std::u16string_view name,
                                           const std::optional<DialCredentials> &credentials)
{
    std::vector<std::string> lines;
    std::error_code ec;
    if (std::filesystem::exists(m_secretsFile, ec)) {
        std::optional<std::vector<std::string>> existing = readLines(m_secretsFile);
        if (!existing)
            return fail(DialerErrors::CannotLoadPhonebook, "cannot read " + m_secretsFile.string());
        lines = std::move(*existing);
    } else {
        lines.emplace_back("# Secrets for authentication using CHAP");
        lines.emplace_back("# client\tserver\tsecret\tIP addresses");
    }
    const std::string server = utf16ToUtf8(name);
    std::erase_if(lines, [&server](const std::string &line) {
        const std::vector<std::string> words = splitPppdWords(line);
        return words.size() >= 2 && words[1] == server;
    });
    if (credentials)
        lines.push_back(quotePppdWord(utf16ToUtf8(credentials->user)) + '\t' +
                        quotePppdWord(server) + '\t' +
                        quotePppdWord(utf16ToUtf8(credentials->password)) + "\t*");

    // writeFileAtomically() writes through "<file>.tmp" and keeps the mode of a file it
    // finds there; creating that file first with mode 0600 keeps the secrets private
    // from the first byte on.
    std::filesystem::create_directories(m_secretsFile.parent_path(), ec);
    std::filesystem::path temporary = m_secretsFile;
    temporary += ".tmp";
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0)
        return fail(DialerErrors::AccessDenied, "cannot create " + temporary.string() + ": " +
                                                    std::generic_category().message(errno));
    ::fchmod(fd, S_IRUSR | S_IWUSR); // the umask may have taken more than it should
    ::close(fd);
    std::string error;
    if (!writeFileAtomically(m_secretsFile, joinLines(lines), error))
        return fail(DialerErrors::AccessDenied, error);
    return 0;
}

std::uint32_t PppdPhonebook::fail(std::uint32_t code, std::string problem)
{
    m_lastProblem = std::move(problem);
    return code;
}

} // namespace platform
