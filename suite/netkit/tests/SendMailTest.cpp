// SendMail against a real SMTP server on loopback; what arrived is read back with Python's MIME
// parser (mail_summary.py).
#include "netkit/Mail.h"

#include "SmtpTestServer.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace NetKit::Mail;

namespace {

SENDMAILINFO_ BaseInfo(const SmtpTestServer& server) {
    SENDMAILINFO_ info;
    info.csSenderEmail = "ann@example.test";
    info.csSenderName = "Ann Sender";
    info.csSendTo = "bob@example.test";
    info.csSubject = "Nightly run";
    info.csMessage = "All files were encrypted.\n";
    info.csServer = server.address();
    info.csCharset = "UTF-8 (utf-8)";
    return info;
}

SENDMAILINFO_ LoginInfo(const SmtpTestServer& server, const std::string& login, const std::string& password) {
    SENDMAILINFO_ info = BaseInfo(server);
    info.bAuth = 1;
    info.csLogin = login;
    info.csPassword = password;
    return info;
}

struct Result {
    int ok = 0;
    std::string error;
};

Result Send(const SENDMAILINFO_& info, MAILPROGRESS_* progress = nullptr) {
    char error[512];
    std::memset(error, 'x', sizeof error);
    Result r;
    r.ok = SendMail(&info, error, sizeof error, progress);
    if (!r.ok) {
        EXPECT_NE(std::memchr(error, 0, sizeof error), nullptr) << "the error text is terminated";
        r.error.assign(error, strnlen(error, sizeof error));
    }
    return r;
}

// Sends, and returns what the server received last.
QJsonObject SendAndReceive(const SmtpTestServer& server, const SENDMAILINFO_& info) {
    const Result r = Send(info);
    EXPECT_TRUE(r.ok) << r.error;
    const QJsonArray got = server.Received();
    EXPECT_FALSE(got.isEmpty());
    return got.isEmpty() ? QJsonObject() : got.last().toObject();
}

std::string Str(const QJsonValue& v) {
    return v.toString().toStdString();
}

std::vector<std::string> Strings(const QJsonValue& v) {
    std::vector<std::string> out;
    for (const auto& item : v.toArray())
        out.push_back(item.toString().toStdString());
    return out;
}

// Trusts the test CA for as long as it lives, the way a user names a company's authority: in
// CURL_CA_BUNDLE, or in SSL_CERT_FILE with CURL_CA_BUNDLE (which comes first) unset. The
// environment is restored afterwards.
class TrustTestCa {
public:
    explicit TrustTestCa(const char* variable = "CURL_CA_BUNDLE") {
        for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
            const char* old = std::getenv(name);
            m_saved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
            ::unsetenv(name);
        }
        ::setenv(variable, TestCaFile().c_str(), 1);
    }
    ~TrustTestCa() {
        for (const auto& [name, value] : m_saved)
            value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    TrustTestCa(const TrustTestCa&) = delete;
    TrustTestCa& operator=(const TrustTestCa&) = delete;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

bool Saw(const SmtpTestServer& server, const std::string& verb) {
    const auto verbs = server.Commands();
    return std::find(verbs.begin(), verbs.end(), verb) != verbs.end();
}

// Short waits for the tests of a silent server, restored afterwards.
class ShortTimeouts {
public:
    explicit ShortTimeouts(const MailTimeouts& t) { SetTimeoutsForTesting(t); }
    ~ShortTimeouts() { SetTimeoutsForTesting(MailTimeouts{}); }
    ShortTimeouts(const ShortTimeouts&) = delete;
    ShortTimeouts& operator=(const ShortTimeouts&) = delete;
};

// A listening loopback socket that never accepts: connections open, no greeting comes.
class SilentListener {
public:
    SilentListener() {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(listen(m_fd, 4), 0);
        socklen_t len = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~SilentListener() { close(m_fd); }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_fd = -1;
    int m_port = 0;
};

std::string Sha256(const std::string& bytes) {
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

} // namespace

TEST(SendMail, PlainMessageArrivesWithItsHeadersAndBodyInTheChosenSet) {
    SmtpTestServer server;
    ASSERT_TRUE(server.running());
    SENDMAILINFO_ info = BaseInfo(server);
    info.csSenderName = "J\xC3\xB6rg M\xC3\xBCller";
    info.csSendTo = "Bob Example <bob@example.test>";
    info.csSubject = "Gr\xC3\xBC\xC3\x9F"
                     "e \xE2\x80\x93 nightly report";
    info.csMessage = "Hallo J\xC3\xB6rg,\n.\nA line that starts with a dot follows:\n.hidden\nFrom here on\n";
    info.csCharset = "1252 (windows-1252)";
    const QJsonObject m = SendAndReceive(server, info);
    EXPECT_EQ(Str(m["mail_from"]), "ann@example.test");
    EXPECT_EQ(Strings(m["rcpt_tos"]), std::vector<std::string>{"bob@example.test"});
    EXPECT_EQ(Str(m["from_name"]), info.csSenderName);
    EXPECT_EQ(Strings(m["to"]), std::vector<std::string>{"bob@example.test"});
    EXPECT_EQ(Strings(m["to_names"]), std::vector<std::string>{"Bob Example"});
    EXPECT_EQ(Str(m["subject"]), info.csSubject);
    EXPECT_EQ(Str(m["charset"]), "windows-1252");
    EXPECT_EQ(Str(m["transfer_encoding"]), "quoted-printable");
    EXPECT_EQ(Str(m["body"]), info.csMessage);
    EXPECT_EQ(Str(m["body_hex"]).substr(0, 22), "48616c6c6f204af672672c") << "the o-umlaut is the byte F6";
    EXPECT_EQ(Str(m["mime_version"]), "1.0");
    EXPECT_NE(Str(m["message_id"]).find("@example.test>"), std::string::npos);
    EXPECT_FALSE(Str(m["date"]).empty());
    EXPECT_TRUE(m["defects"].toArray().isEmpty()) << Str(m["defects"].toArray()[0]);
    EXPECT_LE(m["max_line"].toInt(), 78);
    EXPECT_FALSE(m["bare_lf"].toBool());
}

TEST(SendMail, CyrillicBodyTravelsAsBase64InKoi8r) {
    SmtpTestServer server;
    ASSERT_TRUE(server.running());
    SENDMAILINFO_ info = BaseInfo(server);
    info.csSubject = "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82";
    info.csMessage = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80";
    info.csCharset = "20866 (koi8-r)";
    const QJsonObject m = SendAndReceive(server, info);
    EXPECT_EQ(Str(m["charset"]), "koi8-r");
    EXPECT_EQ(Str(m["transfer_encoding"]), "base64");
    EXPECT_EQ(Str(m["body_hex"]), "f0d2c9d7c5d42c20cdc9d2");
    EXPECT_EQ(Str(m["body"]), info.csMessage);
    EXPECT_EQ(Str(m["subject"]), info.csSubject);
}

TEST(SendMail, AttachmentKeepsItsBytesItsNameAndATypeFromItsContent) {
    SmtpTestServer server;
    ASSERT_TRUE(server.running());
    const std::string folder = qmtest::MakeTempDir("attach");
    // PNG bytes under a name that says nothing about them.
    const std::string png =
        std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + qmtest::PseudoRandomBytes(300000, 7);
    const std::string path = folder + "/Bild \xC3\x9C"
                                      "bersicht.dat";
    qmtest::WriteFile(path, png);
    SENDMAILINFO_ info = BaseInfo(server);
    info.csAttachment = path;
    const QJsonObject m = SendAndReceive(server, info);
    EXPECT_EQ(Str(m["body"]), info.csMessage);
    const QJsonArray attachments = m["attachments"].toArray();
    ASSERT_EQ(attachments.size(), 1);
    const QJsonObject a = attachments[0].toObject();
    EXPECT_EQ(Str(a["name"]), "Bild \xC3\x9C"
                              "bersicht.dat");
    EXPECT_EQ(Str(a["type"]), "image/png");
    EXPECT_EQ(a["size"].toInt(), static_cast<int>(png.size()));
    EXPECT_EQ(Str(a["sha256"]), Sha256(png));
    EXPECT_TRUE(m["defects"].toArray().isEmpty());
    EXPECT_LE(m["max_line"].toInt(), 78);

    // A text file named by its extension, and an empty file.
    qmtest::WriteFile(folder + "/figures.csv", "a,b\n1,2\n");
    qmtest::WriteFile(folder + "/empty.bin", "");
    info.csAttachment = folder + "/figures.csv";
    ASSERT_TRUE(Send(info).ok);
    info.csAttachment = folder + "/empty.bin";
    ASSERT_TRUE(Send(info).ok);
    const QJsonArray more = server.Received();
    ASSERT_EQ(more.size(), 3);
    EXPECT_EQ(Str(more[1].toObject()["attachments"].toArray()[0].toObject()["type"]), "text/csv");
    const QJsonObject empty = more[2].toObject()["attachments"].toArray()[0].toObject();
    EXPECT_EQ(Str(empty["name"]), "empty.bin");
    EXPECT_EQ(empty["size"].toInt(), 0);
}

TEST(SendMail, RecipientsAreTheUnionOfSendToAndTheListFile) {
    SmtpTestServer server;
    ASSERT_TRUE(server.running());
    const std::string list = qmtest::MakeTempDir("list") + "/recipients.txt";
    qmtest::WriteFile(list,
                      "# the team\r\n\r\nb@example.test\r\nCarol <carol@example.test>\r\nA@EXAMPLE.TEST\r\n");
    SENDMAILINFO_ info = BaseInfo(server);
    info.csSendTo = "a@example.test; b@example.test,";
    info.csRecipientsFile = list;
    const Result r = Send(info);
    ASSERT_TRUE(r.ok) << r.error;
    const QJsonArray got = server.Received();
    ASSERT_EQ(got.size(), 1);
    const std::vector<std::string> expected = {"a@example.test", "b@example.test", "carol@example.test"};
    EXPECT_EQ(Strings(got[0].toObject()["rcpt_tos"]), expected);
    EXPECT_EQ(Strings(got[0].toObject()["to"]), expected);

    // The list file alone is enough.
    info.csSendTo.clear();
    ASSERT_TRUE(Send(info).ok);
    EXPECT_EQ(Strings(server.Received()[1].toObject()["rcpt_tos"]),
              (std::vector<std::string>{"b@example.test", "carol@example.test", "A@EXAMPLE.TEST"}));
}

TEST(SendMail, LogsInWhenAuthenticationIsOnAndReportsARefusedLogin) {
    TrustTestCa trust;
    SmtpTestServer strict({.auth = "mailer:s3cret:with spaces",
                           .tls = "starttls",
                           .certificate = SmtpTestServer::Certificate::FromTestCa});
    ASSERT_TRUE(strict.running());
    SENDMAILINFO_ info = LoginInfo(strict, "mailer", "s3cret:with spaces");
    Result r = Send(info);
    ASSERT_TRUE(r.ok) << r.error;
    const QJsonArray got = strict.Received();
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(Str(got[0].toObject()["login"]), "mailer");

    info.csPassword = "wrong";
    r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("refused the login"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("535"), std::string::npos) << r.error;
    EXPECT_EQ(r.error.find("wrong"), std::string::npos) << "the password never shows: " << r.error;

    info.bAuth = 0;
    r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("requires a login"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("530"), std::string::npos) << "the server's reason is passed on: " << r.error;

    info.bAuth = 1;
    info.csLogin.clear();
    r = Send(info);
    EXPECT_NE(r.error.find("no login"), std::string::npos) << r.error;
    EXPECT_EQ(strict.Received().size(), 1);
}

TEST(SendMail, LogsInWithEitherMechanism) {
    TrustTestCa trust;
    for (const char* mechanism : {"LOGIN", "PLAIN"}) {
        SmtpTestServer server({.auth = "j\xC3\xB6rg:p\xC3\xA4ss w0rd",
                               .mechanism = mechanism,
                               .tls = "starttls",
                               .certificate = SmtpTestServer::Certificate::FromTestCa});
        ASSERT_TRUE(server.running());
        SENDMAILINFO_ info = LoginInfo(server, "j\xC3\xB6rg", "p\xC3\xA4ss w0rd");
        const QJsonObject m = SendAndReceive(server, info);
        EXPECT_EQ(Str(m["login"]), info.csLogin) << mechanism;
        EXPECT_EQ(Str(m["mechanism"]), mechanism);
        info.csPassword = "p\xC3\xA4ss";
        const Result r = Send(info);
        EXPECT_NE(r.error.find("refused the login: 535"), std::string::npos) << mechanism << ": " << r.error;
    }
}

TEST(SendMail, RefusedRecipientIsNamedAndNothingIsDelivered) {
    SmtpTestServer server({.refuse = {"nobody@example.test"}});
    ASSERT_TRUE(server.running());
    SENDMAILINFO_ info = BaseInfo(server);
    info.csSendTo = "bob@example.test, nobody@example.test";
    const Result r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("refused the recipient <nobody@example.test>"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("550 5.1.1"), std::string::npos) << r.error;
    EXPECT_EQ(server.Received().size(), 0);
}

// Both ways of encrypting the connection are used and the server's certificate is checked: a
// certificate that nobody vouches for stops the mail before anything is handed over.
TEST(SendMail, StartTlsWhenOfferedAndImplicitTlsVerifyTheCertificate) {
    SmtpTestServer offering({.tls = "starttls"});
    ASSERT_TRUE(offering.running());
    SENDMAILINFO_ info = BaseInfo(offering);
    Result r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("certificate"), std::string::npos) << r.error;
    EXPECT_EQ(offering.Received().size(), 0);

    SmtpTestServer implicit({.tls = "implicit"});
    ASSERT_TRUE(implicit.running());
    info.csServer = "smtps://" + implicit.address();
    r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("certificate"), std::string::npos) << r.error;
    EXPECT_EQ(implicit.Received().size(), 0);
}

TEST(SendMail, TheUsersPortAndSecuritySettingsApplyToAServerNamedWithoutPort) {
    SmtpTestServer open;
    ASSERT_TRUE(open.running());
    SENDMAILINFO_ info = BaseInfo(open);
    info.csServer = "127.0.0.1";
    info.nPort = open.port();
    Result r = Send(info);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(open.Received().size(), 1);

    // A port in the server text wins over the setting.
    info.csServer = "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(open.Received().size(), 1);

    // STARTTLS always: a server that offers none gets no message, even without a login.
    info.csServer = "127.0.0.1";
    info.nSecurity = kSecurityStartTls;
    r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(open.Received().size(), 1);

    // TLS from the start: the plain server cannot answer the handshake.
    info.nSecurity = kSecurityTls;
    info.nTimeoutSeconds = 3;
    r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(open.Received().size(), 1);
}

TEST(SendMail, LoginToAServerWithoutEncryptionIsRefusedBeforeThePasswordGoes) {
    SmtpTestServer server({.auth = "mailer:s3cret"});
    ASSERT_TRUE(server.running());
    SENDMAILINFO_ info = LoginInfo(server, "mailer", "s3cret");
    Result r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("offers no encryption"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("MailPlainAuth"), std::string::npos) << "names the setting: " << r.error;
    EXPECT_TRUE(Saw(server, "EHLO"));
    EXPECT_FALSE(Saw(server, "AUTH")) << "the server never saw a login";
    EXPECT_EQ(server.Received().size(), 0);

    // Allowed by the user: the mail goes, and the caller is told, for the run's log.
    info.bPlainAuth = 1;
    char text[512];
    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(SendMail(&info, text, sizeof text, nullptr), 1) << text;
    EXPECT_TRUE(Saw(server, "AUTH"));
    EXPECT_NE(std::string(text).find("sent unencrypted"), std::string::npos) << text;
    ASSERT_EQ(server.Received().size(), 1);
    EXPECT_EQ(Str(server.Received()[0].toObject()["login"]), "mailer");

    // Without a login nothing secret travels, so nothing is refused or noted.
    info.bAuth = 0;
    info.bPlainAuth = 0;
    SmtpTestServer open;
    ASSERT_TRUE(open.running());
    info.csServer = open.address();
    ASSERT_EQ(SendMail(&info, text, sizeof text, nullptr), 1) << text;
    EXPECT_STREQ(text, "");
}

TEST(SendMail, LoginGoesOnlyOverAVerifiedEncryptedConnection) {
    SENDMAILINFO_ info;
    info.csSenderEmail = "ann@example.test";
    info.csSendTo = "bob@example.test";
    info.bAuth = 1;
    info.csLogin = "mailer";
    info.csPassword = "s3cret";
    auto sendTo = [&](const SmtpTestServer& server, const std::string& url) {
        info.csServer = url.empty() ? server.address() : url;
        char text[512];
        const int ok = SendMail(&info, text, sizeof text, nullptr);
        return Result{ok, text};
    };
    // STARTTLS with a certificate from an authority the user trusts: the login goes, encrypted.
    SmtpTestServer trusted(
        {.auth = "mailer:s3cret", .tls = "starttls", .certificate = SmtpTestServer::Certificate::FromTestCa});
    ASSERT_TRUE(trusted.running());
    {
        TrustTestCa trust;
        const Result r = sendTo(trusted, "");
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.error, "") << "no warning when the password was encrypted";
    }
    const std::vector<std::string> verbs = trusted.Commands();
    ASSERT_GE(verbs.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(verbs.begin(), verbs.begin() + 4),
              (std::vector<std::string>{"EHLO", "STARTTLS", "EHLO", "AUTH"}));
    EXPECT_EQ(Str(trusted.Received()[0].toObject()["login"]), "mailer");

