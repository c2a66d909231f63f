#pragma once

// "qmtask schedule VERB ...": argv[1] is "schedule". Returns the exit code.
int ScheduleVerb(int argc, char** argv);
