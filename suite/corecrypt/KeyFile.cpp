#include "corecrypt/KeyFile.h"

#include "corecrypt/ErrorText.h"
#include "corecrypt/Paths.h"
#include "platform/AtomicFile.h"
#include "platform/FileIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corecrypt {
namespace {

bool MakeKeyId(std::uint8_t id[kKeyIdSize], std::string& error) {
    if (!RandomBytes(id, kKeyIdSize, error))
        return false;
    for (std::size_t i = 0; i < kKeyIdSize; ++i) {
        while (id[i] == 0)
            if (!RandomBytes(&id[i], 1, error))
                return false;
    }
    return true;
}

bool CreateKeyFileAt(const std::string& path, std::string& error) {
    if (PathExists(path)) {
        error = "The file " + path + " already exists.";
        return false;
    }
    SecureBytes bytes(kKeyFileSize);
    if (!MakeKeyId(bytes.data(), error) ||
        !RandomBytes(bytes.data() + kKeyIdSize, kKeyFileSize - kKeyIdSize, error))
        return false;
    // Written beside the target and linked into place: link() refuses to replace a file that
    // appeared meanwhile, and a failure leaves no partial key file.
    platform::AtomicFile file(path, 0600);
    if (!file.open(error) || !file.write(bytes.data(), bytes.size(), error))
        return false;
    if (::fsync(file.fd()) != 0 || ::link(file.tempPath().c_str(), path.c_str()) != 0) {
        error = "Cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    file.discard();
    return true;
}

} // namespace

bool ReadKeyFile(const std::string& path, std::uint8_t id[kKeyIdSize], SecureBytes& secret,
                 std::string& error) {
    // O_NONBLOCK: a FIFO given as key file is refused below instead of waiting for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "Cannot open the key file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok)
        error = "The key file " + path + " is not a regular file.";
    const std::size_t minimum = kKeyIdSize + kKeyInitSize + 16;
    if (ok &&
        (st.st_size < static_cast<off_t>(minimum) || st.st_size > static_cast<off_t>(kMaxKeyFileSize))) {
        error = "The file " + path + " is not a key file (wrong size).";
        ok = false;
    }
    SecureBytes bytes(ok ? static_cast<std::size_t>(st.st_size) : 0);
    if (ok) {
        const ssize_t n = platform::ReadAll(fd, bytes.data(), bytes.size());
        if (n != static_cast<ssize_t>(bytes.size())) {
            error =
                "Cannot read the key file " + path + (n < 0 ? std::string(": ") + std::strerror(errno) : "");
            ok = false;
        }
    }
    ::close(fd);
    if (!ok)
        return false;
    std::memcpy(id, bytes.data(), kKeyIdSize);
    secret.Assign(bytes.data() + kKeyIdSize, bytes.size() - kKeyIdSize);
    return true;
}

} // namespace corecrypt

int CreateKeyFile(const char* path, char* errorText, int errorTextSize) {
    std::string error;
    if (!path || !*path) {
        corecrypt::SetErrorText(errorText, errorTextSize, "No key file name given.");
        return 0;
    }
    if (!corecrypt::CreateKeyFileAt(path, error)) {
        corecrypt::SetErrorText(errorText, errorTextSize, error);
        return 0;
    }
    return 1;
}
