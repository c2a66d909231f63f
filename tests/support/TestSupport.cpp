#include "TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef QM_BIN_DIR
#define QM_BIN_DIR ""
#endif

namespace fs = std::filesystem;

namespace qmtest {
namespace {
std::string g_root;
std::atomic<int> g_counter{0};
} // namespace

void SetUpTestHome() {
    if (!g_root.empty())
        return;
    std::string pattern = (fs::temp_directory_path() / "qmtest-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create the temporary test home");
    g_root = pattern;
    const std::pair<const char*, const char*> vars[] = {{"HOME", "home"},
                                                        {"XDG_CONFIG_HOME", "config"},
                                                        {"XDG_DATA_HOME", "data"},
                                                        {"XDG_STATE_HOME", "state"},
                                                        {"XDG_CACHE_HOME", "cache"},
                                                        {"XDG_RUNTIME_DIR", "run"}};
    for (const auto& [name, sub] : vars) {
        const std::string dir = g_root + "/" + sub;
        fs::create_directories(dir);
        ::chmod(dir.c_str(), 0700);
        ::setenv(name, dir.c_str(), 1);
    }
}

void TearDownTestHome() {
    if (g_root.empty() || std::getenv("QM_KEEP_TEST_HOME"))
        return;
    std::error_code ec;
    fs::remove_all(g_root, ec);
    g_root.clear();
}

const std::string& TestRoot() {
    if (g_root.empty())
        SetUpTestHome();
    return g_root;
}

std::string MakeTempDir(const std::string& hint) {
    const std::string dir = TestRoot() + "/" + hint + "-" + std::to_string(++g_counter);
    fs::create_directories(dir);
    return dir;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    const fs::path p(path);
    if (p.has_parent_path())
        fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string PseudoRandomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::string out(size, '\0');
    for (auto& c : out)
        c = static_cast<char>(gen() & 0xFF);
    return out;
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input, const std::vector<std::string>& env, int timeoutMs) {
    QProcess proc;
    QProcessEnvironment penv = QProcessEnvironment::systemEnvironment();
    for (const auto& e : env) {
        const auto eq = e.find('=');
        if (eq != std::string::npos)
            penv.insert(QString::fromStdString(e.substr(0, eq)), QString::fromStdString(e.substr(eq + 1)));
    }
    proc.setProcessEnvironment(penv);
    QStringList qargs;
    for (const auto& a : args)
        qargs << QString::fromStdString(a);
    proc.start(QString::fromStdString(program), qargs);
    ProcessResult r;
    if (!proc.waitForStarted(10000)) {
        r.err = proc.errorString().toStdString();
        return r;
    }
    r.started = true;
    if (!input.empty())
        proc.write(input.data(), static_cast<qint64>(input.size()));
    proc.closeWriteChannel();
    if (!proc.waitForFinished(timeoutMs)) {
        r.timedOut = true;
        proc.kill();
        proc.waitForFinished(2000);
    }
    r.out = proc.readAllStandardOutput().toStdString();
    r.err = proc.readAllStandardError().toStdString();
    if (proc.exitStatus() == QProcess::NormalExit)
        r.exitCode = proc.exitCode();
    return r;
}

std::string ProgramPath(const std::string& name) {
    return std::string(QM_BIN_DIR) + "/" + name;
}

namespace {

// This process's environment with `env` ("NAME=value") put in place of the entries of those names.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& env) {
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& extra : env)
            replaced = replaced || extra.substr(0, extra.find('=')) == name;
        if (!replaced)
            envText.push_back(entry);
    }
    envText.insert(envText.end(), env.begin(), env.end());
    return envText;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& t : texts)
        pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

