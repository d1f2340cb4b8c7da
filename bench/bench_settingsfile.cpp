// Times reading settings files that are wide rather than deep: one key with many values and
// one key with many subkeys, near the store's 16 MB file limit. Prints the median of
// repeated runs in milliseconds.

#include "platform/settings/RegFileFormat.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int Runs = 5;
constexpr int Entries = 500000;

std::string manyValues()
{
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Wide]\n";
    for (int i = 0; i < Entries; ++i)
        text += "\"v" + std::to_string(i) + "\"=dword:00000001\n";
    return text;
}

std::string manyKeys()
{
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    for (int i = 0; i < Entries; ++i)
        text += "[HKEY_CURRENT_USER\\Wide\\k" + std::to_string(i) + "]\n";
    return text;
}

double medianParseMs(const std::string &bytes)
{
    std::vector<double> samples;
    for (int run = 0; run < Runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const platform::ParsedRegFile parsed = platform::parseRegFile(bytes, u"HKEY_CURRENT_USER");
        samples.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        if (!parsed.problem.empty())
            std::printf("unexpected problem: %s\n", parsed.problem.c_str());
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main()
{
    const std::string values = manyValues();
    const std::string keys = manyKeys();
    std::printf("%-52s %9.2f ms\n", "parse 500000 values in one key", medianParseMs(values));
    std::printf("%-52s %9.2f ms\n", "parse 500000 subkeys of one key", medianParseMs(keys));
    return 0;
}
