#pragma once

// The extraction run shared by the window and the terminal: reads the directory, checks every
// name, then writes the entries (the last record first) into the output folder.
#include "extractor/core/SfxFormat.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace sfx {

// Windows file time (100 ns since 1601-01-01 UTC) and Unix time.
constexpr std::uint64_t kFileTimeOfUnixEpoch = 116444736000000000ull;
timespec FileTimeToTimespec(std::uint64_t fileTime);
std::uint64_t TimespecToFileTime(const timespec& t);

enum class NameCheck { Ok, Climbs, NotAFile };
// Turns a stored name into a path relative to the output folder with `/` between levels.
// Climbs: a `..` level, an absolute name, a drive or a leading `\`. NotAFile: nothing left after
// the last separator, or a NUL byte in the name.
NameCheck CheckEntryName(const std::string& stored, std::string& relative);

struct ExtractHooks {
    // Before entry `done` of `total` (entries are announced last record first).
    std::function<void(const SfxEntry& entry, const std::string& relative, std::size_t done,
                       std::size_t total)>
        announce;
    // Asked before each entry; false ends the run with "Operation canceled.".
    std::function<bool()> keepGoing;
    // Called after every chunk, so that a window can handle its pending input.
    std::function<void()> idle;
};

// The program's own file: opened through `openPath` (/proc/self/exe), named in messages by
// `displayPath`.
struct OwnFile {
    std::string openPath;
    std::string displayPath;
};

// Throws EException with the text to show. An entry that cannot be completed (a damaged chunk, a
// full disk, a signal) leaves nothing behind, and a file it would replace stays untouched until
// the new one is complete. A folder of the archive that is a symbolic link in the output folder
// ends the run before anything is written through it. New files are the owner's only; a replaced
// file keeps its permissions.
void ExtractAll(const OwnFile& own, const std::string& password, const std::string& folder,
                const ExtractHooks& hooks);

} // namespace sfx
