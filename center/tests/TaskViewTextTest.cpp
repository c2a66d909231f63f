// The texts of the task views: node labels and pictures, folder chains, run-log lines and the
// description of a scheduled task.
#include "center/core/TaskViewText.h"

#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/schedlink/LastResults.h"

#include <gtest/gtest.h>

using namespace center;

TEST(TaskNodeLabel, NameFirstThenTheCutMaskThenTheMessageThenNewTask) {
    CActionEncryptFile encrypt("/srv/data");
    EXPECT_EQ(TaskNodeLabel(encrypt), "New task");
    encrypt.m_csMask = "|*.doc|*.txt|*.xls|*.p"; // 22 characters
    EXPECT_EQ(TaskNodeLabel(encrypt), "|*.doc|*.txt|*.xls|*...");
    encrypt.m_csMask = "|*.doc|*.txt|*.xls|*"; // exactly 20: not cut
    EXPECT_EQ(TaskNodeLabel(encrypt), "|*.doc|*.txt|*.xls|*");
    encrypt.m_csName = "Reports";
    EXPECT_EQ(TaskNodeLabel(encrypt), "Reports");

    CActionSendEmail mail;
    EXPECT_EQ(TaskNodeLabel(mail), "New task");
    mail.m_csMessage = "Backup 2030 done\nand checked by the night shift";
    // Every "0" and "3" goes, the line break becomes a blank, then 25 characters.
    EXPECT_EQ(TaskNodeLabel(mail), "Backup 2 done and checked");

    CActionDeleteFile remove("/tmp");
    EXPECT_EQ(TaskNodeLabel(remove), "New task");
}

TEST(TaskNodeImage, FollowsKindWipeDeletionTypeAndAttachment) {
    CActionEncryptFile encrypt("/a");
    EXPECT_EQ(TaskNodeImage(encrypt), kImageDeleteTask); // no mask yet
    encrypt.m_csMask = "|*.txt|";
    EXPECT_EQ(TaskNodeImage(encrypt), kImageEncrypt);
    encrypt.m_bWipe = 1;
    EXPECT_EQ(TaskNodeImage(encrypt), kImageEncryptWipe);
    CActionDeleteFile remove("/a");
    remove.m_csMask = "|*.log|";
    for (int type = 0; type < 4; ++type) {
        remove.m_nDelType = type;
        EXPECT_EQ(TaskNodeImage(remove), 5 + type);
    }
    remove.m_nDelType = 9; // out of range in a damaged file: the last picture, not another one
    EXPECT_EQ(TaskNodeImage(remove), 8);
    CActionSendEmail mail;
    EXPECT_EQ(TaskNodeImage(mail), kImageMail);
    mail.m_csAttachment = "/srv/report.pdf";
    EXPECT_EQ(TaskNodeImage(mail), kImageMailAttachment);
}

TEST(FolderChain, OneStepPerFolderFromTheRootWithItsPrefix) {
    const std::vector<FolderStep> chain = FolderChain("/srv//data/A");
    ASSERT_EQ(chain.size(), 4u);
    EXPECT_TRUE(chain[0].drive);
    EXPECT_EQ(chain[0].prefix, "/");
    EXPECT_EQ(chain[0].label, "File System (/)");
    EXPECT_EQ(chain[1].prefix, "/srv/");
    EXPECT_EQ(chain[1].label, "srv");
    EXPECT_EQ(chain[2].prefix, "/srv//data/");
    EXPECT_EQ(chain[2].label, "data");
    EXPECT_EQ(chain[3].prefix, "/srv//data/A/");
    EXPECT_FALSE(chain[3].drive);
    // A trailing "/" changes nothing.
    EXPECT_EQ(FolderChain("/srv//data/A/").size(), 4u);
    // A relative Location has no root.
    const std::vector<FolderStep> relative = FolderChain("docs");
    ASSERT_EQ(relative.size(), 1u);
    EXPECT_EQ(relative[0].label, "docs");
    EXPECT_TRUE(FolderChain("").empty());
}

TEST(DescribeFeedback, PlainItemsAreOneLineAndErrorsNameTheTask) {
    FEEDBACKITEM_ info{nullptr, "Done. 0 errors.", 0, ""};
    const FeedbackLines plain = DescribeFeedback(info);
    EXPECT_FALSE(plain.error);
    EXPECT_EQ(plain.lines, std::vector<std::string>{"Done. 0 errors."});

    CActionEncryptFile task("/srv/in");
    task.m_csMask = "|*.txt|";
    task.m_bSubfolders = 1;
    FEEDBACKITEM_ error{&task, "/srv/in/a.txt", 515, "more"};
    const FeedbackLines lines = DescribeFeedback(error);
    EXPECT_TRUE(lines.error);
    const std::vector<std::string> expected{"",
                                            "**************** ERROR: ****************",
                                            "Type of task: ENCRYPT",
                                            "Path: /srv/in (including subdirectories)",
                                            "File mask: |*.txt|",
                                            "     Directory does not exist. : /srv/in/a.txt",
                                            "     more",
                                            ""};
    EXPECT_EQ(lines.lines, expected);
    EXPECT_EQ(lines.question, "**************** ERROR: ****************\n     Directory does not exist. : "
                              "/srv/in/a.txt\n\nContinue?");

    CActionDeleteFile remove("/srv/old");
    remove.m_bSubfolders = 0;
    FEEDBACKITEM_ noText{&remove, "", 516, ""};
    const FeedbackLines deleteLines = DescribeFeedback(noText);
    EXPECT_EQ(deleteLines.lines[2], "Type of task: DELETE");
    EXPECT_EQ(deleteLines.lines[3], "Path: /srv/old ");
    EXPECT_EQ(deleteLines.lines[5], "     File mask is not defined.");
    EXPECT_EQ(deleteLines.lines.size(), 7u);
}

TEST(ScheduledTaskRows, PropertiesThenScheduleThenTheLastResult) {
    CActionEncryptFile task("/srv/in");
    task.m_csName = "Nightly";
    task.m_tStart = 1700000000;
    task.m_tLastRun = 86400; // exactly one day: shown as never
    auto rows = ScheduledTaskRows(task, nullptr);
    const auto value = [&](const std::string& name) {
        for (const auto& [n, v] : rows)
            if (n == name)
                return v;
        return std::string("<missing>");
    };
    EXPECT_EQ(value("Password"), "");
    EXPECT_EQ(value("End time"), "-");
    EXPECT_EQ(value("Next run"), "-");
    EXPECT_EQ(value("Last run"), "-");
    EXPECT_NE(value("Start time"), "-");
    EXPECT_EQ(rows.back().first, "Last result");
    EXPECT_EQ(rows.back().second, "never run");
    EXPECT_EQ(rows[rows.size() - 6].first, "Schedule");

    task.m_csEncPassword = "secret";
    task.m_tLastRun = 86401;
    tasksched::TaskResult result;
    result.time = 1700000000;
    result.errors = 2;
    result.firstError = "Key file not found";
    rows = ScheduledTaskRows(task, &result);
    EXPECT_EQ(value("Password"), "***");
    EXPECT_NE(value("Last run"), "-");
    EXPECT_NE(rows.back().second.find("Key file not found"), std::string::npos) << rows.back().second;
}

TEST(FrameLabel, CountOnlyAboveZero) {
    EXPECT_EQ(FrameLabel("Daily", 0), "Daily");
    EXPECT_EQ(FrameLabel("Daily", 3), "Daily (3)");
}
