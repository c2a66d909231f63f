#pragma once

#include <string>

namespace NetKit {
namespace Mail {

// The progress record that SendMail reports to. Its fields carry the names of the task run's
// progress record, so that record can take its place without touching the mail code.
struct MAILPROGRESS_ {
    // Called after csPhase or csCurrent changed, and now and then while the transfer waits, so
    // the caller can keep its window alive; null for none.
    void (*pfnCallBack)(MAILPROGRESS_* record) = nullptr;
    int nCurrent = 0;        // left as the caller set it
    void* pDialog = nullptr; // the caller's window; not used by the mail code
    std::string csCurrent;   // what is happening now: the server, or the bytes sent so far
    std::string csPhase;     // "Connecting to the mail server...", "Sending email..."
};

} // namespace Mail
} // namespace NetKit
