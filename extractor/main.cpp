// extractor: the self-decrypting stub placed in front of an encrypted archive. It opens its window
// when a display is available and the window library loads; otherwise it runs in the terminal.
// The stub itself links no Qt, so a self-extracting file also runs where Qt is not installed.
#include "extractor/EmbeddedWindow.h"
#include "extractor/TerminalRun.h"
#include "extractor/windows/WindowEntry.h"
#include "platform/Display.h"
#include "platform/FileIo.h"
#include "platform/ProgramFolder.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The usage text names the file as it was run ("./archive.run"), since that is the name the
// user knows it by.
void PrintUsage(const char* self) {
    std::printf("Usage: %s [--help | --version]\n"
                "A Quillmark self-extracting file: asks for the password and writes the files of\n"
                "the archive appended to this program into a folder. Without a display it asks on\n"
                "the terminal; when standard input is not a terminal, its first line is the\n"
                "password and its second the output folder (empty: the current folder):\n"
                "  printf 'PASSWORD\\n/some/folder\\n' | %s\n",
                self, self);
}

// Loads the built-in copy of the window library through an anonymous in-memory file. Nothing is
// looked for beside the program, in the current folder or on the loader's path: a self-extracting
// file is often run from a downloads folder, where anyone may have left a library of that name.
// Null when it does not load, for instance because Qt is not installed.
extractor::WindowMainFn LoadWindow() {
    const std::string_view bytes = extractor::EmbeddedWindowLibrary();
    const int fd = ::memfd_create(kWindowLibrary, MFD_CLOEXEC);
    void* lib = nullptr;
    if (fd >= 0) {
        if (platform::WriteAll(fd, bytes.data(), bytes.size()))
            lib = ::dlopen(("/proc/self/fd/" + std::to_string(fd)).c_str(), RTLD_NOW | RTLD_LOCAL);
        ::close(fd);
    }
    if (void* fn = lib ? ::dlsym(lib, kWindowMainSymbol) : nullptr)
        return reinterpret_cast<extractor::WindowMainFn>(fn);
    const char* reason = ::dlerror();
    std::fprintf(stderr, "The window cannot be opened (%s); asking here instead.\n",
                 reason ? reason : std::strerror(errno));
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const char* asRun = argc > 0 && argv[0] ? argv[0] : "extractor";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage(asRun);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s: Quillmark self-extracting file, extractor %s\n", asRun, QM_VERSION);
            return 0;
        }
        // Options with one dash are the window toolkit's own (-platform, -style).
        if (std::strncmp(argv[i], "--", 2) == 0) {
            std::fprintf(stderr, "%s: unknown option %s (%s --help)\n", asRun, argv[i], asRun);
            return 2;
        }
    }
    std::string self = platform::ProgramPath();
    if (self.empty())
        self = "/proc/self/exe";
    const sfx::OwnFile own{"/proc/self/exe", self};
    if (platform::DisplayAvailable()) {
        if (auto windowMain = LoadWindow())
            return windowMain(argc, argv, own.openPath.c_str(), own.displayPath.c_str());
    }
    return extractor::RunInTerminal(own);
}
