// The schedule file: exact bytes, both string forms, and what the reader does with damaged files.
#include "TaskTestSupport.h"
#include "TestSupport.h"

#include "platform/AtomicFile.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/Archive.h"
#include "uikit/ScriptedBackend.h"
#include "uikit/UIException.h"

#include <gtest/gtest.h>

using tasktest::DescribeFields;
using tasktest::FillEveryField;

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

std::string Save(CTaskManager& manager) {
    std::string bytes, error;
    EXPECT_TRUE(manager.WriteScheduleBytes(bytes, error)) << error;
    return bytes;
}

// The worked example: one delete task T, id 1, at startup, on C:\x with mask |*.*|.
std::string WorkedExample() {
    std::string s = Bytes({0x01, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x11, 0x00}) + "CActionDeleteFile";
    s += Bytes({0x01, 0x54, 0x01, 0, 0, 0, 0x03, 0, 0, 0, 0x06, 0, 0, 0});
    s += std::string(5 * 4 + 32 + 3 * 4, '\0');
    s += Bytes({0x04}) + "C:\\x" + Bytes({0x05}) + "|*.*|";
    s += Bytes({1, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0});
    return s;
}

struct Loaded {
    CTaskManager manager;
    bool ok = false;
    std::string error;
};

std::unique_ptr<Loaded> Load(const std::string& bytes) {
    auto loaded = std::make_unique<Loaded>();
    loaded->ok = loaded->manager.ReadScheduleBytes(bytes, loaded->error);
    return loaded;
}

// A base record with a given schema for a delete task named "T".
std::string DeleteRecordWithSchema(int schema) {
    std::string s = Bytes({0x01, 0x00, 0xFF, 0xFF, schema, 0x00, 0x11, 0x00}) + "CActionDeleteFile";
    return s + WorkedExample().substr(s.size());
}

} // namespace

TEST(ScheduleBytes, WorkedExampleIsReproducedAndReadBack) {
    CTaskManager manager;
    CActionDeleteFile task("C:\\x");
    task.m_csName = "T";
    task.m_nId = 1;
    task.m_nRunType = 3;
    task.m_nTimeFrame = 6;
    task.m_csMask = "|*.*|";
    task.m_nDelType = 1;
    manager.m_lstDelete.push_back(&task);
    const std::string bytes = Save(manager);
    EXPECT_EQ(bytes.size(), 130u);
    EXPECT_EQ(bytes, WorkedExample());

    auto loaded = Load(bytes);
    ASSERT_TRUE(loaded->ok) << loaded->error;
    ASSERT_EQ(loaded->manager.m_lstDelete.size(), 1u);
    EXPECT_TRUE(loaded->manager.m_lstEncrypt.empty());
    EXPECT_EQ(DescribeFields(*loaded->manager.m_lstDelete[0]), DescribeFields(task));
}

TEST(ScheduleBytes, LaterTasksOfAClassCarryItsIndexAcrossLists) {
    CTaskManager manager;
    CActionDeleteFile d1("/a"), d2("/b");
    CActionEncryptFile e1("/c"), e2("/d");
    CActionSendEmail m1;
    manager.m_lstDelete = {&d1, &d2};
    manager.m_lstEncrypt = {&e1, &e2};
    manager.m_lstSendMail = {&m1};
    const std::string bytes = Save(manager);

    // Walk the file: count, new class, record, class reference, record, ...
    auto recordSize = [](CAction& t) {
        CArchive ar;
        t.Serialize(ar);
        return ar.GetData().size();
    };
    std::size_t pos = 0;
    auto expect = [&](const std::string& part) {
        EXPECT_EQ(bytes.substr(pos, part.size()), part) << "at " << pos;
        pos += part.size();
    };
    expect(Bytes({0x02, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x11, 0x00}) + "CActionDeleteFile");
    pos += recordSize(d1);
    expect(Bytes({0x01, 0x80})); // class 1
    pos += recordSize(d2);
    expect(Bytes({0x02, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x12, 0x00}) + "CActionEncryptFile");
    pos += recordSize(e1);
    expect(Bytes({0x04, 0x80})); // class 4: after the delete class and its two tasks
    pos += recordSize(e2);
    expect(Bytes({0x01, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x10, 0x00}) + "CActionSendEmail");
    pos += recordSize(m1);
    EXPECT_EQ(pos, bytes.size());

    auto loaded = Load(bytes);
    ASSERT_TRUE(loaded->ok) << loaded->error;
    EXPECT_EQ(loaded->manager.m_lstDelete.size(), 2u);
    EXPECT_EQ(loaded->manager.m_lstEncrypt.size(), 2u);
    EXPECT_EQ(loaded->manager.m_lstSendMail.size(), 1u);
}

