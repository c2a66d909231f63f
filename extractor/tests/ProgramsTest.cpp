// The real programs end to end: qmsfx writes a self-extracting file, which then runs on the
// terminal path (no display: QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY empty).
#include "extractor/core/SfxExtract.h"
#include "extractor/core/SfxWriter.h"

#include "TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using qmtest::ProgramPath;
using qmtest::RunProgram;

const std::vector<std::string> kNoDisplay = {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="};

qmtest::ProcessResult RunArchive(const std::string& run, const std::string& input) {
    return RunProgram(run, {}, input, kNoDisplay, 30000);
}

qmtest::ProcessResult MakeRun(const std::string& out, const std::vector<std::string>& inputs,
                              const std::string& password = "s3cret pass") {
    std::vector<std::string> args = {"--password", password, "-o", out};
    args.insert(args.end(), inputs.begin(), inputs.end());
    return RunProgram(ProgramPath("qmsfx"), args);
}

// Runs a program on a pseudo-terminal, answering each prompt in turn; what the terminal showed
// is the output. The answers go in the environment, never on a command line.
qmtest::ProcessResult RunOnTerminal(const std::vector<std::string>& args,
                                    const std::vector<std::pair<std::string, std::string>>& answers) {
    static const char kDriver[] = R"(
import os, pty, sys
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
shown = b''
def read():
    global shown
    try:
        chunk = os.read(fd, 4096)
    except OSError:
        chunk = b''
    shown += chunk
    return chunk
i = 0
while ('PROMPT%d' % i) in os.environ:
    while os.environ['PROMPT%d' % i].encode() not in shown:
        if not read():
            break
    os.write(fd, os.environ['ANSWER%d' % i].encode() + b'\n')
    i += 1
while read():
    pass
_, status = os.waitpid(pid, 0)
sys.stdout.write(shown.decode(errors='replace'))
sys.exit(os.WEXITSTATUS(status) if os.WIFEXITED(status) else 99)
)";
    std::vector<std::string> driverArgs = {"-c", kDriver};
    driverArgs.insert(driverArgs.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        env.push_back("PROMPT" + std::to_string(i) + "=" + answers[i].first);
        env.push_back("ANSWER" + std::to_string(i) + "=" + answers[i].second);
    }
    return RunProgram(QM_PYTHON3, driverArgs, {}, env, 30000);
}

