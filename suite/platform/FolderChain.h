#pragma once

// Folders below an output folder, opened one level at a time without following a symbolic link
// at any level, and created there with mkdirat where missing. Writing below the descriptor such a
// walk returns cannot be led out of the output folder by a link that someone placed (or swapped
// in) inside it. Needs only the C library.
#include <map>
#include <string>
#include <sys/types.h>

namespace platform {

enum class FolderProblem {
    None,
    Link,       // a level is a symbolic link
    NotAFolder, // a level is something other than a folder
    Failed,     // a level could not be opened or made (errno tells why)
};

// Opens, below one root folder, the folders that files are written into, and keeps them open
// while the tree lives, so that many files of one folder cost one walk.
class FolderTree {
public:
    FolderTree() = default;
    ~FolderTree();
    FolderTree(const FolderTree&) = delete;
    FolderTree& operator=(const FolderTree&) = delete;

    // Opens the root folder as named (a link there is the user's own choice). False with errno.
    bool OpenRoot(const std::string& root);
    int rootFd() const { return m_root; }
    const std::string& rootPath() const { return m_rootPath; }

    // The descriptor of `relative` (levels separated by '/'; empty is the root), owned by the
    // tree. With `create`, missing levels are made with `mode`. -1 when a level is refused or
    // fails: `problem` says how, `level` is that level's path (root/a/b) and errno is kept.
    int Open(const std::string& relative, bool create, mode_t mode, FolderProblem& problem,
             std::string& level);

private:
    int m_root = -1;
    std::string m_rootPath;
    std::map<std::string, int> m_open;
};

// Whether `name` in the open folder is a symbolic link, a folder, a file or absent, without
// following it. -1 (errno set) when it cannot be looked at; 0 absent; otherwise the stat mode.
mode_t KindBelow(int folderFd, const std::string& name);

} // namespace platform
