// qmkey's key-server verbs against a real keyserv, as two people use them: Anna publishes,
// Bert finds and imports her key and keeps it current, Anna revokes it.
#include "KeyServerProcess.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

class QmkeyServer : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = qmtest::MakeTempDir("qmkey");
        qmtest::WriteFile(m_dir + "/pw", "anna's pass\n");
        m_server = std::make_unique<KeyServerProcess>(m_dir + "/keys.sqlite", m_smtp.address());
        ASSERT_TRUE(m_server->running()) << m_server->Log();
    }
    qmtest::ProcessResult Run(const std::string& home, std::vector<std::string> args, bool server = true) {
        if (server && args.at(0) == "server")
            args.insert(args.end(), {"--server", m_server->url()});
        return qmtest::RunProgram(qmtest::ProgramPath("qmkey"), args, {},
                                  {"XDG_DATA_HOME=" + m_dir + "/" + home + "/data",
                                   "XDG_CONFIG_HOME=" + m_dir + "/" + home + "/config"});
    }
    QJsonObject OnlyKey(const std::string& home) {
        const auto r = Run(home, {"list", "--json"});
        const QJsonArray keys = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
        EXPECT_EQ(keys.size(), 1) << r.out;
        return keys.isEmpty() ? QJsonObject() : keys[0].toObject();
    }

    SmtpTestServer m_smtp;
    std::string m_dir;
    std::unique_ptr<KeyServerProcess> m_server;
};

TEST_F(QmkeyServer, PublishFindSynchronizeAndRevoke) {
    ASSERT_EQ(Run("anna", {"generate", "--name", "Anna", "--email", "anna@example.test", "--passphrase-file",
                           m_dir + "/pw"})
                  .exitCode,
              0);
    auto r = Run("anna", {"server", "publish", "anna@example.test", "--passphrase-file", m_dir + "/pw"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("The key has been successfully published.\n", 0), 0u) << r.out;

    r = Run("bert", {"server", "find", "anna@example.test"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qmkey: No keys with such email address on keyserver.\n");
    const std::string link =
        LatestLineStartingWith(m_smtp, "anna@example.test", m_server->url() + "/v1/verify/");
    ASSERT_FALSE(link.empty());
    ASSERT_EQ(qmtest::RunProgram("/usr/bin/curl", {"-fsS", link}).exitCode, 0);

    r = Run("bert", {"server", "find", "anna@example.test", "--import"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Anna <anna@example.test>"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Imported 1 key."), std::string::npos) << r.out;
    r = Run("bert", {"server", "sync"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("1 checked, 0 changed, 0 revoked, 0 not on server"), std::string::npos) << r.out;
    EXPECT_EQ(OnlyKey("bert")["synchronized"].toString(), "Synchronized");

    r = Run("anna", {"server", "revoke", "anna@example.test"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Key revocation initiated successfully.", 0), 0u) << r.out;
    r = Run("anna", {"server", "revoke", "anna@example.test", "--code", "WRONG-CODE-0000",
                     "--passphrase-file", m_dir + "/pw"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qmkey: The revocation code is wrong.\n");
    const std::string code = LatestRevocationCode(m_smtp, "anna@example.test");
    ASSERT_FALSE(code.empty());
    r = Run("anna",
            {"server", "revoke", "anna@example.test", "--code", code, "--passphrase-file", m_dir + "/pw"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Key has been successfully revoked.\n");
    EXPECT_TRUE(OnlyKey("anna")["revoked"].toBool());

    r = Run("bert", {"server", "sync"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("1 checked, 1 changed, 1 revoked"), std::string::npos) << r.out;
    const QJsonObject bertsCopy = OnlyKey("bert");
    EXPECT_TRUE(bertsCopy["revoked"].toBool());
    EXPECT_EQ(bertsCopy["synchronized"].toString(), "Revoked");
}

TEST_F(QmkeyServer, RefusesWhatItCannotDo) {
    auto r = Run("anna", {"server", "publish", "nobody@example.test", "--passphrase-file", m_dir + "/pw"});
    EXPECT_EQ(r.exitCode, 1);
    r = Run("anna", {"server", "find", "a@example.test", "--code", "x"});
    EXPECT_EQ(r.err, "qmkey: --code goes with server revoke\n");
    r = Run("anna", {"server", "nonsense"});
    EXPECT_EQ(r.err, "qmkey: server needs find, publish, sync or revoke (see qmkey server --help)\n");
    // No server in the preferences and none given.
    r = Run("anna", {"server", "sync"}, false);
    EXPECT_EQ(r.exitCode, 0) << r.err; // nothing to synchronize needs no server
    r = Run("anna", {"server", "find", "a@example.test"}, false);
    EXPECT_EQ(r.err, "qmkey: No key server is set. Enter its address in the preferences.\n");
}

} // namespace
