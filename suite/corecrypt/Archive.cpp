#include "corecrypt/Archive.h"

#include "corecrypt/ErrorText.h"
#include "corecrypt/FileFormat.h"
#include "corecrypt/Paths.h"
#include "corecrypt/QMException.h"
#include "corecrypt/StreamIo.h"
#include "platform/AtomicFile.h"
#include "platform/FolderChain.h"
#include "platform/RegularFile.h"
#include "uikit/Progress.h"
#include "uikit/Ui.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace corecrypt {
namespace {

constexpr char kTrailerMagic[8] = {'Q', 'M', 'P', 'A', 'E', 'N', 'D', '1'};
constexpr std::size_t kTrailerSize = 24;
constexpr std::size_t kMaxPathLength = 4096;
// The directory is held in memory: this bounds what a hostile archive can make us allocate.
constexpr std::uint64_t kMaxDirectorySize = std::uint64_t{256} << 20;
constexpr std::size_t kEntryFixed = 2 + 8 + 8 + 4 + 8 + 4 + 1 + 8 + 8 + 16;
constexpr std::size_t kCopySize = 1 << 20;

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
        while (size > 0) {
            const ssize_t n = ::pread(m_fd, buffer, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = "Cannot read " + m_path +
                        (n < 0 ? std::string(": ") + std::strerror(errno) : " (it ends early).");
                return false;
            }
            buffer += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
        return true;
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

// Counts what goes into the new archive, so each stream knows where it lies.
class CountingFileSink : public ByteSink {
public:
    explicit CountingFileSink(platform::AtomicFile& file) : m_file(file) {}
    bool Write(const std::uint8_t* data, std::size_t size, std::string& error) override {
        if (!m_file.write(data, size, error))
            return false;
        m_written += size;
        return true;
    }
    std::uint64_t written() const { return m_written; }

private:
    platform::AtomicFile& m_file;
    std::uint64_t m_written = 0;
};

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

// Each stream's own keys and IV, from the master key and the stream's ID.
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

// An archive opened with its key: the header, the master key and the directory.
struct OpenedArchive {
    FileHeader header;
    SecureBytes master;
    std::vector<ArchiveEntry> entries;
    std::uint64_t dataEnd = 0; // where the directory stream begins
};

// Throws CQMException 51 or 55 for a missing or wrong key; false with a reason otherwise.
// With `knownMaster` (an archive just written under it) no key is derived and none is needed.
bool OpenArchiveData(RandomSource& src, const OpeningKey& key, const std::string& name, OpenedArchive& a,
                     std::string& error, const SecureBytes* knownMaster = nullptr) {
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

// Writes an archive: the header, streams copied or newly encrypted, then directory and trailer.
class ArchiveWriter {
public:
    ArchiveWriter(const std::string& path, const FileHeader& header, const SecureBytes& master)
        : m_out(path, 0600), m_sink(m_out), m_header(header), m_master(master) {}

    bool Begin(std::string& error) {
        return m_out.open(error) && m_sink.Write(m_header.bytes, kHeaderSize, error);
    }

    // The stream as it is: its keys depend only on the master key and its ID, both kept.
    bool Copy(RandomSource& src, const ArchiveEntry& entry, std::string& error) {
        ArchiveEntry e = entry;
        e.offset = m_sink.written();
        std::vector<std::uint8_t> buffer(
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopySize, entry.length)));
        std::uint64_t at = entry.offset;
        std::uint64_t left = entry.length;
        while (left > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
            if (!src.ReadAt(at, buffer.data(), n, error) || !m_sink.Write(buffer.data(), n, error))
                return false;
            at += n;
            left -= n;
        }
        m_entries.push_back(std::move(e));
        return true;
    }

    bool Add(const std::string& source, const std::string& path, bool compress, std::string& error) {
        struct stat st {};
        Fd in(OpenRegularFile(source, st, error));
        if (in.get() < 0)
            return false;
        const FileMetadata meta = MetadataOf(st, compress);
        ArchiveEntry e;
        e.path = path;
        e.size = meta.size;
        e.modified = meta.modified;
        e.modifiedNanos = meta.modifiedNanos;
        e.accessed = meta.accessed;
        e.accessedNanos = meta.accessedNanos;
        e.compressed = compress;
        e.offset = m_sink.written();
        if (!NewStreamId(e.stream, error))
            return false;
        FileHeader streamHeader;
        FileKeys keys;
        if (!StreamKeys(m_header, m_master, e.stream, streamHeader, keys, error))
            return false;
        ChunkWriter writer(streamHeader, keys, m_sink);
        if (!EncryptStream(in.get(), source, meta, writer, error))
            return false;
        e.length = m_sink.written() - e.offset;
        m_entries.push_back(std::move(e));
        return true;
    }

    bool Finish(std::string& error) {
        const std::string directory = EncodeDirectory(m_entries);
        const std::uint64_t dirOffset = m_sink.written();
        const std::uint8_t zero[16] = {};
        FileHeader dirHeader;
        FileKeys keys;
        if (!StreamKeys(m_header, m_master, zero, dirHeader, keys, error))
            return false;
        FileMetadata meta;
        meta.compressed = true;
        meta.size = directory.size();
        const std::string record = EncodeMetadata(meta);
        {
            ChunkWriter writer(dirHeader, keys, m_sink);
            Compressor data(writer, true);
            if (!writer.Add(reinterpret_cast<const std::uint8_t*>(record.data()), record.size(), error) ||
                !data.Add(reinterpret_cast<const std::uint8_t*>(directory.data()), directory.size(), true,
                          error) ||
                !writer.Finish(error))
                return false;
        }
        std::string trailer;
        PutLE(trailer, dirOffset, 8);
        PutLE(trailer, m_sink.written() - dirOffset, 8);
        trailer.append(kTrailerMagic, 8);
        return m_sink.Write(reinterpret_cast<const std::uint8_t*>(trailer.data()), trailer.size(), error) &&
               m_out.commit(error);
    }

    const std::vector<ArchiveEntry>& entries() const { return m_entries; }

private:
    bool NewStreamId(std::uint8_t id[16], std::string& error) {
        // All zero is the directory's ID.
        do {
            if (!RandomBytes(id, 16, error))
                return false;
        } while (std::all_of(id, id + 16, [](std::uint8_t b) { return b == 0; }));
        return true;
    }

    platform::AtomicFile m_out;
    CountingFileSink m_sink;
    const FileHeader& m_header;
    const SecureBytes& m_master;
    std::vector<ArchiveEntry> m_entries;
};

// An archive file opened for reading.
// An archive file opened for reading with its key.
class ArchiveFile {
public:
    // Opens `path` with the password or the key file, whichever its header asks for.
    bool Open(const std::string& path, const std::string& keyOrPassword, bool keyFile, OpenedArchive& a,
              std::string& error) {
        struct stat st {};
        m_fd = std::make_unique<Fd>(OpenRegularFile(path, st, error));
        if (m_fd->get() < 0)
            return false;
        m_source =
            std::make_unique<FileRandomSource>(m_fd->get(), static_cast<std::uint64_t>(st.st_size), path);
        if (keyFile && !LoadOpeningKey(keyOrPassword, true, m_key, error))
            return false;
        if (!keyFile)
            m_key.password = keyOrPassword;
        return OpenArchiveData(*m_source, m_key, path, a, error);
    }
    RandomSource& source() { return *m_source; }

private:
    std::unique_ptr<Fd> m_fd;
    std::unique_ptr<FileRandomSource> m_source;
    OpeningKey m_key;
};

// Reports progress; false once the run was cancelled.
bool Progress(CALLBACKSTRUCT_* cb, const std::string& current, uikit::IProgressIndicator* bar) {
    if (!cb)
        return true;
    if (!cb->ShouldContinue()) {
        *cb->pbStopped = 1;
        return false;
    }
    cb->csCurrent = current;
    ++cb->nCurrent;
    if (bar)
        bar->step();
    if (cb->pfnCallBack)
        cb->pfnCallBack(cb);
    if (!cb->ShouldContinue()) {
        *cb->pbStopped = 1;
        return false;
    }
    return true;
}

const char* kCancelled = "The operation was cancelled; the archive was left as it was.";

// Copies the kept entries of `a` into `writer` byte for byte. With `report` each copied entry
// counts as progress (a deletion); otherwise only the update bar moves, since an add counts the
// files it adds.
bool CopyKeptEntries(ArchiveWriter& writer, RandomSource& src, const OpenedArchive& a,
                     const std::vector<bool>& keep, CALLBACKSTRUCT_* cb, bool report, std::string& error) {
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        if (!keep[i])
            continue;
        bool go = true;
        if (report) {
            go = Progress(cb, a.entries[i].path, cb ? cb->hWndUpdateProgress : nullptr);
        } else if (cb) {
            go = cb->ShouldContinue();
            if (!go)
                cb->MarkStopped();
            else if (cb->hWndUpdateProgress)
                cb->hWndUpdateProgress->step();
        }
        if (!go) {
            error = kCancelled;
            return false;
        }
        if (!writer.Copy(src, a.entries[i], error))
            return false;
    }
    return true;
}

