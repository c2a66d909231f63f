#include "center/windows/TaskCommands.h"

#include "center/core/ListRows.h"
#include "center/core/TaskViewText.h"
#include "center/docking/WorkspaceBar.h"
#include "center/views/DescriptionPane.h"
#include "center/views/ListFilter.h"
#include "center/views/ListModel.h"
#include "center/views/ListRoles.h"
#include "center/views/NavigationTrees.h"
#include "center/windows/Icons.h"
#include "center/windows/MainWindow.h"
#include "misckit/ErrorList.h"
#include "misckit/Keeper.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/Tables.h"
#include "tasks/schedlink/LastResults.h"
#include "tasks/schedlink/TaskSched.h"
#include "uikit/UIException.h"
#include "uikit/Ui.h"

#include <QCloseEvent>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace center {

namespace {

// The task list's manager takes a plain function for its feedback; it reaches the commands of
// the window that shows the task list.
CTaskCommands* g_feedbackTarget = nullptr;

int TaskRunFeedback(FEEDBACKITEM_* item) {
    return g_feedbackTarget && item ? g_feedbackTarget->Feedback(*item) : 1;
}

constexpr const char kAppName[] = "Quillmark";

// The stored schedule's modification time and size, to see keeper's writes.
std::int64_t ScheduleStamp(const std::string& path) {
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec)
        return 0;
    const auto size = std::filesystem::file_size(path, ec);
    return static_cast<std::int64_t>(time.time_since_epoch().count()) ^
           (ec ? 0 : static_cast<std::int64_t>(size) << 1);
}

bool IsFileTask(const CAction* task) {
    return dynamic_cast<const CFileAction*>(task) != nullptr;
}

// The id of the scheduled task a row of the list stands for; 0 for none.
std::int32_t TaskIdOf(const CMainFrame& frame, const QModelIndex& index) {
    const auto* model = qobject_cast<const CListRowsModel*>(frame.ListFilter()->sourceModel());
    const auto* rows = model ? dynamic_cast<const CScheduleRows*>(&model->Rows()) : nullptr;
    const QModelIndex source = frame.ListFilter()->mapToSource(index);
    return rows && source.isValid() && source.row() < rows->RowCount() ? rows->RowRef(source.row()) : 0;
}

int TaskCount(const CTaskManager& manager) {
    return static_cast<int>(manager.m_lstDelete.size() + manager.m_lstEncrypt.size() +
                            manager.m_lstSendMail.size());
}

} // namespace

CTaskCommands::CTaskCommands(CMainFrame& frame, CTaskManager& taskList, CTaskManager& schedule)
    : QObject(&frame), m_frame(frame), m_taskList(taskList), m_schedule(schedule),
      m_taskTree(frame.Workspace()->TaskTree()), m_schedTree(frame.Workspace()->ScheduleTree()),
      m_poll(new QTimer(this)) {
    m_previousFeedback = m_taskList.m_pfnFeedback;
    m_taskList.m_pfnFeedback = &TaskRunFeedback;
    g_feedbackTarget = this;
    m_taskTree->Fill(m_taskList);
    Register();
    // The tree's own connections to the window run first: the kind is set when these run.
    connect(m_taskTree, &CKeyManTree::selectionMoved, this, &CTaskCommands::ShowTaskList);
    connect(m_taskTree, &CKeyManTree::focusEntered, this, &CTaskCommands::ShowTaskList);
    connect(m_schedTree, &CKeyManTree::selectionMoved, this, &CTaskCommands::ShowScheduleView);
    connect(m_schedTree, &CKeyManTree::focusEntered, this, &CTaskCommands::ShowScheduleView);
    connect(frame.Workspace(), &CWorkspaceBar::tabChanged, this, [this](int tab) {
        if (tab == CWorkspaceBar::kTasks)
            ShowTaskList();
        else if (tab == CWorkspaceBar::kSchedule)
            ShowScheduleView();
        else
            UpdateTitle();
    });
    // A scheduled task's row describes the task below the list.
    connect(frame.List()->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (m_frame.Kind() == kNavSchedule)
            ShowScheduledTask();
    });
    connect(frame.List(), &QTreeView::activated, this, [this] {
        if (m_frame.Kind() == kNavSchedule)
            ShowScheduledTask();
    });
    frame.SetTaskFacts([this](CommandState& state) { AddFacts(state); });
    frame.installEventFilter(this);
    m_schedulePath = tasksched::GetSchedulePath();
    ReloadSchedule();
    connect(m_poll, &QTimer::timeout, this, &CTaskCommands::PollSchedule);
    m_poll->start(1000);
}

