// keyserv and the key-server client against each other: a real server on loopback with SQLite or a
// private PostgreSQL cluster, its mails caught by a real SMTP server.
#include "KeyServerProcess.h"

#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"
#include "netkit/KeyServ.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <thread>

using qmtest::MakeTempDir;

namespace {

const std::string kPassphrase = "correct horse";

std::unique_ptr<CPrivateKey> NewKey(const std::string& email) {
    std::string error;
    auto key = CPrivateKey::Generate("Test Person", email, std::time(nullptr) - 10, 0, kPassphrase, error);
    EXPECT_TRUE(key) << error;
    return key;
}

std::string Envelope(const CAsymmKey& key) {
    const auto pub = static_cast<const CPrivateKey&>(key).GetPublicKey();
    return std::string(pub->GetEnvelop(), pub->m_nEnvelopLen);
}

std::string HexId(const CAsymmKey& key) {
    std::string id = key.GetKeyIDText();
    std::erase(id, ' ');
    for (char& c : id)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return id;
}

std::string SignedBody(const CPrivateKey& signer, const std::string& text,
                       nlohmann::json extra = nlohmann::json::object()) {
    unsigned char signature[corecrypt::kEd25519SignatureSize];
    std::string error;
    EXPECT_TRUE(signer.Sign(kPassphrase, text.data(), text.size(), signature, error)) << error;
    extra["key"] = text;
    extra["signature"] = corecrypt::EncodeBase64(signature, sizeof signature);
    return extra.dump();
}

struct Reply {
    int status = 0;
    std::string error;
};

Reply Post(const std::string& url, const std::string& path, const std::string& body) {
    httplib::Client client(url);
    const auto res = client.Post(path.c_str(), body, "application/json");
    if (!res)
        return {};
    const auto json = nlohmann::json::parse(res->body, nullptr, false);
    return {res->status, json.is_object() && json.contains("error") ? json["error"].get<std::string>() : ""};
}

int Get(const std::string& url, const std::string& path, std::string* body = nullptr) {
    httplib::Client client(url);
    const auto res = client.Get(path.c_str());
    if (body && res)
        *body = res->body;
    return res ? res->status : 0;
}

class KeyServerTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        ASSERT_TRUE(m_smtp.running());
        m_db = MakeTempDir("db") + "/keys.sqlite";
        if (std::string(GetParam()) == "postgresql") {
            m_postgres = std::make_unique<PostgresCluster>();
            if (!m_postgres->running())
                GTEST_SKIP() << "no private PostgreSQL cluster could run here: " << m_postgres->problem();
            m_db = m_postgres->uri();
        }
        m_server = std::make_unique<KeyServerProcess>(m_db, m_smtp.address());
        ASSERT_TRUE(m_server->running()) << m_server->Log();
        NetKit::KeyServ::SetServer(m_server->url(), false);
    }
    void TearDown() override {
        if (m_server) {
            EXPECT_EQ(m_server->Stop(), 0) << m_server->Log();
        }
    }

    // Publishes and opens the mailed confirmation link.
    void PublishAndConfirm(const CPrivateKey& key) {
        char text[2000] = "";
        const std::string envelope = Envelope(key);
        ASSERT_NE(NetKit::KeyServ::PublishKey(envelope.c_str(), static_cast<int>(envelope.size()), key, text,
                                              sizeof text, &kPassphrase),
                  0)
            << text;
        const std::string link =
            LatestLineStartingWith(m_smtp, key.GetEmail(), m_server->url() + "/v1/verify/");
        ASSERT_FALSE(link.empty());
        ASSERT_EQ(Get(m_server->url(), link.substr(m_server->url().size())), 200);
    }

    SmtpTestServer m_smtp;
    std::unique_ptr<PostgresCluster> m_postgres;
    std::string m_db;
    std::unique_ptr<KeyServerProcess> m_server;
};

