#pragma once

#include "uikit/Progress.h"

#include <string>

// The progress and cancel record that file listings, task runs, the archive engine and the mail
// client share. The fields keep their order and meaning; the two progress-bar fields hold uikit
// progress indicators instead of window handles.
//
// A fresh record has every field 0 and both texts empty, except bContinue = 1 and the two
// pointers, which point at the record's own flags. A copy keeps the pointers, so a copy and the
// record it was made from obey one continue flag and report into one stopped flag.
struct CALLBACKSTRUCT_ {
    void (*pfnCallBack)(CALLBACKSTRUCT_* record) = nullptr; // progress callback; null for none
    int nCurrent = 0;                                       // files listed so far, task number, or files done
    uikit::IProgressIndicator* hWndProgress = nullptr;      // advanced while files are added to an archive
    uikit::IProgressIndicator* hWndUpdateProgress = nullptr; // advanced while an existing archive is updated
    int nReserved4 = 0;
    int nReserved5 = 0;
    int nPathCtrlId = 0; // the wait window's text that shows the folder being searched (153)
    int nReserved7 = 0;
    std::string csCurrent; // the file just listed or being processed
    std::string csPhase;   // for instance "Encrypting files..."
    int nReserved10 = 0;
    void* pDialog = nullptr; // the progress window the callback updates
    int bContinue = 1;       // 1 = go on; a Cancel sets it to 0
    int* pbContinue;         // the continue flag that governs this record
    int bStopped = 0;        // 1 when a task ended because of a cancel
    int* pbStopped;          // the stopped flag this record reports into
    int nErrors = 0;

    CALLBACKSTRUCT_() : pbContinue(&bContinue), pbStopped(&bStopped) {}
    CALLBACKSTRUCT_(const CALLBACKSTRUCT_&) = default;
    CALLBACKSTRUCT_& operator=(const CALLBACKSTRUCT_&) = default;

    bool ShouldContinue() const { return !pbContinue || *pbContinue != 0; }
    void Cancel() {
        if (pbContinue)
            *pbContinue = 0;
    }
    void MarkStopped() {
        if (pbStopped)
            *pbStopped = 1;
    }
    void Callback() {
        if (pfnCallBack)
            pfnCallBack(this);
    }
};
