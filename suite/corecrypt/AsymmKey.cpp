#include "corecrypt/AsymmKey.h"

#include "corecrypt/Primitives.h"

#include <algorithm>
#include <cstring>

namespace corecrypt {
namespace {

constexpr char kArmorDashes[] = "-----";
constexpr char kPublicLabel[] = "QUILLMARK PUBLIC KEY";
constexpr char kPrivateLabel[] = "QUILLMARK PRIVATE KEY";
constexpr std::size_t kArmorLineLength = 64;
constexpr std::size_t kChecksumSize = 3;
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kNonceSize = 12;
constexpr std::size_t kTagSize = 16;
constexpr std::size_t kSecretsSize = kEd25519SecretSize + kX25519SecretSize;
// A key text longer than this is no key; it is refused before anything is decoded.
constexpr std::size_t kMaxKeyTextSize = 64 * 1024;

void PutU8(std::string& out, std::uint8_t v) {
    out.push_back(static_cast<char>(v));
}
void PutU16(std::string& out, std::uint16_t v) {
    PutU8(out, static_cast<std::uint8_t>(v >> 8));
    PutU8(out, static_cast<std::uint8_t>(v));
}
void PutU32(std::string& out, std::uint32_t v) {
    PutU16(out, static_cast<std::uint16_t>(v >> 16));
    PutU16(out, static_cast<std::uint16_t>(v));
}
void PutI64(std::string& out, std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    PutU32(out, static_cast<std::uint32_t>(u >> 32));
    PutU32(out, static_cast<std::uint32_t>(u));
}
void PutBytes(std::string& out, const void* data, std::size_t size) {
    out.append(static_cast<const char*>(data), size);
}

// Reads big-endian fields from a byte run; every read checks what remains first.
class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    bool U8(std::uint8_t& v) {
        if (m_at + 1 > m_bytes.size())
            return false;
        v = static_cast<std::uint8_t>(m_bytes[m_at++]);
        return true;
    }
    bool U16(std::uint16_t& v) {
        std::uint8_t a = 0, b = 0;
        if (!U8(a) || !U8(b))
            return false;
        v = static_cast<std::uint16_t>(a << 8 | b);
        return true;
    }
    bool U32(std::uint32_t& v) {
        std::uint16_t a = 0, b = 0;
        if (!U16(a) || !U16(b))
            return false;
        v = static_cast<std::uint32_t>(a) << 16 | b;
        return true;
    }
    bool I64(std::int64_t& v) {
        std::uint32_t a = 0, b = 0;
        if (!U32(a) || !U32(b))
            return false;
        v = static_cast<std::int64_t>(static_cast<std::uint64_t>(a) << 32 | b);
        return true;
    }
    bool Bytes(void* out, std::size_t size) {
        if (size > m_bytes.size() - m_at)
            return false;
        std::memcpy(out, m_bytes.data() + m_at, size);
        m_at += size;
        return true;
    }
    bool View(std::string_view& out, std::size_t size) {
        if (size > m_bytes.size() - m_at)
            return false;
        out = m_bytes.substr(m_at, size);
        m_at += size;
        return true;
    }
    std::size_t Offset() const { return m_at; }
    bool AtEnd() const { return m_at == m_bytes.size(); }

private:
    std::string_view m_bytes;
    std::size_t m_at = 0;
};

bool ValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are refused.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        // Control characters would break a list row or a JSON line.
        if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0))
            return false;
        i += extra + 1;
    }
    return true;
}

bool ReadText(Reader& in, std::size_t limit, std::string& out) {
    std::uint16_t size = 0;
    std::string_view view;
    if (!in.U16(size) || size > limit || !in.View(view, size))
        return false;
    out.assign(view);
    return true;
}

std::string_view TrimLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    return line;
}

std::string ArmorLine(const char* edge, const char* label) {
    return std::string(kArmorDashes) + edge + " " + label + kArmorDashes;
}

} // namespace

std::string SignedBytes(const PublicKeyRecord& r) {
    std::string out;
    PutU8(out, r.version);
    PutI64(out, r.created);
    PutI64(out, r.expires);
    PutU16(out, static_cast<std::uint16_t>(r.name.size()));
    PutBytes(out, r.name.data(), r.name.size());
    PutU16(out, static_cast<std::uint16_t>(r.email.size()));
    PutBytes(out, r.email.data(), r.email.size());
    PutBytes(out, r.signPublic, sizeof r.signPublic);
    PutBytes(out, r.encryptPublic, sizeof r.encryptPublic);
    PutU8(out, r.revoked != 0 ? 1 : 0);
    if (r.revoked != 0)
        PutI64(out, r.revoked);
    PutI64(out, r.signedAt);
    return out;
}

