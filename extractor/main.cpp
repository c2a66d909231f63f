// extractor: the self-decrypting stub placed in front of an encrypted archive. It opens its window
// when a display is available and the window library loads; otherwise it runs in the terminal.
// The stub itself links no Qt, so a self-extracting file also runs where Qt is not installed.
#include "extractor/DisplayCheck.h"
#include "extractor/TerminalRun.h"
#include "extractor/windows/WindowEntry.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

const char kUsage[] = "Usage: extractor\n"
                      "The Quillmark self-decrypting extractor: asks for the password and writes the files\n"
                      "of the archive appended to this program into a folder. Without a display it asks\n"
                      "on the terminal; when standard input is not a terminal, its first line is the\n"
                      "password and its second the output folder (empty: the current folder).\n";

std::string OwnPath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, std::size_t(n)) : std::string("/proc/self/exe");
}

// The window library beside the program, in ../lib (the build and install layout), or wherever the
// dynamic loader finds it.
extractor::WindowMainFn LoadWindow(const std::string& self) {
    const std::string folder = self.substr(0, self.rfind('/') + 1);
    for (const std::string& candidate :
         {folder + kWindowLibrary, folder + "../lib/" + kWindowLibrary, std::string(kWindowLibrary)}) {
        if (void* lib = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (void* fn = ::dlsym(lib, kWindowMainSymbol))
                return reinterpret_cast<extractor::WindowMainFn>(fn);
            ::dlclose(lib);
        }
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string self = OwnPath();
    const sfx::OwnFile own{"/proc/self/exe", self};
    if (extractor::DisplayAvailable()) {
        if (auto windowMain = LoadWindow(self))
            return windowMain(argc, argv, own.openPath.c_str(), own.displayPath.c_str());
    }
    return extractor::RunInTerminal(own);
}
