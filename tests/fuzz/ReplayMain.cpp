// Runs the fuzz target once over every input file of the folders (or files) given on the
// command line, so that the starting inputs and every finding stay regression tests in builds
// without libFuzzer. Hidden files (placeholders such as .gitkeep) are skipped.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace {

std::vector<std::filesystem::path> inputsOf(const std::filesystem::path &location)
{
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_regular_file(location)) {
        inputs.push_back(location);
    } else if (std::filesystem::is_directory(location)) {
        for (const auto &entry : std::filesystem::directory_iterator(location)) {
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                inputs.push_back(entry.path());
        }
        std::sort(inputs.begin(), inputs.end());
    }
    return inputs;
}

} // namespace

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::filesystem::exists(argv[i])) {
            std::fprintf(stderr, "replay: %s does not exist\n", argv[i]);
            return 1;
        }
        for (const std::filesystem::path &input : inputsOf(argv[i])) {
            std::ifstream file(input, std::ios::binary);
            const std::vector<char> content{std::istreambuf_iterator<char>(file),
                                            std::istreambuf_iterator<char>()};
            std::fprintf(stderr, "replay: %s\n", input.c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(content.data()),
                                   content.size());
            ++replayed;
        }
    }
    std::fprintf(stderr, "replay: %zu inputs\n", replayed);
    return 0;
}
