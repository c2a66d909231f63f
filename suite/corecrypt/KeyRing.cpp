#include "corecrypt/KeyRing.h"

#include "corecrypt/ErrorText.h"
#include "corecrypt/Paths.h"
#include "corecrypt/QMException.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace corecrypt {
namespace {

constexpr char kMagic[4] = {'Q', 'M', 'K', 'R'};
constexpr std::size_t kHeaderSize = 16;      // magic, version, kind, reserved, next position, count
constexpr std::size_t kEntryHeaderSize = 10; // position, status, flags, record length
constexpr std::size_t kTrailerSize = 32;
constexpr std::size_t kMaxRecordSize = 4096;

void PutU32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>(v >> shift));
}

std::uint32_t GetU32(std::string_view bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

const char* KindWord(RingKind kind) {
    return kind == RingKind::Public ? "public" : "private";
}

std::string Damaged(RingKind kind, const std::string& what) {
    return std::string("The ") + KindWord(kind) + " key ring is damaged (" + what + ").";
}

// One record of `size` bytes at `at`, as both layouts store it after its length.
bool TakeRecord(std::string_view bytes, std::size_t& at, std::uint32_t size, RingKind kind,
                std::string& record, std::string& error) {
    if (size == 0 || size > kMaxRecordSize || size > bytes.size() - at) {
        error = Damaged(kind, "record length");
        return false;
    }
    record.assign(bytes.substr(at, size));
    at += size;
    return true;
}

bool AllRead(std::string_view bytes, std::size_t at, RingKind kind, std::string& error) {
    if (at != bytes.size())
        error = Damaged(kind, "bytes after the last record");
    return at == bytes.size();
}

bool KeyIdOfRecord(RingKind kind, std::string_view record, std::uint8_t id[kAsymmKeyIdSize],
                   std::int64_t* signedAt, std::string& error) {
    std::unique_ptr<CAsymmKey> key;
    if (kind == RingKind::Public)
        key = CPublicKey::FromRecord(record, false, error);
    else
        key = CPrivateKey::FromRecord(record, false, error);
    if (!key)
        return false;
    std::memcpy(id, key->GetKeyIDPbyte(), kAsymmKeyIdSize);
    if (signedAt)
        *signedAt = key->GetSignatureTime();
    return true;
}

RingEntry* FindById(RingContents& ring, const std::uint8_t id[kAsymmKeyIdSize], std::int64_t* signedAt,
                    std::string& error, bool& failed) {
    failed = false;
    for (RingEntry& entry : ring.entries) {
        std::uint8_t other[kAsymmKeyIdSize];
        if (!KeyIdOfRecord(ring.kind, entry.record, other, signedAt, error)) {
            failed = true;
            return nullptr;
        }
        if (std::memcmp(other, id, kAsymmKeyIdSize) == 0)
            return &entry;
    }
    return nullptr;
}

RingEntry* FindByPosition(RingContents& ring, std::uint32_t position) {
    for (RingEntry& entry : ring.entries)
        if (entry.position == position)
            return &entry;
    return nullptr;
}

bool Append(RingContents& ring, const std::string& record, std::uint8_t status, std::uint8_t flags,
            std::string& error) {
    if (ring.nextPosition == kNoRingPosition) {
        error = std::string("The ") + KindWord(ring.kind) + " key ring has no free ring position left.";
        return false;
    }
    ring.entries.push_back({ring.nextPosition++, status, flags, record});
    return true;
}

// Adds `key`'s record to an edited ring, or replaces an older copy of the same key ID.
bool AddOrReplace(RingContents& ring, const CAsymmKey& key, bool& write, bool olderIsError,
                  std::string& error) {
    std::int64_t storedSignedAt = 0;
    bool failed = false;
    RingEntry* entry = FindById(ring, key.GetKeyIDPbyte(), &storedSignedAt, error, failed);
    if (failed)
        return false;
    const std::string& record = key.GetRecordBytes();
    const std::uint8_t revoked = key.GetRevocationTime() != 0 ? kRingRevoked : 0;
    if (!entry) {
        write = true;
        return Append(ring, record, kStatusNotSynchronized, revoked, error);
    }
    if (entry->record == record)
        return true;
    if (key.GetSignatureTime() > storedSignedAt) {
        entry->record = record;
        entry->flags |= revoked;
        write = true;
        return true;
    }
    if (olderIsError) {
        error = std::string("The ") + KindWord(ring.kind) +
                " keys file already holds a newer or different copy of this key; it was left as it is.";
        return false;
    }
    return true;
}

bool FillSlots(const std::string& path, RingKind kind, std::size_t& count,
               const std::function<bool(const RingEntry&, std::string&)>& take, std::string& error) {
    RingContents ring;
    bool oldLayout = false;
    if (!ReadRing(path, kind, ring, oldLayout, error)) {
        if (oldLayout)
            throw CQMException(kOldRingFormatCode, "The key ring " + path + " has an earlier format.",
                               "It is converted before it is read.");
        return false;
    }
    count = 0;
    for (const RingEntry& entry : ring.entries) {
        if (!take(entry, error)) {
            error = Damaged(kind, "ring position " + std::to_string(entry.position) + ": " + error);
            return false;
        }
        ++count;
    }
    return true;
}

template <class Key>
void ApplyState(Key& key, const RingEntry& entry) {
    key.m_nRingPos = entry.position;
    key.m_nStatus = entry.status;
    key.m_bRevoked = (entry.flags & kRingRevoked) != 0 || key.GetRevocationTime() != 0 ? 1 : 0;
    key.m_bExpired = (entry.flags & kRingExpired) != 0 ? 1 : 0;
}

template <class Key>
int LoadRing(std::vector<std::unique_ptr<Key>>& slots, RingKind kind, const char* path, char* errorText,
             int errorTextSize) {
    std::string error;
    if (!path || !*path) {
        SetErrorText(errorText, errorTextSize, "No key ring file name given.");
        return -1;
    }
    for (auto& slot : slots)
        slot.reset();
    std::size_t count = 0;
    const bool ok = FillSlots(
        path, kind, count,
        [&](const RingEntry& entry, std::string& why) {
            auto key = Key::FromRecord(entry.record, false, why);
            if (!key)
                return false;
            ApplyState(*key, entry);
            if (count + 1 >= slots.size())
                slots.resize(count + 2);
            slots[count] = std::move(key);
            return true;
        },
        error);
    if (!ok) {
        for (auto& slot : slots)
            slot.reset();
        SetErrorText(errorText, errorTextSize, error);
        return -1;
    }
    return static_cast<int>(count);
}

int DeleteFromRing(RingKind kind, std::uint32_t position, const unsigned char* keyId, const char* path,
                   char* errorText, int errorTextSize) {
    std::string error;
    if (!path || !*path || !keyId) {
        SetErrorText(errorText, errorTextSize, "No key ring file name or key ID given.");
        return 0;
    }
    const bool ok = EditRing(
        path, kind,
        [&](RingContents& ring, bool& write, std::string& why) {
            for (auto it = ring.entries.begin(); it != ring.entries.end(); ++it) {
                if (it->position != position)
                    continue;
                std::uint8_t id[kAsymmKeyIdSize];
                if (!KeyIdOfRecord(kind, it->record, id, nullptr, why))
                    return false;
                if (std::memcmp(id, keyId, kAsymmKeyIdSize) != 0)
                    break;
                ring.entries.erase(it);
                write = true;
                return true;
            }
            why = std::string("The ") + KindWord(kind) + " key ring holds no such key at ring position " +
                  std::to_string(position) + " (it may have been changed by another program).";
            return false;
        },
        error);
    if (!ok)
        SetErrorText(errorText, errorTextSize, error);
    return ok ? 1 : 0;
}

} // namespace

