// Task kinds: codes and names, constructors, copies and the property rows bound to each task.
#include "TaskTestSupport.h"

#include "corecrypt/Primitives.h"
#include "netkit/Socks.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/model/Tables.h"
#include "uikit/UIException.h"

#include <array>
#include <ctime>
#include <regex>

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

std::vector<std::string> Labels(const CAction& task) {
    std::vector<std::string> labels;
    for (const auto& p : task.m_arProps)
        labels.push_back(p.m_csLabel);
    return labels;
}

const CPropertyItem& Row(const CAction& task, const std::string& label, int nth = 0) {
    for (const auto& p : task.m_arProps) {
        if (p.m_csLabel == label && nth-- == 0)
            return p;
    }
    throw std::logic_error("no row " + label);
}

} // namespace

TEST(TaskCodes, DeleteKindCodeFollowsDeletionType) {
    CActionDeleteFile task("/data");
    EXPECT_EQ(task.GetAction(), 2);
    EXPECT_EQ(task.GetActionName(), "Don't delete");
    task.m_nDelType = 3;
    EXPECT_EQ(task.GetAction(), 5);
    EXPECT_EQ(task.GetActionName(), "Wipe");
    task.m_nDelType = 9; // damaged: code 11 is outside the table
    EXPECT_THROW(task.GetActionName(), std::invalid_argument);
}

TEST(TaskCodes, EncryptKindIsEncryptAndWipeAsSoonAsWipeIsSet) {
    CActionEncryptFile task("/data");
    EXPECT_EQ(task.GetAction(), 1);
    EXPECT_EQ(task.GetActionName(), "Encrypt");
    task.m_bWipe = -7;
    EXPECT_EQ(task.GetAction(), 0);
    EXPECT_EQ(task.GetActionName(), "Encrypt and Wipe");
}

TEST(TaskCodes, SendMailKindIsSendFileWithAnyAttachment) {
    CActionSendEmail task;
    EXPECT_EQ(task.GetActionName(), "Send message");
    task.m_csAttachment = " ";
    EXPECT_EQ(task.GetAction(), 9);
    EXPECT_EQ(task.GetActionName(), "Send file");
    task.m_csAttachment.clear();
    EXPECT_EQ(task.GetAction(), 8);
}

TEST(TaskCodes, TablesAgreeWithTheCalendarAndTheEngine) {
    // Weekday n is tm_wday n - 1 and month n is tm_mon n - 1, as the schedule counts them: each
    // name must be the one the C library gives that day of 2024 (a Monday was 1 January).
    std::tm day{};
    char name[32];
    for (int i = 0; i < 7; ++i) {
        day = {};
        day.tm_year = 124;
        day.tm_mon = 0;
        day.tm_mday = 7 + i; // Sunday 7 January onwards
        ASSERT_NE(std::mktime(&day), -1);
        std::strftime(name, sizeof name, "%A", &day);
        EXPECT_STREQ(weekdays[day.tm_wday + 1], name);
    }
    EXPECT_STREQ(weekdays[0], "");
    for (int m = 0; m < 12; ++m) {
        day = {};
        day.tm_mon = m;
        std::strftime(name, sizeof name, "%B", &day);
        EXPECT_STREQ(months[m + 1], name);
    }
    // The cipher and mode a task shows under an index are the ones the engine uses for it.
    for (int a = 0; a < jobkit::kAlgorithmCount; ++a)
        EXPECT_EQ(corecrypt::FindAlgorithm(jobkit::algorithmNames[a]), a) << jobkit::algorithmNames[a];
    for (int m = 0; m < jobkit::kModeCount; ++m)
        EXPECT_EQ(corecrypt::FindMode(jobkit::modeNames[m]), m) << jobkit::modeNames[m];
    EXPECT_EQ(jobkit::kAlgorithmCount, corecrypt::kAlgorithmCount);
    EXPECT_EQ(jobkit::kModeCount, corecrypt::kModeCount);
    EXPECT_EQ(jobkit::TaskName(6), "None");
    EXPECT_EQ(jobkit::TaskName(7), "Clear");
    EXPECT_EQ(jobkit::TaskName(-1), "");
    EXPECT_THROW(jobkit::TaskName(10), std::invalid_argument);
    EXPECT_THROW(jobkit::TaskName(-2), std::invalid_argument);
}

