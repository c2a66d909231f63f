#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
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

// One folder of a FolderWalk.
struct WalkedFolder {
    std::string folder;            // ends in "/"
    std::string relative;          // below the walk's start, each level followed by "/"; empty for the start
    bool listed = false;           // false when the folder could not be listed
    std::vector<FindData> entries; // as ListDirectoryMatching gives them
};

// Walks a folder tree depth first: a folder, then each real subfolder (never a link to one) in
// listing order, down to the end; without `recurse` only the start. A second thread lists the
// folders coming next while the caller works on one; when the caller catches up, it lists the
// next folder itself, so the listing is shared between both. Destroying the walk stops it.
class FolderWalk {
public:
    FolderWalk(std::string start, std::string mask, bool recurse);
    ~FolderWalk();
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    // The next folder in walk order; false when the walk is over.
    bool Next(WalkedFolder& out);

private:
    struct Node;
    bool Settle(Node& node, bool byThread);
    void Run(std::shared_ptr<Node> start);

    const std::string m_mask;
    const bool m_recurse;
    std::vector<std::shared_ptr<Node>> m_coming; // the caller's stack: next folder last
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_ahead = 0; // folders the thread listed that the caller has not taken yet
    std::exception_ptr m_failure;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace platform
