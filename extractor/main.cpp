// extractor: the self-decrypting stub placed in front of an encrypted archive. It opens its window
// when a display is available and the window library loads; otherwise it runs in the terminal.
// The stub itself links no Qt, so a self-extracting file also runs where Qt is not installed.
#include "extractor/EmbeddedWindow.h"
#include "extractor/TerminalRun.h"
#include "extractor/windows/WindowEntry.h"
#include "platform/Display.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgramPart.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

const char kUsage[] = "Usage: extractor\n"
                      "The Quillmark self-decrypting extractor: asks for the password and writes the files\n"
                      "of the archive appended to this program into a folder. Without a display it asks\n"
                      "on the terminal; when standard input is not a terminal, its first line is the\n"
                      "password and its second the output folder (empty: the current folder).\n";

// Loads the built-in copy of the window library through an anonymous in-memory file.
void* LoadEmbeddedWindow() {
    const std::string_view bytes = extractor::EmbeddedWindowLibrary();
    const int fd = ::memfd_create(kWindowLibrary, MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    bool written = true;
    for (std::size_t done = 0; written && done < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        written = put > 0;
        done += written ? std::size_t(put) : 0;
    }
    void* lib =
        written ? ::dlopen(("/proc/self/fd/" + std::to_string(fd)).c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
    ::close(fd);
    return lib;
}

// The window library beside the program or in ../lib (the build and install layout), else the
// copy built into the stub. Null when none loads, for instance because Qt is not installed.
extractor::WindowMainFn LoadWindow() {
    std::string why;
    if (void* fn = platform::LoadProgramPart(kWindowLibrary, kWindowMainSymbol, why))
        return reinterpret_cast<extractor::WindowMainFn>(fn);
    if (void* lib = LoadEmbeddedWindow())
        if (void* fn = ::dlsym(lib, kWindowMainSymbol))
            return reinterpret_cast<extractor::WindowMainFn>(fn);
    const char* reason = ::dlerror();
    std::fprintf(stderr, "The window cannot be opened (%s); asking here instead.\n",
                 reason ? reason : why.c_str());
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
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
