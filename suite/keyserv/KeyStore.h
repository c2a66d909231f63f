#pragma once

// Where keyserv keeps keys, confirmation tokens and revocation codes: one interface, two
// back-ends. SQLite (a file) is the default; PostgreSQL lets several keyserv processes on several
// hosts share one database, so every change that must not race is a single statement (an upsert
// that keeps the newer revision, a delete that consumes a token or code once).
//
// Tokens and codes are stored as SHA-256 digests, never as sent.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace keyserv {

struct StoredKey {
    std::string keyId; // 32 lower-case hex digits
    std::string email; // lower-case
    std::string text;  // the armored public key
    std::int64_t signedAt = 0;
    std::int64_t revoked = 0;
    bool confirmed = false;
};

struct RevocationCode {
    std::string codeHash;
    std::int64_t expires = 0;
    std::int64_t sentAt = 0;
    int attempts = 0;
};

class KeyStore {
public:
    virtual ~KeyStore() = default;

    virtual bool GetKey(const std::string& keyId, std::optional<StoredKey>& key, std::string& error) = 0;
    // The confirmed keys of an address.
    virtual bool FindConfirmed(const std::string& email, std::vector<StoredKey>& keys,
                               std::string& error) = 0;
    // Keys of an address that are confirmed or still awaiting a token that has not expired.
    virtual bool CountKeysForAddress(const std::string& email, std::int64_t now, int& count,
                                     std::string& error) = 0;
    // Stores the key when the store holds none of that ID or an older revision (`stored` tells
    // which). A changed address drops the confirmation.
    virtual bool PutKey(const StoredKey& key, bool& stored, std::string& error) = 0;

    virtual bool AddToken(const std::string& tokenHash, const std::string& keyId, const std::string& email,
                          std::int64_t expires, std::string& error) = 0;
    // Consumes a token once; a live token confirms its address for its key (`confirmed`).
    virtual bool ConfirmToken(const std::string& tokenHash, std::int64_t now, bool& confirmed,
                              std::string& error) = 0;

    // Replaces the key's code.
    virtual bool SetRevocationCode(const std::string& keyId, const RevocationCode& code,
                                   std::string& error) = 0;
    // Counts an attempt and returns the code as it stood after counting.
    virtual bool CountRevocationAttempt(const std::string& keyId, std::optional<RevocationCode>& code,
                                        std::string& error) = 0;
    virtual bool GetRevocationCode(const std::string& keyId, std::optional<RevocationCode>& code,
                                   std::string& error) = 0;
    // Removes the code when it is still `codeHash`: true in `removed` for exactly one caller.
    virtual bool TakeRevocationCode(const std::string& keyId, const std::string& codeHash, bool& removed,
                                    std::string& error) = 0;
    // Stores a revoked revision, whatever revision the store held before.
    virtual bool PutRevokedKey(const StoredKey& key, std::string& error) = 0;
};

// "postgresql://..." or "postgres://..." opens PostgreSQL, anything else is a SQLite file. The
// schema is created or brought up to date.
std::unique_ptr<KeyStore> OpenKeyStore(const std::string& database, std::string& error);

} // namespace keyserv
