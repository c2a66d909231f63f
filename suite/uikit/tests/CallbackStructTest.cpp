#include "uikit/CallbackStruct.h"

#include <gtest/gtest.h>

TEST(CallbackStruct, FreshRecordGovernsItselfAndCopiesShareItsFlags) {
    CALLBACKSTRUCT_ run;
    EXPECT_EQ(run.bContinue, 1);
    EXPECT_EQ(run.pbContinue, &run.bContinue);
    EXPECT_EQ(run.pbStopped, &run.bStopped);
    EXPECT_TRUE(run.csCurrent.empty() && run.csPhase.empty());
    EXPECT_EQ(run.nErrors, 0);

    CALLBACKSTRUCT_ task = run; // the record a task is handed
    task.nCurrent = 3;
    EXPECT_TRUE(task.ShouldContinue());
    run.Cancel();
    EXPECT_FALSE(task.ShouldContinue());
    *task.pbStopped = 1;
    EXPECT_EQ(run.bStopped, 1);
    EXPECT_EQ(run.nCurrent, 0); // only the flags are shared
}

TEST(CallbackStruct, CallbackSeesTheRecordAndCounterProgressClamps) {
    CALLBACKSTRUCT_ r;
    int calls = 0;
    r.pDialog = &calls;
    r.Callback(); // no callback: nothing happens
    r.pfnCallBack = [](CALLBACKSTRUCT_* p) { ++*static_cast<int*>(p->pDialog); };
    r.Callback();
    EXPECT_EQ(calls, 1);

    uikit::CounterProgress bar;
    bar.setRange(0, 10);
    bar.step(4);
    bar.step(20);
    EXPECT_EQ(bar.position(), 10);
    bar.setPosition(-5);
    EXPECT_EQ(bar.position(), 0);
}
