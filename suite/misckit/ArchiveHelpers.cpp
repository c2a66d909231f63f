#include "misckit/ArchiveHelpers.h"

#include "corecrypt/Archive.h"
#include "corecrypt/Paths.h"
#include "corecrypt/QMException.h"
#include "misckit/ErrorList.h"
#include "misckit/Registry.h"
#include "uikit/Ui.h"

#include <sys/stat.h>
#include <unordered_map>

namespace misckit {

int PrepareArchiveUpdate(const std::string& archive, std::vector<std::string>& paths,
                         const std::string& keyOrPassword, int isKeyFile, std::string* error) {
    if (!corecrypt::PathExists(archive))
        return 1;
    std::string reason;
    std::vector<corecrypt::ArchiveEntry> entries;
    try {
        if (!corecrypt::ListArchive(archive, keyOrPassword, isKeyFile != 0, entries, reason)) {
            if (error)
                *error = reason;
            return 0;
        }
    } catch (const CQMException& e) {
        if (error)
            *error = e.GetReportText();
        return 0;
    }
    std::vector<corecrypt::ArchiveSource> files;
    if (!corecrypt::CollectArchiveSources(paths, encreg::qmreg.GetRecDirs() != 0, files, reason)) {
        if (error)
            *error = reason;
        return 0;
    }
    std::unordered_map<std::string, const corecrypt::ArchiveEntry*> byPath;
    for (const auto& e : entries)
        byPath.emplace(e.path, &e);
    std::vector<std::string> needed;
    for (const auto& f : files) {
        struct stat st {};
        if (::stat(f.path.c_str(), &st) != 0)
            continue;
        const auto it = byPath.find(f.entry);
        if (it != byPath.end()) {
            const corecrypt::ArchiveEntry& e = *it->second;
            const bool newer = st.st_mtim.tv_sec > e.modified ||
                               (st.st_mtim.tv_sec == e.modified && st.st_mtim.tv_nsec > e.modifiedNanos);
            if (!newer)
                continue;
        }
        // The path with its entry name anchored, so that the writer names it as listed here.
        const std::string& p = f.path;
        const std::size_t nameStart = p.size() - f.entry.size();
        const bool anchored = p.find("/./") != std::string::npos;
        needed.push_back(!anchored && nameStart > 0 && p.compare(nameStart, std::string::npos, f.entry) == 0
                             ? p.substr(0, nameStart - 1) + "/./" + f.entry
                             : p);
    }
    paths = std::move(needed);
    return 1;
}

int CheckExtraction(const std::string& folder, std::vector<std::string>& entries, bool overwrite,
                    std::vector<std::string>* refused) {
    std::vector<std::string> kept;
    bool replacing = false;
    auto refuse = [&](const std::string& line) {
        if (refused)
            refused->push_back(line);
    };
    for (const std::string& entry : entries) {
        if (!corecrypt::ValidEntryPath(entry)) {
            refuse("Refused: " + entry + " would be written outside " + folder + ".");
            continue;
        }
        // Every folder on the way must be a real folder, or missing.
        std::string at = folder;
        bool ok = true;
        std::size_t start = 0;
        for (auto slash = entry.find('/'); ok && slash != std::string::npos; slash = entry.find('/', start)) {
            at += "/" + entry.substr(start, slash - start);
            struct stat st {};
            if (::lstat(at.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
                refuse(S_ISLNK(st.st_mode) ? "Refused: " + at + " is a symbolic link."
                                           : "Cannot extract " + entry + ": " + at + " is not a folder.");
                ok = false;
            }
            start = slash + 1;
        }
        if (!ok)
            continue;
        const std::string target = folder + "/" + entry;
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) {
                refuse("Cannot extract " + entry + ": " + target +
                       (S_ISDIR(st.st_mode) ? " is a folder." : " is a symbolic link."));
                continue;
            }
            if (!overwrite) {
                const uikit::Answer a =
                    uikit::MessageBox("The file " + target + " already exists.\nReplace it?", szAppName,
                                      uikit::Buttons::YesNoCancel, uikit::Icon::Question);
                if (a == uikit::Answer::Cancel)
                    return kExtractNothing;
                if (a != uikit::Answer::Yes)
                    continue;
            }
            replacing = true;
        }
        kept.push_back(entry);
    }
    entries = std::move(kept);
    if (entries.empty())
        return kExtractNothing;
    return replacing ? kExtractReplacing : kExtract;
}

} // namespace misckit
