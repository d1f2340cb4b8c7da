#include "platform/settings/MemorySettingsStore.h"

namespace platform {

void MemorySettingsStore::setWritable(RegistryRoot root, bool writable)
{
    rootFor(root).writable = writable;
}

bool MemorySettingsStore::keyExists(RegistryRoot root, std::u16string_view path) const
{
    return rootFor(root).tree.keyExists(path);
}

bool MemorySettingsStore::createKey(RegistryRoot root, std::u16string_view path)
{
    Root &target = rootFor(root);
    if (!target.writable)
        return target.tree.keyExists(path);
    return target.tree.createKey(path) != nullptr;
}

bool MemorySettingsStore::deleteKey(RegistryRoot root, std::u16string_view path)
{
    Root &target = rootFor(root);
    return target.writable && target.tree.deleteKey(path);
}

std::vector<std::u16string> MemorySettingsStore::subKeyNames(RegistryRoot root,
                                                             std::u16string_view path) const
{
    return rootFor(root).tree.subKeyNames(path);
}

std::vector<std::u16string> MemorySettingsStore::valueNames(RegistryRoot root,
                                                            std::u16string_view path) const
{
    return rootFor(root).tree.valueNames(path);
}

std::optional<RegistryValue> MemorySettingsStore::readValue(RegistryRoot root,
                                                            std::u16string_view path,
                                                            std::u16string_view name) const
{
    return rootFor(root).tree.readValue(path, name);
}

bool MemorySettingsStore::writeValue(RegistryRoot root, std::u16string_view path,
                                     std::u16string_view name, const RegistryValue &value)
{
    Root &target = rootFor(root);
    return target.writable && target.tree.writeValue(path, name, value);
}

bool MemorySettingsStore::deleteValue(RegistryRoot root, std::u16string_view path,
                                      std::u16string_view name)
{
    Root &target = rootFor(root);
    return target.writable && target.tree.deleteValue(path, name);
}

} // namespace platform
