#include "platform/settings/SettingsStore.h"

#include <utility>

namespace platform {

RegistryValue RegistryValue::fromString(std::u16string s)
{
    RegistryValue value;
    value.type = ValueType::String;
    value.text = std::move(s);
    return value;
}

RegistryValue RegistryValue::fromDWord(std::uint32_t v)
{
    RegistryValue value;
    value.type = ValueType::DWord;
    value.dword = v;
    return value;
}

RegistryValue RegistryValue::fromBinary(std::vector<std::uint8_t> b)
{
    RegistryValue value;
    value.type = ValueType::Binary;
    value.binary = std::move(b);
    return value;
}

} // namespace platform
