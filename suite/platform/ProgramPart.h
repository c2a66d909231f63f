#pragma once

#include <string>

namespace platform {

// A program keeps its window, and with it the display libraries, in a library of its own that it
// loads only when the window opens; its console side then starts without them. Returns the named
// entry point of that library, found beside the program or in ../lib (the build and install
// layout), or null with the loader's reason in why. Needs only the C library, so that programs
// which link nothing of the suite can compile it in.
void* LoadProgramPart(const char* library, const char* symbol, std::string& why);

} // namespace platform
