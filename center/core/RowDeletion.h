#pragma once

// The list's delete command for the rows of the key store, and the description pane's for the
// encrypted files of a key file. Each asks first, through uikit, and tells of failures there.
// Key files and encrypted files go to the Trash where there is one (a key file may be the only
// way back to its files), else they are deleted; the store's records follow.

#include <cstdint>
#include <string>
#include <vector>

namespace center {

class CKeyManager;
struct CenterShared;

// A key file (navigation kind 0). True when it was deleted and its record removed.
bool DeleteKeyFileRow(CKeyManager& store, const std::string& path);

// A public (kind 1) or private (kind 2) key at its ring position, with its pair when both rings
// hold it. True when the rings changed and were read again.
bool DeleteKeyRow(CKeyManager& store, CenterShared& shared, std::uint8_t kind, std::uint32_t position);

// An encrypted file or archive (kinds 3 and 4). True when it was deleted and its record removed.
bool DeleteEncryptedFileRow(CKeyManager& store, const std::string& path);

// The encrypted files that the description pane lists for a key file: one question for all, then
// each file in turn. The number deleted.
int DeleteDescribedFiles(CKeyManager& store, const std::vector<std::string>& paths);

} // namespace center
