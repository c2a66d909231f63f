// A stand-in for the programs' window libraries, which the tests lay where a program must never
// load one from (beside a downloaded file, in the current folder, on the loader's path). Loading
// it leaves a marker file at $QM_PLANTED_MARKER; its entry points end the program at once.
#include <cstdio>
#include <cstdlib>

namespace {

__attribute__((constructor)) void LeaveMarker() {
    if (const char* marker = std::getenv("QM_PLANTED_MARKER"))
        if (std::FILE* f = std::fopen(marker, "w")) {
            std::fputs("loaded\n", f);
            std::fclose(f);
        }
}

} // namespace

extern "C" __attribute__((visibility("default"))) int qm_extractor_window_main(int, char**, const char*,
                                                                               const char*) {
    return 0;
}

extern "C" __attribute__((visibility("default"))) int qm_center_window_main(int, char**) {
    return 0;
}
