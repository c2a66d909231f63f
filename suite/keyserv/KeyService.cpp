#include "keyserv/KeyService.h"

#include "corecrypt/KeyPairCrypto.h"
#include "corecrypt/Primitives.h"
#include "keyserv/Requests.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <stdexcept>

namespace keyserv {
namespace {

const char kNotOnServer[] = "The key is not on the server.";
const char kNoKeyForAddress[] = "No key was found for this e-mail address.";

Answer Json(int status, std::string body) {
    return Answer{status, std::move(body), "application/json"};
}
Answer Error(int status, const std::string& message) {
    return Json(status, ErrorJson(message));
}

std::string Random(std::size_t bytes) {
    std::string out(bytes, '\0');
    std::string error;
    if (!corecrypt::RandomBytes(reinterpret_cast<std::uint8_t*>(out.data()), out.size(), error))
        throw std::runtime_error("no random bytes: " + error);
    return out;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

} // namespace

std::string NewRevocationCode() {
    // 32 symbols without 0/O and 1/I, so a code read from a mail is typed back right: 80 bits.
    static const char symbols[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    const std::string bytes = Random(16);
    std::string code;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i && i % 4 == 0)
            code += '-';
        code += symbols[static_cast<unsigned char>(bytes[i]) & 31];
    }
    return code;
}

std::string SecretDigest(const std::string& secret) {
    std::uint8_t digest[32];
    std::string error;
    if (!corecrypt::Sha256(secret.data(), secret.size(), digest, error))
        throw std::runtime_error(error);
    return Hex(std::string(reinterpret_cast<const char*>(digest), sizeof digest));
}

bool SameDigest(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    volatile unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference = difference | static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

KeyService::KeyService(KeyStore& store, ServiceSettings settings, MailSender mail, Clock clock)
    : m_store(store), m_settings(std::move(settings)), m_mail(std::move(mail)), m_clock(std::move(clock)) {}

Answer KeyService::StoreFailure(const std::string& error) {
    std::fprintf(stderr, "keyserv: storage failed: %s\n", error.c_str());
    return Error(503, "The key server cannot reach its storage. Please try again later.");
}

Answer KeyService::MailConfirmation(const StoredKey& key, int status, const std::string& message) {
    const std::string token = Hex(Random(32));
    std::string error;
    if (!m_store.AddToken(SecretDigest(token), key.keyId, key.email, m_clock() + m_settings.tokenSeconds,
                          error))
        return StoreFailure(error);
    const std::string link = m_settings.publicUrl + "/v1/verify/" + token;
    const std::string body =
        "Someone, probably you, published a public key for this address on the key server.\n"
        "To let others find the key by this address, open this link:\n\n" +
        link +
        "\n\nIf you did not publish a key, ignore this mail; the key will not be found "
        "by your address.\n";
    if (!m_mail(key.email, "Confirm your address for your public key", body, error)) {
        std::fprintf(stderr, "keyserv: cannot send mail: %s\n", error.c_str());
        return Error(502, "The key server could not send the confirmation mail. Please try again later.");
    }
    return Json(status, MessageJson(message));
}

Answer KeyService::Publish(const std::string& body) {
    SignedKeyRequest request;
    StoredKey key;
    std::string error;
    if (!ParseSignedKeyRequest(body, false, request, error) || !CheckSignedKey(request, key, error))
        return Error(400, error);
    if (key.revoked)
        return Error(400, "A revoked key is sent to the server with its revocation code.");
    std::optional<StoredKey> old;
    if (!m_store.GetKey(key.keyId, old, error))
        return StoreFailure(error);
    if (old && old->revoked)
        return Error(409, "This key has been revoked on the server.");
    if (old && old->signedAt > key.signedAt)
        return Error(409, "The server holds a newer copy of this key.");
    const bool sameAddress = old && old->email == key.email;
    if (!sameAddress) {
        int count = 0;
        if (!m_store.CountKeysForAddress(key.email, m_clock(), count, error))
            return StoreFailure(error);
        if (count >= m_settings.maxKeysPerAddress)
            return Error(429, "The server takes no more keys for this address at present.");
    }
    bool stored = false;
    if (!m_store.PutKey(key, stored, error))
        return StoreFailure(error);
    if (sameAddress && old->confirmed)
        return Json(200, MessageJson(stored ? "The key has been updated on the server."
                                            : "The server already holds this copy of the key."));
    return MailConfirmation(key, 202,
                            "The key has been received. A confirmation mail was sent to " + key.email +
                                "; others can find the key once the link in it has been opened.");
}

Answer KeyService::Find(const std::string& email) {
    std::string address;
    if (!ParseEmail(email, address))
        return Error(400, "The e-mail address is not valid.");
    std::vector<StoredKey> keys;
    std::string error;
    if (!m_store.FindConfirmed(address, keys, error))
        return StoreFailure(error);
    // Unknown and unconfirmed addresses get the same answer.
    if (keys.empty())
        return Error(404, kNoKeyForAddress);
    nlohmann::json texts = nlohmann::json::array();
    for (const StoredKey& key : keys)
        texts.push_back(key.text);
    return Json(200, DumpJson(nlohmann::json{{"keys", texts}}));
}

Answer KeyService::Fetch(const std::string& keyIdText) {
    std::string keyId;
    if (!ParseKeyId(keyIdText, keyId))
        return Error(400, "The key ID is not valid.");
    std::optional<StoredKey> key;
    std::string error;
    if (!m_store.GetKey(keyId, key, error))
        return StoreFailure(error);
    // A key whose address is unconfirmed would show that address: it is not there yet.
    if (!key || !key->confirmed)
        return Error(404, kNotOnServer);
    return Json(200, DumpJson(nlohmann::json{{"key", key->text}}));
}

Answer KeyService::Confirm(const std::string& token) {
    const Answer invalid{404, "This confirmation link is not valid or has expired.\n",
                         "text/plain; charset=utf-8"};
    if (!ValidToken(token))
        return invalid;
    bool confirmed = false;
    std::string error;
    if (!m_store.ConfirmToken(SecretDigest(token), m_clock(), confirmed, error))
        return StoreFailure(error);
    if (!confirmed)
        return invalid;
    return Answer{200, "Your address has been confirmed. Others can now find your public key by it.\n",
                  "text/plain; charset=utf-8"};
}

bool KeyService::LiveKey(const std::string& keyIdText, std::string& keyId, StoredKey& key, Answer& refusal) {
    if (!ParseKeyId(keyIdText, keyId)) {
        refusal = Error(400, "The key ID is not valid.");
        return false;
    }
    std::optional<StoredKey> found;
    std::string error;
    if (!m_store.GetKey(keyId, found, error)) {
        refusal = StoreFailure(error);
        return false;
    }
    if (!found || !found->confirmed) {
        refusal = Error(404, kNotOnServer);
        return false;
    }
    if (found->revoked) {
        refusal = Error(409, "This key has been revoked on the server.");
        return false;
    }
    key = *found;
    return true;
}

Answer KeyService::StartRevocation(const std::string& keyIdText) {
    std::string keyId;
    StoredKey key;
    Answer refusal;
    if (!LiveKey(keyIdText, keyId, key, refusal))
        return refusal;
    std::optional<RevocationCode> previous;
    std::string error;
    if (!m_store.GetRevocationCode(keyId, previous, error))
        return StoreFailure(error);
    const std::int64_t now = m_clock();
    if (previous && now - previous->sentAt < m_settings.codeResendSeconds)
        return Error(429, "A revocation code was sent a moment ago. Please check your mail inbox.");
    const std::string code = NewRevocationCode();
    if (!m_store.SetRevocationCode(
            keyId, RevocationCode{SecretDigest(code), now + m_settings.codeSeconds, now, 0}, error))
        return StoreFailure(error);
    const std::string body =
        "Someone, probably you, asked to revoke your public key " + keyId +
        " on the key server.\nTo complete the revocation, enter this code:\n\n" + code +
        "\n\nThe code is valid for one hour. If you did not ask for this, ignore this mail; "
        "the key stays as it is.\n";
    if (!m_mail(key.email, "Your key revocation code", body, error)) {
        std::fprintf(stderr, "keyserv: cannot send mail: %s\n", error.c_str());
        return Error(502, "The key server could not send the revocation code. Please try again later.");
    }
    return Json(200, MessageJson("A revocation code was sent to the key's e-mail address."));
}

Answer KeyService::CompleteRevocation(const std::string& keyIdText, const std::string& body) {
    std::string keyId;
    StoredKey stored;
    Answer refusal;
    if (!LiveKey(keyIdText, keyId, stored, refusal))
        return refusal;
    SignedKeyRequest request;
    StoredKey key;
    std::string error;
    if (!ParseSignedKeyRequest(body, true, request, error) || !CheckSignedKey(request, key, error))
        return Error(400, error);
    if (key.keyId != keyId)
        return Error(400, "The key sent has another key ID than the key being revoked.");
    if (!key.revoked)
        return Error(400, "The key sent is not revoked.");
    if (key.signedAt <= stored.signedAt)
        return Error(400, "The revoked key is not newer than the server's copy.");
    if (key.email != stored.email)
        return Error(400, "The revoked key carries another e-mail address than the server's copy.");
    std::optional<RevocationCode> code;
    if (!m_store.CountRevocationAttempt(keyId, code, error))
        return StoreFailure(error);
    const char noCode[] = "No revocation code is valid for this key. Please start the revocation again.";
    if (!code || code->expires <= m_clock())
        return Error(403, noCode);
    if (code->attempts > m_settings.maxCodeAttempts) {
        bool removed = false;
        if (!m_store.TakeRevocationCode(keyId, code->codeHash, removed, error))
            return StoreFailure(error);
        return Error(429, "Too many wrong revocation codes. Please start the revocation again.");
    }
    bool removed = false;
    if (!SameDigest(SecretDigest(request.code), code->codeHash) ||
        !m_store.TakeRevocationCode(keyId, code->codeHash, removed, error) || !removed) {
        if (!error.empty())
            return StoreFailure(error);
        return Error(403, "The revocation code is wrong.");
    }
    if (!m_store.PutRevokedKey(key, error))
        return StoreFailure(error);
    return Json(200, MessageJson("The key has been revoked."));
}

} // namespace keyserv
