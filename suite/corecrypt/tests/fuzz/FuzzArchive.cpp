// The archive reader (FUZZ_EXTRACT 0) and decryptor (1) on arbitrary bytes: with the seeds' key
// file or password, any change must end in a clear error (never a crash, a hang or unbounded
// memory), and no entry may give more bytes than the directory says.
#include "FuzzKey.h"
#include "corecrypt/Archive.h"
#include "corecrypt/Primitives.h"
#include "corecrypt/QMException.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool once = [] {
        corecrypt::SetKdfCapForTesting(corecrypt::KdfCost{10, 8, 1});
        return true;
    }();
    (void)once;
    std::uint8_t id[16];
    std::uint8_t secret[80];
    fuzzkey::Fill(id, secret);
    // Byte 9 bit 0 says which key the archive wants; give it that one.
    const bool keyFile = size > 9 && (data[9] & 1) != 0;
    std::vector<corecrypt::ArchiveEntry> entries;
    std::string error;
    try {
        if (!corecrypt::CheckArchiveBytes(data, size, fuzzkey::kPassword, keyFile, id, secret, sizeof secret,
                                          FUZZ_EXTRACT != 0, entries, error) &&
            error.empty())
            __builtin_trap();
    } catch (const CQMException& e) {
        if (e.GetReportText().empty())
            __builtin_trap();
    }
    return 0;
}
