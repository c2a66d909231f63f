#pragma once

#include "center/core/CommandRules.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CAction;
class CMainFrame;
class CTaskManager;
class QTimer;
struct FEEDBACKITEM_;

namespace center {

class CSchedTree;
class CTaskTree;

// The Tasks and Schedule workspaces of the main window: it fills the task tree from the task
// list and the schedule tree from the stored schedule, carries out their commands, keeps the run
// log of the description pane, and follows the schedule while keeper changes it. One at a time
// receives the task list's run feedback.
class CTaskCommands : public QObject {
    Q_OBJECT
public:
    CTaskCommands(CMainFrame& frame, CTaskManager& taskList, CTaskManager& schedule);
    ~CTaskCommands() override;

    // Loads the task list named on the command line and shows it in the Tasks workspace. A list
    // that cannot be read is reported and leaves the task list empty.
    void OpenAtStart(const std::string& path);

    // Whether the task list changed since it was opened or saved.
    bool Modified() const { return m_modified; }
    // Before the task list is set aside: "Save changes?" when it changed. False when the user
    // cancelled or the save failed, so the list stays.
    bool MaySetListAside();

    // The facts of the enabling rules that the task views hold.
    void AddFacts(CommandState& state) const;

    const std::vector<std::string>& Log() const { return m_log; }
    // Reads the stored schedule anew (under keeper's lock) and shows it.
    void ReloadSchedule();
    // Looks whether keeper changed the schedule and shows it then; a timer calls it.
    void PollSchedule();
    // The task-run feedback: log lines, and for an error "Continue?". 0 stops the run.
    int Feedback(const FEEDBACKITEM_& item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Register();
    void ShowTaskList();
    void ShowScheduleView();
    void UpdateTitle();
    void SetModified(bool modified);
    void RequireTaskView() const;
    void AddLog(const std::string& line);

    // Tasks.
    void NewList();
    void OpenList();
    void SaveList(bool choose);
    void CreateTask();
    void DeleteTask();
    void RemoveSelectedFiles();
    void TaskProperties();
    void ScheduleTask();
    void ListFilesForTask();
    void PerformTasks();
    void PerformSelectedTask();
    void ClearFileList();

    // Schedule.
    void StartStopScheduler(bool start);
    void CreateScheduledTask();
    void DeleteScheduledTask();
    void ClearSchedule();
    void RunScheduledTask();
    void ScheduledTaskProperties();
    CAction* SelectedScheduledTask() const;
    void ShowScheduledTask();
    void RefillSchedule(std::int32_t selectId);
    void UpdateSchedulerButton();

    CMainFrame& m_frame;
    CTaskManager& m_taskList;
    CTaskManager& m_schedule;
    CTaskTree* m_taskTree;
    CSchedTree* m_schedTree;
    QTimer* m_poll;
    std::vector<std::string> m_log;
    // The tasks the wizard made for the task list: nobody else releases them.
    std::vector<std::unique_ptr<CAction>> m_ownedTasks;
    bool m_modified = false;
    std::string m_schedulePath;
    std::int64_t m_scheduleStamp = 0;
    int (*m_previousFeedback)(FEEDBACKITEM_*) = nullptr;
};

} // namespace center