TEST_P(KeyServerTest, PublishConfirmFindSynchronizeAndRevoke) {
    auto anna = NewKey("Anna@Example.test");
    char text[2000] = "";
    const std::string envelope = Envelope(*anna);

    // Publish: possession proven by the signature, the address not yet.
    ASSERT_NE(NetKit::KeyServ::PublishKey(envelope.c_str(), static_cast<int>(envelope.size()), *anna, text,
                                          sizeof text, &kPassphrase),
              0)
        << text;
    EXPECT_NE(std::string(text).find("confirmation mail was sent to anna@example.test"), std::string::npos)
        << text;
    std::vector<std::unique_ptr<CPublicKey>> found;
    ASSERT_NE(NetKit::KeyServ::FindKey("anna@example.test", found, text, sizeof text), 0) << text;
    EXPECT_TRUE(found.empty());
    auto copy = anna->GetPublicKey();
    copy->m_nRingPos = 7;
    bool changed = true;
    ASSERT_NE(NetKit::KeyServ::SynchronizeKey(copy, changed, text, sizeof text), 0) << text;
    EXPECT_EQ(copy->m_nStatus, corecrypt::kStatusNotOnServer);

    // Confirm through the mailed link (a plain GET); a second use of the link is refused.
    const std::string link =
        LatestLineStartingWith(m_smtp, "anna@example.test", m_server->url() + "/v1/verify/");
    ASSERT_FALSE(link.empty());
    const std::string path = link.substr(m_server->url().size());
    EXPECT_EQ(Get(m_server->url(), path), 200);
    EXPECT_EQ(Get(m_server->url(), path), 404);

    ASSERT_NE(NetKit::KeyServ::FindKey("ANNA@example.test", found, text, sizeof text), 0) << text;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->GetKeyIDText(), anna->GetKeyIDText());

    ASSERT_NE(NetKit::KeyServ::SynchronizeKey(copy, changed, text, sizeof text), 0) << text;
    EXPECT_FALSE(changed);
    EXPECT_EQ(copy->m_nStatus, corecrypt::kStatusSynchronized);

    // A new revision (another expiry) replaces the server's copy; synchronize brings it.
    std::string error;
    ASSERT_TRUE(anna->Revise(kPassphrase, std::time(nullptr) + 86400 * 365, false, std::time(nullptr), error))
        << error;
    const std::string revised = Envelope(*anna);
    ASSERT_NE(NetKit::KeyServ::PublishKey(revised.c_str(), static_cast<int>(revised.size()), *anna, text,
                                          sizeof text, &kPassphrase),
              0)
        << text;
    EXPECT_STREQ(text, "The key has been updated on the server.");
    ASSERT_NE(NetKit::KeyServ::SynchronizeKey(copy, changed, text, sizeof text), 0) << text;
    EXPECT_TRUE(changed);
    EXPECT_EQ(copy->GetExpireTime(), anna->GetExpireTime());
    EXPECT_EQ(copy->m_nRingPos, 7u);

    // Revocation: a mailed code, a wrong code refused, then the right one; it cannot be used twice.
    ASSERT_NE(NetKit::KeyServ::InitKeyRevocation(anna->GetKeyIDPbyte(), text, sizeof text), 0) << text;
    EXPECT_EQ(NetKit::KeyServ::InitKeyRevocation(anna->GetKeyIDPbyte(), text, sizeof text), 0);
    EXPECT_STREQ(text, "A revocation code was sent a moment ago. Please check your mail inbox.");
    const std::string code = LatestRevocationCode(m_smtp, "anna@example.test");
    ASSERT_FALSE(code.empty());
    std::unique_ptr<CPrivateKey> revoked;
    EXPECT_EQ(NetKit::KeyServ::CompleteKeyRevocation(anna->GetKeyIDPbyte(), "AAAA-BBBB-CCCC-DDDD", *anna,
                                                     revoked, text, sizeof text, &kPassphrase),
              0);
    EXPECT_STREQ(text, "The revocation code is wrong.");
    ASSERT_NE(NetKit::KeyServ::CompleteKeyRevocation(anna->GetKeyIDPbyte(), code.c_str(), *anna, revoked,
                                                     text, sizeof text, &kPassphrase),
              0)
        << text;
    ASSERT_TRUE(revoked);
    EXPECT_NE(revoked->GetRevocationTime(), 0);
    std::unique_ptr<CPrivateKey> again;
    EXPECT_EQ(NetKit::KeyServ::CompleteKeyRevocation(anna->GetKeyIDPbyte(), code.c_str(), *anna, again, text,
                                                     sizeof text, &kPassphrase),
              0);
    EXPECT_STREQ(text, "This key has been revoked on the server.");

    // From now on find and synchronize return the revoked copy; a publish cannot undo it.
    ASSERT_NE(NetKit::KeyServ::FindKey("anna@example.test", found, text, sizeof text), 0) << text;
    EXPECT_NE(found.at(0)->GetRevocationTime(), 0);
    ASSERT_NE(NetKit::KeyServ::SynchronizeKey(copy, changed, text, sizeof text), 0) << text;
    EXPECT_TRUE(changed);
    EXPECT_EQ(copy->m_bRevoked, 1);
    EXPECT_EQ(NetKit::KeyServ::PublishKey(revised.c_str(), static_cast<int>(revised.size()), *anna, text,
                                          sizeof text, &kPassphrase),
              0);
    EXPECT_STREQ(text, "This key has been revoked on the server.");
}

