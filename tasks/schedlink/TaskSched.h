#pragma once

#include "misckit/KeeperProtocol.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class CAction;
class CTaskManager;
struct SESSIONKEY_;

// The link between the task library and keeper, the background scheduler host: the stored
// schedule, the schedule-changed flag and the session key store that keeper holds in shared
// memory, and the commands that keeper answers.
namespace tasksched {

// gl_sLastError (declared with the task manager) holds the message of the last failure.

// The names of the objects keeper owns and the library only opens.
inline constexpr const char* kScheduleRunningName = keeperproto::kScheduleRunningName;
inline constexpr const char* kSessionKeyStoreName = "qmseskey";
inline constexpr const char* kSessionKeyInitDoneName = "qmseskeyinitdone";
inline constexpr std::size_t kScheduleRunningSize = keeperproto::kScheduleRunningSize;
inline constexpr std::size_t kSessionKeyStoreSize = 4096;

// The stored schedule's path (the schedule file setting), created empty when it is missing.
void GetSchedulePath(char* buffer, int size);
std::string GetSchedulePath();

int GetScheduleChanged();
void SetScheduleChanged();

int SetSessionKey(const SESSIONKEY_* key);
void ClearSessionKey();

// Stores the task in the stored schedule under a fresh id (written into the caller's task,
// which the caller keeps) and tells keeper. Throws what the task manager throws.
void AddTaskToSchedule(CAction* task);
// Throws CUIException "Cannot find the task with the specified ID." for an unknown id.
void DeleteTaskFromSchedule(std::uint32_t id);
// Writes the edited properties and rule of a stored task (found by its id) into the stored
// schedule, under the schedule's lock, keeping the last run keeper recorded meanwhile, and tells
// keeper. Throws CUIException "Cannot find the task with the specified ID." for an unknown id.
void UpdateTaskInSchedule(const CAction* edited);
void DeleteAllTasksFromSchedule();
void StartScheduler();
void StopScheduler();
void NotifySessionManager(std::uint32_t code);

// Writes (on) or removes (off) the entry that starts keeper with "startup" when the user logs
// in, and verifies it; a failure is shown to the user.
void ApplySchedulerStartup(bool on);

// One load-change-save of the stored schedule under its exclusive lock (a lock file beside it),
// so that the control center and keeper never lose each other's edits. `change` gets the
// loaded schedule and returns true to have it saved (atomically). False with `error` when the
// file cannot be locked, read or written; a damaged file is not overwritten.
bool EditSchedule(const std::string& path, const std::function<bool(CTaskManager&)>& change,
                  std::string& error);
// Reads the stored schedule under the same lock.
bool ReadSchedule(const std::string& path, CTaskManager& manager, std::string& error);

std::size_t TaskCount(const CTaskManager& manager);
// A new object of the same kind with the same fields; null for an unknown kind.
CAction* CopyTask(const CAction* task);

} // namespace tasksched
