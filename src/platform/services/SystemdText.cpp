#include "platform/services/SystemdText.h"

#include "platform/settings/TextCodec.h"

#include <array>

namespace platform {

namespace {

constexpr std::size_t kUnitNameLimit = 255;
constexpr std::string_view kServiceSuffix = ".service";
constexpr std::string_view kBlanks = " \t";

constexpr std::array<std::string_view, 11> kUnitTypes = {
    "service", "socket", "device", "mount", "automount", "swap",
    "target",  "path",   "timer",  "slice", "scope",
};

bool isUnitNameCharacter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           std::u16string_view(u":-_.\\@").find(c) != std::u16string_view::npos;
}

bool hasUnitType(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    const std::string_view type = name.substr(dot + 1);
    for (const std::string_view known : kUnitTypes) {
        if (type == known)
            return true;
    }
    return false;
}

std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Takes the next blank-separated word off the front of `text`.
std::string_view takeWord(std::string_view &text)
{
    const std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(begin);
    const std::size_t end = std::min(text.find_first_of(kBlanks), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

std::string_view trimmed(std::string_view text)
{
    const std::size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

bool isService(std::string_view unit)
{
    return unit.size() > kServiceSuffix.size() && unit.ends_with(kServiceSuffix);
}

} // namespace

std::optional<std::string> systemdUnitName(std::u16string_view service)
{
    if (service.empty() || service.front() == u'-' || service.size() > kUnitNameLimit)
        return std::nullopt;
    for (const char16_t c : service) {
        if (!isUnitNameCharacter(c))
            return std::nullopt;
    }
    std::string unit = utf16ToUtf8(service);
    if (!hasUnitType(unit))
        unit += kServiceSuffix;
    if (unit.size() > kUnitNameLimit)
        return std::nullopt;
    return unit;
}

ServiceState serviceStateOf(std::string_view activeState)
{
    if (activeState == "active" || activeState == "reloading" || activeState == "refreshing")
        return ServiceState::Running;
    if (activeState == "inactive" || activeState == "failed")
        return ServiceState::Stopped;
    if (activeState == "activating")
        return ServiceState::StartPending;
    if (activeState == "deactivating")
        return ServiceState::StopPending;
    return ServiceState::Unknown;
}

ServiceStartType startTypeOf(std::string_view unitFileState)
{
    if (unitFileState == "enabled" || unitFileState == "enabled-runtime")
        return ServiceStartType::Auto;
    if (unitFileState == "disabled" || unitFileState == "static" || unitFileState == "indirect")
        return ServiceStartType::Manual;
    if (unitFileState == "masked" || unitFileState == "masked-runtime")
        return ServiceStartType::Disabled;
    return ServiceStartType::Other;
}

std::vector<UnitProperties> parseUnitProperties(std::string_view output)
{
    std::vector<UnitProperties> blocks(1);
    for (const std::string_view line : linesOf(output)) {
        if (trimmed(line).empty()) {
            if (!blocks.back().empty())
                blocks.emplace_back();
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        blocks.back().emplace(std::string(line.substr(0, equals)),
                              std::string(trimmed(line.substr(equals + 1))));
    }
    if (blocks.back().empty())
        blocks.pop_back();
    return blocks;
}

std::string execStartProgram(std::string_view execStart)
{
    constexpr std::string_view key = "path=";
    const std::size_t at = execStart.find(key);
    if (at == std::string_view::npos)
        return {};
    std::string_view rest = execStart.substr(at + key.size());
    return std::string(rest.substr(0, rest.find(" ;")));
}

std::vector<UnitRow> parseUnitList(std::string_view output)
{
    std::vector<UnitRow> rows;
    for (std::string_view line : linesOf(output)) {
        std::string_view unit = takeWord(line);
        // Some versions mark failed units with a bullet even in plain output.
        if (unit == "\u25cf" || unit == "*")
            unit = takeWord(line);
        if (!isService(unit))
            continue;
        UnitRow row;
        row.unit = unit;
        row.loadState = takeWord(line);
        row.activeState = takeWord(line);
        takeWord(line); // the sub-state, which says nothing the active state does not
        row.description = trimmed(line);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::map<std::string, std::string> parseUnitFileList(std::string_view output)
{
    std::map<std::string, std::string> states;
    for (std::string_view line : linesOf(output)) {
        const std::string_view unit = takeWord(line);
        if (isService(unit))
            states.emplace(unit, takeWord(line));
    }
    return states;
}

} // namespace platform