std::string EncodePublicRecord(const PublicKeyRecord& r) {
    std::string out = SignedBytes(r);
    PutBytes(out, r.signature, sizeof r.signature);
    return out;
}

bool CheckKeyIdentity(const std::string& name, const std::string& email, std::string& error) {
    if (name.empty() || name.size() > kMaxKeyNameSize || !ValidUtf8(name)) {
        error = "The user name must be 1 to 256 bytes of printable UTF-8 text.";
        return false;
    }
    const auto at = email.find('@');
    const bool shaped = at != std::string::npos && at > 0 && at + 1 < email.size() &&
                        email.find('@', at + 1) == std::string::npos &&
                        email.find_first_of(" \t<>,;\"") == std::string::npos;
    if (email.size() > kMaxKeyEmailSize || !ValidUtf8(email) || !shaped) {
        error = "The e-mail address \"" + email + "\" is not valid.";
        return false;
    }
    return true;
}

bool DecodePublicRecord(std::string_view bytes, PublicKeyRecord& r, bool verify, std::string& error) {
    Reader in(bytes);
    std::uint8_t revokedFlag = 0;
    const auto damaged = [&](const char* what) {
        error = std::string("The public key is damaged (") + what + ").";
        return false;
    };
    if (!in.U8(r.version))
        return damaged("empty");
    if (r.version != kKeyFormatVersion) {
        error = "The public key has an unknown format version (" + std::to_string(r.version) + ").";
        return false;
    }
    if (!in.I64(r.created) || !in.I64(r.expires))
        return damaged("times");
    if (!ReadText(in, kMaxKeyNameSize, r.name) || !ReadText(in, kMaxKeyEmailSize, r.email))
        return damaged("user name or e-mail");
    if (!in.Bytes(r.signPublic, sizeof r.signPublic) || !in.Bytes(r.encryptPublic, sizeof r.encryptPublic))
        return damaged("public keys");
    if (!in.U8(revokedFlag) || revokedFlag > 1)
        return damaged("revocation");
    r.revoked = 0;
    if (revokedFlag == 1 && (!in.I64(r.revoked) || r.revoked == 0))
        return damaged("revocation time");
    const std::size_t signedSize = in.Offset() + 8;
    if (!in.I64(r.signedAt) || !in.Bytes(r.signature, sizeof r.signature))
        return damaged("signature");
    if (!in.AtEnd())
        return damaged("bytes after the signature");
    if (r.created < 0 || r.expires < 0 || (r.expires != 0 && r.expires <= r.created) ||
        r.signedAt < r.created)
        return damaged("times out of order");
    std::string identityError;
    if (!CheckKeyIdentity(r.name, r.email, identityError)) {
        error = "The public key is damaged: " + identityError;
        return false;
    }
    if (verify && !VerifyEd25519(r.signPublic, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                 signedSize, r.signature)) {
        error = "The public key's signature does not match its contents: the key was changed or damaged.";
        return false;
    }
    return true;
}

bool ComputeKeyId(const PublicKeyRecord& r, std::uint8_t id[kAsymmKeyIdSize], std::string& error) {
    std::string bytes;
    PutU8(bytes, r.version);
    PutI64(bytes, r.created);
    PutBytes(bytes, r.signPublic, sizeof r.signPublic);
    PutBytes(bytes, r.encryptPublic, sizeof r.encryptPublic);
    std::uint8_t digest[32];
    if (!Sha256(bytes.data(), bytes.size(), digest, error))
        return false;
    std::memcpy(id, digest, kAsymmKeyIdSize);
    return true;
}

std::string FormatKeyId(const std::uint8_t id[kAsymmKeyIdSize]) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < kAsymmKeyIdSize; ++i) {
        if (i > 0 && i % 2 == 0)
            out.push_back(' ');
        out.push_back(kHex[id[i] >> 4]);
        out.push_back(kHex[id[i] & 15]);
    }
    return out;
}

