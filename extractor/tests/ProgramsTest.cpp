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

TEST(SelfExtractingFile, WithADisplayOpensItsWindowFromTheBuiltInLibrary) {
    // No window library lies beside the file or in ../lib: the stub's own copy is loaded, and the
    // window then waits for the user instead of reading standard input.
    const std::string src = qmtest::MakeTempDir("src");
    qmtest::WriteFile(src + "/f.txt", "f");
    const std::string dir = qmtest::MakeTempDir("alone");
    ASSERT_EQ(MakeRun(dir + "/a.run", {src + "/f.txt"}).exitCode, 0);
    const auto result =
        RunProgram(dir + "/a.run", {}, "s3cret pass\n" + dir + "/out\n", {"QT_QPA_PLATFORM=offscreen"}, 3000);
    EXPECT_TRUE(result.timedOut) << result.err;
    EXPECT_EQ(result.err.find("The window cannot be opened"), std::string::npos) << result.err;
    EXPECT_FALSE(qmtest::Exists(dir + "/out"));
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

} // namespace
