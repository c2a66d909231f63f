#include "platform/DetachedProcess.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 200; ++i) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && st.st_size > 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

} // namespace

TEST(DetachedProcess, TheProgramRunsInItsOwnSessionFromTheRootWithoutOurDescriptors) {
    const std::string dir = qmtest::MakeTempDir("detached");
    // A descriptor of ours that must not reach the program.
    const int mine = ::open((dir + "/mine").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(mine, 0);
    const std::string report = dir + "/report";
    const std::string script =
        "exec >" + report + ".part; pwd; cut -d' ' -f6 /proc/$$/stat; " + "if [ -e /proc/$$/fd/" +
        std::to_string(mine) +
        " ]; then echo leaked; else echo closed; fi; read x </dev/stdin || echo eof; " + "mv " + report +
        ".part " + report;
    std::string error;
    ASSERT_TRUE(platform::StartDetached("sh", {"-c", script}, error)) << error;
    ::close(mine);
    ASSERT_TRUE(WaitForFile(report));
    const std::string text = qmtest::ReadFile(report);
    EXPECT_EQ(text.substr(0, 2), "/\n") << text;
    const auto second = text.find('\n') + 1;
    const std::string session = text.substr(second, text.find('\n', second) - second);
    EXPECT_FALSE(session.empty()) << text;
    EXPECT_NE(session, std::to_string(::getsid(0))) << "a session of its own";
    EXPECT_NE(text.find("closed"), std::string::npos) << text;
    EXPECT_NE(text.find("eof"), std::string::npos) << "standard input is /dev/null";
}

TEST(DetachedProcess, AProgramThatCannotStartIsReported) {
    std::string error;
    EXPECT_FALSE(platform::StartDetached("/nonexistent/program", {}, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(platform::StartDetached("no-such-program-anywhere", {"x"}, error));
    EXPECT_EQ(error, "No such file or directory");
    const std::string dir = qmtest::MakeTempDir("detached");
    qmtest::WriteFile(dir + "/plain", "not a program");
    ::chmod((dir + "/plain").c_str(), 0600);
    EXPECT_FALSE(platform::StartDetached(dir + "/plain", {}, error));
    EXPECT_EQ(error, "Permission denied");
}
