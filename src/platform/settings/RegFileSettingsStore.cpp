#include "platform/settings/RegFileSettingsStore.h"

#include "platform/settings/AtomicFile.h"
#include "platform/settings/RegFileFormat.h"

#include <cstdint>
#include <fstream>
#include <system_error>
#include <utility>

namespace platform {

namespace {

// Far beyond any settings the client keeps; a larger file is not one it wrote, and
// reading it whole could exhaust memory.
constexpr std::uintmax_t kMaxFileSize = 16 * 1024 * 1024;

// The file's bytes, or an empty optional with `problem` set.
std::optional<std::string> readWholeFile(const std::filesystem::path &path, std::string &problem)
{
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec) {
        problem = "cannot examine it: " + ec.message();
        return std::nullopt;
    }
    if (!std::filesystem::is_regular_file(status)) {
        problem = "it is not a regular file";
        return std::nullopt;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        problem = "cannot read it: " + ec.message();
        return std::nullopt;
    }
    if (size > kMaxFileSize) {
        problem = "it is larger than " + std::to_string(kMaxFileSize) + " bytes";
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in || in.gcount() != static_cast<std::streamsize>(bytes.size())) {
        problem = "cannot read it";
        return std::nullopt;
    }
    return bytes;
}

} // namespace

RegFileSettingsStore::RegFileSettingsStore(std::filesystem::path folder)
    : m_roots{RootFile{folder / "user.reg", u"HKEY_CURRENT_USER", std::nullopt},
              RootFile{folder / "machine.reg", u"HKEY_LOCAL_MACHINE", std::nullopt}}
{}

// Applies `edit` to a copy of the root and adopts the copy only once it is on disk.
template <typename Edit> bool RegFileSettingsStore::change(RegistryRoot root, Edit edit)
{
    RootFile &file = loaded(root);
    KeyTree edited = *file.tree;
    if (!edit(edited))
        return false;
    std::string error;
    if (!writeFileAtomically(file.path, formatRegFile(edited, file.rootName), error)) {
        report("settings not saved: " + error);
        return false;
    }
    file.tree = std::move(edited);
    return true;
}

bool RegFileSettingsStore::keyExists(RegistryRoot root, std::u16string_view path) const
{
    return loaded(root).tree->keyExists(path);
}

bool RegFileSettingsStore::createKey(RegistryRoot root, std::u16string_view path)
{
    if (!fitsRegFile(path))
        return false;
    if (keyExists(root, path))
        return true;
    return change(root, [path](KeyTree &tree) { return tree.createKey(path) != nullptr; });
}

bool RegFileSettingsStore::deleteKey(RegistryRoot root, std::u16string_view path)
{
    return change(root, [path](KeyTree &tree) { return tree.deleteKey(path); });
}

std::vector<std::u16string> RegFileSettingsStore::subKeyNames(RegistryRoot root,
                                                              std::u16string_view path) const
{
    return loaded(root).tree->subKeyNames(path);
}

std::vector<std::u16string> RegFileSettingsStore::valueNames(RegistryRoot root,
                                                             std::u16string_view path) const
{
    return loaded(root).tree->valueNames(path);
}

std::optional<RegistryValue> RegFileSettingsStore::readValue(RegistryRoot root,
                                                             std::u16string_view path,
                                                             std::u16string_view name) const
{
    return loaded(root).tree->readValue(path, name);
}

bool RegFileSettingsStore::writeValue(RegistryRoot root, std::u16string_view path,
                                      std::u16string_view name, const RegistryValue &value)
{
    if (!fitsRegFile(name))
        return false;
    return change(root, [&](KeyTree &tree) { return tree.writeValue(path, name, value); });
}

bool RegFileSettingsStore::deleteValue(RegistryRoot root, std::u16string_view path,
                                       std::u16string_view name)
{
    return change(root, [&](KeyTree &tree) { return tree.deleteValue(path, name); });
}

void RegFileSettingsStore::setDiagnosticSink(std::function<void(const std::string &)> sink)
{
    m_sink = std::move(sink);
}

void RegFileSettingsStore::report(std::string line) const
{
    if (m_sink)
        m_sink(line);
    else
        m_diagnostics.push_back(std::move(line));
}

std::vector<std::string> RegFileSettingsStore::takeDiagnostics()
{
    return std::exchange(m_diagnostics, {});
}

RegFileSettingsStore::RootFile &RegFileSettingsStore::loaded(RegistryRoot root) const
{
    RootFile &file = m_roots[static_cast<std::size_t>(root)];
    if (!file.tree)
        load(file);
    return file;
}

void RegFileSettingsStore::load(RootFile &file) const
{
    file.tree.emplace();
    std::error_code ec;
    if (std::filesystem::status(file.path, ec).type() == std::filesystem::file_type::not_found)
        return;

    std::string problem;
    if (const auto bytes = readWholeFile(file.path, problem)) {
        ParsedRegFile parsed = parseRegFile(*bytes, file.rootName);
        if (parsed.problem.empty()) {
            file.tree = std::move(parsed.tree);
            return;
        }
        problem = std::move(parsed.problem);
    }
    setAside(file, problem);
}

// Keeps the unreadable file for a person to look at instead of overwriting it with the
// next change.
void RegFileSettingsStore::setAside(const RootFile &file, const std::string &problem) const
{
    std::filesystem::path aside = file.path;
    aside += ".bad";
    std::error_code ec;
    std::filesystem::remove_all(aside, ec);
    std::filesystem::rename(file.path, aside, ec);
    std::string line = "settings file " + file.path.string() + " is corrupt (" + problem + ")";
    if (ec)
        line += " and could not be kept as " + aside.string() + " (" + ec.message() + ")";
    else
        line += "; kept as " + aside.string();
    report(line + "; starting with empty settings");
}

} // namespace platform