    // The same server when its authority is not trusted, a certificate for another host, and one
    // that nobody vouches for: refused before the login.
    Result r = sendTo(trusted, "");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("certificate"), std::string::npos) << r.error;
    SmtpTestServer otherHost({.auth = "mailer:s3cret",
                              .tls = "starttls",
                              .certificate = SmtpTestServer::Certificate::FromTestCaOtherHost});
    SmtpTestServer selfSigned({.auth = "mailer:s3cret", .tls = "starttls"});
    ASSERT_TRUE(otherHost.running() && selfSigned.running());
    {
        TrustTestCa trust;
        r = sendTo(otherHost, "");
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("127.0.0.1"), std::string::npos) << "the name does not match: " << r.error;
        r = sendTo(selfSigned, "");
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("certificate"), std::string::npos) << r.error;
        // Allowing an unencrypted login does not lower the check of a certificate offered.
        info.bPlainAuth = 1;
        EXPECT_FALSE(sendTo(selfSigned, "").ok);
        info.bPlainAuth = 0;
    }
    const std::vector<std::string> after = trusted.Commands();
    EXPECT_EQ(std::count(after.begin(), after.end(), "AUTH"), 1) << "only the trusted attempt logged in";
    EXPECT_FALSE(Saw(otherHost, "AUTH"));
    EXPECT_FALSE(Saw(selfSigned, "AUTH"));

    // SMTPS: encrypted from the first byte.
    SmtpTestServer implicit(
        {.auth = "mailer:s3cret", .tls = "implicit", .certificate = SmtpTestServer::Certificate::FromTestCa});
    ASSERT_TRUE(implicit.running());
    TrustTestCa trust("SSL_CERT_FILE");
    r = sendTo(implicit, "smtps://" + implicit.address());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.error, "");
    EXPECT_TRUE(Saw(implicit, "AUTH"));
}

