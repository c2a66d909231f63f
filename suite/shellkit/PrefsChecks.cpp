#include "shellkit/PrefsChecks.h"

#include "corecrypt/Primitives.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace shellkit {
namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    const std::string p(prefix);
    if (text.size() < p.size())
        return false;
    for (std::size_t i = 0; i < p.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != p[i])
            return false;
    return true;
}

bool ValidHost(const std::string& host) {
    if (host.empty() || host.size() > 253)
        return false;
    // A bracketed IPv6 address.
    if (host.front() == '[')
        return host.size() > 2 && host.back() == ']' &&
               std::all_of(host.begin() + 1, host.end() - 1,
                           [](unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; });
    if (host.front() == '.' || host.back() == '.' || host.front() == '-')
        return false;
    return std::all_of(host.begin(), host.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '-'; });
}

std::vector<std::string> SplitExtensions(const std::string& list) {
    std::vector<std::string> out;
    std::string item;
    auto flush = [&] {
        while (!item.empty() && item.front() == '*')
            item.erase(item.begin());
        while (!item.empty() && item.front() == '.')
            item.erase(item.begin());
        if (!item.empty())
            out.push_back(item);
        item.clear();
    };
    for (char c : list) {
        if (c == ';' || c == ',' || c == ' ' || c == '\t')
            flush();
        else
            item += c;
    }
    flush();
    return out;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

bool CheckKeyServerAddress(const std::string& address, bool allowPlainHttp, std::string& error) {
    if (address.empty())
        return true;
    std::string rest;
    if (StartsWith(address, "https://")) {
        rest = address.substr(8);
    } else if (StartsWith(address, "http://")) {
        if (!allowPlainHttp) {
            error = "The key server address uses plain HTTP, which anyone on the way can read and change.\n"
                    "Use an \"https://\" address, or tick \"Allow plain HTTP\" for a server on this machine "
                    "or a closed network.";
            return false;
        }
        rest = address.substr(7);
    } else {
        error = "The key server address must begin with \"https://\", as in https://keys.example.org.";
        return false;
    }
    const std::string authority = rest.substr(0, rest.find('/'));
    if (authority.find('@') != std::string::npos || authority.find_first_of("?#") != std::string::npos) {
        error = "The key server address must not hold a user name, a query or a fragment.";
        return false;
    }
    std::string host = authority;
    const auto bracket = authority.rfind(']');
    const auto colon = authority.rfind(':');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        host = authority.substr(0, colon);
        const std::string port = authority.substr(colon + 1);
        const bool digits =
            !port.empty() && port.size() <= 5 &&
            std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c); });
        if (!digits || std::stoi(port) < 1 || std::stoi(port) > 65535) {
            error = "The key server's port must be a number from 1 to 65535.";
            return false;
        }
    }
    if (!ValidHost(host)) {
        error = "The key server address does not name a valid host.";
        return false;
    }
    if (address.find_first_of(" \t\r\n") != std::string::npos) {
        error = "The key server address must not contain blanks.";
        return false;
    }
    return true;
}

bool CheckExtensionList(const std::string& list, std::string& error) {
    for (const auto& ext : SplitExtensions(list)) {
        const bool ok = ext.size() <= 16 && std::all_of(ext.begin(), ext.end(), [](unsigned char c) {
                            return std::isalnum(c) || c == '_' || c == '-';
                        });
        if (!ok) {
            error =
                "\"" + ext + "\" is not a file extension. Separate extensions with \";\", as in zip;jpg;png.";
            return false;
        }
    }
    return true;
}

std::string NormalizeExtensionList(const std::string& list) {
    std::string out;
    std::set<std::string> seen;
    for (auto ext : SplitExtensions(list)) {
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (seen.insert(ext).second)
            out += (out.empty() ? "" : ";") + ext;
    }
    return out;
}

