#pragma once

#include <cstdint>
#include <string>

// The exported lookup tables of the task library, in the order the control center indexes them.
extern const char* const timeframe[7];    // "Minutely" ... "Startup"
extern const char* const weekdays[8];     // "", "Sunday" ... "Saturday"
extern const char* const months[13];      // "", "January" ... "December"
extern const char* const shpropsnames[5]; // "Schedule", "Start time", "End time", "Next run", "Last run"

namespace jobkit {

// The display names of the task codes 0 to 9.
constexpr int kTaskNameCount = 10;
extern const char* const taskNames[kTaskNameCount];
// Name of a task code; -1 (a blank task) gives the empty name. Throws std::invalid_argument for
// any other code outside the table.
std::string TaskName(int code);

// The ciphers and block modes an encrypt task chooses by index.
constexpr int kAlgorithmCount = 10;
constexpr int kModeCount = 4;
extern const char* const algorithmNames[kAlgorithmCount];
extern const char* const modeNames[kModeCount];

// The one-byte algorithm-mode code handed to the engine and kept in encrypted-file headers:
// algorithm × 4 + mode + 1, computed in 8 bits.
std::uint8_t AlgorithmModeCode(int algorithm, int mode);

} // namespace jobkit
