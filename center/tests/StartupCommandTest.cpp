#include "center/core/StartupCommand.h"

#include "TestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

using center::ClassifyCommandLine;
using center::StartupCommand;

TEST(StartupCommand, AQuotedEncryptedFileInAnyCaseOpensTheDecryptWindow) {
    const std::string dir = qmtest::MakeTempDir("cmd");
    qmtest::WriteFile(dir + "/Report.QMP", "x");
    const auto c = ClassifyCommandLine({"\"" + dir + "/Report.QMP\""});
    EXPECT_EQ(c.kind, StartupCommand::OpenFiles);
    EXPECT_EQ(c.paths, std::vector<std::string>{dir + "/Report.QMP"});
    EXPECT_TRUE(c.archives.empty());
}

TEST(StartupCommand, SeveralEncryptedFilesAndArchivesOpenTogether) {
    const std::string dir = qmtest::MakeTempDir("many");
    for (const char* name : {"a.qmp", "b.qmp", "box.qma"})
        qmtest::WriteFile(dir + "/" + name, "x");
    const auto c = ClassifyCommandLine({dir + "/a.qmp", dir + "/box.qma", dir + "/b.qmp"});
    EXPECT_EQ(c.kind, StartupCommand::OpenFiles);
    EXPECT_EQ(c.paths, (std::vector<std::string>{dir + "/a.qmp", dir + "/b.qmp"}));
    EXPECT_EQ(c.archives, std::vector<std::string>{dir + "/box.qma"});
}

TEST(StartupCommand, OneArgumentOfAnotherKindStartsTheControlCenter) {
    const std::string dir = qmtest::MakeTempDir("mixed");
    qmtest::WriteFile(dir + "/a.qmp", "x");
    qmtest::WriteFile(dir + "/notes.txt", "x");
    EXPECT_EQ(ClassifyCommandLine({dir + "/a.qmp", dir + "/notes.txt"}).kind, StartupCommand::ControlCenter);
    EXPECT_EQ(ClassifyCommandLine({dir + "/a.qmp", dir + "/missing.qmp"}).kind,
              StartupCommand::ControlCenter);
    EXPECT_EQ(ClassifyCommandLine({dir}).kind, StartupCommand::ControlCenter); // a folder
    EXPECT_EQ(ClassifyCommandLine({}).kind, StartupCommand::ControlCenter);
    EXPECT_EQ(ClassifyCommandLine({"something"}).kind, StartupCommand::ControlCenter);
}

TEST(StartupCommand, ATaskListStartsTheControlCenterWithIt) {
    const std::string dir = qmtest::MakeTempDir("qms");
    qmtest::WriteFile(dir + "/list.QMS", "x");
    const auto c = ClassifyCommandLine({dir + "/list.QMS"});
    EXPECT_EQ(c.kind, StartupCommand::ControlCenter);
    EXPECT_EQ(c.paths, std::vector<std::string>{dir + "/list.QMS"});
}

TEST(StartupCommand, VerbsInAnyCaseButAnExistingFileNamedLikeOneIsAFile) {
    EXPECT_EQ(ClassifyCommandLine({"PREFS"}).kind, StartupCommand::Preferences);
    EXPECT_EQ(ClassifyCommandLine({"\"qs\""}).kind, StartupCommand::QuickStart);
    EXPECT_EQ(ClassifyCommandLine({"prefs", "x"}).kind, StartupCommand::ControlCenter);
    const std::string dir = qmtest::MakeTempDir("verbfile");
    qmtest::WriteFile(dir + "/prefs", "x");
    char* cwd = get_current_dir_name();
    ASSERT_NE(cwd, nullptr);
    const std::string previous = cwd;
    std::free(cwd);
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    EXPECT_EQ(ClassifyCommandLine({"prefs"}).kind, StartupCommand::ControlCenter);
    ASSERT_EQ(::chdir(previous.c_str()), 0);
}

TEST(StartupCommand, TheWizardTakesEveryPathAfterItAsGiven) {
    const auto c = ClassifyCommandLine({"--wizard", "/a b/c", "\"/d\""});
    EXPECT_EQ(c.kind, StartupCommand::EncryptionWizard);
    EXPECT_EQ(c.paths, (std::vector<std::string>{"/a b/c", "/d"}));
    EXPECT_EQ(ClassifyCommandLine({"--wizard"}).paths.size(), 0u);
}
