// Schedule files whose texts are sealed with the document password.
#include "TaskTestSupport.h"

#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/Archive.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

using tasktest::DescribeFields;
using tasktest::EveryKind;
using tasktest::ScopedPassword;

namespace {

std::int32_t Int32At(const std::string& bytes, std::size_t pos) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[pos + static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(v);
}

} // namespace

TEST(SealedSchedule, EveryFieldOfEveryKindSurvives) {
    ScopedPassword password("open sesame");
    EveryKind list;
    CTaskManager loaded;
    std::string error;
    ASSERT_TRUE(loaded.ReadScheduleBytes(list.Save(), error)) << error;
    EXPECT_EQ(DescribeFields(*loaded.m_lstDelete.at(0)), DescribeFields(list.del));
    EXPECT_EQ(DescribeFields(*loaded.m_lstEncrypt.at(0)), DescribeFields(list.enc));
    EXPECT_EQ(DescribeFields(*loaded.m_lstSendMail.at(0)), DescribeFields(list.mail));
}

TEST(SealedSchedule, TextsAreSealedAndTheEncryptFieldsTakeTheSealedOrder) {
    ScopedPassword password("pw");
    CActionEncryptFile enc("/secret/place");
    enc.m_csName = "hidden name";
    enc.m_csEncPassword = "task password";
    enc.m_bWipe = 0x11111111;
    enc.m_bArchive = 0x22222222;
    enc.m_nAlgorithm = 0x33333333;
    enc.m_nMode = 0x44444444;
    CArchive ar;
    enc.Serialize(ar);
    const std::string& bytes = ar.GetData();
    for (const char* plain : {"hidden name", "/secret/place", "task password"})
        EXPECT_EQ(bytes.find(plain), std::string::npos) << plain;

    // Name, then the base numbers: the name is an int32 length and that many sealed bytes.
    std::size_t pos = 0;
    auto skipSealed = [&] { pos += 4 + static_cast<std::size_t>(Int32At(bytes, pos)); };
    skipSealed();
    pos += 8 * 4 + 4 * 8 + 3 * 4;
    skipSealed(); // location
    skipSealed(); // mask
    pos += 4;     // subfolders
    for (int i = 0; i < 4; ++i)
        skipSealed(); // destination, archive, key file, password
    EXPECT_EQ(Int32At(bytes, pos), 0x33333333);
    EXPECT_EQ(Int32At(bytes, pos + 4), 0x22222222);
    EXPECT_EQ(Int32At(bytes, pos + 8), 0x44444444);
    EXPECT_EQ(Int32At(bytes, pos + 12), 0x11111111);
    EXPECT_EQ(pos + 16, bytes.size());
}

TEST(SealedSchedule, AWrongPasswordFailsCleanlyWithTheEngineReason) {
    std::string bytes;
    {
        ScopedPassword password("right");
        EveryKind list;
        bytes = list.Save();
    }
    ScopedPassword password("wrong");
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scope(ui);
    CTaskManager loaded;
    std::string error;
    EXPECT_FALSE(loaded.ReadScheduleBytes(bytes, error));
    EXPECT_EQ(error.rfind("Failed to decrypt document: ", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("Failed to decrypt document: ").size());
    // The name is in the base part: the user is shown the reason, and nothing was loaded.
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, error);
    EXPECT_TRUE(loaded.m_lstDelete.empty());
}

TEST(SealedSchedule, AnEmptyPasswordDoesNotLoadASealedFile) {
    // Seal output differs each time; several files guard against a lucky parse.
    for (int round = 0; round < 4; ++round) {
        std::string bytes;
        {
            ScopedPassword password("pw" + std::to_string(round));
            EveryKind list;
            bytes = list.Save();
        }
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scope(ui);
        CTaskManager loaded;
        std::string error;
        EXPECT_FALSE(loaded.ReadScheduleBytes(bytes, error)) << round;
        EXPECT_FALSE(error.empty());
    }
}

TEST(SealedSchedule, ACountedFileReadWithAPasswordFailsCleanly) {
    EveryKind list;
    const std::string bytes = list.Save();
    ScopedPassword password("pw");
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scope(ui);
    CTaskManager loaded;
    std::string error;
    EXPECT_FALSE(loaded.ReadScheduleBytes(bytes, error));
    EXPECT_FALSE(error.empty());
}

TEST(SealedSchedule, ALengthBeyondTheDataIsAStreamError) {
    ScopedPassword password("pw");
    const std::string bytes("\x10\x00\x00\x00"
                            "abc",
                            7);
    CArchive in(bytes);
    std::string text;
    EXPECT_THROW(CAction::SerializeString(in, text), CArchiveException);
    const std::string negative("\xFF\xFF\xFF\xFF", 4);
    CArchive in2(negative);
    EXPECT_THROW(CAction::SerializeString(in2, text), CArchiveException);
}
