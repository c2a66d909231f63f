#include "keeper/Keeper.h"

#include "platform/Clock.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"
#include "tasks/schedlink/LastResults.h"

namespace keeper {
namespace {

int g_runErrors = 0;
// The tasks of the run now going and what each of them reported, in the same order.
const std::vector<CAction*>* g_runTasks = nullptr;
std::vector<tasksched::TaskResult>* g_runResults = nullptr;

// An error reported without its task counts for the first task of the run.
void CountForTask(CAction* task, const std::string& line) {
    if (!g_runTasks || !g_runResults || g_runResults->empty())
        return;
    std::size_t i = 0;
    while (i < g_runTasks->size() && (*g_runTasks)[i] != task)
        ++i;
    tasksched::TaskResult& result = (*g_runResults)[i < g_runResults->size() ? i : 0];
    if (result.errors++ == 0)
        result.firstError = line;
}

// Every line the run reports goes to the log; error lines are counted for the summary.
int LogFeedback(FEEDBACKITEM_* item) {
    if (item->pTask || item->nErrorCode) {
        ++g_runErrors;
        const char* text = jobkit::ErrorTableText(item->nErrorCode);
        const std::string line = item->csItem + (text ? std::string(": ") + text : std::string()) +
                                 (item->csDetail.empty() ? std::string() : " " + item->csDetail);
        Log("error: " + line);
        CountForTask(item->pTask, line);
    } else if (!item->csItem.empty() && item->csItem.find_first_not_of('-') != std::string::npos) {
        Log(item->csItem);
    }
    return 1;
}

} // namespace

bool RunTasks(const std::vector<CAction*>& tasks, std::vector<tasksched::TaskResult>* results) {
    g_runErrors = 0;
    std::vector<tasksched::TaskResult> own;
    std::vector<tasksched::TaskResult>& outcome = results ? *results : own;
    outcome.assign(tasks.size(), {});
    const std::int64_t started = platform::NowMs() / 1000;
    CTaskManager manager(&LogFeedback);
    std::vector<std::int32_t> ids;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        ids.push_back(tasks[i]->m_nId);
        outcome[i].id = static_cast<std::uint32_t>(tasks[i]->m_nId);
        outcome[i].time = started;
        manager.AddTask(tasks[i]);
    }
    g_runTasks = &tasks;
    g_runResults = &outcome;
    struct Forget {
        ~Forget() {
            g_runTasks = nullptr;
            g_runResults = nullptr;
        }
    } forget;
    // Each file task lists its own files as it comes to run.
    manager.Execute(1);
    for (std::size_t i = 0; i < tasks.size(); ++i)
        tasks[i]->m_nId = ids[i];
    Log(std::string("summary: ") + (manager.WasStopped() ? "cancelled, " : "") + std::to_string(g_runErrors) +
        (g_runErrors == 1 ? " error" : " errors"));
    return g_runErrors == 0 && !manager.WasStopped();
}

} // namespace keeper
