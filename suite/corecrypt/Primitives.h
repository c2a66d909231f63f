#pragma once

// The engine's cryptographic building blocks. Every call into Crypto++ happens behind this header
// (in Primitives.cpp) or KeyPairCrypto.h, inside CryptoGuard.h's Guard, where library exceptions
// become error texts; nothing from Crypto++ escapes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "corecrypt/SecureBytes.h"

namespace corecrypt {

// The scrypt parameters: N = 2^log2N, r, p.
struct KdfCost {
    std::uint8_t log2N = 0;
    std::uint8_t r = 0;
    std::uint8_t p = 0;
    bool operator==(const KdfCost&) const = default;
};

// The cost used for new files and sealed strings: strong by default. Tests may lower it; the
// reading caps below stay in force either way.
KdfCost DefaultKdfCost();
void SetKdfCostForTesting(std::optional<KdfCost> cost);
// The highest cost a file may ask for, so that a hostile header cannot demand gigabytes of memory
// or minutes of work. Fuzz targets lower it to keep each run short.
void SetKdfCapForTesting(std::optional<KdfCost> cap);
bool KdfCostAcceptable(const KdfCost& cost, std::string& error);

bool RandomBytes(std::uint8_t* out, std::size_t size, std::string& error);

// scrypt; its p lanes run side by side on the processor's cores and vector units.
bool DeriveScrypt(std::string_view password, const std::uint8_t* salt, std::size_t saltSize,
                  const KdfCost& cost, std::uint8_t* out, std::size_t outSize, std::string& error);
// Tests use the baseline vector code even where the processor has AVX2, so that both are checked.
void SetScryptAvx2ForTesting(bool allowed);
bool Pbkdf2HmacSha256(std::string_view password, const std::uint8_t* salt, std::size_t saltSize,
                      unsigned iterations, std::uint8_t* out, std::size_t outSize, std::string& error);
bool DeriveHkdf(const std::uint8_t* secret, std::size_t secretSize, const std::uint8_t* salt,
                std::size_t saltSize, std::string_view info, std::uint8_t* out, std::size_t outSize,
                std::string& error);
bool HmacSha256(const std::uint8_t* key, std::size_t keySize, const std::uint8_t* data, std::size_t size,
                std::uint8_t out[32], std::string& error);
// Compares in constant time.
bool EqualSecret(const std::uint8_t* a, const std::uint8_t* b, std::size_t size);

// AES-256-GCM in one piece, for small records (sealed strings).
bool GcmSeal(const std::uint8_t key[32], const std::uint8_t nonce[12], const std::uint8_t* aad,
             std::size_t aadSize, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
             std::uint8_t tag[16], std::string& error);
// False with an empty error when the tag does not match (wrong key or changed bytes).
bool GcmOpen(const std::uint8_t key[32], const std::uint8_t nonce[12], const std::uint8_t* aad,
             std::size_t aadSize, const std::uint8_t* in, std::size_t size, const std::uint8_t tag[16],
             std::uint8_t* out, std::string& error);

// GMAC (GCM's carry-less multiplication hash under AES-256) of byte runs, one nonce per run. With
// PCLMUL it costs a fraction of the cipher, so authenticating every chunk stays cheap.
class ChunkMac {
public:
    ChunkMac();
    ~ChunkMac();
    ChunkMac(const ChunkMac&) = delete;
    ChunkMac& operator=(const ChunkMac&) = delete;

    bool SetKey(const std::uint8_t key[32], std::string& error);
    bool Compute(const std::uint8_t nonce[12], const std::uint8_t* data, std::size_t size,
                 std::uint8_t tag[16], std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// AES-256 on single blocks under a fixed key: a pseudo-random function for deriving IVs.
class BlockPrf {
public:
    BlockPrf();
    ~BlockPrf();
    BlockPrf(const BlockPrf&) = delete;
    BlockPrf& operator=(const BlockPrf&) = delete;

    bool SetKey(const std::uint8_t key[32], std::string& error);
    bool Compute(const std::uint8_t in[16], std::uint8_t out[16], std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The algorithm-mode code: algorithm * 4 + mode + 1, 1 to 40; 0 stands for the default.
constexpr int kAlgorithmCount = 10;
constexpr int kModeCount = 4;
enum class Mode { ECB = 0, CBC = 1, CFB = 2, OFB = 3 };
// The default when a caller passes 0: AES in CBC mode.
constexpr int kDefaultAlgorithmMode = 2;

const char* AlgorithmName(int algorithm); // "AES" ... "Twofish"; null outside 0..9
const char* ModeName(int mode);           // "ECB" ... "OFB"; null outside 0..3
// Matched without regard to case; -1 when unknown. "TripleDES" is accepted for "Triple-DES".
int FindAlgorithm(std::string_view name);
int FindMode(std::string_view name);
// Why a choice is not recommended, in one line, or empty for a sound one: ECB shows which blocks
// of a file are equal, and Triple-DES has 64-bit blocks and a short key for today. Both are kept
// because stored files use them.
std::string WeakChoiceWarning(int algorithm, int mode);
// 0 becomes the default; false for codes outside 1..40.
bool ResolveAlgorithmMode(int code, int& resolved);

// One cipher in one mode, run over a continuous stream. ECB and CBC take whole blocks only; the
// caller pads the last one.
class ModeCipher {
public:
    ~ModeCipher();
    ModeCipher(const ModeCipher&) = delete;
    ModeCipher& operator=(const ModeCipher&) = delete;

    // The key must be KeySize(code) bytes and the IV BlockSize(code) bytes.
    static std::unique_ptr<ModeCipher> Create(int code, bool encrypt, const std::uint8_t* key,
                                              const std::uint8_t* iv, std::string& error);
    static std::size_t KeySize(int code);   // the strongest standard key length
    static std::size_t BlockSize(int code); // 8 or 16
    static bool NeedsPadding(int code);     // ECB and CBC

    bool Process(const std::uint8_t* in, std::uint8_t* out, std::size_t size, std::string& error);
    // Starts a new run with another IV (nothing to do in ECB).
    bool Restart(const std::uint8_t* iv, std::string& error);
    // Enciphers `count` runs of `size` bytes each (whole blocks) in place, run i from ivs[i], with
    // the same result as Restart(ivs[i]) and Process over each run. Where the mode chains each
    // block to the one before (CBC encryption, CFB, OFB) the runs advance side by side, so a cipher
    // that processes several blocks at once stays busy instead of waiting for each block in turn.
    bool ProcessRuns(std::uint8_t* const* runs, const std::uint8_t* const* ivs, std::size_t count,
                     std::size_t size, std::string& error);

private:
    struct Impl;
    explicit ModeCipher(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace corecrypt
