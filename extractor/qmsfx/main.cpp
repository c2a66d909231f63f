// qmsfx: writes a self-extracting file: the extractor stub, then the given files and folders as an
// archive that the stub opens with the password.
//   qmsfx [--password-file F | --password PW] [--stub PATH] [--force] -o OUT.run FILE_OR_FOLDER...
#include "extractor/core/HiddenInput.h"
#include "extractor/core/SfxExtract.h"
#include "extractor/core/SfxWriter.h"
#include "platform/AtomicFile.h"
#include "platform/FileIo.h"
#include "platform/ProgramFolder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
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

const char kUsage[] =
    "Usage: qmsfx [--password-file FILE] [--stub PATH] [--force] -o OUT.run FILE_OR_FOLDER...\n"
    "Writes a self-extracting file: the extractor (default: the one beside qmsfx, or the\n"
    "installed one), then the files, each folder with everything below it, enciphered with\n"
    "the password.\n"
    "\n"
    "  -o, --output OUT.run     the file to write; an existing one is replaced only with --force\n"
    "  --password-file FILE     the password is the first line of FILE; without it the password\n"
    "                           is asked on the terminal, twice, and not shown\n"
    "  --password PW            the password itself, for scripts; it is visible to other users\n"
    "                           of the machine (ps), so prefer --password-file\n"
    "  --stub PATH              the extractor to put in front\n"
    "  --force                  replace OUT.run when it exists\n"
    "  --help, --version        this text; the version\n";

// Ctrl-C at the prompt ends qmsfx with the terminal's echo back on.
void OnInterrupt(int signal) {
    sfx::RestoreTerminalEcho();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// The prompts go to standard error, so that they never mix with output.
bool ReadHidden(const char* prompt, std::string& line) {
    return sfx::ReadHiddenLine(prompt, stderr, line);
}

// Asks twice, so that a typing error does not lock the files away.
bool AskPassword(std::string& password, std::string& error) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::string again;
    if (!::isatty(STDIN_FILENO) || !ReadHidden("Password: ", password) ||
        (!password.empty() && !ReadHidden("Repeat the password: ", again))) {
        error = "no terminal to ask for the password on: give --password-file FILE";
        return false;
    }
    if (password.empty()) {
        error = "the password is empty";
        return false;
    }
    if (password != again) {
        error = "the two passwords differ; nothing was written";
        return false;
    }
    return true;
}

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

#ifndef QM_STUB_FROM_BIN
#define QM_STUB_FROM_BIN "../libexec/quillmark"
#endif

// The extractor beside qmsfx (the build tree), else the installed one in the suite's private
// program folder.
std::string DefaultStub() {
    const std::string sibling = platform::SiblingProgram("extractor");
    if (::access(sibling.c_str(), X_OK) == 0)
        return sibling;
    return platform::ProgramFolder() + "/" QM_STUB_FROM_BIN "/extractor";
}

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

int Usage(const std::string& why) {
    std::fprintf(stderr, "qmsfx: %s\n%s", why.c_str(), kUsage);
    return 2;
}

int main(int argc, char** argv) {
    std::string password, passwordFile, stubPath, outPath;
    bool havePassword = false, force = false, optionsEnded = false;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            inputs.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::puts("qmsfx (Quillmark) " QM_VERSION);
            return 0;
        } else if (arg == "--force") {
            force = true;
        } else if (arg == "--password" || arg == "--password-file" || arg == "--stub" || arg == "-o" ||
                   arg == "--output") {
            if (i + 1 >= argc)
                return Usage(arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "--password") {
                password = value;
                havePassword = true;
            } else if (arg == "--password-file") {
                passwordFile = value;
            } else if (arg == "--stub") {
                stubPath = value;
            } else {
                outPath = value;
            }
        } else {
            return Usage("unknown option " + arg);
        }
    }
    if (outPath.empty())
        return Usage("-o OUT.run is required: the file to write");
    if (inputs.empty())
        return Usage("no files or folders to store");
    if (havePassword && !passwordFile.empty())
        return Usage("give --password or --password-file, not both");
    struct stat existing {};
    if (!force && ::lstat(outPath.c_str(), &existing) == 0) {
        std::fprintf(stderr, "qmsfx: %s exists already; --force replaces it\n", outPath.c_str());
        return 1;
    }
    std::string error;
    if (!passwordFile.empty()) {
        if (!platform::ReadPasswordFile(passwordFile, password, error)) {
            std::fprintf(stderr, "qmsfx: --password-file %s\n", error.c_str());
            return 1;
        }
    } else if (!havePassword && !AskPassword(password, error)) {
        std::fprintf(stderr, "qmsfx: %s\n", error.c_str());
        return 2;
    }
    if (stubPath.empty())
        stubPath = DefaultStub();
    try {
        WriteSelfExtractingFile(password, stubPath, outPath, inputs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qmsfx: %s\n", e.what());
        return 1;
    }
    return 0;
}
