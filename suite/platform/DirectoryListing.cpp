#include "platform/DirectoryListing.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

bool FillFromStatx(int dirFd, const char* name, FindData& d, std::string& error) {
    struct statx sx {};
    // Only what FindData keeps; the file system may skip filling the rest.
    const unsigned mask =
        STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_CTIME | STATX_BTIME;
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
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = "Cannot list " + folder + ": " + std::strerror(errno);
        return false;
    }
    const std::unique_ptr<const int, void (*)(const int*)> closer(&fd, [](const int* f) { ::close(*f); });
    // Read into the stack rather than through opendir, whose heap buffer per folder costs more
    // than reading a small folder.
    alignas(alignof(dirent64)) char buffer[32768];
    bool first = true;
    while (true) {
        const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
        if (got < 0) {
            error = "Cannot list " + folder + ": " + std::strerror(errno);
            return false;
        }
        if (got == 0)
            break;
        if (first) // about one entry per 32 bytes of records; saves growing a small folder's vector
            entries.reserve(entries.size() + static_cast<std::size_t>(got) / 32);
        first = false;
        for (ssize_t at = 0; at < got;) {
            const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
            at += e->d_reclen;
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                continue;
            // A plain file that the mask rules out needs no statx: that call is most of the cost
            // of listing a big tree.
            if (e->d_type == DT_REG && !MatchesMask(e->d_name, mask))
                continue;
            FindData& d = entries.emplace_back();
            d.name = e->d_name;
            d.isHidden = d.name[0] == '.';
            std::string ignored;
            if (!FillFromStatx(fd, e->d_name, d, ignored))
                entries.pop_back(); // vanished between the listing and statx
        }
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

namespace {
// Folders the thread lists ahead of the caller at most: enough to keep both busy, little memory.
constexpr std::size_t kListedAhead = 32;
} // namespace

struct FolderWalk::Node {
    enum class State { Open, Listing, Listed };
    WalkedFolder walked;
    State state = State::Open;
    bool byThread = false;
    std::vector<std::shared_ptr<Node>> children; // last one first, as a stack wants them
};

FolderWalk::FolderWalk(std::string start, std::string mask, bool recurse)
    : m_mask(std::move(mask)), m_recurse(recurse) {
    auto node = std::make_shared<Node>();
    node->walked.folder = std::move(start);
    if (node->walked.folder.empty() || node->walked.folder.back() != '/')
        node->walked.folder += '/';
    m_coming.push_back(node);
    try {
        m_thread = std::thread([this, node] { Run(node); });
    } catch (const std::system_error&) {
        // No thread to be had: the caller lists every folder itself.
    }
}

FolderWalk::~FolderWalk() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

// Lists the node unless the other side has taken it, else waits until that side is done. False
// when the walk stopped or the thread failed first.
bool FolderWalk::Settle(Node& node, bool byThread) {
    std::unique_lock lock(m_mutex);
    if (node.state != Node::State::Open) {
        m_changed.wait(lock, [&] { return node.state == Node::State::Listed || m_stop || m_failure; });
        return node.state == Node::State::Listed;
    }
    node.state = Node::State::Listing;
    lock.unlock();
    WalkedFolder& walked = node.walked;
    std::string ignored; // a folder that cannot be listed is passed over
    walked.listed = ListDirectoryMatching(walked.folder, m_mask, walked.entries, ignored);
    if (m_recurse)
        for (auto it = walked.entries.rbegin(); it != walked.entries.rend(); ++it)
            if (it->isDirectory && !it->isSymlink) {
                auto child = std::make_shared<Node>();
                child->walked.folder = walked.folder + it->name + "/";
                child->walked.relative = walked.relative + it->name + "/";
                node.children.push_back(std::move(child));
            }
    lock.lock();
    node.state = Node::State::Listed;
    node.byThread = byThread;
    if (byThread)
        ++m_ahead;
    lock.unlock();
    m_changed.notify_all();
    return true;
}

bool FolderWalk::Next(WalkedFolder& out) {
    if (m_coming.empty())
        return false;
    const std::shared_ptr<Node> node = std::move(m_coming.back());
    m_coming.pop_back();
    if (!Settle(*node, false)) {
        const std::lock_guard lock(m_mutex);
        std::rethrow_exception(m_failure);
    }
    if (node->byThread) {
        {
            const std::lock_guard lock(m_mutex);
            --m_ahead;
        }
        m_changed.notify_all();
    }
    // The thread reads only the children of a listed node, never its entries.
    out = std::move(node->walked);
    m_coming.insert(m_coming.end(), node->children.begin(), node->children.end());
    return true;
}

void FolderWalk::Run(std::shared_ptr<Node> start) {
    try {
        std::vector<std::shared_ptr<Node>> coming{std::move(start)};
        while (!coming.empty()) {
            const std::shared_ptr<Node> node = std::move(coming.back());
            coming.pop_back();
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return m_ahead < kListedAhead || m_stop; });
                if (m_stop)
                    return;
            }
            if (!Settle(*node, true))
                return;
            coming.insert(coming.end(), node->children.begin(), node->children.end());
        }
    } catch (...) {
        {
            const std::lock_guard lock(m_mutex);
            m_failure = std::current_exception();
        }
        m_changed.notify_all();
    }
}

} // namespace platform
