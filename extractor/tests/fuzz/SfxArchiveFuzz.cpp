// The directory reader and the chunk loop over arbitrary bytes: every input must end in the
// archive's data or a damaged-archive report, never a crash, a hang or a huge allocation.
// The seeds in corpus/ are archives written by qmsfx with an empty stub and the password "fuzz":
//   printf '' > empty; build/bin/qmsfx --password fuzz --stub empty -o corpus/NAME.run FILES...
#include "extractor/core/SfxExtract.h"
#include "extractor/core/SfxFormat.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sfx::MemorySource source(data, size);
    sfx::SfxArchive archive;
    try {
        sfx::ReadDirectory(source, "fuzz", archive);
        sfx::ChunkDecoder decoder("fuzz");
        std::size_t total = 0;
        for (std::size_t k = 0; k < archive.count; ++k) {
            const std::size_t e = archive.count - 1 - k;
            std::string relative;
            if (sfx::CheckEntryName(archive.entries[e].name, relative) != sfx::NameCheck::Ok)
                continue;
            decoder.Decode(source, archive.entries[e].dataOffset, archive.DataAreaSize(e),
                           [&](const std::uint8_t*, std::size_t n) { total += n; });
        }
        (void)total;
    } catch (const sfx::EException&) {
    }
    return 0;
}
