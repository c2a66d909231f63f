#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CAction;

namespace keeper {

// The first run time of a timed task that is not in the past and not already done: a run in the
// current second counts as due, one that was recorded (its last run) is not due again. 0: none.
std::int64_t NextDue(CAction* task, std::int64_t now);

// keeper's scheduling loop: which stored task is due next, when to look at the stored schedule
// again, and running what is due. It reads the time from the suite's clock (platform::NowMs) and
// the stored schedule from the file `schedulePath` names at each look, so tests move the clock
// and call Step() without waiting. A task is run through `run`, which gets a copy.
//
// A run whose time has come is made once, however late: after a suspend or a clock set forward
// the task runs when the loop looks again, not once per missed time. Before it runs, the fresh
// schedule must still hold the task with that time, so a task removed or moved meanwhile is not
// run. A clock set back, a schedule that changed, and every minute lead to a new plan. Tasks that
// run together (the start-up pass, timed tasks due in the same second) form one run, so that what an encrypt
// task of it failed to encrypt is kept from the delete tasks of the same run.
class Scheduler {
public:
    // Runs task copies as one run; true when it ran without errors. Their ids are the stored tasks'.
    using Runner = std::function<bool(const std::vector<CAction*>& tasks)>;

    Scheduler(std::function<std::string()> schedulePath, Runner run);

    void SetOn(bool on);
    bool IsOn() const { return m_on; }
    // The stored schedule changed: plan anew at the next step.
    void ScheduleChanged() { m_replan = true; }

    // Does what is due now: runs the planned task when its time has come, plans anew when asked,
    // after a minute or when the clock went back. Returns how many milliseconds the caller may
    // wait (serving commands) before the next step: 0 after a run, at most a minute.
    int Step();

    // Runs the start-up tasks of the stored schedule once each, as at the user's login.
    void RunStartupPass();

    // The plan: the task due next and when (seconds); id 0 when none is planned.
    std::uint32_t PlannedId() const { return m_nextId; }
    std::int64_t PlannedDue() const { return m_nextDue; }

    static constexpr std::int64_t kRecheckMs = 60000;

private:
    void Plan(std::int64_t nowMs);
    void RunPlanned();
    void RunTogether(const std::vector<std::uint32_t>& ids, std::int64_t due, bool checkDue);
    void RecordRun(std::uint32_t id, std::int64_t started);

    std::function<std::string()> m_schedulePath;
    Runner m_run;
    bool m_on = false;
    bool m_replan = true;
    std::string m_path;
    std::uint32_t m_nextId = 0;
    std::vector<std::uint32_t> m_nextIds; // every task due at m_nextDue, m_nextId first
    std::int64_t m_nextDue = 0;
    std::int64_t m_lastPlanMs = 0;
    std::string m_lastLoadError;
};

} // namespace keeper
