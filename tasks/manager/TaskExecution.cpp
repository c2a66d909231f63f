// Running tasks: encrypt, send-mail and delete steps over the file list.
#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/Wipe.h"
#include "misckit/ErrorList.h"
#include "misckit/Registry.h"
#include "netkit/Mail.h"
#include "platform/RegularFile.h"
#include "platform/Trash.h"
#include "platform/XdgPaths.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/manager/TaskWindows.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "uikit/Progress.h"
#include "uikit/UIException.h"
#include "uikit/Ui.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <map>
#include <sys/stat.h>
#include <thread>

namespace {

const char kOverwriteDetail[] =
    "To overwrite existing files automatically, set the \t\"Always overwrite files with "
    "the same name\" option in encryption settings.";
const char kTakenDetail[] = "Another file of this run was encrypted to this name; this file is kept.";
const char kNotEncryptedDetail[] =
    "This name belongs to a file that is not an encrypted file; it is not replaced and this file is kept.";
const char kOwnOutputDetail[] = "This run has just written this encrypted file, so it is kept.";
const char kSourceDetail[] =
    "This name belongs to a file that this run is to encrypt; it is not replaced and this file is kept.";
const char kNotReplacedDetail[] = "It was not replaced, so this file was not encrypted.";
const char kCancelledDetail[] = "The task was cancelled here; this file and the rest were not encrypted.";

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The character set of an Encoding option "<code page> (<name>)": the text between its last "("
// and its last character.
std::string Charset(const std::string& encoding) {
    const auto open = encoding.rfind('(');
    if (open == std::string::npos || encoding.size() < open + 2)
        return encoding;
    return encoding.substr(open + 1, encoding.size() - open - 2);
}

std::string Format(const std::string& format, int a, int b) {
    char line[256];
    std::snprintf(line, sizeof line, format.c_str(), a, b);
    return line;
}

// Wipes a file; a link is removed as a link, since overwriting would reach the file it points to.
bool WipePath(const std::string& path, int rounds, std::string& error) {
    if (IsLink(path))
        return platform::DeletePermanently(path, error);
    char text[512] = {};
    if (WipeFile(path.c_str(), text, sizeof text, rounds, 0))
        return true;
    error = text;
    return false;
}

// The file a name already belongs to, when it must not be replaced.
const char* TakenBy(const jobkit::RunLedger& ledger, const std::string& destination) {
    if (ledger.WrittenThisRun(destination))
        return kTakenDetail;
    platform::FileSnapshot there;
    if (!platform::TakeSnapshot(destination, there))
        return nullptr;
    if (ledger.Unsecured(there))
        return kSourceDetail;
    // Replacing existing encrypted files is what the overwrite setting allows, nothing else.
    bool keyFile = false, archive = false;
    int code = 0;
    std::string error;
    if (!corecrypt::ReadEncryptedFileInfo(destination, keyFile, code, error, &archive) || archive)
        return kNotEncryptedDetail;
    return nullptr;
}

struct OwnWindow {
    std::unique_ptr<jobkit::ITaskCancelWindow> window;
    explicit operator bool() const { return window != nullptr; }
    jobkit::ITaskCancelWindow* operator->() const { return window.get(); }
};

} // namespace

void CTaskManager::ExecCallBack(CALLBACKSTRUCT_* record) {
    if (auto* window = static_cast<jobkit::ITaskCancelWindow*>(record->pDialog)) {
        if (!record->csCurrent.empty())
            window->SetCurrentItem(record->csCurrent);
        if (record->nCurrent != -1)
            window->SetCountText(Format(window->GetCountFormat(), record->nCurrent, window->GetTotal()));
        if (!record->csPhase.empty())
            window->SetPhase(record->csPhase);
    }
    uikit::PumpMessages();
}

