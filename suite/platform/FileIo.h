#pragma once

// The small loops every reader and writer of files needs, in one place: whole writes and reads
// that survive signals and short transfers, and making a folder's entries reach the disk. Needs
// only the C library, so that programs which link nothing of the suite can compile it in.
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace platform {

// Writes all `size` bytes, retrying after EINTR and short writes. False with errno set.
bool WriteAll(int fd, const void* data, std::size_t size);
// Reads until `size` bytes arrived or the file ended: the count read, or -1 with errno set.
ssize_t ReadAll(int fd, void* buffer, std::size_t size);
// One read that is retried after EINTR: the count (0 at the end), or -1 with errno set.
ssize_t ReadSome(int fd, void* buffer, std::size_t size);
// Reads exactly `size` bytes at `offset`; false on an error or when the file ends first.
bool ReadAllAt(int fd, void* buffer, std::size_t size, off_t offset);

// The first line of a password file (without its line end): at most 4096 bytes are read and the
// file must be a regular file or a pipe. False with a readable reason, also for an empty line.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

// The bytes this process has read so far through read calls of any kind (rchar of
// /proc/self/io), for progress shown while one long call runs; 0 when unknown.
std::uint64_t BytesReadByProcess();
// Makes the names in an open folder (a rename, a new link) reach the disk.
bool SyncFolder(int folderFd);
bool SyncFolder(const std::string& folder);

// The folder part and the name part of a path: "/a/b" gives "/a" and "b", "b" gives "." and "b",
// "/b" gives "/" and "b".
std::string FolderOfPath(const std::string& path);
std::string NameOfPath(const std::string& path);

} // namespace platform