std::string ArmorKeyText(KeyTextKind kind, std::string_view bytes) {
    const char* label = kind == KeyTextKind::Public ? kPublicLabel : kPrivateLabel;
    std::string out = ArmorLine("BEGIN", label) + "\n";
    const std::string body = EncodeBase64(bytes.data(), bytes.size());
    for (std::size_t at = 0; at < body.size(); at += kArmorLineLength)
        out += body.substr(at, kArmorLineLength) + "\n";
    std::uint8_t digest[32];
    std::string ignored;
    Sha256(bytes.data(), bytes.size(), digest, ignored);
    out += "=" + EncodeBase64(digest, kChecksumSize) + "\n";
    out += ArmorLine("END", label) + "\n";
    return out;
}

bool UnarmorKeyText(std::string_view text, KeyTextKind& kind, std::string& bytes, std::string& error) {
    bytes.clear();
    if (text.size() > kMaxKeyTextSize) {
        error = "The key text is too long to be a key.";
        return false;
    }
    const std::string beginPublic = ArmorLine("BEGIN", kPublicLabel);
    const std::string beginPrivate = ArmorLine("BEGIN", kPrivateLabel);
    std::string endLine;
    std::string body;
    std::string checksum;
    bool inside = false;
    bool ended = false;
    std::size_t start = 0;
    while (start <= text.size() && !ended) {
        auto stop = text.find('\n', start);
        if (stop == std::string_view::npos)
            stop = text.size();
        const std::string_view line = TrimLine(text.substr(start, stop - start));
        start = stop + 1;
        if (!inside) {
            if (line == beginPublic || line == beginPrivate) {
                inside = true;
                kind = line == beginPublic ? KeyTextKind::Public : KeyTextKind::Private;
                endLine = ArmorLine("END", kind == KeyTextKind::Public ? kPublicLabel : kPrivateLabel);
            }
            continue;
        }
        if (line == endLine) {
            ended = true;
        } else if (line.empty()) {
            continue;
        } else if (line.rfind(kArmorDashes, 0) == 0) {
            error = "The key text is not complete: its end line is missing or wrong.";
            return false;
        } else if (!checksum.empty()) {
            error = "The key text has lines after its checksum line.";
            return false;
        } else if (line.front() == '=') {
            checksum.assign(line.substr(1));
        } else {
            body.append(line);
        }
    }
    if (!inside) {
        error = "No Quillmark key found in the text: the line \"" + beginPublic + "\" or \"" + beginPrivate +
                "\" is missing.";
        return false;
    }
    if (!ended) {
        error = "The key text is not complete: its end line is missing.";
        return false;
    }
    if (checksum.empty()) {
        error = "The key text has no checksum line.";
        return false;
    }
    std::string decoded;
    if (body.empty() || !DecodeBase64(body, decoded)) {
        error = "The key text is damaged: it is not valid base64.";
        return false;
    }
    std::string sum;
    std::uint8_t digest[32];
    if (!DecodeBase64(checksum, sum) || sum.size() != kChecksumSize ||
        !Sha256(decoded.data(), decoded.size(), digest, error) ||
        std::memcmp(sum.data(), digest, kChecksumSize) != 0) {
        error = "The key text is damaged: its checksum does not match.";
        return false;
    }
    bytes = std::move(decoded);
    return true;
}

} // namespace corecrypt

using namespace corecrypt;

CAsymmKey::~CAsymmKey() = default;

bool CAsymmKey::SetPublic(const PublicKeyRecord& record, std::string_view bytes, std::string& error) {
    if (!ComputeKeyId(record, m_keyId, error))
        return false;
    m_public = record;
    m_publicBytes.assign(bytes);
    m_bRevoked = record.revoked != 0 ? 1 : 0;
    return true;
}

void CAsymmKey::SetEnvelope(KeyTextKind kind, std::string_view bytes) {
    m_envelope = ArmorKeyText(kind, bytes);
    m_nEnvelopLen = static_cast<std::uint32_t>(m_envelope.size());
}

std::unique_ptr<CPublicKey> CPublicKey::FromRecord(std::string_view bytes, bool verify, std::string& error) {
    PublicKeyRecord record;
    if (!DecodePublicRecord(bytes, record, verify, error))
        return nullptr;
    std::unique_ptr<CPublicKey> key(new CPublicKey);
    if (!key->SetPublic(record, bytes, error))
        return nullptr;
    key->SetEnvelope(KeyTextKind::Public, bytes);
    return key;
}

