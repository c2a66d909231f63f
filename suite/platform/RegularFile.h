#pragma once

#include <cstdint>
#include <string>

struct stat;

namespace platform {

// A file as it was at one moment: which file it is (device and inode, the same through every
// link, bind mount or spelling of its path) and its size and last changes. Two snapshots of one
// file differ once its bytes were written, since writing moves the change time.
struct FileSnapshot {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t modifiedNanos = 0;
    std::int64_t changed = 0;
    std::int64_t changedNanos = 0;
    bool SameFile(const FileSnapshot& other) const { return device == other.device && inode == other.inode; }
    bool operator==(const FileSnapshot&) const = default;
};

FileSnapshot SnapshotOf(const struct stat& st);
// The file `path` names, links followed; false when there is none.
bool TakeSnapshot(const std::string& path, FileSnapshot& snapshot);

// Opens `path` for reading only when it is a regular file (a link to one is followed). A FIFO,
// a device or a folder is refused at once instead of being waited on: opening a FIFO for
// reading waits for a writer, and reading a device may never end. Returns a close-on-exec,
// blocking descriptor, or -1 with `error`: "File does not exist." for a missing file, "Not a
// regular file." for a FIFO or device, else the system's reason ("Is a directory").
int OpenRegularFile(const std::string& path, std::string& error);

// Reads the whole regular file at `path` (see OpenRegularFile) into `bytes`.
bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& error);
// As above, refusing a file of more than `limit` bytes before reading it (and one that grows past
// it while being read); `tooLarge` tells that refusal from the others.
bool ReadRegularFile(const std::string& path, std::uint64_t limit, std::string& bytes, bool& tooLarge,
                     std::string& error);

} // namespace platform
