#pragma once

#include "platform/dialer/Dialer.h"

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// The phone book of the pppd dialer: one pppd options ("peer") file per entry, named as
// the entry, in a folder, and the passwords in a chap-secrets file, one line per entry
// with the entry name as the server name. Files are replaced atomically; the secrets file
// is never readable by others, not even while it is being replaced.
//
// Host, user name and password come from the network: the host must pass isValidHost(),
// the user name and password go into the files only as quoted pppd words, and never
// anywhere else. Entry names must pass isValidEntryName().
class PppdPhonebook
{
public:
    // What dialling an entry needs from its peer file.
    struct Peer
    {
        VpnStrategy strategy = VpnStrategy::PptpOnly;
        std::string host;
        std::string user; // empty until credentials are written
    };

    // pptpCommand is the pptp client that PPTP peer files run; a shell runs that command
    // line, so the path must be plain (letters, digits, '/', '.', '_', '+', '-').
    PppdPhonebook(std::filesystem::path peersFolder, std::filesystem::path secretsFile,
                  std::filesystem::path pptpCommand);

    std::filesystem::path peerFile(std::u16string_view name) const;
    bool contains(std::u16string_view name) const;
    // Keeps the user name of an entry that already exists.
    std::uint32_t write(std::u16string_view name, const DialEntry &entry);
    std::uint32_t writeCredentials(std::u16string_view name, const DialCredentials &credentials);
    std::uint32_t remove(std::u16string_view name);
    // Empty when the entry is missing or its file is not one this class wrote.
    std::optional<Peer> read(std::u16string_view name) const;
    // Why the last call that failed did so, for the status text.
    const std::string &lastProblem() const { return m_lastProblem; }

private:
    std::uint32_t writePeer(std::u16string_view name, const DialEntry &entry,
                            const std::string &user);
    std::uint32_t replaceSecret(std::u16string_view name,
                                const std::optional<DialCredentials> &credentials);
    std::uint32_t fail(std::uint32_t code, std::string problem);

    std::filesystem::path m_peersFolder;
    std::filesystem::path m_secretsFile;
    std::filesystem::path m_pptpCommand;
    std::string m_lastProblem;
};

} // namespace platform
