#include "tasks/schedlink/TaskSched.h"

#include "misckit/Keeper.h"
#include "misckit/KeeperProtocol.h"
#include "misckit/Registry.h"
#include "misckit/SessionKey.h"
#include "platform/CommandSocket.h"
#include "platform/FileLock.h"
#include "platform/NamedEvent.h"
#include "platform/SecretMemory.h"
#include "platform/SharedMemory.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/schedlink/LastResults.h"
#include "uikit/ShellInfo.h"
#include "uikit/UIException.h"
#include "uikit/Ui.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tasksched {

namespace {

const char kStartupValue[] = "Quillmark Scheduler";

// Holds the schedule's lock file locked for as long as it lives.
class ScheduleLock {
public:
    explicit ScheduleLock(const std::string& schedulePath) {
        const std::string lockPath = schedulePath + ".lock";
        std::string reason;
        if (!m_lock.Lock(lockPath, platform::FileLock::Wait::UntilFree, reason))
            m_error = "Cannot lock the schedule (" + lockPath + "): " + reason + ".";
    }
    bool locked() const { return m_lock.locked(); }
    const std::string& error() const { return m_error; }

private:
    platform::FileLock m_lock;
    std::string m_error;
};

// A missing stored schedule is an empty one; anything else that cannot be read is an error.
bool LoadLocked(const std::string& path, CTaskManager& manager, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        manager.Reset();
        manager.m_sFilePath = path;
        return true;
    }
    if (!manager.ReadScheduleFile(path, error))
        return false;
    manager.m_sFilePath = path;
    return true;
}

// The edits of this library throw only what the task manager throws; everything else is
// reported through gl_sLastError.
void EditOrThrow(const std::function<bool(CTaskManager&)>& change) {
    const std::string path = GetSchedulePath();
    std::string error;
    if (!EditSchedule(path, change, error)) {
        gl_sLastError = error;
        throw CUIException(0, error);
    }
}

} // namespace

bool ReadSchedule(const std::string& path, CTaskManager& manager, std::string& error) {
    ScheduleLock lock(path);
    if (!lock.locked()) {
        error = lock.error();
        return false;
    }
    return LoadLocked(path, manager, error);
}

bool EditSchedule(const std::string& path, const std::function<bool(CTaskManager&)>& change,
                  std::string& error) {
    ScheduleLock lock(path);
    if (!lock.locked()) {
        error = lock.error();
        return false;
    }
    CTaskManager manager;
    if (!LoadLocked(path, manager, error)) {
        error = "Cannot read the schedule " + path + ": " + error;
        return false;
    }
    if (!change(manager))
        return true;
    if (!manager.WriteScheduleFile(path, error)) {
        error = "Cannot save the schedule " + path + ": " + error;
        return false;
    }
    return true;
}

std::size_t TaskCount(const CTaskManager& manager) {
    return manager.m_lstDelete.size() + manager.m_lstEncrypt.size() + manager.m_lstSendMail.size();
}

CAction* CopyTask(const CAction* task) {
    if (!task)
        return nullptr;
    if (task->IsKindOf(QM_RUNTIME_CLASS(CActionDeleteFile)))
        return new CActionDeleteFile(static_cast<const CActionDeleteFile*>(task));
    if (task->IsKindOf(QM_RUNTIME_CLASS(CActionEncryptFile)))
        return new CActionEncryptFile(static_cast<const CActionEncryptFile*>(task));
    if (task->IsKindOf(QM_RUNTIME_CLASS(CActionSendEmail)))
        return new CActionSendEmail(static_cast<const CActionSendEmail*>(task));
    return nullptr;
}

