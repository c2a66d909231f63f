// The reference side of scripts/bench/extractor.sh: zlib's own uncompress over the very chunks of
// a self-extracting file, deciphered beforehand, so that the extractor's cost can be compared with
// decompression alone.
//   sfx_bench_inflate prepare ARCHIVE.run PASSWORD PLAIN   deciphers every chunk into PLAIN
//   sfx_bench_inflate inflate PLAIN OUTDIR                 inflates them, writing the files
//   sfx_bench_inflate inflate PLAIN -                      inflates them in memory only
#include "extractor/core/SfxExtract.h"
#include "extractor/core/SfxFormat.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

int Prepare(const std::string& archivePath, const std::string& password, const std::string& plainPath) {
    auto source = sfx::FileSource::Open(archivePath);
    if (!source)
        return std::perror(archivePath.c_str()), 1;
    sfx::SfxArchive archive;
    sfx::ReadDirectory(*source, password, archive);
    FILE* out = std::fopen(plainPath.c_str(), "wb");
    if (!out)
        return std::perror(plainPath.c_str()), 1;
    const auto putU32 = [&](std::uint32_t v) { std::fwrite(&v, 4, 1, out); };
    sfx::Keystream keystream(sfx::MakeKeySchedule(password));
    std::vector<std::uint8_t> chunk, plain;
    for (std::size_t k = 0; k < archive.count; ++k) {
        const std::size_t e = archive.count - 1 - k;
        std::string relative;
        sfx::CheckEntryName(archive.entries[e].name, relative);
        putU32(std::uint32_t(relative.size()));
        std::fwrite(relative.data(), 1, relative.size(), out);
        std::uint64_t pos = archive.entries[e].dataOffset;
        const std::uint64_t end = pos + archive.DataAreaSize(e);
        std::vector<std::vector<std::uint8_t>> chunks;
        while (pos < end) {
            std::uint8_t len[4];
            source->ReadAt(pos, len, 4);
            const std::uint32_t n = sfx::LoadU32(len);
            chunk.resize(n);
            plain.resize(n);
            source->ReadAt(pos + 4, chunk.data(), n);
            keystream.Apply(chunk.data(), plain.data(), n);
            chunks.push_back(plain);
            pos += 4 + n;
        }
        putU32(std::uint32_t(chunks.size()));
        for (const auto& c : chunks) {
            putU32(std::uint32_t(c.size()));
            std::fwrite(c.data(), 1, c.size(), out);
        }
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

int Inflate(const std::string& plainPath, const std::string& outDir) {
    FILE* in = std::fopen(plainPath.c_str(), "rb");
    if (!in)
        return std::perror(plainPath.c_str()), 1;
    std::setvbuf(in, nullptr, _IOFBF, 1 << 20);
    const bool write = outDir != "-";
    std::set<std::string> folders;
    std::vector<std::uint8_t> stream, content(65536);
    std::uint64_t total = 0;
    std::uint32_t nameLen;
    while (std::fread(&nameLen, 4, 1, in) == 1) {
        std::string name(nameLen, '\0');
        std::uint32_t count = 0;
        if (std::fread(name.data(), 1, nameLen, in) != nameLen || std::fread(&count, 4, 1, in) != 1)
            return 1;
        int fd = -1;
        if (write) {
            const std::string path = outDir + "/" + name;
            for (std::size_t p = path.find('/', 1); p != std::string::npos; p = path.find('/', p + 1))
                if (folders.insert(path.substr(0, p)).second)
                    ::mkdir(path.substr(0, p).c_str(), 0777);
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd < 0)
                return std::perror(path.c_str()), 1;
        }
        for (std::uint32_t c = 0; c < count; ++c) {
            std::uint32_t n = 0;
            if (std::fread(&n, 4, 1, in) != 1)
                return 1;
            stream.resize(n);
            if (std::fread(stream.data(), 1, n, in) != n)
                return 1;
            uLongf produced = content.size();
            if (::uncompress(content.data(), &produced, stream.data(), n) != Z_OK)
                return std::fputs("uncompress failed\n", stderr), 1;
            total += produced;
            if (write && ::write(fd, content.data(), produced) != ssize_t(produced))
                return std::perror("write"), 1;
        }
        if (fd >= 0) {
            // The extractor sets every file's modification time; so does the reference.
            const timespec times[2] = {{0, UTIME_OMIT}, {1600000000, 0}};
            ::futimens(fd, times);
            ::close(fd);
        }
    }
    std::fclose(in);
    std::fprintf(stderr, "%llu bytes inflated\n", static_cast<unsigned long long>(total));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 5 && std::strcmp(argv[1], "prepare") == 0)
            return Prepare(argv[2], argv[3], argv[4]);
        if (argc == 4 && std::strcmp(argv[1], "inflate") == 0)
            return Inflate(argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fputs("usage: sfx_bench_inflate prepare ARCHIVE PASSWORD PLAIN | inflate PLAIN OUTDIR|-\n", stderr);
    return 2;
}
