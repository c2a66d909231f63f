#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What a folder listing tells about one entry. Times are seconds since 1970-01-01 UTC. The
// creation time is the birth time where the file system keeps one, else the change time.
struct FindData {
    std::string name;
    bool isDirectory = false; // a real folder; a link to a folder is not one
    bool isSymlink = false;
    bool isReadOnly = false; // the owner may not write it
    bool isHidden = false;   // the name starts with a dot
    std::int64_t size = 0;   // of the entry itself (for a link: of what it points to, when it exists)
    std::int64_t creationTime = 0;
    std::int64_t accessTime = 0;
    std::int64_t writeTime = 0;
};

// Lists a folder's entries (without "." and ".."), in no particular order.
bool ListDirectory(const std::string& folder, std::vector<FindData>& entries, std::string& error);
// The same, leaving out the plain files whose names do not match `mask` (folders, links and
// entries of unknown type are always listed).
bool ListDirectoryMatching(const std::string& folder, std::string_view mask, std::vector<FindData>& entries,
                           std::string& error);
// The find data of one path; the name is the last component.
bool GetFindData(const std::string& path, FindData& data, std::string& error);

// Wild-card match of a file name against a mask with "*" and "?", without regard to case;
// "*.*" matches every name, dotted or not.
bool MatchesMask(std::string_view name, std::string_view mask);

} // namespace platform
