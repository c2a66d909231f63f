#include "center/core/ArchiveGrowth.h"

#include "center/core/KeyManager.h"
#include "uikit/Ui.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

namespace center {
namespace {

bool IsSingleEncryptedFile(const std::string& path) {
    return path.size() > 4 && ::strcasecmp(path.c_str() + path.size() - 4, ".qmp") == 0;
}

// Renames without replacing what is there; errno tells why not.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: link and unlink keep the same promise.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    return ::unlink(from.c_str()) == 0 || (::unlink(to.c_str()), false);
}

} // namespace

std::string SettleGrownArchive(CKeyManager& store, const std::string& path) {
    if (!store.UpdateFileSize(path))
        uikit::MessageBox("Cannot get new file size.", "Error", uikit::Buttons::OK, uikit::Icon::Error);
    if (!IsSingleEncryptedFile(path))
        return path;
    std::string archive = path;
    archive.back() = 'a';
    if (!RenameNoReplace(path, archive)) {
        uikit::MessageBox("Cannot rename " + path + " to " + archive + ": " + std::strerror(errno), "Error",
                          uikit::Buttons::OK, uikit::Icon::Error);
        return path;
    }
    if (!store.MoveEncryptedFile(path, archive)) {
        // Not listed yet (or listed under both names): read it as a new file.
        store.RemoveEncryptedFile(path);
        if (!store.FindEncryptedFile(archive))
            store.AddEncryptedFile(archive);
    }
    return archive;
}

} // namespace center
