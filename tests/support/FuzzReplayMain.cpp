// Runs a fuzz target's entry point over every file of the folders (or files) named on the command
// line, so that the seed corpus is checked by every build, with or without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

static void RunOne(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

int main(int argc, char** argv) {
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            for (const auto& e : fs::recursive_directory_iterator(arg)) {
                if (e.is_regular_file()) {
                    RunOne(e.path());
                    ++count;
                }
            }
        } else if (fs::is_regular_file(arg)) {
            RunOne(arg);
            ++count;
        }
    }
    // An empty input is always worth a run: readers must refuse it cleanly.
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::printf("replayed %zu inputs\n", count);
    return count > 0 ? 0 : 1;
}
