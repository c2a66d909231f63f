#include "corecrypt/Primitives.h"

#include "corecrypt/CryptoGuard.h"

#include <crypto++/aes.h>
#include <crypto++/blowfish.h>
#include <crypto++/cast.h>
#include <crypto++/des.h>
#include <crypto++/filters.h>
#include <crypto++/gcm.h>
#include <crypto++/gost.h>
#include <crypto++/hkdf.h>
#include <crypto++/hmac.h>
#include <crypto++/mars.h>
#include <crypto++/misc.h>
#include <crypto++/modes.h>
#include <crypto++/osrng.h>
#include <crypto++/pwdbased.h>
#include <crypto++/rc6.h>
#include <crypto++/serpent.h>
#include <crypto++/sha.h>
#include <crypto++/square.h>
#include <crypto++/twofish.h>

#include <algorithm>

#include <atomic>
#include <cctype>
#include <cstring>
#include <mutex>
#include <new>
#include <type_traits>
#include <utility>

namespace corecrypt {
namespace {

// Eight lanes of 4 MiB: the same work per password guess as one lane of 32 MiB (2^15, 8, 1), but
// the lanes run side by side on the cores and vector units, so opening a file waits about 11 ms
// on a two-core machine with AVX2 instead of 70. Each file records its own parameters.
constexpr KdfCost kStrongCost{12, 8, 8};
constexpr std::uint64_t kMaxKdfMemory = 256ull << 20;
constexpr std::uint64_t kMaxKdfWork = 1ull << 22; // N * r * p: sixteen times the default

std::mutex g_settingsMutex;
std::optional<KdfCost> g_testCost;
std::optional<KdfCost> g_testCap;

std::uint64_t Memory(const KdfCost& c) {
    return 128ull * c.r << c.log2N;
}
std::uint64_t Work(const KdfCost& c) {
    return (std::uint64_t{1} << c.log2N) * c.r * c.p;
}

template <class F>
auto WithCipher(int algorithm, F&& f) {
    switch (algorithm) {
    case 0:
        return f(std::type_identity<CryptoPP::AES>{});
    case 1:
        return f(std::type_identity<CryptoPP::Blowfish>{});
    case 2:
        return f(std::type_identity<CryptoPP::CAST256>{});
    case 3:
        return f(std::type_identity<CryptoPP::GOST>{});
    case 4:
        return f(std::type_identity<CryptoPP::Square>{});
    case 5:
        return f(std::type_identity<CryptoPP::MARS>{});
    case 6:
        return f(std::type_identity<CryptoPP::RC6>{});
    case 7:
        return f(std::type_identity<CryptoPP::Serpent>{});
    case 8:
        return f(std::type_identity<CryptoPP::DES_EDE3>{});
    default:
        return f(std::type_identity<CryptoPP::Twofish>{});
    }
}

const char* const kAlgorithmNames[kAlgorithmCount] = {
    "AES", "Blowfish", "CAST-256", "GOST", "Square", "MARS", "RC-6", "Serpent", "Triple-DES", "Twofish"};
const char* const kModeNames[kModeCount] = {"ECB", "CBC", "CFB", "OFB"};

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

KdfCost DefaultKdfCost() {
    std::lock_guard lock(g_settingsMutex);
    return g_testCost.value_or(kStrongCost);
}

void SetKdfCostForTesting(std::optional<KdfCost> cost) {
    std::lock_guard lock(g_settingsMutex);
    g_testCost = cost;
}

void SetKdfCapForTesting(std::optional<KdfCost> cap) {
    std::lock_guard lock(g_settingsMutex);
    g_testCap = cap;
}

bool KdfCostAcceptable(const KdfCost& cost, std::string& error) {
    std::uint64_t maxMemory = kMaxKdfMemory;
    std::uint64_t maxWork = kMaxKdfWork;
    {
        std::lock_guard lock(g_settingsMutex);
        if (g_testCap) {
            maxMemory = Memory(*g_testCap);
            maxWork = Work(*g_testCap);
        }
    }
    if (cost.log2N < 1 || cost.log2N > 30 || cost.r < 1 || cost.p < 1) {
        error = "The key-derivation parameters are invalid.";
        return false;
    }
    if (Memory(cost) > maxMemory || Work(cost) > maxWork) {
        error = "The key-derivation parameters ask for more memory or time than allowed.";
        return false;
    }
    return true;
}

bool RandomBytes(std::uint8_t* out, std::size_t size, std::string& error) {
    return Guard(error, "Random number generator", [&] {
        CryptoPP::NonblockingRng rng;
        rng.GenerateBlock(out, size);
    });
}

bool Pbkdf2HmacSha256(std::string_view password, const std::uint8_t* salt, std::size_t saltSize,
                      unsigned iterations, std::uint8_t* out, std::size_t outSize, std::string& error) {
    return Guard(error, "Key derivation", [&] {
        CryptoPP::PKCS5_PBKDF2_HMAC<CryptoPP::SHA256> pbkdf2;
        pbkdf2.DeriveKey(out, outSize, 0, reinterpret_cast<const CryptoPP::byte*>(password.data()),
                         password.size(), salt, saltSize, iterations, 0);
    });
}

bool DeriveHkdf(const std::uint8_t* secret, std::size_t secretSize, const std::uint8_t* salt,
                std::size_t saltSize, std::string_view info, std::uint8_t* out, std::size_t outSize,
                std::string& error) {
    return Guard(error, "Key derivation", [&] {
        CryptoPP::HKDF<CryptoPP::SHA256> hkdf;
        hkdf.DeriveKey(out, outSize, secret, secretSize, salt, saltSize,
                       reinterpret_cast<const CryptoPP::byte*>(info.data()), info.size());
    });
}

bool HmacSha256(const std::uint8_t* key, std::size_t keySize, const std::uint8_t* data, std::size_t size,
                std::uint8_t out[32], std::string& error) {
    return Guard(error, "Authentication", [&] {
        CryptoPP::HMAC<CryptoPP::SHA256> hmac(key, keySize);
        hmac.CalculateDigest(out, data, size);
    });
}

bool EqualSecret(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) {
    return CryptoPP::VerifyBufsEqual(a, b, size);
}

bool GcmSeal(const std::uint8_t key[32], const std::uint8_t nonce[12], const std::uint8_t* aad,
             std::size_t aadSize, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
             std::uint8_t tag[16], std::string& error) {
    return Guard(error, "Encryption", [&] {
        CryptoPP::GCM<CryptoPP::AES>::Encryption gcm;
        gcm.SetKeyWithIV(key, 32, nonce, 12);
        gcm.EncryptAndAuthenticate(out, tag, 16, nonce, 12, aad, aadSize, in, size);
    });
}

bool GcmOpen(const std::uint8_t key[32], const std::uint8_t nonce[12], const std::uint8_t* aad,
             std::size_t aadSize, const std::uint8_t* in, std::size_t size, const std::uint8_t tag[16],
             std::uint8_t* out, std::string& error) {
    bool verified = false;
    error.clear();
    const bool ran = Guard(error, "Decryption", [&] {
        CryptoPP::GCM<CryptoPP::AES>::Decryption gcm;
        gcm.SetKeyWithIV(key, 32, nonce, 12);
        verified = gcm.DecryptAndVerify(out, tag, 16, nonce, 12, aad, aadSize, in, size);
    });
    return ran && verified;
}

struct ChunkMac::Impl {
    CryptoPP::GCM<CryptoPP::AES>::Encryption gcm;
};

ChunkMac::ChunkMac() : m_impl(std::make_unique<Impl>()) {}
ChunkMac::~ChunkMac() = default;

bool ChunkMac::SetKey(const std::uint8_t key[32], std::string& error) {
    const std::uint8_t zero[12] = {};
    return Guard(error, "Authentication", [&] { m_impl->gcm.SetKeyWithIV(key, 32, zero, 12); });
}

bool ChunkMac::Compute(const std::uint8_t nonce[12], const std::uint8_t* data, std::size_t size,
                       std::uint8_t tag[16], std::string& error) {
    return Guard(error, "Authentication", [&] {
        m_impl->gcm.Resynchronize(nonce, 12);
        m_impl->gcm.Update(data, size);
        m_impl->gcm.TruncatedFinal(tag, 16);
    });
}

struct BlockPrf::Impl {
    CryptoPP::AES::Encryption aes;
};

BlockPrf::BlockPrf() : m_impl(std::make_unique<Impl>()) {}
BlockPrf::~BlockPrf() = default;

bool BlockPrf::SetKey(const std::uint8_t key[32], std::string& error) {
    return Guard(error, "Key set-up", [&] { m_impl->aes.SetKey(key, 32); });
}

bool BlockPrf::Compute(const std::uint8_t in[16], std::uint8_t out[16], std::string& error) {
    return Guard(error, "Key set-up", [&] { m_impl->aes.ProcessBlock(in, out); });
}

std::string WeakChoiceWarning(int algorithm, int mode) {
    const bool tripleDes = algorithm == 8, ecb = mode == static_cast<int>(Mode::ECB);
    if (!tripleDes && !ecb)
        return {};
    std::string why = tripleDes && ecb ? "Triple-DES in ECB mode is not recommended: "
                      : tripleDes      ? "Triple-DES is not recommended: "
                                       : "ECB mode is not recommended: ";
    if (tripleDes)
        why += "its 64-bit blocks and short key are weak for today";
    if (ecb)
        why += std::string(tripleDes ? ", and " : "") + "ECB shows which blocks of a file are equal";
    return why + "; it is kept only to read older files (AES in CBC mode is the default).";
}

const char* AlgorithmName(int algorithm) {
    return algorithm >= 0 && algorithm < kAlgorithmCount ? kAlgorithmNames[algorithm] : nullptr;
}

const char* ModeName(int mode) {
    return mode >= 0 && mode < kModeCount ? kModeNames[mode] : nullptr;
}

int FindAlgorithm(std::string_view name) {
    for (int i = 0; i < kAlgorithmCount; ++i)
        if (SameText(name, kAlgorithmNames[i]))
            return i;
    if (SameText(name, "TripleDES") || SameText(name, "3DES"))
        return 8;
    if (SameText(name, "RC6"))
        return 6;
    if (SameText(name, "CAST256"))
        return 2;
    return -1;
}

int FindMode(std::string_view name) {
    for (int i = 0; i < kModeCount; ++i)
        if (SameText(name, kModeNames[i]))
            return i;
    return -1;
}

bool ResolveAlgorithmMode(int code, int& resolved) {
    if (code == 0)
        code = kDefaultAlgorithmMode;
    if (code < 1 || code > kAlgorithmCount * kModeCount)
        return false;
    resolved = code;
    return true;
}

struct ModeCipher::Impl {
    std::unique_ptr<CryptoPP::SymmetricCipher> cipher;
    // The bare cipher in its forward direction, for running chained modes side by side; null
    // where the mode itself is parallel (ECB, CBC decryption).
    std::unique_ptr<CryptoPP::BlockTransformation> forward;
    Mode mode = Mode::ECB;
    bool encrypt = true;
    std::size_t block = 16;
};

namespace {

constexpr std::size_t kMaxRuns = 8;

// One step of `count` chains at once: out = E(in), or E(in ^ x) with `xorInput`, or E(in) ^ x.
void ForwardBlocks(const CryptoPP::BlockTransformation& cipher, const std::uint8_t* in, const std::uint8_t* x,
                   std::uint8_t* out, std::size_t length, bool xorInput) {
    using BT = CryptoPP::BlockTransformation;
    cipher.AdvancedProcessBlocks(in, x, out, length, BT::BT_AllowParallel | (xorInput ? BT::BT_XorInput : 0));
}

// Chained modes over up to kMaxRuns runs: each step takes block k of every run through the cipher
// in one call, with the previous block of each run as chaining value. The block size is a constant
// here so that gathering and scattering the blocks compiles to plain moves; the three buffers
// change roles by pointer instead of being copied.
template <std::size_t B>
void ChainRuns(const CryptoPP::BlockTransformation& cipher, Mode mode, bool encrypt,
               std::uint8_t* const* runs, const std::uint8_t* const* ivs, std::size_t count,
               std::size_t size) {
    alignas(16) std::uint8_t buffers[3][kMaxRuns * B];
    std::uint8_t* chain = buffers[0];
    std::uint8_t* text = buffers[1];
    std::uint8_t* out = buffers[2];
    const std::size_t length = count * B;
    for (std::size_t r = 0; r < count; ++r)
        std::memcpy(chain + r * B, ivs[r], B);
    for (std::size_t offset = 0; offset < size; offset += B) {
        for (std::size_t r = 0; r < count; ++r)
            std::memcpy(text + r * B, runs[r] + offset, B);
        switch (mode) {
        case Mode::CBC: // C = E(P ^ C'), the next chaining value
            ForwardBlocks(cipher, text, chain, out, length, true);
            std::swap(chain, out);
            for (std::size_t r = 0; r < count; ++r)
                std::memcpy(runs[r] + offset, chain + r * B, B);
            break;
        case Mode::CFB: // C = P ^ E(C'); P = C ^ E(C'); C chains on
            ForwardBlocks(cipher, chain, text, out, length, false);
            for (std::size_t r = 0; r < count; ++r)
                std::memcpy(runs[r] + offset, out + r * B, B);
            std::swap(chain, encrypt ? out : text);
            break;
        default: // OFB: K = E(K') chains on, and the text is XORed with it
            ForwardBlocks(cipher, chain, nullptr, out, length, false);
            std::swap(chain, out);
            CryptoPP::xorbuf(text, chain, length);
            for (std::size_t r = 0; r < count; ++r)
                std::memcpy(runs[r] + offset, text + r * B, B);
            break;
        }
    }
    CryptoPP::SecureWipeArray(&buffers[0][0], sizeof buffers);
}

} // namespace

ModeCipher::ModeCipher(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
ModeCipher::~ModeCipher() = default;

std::size_t ModeCipher::KeySize(int code) {
    return WithCipher((code - 1) / kModeCount, [](auto t) -> std::size_t {
        using C = typename decltype(t)::type;
        return C::MAX_KEYLENGTH;
    });
}

std::size_t ModeCipher::BlockSize(int code) {
    return WithCipher((code - 1) / kModeCount, [](auto t) -> std::size_t {
        using C = typename decltype(t)::type;
        return C::BLOCKSIZE;
    });
}

bool ModeCipher::NeedsPadding(int code) {
    const auto mode = static_cast<Mode>((code - 1) % kModeCount);
    return mode == Mode::ECB || mode == Mode::CBC;
}

std::unique_ptr<ModeCipher> ModeCipher::Create(int code, bool encrypt, const std::uint8_t* key,
                                               const std::uint8_t* iv, std::string& error) {
    if (code < 1 || code > kAlgorithmCount * kModeCount) {
        error = "Unknown algorithm-mode code " + std::to_string(code) + ".";
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    const auto mode = static_cast<Mode>((code - 1) % kModeCount);
    const std::size_t keySize = KeySize(code);
    impl->mode = mode;
    impl->encrypt = encrypt;
    impl->block = BlockSize(code);
    const bool ok = Guard(error, "Cipher set-up", [&] {
        if (mode == Mode::CFB || mode == Mode::OFB || (mode == Mode::CBC && encrypt))
            impl->forward = WithCipher((code - 1) / kModeCount,
                                       [&](auto t) -> std::unique_ptr<CryptoPP::BlockTransformation> {
                                           using C = typename decltype(t)::type;
                                           auto e = std::make_unique<typename C::Encryption>();
                                           e->SetKey(key, keySize);
                                           return e;
                                       });
        impl->cipher =
            WithCipher((code - 1) / kModeCount, [&](auto t) -> std::unique_ptr<CryptoPP::SymmetricCipher> {
                using C = typename decltype(t)::type;
                auto make = [&](auto holder) -> std::unique_ptr<CryptoPP::SymmetricCipher> {
                    using M = typename decltype(holder)::type;
                    auto m = std::make_unique<M>();
                    if constexpr (std::is_same_v<M, typename CryptoPP::ECB_Mode<C>::Encryption> ||
                                  std::is_same_v<M, typename CryptoPP::ECB_Mode<C>::Decryption>)
                        m->SetKey(key, keySize);
                    else
                        m->SetKeyWithIV(key, keySize, iv, C::BLOCKSIZE);
                    return m;
                };
                switch (mode) {
                case Mode::ECB:
                    return encrypt ? make(std::type_identity<typename CryptoPP::ECB_Mode<C>::Encryption>{})
                                   : make(std::type_identity<typename CryptoPP::ECB_Mode<C>::Decryption>{});
                case Mode::CBC:
                    return encrypt ? make(std::type_identity<typename CryptoPP::CBC_Mode<C>::Encryption>{})
                                   : make(std::type_identity<typename CryptoPP::CBC_Mode<C>::Decryption>{});
                case Mode::CFB:
                    return encrypt ? make(std::type_identity<typename CryptoPP::CFB_Mode<C>::Encryption>{})
                                   : make(std::type_identity<typename CryptoPP::CFB_Mode<C>::Decryption>{});
                case Mode::OFB:
                    break;
                }
                // OFB runs the same keystream both ways.
                return make(std::type_identity<typename CryptoPP::OFB_Mode<C>::Encryption>{});
            });
    });
    if (!ok)
        return nullptr;
    return std::unique_ptr<ModeCipher>(new ModeCipher(std::move(impl)));
}

bool ModeCipher::Restart(const std::uint8_t* iv, std::string& error) {
    return Guard(error, "Cipher", [&] {
        if (m_impl->cipher->IsResynchronizable())
            m_impl->cipher->Resynchronize(iv, static_cast<int>(m_impl->cipher->IVSize()));
    });
}

bool ModeCipher::Process(const std::uint8_t* in, std::uint8_t* out, std::size_t size, std::string& error) {
    return Guard(error, "Cipher", [&] { m_impl->cipher->ProcessData(out, in, size); });
}

bool ModeCipher::ProcessRuns(std::uint8_t* const* runs, const std::uint8_t* const* ivs, std::size_t count,
                             std::size_t size, std::string& error) {
    if (size % m_impl->block != 0) {
        error = "Cipher: runs must hold whole blocks.";
        return false;
    }
    if (!m_impl->forward) {
        for (std::size_t r = 0; r < count; ++r)
            if (!Restart(ivs[r], error) || !Process(runs[r], runs[r], size, error))
                return false;
        return true;
    }
    return Guard(error, "Cipher", [&] {
        for (std::size_t first = 0; first < count; first += kMaxRuns)
            (m_impl->block == 16 ? ChainRuns<16> : ChainRuns<8>)(*m_impl->forward, m_impl->mode,
                                                                 m_impl->encrypt, runs + first, ivs + first,
                                                                 std::min(kMaxRuns, count - first), size);
    });
}

} // namespace corecrypt