// Writes `a` again without the entries not kept, beside the old file, then replaces it.
bool Rewrite(const std::string& path, RandomSource& src, const OpenedArchive& a,
             const std::vector<bool>& keep, CALLBACKSTRUCT_* cb, std::string& error) {
    ArchiveWriter writer(path, a.header, a.master);
    return writer.Begin(error) && CopyKeptEntries(writer, src, a, keep, cb, true, error) &&
           writer.Finish(error);
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "zip;JPG, *.png .gz" → {"zip", "jpg", "png", "gz"}
std::set<std::string> ParseExtensions(const std::string& text) {
    std::set<std::string> out;
    std::string word;
    auto flush = [&] {
        std::size_t start = word.find_first_not_of("*.");
        if (start != std::string::npos)
            out.insert(Lower(word.substr(start)));
        word.clear();
    };
    for (char c : text) {
        if (c == ';' || c == ',' || c == ' ' || c == '\t')
            flush();
        else
            word.push_back(c);
    }
    flush();
    return out;
}

bool ShouldCompress(const std::string& path, bool compress, const std::set<std::string>& exceptions) {
    if (!compress)
        return false;
    const std::string base = BaseName(path);
    const auto dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 || !exceptions.count(Lower(base.substr(dot + 1)));
}

using Source = ArchiveSource;

// The regular files of `folder` (and below, with `recurse`); links are not followed.
bool CollectFolder(const std::string& folder, const std::string& prefix, bool recurse,
                   std::vector<Source>& out, std::string& error) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        error = "Cannot open the folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> names;
    while (dirent* d = ::readdir(dir)) {
        const std::string n = d->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        const std::string full = folder + "/" + n;
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0)
            continue;
        if (S_ISREG(st.st_mode))
            out.push_back({full, prefix + n});
        else if (S_ISDIR(st.st_mode) && recurse && !CollectFolder(full, prefix + n + "/", true, out, error))
            return false;
    }
    return true;
}

