#pragma once

#include "platform/settings/KeyTree.h"
#include "platform/settings/SettingsStore.h"

#include <array>

namespace platform {

// A settings store that lives only in memory, for tests. A root can be made read-only to
// act like a user without write access to HKEY_LOCAL_MACHINE.
class MemorySettingsStore : public SettingsStore
{
public:
    // While a root is not writable every change to it fails and leaves it as it was;
    // creating a key that already exists still succeeds, as opening it would.
    void setWritable(RegistryRoot root, bool writable);

    bool keyExists(RegistryRoot root, std::u16string_view path) const override;
    bool createKey(RegistryRoot root, std::u16string_view path) override;
    bool deleteKey(RegistryRoot root, std::u16string_view path) override;

    std::vector<std::u16string> subKeyNames(RegistryRoot root,
                                            std::u16string_view path) const override;
    std::vector<std::u16string> valueNames(RegistryRoot root,
                                           std::u16string_view path) const override;

    std::optional<RegistryValue> readValue(RegistryRoot root, std::u16string_view path,
                                           std::u16string_view name) const override;
    bool writeValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                    const RegistryValue &value) override;
    bool deleteValue(RegistryRoot root, std::u16string_view path,
                     std::u16string_view name) override;

private:
    struct Root
    {
        KeyTree tree;
        bool writable = true;
    };

    Root &rootFor(RegistryRoot root) { return m_roots[static_cast<std::size_t>(root)]; }
    const Root &rootFor(RegistryRoot root) const { return m_roots[static_cast<std::size_t>(root)]; }

    std::array<Root, 2> m_roots;
};

} // namespace platform
