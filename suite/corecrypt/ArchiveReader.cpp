#include "corecrypt/ArchiveReader.h"

#include "corecrypt/ArchiveFormat.h"
#include "corecrypt/QMException.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unordered_map>

namespace corecrypt {
namespace archive {
namespace {

// Collects the directory stream, within its stated size and the overall bound.
class MemorySink : public PlainSink {
public:
    explicit MemorySink(std::uint64_t limit) : m_limit(limit) {}
    bool Begin(const FileMetadata& m, std::string& error) override {
        if (m.size > m_limit) {
            error = "The archive's directory is damaged (too large).";
            return false;
        }
        m_bytes.reserve(static_cast<std::size_t>(m.size));
        return true;
    }
    bool Write(const std::uint8_t* data, std::size_t size, std::string&) override {
        m_bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    std::string& bytes() { return m_bytes; }

private:
    std::uint64_t m_limit;
    std::string m_bytes;
};

} // namespace

bool OpenArchiveData(RandomSource& src, const OpeningKey& key, const std::string& name, OpenedArchive& a,
                     std::string& error, const SecureBytes* knownMaster) {
    const std::uint64_t size = src.Size();
    std::uint8_t bytes[kHeaderSize];
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeaderSize));
    int code = 0;
    if (!src.ReadAt(0, bytes, got, error))
        return false;
    if (!ParseFileHeader(bytes, got, a.header, code, error)) {
        error = name + ": " + error;
        return false;
    }
    if (!a.header.archive) {
        error = name + " is not an encrypted archive.";
        return false;
    }
    const FileHeader& h = a.header;
    if (!knownMaster && h.keyFile && !key.haveKeyFile)
        throw CQMException(kArchivePasswordNeeded, "The archive " + name + " needs its key file.");
    if (!knownMaster && !h.keyFile && key.password.empty())
        throw CQMException(kArchivePasswordNeeded, "The archive " + name + " needs a password.");
    if (!knownMaster && h.keyFile && std::memcmp(key.keyId, h.keyId(), kKeyIdSize) != 0)
        throw CQMException(kArchiveWrongKey, "The key file does not open the archive " + name + ".");
    FileKeys keys;
    if (knownMaster) {
        a.master = *knownMaster;
        if (!ExpandFileKeys(a.master, h.code, "quillmark qmp keys " + std::to_string(h.code), keys, error))
            return false;
    } else if (!DeriveFileKeys(h, key, keys, error, &a.master)) {
        return false;
    }
    if (!HeaderMacMatches(h, keys, error)) {
        if (!error.empty())
            return false;
        throw CQMException(kArchiveWrongKey, (h.keyFile ? "Wrong key file, or the archive "
                                                        : "Wrong password, or the archive ") +
                                                 name + " is damaged.");
    }
    if (size < kHeaderSize + kTrailerSize) {
        error = "The archive " + name + " is truncated.";
        return false;
    }
    std::uint8_t trailer[kTrailerSize];
    if (!src.ReadAt(size - kTrailerSize, trailer, kTrailerSize, error))
        return false;
    const std::uint64_t dirOffset = GetLE(trailer, 8);
    const std::uint64_t dirLength = GetLE(trailer + 8, 8);
    const std::uint64_t dirEnd = size - kTrailerSize;
    if (std::memcmp(trailer + 16, kTrailerMagic, 8) != 0 || dirOffset < kHeaderSize || dirOffset > dirEnd ||
        dirLength != dirEnd - dirOffset) {
        error = "The archive " + name + " is truncated or damaged (no directory at its end).";
        return false;
    }
    const std::uint8_t zero[16] = {};
    FileHeader dirHeader;
    FileKeys dirKeys;
    if (!StreamKeys(h, a.master, zero, dirHeader, dirKeys, error))
        return false;
    // zlib expands at most about a thousandfold: a tiny stream cannot claim a huge directory.
    MemorySink sink(std::min(kMaxDirectorySize, dirLength * 1100 + 1024));
    RangeSource in(src, dirOffset, dirLength);
    if (!DecryptStream(in, dirHeader, dirKeys, sink, name + " (directory)", false, error))
        return false;
    a.dataEnd = dirOffset;
    if (!DecodeDirectory(sink.bytes(), dirOffset, a.entries, error)) {
        error = name + ": " + error;
        return false;
    }
    return true;
}

bool ArchiveFile::Open(const std::string& path, const std::string& keyOrPassword, bool keyFile,
                       OpenedArchive& a, std::string& error) {
    struct stat st {};
    m_fd = std::make_unique<Fd>(OpenRegularFile(path, st, error));
    if (m_fd->get() < 0)
        return false;
    m_source = std::make_unique<FileRandomSource>(m_fd->get(), static_cast<std::uint64_t>(st.st_size), path);
    if (keyFile && !LoadOpeningKey(keyOrPassword, true, m_key, error))
        return false;
    if (!keyFile)
        m_key.password = keyOrPassword;
    return OpenArchiveData(*m_source, m_key, path, a, error);
}

bool DecryptEntry(RandomSource& src, const OpenedArchive& a, const ArchiveEntry& e, PlainSink& sink,
                  std::string& error) {
    FileHeader streamHeader;
    FileKeys keys;
    if (!StreamKeys(a.header, a.master, e.stream, streamHeader, keys, error))
        return false;
    RangeSource in(src, e.offset, e.length);
    return DecryptStream(in, streamHeader, keys, sink, e.path, false, error);
}

// Marks the entries named; false with a reason for a name the archive does not hold.
bool SelectEntries(const OpenedArchive& a, const std::vector<std::string>& names, std::vector<bool>& selected,
                   std::string& error) {
    selected.assign(a.entries.size(), names.empty());
    if (names.empty())
        return true;
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < a.entries.size(); ++i)
        index.emplace(a.entries[i].path, i);
    for (const std::string& n : names) {
        const auto it = index.find(n);
        if (it == index.end()) {
            error = "The archive holds no entry " + n + ".";
            return false;
        }
        selected[it->second] = true;
    }
    return true;
}

} // namespace archive

