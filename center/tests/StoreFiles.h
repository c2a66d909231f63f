#pragma once

// The files of a generated key store: key files and encrypted-file headers with the bytes the
// store reads, and the settings (locations, key folder) of this test process's own home.

#include "TestSupport.h"
#include "misckit/Registry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace storetest {

// A key ID of 16 raw bytes from a short text, padded with `fill`.
inline std::string Id(const std::string& text, char fill = 'x') {
    std::string id = text;
    id.resize(16, fill);
    return id;
}

// An encrypted file's header: version 41 (or 40) with the flags, the code and the key ID at that
// version's offsets, padded to 96 bytes (or cut to `size`).
inline std::string Header(std::uint8_t version, bool keyFile, std::uint8_t code,
                          const std::string& keyId = {}, std::size_t size = 96) {
    std::string bytes(96, '\0');
    bytes[0] = static_cast<char>(version);
    const bool v41 = version == 41;
    bytes[v41 ? 9 : 5] = keyFile ? 1 : 0;
    bytes[v41 ? 10 : 6] = static_cast<char>(code);
    if (keyFile)
        bytes.replace(v41 ? 27 : 23, 16, keyId);
    bytes.resize(size);
    return bytes;
}

inline void SetLocations(const std::vector<std::string>& locations) {
    const CQMRegistry registry(RegRoot::CurrentUser, encreg::szRegKeyman);
    for (std::size_t i = 0; i < 10; ++i)
        registry.WriteString("Location " + std::to_string(i + 1), i < locations.size() ? locations[i] : "");
}

inline void SetKeyFolder(const std::string& folder) {
    CQMRegistry().WriteString(encreg::szKeyFolder, folder);
}

inline void KeyFile(const std::string& path, const std::string& id, std::size_t size = 40) {
    std::string bytes = id;
    bytes.resize(size, 'k');
    qmtest::WriteFile(path, bytes);
}

} // namespace storetest
