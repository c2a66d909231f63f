#pragma once

#include <cstdint>
#include <string>

// "qmtask schedule VERB ...": argv[1] is "schedule". Returns the exit code.
int ScheduleVerb(int argc, char** argv);

// A task's time as qmtask prints it: local "YYYY-MM-DD HH:MM:SS", or "-" for none.
std::string TaskTimeText(std::int64_t t);