bool SameFile(const std::string& a, const struct stat& b) {
    struct stat st {};
    return ::stat(a.c_str(), &st) == 0 && st.st_dev == b.st_dev && st.st_ino == b.st_ino;
}

// Opens the folder above `entry` below the output folder level by level, making what is missing
// and refusing any level that is a symbolic link or not a folder, so that nothing is written
// outside the output folder; the full target path, or empty with a reason.
std::string PrepareTarget(platform::FolderTree& folders, const std::string& entry, std::string& error,
                          int& folderFd, std::string& name) {
    const auto slash = entry.rfind('/');
    const std::string parent = slash == std::string::npos ? std::string() : entry.substr(0, slash);
    name = entry.substr(slash == std::string::npos ? 0 : slash + 1);
    platform::FolderProblem problem = platform::FolderProblem::None;
    std::string level;
    folderFd = folders.Open(parent, true, 0755, problem, level);
    if (folderFd >= 0)
        return folders.rootPath() + "/" + entry;
    if (problem == platform::FolderProblem::Link)
        error = "Refused to extract " + entry + ": the folder " + level + " is a symbolic link.";
    else if (problem == platform::FolderProblem::NotAFolder)
        error = "Cannot extract " + entry + ": " + level + " is not a folder.";
    else
        error = "Cannot create the folder " + level + ": " + std::strerror(errno);
    return {};
}

bool EntrySizeMatches(const FileMetadata& m, const ArchiveEntry& entry, std::string& error) {
    if (m.size == entry.size)
        return true;
    error = "The entry " + entry.path + " is damaged (its size does not match the directory).";
    return false;
}

// A small entry deciphered ahead of its turn: its verified bytes, or why it failed.
struct PrefetchedEntry {
    bool ok = false;
    FileMetadata meta;
    std::string bytes;
    std::string error;
};

// Writes one verified entry as an unnamed file in its folder, named only once complete.
class EntryOutput : public PlainSink {
public:
    EntryOutput(int folderFd, const std::string& name, const std::string& target, const ArchiveEntry& entry,
                bool overwrite)
        : m_out(folderFd, name, target, 0600, platform::AtomicFile::Content::Plaintext), m_entry(entry) {
        // The archive keeps the entry, so each file need not wait for the disk; decrypt-and-remove
        // syncs once before it takes entries out.
        m_out.setDurable(false);
        m_out.setReplace(overwrite);
    }
    bool Begin(const FileMetadata& m, std::string& error) override {
        if (!EntrySizeMatches(m, m_entry, error))
            return false;
        m_begun = true;
        return m_out.open(error);
    }
    bool Write(const std::uint8_t* data, std::size_t size, std::string& error) override {
        return m_out.write(data, size, error);
    }
    // An entry deciphered ahead, handed over as the decryption would have handed it.
    bool Replay(const PrefetchedEntry& early, std::string& error) {
        if (!early.ok) {
            error = early.error;
            return false;
        }
        return Begin(early.meta, error) &&
               (early.bytes.empty() ||
                Write(reinterpret_cast<const std::uint8_t*>(early.bytes.data()), early.bytes.size(), error));
    }
    bool Commit(bool restoreTimes, std::string& error) {
        if (!m_begun) {
            error = "Nothing was decrypted.";
            return false;
        }
        if (restoreTimes)
            SetFileTimes(m_out.fd(), m_entry.accessed, m_entry.accessedNanos, m_entry.modified,
                         m_entry.modifiedNanos);
        return m_out.commit(error);
    }

private:
    platform::AtomicFile m_out;
    const ArchiveEntry& m_entry;
    bool m_begun = false;
};

