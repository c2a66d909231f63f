// qm_engine: runs one engine call, for the side-by-side benchmark (scripts/bench/engine.sh).
//   qm_engine encrypt SOURCE DEST (--password PW | --key KEYFILE) [CODE] [--compress]
//   qm_engine decrypt SOURCE DEST (--password PW | --key KEYFILE)
//   qm_engine make-key KEYFILE
//   qm_engine seal TEXT PASSWORD OUTFILE
//   qm_engine raw-encrypt CODE SOURCE DEST   the bare cipher and mode over the file, no format, no
//                                             authentication: the reference the format is held to
// QM_ENGINE_KDF_LOG2N=n sets a cheaper scrypt cost (for making test seed files only).
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/KeyFile.h"
#include "corecrypt/Primitives.h"
#include "corecrypt/Seal.h"

#include <fcntl.h>
#include <fstream>
#include <unistd.h>
#include <vector>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int RawEncrypt(int code, const char* source, const char* dest) {
    std::string error;
    const std::size_t keySize = corecrypt::ModeCipher::KeySize(code);
    std::vector<std::uint8_t> key(keySize, 0x11), iv(16, 0x22);
    auto cipher = corecrypt::ModeCipher::Create(code, true, key.data(), iv.data(), error);
    const int in = ::open(source, O_RDONLY);
    const int out = ::open(dest, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!cipher || in < 0 || out < 0) {
        std::fprintf(stderr, "qm_engine: cannot start: %s\n", error.c_str());
        return 1;
    }
    std::vector<std::uint8_t> buffer(1 << 16);
    while (true) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        // The bare mode takes whole blocks; a short tail is rounded up as padding would.
        const std::size_t size = (static_cast<std::size_t>(n) + 15) / 16 * 16;
        if (!cipher->Process(buffer.data(), buffer.data(), size, error) ||
            ::write(out, buffer.data(), size) != static_cast<ssize_t>(size)) {
            std::fprintf(stderr, "qm_engine: %s\n", error.c_str());
            return 1;
        }
    }
    ::close(in);
    ::close(out);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    char error[2000] = "";
    if (const char* cost = std::getenv("QM_ENGINE_KDF_LOG2N"))
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{static_cast<std::uint8_t>(std::atoi(cost)), 8, 1});
    if (argc == 5 && std::strcmp(argv[1], "seal") == 0) {
        const std::string text = argv[2];
        std::vector<unsigned char> out(text.size() + 100);
        int length = static_cast<int>(out.size());
        if (!SealBuffer(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()),
                        out.data(), &length, argv[3], 0, 4, error, sizeof error, 0)) {
            std::fprintf(stderr, "qm_engine: %s\n", error);
            return 1;
        }
        std::ofstream(argv[4], std::ios::binary).write(reinterpret_cast<char*>(out.data()), length);
        return 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "raw-encrypt") == 0)
        return RawEncrypt(std::atoi(argv[2]), argv[3], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "make-key") == 0) {
        if (!CreateKeyFile(argv[2], error, sizeof error)) {
            std::fprintf(stderr, "qm_engine: %s\n", error);
            return 1;
        }
        return 0;
    }
    if (argc < 6 || (std::strcmp(argv[4], "--password") != 0 && std::strcmp(argv[4], "--key") != 0)) {
        std::fputs("usage: qm_engine encrypt|decrypt SOURCE DEST (--password PW | --key KEYFILE) [CODE] "
                   "[--compress]\n",
                   stderr);
        return 2;
    }
    const bool keyFile = std::strcmp(argv[4], "--key") == 0;
    int ok = 0;
    if (std::strcmp(argv[1], "encrypt") == 0) {
        const int code = argc > 6 ? std::atoi(argv[6]) : 0;
        const bool compress = argc > 7 && std::strcmp(argv[7], "--compress") == 0;
        ok = EncryptFileTo(argv[2], argv[3], argv[5], keyFile ? 1 : 0, code, compress ? 1 : 0, error,
                           sizeof error, 0, 0);
    } else {
        ok = DecryptFileTo(argv[2], argv[3], argv[5], 1, 0, error, sizeof error);
    }
    if (!ok) {
        std::fprintf(stderr, "qm_engine: %s\n", error);
        return 1;
    }
    return 0;
}
