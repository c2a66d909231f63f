// What the read-back check costs: encrypting a file, against encrypting it and then decrypting
// the written copy and comparing it with the source (what a task does before it wipes a file).
// The ratio is printed as the counter "ratio" of the second one.
// Run with: cmake --build build --target read_back_bench && build/bench/read_back_bench
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/KeyFile.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Files {
    std::string folder, source, key;
    Files() {
        const char* base = std::getenv("TMPDIR");
        folder = (fs::path(base ? base : "/tmp") / "qm-read-back-bench").string();
        fs::remove_all(folder);
        fs::create_directories(folder);
        source = folder + "/source.bin";
        key = folder + "/k.qmk";
        std::mt19937_64 random(7);
        std::string bytes(64u << 20, '\0');
        for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
            const std::uint64_t v = random();
            std::memcpy(bytes.data() + i, &v, 8);
        }
        std::ofstream(source, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        char text[256];
        CreateKeyFile(key.c_str(), text, sizeof text);
    }
};

const Files& TheFiles() {
    static const Files files;
    return files;
}

double g_plainSeconds = 0;

// Wall-clock seconds per encryption (the engine's worker threads do most of the work).
double Encrypt(benchmark::State& state, bool readBack) {
    const Files& f = TheFiles();
    std::string error;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::string out = f.folder + "/out.qmp";
        if (!(readBack ? corecrypt::EncryptFileVerified(f.source, out, f.key, true, 0, false, nullptr, error)
                       : corecrypt::EncryptFile(f.source, out, f.key, true, 0, false, error)))
            state.SkipWithError(error.c_str());
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (64 << 20));
    return total / static_cast<double>(state.iterations());
}

void EncryptOnly(benchmark::State& state) {
    g_plainSeconds = Encrypt(state, false);
}

void EncryptAndReadBack(benchmark::State& state) {
    const double seconds = Encrypt(state, true);
    if (g_plainSeconds > 0)
        state.counters["ratio"] = seconds / g_plainSeconds;
}

} // namespace

BENCHMARK(EncryptOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(EncryptAndReadBack)->Unit(benchmark::kMillisecond)->MinTime(2.0);
