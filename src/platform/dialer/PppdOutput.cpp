#include "platform/dialer/PppdOutput.h"

#include <vector>

namespace platform {

namespace {

std::vector<std::string_view> splitBySpaces(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (true) {
        at = line.find_first_not_of(" \t\r", at);
        if (at == std::string_view::npos)
            return words;
        const std::size_t end = line.find_first_of(" \t\r", at);
        words.push_back(line.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos)
            return words;
        at = end;
    }
}

} // namespace

PppdProgress readPppdLine(std::string_view line)
{
    using Step = PppdProgress::Step;
    const std::vector<std::string_view> words = splitBySpaces(line);
    if (words.size() == 3 && words[0] == "Using" && words[1] == "interface")
        return {Step::InterfaceChosen, std::string(words[2])};
    if (!words.empty() && words[0] == "Connect:")
        return {Step::LinkConnected, {}};
    if (words.size() >= 3 && words[words.size() - 2] == "authentication" &&
        words.back() == "succeeded")
        return {Step::Authenticated, {}};
    if (words.size() == 4 && words[0] == "local" && words[1] == "IP" && words[2] == "address")
        return {Step::AddressAssigned, std::string(words[3])};
    return {};
}

} // namespace platform
