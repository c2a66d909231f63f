#include "corecrypt/StreamIo.h"

#include "platform/FileIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace corecrypt {

int OpenRegularFile(const std::string& path, struct stat& st, std::string& error) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer that may never come; a regular
    // file ignores the flag, so it can stay.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "Cannot open " + path + ": " + std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = path + " is not a regular file.";
        return -1;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

bool LoadOpeningKey(const std::string& keyOrPassword, bool keyFile, OpeningKey& key, std::string& error) {
    if (!keyFile) {
        key.password = keyOrPassword;
        return true;
    }
    key.haveKeyFile = true;
    return ReadKeyFile(keyOrPassword, key.keyId, key.keySecret, error);
}

bool EncryptStream(int fd, const std::string& source, const FileMetadata& meta, ChunkWriter& writer,
                   std::string& error) {
    const bool compress = meta.compressed;
    const std::string record = EncodeMetadata(meta);
    if (!writer.Add(reinterpret_cast<const std::uint8_t*>(record.data()), record.size(), error))
        return false;
    Compressor data(writer, compress);
    FdSource reader(fd, source);
    SecureBytes buffer(compress ? kReadSize : 0);
    std::uint64_t total = 0;
    while (total <= meta.size) {
        long n = 0;
        if (compress) {
            n = reader.Read(buffer.data(), buffer.size(), error);
            if (n < 0 || !data.Add(buffer.data(), static_cast<std::size_t>(n), n == 0, error))
                return false;
        } else {
            // Uncompressed bytes go straight into the chunk buffers.
            std::size_t room = 0;
            std::uint8_t* space = writer.Space(room, error);
            if (!space || (n = reader.Read(space, room, error)) < 0 ||
                !writer.Commit(static_cast<std::size_t>(n), error))
                return false;
        }
        if (n == 0)
            break;
        total += static_cast<std::uint64_t>(n);
    }
    if (total != meta.size) {
        error = "The file " + source + " changed while it was being encrypted.";
        return false;
    }
    return writer.Finish(error);
}

bool SourceComparison::Mismatch(std::string& error) const {
    error = "The encrypted copy of " + m_source + " does not read back as the file's bytes.";
    return false;
}

bool SourceComparison::Begin(const FileMetadata& metadata, std::string& error) {
    return metadata.size == m_size || Mismatch(error);
}

bool SourceComparison::Write(const std::uint8_t* data, std::size_t size, std::string& error) {
    if (size > m_size - m_at)
        return Mismatch(error);
    if (m_buffer.size() < size)
        m_buffer.resize(size);
    if (!platform::ReadAllAt(m_fd, m_buffer.data(), size, static_cast<off_t>(m_at))) {
        error = "Cannot read " + m_source + " again to check its encrypted copy: " + std::strerror(errno);
        return false;
    }
    if (std::memcmp(m_buffer.data(), data, size) != 0)
        return Mismatch(error);
    m_at += size;
    return true;
}

bool SourceComparison::Complete(std::string& error) const {
    return m_at == m_size || Mismatch(error);
}

} // namespace corecrypt
