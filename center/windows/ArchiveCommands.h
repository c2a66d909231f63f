#pragma once

#include <functional>
#include <string>

class QWidget;
struct CALLBACKSTRUCT_;

namespace center {

class CKeyManDesc;

// The archive commands of the main window, on the archive the description pane shows. Each runs
// under the wait window, with Cancel, and reports failures in message boxes.
enum class ArchiveOutcome {
    Unchanged, // nothing was done, or it failed
    Changed,   // the archive was changed (entries added or removed); the pane lists it again
    Removed,   // the archive was emptied and deleted; the pane is empty
};

enum class DecryptWhat { Selected, Entire, AndRemove };

// Decrypts entries into `folder`. Selected and AndRemove need a selection ("Select files you want
// to decrypt."). AndRemove gives Changed, or Removed when no entry would be left: then the
// entries are extracted and the emptied archive file is removed.
ArchiveOutcome DecryptArchive(CKeyManDesc& pane, DecryptWhat what, const std::string& folder, QWidget* owner);

// Asks for files ("Add Files") or one folder, and adds them with the suite's archive settings.
ArchiveOutcome AddFilesToArchive(CKeyManDesc& pane, QWidget* owner);
ArchiveOutcome AddFolderToArchive(CKeyManDesc& pane, QWidget* owner);

// "Are you sure you want to delete %i file(s) from an archive?", then removes the selected
// entries; removing every entry deletes the archive file (to the Trash when there is one).
ArchiveOutcome DeleteArchiveEntries(CKeyManDesc& pane, QWidget* owner);

// Runs an engine call under the wait window ("Quillmark is working...", with Cancel), its progress
// bar set to 0..`range`. The call gets the progress record and an error buffer of 1000 bytes and
// returns non-zero on success. A failure is shown (caption "Error") unless it was cancelled; the
// engine's "no entry would be left" is not shown but given back.
enum class WaitResult { Failed, Done, NoEntriesLeft };
using WaitWork = std::function<int(CALLBACKSTRUCT_& record, char* error, int errorSize)>;
WaitResult RunWithWait(QWidget* owner, int range, const WaitWork& work);

} // namespace center
