#include "platform/settings/TextCodec.h"

#include <cstdint>

namespace platform {

namespace {

constexpr char32_t kReplacement = U'\xFFFD';

struct Decoded
{
    std::optional<char32_t> codePoint; // empty for an ill-formed subsequence
    std::size_t length = 1;
};

// Reads one sequence at the start of `in` following the table of well-formed byte
// sequences; an ill-formed one reports how many bytes belong to its maximal subpart.
Decoded decodeOne(std::string_view in)
{
    const auto lead = static_cast<std::uint8_t>(in[0]);
    if (lead < 0x80)
        return {lead, 1};

    std::size_t length = 0;
    std::uint8_t secondLow = 0x80;
    std::uint8_t secondHigh = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        if (lead == 0xE0)
            secondLow = 0xA0; // overlong
        else if (lead == 0xED)
            secondHigh = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
        if (lead == 0xF0)
            secondLow = 0x90; // overlong
        else if (lead == 0xF4)
            secondHigh = 0x8F; // beyond U+10FFFF
    } else {
        return {std::nullopt, 1};
    }

    for (std::size_t i = 1; i < length; ++i) {
        if (i >= in.size())
            return {std::nullopt, i};
        const auto byte = static_cast<std::uint8_t>(in[i]);
        const std::uint8_t low = i == 1 ? secondLow : 0x80;
        const std::uint8_t high = i == 1 ? secondHigh : 0xBF;
        if (byte < low || byte > high)
            return {std::nullopt, i};
        value = (value << 6) | (byte & 0x3Fu);
    }
    return {value, length};
}

void appendUtf16(std::u16string &out, char32_t codePoint)
{
    if (codePoint < 0x10000) {
        out.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
}

void appendUtf8(std::string &out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

bool isHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::u16string utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        const Decoded decoded = decodeOne(utf8);
        appendUtf16(out, decoded.codePoint.value_or(kReplacement));
        utf8.remove_prefix(decoded.length);
    }
    return out;
}

std::optional<std::u16string> strictUtf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        const Decoded decoded = decodeOne(utf8);
        if (!decoded.codePoint)
            return std::nullopt;
        appendUtf16(out, *decoded.codePoint);
        utf8.remove_prefix(decoded.length);
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        if (isHighSurrogate(unit) && i + 1 < utf16.size() && isLowSurrogate(utf16[i + 1])) {
            const char32_t high = static_cast<char32_t>(unit) - 0xD800;
            const char32_t low = static_cast<char32_t>(utf16[i + 1]) - 0xDC00;
            appendUtf8(out, 0x10000 + (high << 10) + low);
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

} // namespace platform