void SetMtime(const std::string& path, time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

time_t Mtime(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec : -1;
}

TEST(SelfExtractingFile, RoundTripsFilesFoldersAndTimesThroughTheTerminal) {
    const std::string src = qmtest::MakeTempDir("src");
    std::filesystem::create_directories(src + "/docs/sub");
    const std::string big = qmtest::PseudoRandomBytes(150000, 11) + std::string(100000, 'a');
    qmtest::WriteFile(src + "/docs/sub/big.bin", big);
    qmtest::WriteFile(src + "/docs/note.txt", "a note");
    qmtest::WriteFile(src + "/docs/empty", "");
    qmtest::WriteFile(src + "/single.txt", "single");
    SetMtime(src + "/docs/sub/big.bin", 1000000000);
    SetMtime(src + "/single.txt", 1234567890);

    const std::string run = qmtest::MakeTempDir("run") + "/archive.run";
    const auto made = MakeRun(run, {src + "/docs", src + "/single.txt"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    struct stat st {};
    ASSERT_EQ(::stat(run.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);

    const std::string out = qmtest::MakeTempDir("out") + "/extracted";
    const auto result = RunArchive(run, "s3cret pass\n" + out + "\n");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    // Records are written in listing order, so the last one is announced first.
    EXPECT_EQ(result.out, "Extracting: single.txt\nExtracting: docs/sub/big.bin\nExtracting: docs/note.txt\n"
                          "Extracting: docs/empty\n");
    EXPECT_EQ(qmtest::ReadFile(out + "/docs/sub/big.bin"), big);
    EXPECT_EQ(qmtest::ReadFile(out + "/docs/note.txt"), "a note");
    EXPECT_EQ(qmtest::ReadFile(out + "/docs/empty"), "");
    EXPECT_EQ(qmtest::ReadFile(out + "/single.txt"), "single");
    EXPECT_EQ(Mtime(out + "/docs/sub/big.bin"), 1000000000);
    EXPECT_EQ(Mtime(out + "/single.txt"), 1234567890);
}

// Reads what the program at the other end of a terminal wrote until `want` appears (or 10 s pass).
std::string ReadUntil(int fd, std::string& seen, const std::string& want) {
    for (int waited = 0; seen.find(want) == std::string::npos && waited < 100; ++waited) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buffer[512];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            seen.append(buffer, std::size_t(n));
        }
    }
    return seen;
}

TEST(SelfExtractingFile, OnATerminalAsksWithoutEchoingThePassword) {
    const std::string src = qmtest::MakeTempDir("src");
    qmtest::WriteFile(src + "/t.txt", "t");
    const std::string dir = qmtest::MakeTempDir("tty");
    const std::string run = dir + "/t.run";
    ASSERT_EQ(MakeRun(run, {src + "/t.txt"}, "hidden pw").exitCode, 0);
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
        ::execl(run.c_str(), run.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string seen;
    ReadUntil(master, seen, "Password: ");
    ASSERT_EQ(::write(master, "hidden pw\n", 10), 10);
    ReadUntil(master, seen, "Extract into folder: ");
    const std::string folderLine = dir + "/out\n";
    ASSERT_EQ(::write(master, folderLine.data(), folderLine.size()), ssize_t(folderLine.size()));
    ReadUntil(master, seen, "Extracting: t.txt");
    int status = 0;
    pid_t done = 0;
    for (int waited = 0; (done = ::waitpid(pid, &status, WNOHANG)) == 0 && waited < 100; ++waited)
        ::usleep(100000);
    if (done == 0) { // stuck at a prompt: do not hang the test
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
    EXPECT_EQ(seen.find("hidden pw"), std::string::npos) << seen;
    EXPECT_NE(seen.find(dir + "/out"), std::string::npos) << seen; // the folder is echoed
    EXPECT_EQ(qmtest::ReadFile(dir + "/out/t.txt"), "t");
}

TEST(SelfExtractingFile, AnEmptyFolderLineMeansTheCurrentFolder) {
    const std::string src = qmtest::MakeTempDir("src");
    qmtest::WriteFile(src + "/here.txt", "here");
    const std::string run = qmtest::MakeTempDir("run") + "/a.run";
    ASSERT_EQ(MakeRun(run, {src + "/here.txt"}, "pw").exitCode, 0);
    const std::string cwd = qmtest::MakeTempDir("cwd");
    const auto result =
        RunProgram("/bin/sh", {"-c", "cd '" + cwd + "' && exec '" + run + "'"}, "pw\n\n", kNoDisplay, 30000);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(qmtest::ReadFile(cwd + "/here.txt"), "here");
}

TEST(SelfExtractingFile, FailuresExitWithStatusOneAndTheirMessage) {
    const std::string src = qmtest::MakeTempDir("src");
    qmtest::WriteFile(src + "/file.txt", qmtest::PseudoRandomBytes(3000, 2));
    const std::string dir = qmtest::MakeTempDir("run");
    const std::string run = dir + "/a.run";
    ASSERT_EQ(MakeRun(run, {src + "/file.txt"}).exitCode, 0);

    const std::string out = qmtest::MakeTempDir("out") + "/target";
    auto result = RunArchive(run, "wrong\n" + out + "\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Invalid password.\n");
    EXPECT_FALSE(qmtest::Exists(out));

    // A damaged data area, and a directory cut off at its start.
    std::string bytes = qmtest::ReadFile(run);
    std::string flipped = bytes;
    flipped[flipped.size() - 200] ^= 0x01;
    std::string cut = bytes.substr(0, bytes.size() - 60);
    cut += bytes.substr(bytes.size() - 12);
    for (const std::string& bad : {flipped, cut}) {
        const std::string damaged = dir + "/damaged.run";
        qmtest::WriteFile(damaged, bad);
        ::chmod(damaged.c_str(), 0700);
        result = RunArchive(damaged, "s3cret pass\n" + out + "\n");
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "The archive is damaged.\n");
        EXPECT_FALSE(qmtest::Exists(out + "/file.txt"));
    }
}

TEST(SelfExtractingFile, RefusesNamesThatClimbOutOfTheOutputFolder) {
    // qmsfx never writes such names; a hostile writer would.
    const std::string stub = qmtest::ReadFile(ProgramPath("extractor"));
    const std::string base = qmtest::MakeTempDir("climb");
    for (const std::string name : {"..\\outside.txt", "\\abs.txt", "C:\\drive.txt"}) {
        const std::string run = base + "/hostile.run";
        qmtest::WriteFile(run, sfx::BuildArchive("pw", {{"inside.txt", "ok"}, {name, "evil"}}, stub));
        ::chmod(run.c_str(), 0700);
        const auto result = RunArchive(run, "pw\n" + base + "/out\n");
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err,
                  "The archive holds a name that leads outside the output folder: " + name + "\n");
        EXPECT_FALSE(qmtest::Exists(base + "/out"));
        EXPECT_FALSE(qmtest::Exists(base + "/outside.txt"));
    }
}

TEST(SelfExtractingFile, OpensOnlyItsBuiltInWindowNeverALibraryLyingAroundIt) {
    // A downloads folder where someone left a library of the window's name beside the file, in
    // ../lib, in the current folder and on the loader's path.
    const std::string src = qmtest::MakeTempDir("src");
    qmtest::WriteFile(src + "/f.txt", "f");
    const std::string downloads = qmtest::MakeTempDir("downloads");
    ASSERT_EQ(MakeRun(downloads + "/a.run", {src + "/f.txt"}).exitCode, 0);
    const std::string planted = qmtest::ReadFile(QM_PLANTED_PART);
    ASSERT_FALSE(planted.empty());
    const std::string cwd = qmtest::MakeTempDir("cwd");
    for (const std::string& folder : {downloads, downloads + "/../lib", cwd}) {
        std::filesystem::create_directories(folder);
        qmtest::WriteFile(folder + "/libqmextractor_gui.so", planted);
    }
    const std::string marker = qmtest::TestRoot() + "/planted-was-loaded";
    qmtest::RunningProgram run(downloads + "/a.run", {}, "s3cret pass\n" + downloads + "/out\n",
                               {"QT_QPA_PLATFORM=offscreen", "QM_PLANTED_MARKER=" + marker,
                                "LD_LIBRARY_PATH=" + downloads + ":" + cwd},
                               cwd);
    ASSERT_TRUE(run.started());
    // The stub has mapped its own copy (an in-memory file) once the window is on its way.
    const bool ownWindow = run.WaitUntil([&] {
        return qmtest::Exists(marker) ||
               run.MemoryMap().find("memfd:libqmextractor_gui.so") != std::string::npos;
    });
    EXPECT_FALSE(qmtest::Exists(marker)) << "a planted library was loaded";
    EXPECT_TRUE(ownWindow) << run.Errors();
    std::istringstream maps(run.MemoryMap());
    for (std::string line; std::getline(maps, line);) {
        if (line.find(downloads) != std::string::npos) {
            EXPECT_NE(line.find(downloads + "/a.run"), std::string::npos)
                << "mapped from the downloads folder: " << line;
        }
    }
    // The window waits for the user rather than reading standard input.
    EXPECT_FALSE(qmtest::Exists(downloads + "/out"));
}

TEST(SelfExtractingFile, WithBytesAppendedOrCutOffSaysItIsDamagedNotThatThePasswordIsWrong) {
    const std::string src = qmtest::MakeTempDir("src");
    qmtest::WriteFile(src + "/a.txt", qmtest::PseudoRandomBytes(200000, 4));
    qmtest::WriteFile(src + "/b.txt", "b");
    const std::string dir = qmtest::MakeTempDir("run");
    ASSERT_EQ(MakeRun(dir + "/a.run", {src + "/a.txt", src + "/b.txt"}).exitCode, 0);
    const std::string good = qmtest::ReadFile(dir + "/a.run");
    const std::string out = qmtest::MakeTempDir("out") + "/x";
    for (const std::string& bad :
         {good + "\n", good + std::string(7, '\0'), good.substr(0, good.size() - 1)}) {
        qmtest::WriteFile(dir + "/bad.run", bad);
        ::chmod((dir + "/bad.run").c_str(), 0700);
        for (const std::string password : {"s3cret pass", "wrong"}) {
            const auto result = RunArchive(dir + "/bad.run", password + "\n" + out + "\n");
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(result.err, "The archive is damaged.\n") << bad.size() - good.size() << " " << password;
        }
    }
    EXPECT_FALSE(qmtest::Exists(out));
    // The intact file still tells a wrong password apart.
    EXPECT_EQ(RunArchive(dir + "/a.run", "wrong\n" + out + "\n").err, "Invalid password.\n");
}

TEST(SelfExtractingFile, FoldersThatAreLinksInTheOutputAreNeverFollowed) {
    const std::string src = qmtest::MakeTempDir("src");
    qmtest::WriteFile(src + "/docs/a.txt", "a");
    qmtest::WriteFile(src + "/docs/sub/b.txt", "b");
    const std::string dir = qmtest::MakeTempDir("run");
    ASSERT_EQ(MakeRun(dir + "/a.run", {src + "/docs"}).exitCode, 0);
    const std::string out = qmtest::MakeTempDir("out");
    const std::string elsewhere = qmtest::MakeTempDir("elsewhere");
    ASSERT_EQ(::symlink(elsewhere.c_str(), (out + "/docs").c_str()), 0);
    const auto result = RunArchive(dir + "/a.run", "s3cret pass\n" + out + "\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "A folder of the archive is a symbolic link in the output folder: " + out + "/docs\n");
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

TEST(SelfExtractingFile, NewFilesAreTheOwnersOnlyAndReplacedOnesKeepTheirMode) {
    const std::string src = qmtest::MakeTempDir("src");
    qmtest::WriteFile(src + "/new.txt", "new");
    qmtest::WriteFile(src + "/old.txt", "replacement");
    const std::string name = std::string(245, 'x') + ".txt";
    qmtest::WriteFile(src + "/" + name, "long name");
    const std::string dir = qmtest::MakeTempDir("run");
    ASSERT_EQ(MakeRun(dir + "/a.run", {src + "/new.txt", src + "/old.txt", src + "/" + name}).exitCode, 0);
    const std::string out = qmtest::MakeTempDir("out");
    qmtest::WriteFile(out + "/old.txt", "private");
    ASSERT_EQ(::chmod((out + "/old.txt").c_str(), 0600), 0);
    const auto result = RunProgram("/bin/sh", {"-c", "umask 022 && exec '" + dir + "/a.run'"},
                                   "s3cret pass\n" + out + "\n", kNoDisplay);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    struct stat st {};
    ASSERT_EQ(::stat((out + "/new.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((out + "/old.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a replaced file is not widened";
    EXPECT_EQ(qmtest::ReadFile(out + "/old.txt"), "replacement");
    EXPECT_EQ(qmtest::ReadFile(out + "/" + name), "long name");
    // Once more over the files now there: the long name is replaced too.
    ASSERT_EQ(::chmod((out + "/" + name).c_str(), 0640), 0);
    ASSERT_EQ(RunArchive(dir + "/a.run", "s3cret pass\n" + out + "\n").exitCode, 0);
    ASSERT_EQ(::stat((out + "/" + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 3);
}

// A run stopped by a signal while it writes a large file leaves no part of it. SIGINT on the
// terminal cancels between files: the file being written is completed, the next one not begun.
TEST(SelfExtractingFile, ASignalDuringAWriteLeavesNoPartialFile) {
    const std::string src = qmtest::MakeTempDir("src");
    const std::string big = qmtest::PseudoRandomBytes(32u << 20, 8);
    qmtest::WriteFile(src + "/a-small.txt", "small");
    qmtest::WriteFile(src + "/z-big.bin", big);
    const std::string run = qmtest::MakeTempDir("run") + "/big.run";
    ASSERT_EQ(MakeRun(run, {src + "/a-small.txt", src + "/z-big.bin"}).exitCode, 0);
    struct Case {
        int signal;
        bool named; // as on a file system without unnamed files
    };
    for (const Case c : {Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGKILL, false}, Case{SIGINT, false},
                         Case{SIGTERM, true}, Case{SIGHUP, true}, Case{SIGINT, true}}) {
        const std::string out = qmtest::MakeTempDir("out");
        std::vector<std::string> env = kNoDisplay;
        if (c.named)
            env.push_back("QM_TEST_NAMED_TEMPORARIES=1");
        qmtest::RunningProgram extract(run, {}, "s3cret pass\n" + out + "\n", env);
        // The last record (the big file) comes first; once a megabyte of it is written, it is hit.
        ASSERT_TRUE(extract.WaitUntil([&] { return extract.OpenFileSize(out + "/") > (1 << 20); }))
            << c.signal << " " << extract.Errors();
        extract.Signal(c.signal);
        const int status = extract.Wait();
        const std::string what = std::to_string(c.signal) + (c.named ? " named" : " unnamed");
        std::vector<std::string> left;
        for (const auto& e : std::filesystem::directory_iterator(out))
            left.push_back(e.path().filename().string());
        if (c.signal == SIGINT) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << what << " " << status;
            EXPECT_EQ(extract.Errors(), "Operation canceled.\n") << what;
            EXPECT_EQ(left, std::vector<std::string>{"z-big.bin"}) << what;
            EXPECT_TRUE(qmtest::ReadFile(out + "/z-big.bin") == big) << what;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << what << " " << status;
            EXPECT_TRUE(left.empty()) << what << ": " << (left.empty() ? "" : left[0]);
        }
    }
}

TEST(Qmsfx, ReportsBadArgumentsAndUnreadableInputs) {
    EXPECT_EQ(RunProgram(ProgramPath("qmsfx"), {"-o", "x.run", "file"}).exitCode, 2); // no password
    const std::string dir = qmtest::MakeTempDir("qmsfx");
    auto result = MakeRun(dir + "/x.run", {dir + "/missing"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot read " + dir + "/missing"), std::string::npos) << result.err;
    EXPECT_FALSE(qmtest::Exists(dir + "/x.run"));
    EXPECT_EQ(qmtest::RunProgram(ProgramPath("qmsfx"),
                                 {"--password", "p", "--stub", dir + "/nostub", "-o", dir + "/x.run", dir})
                  .exitCode,
              1);
    // Writing the archive into the folder being stored does not store the archive itself.
    qmtest::WriteFile(dir + "/a.txt", "a");
    ASSERT_EQ(MakeRun(dir + "/self.run", {dir}).exitCode, 0);
    const std::string out = qmtest::MakeTempDir("out");
    ASSERT_EQ(RunArchive(dir + "/self.run", "s3cret pass\n" + out + "\n").exitCode, 0);
    const std::string top = std::filesystem::path(dir).filename().string();
    EXPECT_TRUE(qmtest::Exists(out + "/" + top + "/a.txt"));
    EXPECT_FALSE(qmtest::Exists(out + "/" + top + "/self.run"));
}

TEST(Qmsfx, AsksThePasswordTwiceOnTheTerminalWithoutShowingIt) {
    const std::string dir = qmtest::MakeTempDir("qmsfx-tty");
    qmtest::WriteFile(dir + "/a.txt", "asked for");
    const std::string run = dir + "/a.run";
    auto r = RunOnTerminal({ProgramPath("qmsfx"), "-o", run, dir + "/a.txt"},
                           {{"Password: ", "typed secret"}, {"Repeat the password: ", "typed secret"}});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("typed secret"), std::string::npos) << "echoed: " << r.out;
    const std::string out = qmtest::MakeTempDir("out");
    ASSERT_EQ(RunArchive(run, "typed secret\n" + out + "\n").exitCode, 0);
    EXPECT_EQ(qmtest::ReadFile(out + "/a.txt"), "asked for");

    // Two different answers write nothing.
    r = RunOnTerminal({ProgramPath("qmsfx"), "-o", dir + "/b.run", dir + "/a.txt"},
                      {{"Password: ", "one"}, {"Repeat the password: ", "two"}});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("qmsfx: the two passwords differ; nothing was written"), std::string::npos) << r.out;
    EXPECT_FALSE(qmtest::Exists(dir + "/b.run"));
    // Without a terminal nothing waits for an answer.
    const auto piped = RunProgram(ProgramPath("qmsfx"), {"-o", dir + "/c.run", dir + "/a.txt"}, "pw\npw\n");
    EXPECT_EQ(piped.exitCode, 2);
    EXPECT_NE(piped.err.find("give --password-file FILE"), std::string::npos) << piped.err;
    EXPECT_FALSE(qmtest::Exists(dir + "/c.run"));
}

TEST(Qmsfx, TakesAPasswordFileAndReplacesAFileOnlyWhenForced) {
    const std::string dir = qmtest::MakeTempDir("qmsfx-file");
    qmtest::WriteFile(dir + "/a.txt", "from a file");
    qmtest::WriteFile(dir + "/pw", "file secret\nsecond line\n");
    const std::string run = dir + "/a.run";
    qmtest::WriteFile(run, "precious");
    ::chmod(run.c_str(), 0755); // a replaced file keeps its mode
    const std::vector<std::string> args = {"--password-file", dir + "/pw", "-o", run, dir + "/a.txt"};
    auto r = RunProgram(ProgramPath("qmsfx"), args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qmsfx: " + run + " exists already; --force replaces it\n");
    EXPECT_EQ(qmtest::ReadFile(run), "precious");
    auto forced = args;
    forced.insert(forced.begin(), "--force");
    r = RunProgram(ProgramPath("qmsfx"), forced);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string out = qmtest::MakeTempDir("out");
    ASSERT_EQ(RunArchive(run, "file secret\n" + out + "\n").exitCode, 0);
    EXPECT_EQ(qmtest::ReadFile(out + "/a.txt"), "from a file");

    // On a terminal the archive asks for the password without showing it, then for the folder.
    const std::string asked = qmtest::MakeTempDir("asked");
    const auto tty = RunOnTerminal(
        {"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", run},
        {{"Password: ", "file secret"}, {"Extract into folder: ", asked}});
    EXPECT_EQ(tty.exitCode, 0) << tty.out;
    EXPECT_EQ(tty.out.find("file secret"), std::string::npos) << "echoed: " << tty.out;
    EXPECT_EQ(qmtest::ReadFile(asked + "/a.txt"), "from a file");

    // The archive's own help names it as it was run.
    const auto help = RunProgram("/bin/sh", {"-c", "cd '" + dir + "' && ./a.run --help"}, {}, kNoDisplay);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: ./a.run [--help | --version]\n", 0), 0u) << help.out;
    EXPECT_NE(RunProgram(ProgramPath("qmsfx"), {"--help"}).out.find("visible"), std::string::npos)
        << "--help says who can see --password";
    EXPECT_NE(RunProgram(ProgramPath("qmsfx"), {"--password-file", dir + "/none", "-o", dir + "/n.run", run})
                  .err.find("No such file or directory"),
              std::string::npos);
}

} // namespace
