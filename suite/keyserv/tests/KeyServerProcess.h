#pragma once

#include "SmtpTestServer.h"
#include "TestSupport.h"

#include <memory>
#include <string>
#include <vector>

// A keyserv program on a free loopback port, mailing through a test SMTP server.
class KeyServerProcess {
public:
    KeyServerProcess(const std::string& db, const std::string& smtp,
                     const std::vector<std::string>& extra = {});
    ~KeyServerProcess();
    bool running() const { return m_port > 0; }
    int port() const { return m_port; }
    std::string url() const { return m_scheme + "://127.0.0.1:" + std::to_string(m_port); }
    // Sends SIGTERM and waits: the exit code, or -1 when it did not end by itself.
    int Stop();
    std::string Log() const { return m_program ? m_program->Errors() : std::string(); }

private:
    std::unique_ptr<qmtest::RunningProgram> m_program;
    int m_port = 0;
    std::string m_scheme = "http";
};

// A private PostgreSQL cluster in a temporary folder, run by an unprivileged user on a free
// loopback port, stopped at the end.
class PostgresCluster {
public:
    PostgresCluster();
    ~PostgresCluster();
    bool running() const { return m_running; }
    // Why it could not start.
    const std::string& problem() const { return m_problem; }
    std::string uri() const;
    // Runs one statement through psql; its rows as text (fields separated by "|").
    std::string Query(const std::string& sql) const;

private:
    std::vector<std::string> AsOwner(const std::string& program, const std::vector<std::string>& args) const;
    std::string m_folder;
    std::string m_user;
    int m_port = 0;
    bool m_running = false;
    std::string m_problem;
};

// The link or the code on a line of its own in the latest mail to `to`.
std::string LatestLineStartingWith(const SmtpTestServer& smtp, const std::string& to,
                                   const std::string& prefix);
std::string LatestRevocationCode(const SmtpTestServer& smtp, const std::string& to);
