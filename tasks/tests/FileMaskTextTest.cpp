// The File mask text as the file mask window and the wizard edit it.
#include "tasks/model/FileMaskText.h"
#include "uikit/UIException.h"

#include <gtest/gtest.h>

TEST(FileMaskText, TypesAreStarDotMasksWithoutFurtherWildcards) {
    EXPECT_EQ(filemask::Split("|*.DOC|a?.txt||*.x*|"), (std::vector<std::string>{"*.doc", "a?.txt", "*.x*"}));
    EXPECT_TRUE(filemask::IsFileType("*.doc"));
    EXPECT_TRUE(filemask::IsFileType("*.tar.gz"));
    EXPECT_FALSE(filemask::IsFileType("*.x*"));
    EXPECT_FALSE(filemask::IsFileType("*.d?c"));
    EXPECT_FALSE(filemask::IsFileType("*."));
    EXPECT_FALSE(filemask::IsFileType("report.*"));
    EXPECT_EQ(filemask::Extension("*.tar.gz"), "tar.gz");
}

TEST(FileMaskText, AddingAndRemovingKeepsOneBarBetweenMasks) {
    std::string text;
    EXPECT_TRUE(filemask::Add(text, "*.PDF"));
    EXPECT_EQ(text, "|*.pdf|");
    EXPECT_FALSE(filemask::Add(text, "*.pdf")) << "already there";
    EXPECT_TRUE(filemask::Add(text, "a?.txt"));
    EXPECT_TRUE(filemask::Add(text, "*.doc"));
    EXPECT_EQ(text, "|*.pdf|a?.txt|*.doc|");
    filemask::Remove(text, "a?.txt", "Cannot find file mask.");
    EXPECT_EQ(text, "|*.pdf|*.doc|");
    try {
        filemask::Remove(text, "*.zip", "Cannot find file type.");
        ADD_FAILURE() << "no exception";
    } catch (const CUIException& e) {
        EXPECT_EQ(e.GetText(), "Cannot find file type.");
    }
    EXPECT_EQ(text, "|*.pdf|*.doc|");
    filemask::Remove(text, "*.doc", "");
    filemask::Remove(text, "*.PDF", "");
    EXPECT_EQ(text, "") << "a lone bar becomes empty";
    // A text that lacks its closing bar still takes a new mask cleanly.
    text = "|*.a";
    EXPECT_TRUE(filemask::Add(text, "*.b"));
    EXPECT_EQ(text, "|*.a|*.b|");
}

TEST(FileMaskText, ChosenExtensionsBecomeALowerCaseMask) {
    EXPECT_EQ(filemask::FromExtensions({".DOC", ".txt"}), "|*.doc|*.txt|");
    EXPECT_EQ(filemask::FromExtensions({}), "");
}
