// Extracting entries into a folder: each level below the output folder checked, each file
// written unnamed and named only once verified, small entries deciphered ahead on a thread of
// their own while the loop writes the one before.

#include "corecrypt/Archive.h"

#include "corecrypt/ArchiveReader.h"
#include "corecrypt/ArchiveWriter.h"
#include "corecrypt/Paths.h"
#include "corecrypt/QMException.h"
#include "corecrypt/StreamIo.h"
#include "platform/AtomicFile.h"
#include "platform/FolderChain.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace corecrypt {
namespace {

using namespace archive;

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

} // namespace

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

} // namespace corecrypt
