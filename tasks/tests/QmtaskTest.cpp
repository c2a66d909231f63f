// qmtask show and build, run as a user runs them.
#include "TestSupport.h"

#include <gtest/gtest.h>

using qmtest::ProgramPath;
using qmtest::RunProgram;

namespace {

const char kExampleJson[] = R"({"delete":[{"m_csName":"T","m_nId":1,"m_nRunType":3,"m_nTimeFrame":6,
  "m_csLocation":"C:\\x","m_csMask":"|*.*|","m_bSubfolders":1,"m_nDelType":1,"m_nWipeRounds":3}]})";

const char kEveryKindJson[] = R"({
  "delete": [{"m_csName": "clean", "m_nId": 2, "m_vHours": [1, 2, 23], "m_tStart": 1765000000,
              "m_csLocation": "/tmp/a", "m_csMask": "|*.tmp|", "m_nDelType": 3, "m_nWipeRounds": 7}],
  "encrypt": [{"m_csName": "crypt \u00e9", "m_nId": 3, "m_tLastRun": -5, "m_csLocation": "/home",
               "m_csEncPassword": "pw", "m_nAlgorithm": 9, "m_nMode": 3, "m_bWipe": 1}],
  "sendmail": [{"m_csName": "mail", "m_nId": 4, "m_csAttachment": "/f", "m_bAuth": 1, "m_vMonths": [12]},
               {"class": "CActionDeleteFile", "m_csName": "odd one"}]
})";

} // namespace

TEST(Qmtask, BuildWritesTheWorkedExampleAndShowPrintsIt) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/t.json", kExampleJson);
    const auto build = RunProgram(ProgramPath("qmtask"), {"build", dir + "/t.json", dir + "/t.qms"});
    ASSERT_EQ(build.exitCode, 0) << build.err;
    EXPECT_EQ(qmtest::ReadFile(dir + "/t.qms").size(), 130u);
    EXPECT_EQ(build.err,
              "qmtask: warning: task 1: \"C:\\x\" is not an absolute path; the task will be refused when "
              "it is listed or run\n");

    const auto show = RunProgram(ProgramPath("qmtask"), {"show", dir + "/t.qms", "--raw"});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    EXPECT_NE(show.out.find("delete: 1 task\n  CActionDeleteFile, code 3, Move to Recycle Bin\n    m_nId: 1\n"
                            "    m_csName: T\n"),
              std::string::npos)
        << show.out;
    EXPECT_NE(show.out.find("    m_csLocation: C:\\x\n"), std::string::npos);
    EXPECT_NE(show.out.find("encrypt: 0 tasks\nsendmail: 0 tasks\n"), std::string::npos);
}

TEST(Qmtask, JsonFromShowBuildsTheSameFileAgain) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/a.json", kEveryKindJson);
    ASSERT_EQ(RunProgram(ProgramPath("qmtask"), {"build", dir + "/a.json", dir + "/a.qms"}).exitCode, 0);
    const auto show = RunProgram(ProgramPath("qmtask"), {"show", dir + "/a.qms", "--json"});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    EXPECT_NE(show.out.find("\"name\": \"Encrypt and Wipe\""), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("\"code\": 5"), std::string::npos);
    EXPECT_NE(show.out.find("\"m_tLastRun\": -5"), std::string::npos);
    EXPECT_NE(show.out.find("\"m_csName\": \"crypt \u00e9\""), std::string::npos);
    qmtest::WriteFile(dir + "/b.json", show.out);
    ASSERT_EQ(RunProgram(ProgramPath("qmtask"), {"build", dir + "/b.json", dir + "/b.qms"}).exitCode, 0);
    EXPECT_EQ(qmtest::ReadFile(dir + "/b.qms"), qmtest::ReadFile(dir + "/a.qms"));
}

