#pragma once

#include <string>
#include <vector>

// What qmcenter does for its command line before any window opens: one shell action that ends the
// program when its window closes, or the control center itself.
namespace center {

struct StartupCommand {
    enum Kind {
        ControlCenter,   // the main window (with `paths[0]` as the task list to load, when given)
        OpenFiles,       // the "Decrypt" window for `paths`, then each archive of `archives`
        Preferences,     // "prefs"
        QuickStart,      // "qs"
        EncryptionWizard // "--wizard FILE..."
    };
    Kind kind = ControlCenter;
    std::vector<std::string> paths;
    std::vector<std::string> archives;
};

// Reads the arguments after the program name. Each is taken without its surrounding double
// quotes. Files and folders that exist come first: a name such as "prefs" that exists is a file,
// not the verb. Every argument an existing ".qmp" or ".qma" file (case ignored) opens those files;
// a ".qms" file starts the control center with that task list; "prefs" and "qs" (case ignored)
// alone are the verbs; anything else starts the control center.
StartupCommand ClassifyCommandLine(const std::vector<std::string>& arguments);

} // namespace center