std::string EncodeRing(const RingContents& ring) {
    std::string out(kMagic, sizeof kMagic);
    out.push_back(static_cast<char>(kRingVersion));
    out.push_back(static_cast<char>(ring.kind));
    out.append(2, '\0');
    PutU32(out, ring.nextPosition);
    PutU32(out, static_cast<std::uint32_t>(ring.entries.size()));
    for (const RingEntry& e : ring.entries) {
        PutU32(out, e.position);
        out.push_back(static_cast<char>(e.status));
        out.push_back(static_cast<char>(e.flags));
        PutU32(out, static_cast<std::uint32_t>(e.record.size()));
        out += e.record;
    }
    std::uint8_t digest[32];
    std::string ignored;
    Sha256(out.data(), out.size(), digest, ignored);
    out.append(reinterpret_cast<const char*>(digest), sizeof digest);
    return out;
}

bool DecodeRing(std::string_view bytes, RingKind kind, RingContents& ring, bool& oldLayout,
                std::string& error) {
    oldLayout = false;
    ring = RingContents{};
    ring.kind = kind;
    if (bytes.empty())
        return true;
    if (bytes.size() < 6 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        error = std::string("The file is not a ") + KindWord(kind) + " key ring.";
        return false;
    }
    const auto version = static_cast<std::uint8_t>(bytes[4]);
    const auto storedKind = static_cast<std::uint8_t>(bytes[5]);
    if (storedKind != static_cast<std::uint8_t>(kind)) {
        error =
            std::string("The file is a key ring of the other kind, not a ") + KindWord(kind) + " key ring.";
        return false;
    }
    if (version == kOldRingVersion) {
        oldLayout = true;
        error = std::string("The ") + KindWord(kind) + " key ring has an earlier format.";
        return false;
    }
    if (version != kRingVersion) {
        error = std::string("The ") + KindWord(kind) + " key ring has an unknown format version (" +
                std::to_string(version) + ").";
        return false;
    }
    if (bytes.size() < kHeaderSize + kTrailerSize)
        return error = Damaged(kind, "too short"), false;
    std::uint8_t digest[32];
    if (!Sha256(bytes.data(), bytes.size() - kTrailerSize, digest, error))
        return false;
    if (std::memcmp(digest, bytes.data() + bytes.size() - kTrailerSize, kTrailerSize) != 0)
        return error = Damaged(kind, "its checksum does not match"), false;
    const std::string_view body = bytes.substr(0, bytes.size() - kTrailerSize);
    ring.nextPosition = GetU32(body, 8);
    const std::uint32_t count = GetU32(body, 12);
    std::size_t at = kHeaderSize;
    if (count > (body.size() - at) / kEntryHeaderSize)
        return error = Damaged(kind, "record count"), false;
    ring.entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (body.size() - at < kEntryHeaderSize)
            return error = Damaged(kind, "truncated"), false;
        RingEntry e;
        e.position = GetU32(body, at);
        e.status = static_cast<std::uint8_t>(body[at + 4]);
        e.flags = static_cast<std::uint8_t>(body[at + 5]);
        const std::uint32_t size = GetU32(body, at + 6);
        at += kEntryHeaderSize;
        if (!TakeRecord(body, at, size, kind, e.record, error))
            return false;
        if (e.position >= ring.nextPosition ||
            (!ring.entries.empty() && e.position <= ring.entries.back().position))
            return error = Damaged(kind, "ring positions out of order"), false;
        if (e.status > kStatusExpired || e.flags > (kRingRevoked | kRingExpired))
            return error = Damaged(kind, "local state"), false;
        ring.entries.push_back(std::move(e));
    }
    return AllRead(body, at, kind, error);
}

