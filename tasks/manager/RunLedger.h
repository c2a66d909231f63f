#pragma once

#include "platform/RegularFile.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace jobkit {

// What one run did to the files its encrypt tasks selected. Files are known by device and inode,
// so a file reached by a delete task through a link to its folder, a bind mount, another spelling
// of its path or a hard link is still the same file.
//
// A file an encrypt task selected (or would have selected, had the task failed before listing)
// may be removed only once this run wrote and read back an encrypted copy of exactly its present
// bytes.
class RunLedger {
public:
    void Clear();
    // An encrypt task selected the file at `path`; a missing file is passed over.
    void Selected(const std::string& path);
    void Selected(const platform::FileSnapshot& snapshot);
    // Its encrypted copy was written and verified; `snapshot` is the file as it was read.
    void Secured(const platform::FileSnapshot& snapshot);
    // Whether the file at `path` may be deleted or wiped; otherwise `why` says why it stays. A link
    // itself may always go: only the link is removed.
    bool MayRemove(const std::string& path, std::string& why) const;
    // A file the run selected and has not secured.
    bool Unsecured(const platform::FileSnapshot& snapshot) const;

    // Encrypted files written in this run: a second source never replaces one of them.
    void Written(const std::string& path);
    bool WrittenThisRun(const std::string& path) const;

private:
    using Id = std::pair<std::uint64_t, std::uint64_t>;
    struct Entry {
        bool secured = false;
        platform::FileSnapshot snapshot;
    };
    std::map<Id, Entry> m_files;
    // The paths encrypt tasks selected, and the file each named then: another file put in its place
    // during the run is not taken for one no task selected.
    std::map<std::string, Id> m_paths;
    std::set<Id> m_written;
};

} // namespace jobkit
