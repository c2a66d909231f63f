// keeper: the background scheduler host. It keeps the session key store, runs the stored
// schedule and answers the commands of the control center and qmtask.
#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] = "Usage: keeper MODE\n"
                      "The Quillmark background scheduler.\n"
                      "\n"
                      "Modes:\n"
                      "  scheduler   run the stored schedule\n"
                      "  seskey      keep the session key store only\n"
                      "  startup     run the schedule after the user logged in (start-up pass)\n"
                      "  --help      show this text\n";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "scheduler") == 0 || std::strcmp(argv[1], "seskey") == 0 ||
                      std::strcmp(argv[1], "startup") == 0)) {
        std::fprintf(stderr, "keeper: the scheduler is not part of this build yet.\n");
        return 1;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
