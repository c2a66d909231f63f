#include "keeper/Keeper.h"

#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"

namespace keeper {
namespace {

int g_runErrors = 0;

// Every line the run reports goes to the log; error lines are counted for the summary.
int LogFeedback(FEEDBACKITEM_* item) {
    if (item->pTask || item->nErrorCode) {
        ++g_runErrors;
        const char* text = jobkit::ErrorTableText(item->nErrorCode);
        Log("error: " + item->csItem + (text ? std::string(": ") + text : std::string()) +
            (item->csDetail.empty() ? std::string() : " " + item->csDetail));
    } else if (!item->csItem.empty() && item->csItem.find_first_not_of('-') != std::string::npos) {
        Log(item->csItem);
    }
    return 1;
}

} // namespace

bool RunTasks(const std::vector<CAction*>& tasks) {
    g_runErrors = 0;
    CTaskManager manager(&LogFeedback);
    std::vector<std::int32_t> ids;
    for (CAction* task : tasks) {
        ids.push_back(task->m_nId);
        manager.AddTask(task);
    }
    // Each file task lists its own files as it comes to run.
    manager.Execute(1);
    for (std::size_t i = 0; i < tasks.size(); ++i)
        tasks[i]->m_nId = ids[i];
    Log(std::string("summary: ") + (manager.WasStopped() ? "cancelled, " : "") + std::to_string(g_runErrors) +
        (g_runErrors == 1 ? " error" : " errors"));
    return g_runErrors == 0 && !manager.WasStopped();
}

} // namespace keeper
