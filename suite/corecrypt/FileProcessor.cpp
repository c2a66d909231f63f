#include "corecrypt/FileProcessor.h"

#include "platform/DirectoryListing.h"

#include <algorithm>
#include <sys/stat.h>

namespace {

bool LinksToFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

int CFileProcessor::AddFile(const std::string& folder, const std::string& mask, int topOnly,
                            CALLBACKSTRUCT_*) {
    const std::size_t before = m_files.size();
    std::vector<std::string> pending{folder};
    while (!pending.empty()) {
        std::string dir = pending.back();
        pending.pop_back();
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        std::vector<platform::FindData> entries;
        std::string error;
        if (!platform::ListDirectory(dir, entries, error))
            continue; // an unreadable folder contributes nothing
        // Names in a stable order, so that repeated walks list the same files alike.
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        const std::string prefix = dir == "/" ? "/" : dir + "/";
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            if (it->isDirectory && !topOnly)
                pending.push_back(prefix + it->name);
        for (const auto& e : entries) {
            if (!mask.empty() && !platform::MatchesMask(e.name, mask))
                continue;
            if (e.isSymlink && LinksToFolder(prefix + e.name))
                m_skipped.push_back(prefix + e.name);
            else if (!e.isDirectory)
                m_files.push_back(prefix + e.name);
        }
    }
    return static_cast<int>(m_files.size() - before);
}
