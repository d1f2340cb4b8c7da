#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Conversions between UTF-8 and UTF-16 that never throw. The lenient forms replace every
// ill-formed part of the input with U+FFFD (one per maximal ill-formed subsequence, as
// Unicode recommends); the strict form refuses such input instead.
std::u16string utf8ToUtf16(std::string_view utf8);
std::optional<std::u16string> strictUtf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

} // namespace platform
