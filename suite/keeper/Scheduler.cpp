#include "keeper/Scheduler.h"

#include "keeper/Keeper.h"
#include "platform/Clock.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"
#include "tasks/schedlink/TaskSched.h"
#include "uikit/UIException.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace keeper {
namespace {

std::string TaskLabel(const CAction* task) {
    return "task " + std::to_string(task->m_nId) + " \"" + task->m_csName + "\"";
}

template <typename F>
void ForEachTask(const CTaskManager& manager, F f) {
    for (const auto* list : {&manager.m_lstDelete, &manager.m_lstEncrypt, &manager.m_lstSendMail})
        for (CAction* task : *list)
            f(task);
}

} // namespace

// The rule search may answer a time equal to the moment it was given, so the answer is checked,
// not trusted.
std::int64_t NextDue(CAction* task, std::int64_t now) {
    const std::int64_t from = std::max(now, task->m_tLastRun + 1);
    std::int64_t after = from - 1;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::int64_t due = task->GetNextRun(after);
        if (due == 0)
            return 0;
        if (due >= from)
            return due;
        after = std::max(due + 1, from);
    }
    return 0;
}

Scheduler::Scheduler(std::function<std::string()> schedulePath, Runner run)
    : m_schedulePath(std::move(schedulePath)), m_run(std::move(run)) {}

void Scheduler::SetOn(bool on) {
    m_on = on;
    m_replan = true;
    if (!on) {
        m_nextId = 0;
        m_nextIds.clear();
    }
}

int Scheduler::Step() {
    auto due = [this] { return m_on && m_nextId != 0 && platform::NowMs() >= m_nextDue * 1000; };
    // The plan is run before it is renewed: a new plan made after its time would skip it.
    if (due()) {
        RunPlanned();
        return 0;
    }
    const std::int64_t nowMs = platform::NowMs();
    if (m_replan || nowMs - m_lastPlanMs >= kRecheckMs || nowMs < m_lastPlanMs) {
        Plan(nowMs);
        if (due()) {
            RunPlanned();
            return 0;
        }
    }
    std::int64_t waitMs = kRecheckMs - (platform::NowMs() - m_lastPlanMs);
    if (m_on && m_nextId != 0)
        waitMs = std::min(waitMs, m_nextDue * 1000 - platform::NowMs());
    return static_cast<int>(std::clamp<std::int64_t>(waitMs, 0, kRecheckMs));
}

// Plans the next run from the stored schedule as it is on disk now.
void Scheduler::Plan(std::int64_t nowMs) {
    m_replan = false;
    m_nextId = 0;
    m_nextIds.clear();
    m_lastPlanMs = nowMs;
    if (!m_on)
        return;
    m_path = m_schedulePath();
    CTaskManager manager;
    std::string error;
    if (!tasksched::ReadSchedule(m_path, manager, error)) {
        // Logged once per kind of failure, not once a minute; the next good read goes on.
        if (error != m_lastLoadError)
            Log("cannot read the schedule " + m_path + ": " + error);
        m_lastLoadError = error;
        return;
    }
    m_lastLoadError.clear();
    const std::int64_t now = nowMs / 1000;
    std::int64_t best = now + 100000000;
    ForEachTask(manager, [&](CAction* task) {
        if (task->m_nRunType == 3)
            return; // start-up tasks run only in the start-up pass
        const std::int64_t at = NextDue(task, now);
        if (at != 0 && at < best) {
            best = at;
            m_nextId = static_cast<std::uint32_t>(task->m_nId);
            m_nextDue = at;
            m_nextIds = {m_nextId};
        } else if (at != 0 && at == best && m_nextId != 0) {
            // Due in the same second: one run.
            m_nextIds.push_back(static_cast<std::uint32_t>(task->m_nId));
        }
    });
}

void Scheduler::RunPlanned() {
    const std::vector<std::uint32_t> ids = m_nextIds;
    m_nextId = 0;
    m_nextIds.clear();
    RunTogether(ids, m_nextDue, true);
    m_replan = true;
}

void Scheduler::RunStartupPass() {
    m_path = m_schedulePath();
    CTaskManager manager;
    std::string error;
    if (!tasksched::ReadSchedule(m_path, manager, error)) {
        Log("cannot read the schedule " + m_path + ": " + error);
        return;
    }
    std::vector<std::uint32_t> ids;
    const std::int64_t now = platform::Now();
    ForEachTask(manager, [&](CAction* task) {
        if (task->m_nRunType == 3 && task->GetNextRun(now) != 0)
            ids.push_back(static_cast<std::uint32_t>(task->m_nId));
    });
    RunTogether(ids, now, false);
}

// Runs the stored tasks with these ids from a fresh read of the schedule, so that an edit made
// since the plan was made (a changed rule, a removed task) is honoured.
void Scheduler::RunTogether(const std::vector<std::uint32_t>& ids, std::int64_t due, bool checkDue) {
    CTaskManager manager;
    std::string error;
    if (!tasksched::ReadSchedule(m_path, manager, error)) {
        Log("cannot read the schedule " + m_path + ": " + error);
        return;
    }
    std::vector<std::unique_ptr<CAction>> copies;
    std::vector<CAction*> tasks;
    std::vector<std::string> labels;
    std::vector<std::uint32_t> ran;
    for (const std::uint32_t id : ids) {
        CAction* stored = manager.GetTaskById(id);
        if (!stored) {
            Log("task " + std::to_string(id) + " is no longer in the schedule");
            continue;
        }
        if (checkDue && NextDue(stored, due) != due) {
            Log(TaskLabel(stored) + " is no longer due at " + platform::LocalTimeText(due) +
                "; planned anew");
            continue;
        }
        std::unique_ptr<CAction> copy(tasksched::CopyTask(stored));
        if (!copy) {
            Log(TaskLabel(stored) + " is of no known kind; skipped");
            continue;
        }
        copy->m_nId = stored->m_nId;
        labels.push_back(TaskLabel(copy.get()));
        ran.push_back(id);
        tasks.push_back(copy.get());
        copies.push_back(std::move(copy));
    }
    if (tasks.empty())
        return;
    const std::int64_t startedMs = platform::NowMs();
    std::string all;
    for (const std::string& label : labels)
        all += (all.empty() ? "" : ", ") + label;
    Log("run " + all + " due " + platform::LocalTimeText(due) + ", started " +
        std::to_string(startedMs - due * 1000) + " ms after its due second");
    bool ok = false;
    try {
        ok = m_run(tasks);
    } catch (const CUIException& e) {
        Log("error: " + e.GetReportText());
    } catch (const std::exception& e) {
        Log(std::string("error: ") + e.what());
    } catch (...) {
        Log("error: unknown failure");
    }
    // By the labels and ids read before the run: a run that failed part way may have left the
    // copies renumbered.
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        Log("end " + labels[i] + (ok ? ": done" : ": failed"));
        RecordRun(ran[i], startedMs / 1000);
    }
}

void Scheduler::RecordRun(std::uint32_t id, std::int64_t started) {
    std::string error;
    bool found = false;
    const bool saved = tasksched::EditSchedule(
        m_path,
        [&](CTaskManager& manager) {
            CAction* task = manager.GetTaskById(id);
            if (!task)
                return false;
            found = true;
            task->m_tLastRun = started;
            task->GetNextRun(started);
            return true;
        },
        error);
    if (!saved)
        Log("cannot record the run of task " + std::to_string(id) + ": " + error);
    else if (found)
        tasksched::SetScheduleChanged();
}

} // namespace keeper