TEST(AlgorithmModeCode, PacksAlgorithmAndModeIntoOneByte) {
    CActionEncryptFile task("/d");
    EXPECT_EQ(task.GetAlgorithmModeCode(), 1); // AES, ECB
    task.m_nAlgorithm = 9;
    task.m_nMode = 3;
    EXPECT_EQ(task.GetAlgorithmModeCode(), 40); // Twofish, OFB
    EXPECT_EQ(jobkit::AlgorithmModeCode(1, 1), 6);
    EXPECT_EQ(jobkit::AlgorithmModeCode(7, 2), 31);
    EXPECT_EQ(jobkit::AlgorithmModeCode(64, 0), 1); // computed in 8 bits
}

TEST(TaskConstructors, FileKindsFromAFolderHaveTheirDefaults) {
    CActionDeleteFile del("/home/u/x");
    EXPECT_EQ(del.m_csLocation, "/home/u/x");
    EXPECT_EQ(del.m_csMask, "");
    EXPECT_EQ(del.m_csName, "");
    EXPECT_EQ(del.m_bSubfolders, 1);
    EXPECT_EQ(del.m_nDelType, 0);
    EXPECT_EQ(del.m_nWipeRounds, 3);
    EXPECT_EQ(del.m_nId, 0);
    EXPECT_EQ(del.m_tStart, 0);

    CActionEncryptFile enc("/y");
    EXPECT_EQ(enc.m_bSubfolders, 1);
    EXPECT_EQ(enc.m_bWipe, 0);
    EXPECT_EQ(enc.m_bArchive, 0);
    EXPECT_EQ(enc.m_nAlgorithm, 0);
    EXPECT_EQ(enc.m_nMode, 0);
    EXPECT_TRUE(enc.m_csDestFolder.empty() && enc.m_csKeyFile.empty() && enc.m_csEncPassword.empty());

    // Blank objects from the class factory, as the reader makes them.
    std::unique_ptr<CObject> blank(FindRegisteredClass("CActionDeleteFile")->CreateObject());
    auto* blankDelete = dynamic_cast<CActionDeleteFile*>(blank.get());
    ASSERT_NE(blankDelete, nullptr);
    EXPECT_EQ(blankDelete->m_nWipeRounds, 3);
    EXPECT_EQ(blankDelete->m_nDelType, 0);
}

TEST(TaskConstructors, OnlyTheThreeKindsCanBeNamedByAFile) {
    EXPECT_NE(FindRegisteredClass("CActionEncryptFile"), nullptr);
    EXPECT_NE(FindRegisteredClass("CActionSendEmail"), nullptr);
    EXPECT_EQ(FindRegisteredClass("CFileAction"), nullptr);
    EXPECT_EQ(FindRegisteredClass("cactiondeletefile"), nullptr);
    EXPECT_EQ(FindRegisteredClass("CActionEncryptFile")->m_wSchema, 3u);
}

TEST(TaskCopies, CopyEveryFieldAndBindRowsToTheCopy) {
    CActionEncryptFile source("/src");
    tasktest::FillEveryField(source, 1);
    source.m_sShortSched = "short";
    source.m_sLongSched = "long";
    CActionEncryptFile copy(&source);
    EXPECT_EQ(tasktest::DescribeFields(copy), tasktest::DescribeFields(source));
    EXPECT_EQ(copy.m_nId, source.m_nId);
    EXPECT_EQ(copy.m_sShortSched, "short");
    EXPECT_EQ(copy.m_sLongSched, "long");
    ASSERT_EQ(copy.m_arProps.size(), source.m_arProps.size());

    // Editing the copy's rows changes the copy only.
    for (auto& row : copy.m_arProps) {
        if (row.m_nValueType == CPropertyItem::StringValue)
            row.SetCurValue("edited");
    }
    EXPECT_EQ(copy.m_csName, "edited");
    EXPECT_EQ(copy.m_csEncPassword, "edited");
    EXPECT_NE(source.m_csName, "edited");
    EXPECT_NE(source.m_csEncPassword, "edited");
}

