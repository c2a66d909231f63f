#pragma once

#include <QJsonArray>

#include <string>
#include <sys/types.h>
#include <vector>

// The loopback SMTP server of smtp_server.py, run as a child process for the length of a test.
class SmtpTestServer {
public:
    // Whose certificate the server shows when it speaks TLS.
    enum class Certificate {
        SelfSigned,          // nobody vouches for it
        FromTestCa,          // issued by TestCaFile() for 127.0.0.1 and localhost
        FromTestCaOtherHost, // issued by TestCaFile(), but for another host name
    };
    struct Options {
        std::string auth = {};      // "user:password" to require a login
        std::string mechanism = {}; // "LOGIN" or "PLAIN" to offer only that one
        std::vector<std::string> refuse = {};
        int sizeLimit = 0;
        std::string tls = {}; // "starttls" or "implicit"
        Certificate certificate = Certificate::SelfSigned;
        bool stallAfterData = false; // takes the message and never answers again
    };
    explicit SmtpTestServer(const Options& options);
    SmtpTestServer() : SmtpTestServer(Options{}) {}
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    bool running() const { return m_port > 0; }
    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    // What arrived so far, one object per message (see mail_summary.py).
    QJsonArray Received() const;
    // The command verbs the server read so far, in order ("EHLO", "STARTTLS", "AUTH", ...).
    std::vector<std::string> Commands() const;

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_folder;
};

// A key and certificate (PEM files cert.pem and key.pem in `folder`) for a test server on loopback.
bool MakeTestServerCertificate(const std::string& folder, SmtpTestServer::Certificate kind, std::string& cert,
                               std::string& key);

// A loopback port where nothing listens.
int ClosedLoopbackPort();

// The certificate (PEM) of a certification authority made for this test process with the
// openssl program. A client trusts it when SSL_CERT_FILE names this file.
const std::string& TestCaFile();
