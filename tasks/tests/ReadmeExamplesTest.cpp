// The README's task-list examples, taken from the README itself and run as a reader runs them.
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using qmtest::ProgramPath;
using qmtest::RunProgram;

namespace {

// The blocks marked "<!-- example: KIND [NAME] -->" in the README: the fenced block after each
// marker, by "KIND NAME".
std::map<std::string, std::string> ReadmeExamples() {
    const std::string readme = qmtest::ReadFile(std::string(QM_SOURCE_DIR) + "/README.md");
    std::map<std::string, std::string> examples;
    const std::string marker = "<!-- example: ";
    for (std::size_t at = readme.find(marker); at != std::string::npos; at = readme.find(marker, at + 1)) {
        const std::size_t nameEnd = readme.find(" -->", at);
        const std::size_t fence = readme.find("```", nameEnd);
        const std::size_t body = readme.find('\n', fence) + 1;
        const std::size_t end = readme.find("\n```", body);
        if (nameEnd == std::string::npos || fence == std::string::npos || end == std::string::npos)
            break;
        examples[readme.substr(at + marker.size(), nameEnd - at - marker.size())] =
            readme.substr(body, end + 1 - body);
    }
    return examples;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

std::string BinFolder() {
    return std::filesystem::path(ProgramPath("qmtask")).parent_path().string();
}

// The README's own home folder, "/home/me", becomes a fresh folder of the test.
std::string BuildExample(const std::string& name, const std::string& home) {
    const auto examples = ReadmeExamples();
    const auto it = examples.find("json " + name);
    EXPECT_NE(it, examples.end()) << "the README has no example " << name;
    if (it == examples.end())
        return {};
    qmtest::WriteFile(home + "/" + name, Replace(it->second, "/home/me", home));
    const std::string list = home + "/" + name + ".qms";
    const auto build = RunProgram(ProgramPath("qmtask"), {"build", home + "/" + name, list});
    EXPECT_EQ(build.exitCode, 0) << build.err;
    EXPECT_EQ(build.err, "");
    return list;
}

} // namespace

TEST(ReadmeExamples, TheNotesListBuildsAndEncryptsEveryNoteBelowItsFolder) {
    const std::string home = qmtest::MakeTempDir("home");
    std::filesystem::create_directories(home + "/Notes/old");
    qmtest::WriteFile(home + "/Notes/a.txt", "alpha");
    qmtest::WriteFile(home + "/Notes/b.md", "beta");
    qmtest::WriteFile(home + "/Notes/old/c.txt", "gamma");
    qmtest::WriteFile(home + "/Notes/d.pdf", "delta");
    const std::string list = BuildExample("notes.json", home);

    const auto next = RunProgram(ProgramPath("qmtask"), {"next", list, "--at", "2027-01-08 18:30:00"}, {},
                                 {"TZ=UTC", "LC_ALL=C"});
    EXPECT_EQ(next.out,
              "id\tname\tnext run\tschedule\n1\tEncrypt my notes\t2027-01-11 18:00:00\tEvery 1 day at "
              "hour 18; run days: Monday, Tuesday, Wednesday, Thursday, Friday;\n");
    const auto run = RunProgram(ProgramPath("qmtask"), {"run", list});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    for (const char* done : {"/Notes/a.txt.qmp", "/Notes/b.md.qmp", "/Notes/old/c.txt.qmp"})
        EXPECT_TRUE(qmtest::Exists(home + done)) << done;
    EXPECT_FALSE(qmtest::Exists(home + "/Notes/d.pdf.qmp"));
    EXPECT_EQ(qmtest::ReadFile(home + "/Notes/a.txt"), "alpha") << "no wiping asked for";
}

TEST(ReadmeExamples, TheReportsListArchivesAndWipesReportsAndLeftovers) {
    const std::string home = qmtest::MakeTempDir("home");
    std::filesystem::create_directories(home + "/Reports");
    std::filesystem::create_directories(home + "/Downloads");
    qmtest::WriteFile(home + "/Reports/q1.pdf", "first quarter");
    qmtest::WriteFile(home + "/Reports/q2.odt", "second quarter");
    qmtest::WriteFile(home + "/Reports/notes.txt", "not a report");
    qmtest::WriteFile(home + "/Downloads/x.tmp", "left over");
    qmtest::WriteFile(home + "/Downloads/y.part", "half");
    qmtest::WriteFile(home + "/Downloads/keep.zip", "wanted");
    const std::string list = BuildExample("reports.json", home);

    const auto show = RunProgram(ProgramPath("qmtask"), {"show", list}, {}, {"TZ=UTC"});
    EXPECT_NE(show.out.find("    schedule: --every 1w --at '2027-01-01 17:00:00' --days fri\n"),
              std::string::npos)
        << show.out;
    EXPECT_NE(show.out.find("    schedule: --every 1mo --at '2027-01-01' --day-of-month last\n"),
              std::string::npos);
    const auto run = RunProgram(ProgramPath("qmtask"), {"run", list});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(qmtest::Exists(home + "/Reports.qma"));
    EXPECT_FALSE(qmtest::Exists(home + "/Reports/q1.pdf"));
    EXPECT_FALSE(qmtest::Exists(home + "/Reports/q2.odt"));
    EXPECT_TRUE(qmtest::Exists(home + "/Reports/notes.txt"));
    EXPECT_FALSE(qmtest::Exists(home + "/Downloads/x.tmp"));
    EXPECT_FALSE(qmtest::Exists(home + "/Downloads/y.part"));
    EXPECT_TRUE(qmtest::Exists(home + "/Downloads/keep.zip"));
}

TEST(ReadmeExamples, TheShellExamplesRunAsWritten) {
    int count = 0;
    for (const auto& [name, script] : ReadmeExamples()) {
        if (name.rfind("sh ", 0) != 0)
            continue;
        ++count;
        const std::string home = qmtest::MakeTempDir("home");
        const char* path = std::getenv("PATH");
        const auto r =
            RunProgram("/bin/sh", {"-e", "-c", script}, {},
                       {"HOME=" + home, "PATH=" + BinFolder() + ":" + (path ? path : "/usr/bin:/bin"),
                        "QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="});
        ASSERT_EQ(r.exitCode, 0) << name << ":\n" << r.out << r.err;
        if (name == "sh task-lists") {
            EXPECT_NE(r.out.find("delete: 1 task\n"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("encrypt: 1 task\n"), std::string::npos);
            EXPECT_NE(r.out.find("mail: 1 task\n"), std::string::npos);
            EXPECT_NE(r.out.find("id\tname\tnext run\tschedule\n"), std::string::npos);
        } else if (name == "sh self-extracting") {
            EXPECT_NE(r.out.find("Extracting: Photos/cat.jpg\na photo\n"), std::string::npos) << r.out;
        } else if (name == "sh console") {
            // Standard output holds the results alone: the lines about the work and "Done."
            // went to standard error.
            EXPECT_EQ(r.out, "Encrypted " + home + "/diary.txt -> " + home + "/diary.txt.qmp\n" +
                                 "dear diary\nfrom a pipe\n");
            EXPECT_EQ(r.err.rfind("Done.\n"), r.err.size() - 6) << r.err;
        } else {
            ADD_FAILURE() << "an example this test does not check: " << name;
        }
    }
    EXPECT_EQ(count, 3);
}

TEST(ReadmeExamples, TheConsoleSynopsisIsWhatTheProgramPrints) {
    const auto examples = ReadmeExamples();
    const auto it = examples.find("usage qmcenter-console");
    ASSERT_NE(it, examples.end());
    for (const char* verb : {"encrypt", "decrypt"}) {
        const auto help = RunProgram(ProgramPath("qmcenter"), {verb, "--help"});
        ASSERT_EQ(help.exitCode, 0) << help.err;
        EXPECT_EQ(help.out.substr(0, it->second.size()), it->second) << help.out;
    }
}
