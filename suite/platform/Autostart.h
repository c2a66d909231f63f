#pragma once

#include <string>
#include <vector>

namespace platform {

// The start-up entry that starts a program when the user logs in: an XDG autostart file
// $XDG_CONFIG_HOME/autostart/<fileName>.desktop with the given display name.
struct AutostartEntry {
    std::string fileName;    // without ".desktop", e.g. "quillmark-scheduler"
    std::string displayName; // the Name= line, e.g. "Quillmark Scheduler"
};

// The Exec= value for a program and its arguments, quoted as the desktop-entry rules ask.
std::string AutostartExecLine(const std::string& program, const std::vector<std::string>& args);
// Writes (or replaces) the entry atomically.
bool WriteAutostartEntry(const AutostartEntry& entry, const std::string& program,
                         const std::vector<std::string>& args, std::string& error);
// Removes the entry; removing a missing entry succeeds.
bool RemoveAutostartEntry(const AutostartEntry& entry, std::string& error);
// Reads back the Exec= value; false when there is no entry (or it has no Exec line).
bool ReadAutostartEntry(const AutostartEntry& entry, std::string& execLine);
// The full path of the entry's file.
std::string AutostartPath(const AutostartEntry& entry);

} // namespace platform
