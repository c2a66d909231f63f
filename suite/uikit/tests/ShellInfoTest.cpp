#include "uikit/ShellInfo.h"
#include "uikit/DirDialog.h"
#include "uikit/ScriptedBackend.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

using namespace uikit;

TEST(ProgramFolder, IsTheTestProgramsFolderWithATrailingSlash) {
    const std::string folder = GetProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(::access((folder + "uikit_tests").c_str(), X_OK), 0) << folder;
}

TEST(FileTypeName, NamesTheSuitesFilesAndAsksTheMimeDatabaseForOthers) {
    EXPECT_EQ(GetFileTypeName("/x/secret.QMK"), "Quillmark key file");
    EXPECT_EQ(GetFileTypeName("/x/a.qmp"), "Quillmark encrypted file");
    EXPECT_EQ(GetFileTypeName("/x/a.qma"), "Quillmark encrypted archive");
    EXPECT_EQ(GetFileTypeName("/x/a.qms"), "Quillmark task list");
    // The description comes from the MIME database: not empty, and different for different types.
    const std::string png = GetFileTypeName("/nowhere/picture.png");
    const std::string txt = GetFileTypeName("/nowhere/notes.txt");
    EXPECT_FALSE(png.empty());
    EXPECT_FALSE(txt.empty());
    EXPECT_NE(png, txt);
    EXPECT_EQ(GetFileTypeName("/nowhere/blob.zzqq"), "zzqq file");
    EXPECT_EQ(GetFileTypeName("/nowhere/Makefile.d/noext"), "File");
}

TEST(FileTimeText, Style1IsLocalDateAndTimeWithinThirtyCharacters) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(FileTimeToText(1700000000, 1), "2023-11-14 22:13:20");
    EXPECT_EQ(FileTimeToText(1700000000, 0), "2023-11-14");
    EXPECT_EQ(FileTimeToText(0, 1), "");
    // The far future and the far past still fit.
    EXPECT_LE(FileTimeToText(253402300799LL, 1).size(), kFileTimeTextMax);
    EXPECT_LE(FileTimeToText(-62135596800LL, 1).size(), kFileTimeTextMax);
    ::setenv("TZ", "Asia/Kolkata", 1);
    ::tzset();
    EXPECT_EQ(FileTimeToText(1700000000, 1), "2023-11-15 03:43:20");
    ::unsetenv("TZ");
    ::tzset();
}

TEST(SizeText, UsesBytesBelowOneKilobyteAndThreeDigitsAbove) {
    EXPECT_EQ(SizeToText(0), "0 bytes");
    EXPECT_EQ(SizeToText(1023), "1023 bytes");
    EXPECT_EQ(SizeToText(1024), "1.00 KB");
    EXPECT_EQ(SizeToText(1536), "1.50 KB");
    EXPECT_EQ(SizeToText(12 * 1024 * 1024 + 300 * 1024), "12.3 MB");
    EXPECT_EQ(SizeToText(1024ull * 1024 - 1), "1.00 MB");
    EXPECT_EQ(SizeToText(456ull << 30), "456 GB");
    EXPECT_EQ(SizeToText(~0ull), "16.0 EB");
}

TEST(DriveName, RootIsTheFileSystemAndOtherFoldersTheirName) {
    EXPECT_FALSE(GetDriveDisplayName("/").empty());
    const std::string dir = qmtest::MakeTempDir("mnt");
    EXPECT_EQ(GetDriveDisplayName(dir + "/"), dir.substr(dir.rfind('/') + 1));
}

TEST(SpecialFolder, FolderFiveIsThePrivateKeyFolderUnderTheDataHome) {
    const std::string keys = GetSpecialFolder(kSpecialFolderKeys);
    EXPECT_EQ(keys, std::string(std::getenv("XDG_DATA_HOME")) + "/Quillmark/keys/");
    struct stat st {};
    ASSERT_EQ(::stat(keys.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(GetSpecialFolder(12345), "");
}

TEST(DirDialog, AsksThroughTheServicesAndKeepsThePathOnCancel) {
    ScriptedBackend ui;
    ScopedBackend use(ui);
    ui.queueFolder(std::string("/home/someone/keys/"));
    ui.queueFolder(std::nullopt);
    CDirDialog dlg;
    dlg.m_strWindowTitle = "Quillmark";
    dlg.m_strTitle = "Select output folder";
    dlg.m_strInitialDir = "/tmp";
    ASSERT_TRUE(dlg.DoBrowse());
    EXPECT_EQ(dlg.m_strPath, "/home/someone/keys");
    EXPECT_FALSE(dlg.DoBrowse());
    EXPECT_EQ(dlg.m_strPath, "/home/someone/keys");
    ASSERT_EQ(ui.folderRequests().size(), 2u);
    EXPECT_EQ(ui.folderRequests()[0].windowTitle, "Quillmark");
    EXPECT_EQ(ui.folderRequests()[0].title, "Select output folder");
    EXPECT_EQ(ui.folderRequests()[0].initialPath, "/tmp");
}
