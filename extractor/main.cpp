// extractor: the self-decrypting stub placed in front of an encrypted archive.
#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] = "Usage: extractor [--help]\n"
                      "The Quillmark self-decrypting extractor: asks for the password and writes the files\n"
                      "of the archive appended to this program into a folder.\n";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fprintf(stderr, "extractor: no archive is appended to this program.\n");
    return 1;
}
