// Files written by the real programs: names up to the file system's limit through a whole task run
// and back, task lists written through links, and runs stopped by a signal in the middle of a
// write, which must leave no plaintext and no temporary file behind.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using qmtest::ProgramPath;
using qmtest::RunProgram;

const std::vector<std::string> kNoDisplay = {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="};

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Builds a task list from JSON with qmtask and runs it; qmtask's output.
qmtest::ProcessResult BuildAndRun(const std::string& folder, const std::string& json) {
    qmtest::WriteFile(folder + "/tasks.json", json);
    const auto build =
        RunProgram(ProgramPath("qmtask"), {"build", folder + "/tasks.json", folder + "/tasks.qms"});
    EXPECT_EQ(build.exitCode, 0) << build.err;
    return RunProgram(ProgramPath("qmtask"), {"run", folder + "/tasks.qms"}, {}, kNoDisplay);
}

// A key file: the tests stay quick where every program started with a password would spend
// seconds (far more under the sanitizers) stretching it.
std::string MakeKey(const std::string& folder) {
    const std::string key = folder + "/test.qmk";
    const auto made = RunProgram(ProgramPath("qmcenter"), {"encrypt", "--make-key", key}, {}, kNoDisplay);
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return key;
}

std::string EncryptTask(int id, const std::string& location, const std::string& key,
                        const std::string& archive) {
    return R"({"m_csName": "task )" + std::to_string(id) + R"(", "m_nId": )" + std::to_string(id) +
           R"(, "m_csLocation": ")" + location + R"(", "m_csMask": "|*.*|", "m_csKeyFile": ")" + key +
           R"(", "m_bWipe": 1)" +
           (archive.empty() ? std::string() : R"(, "m_bArchive": 1, "m_csArchive": ")" + archive + "\"") +
           "}";
}

TEST(LongNames, A245ByteNameArchivedByATaskWithWipeIsExtractedAgain) {
    const std::string dir = qmtest::MakeTempDir("long");
    const std::string name(245, 'n');
    const std::string content = qmtest::PseudoRandomBytes(70000, 245);
    qmtest::WriteFile(dir + "/src/" + name, content);
    const std::string key = MakeKey(dir);
    const auto run =
        BuildAndRun(dir, R"({"encrypt": [)" + EncryptTask(1, dir + "/src", key, dir + "/all.qma") + "]}");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Done. 0 errors."), std::string::npos) << run.out;
    EXPECT_FALSE(qmtest::Exists(dir + "/src/" + name)) << "wiped once archived";
    std::filesystem::create_directories(dir + "/out");

    const auto decrypt =
        RunProgram(ProgramPath("qmcenter"),
                   {"decrypt", "--key", key, "--output", dir + "/out", dir + "/all.qma"}, {}, kNoDisplay);
    ASSERT_EQ(decrypt.exitCode, 0) << decrypt.err;
    EXPECT_TRUE(qmtest::ReadFile(dir + "/out/" + name) == content);
    EXPECT_EQ(Names(dir + "/out"), std::vector<std::string>{name});
}

TEST(LongNames, EncryptedFilesUpTo255BytesWrittenByATaskWithWipeDecryptAgain) {
    const std::string dir = qmtest::MakeTempDir("long");
    // ".qmp" makes 249 and 255 bytes of the encrypted files' names.
    const std::vector<std::string> names = {std::string(245, 'a'), std::string(251, 'b')};
    for (const std::string& name : names)
        qmtest::WriteFile(dir + "/src/" + name, "contents of " + name.substr(0, 1));
    const std::string key = MakeKey(dir);
    const auto run = BuildAndRun(dir, R"({"encrypt": [)" + EncryptTask(1, dir + "/src", key, "") + "]}");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(Names(dir + "/src"), (std::vector<std::string>{names[0] + ".qmp", names[1] + ".qmp"}));
    std::filesystem::create_directories(dir + "/out");
    for (const std::string& name : names) {
        const auto decrypt =
            RunProgram(ProgramPath("qmcenter"),
                       {"decrypt", "--key", key, "--output", dir + "/out/", dir + "/src/" + name + ".qmp"},
                       {}, kNoDisplay);
        ASSERT_EQ(decrypt.exitCode, 0) << decrypt.err;
        EXPECT_EQ(qmtest::ReadFile(dir + "/out/" + name), "contents of " + name.substr(0, 1));
    }
}

