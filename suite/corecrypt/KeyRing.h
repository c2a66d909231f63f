#pragma once

// Key rings: the public ring (other people's keys and the public halves of the user's own) and
// the private ring (the user's sealed private keys).
//
// A ring is a small binary file: the magic "QMKR", a layout version, the ring's kind, the next
// free ring position, the record count, then per key its ring position, the local state that is
// not part of the key (status byte, revoked and expired indicators) and the key's record, and
// last a SHA-256 over everything before it. A key keeps its ring position for as long as it stays
// in the ring; positions are never reused.
//
// Every change is a locked load-change-save: the ring's lock file is held while the ring is read,
// changed and written through a temporary file that replaces it at once, so two programs editing
// one ring lose nothing. Loading takes no lock, since a ring is only ever replaced whole.
//
// The functions outside the namespace keep the engine's calling convention: non-zero (or a count)
// on success, zero or negative with a zero-terminated reason in the caller's buffer.

#include "corecrypt/AsymmKey.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corecrypt {

// The slots a ring loader fills; the key store prepares this many.
constexpr std::size_t kRingSlots = 10000;
// The exception code of a ring in an earlier layout; HandleOldVersionOfPKFiles converts it.
constexpr int kOldRingFormatCode = 61;
constexpr std::uint8_t kRingVersion = 2;
constexpr std::uint8_t kOldRingVersion = 1;

enum class RingKind : std::uint8_t { Public = 1, Private = 2 };

enum RingFlags : std::uint8_t { kRingRevoked = 1, kRingExpired = 2 };

struct RingEntry {
    std::uint32_t position = 0;
    std::uint8_t status = 0;
    std::uint8_t flags = 0;
    std::string record; // the key's binary record (public or private by the ring's kind)
};

struct RingContents {
    RingKind kind = RingKind::Public;
    std::uint32_t nextPosition = 0;
    std::vector<RingEntry> entries; // ascending ring positions
};

std::string EncodeRing(const RingContents& ring);
// Reads a ring file's bytes. An empty file is an empty ring. `oldLayout` is set (and false
// returned) for a ring of the earlier layout, which DecodeOldRing reads.
bool DecodeRing(std::string_view bytes, RingKind kind, RingContents& ring, bool& oldLayout,
                std::string& error);
// Reads a ring of the earlier layout (no positions, no local state): positions 0, 1, 2, ...
bool DecodeOldRing(std::string_view bytes, RingKind kind, RingContents& ring, std::string& error);
// A missing file is an empty ring.
bool ReadRing(const std::string& path, RingKind kind, RingContents& ring, bool& oldLayout,
              std::string& error);
// Replaces the ring file at once (mode 0600; the private ring as secret material).
bool WriteRing(const std::string& path, const RingContents& ring, std::string& error);
// Locks the ring, reads it, lets `change` edit it and writes it back when `change` returns true
// and asked for a write (`write` set). The change's own false ends the edit with its error.
bool EditRing(const std::string& path, RingKind kind,
              const std::function<bool(RingContents&, bool& write, std::string& error)>& change,
              std::string& error);
// Converts a ring of the earlier layout in place, keeping the old file as "<path>.v1.bak". A ring
// that already has the current layout, or no ring at all, is left alone (true).
bool ConvertRing(const std::string& path, RingKind kind, std::string& error);

// Parses key text of one kind into a verified key.
std::unique_ptr<CPublicKey> ParsePublicKeyText(std::string_view text, std::string& error);
std::unique_ptr<CPrivateKey> ParsePrivateKeyText(std::string_view text, std::string& error);

} // namespace corecrypt

using PublicKeySlots = std::vector<std::unique_ptr<CPublicKey>>;
using PrivateKeySlots = std::vector<std::unique_ptr<CPrivateKey>>;

// The ring loaders. They fill `slots` from the start, each key carrying its ring position and local
// state, and leave an empty slot after the last key; a ring holding more keys than there are slots
// grows `slots` rather than leaving keys out. The count of keys, or -1 with the reason. A ring of
// the earlier layout throws CQMException with code 61.
int LoadPublicKeyRing(PublicKeySlots& slots, const char* ring, char* errorText, int errorTextSize);
int LoadPrivateKeyRing(PrivateKeySlots& slots, const char* ring, char* errorText, int errorTextSize);

// Removes the key at `position` when its 16-byte key ID is `keyId`; a position that holds no key
// or another key (the ring changed meanwhile) removes nothing and fails.
int DeletePublicKey(std::uint32_t position, const unsigned char* keyId, const char* ring, char* errorText,
                    int errorTextSize);
int DeletePrivateKey(std::uint32_t position, const unsigned char* keyId, const char* ring, char* errorText,
                     int errorTextSize);

// Key text to a verified key object.
int ParsePublicKey(const char* text, std::unique_ptr<CPublicKey>& key, char* errorText, int errorTextSize);
int ParsePrivateKey(const char* text, std::unique_ptr<CPrivateKey>& key, char* errorText, int errorTextSize);

// Adds a key after checking its signature. When the ring already holds that key ID, a newer
// revision (later signature time) replaces it at its ring position, the same copy is left as it
// is, and an older one is refused, so a revocation is never undone by an old copy.
int AddPublicKeyToFile(const CPublicKey& key, const char* ring, char* errorText, int errorTextSize);
// Adds a private key to the private ring and its public half to the public ring, so the pair is
// whole. The private ring is locked first, then the public ring.
int AddPrivateKeyToFile(const CPrivateKey& key, const char* privateRing, const char* publicRing,
                        char* errorText, int errorTextSize);
// Writes the key's record over the one at its ring position (m_nRingPos), which must hold the
// same key ID: a changed passphrase or a new revision of an own key.
int ReplaceKeyInFile(const CAsymmKey& key, const char* ring, char* errorText, int errorTextSize);
// Stores a copy of the key as a record of its own, whatever the ring holds (after a revocation
// the caller then removes the old copy by its position). `mode` is reserved (callers pass 3).
// Throws CQMException on failure.
void StoreKeyInFile(const CAsymmKey& key, const char* ring, int mode);
// Writes a key's local state (status byte, revoked and expired indicators) into its ring.
int SetKeyState(const CAsymmKey& key, const char* ring, char* errorText, int errorTextSize);
