// keeper's scheduling loop on a clock the test moves: no test here waits for real time. The
// stored schedule is a real file; only the running of a task is replaced, by a record of what
// ran when.
#include "keeper/Scheduler.h"
#include "keeper/Keeper.h"

#include "TestSupport.h"
#include "platform/Clock.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/schedlink/TaskSched.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t kT0 = 1700000000; // a Tuesday, 22:13:20 UTC

struct TaskRun {
    std::uint32_t id;
    std::int64_t at;
    bool operator==(const TaskRun&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TaskRun& r) {
    return out << "task " << r.id << " at T0+" << r.at - kT0;
}

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_now = kT0;
        platform::SetClockForTesting([this] { return m_now; });
        m_path = qmtest::MakeTempDir("sched") + "/schedule.qms";
        std::remove(keeper::LogPath().c_str());
    }
    void TearDown() override { platform::ResetClock(); }

    // A task that runs once at `at`.
    std::unique_ptr<CActionDeleteFile> Once(std::int64_t at) {
        auto task = std::make_unique<CActionDeleteFile>(qmtest::TestRoot() + "/nothing-here");
        task->m_csName = "once";
        task->m_nRunType = 2;
        task->m_nTimeFrame = 5;
        task->m_tStart = at;
        return task;
    }
    // A task that runs every `minutes` minutes from `start`, on every day and hour.
    std::unique_ptr<CActionDeleteFile> Every(int minutes, std::int64_t start) {
        auto task = Once(start);
        task->m_csName = "every";
        task->m_nRunType = 1;
        task->m_nTimeFrame = 0;
        task->m_nInterval = minutes;
        task->m_vDays = {1, 2, 3, 4, 5, 6, 7};
        for (int h = 0; h < 24; ++h)
            task->m_vHours.push_back(h);
        return task;
    }
    // Stores these tasks as the schedule, with the ids 1, 2, ... in the order given.
    void Store(const std::vector<CAction*>& tasks) {
        CTaskManager manager;
        for (CAction* t : tasks)
            manager.AddTask(t);
        std::string error;
        ASSERT_TRUE(manager.WriteScheduleFile(m_path, error)) << error;
    }
    std::unique_ptr<keeper::Scheduler> Make() {
        auto s = std::make_unique<keeper::Scheduler>(
            [this] { return m_path; },
            [this](const std::vector<CAction*>& tasks) {
                m_groups.push_back(tasks.size());
                for (CAction* task : tasks)
                    m_runs.push_back({static_cast<std::uint32_t>(task->m_nId), platform::Now()});
                if (m_throw)
                    throw std::runtime_error("the disk went away");
                return true;
            });
        s->SetOn(true);
        return s;
    }
    // Steps the loop as keeper would, letting the waits pass on the test clock, until `until`.
    void RunUntil(keeper::Scheduler& s, std::int64_t until) {
        for (int steps = 0; steps < 100000; ++steps) {
            const int waitMs = s.Step();
            if (m_now >= until)
                return;
            m_now = std::min(until, m_now + (waitMs + 999) / 1000);
        }
        FAIL() << "the loop does not advance";
    }
    std::int64_t LastRunOf(std::uint32_t id) {
        CTaskManager manager;
        std::string error;
        EXPECT_TRUE(tasksched::ReadSchedule(m_path, manager, error)) << error;
        const CAction* task = manager.GetTaskById(id);
        return task ? task->m_tLastRun : -1;
    }
    std::string Log() { return qmtest::Exists(keeper::LogPath()) ? qmtest::ReadFile(keeper::LogPath()) : ""; }

    std::int64_t m_now = kT0;
    std::string m_path;
    std::vector<TaskRun> m_runs;
    std::vector<std::size_t> m_groups; // the number of tasks of each run
    bool m_throw = false;
};

TEST_F(SchedulerTest, TasksRunAtTheirTimesInOrderAndTheRunsAreRecorded) {
    auto late = Once(kT0 + 100), early = Once(kT0 + 50), every = Every(1, kT0 - 30);
    Store({late.get(), early.get(), every.get()});
    auto s = Make();
    EXPECT_EQ(s->Step(), 30000) << "the first minutely run is due in 30 s";
    EXPECT_EQ(s->PlannedId(), 3u);
    RunUntil(*s, kT0 + 300);
    const std::vector<TaskRun> expected = {{3, kT0 + 30},  {2, kT0 + 50},  {3, kT0 + 90}, {1, kT0 + 100},
                                           {3, kT0 + 150}, {3, kT0 + 210}, {3, kT0 + 270}};
    EXPECT_EQ(m_runs, expected);
    EXPECT_EQ(LastRunOf(1), kT0 + 100);
    EXPECT_EQ(LastRunOf(2), kT0 + 50);
    EXPECT_EQ(LastRunOf(3), kT0 + 270);
    EXPECT_NE(Log().find("run task 2 \"once\" due " + platform::LocalTimeText(kT0 + 50) + ", started 0 ms"),
              std::string::npos)
        << Log();
}

