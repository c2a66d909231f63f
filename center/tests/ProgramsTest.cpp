// The suite's programs, run as a user runs them.
#include "TestSupport.h"

#include <gtest/gtest.h>

using qmtest::ProgramPath;
using qmtest::RunProgram;

TEST(Programs, EachAnswersHelpWithUsage) {
    for (const char* name : {"qmcenter", "keeper", "qmtask", "extractor"}) {
        const auto r = RunProgram(ProgramPath(name), {"--help"});
        EXPECT_EQ(r.exitCode, 0) << name << ": " << r.err;
        EXPECT_NE(r.out.find("Usage: "), std::string::npos) << name;
    }
}

TEST(Programs, AllStandInOneProgramFolder) {
    for (const char* name : {"qmcenter", "keeper", "qmtask", "extractor"})
        EXPECT_TRUE(qmtest::Exists(ProgramPath(name))) << name;
}

TEST(Programs, ControlCenterWithoutDisplaySaysSoInOneLineAndExitsOne) {
    const auto r =
        RunProgram(ProgramPath("qmcenter"), {}, {}, {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qmcenter: no display available (set DISPLAY or WAYLAND_DISPLAY to open the window).\n");
}

TEST(Programs, ControlCenterOpensItsWindowOffscreen) {
    // Offscreen, the window opens and the event loop runs until the program is stopped.
    const auto r = RunProgram(ProgramPath("qmcenter"), {}, {}, {"QT_QPA_PLATFORM=offscreen"}, 1500);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.timedOut) << r.err; // still running when the time was up: stopped by the test
}
