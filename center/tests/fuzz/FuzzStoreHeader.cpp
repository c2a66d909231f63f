// The header bytes the key store reads from encrypted files and key files, and the records it
// makes of them.
#include "center/core/CipherNames.h"
#include "center/core/HeaderBytes.h"
#include "center/core/KeyRecords.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    center::StoreHeader header;
    const center::HeaderOutcome outcome = center::ParseStoreHeader(data, size, header);
    if (outcome == center::HeaderOutcome::Ok) {
        if (header.keyFile && header.keyId.size() != center::kKeyIdBytes)
            __builtin_trap();
        if (header.version != 40 && header.version != 41)
            __builtin_trap();
        std::string algorithm, mode;
        center::DescribeCipher(header.code, algorithm, mode);
    }
    // A key file: its ID is the first 16 bytes, its lengths follow from its size.
    KMKeyInfo key;
    key.SetPath(std::string(reinterpret_cast<const char*>(data), size));
    key.SetSize(size);
    if (key.m_nSize64 - key.m_nSize128 != 8u)
        __builtin_trap();
    return 0;
}
