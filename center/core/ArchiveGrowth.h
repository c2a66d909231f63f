#pragma once

#include <string>

namespace center {

class CKeyManager;

// After files were added to the encrypted file or archive at `path`: reads its new size into its
// record ("Cannot get new file size." when it cannot), and renames a single encrypted file
// (".qmp"), which is an archive now, to the same name ending in "a" (".qma"), its record with it.
// An existing file of that name is never replaced: the file then keeps its name and the user is
// told. Returns the path the archive has now.
std::string SettleGrownArchive(CKeyManager& store, const std::string& path);

} // namespace center
