#include "uikit/HeadlessBackend.h"
#include "uikit/ScriptedBackend.h"
#include "uikit/Ui.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace uikit;

namespace {

// A small piece of "application" logic to drive through the services, as later modules will.
std::string ConfirmOverwrite(const std::string& path) {
    const Answer a = MessageBox("The file already exists. Overwrite?\n" + path, "Quillmark",
                                Buttons::YesNoCancel, Icon::Question);
    switch (a) {
    case Answer::Yes:
        return "overwrite";
    case Answer::No:
        return "skip";
    default:
        return "stop";
    }
}

} // namespace

TEST(ScriptedBackend, RecordsTheExactMessageAndTheAnswerNoLeadsToSkip) {
    ScriptedBackend ui;
    ScopedBackend use(ui);
    ui.queueAnswer(Answer::No);
    EXPECT_EQ(ConfirmOverwrite("/home/u/a.qmp"), "skip");
    ASSERT_EQ(ui.messages().size(), 1u);
    const Message& m = ui.messages()[0];
    EXPECT_EQ(m.text, "The file already exists. Overwrite?\n/home/u/a.qmp");
    EXPECT_EQ(m.caption, "Quillmark");
    EXPECT_EQ(m.buttons, Buttons::YesNoCancel);
    EXPECT_EQ(m.icon, Icon::Question);
    EXPECT_TRUE(ui.allAnswersUsed());
    EXPECT_EQ(ui.unanswered(), 0u);
}

TEST(ScriptedBackend, UnqueuedQuestionGetsTheSafeAnswerAndIsCounted) {
    ScriptedBackend ui;
    ScopedBackend use(ui);
    EXPECT_EQ(ConfirmOverwrite("x"), "stop");
    EXPECT_FALSE(ChooseFolder(FolderRequest{"Quillmark", "Select folder", ""}).has_value());
    EXPECT_EQ(ui.unanswered(), 2u);
}

TEST(ScriptedBackend, ChoosersTextPromptsHandlersAndPumpsAreScripted) {
    ScriptedBackend ui;
    ScopedBackend use(ui);
    ui.queueFiles(std::vector<std::string>{"/a.qmk", "/b.qmk"});
    ui.queueFolder(std::string("/out"));
    ui.queueText(std::string("secret"));
    int pumps = 0;
    ui.setPumpHandler([&] { ++pumps; });
    ui.setMessageHandler([](const Message& m) -> std::optional<Answer> {
        if (m.text == "Cancel?")
            return Answer::Yes;
        return std::nullopt;
    });

    FileRequest fr;
    fr.title = "Select key files";
    fr.filter = "Key files (*.qmk)|*.qmk||";
    fr.flags = kMultiSelect | kFileMustExist;
    auto files = ChooseFiles(fr);
    ASSERT_TRUE(files);
    EXPECT_EQ(files->size(), 2u);
    EXPECT_EQ(ui.fileRequests()[0].title, "Select key files");
    EXPECT_EQ(ui.fileRequests()[0].flags, kMultiSelect | kFileMustExist);
    EXPECT_EQ(*ChooseFolder({"Quillmark", "Select output folder", ""}), "/out");
    EXPECT_EQ(*AskText({"Password:", "Quillmark", true, ""}), "secret");
    EXPECT_TRUE(ui.textRequests()[0].hidden);
    EXPECT_EQ(MessageBox("Cancel?", "Quillmark", Buttons::YesNo), Answer::Yes);
    PumpMessages();
    PumpMessages();
    EXPECT_EQ(pumps, 2);
    EXPECT_EQ(ui.pumpCount(), 2u);
    {
        WaitCursor busy;
        EXPECT_EQ(ui.waitCursorDepth(), 1);
    }
    EXPECT_EQ(ui.waitCursorDepth(), 0);
    EXPECT_EQ(ui.waitCursorShown(), 1);
}

TEST(SafeAnswer, PrefersCancelThenNoThenOkAndHonoursAValidDefault) {
    EXPECT_EQ(SafeAnswer({"", "", Buttons::YesNoCancel, Icon::None, std::nullopt}), Answer::Cancel);
    EXPECT_EQ(SafeAnswer({"", "", Buttons::YesNo, Icon::None, std::nullopt}), Answer::No);
    EXPECT_EQ(SafeAnswer({"", "", Buttons::OK, Icon::None, std::nullopt}), Answer::OK);
    EXPECT_EQ(SafeAnswer({"", "", Buttons::YesNo, Icon::None, Answer::Yes}), Answer::Yes);
    // A default the buttons do not offer is ignored.
    EXPECT_EQ(SafeAnswer({"", "", Buttons::YesNo, Icon::None, Answer::Retry}), Answer::No);
}

TEST(HeadlessBackend, PrintsTheMessageAndNeverBlocks) {
    std::FILE* out = std::tmpfile();
    HeadlessBackend headless(false, out);
    ScopedBackend use(headless);
    EXPECT_EQ(MessageBox("Delete 3 files?", "Quillmark", Buttons::YesNo, Icon::Question), Answer::No);
    EXPECT_FALSE(ChooseFiles(FileRequest{}).has_value());
    EXPECT_FALSE(AskText({"Password:", "Quillmark", true, ""}).has_value());
    std::rewind(out);
    char buf[256] = {};
    ASSERT_NE(std::fgets(buf, sizeof buf, out), nullptr);
    EXPECT_STREQ(buf, "Quillmark: Delete 3 files?\n");
    std::fclose(out);
}

TEST(ParseFilter, SplitsPairsPatternsAndStopsAtTheDoubleBar) {
    const auto entries =
        ParseFilter("Key files (*.qmk)|*.qmk|Archives|*.qma; *.qmp|All files (*.*)|*.*||ignored|x");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].description, "Key files (*.qmk)");
    EXPECT_EQ(entries[0].patterns, std::vector<std::string>{"*.qmk"});
    EXPECT_EQ(entries[1].patterns, (std::vector<std::string>{"*.qma", "*.qmp"}));
    EXPECT_EQ(entries[2].patterns, std::vector<std::string>{"*.*"});
    EXPECT_TRUE(ParseFilter("").empty());
}
