// The header parser of encrypted files, on arbitrary bytes.
#include "corecrypt/FileFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corecrypt::FileHeader header;
    int code = 0;
    std::string error;
    if (corecrypt::ParseFileHeader(data, size, header, code, error)) {
        // An accepted header is consistent with itself.
        if (header.code < 1 || header.code > 40 || header.chunkSize < 4096 || header.chunkSize > (1u << 20))
            __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
