#include "keeper/Keeper.h"

#include "misckit/KeeperProtocol.h"
#include "misckit/SessionKey.h"
#include "platform/Clock.h"
#include "platform/CommandSocket.h"
#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"
#include "platform/XdgPaths.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"
#include "tasks/schedlink/TaskSched.h"
#include "uikit/UIException.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <set>
#include <unistd.h>

namespace keeper {
namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string TaskLabel(const CAction* task) {
    return "task " + std::to_string(task->m_nId) + " \"" + task->m_csName + "\"";
}

// The first run time of a timed task that is not in the past and not already done: a run in
// the current second counts as due, one that was recorded is not due again. The rule search may
// answer a time equal to the moment it was given, so the answer is checked, not trusted.
std::int64_t NextDue(CAction* task, std::int64_t now) {
    const std::int64_t from = std::max(now, task->m_tLastRun + 1);
    std::int64_t after = from - 1;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::int64_t due = task->GetNextRun(after);
        if (due == 0)
            return 0;
        if (due >= from)
            return due;
        after = std::max(due + 1, from);
    }
    return 0;
}

class Keeper {
public:
    explicit Keeper(Mode mode) : m_mode(mode) {}
    ~Keeper() { Shutdown(); }

    int Start();
    void Loop();

private:
    std::int32_t Handle(const platform::CommandRecord& record);
    bool CreateKeyStore();
    void Reload();
    void RunDue();
    void RunStartupPass();
    void RunOne(std::uint32_t id, std::int64_t due);
    void RecordRun(std::uint32_t id, std::int64_t started);
    void Shutdown();

    Mode m_mode;
    platform::CommandServer m_server;
    platform::SharedMemory m_changed;
    platform::SharedMemory m_keyStore;
    bool m_schedulerOn = false;
    bool m_reload = true;
    std::string m_schedulePath;
    // The plan: the task due next and when (seconds); id 0 when nothing is due.
    std::uint32_t m_nextId = 0;
    std::int64_t m_nextDue = 0;
    std::int64_t m_lastCheckMs = 0;
    std::string m_lastLoadError;
};

int Keeper::Start() {
    std::string error;
    if (!m_server.listen(platform::kSessionManagerEndpoint, error)) {
        // Another keeper of this user runs: hand it what this start was meant to do.
        platform::CommandRecord record;
        record.code =
            m_mode == Mode::SessionKey ? keeperproto::CMD_SESSION_KEY_SET : keeperproto::CMD_START_SCHEDULER;
        record.senderPid = static_cast<std::int32_t>(::getpid());
        std::int32_t reply = 0;
        std::string ignored;
        platform::SendCommand(platform::kSessionManagerEndpoint, record, reply, 3000, ignored);
        Log("keeper already runs (" + error + "); passed the request on");
        return 1;
    }
    if (!m_changed.open(tasksched::kScheduleRunningName, tasksched::kScheduleRunningSize,
                        platform::SharedMemory::Mode::OpenOrCreate, error)) {
        Log("cannot create the schedule flag: " + error);
        return 1;
    }
    if (m_mode == Mode::SessionKey && !CreateKeyStore())
        return 1;
    m_schedulerOn = m_mode != Mode::SessionKey;
    m_schedulePath = tasksched::GetSchedulePath();
    Log(std::string("keeper started (") +
        (m_mode == Mode::SessionKey ? "seskey"
         : m_mode == Mode::Startup  ? "startup"
                                    : "scheduler") +
        "), schedule " + m_schedulePath);
    if (m_mode == Mode::Startup)
        RunStartupPass();
    return 0;
}

bool Keeper::CreateKeyStore() {
    if (m_keyStore.isOpen())
        return true;
    std::string error;
    if (!m_keyStore.open(tasksched::kSessionKeyStoreName, tasksched::kSessionKeyStoreSize,
                         platform::SharedMemory::Mode::OpenOrCreate, error)) {
        Log("cannot create the session key store: " + error);
        return false;
    }
    // A store left by a keeper that crashed may still hold a key; this keeper starts empty.
    misckit::WipeMemory(m_keyStore.data(), m_keyStore.size());
    platform::NamedEvent initDone;
    if (initDone.open(tasksched::kSessionKeyInitDoneName, platform::SharedMemory::Mode::OpenOrCreate, error))
        initDone.set();
    else
        Log("cannot signal the session key store: " + error);
    Log("session key store created");
    return true;
}