TEST(SendMail, MessageTooLargeForTheServerIsSaidSo) {
    SmtpTestServer server({.sizeLimit = 4000});
    ASSERT_TRUE(server.running());
    const std::string path = qmtest::MakeTempDir("big") + "/report.bin";
    qmtest::WriteFile(path, qmtest::PseudoRandomBytes(5000, 3));
    SENDMAILINFO_ info = BaseInfo(server);
    info.csAttachment = path;
    const Result r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("too large: 552"), std::string::npos) << r.error;
    EXPECT_EQ(server.Received().size(), 0);
}

TEST(SendMail, ServerThatIsNotThereFailsAtOnce) {
    SENDMAILINFO_ info;
    info.csSenderEmail = "ann@example.test";
    info.csSendTo = "bob@example.test";
    info.csServer = "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    const auto start = std::chrono::steady_clock::now();
    const Result r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Couldn't connect to server"), std::string::npos) << r.error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// The waits are shortened here; with the defaults (15 s and 20 s) the same arithmetic keeps every
// silent server well within 30 s.
TEST(SendMail, ServerThatNeverGreetsIsGivenUpAfterTheConnectionTime) {
    ShortTimeouts shortened({.connectSeconds = 1, .responseSeconds = 2});
    SilentListener silent;
    SENDMAILINFO_ info;
    info.csSenderEmail = "ann@example.test";
    info.csSendTo = "bob@example.test";
    info.csServer = silent.address();
    const auto start = std::chrono::steady_clock::now();
    const Result r = Send(info);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Timeout"), std::string::npos) << r.error;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::milliseconds(1900)) << "no second wait follows";
}

TEST(SendMail, ServerThatStallsAfterTheMessageIsGivenUpOneResponseTimeLater) {
    ShortTimeouts shortened({.connectSeconds = 1, .responseSeconds = 2});
    SmtpTestServer server({.stallAfterData = true});
    ASSERT_TRUE(server.running());
    const auto start = std::chrono::steady_clock::now();
    const Result r = Send(BaseInfo(server));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Timeout"), std::string::npos) << r.error;
    EXPECT_TRUE(Saw(server, "DATA"));
    // One response time for the missing answer to the message, and no wait for an answer to QUIT.
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::milliseconds(3600));
}