TEST_F(SchedulerTest, WaitsEndAtTheDueSecondAndAtTheMinutesRecheck) {
    auto task = Once(kT0 + 3600);
    Store({task.get()});
    auto s = Make();
    EXPECT_EQ(s->Step(), 60000) << "a run an hour away: look again in a minute";
    m_now += 40;
    EXPECT_EQ(s->Step(), 20000);
    m_now = kT0 + 3600 - 5;
    s->ScheduleChanged();
    EXPECT_EQ(s->Step(), 5000);
    EXPECT_TRUE(m_runs.empty());
    m_now += 5;
    EXPECT_EQ(s->Step(), 0) << "ran; the loop comes back at once";
    EXPECT_EQ(m_runs, (std::vector<TaskRun>{{1, kT0 + 3600}}));
}

TEST_F(SchedulerTest, AWakeUpThatComesLateStillRunsTheTask) {
    // Planned at T0 for T0+60, which is also when the minute's new plan is due.
    auto task = Once(kT0 + 60);
    Store({task.get()});
    auto s = Make();
    EXPECT_EQ(s->Step(), 60000);
    m_now = kT0 + 62; // the wait ended two seconds late
    s->Step();
    EXPECT_EQ(m_runs, (std::vector<TaskRun>{{1, kT0 + 62}}));
}

TEST_F(SchedulerTest, ASuspendOrAClockSetForwardRunsAMissedTaskOnceAndGoesOn) {
    auto task = Every(10, kT0 + 600);
    Store({task.get()});
    auto s = Make();
    s->Step();
    EXPECT_EQ(s->PlannedDue(), kT0 + 600);
    m_now = kT0 + 5 * 3600 + 7; // five hours asleep: thirty runs missed
    s->Step();
    EXPECT_EQ(m_runs, (std::vector<TaskRun>{{1, kT0 + 5 * 3600 + 7}})) << "one run for all that were missed";
    s->Step();
    EXPECT_EQ(s->PlannedDue(), kT0 + 5 * 3600 + 600) << "the next run on the rule's grid";
    RunUntil(*s, kT0 + 5 * 3600 + 1200);
    EXPECT_EQ(m_runs.size(), 3u);
    EXPECT_EQ(m_runs.back().at, kT0 + 5 * 3600 + 1200);
}

TEST_F(SchedulerTest, AClockSetBackPlansAnewAndRepeatsNoRun) {
    auto every = Every(1, kT0 + 60), later = Once(kT0 + 900);
    Store({every.get(), later.get()});
    auto s = Make();
    RunUntil(*s, kT0 + 120);
    ASSERT_EQ(m_runs, (std::vector<TaskRun>{{1, kT0 + 60}, {1, kT0 + 120}}));
    m_now = kT0 + 30; // back by 90 s
    RunUntil(*s, kT0 + 150);
    EXPECT_EQ(m_runs.size(), 2u) << "the runs at T0+60 and T0+120 were made already";
    RunUntil(*s, kT0 + 180);
    EXPECT_EQ(m_runs.back(), (TaskRun{1, kT0 + 180}));
    // Back by a day: the once task keeps its time, the minutely one waits for its next new time.
    m_now = kT0 + 180 - 86400;
    const int waitMs = s->Step();
    EXPECT_GT(waitMs, 0);
    EXPECT_LE(waitMs, 60000);
    RunUntil(*s, kT0 - 86400 + 3600);
    EXPECT_EQ(m_runs.size(), 3u);
    // Forward again: the minutely task's missed run is made once, then the once task's.
    m_now = kT0 + 900;
    for (int i = 0; i < 3; ++i)
        s->Step();
    EXPECT_EQ(std::vector<TaskRun>(m_runs.begin() + 3, m_runs.end()),
              (std::vector<TaskRun>{{1, kT0 + 900}, {2, kT0 + 900}}));
}

