#include "center/windows/ArchiveCommands.h"

#include "center/views/DescriptionPane.h"
#include "center/windows/WaitWindow.h"
#include "corecrypt/Archive.h"
#include "corecrypt/QMException.h"
#include "misckit/ArchiveHelpers.h"
#include "misckit/Registry.h"
#include "platform/Trash.h"
#include "uikit/DirDialog.h"
#include "uikit/Ui.h"

#include <QDateTime>

#include <cstdio>
#include <filesystem>
#include <functional>

namespace center {

namespace {

const char kAppName[] = "Quillmark";

// Pending input is handled at most every 20 ms while the engine works, so the windows repaint
// and Cancel is seen.
void Pump(CALLBACKSTRUCT_* record) {
    static qint64 last = 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (record && record->pDialog && !record->csCurrent.empty())
        static_cast<CDlgWait*>(record->pDialog)->SetCurrent(record->csCurrent);
    if (now - last >= 20) {
        last = now;
        uikit::PumpMessages();
    }
}

void ShowError(const std::string& text) {
    uikit::MessageBox(text.empty() ? "The operation failed." : text, "Error", uikit::Buttons::OK,
                      uikit::Icon::Error);
}

using RunResult = WaitResult;
} // namespace

WaitResult RunWithWait(QWidget* owner, int range, const WaitWork& work) {
    CALLBACKSTRUCT_ record;
    CDlgWait wait(record.pbContinue, owner);
    wait.setRange(0, range);
    wait.setPosition(0);
    record.pfnCallBack = &Pump;
    record.hWndProgress = &wait;
    record.hWndUpdateProgress = &wait;
    record.pDialog = &wait;
    char error[1000] = {};
    try {
        if (work(record, error, sizeof error))
            return RunResult::Done;
        if (record.ShouldContinue())
            ShowError(error);
    } catch (const CUIException& e) {
        if (e.GetCode() == corecrypt::kArchiveNoEntriesLeft)
            return RunResult::NoEntriesLeft;
        e.ReportError(kAppName);
    }
    return RunResult::Failed;
}

namespace {

int Range(std::uint64_t bytes) {
    return static_cast<int>(std::min<std::uint64_t>(bytes / 10, 0x7fffffff));
}

// Removes an emptied archive: to the Trash where there is one, since it may be the only copy.
void RemoveArchiveFile(const std::string& archive) {
    std::string error;
    if (!platform::MoveToTrash(archive, error) && !platform::DeletePermanently(archive, error))
        uikit::MessageBox("Cannot delete file.", "Error", uikit::Buttons::OK, uikit::Icon::Error);
}

// After an engine call that changes the archive: an archive left without entries goes as a
// file; a changed one is listed again.
ArchiveOutcome Settle(CKeyManDesc& pane, const std::string& archive, RunResult result) {
    if (result == RunResult::NoEntriesLeft) {
        RemoveArchiveFile(archive);
        pane.Reset();
        return ArchiveOutcome::Removed;
    }
    if (result != RunResult::Done)
        return ArchiveOutcome::Unchanged;
    pane.Reload();
    return ArchiveOutcome::Changed;
}

ArchiveOutcome AddSources(CKeyManDesc& pane, std::vector<std::string> sources, QWidget* owner) {
    if (pane.Archive().empty() || sources.empty())
        return ArchiveOutcome::Unchanged;
    const CQMRegistry settings;
    corecrypt::ArchiveAddOptions options;
    options.overwrite = settings.GetInOverwrite();
    options.recurse = settings.GetRecDirs() != 0;
    options.compress = settings.GetCompress() != 0;
    options.extensionsNotCompressed = settings.GetExtsNotCompress();
    std::uint64_t total = 0;
    std::error_code ec;
    for (const auto& s : sources)
        if (std::filesystem::is_regular_file(s, ec))
            total += std::filesystem::file_size(s, ec);
    const std::string archive = pane.Archive();
    const std::string key = pane.Key();
    const bool keyFile = pane.KeyIsFile();
    const RunResult result =
        RunWithWait(owner, Range(total), [&](CALLBACKSTRUCT_& record, char* error, int size) {
            options.progress = &record;
            std::string why;
            const bool ok = corecrypt::AddToArchive(archive, sources, key, keyFile, options, why);
            std::snprintf(error, static_cast<std::size_t>(size), "%s", why.c_str());
            return ok ? 1 : 0;
        });
    pane.Reload();
    return result == RunResult::Done ? ArchiveOutcome::Changed : ArchiveOutcome::Unchanged;
}

} // namespace

ArchiveOutcome DecryptArchive(CKeyManDesc& pane, DecryptWhat what, const std::string& folder,
                              QWidget* owner) {
    if (pane.Archive().empty())
        return ArchiveOutcome::Unchanged;
    std::vector<std::string> entries =
        what == DecryptWhat::Entire ? pane.AllEntries() : pane.SelectedEntries();
    if (entries.empty()) {
        uikit::MessageBox("Select files you want to decrypt.", kAppName);
        return ArchiveOutcome::Unchanged;
    }
    const CQMRegistry settings;
    std::vector<std::string> refused;
    const int check = misckit::CheckExtraction(folder, entries, settings.GetOutOverwrite() != 0, &refused);
    if (!refused.empty())
        uikit::ShowList("These entries are not extracted:", refused);
    if (check == misckit::kExtractNothing || entries.empty())
        return ArchiveOutcome::Unchanged;
    const int overwrite = settings.GetOutOverwrite() != 0 || check == misckit::kExtractReplacing;
    const int restore = settings.GetRestoreTime();
    std::uint64_t total = 0;
    for (const auto& e : pane.Entries()->Entries())
        if (std::find(entries.begin(), entries.end(), e.path) != entries.end())
            total += e.size;
    const std::string archive = pane.Archive();
    const std::string key = pane.Key();
    const int keyFile = pane.KeyIsFile() ? 1 : 0;
    const RunResult result =
        RunWithWait(owner, Range(total), [&](CALLBACKSTRUCT_& record, char* error, int size) {
            if (what == DecryptWhat::AndRemove)
                return DecryptAndRemoveFromArchive(archive.c_str(), entries, folder.c_str(), key.c_str(),
                                                   keyFile, error, size, overwrite, restore, &record);
            return DecryptFromArchive(archive.c_str(), entries, folder.c_str(), key.c_str(), keyFile, error,
                                      size, overwrite, restore, &record);
        });
    if (what != DecryptWhat::AndRemove)
        return ArchiveOutcome::Unchanged;
    // With no entry left the entries were extracted and the engine left the archive whole.
    return Settle(pane, archive, result);
}

ArchiveOutcome AddFilesToArchive(CKeyManDesc& pane, QWidget* owner) {
    if (pane.Archive().empty())
        return ArchiveOutcome::Unchanged;
    uikit::FileRequest request;
    request.title = "Add Files";
    request.filter = "All Files (*.*)|*.*||";
    request.flags = uikit::kFileMustExist | uikit::kMultiSelect;
    auto files = uikit::ChooseFiles(request);
    if (!files || files->empty())
        return ArchiveOutcome::Unchanged;
    return AddSources(pane, std::move(*files), owner);
}

ArchiveOutcome AddFolderToArchive(CKeyManDesc& pane, QWidget* owner) {
    if (pane.Archive().empty())
        return ArchiveOutcome::Unchanged;
    CDirDialog chooser;
    chooser.m_strWindowTitle = "Quillmark";
    chooser.m_strTitle = "Select the folder to add to the archive";
    if (!chooser.DoBrowse())
        return ArchiveOutcome::Unchanged;
    return AddSources(pane, {chooser.m_strPath}, owner);
}

ArchiveOutcome DeleteArchiveEntries(CKeyManDesc& pane, QWidget* owner) {
    const std::vector<std::string> entries = pane.SelectedEntries();
    if (pane.Archive().empty() || entries.empty())
        return ArchiveOutcome::Unchanged;
    char question[200];
    std::snprintf(question, sizeof question, "Are you sure you want to delete %i file(s) from an archive?",
                  static_cast<int>(entries.size()));
    if (uikit::MessageBox(question, kAppName, uikit::Buttons::YesNo, uikit::Icon::Question) !=
        uikit::Answer::Yes)
        return ArchiveOutcome::Unchanged;
    const std::string archive = pane.Archive();
    const std::string key = pane.Key();
    const int keyFile = pane.KeyIsFile() ? 1 : 0;
    const RunResult result = RunWithWait(
        owner, static_cast<int>(entries.size()), [&](CALLBACKSTRUCT_& record, char* error, int size) {
            return ::DeleteArchiveEntries(archive.c_str(), entries, key.c_str(), keyFile, &record, error,
                                          size);
        });
    return Settle(pane, archive, result);
}

} // namespace center