bool DecryptEntry(RandomSource& src, const OpenedArchive& a, const ArchiveEntry& e, PlainSink& sink,
                  std::string& error) {
    FileHeader streamHeader;
    FileKeys keys;
    if (!StreamKeys(a.header, a.master, e.stream, streamHeader, keys, error))
        return false;
    RangeSource in(src, e.offset, e.length);
    return DecryptStream(in, streamHeader, keys, sink, e.path, false, error);
}

class CaptureSink : public PlainSink {
public:
    CaptureSink(PrefetchedEntry& out, const ArchiveEntry& entry) : m_out(out), m_entry(entry) {}
    bool Begin(const FileMetadata& m, std::string& error) override {
        if (!EntrySizeMatches(m, m_entry, error))
            return false;
        m_out.meta = m;
        m_out.bytes.reserve(static_cast<std::size_t>(m.size));
        return true;
    }
    bool Write(const std::uint8_t* data, std::size_t size, std::string&) override {
        m_out.bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
    }

private:
    PrefetchedEntry& m_out;
    const ArchiveEntry& m_entry;
};

// Deciphers the selected entries that fit in one chunk on a thread of its own, a few ahead of
// the loop that writes them, so that the cipher work of one file overlaps the file-system calls
// of the one before: a tree of many small files takes one core's time less. Larger entries are
// left to the loop, whose chunk pipeline spreads them over the cores anyway.
class EntryPrefetch {
public:
    EntryPrefetch(RandomSource& src, const OpenedArchive& a, const std::vector<bool>& selected)
        : m_src(src), m_archive(a), m_small(a.entries.size(), false) {
        for (std::size_t i = 0; i < a.entries.size(); ++i)
            // One chunk stored, and little once inflated, so that the entries held ahead stay small.
            if (selected[i] && a.entries[i].length <= a.header.chunkSize + kTagSize &&
                a.entries[i].size <= 4 * a.header.chunkSize) {
                m_small[i] = true;
                m_order.push_back(i);
            }
        if (m_order.size() < 2)
            return;
        try {
            m_thread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // Without a thread, Take deciphers each entry when it is asked for.
        }
    }
    ~EntryPrefetch() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    EntryPrefetch(const EntryPrefetch&) = delete;
    EntryPrefetch& operator=(const EntryPrefetch&) = delete;

    bool Covers(std::size_t i) const { return m_small[i]; }

    // Entry i's result; the covered entries must be taken in archive order, each once.
    PrefetchedEntry Take(std::size_t i) {
        if (!m_thread.joinable())
            return Decipher(i);
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_ready.empty(); });
        PrefetchedEntry result = std::move(m_ready.front());
        m_ready.pop_front();
        lock.unlock();
        m_changed.notify_all();
        return result;
    }

private:
    static constexpr std::size_t kAhead = 16; // a few MiB at the most

    PrefetchedEntry Decipher(std::size_t i) {
        PrefetchedEntry result;
        const ArchiveEntry& e = m_archive.entries[i];
        try {
            CaptureSink sink(result, e);
            result.ok = DecryptEntry(m_src, m_archive, e, sink, result.error);
        } catch (const std::bad_alloc&) {
            result.ok = false;
            result.error = "Out of memory while decrypting " + e.path + ".";
        }
        return result;
    }

    void Run() {
        for (std::size_t i : m_order) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop || m_ready.size() < kAhead; });
                if (m_stop)
                    return;
            }
            PrefetchedEntry result = Decipher(i);
            {
                std::lock_guard lock(m_mutex);
                m_ready.push_back(std::move(result));
            }
            m_changed.notify_all();
        }
    }

    RandomSource& m_src;
    const OpenedArchive& m_archive;
    std::vector<bool> m_small;
    std::vector<std::size_t> m_order;
    std::deque<PrefetchedEntry> m_ready;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    std::thread m_thread;
};

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

} // namespace

