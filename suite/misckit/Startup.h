#pragma once

// The start-up routines that a program of the suite calls first, in this order:
//
//     if (misckit::IsFirstRun())
//         misckit::InitFirstRun();
//     misckit::StartupCheck(1);
namespace misckit {

// Non-zero when this user has not run the suite before: the settings carry no mark of a
// completed first run.
int IsFirstRun();

// The first run: creates the data folder $XDG_DATA_HOME/Quillmark and the key folder (0700),
// stores the default of every setting that has no value yet (paths, encryption options; values
// the user already has are kept) and sets the first-run mark. Non-zero on success.
int InitFirstRun();

// Every start: makes sure the data folder and the stored key folder exist (created 0700), and
// closes the settings file and its folder to other users should they have been opened. The
// argument names the starting program (1: the control center); the checks are the same for
// all. Non-zero when everything is in order.
int StartupCheck(int program);

} // namespace misckit
