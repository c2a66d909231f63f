#include "platform/DirectoryListing.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool FillFromStatx(int dirFd, const char* name, FindData& d, std::string& error) {
    struct statx sx {};
    const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW, mask, &sx) != 0) {
        error = std::strerror(errno);
        return false;
    }
    d.isSymlink = S_ISLNK(sx.stx_mode);
    d.isDirectory = S_ISDIR(sx.stx_mode);
    if (d.isSymlink) {
        struct statx target {};
        if (::statx(dirFd, name, 0, mask, &target) == 0)
            sx = target;
    }
    d.isReadOnly = (sx.stx_mode & S_IWUSR) == 0;
    d.size = static_cast<std::int64_t>(sx.stx_size);
    d.accessTime = sx.stx_atime.tv_sec;
    d.writeTime = sx.stx_mtime.tv_sec;
    d.creationTime = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
    return true;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool ListDirectory(const std::string& folder, std::vector<FindData>& entries, std::string& error) {
    return ListDirectoryMatching(folder, "*", entries, error);
}

bool ListDirectoryMatching(const std::string& folder, std::string_view mask, std::vector<FindData>& entries,
                           std::string& error) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        error = "Cannot list " + folder + ": " + std::strerror(errno);
        return false;
    }
    const int fd = ::dirfd(dir.get());
    while (true) {
        errno = 0;
        const dirent* e = ::readdir(dir.get());
        if (!e) {
            if (errno != 0) {
                error = "Cannot list " + folder + ": " + std::strerror(errno);
                return false;
            }
            break;
        }
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        // A plain file that the mask rules out needs no statx: that call is most of the cost of
        // listing a big tree.
        if (e->d_type == DT_REG && !MatchesMask(e->d_name, mask))
            continue;
        FindData d;
        d.name = e->d_name;
        d.isHidden = d.name[0] == '.';
        std::string ignored;
        if (!FillFromStatx(fd, e->d_name, d, ignored))
            continue; // vanished between readdir and statx
        entries.push_back(std::move(d));
    }
    return true;
}

bool GetFindData(const std::string& path, FindData& data, std::string& error) {
    std::string reason;
    data = FindData{};
    const auto slash = path.find_last_of('/');
    data.name = slash == std::string::npos ? path : path.substr(slash + 1);
    data.isHidden = !data.name.empty() && data.name[0] == '.';
    if (!FillFromStatx(AT_FDCWD, path.c_str(), data, reason)) {
        error = "Cannot read " + path + ": " + reason;
        return false;
    }
    return true;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask == "*.*" || mask == "*")
        return true;
    // Iterative glob with one back-tracking point: linear in practice, never exponential.
    std::size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (m < mask.size() && (mask[m] == '?' || Lower(mask[m]) == Lower(name[n]))) {
            ++m;
            ++n;
        } else if (starM != std::string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

} // namespace platform
