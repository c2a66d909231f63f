#pragma once

#include "platform/DirectoryListing.h"
#include "tasks/manager/RunLedger.h"
#include "uikit/CallbackStruct.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class CAction;
class CActionDeleteFile;
class CActionEncryptFile;
class CActionSendEmail;
class CArchive;
class CFileAction;
class CObject;
class CQMRegistry;

// One line for the task manager's user: an error of a task, or a summary line (no task).
struct FEEDBACKITEM_ {
    CAction* pTask = nullptr;
    std::string csItem;
    int nErrorCode = 0;
    std::string csDetail;
};

// One file of the file list and the task that will process it.
struct ListedFile {
    CFileAction* owner = nullptr;
    platform::FindData findData;
    std::string relativeFolder; // below the owner's Location, each level followed by "/"
    std::string folder;         // the full folder, ending in "/"
    std::string typeName;
};

// File list keys are full paths. They sort as lower case (so the list reads like a directory
// listing), ties broken by the exact path: "Report.TXT" and "report.txt" are two files here.
struct FileKeyLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
using FileMap = std::map<std::string, ListedFile, FileKeyLess>;

namespace jobkit {
class ITaskCancelWindow;
// The text of a task error code (515 to 529), or null.
const char* ErrorTableText(int code);
// Locations, destination folders and archive names are absolute paths.
bool IsAbsoluteLocation(const std::string& path);
inline constexpr const char kNotAbsoluteDetail[] =
    "A task's folders and files must be given as absolute paths (starting with \"/\").";
} // namespace jobkit

namespace tasksched {
// Why the last LoadSchedule failed.
extern std::string gl_sLastError;
} // namespace tasksched

// The owner of one task list: the delete, encrypt and send-mail tasks, always visited and stored
// in that order, and the schedule file they are saved in.
class CTaskManager {
public:
    using FeedbackFunction = int (*)(FEEDBACKITEM_*);

    CTaskManager();
    explicit CTaskManager(FeedbackFunction feedback);
    virtual ~CTaskManager();
    CTaskManager(const CTaskManager&) = delete;
    CTaskManager& operator=(const CTaskManager&) = delete;

    // Empties the three lists and the file list and clears the path; the tasks stay alive.
    void Reset();
    std::string GetFilePath() const { return m_sFilePath; }

    // Gives the task the lowest free id above the smallest one in use (never one in use, always
    // positive) and files it by kind. Throws CUIException for a task of no file-list kind.
    CAction* AddTask(CAction* task);
    void DeleteTask(unsigned id);
    CAction* GetTaskById(unsigned id) const;
    // The task due next; with startup nonzero an at-start-up task with a next run comes first.
    CAction* GetNearestScheduledTask(int startup);

    int LoadSchedule(const std::string& path);
    int SaveSchedule(int noPrompt);
    // 1 when the list was written under the chosen name.
    int SaveScheduleAs();
    int OpenSchedule();
    CAction* NewTaskWiz(std::uint32_t value);
    int ShowCurrentItemDlg(CAction* task);
    int ShowScheduleTaskDlg(CAction* task);

    // File selection: the checks of one task and its mask walk, adding to m_mapFiles.
    unsigned ListFiles(CFileAction* task, CALLBACKSTRUCT_* progress);
    void BuildList(int showProgress);
    void BuildTaskList(CFileAction* task, int showProgress);
    static void CallBack(CALLBACKSTRUCT_* record);

    // Execution: every task (encrypt, send-mail, delete), or one task alone (record null) or on
    // behalf of Execute. Without windows (silent, or no window factory) nothing needs a display.
    void Execute(int silent);
    void ExecuteTask(CAction* task, CALLBACKSTRUCT_* record);
    // True when a task of the last run (or the last task run alone) was stopped by a Cancel.
    bool WasStopped() const { return m_stopped; }
    static void ExecCallBack(CALLBACKSTRUCT_* record);

    // Writes or reads the three lists: each a count and that many tagged task records.
    void Serialize(CArchive& ar);