bool DecodeOldRing(std::string_view bytes, RingKind kind, RingContents& ring, std::string& error) {
    // The earlier layout: magic, version 1, kind, record count, then each record after its length.
    ring = RingContents{};
    ring.kind = kind;
    if (bytes.size() < 10 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0 ||
        static_cast<std::uint8_t>(bytes[4]) != kOldRingVersion ||
        static_cast<std::uint8_t>(bytes[5]) != static_cast<std::uint8_t>(kind))
        return error =
                   std::string("The file is not a ") + KindWord(kind) + " key ring of the earlier format.",
               false;
    const std::uint32_t count = GetU32(bytes, 6);
    std::size_t at = 10;
    if (count > (bytes.size() - at) / 4)
        return error = Damaged(kind, "record count"), false;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (bytes.size() - at < 4)
            return error = Damaged(kind, "truncated"), false;
        const std::uint32_t size = GetU32(bytes, at);
        at += 4;
        RingEntry e;
        if (!TakeRecord(bytes, at, size, kind, e.record, error))
            return false;
        e.position = ring.nextPosition++;
        ring.entries.push_back(std::move(e));
    }
    return AllRead(bytes, at, kind, error);
}

bool ReadRing(const std::string& path, RingKind kind, RingContents& ring, bool& oldLayout,
              std::string& error) {
    oldLayout = false;
    std::string bytes;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        ring = RingContents{};
        ring.kind = kind;
        return true;
    }
    std::string why;
    if (!platform::ReadRegularFile(path, bytes, why)) {
        error = "Cannot read the key ring " + path + ": " + why;
        return false;
    }
    if (!DecodeRing(bytes, kind, ring, oldLayout, why)) {
        error = why + " (" + path + ")";
        return false;
    }
    return true;
}

