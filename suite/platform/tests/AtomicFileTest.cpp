#include "platform/AtomicFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {
std::size_t CountFiles(const std::string& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// What an open descriptor of this process points at ("/dir/#123 (deleted)" for an unnamed file).
std::string DescriptorTarget(int fd) {
    char buffer[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, std::size_t(n)) : std::string();
}

// Runs `body` in a child process; its wait status.
int InChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

struct NamedTemporaries {
    NamedTemporaries() { AtomicFile::NamedTemporariesForTesting(true); }
    ~NamedTemporaries() { AtomicFile::NamedTemporariesForTesting(false); }
};
} // namespace

TEST(AtomicFile, NewFileGetsTheModeAskedAndAReplacedOneKeepsItsOwn) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/schedule.qms";
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "first", 0600, error)) << error;
    EXPECT_EQ(ModeOf(path), 0600u);
    // The user opened it to the group: a rewrite neither narrows nor widens that.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(path, "new contents", 0600, error)) << error;
    EXPECT_EQ(qmtest::ReadFile(path), "new contents");
    EXPECT_EQ(ModeOf(path), 0640u);
    for (const auto content : {AtomicFile::Content::Document, AtomicFile::Content::Plaintext}) {
        ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
        AtomicFile f(path, 0600, content);
        ASSERT_TRUE(f.open(error) && f.write("x", 1, error) && f.commit(error)) << error;
        EXPECT_EQ(ModeOf(path), 0604u);
    }
    EXPECT_EQ(CountFiles(dir), 1u);
}

TEST(AtomicFile, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/schedule.qms";
    qmtest::WriteFile(path, "previous");
    AtomicFile::FailAfterBytesForTesting(10);
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(path, std::string(100, 'x'), 0600, error));
    AtomicFile::FailAfterBytesForTesting(-1);
    EXPECT_NE(error.find("No space left"), std::string::npos) << error;
    EXPECT_EQ(qmtest::ReadFile(path), "previous");
    EXPECT_EQ(CountFiles(dir), 1u);
}

TEST(AtomicFile, DiscardedOrDestroyedWriterLeavesTargetUntouched) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/out.bin";
    std::string error;
    {
        AtomicFile f(path);
        ASSERT_TRUE(f.open(error));
        ASSERT_TRUE(f.write("abc", 3, error));
        EXPECT_TRUE(qmtest::Exists(f.tempPath()));
    }
    EXPECT_FALSE(qmtest::Exists(path));
    EXPECT_EQ(CountFiles(dir), 0u);
}

TEST(AtomicFile, MissingFolderIsReported) {
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(qmtest::TestRoot() + "/no/such/dir/file", "x", 0600, error));
    EXPECT_NE(error.find("Cannot create a file"), std::string::npos);
}

TEST(AtomicFile, WithoutReplaceAFileThatAppearedMeanwhileIsKept) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/report.txt";
    std::string error;
    AtomicFile f(path);
    f.setReplace(false);
    ASSERT_TRUE(f.open(error));
    ASSERT_TRUE(f.write("extracted", 9, error));
    // Another program creates the target after the caller looked and before the commit.
    qmtest::WriteFile(path, "theirs");
    EXPECT_FALSE(f.commit(error));
    EXPECT_NE(error.find("already exists"), std::string::npos) << error;
    EXPECT_EQ(qmtest::ReadFile(path), "theirs");
    EXPECT_EQ(CountFiles(dir), 1u);

    // With the target still free the file lands as usual.
    AtomicFile g(dir + "/free.txt");
    g.setReplace(false);
    ASSERT_TRUE(g.open(error));
    ASSERT_TRUE(g.write("ok", 2, error));
    EXPECT_TRUE(g.commit(error)) << error;
    EXPECT_EQ(qmtest::ReadFile(dir + "/free.txt"), "ok");
}