std::string GetSchedulePath() {
    // The setting (or its default), with its folder made when missing.
    const std::string path = misckit::GetScheduleFilePath();
    if (!path.empty()) {
        // Create-new: an existing file is never touched.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    return path;
}

void GetSchedulePath(char* buffer, int size) {
    if (!buffer || size <= 0)
        return;
    const std::string path = GetSchedulePath();
    const std::size_t n = std::min(path.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, path.data(), n);
    buffer[n] = '\0';
}

int GetScheduleChanged() {
    gl_sLastError.clear();
    platform::SharedMemory memory;
    std::string error;
    if (!memory.open(kScheduleRunningName, 4, platform::SharedMemory::Mode::OpenExisting, error))
        return 0;
    auto* flag = static_cast<volatile std::int32_t*>(memory.data());
    const std::int32_t value = *flag;
    *flag = 0;
    return value;
}

void SetScheduleChanged() {
    gl_sLastError.clear();
    platform::SharedMemory memory;
    std::string error;
    if (!memory.open(kScheduleRunningName, 4, platform::SharedMemory::Mode::OpenExisting, error))
        return;
    *static_cast<volatile std::int32_t*>(memory.data()) = 1;
}

int SetSessionKey(const SESSIONKEY_* key) {
    gl_sLastError.clear();
    if (!key) {
        gl_sLastError = "Cannot set session key.";
        return 0;
    }
    platform::SharedMemory store;
    std::string error;
    if (!store.open(kSessionKeyStoreName, kSessionKeyStoreSize, platform::SharedMemory::Mode::OpenExisting,
                    error)) {
        platform::NamedEvent initDone;
        if (!initDone.open(kSessionKeyInitDoneName, platform::SharedMemory::Mode::OpenOrCreate, error)) {
            gl_sLastError = "Cannot store the key/password in memory.";
            return 0;
        }
        if (misckit::IsKeeperRunning()) {
            NotifySessionManager(keeperproto::CMD_SESSION_KEY_SET);
        } else {
            char text[512] = {};
            if (!misckit::StartKeeper("seskey", text, sizeof text)) {
                gl_sLastError = text;
                return 0;
            }
        }
        initDone.wait(5000);
        initDone.close();
        if (!store.open(kSessionKeyStoreName, kSessionKeyStoreSize,
                        platform::SharedMemory::Mode::OpenExisting, error)) {
            gl_sLastError = "Cannot store the key/password in memory.";
            return 0;
        }
    }
    if (store.size() < kSessionKeyStoreSize) {
        gl_sLastError = "Cannot set session key.";
        return 0;
    }
    // Wiping first means no byte of an older, longer key stays behind.
    platform::WipeMemory(store.data(), kSessionKeyStoreSize);
    std::memcpy(store.data(), key, sizeof(SESSIONKEY_));
    return 1;
}

void ClearSessionKey() {
    platform::SharedMemory store;
    std::string error;
    if (!store.open(kSessionKeyStoreName, kSessionKeyStoreSize, platform::SharedMemory::Mode::OpenExisting,
                    error))
        return;
    // The whole record goes, password and key file path included, starting with the password
    // length and kind, so that keeper sees "no key" at once; keeper wipes its store again when
    // command 6 arrives.
    platform::WipeMemory(store.data(), std::min(store.size(), kSessionKeyStoreSize));
    store.close();
    NotifySessionManager(keeperproto::CMD_SESSION_KEY_CLEARED);
}

void NotifySessionManager(std::uint32_t code) {
    if (!misckit::IsKeeperRunning()) {
        if (code == keeperproto::CMD_START_SCHEDULER)
            misckit::StartKeeper("scheduler", nullptr, 0);
        else if (code == keeperproto::CMD_SESSION_KEY_SET)
            misckit::StartKeeper("seskey", nullptr, 0);
        return;
    }
    platform::CommandRecord record;
    record.code = code;
    record.senderPid = static_cast<std::int32_t>(::getpid());
    std::int32_t reply = 0;
    std::string error;
    // keeper may be busy running a task; a command sent then still reaches it from its queue.
    if (!platform::SendCommand(platform::kSessionManagerEndpoint, record, reply, 10000, error))
        gl_sLastError = error;
}

void AddTaskToSchedule(CAction* task) {
    if (!task)
        return;
    EditOrThrow([task](CTaskManager& manager) {
        manager.AddTask(task);
        return true;
    });
    NotifySessionManager(misckit::IsSchedulerRunning() ? keeperproto::CMD_SCHEDULE_CHANGED
                                                       : keeperproto::CMD_START_SCHEDULER);
}

void DeleteTaskFromSchedule(std::uint32_t id) {
    std::size_t remaining = 0;
    EditOrThrow([id, &remaining](CTaskManager& manager) {
        manager.DeleteTask(id);
        remaining = TaskCount(manager);
        return true;
    });
    // Ids are given again to new tasks; the old task's result must not show for them.
    std::string error;
    ForgetLastResults(LastResultsPath(), {id}, false, error);
    NotifySessionManager(remaining > 0 ? keeperproto::CMD_SCHEDULE_CHANGED : keeperproto::CMD_STOP_SCHEDULER);
}

void UpdateTaskInSchedule(const CAction* edited) {
    std::unique_ptr<CAction> copy(CopyTask(edited));
    if (!copy)
        throw CUIException(0, "AddTask()", "Wrong task type");
    const std::int32_t id = edited->m_nId;
    EditOrThrow([&](CTaskManager& manager) {
        for (auto* list : {&manager.m_lstDelete, &manager.m_lstEncrypt, &manager.m_lstSendMail})
            for (CAction*& stored : *list) {
                if (stored->m_nId != id)
                    continue;
                // keeper writes the last run; the edit made in the window may predate it.
                copy->m_nId = id;
                copy->m_tLastRun = stored->m_tLastRun;
                copy->m_tNextRun = 0;
                stored = copy.get(); // the list does not own its tasks; `copy` outlives the save
                return true;
            }
        throw CUIException(0, "Cannot find the task with the specified ID.", "");
    });
    NotifySessionManager(keeperproto::CMD_SCHEDULE_CHANGED);
}

void DeleteAllTasksFromSchedule() {
    EditOrThrow([](CTaskManager& manager) {
        manager.m_lstDelete.clear();
        manager.m_lstEncrypt.clear();
        manager.m_lstSendMail.clear();
        return true;
    });
    std::string error;
    ForgetLastResults(LastResultsPath(), {}, true, error);
    NotifySessionManager(keeperproto::CMD_STOP_SCHEDULER);
}

void StartScheduler() {
    NotifySessionManager(keeperproto::CMD_START_SCHEDULER);
}

void StopScheduler() {
    NotifySessionManager(keeperproto::CMD_STOP_SCHEDULER);
}

void ApplySchedulerStartup(bool on) {
    const CQMRegistry run(RegRoot::LocalMachine, encreg::szStartupRun);
    if (on) {
        run.WriteString(kStartupValue, uikit::GetProgramFolder() + "keeper startup");
        if (!run.ValueExists(kStartupValue))
            uikit::MessageBox(
                "The option of automatic starting Quillmark Scheduler cannot be saved in registry. If "
                "you run Windows Vista,you need to run Quillmark as Administrator or to configure the "
                "program's access rights.",
                "Registry error", uikit::Buttons::OK, uikit::Icon::Warning);
    } else {
        run.DeleteValue(kStartupValue);
        if (run.ValueExists(kStartupValue))
            uikit::MessageBox(
                "Cannot change the registry. If you run Windows Vista,you need to run Quillmark as "
                "Administrator or to configure the program's access rights.",
                "Registry error", uikit::Buttons::OK, uikit::Icon::Warning);
    }
}

} // namespace tasksched
