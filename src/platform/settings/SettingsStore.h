#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The two registry roots the client keeps its settings under.
enum class RegistryRoot { CurrentUser, LocalMachine };

enum class ValueType { String, DWord, Binary };

struct RegistryValue
{
    ValueType type = ValueType::String;
    std::u16string text;              // String
    std::uint32_t dword = 0;          // DWord
    std::vector<std::uint8_t> binary; // Binary

    static RegistryValue fromString(std::u16string s);
    static RegistryValue fromDWord(std::uint32_t v);
    static RegistryValue fromBinary(std::vector<std::uint8_t> b);

    bool operator==(const RegistryValue &) const = default;
};

// A hierarchical store of keys and typed values, shaped like the Windows registry.
//
// Key paths are backslash-separated and relative to the root; a leading or trailing
// backslash is ignored, so "\SOFTWARE\x" and "SOFTWARE\x" name the same key. The empty
// path names the root itself, which always exists. Key and value names compare without
// regard to the case of A-Z. The empty value name is the key's default value.
//
// Methods that change the store return false when the change could not be made or
// persisted; readers never throw.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    virtual bool keyExists(RegistryRoot root, std::u16string_view path) const = 0;
    // Creates the key and every missing key above it; true when the key exists afterwards.
    virtual bool createKey(RegistryRoot root, std::u16string_view path) = 0;
    // Deletes the key with all its subkeys and values; false when it did not exist.
    virtual bool deleteKey(RegistryRoot root, std::u16string_view path) = 0;

    // Names as first written, in the order they were created; empty for a missing key.
    virtual std::vector<std::u16string> subKeyNames(RegistryRoot root,
                                                    std::u16string_view path) const = 0;
    virtual std::vector<std::u16string> valueNames(RegistryRoot root,
                                                   std::u16string_view path) const = 0;

    virtual std::optional<RegistryValue> readValue(RegistryRoot root, std::u16string_view path,
                                                   std::u16string_view name) const = 0;
    // Fails (false) when the key does not exist: values are written into open keys only.
    virtual bool writeValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                            const RegistryValue &value) = 0;
    virtual bool deleteValue(RegistryRoot root, std::u16string_view path,
                             std::u16string_view name) = 0;
};

} // namespace platform
