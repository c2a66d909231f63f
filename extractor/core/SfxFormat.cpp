#include "extractor/core/SfxFormat.h"

#include "platform/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace sfx {
namespace {

// How much of a data area is read in one go: small entries take one read, large ones a few.
constexpr std::size_t kReadAhead = 1u << 20;

[[noreturn]] void Damaged() {
    throw EException(kMsgDamaged);
}

} // namespace

void AppendU32(std::string& out, std::uint32_t v) {
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    out.append(b, 4);
}

std::uint32_t LoadU32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::string EncodeRecord(const SfxEntry& entry) {
    std::string out;
    AppendU32(out, entry.dataOffset);
    AppendU32(out, entry.spare);
    AppendU32(out, std::uint32_t(entry.creationTime));
    AppendU32(out, std::uint32_t(entry.creationTime >> 32));
    AppendU32(out, std::uint32_t(entry.lastWriteTime));
    AppendU32(out, std::uint32_t(entry.lastWriteTime >> 32));
    out += entry.name;
    AppendU32(out, std::uint32_t(entry.name.size()));
    return out;
}

std::string EncodeTail(std::uint32_t count, const CheckWords& check) {
    std::string out;
    AppendU32(out, count);
    AppendU32(out, check.word1);
    AppendU32(out, check.word2);
    return out;
}

bool MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    if (offset > m_size || n > m_size - offset)
        return false;
    if (n)
        std::memcpy(buffer, m_data + offset, n);
    return true;
}

std::unique_ptr<FileSource> FileSource::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileSource>(new FileSource(fd, std::uint64_t(st.st_size)));
}

FileSource::~FileSource() {
    ::close(m_fd);
}

bool FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    return platform::ReadAllAt(m_fd, buffer, n, off_t(offset));
}

std::uint64_t SfxArchive::DataAreaSize(std::size_t e) const {
    const std::uint64_t end = e + 1 < entries.size() ? entries[e + 1].dataOffset : fileSize - tailSize;
    return end - entries[e].dataOffset;
}

namespace {

// Reads the n directory records backwards from the end and checks that the data areas they
// describe lie in order below the directory. Throws "The archive is damaged." otherwise.
void ReadRecords(ArchiveSource& source, std::uint32_t n, SfxArchive& archive) {
    const std::uint64_t size = archive.fileSize;
    if (n > (size - kTailSize) / kRecordFixedSize)
        Damaged();
    archive.entries.resize(n);
    // The records are read backwards through a window of the file's end, so that a directory of
    // many entries costs a few reads rather than three per record.
    std::vector<std::uint8_t> window;
    std::uint64_t windowStart = size, windowEnd = size;
    const auto readBack = [&](std::uint64_t d, std::size_t len) -> const std::uint8_t* {
        if (d > size || len > d)
            Damaged();
        const std::uint64_t start = size - d;
        if (start < windowStart || start + len > windowEnd) {
            windowEnd = start + len;
            windowStart =
                windowEnd - std::min<std::uint64_t>(windowEnd, std::max<std::size_t>(len, kReadAhead / 4));
            window.resize(std::size_t(windowEnd - windowStart));
            if (!source.ReadAt(windowStart, window.data(), window.size()))
                Damaged();
        }
        return window.data() + (start - windowStart);
    };
    std::uint64_t d = kTailSize;
    for (std::uint32_t k = 0; k < n; ++k) {
        SfxEntry& entry = archive.entries[n - 1 - k];
        d += 4;
        const std::uint32_t l = LoadU32(readBack(d, 4));
        if (l == 0 || l > kMaxNameLength)
            Damaged();
        d += l;
        entry.name.assign(reinterpret_cast<const char*>(readBack(d, l)), l);
        d += 24;
        const std::uint8_t* words = readBack(d, 24);
        entry.dataOffset = LoadU32(words);
        entry.spare = LoadU32(words + 4);
        entry.creationTime = std::uint64_t(LoadU32(words + 8)) | std::uint64_t(LoadU32(words + 12)) << 32;
        entry.lastWriteTime = std::uint64_t(LoadU32(words + 16)) | std::uint64_t(LoadU32(words + 20)) << 32;
    }
    archive.count = n;
    archive.tailSize = d;

    // Each data area runs from its offset to the next one (the last to the directory) and holds
    // at least one chunk length; anything else would make the chunk loop read outside it.
    const std::uint64_t dataEnd = size - d;
    for (std::uint32_t e = 0; e < n; ++e) {
        const std::uint64_t start = archive.entries[e].dataOffset;
        const std::uint64_t end = e + 1 < n ? archive.entries[e + 1].dataOffset : dataEnd;
        if (end > dataEnd || start > end || end - start < 4)
            Damaged();
    }
}

// Whether the chunk lengths, which are stored in the clear, fill every data area exactly. True
// for any intact archive whatever the password; a file that was cut, extended or shifted fails.
bool ChunksFillTheirAreas(ArchiveSource& source, const SfxArchive& archive) {
    for (std::size_t e = 0; e < archive.count; ++e) {
        std::uint64_t at = archive.entries[e].dataOffset;
        const std::uint64_t end = at + archive.DataAreaSize(e);
        do {
            std::uint8_t length[4];
            if (end - at < 4 || !source.ReadAt(at, length, 4))
                return false;
            const std::uint32_t n = LoadU32(length);
            if (n == 0 || n > kMaxStoredChunk || n > end - at - 4)
                return false;
            at += 4 + std::uint64_t(n);
        } while (at < end);
    }
    return true;
}

} // namespace

