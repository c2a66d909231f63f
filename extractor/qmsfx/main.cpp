// qmsfx: writes a self-extracting file: the extractor stub, then the given files and folders as an
// archive that the stub opens with the password.
//   qmsfx --password PW [--stub PATH] -o OUT.run FILE_OR_FOLDER...
#include "extractor/core/SfxExtract.h"
#include "extractor/core/SfxWriter.h"
#include "platform/AtomicFile.h"
#include "platform/FileIo.h"
#include "platform/ProgramFolder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kUsage[] = "Usage: qmsfx --password PW [--stub PATH] -o OUT.run FILE_OR_FOLDER...\n"
                      "Writes a self-extracting file: the extractor (default: the one beside qmsfx), then\n"
                      "the files, each folder with everything below it, enciphered with the password.\n";

struct Input {
    std::string path;
    std::string storedName; // relative, with '\' between levels
};

std::string StoredLevel(const std::string& level) {
    // A '\' inside a Linux name would read back as a folder level.
    if (level.find('\\') != std::string::npos)
        throw std::runtime_error("cannot store a name containing '\\': " + level);
    return level;
}

void Collect(const std::string& arg, const struct stat& outputId, std::vector<Input>& inputs) {
    const fs::path path(arg);
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec)
        throw std::runtime_error("cannot read " + arg + ": " + ec.message());
    const std::string base = fs::weakly_canonical(fs::absolute(path)).filename().string();
    if (fs::is_regular_file(status)) {
        inputs.push_back({arg, StoredLevel(base)});
        return;
    }
    if (!fs::is_directory(status))
        throw std::runtime_error("not a file or folder: " + arg);
    std::vector<Input> found;
    for (auto it = fs::recursive_directory_iterator(path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file())
            continue;
        struct stat st {};
        if (::stat(it->path().c_str(), &st) == 0 && st.st_dev == outputId.st_dev &&
            st.st_ino == outputId.st_ino)
            continue; // the file being written
        std::string stored = base.empty() ? std::string() : StoredLevel(base) + "\\";
        bool firstLevel = true;
        for (const auto& level : fs::relative(it->path(), path)) {
            if (!firstLevel)
                stored += '\\';
            stored += StoredLevel(level.string());
            firstLevel = false;
        }
        found.push_back({it->path().string(), stored});
    }
    if (ec)
        throw std::runtime_error("cannot list " + arg + ": " + ec.message());
    std::sort(found.begin(), found.end(),
              [](const Input& a, const Input& b) { return a.storedName < b.storedName; });
    inputs.insert(inputs.end(), found.begin(), found.end());
}

// Creation time: the birth time where the file system keeps one, else the change time.
void EntryTimes(int fd, std::uint64_t& creation, std::uint64_t& lastWrite) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MTIME | STATX_CTIME | STATX_BTIME, &sx) != 0)
        throw std::runtime_error(std::string("cannot read the file's times: ") + std::strerror(errno));
    const auto toTs = [](const statx_timestamp& t) { return timespec{time_t(t.tv_sec), long(t.tv_nsec)}; };
    lastWrite = sfx::TimespecToFileTime(toTs(sx.stx_mtime));
    creation = sfx::TimespecToFileTime(toTs((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime));
}

std::size_t ReadSome(int fd, void* buffer, std::size_t size, const std::string& path) {
    const ssize_t got = platform::ReadSome(fd, buffer, size);
    if (got < 0)
        throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    return std::size_t(got);
}

class FileHandle {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

void WriteSelfExtractingFile(const std::string& password, const std::string& stubPath,
                             const std::string& outPath, const std::vector<std::string>& args) {
    FileHandle stub(::open(stubPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (stub.get() < 0)
        throw std::runtime_error("cannot open the stub " + stubPath + ": " + std::strerror(errno));

    // Written under a short temporary name beside the target and renamed over it when complete;
    // a signal or a failure leaves the previous file as it was. The file is a program: a new one
    // may be run by whom the umask allows, one it replaces keeps its permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    platform::AtomicFile out(outPath, 0777 & ~mask);
    std::string error;
    if (!out.open(error))
        throw std::runtime_error(error);
    const auto put = [&](const void* data, std::size_t size) {
        if (!out.write(data, size, error))
            throw std::runtime_error(error);
    };
    struct stat outputId {};
    ::fstat(out.fd(), &outputId);
    std::vector<Input> inputs;
    for (const std::string& arg : args)
        Collect(arg, outputId, inputs);
    std::set<std::string> names;
    for (const Input& in : inputs)
        if (!names.insert(in.storedName).second)
            throw std::runtime_error("two entries would have the same name: " + in.storedName);

    std::vector<std::uint8_t> buffer(1 << 16);
    std::uint64_t stubSize = 0;
    for (std::size_t n; (n = ReadSome(stub.get(), buffer.data(), buffer.size(), stubPath)) > 0; stubSize += n)
        put(buffer.data(), n);

    sfx::SfxWriter writer(password, stubSize, put);
    for (const Input& in : inputs) {
        FileHandle file(::open(in.path.c_str(), O_RDONLY | O_CLOEXEC));
        if (file.get() < 0)
            throw std::runtime_error("cannot open " + in.path + ": " + std::strerror(errno));
        std::uint64_t creation = 0, lastWrite = 0;
        EntryTimes(file.get(), creation, lastWrite);
        writer.AddEntry(in.storedName, creation, lastWrite, [&](std::uint8_t* data, std::size_t size) {
            return ReadSome(file.get(), data, size, in.path);
        });
    }
    if (inputs.empty())
        throw std::runtime_error("no files to store");
    writer.Finish();
    if (!out.commit(error))
        throw std::runtime_error(error);
}

} // namespace

int main(int argc, char** argv) {
    std::string password, stubPath, outPath;
    bool havePassword = false;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if ((arg == "--password" || arg == "--stub" || arg == "-o") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--password") {
                password = value;
                havePassword = true;
            } else if (arg == "--stub") {
                stubPath = value;
            } else {
                outPath = value;
            }
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            std::fprintf(stderr, "qmsfx: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            inputs.push_back(arg);
        }
    }
    if (!havePassword || outPath.empty() || inputs.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (stubPath.empty())
        stubPath = platform::SiblingProgram("extractor");
    try {
        WriteSelfExtractingFile(password, stubPath, outPath, inputs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qmsfx: %s\n", e.what());
        return 1;
    }
    return 0;
}
