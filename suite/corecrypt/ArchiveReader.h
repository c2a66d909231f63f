#pragma once

// Reading archives (engine-internal): bytes at any offset from a file or from memory, an archive
// opened with its key, and one entry's stream deciphered.

#include "corecrypt/Archive.h"
#include "corecrypt/FileFormat.h"
#include "corecrypt/StreamIo.h"
#include "platform/FileIo.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corecrypt::archive {

// Bytes at any offset: the archive on disk, or in memory for the fuzz targets.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual std::uint64_t Size() const = 0;
    virtual bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size, std::string& error) = 0;
};

class FileRandomSource : public RandomSource {
public:
    FileRandomSource(int fd, std::uint64_t size, std::string path)
        : m_fd(fd), m_size(size), m_path(std::move(path)) {}
    std::uint64_t Size() const override { return m_size; }
    bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size, std::string& error) override {
        if (platform::ReadAllAt(m_fd, buffer, size, static_cast<off_t>(offset)))
            return true;
        const bool early = errno == EIO && (offset > m_size || size > m_size - offset);
        error = "Cannot read " + m_path +
                (early ? " (it ends early)." : ": " + std::string(std::strerror(errno)));
        return false;
    }

private:
    int m_fd;
    std::uint64_t m_size;
    std::string m_path;
};

class MemoryRandomSource : public RandomSource {
public:
    MemoryRandomSource(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint64_t Size() const override { return m_size; }
    bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size, std::string& error) override {
        if (offset > m_size || size > m_size - offset) {
            error = "The archive ends early.";
            return false;
        }
        if (size > 0)
            std::memcpy(buffer, m_data + offset, size);
        return true;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

// One range of a RandomSource as a stream.
class RangeSource : public ByteSource {
public:
    RangeSource(RandomSource& source, std::uint64_t offset, std::uint64_t length)
        : m_source(source), m_at(offset), m_left(length) {}
    long Read(std::uint8_t* buffer, std::size_t size, std::string& error) override {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_left));
        if (n == 0)
            return 0;
        if (!m_source.ReadAt(m_at, buffer, n, error))
            return -1;
        m_at += n;
        m_left -= n;
        return static_cast<long>(n);
    }

private:
    RandomSource& m_source;
    std::uint64_t m_at;
    std::uint64_t m_left;
};

// An archive opened with its key: the header, the master key and the directory.
struct OpenedArchive {
    FileHeader header;
    SecureBytes master;
    std::vector<ArchiveEntry> entries;
    std::uint64_t dataEnd = 0; // where the directory stream begins
};

// Throws CQMException 51 or 55 for a missing or wrong key; false with a reason otherwise. With
// `knownMaster` (an archive just written under it) no key is derived and none is needed.
bool OpenArchiveData(RandomSource& src, const OpeningKey& key, const std::string& name, OpenedArchive& a,
                     std::string& error, const SecureBytes* knownMaster = nullptr);

// An archive file opened for reading with its key.
class ArchiveFile {
public:
    // Opens `path` with the password or the key file, whichever its header asks for.
    bool Open(const std::string& path, const std::string& keyOrPassword, bool keyFile, OpenedArchive& a,
              std::string& error);
    RandomSource& source() { return *m_source; }

private:
    std::unique_ptr<Fd> m_fd;
    std::unique_ptr<FileRandomSource> m_source;
    OpeningKey m_key;
};

// Deciphers entry `e` of `a` into `sink`.
bool DecryptEntry(RandomSource& src, const OpenedArchive& a, const ArchiveEntry& e, PlainSink& sink,
                  std::string& error);

// Marks the entries named; false with a reason for a name the archive does not hold.
bool SelectEntries(const OpenedArchive& a, const std::vector<std::string>& names, std::vector<bool>& selected,
                   std::string& error);

} // namespace corecrypt::archive
