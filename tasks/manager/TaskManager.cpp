#include "tasks/manager/TaskManager.h"

#include "misckit/ErrorList.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/RegularFile.h"
#include "tasks/manager/TaskWindows.h"
#include "tasks/model/Action.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/Archive.h"
#include "tasks/model/FileAction.h"
#include "uikit/UIException.h"
#include "uikit/Ui.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <sys/stat.h>

namespace {

const char kUnhandled[] = "LoadSchedule: Unhandled exception.";

std::string ErrorText(const CUIException& e) {
    return e.GetText() + e.GetText2();
}

const char kScheduleFilter[] = "Quillmark schedules (*.qms)|*.qms||";

} // namespace

const char* jobkit::ErrorTableText(int code) {
    switch (code) {
    case 515:
        return "Directory does not exist.";
    case 516:
        return "File mask is not defined.";
    case 517:
        return "Destination folder does not exist.";
    case 518:
        return "Archive name is not specified.";
    case 519:
        return "Archive name contains non-existing folder.";
    case 520:
        return "Key file is not found.";
    case 521:
        return "Key file or password is not specified.";
    case 522:
        return "Cannot move file to Recycle Bin.";
    case 523:
        return "Cannot delete file.";
    case 524:
        return "Cannot wipe file.";
    case 525:
        return "Cannot encrypt file.";
    case 527:
        return "Can't add file to archive.";
    case 528:
        return "File already exists.";
    case 529:
        return "Error during sending email";
    default:
        return nullptr;
    }
}

namespace {

std::optional<std::string> AskScheduleName() {
    uikit::FileRequest request;
    request.save = true;
    request.title = "Enter schedule name";
    request.filter = kScheduleFilter;
    request.flags = uikit::kOverwritePrompt;
    auto files = uikit::ChooseFiles(request);
    if (!files || files->empty())
        return std::nullopt;
    return files->front();
}

} // namespace

std::string tasksched::gl_sLastError;

CTaskManager::CTaskManager() = default;

CTaskManager::CTaskManager(FeedbackFunction feedback) : m_pfnFeedback(feedback) {}

CTaskManager::~CTaskManager() = default;

void CTaskManager::Reset() {
    m_lstDelete.clear();
    m_lstEncrypt.clear();
    m_lstSendMail.clear();
    m_mapFiles.clear();
    m_sFilePath.clear();
}

CAction* CTaskManager::AddTask(CAction* task) {
    std::vector<std::int32_t> ids;
    for (const auto* list : {&m_lstDelete, &m_lstEncrypt, &m_lstSendMail})
        for (const CAction* t : *list)
            if (t->m_nId > 0)
                ids.push_back(t->m_nId);
    std::sort(ids.begin(), ids.end());
    // Duplicates and ids below 1 (damaged or hand-made files) would make the gap walk hand out an
    // id in use, so the walk sees each positive id once.
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::int32_t id = 1;
    if (!ids.empty()) {
        id = 0;
        for (std::size_t i = 1; i < ids.size(); ++i)
            if (ids[i] != ids[i - 1] + 1) {
                id = ids[i - 1] + 1;
                break;
            }
        if (id == 0 && ids.back() < INT32_MAX)
            id = ids.back() + 1;
        // Every id up to the largest possible one is in use above the smallest: take the lowest
        // free one below it.
        for (std::int32_t candidate = 1; id == 0 && candidate < ids.front(); ++candidate)
            id = candidate;
        if (id == 0)
            throw CUIException(0, "AddTask()", "No free task id");
    }
    std::vector<CAction*>* list = nullptr;
    if (dynamic_cast<CActionDeleteFile*>(task))
        list = &m_lstDelete;
    else if (dynamic_cast<CActionEncryptFile*>(task))
        list = &m_lstEncrypt;
    else if (dynamic_cast<CActionSendEmail*>(task))
        list = &m_lstSendMail;
    if (!list)
        throw CUIException(0, "AddTask()", "Wrong task type");
    task->m_nId = id;
    list->push_back(task);
    return task;
}

void CTaskManager::DeleteTask(unsigned id) {
    for (auto* list : {&m_lstDelete, &m_lstEncrypt, &m_lstSendMail}) {
        const auto it = std::find_if(list->begin(), list->end(), [id](const CAction* t) {
            return static_cast<unsigned>(t->m_nId) == id;
        });
        if (it != list->end()) {
            list->erase(it);
            return;
        }
    }
    throw CUIException(0, "Cannot find the task with the specified ID.", "");
}

CAction* CTaskManager::GetTaskById(unsigned id) const {
    for (const auto* list : {&m_lstDelete, &m_lstEncrypt, &m_lstSendMail})
        for (CAction* t : *list)
            if (static_cast<unsigned>(t->m_nId) == id)
                return t;
    return nullptr;
}

