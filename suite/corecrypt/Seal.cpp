#include "corecrypt/Seal.h"

#include "corecrypt/ErrorText.h"
#include "corecrypt/Primitives.h"

#include <cstring>
#include <mutex>
#include <vector>

// Layout of a sealed string: format byte 1, scrypt log2(N), r, p, 16 bytes salt, 12 bytes nonce,
// the AES-256-GCM ciphertext (as long as the text) and a 16-byte tag. The first 20 bytes are
// authenticated along with the text.
//
// A task list holds many sealed strings under one password. Deriving a key with scrypt for each
// would make loading slow, so one salt serves every seal of this process (each seal still gets a
// fresh nonce), and derived keys are kept in memory per password, salt and cost.

namespace corecrypt {
namespace {

constexpr std::uint8_t kFormat = 1;
constexpr std::size_t kPrefix = 20;
constexpr std::size_t kNonce = 12;
constexpr std::size_t kTag = 16;
constexpr std::size_t kMaxCachedKeys = 8;
static_assert(kPrefix + kNonce + kTag == kSealOverhead);

struct CachedKey {
    SecureBytes password;
    std::uint8_t salt[16];
    KdfCost cost;
    SecureBytes key;
};

std::mutex g_mutex;
std::vector<CachedKey> g_cache; // most recently used first
std::size_t g_derivations = 0;
bool g_haveSalt = false;
std::uint8_t g_processSalt[16];

bool SamePassword(const SecureBytes& stored, std::string_view password) {
    return stored.size() == password.size() &&
           (password.empty() ||
            EqualSecret(stored.data(), reinterpret_cast<const std::uint8_t*>(password.data()),
                        password.size()));
}

// The key for (password, salt, cost), derived once and then taken from the cache.
bool KeyFor(std::string_view password, const std::uint8_t salt[16], const KdfCost& cost, SecureBytes& key,
            std::string& error) {
    std::lock_guard lock(g_mutex);
    for (std::size_t i = 0; i < g_cache.size(); ++i) {
        CachedKey& c = g_cache[i];
        if (c.cost == cost && std::memcmp(c.salt, salt, 16) == 0 && SamePassword(c.password, password)) {
            key = c.key;
            if (i != 0)
                std::swap(g_cache[0], g_cache[i]);
            return true;
        }
    }
    key.CleanNew(32);
    if (!DeriveScrypt(password, salt, 16, cost, key.data(), key.size(), error))
        return false;
    ++g_derivations;
    CachedKey entry;
    entry.password.Assign(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
    std::memcpy(entry.salt, salt, 16);
    entry.cost = cost;
    entry.key = key;
    if (g_cache.size() == kMaxCachedKeys)
        g_cache.pop_back();
    g_cache.insert(g_cache.begin(), std::move(entry));
    return true;
}

bool ProcessSalt(std::uint8_t salt[16], std::string& error) {
    std::lock_guard lock(g_mutex);
    if (!g_haveSalt) {
        if (!RandomBytes(g_processSalt, sizeof g_processSalt, error))
            return false;
        g_haveSalt = true;
    }
    std::memcpy(salt, g_processSalt, 16);
    return true;
}

bool CheckBuffers(const unsigned char* input, int inputLength, const unsigned char* output,
                  const int* outputLength, std::string& error) {
    if (inputLength < 0 || (inputLength > 0 && !input) || !output || !outputLength || *outputLength < 0) {
        error = "Invalid arguments.";
        return false;
    }
    return true;
}

} // namespace

std::size_t SealKeyDerivationCount() {
    std::lock_guard lock(g_mutex);
    return g_derivations;
}

void ClearSealKeyCache() {
    std::lock_guard lock(g_mutex);
    g_cache.clear();
}

} // namespace corecrypt

using namespace corecrypt;

int SealBuffer(const unsigned char* input, int inputLength, unsigned char* output, int* outputLength,
               const char* password, int, int, char* errorText, int errorTextSize, int) {
    std::string error;
    if (!CheckBuffers(input, inputLength, output, outputLength, error)) {
        SetErrorText(errorText, errorTextSize, error);
        return 0;
    }
    const std::size_t size = static_cast<std::size_t>(inputLength);
    if (static_cast<std::size_t>(*outputLength) < size + kSealOverhead) {
        SetErrorText(errorText, errorTextSize, "The output buffer is too small.");
        return 0;
    }
    const std::string_view pw = password ? password : "";
    const KdfCost cost = DefaultKdfCost();
    std::uint8_t* prefix = output;
    prefix[0] = kFormat;
    prefix[1] = cost.log2N;
    prefix[2] = cost.r;
    prefix[3] = cost.p;
    SecureBytes key;
    if (!ProcessSalt(prefix + 4, error) || !RandomBytes(output + kPrefix, kNonce, error) ||
        !KeyFor(pw, prefix + 4, cost, key, error) ||
        !GcmSeal(key.data(), output + kPrefix, prefix, kPrefix, input, size, output + kPrefix + kNonce,
                 output + kPrefix + kNonce + size, error)) {
        SetErrorText(errorText, errorTextSize, error);
        return 0;
    }
    *outputLength = static_cast<int>(size + kSealOverhead);
    return 1;
}

int UnsealBuffer(const unsigned char* input, int inputLength, unsigned char* output, int* outputLength,
                 const char* password, int, int, char* errorText, int errorTextSize, int) {
    std::string error;
    if (!CheckBuffers(input, inputLength, output, outputLength, error)) {
        SetErrorText(errorText, errorTextSize, error);
        return 0;
    }
    const int capacity = *outputLength;
    if (capacity > 0)
        output[0] = 0;
    if (static_cast<std::size_t>(inputLength) < kSealOverhead) {
        SetErrorText(errorText, errorTextSize, "The sealed data is damaged (too short).");
        return 0;
    }
    if (input[0] != kFormat) {
        SetErrorText(errorText, errorTextSize, "The sealed data has an unknown format.");
        return 0;
    }
    const std::size_t size = static_cast<std::size_t>(inputLength) - kSealOverhead;
    if (static_cast<std::size_t>(capacity) < size + 1) {
        SetErrorText(errorText, errorTextSize, "The output buffer is too small.");
        return 0;
    }
    const KdfCost cost{input[1], input[2], input[3]};
    const std::string_view pw = password ? password : "";
    SecureBytes key;
    if (!KeyFor(pw, input + 4, cost, key, error)) {
        SetErrorText(errorText, errorTextSize, error);
        return 0;
    }
    if (!GcmOpen(key.data(), input + kPrefix, input, kPrefix, input + kPrefix + kNonce, size,
                 input + kPrefix + kNonce + size, output, error)) {
        // Nothing unverified stays in the caller's buffer.
        std::memset(output, 0, size + 1);
        SetErrorText(errorText, errorTextSize,
                     error.empty() ? "Wrong password, or the sealed data is damaged." : error);
        return 0;
    }
    output[size] = 0;
    *outputLength = static_cast<int>(size);
    return 1;
}