TEST(Qmtask, ErrorsGoToStderrWithStatusOne) {
    const std::string dir = qmtest::MakeTempDir();
    auto r = RunProgram(ProgramPath("qmtask"), {"show", dir + "/missing.qms"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qmtask: " + dir + "/missing.qms: File does not exist.\n");
    EXPECT_TRUE(r.out.empty());

    qmtest::WriteFile(dir + "/bad.qms", std::string("\x01\x00\xFF\xFF\x03\x00\x05\x00"
                                                    "CNope",
                                                    13));
    r = RunProgram(ProgramPath("qmtask"), {"show", dir + "/bad.qms", "--json"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("unknown class \"CNope\""), std::string::npos) << r.err;

    qmtest::WriteFile(dir + "/bad.json", R"({"delete":[{"m_nId":"one"}]})");
    r = RunProgram(ProgramPath("qmtask"), {"build", dir + "/bad.json", dir + "/out.qms"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("delete[0]: m_nId must be an integer"), std::string::npos) << r.err;
    EXPECT_FALSE(qmtest::Exists(dir + "/out.qms"));

    qmtest::WriteFile(dir + "/typo.json", R"({"encrypt":[{"m_csNmae":"x"}]})");
    r = RunProgram(ProgramPath("qmtask"), {"build", dir + "/typo.json", dir + "/out.qms"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("unknown field \"m_csNmae\""), std::string::npos) << r.err;

    r = RunProgram(ProgramPath("qmtask"), {"build", dir + "/typo.json"});
    EXPECT_EQ(r.exitCode, 1);
    r = RunProgram(ProgramPath("qmtask"), {"show", dir + "/bad.qms", "--password"});
    EXPECT_EQ(r.exitCode, 1);
}

TEST(Qmtask, NextPrintsEachTaskNextRunAndSchedule) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/s.json", R"({
      "delete": [{"m_csName": "every 5 min", "m_nId": 1, "m_nRunType": 1, "m_nTimeFrame": 0, "m_nInterval": 5,
                  "m_tStart": 1772445600, "m_vHours": [9, 10], "m_vDays": [2, 6]}],
      "encrypt": [{"m_csName": "past", "m_nId": 2, "m_nRunType": 2, "m_nTimeFrame": 5, "m_tStart": 1000}]})");
    ASSERT_EQ(RunProgram(ProgramPath("qmtask"), {"build", dir + "/s.json", dir + "/s.qms"}).exitCode, 0);
    const std::vector<std::string> env = {"TZ=UTC", "LC_ALL=C"};
    auto r =
        RunProgram(ProgramPath("qmtask"), {"next", dir + "/s.qms", "--at", "2026-03-02 10:07:30"}, {}, env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "id\tname\tnext run\tschedule\n"
                     "1\tevery 5 min\t2026-03-02 10:10:00\t"
                     "Every 5 minutes , starting at 10:00:00; run hours: 9, 10; run days: Monday, Friday;\n"
                     "2\tpast\t-\tOnce at 00:16:40\n");
    r = RunProgram(ProgramPath("qmtask"), {"next", dir + "/s.qms", "--json", "--at", "2026-03-02 11:00:00"},
                   {}, {"TZ=Europe/Berlin", "LC_ALL=C"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"next\": 1772784000"), std::string::npos) << r.out; // Friday 09:00 local
    EXPECT_NE(r.out.find("\"m_nId\": 2"), std::string::npos);
    r = RunProgram(ProgramPath("qmtask"), {"next", dir + "/s.qms", "--at", "yesterday"});
    EXPECT_EQ(r.exitCode, 1);
}

TEST(Qmtask, BuildNamesTasksWithPathsNoRunAcceptsAndStillWritesThemUnchanged) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/r.json", R"({"delete": [{"m_nId": 1, "m_csLocation": "", "m_csMask": "|*.*|"}],
      "encrypt": [{"m_nId": 2, "m_csLocation": "/abs", "m_bArchive": 1, "m_csArchive": "x.qma"},
                  {"m_nId": 3, "m_csLocation": "/abs", "m_csDestFolder": "out"},
                  {"m_nId": 4, "m_csLocation": "/abs", "m_csDestFolder": "/out"}]})");
    const auto build = RunProgram(ProgramPath("qmtask"), {"build", dir + "/r.json", dir + "/r.qms"});
    ASSERT_EQ(build.exitCode, 0) << build.err;
    EXPECT_NE(build.err.find("task 1: \"\" is not an absolute path"), std::string::npos) << build.err;
    EXPECT_NE(build.err.find("task 2: \"x.qma\" is not an absolute path"), std::string::npos) << build.err;
    EXPECT_NE(build.err.find("task 3: \"out\" is not an absolute path"), std::string::npos) << build.err;
    EXPECT_EQ(build.err.find("task 4"), std::string::npos) << build.err;
    // Shown and built again, byte for byte.
    const auto show = RunProgram(ProgramPath("qmtask"), {"show", dir + "/r.qms", "--json"});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    qmtest::WriteFile(dir + "/again.json", show.out);
    ASSERT_EQ(RunProgram(ProgramPath("qmtask"), {"build", dir + "/again.json", dir + "/again.qms"}).exitCode,
              0);
    EXPECT_EQ(qmtest::ReadFile(dir + "/again.qms"), qmtest::ReadFile(dir + "/r.qms"));
    // Listing refuses the task with the reason.
    const auto files = RunProgram(ProgramPath("qmtask"), {"files", dir + "/r.qms", "--task", "1"});
    EXPECT_NE(files.err.find("absolute paths"), std::string::npos) << files.err;
}

TEST(Qmtask, RunAsksOnATerminalAndCountsAFileLeftUndoneAndAPipeGetsPlainLines) {
    const std::string dir = qmtest::MakeTempDir("asked");
    qmtest::WriteFile(dir + "/a.txt", "new words");
    qmtest::WriteFile(dir + "/pw", "list password\n");
    const std::string list = dir + "/l.qms";
    const auto made = RunProgram(ProgramPath("qmtask"), {"new", "encrypt", "--folder", dir, "--mask", "*.txt",
                                                         "--password-file", dir + "/pw", "-o", list});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    auto run = RunProgram(ProgramPath("qmtask"), {"run", list});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string first = qmtest::ReadFile(dir + "/a.txt.qmp");

    // At a terminal: No, then no other name: the copy stays and the file counts as an error.
    qmtest::TerminalOptions options;
    options.env = {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="};
    options.answers = {{"[y]es/[n]o/[c]ancel", "n\n"}, {"empty to cancel", "\n"}};
    auto asked = qmtest::RunInTerminal(ProgramPath("qmtask"), {"run", list}, options);
    EXPECT_EQ(asked.exitCode, 2) << asked.terminal;
    EXPECT_NE(asked.terminal.find("The file already exists. Overwrite?"), std::string::npos)
        << asked.terminal;
    EXPECT_NE(asked.terminal.find("Done. 1 errors."), std::string::npos) << asked.terminal;
    EXPECT_EQ(qmtest::ReadFile(dir + "/a.txt.qmp"), first);
    // Cancel stops the task: an error as well.
    options.answers = {{"[y]es/[n]o/[c]ancel", "c\n"}};
    asked = qmtest::RunInTerminal(ProgramPath("qmtask"), {"run", list}, options);
    EXPECT_EQ(asked.exitCode, 2) << asked.terminal;
    EXPECT_NE(asked.terminal.find("cancelled here"), std::string::npos) << asked.terminal;
    EXPECT_NE(asked.terminal.find("Done. 1 errors."), std::string::npos) << asked.terminal;
    // Yes replaces it.
    options.answers = {{"[y]es/[n]o/[c]ancel", "y\n"}};
    asked = qmtest::RunInTerminal(ProgramPath("qmtask"), {"run", list}, options);
    EXPECT_EQ(asked.exitCode, 0) << asked.terminal;
    EXPECT_NE(qmtest::ReadFile(dir + "/a.txt.qmp"), first);

    // Output into a pipe or a file: nothing is asked even with a terminal at hand.
    options.answers.clear();
    options.outTerminal = false;
    options.timeoutMs = 20000;
    asked = qmtest::RunInTerminal(ProgramPath("qmtask"), {"run", list}, options);
    EXPECT_FALSE(asked.timedOut) << asked.terminal;
    EXPECT_EQ(asked.exitCode, 2) << asked.terminal;
    EXPECT_EQ(asked.terminal.find("[y]es/[n]o/[c]ancel"), std::string::npos) << asked.terminal;
    EXPECT_NE(asked.out.find("Done. 1 errors."), std::string::npos) << asked.out;

    // In a pipe nothing is asked: the copy is kept, said once, without terminal control codes.
    const std::string second = qmtest::ReadFile(dir + "/a.txt.qmp");
    run = RunProgram(ProgramPath("qmtask"), {"run", list}, "y\n");
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_EQ(qmtest::ReadFile(dir + "/a.txt.qmp"), second);
    EXPECT_NE(run.out.find("Done. 1 errors."), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Error: " + dir + "/a.txt: File already exists."), std::string::npos) << run.err;
    EXPECT_EQ((run.out + run.err).find('\033'), std::string::npos) << run.err;
    EXPECT_EQ((run.out + run.err).find('\r'), std::string::npos) << run.err;
}
