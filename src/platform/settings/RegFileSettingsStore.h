#pragma once

#include "platform/settings/KeyTree.h"
#include "platform/settings/SettingsStore.h"

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The settings store where there is no registry: each root is one file in a folder,
// user.reg for HKEY_CURRENT_USER and machine.reg for HKEY_LOCAL_MACHINE, in the format of
// regedit's export files (see RegFileFormat.h).
//
// A root's file is read on the first call that touches the root and kept in memory; every
// change rewrites the file atomically. A change that cannot be saved returns false and is
// undone in memory too, so memory and disk always agree. A file that cannot be read as
// settings is moved aside to "<file>.bad", the root starts empty and a line about it is
// recorded for takeDiagnostics(). Changes made to the files by others while the store is
// in use are overwritten. Not safe for use from several threads at once.
class RegFileSettingsStore : public SettingsStore
{
public:
    explicit RegFileSettingsStore(std::filesystem::path folder);

    bool keyExists(RegistryRoot root, std::u16string_view path) const override;
    // Also false for names with a line break or NUL, which the file cannot hold.
    bool createKey(RegistryRoot root, std::u16string_view path) override;
    bool deleteKey(RegistryRoot root, std::u16string_view path) override;

    std::vector<std::u16string> subKeyNames(RegistryRoot root,
                                            std::u16string_view path) const override;
    std::vector<std::u16string> valueNames(RegistryRoot root,
                                           std::u16string_view path) const override;

    // hex(N) values of types other than text, DWORD and binary read as Binary.
    std::optional<RegistryValue> readValue(RegistryRoot root, std::u16string_view path,
                                           std::u16string_view name) const override;
    // Also false for names with a line break or NUL, which the file cannot hold.
    bool writeValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                    const RegistryValue &value) override;
    bool deleteValue(RegistryRoot root, std::u16string_view path,
                     std::u16string_view name) override;

    // The UTF-8 lines recorded since the last call about files found corrupt or changes
    // that could not be saved, for the application to report.
    std::vector<std::string> takeDiagnostics();
    // From now on such lines go to sink as they happen instead of being recorded.
    void setDiagnosticSink(std::function<void(const std::string &)> sink);

private:
    struct RootFile
    {
        std::filesystem::path path;
        std::u16string rootName;
        std::optional<KeyTree> tree; // empty until first used
    };

    RootFile &loaded(RegistryRoot root) const;
    void load(RootFile &file) const;
    void setAside(const RootFile &file, const std::string &problem) const;
    template <typename Edit> bool change(RegistryRoot root, Edit edit);
    void report(std::string line) const;

    mutable std::array<RootFile, 2> m_roots;
    mutable std::vector<std::string> m_diagnostics;
    std::function<void(const std::string &)> m_sink;
};

} // namespace platform
