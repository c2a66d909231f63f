// scrypt (RFC 7914), with its p independent lanes run side by side on the machine's cores: the
// cost a password guess takes stays the same while the user waits a fraction of it.

#include "corecrypt/Primitives.h"
#include "corecrypt/ScryptCore.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

namespace corecrypt {
namespace {

using scrypt::Block;

// The whole of a lane's working memory at most, summed over the lanes that run at once.
constexpr std::uint64_t kParallelMemory = 256ull << 20;

std::atomic<bool> g_avx2Allowed{true};

// Working memory of one lane, taken straight from the kernel in huge pages where it allows them
// (fewer page faults, and the random reads of the second pass miss the TLB less), given back whole.
class LaneMemory {
public:
    explicit LaneMemory(std::size_t size) {
        constexpr std::size_t kHuge = 2u << 20;
        size_ = size + kHuge;
        void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return;
        base_ = p;
        const auto at = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
        data_ = reinterpret_cast<Block*>(at);
        madvise(data_, size, MADV_HUGEPAGE);
    }
    ~LaneMemory() {
        if (base_)
            munmap(base_, size_);
    }
    LaneMemory(const LaneMemory&) = delete;
    LaneMemory& operator=(const LaneMemory&) = delete;
    Block* get() const { return data_; }

private:
    void* base_ = nullptr;
    std::size_t size_ = 0;
    Block* data_ = nullptr;
};

} // namespace

void SetScryptAvx2ForTesting(bool allowed) {
    g_avx2Allowed = allowed;
}

bool DeriveScrypt(std::string_view password, const std::uint8_t* salt, std::size_t saltSize,
                  const KdfCost& cost, std::uint8_t* out, std::size_t outSize, std::string& error) {
    if (!KdfCostAcceptable(cost, error))
        return false;
    const std::size_t r = cost.r, p = cost.p;
    const std::uint64_t n = std::uint64_t{1} << cost.log2N;
    const std::size_t laneBytes = 128 * r;
    const std::size_t laneMemory = (n + 2) * laneBytes;
    SecureBytes b(p * laneBytes);
    if (!Pbkdf2HmacSha256(password, salt, saltSize, 1, b.data(), b.size(), error))
        return false;

    // Lanes are spread over the cores first; each worker then runs its lanes a group at a time in
    // lock-step (four with AVX2, two without), within the memory allowed for all lanes in flight.
    const bool avx2 = g_avx2Allowed && __builtin_cpu_supports("avx2");
    std::size_t group = avx2 ? 4 : 2;
    while (group > 1 && group * laneMemory > kParallelMemory)
        group /= 2;
    const std::size_t workers = std::max<std::size_t>(
        1, std::min<std::size_t>({p, std::max(1u, std::thread::hardware_concurrency()),
                                  static_cast<std::size_t>(kParallelMemory / (group * laneMemory))}));
    const std::size_t laneBlocks = laneMemory / sizeof(Block);
    // Lane i goes to worker i mod workers; each worker takes its own memory, so that the pages are
    // also faulted in side by side. A worker that cannot be started runs on the calling thread.
    std::atomic<bool> outOfMemory{false};
    auto work = [&](std::size_t worker) {
        const std::size_t count = (p - worker + workers - 1) / workers; // lanes worker, worker + workers, ...
        const std::size_t inFlight = std::min(group, count);
        LaneMemory memory(laneMemory * inFlight);
        if (!memory.get()) {
            outOfMemory = true;
            return;
        }
        Block* v[4];
        for (std::size_t i = 0; i < inFlight; ++i)
            v[i] = memory.get() + i * laneBlocks;
        for (std::size_t done = 0; done < count;) {
            const std::size_t left = std::min(inFlight, count - done);
            const std::size_t take = left >= 4 ? 4 : left >= 2 ? 2 : 1;
            std::uint8_t* at[4];
            for (std::size_t i = 0; i < take; ++i)
                at[i] = b.data() + (worker + (done + i) * workers) * laneBytes;
            if (take == 4)
                scrypt::RoMixFourAvx2(at, r, n, v);
            else if (take == 2 && avx2)
                scrypt::RoMixTwoAvx2(at, r, n, v);
            else if (take == 2)
                scrypt::RoMix<scrypt::Sse, 2>(at, r, n, v);
            else
                scrypt::RoMix<scrypt::Sse, 1>(at, r, n, v);
            done += take;
        }
    };
    std::vector<std::thread> started;
    for (std::size_t t = 1; t < workers; ++t) {
        try {
            started.emplace_back(work, t);
        } catch (const std::exception&) {
            break;
        }
    }
    work(0);
    for (std::size_t t = started.size() + 1; t < workers; ++t)
        work(t);
    for (auto& t : started)
        t.join();
    if (outOfMemory) {
        error = "Key derivation: out of memory.";
        return false;
    }

    return Pbkdf2HmacSha256(password, b.data(), b.size(), 1, out, outSize, error);
}

} // namespace corecrypt
