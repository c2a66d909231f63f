#include "center/core/StoreWindows.h"

#include "misckit/Registry.h"
#include "uikit/ShellInfo.h"

namespace center {

std::string StoreDefaultKeyFolderIfUnset() {
    std::string stored;
    CQMRegistry registry;
    if (registry.ValueExists(encreg::szKeyFolder) && registry.ReadStringEx(encreg::szKeyFolder, stored) &&
        !stored.empty())
        return stored;
    const std::string folder = uikit::GetSpecialFolder(uikit::kSpecialFolderKeys);
    registry.WriteString(encreg::szKeyFolder, folder);
    return folder;
}

KeyFolderChoice HeadlessStoreWindows::ChooseKeyFolder() {
    StoreDefaultKeyFolderIfUnset();
    return {};
}

} // namespace center
