#include "misckit/SessionKey.h"

#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <cstring>

using misckit::GTP;

namespace {

std::string PasswordOf(const SESSIONKEY_& k) {
    return std::string(k.szPassword, static_cast<std::size_t>(k.nPasswordLength));
}

} // namespace

TEST(SessionKeyRecord, HasTheFixedLayoutThatTheOtherProgramsRead) {
    EXPECT_EQ(sizeof(SESSIONKEY_), 588u);
    EXPECT_EQ(sizeof(SESSIONKEY_) % 4, 0u) << "copied as 147 32-bit words";
    SESSIONKEY_ key{};
    key.nPasswordLength = 0x04030201;
    std::memcpy(key.szPassword, "secret", 6);
    std::strcpy(key.szKeyFile, "/home/u/k.qmk");
    const auto* bytes = reinterpret_cast<const unsigned char*>(&key);
    EXPECT_EQ(bytes[0], 0x01) << "the length is a little-endian 32-bit number at byte 0";
    EXPECT_EQ(bytes[3], 0x04);
    EXPECT_EQ(std::memcmp(bytes + 18, "secret", 6), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 328), "/home/u/k.qmk");
    EXPECT_EQ(328 + sizeof key.szKeyFile, 588u);
    EXPECT_EQ(18 + sizeof key.szPassword, 318u);
}

TEST(GTP, AsksHiddenTwiceAndStoresTheConfirmedPassword) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    ui.queueText(std::string("correct horse"));
    ui.queueText(std::string("correct horse"));
    SESSIONKEY_ key{};
    ASSERT_EQ(GTP(&key), 1);
    EXPECT_EQ(PasswordOf(key), "correct horse");
    EXPECT_EQ(key.nKind, kSessionKeyPassword);
    EXPECT_EQ(key.szPassword[13], 0) << "the rest of the password field stays zero";
    ASSERT_EQ(ui.textRequests().size(), 2u);
    for (const auto& r : ui.textRequests()) {
        EXPECT_TRUE(r.hidden);
        EXPECT_EQ(r.caption, "Quillmark");
    }
    EXPECT_EQ(ui.textRequests()[1].initialText, "") << "the confirmation starts empty";
}

TEST(GTP, MismatchEmptyAndTooLongAreRefusedAndAskedAgain) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    ui.queueText(std::string("first"));
    ui.queueText(std::string("frist"));
    ui.queueText(std::string(""));
    ui.queueText(std::string(301, 'x'));
    ui.queueText(std::string(300, 'y'));
    ui.queueText(std::string(300, 'y'));
    SESSIONKEY_ key{};
    ASSERT_EQ(GTP(&key), 1);
    EXPECT_EQ(key.nPasswordLength, 300);
    EXPECT_EQ(PasswordOf(key), std::string(300, 'y'));
    ASSERT_EQ(ui.messages().size(), 3u);
    EXPECT_EQ(ui.messages()[0].text, "The passwords do not match. Please type them again.");
    EXPECT_EQ(ui.messages()[1].text, "Please enter a password.");
    EXPECT_EQ(ui.messages()[2].text,
              "The password is too long. The maximum password length is 300 characters.");
    EXPECT_TRUE(ui.allAnswersUsed());
}

TEST(GTP, ThePasswordAlreadyGivenIsOfferedAndNeedsNoSecondTyping) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    SESSIONKEY_ key{};
    key.nPasswordLength = 4;
    std::memcpy(key.szPassword, "pass", 4);
    ui.queueText(std::string("pass"));
    ASSERT_EQ(GTP(&key), 1);
    EXPECT_EQ(PasswordOf(key), "pass");
    ASSERT_EQ(ui.textRequests().size(), 1u);
    EXPECT_EQ(ui.textRequests()[0].initialText, "pass");
}

TEST(GTP, CancelGivesZeroAndWipesTheRecord) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    SESSIONKEY_ key{};
    key.nPasswordLength = 3;
    std::memcpy(key.szPassword, "old", 3);
    ui.queueText(std::string("new one"));
    ui.queueText(std::nullopt); // cancels the confirmation
    EXPECT_EQ(GTP(&key), 0);
    const SESSIONKEY_ zero{};
    EXPECT_EQ(std::memcmp(&key, &zero, sizeof key), 0);
    EXPECT_EQ(GTP(nullptr), 0);
    // Without anybody to ask (a headless program without a terminal) nothing is entered.
    EXPECT_EQ(GTP(&key), 0);
}

TEST(GTP, ALengthOutOfRangeInTheRecordIsNotTrusted) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    SESSIONKEY_ key{};
    key.nPasswordLength = 100000;
    std::memset(key.szPassword, 'z', sizeof key.szPassword);
    ui.queueText(std::nullopt);
    EXPECT_EQ(GTP(&key), 0);
    ASSERT_EQ(ui.textRequests().size(), 1u);
    EXPECT_EQ(ui.textRequests()[0].initialText, std::string(300, 'z'));
}
