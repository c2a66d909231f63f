#include "platform/ProgramPart.h"
#include "platform/ProgramFolder.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

// Set by the build: the install prefix's library folder, and (in builds that may run uninstalled)
// the build tree's program and library folders.
#ifndef QM_INSTALL_LIBDIR
#define QM_INSTALL_LIBDIR "/usr/local/lib"
#endif

namespace platform {
namespace {

#if defined(QM_BUILD_TREE_BINDIR) && defined(QM_BUILD_TREE_LIBDIR)
bool SameFolder(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
#endif

} // namespace

std::vector<std::string> ProgramPartFolders() {
    std::vector<std::string> folders;
#if defined(QM_BUILD_TREE_BINDIR) && defined(QM_BUILD_TREE_LIBDIR)
    if (SameFolder(ProgramFolder(), QM_BUILD_TREE_BINDIR))
        folders.push_back(QM_BUILD_TREE_LIBDIR);
#endif
    folders.push_back(QM_INSTALL_LIBDIR);
    return folders;
}

void* LoadProgramPart(const char* library, const char* symbol, std::string& why) {
    why = std::string(library) + " not found in";
    for (const std::string& folder : ProgramPartFolders())
        why += " " + folder;
    for (const std::string& folder : ProgramPartFolders()) {
        const std::string candidate = folder + "/" + library;
        if (::access(candidate.c_str(), R_OK) != 0)
            continue;
        void* lib = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        void* entry = lib ? ::dlsym(lib, symbol) : nullptr;
        if (entry)
            return entry;
        const char* reason = ::dlerror();
        why = reason ? reason : candidate + ": no entry point " + symbol;
    }
    return nullptr;
}

} // namespace platform
