#include "platform/ProgramPart.h"
#include "platform/ProgramFolder.h"

#include <dlfcn.h>
#include <unistd.h>

namespace platform {

void* LoadProgramPart(const char* library, const char* symbol, std::string& why) {
    const std::string folder = ProgramFolder() + "/";
    why = std::string(library) + " not found";
    for (const std::string& candidate : {folder + library, folder + "../lib/" + library}) {
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
