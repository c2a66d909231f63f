#pragma once

// Key pairs: an Ed25519 signing key and an X25519 encryption key under one user name and e-mail.
//
// A public key is a self-signed record: format version, creation time, expiry, name, e-mail, both
// public keys, the revocation time when revoked, the signature time and an Ed25519 signature over
// all of it. The key ID is the first 16 bytes of SHA-256 over the version, the creation time and
// the two public keys, so it stays when the name, e-mail, expiry or revocation changes. A later
// revision of a key carries a later signature time.
//
// A private key is the public record plus both secret keys, sealed with a passphrase (scrypt and
// AES-256-GCM, the public record authenticated along). Secret keys are opened only into locked
// memory and only for as long as they are used.
//
// Key text ("envelope") is armored: a begin line, base64 lines, a checksum line and an end line.

#include "corecrypt/KeyPairCrypto.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corecrypt {

constexpr std::size_t kAsymmKeyIdSize = 16;
constexpr std::uint8_t kKeyFormatVersion = 1;
constexpr std::size_t kMaxKeyNameSize = 256;
constexpr std::size_t kMaxKeyEmailSize = 256;
// The key object's key-length field.
constexpr std::uint32_t kAsymmKeySize = 256;
// A ring position that names no record.
constexpr std::uint32_t kNoRingPosition = 0xFFFFFFFFu;

// The status byte kept with each public key in its ring.
enum KeyStatus : std::uint8_t {
    kStatusNotSynchronized = 0,
    kStatusNotOnServer = 1, // also: changed by the last synchronisation
    kStatusSynchronized = 2,
    kStatusOwn = 3,
    kStatusExpired = 4,
};

struct PublicKeyRecord {
    std::uint8_t version = kKeyFormatVersion;
    std::int64_t created = 0;
    std::int64_t expires = 0; // 0: never
    std::string name;         // UTF-8
    std::string email;
    std::uint8_t signPublic[kEd25519PublicSize]{};
    std::uint8_t encryptPublic[kX25519PublicSize]{};
    std::int64_t revoked = 0; // the revocation time; 0: not revoked
    std::int64_t signedAt = 0;
    std::uint8_t signature[kEd25519SignatureSize]{};
};

// The bytes the self-signature covers, and the whole record.
std::string SignedBytes(const PublicKeyRecord& record);
std::string EncodePublicRecord(const PublicKeyRecord& record);
// Reads a whole record (nothing may follow). With `verify` the self-signature must hold.
bool DecodePublicRecord(std::string_view bytes, PublicKeyRecord& record, bool verify, std::string& error);
bool ComputeKeyId(const PublicKeyRecord& record, std::uint8_t id[kAsymmKeyIdSize], std::string& error);
// 32 hex digits in groups of four: "0F3A 9C21 ...".
std::string FormatKeyId(const std::uint8_t id[kAsymmKeyIdSize]);
// Checks a user name and an e-mail address as a key may carry them.
bool CheckKeyIdentity(const std::string& name, const std::string& email, std::string& error);

enum class KeyTextKind { Public, Private };
std::string ArmorKeyText(KeyTextKind kind, std::string_view bytes);
// Finds the first armored key in `text` (surrounding text and CR LF line ends are fine).
bool UnarmorKeyText(std::string_view text, KeyTextKind& kind, std::string& bytes, std::string& error);

} // namespace corecrypt

// A key of either kind, as the control center lists it.
class CAsymmKey {
public:
    virtual ~CAsymmKey();
    virtual bool IsPrivate() const = 0;

    const unsigned char* GetKeyIDPbyte() const { return m_keyId; }
    std::string GetKeyIDText() const { return corecrypt::FormatKeyId(m_keyId); }
    const char* GetEmail() const { return m_public.email.c_str(); }
    const char* GetUserNameA() const { return m_public.name.c_str(); }
    std::int64_t GetCreationTime() const { return m_public.created; }
    std::int64_t GetExpireTime() const { return m_public.expires; }
    std::int64_t GetRevocationTime() const { return m_public.revoked; }
    std::int64_t GetSignatureTime() const { return m_public.signedAt; }
    // The key text (armored, zero-terminated); its length in bytes is m_nEnvelopLen.
    const char* GetEnvelop() const { return m_envelope.c_str(); }
    const corecrypt::PublicKeyRecord& GetPublicRecord() const { return m_public; }
    // The binary public record, as rings keep it.
    const std::string& GetPublicRecordBytes() const { return m_publicBytes; }
    // The binary record of this key's kind (the public record, or the sealed private record).
    virtual const std::string& GetRecordBytes() const = 0;

