#include "misckit/CodePage.h"
#include "misckit/FileType.h"
#include "misckit/Help.h"
#include "misckit/Registry.h"
#include "misckit/Startup.h"

#include "TestSupport.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iconv.h>
#include <set>
#include <sys/stat.h>

using namespace misckit;

TEST(FileType, KeyFilesAreThreeAndTheOtherKindsDistinct) {
    EXPECT_EQ(GetFileType("/home/u/keys/work.qmk"), 3);
    EXPECT_EQ(GetFileType("/home/u/keys/WORK.QMK"), 3);
    const std::set<int> kinds{GetFileType("a.qmp"), GetFileType("a.qma"), GetFileType("a.qmk"),
                              GetFileType("a.qms"), GetFileType("a.txt")};
    EXPECT_EQ(kinds.size(), 5u);
    EXPECT_EQ(GetFileType("/x/a.txt"), kFileTypeOther);
    EXPECT_EQ(GetFileType("/x/.qmk"), kFileTypeOther);
    EXPECT_EQ(GetFileType("/x.qmk/file"), kFileTypeOther);
    EXPECT_EQ(GetFileType("/x/a.qmkx"), kFileTypeOther);
    EXPECT_EQ(GetFileType(""), kFileTypeOther);
}

TEST(CodePages, EveryListedPageHasANameANumberAndACharsetIconvConverts) {
    const CCodePage pages;
    const CCodePageObject& list = pages.GetInstalled();
    ASSERT_GT(list.GetCount(), 20);
    std::set<unsigned> numbers;
    for (int i = 0; i < list.GetCount(); ++i) {
        const unsigned n = list[i];
        EXPECT_TRUE(numbers.insert(n).second) << n;
        const std::string name = list.GetName(i);
        EXPECT_EQ(name.substr(name.size() - std::to_string(n).size() - 2), "(" + std::to_string(n) + ")");
        const std::string charset = GetCodePageCharsetName(n);
        ASSERT_FALSE(charset.empty()) << n;
        const iconv_t cd = ::iconv_open(charset.c_str(), "UTF-8");
        EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << charset;
        if (cd != reinterpret_cast<iconv_t>(-1))
            ::iconv_close(cd);
    }
    EXPECT_EQ(GetCodePageCharsetName(1252), "windows-1252");
    EXPECT_EQ(GetCodePageCharsetName(65001), "utf-8");
    EXPECT_EQ(GetCodePageCharsetName(28591), "iso-8859-1");
    EXPECT_EQ(GetCodePageCharsetName(4242), "");
    EXPECT_EQ(list[-1], 0u);
    EXPECT_EQ(list.GetName(list.GetCount()), "");
}

class HelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = qmtest::MakeTempDir("help");
        ::mkdir((folder + "/scheduler").c_str(), 0755);
        qmtest::WriteFile(folder + "/kmover.htm", "<html>overview</html>");
        qmtest::WriteFile(folder + "/scheduler/tsschedulingtasks.htm", "<html>tasks</html>");
        qmtest::WriteFile(qmtest::TestRoot() + "/outside.htm", "<html>not help</html>");
        SetHelpFolderForTesting(folder);
    }
    void TearDown() override { SetHelpFolderForTesting({}); }
    std::string folder;
    uikit::ScriptedBackend ui;
};