TEST(TaskCopies, EachKindCopiesItsOwnFields) {
    CActionDeleteFile del("/d");
    tasktest::FillEveryField(del, 2);
    CActionDeleteFile delCopy(&del);
    EXPECT_EQ(tasktest::DescribeFields(delCopy), tasktest::DescribeFields(del));

    CActionSendEmail mail;
    tasktest::FillEveryField(mail, 3);
    CActionSendEmail mailCopy(&mail);
    EXPECT_EQ(tasktest::DescribeFields(mailCopy), tasktest::DescribeFields(mail));
    EXPECT_EQ(Row(mailCopy, "Login").m_pTarget, &mailCopy.m_csLogin);
    EXPECT_EQ(Row(mail, "Login").m_pTarget, &mail.m_csLogin);
}

TEST(PropertyRows, EachKindListsItsRowsInGridOrder) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Labels(CActionDeleteFile("/d")), (V{"Task name", "File mask", "Location", "Include subfolders",
                                                  "Deletion type", "Number of wiping rounds"}));
    EXPECT_EQ(Labels(CActionEncryptFile("/d")),
              (V{"Task name", "File mask", "Location", "Include subfolders", "Destination folder", "Key file",
                 "Create archive", "Archive name", "Password", "Algorithm", "Mode", "Wipe original files"}));
    EXPECT_EQ(Labels(CActionSendEmail()),
              (V{"Task name", "Attach file", "Encoding", "Send to", "Recipients list", "Message text",
                 "Mail server", "Sender's email", "Sender's name", "Message subject",
                 "Via IP:", "Server authentication", "Login", "Password"}));
}

TEST(PropertyRows, RowsCarryTheirEditorsStylesAndChoosers) {
    CActionEncryptFile enc("/d");
    EXPECT_EQ(Row(enc, "Task name").m_dwEditStyle, CPropertyItem::kPlainEditStyle);
    EXPECT_EQ(Row(enc, "File mask").m_nEditorKind, CPropertyItem::FileTypes);
    EXPECT_TRUE(Row(enc, "Location").m_dwEditStyle & CPropertyItem::kStyleReadOnly);
    EXPECT_EQ(Row(enc, "Destination folder").m_nEditorKind, CPropertyItem::Folder);
    const auto& archive = Row(enc, "Archive name");
    EXPECT_EQ(archive.m_csDefExt, "qma");
    EXPECT_EQ(archive.m_csTitle, "Select Quillmark archive");
    EXPECT_EQ(archive.m_dwFlags, CPropertyItem::kPathMustExist);
    EXPECT_EQ(Row(enc, "Key file").m_dwFlags, 0u);
    EXPECT_EQ(Row(enc, "Key file").m_csFilter, "All files (*.*)");
    EXPECT_TRUE(Row(enc, "Password").m_dwEditStyle & CPropertyItem::kStylePassword);
    EXPECT_EQ(Row(enc, "Algorithm").m_vOptions.size(), 10u);
    EXPECT_EQ(Row(enc, "Algorithm").m_vOptions[8], "Triple-DES");
    EXPECT_EQ(Row(enc, "Mode").m_vOptions.back(), "OFB");

    CActionDeleteFile del("/d");
    EXPECT_EQ(Row(del, "Deletion type").m_vOptions,
              (std::vector<std::string>{"Don't delete", "Move to Recycle Bin", "Delete", "Wipe"}));
    EXPECT_EQ(Row(del, "Number of wiping rounds").m_dwEditStyle, CPropertyItem::kDefaultEditStyle);

    CActionSendEmail mail;
    const auto& password = Row(mail, "Password");
    EXPECT_EQ(password.m_nEditorKind, CPropertyItem::Masked);
    EXPECT_FALSE(password.m_dwEditStyle & CPropertyItem::kStylePassword);
    EXPECT_EQ(Row(mail, "Message text").m_nEditorKind, CPropertyItem::LongText);
    EXPECT_EQ(Row(mail, "Recipients list").m_dwFlags, CPropertyItem::kPathMustExist);
    EXPECT_EQ(Row(mail, "Server authentication").m_nValueType, CPropertyItem::IntValue);
    EXPECT_EQ(Row(mail, "Encoding").m_nValueType, CPropertyItem::StringValue);
}

