#pragma once

#include <string>
#include <vector>

namespace misckit {

// The program name, the caption of the suite's message boxes.
extern const char* const szAppName; // "Quillmark"

// The error list: per-file failures of a scan or a task run, collected and shown at the end.
// It belongs to the user-interface thread, like everything that fills it.
extern std::vector<std::string> vsErrorItems;

// Appends one line, formatted with printf rules, to vsErrorItems. The format is the caller's
// own text; arguments may be any text (a path, a message from a file) of any length and are
// never read as a format.
void AddErrorItem(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shows the lines under the title through the uikit services: a list window with the GUI, the
// lines on the error stream without one.
void ShowErrorList(const std::vector<std::string>& items, const std::string& title);

} // namespace misckit
