#pragma once

#include <string>
#include <sys/types.h>

namespace platform {

// The user's base folders after the XDG rules: the variable when it holds an absolute path,
// otherwise the usual folder below $HOME. No trailing slash.
std::string ConfigHome(); // $XDG_CONFIG_HOME or ~/.config
std::string DataHome();   // $XDG_DATA_HOME or ~/.local/share
std::string StateHome();  // $XDG_STATE_HOME or ~/.local/state
std::string CacheHome();  // $XDG_CACHE_HOME or ~/.cache
std::string HomeFolder(); // $HOME, or the password database's entry

// Creates a folder and any missing parents; the folders it creates get `mode`.
bool MakeFolders(const std::string& path, mode_t mode, std::string& error);

} // namespace platform
