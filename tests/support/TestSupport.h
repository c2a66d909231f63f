#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Helpers for tests. Every test process runs in its own temporary home: HOME and the XDG_*
// folders point below TestRoot(), so nothing touches the real home folder.
namespace qmtest {

// Creates the temporary home and points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_STATE_HOME,
// XDG_CACHE_HOME and XDG_RUNTIME_DIR (mode 0700) below it. Called by the test mains.
void SetUpTestHome();
// Removes the temporary home unless QM_KEEP_TEST_HOME is set.
void TearDownTestHome();
// The temporary home of this test process.
const std::string& TestRoot();
// A fresh, empty folder below TestRoot(), named after `hint`.
std::string MakeTempDir(const std::string& hint = "dir");

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// Bytes of a deterministic pseudo-random sequence, for test data.
std::string PseudoRandomBytes(std::size_t size, std::uint32_t seed);

struct ProcessResult {
    bool started = false;
    bool timedOut = false; // still running at the time-out, and killed
    int exitCode = -1;     // -1 when the program could not be started or was killed
    std::string out;
    std::string err;
};
// Runs a program to its end with the given arguments, feeding `input` on its standard input.
// Extra environment entries ("NAME=value") are added to this process's environment.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = {}, const std::vector<std::string>& env = {},
                         int timeoutMs = 60000);
// Polls `condition` about every 20 ms until it holds (true) or `timeoutMs` passed (its last value).
bool WaitFor(const std::function<bool()>& condition, int timeoutMs);

// keeper's log in this test's state folder.
std::string KeeperLog();

// The path of one of the suite's programs in the build tree (bin/<name>).
std::string ProgramPath(const std::string& name);

// A program run with a pseudo-terminal as its controlling terminal and standard input (or a file
// on standard input), as a person at a terminal runs it. Standard output and error each go to
// the terminal or to a file of their own.
struct TerminalOptions {
    bool outTerminal = true;
    bool errTerminal = true;
    std::string inputFile;                                    // empty: the terminal
    std::vector<std::pair<std::string, std::string>> answers; // prompt seen, then the text typed
    std::vector<std::string> env;                             // "NAME=value"
    std::string folder;                                       // the working folder; empty: this one's
    int timeoutMs = 60000;
};
struct TerminalResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;
    std::string terminal; // everything the terminal showed (the terminal turns "\n" into "\r\n")
    std::string out;      // standard output when it was no terminal
    std::string err;      // standard error when it was no terminal
};
TerminalResult RunInTerminal(const std::string& program, const std::vector<std::string>& args,
                             const TerminalOptions& options);

// A program started in the background, for tests that act on it while it runs (send it a signal
// once it reached a given point). Its standard input gets `input` and is then closed; its output
// is collected; it runs in `folder` when one is given. The destructor kills it if it still runs.
class RunningProgram {
public:
    RunningProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& input = {}, const std::vector<std::string>& env = {},
                   const std::string& folder = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return m_pid > 0; }
    // Polls about every millisecond until `ready` holds (true), or the program ended or `timeoutMs`
    // passed first (false). Never a fixed sleep: the test goes on the moment the point is reached.
    bool WaitUntil(const std::function<bool()>& ready, int timeoutMs = 30000);
    bool Running();
    // Where its open descriptors point (readlink of /proc/PID/fd/N), and its memory map.
    std::vector<std::string> OpenFiles() const;
    std::string MemoryMap() const;
    // The size of the file behind one of its descriptors whose target starts with `prefix`; -1 when
    // it has none open.
    long long OpenFileSize(const std::string& prefix) const;
    void Signal(int signal);
    // Waits for the end (killing it after `timeoutMs`); the wait status.
    int Wait(int timeoutMs = 60000);
    std::string Output() const;
    std::string Errors() const;

private:
    int m_pid = -1;
    int m_status = -1;
    bool m_ended = false;
    std::string m_outPath, m_errPath;
};

} // namespace qmtest
