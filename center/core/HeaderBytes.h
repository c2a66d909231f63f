#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The few header bytes the key store reads from encrypted files and key files. Pure functions
// over bytes already read, so the scan reads each file once and fuzzing needs no files.
namespace center {

// How many bytes of an encrypted file's header the store needs at most (version 41).
constexpr std::size_t kStoreHeaderBytes = 43;
constexpr std::size_t kKeyIdBytes = 16;

// The version byte as the store takes it: 20 or less reads as 30.
std::uint8_t StoreVersion(std::uint8_t byte);

enum class HeaderOutcome {
    Ok,
    ReadFailure,  // the file ends before the code or the flags byte
    WrongVersion, // the version is neither 40 nor 41
    KeyIdMissing, // encrypted with a key file, but the file ends inside the key ID
};

struct StoreHeader {
    std::uint8_t version = 0; // as StoreVersion gives it
    std::uint8_t code = 0;    // the algorithm-mode code
    bool keyFile = false;     // flags bit 0
    std::string keyId;        // 16 raw bytes when keyFile
};

// Reads the header the way the store does: the code byte, then the flags byte (both at offsets
// that depend on the version), then the key ID when the flags say a key file was used. `size`
// is the number of bytes available from offset 0.
HeaderOutcome ParseStoreHeader(const std::uint8_t* data, std::size_t size, StoreHeader& header);

// The offsets of the flags, the code and the key ID for a version (40 or 41).
std::size_t FlagsOffset(std::uint8_t version);
std::size_t CodeOffset(std::uint8_t version);
std::size_t KeyIdOffset(std::uint8_t version);

} // namespace center
