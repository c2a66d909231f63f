// UnsealBuffer on arbitrary bytes: a clear error or the text, never more than the capacity.
#include "corecrypt/Primitives.h"
#include "corecrypt/Seal.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool once = [] {
        corecrypt::SetKdfCapForTesting(corecrypt::KdfCost{10, 8, 1});
        return true;
    }();
    (void)once;
    if (size > 1 << 20)
        return 0;
    std::vector<unsigned char> out(size + 100);
    int length = static_cast<int>(out.size());
    char error[512];
    std::memset(error, 'x', sizeof error);
    if (UnsealBuffer(data, static_cast<int>(size), out.data(), &length, "fuzz", 0, 4, error, 512, 0)) {
        if (length < 0 || static_cast<std::size_t>(length) >= out.size() ||
            out[static_cast<std::size_t>(length)] != 0)
            __builtin_trap();
    } else if (!std::memchr(error, 0, sizeof error)) {
        __builtin_trap();
    }
    return 0;
}