using namespace archive;

bool ListArchive(const std::string& archive, const std::string& keyOrPassword, bool keyFile,
                 std::vector<ArchiveEntry>& entries, std::string& error) {
    ArchiveFile file;
    OpenedArchive a;
    if (!file.Open(archive, keyOrPassword, keyFile, a, error))
        return false;
    entries = std::move(a.entries);
    return true;
}

bool CheckArchiveBytes(const std::uint8_t* data, std::size_t size, const std::string& keyOrPassword,
                       bool keyFile, const std::uint8_t* keyId, const std::uint8_t* keySecret,
                       std::size_t keySecretSize, bool extract, std::vector<ArchiveEntry>& entries,
                       std::string& error) {
    MemoryRandomSource src(data, size);
    OpeningKey key;
    if (keyFile) {
        key.haveKeyFile = true;
        std::memcpy(key.keyId, keyId, kKeyIdSize);
        key.keySecret.Assign(keySecret, keySecretSize);
    } else {
        key.password = keyOrPassword;
    }
    OpenedArchive a;
    if (!OpenArchiveData(src, key, "input", a, error))
        return false;
    entries = a.entries;
    if (!extract)
        return true;
    // Only verified bytes, never more than the directory says, may come out of an entry.
    class Discard : public PlainSink {
    public:
        explicit Discard(std::uint64_t size) : m_size(size) {}
        bool Begin(const FileMetadata& m, std::string& e) override {
            if (m.size != m_size) {
                e = "size mismatch";
                return false;
            }
            return true;
        }
        bool Write(const std::uint8_t*, std::size_t n, std::string&) override {
            m_total += n;
            if (m_total > m_size)
                __builtin_trap();
            return true;
        }

    private:
        std::uint64_t m_size;
        std::uint64_t m_total = 0;
    };
    for (const ArchiveEntry& e : a.entries) {
        Discard sink(e.size);
        if (!DecryptEntry(src, a, e, sink, error))
            return false;
    }
    return true;
}

} // namespace corecrypt