CTaskCommands::~CTaskCommands() {
    // The tasks made here go with this object; the task list must not keep them.
    for (const auto& task : m_ownedTasks) {
        for (auto* list : {&m_taskList.m_lstDelete, &m_taskList.m_lstEncrypt, &m_taskList.m_lstSendMail})
            std::erase(*list, task.get());
        std::erase_if(m_taskList.m_mapFiles,
                      [&](const auto& entry) { return entry.second.owner == task.get(); });
    }
    m_frame.SetTaskFacts(nullptr);
    if (g_feedbackTarget == this)
        g_feedbackTarget = nullptr;
    m_taskList.m_pfnFeedback = m_previousFeedback;
}

void CTaskCommands::Register() {
    const std::pair<Command, void (CTaskCommands::*)()> commands[] = {
        {Command::NewTaskList, &CTaskCommands::NewList},
        {Command::CloseTaskList, &CTaskCommands::NewList},
        {Command::OpenTaskList, &CTaskCommands::OpenList},
        {Command::CreateTask, &CTaskCommands::CreateTask},
        {Command::DeleteTask, &CTaskCommands::DeleteTask},
        {Command::TaskProperties, &CTaskCommands::TaskProperties},
        {Command::ScheduleTask, &CTaskCommands::ScheduleTask},
        {Command::ListFilesForTask, &CTaskCommands::ListFilesForTask},
        {Command::PerformTasks, &CTaskCommands::PerformTasks},
        {Command::PerformSelectedTask, &CTaskCommands::PerformSelectedTask},
        {Command::ClearFileList, &CTaskCommands::ClearFileList},
        {Command::CreateScheduledTask, &CTaskCommands::CreateScheduledTask},
        {Command::DeleteScheduledTask, &CTaskCommands::DeleteScheduledTask},
        {Command::ClearTaskList, &CTaskCommands::ClearSchedule},
        {Command::RunTask, &CTaskCommands::RunScheduledTask},
        {Command::ScheduledTaskProperties, &CTaskCommands::ScheduledTaskProperties},
    };
    for (const auto& [command, member] : commands)
        m_frame.SetCommandHandler(command, [this, member = member] { (this->*member)(); });
    m_frame.SetCommandHandler(Command::SaveTaskList, [this] { SaveList(false); });
    m_frame.SetCommandHandler(Command::SaveTaskListAs, [this] { SaveList(true); });
    m_frame.SetCommandHandler(Command::StartScheduler, [this] { StartStopScheduler(true); });
    m_frame.SetCommandHandler(Command::StopScheduler, [this] { StartStopScheduler(false); });
    m_frame.SetCommandHandler(Command::ToggleScheduler,
                              [this] { StartStopScheduler(misckit::IsSchedulerRunning() == 0); });
    // The task list's whole-list listing has no action of its own; it stays enabled as designed.
    m_frame.SetCommandHandler(Command::ListFilesForTaskList, [] {});
}

// ---- state ---------------------------------------------------------------------------------------

void CTaskCommands::AddFacts(CommandState& state) const {
    const CAction* selected = m_taskTree->SelectedTask();
    state.taskSelected = selected != nullptr;
    state.fileTaskSelected = IsFileTask(selected);
    state.taskFilesListed = !m_taskList.m_mapFiles.empty();
    state.tasks = TaskCount(m_taskList);
    state.fileTasks = static_cast<int>(m_taskList.m_lstDelete.size() + m_taskList.m_lstEncrypt.size());
    state.scheduledTaskSelected = state.kind == kNavSchedule && SelectedScheduledTask() != nullptr;
    // Asked only where it shows: it is a question to another process.
    if (m_frame.Workspace()->CurrentTab() == CWorkspaceBar::kSchedule)
        state.schedulerRunning = misckit::IsSchedulerRunning() != 0;
}