TEST_P(KeyServerTest, RefusesUnprovenUploadsAndCodes) {
    auto anna = NewKey("anna@example.test");
    auto bert = NewKey("bert@example.test");
    const std::string url = m_server->url();
    const std::string annaText = Envelope(*anna);

    // Unsigned, signed by another key, oversized, not JSON.
    EXPECT_EQ(Post(url, "/v1/keys", nlohmann::json{{"key", annaText}}.dump()).error,
              "The request has no \"signature\" text.");
    const Reply foreign = Post(url, "/v1/keys", SignedBody(*bert, annaText));
    EXPECT_EQ(foreign.status, 400);
    EXPECT_EQ(foreign.error, "The request is not signed by the key's own secret key.");
    const Reply big = Post(url, "/v1/keys", std::string(100 * 1024, ' '));
    EXPECT_EQ(big.status, 413);
    EXPECT_EQ(big.error, "The request is too large.");
    EXPECT_EQ(Post(url, "/v1/keys", "{\"key\": 1").error, "The request is not a JSON object.");
    EXPECT_EQ(m_smtp.Received().size(), 0);

    // An unconfirmed address is answered like an unknown one, by address and by key ID.
    ASSERT_EQ(Post(url, "/v1/keys", SignedBody(*anna, annaText)).status, 202);
    std::string unknown, unconfirmed;
    EXPECT_EQ(Get(url, "/v1/keys?email=nobody@example.test", &unknown), 404);
    EXPECT_EQ(Get(url, "/v1/keys?email=anna@example.test", &unconfirmed), 404);
    EXPECT_EQ(unknown, unconfirmed);
    EXPECT_EQ(Get(url, "/v1/keys/" + HexId(*anna)), 404);
    EXPECT_EQ(Post(url, "/v1/keys/" + HexId(*anna) + "/revocation", "{}").status, 404);

    PublishAndConfirm(*bert);
    const std::string bertId = HexId(*bert);
    ASSERT_EQ(Post(url, "/v1/keys/" + bertId + "/revocation", "{}").status, 200);
    std::string error;
    auto revokedBert = bert->Clone();
    ASSERT_TRUE(revokedBert->Revise(kPassphrase, 0, true, std::time(nullptr), error)) << error;
    auto revokedAnna = anna->Clone();
    ASSERT_TRUE(revokedAnna->Revise(kPassphrase, 0, true, std::time(nullptr), error)) << error;
    const std::string code = LatestRevocationCode(m_smtp, "bert@example.test");
    ASSERT_FALSE(code.empty());
    const std::string complete = "/v1/keys/" + bertId + "/revocation/complete";

    // A key under another ID, a key not revoked, a malformed code.
    EXPECT_EQ(Post(url, complete, SignedBody(*revokedAnna, Envelope(*revokedAnna), {{"code", code}})).error,
              "The key sent has another key ID than the key being revoked.");
    EXPECT_EQ(Post(url, complete, SignedBody(*bert, Envelope(*bert), {{"code", code}})).error,
              "The key sent is not revoked.");
    EXPECT_EQ(
        Post(url, complete, SignedBody(*revokedBert, Envelope(*revokedBert), {{"code", "short"}})).error,
        "The revocation code is not valid.");
    // Wrong codes are counted: after the allowed attempts even the right code no longer works.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Post(url, complete,
                       SignedBody(*revokedBert, Envelope(*revokedBert), {{"code", "WRONG-CODE-0000"}}))
                      .error,
                  "The revocation code is wrong.");
    const Reply locked =
        Post(url, complete, SignedBody(*revokedBert, Envelope(*revokedBert), {{"code", code}}));
    EXPECT_EQ(locked.status, 429);
    EXPECT_EQ(Post(url, complete, SignedBody(*revokedBert, Envelope(*revokedBert), {{"code", code}})).error,
              "No revocation code is valid for this key. Please start the revocation again.");
    std::string body;
    ASSERT_EQ(Get(url, "/v1/keys/" + bertId, &body), 200);
    EXPECT_EQ(body.find("revoked"), std::string::npos);
}

