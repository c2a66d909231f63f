#pragma once

#include "center/core/StartupCommand.h"

// Runs one shell action of the command line (preferences, quick start, opening encrypted files,
// the encryption wizard) with the suite's windows installed, and returns the exit status when its
// windows have closed. The caller has a QApplication and a uikit back-end.
int RunShellAction(const center::StartupCommand& command);

// Installs the suite's windows (shellkit's and wizkit's) and the session key link for as long as
// it lives.
class CSuiteWindows {
public:
    CSuiteWindows();
    ~CSuiteWindows();
    CSuiteWindows(const CSuiteWindows&) = delete;
    CSuiteWindows& operator=(const CSuiteWindows&) = delete;

private:
    struct Parts;
    Parts* m_parts;
};
