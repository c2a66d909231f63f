#pragma once

// The archive's layout on disk, shared by its reader and writer (engine-internal): the trailer,
// the directory's encoding, and the keys each stream has of its own.

#include "corecrypt/Archive.h"
#include "corecrypt/FileFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corecrypt::archive {

constexpr char kTrailerMagic[8] = {'Q', 'M', 'P', 'A', 'E', 'N', 'D', '1'};
constexpr std::size_t kTrailerSize = 24;
constexpr std::size_t kMaxPathLength = 4096;
// The directory is held in memory: this bounds what a hostile archive can make us allocate.
constexpr std::uint64_t kMaxDirectorySize = std::uint64_t{256} << 20;
constexpr std::size_t kEntryFixed = 2 + 8 + 8 + 4 + 8 + 4 + 1 + 8 + 8 + 16;
constexpr std::size_t kCopySize = 1 << 20;

// Each stream's own keys and IV, from the master key and the stream's ID.
bool StreamKeys(const FileHeader& archive, const SecureBytes& master, const std::uint8_t id[16],
                FileHeader& stream, FileKeys& keys, std::string& error);

std::string EncodeDirectory(const std::vector<ArchiveEntry>& entries);

bool DecodeDirectory(const std::string& bytes, std::uint64_t dataEnd, std::vector<ArchiveEntry>& entries,
                     std::string& error);

} // namespace corecrypt::archive
