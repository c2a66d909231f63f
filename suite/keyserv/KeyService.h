#pragma once

// What keyserv answers, apart from HTTP: publishing with a confirmation mail, confirming an
// address, finding and fetching keys, and revoking with a mailed one-time code. The HTTP layer
// (Server.cpp) only routes requests here, so the answers can be tested and fuzzed directly.

#include "keyserv/KeyStore.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace keyserv {

struct Answer {
    int status = 200;
    std::string body; // JSON, or plain text for a confirmation link opened in a browser
    std::string contentType = "application/json";
};

struct ServiceSettings {
    std::string publicUrl; // the confirmation links start with this
    int maxKeysPerAddress = 5;
    std::int64_t tokenSeconds = 2 * 24 * 3600;
    std::int64_t codeSeconds = 3600;
    std::int64_t codeResendSeconds = 60;
    int maxCodeAttempts = 5;
};

// Sends a mail: recipient, subject, body. False with a reason.
using MailSender =
    std::function<bool(const std::string&, const std::string&, const std::string&, std::string&)>;
using Clock = std::function<std::int64_t()>;

class KeyService {
public:
    KeyService(KeyStore& store, ServiceSettings settings, MailSender mail, Clock clock);

    void SetPublicUrl(const std::string& url) { m_settings.publicUrl = url; }

    Answer Publish(const std::string& body);
    Answer Find(const std::string& email);
    Answer Fetch(const std::string& keyId);
    Answer Confirm(const std::string& token);
    Answer StartRevocation(const std::string& keyId);
    Answer CompleteRevocation(const std::string& keyId, const std::string& body);

private:
    Answer StoreFailure(const std::string& error);
    Answer MailConfirmation(const StoredKey& key, int status, const std::string& message);
    // A stored, confirmed key that has not been revoked; otherwise the answer to give.
    bool LiveKey(const std::string& keyIdText, std::string& keyId, StoredKey& key, Answer& refusal);

    KeyStore& m_store;
    ServiceSettings m_settings;
    MailSender m_mail;
    Clock m_clock;
};

// A random one-time code: four groups of four letters and digits joined by hyphens.
std::string NewRevocationCode();
// The SHA-256 of a token or code in hex, as the store keeps it.
std::string SecretDigest(const std::string& secret);
// Compares two digests without stopping at the first difference.
bool SameDigest(const std::string& a, const std::string& b);

} // namespace keyserv
