#include "misckit/SessionKey.h"

#include "TestSupport.h"
#include "corecrypt/KeyFile.h"
#include "misckit/Registry.h"
#include "platform/XdgPaths.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>

using misckit::GTK;
using uikit::Answer;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

} // namespace

TEST(GTK, AnExistingKeyFileIsChosenAndStoredWithTheMode) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    const std::string path = qmtest::MakeTempDir("keys") + "/work.qmk";
    qmtest::WriteFile(path, std::string(96, 'k'));
    ui.queueAnswer(Answer::Yes);
    ui.queueFiles(std::vector<std::string>{path});
    SESSIONKEY_ key{};
    key.nPasswordLength = 3;
    std::memcpy(key.szPassword, "pwd", 3);
    ASSERT_EQ(GTK(&key, 17), 1);
    EXPECT_STREQ(key.szKeyFile, path.c_str());
    EXPECT_EQ(key.nKind, kSessionKeyFile);
    EXPECT_EQ(key.nMode, 17);
    EXPECT_EQ(key.nPasswordLength, 0) << "a key file record carries no password";
    EXPECT_EQ(key.szPassword[0], 0);
    ASSERT_EQ(ui.fileRequests().size(), 1u);
    EXPECT_FALSE(ui.fileRequests()[0].save);
    EXPECT_EQ(ui.fileRequests()[0].initialPath, misckit::GetKeyFolder());
    EXPECT_EQ(ui.messages()[0].caption, "Quillmark");
    EXPECT_EQ(ui.messages()[0].buttons, uikit::Buttons::YesNoCancel);
}

TEST(GTK, AChosenFileThatDoesNotExistIsRefusedAndCancelGivesZero) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    ui.queueAnswer(Answer::Yes);
    ui.queueFiles(std::vector<std::string>{qmtest::TestRoot() + "/missing.qmk"});
    ui.queueFiles(std::nullopt);
    SESSIONKEY_ key{};
    EXPECT_EQ(GTK(&key, 2), 0);
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[1].text, "Please select the existing key file.");
    ui.clear();
    ui.queueAnswer(Answer::Cancel);
    EXPECT_EQ(GTK(&key, 2), 0);
    EXPECT_TRUE(ui.fileRequests().empty());
    EXPECT_EQ(GTK(nullptr, 2), 0);
}

TEST(GTK, ANewKeyFileIsCreatedByTheEngineWithTheExtensionAdded) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    const std::string folder = qmtest::MakeTempDir("newkeys");
    ui.queueAnswer(Answer::No);
    ui.queueFiles(std::vector<std::string>{folder + "/fresh"});
    SESSIONKEY_ key{};
    ASSERT_EQ(GTK(&key, 2), 1);
    const std::string path = folder + "/fresh.qmk";
    EXPECT_STREQ(key.szKeyFile, path.c_str());
    EXPECT_EQ(qmtest::ReadFile(path).size(), corecrypt::kKeyFileSize);
    EXPECT_EQ(ModeOf(path), 0600u);
    ASSERT_EQ(ui.fileRequests().size(), 1u);
    EXPECT_TRUE(ui.fileRequests()[0].save);
    EXPECT_EQ(ui.fileRequests()[0].defaultExtension, "qmk");
}

TEST(GTK, AnExistingFileIsNeverReplacedByANewKey) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    const std::string folder = qmtest::MakeTempDir("old");
    const std::string old = folder + "/precious.qmk";
    qmtest::WriteFile(old, "the only key of many files");
    ui.queueAnswer(Answer::No);
    ui.queueFiles(std::vector<std::string>{old});
    ui.queueFiles(std::nullopt);
    SESSIONKEY_ key{};
    EXPECT_EQ(GTK(&key, 2), 0);
    EXPECT_EQ(qmtest::ReadFile(old), "the only key of many files");
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_NE(ui.messages()[1].text.find("never replaced"), std::string::npos);
}

TEST(GTK, APathLongerThanTheRecordHoldsIsRefused) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    std::string deep = qmtest::MakeTempDir("deep");
    while (deep.size() < 300)
        deep += "/abcdefghijklmnopqrstuvwxyz";
    std::string error;
    ASSERT_TRUE(platform::MakeFolders(deep, 0700, error)) << error;
    const std::string path = deep + "/k.qmk";
    qmtest::WriteFile(path, "key");
    ui.queueAnswer(Answer::Yes);
    ui.queueFiles(std::vector<std::string>{path});
    SESSIONKEY_ key{};
    EXPECT_EQ(GTK(&key, 2), 0);
    EXPECT_EQ(key.szKeyFile[0], 0);
    EXPECT_EQ(ui.messages().back().text, "The path of the key file is too long.");
}
