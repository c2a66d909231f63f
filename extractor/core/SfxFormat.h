#pragma once

// The archive appended to the extractor: data areas of enciphered zlib chunks, then the directory
// (one record per entry, read backwards from the end), then a 12-byte tail with the entry count
// and the two password check words. All integers are unsigned 32-bit little-endian.
#include "extractor/core/Cast128.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sfx {

constexpr std::size_t kTailSize = 12;
constexpr std::size_t kRecordFixedSize = 28;      // six words before the name, the length after it
constexpr std::uint32_t kMaxNameLength = 1000;    // the longest name a record may carry
constexpr std::uint32_t kMaxChunkContent = 65536; // bytes a chunk inflates to at most
// A chunk of 65536 content bytes never needs more than about 65.6 KB of zlib stream; anything far
// larger is a damaged length, refused before it is allocated.
constexpr std::uint32_t kMaxStoredChunk = 1u << 20;

// The run's texts.
inline constexpr char kMsgInvalidPassword[] = "Invalid password.";
inline constexpr char kMsgNoFiles[] = "No files to process.";
inline constexpr char kMsgCanceled[] = "Operation canceled.";
inline constexpr char kMsgCannotCreate[] = "Cannot create file: ";
inline constexpr char kMsgCannotOpen[] = "Cannot open file: ";
inline constexpr char kMsgCannotWrite[] = "Cannot write file: ";
inline constexpr char kMsgDamaged[] = "The archive is damaged.";
inline constexpr char kMsgLinkedFolder[] =
    "A folder of the archive is a symbolic link in the output folder: ";
inline constexpr char kMsgUnsafeName[] = "The archive holds a name that leads outside the output folder: ";

// Every expected failure of a run; the code is always 0.
class EException : public std::runtime_error {
public:
    explicit EException(const std::string& message, int code = 0)
        : std::runtime_error(message), m_code(code) {}
    int code() const { return m_code; }

private:
    int m_code;
};

struct SfxEntry {
    std::string name; // as stored, with `\` between levels
    std::uint32_t dataOffset = 0;
    std::uint32_t spare = 0;
    std::uint64_t creationTime = 0;  // Windows file time
    std::uint64_t lastWriteTime = 0; // Windows file time
};

struct SfxArchive {
    std::string password;
    std::vector<SfxEntry> entries; // index 0 = first record in the file
    std::uint32_t count = 0;
    std::uint64_t tailSize = 0; // directory plus tail
    std::uint64_t fileSize = 0;

    // Size of entry e's data area (valid after ReadDirectory, which checks the offsets).
    std::uint64_t DataAreaSize(std::size_t e) const;
};

// Random access to the bytes of the self-extracting file.
class ArchiveSource {
public:
    virtual ~ArchiveSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly n bytes at offset; false on a failed or short read.
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;
};

class MemorySource : public ArchiveSource {
public:
    MemorySource(const void* data, std::size_t size)
        : m_data(static_cast<const std::uint8_t*>(data)), m_size(size) {}
    std::uint64_t Size() const override { return m_size; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

class FileSource : public ArchiveSource {
public:
    // Opens the file for reading; null when it cannot be opened.
    static std::unique_ptr<FileSource> Open(const std::string& path);
    ~FileSource() override;
    std::uint64_t Size() const override { return m_size; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;

private:
    FileSource(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    int m_fd;
    std::uint64_t m_size;
};

// Checks the password against the tail, then reads the directory backwards from the end. Throws
// EException: "Invalid password.", "No files to process." or "The archive is damaged." (a record
// that runs past the start of the file, a name longer than 1000 bytes or empty, data offsets out
// of order or inside the directory).
void ReadDirectory(ArchiveSource& source, const std::string& password, SfxArchive& archive);

// The chunk loop over one data area: deciphers and inflates each chunk and hands the content to
// `sink`. Throws EException("The archive is damaged.") for a short read, a chunk length that
// overruns the area, a stream that does not inflate completely or gives more than 65536 bytes.
class ChunkDecoder {
public:
    explicit ChunkDecoder(const std::string& password);
    void Decode(ArchiveSource& source, std::uint64_t offset, std::uint64_t size,
                const std::function<void(const std::uint8_t*, std::size_t)>& sink);

private:
    Keystream m_keystream;
    std::vector<std::uint8_t> m_window;   // bytes of the area read ahead
    std::vector<std::uint8_t> m_inflated; // 65536 bytes
};

// Building blocks of the layout, shared with the writer and the tests.
void AppendU32(std::string& out, std::uint32_t v);
std::uint32_t LoadU32(const std::uint8_t* p);
// One directory record: six words, the name, its length.
std::string EncodeRecord(const SfxEntry& entry);
std::string EncodeTail(std::uint32_t count, const CheckWords& check);

} // namespace sfx
