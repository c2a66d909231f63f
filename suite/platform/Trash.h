#pragma once

#include <string>

namespace platform {

// Moves a file or folder into the user's freedesktop.org Trash, from where it can be restored.
// A symbolic link is trashed as a link; what it points to stays.
bool MoveToTrash(const std::string& path, std::string& error);
// Removes a file (or a link, never its target) at once, without the Trash.
bool DeletePermanently(const std::string& path, std::string& error);
// Makes a file an ordinary one before it is deleted: gives the owner write permission. A link is
// left as it is (its target is not ours to change).
bool MakeNormalFile(const std::string& path, std::string& error);

} // namespace platform