bool WriteRing(const std::string& path, const RingContents& ring, std::string& error) {
    const std::string bytes = EncodeRing(ring);
    platform::AtomicFile file(path, 0600,
                              ring.kind == RingKind::Private ? platform::AtomicFile::Content::Plaintext
                                                             : platform::AtomicFile::Content::Document);
    std::string why;
    if (!file.open(why) || !file.write(bytes.data(), bytes.size(), why) || !file.commit(why)) {
        error = "Cannot save the key ring " + path + ": " + why;
        return false;
    }
    return true;
}

// Programs changing one ring take turns on `<ring>.lock`. The lock file stays: removing it would
// let two programs lock two different files of that name.
static bool LockRing(platform::FileLock& lock, const std::string& path, std::string& error) {
    std::string why;
    if (lock.Lock(path + ".lock", platform::FileLock::Wait::UntilFree, why))
        return true;
    error = "Cannot lock " + path + ": " + why + ".";
    return false;
}

bool EditRing(const std::string& path, RingKind kind,
              const std::function<bool(RingContents&, bool&, std::string&)>& change, std::string& error) {
    platform::FileLock lock;
    if (!LockRing(lock, path, error))
        return false;
    RingContents ring;
    bool oldLayout = false;
    if (!ReadRing(path, kind, ring, oldLayout, error))
        return false;
    bool write = false;
    if (!change(ring, write, error))
        return false;
    return !write || WriteRing(path, ring, error);
}

bool ConvertRing(const std::string& path, RingKind kind, std::string& error) {
    platform::FileLock lock;
    if (!LockRing(lock, path, error))
        return false;
    std::string bytes;
    std::string why;
    if (!PathExists(path))
        return true; // nothing to convert
    if (!platform::ReadRegularFile(path, bytes, why)) {
        error = "Cannot read the key ring " + path + ": " + why;
        return false;
    }
    RingContents ring;
    bool oldLayout = false;
    if (DecodeRing(bytes, kind, ring, oldLayout, why))
        return true;
    if (!oldLayout) {
        error = why + " (" + path + ")";
        return false;
    }
    if (!DecodeOldRing(bytes, kind, ring, why)) {
        error = why + " (" + path + ")";
        return false;
    }
    // Every record must read before anything is written; a bad one stops the conversion.
    for (const RingEntry& e : ring.entries) {
        std::uint8_t id[kAsymmKeyIdSize];
        std::int64_t signedAt = 0;
        if (!KeyIdOfRecord(kind, e.record, id, &signedAt, why)) {
            error = Damaged(kind, "record " + std::to_string(e.position) + ": " + why) + " (" + path + ")";
            return false;
        }
    }
    const std::string backup = path + ".v1.bak";
    if (!platform::WriteFileAtomically(backup, bytes, 0600, why)) {
        error = "Cannot keep a copy of the old key ring as " + backup + ": " + why;
        return false;
    }
    return WriteRing(path, ring, error);
}

