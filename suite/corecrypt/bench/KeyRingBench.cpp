// Loading a large public key ring. `keyring_bench --make-ring PATH N` writes a ring of N distinct,
// properly signed public keys (for timing qmkey over it); without it, the Google Benchmark cases
// run on a ring of 10,000 keys made in a temporary folder.
#include "corecrypt/KeyRing.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

bool MakeRing(const std::string& path, std::uint32_t count, std::string& error) {
    corecrypt::RingContents ring;
    ring.entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        corecrypt::PublicKeyRecord r;
        r.created = 1700000000 + i;
        r.expires = i % 3 == 0 ? 0 : 1900000000;
        r.name = "Bench User " + std::to_string(i);
        r.email = "user" + std::to_string(i) + "@example.org";
        r.signedAt = r.created;
        std::uint8_t signSecret[32];
        std::uint8_t encryptSecret[32];
        if (!corecrypt::GenerateEd25519(signSecret, r.signPublic, error) ||
            !corecrypt::GenerateX25519(encryptSecret, r.encryptPublic, error))
            return false;
        const std::string signedPart = corecrypt::SignedBytes(r);
        if (!corecrypt::SignEd25519(signSecret, reinterpret_cast<const std::uint8_t*>(signedPart.data()),
                                    signedPart.size(), r.signature, error))
            return false;
        ring.entries.push_back({i, static_cast<std::uint8_t>(i % 3), 0, corecrypt::EncodePublicRecord(r)});
    }
    ring.nextPosition = count;
    return corecrypt::WriteRing(path, ring, error);
}

std::string g_ring;

void LoadPublicRing(benchmark::State& state) {
    for (auto _ : state) {
        PublicKeySlots keys(corecrypt::kRingSlots);
        char error[2000];
        const int n = LoadPublicKeyRing(keys, g_ring.c_str(), error, sizeof error);
        if (n != 10000)
            state.SkipWithError(error);
        benchmark::DoNotOptimize(keys.data());
    }
}
BENCHMARK(LoadPublicRing)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    std::string error;
    if (argc == 4 && std::string(argv[1]) == "--make-ring") {
        if (!MakeRing(argv[2], static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)), error)) {
            std::fprintf(stderr, "keyring_bench: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    char dir[] = "/tmp/qm-keyring-bench-XXXXXX";
    if (!::mkdtemp(dir))
        return 1;
    g_ring = std::string(dir) + "/pubring.qkr";
    if (!MakeRing(g_ring, 10000, error)) {
        std::fprintf(stderr, "keyring_bench: %s\n", error.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::unlink(g_ring.c_str());
    ::unlink((g_ring + ".lock").c_str());
    ::rmdir(dir);
    return 0;
}