void CTaskCommands::UpdateTitle() {
    switch (m_frame.Workspace()->CurrentTab()) {
    case CWorkspaceBar::kTasks:
        m_frame.setWindowTitle(m_taskList.GetFilePath().empty()
                                   ? QStringLiteral("Untitled")
                                   : QString::fromStdString(m_taskList.GetFilePath()));
        break;
    case CWorkspaceBar::kSchedule:
        m_frame.setWindowTitle(QStringLiteral("Task Schedule"));
        break;
    default:
        m_frame.setWindowTitle(QStringLiteral("Quillmark Control Center"));
        break;
    }
}

void CTaskCommands::SetModified(bool modified) {
    m_modified = modified;
}

void CTaskCommands::ShowTaskList() {
    if (m_frame.Workspace()->CurrentTab() != CWorkspaceBar::kTasks)
        return;
    UpdateTitle();
    m_frame.Description()->ShowLog(m_log);
    m_frame.UpdateCommands();
}

void CTaskCommands::ShowScheduleView() {
    if (m_frame.Workspace()->CurrentTab() != CWorkspaceBar::kSchedule)
        return;
    UpdateTitle();
    m_schedTree->SetCounts(m_schedule);
    UpdateSchedulerButton();
    m_frame.UpdateCommands();
}

void CTaskCommands::RequireTaskView() const {
    if (m_frame.Kind() != kNavTaskList)
        throw CUIException(0, "Wrong current view", "");
}

void CTaskCommands::AddLog(const std::string& line) {
    m_log.push_back(line);
    if (m_frame.Kind() == kNavTaskList)
        m_frame.Description()->AddLogLine(line);
}

int CTaskCommands::Feedback(const FEEDBACKITEM_& item) {
    const FeedbackLines feedback = DescribeFeedback(item);
    for (const std::string& line : feedback.lines)
        AddLog(line);
    if (!feedback.error)
        return 1;
    return uikit::MessageBox(feedback.question, kAppName, uikit::Buttons::YesNo, uikit::Icon::Warning) ==
                   uikit::Answer::No
               ? 0
               : 1;
}

bool CTaskCommands::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_frame && event->type() == QEvent::Close && !MaySetListAside()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// ---- the task list ------------------------------------------------------------------------------

bool CTaskCommands::MaySetListAside() {
    if (!m_modified)
        return true;
    switch (
        uikit::MessageBox("Save changes?", kAppName, uikit::Buttons::YesNoCancel, uikit::Icon::Question)) {
    case uikit::Answer::Yes:
        if (m_taskList.SaveSchedule(0) != 1)
            return false;
        SetModified(false);
        return true;
    case uikit::Answer::No:
        return true;
    default:
        return false;
    }
}

void CTaskCommands::OpenAtStart(const std::string& path) {
    tasksched::gl_sLastError.clear();
    if (!m_taskList.LoadSchedule(path)) {
        uikit::MessageBox("Cannot open the task list " + path + ":\n" + tasksched::gl_sLastError, kAppName,
                          uikit::Buttons::OK, uikit::Icon::Error);
        m_taskList.Reset();
    }
    m_taskTree->Fill(m_taskList);
    SetModified(false);
    std::error_code ec;
    if (!m_taskList.GetFilePath().empty() && std::filesystem::exists(m_taskList.GetFilePath(), ec))
        m_frame.Workspace()->SetCurrentTab(CWorkspaceBar::kTasks);
    UpdateTitle();
}

void CTaskCommands::NewList() {
    if (!MaySetListAside())
        return;
    m_taskList.Reset();
    m_taskTree->Fill(m_taskList);
    SetModified(false);
    UpdateTitle();
    m_frame.FillList();
}

