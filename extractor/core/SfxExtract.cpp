#include "extractor/core/SfxExtract.h"

#include "platform/AtomicFile.h"
#include "platform/FolderChain.h"
#include "platform/XdgPaths.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sfx {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000ull;

// Writes entry e into the output folder. Its folders are opened level by level below the output
// folder, never through a symbolic link, and made (owner only) where missing; the file is written
// unnamed and gets its name only once complete, so that a cut run (a damaged chunk, a full disk,
// a signal, even SIGKILL) leaves no partial file, and a file it replaces stays as it was until then.
void ExtractEntry(ArchiveSource& source, const SfxArchive& archive, std::size_t e, const std::string& folder,
                  const std::string& relative, ChunkDecoder& decoder, platform::FolderTree& folders,
                  const ExtractHooks& hooks) {
    const SfxEntry& entry = archive.entries[e];
    const std::string outPath = folder + relative;
    if (folders.rootFd() < 0)
        throw EException(kMsgCannotCreate + outPath);
    const auto slash = relative.rfind('/');
    const std::string parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
    const std::string name = relative.substr(slash == std::string::npos ? 0 : slash + 1);
    platform::FolderProblem problem = platform::FolderProblem::None;
    std::string level;
    const int folderFd = folders.Open(parent, true, 0700, problem, level);
    if (folderFd < 0) {
        if (problem == platform::FolderProblem::Link)
            throw EException(kMsgLinkedFolder + level);
        throw EException(kMsgCannotCreate + outPath);
    }

    // The archive stores no modes: a new file is the owner's only, and one it replaces keeps its own.
    platform::AtomicFile out(folderFd, name, outPath, 0600, platform::AtomicFile::Content::Plaintext);
    // The archive stays intact, so each file need not wait for the disk.
    out.setDurable(false);
    std::string error;
    if (!out.open(error))
        throw EException(kMsgCannotCreate + outPath);
    decoder.Decode(source, entry.dataOffset, archive.DataAreaSize(e),
                   [&](const std::uint8_t* p, std::size_t n) {
                       if (!out.write(p, n, error))
                           throw EException(kMsgCannotWrite + outPath);
                       if (hooks.idle)
                           hooks.idle();
                   });
    // Only the last-write time can be set here; 0 stands for "no time".
    if (entry.lastWriteTime != 0) {
        const timespec times[2] = {{0, UTIME_OMIT}, FileTimeToTimespec(entry.lastWriteTime)};
        ::futimens(out.fd(), times);
    }
    if (!out.commit(error))
        throw EException(kMsgCannotCreate + outPath);
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
    // The output folder is taken as typed, links and all, and made where missing; below it
    // nothing is followed. A folder that cannot be made shows as the first file's failure.
    const std::string root = folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
    std::string ignored;
    platform::MakeFolders(root, 0700, ignored);
    platform::FolderTree folders;
    folders.OpenRoot(folder);
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
