#include "corecrypt/ArchiveFormat.h"

#include <cstring>

namespace corecrypt {
namespace archive {

bool StreamKeys(const FileHeader& archive, const SecureBytes& master, const std::uint8_t id[16],
                FileHeader& stream, FileKeys& keys, std::string& error) {
    static const char* hex = "0123456789abcdef";
    std::string info = "quillmark qma stream " + std::to_string(archive.code) + " ";
    for (int i = 0; i < 16; ++i) {
        info.push_back(hex[id[i] >> 4]);
        info.push_back(hex[id[i] & 15]);
    }
    stream = archive;
    std::memcpy(stream.bytes + 46, id, 16);
    return ExpandFileKeys(master, archive.code, info, keys, error);
}

std::string EncodeDirectory(const std::vector<ArchiveEntry>& entries) {
    std::string out;
    out.reserve(entries.size() * (kEntryFixed + 32) + 4);
    PutLE(out, entries.size(), 4);
    for (const ArchiveEntry& e : entries) {
        PutLE(out, e.path.size(), 2);
        out += e.path;
        PutLE(out, e.size, 8);
        PutLE(out, static_cast<std::uint64_t>(e.modified), 8);
        PutLE(out, e.modifiedNanos, 4);
        PutLE(out, static_cast<std::uint64_t>(e.accessed), 8);
        PutLE(out, e.accessedNanos, 4);
        out.push_back(e.compressed ? 1 : 0);
        PutLE(out, e.offset, 8);
        PutLE(out, e.length, 8);
        out.append(reinterpret_cast<const char*>(e.stream), 16);
    }
    return out;
}

bool DecodeDirectory(const std::string& bytes, std::uint64_t dataEnd, std::vector<ArchiveEntry>& entries,
                     std::string& error) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t size = bytes.size();
    error = "The archive's directory is damaged.";
    if (size < 4)
        return false;
    const std::uint64_t count = GetLE(p, 4);
    // Every entry takes at least kEntryFixed bytes, so a hostile count cannot reserve much.
    if (count > (size - 4) / kEntryFixed)
        return false;
    entries.clear();
    entries.reserve(static_cast<std::size_t>(count));
    std::size_t at = 4;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (size - at < kEntryFixed)
            return false;
        const std::size_t pathLength = GetLE(p + at, 2);
        if (size - at - kEntryFixed < pathLength)
            return false;
        ArchiveEntry e;
        e.path.assign(reinterpret_cast<const char*>(p + at + 2), pathLength);
        const std::uint8_t* q = p + at + 2 + pathLength;
        e.size = GetLE(q, 8);
        e.modified = static_cast<std::int64_t>(GetLE(q + 8, 8));
        e.modifiedNanos = static_cast<std::uint32_t>(GetLE(q + 16, 4));
        e.accessed = static_cast<std::int64_t>(GetLE(q + 20, 8));
        e.accessedNanos = static_cast<std::uint32_t>(GetLE(q + 28, 4));
        const std::uint8_t flags = q[32];
        e.compressed = (flags & 1) != 0;
        e.offset = GetLE(q + 33, 8);
        e.length = GetLE(q + 41, 8);
        std::memcpy(e.stream, q + 49, 16);
        if ((flags & ~1u) != 0 || e.modifiedNanos >= 1000000000u || e.accessedNanos >= 1000000000u ||
            e.offset < kHeaderSize || e.offset > dataEnd || e.length > dataEnd - e.offset)
            return false;
        if (!ValidEntryPath(e.path)) {
            error = "The archive holds an entry with an unsafe name: " + e.path;
            return false;
        }
        entries.push_back(std::move(e));
        at += kEntryFixed + pathLength;
    }
    if (at != size)
        return false;
    error.clear();
    return true;
}

} // namespace archive

bool ValidEntryPath(const std::string& path) {
    if (path.empty() || path.size() > archive::kMaxPathLength || path.front() == '/' ||
        path.find('\0') != std::string::npos)
        return false;
    std::size_t start = 0;
    while (true) {
        const auto slash = path.find('/', start);
        const std::string part =
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

} // namespace corecrypt