namespace {

template <class Key>
std::unique_ptr<Key> ParseKeyText(std::string_view text, KeyTextKind wanted, const char* otherKind,
                                  std::string& error) {
    KeyTextKind kind{};
    std::string bytes;
    if (!UnarmorKeyText(text, kind, bytes, error))
        return nullptr;
    if (kind != wanted) {
        error = otherKind;
        return nullptr;
    }
    return Key::FromRecord(bytes, true, error);
}

} // namespace

std::unique_ptr<CPublicKey> ParsePublicKeyText(std::string_view text, std::string& error) {
    return ParseKeyText<CPublicKey>(text, KeyTextKind::Public,
                                    "The text holds a private key, not a public key.", error);
}

std::unique_ptr<CPrivateKey> ParsePrivateKeyText(std::string_view text, std::string& error) {
    return ParseKeyText<CPrivateKey>(text, KeyTextKind::Private,
                                     "The text holds a public key, not a private key.", error);
}

} // namespace corecrypt

using namespace corecrypt;

int LoadPublicKeyRing(PublicKeySlots& slots, const char* ring, char* errorText, int errorTextSize) {
    return LoadRing(slots, RingKind::Public, ring, errorText, errorTextSize);
}

int LoadPrivateKeyRing(PrivateKeySlots& slots, const char* ring, char* errorText, int errorTextSize) {
    return LoadRing(slots, RingKind::Private, ring, errorText, errorTextSize);
}

int DeletePublicKey(std::uint32_t position, const unsigned char* keyId, const char* ring, char* errorText,
                    int errorTextSize) {
    return DeleteFromRing(RingKind::Public, position, keyId, ring, errorText, errorTextSize);
}

int DeletePrivateKey(std::uint32_t position, const unsigned char* keyId, const char* ring, char* errorText,
                     int errorTextSize) {
    return DeleteFromRing(RingKind::Private, position, keyId, ring, errorText, errorTextSize);
}

int ParsePublicKey(const char* text, std::unique_ptr<CPublicKey>& key, char* errorText, int errorTextSize) {
    std::string error;
    key = ParsePublicKeyText(text ? text : "", error);
    if (!key)
        SetErrorText(errorText, errorTextSize, error);
    return key ? 1 : 0;
}

int ParsePrivateKey(const char* text, std::unique_ptr<CPrivateKey>& key, char* errorText, int errorTextSize) {
    std::string error;
    key = ParsePrivateKeyText(text ? text : "", error);
    if (!key)
        SetErrorText(errorText, errorTextSize, error);
    return key ? 1 : 0;
}

namespace {

// A key object may have been built without its signature checked (from a ring); it is checked
// again before it enters a ring.
bool Verified(const CAsymmKey& key, std::string& error) {
    PublicKeyRecord record;
    return DecodePublicRecord(key.GetPublicRecordBytes(), record, true, error);
}

} // namespace

int AddPublicKeyToFile(const CPublicKey& key, const char* ring, char* errorText, int errorTextSize) {
    std::string error;
    const bool ok = ring && *ring && Verified(key, error) &&
                    EditRing(
                        ring, RingKind::Public,
                        [&](RingContents& r, bool& write, std::string& why) {
                            return AddOrReplace(r, key, write, true, why);
                        },
                        error);
    if (!ok)
        SetErrorText(errorText, errorTextSize, error.empty() ? "No public keys file name given." : error);
    return ok ? 1 : 0;
}

int AddPrivateKeyToFile(const CPrivateKey& key, const char* privateRing, const char* publicRing,
                        char* errorText, int errorTextSize) {
    std::string error;
    if (!privateRing || !*privateRing || !publicRing || !*publicRing) {
        SetErrorText(errorText, errorTextSize, "No private or public keys file name given.");
        return 0;
    }
    platform::FileLock privateLock;
    if (!LockRing(privateLock, privateRing, error)) {
        SetErrorText(errorText, errorTextSize, error);
        return 0;
    }
    const auto publicHalf = key.GetPublicKey();
    RingContents secrets;
    bool oldLayout = false;
    bool write = false;
    // The public half goes in first: a pair whose private half is missing can be imported again,
    // a private key without its public half could not be published.
    const bool ok = publicHalf && Verified(key, error) &&
                    ReadRing(privateRing, RingKind::Private, secrets, oldLayout, error) &&
                    AddOrReplace(secrets, key, write, true, error) &&
                    EditRing(
                        publicRing, RingKind::Public,
                        [&](RingContents& r, bool& w, std::string& why) {
                            return AddOrReplace(r, *publicHalf, w, false, why);
                        },
                        error) &&
                    (!write || WriteRing(privateRing, secrets, error));
    if (!ok)
        SetErrorText(errorText, errorTextSize, error.empty() ? "The private key is damaged." : error);
    return ok ? 1 : 0;
}

