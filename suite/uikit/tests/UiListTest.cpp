#include "uikit/HeadlessBackend.h"
#include "uikit/ScriptedBackend.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace uikit;

namespace {

std::string Captured(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string out;
    char buf[256];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, f))
        out.append(buf, n);
    return out;
}

} // namespace

TEST(ShowList, HeadlessPrintsTheTitleAndEachLine) {
    std::FILE* f = std::tmpfile();
    ASSERT_TRUE(f);
    HeadlessBackend ui(false, f);
    ScopedBackend use(ui);
    ShowList("File errors", {"Error: /a: cannot read", "Error: /b %s 100%"});
    EXPECT_EQ(Captured(f), "File errors:\n  Error: /a: cannot read\n  Error: /b %s 100%\n");
    std::fclose(f);
}

TEST(ShowList, ScriptedRecordsTitleAndLinesAndOpenedUrls) {
    ScriptedBackend ui;
    ScopedBackend use(ui);
    ShowList("Error with the following items:", {"one", "two"});
    ASSERT_EQ(ui.lists().size(), 1u);
    EXPECT_EQ(ui.lists()[0].title, "Error with the following items:");
    EXPECT_EQ(ui.lists()[0].lines, (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(OpenUrl("file:///x/help.htm"));
    ui.setOpenUrlResult(false);
    EXPECT_FALSE(OpenUrl("https://quillmark.example.org/"));
    EXPECT_EQ(ui.openedUrls().size(), 2u);
}

// A back-end written before lists existed still shows them, as one message.
TEST(ShowList, DefaultImplementationShowsTheLinesAsOneMessage) {
    struct Minimal : ScriptedBackend {
        void showList(const std::string& title, const std::vector<std::string>& lines) override {
            IUiBackend::showList(title, lines);
        }
        bool openUrl(const std::string& url) override { return IUiBackend::openUrl(url); }
    } ui;
    ScopedBackend use(ui);
    ShowList("T", {"a", "b"});
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "T");
    EXPECT_EQ(ui.messages()[0].text, "a\nb\n");
    EXPECT_FALSE(OpenUrl("https://x.example/"));
}

TEST(OpenUrl, HeadlessWithoutADisplayPrintsTheAddressAndFails) {
    std::FILE* f = std::tmpfile();
    ASSERT_TRUE(f);
    HeadlessBackend ui(false, f);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    EXPECT_FALSE(ui.openUrl("file:///help/index.htm"));
    EXPECT_NE(Captured(f).find("file:///help/index.htm"), std::string::npos);
    std::fclose(f);
}