namespace {

// The private record: version, public record (u32 length first), scrypt cost, salt, nonce, the
// sealed secret keys and the tag. Everything before the sealed keys is authenticated with them.
struct PrivateParts {
    std::string_view publicBytes;
    KdfCost cost;
    std::uint8_t salt[kSaltSize];
    std::uint8_t nonce[kNonceSize];
    std::uint8_t sealed[kSecretsSize];
    std::uint8_t tag[kTagSize];
    std::size_t aadSize = 0;
};

bool DecodePrivateParts(std::string_view bytes, PrivateParts& p, std::string& error) {
    Reader in(bytes);
    std::uint8_t version = 0;
    std::uint32_t publicSize = 0;
    if (!in.U8(version)) {
        error = "The private key is damaged (empty).";
        return false;
    }
    if (version != kKeyFormatVersion) {
        error = "The private key has an unknown format version (" + std::to_string(version) + ").";
        return false;
    }
    if (!in.U32(publicSize) || !in.View(p.publicBytes, publicSize) || !in.U8(p.cost.log2N) ||
        !in.U8(p.cost.r) || !in.U8(p.cost.p) || !in.Bytes(p.salt, kSaltSize) ||
        !in.Bytes(p.nonce, kNonceSize)) {
        error = "The private key is damaged (truncated).";
        return false;
    }
    p.aadSize = in.Offset();
    if (!in.Bytes(p.sealed, kSecretsSize) || !in.Bytes(p.tag, kTagSize)) {
        error = "The private key is damaged (truncated).";
        return false;
    }
    if (!in.AtEnd()) {
        error = "The private key is damaged (bytes after its end).";
        return false;
    }
    std::string costError;
    if (!KdfCostAcceptable(p.cost, costError)) {
        error = "The private key is damaged: " + costError;
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<CPrivateKey> CPrivateKey::FromRecord(std::string_view bytes, bool verify,
                                                     std::string& error) {
    PrivateParts parts;
    if (!DecodePrivateParts(bytes, parts, error))
        return nullptr;
    PublicKeyRecord record;
    if (!DecodePublicRecord(parts.publicBytes, record, verify, error))
        return nullptr;
    std::unique_ptr<CPrivateKey> key(new CPrivateKey);
    if (!key->SetPublic(record, parts.publicBytes, error))
        return nullptr;
    key->m_privateBytes.assign(bytes);
    key->SetEnvelope(KeyTextKind::Private, bytes);
    return key;
}

std::unique_ptr<CPublicKey> CPrivateKey::GetPublicKey() const {
    std::string ignored;
    auto key = CPublicKey::FromRecord(m_publicBytes, false, ignored);
    if (key) {
        key->m_bRevoked = m_bRevoked;
        key->m_bExpired = m_bExpired;
    }
    return key;
}

bool CPrivateKey::Seal(const std::uint8_t* secrets, std::string_view passphrase, std::string& error) {
    const KdfCost cost = DefaultKdfCost();
    std::string out;
    PutU8(out, kKeyFormatVersion);
    PutU32(out, static_cast<std::uint32_t>(m_publicBytes.size()));
    out += m_publicBytes;
    PutU8(out, cost.log2N);
    PutU8(out, cost.r);
    PutU8(out, cost.p);
    std::uint8_t salt[kSaltSize];
    std::uint8_t nonce[kNonceSize];
    if (!RandomBytes(salt, sizeof salt, error) || !RandomBytes(nonce, sizeof nonce, error))
        return false;
    PutBytes(out, salt, sizeof salt);
    PutBytes(out, nonce, sizeof nonce);
    LockedBytes key(32);
    if (!key.valid()) {
        error = "Out of memory for the secret key.";
        return false;
    }
    if (!DeriveScrypt(passphrase, salt, sizeof salt, cost, key.data(), key.size(), error))
        return false;
    std::uint8_t sealed[kSecretsSize];
    std::uint8_t tag[kTagSize];
    if (!GcmSeal(key.data(), nonce, reinterpret_cast<const std::uint8_t*>(out.data()), out.size(), secrets,
                 kSecretsSize, sealed, tag, error))
        return false;
    PutBytes(out, sealed, sizeof sealed);
    PutBytes(out, tag, sizeof tag);
    m_privateBytes = std::move(out);
    SetEnvelope(KeyTextKind::Private, m_privateBytes);
    return true;
}

std::unique_ptr<CPrivateKey> CPrivateKey::Generate(const std::string& name, const std::string& email,
                                                   std::int64_t now, std::int64_t expires,
                                                   std::string_view passphrase, std::string& error) {
    if (!CheckKeyIdentity(name, email, error))
        return nullptr;
    if (now <= 0 || expires < 0 || (expires != 0 && expires <= now)) {
        error = "The expiry date must lie in the future.";
        return nullptr;
    }
    if (passphrase.empty()) {
        error = "A private key needs a passphrase.";
        return nullptr;
    }
    LockedBytes secrets(kSecretsSize);
    if (!secrets.valid()) {
        error = "Out of memory for the secret key.";
        return nullptr;
    }
    PublicKeyRecord r;
    r.created = now;
    r.expires = expires;
    r.name = name;
    r.email = email;
    r.signedAt = now;
    if (!GenerateEd25519(secrets.data(), r.signPublic, error) ||
        !GenerateX25519(secrets.data() + kEd25519SecretSize, r.encryptPublic, error))
        return nullptr;
    const std::string signedPart = SignedBytes(r);
    if (!SignEd25519(secrets.data(), reinterpret_cast<const std::uint8_t*>(signedPart.data()),
                     signedPart.size(), r.signature, error))
        return nullptr;
    std::unique_ptr<CPrivateKey> key(new CPrivateKey);
    if (!key->SetPublic(r, EncodePublicRecord(r), error) || !key->Seal(secrets.data(), passphrase, error))
        return nullptr;
    return key;
}

bool CPrivateKey::Unlock(std::string_view passphrase, LockedBytes& secrets, std::string& error) const {
    PrivateParts parts;
    if (!DecodePrivateParts(m_privateBytes, parts, error))
        return false;
    LockedBytes key(32);
    LockedBytes opened(kSecretsSize);
    if (!key.valid() || !opened.valid()) {
        error = "Out of memory for the secret key.";
        return false;
    }
    if (!DeriveScrypt(passphrase, parts.salt, kSaltSize, parts.cost, key.data(), key.size(), error))
        return false;
    if (!GcmOpen(key.data(), parts.nonce, reinterpret_cast<const std::uint8_t*>(m_privateBytes.data()),
                 parts.aadSize, parts.sealed, kSecretsSize, parts.tag, opened.data(), error)) {
        if (error.empty())
            error = "Wrong passphrase.";
        return false;
    }
    std::uint8_t signPublic[kEd25519PublicSize];
    std::uint8_t encryptPublic[kX25519PublicSize];
    if (!Ed25519PublicOf(opened.data(), signPublic, error) ||
        !X25519PublicOf(opened.data() + kEd25519SecretSize, encryptPublic, error))
        return false;
    if (std::memcmp(signPublic, m_public.signPublic, sizeof signPublic) != 0 ||
        std::memcmp(encryptPublic, m_public.encryptPublic, sizeof encryptPublic) != 0) {
        error = "The private key is damaged: its secret keys do not belong to its public keys.";
        return false;
    }
    secrets = std::move(opened);
    return true;
}

bool CPrivateKey::ChangePassphrase(std::string_view oldPassphrase, std::string_view newPassphrase,
                                   std::string& error) {
    if (newPassphrase.empty()) {
        error = "A private key needs a passphrase.";
        return false;
    }
    LockedBytes secrets;
    return Unlock(oldPassphrase, secrets, error) && Seal(secrets.data(), newPassphrase, error);
}

bool CPrivateKey::Sign(std::string_view passphrase, const void* message, std::size_t size,
                       unsigned char signature[kEd25519SignatureSize], std::string& error) const {
    LockedBytes secrets;
    return Unlock(passphrase, secrets, error) &&
           SignEd25519(secrets.data(), static_cast<const std::uint8_t*>(message), size, signature, error);
}

bool CPrivateKey::Revise(std::string_view passphrase, std::int64_t expires, bool revoke, std::int64_t now,
                         std::string& error) {
    if (expires < 0 || (expires != 0 && expires <= m_public.created)) {
        error = "The expiry date must lie after the key's creation.";
        return false;
    }
    LockedBytes secrets;
    if (!Unlock(passphrase, secrets, error))
        return false;
    PublicKeyRecord r = m_public;
    r.expires = expires;
    const std::int64_t at = std::max(now, m_public.signedAt + 1);
    if (revoke && r.revoked == 0)
        r.revoked = at;
    r.signedAt = at;
    const std::string signedPart = SignedBytes(r);
    if (!SignEd25519(secrets.data(), reinterpret_cast<const std::uint8_t*>(signedPart.data()),
                     signedPart.size(), r.signature, error))
        return false;
    CPrivateKey revised(*this);
    if (!revised.SetPublic(r, EncodePublicRecord(r), error) ||
        !revised.Seal(secrets.data(), passphrase, error))
        return false;
    *this = revised;
    return true;
}
