#include "SmtpTestServer.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

bool Openssl(const std::vector<std::string>& args) {
    const auto r = qmtest::RunProgram("/usr/bin/openssl", args);
    if (r.exitCode != 0)
        ADD_FAILURE() << "openssl " << args.front() << " failed: " << r.err;
    return r.exitCode == 0;
}

const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                          "-nodes"};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A key and certificate for the server in `folder`: self-signed, or issued by the test CA for
// 127.0.0.1 or for another host.
bool MakeServerCertificate(const std::string& folder, SmtpTestServer::Certificate kind, std::string& cert,
                           std::string& key) {
    cert = folder + "/cert.pem";
    key = folder + "/key.pem";
    if (kind == SmtpTestServer::Certificate::SelfSigned)
        return Openssl(Join({"req", "-x509"}, Join(kNewKey, {"-keyout", key, "-out", cert, "-days", "1",
                                                             "-subj", "/CN=127.0.0.1", "-addext",
                                                             "subjectAltName=IP:127.0.0.1,DNS:localhost"})));
    const std::string& ca = TestCaFile();
    const std::string caKey = ca.substr(0, ca.size() - 4) + ".key";
    const std::string request = folder + "/cert.csr", extensions = folder + "/cert.ext";
    qmtest::WriteFile(extensions, kind == SmtpTestServer::Certificate::FromTestCa
                                      ? "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                                      : "subjectAltName=DNS:mail.example.test\n");
    return Openssl(Join({"req"}, Join(kNewKey, {"-keyout", key, "-out", request, "-subj", "/CN=mail"}))) &&
           Openssl({"x509", "-req", "-in", request, "-CA", ca, "-CAkey", caKey, "-set_serial",
                    std::to_string(::getpid()) + "1", "-days", "1", "-extfile", extensions, "-out", cert});
}

} // namespace

bool MakeTestServerCertificate(const std::string& folder, SmtpTestServer::Certificate kind, std::string& cert,
                               std::string& key) {
    return MakeServerCertificate(folder, kind, cert, key);
}

const std::string& TestCaFile() {
    static const std::string path = [] {
        const std::string folder = qmtest::MakeTempDir("test-ca");
        const std::string ca = folder + "/ca.pem";
        Openssl(Join({"req", "-x509"},
                     Join(kNewKey, {"-keyout", folder + "/ca.key", "-out", ca, "-days", "1", "-subj",
                                    "/CN=Quillmark Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                                    "-addext", "keyUsage=critical,keyCertSign,cRLSign"})));
        return ca;
    }();
    return path;
}

SmtpTestServer::SmtpTestServer(const Options& options) {
    m_folder = qmtest::MakeTempDir("smtp");
    const std::string portFile = m_folder + "/port";
    std::vector<std::string> args = {QM_PYTHON3,    std::string(QM_MAIL_SCRIPTS) + "/smtp_server.py",
                                     "--dir",       m_folder,
                                     "--port-file", portFile};
    if (!options.auth.empty())
        args.insert(args.end(), {"--auth", options.auth});
    if (options.sizeLimit > 0)
        args.insert(args.end(), {"--size-limit", std::to_string(options.sizeLimit)});
    if (!options.mechanism.empty())
        args.insert(args.end(), {"--only-mechanism", options.mechanism});
    for (const auto& r : options.refuse)
        args.insert(args.end(), {"--refuse", r});
    if (options.stallAfterData)
        args.push_back("--stall-after-data");
    if (!options.tls.empty()) {
        std::string cert, key;
        if (!MakeServerCertificate(m_folder, options.certificate, cert, key))
            return;
        args.insert(args.end(), {"--tls", options.tls, "--tls-cert", cert, "--tls-key", key});
    }
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, QM_PYTHON3, nullptr, nullptr, argv.data(), environ) != 0) {
        m_pid = -1;
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (qmtest::Exists(portFile)) {
            m_port = std::stoi(qmtest::ReadFile(portFile));
            return;
        }
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

SmtpTestServer::~SmtpTestServer() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
}

QJsonArray SmtpTestServer::Received() const {
    const auto r =
        qmtest::RunProgram(QM_PYTHON3, {std::string(QM_MAIL_SCRIPTS) + "/mail_summary.py", m_folder});
    if (r.exitCode != 0) {
        ADD_FAILURE() << "mail_summary.py failed: " << r.err;
        return {};
    }
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
}

std::vector<std::string> SmtpTestServer::Commands() const {
    std::vector<std::string> verbs;
    const std::string path = m_folder + "/commands.log";
    if (!qmtest::Exists(path))
        return verbs;
    const std::string text = qmtest::ReadFile(path);
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        verbs.push_back(text.substr(at, end - at));
    return verbs;
}

int ClosedLoopbackPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}
