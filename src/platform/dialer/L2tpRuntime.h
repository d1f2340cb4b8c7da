#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The private folder (mode 0700) of one L2TP dial, removed with the object. It holds the
// configuration of the xl2tpd instance that dials, with one section
//     [lac ENTRY]  lns = HOST, autodial = yes, redial = no, ...,  pppoptfile = OPTIONS
// and the pppd options file that instance hands its pppd: the option lines of the
// entry's peer file (remote name, user and PPP options), then "logfile FOLDER/pppd.log"
// and "linkname LINKNAME". xl2tpd's tunnel secrets file, pid file and control pipe live
// there too; the password stays in the chap-secrets file of the phone book.
//
// Config lines are made of the entry name and host, so both must pass the dial-target
// rules, and the folder must be a plain path (letters, digits, '/', '.', '_', '+', '-'),
// which xl2tpd cannot misread.
class L2tpRuntime
{
public:
    // Empty, with `error` set, when something is not acceptable or cannot be written. A
    // folder left at `folder` by an earlier run is replaced.
    static std::unique_ptr<L2tpRuntime>
    create(std::filesystem::path folder, std::u16string_view entryName, std::u16string_view host,
           const std::filesystem::path &peerFile, std::string_view linkName, std::string &error);
    ~L2tpRuntime();
    L2tpRuntime(const L2tpRuntime &) = delete;
    L2tpRuntime &operator=(const L2tpRuntime &) = delete;

    const std::filesystem::path &folder() const { return m_folder; }
    std::filesystem::path pppdLog() const { return m_folder / "pppd.log"; }
    // Keeps xl2tpd in the foreground, with every file it uses in the folder.
    std::vector<std::string> xl2tpdArguments() const;

private:
    explicit L2tpRuntime(std::filesystem::path folder) : m_folder(std::move(folder)) {}

    std::filesystem::path m_folder;
};

} // namespace platform
