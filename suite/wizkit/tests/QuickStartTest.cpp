#include "wizkit/QuickStart.h"

#include "TestSupport.h"
#include "corecrypt/KeyFile.h"
#include "misckit/Registry.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(QuickStart, TheKeyFolderIsCreatedPrivateAndStoredWithAFinalSlash) {
    const std::string root = qmtest::MakeTempDir("qs");
    std::string error;
    ASSERT_TRUE(wizkit::ApplyKeyFolder(root + "/a/keys//", error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat((root + "/a/keys").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::string stored;
    ASSERT_TRUE(CQMRegistry().ReadStringEx(encreg::szKeyFolder, stored));
    EXPECT_EQ(stored, root + "/a/keys/");
    EXPECT_FALSE(wizkit::ApplyKeyFolder("keys", error));
    qmtest::WriteFile(root + "/file", "x");
    EXPECT_FALSE(wizkit::ApplyKeyFolder(root + "/file/keys", error));
    ASSERT_TRUE(CQMRegistry().ReadStringEx(encreg::szKeyFolder, stored));
    EXPECT_EQ(stored, root + "/a/keys/"); // a refused folder changes nothing
}

TEST(QuickStart, AFirstKeyFileIsMadeButAnExistingFileIsNeverReplaced) {
    const std::string root = qmtest::MakeTempDir("qskey");
    std::string error;
    ASSERT_TRUE(wizkit::CreateFirstKeyFile(root + "/my key.qmk", error)) << error;
    std::uint8_t id[corecrypt::kKeyIdSize];
    corecrypt::SecureBytes secret;
    ASSERT_TRUE(corecrypt::ReadKeyFile(root + "/my key.qmk", id, secret, error)) << error;
    const std::string before = qmtest::ReadFile(root + "/my key.qmk");
    EXPECT_FALSE(wizkit::CreateFirstKeyFile(root + "/my key.qmk", error));
    EXPECT_NE(error.find("exists already"), std::string::npos);
    EXPECT_EQ(qmtest::ReadFile(root + "/my key.qmk"), before);
}

TEST(QuickStart, LocationsDropFoldersInsideOthersAndClearUnusedSlots) {
    std::string error;
    ASSERT_TRUE(wizkit::SaveLocations({"/a", "/b/", "/c", "/d", "/e", "/f"}, error));
    ASSERT_TRUE(wizkit::SaveLocations({"/data/", "/data/sub", "/database", "/home/me"}, error)) << error;
    EXPECT_EQ(wizkit::ReadLocations(), (std::vector<std::string>{"/data/", "/database/", "/home/me/"}));
    std::string sixth;
    ASSERT_TRUE(CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman).ReadStringEx("Location 6", sixth));
    EXPECT_EQ(sixth, "");
    std::vector<std::string> eleven;
    for (int i = 0; i < 11; ++i)
        eleven.push_back("/l" + std::to_string(i));
    EXPECT_FALSE(wizkit::SaveLocations(eleven, error));
    EXPECT_EQ(error, "10 is the maximal number of the destination items.");
    EXPECT_FALSE(wizkit::SaveLocations({"relative"}, error));
    EXPECT_EQ(wizkit::ReadLocations().size(), 3u);
}

TEST(QuickStart, IsOfferedOnceAndWithoutAWindowSaysItNeedsTheDesktop) {
    EXPECT_TRUE(wizkit::QuickStartPending());
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scoped(ui);
    EXPECT_EQ(wizkit::ShowQuickStart(nullptr), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_NE(ui.messages()[0].text.find("desktop"), std::string::npos);
    EXPECT_TRUE(wizkit::QuickStartPending()); // not shown, so still to be offered
    wizkit::MarkQuickStartOffered();
    EXPECT_FALSE(wizkit::QuickStartPending());
}