TEST_P(KeyServerTest, CapsKeysPerAddress) {
    for (int i = 0; i < 5; ++i) {
        auto key = NewKey("many@example.test");
        ASSERT_EQ(Post(m_server->url(), "/v1/keys", SignedBody(*key, Envelope(*key))).status, 202);
    }
    auto sixth = NewKey("many@example.test");
    const Reply refused = Post(m_server->url(), "/v1/keys", SignedBody(*sixth, Envelope(*sixth)));
    EXPECT_EQ(refused.status, 429);
    EXPECT_EQ(refused.error, "The server takes no more keys for this address at present.");
}

INSTANTIATE_TEST_SUITE_P(Storage, KeyServerTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return std::string(info.param); });

TEST(KeyServerPostgres, TwoServersOnOneDatabaseServeTheSameKeys) {
    corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
    PostgresCluster cluster;
    if (!cluster.running())
        GTEST_SKIP() << "no private PostgreSQL cluster could run here: " << cluster.problem();
    SmtpTestServer smtp;
    KeyServerProcess first(cluster.uri(), smtp.address());
    KeyServerProcess second(cluster.uri(), smtp.address());
    ASSERT_TRUE(first.running()) << first.Log();
    ASSERT_TRUE(second.running()) << second.Log();
    auto key = NewKey("shared@example.test");
    ASSERT_EQ(Post(first.url(), "/v1/keys", SignedBody(*key, Envelope(*key))).status, 202);
    const std::string link = LatestLineStartingWith(smtp, "shared@example.test", first.url() + "/v1/verify/");
    ASSERT_FALSE(link.empty());
    // The link made by the first server is opened at the second.
    EXPECT_EQ(Get(second.url(), link.substr(first.url().size())), 200);
    std::string one, two;
    EXPECT_EQ(Get(first.url(), "/v1/keys?email=shared@example.test", &one), 200);
    EXPECT_EQ(Get(second.url(), "/v1/keys?email=shared@example.test", &two), 200);
    EXPECT_EQ(one, two);
    EXPECT_EQ(first.Stop(), 0);
    EXPECT_EQ(second.Stop(), 0);
}

TEST(KeyServerPostgres, ManyClientsAtOnceShareAFewDatabaseConnections) {
    corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
    PostgresCluster cluster;
    if (!cluster.running())
        GTEST_SKIP() << "no private PostgreSQL cluster could run here: " << cluster.problem();
    SmtpTestServer smtp;
    KeyServerProcess server(cluster.uri(), smtp.address(), {"--rate-limit", "0"});
    ASSERT_TRUE(server.running()) << server.Log();
    auto key = NewKey("crowd@example.test");
    ASSERT_EQ(Post(server.url(), "/v1/keys", SignedBody(*key, Envelope(*key))).status, 202);
    const std::string link = LatestLineStartingWith(smtp, "crowd@example.test", server.url() + "/v1/verify/");
    ASSERT_EQ(Get(server.url(), link.substr(server.url().size())), 200);
    std::string expected;
    ASSERT_EQ(Get(server.url(), "/v1/keys?email=crowd@example.test", &expected), 200);

    // Far more requests at once than the pool holds: every one is answered, in full.
    constexpr int kClients = 48;
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
        clients.emplace_back([&] {
            for (int n = 0; n < 5; ++n) {
                std::string body;
                if (Get(server.url(), "/v1/keys?email=crowd@example.test", &body) == 200 && body == expected)
                    ++answered;
            }
        });
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(answered.load(), kClients * 5);
    // The server keeps a few connections, not one per client (the count includes psql's own).
    const int backends = std::atoi(
        cluster.Query("SELECT count(*) FROM pg_stat_activity WHERE backend_type = 'client backend'").c_str());
    EXPECT_GE(backends, 2);
    EXPECT_LE(backends, 33);
    EXPECT_EQ(server.Stop(), 0);
}