std::int32_t Keeper::Handle(const platform::CommandRecord& record) {
    switch (record.code) {
    case keeperproto::CMD_START_SCHEDULER:
        if (!m_schedulerOn)
            Log("scheduler started");
        m_schedulerOn = true;
        m_reload = true;
        return 1;
    case keeperproto::CMD_SCHEDULE_CHANGED:
        m_reload = true;
        return 1;
    case keeperproto::CMD_STOP_SCHEDULER:
        if (m_schedulerOn)
            Log("scheduler stopped");
        m_schedulerOn = false;
        m_nextId = 0;
        return 1;
    case keeperproto::CMD_SESSION_KEY_SET:
        return CreateKeyStore() ? 1 : 0;
    case keeperproto::CMD_SESSION_KEY_CLEARED:
        if (m_keyStore.isOpen())
            misckit::WipeMemory(m_keyStore.data(), m_keyStore.size());
        Log("session key cleared");
        return 1;
    case keeperproto::CMD_QUERY_STATE:
        return (m_schedulerOn ? keeperproto::kStateSchedulerRunning : 0) |
               (m_keyStore.isOpen() ? keeperproto::kStateSessionKeyStore : 0);
    default:
        return -1;
    }
}

// Plans the next run from the stored schedule as it is on disk now.
void Keeper::Reload() {
    m_reload = false;
    m_nextId = 0;
    m_lastCheckMs = NowMs();
    if (!m_schedulerOn)
        return;
    m_schedulePath = tasksched::GetSchedulePath();
    CTaskManager manager;
    std::string error;
    if (!tasksched::ReadSchedule(m_schedulePath, manager, error)) {
        // Logged once per kind of failure, not once a minute; the next good read goes on.
        if (error != m_lastLoadError)
            Log("cannot read the schedule " + m_schedulePath + ": " + error);
        m_lastLoadError = error;
        return;
    }
    m_lastLoadError.clear();
    const std::int64_t now = NowMs() / 1000;
    std::int64_t best = now + 100000000;
    for (const auto* list : {&manager.m_lstDelete, &manager.m_lstEncrypt, &manager.m_lstSendMail})
        for (CAction* task : *list) {
            if (task->m_nRunType == 3)
                continue; // start-up tasks run only in the start-up pass
            const std::int64_t due = NextDue(task, now);
            if (due != 0 && due < best) {
                best = due;
                m_nextId = static_cast<std::uint32_t>(task->m_nId);
                m_nextDue = due;
            }
        }
}

void Keeper::RunStartupPass() {
    CTaskManager manager;
    std::string error;
    if (!tasksched::ReadSchedule(m_schedulePath, manager, error)) {
        Log("cannot read the schedule " + m_schedulePath + ": " + error);
        return;
    }
    std::vector<std::uint32_t> ids;
    const std::int64_t now = NowMs() / 1000;
    for (const auto* list : {&manager.m_lstDelete, &manager.m_lstEncrypt, &manager.m_lstSendMail})
        for (CAction* task : *list)
            if (task->m_nRunType == 3 && task->GetNextRun(now) != 0)
                ids.push_back(static_cast<std::uint32_t>(task->m_nId));
    for (std::uint32_t id : ids)
        RunOne(id, now);
}

void Keeper::RunDue() {
    const std::uint32_t id = m_nextId;
    const std::int64_t due = m_nextDue;
    m_nextId = 0;
    RunOne(id, due);
    m_reload = true;
}