TEST(TaskLists, AListWrittenThroughALinkReplacesWhatItPointsToAndKeepsItsMode) {
    const std::string real = qmtest::MakeTempDir("synced") + "/weekly.qms";
    const std::string dir = qmtest::MakeTempDir("lists");
    qmtest::WriteFile(real, "an older list");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(real.c_str(), (dir + "/weekly.qms").c_str()), 0);
    qmtest::WriteFile(dir + "/t.json",
                      R"({"encrypt": [)" + EncryptTask(1, dir, dir + "/unused.qmk", "") + "]}");
    const auto build = RunProgram(ProgramPath("qmtask"), {"build", dir + "/t.json", dir + "/weekly.qms"});
    ASSERT_EQ(build.exitCode, 0) << build.err;
    struct stat st {};
    ASSERT_EQ(::lstat((dir + "/weekly.qms").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_NE(qmtest::ReadFile(real), "an older list");
    const auto show = RunProgram(ProgramPath("qmtask"), {"show", dir + "/weekly.qms"});
    EXPECT_EQ(show.exitCode, 0) << show.err;
}

// A large, highly compressible file: its encrypted form is small, so a test makes it quickly,
// while decrypting it writes hundreds of megabytes, long enough to be stopped in the middle.
std::string SparseZeros(const std::string& path, off_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
    return path;
}

struct Stop {
    int signal;
    bool named; // as on a file system without unnamed files
    std::string Text() const { return std::to_string(signal) + (named ? " (named temporary)" : ""); }
};

TEST(Interrupted, ADecryptionStoppedBySignalLeavesNoPlaintextBehind) {
    const std::string dir = qmtest::MakeTempDir("stop");
    const std::string plain = SparseZeros(dir + "/disk.img", off_t(256) << 20);
    const std::string key = MakeKey(dir);
    auto r =
        RunProgram(ProgramPath("qmcenter"), {"encrypt", "--key", key, "--compress", plain}, {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunProgram(ProgramPath("qmcenter"),
                   {"encrypt", "--key", key, "--compress", "--archive", dir + "/disk.qma", plain}, {},
                   kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<Stop> every = {Stop{SIGTERM, false}, Stop{SIGINT, false}, Stop{SIGHUP, false},
                                     Stop{SIGKILL, false}, Stop{SIGTERM, true}, Stop{SIGINT, true},
                                     Stop{SIGHUP, true}};
    // An archive's entries are written as decrypted files are: a few of the cases suffice there.
    const std::vector<std::pair<std::string, std::vector<Stop>>> inputs = {
        {plain + ".qmp", every}, {dir + "/disk.qma", {Stop{SIGKILL, false}, Stop{SIGTERM, true}}}};
    for (const auto& [input, stops] : inputs) {
        for (const Stop& stop : stops) {
            const std::string what = input + " " + stop.Text();
            const std::string out = qmtest::MakeTempDir("out");
            std::vector<std::string> env = kNoDisplay;
            if (stop.named)
                env.push_back("QM_TEST_NAMED_TEMPORARIES=1");
            qmtest::RunningProgram decrypt(ProgramPath("qmcenter"),
                                           {"decrypt", "--key", key, "--output", out, input}, {}, env);
            ASSERT_TRUE(decrypt.WaitUntil([&] { return decrypt.OpenFileSize(out + "/") > (4 << 20); }))
                << what << " never began writing: " << decrypt.Errors();
            decrypt.Signal(stop.signal);
            const int status = decrypt.Wait();
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == stop.signal) << what << ": " << status;
            EXPECT_EQ(Names(out), std::vector<std::string>{}) << what;
        }
    }
}

TEST(Interrupted, AnArchiveStoppedBySignalKeepsItsOldContentsAndLeavesNoTemporary) {
    const std::string dir = qmtest::MakeTempDir("stop");
    qmtest::WriteFile(dir + "/first.txt", "first");
    const std::string archive = dir + "/store/all.qma";
    std::filesystem::create_directories(dir + "/store");
    const std::string key = MakeKey(dir);
    auto r = RunProgram(ProgramPath("qmcenter"),
                        {"encrypt", "--key", key, "--archive", archive, dir + "/first.txt"}, {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string before = qmtest::ReadFile(archive);
    const std::string big = SparseZeros(dir + "/disk.img", off_t(256) << 20);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        qmtest::RunningProgram add(ProgramPath("qmcenter"),
                                   {"encrypt", "--key", key, "--compress", "--archive", archive, big}, {},
                                   kNoDisplay);
        // The new archive is written under a short temporary name beside the old one.
        ASSERT_TRUE(add.WaitUntil([&] { return add.OpenFileSize(dir + "/store/.qm") > 0; })) << add.Errors();
        add.Signal(signal);
        const int status = add.Wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": " << status;
        EXPECT_EQ(Names(dir + "/store"), std::vector<std::string>{"all.qma"}) << signal;
        EXPECT_TRUE(qmtest::ReadFile(archive) == before) << signal;
    }
}

} // namespace
