#pragma once

#include "platform/SecretMemory.h"

#include <cstddef>
#include <cstdint>

// The session key: the password or the key file that unattended tasks use, handed between the
// control center, the task library and keeper as one fixed 588-byte record.
struct SESSIONKEY_ {
    std::int32_t nPasswordLength; // byte 0: bytes of szPassword in use, 0..300
    std::uint8_t nKind;           // byte 4: kSessionKeyNone, kSessionKeyPassword or kSessionKeyFile
    std::uint8_t nMode;           // byte 5: the algorithm-mode code the key file was chosen for
    std::uint8_t reserved1[12];   // bytes 6..17: zero
    char szPassword[300];         // byte 18: the password's bytes (UTF-8), not zero-terminated
    std::uint8_t reserved2[10];   // bytes 318..327: zero
    char szKeyFile[260];          // byte 328: the key file's path, zero-terminated
};
static_assert(sizeof(SESSIONKEY_) == 588, "the session key record is 588 bytes");
static_assert(offsetof(SESSIONKEY_, szPassword) == 18);
static_assert(offsetof(SESSIONKEY_, szKeyFile) == 328);

inline constexpr std::uint8_t kSessionKeyNone = 0;
inline constexpr std::uint8_t kSessionKeyPassword = 1;
inline constexpr std::uint8_t kSessionKeyFile = 2;
inline constexpr int kSessionKeyMaxPassword = 300;
inline constexpr int kSessionKeyMaxPath = 259; // bytes, without the final zero

namespace misckit {

// Asks for a password (hidden, typed twice so that a typing error cannot lock files away) and
// stores it in the record. A password already in the record is offered as the first answer.
// 1 when the user confirmed, 0 when cancelled (the record is then wiped).
int GTP(SESSIONKEY_* key);

// Asks for a key file for the algorithm-mode code: an existing ".qmk" file, or a new one that
// the engine creates. Stores the path in the record. 1 when the user confirmed, 0 otherwise.
int GTK(SESSIONKEY_* key, unsigned char mode);

inline void WipeSessionKey(SESSIONKEY_& key) {
    platform::WipeMemory(&key, sizeof key);
}

} // namespace misckit