TEST_F(SchedulerTest, AChangedScheduleIsPlannedAnewAndItsRemovedOrMovedTasksDoNotRun) {
    auto first = Once(kT0 + 30);
    Store({first.get()});
    auto s = Make();
    s->Step();
    ASSERT_EQ(s->PlannedId(), 1u);

    // Announced: a new task that comes first.
    auto moved = Once(kT0 + 300), added = Once(kT0 + 20);
    Store({moved.get(), added.get()});
    m_now = kT0 + 10;
    s->ScheduleChanged();
    s->Step();
    EXPECT_EQ(s->PlannedId(), 2u);
    EXPECT_EQ(s->PlannedDue(), kT0 + 20);

    // Not announced: the planned task was moved, then removed. Its old time comes and nothing runs.
    auto movedAgain = Once(kT0 + 300), addedLater = Once(kT0 + 400);
    Store({movedAgain.get(), addedLater.get()});
    m_now = kT0 + 20;
    s->Step();
    EXPECT_TRUE(m_runs.empty());
    EXPECT_NE(Log().find("task 2 \"once\" is no longer due"), std::string::npos) << Log();
    s->Step();
    EXPECT_EQ(s->PlannedId(), 1u);
    Store({});
    m_now = kT0 + 300;
    s->Step();
    EXPECT_TRUE(m_runs.empty());
    EXPECT_NE(Log().find("task 1 is no longer in the schedule"), std::string::npos) << Log();
}

TEST_F(SchedulerTest, StoppedItRunsNothingAndTheStartupPassRunsOnlyStartupTasks) {
    auto atLogin = Once(0), timed = Once(kT0 + 10);
    atLogin->m_nRunType = 3;
    atLogin->m_nTimeFrame = 6;
    Store({atLogin.get(), timed.get()});
    auto s = Make();
    s->SetOn(false);
    EXPECT_EQ(s->Step(), 60000);
    RunUntil(*s, kT0 + 100);
    EXPECT_TRUE(m_runs.empty());
    s->RunStartupPass();
    EXPECT_EQ(m_runs, (std::vector<TaskRun>{{1, kT0 + 100}}));
    s->SetOn(true);
    RunUntil(*s, kT0 + 200);
    EXPECT_EQ(m_runs.size(), 1u) << "the start-up task is not timed, and the once task's time has passed";
}

TEST_F(SchedulerTest, ATaskThatFailsIsLoggedRecordedAndNotRepeated) {
    auto task = Every(1, kT0 + 60);
    Store({task.get()});
    auto s = Make();
    m_throw = true;
    RunUntil(*s, kT0 + 60);
    EXPECT_EQ(m_runs.size(), 1u);
    EXPECT_EQ(LastRunOf(1), kT0 + 60);
    EXPECT_NE(Log().find("error: the disk went away"), std::string::npos) << Log();
    EXPECT_NE(Log().find("end task 1 \"every\": failed"), std::string::npos) << Log();
    m_throw = false;
    RunUntil(*s, kT0 + 119);
    EXPECT_EQ(m_runs.size(), 1u);
}

// A FIFO where the schedule belongs would hold a reader until someone writes to it. The watchdog
// opens it for writing now and then, so that code that waits fails this test instead of hanging.
TEST_F(SchedulerTest, AScheduleThatIsAFifoIsReportedAtOnce) {
    ASSERT_EQ(::mkfifo(m_path.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 60 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        while (!done) {
            const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    auto s = Make();
    s->Step();
    CTaskManager manager;
    std::string error;
    const bool read = tasksched::ReadSchedule(m_path, manager, error);
    const bool readDirectly = manager.ReadScheduleFile(m_path, error);
    const auto took = std::chrono::steady_clock::now() - start;
    done = true;
    watchdog.join();
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_FALSE(read);
    EXPECT_FALSE(readDirectly);
    EXPECT_EQ(error, "Not a regular file.");
    EXPECT_NE(Log().find("cannot read the schedule " + m_path + ": Not a regular file."), std::string::npos)
        << Log();
    EXPECT_EQ(s->PlannedId(), 0u);
}

} // namespace

TEST_F(SchedulerTest, TheStartupTasksRunAsOneRunAndAreEachRecorded) {
    auto first = Once(0), second = Once(0), timed = Once(kT0 + 10);
    for (auto* task : {first.get(), second.get()}) {
        task->m_nRunType = 3;
        task->m_nTimeFrame = 6;
    }
    Store({first.get(), timed.get(), second.get()});
    auto s = Make();
    s->RunStartupPass();
    EXPECT_EQ(m_groups, std::vector<std::size_t>{2});
    EXPECT_EQ(m_runs, (std::vector<TaskRun>{{1, kT0}, {3, kT0}}));
    EXPECT_EQ(LastRunOf(1), kT0);
    EXPECT_EQ(LastRunOf(3), kT0);
    EXPECT_EQ(LastRunOf(2), 0);
}

TEST_F(SchedulerTest, TasksDueInTheSameSecondRunAsOneRun) {
    auto a = Once(kT0 + 30), b = Once(kT0 + 30), c = Once(kT0 + 31);
    Store({a.get(), b.get(), c.get()});
    auto s = Make();
    RunUntil(*s, kT0 + 40);
    EXPECT_EQ(m_groups, (std::vector<std::size_t>{2, 1}));
    EXPECT_EQ(m_runs, (std::vector<TaskRun>{{1, kT0 + 30}, {2, kT0 + 30}, {3, kT0 + 31}}));
}