bool CheckFolderCanBeCreated(const std::string& folder, const std::string& what, std::string& error) {
    if (folder.empty() || folder.front() != '/') {
        error = what + ": please give a full path, beginning with \"/\".";
        return false;
    }
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (IsFolder(path))
        return true;
    if (Exists(path)) {
        error = what + ": \"" + path + "\" exists and is not a folder.";
        return false;
    }
    // The nearest ancestor that exists must be a folder we may create entries in.
    std::string parent = path;
    while (true) {
        const auto slash = parent.rfind('/');
        parent = slash == 0 ? "/" : parent.substr(0, slash);
        if (Exists(parent))
            break;
        if (parent == "/")
            break;
    }
    if (!IsFolder(parent)) {
        error = what + ": \"" + parent + "\" is not a folder, so \"" + path + "\" cannot be created.";
        return false;
    }
    if (::access(parent.c_str(), W_OK | X_OK) != 0) {
        error = what + ": you may not create folders in \"" + parent + "\", so \"" + path +
                "\" cannot be created.";
        return false;
    }
    return true;
}

bool CheckFileCanBeCreated(const std::string& path, const std::string& what, std::string& error) {
    if (path.empty() || path.front() != '/') {
        error = what + ": please give a full path, beginning with \"/\".";
        return false;
    }
    if (path.back() == '/' || IsFolder(path)) {
        error = what + ": \"" + path + "\" is a folder; please name a file.";
        return false;
    }
    const auto slash = path.rfind('/');
    return CheckFolderCanBeCreated(slash == 0 ? "/" : path.substr(0, slash), what, error);
}

std::string AlgorithmModeName(int code) {
    if (code < 1 || code > corecrypt::kAlgorithmCount * corecrypt::kModeCount)
        return {};
    const int algorithm = (code - 1) / corecrypt::kModeCount;
    const int mode = (code - 1) % corecrypt::kModeCount;
    return std::string(corecrypt::AlgorithmName(algorithm)) + ", " + corecrypt::ModeName(mode) + " mode";
}

bool IsDiscouragedCode(int code) {
    if (code < 1 || code > corecrypt::kAlgorithmCount * corecrypt::kModeCount)
        return false;
    const int algorithm = (code - 1) / corecrypt::kModeCount;
    const int mode = (code - 1) % corecrypt::kModeCount;
    return mode == static_cast<int>(corecrypt::Mode::ECB) ||
           algorithm == corecrypt::FindAlgorithm("Triple-DES");
}

std::string DiscouragedCodeNote(int code) {
    std::string note;
    const int algorithm = (code - 1) / corecrypt::kModeCount;
    const int mode = (code - 1) % corecrypt::kModeCount;
    if (mode == static_cast<int>(corecrypt::Mode::ECB))
        note += "ECB mode enciphers equal blocks of a file into equal blocks, so the encrypted file still "
                "shows where the original repeats itself.\n\n";
    if (algorithm == corecrypt::FindAlgorithm("Triple-DES"))
        note += "Triple-DES works on 64-bit blocks and is slow; with large files its short blocks start to "
                "repeat and leak what the file holds.\n\n";
    if (note.empty())
        return note;
    return note + "They remain for opening old files. For new files, AES in CBC mode is recommended.";
}

const char* WipingLimitsText() {
    return "Wiping overwrites a file's bytes in place several times, then removes the file. On a classic "
           "hard disk with a file system that rewrites blocks in place (ext4, XFS) this destroys the "
           "data.\n\n"
           "It cannot promise that on SSDs, USB sticks and memory cards, whose controllers write new data to "
           "fresh cells and keep the old ones; on copy-on-write file systems (Btrfs, ZFS, reflink copies) "
           "and snapshots, which keep the old blocks; or for copies kept elsewhere (backups, synced folders, "
           "the Trash, swap, editors' temporary files).\n\n"
           "The surest protection is to encrypt files where they are created and to keep the disk itself "
           "encrypted.";
}

std::string PasswordStrengthHint(const std::string& password) {
    if (password.empty())
        return {};
    if (password.size() < 8)
        return "Too short";
    int kinds = 0;
    kinds += std::any_of(password.begin(), password.end(), [](unsigned char c) { return std::islower(c); });
    kinds += std::any_of(password.begin(), password.end(), [](unsigned char c) { return std::isupper(c); });
    kinds += std::any_of(password.begin(), password.end(), [](unsigned char c) { return std::isdigit(c); });
    kinds += std::any_of(password.begin(), password.end(), [](unsigned char c) { return !std::isalnum(c); });
    std::set<char> distinct(password.begin(), password.end());
    if (distinct.size() < 4)
        return "Weak";
    if (password.size() >= 16 || (password.size() >= 12 && kinds >= 3))
        return "Strong";
    if (password.size() >= 10 || kinds >= 3)
        return "Fair";
    return "Weak";
}

} // namespace shellkit
