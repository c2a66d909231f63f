#pragma once

#include "corecrypt/KeyRing.h"

#include <memory>
#include <string>
#include <vector>

// The keys as qmkey sees them: both rings loaded (an old ring converted first), with the statuses
// the control center derives on loading.
namespace qmkey {

struct Rings {
    std::string publicPath;
    std::string privatePath;
    PublicKeySlots publics;
    PrivateKeySlots privates;
    std::size_t publicCount = 0;
    std::size_t privateCount = 0;
};

bool LoadRings(Rings& rings, std::string& error);

// Expired keys get status 4, own keys (a private key of the same ID exists) status 3.
void DeriveStatuses(Rings& rings, std::int64_t now);
bool IsOwn(const Rings& rings, const CAsymmKey& key);
const CPrivateKey* FindPrivate(const Rings& rings, const unsigned char* keyId);
const CPublicKey* FindPublic(const Rings& rings, const unsigned char* keyId);

// A JSON string: quote and backslash escaped, control characters as \u00XX.
std::string JsonText(const std::string& text);

// The "Synchronized" column of a public key.
std::string SynchronizedText(const CAsymmKey& key);

// Finds the one key that `spec` names: a key ID (32 hex digits, blanks allowed), its last 16 hex
// digits, or an e-mail address (without regard to case). Null with a reason when none or several
// match.
const CAsymmKey* FindKey(const Rings& rings, bool privateRing, const std::string& spec, std::string& error);

} // namespace qmkey
