#include "corecrypt/KeyPairCrypto.h"

#include "corecrypt/CryptoGuard.h"

#include <crypto++/base64.h>
#include <crypto++/filters.h>
#include <crypto++/misc.h>
#include <crypto++/osrng.h>
#include <crypto++/sha.h>
#include <crypto++/xed25519.h>

#include <cstring>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace corecrypt {
namespace {

const CryptoPP::ed25519PrivateKey& PrivateOf(const CryptoPP::ed25519Signer& signer) {
    return static_cast<const CryptoPP::ed25519PrivateKey&>(signer.GetPrivateKey());
}

} // namespace

bool Sha256(const void* data, std::size_t size, std::uint8_t out[32], std::string& error) {
    return Guard(error, "SHA-256", [&] {
        CryptoPP::SHA256().CalculateDigest(out, static_cast<const CryptoPP::byte*>(data), size);
    });
}

bool GenerateEd25519(std::uint8_t secret[kEd25519SecretSize], std::uint8_t pub[kEd25519PublicSize],
                     std::string& error) {
    return Guard(error, "Ed25519 key generation", [&] {
        CryptoPP::AutoSeededRandomPool rng;
        CryptoPP::ed25519Signer signer(rng);
        const auto& key = PrivateOf(signer);
        std::memcpy(secret, key.GetPrivateKeyBytePtr(), kEd25519SecretSize);
        std::memcpy(pub, key.GetPublicKeyBytePtr(), kEd25519PublicSize);
    });
}

bool Ed25519PublicOf(const std::uint8_t secret[kEd25519SecretSize], std::uint8_t pub[kEd25519PublicSize],
                     std::string& error) {
    return Guard(error, "Ed25519", [&] {
        CryptoPP::ed25519Signer signer(secret);
        std::memcpy(pub, PrivateOf(signer).GetPublicKeyBytePtr(), kEd25519PublicSize);
    });
}

bool GenerateX25519(std::uint8_t secret[kX25519SecretSize], std::uint8_t pub[kX25519PublicSize],
                    std::string& error) {
    return Guard(error, "X25519 key generation", [&] {
        CryptoPP::AutoSeededRandomPool rng;
        CryptoPP::x25519 domain;
        domain.GenerateKeyPair(rng, secret, pub);
    });
}

bool X25519PublicOf(const std::uint8_t secret[kX25519SecretSize], std::uint8_t pub[kX25519PublicSize],
                    std::string& error) {
    return Guard(error, "X25519", [&] {
        CryptoPP::x25519 domain;
        domain.GeneratePublicKey(CryptoPP::NullRNG(), secret, pub);
    });
}

bool SignEd25519(const std::uint8_t secret[kEd25519SecretSize], const std::uint8_t* message, std::size_t size,
                 std::uint8_t signature[kEd25519SignatureSize], std::string& error) {
    return Guard(error, "Ed25519 signature", [&] {
        CryptoPP::ed25519Signer signer(secret);
        // Ed25519 signatures are deterministic: no randomness is drawn.
        signer.SignMessage(CryptoPP::NullRNG(), message, size, signature);
    });
}

bool VerifyEd25519(const std::uint8_t pub[kEd25519PublicSize], const std::uint8_t* message, std::size_t size,
                   const std::uint8_t signature[kEd25519SignatureSize]) {
    bool valid = false;
    std::string ignored;
    const bool ran = Guard(ignored, "Ed25519 verification", [&] {
        CryptoPP::ed25519Verifier verifier(pub);
        valid = verifier.VerifyMessage(message, size, signature, kEd25519SignatureSize);
    });
    return ran && valid;
}

std::string EncodeBase64(const void* data, std::size_t size) {
    std::string out;
    CryptoPP::StringSource(static_cast<const CryptoPP::byte*>(data), size, true,
                           new CryptoPP::Base64Encoder(new CryptoPP::StringSink(out), false));
    return out;
}

bool DecodeBase64(std::string_view text, std::string& out) {
    out.clear();
    if (text.size() % 4 != 0)
        return false;
    std::size_t padding = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '+' || c == '/';
        if (c == '=') {
            ++padding;
        } else if (!alpha || padding > 0) {
            return false;
        }
    }
    if (padding > 2)
        return false;
    std::string decoded;
    std::string error;
    if (!Guard(error, "base64", [&] {
            CryptoPP::StringSource(reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size(), true,
                                   new CryptoPP::Base64Decoder(new CryptoPP::StringSink(decoded)));
        }))
        return false;
    // The decoder overlooks stray bits; the canonical text of the result must be what was given.
    if (EncodeBase64(decoded.data(), decoded.size()) != text)
        return false;
    out = std::move(decoded);
    return true;
}

LockedBytes::LockedBytes(std::size_t size) {
    if (size == 0)
        return;
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t mapped = (size + page - 1) / page * page;
    void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return;
    // A locked-memory limit may refuse mlock; the bytes are still wiped and kept out of dumps.
    (void)::mlock(p, mapped);
    (void)::madvise(p, mapped, MADV_DONTDUMP);
    m_data = static_cast<std::uint8_t*>(p);
    m_size = size;
    m_mapped = mapped;
}

LockedBytes::~LockedBytes() {
    Release();
}

LockedBytes::LockedBytes(LockedBytes&& other) noexcept
    : m_data(other.m_data), m_size(other.m_size), m_mapped(other.m_mapped) {
    other.m_data = nullptr;
    other.m_size = other.m_mapped = 0;
}

LockedBytes& LockedBytes::operator=(LockedBytes&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = other.m_data;
        m_size = other.m_size;
        m_mapped = other.m_mapped;
        other.m_data = nullptr;
        other.m_size = other.m_mapped = 0;
    }
    return *this;
}

void LockedBytes::Release() {
    if (!m_data)
        return;
    CryptoPP::SecureWipeBuffer(m_data, m_mapped);
    ::munlock(m_data, m_mapped);
    ::munmap(m_data, m_mapped);
    m_data = nullptr;
    m_size = m_mapped = 0;
}

} // namespace corecrypt
