// keeper's run of one task, as it lands in keeper's log, against a real SMTP server on loopback.
#include "keeper/Keeper.h"

#include "SmtpTestServer.h"
#include "TestSupport.h"
#include "misckit/Registry.h"
#include "tasks/model/ActionSendEmail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

std::string Log() {
    return qmtest::Exists(keeper::LogPath()) ? qmtest::ReadFile(keeper::LogPath()) : "";
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A mail task that logs in to a server offering no encryption.
std::unique_ptr<CActionSendEmail> LoginTask(const SmtpTestServer& server) {
    auto task = std::make_unique<CActionSendEmail>();
    task->m_nId = 7;
    task->m_csName = "report";
    task->m_csSenderEmail = "ann@example.test";
    task->m_csSendTo = "bob@example.test";
    task->m_csSubject = "Nightly run";
    task->m_csServer = server.address();
    task->m_bAuth = 1;
    task->m_csLogin = "mailer";
    task->m_csMailPassword = "s3cret";
    return task;
}

} // namespace

TEST(KeeperRunTask, ALoginWithoutEncryptionIsRefusedUnlessAllowedAndThenLoggedEveryTime) {
    SmtpTestServer server({.auth = "mailer:s3cret"});
    ASSERT_TRUE(server.running());
    std::remove(keeper::LogPath().c_str());
    const CQMRegistry settings;
    ASSERT_TRUE(settings.WriteBYTE(encreg::szMailPlainAuth, 0));

    const auto refused = LoginTask(server);
    EXPECT_FALSE(keeper::RunTask(refused.get()));
    EXPECT_NE(Log().find("offers no encryption"), std::string::npos) << Log();
    EXPECT_NE(Log().find("summary: 1 error"), std::string::npos) << Log();
    EXPECT_EQ(server.Received().size(), 0);
    const auto verbs = server.Commands();
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "AUTH"), 0) << "the password never left";

    // Allowed in the settings: each run sends, and each run's log says how.
    ASSERT_TRUE(settings.WriteBYTE(encreg::szMailPlainAuth, 1));
    std::remove(keeper::LogPath().c_str());
    for (int run = 0; run < 2; ++run) {
        const auto task = LoginTask(server);
        EXPECT_TRUE(keeper::RunTask(task.get()));
    }
    const std::string log = Log();
    EXPECT_EQ(Count(log, "password were sent unencrypted"), 2u) << log;
    EXPECT_EQ(Count(log, "summary: 0 errors"), 2u) << "a warning is no error: " << log;
    EXPECT_EQ(server.Received().size(), 2);
}