TEST(ScheduleBytes, TwoDeletesAndOneEncryptHaveTheShownTags) {
    CTaskManager manager;
    CActionDeleteFile d1("/a"), d2("/b");
    CActionEncryptFile e1("/c");
    manager.m_lstDelete = {&d1, &d2};
    manager.m_lstEncrypt = {&e1};
    const std::string bytes = Save(manager);
    const std::string deleteClass = Bytes({0xFF, 0xFF, 0x03, 0x00, 0x11, 0x00}) + "CActionDeleteFile";
    const std::string encryptClass = Bytes({0xFF, 0xFF, 0x03, 0x00, 0x12, 0x00}) + "CActionEncryptFile";
    EXPECT_EQ(bytes.substr(0, 2), Bytes({0x02, 0x00}));
    EXPECT_EQ(bytes.substr(2, deleteClass.size()), deleteClass);
    const auto encryptAt = bytes.find(encryptClass);
    ASSERT_NE(encryptAt, std::string::npos);
    EXPECT_EQ(bytes.substr(encryptAt - 2, 2), Bytes({0x01, 0x00}));
    EXPECT_EQ(bytes.substr(bytes.size() - 2), Bytes({0x00, 0x00}));
    // The second delete task is introduced by 01 80 right after the first record.
    const std::size_t first = 2 + deleteClass.size();
    const std::string second = bytes.substr(first, encryptAt - 2 - first);
    EXPECT_NE(second.find(Bytes({0x01, 0x80})), std::string::npos);
}

TEST(ScheduleBytes, EmptyListsAreSixZeroBytesAndAnEmptyFileIsAnEmptyList) {
    CTaskManager manager;
    EXPECT_EQ(Save(manager), std::string(6, '\0'));
    auto empty = Load("");
    EXPECT_TRUE(empty->ok);
    auto zeros = Load(std::string(6, '\0'));
    EXPECT_TRUE(zeros->ok);
    EXPECT_TRUE(zeros->manager.m_lstDelete.empty());
}

TEST(ScheduleBytes, EveryFieldOfEveryKindSurvivesInCountedText) {
    tasktest::EveryKind list;
    auto [del, enc, mail] = std::tie(list.del, list.enc, list.mail);
    auto loaded = Load(list.Save());
    ASSERT_TRUE(loaded->ok) << loaded->error;
    EXPECT_EQ(DescribeFields(*loaded->manager.m_lstDelete.at(0)), DescribeFields(del));
    EXPECT_EQ(DescribeFields(*loaded->manager.m_lstEncrypt.at(0)), DescribeFields(enc));
    EXPECT_EQ(DescribeFields(*loaded->manager.m_lstSendMail.at(0)), DescribeFields(mail));
    // Tasks built by the reader have their own option lists too.
    const auto& readRows = loaded->manager.m_lstSendMail.at(0)->m_arProps;
    ASSERT_EQ(readRows.size(), mail.m_arProps.size());
    for (std::size_t i = 0; i < readRows.size(); ++i) {
        EXPECT_EQ(readRows[i].m_vOptions, mail.m_arProps[i].m_vOptions) << readRows[i].m_csLabel;
        EXPECT_EQ(readRows[i].m_pTarget == nullptr, mail.m_arProps[i].m_pTarget == nullptr);
    }
}

TEST(ScheduleBytes, CountsAtAndAbove0xFFFFUseTheEscape) {
    CArchive ar;
    ar.WriteCount(0xFFFE);
    ar.WriteCount(0xFFFF);
    ar.WriteCount(0x12345);
    EXPECT_EQ(ar.GetData(), Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0x45, 0x23, 1, 0}));
    CArchive in(ar.GetData());
    EXPECT_EQ(in.ReadCount(), 0xFFFEu);
    EXPECT_EQ(in.ReadCount(), 0xFFFFu);
    EXPECT_EQ(in.ReadCount(), 0x12345u);
    EXPECT_TRUE(in.AtEnd());
}

TEST(CountedText, PrefixGrowsAtTheLimits) {
    const std::pair<std::size_t, std::string> cases[] = {
        {0, Bytes({0})},
        {254, Bytes({0xFE})},
        {255, Bytes({0xFF, 0xFF, 0x00})},
        {0xFFFD, Bytes({0xFF, 0xFD, 0xFF})},
        {0xFFFE, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0})},
        {0x10000, Bytes({0xFF, 0xFF, 0xFF, 0, 0, 1, 0})},
    };
    for (const auto& [length, prefix] : cases) {
        CArchive ar;
        ar.WriteCountedText(std::string(length, 'q'));
        EXPECT_EQ(ar.GetData().substr(0, prefix.size()), prefix) << length;
        EXPECT_EQ(ar.GetData().size(), prefix.size() + length);
        CArchive in(ar.GetData());
        EXPECT_EQ(in.ReadCountedText(), std::string(length, 'q'));
        EXPECT_TRUE(in.AtEnd());
    }
}

