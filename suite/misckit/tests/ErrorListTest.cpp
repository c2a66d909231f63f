#include "misckit/ErrorList.h"

#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

using misckit::AddErrorItem;
using misckit::vsErrorItems;

TEST(ErrorList, AppendsOneFormattedLinePerCall) {
    vsErrorItems.clear();
    AddErrorItem("Error: %s:%s %s", "/home/u/a.txt", "Cannot open the file.", "");
    AddErrorItem("Error: %s %s", "/home/u/b.txt", "Access denied");
    AddErrorItem("Done. %d errors.", 2);
    ASSERT_EQ(vsErrorItems.size(), 3u);
    EXPECT_EQ(vsErrorItems[0], "Error: /home/u/a.txt:Cannot open the file. ");
    EXPECT_EQ(vsErrorItems[1], "Error: /home/u/b.txt Access denied");
    EXPECT_EQ(vsErrorItems[2], "Done. 2 errors.");
    EXPECT_STREQ(misckit::szAppName, "Quillmark");
}

TEST(ErrorList, ArgumentTextIsNeverReadAsAFormatAndLongTextIsCut) {
    vsErrorItems.clear();
    AddErrorItem("Error: %s", "%n%s%s%x %%");
    ASSERT_EQ(vsErrorItems.size(), 1u);
    EXPECT_EQ(vsErrorItems[0], "Error: %n%s%s%x %%");

    const std::string huge(1 << 20, 'p');
    AddErrorItem("Error: %s end", huge.c_str());
    ASSERT_EQ(vsErrorItems.size(), 2u);
    EXPECT_EQ(vsErrorItems[1].size(), 64u * 1024);
    EXPECT_EQ(vsErrorItems[1].compare(0, 10, "Error: ppp"), 0);

    AddErrorItem(nullptr);
    AddErrorItem("%s", "");
    ASSERT_EQ(vsErrorItems.size(), 3u) << "no format adds nothing; an empty line is a line";
    EXPECT_EQ(vsErrorItems[2], "");
}

TEST(ErrorList, ShowErrorListHandsTheLinesAndTitleToTheUi) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    misckit::ShowErrorList({"Error: /a", "Error: /b"}, "File errors");
    ASSERT_EQ(ui.lists().size(), 1u);
    EXPECT_EQ(ui.lists()[0].title, "File errors");
    EXPECT_EQ(ui.lists()[0].lines, (std::vector<std::string>{"Error: /a", "Error: /b"}));
}
