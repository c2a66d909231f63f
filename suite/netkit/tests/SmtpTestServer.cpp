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
    if (!options.tls.empty()) {
        const std::string cert = m_folder + "/cert.pem", key = m_folder + "/key.pem";
        const auto r =
            qmtest::RunProgram("/usr/bin/openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                                    "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key,
                                                    "-out", cert, "-days", "1", "-subj", "/CN=127.0.0.1"});
        if (r.exitCode != 0) {
            ADD_FAILURE() << "openssl failed: " << r.err;
            return;
        }
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
