#include "center/core/WindowSettings.h"

#include "misckit/Registry.h"

#include <algorithm>

namespace center {

namespace {

CQMRegistry Keyman() {
    return CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman);
}

constexpr std::size_t kWidthBytes = 20;
constexpr int kMaxStoredWidth = 250;

const char* const kPlacementNames[] = {"flags", "showCmd", "left", "top", "right", "bottom", "x0", "y0"};

} // namespace

std::vector<int> ReadColumnWidths(const std::string& valueName, const std::vector<ColumnSpec>& columns) {
    std::string bytes(kWidthBytes, static_cast<char>(50));
    for (std::size_t i = 0; i < columns.size() && i < kWidthBytes; ++i)
        bytes[i] = static_cast<char>(std::clamp(columns[i].width, 0, 255));
    std::string stored;
    if (Keyman().ReadBinaryEx(valueName, stored))
        bytes.replace(0, std::min(stored.size(), kWidthBytes), stored.substr(0, kWidthBytes));
    std::vector<int> widths;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int width = i < kWidthBytes ? static_cast<unsigned char>(bytes[i]) : 50;
        widths.push_back(width == 0 ? columns[i].fallback : width);
    }
    return widths;
}

bool SaveColumnWidths(const std::string& valueName, const std::vector<int>& widths) {
    std::string bytes;
    for (int width : widths)
        bytes.push_back(static_cast<char>(std::clamp(width, 0, kMaxStoredWidth)));
    return Keyman().WriteBinary(valueName, bytes) != 0;
}

std::vector<std::string> ReadOutputFolders() {
    const CQMRegistry reg;
    std::vector<std::string> folders;
    for (std::size_t i = 1; i <= kMaxOutputFolders; ++i) {
        std::string value;
        if (!reg.ReadStringEx("Archive path" + std::to_string(i), value) || value.size() < 2)
            break;
        if (std::find(folders.begin(), folders.end(), value) == folders.end())
            folders.push_back(value);
    }
    return folders;
}

bool SaveOutputFolders(const std::vector<std::string>& folders) {
    const CQMRegistry reg;
    bool ok = true;
    std::size_t written = 0;
    for (std::size_t i = 0; i < folders.size() && written < kMaxOutputFolders; ++i) {
        if (std::find(folders.begin(), folders.begin() + static_cast<std::ptrdiff_t>(i), folders[i]) !=
            folders.begin() + static_cast<std::ptrdiff_t>(i))
            continue;
        ok = reg.WriteString("Archive path" + std::to_string(++written), folders[i]) && ok;
    }
    // A shorter list than last time must not bring back the older folders behind it.
    for (std::size_t i = written + 1; i <= kMaxOutputFolders; ++i)
        reg.DeleteValue("Archive path" + std::to_string(i));
    return ok;
}

bool ReadPlacement(WindowPlacement& p, int screenWidth, int screenHeight, int iconWidth, int iconHeight) {
    const CQMRegistry reg = Keyman();
    std::uint32_t values[8] = {};
    for (int i = 0; i < 6; ++i)
        if (!reg.ReadDWORDEx(kPlacementNames[i], values[i]))
            return false;
    for (int i = 6; i < 8; ++i)
        reg.ReadDWORDEx(kPlacementNames[i], values[i]);
    p.flags = values[0];
    p.showState = values[1] == 2 ? 1 : values[1];
    p.left = static_cast<std::int32_t>(values[2]);
    p.top = static_cast<std::int32_t>(values[3]);
    p.right = static_cast<std::int32_t>(values[4]);
    p.bottom = static_cast<std::int32_t>(values[5]);
    p.x0 = static_cast<std::int32_t>(values[6]);
    p.y0 = static_cast<std::int32_t>(values[7]);
    const int maxLeft = screenWidth - iconWidth;
    const int maxTop = screenHeight - iconHeight;
    if (p.left >= maxLeft) {
        p.right -= p.left - maxLeft;
        p.left = maxLeft;
    }
    if (p.top >= maxTop) {
        p.bottom -= p.top - maxTop;
        p.top = maxTop;
    }
    return true;
}

bool SavePlacement(const WindowPlacement& p) {
    const CQMRegistry reg = Keyman();
    const std::uint32_t values[8] = {p.flags,
                                     p.showState,
                                     static_cast<std::uint32_t>(p.left),
                                     static_cast<std::uint32_t>(p.top),
                                     static_cast<std::uint32_t>(p.right),
                                     static_cast<std::uint32_t>(p.bottom),
                                     static_cast<std::uint32_t>(p.x0),
                                     static_cast<std::uint32_t>(p.y0)};
    bool ok = true;
    for (int i = 0; i < 8; ++i)
        ok = reg.WriteDWORD(kPlacementNames[i], values[i]) && ok;
    return ok;
}

} // namespace center
