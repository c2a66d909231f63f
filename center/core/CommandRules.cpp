#include "center/core/CommandRules.h"

namespace center {

namespace {

bool IsFileKind(NavKind kind) {
    return kind == kNavAllFiles || kind == kNavFolderFiles;
}

// The view that acts when the tree does not have the focus: the list, or the description pane.
bool ActiveViewHasSelection(const CommandState& s) {
    if (s.focus == Pane::Description)
        return s.descriptionHasSelection;
    return s.listHasSelection;
}

} // namespace

bool IsCommandEnabled(Command command, const CommandState& s) {
    const bool treeFocused = s.focus == Pane::Tree;
    switch (command) {
    case Command::DeleteFiles:
    case Command::DeleteKey:
        return !treeFocused && ActiveViewHasSelection(s);
    case Command::AddFiles:
    case Command::AddFolder:
    case Command::OpenInBoxview:
        return !treeFocused && IsFileKind(s.kind) && ActiveViewHasSelection(s);
    case Command::SelectOutputFolder:
    case Command::DecryptEntire:
    case Command::DecryptSelected:
    case Command::DecryptAndRemove:
        return ShowsOutputFolder(s);
    case Command::FindKey:
    case Command::SynchronizeKeys:
        return s.kind != kNavPrivateKeys;
    case Command::PublishKey:
    case Command::RevokeKey:
        return s.kind != kNavPrivateKeys && !treeFocused && ActiveViewHasSelection(s);
    case Command::DeleteTask:
        return s.kind == kNavTaskList &&
               ((treeFocused && s.taskSelected) || (s.focus == Pane::List && s.taskFilesListed));
    case Command::TaskProperties:
    case Command::ScheduleTask:
        return s.kind == kNavTaskList && treeFocused && s.taskSelected;
    case Command::ListFilesForTaskList:
        return s.fileTasks > 0;
    case Command::ListFilesForTask:
        return s.kind == kNavTaskList && treeFocused && s.fileTaskSelected;
    case Command::PerformTasks:
        return s.tasks > 0;
    case Command::PerformSelectedTask:
        return s.taskSelected;
    case Command::ClearFileList:
        return s.taskFilesListed;
    case Command::StartScheduler:
        return !s.schedulerRunning;
    case Command::StopScheduler:
        return s.schedulerRunning;
    case Command::DeleteScheduledTask:
    case Command::ScheduledTaskProperties:
    case Command::RunTask:
        return s.kind == kNavSchedule && s.focus == Pane::List && s.scheduledTaskSelected;
    case Command::ClearTaskList:
        return s.listRows > 0;
    default:
        return true;
    }
}

bool ShowsOutputFolder(const CommandState& s) {
    return IsFileKind(s.kind) && s.focus == Pane::Description && s.descriptionHasSelection;
}

} // namespace center
