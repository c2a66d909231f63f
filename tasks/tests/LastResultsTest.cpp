// The tasks' last results file: its text, damaged copies, and merging runs that end out of order.
#include "tasks/schedlink/LastResults.h"

#include "TestSupport.h"
#include <gtest/gtest.h>

#include <thread>

using tasksched::TaskResult;
using tasksched::TaskResults;

TEST(LastResults, ErrorTextsWithTabsAndLineBreaksComeBackAsWritten) {
    TaskResults results;
    results[3] = TaskResult{3, 1700000000, 2, "C:\\no\tsuch\nfile\r"};
    results[10] = TaskResult{10, 1700000100, 0, ""};
    const std::string text = tasksched::FormatLastResults(results);
    EXPECT_EQ(text.find("\\t"), text.find("C:\\\\no") + 6) << text;
    TaskResults back;
    std::string error;
    ASSERT_TRUE(tasksched::ParseLastResults(text, back, error)) << error;
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[3].firstError, "C:\\no\tsuch\nfile\r");
    EXPECT_EQ(back[3].errors, 2);
    EXPECT_EQ(back[10].time, 1700000100);
}

TEST(LastResults, DamagedTextIsRefusedWithItsLine) {
    const std::string heading = "Quillmark task results 1\n";
    const struct {
        std::string text;
        std::string why;
    } cases[] = {
        {"", "empty"},
        {"something else\n", "not a task results file"},
        {heading + "1\t2\t3\tx", "line 2 is not complete"},
        {heading + "1\t2\t3\n", "line 2 is damaged"},
        {heading + "0\t2\t3\tx\n", "line 2 is damaged"},
        {heading + "1\t2\t-1\tx\n", "line 2 is damaged"},
        {heading + "1\tnoon\t3\tx\n", "line 2 is damaged"},
        {heading + "1\t2\t3\tbad escape \\q\n", "line 2 is damaged"},
        {heading + "1\t2\t3\tends in \\\n", "line 2 is damaged"},
        {heading + "99999999999\t2\t3\tx\n", "line 2 is damaged"},
        {heading + "1\t2\t3\tx\n1\t4\t5\ty\n", "line 3 repeats task 1"},
    };
    for (const auto& c : cases) {
        TaskResults results;
        std::string error;
        EXPECT_FALSE(tasksched::ParseLastResults(c.text, results, error)) << c.text;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.text << " -> " << error;
    }
}

TEST(LastResults, AnOlderResultNeverReplacesANewerOne) {
    const std::string path = qmtest::MakeTempDir("results") + "/state/task-results";
    std::string error;
    ASSERT_TRUE(tasksched::RecordLastResults(path, {{1, 200, 1, "late run"}, {2, 100, 0, ""}}, error))
        << error;
    ASSERT_TRUE(tasksched::RecordLastResults(path, {{1, 150, 0, ""}, {2, 300, 4, "newer"}}, error)) << error;
    TaskResults results;
    ASSERT_TRUE(tasksched::ReadLastResults(path, results, error)) << error;
    EXPECT_EQ(results[1].time, 200);
    EXPECT_EQ(results[1].firstError, "late run");
    EXPECT_EQ(results[2].errors, 4);
}

TEST(LastResults, ADamagedFileKeepsItsReadablePartAndTakesTheNewResults) {
    const std::string path = qmtest::MakeTempDir("results") + "/task-results";
    qmtest::WriteFile(path, "Quillmark task results 1\n5\t100\t1\tkept\n6\tbroken\n");
    TaskResults results;
    std::string error;
    EXPECT_FALSE(tasksched::ReadLastResults(path, results, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    ASSERT_TRUE(tasksched::RecordLastResults(path, {{7, 300, 0, ""}}, error)) << error;
    ASSERT_TRUE(tasksched::ReadLastResults(path, results, error)) << error;
    EXPECT_EQ(results.size(), 2u);
    EXPECT_EQ(results[5].firstError, "kept");
    EXPECT_EQ(results[7].time, 300);
}

TEST(LastResults, ConcurrentWritersLoseNoTask) {
    const std::string path = qmtest::MakeTempDir("results") + "/task-results";
    std::vector<std::thread> writers;
    for (std::uint32_t w = 0; w < 4; ++w)
        writers.emplace_back([&, w] {
            for (std::uint32_t i = 1; i <= 10; ++i) {
                std::string error;
                EXPECT_TRUE(tasksched::RecordLastResults(path, {{w * 100 + i, 1000 + i, 0, ""}}, error))
                    << error;
            }
        });
    for (auto& t : writers)
        t.join();
    TaskResults results;
    std::string error;
    ASSERT_TRUE(tasksched::ReadLastResults(path, results, error)) << error;
    EXPECT_EQ(results.size(), 40u);
}

TEST(LastResults, DescriptionsForPeople) {
    EXPECT_EQ(tasksched::DescribeResult(nullptr), "never run");
    TaskResult ok{1, 0, 0, ""};
    EXPECT_NE(tasksched::DescribeResult(&ok).find(", no errors"), std::string::npos);
    TaskResult bad{1, 0, 3, "disk full"};
    const std::string text = tasksched::DescribeResult(&bad);
    EXPECT_EQ(text.substr(text.find(',')), ", 3 errors: disk full");
}

TEST(LastResults, ResultsOfRemovedTasksAreForgotten) {
    const std::string path = qmtest::MakeTempDir("results") + "/task-results";
    std::string error;
    ASSERT_TRUE(tasksched::ForgetLastResults(path, {1}, false, error)) << error;
    EXPECT_FALSE(qmtest::Exists(path)) << "nothing to forget makes no file";
    ASSERT_TRUE(tasksched::RecordLastResults(path, {{1, 10, 1, "x"}, {2, 10, 0, ""}, {3, 10, 0, ""}}, error));
    ASSERT_TRUE(tasksched::ForgetLastResults(path, {2}, false, error)) << error;
    TaskResults results;
    ASSERT_TRUE(tasksched::ReadLastResults(path, results, error)) << error;
    EXPECT_EQ(results.size(), 2u);
    EXPECT_EQ(results.count(2), 0u);
    ASSERT_TRUE(tasksched::ForgetLastResults(path, {}, true, error)) << error;
    ASSERT_TRUE(tasksched::ReadLastResults(path, results, error)) << error;
    EXPECT_TRUE(results.empty());
}
