#include "center/core/RowDeletion.h"

#include "center/core/KeyManager.h"
#include "misckit/ErrorList.h"
#include "platform/Trash.h"
#include "uikit/Ui.h"

#include <sys/stat.h>

namespace center {
namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// "File does not exists" for a file that went since the last scan.
bool ThereOrTold(const std::string& path) {
    if (Exists(path))
        return true;
    uikit::MessageBox("File does not exists:\n" + path, misckit::szAppName, uikit::Buttons::OK,
                      uikit::Icon::Error);
    return false;
}

// To the Trash when there is one, else away for good.
bool RemoveFile(const std::string& path) {
    std::string error;
    const bool removed = platform::MakeNormalFile(path, error) &&
                         (platform::MoveToTrash(path, error) || platform::DeletePermanently(path, error));
    if (!removed)
        uikit::MessageBox("Cannot delete file.", "Error", uikit::Buttons::OK, uikit::Icon::Error);
    return removed;
}

bool Asked(const std::string& question) {
    return uikit::MessageBox(question, misckit::szAppName, uikit::Buttons::YesNo, uikit::Icon::Information) ==
           uikit::Answer::Yes;
}

} // namespace

bool DeleteKeyFileRow(CKeyManager& store, const std::string& path) {
    if (!ThereOrTold(path) || !Asked("Are you sure you want to delete key file?"))
        return false;
    if (uikit::MessageBox("You will not be able to decrypt information\nencrypted with this encryption key.",
                          "WARNING", uikit::Buttons::OKCancel, uikit::Icon::Warning) != uikit::Answer::OK)
        return false;
    if (!RemoveFile(path))
        return false;
    store.RemoveKeyFile(path);
    return true;
}

bool DeleteKeyRow(CKeyManager& store, CenterShared& shared, std::uint8_t kind, std::uint32_t position) {
    if (kind != 1 && kind != 2)
        return false;
    shared.nNavigationKind = kind;
    if (store.DeleteKey(position) == 0)
        return false;
    store.ReloadKeys();
    return true;
}

bool DeleteEncryptedFileRow(CKeyManager& store, const std::string& path) {
    if (!ThereOrTold(path) || !Asked("Are you sure you want to delete file?") || !RemoveFile(path))
        return false;
    store.RemoveEncryptedFile(path);
    return true;
}

int DeleteDescribedFiles(CKeyManager& store, const std::vector<std::string>& paths) {
    if (paths.empty() ||
        uikit::MessageBox("Are you sure you want to delete " + std::to_string(paths.size()) + " file(s)?",
                          misckit::szAppName, uikit::Buttons::YesNo,
                          uikit::Icon::Question) != uikit::Answer::Yes)
        return 0;
    int deleted = 0;
    for (const std::string& path : paths) {
        if (!ThereOrTold(path) || !RemoveFile(path))
            continue;
        store.RemoveEncryptedFile(path);
        ++deleted;
    }
    return deleted;
}

} // namespace center
