#pragma once

// The building blocks of key pairs: Ed25519 signatures, X25519 keys, SHA-256, strict base64 and
// locked memory for secret keys. As in Primitives.h, every Crypto++ call happens behind this
// header (in KeyPairCrypto.cpp) and its exceptions become error texts.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corecrypt {

constexpr std::size_t kEd25519PublicSize = 32;
constexpr std::size_t kEd25519SecretSize = 32;
constexpr std::size_t kEd25519SignatureSize = 64;
constexpr std::size_t kX25519PublicSize = 32;
constexpr std::size_t kX25519SecretSize = 32;

bool Sha256(const void* data, std::size_t size, std::uint8_t out[32], std::string& error);

// A fresh random key pair.
bool GenerateEd25519(std::uint8_t secret[kEd25519SecretSize], std::uint8_t pub[kEd25519PublicSize],
                     std::string& error);
bool GenerateX25519(std::uint8_t secret[kX25519SecretSize], std::uint8_t pub[kX25519PublicSize],
                    std::string& error);
// The public key that belongs to a secret key, to check that a stored pair belongs together.
bool Ed25519PublicOf(const std::uint8_t secret[kEd25519SecretSize], std::uint8_t pub[kEd25519PublicSize],
                     std::string& error);
bool X25519PublicOf(const std::uint8_t secret[kX25519SecretSize], std::uint8_t pub[kX25519PublicSize],
                    std::string& error);

bool SignEd25519(const std::uint8_t secret[kEd25519SecretSize], const std::uint8_t* message, std::size_t size,
                 std::uint8_t signature[kEd25519SignatureSize], std::string& error);
// True only for a valid signature; anything else (a changed message, a malformed key) is false.
bool VerifyEd25519(const std::uint8_t pub[kEd25519PublicSize], const std::uint8_t* message, std::size_t size,
                   const std::uint8_t signature[kEd25519SignatureSize]);

// Standard base64 with padding, no line breaks.
std::string EncodeBase64(const void* data, std::size_t size);
// Refuses anything but canonical base64 (alphabet, padding, unused bits zero).
bool DecodeBase64(std::string_view text, std::string& out);

// Secret bytes in memory of their own: locked against swapping where the system allows, left
// out of core dumps, and wiped before they are given back. The size is fixed at creation.
class LockedBytes {
public:
    explicit LockedBytes(std::size_t size = 0);
    ~LockedBytes();
    LockedBytes(const LockedBytes&) = delete;
    LockedBytes& operator=(const LockedBytes&) = delete;
    LockedBytes(LockedBytes&& other) noexcept;
    LockedBytes& operator=(LockedBytes&& other) noexcept;

    std::uint8_t* data() { return m_data; }
    const std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    // False when the memory could not be had at all (then size() is 0).
    bool valid() const { return m_data != nullptr || m_size == 0; }

private:
    void Release();
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_mapped = 0;
};

} // namespace corecrypt
