#include "uikit/UIException.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

TEST(CUIException, ReportTextJoinsTheTextsOrNamesTheCode) {
    EXPECT_EQ(CUIException(0, "ListFiles: wrong file mask", nullptr).GetReportText(),
              "ListFiles: wrong file mask");
    EXPECT_EQ(CUIException(1, "First", "Second").GetReportText(), "First\nSecond");
    EXPECT_EQ(CUIException(7, nullptr, "Only second").GetReportText(), "Only second");
    EXPECT_EQ(CUIException(53).GetReportText(), "Error 53.");
    const CUIException e(3, std::string("Cannot open"), std::string("/x"));
    EXPECT_EQ(e.GetCode(), 3);
    EXPECT_STREQ(e.what(), "Cannot open\n/x");
}

TEST(CUIException, ReportErrorShowsAnErrorBoxWithTheCaption) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use(ui);
    try {
        throw CUIException(0, "Wrong current view");
    } catch (const CUIException& e) {
        e.ReportError("Quillmark");
    }
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Wrong current view");
    EXPECT_EQ(ui.messages()[0].caption, "Quillmark");
    EXPECT_EQ(ui.messages()[0].icon, uikit::Icon::Error);
    EXPECT_EQ(ui.messages()[0].buttons, uikit::Buttons::OK);
}
