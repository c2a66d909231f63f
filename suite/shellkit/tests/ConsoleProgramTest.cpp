// qmcenter's console verbs as a user runs them: no display, "Done." last on the error stream, the
// exit status, pipes, and a terminal where one matters.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using qmtest::ProgramPath;
using qmtest::RunProgram;

const std::vector<std::string> kNoDisplay = {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="};

std::string LastLine(const std::string& out) {
    std::string s = out;
    if (!s.empty() && s.back() == '\n')
        s.pop_back();
    return s.substr(s.rfind('\n') == std::string::npos ? 0 : s.rfind('\n') + 1);
}

TEST(ConsoleProgram, EncryptsAndDecryptsWithAKeyFileWithoutADisplayKeepingTheCaseOfPaths) {
    const std::string dir = qmtest::MakeTempDir("Mixed Case");
    const std::string key = dir + "/My.qmk";
    auto r = RunProgram(ProgramPath("qmcenter"), {"ENCRYPT", "--make-key", key}, {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LastLine(r.err), "Done.");

    qmtest::WriteFile(dir + "/Notes.TXT", "dear diary");
    r = RunProgram(ProgramPath("qmcenter"),
                   {"Encrypt", "--key", key, "--algorithm", "Twofish", "--mode", "ofb", dir + "/Notes.TXT"},
                   {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LastLine(r.err), "Done.");
    EXPECT_EQ(qmtest::ReadFile(dir + "/Notes.TXT.qmp")[10], 40);

    const std::string out = qmtest::MakeTempDir("Out");
    r = RunProgram(ProgramPath("qmcenter"),
                   {"decrypt", "--key", key, "--output", out, dir + "/Notes.TXT.qmp"}, {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(qmtest::ReadFile(out + "/Notes.TXT"), "dear diary");
    EXPECT_EQ(r.err, "Done.\n");
}

TEST(ConsoleProgram, APasswordRoundTripsAndAFailureIsOneLineWithStatusOne) {
    const std::string dir = qmtest::MakeTempDir("pw");
    qmtest::WriteFile(dir + "/a.bin", qmtest::PseudoRandomBytes(200000, 1));
    auto r = RunProgram(ProgramPath("qmcenter"), {"encrypt", "--password", "Pass Word", dir + "/a.bin"}, {},
                        kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(::unlink((dir + "/a.bin").c_str()), 0);

    r = RunProgram(ProgramPath("qmcenter"), {"decrypt", "--password", "pass word", dir + "/a.bin.qmp"}, {},
                   kNoDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qmcenter: " + dir + "/a.bin.qmp: Wrong password, or the file " + dir +
                         "/a.bin.qmp is damaged.\nDone.\n");
    EXPECT_EQ(LastLine(r.err), "Done.");
    EXPECT_FALSE(qmtest::Exists(dir + "/a.bin"));

    // The whole command line as one text, as a shell entry would pass it.
    r = RunProgram(ProgramPath("qmcenter"), {"decrypt --password \"Pass Word\" \"" + dir + "/a.bin.qmp\""},
                   {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(qmtest::ReadFile(dir + "/a.bin"), qmtest::PseudoRandomBytes(200000, 1));
}

TEST(ConsoleProgram, WithoutATerminalNoPasswordIsAskedAndNothingIsEncrypted) {
    const std::string dir = qmtest::MakeTempDir("tty");
    qmtest::WriteFile(dir + "/a", "x");
    const auto r = RunProgram(ProgramPath("qmcenter"), {"encrypt", dir + "/a"}, "typed\ntyped\n", kNoDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("qmcenter: no password given (use --password, --password-file or --key)\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(qmtest::Exists(dir + "/a.qmp"));
}

TEST(ConsoleProgram, ArchivesAreCreatedUpdatedListedAndExtracted) {
    const std::string dir = qmtest::MakeTempDir("arc");
    const std::string key = dir + "/k.qmk";
    ASSERT_EQ(RunProgram(ProgramPath("qmcenter"), {"encrypt", "--make-key", key}, {}, kNoDisplay).exitCode,
              0);
    ::mkdir((dir + "/tree").c_str(), 0755);
    ::mkdir((dir + "/tree/sub").c_str(), 0755);
    qmtest::WriteFile(dir + "/tree/a.txt", "alpha");
    qmtest::WriteFile(dir + "/tree/sub/b.txt", "beta");
    qmtest::WriteFile(dir + "/c.txt", "gamma");
    const std::string archive = dir + "/x.qma";
    auto r = RunProgram(ProgramPath("qmcenter"),
                        {"encrypt", "--key", key, "--archive", archive, "--compress", dir + "/tree"}, {},
                        kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunProgram(ProgramPath("qmcenter"), {"encrypt", "--key", key, "--archive", archive, dir + "/c.txt"},
                   {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;

    r = RunProgram(ProgramPath("qmcenter"), {"decrypt", "--key", key, "--list", archive}, {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("tree/a.txt\t5\t"), 0u) << r.out;
    EXPECT_NE(r.out.find("\ntree/sub/b.txt\t4\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nc.txt\t5\t"), std::string::npos) << r.out;

    const std::string out = qmtest::MakeTempDir("out");
    r = RunProgram(
        ProgramPath("qmcenter"),
        {"decrypt", "--key", key, "--output", out, "--entry", "tree/sub/b.txt", "--entry", "c.txt", archive},
        {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(qmtest::ReadFile(out + "/tree/sub/b.txt"), "beta");
    EXPECT_EQ(qmtest::ReadFile(out + "/c.txt"), "gamma");
    EXPECT_FALSE(qmtest::Exists(out + "/tree/a.txt"));

    // An existing file is kept without --overwrite, and the run says so with status 1.
    r = RunProgram(ProgramPath("qmcenter"), {"decrypt", "--key", key, "--output", out, archive}, {},
                   kNoDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(qmtest::ReadFile(out + "/tree/a.txt"), "alpha");

    r = RunProgram(ProgramPath("qmcenter"), {"decrypt", "--password", "pw", "--list", archive}, {},
                   kNoDisplay);
    EXPECT_EQ(r.exitCode, 1);
    r = RunProgram(ProgramPath("qmcenter"), {"decrypt", "--key", key, "--entry", "nope", archive}, {},
                   kNoDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no entry nope"), std::string::npos) << r.err;
}

TEST(ConsoleProgram, ArchiveWipeRemovesOnlyWhatWasAddedAndAKeptEntryIsAFailure) {
    const std::string dir = qmtest::MakeTempDir("arcwipe");
    const std::string key = dir + "/k.qmk";
    ASSERT_EQ(RunProgram(ProgramPath("qmcenter"), {"encrypt", "--make-key", key}, {}, kNoDisplay).exitCode,
              0);
    ::mkdir((dir + "/src").c_str(), 0755);
    qmtest::WriteFile(dir + "/src/n.txt", "first");
    qmtest::WriteFile(dir + "/src/m.txt", "other");
    const std::string archive = dir + "/x.qma";
    auto r = RunProgram(
        ProgramPath("qmcenter"),
        {"encrypt", "--key", key, "--archive", archive, "--wipe", dir + "/src/n.txt", dir + "/src/m.txt"}, {},
        kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Added 2 files to " + archive), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Wiped " + dir + "/src/n.txt"), std::string::npos) << r.out;
    EXPECT_FALSE(qmtest::Exists(dir + "/src/n.txt"));
    EXPECT_FALSE(qmtest::Exists(dir + "/src/m.txt"));

    // The archive already holds n.txt and nobody is there to answer: the entry stays, the newer
    // file is neither added nor wiped, and the run fails.
    qmtest::WriteFile(dir + "/src/n.txt", "second");
    for (const bool wipe : {true, false}) {
        std::vector<std::string> args = {"encrypt", "--key", key, "--archive", archive, dir + "/src/n.txt"};
        if (wipe)
            args.insert(args.begin() + 5, "--wipe");
        r = RunProgram(ProgramPath("qmcenter"), args, {}, kNoDisplay);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.err.find(dir + "/src/n.txt: not added: the archive keeps its entry n.txt"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("Added 0 files"), std::string::npos) << r.out;
        EXPECT_EQ(qmtest::ReadFile(dir + "/src/n.txt"), "second");
    }

    // --output names a folder: a file there gets its own message.
    const std::string out = qmtest::MakeTempDir("out");
    qmtest::WriteFile(out + "/taken", "x");
    r = RunProgram(ProgramPath("qmcenter"), {"decrypt", "--key", key, "--output", out + "/taken", archive},
                   {}, kNoDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the output " + out + "/taken is a file; --output names a folder"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("does not exist"), std::string::npos) << r.err;
}

TEST(ConsoleProgram, PipesCarryTheBytesAndStandardOutputHoldsNothingElse) {
    const std::string dir = qmtest::MakeTempDir("pipes");
    const std::string bytes = qmtest::PseudoRandomBytes(300000, 7);
    qmtest::WriteFile(dir + "/pw", "pipe password\n");
    // encrypt -o - - < in > out.qmp
    auto r = RunProgram(ProgramPath("qmcenter"), {"encrypt", "--password-file", dir + "/pw", "-o", "-", "-"},
                        bytes, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LastLine(r.err), "Done.");
    ASSERT_GT(r.out.size(), bytes.size());
    qmtest::WriteFile(dir + "/in.qmp", r.out);
    // decrypt -o - FILE | ..., and decrypt -o - - < FILE
    r = RunProgram(ProgramPath("qmcenter"),
                   {"decrypt", "--password-file", dir + "/pw", "--output", "-", dir + "/in.qmp"}, {},
                   kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out == bytes) << "standard output holds the decrypted bytes alone";
    r = RunProgram(ProgramPath("qmcenter"), {"decrypt", "--password-file", dir + "/pw", "-o", "-", "-"},
                   qmtest::ReadFile(dir + "/in.qmp"), kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out == bytes);
    // Standard input decrypted into the current folder under its stored name.
    r = RunProgram("/bin/sh",
                   {"-c", "cd '" + dir + "' && exec '" + ProgramPath("qmcenter") +
                              "' decrypt --password-file pw - < in.qmp"},
                   {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(qmtest::ReadFile(dir + "/stdin") == bytes);
    // A wrong password: nothing on standard output, status 1.
    qmtest::WriteFile(dir + "/bad", "wrong\n");
    r = RunProgram(ProgramPath("qmcenter"),
                   {"decrypt", "--password-file", dir + "/bad", "-o", "-", dir + "/in.qmp"}, {}, kNoDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(LastLine(r.err), "Done.");
    // -o - takes one file, and standard input is read once.
    r = RunProgram(ProgramPath("qmcenter"),
                   {"decrypt", "--password", "p", "-o", "-", dir + "/in.qmp", dir + "/in.qmp"}, {},
                   kNoDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("give one file"), std::string::npos) << r.err;
    r = RunProgram(ProgramPath("qmcenter"), {"encrypt", "--password", "p", "-o", dir, "-", "-"}, "x",
                   kNoDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("read only once"), std::string::npos) << r.err;
}

TEST(ConsoleProgram, ACommandThatFailsForOneFileOfManyExitsOne) {
    const std::string dir = qmtest::MakeTempDir("partial");
    qmtest::WriteFile(dir + "/a", "a");
    qmtest::WriteFile(dir + "/b", "b");
    auto r = RunProgram(ProgramPath("qmcenter"), {"encrypt", "--password", "p", dir + "/a"}, {}, kNoDisplay);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunProgram(ProgramPath("qmcenter"), {"encrypt", "--password", "p", dir + "/a", dir + "/b"}, {},
                   kNoDisplay);
    EXPECT_EQ(r.exitCode, 1) << "a.qmp exists: one file of two was not encrypted";
    EXPECT_TRUE(qmtest::Exists(dir + "/b.qmp"));
    EXPECT_EQ(LastLine(r.err), "Done.");
    EXPECT_EQ(r.out, "Encrypted " + dir + "/b -> " + dir + "/b.qmp\n");
}

TEST(ConsoleProgram, BinaryIsNeverWrittenToATerminal) {
    const std::string dir = qmtest::MakeTempDir("tty");
    qmtest::WriteFile(dir + "/photo", std::string("\x89PNG\r\n\x1a\n\0\0\0", 11));
    qmtest::WriteFile(dir + "/note", "plain words\n");
    for (const char* name : {"photo", "note"}) {
        const auto r = RunProgram(ProgramPath("qmcenter"), {"encrypt", "--password", "p", dir + "/" + name},
                                  {}, kNoDisplay);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    qmtest::TerminalOptions options;
    options.env = kNoDisplay;
    options.inputFile = dir + "/note";
    auto r = qmtest::RunInTerminal(ProgramPath("qmcenter"), {"encrypt", "--password", "p", "-o", "-", "-"},
                                   options);
    EXPECT_EQ(r.exitCode, 1) << r.terminal;
    EXPECT_NE(r.terminal.find("refusing to write encrypted data to a terminal"), std::string::npos)
        << r.terminal;
    options.inputFile.clear();
    r = qmtest::RunInTerminal(ProgramPath("qmcenter"),
                              {"decrypt", "--password", "p", "-o", "-", dir + "/photo.qmp"}, options);
    EXPECT_EQ(r.exitCode, 1) << r.terminal;
    EXPECT_NE(r.terminal.find("refusing to write binary data to a terminal"), std::string::npos)
        << r.terminal;
    EXPECT_EQ(r.terminal.find("PNG"), std::string::npos) << r.terminal;
    // Text is shown.
    r = qmtest::RunInTerminal(ProgramPath("qmcenter"),
                              {"decrypt", "--password", "p", "-o", "-", dir + "/note.qmp"}, options);
    EXPECT_EQ(r.exitCode, 0) << r.terminal;
    EXPECT_NE(r.terminal.find("plain words"), std::string::npos) << r.terminal;
}

TEST(ConsoleProgram, AProgressLineIsDrawnOnlyOnATerminal) {
    const std::string dir = qmtest::MakeTempDir("progress");
    // Long enough to take more than a second with Triple-DES; a sparse file is quick to make.
    const std::string big = dir + "/big";
    qmtest::WriteFile(big, "");
    ASSERT_EQ(::truncate(big.c_str(), 96 << 20), 0);
    qmtest::TerminalOptions options;
    options.env = kNoDisplay;
    options.outTerminal = false;
    auto r =
        qmtest::RunInTerminal(ProgramPath("qmcenter"),
                              {"encrypt", "--password", "p", "--algorithm", "3des", "-o", dir, big}, options);
    ASSERT_EQ(r.exitCode, 0) << r.terminal;
    EXPECT_NE(r.terminal.find("MB/s"), std::string::npos) << r.terminal;
    EXPECT_NE(r.terminal.find("%  "), std::string::npos) << r.terminal;
    EXPECT_NE(r.terminal.find("Triple-DES is not recommended"), std::string::npos) << r.terminal;
    EXPECT_EQ(r.out, "Encrypted " + big + " -> " + big + ".qmp\n") << "no progress on standard output";
    // Standard error in a pipe: the warning and "Done." alone, no control codes.
    ASSERT_EQ(::unlink((big + ".qmp").c_str()), 0);
    const auto piped =
        RunProgram(ProgramPath("qmcenter"),
                   {"encrypt", "--password", "p", "--algorithm", "3des", "-o", dir, big}, {}, kNoDisplay);
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.err,
              "qmcenter: warning: " + std::string("Triple-DES is not recommended: its 64-bit blocks and "
                                                  "short key are weak for today; it is kept only to "
                                                  "read older files (AES in CBC mode is the default).\n"
                                                  "Done.\n"));
}

TEST(ConsoleProgram, TheVerbAloneIsNoConsoleCommand) {
    const auto r = RunProgram(ProgramPath("qmcenter"), {"encrypt"}, {}, kNoDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qmcenter: no display available (set DISPLAY or WAYLAND_DISPLAY to open the window).\n");
}

} // namespace
