#include "corecrypt/Wipe.h"

#include "corecrypt/ErrorText.h"
#include "corecrypt/Paths.h"
#include "corecrypt/Primitives.h"
#include "platform/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace corecrypt {
namespace {

constexpr std::size_t kBuffer = 1 << 20;
constexpr int kMaxRounds = 35;

std::string Describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Round 0, 3, 6 ... random bytes; then zeros, then ones, so that the last round is random.
bool FillRound(int round, int rounds, SecureBytes& buffer, std::string& error) {
    const int kind = (round == rounds - 1) ? 0 : round % 3;
    if (kind == 0)
        return RandomBytes(buffer.data(), buffer.size(), error);
    std::memset(buffer.data(), kind == 1 ? 0x00 : 0xFF, buffer.size());
    return true;
}

bool Overwrite(int fd, off_t size, int rounds, const std::string& path, std::string& error) {
    SecureBytes buffer(kBuffer);
    for (int round = 0; round < rounds; ++round) {
        if (::lseek(fd, 0, SEEK_SET) != 0) {
            error = Describe("Cannot wipe", path);
            return false;
        }
        off_t done = 0;
        while (done < size) {
            // Fresh random bytes for every block, so no two blocks of the file match.
            if (!FillRound(round, rounds, buffer, error))
                return false;
            const std::size_t n = static_cast<std::size_t>(std::min<off_t>(size - done, kBuffer));
            if (!platform::WriteAll(fd, buffer.data(), n)) {
                error = Describe("Cannot wipe", path);
                return false;
            }
            done += static_cast<off_t>(n);
        }
        if (::fsync(fd) != 0) {
            error = Describe("Cannot wipe", path);
            return false;
        }
    }
    return true;
}

std::string RandomSibling(const std::string& path, std::string& error) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::uint8_t bytes[12];
    if (!RandomBytes(bytes, sizeof bytes, error))
        return {};
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name;
    for (std::uint8_t b : bytes)
        name.push_back(kLetters[b % 36]);
    return folder + name;
}

bool Wipe(const std::string& path, int rounds, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = Describe("Cannot wipe", path);
        return false;
    }
    // A link is not followed: wiping must destroy the named file, not whatever a link points to.
    if (!S_ISREG(st.st_mode)) {
        error = "Cannot wipe " + path + ": not a regular file.";
        return false;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES && st.st_uid == ::getuid()) {
        // A read-only file of ours: give the owner write permission first.
        ::chmod(path.c_str(), st.st_mode | S_IWUSR);
        fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) {
        error = Describe("Cannot open", path);
        return false;
    }
    const bool ok = Overwrite(fd, st.st_size, std::clamp(rounds, 1, kMaxRounds), path, error) &&
                    (::ftruncate(fd, 0) == 0 || (error = Describe("Cannot wipe", path), false)) &&
                    (::fsync(fd) == 0 || (error = Describe("Cannot wipe", path), false));
    ::close(fd);
    if (!ok)
        return false;
    // The name goes too: rename to a random one before removing.
    std::string last = path;
    const std::string renamed = RandomSibling(path, error);
    if (!renamed.empty() && ::rename(path.c_str(), renamed.c_str()) == 0)
        last = renamed;
    if (::unlink(last.c_str()) != 0) {
        error = Describe("Cannot remove", path);
        return false;
    }
    const int dir = ::open(FolderOf(last).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace
} // namespace corecrypt

int WipeFile(const char* path, char* errorText, int errorTextSize, int rounds, int) {
    std::string error;
    if (!path || !*path) {
        corecrypt::SetErrorText(errorText, errorTextSize, "No file given to wipe.");
        return 0;
    }
    if (!corecrypt::Wipe(path, rounds, error)) {
        corecrypt::SetErrorText(errorText, errorTextSize, error);
        return 0;
    }
    return 1;
}
