#pragma once

#include <string>

namespace platform {

// The per-user folder that holds the objects shared between the suite's processes:
// $XDG_RUNTIME_DIR/quillmark, or /tmp/quillmark-<uid> without XDG_RUNTIME_DIR. It is created with
// mode 0700 and refused when it is not a real folder, belongs to another user or is open to
// others. Returns false with a readable reason in `error`.
bool GetRuntimeFolder(std::string& path, std::string& error);

// Checks that `path` is a folder (not a link) owned by this user and closed to everybody else.
bool CheckPrivateFolder(const std::string& path, std::string& error);

} // namespace platform
