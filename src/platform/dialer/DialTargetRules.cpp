#include "platform/dialer/DialTargetRules.h"

#include <algorithm>
#include <cstddef>

namespace platform {

namespace {

bool isAsciiLetterOrDigit(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool isDecimalOctet(std::u16string_view part)
{
    if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), isDigit))
        return false;
    int value = 0;
    for (const char16_t c : part)
        value = value * 10 + (c - u'0');
    return value <= 255;
}

bool isHostLabel(std::u16string_view label)
{
    return !label.empty() && label.size() <= 63 && label.front() != u'-' && label.back() != u'-' &&
           std::all_of(label.begin(), label.end(),
                       [](char16_t c) { return isAsciiLetterOrDigit(c) || c == u'-'; });
}

} // namespace

bool isValidEntryName(std::u16string_view name)
{
    if (name.empty() || name.size() > 64)
        return false;
    const bool allowed = std::all_of(name.begin(), name.end(), [](char16_t c) {
        return isAsciiLetterOrDigit(c) || c == u' ' || c == u'-' || c == u'_' || c == u'.';
    });
    return allowed && name.front() != u' ' && name.front() != u'-' && name.front() != u'.' &&
           name.back() != u' ' && name.back() != u'.' &&
           name.find(u"..") == std::u16string_view::npos;
}

bool isValidHost(std::u16string_view host)
{
    if (host.empty() || host.size() > 253)
        return false;
    std::size_t parts = 0;
    bool allOctets = true;
    bool allLabels = true;
    bool allNumeric = true;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = host.find(u'.', start);
        const std::u16string_view part = host.substr(
            start, dot == std::u16string_view::npos ? host.size() - start : dot - start);
        ++parts;
        allOctets = allOctets && isDecimalOctet(part);
        allLabels = allLabels && isHostLabel(part);
        allNumeric = allNumeric && std::all_of(part.begin(), part.end(), isDigit);
        if (dot == std::u16string_view::npos)
            break;
        start = dot + 1;
    }
    if (allNumeric)
        return parts == 4 && allOctets;
    return allLabels;
}

} // namespace platform
