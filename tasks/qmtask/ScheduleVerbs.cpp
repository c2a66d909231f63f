// qmtask schedule: the stored background schedule from the command line, through the same
// scheduler-link functions that the control center uses.
#include "ScheduleVerbs.h"

#include "misckit/Keeper.h"
#include "platform/Clock.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"
#include "tasks/schedlink/LastResults.h"
#include "tasks/schedlink/TaskSched.h"
#include "uikit/UIException.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

namespace {

const char kScheduleUsage[] = "usage: qmtask schedule list\n"
                              "       qmtask schedule add FILE --task ID [--password PW]\n"
                              "       qmtask schedule remove ID | clear | start | stop | status";

int Fail(const std::string& text) {
    std::fprintf(stderr, "qmtask: %s\n", text.c_str());
    return 1;
}

bool ParseId(const char* text, std::uint32_t& id) {
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (!*text || *end || errno || value == 0 || value > 0x7fffffffUL)
        return false;
    id = static_cast<std::uint32_t>(value);
    return true;
}

int List() {
    CTaskManager manager;
    std::string error;
    if (!tasksched::ReadSchedule(tasksched::GetSchedulePath(), manager, error))
        return Fail(error);
    // A damaged results file costs only the result column, not the list.
    tasksched::TaskResults results;
    if (!tasksched::ReadLastResults(tasksched::LastResultsPath(), results, error))
        std::fprintf(stderr, "qmtask: the tasks' last results cannot be read: %s\n", error.c_str());
    for (const auto* list : {&manager.m_lstDelete, &manager.m_lstEncrypt, &manager.m_lstSendMail})
        for (CAction* task : *list) {
            std::string rule;
            task->GetShortSchedString(rule);
            const std::int64_t next = task->GetNextRun();
            const auto found = results.find(static_cast<std::uint32_t>(task->m_nId));
            const std::string result =
                tasksched::DescribeResult(found == results.end() ? nullptr : &found->second);
            std::printf("%d\t%s\t%s\tnext %s\tlast %s\t%s\tresult %s\n", task->m_nId,
                        task->GetActionName().c_str(), task->m_csName.c_str(), TaskTimeText(next).c_str(),
                        TaskTimeText(task->m_tLastRun).c_str(), rule.c_str(), result.c_str());
        }
    return 0;
}

int Add(int argc, char** argv) {
    std::string file, taskId, password;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--task" || arg == "--password") && i + 1 < argc)
            (arg == "--task" ? taskId : password) = argv[++i];
        else if (file.empty() && !arg.empty() && arg[0] != '-')
            file = arg;
        else
            return Fail(kScheduleUsage);
    }
    std::uint32_t id = 0;
    if (file.empty() || !ParseId(taskId.c_str(), id))
        return Fail(kScheduleUsage);
    CTaskManager source;
    std::string error;
    CAction::m_csPassword = password;
    const bool read = source.ReadScheduleFile(file, error);
    // The stored schedule is read by keeper, which knows no document password.
    CAction::m_csPassword.clear();
    if (!read)
        return Fail(file + ": " + error);
    CAction* task = source.GetTaskById(id);
    if (!task)
        return Fail("no task with id " + taskId + " in " + file);
    tasksched::AddTaskToSchedule(task);
    std::printf("%d\n", task->m_nId);
    return 0;
}

// A keeper busy with a task answers no query until the task ends; its scheduler still runs.
int Status() {
    const misckit::KeeperStatus keeper = misckit::GetKeeperStatus();
    std::string scheduler = keeper.scheduler ? "running" : "stopped";
    if (keeper.busyTask)
        scheduler += " (running task " + std::to_string(keeper.busyTask) + ")";
    else if (keeper.running && !keeper.answered)
        scheduler += " (keeper does not answer)";
    std::printf("keeper: %s\nscheduler: %s\nschedule: %s\n", keeper.running ? "running" : "not running",
                scheduler.c_str(), tasksched::GetSchedulePath().c_str());
    return 0;
}

} // namespace

std::string TaskTimeText(std::int64_t t) {
    const std::string text = t == 0 ? std::string() : platform::LocalTimeText(t);
    return text.empty() ? "-" : text;
}

int ScheduleVerb(int argc, char** argv) {
    const std::string verb = argc >= 3 ? argv[2] : "";
    try {
        if (verb == "list" && argc == 3)
            return List();
        if (verb == "add")
            return Add(argc, argv);
        if (verb == "remove" && argc == 4) {
            std::uint32_t id = 0;
            if (!ParseId(argv[3], id))
                return Fail(kScheduleUsage);
            tasksched::DeleteTaskFromSchedule(id);
            return 0;
        }
        if (verb == "clear" && argc == 3) {
            tasksched::DeleteAllTasksFromSchedule();
            return 0;
        }
        if (verb == "start" && argc == 3) {
            tasksched::StartScheduler();
            return 0;
        }
        if (verb == "stop" && argc == 3) {
            tasksched::StopScheduler();
            return 0;
        }
        if (verb == "status" && argc == 3)
            return Status();
    } catch (const CUIException& e) {
        return Fail(e.GetReportText());
    }
    static const char* const verbs[] = {"list", "add", "remove", "clear", "start", "stop", "status"};
    const bool known = std::find(std::begin(verbs), std::end(verbs), verb) != std::end(verbs);
    std::string what = verb.empty()                    ? "no schedule verb"
                       : verb[0] == '-'                ? "unknown option " + verb
                       : !known                        ? "unknown schedule verb \"" + verb + "\""
                       : argc > 3 && argv[3][0] == '-' ? "unknown option " + std::string(argv[3])
                                                       : "wrong arguments for schedule " + verb;
    return Fail(what + "\n" + kScheduleUsage);
}
