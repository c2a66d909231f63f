// qm_engine: runs one engine call, for the side-by-side benchmark (scripts/bench/engine.sh).
//   qm_engine encrypt SOURCE DEST (--password PW | --key KEYFILE) [CODE] [--compress]
//   qm_engine decrypt SOURCE DEST (--password PW | --key KEYFILE)
//   qm_engine make-key KEYFILE
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/KeyFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    char error[2000] = "";
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
