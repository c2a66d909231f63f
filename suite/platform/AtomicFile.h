#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace platform {

// Writes a file through a temporary file in the same folder and renames it over the target only
// on commit(), after the data reached the disk. Until then the old file stays as it was, and a
// failure, a cancel or a crash leaves no half-written target behind.
class AtomicFile {
public:
    explicit AtomicFile(std::string path, mode_t mode = 0600);
    ~AtomicFile(); // discards the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open(std::string& error);
    bool write(const void* data, std::size_t size, std::string& error);
    bool commit(std::string& error);
    void discard();

    // Off: commit() renames without waiting for the disk (still never a half-written target
    // after a failure, but a crash may lose it). For many files in a row whose source stays
    // intact, such as extracted entries; the caller syncs once when it must.
    void setDurable(bool durable) { m_durable = durable; }
    // Off: commit() never replaces a file that exists at the target by then, even one that
    // appeared after the caller last looked; it fails with "already exists" and keeps that file.
    void setReplace(bool replace) { m_replace = replace; }

    const std::string& path() const { return m_path; }
    const std::string& tempPath() const { return m_tempPath; }
    int fd() const { return m_fd; }

    // Test seam: every AtomicFile fails its writes with "No space left on device" once this many
    // bytes were written in the process (negative: never).
    static void FailAfterBytesForTesting(long long bytes);

private:
    bool MoveWithoutReplacing(std::string& error);

    std::string m_path;
    std::string m_tempPath;
    mode_t m_mode;
    int m_fd = -1;
    bool m_durable = true;
    bool m_replace = true;
};

// Replaces the file at `path` with `bytes` through an AtomicFile.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t mode, std::string& error);

} // namespace platform
