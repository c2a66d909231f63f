#pragma once

#include <string>

namespace misckit {

// The suite's file kinds, told by the name's extension (without regard to case).
enum FileType : int {
    kFileTypeOther = 0,
    kFileTypeEncrypted = 1, // ".qmp", an encrypted file
    kFileTypeArchive = 2,   // ".qma", an encrypted archive
    kFileTypeKey = 3,       // ".qmk", a key file
    kFileTypeSchedule = 4,  // ".qms", a task list or the stored schedule
};

int GetFileType(const std::string& path);

} // namespace misckit
