#include "platform/FolderChain.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Beyond this many open folders the cache starts again: descriptors are a limited resource.
constexpr std::size_t kMaxOpenFolders = 64;

int OpenLevel(int parent, const std::string& name) {
    return ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

FolderTree::~FolderTree() {
    for (const auto& [relative, fd] : m_open)
        ::close(fd);
    if (m_root >= 0)
        ::close(m_root);
}

bool FolderTree::OpenRoot(const std::string& root) {
    m_rootPath = root.empty() ? "." : root;
    while (m_rootPath.size() > 1 && m_rootPath.back() == '/')
        m_rootPath.pop_back();
    m_root = ::open(m_rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return m_root >= 0;
}

int FolderTree::Open(const std::string& relative, bool create, mode_t mode, FolderProblem& problem,
                     std::string& level) {
    problem = FolderProblem::None;
    level = m_rootPath;
    if (relative.empty())
        return m_root;
    if (const auto known = m_open.find(relative); known != m_open.end())
        return known->second;
    if (m_open.size() >= kMaxOpenFolders) {
        for (const auto& [path, fd] : m_open)
            ::close(fd);
        m_open.clear();
    }
    int current = m_root;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        const std::string name = relative.substr(start, end - start);
        const std::string sofar = relative.substr(0, end);
        start = end + 1;
        if (name.empty() || name == ".")
            continue;
        level = m_rootPath + "/" + sofar;
        if (name == "..") {
            problem = FolderProblem::Failed;
            errno = EINVAL;
            return -1;
        }
        if (const auto known = m_open.find(sofar); known != m_open.end()) {
            current = known->second;
            continue;
        }
        int next = OpenLevel(current, name);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(current, name.c_str(), mode) != 0 && errno != EEXIST) {
                problem = FolderProblem::Failed;
                return -1;
            }
            next = OpenLevel(current, name);
        }
        if (next < 0) {
            const int why = errno;
            struct stat st {};
            if (::fstatat(current, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                problem = S_ISLNK(st.st_mode)   ? FolderProblem::Link
                          : S_ISDIR(st.st_mode) ? FolderProblem::Failed
                                                : FolderProblem::NotAFolder;
            else
                problem = FolderProblem::Failed;
            errno = why;
            return -1;
        }
        m_open.emplace(sofar, next);
        current = next;
    }
    return current;
}

mode_t KindBelow(int folderFd, const std::string& name) {
    struct stat st {};
    if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return st.st_mode;
    return errno == ENOENT ? 0 : static_cast<mode_t>(-1);
}

} // namespace platform