bool ValidEntryPath(const std::string& path) {
    if (path.empty() || path.size() > kMaxPathLength || path.front() == '/' ||
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

bool CollectArchiveSources(const std::vector<std::string>& sources, bool recurse,
                           std::vector<ArchiveSource>& out, std::string& error) {
    for (std::string s : sources) {
        while (s.size() > 1 && s.back() == '/')
            s.pop_back();
        struct stat st {};
        if (::stat(s.c_str(), &st) != 0) {
            error = "Cannot find " + s + ".";
            return false;
        }
        // "/./" marks where the entry name begins; otherwise it is the last part of the path.
        const auto anchor = s.find("/./");
        std::string name = anchor == std::string::npos ? BaseName(s) : s.substr(anchor + 3);
        if (S_ISDIR(st.st_mode) && (name == "." || name == ".." || name == "/"))
            name.clear();
        if ((S_ISREG(st.st_mode) || !name.empty()) && !ValidEntryPath(name)) {
            error = "Cannot add " + s + ": its name in the archive would be \"" + name + "\".";
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!CollectFolder(s, name.empty() ? "" : name + "/", recurse, out, error))
                return false;
        } else if (S_ISREG(st.st_mode)) {
            out.push_back({s, name});
        } else {
            error = s + " is not a regular file.";
            return false;
        }
    }
    return true;
}

namespace {

// Reads the archive just written back under the master key it was written with: its directory
// must list each added entry where it was written, and the entry must decrypt to the present bytes
// of its source. Each added source is reported, proven or with the reason why not.
bool ReadBackAdded(const std::string& archive, const FileHeader& header, const SecureBytes& master,
                   const std::vector<std::pair<const Source*, ArchiveEntry>>& added,
                   std::vector<AddedSource>& out, std::string& error) {
    struct stat st {};
    Fd fd(OpenRegularFile(archive, st, error));
    if (fd.get() < 0)
        return false;
    FileRandomSource src(fd.get(), static_cast<std::uint64_t>(st.st_size), archive);
    OpenedArchive b;
    const OpeningKey none;
    if (!OpenArchiveData(src, none, archive, b, error, &master))
        return false;
    if (std::memcmp(b.header.bytes, header.bytes, kHeaderSize) != 0) {
        error = "The archive " + archive + " was replaced while it was being written.";
        return false;
    }
    std::unordered_map<std::string, const ArchiveEntry*> listed;
    for (const ArchiveEntry& e : b.entries)
        listed.emplace(e.path, &e);
    for (const auto& [source, written] : added) {
        AddedSource result;
        result.path = source->path;
        result.entry = written.path;
        const auto it = listed.find(written.path);
        if (it == listed.end() || it->second->offset != written.offset ||
            it->second->length != written.length ||
            std::memcmp(it->second->stream, written.stream, 16) != 0) {
            result.error = "The archive does not list the entry " + written.path + " as it was written.";
            out.push_back(std::move(result));
            continue;
        }
        struct stat before {};
        Fd in(OpenRegularFile(source->path, before, result.error));
        if (in.get() >= 0) {
            SourceComparison comparison(in.get(), static_cast<std::uint64_t>(before.st_size), source->path);
            struct stat after {};
            result.verified = DecryptEntry(src, b, *it->second, comparison, result.error) &&
                              comparison.Complete(result.error) && ::fstat(in.get(), &after) == 0 &&
                              platform::SnapshotOf(after) == platform::SnapshotOf(before);
            if (result.verified)
                result.snapshot = platform::SnapshotOf(before);
            else if (result.error.empty())
                result.error = "The file " + source->path + " changed while its entry was checked.";
        }
        out.push_back(std::move(result));
    }
    return true;
}

} // namespace

bool AddToArchive(const std::string& archive, const std::vector<std::string>& sources,
                  const std::string& keyOrPassword, bool keyFile, const ArchiveAddOptions& options,
                  std::string& error, int* added) {
    if (added)
        *added = 0;
    int resolved = 0;
    if (!ResolveAlgorithmMode(options.algorithmMode, resolved)) {
        error = "Unknown algorithm-mode code " + std::to_string(options.algorithmMode) + ".";
        return false;
    }
    std::vector<Source> files;
    if (!CollectArchiveSources(sources, options.recurse, files, error))
        return false;
    struct stat self {};
    const bool exists = ::stat(archive.c_str(), &self) == 0;
    // The archive never goes into itself.
    if (exists)
        files.erase(std::remove_if(files.begin(), files.end(),
                                   [&](const Source& s) { return SameFile(s.path, self); }),
                    files.end());

    ArchiveFile file;
    OpeningKey key;
    OpenedArchive a;
    if (exists) {
        if (!file.Open(archive, keyOrPassword, keyFile, a, error))
            return false;
    } else {
        if (!keyFile && keyOrPassword.empty())
            throw CQMException(kArchivePasswordNeeded,
                               "A password is needed to create the archive " + archive + ".");
        FileKeys headerKeys;
        if (!LoadOpeningKey(keyOrPassword, keyFile, key, error) ||
            !NewFileHeader(resolved, key, a.header, headerKeys, error, true, &a.master))
            return false;
    }

    // Which old entries stay and which files are added, by the overwrite policy.
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < a.entries.size(); ++i)
        index.emplace(a.entries[i].path, i);
    std::vector<bool> keep(a.entries.size(), true);
    std::vector<const Source*> toAdd;
    std::set<std::string> seen;
    for (const Source& s : files) {
        if (!seen.insert(s.entry).second)
            continue; // the same name twice among the sources: the first one wins
        const auto it = index.find(s.entry);
        if (it == index.end()) {
            toAdd.push_back(&s);
            continue;
        }
        bool replace = false;
        switch (options.overwrite) {
        case kReplaceEntry:
            replace = true;
            break;
        case kReplaceOlderEntry: {
            struct stat st {};
            const ArchiveEntry& e = a.entries[it->second];
            replace = ::stat(s.path.c_str(), &st) == 0 &&
                      (st.st_mtim.tv_sec > e.modified ||
                       (st.st_mtim.tv_sec == e.modified && st.st_mtim.tv_nsec > e.modifiedNanos));
            break;
        }
        case kAskEntry:
            replace = uikit::MessageBox("The archive " + archive + " already holds " + s.entry +
                                            ". Replace it with " + s.path + "?",
                                        "Quillmark", uikit::Buttons::YesNo,
                                        uikit::Icon::Question) == uikit::Answer::Yes;
            break;
        default:
            break;
        }
        if (replace) {
            keep[it->second] = false;
            toAdd.push_back(&s);
        }
    }
    if (exists && toAdd.empty())
        return true; // nothing to change

    const std::set<std::string> exceptions = ParseExtensions(options.extensionsNotCompressed);
    CALLBACKSTRUCT_* cb = options.progress;
    ArchiveWriter writer(archive, a.header, a.master);
    // A new archive has no entries to keep, and no source to read them from.
    if (!writer.Begin(error) ||
        (!a.entries.empty() && !CopyKeptEntries(writer, file.source(), a, keep, cb, false, error)))
        return false;
    if (cb && cb->hWndProgress)
        cb->hWndProgress->setRange(0, static_cast<int>(toAdd.size()));
    for (const Source* s : toAdd) {
        if (!Progress(cb, s->path, cb ? cb->hWndProgress : nullptr)) {
            error = kCancelled;
            return false;
        }
        if (!writer.Add(s->path, s->entry, ShouldCompress(s->entry, options.compress, exceptions), error))
            return false;
    }
    if (!writer.Finish(error))
        return false;
    if (added)
        *added = static_cast<int>(toAdd.size());
    if (options.added) {
        // The added entries follow the kept ones, in the order they were added.
        const std::vector<ArchiveEntry>& written = writer.entries();
        std::vector<std::pair<const Source*, ArchiveEntry>> pairs;
        const std::size_t first = written.size() - toAdd.size();
        for (std::size_t i = 0; i < toAdd.size(); ++i)
            pairs.emplace_back(toAdd[i], written[first + i]);
        std::string readBackError;
        if (!ReadBackAdded(archive, a.header, a.master, pairs, *options.added, readBackError))
            for (const auto& [source, entry] : pairs)
                options.added->push_back({source->path, entry.path, {}, false, readBackError});
    }
    return true;
}

