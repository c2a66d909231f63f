#pragma once

// The progress and cancel record shared by file listings, task runs and the engine's long calls.

#include <string>

namespace uikit {
class ProgressIndicator;
}

struct CALLBACKSTRUCT_ {
    // Called after csCurrent or nCurrent changed; null for none.
    void (*pfnCallBack)(CALLBACKSTRUCT_* record) = nullptr;
    int nCurrent = 0; // files listed so far, task number, or files done
    // The bar the archive engine advances per file added, and the one it uses while an existing
    // archive is copied; null for none.
    uikit::ProgressIndicator* hWndProgress = nullptr;
    uikit::ProgressIndicator* hWndUpdateProgress = nullptr;
    int nReserved4 = 0;
    int nReserved5 = 0;
    int nPathCtrlId = 0; // the text in the wait window that shows the folder being searched
    int nReserved7 = 0;
    std::string csCurrent; // the item just listed or being processed
    std::string csPhase;   // "Encrypting files..."
    int nReserved10 = 0;
    void* pDialog = nullptr;      // the progress window the callback updates
    int bContinue = 1;            // 1 = continue; a Cancel sets it to 0
    int* pbContinue = &bContinue; // the flag that governs this record: the one it was first made in
    int bStopped = 0;             // 1 once a task ended because of a cancel
    int* pbStopped = &bStopped;
    int nErrors = 0;

    CALLBACKSTRUCT_() = default;
    // A copy obeys the continue and stopped flags of the record it was made from.
    CALLBACKSTRUCT_(const CALLBACKSTRUCT_&) = default;
    CALLBACKSTRUCT_& operator=(const CALLBACKSTRUCT_&) = default;

    bool ShouldContinue() const { return !pbContinue || *pbContinue != 0; }
    void MarkStopped() {
        if (pbStopped)
            *pbStopped = 1;
    }
};
