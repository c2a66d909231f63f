#pragma once

#include <string>

// The folder chooser of the control center's dialogs, in the shape its callers use: set the
// titles (and a start folder), call DoBrowse(), read the chosen folder. The question itself goes
// through the uikit services, so it is a Qt dialog, a terminal prompt or a scripted answer.
class CDirDialog {
public:
    std::string m_strWindowTitle; // the dialog's window title, e.g. "Quillmark"
    std::string m_strTitle;       // the explanation above the folder tree
    std::string m_strInitialDir;  // where the chooser opens; empty for the home folder
    std::string m_strPath;        // the chosen folder after a successful DoBrowse()

    // True when the user chose a folder (then in m_strPath, without a trailing "/" unless it is
    // the root); false when cancelled, leaving m_strPath as it was.
    bool DoBrowse();
};
