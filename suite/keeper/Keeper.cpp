#include "keeper/Keeper.h"
#include "keeper/DesktopNotice.h"

#include "keeper/Scheduler.h"
#include "misckit/KeeperProtocol.h"
#include "misckit/SessionKey.h"
#include "platform/Clock.h"
#include "platform/CommandSocket.h"
#include "platform/NamedEvent.h"
#include "platform/SecretMemory.h"
#include "platform/SharedMemory.h"
#include "platform/XdgPaths.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"
#include "tasks/schedlink/LastResults.h"
#include "tasks/schedlink/TaskSched.h"
#include "uikit/UIException.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace keeper {
namespace {

volatile std::sig_atomic_t g_stop = 0;
// Written by the signal handler, watched while keeper waits: a signal that comes between two
// waits still ends the next one at once.
int g_wakePipe[2] = {-1, -1};

void OnSignal(int) {
    g_stop = 1;
    const int saved = errno;
    const char byte = 1;
    ssize_t ignored = ::write(g_wakePipe[1], &byte, 1);
    (void)ignored;
    errno = saved;
}

class Keeper {
public:
    explicit Keeper(Mode mode)
        : m_mode(mode), m_scheduler([] { return tasksched::GetSchedulePath(); },
                                    [this](const std::vector<CAction*>& tasks) { return RunBusy(tasks); }) {}
    ~Keeper() { Shutdown(); }

    int Start();
    void Loop();

private:
    std::int32_t Handle(const platform::CommandRecord& record);
    bool CreateKeyStore();
    bool RunBusy(const std::vector<CAction*>& tasks);
    void ReportResults(const std::vector<CAction*>& tasks, const std::vector<tasksched::TaskResult>& results);
    void Publish(std::uint32_t busyTask = 0);
    void Shutdown();

    Mode m_mode;
    Scheduler m_scheduler;
    platform::CommandServer m_server;
    platform::SharedMemory m_changed;
    platform::SharedMemory m_keyStore;
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
    m_scheduler.SetOn(m_mode != Mode::SessionKey);
    Publish();
    Log(std::string("keeper started (") +
        (m_mode == Mode::SessionKey ? "seskey"
         : m_mode == Mode::Startup  ? "startup"
                                    : "scheduler") +
        "), schedule " + tasksched::GetSchedulePath());
    if (m_mode == Mode::Startup)
        m_scheduler.RunStartupPass();
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
    platform::WipeMemory(m_keyStore.data(), m_keyStore.size());
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
        if (!m_scheduler.IsOn())
            Log("scheduler started");
        m_scheduler.SetOn(true);
        Publish();
        return 1;
    case keeperproto::CMD_SCHEDULE_CHANGED:
        m_scheduler.ScheduleChanged();
        return 1;
    case keeperproto::CMD_STOP_SCHEDULER:
        if (m_scheduler.IsOn())
            Log("scheduler stopped");
        m_scheduler.SetOn(false);
        Publish();
        return 1;
    case keeperproto::CMD_SESSION_KEY_SET: {
        const bool created = CreateKeyStore();
        Publish();
        return created ? 1 : 0;
    }
    case keeperproto::CMD_SESSION_KEY_CLEARED:
        if (m_keyStore.isOpen())
            platform::WipeMemory(m_keyStore.data(), m_keyStore.size());
        Log("session key cleared");
        return 1;
    case keeperproto::CMD_QUERY_STATE:
        return (m_scheduler.IsOn() ? keeperproto::kStateSchedulerRunning : 0) |
               (m_keyStore.isOpen() ? keeperproto::kStateSessionKeyStore : 0);
    default:
        return -1;
    }
}

// While a task runs nobody is served; what is published tells the callers why.
bool Keeper::RunBusy(const std::vector<CAction*>& tasks) {
    Publish(static_cast<std::uint32_t>(tasks.front()->m_nId));
    std::vector<tasksched::TaskResult> results;
    const bool ok = RunTasks(tasks, &results);
    Publish();
    ReportResults(tasks, results);
    return ok;
}

// Each task's last result goes to the results file; a task that ended with errors is also told to
// the user on the desktop, since nobody watches a scheduled run.
void Keeper::ReportResults(const std::vector<CAction*>& tasks,
                           const std::vector<tasksched::TaskResult>& results) {
    std::string error;
    if (!tasksched::RecordLastResults(tasksched::LastResultsPath(), results, error))
        Log("cannot keep the tasks' results: " + error);
    for (std::size_t i = 0; i < tasks.size() && i < results.size(); ++i) {
        if (results[i].errors == 0)
            continue;
        std::string reason;
        const std::string name =
            tasks[i]->m_csName.empty() ? "task " + std::to_string(results[i].id) : tasks[i]->m_csName;
        if (NotifyTaskErrors(name, results[i].errors, results[i].firstError, reason))
            Log("told the desktop: " + TaskErrorsSummary(name, results[i].errors));
        else
            Log("no desktop notification: " + reason);
    }
}

void Keeper::Publish(std::uint32_t busyTask) {
    if (!m_changed.isOpen())
        return;
    const std::int32_t state = (m_scheduler.IsOn() ? keeperproto::kStateSchedulerRunning : 0) |
                               (m_keyStore.isOpen() ? keeperproto::kStateSessionKeyStore : 0) |
                               (busyTask ? keeperproto::kStateBusy : 0);
    auto* base = static_cast<std::uint8_t*>(m_changed.data());
    std::atomic_ref(*reinterpret_cast<std::uint32_t*>(base + keeperproto::kPublishedTaskOffset))
        .store(busyTask, std::memory_order_release);
    std::atomic_ref(*reinterpret_cast<std::int32_t*>(base + keeperproto::kPublishedStateOffset))
        .store(state, std::memory_order_release);
}

void Keeper::Loop() {
    const platform::CommandServer::Handler handler = [this](const platform::CommandRecord& r) {
        return Handle(r);
    };
    while (!g_stop) {
        const int waitMs = m_scheduler.Step();
        if (!g_stop)
            m_server.serveOne(handler, waitMs, g_wakePipe[0]);
    }
    Log("keeper ended");
}

void Keeper::Shutdown() {
    std::string error;
    if (m_keyStore.isOpen()) {
        platform::WipeMemory(m_keyStore.data(), m_keyStore.size());
        m_keyStore.close();
        platform::SharedMemory::Remove(tasksched::kSessionKeyStoreName, error);
        platform::NamedEvent::Remove(tasksched::kSessionKeyInitDoneName, error);
    }
    if (m_changed.isOpen()) {
        Publish(); // a keeper that is gone is not busy, whoever still has the object mapped
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
        platform::LocalTimeText(platform::Now()) + " [" + std::to_string(::getpid()) + "] " + line + "\n";
    ssize_t ignored = ::write(fd, text.data(), text.size());
    (void)ignored;
    ::close(fd);
}

int Run(Mode mode) {
    if (g_wakePipe[0] < 0 && ::pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;
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
