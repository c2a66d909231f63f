#include "misckit/HiddenMessages.h"

#include "misckit/Registry.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

namespace {

uikit::Message Question() {
    uikit::Message message;
    message.text = "Open the output folder?";
    message.caption = "Quillmark";
    message.buttons = uikit::Buttons::YesNo;
    return message;
}

} // namespace

TEST(HiddenMessages, TickingTheBoxSilencesTheMessageForLaterCalls) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scoped(ui);
    ui.setDontShowAgain(true);
    ui.queueAnswer(uikit::Answer::Yes);
    EXPECT_EQ(misckit::ShowHideableMessage("OpenOutputFolder", Question(), uikit::Answer::No),
              uikit::Answer::Yes);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_NE(ui.messages()[0].dontShowAgain, nullptr); // the box was offered
    EXPECT_TRUE(misckit::IsMessageHidden("OpenOutputFolder"));

    EXPECT_EQ(misckit::ShowHideableMessage("OpenOutputFolder", Question(), uikit::Answer::No),
              uikit::Answer::No);
    EXPECT_EQ(ui.messages().size(), 1u); // not asked again
}

TEST(HiddenMessages, AnUntickedBoxKeepsAsking) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scoped(ui);
    misckit::ShowHideableMessage("WeakCipher", Question(), uikit::Answer::OK);
    misckit::ShowHideableMessage("WeakCipher", Question(), uikit::Answer::OK);
    EXPECT_EQ(ui.messages().size(), 2u);
    EXPECT_TRUE(misckit::HiddenMessageIds().empty());
}

TEST(HiddenMessages, ShowingAgainRemovesOneOrAllAndKeepsTheRest) {
    ASSERT_TRUE(misckit::HideMessage("A"));
    ASSERT_TRUE(misckit::HideMessage("B"));
    ASSERT_TRUE(misckit::HideMessage("A")); // twice is once
    EXPECT_EQ(misckit::HiddenMessageIds(), (std::vector<std::string>{"A", "B"}));
    ASSERT_TRUE(misckit::ShowMessageAgain("A"));
    EXPECT_EQ(misckit::HiddenMessageIds(), (std::vector<std::string>{"B"}));
    ASSERT_TRUE(misckit::ShowAllMessagesAgain());
    EXPECT_TRUE(misckit::HiddenMessageIds().empty());
    std::string stored;
    EXPECT_FALSE(CQMRegistry().ReadStringEx("HiddenMessages", stored));
}

TEST(HiddenMessages, AnIdHoldingTheSeparatorIsRefusedRatherThanSplit) {
    EXPECT_FALSE(misckit::HideMessage("A;B"));
    EXPECT_FALSE(misckit::HideMessage(""));
    EXPECT_TRUE(misckit::HiddenMessageIds().empty());
}

TEST(Settings, KeyServerAndWipingSettingsHaveSafeDefaultsAndRefuseOutOfRangeValues) {
    const CQMRegistry reg;
    EXPECT_EQ(reg.GetKeyServer(), "");
    EXPECT_EQ(reg.GetAllowPlainHttp(), 0);
    EXPECT_EQ(reg.GetWipeRounds(), 3);
    reg.WriteBYTE(encreg::szWipeRounds, 0);
    EXPECT_EQ(reg.GetWipeRounds(), 3);
    reg.WriteBYTE(encreg::szWipeRounds, 36);
    EXPECT_EQ(reg.GetWipeRounds(), 3);
    reg.WriteBYTE(encreg::szWipeRounds, 35);
    EXPECT_EQ(reg.GetWipeRounds(), 35);
    reg.WriteBYTE(encreg::szKeyServerPlainHttp, 7);
    EXPECT_EQ(reg.GetAllowPlainHttp(), 1);
}
