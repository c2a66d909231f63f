#include "misckit/FileType.h"

#include <cctype>

namespace misckit {

int GetFileType(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // ".qmk" alone is a hidden file's name, not a key file named with the extension.
    if (name.size() <= 4 || name[name.size() - 4] != '.')
        return kFileTypeOther;
    std::string ext = name.substr(name.size() - 3);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "qmp")
        return kFileTypeEncrypted;
    if (ext == "qma")
        return kFileTypeArchive;
    if (ext == "qmk")
        return kFileTypeKey;
    if (ext == "qms")
        return kFileTypeSchedule;
    return kFileTypeOther;
}

} // namespace misckit