TEST(AtomicFile, ADocumentReachedThroughALinkReplacesWhatTheLinkPointsTo) {
    const std::string real = qmtest::MakeTempDir("real");
    const std::string dir = qmtest::MakeTempDir("links");
    qmtest::WriteFile(real + "/all.qma", "old archive");
    ASSERT_EQ(::chmod((real + "/all.qma").c_str(), 0640), 0);
    ASSERT_EQ(::symlink((real + "/all.qma").c_str(), (dir + "/all.qma").c_str()), 0);
    // A relative link to a link: both are followed.
    ASSERT_EQ(::symlink("all.qma", (dir + "/again.qma").c_str()), 0);
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir + "/again.qma", "new archive", 0600, error)) << error;
    EXPECT_TRUE(IsLink(dir + "/all.qma"));
    EXPECT_TRUE(IsLink(dir + "/again.qma"));
    EXPECT_EQ(qmtest::ReadFile(real + "/all.qma"), "new archive");
    EXPECT_EQ(ModeOf(real + "/all.qma"), 0640u);
    EXPECT_EQ(CountFiles(real), 1u);
    EXPECT_EQ(CountFiles(dir), 2u);
    // A link to a file not there yet creates that file.
    ASSERT_EQ(::symlink((real + "/later.qms").c_str(), (dir + "/later.qms").c_str()), 0);
    ASSERT_TRUE(WriteFileAtomically(dir + "/later.qms", "made", 0600, error)) << error;
    EXPECT_EQ(qmtest::ReadFile(real + "/later.qms"), "made");
    EXPECT_TRUE(IsLink(dir + "/later.qms"));
}

TEST(AtomicFile, PlaintextReplacesALinkAtItsPathAndNeverWritesThroughIt) {
    const std::string elsewhere = qmtest::MakeTempDir("elsewhere");
    const std::string dir = qmtest::MakeTempDir("out");
    qmtest::WriteFile(elsewhere + "/victim", "untouched");
    ASSERT_EQ(::symlink((elsewhere + "/victim").c_str(), (dir + "/report.txt").c_str()), 0);
    std::string error;
    AtomicFile f(dir + "/report.txt", 0600, AtomicFile::Content::Plaintext);
    ASSERT_TRUE(f.open(error) && f.write("secret", 6, error) && f.commit(error)) << error;
    EXPECT_FALSE(IsLink(dir + "/report.txt"));
    EXPECT_EQ(qmtest::ReadFile(dir + "/report.txt"), "secret");
    EXPECT_EQ(ModeOf(dir + "/report.txt"), 0600u);
    EXPECT_EQ(qmtest::ReadFile(elsewhere + "/victim"), "untouched");
}

TEST(AtomicFile, PlaintextHasNoNameUntilItIsComplete) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/decrypted.txt";
    std::string error;
    {
        AtomicFile f(path, 0600, AtomicFile::Content::Plaintext);
        ASSERT_TRUE(f.open(error)) << error;
        ASSERT_TRUE(f.write("partial", 7, error));
        EXPECT_EQ(CountFiles(dir), 0u);
        EXPECT_EQ(f.tempPath(), "");
        EXPECT_NE(DescriptorTarget(f.fd()).find("(deleted)"), std::string::npos) << DescriptorTarget(f.fd());
    }
    EXPECT_EQ(CountFiles(dir), 0u) << "a discarded unnamed file leaves nothing";
    AtomicFile g(path, 0600, AtomicFile::Content::Plaintext);
    ASSERT_TRUE(g.open(error) && g.write("whole", 5, error) && g.commit(error)) << error;
    EXPECT_EQ(qmtest::ReadFile(path), "whole");
    EXPECT_EQ(CountFiles(dir), 1u);

    // Where unnamed files are missing, a short name stands in while the file is written.
    const NamedTemporaries named;
    AtomicFile h(path, 0600, AtomicFile::Content::Plaintext);
    ASSERT_TRUE(h.open(error)) << error;
    const std::string temp = std::filesystem::path(h.tempPath()).filename().string();
    EXPECT_EQ(temp.size(), 11u) << temp;
    EXPECT_EQ(ModeOf(h.tempPath()), 0600u);
    ASSERT_TRUE(h.write("again", 5, error) && h.commit(error)) << error;
    EXPECT_EQ(qmtest::ReadFile(path), "again");
    EXPECT_EQ(CountFiles(dir), 1u);
}

TEST(AtomicFile, NamesOfTheFullLengthCanBeWrittenAndReplaced) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/" + std::string(251, 'n') + ".qmp";
    std::string error;
    for (const bool named : {false, true}) {
        AtomicFile::NamedTemporariesForTesting(named);
        for (const auto content : {AtomicFile::Content::Document, AtomicFile::Content::Plaintext})
            for (const bool replace : {true, false}) {
                ::unlink(path.c_str());
                for (int round = 0; round < (replace ? 2 : 1); ++round) {
                    AtomicFile f(path, 0600, content);
                    f.setReplace(replace);
                    ASSERT_TRUE(f.open(error) && f.write("x", 1, error) && f.commit(error))
                        << error << " named " << named << " replace " << replace;
                }
                EXPECT_EQ(qmtest::ReadFile(path), "x");
            }
    }
    AtomicFile::NamedTemporariesForTesting(false);
    EXPECT_EQ(CountFiles(dir), 1u);
}

