#include "platform/AtomicFile.h"

#include "platform/FileIo.h"
#include "platform/TempNames.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

std::atomic<long long> g_failAfter{-1};
std::atomic<long long> g_written{0};
std::atomic<bool> g_namedForTesting{false};

bool UnnamedFilesWanted() {
    if (g_namedForTesting.load())
        return false;
    const char* env = std::getenv("QM_TEST_NAMED_TEMPORARIES");
    return !(env && std::strcmp(env, "1") == 0);
}

// An unnamed file in the folder, or -1 when the file system (or kernel) has none.
int OpenUnnamed(int folderFd) {
    const int fd = ::openat(folderFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    // Kernels without O_TMPFILE see a folder opened for writing (EISDIR); file systems without it
    // say EOPNOTSUPP. Anything else (no room, no permission) is a real failure.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOSYS)
        errno = EOPNOTSUPP;
    return -1;
}

// Gives the unnamed file `fd` the name `name`; fails with EEXIST when that name is taken.
bool LinkUnnamed(int fd, int folderFd, const std::string& name) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, self, folderFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != ENOENT)
        return false;
    // Without /proc only a privileged process may link a descriptor directly.
    return ::linkat(fd, "", folderFd, name.c_str(), AT_EMPTY_PATH) == 0;
}

} // namespace

void AtomicFile::FailAfterBytesForTesting(long long bytes) {
    g_written = 0;
    g_failAfter = bytes;
}

void AtomicFile::NamedTemporariesForTesting(bool on) {
    g_namedForTesting = on;
}

std::string ResolveLinks(const std::string& path) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(at.c_str(), target, sizeof target - 1);
        if (n <= 0)
            return at;
        const std::string text(target, static_cast<std::size_t>(n));
        at = text[0] == '/' ? text : FolderOfPath(at) + "/" + text;
    }
    return at; // a loop: opening will report it
}

AtomicFile::AtomicFile(std::string path, mode_t mode, Content content)
    : m_path(std::move(path)), m_mode(mode), m_content(content) {}

AtomicFile::AtomicFile(int folderFd, std::string name, std::string path, mode_t mode, Content content)
    : m_path(std::move(path)), m_folderPath(FolderOfPath(m_path)), m_name(std::move(name)), m_mode(mode),
      m_content(content) {
    m_folderFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
}