    // Local state, kept in the ring beside the key and written by the control center.
    std::int32_t m_bRevoked = 0;
    std::uint32_t m_nRingPos = corecrypt::kNoRingPosition;
    std::uint8_t m_nStatus = corecrypt::kStatusNotSynchronized;
    std::int32_t m_bExpired = 0;
    std::uint32_t m_nSize = corecrypt::kAsymmKeySize;
    std::uint32_t m_nEnvelopLen = 0;

protected:
    CAsymmKey() = default;
    CAsymmKey(const CAsymmKey&) = default;
    CAsymmKey& operator=(const CAsymmKey&) = default;
    // Takes a decoded record: key ID, revoked indicator and envelope follow from it.
    bool SetPublic(const corecrypt::PublicKeyRecord& record, std::string_view bytes, std::string& error);
    void SetEnvelope(corecrypt::KeyTextKind kind, std::string_view bytes);

    corecrypt::PublicKeyRecord m_public;
    std::string m_publicBytes;
    std::string m_envelope;
    unsigned char m_keyId[corecrypt::kAsymmKeyIdSize]{};
};

class CPublicKey : public CAsymmKey {
public:
    // From a binary public record; `verify` checks the self-signature (keys entering a ring).
    static std::unique_ptr<CPublicKey> FromRecord(std::string_view bytes, bool verify, std::string& error);
    std::unique_ptr<CPublicKey> Clone() const { return std::unique_ptr<CPublicKey>(new CPublicKey(*this)); }
    bool IsPrivate() const override { return false; }
    const std::string& GetRecordBytes() const override { return m_publicBytes; }

private:
    CPublicKey() = default;
    CPublicKey(const CPublicKey&) = default;
    CPublicKey& operator=(const CPublicKey&) = default;
};

class CPrivateKey : public CAsymmKey {
public:
    // A new key pair created `now`, expiring at `expires` (0: never), sealed with `passphrase`.
    static std::unique_ptr<CPrivateKey> Generate(const std::string& name, const std::string& email,
                                                 std::int64_t now, std::int64_t expires,
                                                 std::string_view passphrase, std::string& error);
    static std::unique_ptr<CPrivateKey> FromRecord(std::string_view bytes, bool verify, std::string& error);
    std::unique_ptr<CPrivateKey> Clone() const {
        return std::unique_ptr<CPrivateKey>(new CPrivateKey(*this));
    }
    bool IsPrivate() const override { return true; }
    const std::string& GetRecordBytes() const override { return m_privateBytes; }
    // The public half, as it goes into the public ring.
    std::unique_ptr<CPublicKey> GetPublicKey() const;

    // Opens the two secret keys (Ed25519, then X25519: 64 bytes) into locked memory. Fails with
    // "Wrong passphrase." when the passphrase does not open them.
    bool Unlock(std::string_view passphrase, corecrypt::LockedBytes& secrets, std::string& error) const;
    // Seals the secret keys anew under another passphrase.
    bool ChangePassphrase(std::string_view oldPassphrase, std::string_view newPassphrase, std::string& error);
    bool Sign(std::string_view passphrase, const void* message, std::size_t size,
              unsigned char signature[corecrypt::kEd25519SignatureSize], std::string& error) const;
    // A new revision of the public record: another expiry, and revoked at `now` when `revoke`. The
    // signature time moves past the previous one even within the same second.
    bool Revise(std::string_view passphrase, std::int64_t expires, bool revoke, std::int64_t now,
                std::string& error);

private:
    CPrivateKey() = default;
    CPrivateKey(const CPrivateKey&) = default;
    CPrivateKey& operator=(const CPrivateKey&) = default;
    bool Seal(const std::uint8_t* secrets, std::string_view passphrase, std::string& error);

    std::string m_privateBytes;
};