void CTaskCommands::OpenList() {
    if (!MaySetListAside())
        return;
    tasksched::gl_sLastError.clear();
    const std::string before = m_taskList.GetFilePath();
    const int opened = m_taskList.OpenSchedule();
    if (!opened && tasksched::gl_sLastError.empty() && m_taskList.GetFilePath() == before)
        return; // the chooser was cancelled; the list is as it was
    if (!opened) {
        uikit::MessageBox("Cannot open the task list " + m_taskList.GetFilePath() + ":\n" +
                              tasksched::gl_sLastError,
                          kAppName, uikit::Buttons::OK, uikit::Icon::Error);
        m_taskList.Reset();
    }
    m_taskTree->Fill(m_taskList);
    SetModified(false);
    UpdateTitle();
    m_frame.FillList();
}

void CTaskCommands::SaveList(bool choose) {
    const int saved = choose ? m_taskList.SaveScheduleAs() : m_taskList.SaveSchedule(0);
    if (saved == 1)
        SetModified(false);
    UpdateTitle();
}

void CTaskCommands::CreateTask() {
    CAction* task = m_taskList.NewTaskWiz(0);
    if (!task)
        return;
    m_ownedTasks.emplace_back(task);
    m_taskTree->AddTask(task);
    m_taskTree->SelectTask(task);
    SetModified(true);
}

void CTaskCommands::DeleteTask() {
    if (m_frame.State().focus == Pane::List && m_frame.Kind() == kNavTaskList) {
        RemoveSelectedFiles();
        return;
    }
    if (TaskCount(m_taskList) == 0) {
        uikit::MessageBox("There are no tasks to delete.", "No task selected", uikit::Buttons::OK,
                          uikit::Icon::Information);
        return;
    }
    CAction* task = m_taskTree->SelectedTask();
    if (!task) {
        uikit::MessageBox("Select the task you want to delete.", "No task selected", uikit::Buttons::OK,
                          uikit::Icon::Information);
        return;
    }
    if (uikit::MessageBox("Are you sure you want to delete the selected task?", "Confirm Task Delete",
                          uikit::Buttons::YesNo, uikit::Icon::Question) != uikit::Answer::Yes)
        return;
    // The task's files go with it: a run would otherwise process them for a task that is gone.
    std::erase_if(m_taskList.m_mapFiles, [task](const auto& entry) { return entry.second.owner == task; });
    for (auto* list : {&m_taskList.m_lstDelete, &m_taskList.m_lstEncrypt, &m_taskList.m_lstSendMail})
        std::erase(*list, task);
    m_taskTree->RemoveTask(task);
    SetModified(true);
    m_frame.FillList();
}

void CTaskCommands::RemoveSelectedFiles() {
    QModelIndexList rows = m_frame.List()->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        uikit::MessageBox("Select files you want to delete.", "No files selected");
        return;
    }
    std::vector<std::string> paths;
    for (const QModelIndex& row : rows) {
        const QString folder = row.sibling(row.row(), 4).data().toString();
        const QString name = row.sibling(row.row(), 0).data().toString();
        paths.push_back((folder.endsWith('/') ? folder : folder + '/').toStdString() + name.toStdString());
    }
    for (const std::string& path : paths)
        m_taskList.m_mapFiles.erase(path);
    m_frame.FillList();
}

void CTaskCommands::TaskProperties() {
    CAction* task = m_taskTree->SelectedTask();
    if (!task) {
        uikit::MessageBox("Select task.", "Task not selected", uikit::Buttons::OK, uikit::Icon::Information);
        return;
    }
    // The grid stores edits as they are made, so even Cancel may leave the task changed.
    m_taskList.ShowCurrentItemDlg(task);
    // A new Location or sender moves the task to another branch.
    m_taskTree->RemoveTask(task);
    m_taskTree->AddTask(task);
    m_taskTree->SelectTask(task);
    SetModified(true);
}

