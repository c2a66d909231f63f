#include "KeyList.h"

#include "center/core/ListRows.h"

#include "corecrypt/QMException.h"
#include "shellkit/KeyRings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace qmkey {
namespace {

template <class Key>
bool LoadOne(const std::string& path, std::vector<std::unique_ptr<Key>>& slots, std::size_t& count,
             int (*loader)(std::vector<std::unique_ptr<Key>>&, const char*, char*, int), std::string& error) {
    char text[2000] = "";
    for (int attempt = 0; attempt < 2; ++attempt) {
        slots.clear();
        slots.resize(corecrypt::kRingSlots);
        try {
            const int n = loader(slots, path.c_str(), text, sizeof text);
            if (n < 0) {
                error = text;
                return false;
            }
            count = static_cast<std::size_t>(n);
            return true;
        } catch (const CQMException& e) {
            if (e.GetCode() != corecrypt::kOldRingFormatCode || attempt > 0) {
                error = "Error during reading public/private keys files.";
                return false;
            }
            // qmkey reports in one line, so the rings are converted without showing anything.
            if (!shellkit::ConvertOldKeyRings(error)) {
                error = "The key rings could not be converted to the current format: " + error;
                return false;
            }
        }
    }
    return false;
}

std::string Lower(const std::string& s) {
    std::string out;
    for (char c : s)
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return out;
}

// The hex digits of a key ID as given, or empty when `spec` is no key ID.
std::string HexOf(const std::string& spec) {
    std::string hex;
    for (char c : spec) {
        if (c == ' ')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
        hex.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return hex.size() == 32 || hex.size() == 16 ? hex : std::string();
}

} // namespace

bool LoadRings(Rings& rings, std::string& error) {
    char text[2000] = "";
    if (!shellkit::GetPubKeyFileName(rings.publicPath, text, sizeof text) ||
        !shellkit::GetPrivKeyFileName(rings.privatePath, text, sizeof text)) {
        error = text;
        return false;
    }
    return LoadOne(rings.publicPath, rings.publics, rings.publicCount, LoadPublicKeyRing, error) &&
           LoadOne(rings.privatePath, rings.privates, rings.privateCount, LoadPrivateKeyRing, error);
}

const CPrivateKey* FindPrivate(const Rings& rings, const unsigned char* keyId) {
    for (std::size_t i = 0; i < rings.privateCount; ++i)
        if (std::memcmp(rings.privates[i]->GetKeyIDPbyte(), keyId, corecrypt::kAsymmKeyIdSize) == 0)
            return rings.privates[i].get();
    return nullptr;
}

const CPublicKey* FindPublic(const Rings& rings, const unsigned char* keyId) {
    for (std::size_t i = 0; i < rings.publicCount; ++i)
        if (std::memcmp(rings.publics[i]->GetKeyIDPbyte(), keyId, corecrypt::kAsymmKeyIdSize) == 0)
            return rings.publics[i].get();
    return nullptr;
}

bool IsOwn(const Rings& rings, const CAsymmKey& key) {
    return FindPrivate(rings, key.GetKeyIDPbyte()) != nullptr;
}

void DeriveStatuses(Rings& rings, std::int64_t now) {
    // A linear search per key would make listing a large ring quadratic; own keys are few.
    for (std::size_t i = 0; i < rings.publicCount; ++i) {
        CPublicKey& key = *rings.publics[i];
        if (key.GetExpireTime() != 0 && key.GetExpireTime() < now)
            key.m_nStatus = corecrypt::kStatusExpired;
    }
    for (std::size_t p = 0; p < rings.privateCount; ++p) {
        for (std::size_t i = 0; i < rings.publicCount; ++i) {
            CPublicKey& key = *rings.publics[i];
            if (key.m_nStatus != corecrypt::kStatusExpired &&
                std::memcmp(key.GetKeyIDPbyte(), rings.privates[p]->GetKeyIDPbyte(),
                            corecrypt::kAsymmKeyIdSize) == 0)
                key.m_nStatus = corecrypt::kStatusOwn;
        }
    }
}

std::string SynchronizedText(const CAsymmKey& key) {
    return center::SynchronizedText(key);
}

const CAsymmKey* FindKey(const Rings& rings, bool privateRing, const std::string& spec, std::string& error) {
    const std::string hex = HexOf(spec);
    const std::string email = Lower(spec);
    const CAsymmKey* found = nullptr;
    int matches = 0;
    const std::size_t count = privateRing ? rings.privateCount : rings.publicCount;
    for (std::size_t i = 0; i < count; ++i) {
        const CAsymmKey* key = privateRing ? static_cast<const CAsymmKey*>(rings.privates[i].get())
                                           : static_cast<const CAsymmKey*>(rings.publics[i].get());
        std::string id = key->GetKeyIDText();
        id.erase(std::remove(id.begin(), id.end(), ' '), id.end());
        const bool match = hex.empty() ? Lower(key->GetEmail()) == email
                                       : (hex.size() == 32 ? id == hex : id.compare(16, 16, hex) == 0);
        if (match) {
            found = key;
            ++matches;
        }
    }
    const char* ring = privateRing ? "private" : "public";
    if (matches == 0) {
        error = "No key in the " + std::string(ring) + " key ring matches \"" + spec + "\".";
        return nullptr;
    }
    if (matches > 1) {
        error = std::to_string(matches) + " keys in the " + ring + " key ring match \"" + spec +
                "\"; give the key ID.";
        return nullptr;
    }
    return found;
}

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace qmkey
