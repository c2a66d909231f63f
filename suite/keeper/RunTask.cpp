#include "keeper/Keeper.h"

#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"
#include "tasks/model/FileAction.h"

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

// As the control center's "Run task": the copy goes into a temporary task manager of its own,
// file tasks get their file list, and the manager executes it without windows.
bool RunTask(CAction* task) {
    g_runErrors = 0;
    CTaskManager manager(&LogFeedback);
    const std::int32_t id = task->m_nId;
    manager.AddTask(task);
    if (auto* fileTask = dynamic_cast<CFileAction*>(task))
        manager.ListFiles(fileTask, nullptr);
    manager.Execute(1);
    task->m_nId = id;
    Log("summary: " + std::to_string(g_runErrors) + (g_runErrors == 1 ? " error" : " errors"));
    return g_runErrors == 0;
}

} // namespace keeper
