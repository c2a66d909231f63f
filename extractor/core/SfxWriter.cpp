#include "extractor/core/SfxWriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <zlib.h>

namespace sfx {
namespace {

constexpr std::size_t kMaxPasswordLength = 1023;
// Positions in the file are signed 32-bit values for the extractor.
constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFFull;

} // namespace

SfxWriter::SfxWriter(const std::string& password, std::uint64_t startOffset, Sink sink)
    : m_password(password), m_keystream(MakeKeySchedule(password)), m_sink(std::move(sink)),
      m_position(startOffset), m_content(kMaxChunkContent), m_compressed(compressBound(kMaxChunkContent)),
      m_enciphered(compressBound(kMaxChunkContent)) {
    if (password.size() > kMaxPasswordLength)
        throw std::runtime_error("the password is longer than 1023 bytes");
}

void SfxWriter::Put(const void* data, std::size_t size) {
    if (m_position + size > kMaxFileSize)
        throw std::runtime_error("the self-extracting file would reach 2 GiB");
    m_sink(data, size);
    m_position += size;
}

void SfxWriter::PutChunk(const std::uint8_t* content, std::size_t size) {
    uLongf stored = uLongf(m_compressed.size());
    if (::compress2(m_compressed.data(), &stored, content, uLong(size), Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("compression failed");
    m_keystream.Apply(m_compressed.data(), m_enciphered.data(), stored);
    std::string length;
    AppendU32(length, std::uint32_t(stored));
    Put(length.data(), length.size());
    Put(m_enciphered.data(), stored);
}

void SfxWriter::AddEntry(const std::string& storedName, std::uint64_t creationTime,
                         std::uint64_t lastWriteTime, const Reader& read) {
    if (storedName.empty() || storedName.size() > kMaxNameLength)
        throw std::runtime_error("the name \"" + storedName + "\" is empty or longer than 1000 bytes");
    SfxEntry entry;
    entry.name = storedName;
    entry.dataOffset = std::uint32_t(m_position);
    entry.creationTime = creationTime;
    entry.lastWriteTime = lastWriteTime;
    // Always at least one chunk: an empty file is one stream that inflates to nothing.
    bool first = true;
    for (;;) {
        std::size_t filled = 0;
        while (filled < kMaxChunkContent) {
            const std::size_t got = read(m_content.data() + filled, kMaxChunkContent - filled);
            if (got == 0)
                break;
            filled += got;
        }
        if (filled == 0 && !first)
            break;
        PutChunk(m_content.data(), filled);
        first = false;
        if (filled < kMaxChunkContent)
            break;
    }
    m_entries.push_back(std::move(entry));
}

void SfxWriter::AddEntry(const std::string& storedName, std::uint64_t creationTime,
                         std::uint64_t lastWriteTime, std::string_view content) {
    std::size_t pos = 0;
    AddEntry(storedName, creationTime, lastWriteTime, [&](std::uint8_t* buffer, std::size_t size) {
        const std::size_t n = std::min(size, content.size() - pos);
        std::memcpy(buffer, content.data() + pos, n);
        pos += n;
        return n;
    });
}

void SfxWriter::Finish() {
    std::string directory;
    for (const SfxEntry& e : m_entries)
        directory += EncodeRecord(e);
    directory += EncodeTail(std::uint32_t(m_entries.size()), VerifyPassword(m_password));
    Put(directory.data(), directory.size());
}

std::string BuildArchive(const std::string& password, const std::vector<MemoryEntry>& entries,
                         const std::string& prefix) {
    std::string out = prefix;
    SfxWriter writer(password, prefix.size(), [&](const void* data, std::size_t size) {
        out.append(static_cast<const char*>(data), size);
    });
    for (const MemoryEntry& e : entries)
        writer.AddEntry(e.name, e.creationTime, e.lastWriteTime, e.content);
    writer.Finish();
    return out;
}

} // namespace sfx
