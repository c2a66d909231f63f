#include "platform/Autostart.h"
#include "platform/XdgPaths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {
const AutostartEntry kEntry{"quillmark-scheduler", "Quillmark Scheduler"};
}

TEST(Autostart, WriteReadBackAndRemove) {
    std::string error, exec;
    EXPECT_FALSE(ReadAutostartEntry(kEntry, exec));
    ASSERT_TRUE(WriteAutostartEntry(kEntry, "/opt/quill mark/bin/keeper", {"startup"}, error)) << error;
    EXPECT_EQ(AutostartPath(kEntry), ConfigHome() + "/autostart/quillmark-scheduler.desktop");
    const std::string text = qmtest::ReadFile(AutostartPath(kEntry));
    EXPECT_NE(text.find("Name=Quillmark Scheduler\n"), std::string::npos);
    ASSERT_TRUE(ReadAutostartEntry(kEntry, exec));
    EXPECT_EQ(exec, "\"/opt/quill mark/bin/keeper\" startup");
    EXPECT_EQ(exec, AutostartExecLine("/opt/quill mark/bin/keeper", {"startup"}));
    ASSERT_TRUE(RemoveAutostartEntry(kEntry, error));
    EXPECT_FALSE(ReadAutostartEntry(kEntry, exec));
    EXPECT_TRUE(RemoveAutostartEntry(kEntry, error)); // already gone
}

TEST(Autostart, ExecLineQuotesReservedCharacters) {
    EXPECT_EQ(AutostartExecLine("/usr/bin/keeper", {"startup"}), "/usr/bin/keeper startup");
    EXPECT_EQ(AutostartExecLine("/a$b/k\"e", {}), "\"/a\\$b/k\\\"e\"");
    // A backslash inside quotes is escaped for the argument and again for the file's value.
    std::string error, exec;
    ASSERT_TRUE(WriteAutostartEntry(kEntry, "/x\\y/keeper", {}, error));
    ASSERT_TRUE(ReadAutostartEntry(kEntry, exec));
    EXPECT_EQ(exec, "\"/x\\\\y/keeper\"");
}
