#include "corecrypt/EncryptedFile.h"

#include "corecrypt/ErrorText.h"
#include "corecrypt/FileFormat.h"
#include "corecrypt/Paths.h"
#include "corecrypt/StreamIo.h"
#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corecrypt {
namespace {

// Writes the verified plain bytes as an unnamed file in the target's folder; only a complete,
// verified file gets a name, so an interrupted run leaves no partial plaintext anywhere.
class FileOutput : public PlainSink {
public:
    FileOutput(std::string folder, std::string file, bool overwrite)
        : m_folder(std::move(folder)), m_file(std::move(file)), m_overwrite(overwrite) {}

    bool Begin(const FileMetadata& m, std::string& error) override {
        m_meta = m;
        m_target = m_file.empty() ? m_folder + "/" + m.name : m_file;
        if (!m_overwrite && PathExists(m_target)) {
            error = "The file " + m_target + " already exists.";
            return false;
        }
        m_out =
            std::make_unique<platform::AtomicFile>(m_target, 0600, platform::AtomicFile::Content::Plaintext);
        m_out->setReplace(m_overwrite);
        return m_out->open(error);
    }
    bool Write(const std::uint8_t* data, std::size_t size, std::string& error) override {
        return m_out->write(data, size, error);
    }

    bool Commit(bool restoreTimes, std::string& error) {
        if (!m_out) {
            error = "Nothing was decrypted.";
            return false;
        }
        if (restoreTimes)
            SetFileTimes(m_out->fd(), m_meta.accessed, m_meta.accessedNanos, m_meta.modified,
                         m_meta.modifiedNanos);
        if (!m_overwrite && PathExists(m_target)) {
            error = "The file " + m_target + " already exists.";
            return false;
        }
        return m_out->commit(error);
    }
    const std::string& target() const { return m_target; }

private:
    std::string m_folder;
    std::string m_file;
    bool m_overwrite;
    FileMetadata m_meta;
    std::string m_target;
    std::unique_ptr<platform::AtomicFile> m_out;
};

} // namespace

namespace {

// Opens the encrypted file just written and decrypts it under the keys it was written with (no
// second key derivation), comparing every byte with the source still open as `in`.
bool ReadBack(const std::string& destination, const FileHeader& written, const FileKeys& keys, int in,
              const std::string& source, std::uint64_t size, std::string& error) {
    struct stat st {};
    Fd copy(OpenRegularFile(destination, st, error));
    if (copy.get() < 0)
        return false;
    FdSource reader(copy.get(), destination);
    FileHeader header;
    int code = 0;
    if (!ReadFileHeader(reader, header, code, error) ||
        std::memcmp(header.bytes, written.bytes, kHeaderSize) != 0) {
        error = "The encrypted copy of " + source + " does not read back as it was written.";
        return false;
    }
    SourceComparison comparison(in, size, source);
    return DecryptStream(reader, header, keys, comparison, destination, true, error) &&
           comparison.Complete(error);
}

bool Encrypt(const std::string& source, const std::string& destination, const std::string& keyOrPassword,
             bool keyFile, int code, bool compress, bool verify, platform::FileSnapshot* snapshot,
             std::string& error) {
    int resolved = 0;
    if (!ResolveAlgorithmMode(code, resolved)) {
        error = "Unknown algorithm-mode code " + std::to_string(code) + ".";
        return false;
    }
    if (destination.empty()) {
        error = "No destination given for " + source + ".";
        return false;
    }
    struct stat st {};
    Fd in(OpenRegularFile(source, st, error));
    if (in.get() < 0)
        return false;
    OpeningKey key;
    FileHeader header;
    FileKeys keys;
    if (!LoadOpeningKey(keyOrPassword, keyFile, key, error) ||
        !NewFileHeader(resolved, key, header, keys, error))
        return false;

    platform::AtomicFile out(destination, 0600);
    AtomicSink sink(out);
    ChunkWriter writer(header, keys, sink);
    FileMetadata meta = MetadataOf(st, compress);
    meta.name = BaseName(source);
    if (!out.open(error) || !out.write(header.bytes, kHeaderSize, error) ||
        !EncryptStream(in.get(), source, meta, writer, error) || !out.commit(error))
        return false;
    if (!verify)
        return true;
    struct stat after {};
    if (::fstat(in.get(), &after) != 0 || !(platform::SnapshotOf(after) == platform::SnapshotOf(st))) {
        error = "The file " + source + " changed while it was being encrypted.";
        return false;
    }
    if (!ReadBack(destination, header, keys, in.get(), source, meta.size, error))
        return false;
    if (snapshot)
        *snapshot = platform::SnapshotOf(st);
    return true;
}

} // namespace

