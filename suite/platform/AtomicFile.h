#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace platform {

// Writes a file so that its target changes only on commit(), once every byte is there (and, when
// durable, on the disk). Until then the old file stays as it was, and a failure, a cancel, a
// signal or a crash leaves no half-written target behind.
//
// A file that already stands at the target keeps its permissions and, where the system allows,
// its owner and group; a new file gets `mode`.
class AtomicFile {
public:
    enum class Content {
        // Archives, encrypted files, the schedule: written under a short temporary name beside
        // the target, which SIGINT, SIGTERM and SIGHUP remove. A symbolic link at the path is
        // followed, so that the file it points to is replaced and the link stays.
        Document,
        // Decrypted bytes: written as an unnamed file that gets a name only when complete, so that
        // not even SIGKILL or a power cut leaves partial plaintext under any name. Where the file
        // system has no unnamed files, a short temporary name as above. A symbolic link at the
        // path is replaced, never written through.
        Plaintext,
    };

    explicit AtomicFile(std::string path, mode_t mode = 0600, Content content = Content::Document);
    // Writes `name` in an open folder (a copy of the descriptor is kept); `path` names the target
    // in messages. Nothing at `name` is followed.
    AtomicFile(int folderFd, std::string name, std::string path, mode_t mode, Content content);
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
    // The temporary name's path while one exists; empty for an unnamed file.
    std::string tempPath() const;
    int fd() const { return m_fd; }

    // Test seam: every AtomicFile fails its writes with "No space left on device" once this many
    // bytes were written in the process (negative: never).
    static void FailAfterBytesForTesting(long long bytes);
    // Test seam: plaintext goes through a short temporary name, as on file systems without
    // unnamed files. The environment variable QM_TEST_NAMED_TEMPORARIES=1 does the same for a
    // whole program.
    static void NamedTemporariesForTesting(bool on);

private:
    bool OpenFolder(std::string& error);
    void KeepAttributesOfTarget();
    bool LinkIntoPlace(std::string& error);
    bool RenameIntoPlace(std::string& error);
    bool MoveWithoutReplacing(std::string& error);
    void ForgetTemporary();

    std::string m_path;       // the target as the caller named it
    std::string m_folderPath; // the folder the file is written in
    std::string m_name;       // the target's name in that folder
    mode_t m_mode;
    Content m_content;
    int m_folderFd = -1;
    int m_fd = -1;
    std::string m_tempName; // empty for an unnamed file
    int m_tempSlot = -1;
    bool m_durable = true;
    bool m_replace = true;
};

// Replaces the file at `path` with `bytes` through an AtomicFile.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t mode, std::string& error);

// Follows symbolic links from `path` to the path of what they finally point to (which need not
// exist yet); `path` itself when it is no link. Relative link texts count from the link's folder.
std::string ResolveLinks(const std::string& path);

} // namespace platform