void CTaskManager::Execute(int silent) {
    CALLBACKSTRUCT_ run;
    misckit::vsErrorItems.clear();
    m_ledger.Clear();
    m_inRun = true;
    m_stopped = false;
    std::unique_ptr<jobkit::ITaskCancelWindow> window;
    if (!silent) {
        window = jobkit::TaskWindows().OpenCancelWindow(&run.bContinue);
        run.pfnCallBack = &CTaskManager::ExecCallBack;
        run.pDialog = window.get();
        run.hWndUpdateProgress = window->Progress();
        window->SetCountFormat("%d of %d tasks is being processed");
        window->SetTotal(static_cast<int>(m_lstDelete.size() + m_lstSendMail.size() + m_lstEncrypt.size()));
        SendFeedback("-----------------------------------");
        SendFeedback("Executing tasks...");
    }
    CALLBACKSTRUCT_ taskRecord = run;
    taskRecord.hWndProgress = nullptr;
    taskRecord.hWndUpdateProgress = nullptr;
    run.nCurrent = 0;
    run.bStopped = 0;
    auto runAll = [&](const std::vector<CAction*>& list) {
        for (CAction* task : list) {
            ++run.nCurrent;
            taskRecord.nCurrent = run.nCurrent;
            run.Callback();
            ExecuteTask(task, &taskRecord);
        }
    };
    if (!m_lstEncrypt.empty())
        run.csPhase = "Encrypting files...";
    runAll(m_lstEncrypt);
    runAll(m_lstSendMail);
    if (!m_lstDelete.empty())
        run.csPhase = "Deleting files...";
    runAll(m_lstDelete);
    window.reset();
    m_inRun = false;
    m_ledger.Clear();
    if (!silent) {
        char line[64];
        std::snprintf(line, sizeof line, "Done. %d errors.", taskRecord.nErrors);
        SendFeedback(line);
    }
}

void CTaskManager::ExecuteTask(CAction* task, CALLBACKSTRUCT_* record) {
    if (!task) {
        ReportError(nullptr, "No action to perform.", 0, "");
        return;
    }
    if (!m_inRun) {
        m_ledger.Clear();
        m_stopped = false;
    }
    CALLBACKSTRUCT_ own;
    OwnWindow window;
    if (!record) {
        window.window = jobkit::TaskWindows().OpenCancelWindow(&own.bContinue);
        own.pfnCallBack = &CTaskManager::ExecCallBack;
        own.pDialog = window.window.get();
        own.hWndUpdateProgress = window->Progress();
    }
    CALLBACKSTRUCT_& use = record ? *record : own;
    // A task the user stopped did not do what it was asked: that counts as one of its errors. The
    // task reports into its own flag first, so that a task stopped earlier in the run is not
    // counted again here.
    int stoppedHere = 0;
    int* const stoppedRun = use.pbStopped;
    use.pbStopped = &stoppedHere;
    const bool finished = RunSteps(task, use, own, window.window.get());
    use.pbStopped = stoppedRun;
    if (stoppedHere) {
        *stoppedRun = 1;
        m_stopped = true;
        // A stop at a question was reported there; this is the Cancel of the progress window.
        if (!use.ShouldContinue()) {
            ++use.nErrors;
            ReportError(task, "Task \"" + task->m_csName + "\" cancelled.", 0, "");
        }
    }
    if (!finished && !stoppedHere)
        return;
    if (finished)
        m_mapFiles.clear();
    if (window) {
        char line[64];
        std::snprintf(line, sizeof line, "Done. %d errors.", use.nErrors);
        SendFeedback(line);
    }
}

bool CTaskManager::RunSteps(CAction* task, CALLBACKSTRUCT_& use, CALLBACKSTRUCT_& own,
                            jobkit::ITaskCancelWindow* window) {
    if (auto* mail = dynamic_cast<CActionSendEmail*>(task)) {
        if (window) {
            window->SetCountFormat("1 of 1 tasks is being processed");
            window->SetTotal(1);
        }
        MailStep(mail, use, own);
    } else if (auto* fileTask = dynamic_cast<CFileAction*>(task)) {
        // Each task works on its own files only, whatever an earlier task (one that ended early)
        // or a listing of the whole task list left behind. Its listing errors count in the run.
        m_mapFiles.clear();
        CALLBACKSTRUCT_ listing;
        ListFiles(fileTask, &listing);
        use.nErrors += listing.nErrors;
        if (listing.nErrors && dynamic_cast<CActionEncryptFile*>(task)) {
            // A setting error: the task cannot encrypt anything.
            if (window)
                SendFeedback(Format("Done. %d errors.", use.nErrors, 0));
            return false;
        }
        if (window) {
            window->SetCountFormat("%d of %d files has been processed");
            window->SetTotal(static_cast<int>(m_mapFiles.size()));
            own.nCurrent = 0;
        }
        if (auto* enc = dynamic_cast<CActionEncryptFile*>(task)) {
            if (EncryptStep(enc, use, window != nullptr) == EncryptEnd::KeepFileList)
                return false;
        } else if (auto* del = dynamic_cast<CActionDeleteFile*>(task)) {
            DeleteStep(del, use, window != nullptr);
        }
    }
    return true;
}