TEST(PropertyRows, ValuesAreReadAndWrittenThroughTheBoundField) {
    CActionDeleteFile del("/d");
    CPropertyItem& type = del.m_arProps[4];
    CPropertyItem& rounds = del.m_arProps[5];
    del.m_nDelType = 1;
    EXPECT_EQ(type.GetCurValueString(), "Move to Recycle Bin");
    type.SetCurValue("3");
    EXPECT_EQ(del.m_nDelType, 3);
    del.m_nDelType = 4;
    EXPECT_THROW(type.GetCurValueString(), std::invalid_argument);
    del.m_nDelType = -1;
    EXPECT_THROW(type.GetCurValueString(), std::invalid_argument);

    rounds.SetCurValue("12abc");
    EXPECT_EQ(del.m_nWipeRounds, 12);
    EXPECT_EQ(rounds.GetCurValueString(), "12");
    rounds.SetCurValue("abc");
    EXPECT_EQ(del.m_nWipeRounds, 0);
    rounds.SetCurValue("  -42");
    EXPECT_EQ(del.m_nWipeRounds, -42);
    rounds.SetCurValue("99999999999999999999");
    EXPECT_EQ(del.m_nWipeRounds, 2147483647);
    rounds.SetCurValue("-99999999999999999999");
    EXPECT_EQ(del.m_nWipeRounds, -2147483647 - 1);

    CPropertyItem& location = del.m_arProps[2];
    location.SetCurValue("/other place");
    EXPECT_EQ(del.m_csLocation, "/other place");
    EXPECT_EQ(location.GetCurValueString(), "/other place");
}

TEST(PropertyRows, ConnectRefusesUnknownValueTypes) {
    CPropertyItem item("x", CPropertyItem::Text);
    std::string target;
    try {
        item.Connect(&target, 3);
        FAIL() << "no exception";
    } catch (const CUIException& e) {
        EXPECT_EQ(e.GetCode(), 1);
        EXPECT_EQ(e.GetText(), "CPropertyItem::Connect");
        EXPECT_EQ(e.GetText2(), "Unknown type.");
    }
    EXPECT_THROW(item.Connect(&target, 0), CUIException);
}

TEST(SendMailOptions, EncodingOptionsAreSortedUniqueCodePageAndCharset) {
    EXPECT_EQ(jobkit::EncodingOption("Western European Windows (1252)", "windows-1252"),
              "1252 (windows-1252)");
    EXPECT_EQ(jobkit::EncodingOption("Unicode", "utf-8"), "Unicode (utf-8)");
    EXPECT_EQ(jobkit::EncodingOption("Odd (", "x"), " (x)");
    EXPECT_EQ(jobkit::EncodingOption("Cyrillic (866)", ""), "");
    EXPECT_EQ(jobkit::EncodingOption("", "utf-8"), "");

    CActionSendEmail mail;
    const auto& options = Row(mail, "Encoding").m_vOptions;
    ASSERT_FALSE(options.empty());
    const std::regex shape(R"(^[^()]+ \([^()]+\)$)");
    for (std::size_t i = 0; i < options.size(); ++i) {
        EXPECT_TRUE(std::regex_match(options[i], shape)) << options[i];
        if (i > 0) {
            EXPECT_LT(options[i - 1], options[i]);
        }
    }
    EXPECT_NE(std::find(options.begin(), options.end(), "1252 (windows-1252)"), options.end());
    CActionSendEmail copy(&mail);
    EXPECT_EQ(Row(copy, "Encoding").m_vOptions, options);
}

TEST(SendMailOptions, ViaIpOffersTheMachineAddressesInDottedForm) {
    std::array<std::uint32_t, 20> ips{};
    const int count = NetKit::Socks::get_loc_ips(ips);
    CActionSendEmail mail;
    const auto& options = Row(mail, "Via IP:").m_vOptions;
    ASSERT_EQ(options.size(), static_cast<std::size_t>(count));
    const std::regex dotted(R"(^\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}$)");
    for (const auto& option : options)
        EXPECT_TRUE(std::regex_match(option, dotted)) << option;
    if (count > 0) {
        EXPECT_EQ(options[0], std::to_string(ips[0] >> 24) + "." + std::to_string((ips[0] >> 16) & 0xFF) +
                                  "." + std::to_string((ips[0] >> 8) & 0xFF) + "." +
                                  std::to_string(ips[0] & 0xFF));
    }
}