TEST(KeyServerProgram, CommandLineLogAndCleanEnd) {
    const auto help = qmtest::RunProgram(qmtest::ProgramPath("keyserv"), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--listen ADDR:PORT --db FILE|postgresql://..."), std::string::npos);
    EXPECT_EQ(help.out.rfind("Usage: keyserv ", 0), 0u);
    const auto version = qmtest::RunProgram(qmtest::ProgramPath("keyserv"), {"--version"});
    EXPECT_EQ(version.out, "keyserv (Quillmark) " QM_VERSION "\n");
    const auto unknown = qmtest::RunProgram(qmtest::ProgramPath("keyserv"), {"--no-such-option"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err.rfind("keyserv: unknown option --no-such-option\n", 0), 0u) << unknown.err;
    EXPECT_EQ(qmtest::RunProgram(qmtest::ProgramPath("keyserv"), {"--listen", "127.0.0.1:0"}).exitCode, 2);
    EXPECT_EQ(
        qmtest::RunProgram(qmtest::ProgramPath("keyserv"), {"--listen", "nowhere", "--db", "x"}).exitCode, 2);

    SmtpTestServer smtp;
    KeyServerProcess server(MakeTempDir("db") + "/k.sqlite", smtp.address(), {"--rate-limit", "2"});
    ASSERT_TRUE(server.running());
    int limited = 0;
    for (int i = 0; i < 8; ++i)
        limited += Get(server.url(), "/v1/keys?email=a@example.test") == 429 ? 1 : 0;
    EXPECT_GT(limited, 0);
    EXPECT_EQ(server.Stop(), 0);
    const std::string log = server.Log();
    EXPECT_NE(log.find("127.0.0.1 GET /v1/keys 404"), std::string::npos) << log;
    EXPECT_NE(log.find("GET /v1/keys 429"), std::string::npos) << log;
    EXPECT_NE(log.find("keyserv: stopped"), std::string::npos) << log;
}

TEST(KeyServerClient, PlainHttpOnlyToLoopbackOrWhenAllowed) {
    std::vector<std::unique_ptr<CPublicKey>> keys;
    char text[1000] = "";
    NetKit::KeyServ::SetServer("http://192.0.2.1:8080", false);
    EXPECT_EQ(NetKit::KeyServ::FindKey("a@example.test", keys, text, sizeof text), 0);
    EXPECT_NE(std::string(text).find("plain HTTP"), std::string::npos);
    NetKit::KeyServ::SetServer("", false);
    EXPECT_EQ(NetKit::KeyServ::FindKey("a@example.test", keys, text, sizeof text), 0);
    EXPECT_STREQ(text, "No key server is set. Enter its address in the preferences.");
    NetKit::KeyServ::SetServer("ftp://example.test", true);
    EXPECT_EQ(NetKit::KeyServ::FindKey("a@example.test", keys, text, sizeof text), 0);
    EXPECT_STREQ(text, "The key server address must start with \"https://\".");
}

TEST(KeyServerClient, SpeaksTlsAndChecksTheCertificate) {
    SmtpTestServer smtp;
    std::string cert, key, selfCert, selfKey;
    ASSERT_TRUE(
        MakeTestServerCertificate(MakeTempDir("tls"), SmtpTestServer::Certificate::FromTestCa, cert, key));
    ASSERT_TRUE(MakeTestServerCertificate(MakeTempDir("self"), SmtpTestServer::Certificate::SelfSigned,
                                          selfCert, selfKey));
    KeyServerProcess trusted(MakeTempDir("db") + "/k.sqlite", smtp.address(),
                             {"--tls-cert", cert, "--tls-key", key});
    KeyServerProcess untrusted(MakeTempDir("db") + "/k.sqlite", smtp.address(),
                               {"--tls-cert", selfCert, "--tls-key", selfKey});
    ASSERT_TRUE(trusted.running()) << trusted.Log();
    ASSERT_TRUE(untrusted.running()) << untrusted.Log();
    // The bundle named by CURL_CA_BUNDLE (it comes before SSL_CERT_FILE) takes the test authority.
    const char* before = std::getenv("CURL_CA_BUNDLE");
    const std::string saved = before ? before : "";
    ::setenv("CURL_CA_BUNDLE", TestCaFile().c_str(), 1);
    std::vector<std::unique_ptr<CPublicKey>> keys;
    char text[1000] = "";
    NetKit::KeyServ::SetServer(trusted.url(), false);
    EXPECT_NE(NetKit::KeyServ::FindKey("a@example.test", keys, text, sizeof text), 0) << text;
    EXPECT_TRUE(keys.empty());
    NetKit::KeyServ::SetServer(untrusted.url(), false);
    EXPECT_EQ(NetKit::KeyServ::FindKey("a@example.test", keys, text, sizeof text), 0);
    EXPECT_NE(std::string(text).find("Cannot reach the key server"), std::string::npos) << text;
    if (before)
        ::setenv("CURL_CA_BUNDLE", saved.c_str(), 1);
    else
        ::unsetenv("CURL_CA_BUNDLE");
}

} // namespace
