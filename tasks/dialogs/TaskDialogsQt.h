#pragma once

#include "tasks/manager/TaskWindows.h"

namespace jobkit {

// The task dialogs as Qt windows, parented to the program's active window: the new-task wizard,
// "Task properties" and "Schedule Task".
class QtTaskDialogs : public ITaskDialogs {
public:
    CAction* RunNewTaskWizard(std::uint32_t value, int& kind) override;
    int ShowTaskProperties(CAction* task) override;
    int ShowScheduleEditor(CAction* task) override;
};

} // namespace jobkit