TEST(AtomicFile, PlaintextWithoutReplaceKeepsAFileThatAppearedMeanwhile) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/entry.txt";
    std::string error;
    AtomicFile f(path, 0600, AtomicFile::Content::Plaintext);
    f.setReplace(false);
    ASSERT_TRUE(f.open(error) && f.write("ours", 4, error));
    qmtest::WriteFile(path, "theirs");
    EXPECT_FALSE(f.commit(error));
    EXPECT_EQ(error, "The file " + path + " already exists.");
    EXPECT_EQ(qmtest::ReadFile(path), "theirs");
    EXPECT_EQ(CountFiles(dir), 1u);
}

TEST(AtomicFile, BelowAnOpenFolderTheNameIsNotFollowed) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/target", "kept");
    ASSERT_EQ(::symlink("target", (dir + "/name").c_str()), 0);
    const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    std::string error;
    {
        AtomicFile f(folder, "name", dir + "/name", 0600, AtomicFile::Content::Document);
        ::close(folder); // the writer keeps its own copy of the descriptor
        ASSERT_TRUE(f.open(error) && f.write("new", 3, error) && f.commit(error)) << error;
    }
    EXPECT_FALSE(IsLink(dir + "/name"));
    EXPECT_EQ(qmtest::ReadFile(dir + "/name"), "new");
    EXPECT_EQ(qmtest::ReadFile(dir + "/target"), "kept");
}

// SIGINT, SIGTERM and SIGHUP that end the process take the temporary names with them; a signal
// the program handles itself, or ignores, leaves them to the writer.
TEST(AtomicFile, TemporaryNamesGoWithTheSignalsThatEndTheProcess) {
    const NamedTemporaries named;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string dir = qmtest::MakeTempDir("signal");
        const int status = InChild([&] {
            std::string error;
            AtomicFile document(dir + "/archive.qma");
            AtomicFile plain(dir + "/plain.txt", 0600, AtomicFile::Content::Plaintext);
            if (!document.open(error) || !plain.open(error) || !document.write("abc", 3, error))
                return 1;
            ::raise(signal);
            return 2; // not reached
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
        EXPECT_EQ(CountFiles(dir), 0u) << signal;
    }
}

namespace {
volatile std::sig_atomic_t g_seen = 0;
} // namespace

TEST(AtomicFile, SignalsTheProgramHandlesOrIgnoresLeaveTheWriterAtWork) {
    const NamedTemporaries named;
    const std::string dir = qmtest::MakeTempDir("handled");
    const int status = InChild([&] {
        struct sigaction own {};
        own.sa_handler = [](int) { g_seen = 1; };
        ::sigaction(SIGINT, &own, nullptr);
        ::signal(SIGHUP, SIG_IGN);
        std::string error;
        AtomicFile f(dir + "/out.bin");
        if (!f.open(error))
            return 1;
        ::raise(SIGINT);
        ::raise(SIGHUP);
        if (g_seen != 1 || !qmtest::Exists(f.tempPath()))
            return 3;
        return f.write("done", 4, error) && f.commit(error) ? 0 : 4;
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(qmtest::ReadFile(dir + "/out.bin"), "done");
    EXPECT_EQ(CountFiles(dir), 1u);

    // A handler that ends the process by the default action (the terminal prompts do) still
    // takes the names along.
    const std::string second = qmtest::MakeTempDir("handled");
    const int ended = InChild([&] {
        struct sigaction own {};
        own.sa_handler = [](int s) {
            ::signal(s, SIG_DFL);
            ::raise(s);
        };
        ::sigaction(SIGINT, &own, nullptr);
        std::string error;
        AtomicFile f(second + "/out.bin");
        if (!f.open(error))
            return 1;
        ::raise(SIGINT);
        return 2;
    });
    EXPECT_TRUE(WIFSIGNALED(ended) && WTERMSIG(ended) == SIGINT) << ended;
    EXPECT_EQ(CountFiles(second), 0u);
}
