// Running tasks: encrypt, send-mail and delete steps over the file list.
#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/Wipe.h"
#include "misckit/ErrorList.h"
#include "misckit/Registry.h"
#include "netkit/Mail.h"
#include "platform/Trash.h"
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
#include <sys/stat.h>
#include <thread>

namespace {

const char kOverwriteDetail[] =
    "To overwrite existing files automatically, set the \t\"Always overwrite files with "
    "the same name\" option in encryption settings.";
const char kNotEncryptedDetail[] = "The file was not encrypted earlier in this run, so it is kept.";

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
    m_notEncrypted.clear();
    m_inRun = true;
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
    m_notEncrypted.clear();
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
    if (!m_inRun)
        m_notEncrypted.clear();
    CALLBACKSTRUCT_ own;
    OwnWindow window;
    if (!record) {
        window.window = jobkit::TaskWindows().OpenCancelWindow(&own.bContinue);
        own.pfnCallBack = &CTaskManager::ExecCallBack;
        own.pDialog = window.window.get();
        own.hWndUpdateProgress = window->Progress();
    }
    CALLBACKSTRUCT_& use = record ? *record : own;
    if (auto* mail = dynamic_cast<CActionSendEmail*>(task)) {
        if (window) {
            window->SetCountFormat("1 of 1 tasks is being processed");
            window->SetTotal(1);
        }
        MailStep(mail, use, own);
    } else if (auto* fileTask = dynamic_cast<CFileAction*>(task)) {
        if (m_mapFiles.empty())
            BuildTaskList(fileTask, 0);
        if (window) {
            window->SetCountFormat("%d of %d files has been processed");
            window->SetTotal(static_cast<int>(m_mapFiles.size()));
            own.nCurrent = 0;
        }
        if (auto* enc = dynamic_cast<CActionEncryptFile*>(task)) {
            if (EncryptStep(enc, use, static_cast<bool>(window)) == EncryptEnd::KeepFileList)
                return;
        } else if (auto* del = dynamic_cast<CActionDeleteFile*>(task)) {
            DeleteStep(del, use, static_cast<bool>(window));
        }
    }
    m_mapFiles.clear();
    if (window) {
        char line[64];
        std::snprintf(line, sizeof line, "Done. %d errors.", use.nErrors);
        SendFeedback(line);
    }
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
    info.bPlainAuth = CQMRegistry().GetMailPlainAuth();
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
    std::vector<std::string> sources;
    std::uint64_t total = 0;
    for (const auto& [path, listed] : m_mapFiles) {
        sources.push_back(path);
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
    if (Exists(task->m_csArchive)) {
        use.csPhase = "Preparing for updating archive...";
        use.Callback();
        // An archive that cannot be opened with the task's key is not updated; that is reported,
        // not passed over, since the files were not saved anywhere.
        std::vector<corecrypt::ArchiveEntry> entries;
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
    int policy = settings.GetInOverwrite();
    if (batch && policy == corecrypt::kAskEntry)
        policy = corecrypt::kKeepEntry;
    char error[512] = {};
    if (!EncryptIntoArchive(task->m_csArchive.c_str(), "", sources, key.c_str(), keyFile ? 1 : 0, error,
                            sizeof error, policy, settings.GetCompress(),
                            encreg::qmreg.GetExtsNotCompress().c_str(), settings.GetRecDirs(), &use,
                            task->GetAlgorithmModeCode(), 0)) {
        ++use.nErrors;
        ReportError(task, "Cannot add files to archive.", 0, error);
        return EncryptEnd::KeepFileList;
    }
    for (const std::string& path : sources)
        m_notEncrypted.erase(path);
    if (task->m_bWipe) {
        use.csPhase = "Wiping...";
        use.Callback();
        for (const std::string& path : sources) {
            std::string wipeError;
            if (!WipePath(path, 3, wipeError)) {
                ++use.nErrors;
                if (!ReportError(task, path, 524, wipeError))
                    break;
            }
        }
    }
    return EncryptEnd::ClearFileList;
}

CTaskManager::EncryptEnd CTaskManager::EncryptStep(CActionEncryptFile* task, CALLBACKSTRUCT_& use,
                                                   bool ownWindow) {
    if (m_inRun)
        for (const auto& [path, listed] : m_mapFiles)
            m_notEncrypted.insert(path);
    if (!use.ShouldContinue()) {
        *use.pbStopped = 1;
        return EncryptEnd::KeepFileList;
    }
    use.csPhase = "Encrypting files...";
    use.Callback();
    if (!task->m_csKeyFile.empty() && !Exists(task->m_csKeyFile)) {
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
        FilePlan plan = PlanDestination(task, use, source, overwrite, noMessages != 0, destination);
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
                                                     const std::string& source, bool overwrite,
                                                     bool noMessages, std::string& destination) {
    destination = source;
    if (!task->m_csDestFolder.empty()) {
        destination = task->m_csDestFolder;
        if (destination.back() != '/')
            destination += '/';
        destination += NameOf(source);
    }
    destination += ".qmp";
    if (!Exists(destination) || overwrite)
        return FilePlan::Encrypt;
    if (noMessages) {
        ++use.nErrors;
        return ReportError(task, source, 528, kOverwriteDetail) ? FilePlan::Skip : FilePlan::EndTask;
    }
    const uikit::Answer answer =
        uikit::MessageBox(destination + "\n\nThe file already exists. Overwrite?", misckit::szAppName,
                          uikit::Buttons::YesNoCancel, uikit::Icon::Question);
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
        if (!chosen || chosen->empty())
            return FilePlan::Skip;
        // The user has already agreed to replace the chosen file.
        destination = chosen->front();
        return FilePlan::Encrypt;
    }
    // Cancel: asking again would never end; the task stops here and keeps its entries.
    SendFeedback("Task \"" + task->m_csName + "\" cancelled at " + source + ": the file already exists.");
    *use.pbStopped = 1;
    return FilePlan::StopTask;
}

CTaskManager::FilePlan CTaskManager::EncryptOne(CActionEncryptFile* task, CALLBACKSTRUCT_& use,
                                                const std::string& source, const std::string& destination,
                                                int compress) {
    use.csCurrent = source;
    const bool keyFile = !task->m_csKeyFile.empty();
    if (!keyFile && task->m_csEncPassword.empty()) {
        ++use.nErrors;
        return ReportError(task, "", 521, "") ? FilePlan::Skip : FilePlan::EndTask;
    }
    const std::string& key = keyFile ? task->m_csKeyFile : task->m_csEncPassword;
    char error[512] = {};
    if (!EncryptFileTo(source.c_str(), destination.c_str(), key.c_str(), keyFile ? 1 : 0,
                       task->GetAlgorithmModeCode(), compress, error, sizeof error, 0, 0)) {
        ++use.nErrors;
        return ReportError(task, source, 525, error) ? FilePlan::Skip : FilePlan::EndTask;
    }
    m_notEncrypted.erase(source);
    if (task->m_bWipe) {
        use.csPhase = "Wiping...";
        use.Callback();
        std::string wipeError;
        if (!WipePath(source, 3, wipeError)) {
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
        if (type >= 1 && type <= 3 && m_notEncrypted.count(path)) {
            code = type == 3 ? 524 : 523;
            error = kNotEncryptedDetail;
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
