#include "KeyServerProcess.h"

#include <QJsonObject>

#include <csignal>
#include <cstdlib>
#include <pwd.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kPostgresBin[] = "/usr/lib/postgresql/15/bin";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

qmtest::ProcessResult Run(const std::vector<std::string>& command) {
    return qmtest::RunProgram(command[0], std::vector<std::string>(command.begin() + 1, command.end()));
}

} // namespace

KeyServerProcess::KeyServerProcess(const std::string& db, const std::string& smtp,
                                   const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--listen", "127.0.0.1:0", "--db",        db,
                                     "--smtp",   smtp,          "--mail-from", "keys@example.test"};
    args.insert(args.end(), extra.begin(), extra.end());
    for (const auto& a : extra)
        if (a == "--tls-cert")
            m_scheme = "https";
    m_program = std::make_unique<qmtest::RunningProgram>(qmtest::ProgramPath("keyserv"), args);
    const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
    m_program->WaitUntil([&] {
        std::smatch m;
        const std::string log = m_program->Errors();
        if (std::regex_search(log, m, listening))
            m_port = std::stoi(m[1]);
        return m_port > 0;
    });
}

KeyServerProcess::~KeyServerProcess() {
    Stop();
}

int KeyServerProcess::Stop() {
    if (!m_program || !m_program->started())
        return -1;
    if (m_program->Running())
        m_program->Signal(SIGTERM);
    const int status = m_program->Wait(20000);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

PostgresCluster::PostgresCluster() {
    if (::access((std::string(kPostgresBin) + "/initdb").c_str(), X_OK) != 0) {
        m_problem = "PostgreSQL 15 is not installed (" + std::string(kPostgresBin) + ")";
        return;
    }
    // The server refuses to run as root: then it runs as "nobody" in a folder it owns.
    char pattern[] = "/tmp/qm-pg-XXXXXX";
    if (!::mkdtemp(pattern)) {
        m_problem = "cannot make a temporary folder";
        return;
    }
    m_folder = pattern;
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody || ::chown(m_folder.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_problem = "cannot hand the cluster folder to the user nobody";
            return;
        }
        ::chmod(m_folder.c_str(), 0700);
        m_user = "nobody";
    } else {
        m_user = ::getpwuid(::geteuid())->pw_name;
    }
    m_port = ClosedLoopbackPort();
    const std::string data = m_folder + "/data";
    auto init = Run(AsOwner("initdb", {"-D", data, "-A", "trust", "-U", "qm", "--no-sync", "-E", "UTF8"}));
    if (init.exitCode != 0) {
        m_problem = "initdb failed: " + init.err;
        return;
    }
    const auto startArgs = AsOwner("pg_ctl", {"-D", data, "-l", m_folder + "/log", "-w", "-t", "60", "-o",
                                              "-p " + std::to_string(m_port) + " -k " + m_folder +
                                                  " -c listen_addresses=127.0.0.1 -c fsync=off",
                                              "start"});
    auto start = Run(startArgs);
    if (start.exitCode != 0) {
        m_problem = "pg_ctl start failed: " + start.err + qmtest::ReadFile(m_folder + "/log");
        return;
    }
    m_running = true;
}

PostgresCluster::~PostgresCluster() {
    if (m_running) {
        Run(AsOwner("pg_ctl", {"-D", m_folder + "/data", "-m", "immediate", "-w", "stop"}));
    }
    if (!m_folder.empty())
        qmtest::RunProgram("/bin/rm", {"-rf", m_folder});
}

std::string PostgresCluster::uri() const {
    return "postgresql://qm@127.0.0.1:" + std::to_string(m_port) + "/postgres";
}

std::string PostgresCluster::Query(const std::string& sql) const {
    return Run(AsOwner("psql", {"-h", "127.0.0.1", "-p", std::to_string(m_port), "-U", "qm", "-d", "postgres",
                                "-Atc", sql}))
        .out;
}

std::vector<std::string> PostgresCluster::AsOwner(const std::string& program,
                                                  const std::vector<std::string>& args) const {
    std::vector<std::string> out;
    if (::geteuid() == 0)
        out = {"/usr/sbin/runuser", "-u", m_user, "--"};
    out.push_back(std::string(kPostgresBin) + "/" + program);
    out.insert(out.end(), args.begin(), args.end());
    return out;
}

std::string LatestLineStartingWith(const SmtpTestServer& smtp, const std::string& to,
                                   const std::string& prefix) {
    const QJsonArray mails = smtp.Received();
    for (int i = mails.size() - 1; i >= 0; --i) {
        const QJsonObject mail = mails[i].toObject();
        if (mail["to"].toArray().isEmpty() || mail["to"].toArray()[0].toString().toStdString() != to)
            continue;
        for (const std::string& line : Lines(mail["body"].toString().toStdString()))
            if (line.rfind(prefix, 0) == 0)
                return line;
    }
    return {};
}

std::string LatestRevocationCode(const SmtpTestServer& smtp, const std::string& to) {
    const QJsonArray mails = smtp.Received();
    const std::regex code("^[A-Za-z0-9-]{10,32}$");
    for (int i = mails.size() - 1; i >= 0; --i) {
        const QJsonObject mail = mails[i].toObject();
        if (mail["subject"].toString() != "Your key revocation code" ||
            mail["to"].toArray()[0].toString().toStdString() != to)
            continue;
        for (const std::string& line : Lines(mail["body"].toString().toStdString()))
            if (std::regex_match(line, code))
                return line;
    }
    return {};
}
