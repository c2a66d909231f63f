#include "tasks/model/Tables.h"

#include <stdexcept>

const char* const timeframe[7] = {"Minutely", "Hourly", "Daily", "Weekly", "Monthly", "Once", "Startup"};
const char* const weekdays[8] = {"",          "Sunday",   "Monday", "Tuesday",
                                 "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const months[13] = {"",     "January", "February",  "March",   "April",    "May",     "June",
                                "July", "August",  "September", "October", "November", "December"};
const char* const shpropsnames[5] = {"Schedule", "Start time", "End time", "Next run", "Last run"};

namespace jobkit {

// Constant rather than filled by the first task manager, so that a delete task can be built and
// named at any time.
const char* const taskNames[kTaskNameCount] = {
    "Encrypt and Wipe", "Encrypt",  "Don't delete", "Move to Recycle Bin", "Delete", "Wipe", "None", "Clear",
    "Send message",     "Send file"};

const char* const algorithmNames[kAlgorithmCount] = {"AES",  "Blowfish", "CAST-256", "GOST",       "Square",
                                                     "MARS", "RC-6",     "Serpent",  "Triple-DES", "Twofish"};
const char* const modeNames[kModeCount] = {"ECB", "CBC", "CFB", "OFB"};

std::string TaskName(int code) {
    if (code == -1)
        return {};
    if (code < 0 || code >= kTaskNameCount)
        throw std::invalid_argument("There is no task with the code " + std::to_string(code) + ".");
    return taskNames[code];
}

std::uint8_t AlgorithmModeCode(int algorithm, int mode) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(algorithm) * 4u + static_cast<unsigned>(mode) +
                                     1u);
}

} // namespace jobkit
