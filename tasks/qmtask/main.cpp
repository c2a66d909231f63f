// qmtask: task lists (".qms") from the command line.
#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] = "Usage: qmtask VERB [ARGS...]\n"
                      "Inspect, build and run Quillmark task lists from the command line.\n"
                      "\n"
                      "  --help      show this text\n";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
