#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the main window remembers between runs: column widths, the output-folder history and its
// placement. All values live under the control center's settings key, except the history, which
// the suite's other windows share under the program settings key.
namespace center {

struct ColumnSpec {
    const char* title;
    int width;    // the default
    int fallback; // used when a stored width is 0
    bool right;   // right-aligned
};

// One byte per column under `valueName`: the defaults, overwritten by what is stored; a stored 0
// gives the column's fallback width.
std::vector<int> ReadColumnWidths(const std::string& valueName, const std::vector<ColumnSpec>& columns);
// Stores one byte per column, each width capped at 250.
bool SaveColumnWidths(const std::string& valueName, const std::vector<int>& widths);

// The output folders of the decrypt commands, newest choice wherever the user put it: read from
// "Archive path1" on until a value is missing or shorter than 2 bytes, repeats dropped.
inline constexpr std::size_t kMaxOutputFolders = 10;
std::vector<std::string> ReadOutputFolders();
// Writes the list back, at most ten, skipping a folder that stands earlier in the list.
bool SaveOutputFolders(const std::vector<std::string>& folders);

// The window's placement: flags, show state and the normal position's edges, plus the
// splitter's first column width ("x0") and first row height ("y0").
struct WindowPlacement {
    std::uint32_t flags = 0;
    std::uint32_t showState = 1; // 1 normal, 2 minimised, 3 maximised
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::int32_t x0 = 0, y0 = 0;
};
// False when no placement is stored. The position is pulled back onto a screen of the given size
// (minus one icon), and a minimised window comes back normal.
bool ReadPlacement(WindowPlacement& placement, int screenWidth, int screenHeight, int iconWidth,
                   int iconHeight);
bool SavePlacement(const WindowPlacement& placement);

} // namespace center
