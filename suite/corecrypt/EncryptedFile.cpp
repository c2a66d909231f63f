#include "corecrypt/EncryptedFile.h"

#include "corecrypt/ErrorText.h"
#include "corecrypt/FileFormat.h"
#include "corecrypt/Paths.h"
#include "platform/AtomicFile.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corecrypt {
namespace {

constexpr std::size_t kReadSize = 1 << 18;

class FdSource : public ByteSource {
public:
    FdSource(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    long Read(std::uint8_t* buffer, std::size_t size, std::string& error) override {
        while (true) {
            const ssize_t n = ::read(m_fd, buffer, size);
            if (n >= 0)
                return static_cast<long>(n);
            if (errno != EINTR) {
                error = "Cannot read " + m_path + ": " + std::strerror(errno);
                return -1;
            }
        }
    }

private:
    int m_fd;
    std::string m_path;
};

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

class AtomicSink : public ByteSink {
public:
    explicit AtomicSink(platform::AtomicFile& file) : m_file(file) {}
    bool Write(const std::uint8_t* data, std::size_t size, std::string& error) override {
        return m_file.write(data, size, error);
    }

private:
    platform::AtomicFile& m_file;
};

// Opens a regular file for reading; -1 with a reason otherwise.
int OpenRegularFile(const std::string& path, struct stat& st, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "Cannot open " + path + ": " + std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = path + " is not a regular file.";
        return -1;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

bool LoadOpeningKey(const std::string& keyOrPassword, bool keyFile, OpeningKey& key, std::string& error) {
    if (!keyFile) {
        key.password = keyOrPassword;
        return true;
    }
    key.haveKeyFile = true;
    return ReadKeyFile(keyOrPassword, key.keyId, key.keySecret, error);
}

// Feeds the file's bytes to the chunk writer, deflated when asked.
class Compressor {
public:
    Compressor(ChunkWriter& writer, bool on) : m_writer(writer), m_on(on) {
        if (on) {
            m_ok = deflateInit(&m_zs, Z_DEFAULT_COMPRESSION) == Z_OK;
            m_out.CleanNew(kReadSize);
        }
    }
    ~Compressor() {
        if (m_on && m_ok)
            deflateEnd(&m_zs);
    }

    bool Add(const std::uint8_t* data, std::size_t size, bool last, std::string& error) {
        if (!m_on)
            return m_writer.Add(data, size, error);
        if (!m_ok) {
            error = "Cannot start compression.";
            return false;
        }
        m_zs.next_in = const_cast<std::uint8_t*>(data);
        m_zs.avail_in = static_cast<uInt>(size);
        int rc = Z_OK;
        do {
            m_zs.next_out = m_out.data();
            m_zs.avail_out = static_cast<uInt>(m_out.size());
            rc = deflate(&m_zs, last ? Z_FINISH : Z_NO_FLUSH);
            if (rc == Z_STREAM_ERROR) {
                error = "Compression failed.";
                return false;
            }
            if (!m_writer.Add(m_out.data(), m_out.size() - m_zs.avail_out, error))
                return false;
        } while (m_zs.avail_out == 0 || (last && rc != Z_STREAM_END));
        return true;
    }

private:
    ChunkWriter& m_writer;
    bool m_on;
    bool m_ok = true;
    z_stream m_zs{};
    SecureBytes m_out;
};

// Writes the verified plain bytes to a temporary file beside the target; only a complete,
// verified file is renamed into place.
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
        m_out = std::make_unique<platform::AtomicFile>(m_target, 0600);
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
        if (restoreTimes) {
            const timespec times[2] = {{m_meta.accessed, static_cast<long>(m_meta.accessedNanos)},
                                       {m_meta.modified, static_cast<long>(m_meta.modifiedNanos)}};
            ::futimens(m_out->fd(), times);
        }
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

bool EncryptFile(const std::string& source, const std::string& destination, const std::string& keyOrPassword,
                 bool keyFile, int code, bool compress, std::string& error) {
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
    FileMetadata meta;
    meta.compressed = compress;
    meta.size = static_cast<std::uint64_t>(st.st_size);
    meta.modified = st.st_mtim.tv_sec;
    meta.modifiedNanos = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
    meta.accessed = st.st_atim.tv_sec;
    meta.accessedNanos = static_cast<std::uint32_t>(st.st_atim.tv_nsec);
    meta.name = BaseName(source);
    const std::string record = EncodeMetadata(meta);
    if (!out.open(error) || !out.write(header.bytes, kHeaderSize, error) ||
        !writer.Add(reinterpret_cast<const std::uint8_t*>(record.data()), record.size(), error))
        return false;

    Compressor data(writer, compress);
    FdSource reader(in.get(), source);
    SecureBytes buffer(compress ? kReadSize : 0);
    std::uint64_t total = 0;
    while (total <= meta.size) {
        long n = 0;
        if (compress) {
            n = reader.Read(buffer.data(), buffer.size(), error);
            if (n < 0 || !data.Add(buffer.data(), static_cast<std::size_t>(n), n == 0, error))
                return false;
        } else {
            // Uncompressed bytes go straight into the chunk buffers.
            std::size_t room = 0;
            std::uint8_t* space = writer.Space(room, error);
            if (!space || (n = reader.Read(space, room, error)) < 0 ||
                !writer.Commit(static_cast<std::size_t>(n), error))
                return false;
        }
        if (n == 0)
            break;
        total += static_cast<std::uint64_t>(n);
    }
    if (total != meta.size) {
        error = "The file " + source + " changed while it was being encrypted.";
        return false;
    }
    return writer.Finish(error) && out.commit(error);
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

bool ReadEncryptedFileInfo(const std::string& path, bool& keyFile, int& algorithmMode, std::string& error) {
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