TEST(CountedText, ReaderAcceptsThe64BitAndWideForms) {
    const std::string longBytes =
        Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 0, 0, 0, 0}) + "abc";
    CArchive longForm(longBytes);
    EXPECT_EQ(longForm.ReadCountedText(), "abc");
    EXPECT_TRUE(longForm.AtEnd());

    // "é€" in UTF-16LE, then a surrogate pair (U+1F600).
    const std::string wideBytes =
        Bytes({0xFF, 0xFE, 0xFF, 0x04, 0xE9, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE});
    CArchive wide(wideBytes);
    EXPECT_EQ(wide.ReadCountedText(), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_TRUE(wide.AtEnd());

    // A wide text with a three-byte unit count.
    std::string longWide = Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x01});
    for (int i = 0; i < 256; ++i)
        longWide += Bytes({'x', 0});
    CArchive wide2(longWide);
    EXPECT_EQ(wide2.ReadCountedText(), std::string(256, 'x'));
}

TEST(CountedText, LengthsBeyondTheDataAreRefusedBeforeAllocating) {
    const std::string cases[] = {
        Bytes({0x05, 'a', 'b'}),
        Bytes({0xFF, 0x00, 0x10}),
        Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0x7F}),
        Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80, 0, 0, 0, 0}), // above 2^31 - 1
        Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}), // no bytes
        Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}),
        Bytes({0xFF, 0xFE, 0xFF, 0x02, 'a', 0, 'b'}), // 2 units need 4 bytes
        Bytes({0xFF}),
    };
    for (const auto& bytes : cases) {
        CArchive in(bytes);
        EXPECT_THROW(in.ReadCountedText(), CArchiveException);
    }
}

TEST(ObjectStream, ASendMailRecordInTheFirstListLandsThere) {
    CTaskManager manager;
    CActionSendEmail mail;
    mail.m_csSubject = "hello";
    manager.m_lstDelete = {&mail};
    auto loaded = Load(Save(manager));
    ASSERT_TRUE(loaded->ok) << loaded->error;
    ASSERT_EQ(loaded->manager.m_lstDelete.size(), 1u);
    auto* read = dynamic_cast<CActionSendEmail*>(loaded->manager.m_lstDelete[0]);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->m_csSubject, "hello");
}

TEST(ObjectStream, ReferencesToEarlierObjectsAddThemAgain) {
    CTaskManager manager;
    CActionDeleteFile del("/x");
    manager.m_lstDelete = {&del, &del};
    const std::string bytes = Save(manager);
    EXPECT_EQ(bytes.substr(bytes.size() - 6), Bytes({0x02, 0x00, 0x00, 0x00, 0x00, 0x00})); // object 2
    auto loaded = Load(bytes);
    ASSERT_TRUE(loaded->ok) << loaded->error;
    ASSERT_EQ(loaded->manager.m_lstDelete.size(), 2u);
    EXPECT_EQ(loaded->manager.m_lstDelete[0], loaded->manager.m_lstDelete[1]);
}

TEST(ObjectStream, DamagedStreamsEndTheLoadWithAReason) {
    const std::string example = WorkedExample();
    const std::pair<std::string, std::string> cases[] = {
        {example.substr(0, 60), "Unexpected end of the schedule file."},
        {example.substr(0, 1), "Unexpected end of the schedule file."},
        {Bytes({1, 0, 0xFF, 0xFF, 3, 0, 5, 0}) + "CNope",
         "The schedule file names an unknown class \"CNope\"."},
        {Bytes({1, 0, 0xFF, 0xFF, 3, 0, 64, 0}) + std::string(64, 'C'),
         "A class name in the schedule file is too long."},
        {Bytes({1, 0, 0x01, 0x80}), "The schedule file refers to a class it does not describe."},
        {Bytes({1, 0, 0x00, 0x80}), "The schedule file refers to a class it does not describe."},
        {Bytes({1, 0, 0x05, 0x00}), "The schedule file refers to an object it does not contain."},
        {Bytes({1, 0, 0xFF, 0x7F, 0x01, 0, 0, 0}),
         "The schedule file refers to an object it does not contain."},
        {Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "Unexpected end of the schedule file."},
        {example + "x", "Wrong format of schedule file."},
    };
    for (const auto& [bytes, reason] : cases) {
        auto loaded = Load(bytes);
        EXPECT_FALSE(loaded->ok);
        EXPECT_EQ(loaded->error, reason);
    }
    // A reference to the class description as if it were an object.
    std::string classAsObject = example.substr(0, example.size() - 4);
    classAsObject += Bytes({1, 0, 1, 0, 0, 0});
    auto loaded = Load(classAsObject);
    EXPECT_FALSE(loaded->ok);
    EXPECT_EQ(loaded->manager.m_lstDelete.size(), 1u); // what was read before stays
}

