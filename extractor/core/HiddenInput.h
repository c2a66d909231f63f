#pragma once

#include <cstdio>
#include <string>

namespace sfx {

// Reads one line typed on the terminal of standard input with echo off. The prompt is written to
// `promptTo` only once echo is off, so that nothing typed after it is shown or discarded. False
// when standard input is not a terminal. At most 4096 characters are kept.
bool ReadHiddenLine(const char* prompt, std::FILE* promptTo, std::string& line);

// Puts the terminal's echo back if a hidden read is under way; safe in a signal handler.
void RestoreTerminalEcho();

} // namespace sfx
