#pragma once

// Writing archives (engine-internal): a new archive file beside the old one, its streams copied
// or newly encrypted, replacing the old file only when complete; and the progress and
// cancelling that adding, deleting and extracting share.

#include "corecrypt/ArchiveReader.h"
#include "corecrypt/CallbackStruct.h"
#include "platform/AtomicFile.h"
#include "uikit/Progress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corecrypt::archive {

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

// Writes an archive: the header, streams copied or newly encrypted, then directory and trailer.
class ArchiveWriter {
public:
    ArchiveWriter(const std::string& path, const FileHeader& header, const SecureBytes& master)
        : m_out(path, 0600), m_sink(m_out), m_header(header), m_master(master) {}

    bool Begin(std::string& error);
    // The stream as it is: its keys depend only on the master key and its ID, both kept.
    bool Copy(RandomSource& src, const ArchiveEntry& entry, std::string& error);
    bool Add(const std::string& source, const std::string& path, bool compress, std::string& error);
    bool Finish(std::string& error);

    const std::vector<ArchiveEntry>& entries() const { return m_entries; }

private:
    bool NewStreamId(std::uint8_t id[16], std::string& error);

    platform::AtomicFile m_out;
    CountingFileSink m_sink;
    const FileHeader& m_header;
    const SecureBytes& m_master;
    std::vector<ArchiveEntry> m_entries;
};

// Reports progress; false once the run was cancelled.
bool Progress(CALLBACKSTRUCT_* cb, const std::string& current, uikit::IProgressIndicator* bar);

inline constexpr const char* kCancelled = "The operation was cancelled; the archive was left as it was.";

// Copies the kept entries of `a` into `writer` byte for byte. With `report` each copied entry
// counts as progress (a deletion); otherwise only the update bar moves, since an add counts the
// files it adds.
bool CopyKeptEntries(ArchiveWriter& writer, RandomSource& src, const OpenedArchive& a,
                     const std::vector<bool>& keep, CALLBACKSTRUCT_* cb, bool report, std::string& error);

// Writes `a` again without the entries not kept, beside the old file, then replaces it.
bool Rewrite(const std::string& path, RandomSource& src, const OpenedArchive& a,
             const std::vector<bool>& keep, CALLBACKSTRUCT_* cb, std::string& error);

} // namespace corecrypt::archive
