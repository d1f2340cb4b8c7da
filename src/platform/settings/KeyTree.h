#pragma once

#include "platform/settings/SettingsStore.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// The registry's own limits. Keeping the depth bounded also keeps every walk over the
// tree (copying, writing it out) safe to do recursively, whatever a settings file holds.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxKeyDepth = 512;

// Names compare with only A-Z folded to a-z. The registry folds all of Unicode, but the
// client's own key and value names are ASCII, so ASCII folding is all it relies on.
bool sameName(std::u16string_view a, std::u16string_view b);

// The key names along `path`, or nothing when the path is invalid: an empty name between
// two backslashes, a name longer than kMaxKeyNameLength, or more than kMaxKeyDepth names.
std::optional<std::vector<std::u16string_view>> splitKeyPath(std::u16string_view path);

// The keys and values under one registry root, each list in creation order and each name
// spelled as first written. This is the whole behaviour of a settings store short of
// persistence and access rights, shared by the stores that keep their data in memory.
class KeyTree
{
public:
    struct NamedValue
    {
        std::u16string name;
        RegistryValue value;
        // Set for a value a settings file held as hex(N) data of a type the store does
        // not model (an expandable or multi-string, a QWORD...): it reads as Binary and
        // is written back with the same type.
        std::optional<std::uint32_t> fileType;
    };

    struct Key
    {
        std::u16string name;
        std::vector<Key> subKeys;
        std::vector<NamedValue> values;
    };

    KeyTree() = default;
    // A tree holding root's keys and values, as a settings file reader puts it together.
    explicit KeyTree(Key root) : m_root(std::move(root)) {}

    const Key &root() const { return m_root; }

    bool keyExists(std::u16string_view path) const { return findKey(path) != nullptr; }
    // The key, created with every missing key above it; nullptr for an invalid path. The
    // pointer stays valid until the next key is created or deleted.
    Key *createKey(std::u16string_view path);
    bool deleteKey(std::u16string_view path);

    std::vector<std::u16string> subKeyNames(std::u16string_view path) const;
    std::vector<std::u16string> valueNames(std::u16string_view path) const;

    std::optional<RegistryValue> readValue(std::u16string_view path,
                                           std::u16string_view name) const;
    bool writeValue(std::u16string_view path, std::u16string_view name, const RegistryValue &value);
    bool deleteValue(std::u16string_view path, std::u16string_view name);

    // Replaces the value of the same name, keeping its place and first spelling, or
    // appends it.
    static void setValue(Key &key, NamedValue value);

private:
    const Key *findKey(std::u16string_view path) const;
    Key *findKey(std::u16string_view path);

    Key m_root;
};

} // namespace platform