TEST(ObjectStream, AbsentElementsAreSkipped) {
    auto loaded = Load(Bytes({2, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(loaded->ok) << loaded->error;
    EXPECT_TRUE(loaded->manager.m_lstDelete.empty());
}

TEST(RecordErrors, OldSchemasAreRefusedWithAMessageAndEndTheLoad) {
    for (int schema : {1, 2}) {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scope(ui);
        // A good encrypt-free file with one good task, then a second delete list entry of the old schema.
        auto loaded = Load(DeleteRecordWithSchema(schema));
        EXPECT_FALSE(loaded->ok);
        EXPECT_EQ(loaded->error, "Wrong format of schedule file.");
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].text, "Wrong format of schedule file.");
        EXPECT_EQ(ui.messages()[0].icon, uikit::Icon::Error);
        EXPECT_TRUE(loaded->manager.m_lstDelete.empty());
    }
    // Schemas other than 1 and 2 are read with today's layout.
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scope(ui);
    auto loaded = Load(DeleteRecordWithSchema(7));
    EXPECT_TRUE(loaded->ok) << loaded->error;
    EXPECT_TRUE(ui.messages().empty());
}

TEST(RecordErrors, OldSchemaReadersAreLoadOnly) {
    CActionDeleteFile task("/x");
    CArchive store;
    try {
        task.SerializeVer1(store);
        FAIL();
    } catch (const CUIException& e) {
        EXPECT_EQ(e.GetText(), "SerializeVer1(): storing");
    }
    EXPECT_THROW(task.SerializeVer2(store), CUIException);

    const std::string ver1Bytes = Bytes({3}) + "old";
    CArchive ver1(ver1Bytes);
    task.m_nId = 7;
    task.SerializeVer1(ver1);
    EXPECT_EQ(task.m_csName, "old");
    EXPECT_EQ(task.m_nId, 0);
    EXPECT_TRUE(ver1.AtEnd());

    const std::string example = WorkedExample();
    const std::string basePart = example.substr(25, 2 + 8 * 4 + 4 * 8 + 3 * 4);
    CArchive ver2(basePart);
    task.SerializeVer2(ver2);
    EXPECT_EQ(task.m_csName, "T");
    EXPECT_EQ(task.m_nRunType, 3);
    EXPECT_TRUE(ver2.AtEnd());
}

TEST(ScheduleFile, LoadReportsMissingAndUnreadableFiles) {
    CTaskManager manager;
    std::string error;
    const std::string folder = qmtest::MakeTempDir();
    EXPECT_FALSE(manager.ReadScheduleFile(folder + "/none.qms", error));
    EXPECT_EQ(error, "File does not exist.");
    EXPECT_FALSE(manager.ReadScheduleFile(folder, error));
    EXPECT_EQ(error, "Is a directory");
    qmtest::WriteFile(folder + "/empty.qms", "");
    EXPECT_TRUE(manager.ReadScheduleFile(folder + "/empty.qms", error));
}

TEST(ScheduleFile, SaveAndLoadThroughAFile) {
    const std::string path = qmtest::MakeTempDir() + "/list.qms";
    CTaskManager manager;
    CActionEncryptFile enc("/e");
    FillEveryField(enc, 5);
    manager.m_lstEncrypt = {&enc};
    std::string error;
    ASSERT_TRUE(manager.WriteScheduleFile(path, error)) << error;
    CTaskManager other;
    ASSERT_TRUE(other.ReadScheduleFile(path, error)) << error;
    ASSERT_EQ(other.m_lstEncrypt.size(), 1u);
    EXPECT_EQ(DescribeFields(*other.m_lstEncrypt[0]), DescribeFields(enc));
}

TEST(ScheduleFile, AFailedWriteKeepsThePreviousFile) {
    const std::string path = qmtest::MakeTempDir() + "/list.qms";
    qmtest::WriteFile(path, WorkedExample());
    CTaskManager manager;
    CActionDeleteFile del("/d");
    FillEveryField(del, 9);
    manager.m_lstDelete = {&del};
    platform::AtomicFile::FailAfterBytesForTesting(50);
    std::string error;
    EXPECT_FALSE(manager.WriteScheduleFile(path, error));
    platform::AtomicFile::FailAfterBytesForTesting(-1);
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    EXPECT_EQ(qmtest::ReadFile(path), WorkedExample());
}