bool EncryptFile(const std::string& source, const std::string& destination, const std::string& keyOrPassword,
                 bool keyFile, int code, bool compress, std::string& error) {
    return Encrypt(source, destination, keyOrPassword, keyFile, code, compress, false, nullptr, error);
}

bool EncryptFileVerified(const std::string& source, const std::string& destination,
                         const std::string& keyOrPassword, bool keyFile, int code, bool compress,
                         platform::FileSnapshot* snapshot, std::string& error) {
    return Encrypt(source, destination, keyOrPassword, keyFile, code, compress, true, snapshot, error);
}

bool DecryptFile(const std::string& source, const std::string& destination, const std::string& keyOrPassword,
                 bool overwrite, bool restoreTimes, std::string* written, std::string& error) {
    struct stat st {};
    Fd in(OpenRegularFile(source, st, error));
    if (in.get() < 0)
        return false;
    FdSource reader(in.get(), source);
    FileHeader header;
    int code = 0;
    if (!ReadFileHeader(reader, header, code, error)) {
        error = source + ": " + error;
        return false;
    }
    if (header.archive) {
        error = source + " is an encrypted archive, not an encrypted file.";
        return false;
    }
    OpeningKey key;
    // What was given may be a password: never repeat it in an error text.
    if (header.keyFile && !PathExists(keyOrPassword)) {
        error = "The file " + source + " was encrypted with a key file; no key file was given.";
        return false;
    }
    if (!LoadOpeningKey(keyOrPassword, header.keyFile, key, error))
        return false;
    std::string folder;
    std::string file;
    if (destination.empty())
        folder = FolderOf(source);
    else if (destination.back() == '/' || IsDirectory(destination))
        folder = destination.size() > 1 && destination.back() == '/'
                     ? destination.substr(0, destination.size() - 1)
                     : destination;
    else
        file = destination;
    FileOutput output(folder, file, overwrite);
    if (!DecryptBody(reader, header, key, output, source, error) || !output.Commit(restoreTimes, error))
        return false;
    if (written)
        *written = output.target();
    return true;
}

bool ReadEncryptedFileInfo(const std::string& path, bool& keyFile, int& algorithmMode, std::string& error,
                           bool* archive) {
    struct stat st {};
    Fd in(OpenRegularFile(path, st, error));
    if (in.get() < 0)
        return false;
    FdSource reader(in.get(), path);
    FileHeader header;
    int code = 0;
    if (!ReadFileHeader(reader, header, code, error)) {
        error = path + ": " + error;
        return false;
    }
    keyFile = header.keyFile;
    algorithmMode = header.code;
    if (archive)
        *archive = header.archive;
    return true;
}

} // namespace corecrypt

int EncryptFileTo(const char* source, const char* destination, const char* keyOrPassword, int isKeyFile,
                  int algorithmMode, int compress, char* errorText, int errorTextSize, int, int) {
    std::string error;
    if (!source || !destination || !keyOrPassword) {
        corecrypt::SetErrorText(errorText, errorTextSize, "Invalid arguments.");
        return 0;
    }
    if (!corecrypt::EncryptFile(source, destination, keyOrPassword, isKeyFile != 0, algorithmMode,
                                compress != 0, error)) {
        corecrypt::SetErrorText(errorText, errorTextSize, error);
        return 0;
    }
    return 1;
}

int DecryptFileTo(const char* source, const char* destination, const char* keyOrPassword, int overwrite,
                  int restoreTimes, char* errorText, int errorTextSize) {
    std::string error;
    if (!source || !keyOrPassword) {
        corecrypt::SetErrorText(errorText, errorTextSize, "Invalid arguments.");
        return 0;
    }
    if (!corecrypt::DecryptFile(source, destination ? destination : "", keyOrPassword, overwrite != 0,
                                restoreTimes != 0, nullptr, error)) {
        corecrypt::SetErrorText(errorText, errorTextSize, error);
        return 0;
    }
    return 1;
}