TEST_F(HelpTest, TopicsFindTheirPageWithoutRegardToCaseAndOpenItInTheBrowser) {
    uikit::ScopedBackend use(ui);
    EXPECT_EQ(FindHelpPage("/qmhelp/kmover.htm"), folder + "/kmover.htm");
    EXPECT_EQ(FindHelpPage("/QMhelp/Scheduler/TSSCHEDULINGTASKS.HTM"),
              folder + "/scheduler/tsschedulingtasks.htm");
    EXPECT_EQ(FindHelpPage("QMhelp\\kmover.htm"), folder + "/kmover.htm");
    ASSERT_EQ(ShowHelpTopic("/qmhelp/kmover.htm"), 1);
    ASSERT_EQ(ui.openedUrls().size(), 1u);
    EXPECT_EQ(ui.openedUrls()[0], "file://" + folder + "/kmover.htm");
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(HelpTest, AMissingPageOrATopicLeavingTheHelpFolderGetsAClearMessage) {
    uikit::ScopedBackend use(ui);
    EXPECT_EQ(FindHelpPage("/qmhelp/../outside.htm"), "");
    EXPECT_EQ(FindHelpPage("/qmhelp/scheduler"), "") << "a folder is no page";
    EXPECT_EQ(ShowHelpTopic("QMhelp/kmmanrevokekey.htm"), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Quillmark");
    EXPECT_NE(ui.messages()[0].text.find("\"QMhelp/kmmanrevokekey.htm\" is not installed"),
              std::string::npos);
    EXPECT_TRUE(ui.openedUrls().empty());
}

TEST(InstalledHelp, EveryTopicTheProgramsNameIsInstalledWithTheBuild) {
    // The build copies the help pages beside the programs: bin/../share/quillmark/help.
    SetHelpFolderForTesting(std::string(QM_BIN_DIR) + "/../share/quillmark/help");
    for (const char* topic :
         {"/qmhelp/kmover.htm", "/qmhelp/kmset.htm", "/QMhelp/Scheduler/TSSCHEDULINGTASKS.HTM",
          "/qmhelp/TM/propbasics.htm", "QMhelp/kmmanexpimpkeys.htm", "QMhelp/kmmanrevokekey.htm",
          "QMhelp/kmmanfindkeyonserv.htm"})
        EXPECT_FALSE(FindHelpPage(topic).empty()) << topic;
    SetHelpFolderForTesting({});
}

TEST(Links, TheWebsiteKeyGivesAnAddressThatOpensAndSettingsOverrideIt) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    std::string text;
    ASSERT_EQ(GetLinkText(text, 1, "hlmain"), 1);
    EXPECT_EQ(text.rfind("https://", 0), 0u);
    ASSERT_EQ(OpenLink(text, 5), 1);
    ASSERT_EQ(ui.openedUrls().size(), 1u);
    EXPECT_EQ(ui.openedUrls()[0], text);

    ASSERT_TRUE(encreg::qmreg.WriteString("Link hlmain", "https://mirror.example.net/quillmark"));
    ASSERT_EQ(GetLinkText(text, 1, "hlmain"), 1);
    EXPECT_EQ(text, "https://mirror.example.net/quillmark");
    EXPECT_EQ(GetLinkText(text, 1, "nosuchkey"), 0);
    EXPECT_EQ(GetLinkText(text, 2, "hlmain"), 0);
}

TEST(Links, OpenLinkRefusesAddressesThatWouldStartPrograms) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    EXPECT_EQ(OpenLink("javascript:alert(1)", 5), 0);
    EXPECT_EQ(OpenLink("ftp://x.example/", 5), 0);
    EXPECT_TRUE(ui.openedUrls().empty());
    EXPECT_EQ(ui.messages().size(), 2u);
}

TEST(Startup, FirstRunCreatesFoldersAndDefaultsOnceAndKeepsUserValues) {
    const std::string data = std::string(std::getenv("XDG_DATA_HOME")) + "/Quillmark";
    ASSERT_EQ(IsFirstRun(), 1);
    ASSERT_TRUE(encreg::qmreg.WriteBYTE("Compress", 0)); // the user's choice, made before
    ASSERT_EQ(InitFirstRun(), 1);
    EXPECT_EQ(IsFirstRun(), 0);
    struct stat st {};
    ASSERT_EQ(::stat((data + "/keys").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const CQMRegistry reg;
    std::string v;
    ASSERT_TRUE(reg.ReadStringEx(encreg::szFileSchedule, v));
    EXPECT_TRUE(reg.ValueExists(encreg::szFileSchedule)) << "stored, not only a built-in default";
    EXPECT_EQ(v, data + "/schedule.qms");
    unsigned char b = 9;
    ASSERT_TRUE(reg.ReadBYTEEx("Mode", b));
    EXPECT_EQ(b, 2);
    ASSERT_TRUE(reg.ReadBYTEEx("Compress", b));
    EXPECT_EQ(b, 0);
    ASSERT_TRUE(reg.ReadBYTEEx(encreg::szNoMes, b));
    EXPECT_EQ(b, 0);
    EXPECT_TRUE(reg.ValueExists("ExtsNotCompress"));
}

TEST(Startup, EveryStartRestoresMissingFoldersAndClosesOpenedPermissions) {
    ASSERT_EQ(InitFirstRun(), 1);
    const std::string keys = qmtest::TestRoot() + "/mykeys";
    ASSERT_TRUE(encreg::qmreg.WriteString(encreg::szKeyFolder, keys + "/"));
    ::chmod(CQMRegistry::SettingsFilePath().c_str(), 0644);
    EXPECT_EQ(StartupCheck(1), 1);
    struct stat st {};
    ASSERT_EQ(::stat(keys.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    ASSERT_EQ(::stat(CQMRegistry::SettingsFilePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Startup, TheControlCenterRunsTheStartUpRoutinesWhenItStarts) {
    const auto r =
        qmtest::RunProgram(qmtest::ProgramPath("qmcenter"), {}, {}, {"QT_QPA_PLATFORM=offscreen"}, 3000);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(IsFirstRun(), 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::stat((std::string(std::getenv("XDG_DATA_HOME")) + "/Quillmark/keys").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}