void CTaskCommands::ScheduleTask() {
    CAction* task = m_taskTree->SelectedTask();
    if (!task) {
        uikit::MessageBox("Select task.", "Task not selected", uikit::Buttons::OK, uikit::Icon::Information);
        return;
    }
    if (m_taskList.ShowScheduleTaskDlg(task) != 1)
        return;
    SetModified(true);
    // The schedule gives its copy an id of its own; the task list's task keeps the one it has.
    std::unique_ptr<CAction> copy(tasksched::CopyTask(task));
    if (!copy)
        throw CUIException(1, "", "");
    tasksched::AddTaskToSchedule(copy.get());
    ReloadSchedule();
    m_schedule.GetNearestScheduledTask(0);
}

void CTaskCommands::ListFilesForTask() {
    RequireTaskView();
    auto* task = dynamic_cast<CFileAction*>(m_taskTree->SelectedTask());
    if (!task)
        return;
    uikit::WaitCursor wait;
    m_taskList.BuildTaskList(task, 1);
    m_frame.FillList();
}

void CTaskCommands::PerformTasks() {
    RequireTaskView();
    if (TaskCount(m_taskList) == 0)
        return;
    m_taskList.Execute(0);
    m_frame.FillList();
}

void CTaskCommands::PerformSelectedTask() {
    RequireTaskView();
    CAction* task = m_taskTree->SelectedTask();
    if (!task)
        return;
    misckit::vsErrorItems.clear();
    m_taskList.ExecuteTask(task, nullptr);
    if (!misckit::vsErrorItems.empty())
        misckit::ShowErrorList(misckit::vsErrorItems, "Error with the following items:");
    m_frame.FillList();
}

void CTaskCommands::ClearFileList() {
    m_taskList.m_mapFiles.clear();
    m_frame.FillList();
    AddLog("List cleared.");
    m_frame.statusBar()->showMessage(QStringLiteral("List cleared."));
}

// ---- the schedule ------------------------------------------------------------------------------

void CTaskCommands::ReloadSchedule() {
    std::string error;
    if (m_schedulePath.empty())
        m_schedulePath = tasksched::GetSchedulePath();
    m_scheduleStamp = ScheduleStamp(m_schedulePath);
    if (!tasksched::ReadSchedule(m_schedulePath, m_schedule, error))
        tasksched::gl_sLastError = error;
    m_schedule.GetNearestScheduledTask(0);
    m_schedTree->SetCounts(m_schedule);
}

void CTaskCommands::PollSchedule() {
    const bool changed = tasksched::GetScheduleChanged() != 0;
    if (!changed && ScheduleStamp(m_schedulePath) == m_scheduleStamp) {
        if (m_frame.Workspace()->CurrentTab() == CWorkspaceBar::kSchedule)
            UpdateSchedulerButton();
        return;
    }
    const CAction* selected = SelectedScheduledTask();
    RefillSchedule(selected ? selected->m_nId : 0);
}

void CTaskCommands::RefillSchedule(std::int32_t selectId) {
    ReloadSchedule();
    if (m_frame.Kind() != kNavSchedule)
        return;
    m_frame.FillList();
    if (selectId != 0) {
        for (int r = 0; r < m_frame.ListFilter()->rowCount(); ++r) {
            const QModelIndex row = m_frame.ListFilter()->index(r, 0);
            if (TaskIdOf(m_frame, row) == selectId) {
                m_frame.List()->setCurrentIndex(row);
                m_frame.List()->scrollTo(row);
                break;
            }
        }
    }
    ShowScheduledTask();
    UpdateSchedulerButton();
}

CAction* CTaskCommands::SelectedScheduledTask() const {
    if (m_frame.Kind() != kNavSchedule)
        return nullptr;
    const QModelIndex current = m_frame.List()->currentIndex();
    if (!current.isValid() ||
        !m_frame.List()->selectionModel()->isRowSelected(current.row(), current.parent()))
        return nullptr;
    const std::int32_t id = TaskIdOf(m_frame, current);
    return id > 0 ? m_schedule.GetTaskById(static_cast<unsigned>(id)) : nullptr;
}

