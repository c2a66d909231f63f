#include "corecrypt/ArchiveSources.h"

#include "corecrypt/Paths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <vector>

namespace corecrypt {
namespace archive {
namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The regular files of `folder` (and below, with `recurse`). A link to a file stands for that
// file; a link to a folder is never followed, so that no loop of links makes the walk endless.
// What is passed over (links to folders, devices, pipes, sockets) goes to `skipped`.
bool CollectFolder(const std::string& folder, const std::string& prefix, bool recurse,
                   std::vector<Source>& out, std::vector<std::string>* skipped, std::string& error) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        error = "Cannot open the folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> names;
    while (dirent* d = ::readdir(dir)) {
        const std::string n = d->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        const std::string full = folder + "/" + n;
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0)
            continue;
        struct stat target = st;
        if (S_ISLNK(st.st_mode) && ::stat(full.c_str(), &target) != 0) {
            if (skipped)
                skipped->push_back(full);
            continue;
        }
        if (S_ISREG(target.st_mode)) {
            out.push_back({full, prefix + n});
        } else if (S_ISDIR(st.st_mode)) {
            if (recurse && !CollectFolder(full, prefix + n + "/", true, out, skipped, error))
                return false;
        } else if (skipped) {
            skipped->push_back(full);
        }
    }
    return true;
}

} // namespace

std::set<std::string> ParseExtensions(const std::string& text) {
    std::set<std::string> out;
    std::string word;
    auto flush = [&] {
        std::size_t start = word.find_first_not_of("*.");
        if (start != std::string::npos)
            out.insert(Lower(word.substr(start)));
        word.clear();
    };
    for (char c : text) {
        if (c == ';' || c == ',' || c == ' ' || c == '\t')
            flush();
        else
            word.push_back(c);
    }
    flush();
    return out;
}

bool ShouldCompress(const std::string& path, bool compress, const std::set<std::string>& exceptions) {
    if (!compress)
        return false;
    const std::string base = BaseName(path);
    const auto dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 || !exceptions.count(Lower(base.substr(dot + 1)));
}

bool SameFile(const std::string& a, const struct stat& b) {
    struct stat st {};
    return ::stat(a.c_str(), &st) == 0 && st.st_dev == b.st_dev && st.st_ino == b.st_ino;
}

} // namespace archive

bool CollectArchiveSources(const std::vector<std::string>& sources, bool recurse,
                           std::vector<ArchiveSource>& out, std::string& error,
                           std::vector<std::string>* skipped) {
    for (std::string s : sources) {
        while (s.size() > 1 && s.back() == '/')
            s.pop_back();
        struct stat st {};
        if (::stat(s.c_str(), &st) != 0) {
            error = "Cannot find " + s + ".";
            return false;
        }
        struct stat link {};
        if (S_ISDIR(st.st_mode) && ::lstat(s.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            if (skipped)
                skipped->push_back(s);
            continue;
        }
        // "/./" marks where the entry name begins; otherwise it is the last part of the path.
        const auto anchor = s.find("/./");
        std::string name = anchor == std::string::npos ? BaseName(s) : s.substr(anchor + 3);
        if (S_ISDIR(st.st_mode) && (name == "." || name == ".." || name == "/"))
            name.clear();
        if ((S_ISREG(st.st_mode) || !name.empty()) && !ValidEntryPath(name)) {
            error = "Cannot add " + s + ": its name in the archive would be \"" + name + "\".";
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!archive::CollectFolder(s, name.empty() ? "" : name + "/", recurse, out, skipped, error))
                return false;
        } else if (S_ISREG(st.st_mode)) {
            out.push_back({s, name});
        } else {
            error = s + " is not a regular file.";
            return false;
        }
    }
    return true;
}

} // namespace corecrypt
