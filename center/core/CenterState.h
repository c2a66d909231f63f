#pragma once

#include "center/core/KeyManager.h"
#include "tasks/manager/TaskManager.h"

namespace center {

// The objects the control center's views, commands and windows share for the whole run: the key
// store, the task-list manager (the list the user opens, edits and saves), the schedule manager
// (the background schedule), and the shared selection (navigation kind, progress owner, the
// windows a scan may open).
class CCenterState {
public:
    CCenterState();
    ~CCenterState();
    CCenterState(const CCenterState&) = delete;
    CCenterState& operator=(const CCenterState&) = delete;

    CenterShared m_shared;
    CKeyManager m_keyManager;
    CTaskManager m_taskList;
    CTaskManager m_schedule;
};

// The program's one state, made on first use (after the settings' environment is set up).
CCenterState& TheCenter();

} // namespace center
