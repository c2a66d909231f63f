#pragma once

#include <cstdint>
#include <string>

namespace platform {

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