bool ListArchive(const std::string& archive, const std::string& keyOrPassword, bool keyFile,
                 std::vector<ArchiveEntry>& entries, std::string& error) {
    ArchiveFile file;
    OpenedArchive a;
    if (!file.Open(archive, keyOrPassword, keyFile, a, error))
        return false;
    entries = std::move(a.entries);
    return true;
}

bool ExtractArchive(const std::string& archive, const std::vector<std::string>& names,
                    const std::string& folder, const std::string& keyOrPassword, bool keyFile,
                    const ArchiveExtractOptions& options, std::vector<std::string>* written,
                    std::string& error) {
    ArchiveFile file;
    OpenedArchive a;
    if (!file.Open(archive, keyOrPassword, keyFile, a, error))
        return false;
    std::vector<bool> selected;
    if (!SelectEntries(a, names, selected, error))
        return false;
    const std::string root = folder.empty() ? "." : folder;
    if (!IsDirectory(root)) {
        error = "The output folder " + root + " does not exist.";
        return false;
    }
    CALLBACKSTRUCT_* cb = options.progress;
    std::vector<bool> keep(a.entries.size(), true);
    std::string firstError;
    platform::FolderTree folders;
    if (!folders.OpenRoot(root)) {
        error = "Cannot open the output folder " + root + ": " + std::strerror(errno);
        return false;
    }
    EntryPrefetch prefetch(file.source(), a, selected);
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        if (!selected[i])
            continue;
        const ArchiveEntry& e = a.entries[i];
        if (!Progress(cb, e.path, cb ? cb->hWndProgress : nullptr)) {
            error = "The operation was cancelled.";
            return false;
        }
        // Taken even when the entry is refused below, so that the next one comes next.
        PrefetchedEntry early;
        if (prefetch.Covers(i))
            early = prefetch.Take(i);
        std::string entryError;
        int folderFd = -1;
        std::string name;
        const std::string target = PrepareTarget(folders, e.path, entryError, folderFd, name);
        bool ok = !target.empty();
        const mode_t existing = ok ? platform::KindBelow(folderFd, name) : 0;
        if (ok && existing != 0 && existing != static_cast<mode_t>(-1)) {
            if (S_ISLNK(existing)) {
                entryError = "Refused to extract " + e.path + ": " + target + " is a symbolic link.";
                ok = false;
            } else if (!options.overwrite || S_ISDIR(existing)) {
                entryError = "The file " + target + " already exists.";
                ok = false;
            }
        }
        if (ok) {
            EntryOutput out(folderFd, name, target, e, options.overwrite);
            ok = prefetch.Covers(i) ? out.Replay(early, entryError)
                                    : DecryptEntry(file.source(), a, e, out, entryError);
            ok = ok && out.Commit(options.restoreTimes, entryError);
        }
        if (!ok) {
            if (firstError.empty())
                firstError = entryError;
            continue;
        }
        keep[i] = false;
        if (written)
            written->push_back(target);
    }
    if (options.removeExtracted) {
        // The extracted files reach the disk before their entries leave the archive.
        const int dirFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::syncfs(dirFd);
            ::close(dirFd);
        }
        if (std::none_of(keep.begin(), keep.end(), [](bool k) { return k; }))
            throw CQMException(kArchiveNoEntriesLeft,
                               "No entries are left in the archive " + archive +
                                   "; every entry was extracted and the archive was left as it was.");
        if (std::find(keep.begin(), keep.end(), false) != keep.end() &&
            !Rewrite(archive, file.source(), a, keep, nullptr, error))
            return false;
    }
    if (!firstError.empty()) {
        error = firstError;
        return false;
    }
    return true;
}