TerminalResult RunInTerminal(const std::string& program, const std::vector<std::string>& args,
                             const TerminalOptions& options) {
    TerminalResult result;
    const std::string dir = MakeTempDir("terminal");
    const std::string outPath = dir + "/out", errPath = dir + "/err";
    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<std::string> envText = EnvironmentWith(options.env);
    std::vector<char*> argv = Pointers(argvText), envp = Pointers(envText);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int in = options.inputFile.empty() ? -1 : ::open(options.inputFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (out < 0 || err < 0 || (!options.inputFile.empty() && in < 0))
        return result;
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        if (!options.folder.empty() && ::chdir(options.folder.c_str()) != 0)
            ::_exit(126);
        if (in >= 0)
            ::dup2(in, 0);
        if (!options.outTerminal)
            ::dup2(out, 1);
        if (!options.errTerminal)
            ::dup2(err, 2);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(err);
    if (in >= 0)
        ::close(in);
    if (pid < 0)
        return result;
    result.started = true;
    std::size_t answered = 0, searchFrom = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.timeoutMs);
    int status = 0;
    bool ended = false;
    while (true) {
        pollfd p{master, POLLIN, 0};
        const int ready = ::poll(&p, 1, 50);
        if (ready > 0) {
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                result.terminal.append(buffer, static_cast<std::size_t>(n));
            } else if (ended || n < 0) {
                break; // the program and every child of it closed the terminal
            }
        } else if (ended) {
            break;
        }
        // Each answer is typed once its prompt has appeared after the previous answer.
        if (answered < options.answers.size()) {
            const auto at = result.terminal.find(options.answers[answered].first, searchFrom);
            if (at != std::string::npos) {
                const std::string& reply = options.answers[answered].second;
                if (::write(master, reply.data(), reply.size()) < 0)
                    break;
                searchFrom = at + options.answers[answered].first.size();
                ++answered;
            }
        }
        if (!ended && ::waitpid(pid, &status, WNOHANG) == pid)
            ended = true;
        if (!ended && std::chrono::steady_clock::now() > deadline) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ended = true;
        }
    }
    ::close(master);
    if (!ended)
        ::waitpid(pid, &status, 0);
    if (!result.timedOut && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& args,
                               const std::string& input, const std::vector<std::string>& env,
                               const std::string& folder) {
    const std::string dir = MakeTempDir("program");
    m_outPath = dir + "/out";
    m_errPath = dir + "/err";
    // Everything the child needs is made here: between fork and exec it only moves descriptors.
    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText = EnvironmentWith(env);
    std::vector<char*> envp;
    for (auto& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    int in[2];
    const int out = ::open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0 || err < 0 || ::pipe2(in, O_CLOEXEC) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        if (!folder.empty() && ::chdir(folder.c_str()) != 0)
            ::_exit(126);
        ::dup2(in[0], 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    // Written while this side still holds the reading end too, so a program that ended early cannot
    // turn the write into SIGPIPE; small inputs fit the pipe.
    if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0)
        m_status = -1;
    ::close(in[0]);
    ::close(in[1]);
    ::close(out);
    ::close(err);
}

RunningProgram::~RunningProgram() {
    if (m_pid > 0 && !m_ended) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
    }
}

bool RunningProgram::Running() {
    if (m_pid <= 0 || m_ended)
        return false;
    if (::waitpid(m_pid, &m_status, WNOHANG) == m_pid)
        m_ended = true;
    return !m_ended;
}

bool RunningProgram::WaitUntil(const std::function<bool()>& ready, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready())
            return true;
        if (!Running())
            return false;
        ::usleep(1000);
    }
    return false;
}

std::vector<std::string> RunningProgram::OpenFiles() const {
    std::vector<std::string> targets;
    const std::string fds = "/proc/" + std::to_string(m_pid) + "/fd";
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fds, ec)) {
        const auto target = fs::read_symlink(e.path(), ec);
        if (!ec)
            targets.push_back(target.string());
    }
    return targets;
}

long long RunningProgram::OpenFileSize(const std::string& prefix) const {
    const std::string fds = "/proc/" + std::to_string(m_pid) + "/fd";
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fds, ec)) {
        const auto target = fs::read_symlink(e.path(), ec);
        struct stat st {};
        if (!ec && target.string().rfind(prefix, 0) == 0 && ::stat(e.path().c_str(), &st) == 0 &&
            S_ISREG(st.st_mode))
            return st.st_size;
    }
    return -1;
}

std::string RunningProgram::MemoryMap() const {
    return ReadFile("/proc/" + std::to_string(m_pid) + "/maps");
}

void RunningProgram::Signal(int signal) {
    if (m_pid > 0 && !m_ended)
        ::kill(m_pid, signal);
}

int RunningProgram::Wait(int timeoutMs) {
    if (m_pid <= 0)
        return -1;
    if (!WaitUntil([] { return false; }, timeoutMs) && Running()) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
        m_ended = true;
    }
    return m_status;
}

std::string RunningProgram::Output() const {
    return ReadFile(m_outPath);
}

std::string RunningProgram::Errors() const {
    return ReadFile(m_errPath);
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

std::string KeeperLog() {
    return ReadFile(std::string(std::getenv("XDG_STATE_HOME")) + "/Quillmark/keeper.log");
}

} // namespace qmtest
