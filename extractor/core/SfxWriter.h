#pragma once

// Writes the archive part of a self-extracting file: each entry's data area as chunks of at most
// 65536 content bytes (compressed, then enciphered), then the directory and the tail.
#include "extractor/core/SfxFormat.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sfx {

class SfxWriter {
public:
    using Sink = std::function<void(const void* data, std::size_t size)>;
    // Returns up to `size` bytes of an entry's content; 0 at its end. Throws on a read error.
    using Reader = std::function<std::size_t(std::uint8_t* buffer, std::size_t size)>;

    // `startOffset` is the size of the program written in front, so that data offsets count from
    // the first byte of the whole file. Throws std::runtime_error for a password over 1023 bytes.
    SfxWriter(const std::string& password, std::uint64_t startOffset, Sink sink);

    // Throws std::runtime_error for a name that is empty or longer than 1000 bytes, or when the
    // file would reach 2 GiB.
    void AddEntry(const std::string& storedName, std::uint64_t creationTime, std::uint64_t lastWriteTime,
                  const Reader& read);
    void AddEntry(const std::string& storedName, std::uint64_t creationTime, std::uint64_t lastWriteTime,
                  std::string_view content);
    // Writes the directory and the tail.
    void Finish();

    std::uint64_t Position() const { return m_position; }

private:
    void Put(const void* data, std::size_t size);
    void PutChunk(const std::uint8_t* content, std::size_t size);

    std::string m_password;
    Keystream m_keystream;
    Sink m_sink;
    std::uint64_t m_position;
    std::vector<SfxEntry> m_entries;
    std::vector<std::uint8_t> m_content;
    std::vector<std::uint8_t> m_compressed;
    std::vector<std::uint8_t> m_enciphered;
};

// An archive in memory, for tests and seed files: `prefix` stands for the program in front.
struct MemoryEntry {
    std::string name;
    std::string content;
    std::uint64_t creationTime = 0;
    std::uint64_t lastWriteTime = 0;
};
std::string BuildArchive(const std::string& password, const std::vector<MemoryEntry>& entries,
                         const std::string& prefix = {});

} // namespace sfx
