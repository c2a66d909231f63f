#pragma once

#include <cstdint>
#include <string>
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
// The path of one of the suite's programs in the build tree (bin/<name>).
std::string ProgramPath(const std::string& name);

} // namespace qmtest