int ReplaceKeyInFile(const CAsymmKey& key, const char* ring, char* errorText, int errorTextSize) {
    std::string error;
    const RingKind kind = key.IsPrivate() ? RingKind::Private : RingKind::Public;
    const bool ok = ring && *ring && Verified(key, error) &&
                    EditRing(
                        ring, kind,
                        [&](RingContents& r, bool& write, std::string& why) {
                            RingEntry* entry = FindByPosition(r, key.m_nRingPos);
                            std::uint8_t id[kAsymmKeyIdSize];
                            if (entry && !KeyIdOfRecord(kind, entry->record, id, nullptr, why))
                                return false;
                            if (!entry || std::memcmp(id, key.GetKeyIDPbyte(), kAsymmKeyIdSize) != 0) {
                                why = std::string("The ") + KindWord(kind) +
                                      " key ring no longer holds this key at its ring position.";
                                return false;
                            }
                            entry->record = key.GetRecordBytes();
                            if (key.GetRevocationTime() != 0)
                                entry->flags |= kRingRevoked;
                            write = true;
                            return true;
                        },
                        error);
    if (!ok)
        SetErrorText(errorText, errorTextSize, error.empty() ? "No keys file name given." : error);
    return ok ? 1 : 0;
}

void StoreKeyInFile(const CAsymmKey& key, const char* ring, int) {
    std::string error;
    const RingKind kind = key.IsPrivate() ? RingKind::Private : RingKind::Public;
    const std::uint8_t flags = (key.m_bRevoked || key.GetRevocationTime() != 0 ? kRingRevoked : 0) |
                               (key.m_bExpired ? kRingExpired : 0);
    const bool ok = ring && *ring && Verified(key, error) &&
                    EditRing(
                        ring, kind,
                        [&](RingContents& r, bool& write, std::string& why) {
                            write = true;
                            return Append(r, key.GetRecordBytes(), key.m_nStatus, flags, why);
                        },
                        error);
    if (!ok)
        throw CQMException(CQMException::kGeneral, error.empty() ? "No keys file name given." : error);
}

int SetKeyState(const CAsymmKey& key, const char* ring, char* errorText, int errorTextSize) {
    std::string error;
    const RingKind kind = key.IsPrivate() ? RingKind::Private : RingKind::Public;
    const bool ok = ring && *ring &&
                    EditRing(
                        ring, kind,
                        [&](RingContents& r, bool& write, std::string& why) {
                            RingEntry* entry = FindByPosition(r, key.m_nRingPos);
                            std::uint8_t id[kAsymmKeyIdSize];
                            if (!entry || !KeyIdOfRecord(kind, entry->record, id, nullptr, why) ||
                                std::memcmp(id, key.GetKeyIDPbyte(), kAsymmKeyIdSize) != 0) {
                                if (why.empty())
                                    why = "The key ring no longer holds this key at its ring position.";
                                return false;
                            }
                            if (key.m_nStatus > kStatusExpired) {
                                why = "Unknown key status " + std::to_string(key.m_nStatus) + ".";
                                return false;
                            }
                            entry->status = key.m_nStatus;
                            entry->flags = static_cast<std::uint8_t>((key.m_bRevoked ? kRingRevoked : 0) |
                                                                     (key.m_bExpired ? kRingExpired : 0));
                            write = true;
                            return true;
                        },
                        error);
    if (!ok)
        SetErrorText(errorText, errorTextSize, error.empty() ? "No keys file name given." : error);
    return ok ? 1 : 0;
}
