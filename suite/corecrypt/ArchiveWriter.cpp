#include "corecrypt/ArchiveWriter.h"

#include "corecrypt/ArchiveFormat.h"
#include "corecrypt/ArchiveSources.h"
#include "corecrypt/QMException.h"
#include "corecrypt/StreamIo.h"
#include "platform/RegularFile.h"
#include "uikit/Ui.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <unordered_map>

namespace corecrypt {
namespace archive {

bool ArchiveWriter::Begin(std::string& error) {
    return m_out.open(error) && m_sink.Write(m_header.bytes, kHeaderSize, error);
}

bool ArchiveWriter::Copy(RandomSource& src, const ArchiveEntry& entry, std::string& error) {
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

bool ArchiveWriter::Add(const std::string& source, const std::string& path, bool compress,
                        std::string& error) {
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

bool ArchiveWriter::Finish(std::string& error) {
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

bool ArchiveWriter::NewStreamId(std::uint8_t id[16], std::string& error) {
    // All zero is the directory's ID.
    do {
        if (!RandomBytes(id, 16, error))
            return false;
    } while (std::all_of(id, id + 16, [](std::uint8_t b) { return b == 0; }));
    return true;
}

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

} // namespace archive

using namespace archive;

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

} // namespace corecrypt
