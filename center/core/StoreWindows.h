#pragma once

#include <string>

// The two windows a store scan may have to open: the locations list and the key-folder choice.
// The main window plugs in the real windows; without them (headless programs, tests) both answer
// Cancel.
namespace center {

struct KeyFolderChoice {
    bool confirmed = false; // OK in the window
    std::string folder;     // the chosen folder on OK
};

class IStoreWindows {
public:
    virtual ~IStoreWindows() = default;
    // Shows the locations window; true when the user confirmed it (the list was written).
    virtual bool EditLocations() = 0;
    // Shows the key-folder window.
    virtual KeyFolderChoice ChooseKeyFolder() = 0;
};

// The answers without windows: Cancel to both. Cancelling the key-folder window stores the
// default key folder when none is stored yet, as the window's own Cancel does.
class HeadlessStoreWindows : public IStoreWindows {
public:
    bool EditLocations() override { return false; }
    KeyFolderChoice ChooseKeyFolder() override;
};

// The default key folder ($XDG_DATA_HOME/Quillmark/keys/), stored as the key folder when no
// key folder is stored (or the stored one is empty). Returns the folder now stored.
std::string StoreDefaultKeyFolderIfUnset();

} // namespace center
