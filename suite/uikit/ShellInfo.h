#pragma once

#include <cstdint>
#include <string>

// What the desktop tells about files and folders: the program folder, type names, the texts of
// file times and sizes, display names of mount points and the suite's special folders. None of
// these needs a window.
namespace uikit {

// The folder of the running program, ending in "/", so that a sibling program's name can be
// appended ("keeper", "messenger").
std::string GetProgramFolder();

// The description of a file's type, at most 255 bytes, from the MIME database by the file's name
// (the file need not exist): "PNG image", "plain text document". The suite's own files get
// their own names ("Quillmark encrypted file" for ".qmp" and so on).
std::string GetFileTypeName(const std::string& path);

// A file time (seconds since 1970, UTC) as local time. Style 0: "2026-12-08"; style 1:
// "2026-12-08 14:05:09"; style 2: "2026-12-08 14:05". Never longer than 30 bytes; time 0 (no
// time) gives the empty text.
std::string FileTimeToText(std::int64_t unixTime, int style);
inline constexpr std::size_t kFileTimeTextMax = 30;

// A size for people: "0 bytes", "999 bytes", "1.00 KB", "12.3 MB", "456 GB" (1 KB = 1024 bytes,
// three significant digits).
std::string SizeToText(std::uint64_t size);

// The name under which a mount point is shown in a tree in place of a drive: its volume label
// when it has one, "File System" for the root folder, otherwise the mount point's last folder
// name.
std::string GetDriveDisplayName(const std::string& mountPoint);

// The suite's special folders, created with private permissions (0700) on first use and given
// with a trailing "/". kSpecialFolderKeys (5) is the default folder of the user's key files,
// $XDG_DATA_HOME/Quillmark/keys/; kSpecialFolderData is $XDG_DATA_HOME/Quillmark/. Other numbers
// give the empty text.
inline constexpr int kSpecialFolderData = 0x1a;
inline constexpr int kSpecialFolderKeys = 5;
std::string GetSpecialFolder(int folder);

} // namespace uikit