// Runs the stored task with this id from a fresh read of the schedule, so that an edit made
// since the plan was made (a changed rule, a removed task) is honoured.
void Keeper::RunOne(std::uint32_t id, std::int64_t due) {
    CTaskManager manager;
    std::string error;
    if (!tasksched::ReadSchedule(m_schedulePath, manager, error)) {
        Log("cannot read the schedule " + m_schedulePath + ": " + error);
        return;
    }
    CAction* stored = manager.GetTaskById(id);
    if (!stored) {
        Log("task " + std::to_string(id) + " is no longer in the schedule");
        return;
    }
    std::unique_ptr<CAction> copy(tasksched::CopyTask(stored));
    if (!copy) {
        Log(TaskLabel(stored) + " is of no known kind; skipped");
        return;
    }
    copy->m_nId = stored->m_nId;
    const std::int64_t startedMs = NowMs();
    Log("run " + TaskLabel(copy.get()) + " due " + std::to_string(due) + ", started " +
        std::to_string(startedMs - due * 1000) + " ms after its due second");
    bool ok = false;
    try {
        ok = RunTask(copy.get());
    } catch (const CUIException& e) {
        Log("error: " + e.GetReportText());
    } catch (const std::exception& e) {
        Log(std::string("error: ") + e.what());
    } catch (...) {
        Log("error: unknown failure");
    }
    Log("end " + TaskLabel(copy.get()) + (ok ? ": done" : ": failed"));
    RecordRun(id, startedMs / 1000);
}

void Keeper::RecordRun(std::uint32_t id, std::int64_t started) {
    std::string error;
    bool found = false;
    const bool saved = tasksched::EditSchedule(
        m_schedulePath,
        [&](CTaskManager& manager) {
            CAction* task = manager.GetTaskById(id);
            if (!task)
                return false;
            found = true;
            task->m_tLastRun = started;
            task->GetNextRun(started);
            return true;
        },
        error);
    if (!saved)
        Log("cannot record the run of task " + std::to_string(id) + ": " + error);
    else if (found)
        tasksched::SetScheduleChanged();
}

void Keeper::Loop() {
    const platform::CommandServer::Handler handler = [this](const platform::CommandRecord& r) {
        return Handle(r);
    };
    while (!g_stop) {
        const std::int64_t nowMs = NowMs();
        // A minute's re-check notices a changed clock, a suspend and edits nobody announced.
        if (m_reload || nowMs - m_lastCheckMs >= 60000 || nowMs < m_lastCheckMs)
            Reload();
        if (m_schedulerOn && m_nextId != 0 && NowMs() >= m_nextDue * 1000) {
            RunDue();
            continue;
        }
        std::int64_t waitMs = 60000 - (NowMs() - m_lastCheckMs);
        if (m_schedulerOn && m_nextId != 0)
            waitMs = std::min(waitMs, m_nextDue * 1000 - NowMs());
        waitMs = std::clamp<std::int64_t>(waitMs, 0, 60000);
        m_server.serveOne(handler, static_cast<int>(waitMs));
    }
    Log("keeper ended");
}

void Keeper::Shutdown() {
    std::string error;
    if (m_keyStore.isOpen()) {
        misckit::WipeMemory(m_keyStore.data(), m_keyStore.size());
        m_keyStore.close();
        platform::SharedMemory::Remove(tasksched::kSessionKeyStoreName, error);
        platform::NamedEvent::Remove(tasksched::kSessionKeyInitDoneName, error);
    }
    if (m_changed.isOpen()) {
        m_changed.close();
        platform::SharedMemory::Remove(tasksched::kScheduleRunningName, error);
    }
    m_server.close();
}

} // namespace

std::string LogPath() {
    return platform::StateHome() + "/Quillmark/keeper.log";
}

void Log(const std::string& line) {
    std::string error;
    platform::MakeFolders(platform::StateHome() + "/Quillmark", 0700, error);
    const int fd = ::open(LogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    // One write per line: lines of two keepers (a second one that hands over) never interleave.
    const std::string text =
        platform::LocalTimeText(NowMs() / 1000) + " [" + std::to_string(::getpid()) + "] " + line + "\n";
    ssize_t ignored = ::write(fd, text.data(), text.size());
    (void)ignored;
    ::close(fd);
}

int Run(Mode mode) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    Keeper keeper(mode);
    const int rc = keeper.Start();
    if (rc != 0)
        return rc;
    keeper.Loop();
    return 0;
}

} // namespace keeper