void ReadDirectory(ArchiveSource& source, const std::string& password, SfxArchive& archive) {
    archive = SfxArchive{};
    archive.password = password;
    const std::uint64_t size = source.Size();
    archive.fileSize = size;
    std::uint8_t tail[kTailSize];
    if (size < kTailSize || !source.ReadAt(size - kTailSize, tail, kTailSize))
        Damaged();
    const std::uint32_t n = LoadU32(tail);
    // The password is tested first: a right one reads nothing else before it is known right.
    const CheckWords check = VerifyPassword(password);
    if (check.word1 != LoadU32(tail + 4) || check.word2 != LoadU32(tail + 8)) {
        // Words that differ may also mean a file that was cut or had bytes appended: its tail
        // is then read from the wrong place. Only an archive whose layout holds together is
        // reported as a wrong password; nothing is written either way. (A count of 0 leaves
        // nothing to check and stays a wrong password, as for an empty archive.)
        if (n != 0) {
            SfxArchive layout;
            layout.fileSize = size;
            ReadRecords(source, n, layout);
            if (!ChunksFillTheirAreas(source, layout))
                Damaged();
        }
        throw EException(kMsgInvalidPassword);
    }
    if (n == 0)
        throw EException(kMsgNoFiles);
    ReadRecords(source, n, archive);
}

ChunkDecoder::ChunkDecoder(const std::string& password)
    : m_keystream(MakeKeySchedule(password)), m_inflated(kMaxChunkContent) {}

void ChunkDecoder::Decode(ArchiveSource& source, std::uint64_t offset, std::uint64_t size,
                          const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
    std::uint64_t filePos = offset;
    const std::uint64_t areaEnd = offset + size;
    std::size_t winStart = 0, winEnd = 0;
    // Makes k bytes of the area available at m_window[winStart].
    auto need = [&](std::size_t k) {
        const std::size_t avail = winEnd - winStart;
        if (avail >= k)
            return;
        if (avail)
            std::memmove(m_window.data(), m_window.data() + winStart, avail);
        winStart = 0;
        winEnd = avail;
        const std::uint64_t left = areaEnd - filePos;
        const std::size_t toRead =
            std::size_t(std::min<std::uint64_t>(std::max(k, kReadAhead) - avail, left));
        if (avail + toRead < k)
            Damaged();
        if (m_window.size() < avail + toRead)
            m_window.resize(avail + toRead);
        if (!source.ReadAt(filePos, m_window.data() + avail, toRead))
            Damaged();
        filePos += toRead;
        winEnd = avail + toRead;
    };

    std::uint64_t remainder = size;
    do {
        if (remainder < 4)
            Damaged();
        need(4);
        const std::uint32_t n = LoadU32(m_window.data() + winStart);
        winStart += 4;
        remainder -= 4;
        if (n == 0 || n > remainder || n > kMaxStoredChunk)
            Damaged();
        need(n);
        // Deciphered in place: the window's bytes are not needed again.
        std::uint8_t* chunk = m_window.data() + winStart;
        m_keystream.Apply(chunk, chunk, n);
        winStart += n;
        remainder -= n;
        uLongf produced = kMaxChunkContent;
        uLong consumed = n;
        // The stream must end exactly at the chunk's end and fit 65536 bytes; a longer one gives
        // Z_BUF_ERROR, a cut one Z_DATA_ERROR.
        const int rc = ::uncompress2(m_inflated.data(), &produced, chunk, &consumed);
        if (rc != Z_OK || consumed != n)
            Damaged();
        sink(m_inflated.data(), std::size_t(produced));
    } while (remainder > 0);
}

} // namespace sfx