void CTaskCommands::ShowScheduledTask() {
    CAction* task = SelectedScheduledTask();
    if (!task) {
        m_frame.Description()->Reset();
        return;
    }
    tasksched::TaskResults results;
    std::string error;
    tasksched::ReadLastResults(tasksched::LastResultsPath(), results, error);
    const auto found = results.find(static_cast<std::uint32_t>(task->m_nId));
    m_frame.Description()->ShowProperties(
        ScheduledTaskRows(*task, found == results.end() ? nullptr : &found->second));
}

void CTaskCommands::UpdateSchedulerButton() {
    const bool running = misckit::IsSchedulerRunning() != 0;
    for (QToolBar* bar : m_frame.findChildren<QToolBar*>(QStringLiteral("ScheduleBar")))
        for (QAction* action : bar->actions())
            if (action->statusTip() == QLatin1String("Starts or stops task scheduler"))
                action->setIcon(CenterIcon(running ? IconId::StopScheduler : IconId::StartScheduler));
    m_frame.UpdateCommands();
}

void CTaskCommands::StartStopScheduler(bool start) {
    if (start)
        tasksched::StartScheduler();
    else
        tasksched::StopScheduler();
    UpdateSchedulerButton();
}

void CTaskCommands::CreateScheduledTask() {
    std::unique_ptr<CAction> task(m_schedule.NewTaskWiz(1));
    if (!task)
        return;
    // The stored schedule gets a copy; the one in memory is read from it again below.
    m_schedule.DeleteTask(static_cast<unsigned>(task->m_nId));
    if (m_schedule.ShowScheduleTaskDlg(task.get()) != 1)
        return;
    tasksched::AddTaskToSchedule(task.get());
    RefillSchedule(task->m_nId);
}

void CTaskCommands::DeleteScheduledTask() {
    CAction* task = SelectedScheduledTask();
    if (!task)
        return;
    tasksched::DeleteTaskFromSchedule(static_cast<std::uint32_t>(task->m_nId));
    RefillSchedule(0);
}

void CTaskCommands::ClearSchedule() {
    if (m_schedTree->AllSelected()) {
        if (uikit::MessageBox("Do you want to delete all scheduled tasks and stop scheduler?", kAppName,
                              uikit::Buttons::YesNo, uikit::Icon::Question) != uikit::Answer::Yes)
            return;
        m_schedule.Reset();
        tasksched::DeleteAllTasksFromSchedule();
    } else {
        if (uikit::MessageBox("Do you want to delete all scheduled tasks in this time frame?", kAppName,
                              uikit::Buttons::YesNo, uikit::Icon::Question) != uikit::Answer::Yes)
            return;
        const std::string frame = m_schedTree->SelectedFilter().toStdString();
        std::vector<std::uint32_t> ids;
        for (const auto* list :
             {&m_schedule.m_lstDelete, &m_schedule.m_lstEncrypt, &m_schedule.m_lstSendMail})
            for (const CAction* task : *list)
                if (task && task->m_nTimeFrame >= 0 && task->m_nTimeFrame < 7 &&
                    frame == timeframe[task->m_nTimeFrame])
                    ids.push_back(static_cast<std::uint32_t>(task->m_nId));
        for (std::uint32_t id : ids)
            tasksched::DeleteTaskFromSchedule(id);
    }
    RefillSchedule(0);
}

void CTaskCommands::RunScheduledTask() {
    CAction* task = SelectedScheduledTask();
    if (!task)
        return;
    std::unique_ptr<CAction> copy(tasksched::CopyTask(task));
    if (!copy)
        throw CUIException(1, "", "");
    CTaskManager run(&TaskRunFeedback);
    run.AddTask(copy.get());
    if (auto* file = dynamic_cast<CFileAction*>(copy.get()))
        run.ListFiles(file, nullptr);
    run.Execute(0);
    RefillSchedule(task->m_nId);
}

void CTaskCommands::ScheduledTaskProperties() {
    CAction* task = SelectedScheduledTask();
    if (!task)
        return;
    const std::int32_t id = task->m_nId;
    if (m_schedule.ShowScheduleTaskDlg(task) == 1)
        tasksched::UpdateTaskInSchedule(task);
    RefillSchedule(id);
}

} // namespace center
