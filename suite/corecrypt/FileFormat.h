#pragma once

// The ".qmp" format, for the engine, its tests and its fuzz targets.
//
// Header, 96 bytes:
//   0      version 41
//   1-4    "QMPF"          5  format revision 1     6-8  zero
//   9      flags: bit 0 = encrypted with a key file
//   10     algorithm-mode code, 1 to 40
//   11-26  salt of the key derivation
//   27-42  key ID of the key file (zero with a password)
//   43-45  scrypt log2(N), r, p (zero with a key file)
//   46-61  IV (the first block-size bytes are used)
//   62     log2 of the chunk size (16)    63  zero
//   64-95  HMAC-SHA256 of bytes 0-63 under the header key: proves the key before any output
//
// Keys: the password (scrypt) or the key file's secret (HKDF with the salt) gives a master key;
// HKDF expands it into separate keys for the cipher, the chunk MAC, the header MAC and the IVs.
//
// Body: the plain stream (a metadata record, then the file's bytes, deflated when compressed) is
// cut into chunks of exactly the chunk size; the last chunk holds the rest (possibly nothing).
// Each chunk is enciphered on its own from IV_i = AES(iv key, file IV xor i); ECB and CBC pad the
// last chunk (PKCS#7). Each chunk's
// ciphertext is followed by a 16-byte GMAC tag whose nonce is the chunk index and a final-chunk
// mark, so changed, swapped, cut or appended chunks fail verification.
//
// Metadata record (little-endian): 1 (revision), flags (bit 0 compressed), u64 size, i64 modified
// seconds, u32 nanoseconds, i64 accessed seconds, u32 nanoseconds, u16 name length, the name.

#include "corecrypt/KeyFile.h"
#include "corecrypt/Primitives.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corecrypt {

constexpr std::uint8_t kFileVersion = 41;
constexpr std::size_t kHeaderSize = 96;
constexpr std::size_t kHeaderSignedSize = 64;
constexpr std::size_t kTagSize = 16;
constexpr int kChunkLog2 = 16;
constexpr std::size_t kMaxNameLength = 1024;

struct FileHeader {
    std::uint8_t bytes[kHeaderSize] = {};
    bool keyFile = false;
    int code = 0;
    const std::uint8_t* salt() const { return bytes + 11; }
    const std::uint8_t* keyId() const { return bytes + 27; }
    const std::uint8_t* iv() const { return bytes + 46; }
    KdfCost cost;
    std::size_t chunkSize = 0;
    bool archive = false; // "QMPA" instead of "QMPF" at bytes 1-4
};

// Checks the header's fields (not its MAC). errorCode: 53 for a foreign version, else 0.
bool ParseFileHeader(const std::uint8_t* data, std::size_t size, FileHeader& header, int& errorCode,
                     std::string& error);

struct FileMetadata {
    bool compressed = false;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::uint32_t modifiedNanos = 0;
    std::int64_t accessed = 0;
    std::uint32_t accessedNanos = 0;
    std::string name; // empty in an archive's streams, whose directory holds the paths
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes; 0 at the end; -1 with a reason on failure.
    virtual long Read(std::uint8_t* buffer, std::size_t size, std::string& error) = 0;
};

class PlainSink {
public:
    virtual ~PlainSink() = default;
    // The metadata, once the first chunk verified; then the file's bytes, each run verified.
    virtual bool Begin(const FileMetadata& metadata, std::string& error) = 0;
    virtual bool Write(const std::uint8_t* data, std::size_t size, std::string& error) = 0;
};

// What opens a file: the password, or a key file's ID and secret.
struct OpeningKey {
    std::string_view password;
    bool haveKeyFile = false;
    std::uint8_t keyId[kKeyIdSize] = {};
    SecureBytes keySecret;
};

struct FileKeys {
    SecureBytes cipher; // ModeCipher::KeySize(code) bytes
    SecureBytes mac;    // 32 bytes, the chunk MAC
    SecureBytes header; // 32 bytes, the header MAC
    SecureBytes iv;     // 32 bytes, derives each chunk's IV
};

// A new header for `code` (1 to 40) with a fresh salt and IV, its keys, and its MAC; `archive`
// marks an encrypted archive.
bool NewFileHeader(int code, const OpeningKey& key, FileHeader& header, FileKeys& keys, std::string& error,
                   bool archive = false, SecureBytes* master = nullptr);
bool DeriveFileKeys(const FileHeader& header, const OpeningKey& key, FileKeys& keys, std::string& error,
                    SecureBytes* master = nullptr);
// The two steps of DeriveFileKeys: the master key from the password or key file, then the keys
// it expands to under `info` (an archive gives each of its streams its own).
bool DeriveMasterKey(const FileHeader& header, const OpeningKey& key, SecureBytes& master,
                     std::string& error);
bool ExpandFileKeys(const SecureBytes& master, int code, const std::string& info, FileKeys& keys,
                    std::string& error);
// True when the header's MAC matches under `keys` (the key is right and the header unchanged).
bool HeaderMacMatches(const FileHeader& header, const FileKeys& keys, std::string& error);

std::string EncodeMetadata(const FileMetadata& metadata);

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const std::uint8_t* data, std::size_t size, std::string& error) = 0;
};

// Cuts the plain stream into chunks, enciphers and authenticates each, and writes them to `out`.
// Each chunk runs the cipher from its own IV (derived from the file's IV and the chunk index), so
// chunks are enciphered on worker threads side by side while this thread reads and writes.
class ChunkWriter {
public:
    ChunkWriter(const FileHeader& header, const FileKeys& keys, ByteSink& out);
    ~ChunkWriter();
    ChunkWriter(const ChunkWriter&) = delete;
    ChunkWriter& operator=(const ChunkWriter&) = delete;

    bool Add(const std::uint8_t* data, std::size_t size, std::string& error);
    // Room in the current chunk to read into directly (saves a copy), then how much was put there.
    std::uint8_t* Space(std::size_t& room, std::string& error);
    bool Commit(std::size_t size, std::string& error);
    // Writes the last chunk and waits until everything is written (after Add() calls only).
    bool Finish(std::string& error);

private:
    struct State;
    bool Next(std::string& error);

    const FileHeader& m_header;
    std::unique_ptr<State> m_state;
    int m_slot = -1;
    std::uint8_t* m_buffer = nullptr; // the chunk being filled
    std::size_t m_fill = 0;
    std::string m_setupError;
};

// Reads and checks the header (not yet its MAC, which needs the key).
bool ReadFileHeader(ByteSource& in, FileHeader& header, int& errorCode, std::string& error);

// Derives the keys, verifies the header, then reads the body from `in`, verifying each chunk
// before it is deciphered, and hands the plain bytes to `sink`. True only when the whole file
// verified and its size matched. `name` names the file in error texts.
bool DecryptBody(ByteSource& in, const FileHeader& header, const OpeningKey& key, PlainSink& sink,
                 const std::string& name, std::string& error);
// The chunk stream alone, under keys already derived; `header` gives the code, chunk size and IV.
// `named` asks for a file name in the metadata record (encrypted files) or none (archive streams).
bool DecryptStream(ByteSource& in, const FileHeader& header, const FileKeys& keys, PlainSink& sink,
                   const std::string& name, bool named, std::string& error);

} // namespace corecrypt
