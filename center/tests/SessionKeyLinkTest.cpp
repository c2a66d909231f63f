// The session key link of the preferences against the real keeper.
#include "center/core/SessionKeyLink.h"

#include "TestSupport.h"
#include "misckit/Keeper.h"
#include "misckit/SessionKey.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <regex>

namespace {

bool WaitFor(const std::function<bool()>& condition) {
    return qmtest::WaitFor(condition, 10000);
}

// The keeper this test started: its pid stands in the log's start line.
pid_t StartedKeeper() {
    const std::string log =
        qmtest::ReadFile(std::string(std::getenv("XDG_STATE_HOME")) + "/Quillmark/keeper.log");
    static const std::regex started(R"(\[(\d+)\] keeper started)");
    std::smatch m;
    return std::regex_search(log, m, started) ? static_cast<pid_t>(std::stol(m[1])) : 0;
}

} // namespace

TEST(SessionKeyLink, SetsAndClearsTheKeyKeeperHoldsAndSaysOnlyWhetherOneIsSet) {
    misckit::SetKeeperProgramForTesting(qmtest::ProgramPath("keeper"));
    center::CSessionKeyLink link;
    EXPECT_FALSE(link.IsSet()); // no keeper, no store

    SESSIONKEY_ key{};
    key.nKind = kSessionKeyPassword;
    key.nPasswordLength = 6;
    std::memcpy(key.szPassword, "s3cret", 6);
    std::string error;
    ASSERT_TRUE(link.Set(key, error)) << error; // starts keeper with its store
    EXPECT_TRUE(WaitFor([] { return misckit::IsKeeperRunning() != 0; }));
    EXPECT_TRUE(link.IsSet());
    // A second link (another program) sees the same.
    EXPECT_TRUE(center::CSessionKeyLink().IsSet());

    link.Clear();
    EXPECT_TRUE(WaitFor([&] { return !link.IsSet(); }));

    SESSIONKEY_ file{};
    file.nKind = kSessionKeyFile;
    std::strcpy(file.szKeyFile, "/some/key.qmk");
    ASSERT_TRUE(link.Set(file, error)) << error;
    EXPECT_TRUE(link.IsSet());
    link.Clear();
    EXPECT_TRUE(WaitFor([&] { return !link.IsSet(); }));

    if (const pid_t pid = StartedKeeper(); pid > 0)
        ::kill(pid, SIGTERM);
    EXPECT_TRUE(WaitFor([] { return misckit::IsKeeperRunning() == 0; }));
    misckit::SetKeeperProgramForTesting("");
}
