// The suite's programs, run as a user runs them.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

using qmtest::ProgramPath;
using qmtest::RunProgram;

TEST(Programs, EachAnswersHelpWithUsage) {
    for (const char* name : {"qmcenter", "keeper", "qmtask", "extractor"}) {
        const auto r = RunProgram(ProgramPath(name), {"--help"});
        EXPECT_EQ(r.exitCode, 0) << name << ": " << r.err;
        EXPECT_NE(r.out.find("Usage: "), std::string::npos) << name;
    }
}

TEST(Programs, EachProgramAndVerbAnswersHelpAndVersionAndNamesWhatItDoesNotKnow) {
    struct Case {
        const char* program;
        std::vector<std::string> verb;
    };
    const Case cases[] = {{"qmcenter", {}},
                          {"qmcenter", {"encrypt"}},
                          {"qmcenter", {"decrypt"}},
                          {"keeper", {}},
                          {"keeper", {"scheduler"}},
                          {"qmsfx", {}},
                          {"extractor", {}},
                          {"qmtask", {}},
                          {"qmtask", {"new", "encrypt"}},
                          {"qmtask", {"schedule"}},
                          {"qmtask", {"run"}}};
    for (const Case& c : cases) {
        const std::string what = std::string(c.program) + (c.verb.empty() ? "" : " " + c.verb[0]);
        auto args = c.verb;
        args.push_back("--help");
        auto r = RunProgram(ProgramPath(c.program), args);
        EXPECT_EQ(r.exitCode, 0) << what << ": " << r.err;
        EXPECT_NE(r.out.find("Usage: "), std::string::npos) << what;
        args.back() = "--version";
        r = RunProgram(ProgramPath(c.program), args);
        EXPECT_EQ(r.exitCode, 0) << what << ": " << r.err;
        EXPECT_NE(r.out.find(QM_VERSION), std::string::npos) << what << ": " << r.out;
        args.back() = "--no-such-option";
        if (c.verb.size() > 1 || std::string(c.program) == "qmcenter")
            args.push_back("/nonexistent/path"); // verbs that need a path get one
        r = RunProgram(ProgramPath(c.program), args, {},
                       {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="});
        EXPECT_NE(r.exitCode, 0) << what;
        EXPECT_NE(r.err.find("unknown option --no-such-option"), std::string::npos) << what << ": " << r.err;
    }
    const auto verb = RunProgram(ProgramPath("keeper"), {"schedular"});
    EXPECT_NE(verb.err.find("keeper: unknown mode schedular"), std::string::npos) << verb.err;
    EXPECT_NE(RunProgram(ProgramPath("qmtask"), {"rnu"}).err.find("unknown verb \"rnu\""), std::string::npos);
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
    // Offscreen, the window library and the window system's plugin come up and the event loop
    // runs until the program is stopped: a quit at start, or a crash, would end it otherwise.
    qmtest::RunningProgram center(ProgramPath("qmcenter"), {}, {}, {"QT_QPA_PLATFORM=offscreen"});
    ASSERT_TRUE(center.started());
    const bool up = center.WaitUntil([&] {
        const std::string map = center.MemoryMap();
        return map.find("/libqmcenter_gui.so") != std::string::npos &&
               map.find("/libqoffscreen.so") != std::string::npos;
    });
    EXPECT_TRUE(up) << center.Errors();
    EXPECT_TRUE(center.Running()) << center.Errors();
    center.Signal(SIGTERM);
    const int status = center.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM)
        << "it ended before it was stopped (status " << status << "): " << center.Errors();
}

namespace {

// A downloads folder with the control center copied into it, and a stand-in for its window library
// beside it, in ../lib and in the current folder `cwd`.
std::string PlantWindowLibraries(const std::string& downloads, const std::string& cwd) {
    const std::string planted = qmtest::ReadFile(QM_PLANTED_PART);
    EXPECT_FALSE(planted.empty());
    for (const std::string& folder : {downloads, downloads + "/../lib", cwd}) {
        std::filesystem::create_directories(folder);
        qmtest::WriteFile(folder + "/libqmcenter_gui.so", planted);
    }
    return qmtest::TestRoot() + "/planted-was-loaded";
}

} // namespace

TEST(Programs, ControlCenterLoadsItsWindowOnlyFromTheFolderFixedWhenItWasBuilt) {
    const std::string downloads = qmtest::MakeTempDir("downloads");
    const std::string cwd = qmtest::MakeTempDir("cwd");
    const std::string marker = PlantWindowLibraries(downloads, cwd);
    const std::string buildLib = std::filesystem::canonical(std::string(QM_BIN_DIR) + "/../lib").string();

    // Run from the build tree, it maps the window library of the build tree and nothing planted.
    {
        qmtest::RunningProgram center(ProgramPath("qmcenter"), {}, {},
                                      {"QT_QPA_PLATFORM=offscreen", "QM_PLANTED_MARKER=" + marker,
                                       "LD_LIBRARY_PATH=" + downloads + ":" + cwd},
                                      cwd);
        const bool mapped = center.WaitUntil([&] {
            return qmtest::Exists(marker) ||
                   center.MemoryMap().find(buildLib + "/libqmcenter_gui.so") != std::string::npos;
        });
        EXPECT_TRUE(mapped) << center.Errors();
        EXPECT_FALSE(qmtest::Exists(marker)) << "a planted library was loaded";
    }

    // A copy run from elsewhere looks in the install prefix only; finding nothing there, it says so.
    ASSERT_TRUE(std::filesystem::copy_file(ProgramPath("qmcenter"), downloads + "/qmcenter"));
    ::chmod((downloads + "/qmcenter").c_str(), 0700);
    qmtest::RunningProgram copy(downloads + "/qmcenter", {}, {},
                                {"QT_QPA_PLATFORM=offscreen", "QM_PLANTED_MARKER=" + marker,
                                 // its own libraries still come from the build tree
                                 "LD_LIBRARY_PATH=" + buildLib + ":" + downloads + ":" + cwd},
                                cwd);
    const int status = copy.Wait();
    EXPECT_FALSE(qmtest::Exists(marker)) << "a planted library was loaded";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << " " << copy.Errors();
    EXPECT_NE(copy.Errors().find("qmcenter: the window cannot be opened (libqmcenter_gui.so not found in /"),
              std::string::npos)
        << copy.Errors();
}