TEST(SendMail, ViaIpBindsTheLocalEnd) {
    SmtpTestServer server;
    ASSERT_TRUE(server.running());
    SENDMAILINFO_ info = BaseInfo(server);
    info.csViaIp = "127.0.0.1";
    Result r = Send(info);
    ASSERT_TRUE(r.ok) << r.error;
    // An address this machine does not have: binding fails before any packet leaves.
    info.csViaIp = "192.0.2.7";
    r = Send(info);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("192.0.2.7"), std::string::npos) << r.error;
    info.csViaIp = "eth0";
    r = Send(info);
    EXPECT_NE(r.error.find("not an IPv4 address"), std::string::npos) << r.error;
    EXPECT_EQ(server.Received().size(), 1);
}

TEST(SendMail, BadInputIsReportedBeforeAnythingIsSent) {
    SmtpTestServer server;
    ASSERT_TRUE(server.running());
    const std::string folder = qmtest::MakeTempDir("bad");
    struct Case {
        const char* what;
        std::function<void(SENDMAILINFO_&)> change;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"missing attachment", [&](SENDMAILINFO_& i) { i.csAttachment = folder + "/gone.pdf"; },
         "Cannot read the file to attach"},
        {"attachment is a folder", [&](SENDMAILINFO_& i) { i.csAttachment = folder; }, "not a readable file"},
        // Refused at once rather than waited on for a writer that never comes.
        {"attachment is a FIFO", [&](SENDMAILINFO_& i) { i.csAttachment = folder + "/fifo"; },
         "not a readable file"},
        {"recipients list is a FIFO", [&](SENDMAILINFO_& i) { i.csRecipientsFile = folder + "/fifo"; },
         "not a readable file"},
        {"missing recipients list", [&](SENDMAILINFO_& i) { i.csRecipientsFile = folder + "/none.txt"; },
         "Cannot read the recipients list"},
        {"injected subject", [](SENDMAILINFO_& i) { i.csSubject = "Hi\r\nBcc: evil@x.test"; }, "line break"},
        {"injected sender name", [](SENDMAILINFO_& i) { i.csSenderName = "Ann\nBcc: evil@x.test"; },
         "line break"},
        {"injected sender", [](SENDMAILINFO_& i) { i.csSenderEmail = "a@x.test\r\nRCPT TO:<e@x.test>"; },
         "line break"},
        {"injected recipient", [](SENDMAILINFO_& i) { i.csSendTo = "b@x.test\r\nBcc: evil@x.test"; },
         "line break"},
        {"no recipient", [](SENDMAILINFO_& i) { i.csSendTo = " ; "; }, "No recipient"},
        {"unknown encoding", [](SENDMAILINFO_& i) { i.csCharset = "9999 (no-such-charset)"; },
         "Unknown encoding"},
        {"text outside the set",
         [](SENDMAILINFO_& i) {
             i.csCharset = "28591 (iso-8859-1)";
             i.csMessage = "5 \xE2\x82\xAC";
         },
         "U+20AC"},
        {"bad server", [](SENDMAILINFO_& i) { i.csServer = "mail server:25"; }, "not a valid host name"},
        {"no sender", [](SENDMAILINFO_& i) { i.csSenderEmail.clear(); }, "sender's email address is empty"},
    };
    ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0600), 0);
    // Size limits are checked before reading: both files are sparse.
    const std::string huge = folder + "/huge.iso", hugeList = folder + "/huge.txt";
    qmtest::WriteFile(huge, "");
    qmtest::WriteFile(hugeList, "");
    ASSERT_EQ(truncate(huge.c_str(), 257LL * 1024 * 1024), 0);
    ASSERT_EQ(truncate(hugeList.c_str(), 2LL * 1024 * 1024), 0);
    for (const auto& [field, path] : {std::pair{&SENDMAILINFO_::csAttachment, huge},
                                      std::pair{&SENDMAILINFO_::csRecipientsFile, hugeList}}) {
        SENDMAILINFO_ info = BaseInfo(server);
        info.*field = path;
        EXPECT_NE(Send(info).error.find("it is larger than"), std::string::npos) << path;
    }
    const std::string list = folder + "/list.txt";
    qmtest::WriteFile(list, "ok@x.test\nBcc: evil@x.test\n");
    for (const Case& c : cases) {
        SENDMAILINFO_ info = BaseInfo(server);
        c.change(info);
        const Result r = Send(info);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_NE(r.error.find(c.expected), std::string::npos) << c.what << ": " << r.error;
    }
    SENDMAILINFO_ info = BaseInfo(server);
    info.csRecipientsFile = list;
    const Result r = Send(info);
    EXPECT_NE(r.error.find("Line 2 of the recipients list"), std::string::npos) << r.error;
    EXPECT_EQ(server.Received().size(), 0) << "nothing reached the server";
    char small[8];
    EXPECT_EQ(SendMail(nullptr, small, sizeof small, nullptr), 0);
    EXPECT_STREQ(small, "No emai");
}

TEST(SendMail, ProgressShowsConnectingAndSending) {
    SmtpTestServer server;
    ASSERT_TRUE(server.running());
    SENDMAILINFO_ info = BaseInfo(server);
    info.csMessage = std::string(100000, 'x');
    std::vector<std::string> phases;
    MAILPROGRESS_ record;
    record.pDialog = &phases;
    record.pfnCallBack = [](MAILPROGRESS_* p) {
        auto* seen = static_cast<std::vector<std::string>*>(p->pDialog);
        if (seen->empty() || seen->back() != p->csPhase)
            seen->push_back(p->csPhase);
    };
    const Result r = Send(info, &record);
    ASSERT_TRUE(r.ok) << r.error;
    const std::vector<std::string> expected = {"Preparing email...", "Connecting to the mail server...",
                                               "Sending email...", "Email sent."};
    EXPECT_EQ(phases, expected);
    EXPECT_NE(record.csCurrent.find("KB sent"), std::string::npos) << record.csCurrent;
    const std::string body = Str(server.Received()[0].toObject()["body"]);
    EXPECT_EQ(body.size(), info.csMessage.size());
    EXPECT_TRUE(body == info.csMessage);
}
