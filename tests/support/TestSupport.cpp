#include "TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

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

} // namespace qmtest
