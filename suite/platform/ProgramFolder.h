#pragma once

#include <string>

namespace platform {

// The path of the running executable; empty when the system does not say.
std::string ProgramPath();
// The folder of the running executable, without a trailing slash. The suite's programs
// (qmcenter, keeper, qmtask, messenger) stand side by side in it.
std::string ProgramFolder();
// The path of a sibling program in the program folder.
std::string SiblingProgram(const std::string& name);

} // namespace platform
