#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "corecrypt/Primitives.h"

// Creates a new ".qmk" key file with a random key and ID, mode 0600. Non-zero on success. An
// existing file is never replaced: losing a key file loses every file encrypted with it.
int CreateKeyFile(const char* path, char* errorText, int errorTextSize);

namespace corecrypt {

// A key file: bytes 0-15 the key ID, 16-31 an initialisation block, then the key material. The
// key ID holds no zero byte, since the key store reads it as text.
constexpr std::size_t kKeyIdSize = 16;
constexpr std::size_t kKeyInitSize = 16;
constexpr std::size_t kKeyMaterialSize = 64;
constexpr std::size_t kKeyFileSize = kKeyIdSize + kKeyInitSize + kKeyMaterialSize;
// Key files shorter than 16 bytes of material or longer than this are refused.
constexpr std::size_t kMaxKeyFileSize = 4096;

// Reads a key file: its ID and the secret (initialisation block and material) that keys derive
// from. False with a reason when the file cannot be read or is no key file.
bool ReadKeyFile(const std::string& path, std::uint8_t id[kKeyIdSize], SecureBytes& secret,
                 std::string& error);

} // namespace corecrypt
