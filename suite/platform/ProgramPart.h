#pragma once

#include <string>
#include <vector>

namespace platform {

// A program keeps its window, and with it the display libraries, in a library of its own that it
// loads only when the window opens; its console side then starts without them. Returns the named
// entry point of that library, or null with the loader's reason in why.
//
// The library is looked for only in folders fixed when the suite was built: the library folder
// of the install prefix and, for a program that runs from the build tree's own program folder,
// the build tree's library folder. Never beside the running file, in the current folder or on the
// loader's search path, where a downloaded file could stand in for it.
void* LoadProgramPart(const char* library, const char* symbol, std::string& why);

// The folders LoadProgramPart looks in, in that order.
std::vector<std::string> ProgramPartFolders();

} // namespace platform
