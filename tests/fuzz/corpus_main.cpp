// Runs every file of a seed corpus folder through a fuzz target's entry point
// once.  The test suite uses it so that each target keeps building and its
// seeds keep passing under the sanitizers; scripts/fuzz runs the real fuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++count;
    }
    // Every prefix of every seed, too: truncation is the commonest damage.
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t step = bytes.size() > 4096 ? bytes.size() / 4096 : 1;
        for (size_t n = 0; n < bytes.size(); n += step) {
            std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
            LLVMFuzzerTestOneInput(prefix.data(), prefix.size());
        }
    }
    std::printf("%d seed files run\n", count);
    return count > 0 ? 0 : 1;
}