bool DeleteFromArchive(const std::string& archive, const std::vector<std::string>& names,
                       const std::string& keyOrPassword, bool keyFile, CALLBACKSTRUCT_* progress,
                       std::string& error) {
    ArchiveFile file;
    OpenedArchive a;
    if (!file.Open(archive, keyOrPassword, keyFile, a, error))
        return false;
    std::vector<bool> selected;
    if (names.empty() || !SelectEntries(a, names, selected, error)) {
        if (error.empty())
            error = "No entries to delete were named.";
        return false;
    }
    std::vector<bool> keep(selected.size());
    for (std::size_t i = 0; i < selected.size(); ++i)
        keep[i] = !selected[i];
    if (std::none_of(keep.begin(), keep.end(), [](bool k) { return k; }))
        throw CQMException(kArchiveNoEntriesLeft,
                           "Deleting these entries would leave the archive " + archive + " empty.");
    return Rewrite(archive, file.source(), a, keep, progress, error);
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

int EncryptIntoArchive(const char* archive, const char*, const std::vector<std::string>& sources,
                       const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize,
                       int overwritePolicy, int compress, const char* extensionsNotCompressed, int recurse,
                       CALLBACKSTRUCT_* progress, int algorithmMode, int) {
    if (!archive || !keyOrPassword) {
        corecrypt::SetErrorText(errorText, errorTextSize, "Invalid arguments.");
        return 0;
    }
    corecrypt::ArchiveAddOptions options;
    options.overwrite = overwritePolicy;
    options.compress = compress != 0;
    options.extensionsNotCompressed = extensionsNotCompressed ? extensionsNotCompressed : "";
    options.recurse = recurse != 0;
    options.algorithmMode = algorithmMode;
    options.progress = progress;
    std::string error;
    try {
        if (corecrypt::AddToArchive(archive, sources, keyOrPassword, isKeyFile != 0, options, error))
            return 1;
    } catch (const CQMException& e) {
        error = e.GetReportText();
    }
    corecrypt::SetErrorText(errorText, errorTextSize, error);
    return 0;
}

namespace {

const char* kInvalidArguments = "Invalid arguments.";

void* DefaultAllocate(void*, std::size_t size) {
    return std::malloc(size);
}
void DefaultFree(void*, void* block) {
    std::free(block);
}
constexpr ENTRYHEAP_ kDefaultHeap{DefaultAllocate, DefaultFree, nullptr};

const ENTRYHEAP_& HeapOrDefault(const ENTRYHEAP_* heap) {
    return heap ? *heap : kDefaultHeap;
}

// A null key reads as an empty password, which the engine answers with code 51.
std::string KeyText(const char* keyOrPassword) {
    return keyOrPassword ? keyOrPassword : "";
}

// Runs one engine call for an entry point. The engine's CQMException goes through to the caller;
// anything else thrown (an allocation failure, say) becomes the reason, so no other exception
// leaves the engine. The reason, or an empty text on success, lands in the caller's buffer.
template <class Call>
int RunEntryPoint(char* errorText, int errorTextSize, Call call) {
    corecrypt::SetErrorText(errorText, errorTextSize, "");
    std::string error;
    bool ok = false;
    try {
        ok = call(error);
    } catch (const CQMException&) {
        throw;
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (ok)
        return 1;
    corecrypt::SetErrorText(errorText, errorTextSize, error.empty() ? "The operation failed." : error);
    return 0;
}

// One block: the record, then its path text.
ARCHIVEENTRY_* NewEntry(const ENTRYHEAP_& heap, const corecrypt::ArchiveEntry& e) {
    void* block = heap.pfnAllocate(heap.pContext, sizeof(ARCHIVEENTRY_) + e.path.size() + 1);
    if (!block)
        return nullptr;
    auto* entry = new (block) ARCHIVEENTRY_{};
    char* path = reinterpret_cast<char*>(entry + 1);
    std::memcpy(path, e.path.data(), e.path.size());
    path[e.path.size()] = '\0';
    entry->pszPath = path;
    entry->nSize = e.size;
    entry->tModified = e.modified;
    entry->nModifiedNanos = e.modifiedNanos;
    entry->tAccessed = e.accessed;
    entry->nAccessedNanos = e.accessedNanos;
    return entry;
}

int DecryptEntries(const char* archive, const std::vector<std::string>& entries, const char* folder,
                   const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize,
                   int overwrite, int restoreTimes, CALLBACKSTRUCT_* progress, bool removeExtracted) {
    return RunEntryPoint(errorText, errorTextSize, [&](std::string& error) {
        if (!archive || !folder) {
            error = kInvalidArguments;
            return false;
        }
        // The engine reads no names as every entry; here an emptied selection must not.
        if (entries.empty()) {
            error = "No entries to decrypt were named.";
            return false;
        }
        corecrypt::ArchiveExtractOptions options;
        options.overwrite = overwrite != 0;
        options.restoreTimes = restoreTimes != 0;
        options.removeExtracted = removeExtracted;
        options.progress = progress;
        return corecrypt::ExtractArchive(archive, entries, folder, KeyText(keyOrPassword), isKeyFile != 0,
                                         options, nullptr, error);
    });
}

} // namespace

int ReadArchiveEntries(const ENTRYHEAP_* heap, const char* archive, ARCHIVEENTRY_** slots, int slotCount,
                       const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize) {
    if (slots && slotCount > 0)
        slots[0] = nullptr;
    std::vector<corecrypt::ArchiveEntry> entries;
    const int listed = RunEntryPoint(errorText, errorTextSize, [&](std::string& error) {
        if (!archive || !slots || slotCount <= 0 || (heap && (!heap->pfnAllocate || !heap->pfnFree))) {
            error = kInvalidArguments;
            return false;
        }
        return corecrypt::ListArchive(archive, KeyText(keyOrPassword), isKeyFile != 0, entries, error);
    });
    if (!listed)
        return -1;
    const ENTRYHEAP_& h = HeapOrDefault(heap);
    const std::size_t fits = std::min(entries.size(), static_cast<std::size_t>(slotCount) - 1);
    for (std::size_t i = 0; i < fits; ++i) {
        slots[i] = NewEntry(h, entries[i]);
        if (!slots[i]) {
            for (std::size_t j = 0; j < i; ++j)
                FreeArchiveEntry(heap, slots[j]);
            slots[0] = nullptr;
            corecrypt::SetErrorText(errorText, errorTextSize, "Not enough memory to list the archive.");
            return -1;
        }
    }
    slots[fits] = nullptr;
    return static_cast<int>(std::min<std::size_t>(entries.size(), INT_MAX));
}

void FreeArchiveEntry(const ENTRYHEAP_* heap, ARCHIVEENTRY_* entry) {
    const ENTRYHEAP_& h = HeapOrDefault(heap);
    if (entry && h.pfnFree)
        h.pfnFree(h.pContext, entry);
}

int DecryptFromArchive(const char* archive, const std::vector<std::string>& entries, const char* folder,
                       const char* keyOrPassword, int isKeyFile, char* errorText, int errorTextSize,
                       int overwrite, int restoreTimes, CALLBACKSTRUCT_* progress) {
    return DecryptEntries(archive, entries, folder, keyOrPassword, isKeyFile, errorText, errorTextSize,
                          overwrite, restoreTimes, progress, false);
}

int DecryptAndRemoveFromArchive(const char* archive, const std::vector<std::string>& entries,
                                const char* folder, const char* keyOrPassword, int isKeyFile, char* errorText,
                                int errorTextSize, int overwrite, int restoreTimes,
                                CALLBACKSTRUCT_* progress) {
    return DecryptEntries(archive, entries, folder, keyOrPassword, isKeyFile, errorText, errorTextSize,
                          overwrite, restoreTimes, progress, true);
}

int DeleteArchiveEntries(const char* archive, const std::vector<std::string>& entries,
                         const char* keyOrPassword, int isKeyFile, CALLBACKSTRUCT_* progress, char* errorText,
                         int errorTextSize) {
    return RunEntryPoint(errorText, errorTextSize, [&](std::string& error) {
        if (!archive) {
            error = kInvalidArguments;
            return false;
        }
        return corecrypt::DeleteFromArchive(archive, entries, KeyText(keyOrPassword), isKeyFile != 0,
                                            progress, error);
    });
}
