#pragma once

// Helpers around the engine's archives for the task runs and the main window.

#include <string>
#include <vector>

namespace misckit {

// Narrows `paths` to what still needs adding to the existing `archive`: files it does not hold
// and files newer than their entry (folders are walked, with subfolders as the archive-folders
// setting says, and each file listed with its entry name anchored by "/./", which the archive
// writer understands). A missing archive leaves the list as it is. Non-zero on success; zero
// when the archive cannot be opened with `keyOrPassword` (`error` says why). An empty list
// means nothing to do.
int PrepareArchiveUpdate(const std::string& archive, std::vector<std::string>& paths,
                         const std::string& keyOrPassword, int isKeyFile, std::string* error = nullptr);

// What the pre-extraction check decided.
enum ExtractionCheck {
    kExtractNothing = 0,  // cancelled, or nothing can be extracted
    kExtract = 1,         // extract the entries left in the list; no file is replaced
    kExtractReplacing = 2 // the user agreed to replace existing files: extract with overwrite on
};

// Before entries are extracted into `folder`: drops entries whose names would leave the folder
// (absolute, "..", a symbolic link on the way) or whose target is a folder, and for each file
// that exists already either keeps it (`overwrite` set) or asks through uikit whether to replace
// it (No drops the entry, Cancel extracts nothing). `refused` receives one line per dropped entry.
int CheckExtraction(const std::string& folder, std::vector<std::string>& entries, bool overwrite,
                    std::vector<std::string>* refused = nullptr);

} // namespace misckit