void CTaskManager::MailStep(CActionSendEmail* task, CALLBACKSTRUCT_& use, CALLBACKSTRUCT_& own) {
    NetKit::Mail::SENDMAILINFO_ info;
    info.csSenderEmail = task->m_csSenderEmail;
    info.csSenderName = task->m_csSenderName;
    info.csSendTo = task->m_csSendTo;
    info.csSubject = task->m_csSubject;
    info.csMessage = task->m_csMessage;
    info.csServer = task->m_csServer;
    info.csRecipientsFile = task->m_csRecipientsFile;
    info.csAttachment = task->m_csAttachment;
    info.csViaIp = task->m_csViaIp;
    info.csCharset = Charset(task->m_csEncoding);
    info.bAuth = task->m_bAuth;
    info.csLogin = task->m_csLogin;
    info.csPassword = task->m_csMailPassword;
    const CQMRegistry settings;
    info.bPlainAuth = settings.GetMailPlainAuth();
    info.nPort = static_cast<int>(settings.GetMailPort());
    info.nSecurity = static_cast<int>(settings.GetMailSecurity());
    info.nTimeoutSeconds = static_cast<long>(settings.GetMailTimeout());
    CALLBACKSTRUCT_ progress = own;
    progress.hWndUpdateProgress = nullptr;
    // In a batch run the mail client reports into the run's window.
    if (&use != &own)
        progress.pDialog = use.pDialog, progress.pfnCallBack = use.pfnCallBack;
    char error[512] = {};
    if (!NetKit::Mail::SendMail(&info, error, sizeof error, &progress)) {
        ++use.nErrors;
        ReportError(task, error, 529, "");
        return;
    }
    // A password that went unencrypted (the user allowed it) is noted in the run's log each time.
    if (error[0])
        SendFeedback(error);
    use.csPhase = "Email has been successfully sent.";
    use.Callback();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

CTaskManager::EncryptEnd CTaskManager::ArchiveStep(CActionEncryptFile* task, CALLBACKSTRUCT_& use,
                                                   bool ownWindow, bool batch, const CQMRegistry& settings) {
    // Each file is named in the archive by its path below the Location ("/./" marks where that
    // begins), so that two files of one name from two folders are two entries.
    std::vector<std::string> sources;
    std::map<std::string, std::string> listedBySource;
    std::uint64_t total = 0;
    platform::FileSnapshot archive;
    const bool archiveExists = platform::TakeSnapshot(task->m_csArchive, archive);
    for (const auto& [path, listed] : m_mapFiles) {
        // The archive never goes into itself, and is no file of the task to report or wipe.
        platform::FileSnapshot file;
        if (archiveExists && platform::TakeSnapshot(path, file) && file.SameFile(archive))
            continue;
        const std::string& folder = listed.folder;
        const std::string& relative = listed.relativeFolder;
        std::string source = path;
        if (folder.size() >= relative.size() &&
            folder.compare(folder.size() - relative.size(), relative.size(), relative) == 0)
            source = folder.substr(0, folder.size() - relative.size()) + "./" + relative + NameOf(path);
        listedBySource[source] = path;
        sources.push_back(std::move(source));
        total += static_cast<std::uint64_t>(std::max<std::int64_t>(listed.findData.size, 0));
    }
    auto* window = static_cast<jobkit::ITaskCancelWindow*>(use.pDialog);
    if (ownWindow && window) {
        window->SetCountFormat("");
        window->Progress()->setRange(0, static_cast<int>(std::min<std::uint64_t>(total / 10, INT32_MAX)));
    }
    use.pfnCallBack = &CTaskManager::ExecCallBack;
    use.hWndProgress = ownWindow && window ? window->Progress() : nullptr;
    use.csPhase = "Encrypting files";
    const bool keyFile = !task->m_csKeyFile.empty();
    const std::string& key = keyFile ? task->m_csKeyFile : task->m_csEncPassword;
    std::vector<corecrypt::ArchiveEntry> entries;
    if (Exists(task->m_csArchive)) {
        use.csPhase = "Preparing for updating archive...";
        use.Callback();
        // An archive that cannot be opened with the task's key is not updated; that is reported,
        // not passed over, since the files were not saved anywhere.
        std::string error;
        bool opened = false;
        try {
            opened = corecrypt::ListArchive(task->m_csArchive, key, keyFile, entries, error);
        } catch (const CUIException& e) {
            error = e.GetText() + e.GetText2();
        }
        if (!opened) {
            ++use.nErrors;
            ReportError(task, task->m_csArchive, 527, error);
            return EncryptEnd::KeepFileList;
        }
        use.csPhase = "Updating archive";
        use.hWndUpdateProgress = ownWindow && window ? window->Progress() : nullptr;
        use.hWndProgress = nullptr;
        if (ownWindow && window)
            window->Progress()->setRange(0, static_cast<int>(sources.size()));
    }
    corecrypt::ArchiveAddOptions options;
    options.overwrite = settings.GetInOverwrite();
    if (batch && options.overwrite == corecrypt::kAskEntry)
        options.overwrite = corecrypt::kKeepEntry;
    options.compress = settings.GetCompress() != 0;
    options.extensionsNotCompressed = encreg::qmreg.GetExtsNotCompress();
    options.recurse = settings.GetRecDirs() != 0;
    options.algorithmMode = task->GetAlgorithmModeCode();
    options.progress = &use;
    std::vector<corecrypt::AddedSource> added;
    options.added = &added;
    std::string error;
    bool ok = false;
    try {
        ok = corecrypt::AddToArchive(task->m_csArchive, sources, key, keyFile, options, error);
    } catch (const CUIException& e) {
        error = e.GetReportText();
    }
    if (!ok) {
        ++use.nErrors;
        ReportError(task, "Cannot add files to archive.", 0, error);
        return EncryptEnd::KeepFileList;
    }
    m_ledger.Written(task->m_csArchive);
    std::map<std::string, const corecrypt::AddedSource*> bySource;
    for (const corecrypt::AddedSource& a : added)
        bySource[a.path] = &a;
    std::map<std::string, const corecrypt::ArchiveEntry*> held;
    for (const corecrypt::ArchiveEntry& e : entries)
        held[e.path] = &e;
    if (task->m_bWipe) {
        use.csPhase = "Wiping...";
        use.Callback();
    }
    // Only what this run added and read back is secured, and only that may be wiped. A file whose
    // entry the archive kept holds bytes stored nowhere else, unless the entry is that very file.
    for (const auto& [source, path] : listedBySource) {
        const auto it = bySource.find(source);
        std::string why;
        if (it == bySource.end()) {
            const auto marked = source.find("/./");
            const std::string entry = marked == std::string::npos ? NameOf(path) : source.substr(marked + 3);
            const auto kept = held.find(entry);
            struct stat st {};
            const bool same = kept != held.end() && ::stat(path.c_str(), &st) == 0 &&
                              static_cast<std::uint64_t>(st.st_size) == kept->second->size &&
                              st.st_mtim.tv_sec == kept->second->modified &&
                              static_cast<std::uint32_t>(st.st_mtim.tv_nsec) == kept->second->modifiedNanos;
            if (same && !task->m_bWipe)
                continue;
            why = kept != held.end()
                      ? "The archive keeps its entry " + entry + ", so this file was not added."
                      : "This file was not added to the archive.";
        } else if (!it->second->verified) {
            why = it->second->error;
        } else {
            m_ledger.Secured(it->second->snapshot);
            if (!task->m_bWipe)
                continue;
            std::string wipeError;
            if (!m_ledger.MayRemove(path, wipeError) ||
                !WipePath(path, CQMRegistry().GetWipeRounds(), wipeError)) {
                ++use.nErrors;
                if (!ReportError(task, path, 524, wipeError))
                    break;
            }
            continue;
        }
        ++use.nErrors;
        if (!ReportError(task, path, 527, why))
            break;
    }
    return EncryptEnd::ClearFileList;
}

CTaskManager::EncryptEnd CTaskManager::EncryptStep(CActionEncryptFile* task, CALLBACKSTRUCT_& use,
                                                   bool ownWindow) {
    for (const auto& [path, listed] : m_mapFiles)
        m_ledger.Selected(path);
    if (!use.ShouldContinue()) {
        *use.pbStopped = 1;
        return EncryptEnd::KeepFileList;
    }
    use.csPhase = "Encrypting files...";
    use.Callback();
    if (!task->m_csKeyFile.empty() && !Exists(task->m_csKeyFile)) {
        ++use.nErrors;
        ReportError(task, task->m_csKeyFile, 520, "");
        return EncryptEnd::KeepFileList;
    }
    const CQMRegistry settings;
    const bool batch = !ownWindow;
    const bool overwrite = settings.GetOutOverwrite() != 0;
    const int compress = settings.GetCompress();
    unsigned char noMessages = 0;
    if (!settings.ReadBYTEEx(encreg::szNoMes, noMessages))
        noMessages = 0;
    if (task->m_bArchive)
        return ArchiveStep(task, use, ownWindow, batch, settings);
    for (auto it = m_mapFiles.begin(); it != m_mapFiles.end();) {
        const std::string& source = it->first;
        std::string destination;
        FilePlan plan = PlanDestination(task, use, source, it->second.relativeFolder, overwrite,
                                        noMessages != 0, destination);
        if (plan == FilePlan::Encrypt)
            plan = EncryptOne(task, use, source, destination, compress);
        if (plan == FilePlan::EndTask)
            return EncryptEnd::ClearFileList;
        if (plan == FilePlan::StopTask)
            return EncryptEnd::KeepFileList;
        if (plan != FilePlan::Done) {
            ++it;
            continue;
        }
        if (ownWindow)
            ++use.nCurrent;
        it = m_mapFiles.erase(it);
    }
    return EncryptEnd::ClearFileList;
}

CTaskManager::FilePlan CTaskManager::PlanDestination(CActionEncryptFile* task, CALLBACKSTRUCT_& use,
                                                     const std::string& source,
                                                     const std::string& relativeFolder, bool overwrite,
                                                     bool noMessages, std::string& destination) {
    destination = source;
    if (!task->m_csDestFolder.empty()) {
        // Files keep their folder below the Location, so that "2023/r.pdf" and "2024/r.pdf"
        // never become one encrypted file.
        std::string folder = task->m_csDestFolder;
        if (folder.back() != '/')
            folder += '/';
        folder += relativeFolder;
        std::string error;
        if (!relativeFolder.empty() && !platform::MakeFolders(folder, 0700, error)) {
            ++use.nErrors;
            return ReportError(task, source, 525, error) ? FilePlan::Skip : FilePlan::EndTask;
        }
        destination = folder + NameOf(source);
    }
    destination += ".qmp";
    // A name that is taken is refused without a question (EncryptOne), whatever the settings say.
    if (!Exists(destination) || overwrite || TakenBy(m_ledger, destination))
        return FilePlan::Encrypt;
    if (noMessages) {
        ++use.nErrors;
        return ReportError(task, source, 528, kOverwriteDetail) ? FilePlan::Skip : FilePlan::EndTask;
    }
    // No is the answer that loses nothing: it is what Enter gives, and what a run that nobody
    // watches takes.
    const uikit::Answer answer =
        uikit::ShowMessage({destination + "\n\nThe file already exists. Overwrite?", misckit::szAppName,
                            uikit::Buttons::YesNoCancel, uikit::Icon::Question, uikit::Answer::No});
    if (answer == uikit::Answer::Yes)
        return FilePlan::Encrypt;
    if (answer == uikit::Answer::No) {
        uikit::FileRequest request;
        request.save = true;
        request.title = "Save As...";
        request.defaultExtension = "qmp";
        request.filter = "Quillmark encrypted files (*.qmp)|*.qmp|All Files (*.*)|*.*||";
        request.flags = uikit::kOverwritePrompt;
        const auto chosen = uikit::ChooseFiles(request);
        if (!chosen || chosen->empty()) {
            ++use.nErrors;
            return ReportError(task, source, 528, kNotReplacedDetail) ? FilePlan::Skip : FilePlan::EndTask;
        }
        // The user has already agreed to replace the chosen file.
        destination = chosen->front();
        return FilePlan::Encrypt;
    }
    // Cancel: asking again would never end; the task stops here and keeps its entries.
    ++use.nErrors;
    ReportError(task, source, 528, kCancelledDetail);
    *use.pbStopped = 1;
    return FilePlan::StopTask;
}

CTaskManager::FilePlan CTaskManager::EncryptOne(CActionEncryptFile* task, CALLBACKSTRUCT_& use,
                                                const std::string& source, const std::string& destination,
                                                int compress) {
    use.csCurrent = source;
    // Never replaced, whatever the overwrite setting or the answer says: the encrypted copy of
    // another file of this run, a file this run is yet to encrypt, or a file that is no
    // encrypted file at all.
    if (const char* taken = TakenBy(m_ledger, destination)) {
        ++use.nErrors;
        return ReportError(task, source, 528, taken) ? FilePlan::Skip : FilePlan::EndTask;
    }
    const bool keyFile = !task->m_csKeyFile.empty();
    if (!keyFile && task->m_csEncPassword.empty()) {
        ++use.nErrors;
        return ReportError(task, "", 521, "") ? FilePlan::Skip : FilePlan::EndTask;
    }
    const std::string& key = keyFile ? task->m_csKeyFile : task->m_csEncPassword;
    std::string error;
    platform::FileSnapshot read;
    if (!corecrypt::EncryptFileVerified(source, destination, key, keyFile, task->GetAlgorithmModeCode(),
                                        compress != 0, &read, error)) {
        ++use.nErrors;
        return ReportError(task, source, 525, error) ? FilePlan::Skip : FilePlan::EndTask;
    }
    m_ledger.Secured(read);
    m_ledger.Written(destination);
    if (task->m_bWipe) {
        use.csPhase = "Wiping...";
        use.Callback();
        std::string wipeError;
        if (!m_ledger.MayRemove(source, wipeError) ||
            !WipePath(source, CQMRegistry().GetWipeRounds(), wipeError)) {
            ++use.nErrors;
            return ReportError(task, source, 524, wipeError) ? FilePlan::Skip : FilePlan::EndTask;
        }
    }
    return FilePlan::Done;
}

void CTaskManager::DeleteStep(CActionDeleteFile* /*task*/, CALLBACKSTRUCT_& use, bool ownWindow) {
    for (auto it = m_mapFiles.begin(); it != m_mapFiles.end();) {
        if (!use.ShouldContinue()) {
            *use.pbStopped = 1;
            return;
        }
        auto* owner = dynamic_cast<CActionDeleteFile*>(it->second.owner);
        if (!it->second.owner) {
            ++it;
            continue;
        }
        const std::string& path = it->first;
        use.csCurrent = path;
        const int type = owner ? owner->m_nDelType : 0;
        int code = 0;
        std::string error;
        if (type >= 1 && type <= 3 && m_ledger.WrittenThisRun(path)) {
            // It may hold the only copy of a file this run removed.
            code = type == 3 ? 524 : type == 1 ? 522 : 523;
            error = kOwnOutputDetail;
        } else if (type >= 1 && type <= 3 && !m_ledger.MayRemove(path, error)) {
            code = type == 3 ? 524 : type == 1 ? 522 : 523;
        } else if (type == 1) {
            use.csPhase = "Moving files to Recycle Bin...";
            use.Callback();
            if (!platform::MoveToTrash(path, error))
                code = 522;
        } else if (type == 2) {
            use.csPhase = "Deleting files...";
            use.Callback();
            if (!platform::DeletePermanently(path, error))
                code = 523;
        } else if (type == 3) {
            use.csPhase = "Wiping files...";
            use.Callback();
            if (!WipePath(path, owner->m_nWipeRounds, error))
                code = 524;
        }
        if (code) {
            ++use.nErrors;
            if (!ReportError(owner, path, code, error))
                return;
            ++it;
            continue;
        }
        it = m_mapFiles.erase(it);
        if (ownWindow)
            ++use.nCurrent;
    }
}