AtomicFile::~AtomicFile() {
    discard();
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

std::string AtomicFile::tempPath() const {
    return m_tempName.empty() ? std::string() : m_folderPath + "/" + m_tempName;
}

bool AtomicFile::OpenFolder(std::string& error) {
    if (m_folderFd >= 0)
        return true;
    if (!m_name.empty()) { // given as a folder descriptor that could not be copied
        error = "Cannot create a file in " + m_folderPath + ": " + std::strerror(EBADF);
        return false;
    }
    // A document reached through a link is written where the link points, beside the real file,
    // so that the rename replaces that file and the link stays.
    const std::string target = m_content == Content::Document ? ResolveLinks(m_path) : m_path;
    m_folderPath = FolderOfPath(target);
    m_name = NameOfPath(target);
    m_folderFd = ::open(m_folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folderFd < 0) {
        error = "Cannot create a file in " + m_folderPath + ": " + std::strerror(errno);
        m_name.clear();
        return false;
    }
    return true;
}

bool AtomicFile::open(std::string& error) {
    discard();
    if (!OpenFolder(error))
        return false;
    int fd = -1;
    if (m_content == Content::Plaintext && UnnamedFilesWanted()) {
        fd = OpenUnnamed(m_folderFd);
        if (fd < 0 && errno != EOPNOTSUPP) {
            error = "Cannot create a file in " + m_folderPath + ": " + std::strerror(errno);
            return false;
        }
    }
    if (fd < 0)
        fd = CreateTempFile(m_folderFd, 0600, m_tempName, m_tempSlot);
    if (fd < 0) {
        error = "Cannot create a file in " + m_folderPath + ": " + std::strerror(errno);
        m_tempName.clear();
        return false;
    }
    // The unnamed file's mode went through the umask; until commit every kind stays owner-only.
    ::fchmod(fd, 0600);
    m_fd = fd;
    return true;
}

bool AtomicFile::write(const void* data, std::size_t size, std::string& error) {
    if (m_fd < 0) {
        error = "The file " + m_path + " is not open.";
        return false;
    }
    const long long limit = g_failAfter.load();
    if (limit >= 0) {
        const long long room = std::max(0LL, limit - g_written.load());
        if (static_cast<unsigned long long>(room) < size) {
            if (room > 0)
                WriteAll(m_fd, data, static_cast<std::size_t>(room));
            g_written += room;
            error = "Cannot write " + m_path + ": " + std::strerror(ENOSPC);
            return false;
        }
    }
    if (!WriteAll(m_fd, data, size)) {
        error = "Cannot write " + m_path + ": " + std::strerror(errno);
        return false;
    }
    g_written += static_cast<long long>(size);
    return true;
}

// A file being replaced passes on its permissions (never anything wider than it had) and, where
// we may set them, its owner and group; a new file gets the mode asked for.
void AtomicFile::KeepAttributesOfTarget() {
    struct stat st {};
    if (::fstatat(m_folderFd, m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        ::fchmod(m_fd, m_mode);
        return;
    }
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
        if (::fchown(m_fd, st.st_uid, st.st_gid) != 0 &&
            ::fchown(m_fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
            // Someone else's file that we may replace: it becomes ours, so no group or others
            // gain what the owner had.
            ::fchmod(m_fd, st.st_mode & 0700);
            return;
        }
    }
    ::fchmod(m_fd, st.st_mode & 0777);
}

bool AtomicFile::commit(std::string& error) {
    if (m_fd < 0) {
        error = "The file " + m_path + " is not open.";
        return false;
    }
    if (m_durable && ::fsync(m_fd) != 0) {
        error = "Cannot write " + m_path + ": " + std::strerror(errno);
        discard();
        return false;
    }
    KeepAttributesOfTarget();
    const bool placed = m_tempName.empty() ? LinkIntoPlace(error) : RenameIntoPlace(error);
    if (!placed) {
        discard();
        return false;
    }
    if (m_durable)
        SyncFolder(m_folderFd);
    return true;
}

bool AtomicFile::LinkIntoPlace(std::string& error) {
    if (!m_replace) {
        if (LinkUnnamed(m_fd, m_folderFd, m_name)) {
            ::close(std::exchange(m_fd, -1));
            return true;
        }
        error = errno == EEXIST ? "The file " + m_path + " already exists."
                                : "Cannot create " + m_path + ": " + std::strerror(errno);
        return false;
    }
    // A name cannot be replaced by linking: the complete file gets a short name first, which the
    // rename then moves over the target. Signals wait meanwhile, so that name never outlives us.
    const SignalHold hold;
    std::string temp;
    bool linked = false;
    for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
        temp = ShortTempName();
        linked = LinkUnnamed(m_fd, m_folderFd, temp);
        if (!linked && errno != EEXIST)
            break;
    }
    if (!linked) {
        error = "Cannot create " + m_path + ": " + std::strerror(errno);
        return false;
    }
    const int slot = RegisterTempName(m_folderFd, temp);
    const bool renamed = ::renameat(m_folderFd, temp.c_str(), m_folderFd, m_name.c_str()) == 0;
    if (!renamed) {
        error = "Cannot replace " + m_path + ": " + std::strerror(errno);
        ::unlinkat(m_folderFd, temp.c_str(), 0);
    }
    ReleaseTempName(slot);
    if (renamed)
        ::close(std::exchange(m_fd, -1));
    return renamed;
}

bool AtomicFile::RenameIntoPlace(std::string& error) {
    // Without the fsync a late write error shows at close.
    if (::close(std::exchange(m_fd, -1)) != 0 && !m_durable) {
        error = "Cannot write " + m_path + ": " + std::strerror(errno);
        return false;
    }
    const SignalHold hold;
    bool moved = false;
    if (!m_replace)
        moved = MoveWithoutReplacing(error);
    else if (!(moved = ::renameat(m_folderFd, m_tempName.c_str(), m_folderFd, m_name.c_str()) == 0))
        error = "Cannot replace " + m_path + ": " + std::strerror(errno);
    if (moved)
        ForgetTemporary();
    return moved;
}

bool AtomicFile::MoveWithoutReplacing(std::string& error) {
    const char* from = m_tempName.c_str();
    const char* to = m_name.c_str();
    if (::renameat2(m_folderFd, from, m_folderFd, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // File systems without the flag: a hard link is just as atomic about an existing name.
        if (::linkat(m_folderFd, from, m_folderFd, to, 0) == 0) {
            ::unlinkat(m_folderFd, from, 0);
            return true;
        }
        if (errno != EEXIST) {
            // Nor links (some network and foreign file systems): look, then move.
            struct stat st {};
            if (::fstatat(m_folderFd, to, &st, AT_SYMLINK_NOFOLLOW) == 0)
                errno = EEXIST;
            else if (errno == ENOENT && ::renameat(m_folderFd, from, m_folderFd, to) == 0)
                return true;
        }
    }
    error = errno == EEXIST ? "The file " + m_path + " already exists."
                            : "Cannot create " + m_path + ": " + std::strerror(errno);
    return false;
}

void AtomicFile::ForgetTemporary() {
    ReleaseTempName(m_tempSlot);
    m_tempSlot = -1;
    m_tempName.clear();
}

void AtomicFile::discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_tempName.empty()) {
        const SignalHold hold;
        ::unlinkat(m_folderFd, m_tempName.c_str(), 0);
        ForgetTemporary();
    }
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t mode, std::string& error) {
    AtomicFile file(path, mode);
    return file.open(error) && file.write(bytes.data(), bytes.size(), error) && file.commit(error);
}

} // namespace platform
