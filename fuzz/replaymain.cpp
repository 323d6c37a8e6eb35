// Replays inputs through one fuzz target without libFuzzer: every regular
// file of each folder argument (in name order) and every file argument goes
// through LLVMFuzzerTestOneInput once. A target's failed check aborts the
// process, so the test fails on exactly the input that broke it. Built with
// the normal compiler for the test suite's corpus replays.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<std::filesystem::path> inputsOf(const std::filesystem::path &argument)
{
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(argument)) {
        for (const auto &entry : std::filesystem::directory_iterator(argument)) {
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        }
        std::sort(inputs.begin(), inputs.end());
    } else if (std::filesystem::is_regular_file(argument)) {
        inputs.push_back(argument);
    }
    return inputs;
}

} // namespace

int main(int argc, char **argv)
{
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::vector<std::filesystem::path> inputs = inputsOf(argv[i]);
        if (inputs.empty()) {
            fprintf(stderr, "replay: no inputs in %s\n", argv[i]);
            return 1;
        }
        for (const std::filesystem::path &path : inputs) {
            std::ifstream file(path, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
            printf("replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
            fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    printf("replay: %d inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
