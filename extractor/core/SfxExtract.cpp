#include "extractor/core/SfxExtract.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sfx {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000ull;

// Makes every missing level of `folder` (ending in '/'); failures are left for the file creation
// to report. Folders known to exist are remembered, so that many small files cost no extra calls.
class FolderMaker {
public:
    void Make(const std::string& folder) {
        if (m_known.count(folder))
            return;
        for (std::size_t pos = folder.find('/', 1); pos != std::string::npos;
             pos = folder.find('/', pos + 1)) {
            const std::string level = folder.substr(0, pos);
            if (m_known.count(level + '/'))
                continue;
            ::mkdir(level.c_str(), 0777);
            m_known.insert(level + '/');
        }
        m_known.insert(folder);
    }

private:
    std::set<std::string> m_known;
};

void WriteAll(int fd, const std::uint8_t* p, std::size_t n, const std::string& outPath) {
    while (n > 0) {
        const ssize_t put = ::write(fd, p, n);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            throw EException(kMsgCannotWrite + outPath);
        p += put;
        n -= std::size_t(put);
    }
}

// Opens the file an entry is written to. A new file is created under its own name; an existing
// one is kept until its replacement is complete, by writing beside it under a temporary name.
int CreateOutput(const std::string& outPath, const std::string& parent, std::string& temp) {
    temp.clear();
    int fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST)
        return fd;
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = parent + ".qmx-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void ExtractEntry(ArchiveSource& source, const SfxArchive& archive, std::size_t e, const std::string& folder,
                  const std::string& relative, ChunkDecoder& decoder, FolderMaker& folders,
                  const ExtractHooks& hooks) {
    const SfxEntry& entry = archive.entries[e];
    const std::string outPath = folder + relative;
    const std::string parent = outPath.substr(0, outPath.rfind('/') + 1);
    folders.Make(parent);

    std::string temp;
    const int fd = CreateOutput(outPath, parent, temp);
    if (fd < 0)
        throw EException(kMsgCannotCreate + outPath);
    // What is written goes away again if the entry cannot be completed.
    const std::string& written = temp.empty() ? outPath : temp;
    try {
        decoder.Decode(source, entry.dataOffset, archive.DataAreaSize(e),
                       [&](const std::uint8_t* p, std::size_t n) {
                           WriteAll(fd, p, n, outPath);
                           if (hooks.idle)
                               hooks.idle();
                       });
        // Only the last-write time can be set here; 0 stands for "no time".
        if (entry.lastWriteTime != 0) {
            const timespec times[2] = {{0, UTIME_OMIT}, FileTimeToTimespec(entry.lastWriteTime)};
            ::futimens(fd, times);
        }
    } catch (...) {
        ::close(fd);
        ::unlink(written.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        ::unlink(written.c_str());
        throw EException(kMsgCannotWrite + outPath);
    }
    if (!temp.empty() && ::rename(temp.c_str(), outPath.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw EException(kMsgCannotCreate + outPath);
    }
}

} // namespace

timespec FileTimeToTimespec(std::uint64_t fileTime) {
    const auto ticks = static_cast<std::int64_t>(fileTime - kFileTimeOfUnixEpoch);
    std::int64_t sec = ticks / std::int64_t(kTicksPerSecond);
    std::int64_t rem = ticks % std::int64_t(kTicksPerSecond);
    if (rem < 0) {
        rem += std::int64_t(kTicksPerSecond);
        --sec;
    }
    timespec t{};
    t.tv_sec = static_cast<time_t>(sec);
    t.tv_nsec = static_cast<long>(rem * 100);
    return t;
}

std::uint64_t TimespecToFileTime(const timespec& t) {
    return std::uint64_t(std::int64_t(t.tv_sec) * std::int64_t(kTicksPerSecond) + t.tv_nsec / 100) +
           kFileTimeOfUnixEpoch;
}

NameCheck CheckEntryName(const std::string& stored, std::string& relative) {
    relative.clear();
    if (stored.find('\0') != std::string::npos)
        return NameCheck::NotAFile;
    std::string name = stored;
    for (char& c : name)
        if (c == '\\')
            c = '/';
    const bool drive = name.size() >= 2 && name[1] == ':' &&
                       ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
    if (name.empty() || name[0] == '/' || drive)
        return NameCheck::Climbs;
    std::size_t start = 0;
    std::string last;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        const std::string level = name.substr(start, end - start);
        if (level == "..")
            return NameCheck::Climbs;
        if (!level.empty() && level != ".") {
            if (!relative.empty())
                relative += '/';
            relative += level;
        }
        last = level;
        start = end + 1;
    }
    if (last.empty() || last == ".")
        return NameCheck::NotAFile;
    return NameCheck::Ok;
}

void ExtractAll(const OwnFile& own, const std::string& password, const std::string& folderText,
                const ExtractHooks& hooks) {
    std::string folder = folderText.empty() ? std::string("./") : folderText;
    if (folder.back() != '/')
        folder += '/';

    SfxArchive archive;
    {
        auto source = FileSource::Open(own.openPath);
        if (!source)
            throw EException(kMsgCannotCreate + own.displayPath);
        ReadDirectory(*source, password, archive);
    }
    // Every name is checked before anything is written, so a hostile archive writes nothing.
    std::vector<std::string> relative(archive.count);
    for (std::size_t e = 0; e < archive.count; ++e) {
        switch (CheckEntryName(archive.entries[e].name, relative[e])) {
        case NameCheck::Ok:
            break;
        case NameCheck::Climbs:
            throw EException(kMsgUnsafeName + archive.entries[e].name);
        case NameCheck::NotAFile:
            throw EException(kMsgDamaged);
        }
    }

    auto source = FileSource::Open(own.openPath);
    if (!source)
        throw EException(kMsgCannotOpen + own.displayPath);
    ChunkDecoder decoder(password);
    FolderMaker folders;
    const std::size_t n = archive.count;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t e = n - 1 - k;
        if (hooks.announce)
            hooks.announce(archive.entries[e], relative[e], k, n);
        if (hooks.keepGoing && !hooks.keepGoing())
            throw EException(kMsgCanceled);
        ExtractEntry(*source, archive, e, folder, relative[e], decoder, folders, hooks);
    }
}

} // namespace sfx