    // The byte side of loading: resets the lists, then reads a whole schedule file. False with a
    // readable reason on failure; the tasks read before the failure stay in the lists.
    bool ReadScheduleFile(const std::string& path, std::string& error);
    bool ReadScheduleBytes(std::string_view bytes, std::string& error);
    // The byte side of saving: the file is replaced only once every record was written, so a
    // failed save keeps the previous file.
    bool WriteScheduleFile(const std::string& path, std::string& error);
    bool WriteScheduleBytes(std::string& bytes, std::string& error);

    // Lists of the base type: a file may put any kind in any list, and a task read from the first
    // list is a delete task only if its record says so.
    std::vector<CAction*> m_lstDelete;
    std::vector<CAction*> m_lstEncrypt;
    std::vector<CAction*> m_lstSendMail;
    FileMap m_mapFiles;
    FeedbackFunction m_pfnFeedback = nullptr;
    std::string m_sFilePath;

private:
    void ReadList(CArchive& ar, std::vector<CAction*>& list);
    int ReportError(CAction* task, const std::string& item, int code, const std::string& detail);
    void SendFeedback(const std::string& line);
    int WriteTo(const std::string& path);
    // Lists the files below `start` that match `mask` (walking subfolders when `recurse`).
    unsigned SearchDir(const std::string& start, const std::string& mask, int recurse, CFileAction* task,
                       CALLBACKSTRUCT_* progress);
    unsigned WalkMasks(CFileAction* task, const std::string& start, std::string masks,
                       CALLBACKSTRUCT_* progress);
    // Enters in the run's ledger the files a failed encrypt task would have selected.
    void GuardSelection(CFileAction* task, const std::string& start, const std::string& masks);
    void ListWithWindow(const std::vector<CFileAction*>& tasks, int showProgress, bool alwaysRecord);
    // How an encrypt task ended for the one running it: it went through its file list (which is
    // then cleared and the run's summary sent), or it stopped early (cancelled, no key file, the
    // archive could not be opened), keeping its file list as it stands and sending no summary.
    // The step of one task; false when the task ended early and keeps its file list.
    bool RunSteps(CAction* task, CALLBACKSTRUCT_& use, CALLBACKSTRUCT_& own,
                  jobkit::ITaskCancelWindow* window);
    enum class EncryptEnd { ClearFileList, KeepFileList };
    // What an encrypt task does, or did, with one file of its list: EndTask goes on to the next
    // task (the user said so after an error), StopTask ends early as KeepFileList does.
    enum class FilePlan { Encrypt, Done, Skip, EndTask, StopTask };
    EncryptEnd EncryptStep(CActionEncryptFile* task, CALLBACKSTRUCT_& use, bool ownWindow);
    EncryptEnd ArchiveStep(CActionEncryptFile* task, CALLBACKSTRUCT_& use, bool ownWindow, bool batch,
                           const CQMRegistry& settings);
    // Where `source` is encrypted to, once the user agreed to replace an existing file or chose
    // another name.
    FilePlan PlanDestination(CActionEncryptFile* task, CALLBACKSTRUCT_& use, const std::string& source,
                             const std::string& relativeFolder, bool overwrite, bool noMessages,
                             std::string& destination);
    // Encrypts `source` to `destination`, wiping the source when the task says so.
    FilePlan EncryptOne(CActionEncryptFile* task, CALLBACKSTRUCT_& use, const std::string& source,
                        const std::string& destination, int compress);
    void DeleteStep(CActionDeleteFile* task, CALLBACKSTRUCT_& use, bool ownWindow);
    void MailStep(CActionSendEmail* task, CALLBACKSTRUCT_& use, CALLBACKSTRUCT_& own);

    // Within one Execute: the files encrypt tasks selected and which of them now have a verified
    // encrypted copy. Wiping and deleting consult it, since the rest may be the only copy.
    jobkit::RunLedger m_ledger;
    bool m_inRun = false;
    bool m_stopped = false;

    // The tasks this manager made while reading files. The lists only refer to them and callers
    // may keep them after a reset, so they live as long as the manager.
    std::vector<std::unique_ptr<CObject>> m_loadedTasks;
};