CAction* CTaskManager::GetNearestScheduledTask(int startup) {
    std::int64_t best = platform::Now() + 100000000;
    CAction* result = nullptr;
    for (const auto* list : {&m_lstDelete, &m_lstEncrypt, &m_lstSendMail})
        for (CAction* t : *list) {
            if (t->m_nRunType == 3) {
                if (startup && t->GetNextRun() != 0)
                    return t;
                continue;
            }
            const std::int64_t next = t->GetNextRun();
            if (next < best && next > platform::Now()) {
                best = next;
                result = t;
            }
        }
    return result;
}

int CTaskManager::LoadSchedule(const std::string& path) {
    Reset();
    m_sFilePath = path;
    std::string error;
    if (!ReadScheduleFile(path, error)) {
        m_sFilePath = path;
        tasksched::gl_sLastError = error.substr(0, 512);
        return 0;
    }
    m_sFilePath = path;
    return 1;
}

int CTaskManager::WriteTo(const std::string& path) {
    std::string error;
    if (!WriteScheduleFile(path, error)) {
        uikit::MessageBox(error, misckit::szAppName, uikit::Buttons::OK, uikit::Icon::Error);
        return 0;
    }
    return 1;
}

int CTaskManager::SaveSchedule(int noPrompt) {
    struct stat st {};
    if (m_sFilePath.empty() || ::stat(m_sFilePath.c_str(), &st) != 0) {
        if (noPrompt)
            return 0;
        const auto chosen = AskScheduleName();
        if (!chosen)
            return 0;
        m_sFilePath = *chosen;
    }
    return WriteTo(m_sFilePath);
}

int CTaskManager::SaveScheduleAs() {
    const auto chosen = AskScheduleName();
    if (!chosen)
        return 0;
    m_sFilePath = *chosen;
    return WriteTo(m_sFilePath);
}

int CTaskManager::OpenSchedule() {
    uikit::FileRequest request;
    request.title = "Select schedule";
    request.filter = kScheduleFilter;
    request.defaultExtension = "qms";
    request.flags = uikit::kFileMustExist | uikit::kPathMustExist;
    const auto files = uikit::ChooseFiles(request);
    if (!files || files->empty())
        return 0;
    return LoadSchedule(files->front());
}

namespace {
// Without the control center's dialogs there is nothing to show: say so instead of pretending.
void NoDialog() {
    uikit::MessageBox("No task dialog is available in this program.", misckit::szAppName, uikit::Buttons::OK,
                      uikit::Icon::Warning);
}
} // namespace

namespace {

// The folders and files a file task names, as text; empty for other tasks.
std::vector<std::string*> PathsOf(CAction* task) {
    std::vector<std::string*> paths;
    if (auto* file = dynamic_cast<CFileAction*>(task)) {
        paths.push_back(&file->m_csLocation);
        if (auto* enc = dynamic_cast<CActionEncryptFile*>(task)) {
            paths.push_back(&enc->m_csDestFolder);
            paths.push_back(&enc->m_csArchive);
        }
    }
    return paths;
}

// A task that names a folder or file by an empty or relative path is refused with a message: an
// empty Location would mean "/", a relative one the current folder of whatever program runs it.
bool RefuseRelativePaths(CAction* task) {
    const std::vector<std::string*> paths = PathsOf(task);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const bool optional = i > 0; // destination folder and archive name may be empty
        if ((optional && paths[i]->empty()) || jobkit::IsAbsoluteLocation(*paths[i]))
            continue;
        uikit::MessageBox("\"" + *paths[i] + "\" is not an absolute path. " + jobkit::kNotAbsoluteDetail,
                          misckit::szAppName, uikit::Buttons::OK, uikit::Icon::Warning);
        return true;
    }
    return false;
}

} // namespace

CAction* CTaskManager::NewTaskWiz(std::uint32_t value) {
    jobkit::ITaskDialogs* dialogs = jobkit::TaskWindows().Dialogs();
    if (!dialogs) {
        NoDialog();
        return nullptr;
    }
    int kind = 0;
    CAction* task = dialogs->RunNewTaskWizard(value, kind);
    if (!task)
        return nullptr;
    if (kind < 1 || kind > 3)
        throw CUIException(1, "", "");
    if (RefuseRelativePaths(task)) {
        // The wizard gave the task away; nobody else will release it.
        m_loadedTasks.emplace_back(task);
        return nullptr;
    }
    return AddTask(task);
}

