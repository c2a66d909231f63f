#pragma once

// File and stream plumbing shared by encrypted files and archives (engine-internal).

#include "corecrypt/FileFormat.h"
#include "platform/AtomicFile.h"
#include "platform/FileIo.h"

#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corecrypt {

constexpr std::size_t kReadSize = 1 << 18;

class FdSource : public ByteSource {
public:
    FdSource(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    long Read(std::uint8_t* buffer, std::size_t size, std::string& error) override {
        const ssize_t n = platform::ReadSome(m_fd, buffer, size);
        if (n < 0)
            error = "Cannot read " + m_path + ": " + std::strerror(errno);
        return static_cast<long>(n);
    }

private:
    int m_fd;
    std::string m_path;
};

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

class AtomicSink : public ByteSink {
public:
    explicit AtomicSink(platform::AtomicFile& file) : m_file(file) {}
    bool Write(const std::uint8_t* data, std::size_t size, std::string& error) override {
        return m_file.write(data, size, error);
    }

private:
    platform::AtomicFile& m_file;
};

// Feeds the file's bytes to the chunk writer, deflated when asked.
class Compressor {
public:
    Compressor(ChunkWriter& writer, bool on) : m_writer(writer), m_on(on) {
        if (on) {
            m_ok = deflateInit(&m_zs, Z_DEFAULT_COMPRESSION) == Z_OK;
            m_out.CleanNew(kReadSize);
        }
    }
    ~Compressor() {
        if (m_on && m_ok)
            deflateEnd(&m_zs);
    }

    bool Add(const std::uint8_t* data, std::size_t size, bool last, std::string& error) {
        if (!m_on)
            return m_writer.Add(data, size, error);
        if (!m_ok) {
            error = "Cannot start compression.";
            return false;
        }
        m_zs.next_in = const_cast<std::uint8_t*>(data);
        m_zs.avail_in = static_cast<uInt>(size);
        int rc = Z_OK;
        do {
            m_zs.next_out = m_out.data();
            m_zs.avail_out = static_cast<uInt>(m_out.size());
            rc = deflate(&m_zs, last ? Z_FINISH : Z_NO_FLUSH);
            if (rc == Z_STREAM_ERROR) {
                error = "Compression failed.";
                return false;
            }
            if (!m_writer.Add(m_out.data(), m_out.size() - m_zs.avail_out, error))
                return false;
        } while (m_zs.avail_out == 0 || (last && rc != Z_STREAM_END));
        return true;
    }

private:
    ChunkWriter& m_writer;
    bool m_on;
    bool m_ok = true;
    z_stream m_zs{};
    SecureBytes m_out;
};

// Gives an open file its stored access and modification times.
inline void SetFileTimes(int fd, std::int64_t accessed, std::uint32_t accessedNanos, std::int64_t modified,
                         std::uint32_t modifiedNanos) {
    const timespec times[2] = {{accessed, static_cast<long>(accessedNanos)},
                               {modified, static_cast<long>(modifiedNanos)}};
    ::futimens(fd, times);
}

// The size and times of an opened file, as its stream's metadata record holds them.
inline FileMetadata MetadataOf(const struct stat& st, bool compress) {
    FileMetadata meta;
    meta.compressed = compress;
    meta.size = static_cast<std::uint64_t>(st.st_size);
    meta.modified = st.st_mtim.tv_sec;
    meta.modifiedNanos = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
    meta.accessed = st.st_atim.tv_sec;
    meta.accessedNanos = static_cast<std::uint32_t>(st.st_atim.tv_nsec);
    return meta;
}

// Opens a regular file for reading; -1 with a reason otherwise.
int OpenRegularFile(const std::string& path, struct stat& st, std::string& error);

bool LoadOpeningKey(const std::string& keyOrPassword, bool keyFile, OpeningKey& key, std::string& error);

// Writes one plain stream (the metadata record, then the bytes of the open file `fd`, deflated
// when meta.compressed) through `writer` and finishes it. Fails when the file's size changes.
bool EncryptStream(int fd, const std::string& source, const FileMetadata& meta, ChunkWriter& writer,
                   std::string& error);

// Takes the plain bytes of a stream just written and compares them with the source they were
// made from, read again from its open descriptor: the read-back proof that the encrypted copy
// holds exactly the source's bytes before anyone may remove the source.
class SourceComparison : public PlainSink {
public:
    SourceComparison(int fd, std::uint64_t size, std::string source)
        : m_fd(fd), m_size(size), m_source(std::move(source)) {}
    bool Begin(const FileMetadata& metadata, std::string& error) override;
    bool Write(const std::uint8_t* data, std::size_t size, std::string& error) override;
    // True when every byte of the source was seen and matched.
    bool Complete(std::string& error) const;

private:
    bool Mismatch(std::string& error) const;
    int m_fd;
    std::uint64_t m_size;
    std::string m_source;
    std::uint64_t m_at = 0;
    std::vector<std::uint8_t> m_buffer;
};

} // namespace corecrypt