int CTaskManager::ShowCurrentItemDlg(CAction* task) {
    jobkit::ITaskDialogs* dialogs = jobkit::TaskWindows().Dialogs();
    if (!dialogs) {
        NoDialog();
        return 2;
    }
    std::vector<std::string> before;
    for (const std::string* path : PathsOf(task))
        before.push_back(*path);
    const int result = dialogs->ShowTaskProperties(task);
    if (result == 1 && RefuseRelativePaths(task)) {
        // The edit is refused as a whole: the task keeps the paths it had.
        const std::vector<std::string*> paths = PathsOf(task);
        for (std::size_t i = 0; i < paths.size(); ++i)
            *paths[i] = before[i];
        return 2;
    }
    return result;
}

int CTaskManager::ShowScheduleTaskDlg(CAction* task) {
    jobkit::ITaskDialogs* dialogs = jobkit::TaskWindows().Dialogs();
    if (!dialogs) {
        NoDialog();
        return 2;
    }
    return dialogs->ShowScheduleEditor(task);
}

int CTaskManager::ReportError(CAction* task, const std::string& item, int code, const std::string& detail) {
    if (m_pfnFeedback) {
        FEEDBACKITEM_ feedback{task, item, code, detail};
        return m_pfnFeedback(&feedback);
    }
    if (const char* text = jobkit::ErrorTableText(code))
        misckit::AddErrorItem("Error: %s:%s %s", item.c_str(), text, detail.c_str());
    else
        misckit::AddErrorItem("Error: %s %s", item.c_str(), detail.c_str());
    return 1;
}

void CTaskManager::SendFeedback(const std::string& line) {
    if (!m_pfnFeedback)
        return;
    FEEDBACKITEM_ feedback{nullptr, line, 0, ""};
    m_pfnFeedback(&feedback);
}

void CTaskManager::ReadList(CArchive& ar, std::vector<CAction*>& list) {
    const std::uint32_t count = ar.ReadCount();
    // Every element takes at least its two-byte tag.
    ar.Require(static_cast<std::size_t>(count) * 2);
    for (std::uint32_t i = 0; i < count; ++i) {
        CObject* object = ar.ReadObject();
        // An absent element carries no task; keeping a null in the list would only crash later.
        if (auto* task = dynamic_cast<CAction*>(object))
            list.push_back(task);
    }
}

void CTaskManager::Serialize(CArchive& ar) {
    uikit::WaitCursor wait;
    if (ar.IsStoring()) {
        for (const auto* list : {&m_lstDelete, &m_lstEncrypt, &m_lstSendMail}) {
            ar.WriteCount(static_cast<std::uint32_t>(list->size()));
            for (const CAction* task : *list)
                ar.WriteObject(task);
        }
        return;
    }
    // Whatever happens, the objects made so far belong to the manager.
    struct Keep {
        CArchive& ar;
        std::vector<std::unique_ptr<CObject>>& into;
        ~Keep() {
            for (auto& object : ar.TakeCreatedObjects())
                into.push_back(std::move(object));
        }
    } keep{ar, m_loadedTasks};
    const CActionSendEmail::OptionListBatch oneOptionListForTheWholeFile;
    ReadList(ar, m_lstDelete);
    ReadList(ar, m_lstEncrypt);
    ReadList(ar, m_lstSendMail);
    // Bytes after the lists are not ours; accepting them silently would drop them on the next save.
    if (!ar.AtEnd())
        throw CArchiveException("Wrong format of schedule file.");
}

bool CTaskManager::ReadScheduleBytes(std::string_view bytes, std::string& error) {
    const std::string path = m_sFilePath;
    Reset();
    m_sFilePath = path;
    if (bytes.empty())
        return true;
    try {
        CArchive ar(bytes);
        Serialize(ar);
        return true;
    } catch (const CUIException& e) {
        error = ErrorText(e);
    } catch (const CArchiveException& e) {
        error = e.what();
    } catch (...) {
        error = kUnhandled;
    }
    return false;
}

bool CTaskManager::ReadScheduleFile(const std::string& path, std::string& error) {
    Reset();
    std::string bytes;
    // A FIFO or device put where the schedule belongs must not hold the reader forever.
    if (!platform::ReadRegularFile(path, bytes, error))
        return false;
    return ReadScheduleBytes(bytes, error);
}

bool CTaskManager::WriteScheduleBytes(std::string& bytes, std::string& error) {
    try {
        CArchive ar;
        Serialize(ar);
        bytes = ar.GetData();
        return true;
    } catch (const CUIException& e) {
        error = ErrorText(e);
    } catch (const CArchiveException& e) {
        error = e.what();
    } catch (const std::exception& e) {
        error = e.what();
    }
    return false;
}

bool CTaskManager::WriteScheduleFile(const std::string& path, std::string& error) {
    std::string bytes;
    return WriteScheduleBytes(bytes, error) && platform::WriteFileAtomically(path, bytes, 0600, error);
}
