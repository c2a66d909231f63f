#include "misckit/Registry.h"

#include "TestSupport.h"
#include "platform/Autostart.h"
#include "platform/XdgPaths.h"

#include <QProcess>
#include <QSettings>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

qmtest::ProcessResult Peer(const std::vector<std::string>& args) {
    return qmtest::RunProgram(MISCKIT_PEER, args);
}

} // namespace

TEST(Settings, OneByteGettersGiveTheirDefaultsWhenNothingIsStored) {
    const CQMRegistry reg;
    EXPECT_EQ(reg.GetInOverwrite(), 3);
    EXPECT_EQ(reg.GetOutOverwrite(), 0);
    EXPECT_EQ(reg.GetRecDirs(), 1);
    EXPECT_EQ(reg.GetCompress(), 1);
    EXPECT_EQ(reg.GetRestoreTime(), 1);
    EXPECT_EQ(reg.GetMode(), 2);
    EXPECT_EQ(reg.GetMailPlainAuth(), 0) << "a password is never sent unencrypted unless allowed";
    EXPECT_NE(reg.GetExtsNotCompress().find("zip"), std::string::npos);
    unsigned char noMes = 7;
    EXPECT_FALSE(reg.ReadBYTEEx(encreg::szNoMes, noMes));
    EXPECT_EQ(noMes, 7) << "a failed read leaves the caller's default";
}

TEST(Settings, MailPlainAuthIsOnOnlyWhenAByteSaysSo) {
    const CQMRegistry reg;
    ASSERT_TRUE(reg.WriteBYTE(encreg::szMailPlainAuth, 1));
    EXPECT_EQ(reg.GetMailPlainAuth(), 1);
    ASSERT_TRUE(reg.WriteBYTE("MailPlainAuth", 0));
    EXPECT_EQ(reg.GetMailPlainAuth(), 0);
    ASSERT_TRUE(reg.WriteString("MailPlainAuth", "yes"));
    EXPECT_EQ(reg.GetMailPlainAuth(), 0) << "a value that is no byte does not turn it on";
    ASSERT_TRUE(CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman).WriteBYTE("MailPlainAuth", 1));
    EXPECT_EQ(reg.GetMailPlainAuth(), 0) << "only the value in the Encryption group counts";
}

TEST(Settings, GetModeAlwaysGivesAValidAlgorithmModeCode) {
    const CQMRegistry reg;
    for (int stored : {0, 41, 255}) {
        ASSERT_TRUE(reg.WriteBYTE("Mode", static_cast<unsigned char>(stored)));
        EXPECT_EQ(reg.GetMode(), 2) << stored;
    }
    ASSERT_TRUE(reg.WriteBYTE("Mode", 40));
    EXPECT_EQ(reg.GetMode(), 40);
    ASSERT_TRUE(reg.WriteString("Mode", "not a number"));
    EXPECT_EQ(reg.GetMode(), 2);
    // The getters read the program settings whatever key the object was built on.
    EXPECT_EQ(CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman).GetMode(), 2);
    ASSERT_TRUE(encreg::qmreg.WriteBYTE("Mode", 13));
    EXPECT_EQ(CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman).GetMode(), 13);
}

TEST(Settings, TypedValuesRoundTripAndKeysAreSeparate) {
    const CQMRegistry enc;
    const CQMRegistry keyman(RegRoot::CurrentUser, encreg::szRegKeyman);
    ASSERT_TRUE(keyman.WriteString("Location 1", "/home/u/Documents/"));
    ASSERT_TRUE(keyman.WriteDWORD("x0", 0xFFFFFFFFu));
    const std::string widths("\x64\x00\x32\xFA", 4);
    ASSERT_TRUE(keyman.WriteBinary("ListKeysCols", widths));
    ASSERT_TRUE(enc.WriteString("Text", "ä ö ü; \"quoted\" = [x] \\ %s"));

    std::string s;
    ASSERT_TRUE(keyman.ReadStringEx("Location 1", s));
    EXPECT_EQ(s, "/home/u/Documents/");
    std::uint32_t n = 0;
    ASSERT_TRUE(keyman.ReadDWORDEx("x0", n));
    EXPECT_EQ(n, 0xFFFFFFFFu);
    std::string bytes;
    ASSERT_TRUE(keyman.ReadBinaryEx("ListKeysCols", bytes));
    EXPECT_EQ(bytes, widths);
    ASSERT_TRUE(enc.ReadStringEx("Text", s));
    EXPECT_EQ(s, "ä ö ü; \"quoted\" = [x] \\ %s");
    EXPECT_FALSE(enc.ReadStringEx("Location 1", s)) << "a value of one key is not seen under another";

    ASSERT_TRUE(keyman.DeleteValue("Location 1"));
    EXPECT_FALSE(keyman.ValueExists("Location 1"));
    EXPECT_TRUE(keyman.DeleteValue("Location 1")) << "deleting a missing value succeeds";
}

TEST(Settings, BufferFormReportsTheSizeNeededAndNeverOverruns) {
    const CQMRegistry reg;
    ASSERT_TRUE(reg.WriteString("Path", "/a/b/c"));
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    unsigned size = 6;
    EXPECT_FALSE(reg.ReadStringEx("Path", buffer, &size));
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(buffer[0], '#');
    size = sizeof buffer;
    ASSERT_TRUE(reg.ReadStringEx("Path", buffer, &size));
    EXPECT_EQ(size, 7u);
    EXPECT_STREQ(buffer, "/a/b/c");
}

TEST(Settings, ByteAndNumberReadsRefuseValuesOutOfRange) {
    const CQMRegistry reg;
    ASSERT_TRUE(reg.WriteDWORD("Big", 256));
    unsigned char b = 9;
    EXPECT_FALSE(reg.ReadBYTEEx("Big", b));
    EXPECT_EQ(b, 9);
    ASSERT_TRUE(reg.WriteString("Negative", "-1"));
    std::uint32_t n = 5;
    EXPECT_FALSE(reg.ReadDWORDEx("Negative", n));
    EXPECT_EQ(n, 5u);
}

TEST(Settings, FileAndFolderAreClosedToOtherUsers) {
    ::umask(022);
    ASSERT_TRUE(encreg::qmreg.WriteString("A", "1"));
    const std::string file = CQMRegistry::SettingsFilePath();
    EXPECT_EQ(file, Env("XDG_CONFIG_HOME") + "/Quillmark/settings.ini");
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(ModeOf(Env("XDG_CONFIG_HOME") + "/Quillmark"), 0700u);
    // Later saves replace the file; the new one stays private too.
    ASSERT_TRUE(encreg::qmreg.WriteString("B", "2"));
    EXPECT_EQ(ModeOf(file), 0600u);
}

TEST(Settings, AFileReachedThroughALinkIsSavedWhereTheLinkPointsAndTheLinkStays) {
    // Settings kept with the user's other configuration and linked into place.
    const std::string real = qmtest::MakeTempDir("dotfiles") + "/quillmark.ini";
    qmtest::WriteFile(real, "[Encryption]\nKept=1\n");
    std::string error;
    ASSERT_TRUE(platform::MakeFolders(Env("XDG_CONFIG_HOME") + "/Quillmark", 0700, error)) << error;
    const std::string file = CQMRegistry::SettingsFilePath();
    ASSERT_EQ(::symlink(real.c_str(), file.c_str()), 0);
    ASSERT_TRUE(encreg::qmreg.WriteString("A", "1"));
    ASSERT_TRUE(encreg::qmreg.WriteString("B", "2"));
    struct stat st {};
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    const std::string saved = qmtest::ReadFile(real);
    EXPECT_NE(saved.find("A=1"), std::string::npos) << saved;
    EXPECT_NE(saved.find("B=2"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Kept=1"), std::string::npos) << saved;
    EXPECT_EQ(ModeOf(real), 0600u) << "settings stay the owner's only";
}

TEST(Settings, ASaveThatCannotHappenIsReportedAsAFailure) {
    // A folder where the file belongs: nothing can be saved there, even by root.
    std::string error;
    ASSERT_TRUE(platform::MakeFolders(CQMRegistry::SettingsFilePath(), 0700, error)) << error;
    EXPECT_FALSE(encreg::qmreg.WriteString("A", "1"));
    EXPECT_FALSE(encreg::qmreg.WriteBYTE("Mode", 5));
    EXPECT_EQ(encreg::qmreg.GetMode(), 2);
}

TEST(Settings, PathSettingsHaveDefaultsAndCreateTheirFolders) {
    const std::string data = Env("XDG_DATA_HOME") + "/Quillmark";
    EXPECT_EQ(misckit::GetScheduleFilePath(), data + "/schedule.qms");
    EXPECT_EQ(misckit::GetKeyFolder(), data + "/keys/");
    EXPECT_EQ(misckit::GetPubKeyFileName(), data + "/pubring.qkr");
    EXPECT_EQ(misckit::GetPrivKeyFileName(), data + "/secring.qkr");
    EXPECT_EQ(ModeOf(data), 0700u);
    EXPECT_EQ(ModeOf(data + "/keys"), 0700u);
    // What the schedule link reads: the default through the default object.
    std::string schedule;
    ASSERT_TRUE(CQMRegistry().ReadStringEx(encreg::szFileSchedule, schedule));
    EXPECT_EQ(schedule, data + "/schedule.qms");

    const std::string mine = qmtest::TestRoot() + "/elsewhere/deeper/my.qms";
    ASSERT_TRUE(encreg::qmreg.WriteString(encreg::szFileSchedule, mine));
    EXPECT_EQ(misckit::GetScheduleFilePath(), mine);
    EXPECT_EQ(ModeOf(qmtest::TestRoot() + "/elsewhere/deeper"), 0700u);
    // A key folder stored as empty stays empty: the control center asks for one then.
    ASSERT_TRUE(encreg::qmreg.WriteString(encreg::szKeyFolder, ""));
    EXPECT_EQ(misckit::GetKeyFolder(), "");
    char small[4];
    EXPECT_TRUE(misckit::GetKeyFolder(small, sizeof small));
    ASSERT_TRUE(encreg::qmreg.WriteString(encreg::szKeyFolder, "/k/"));
    EXPECT_FALSE(misckit::GetKeyFolder(small, 3));
    EXPECT_TRUE(misckit::GetKeyFolder(small, 4));
    EXPECT_STREQ(small, "/k/");
}

TEST(Settings, StartupKeyOfTheMachineIsTheAutostartEntry) {
    const CQMRegistry run(RegRoot::LocalMachine, encreg::szStartupRun);
    ASSERT_TRUE(run.WriteString("Quillmark Scheduler", "/opt/quill mark/bin/keeper startup"));
    const platform::AutostartEntry entry{"quillmark-scheduler", "Quillmark Scheduler"};
    std::string exec;
    ASSERT_TRUE(platform::ReadAutostartEntry(entry, exec));
    EXPECT_EQ(exec, platform::AutostartExecLine("/opt/quill mark/bin/keeper", {"startup"}));
    EXPECT_TRUE(run.ValueExists("Quillmark Scheduler"));
    ASSERT_TRUE(run.DeleteValue("Quillmark Scheduler"));
    EXPECT_FALSE(run.ValueExists("Quillmark Scheduler"));
    EXPECT_FALSE(qmtest::Exists(platform::AutostartPath(entry)));
}

TEST(SettingsAcrossProcesses, AValueWrittenByOneProgramIsReadByTheOther) {
    ASSERT_EQ(Peer({"write", "FromPeer", "peer text"}).exitCode, 0);
    std::string v;
    ASSERT_TRUE(encreg::qmreg.ReadStringEx("FromPeer", v));
    EXPECT_EQ(v, "peer text");

    ASSERT_TRUE(encreg::qmreg.WriteString("FromTest", "test text"));
    const auto r = Peer({"read", "FromTest"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "test text");

    // A value this process read before is read afresh after the other program changed it.
    ASSERT_EQ(Peer({"write", "FromPeer", "changed"}).exitCode, 0);
    ASSERT_TRUE(encreg::qmreg.ReadStringEx("FromPeer", v));
    EXPECT_EQ(v, "changed");
}

TEST(SettingsAcrossProcesses, TwoProgramsWritingAtOnceLoseNothing) {
    constexpr int kEach = 150;
    QProcess a, b;
    a.start(MISCKIT_PEER, {"write-many", "A", QString::number(kEach)});
    b.start(MISCKIT_PEER, {"write-many", "B", QString::number(kEach)});
    // This process writes too, in between.
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(encreg::qmreg.WriteDWORD("T" + std::to_string(i), static_cast<std::uint32_t>(i)));
    ASSERT_TRUE(a.waitForFinished(120000));
    ASSERT_TRUE(b.waitForFinished(120000));
    ASSERT_EQ(a.exitCode(), 0) << a.readAllStandardError().toStdString();
    ASSERT_EQ(b.exitCode(), 0) << b.readAllStandardError().toStdString();
    int missing = 0;
    for (const char* prefix : {"A", "B", "T"}) {
        const int count = prefix[0] == 'T' ? 30 : kEach;
        for (int i = 0; i < count; ++i) {
            std::uint32_t v = 0xFFFF;
            if (!encreg::qmreg.ReadDWORDEx(prefix + std::to_string(i), v) ||
                v != static_cast<std::uint32_t>(i))
                ++missing;
        }
    }
    EXPECT_EQ(missing, 0);
}

TEST(SettingsAcrossProcesses, TwoProgramsRewritingTheirValuesEachKeepTheirLastWrite) {
    // Same-length rewrites leave the file's size unchanged: each save must still merge into the
    // file as the other program left it, not into a copy read before.
    QProcess a, b;
    a.start(MISCKIT_PEER, {"rewrite", "A", "40", "3"});
    b.start(MISCKIT_PEER, {"rewrite", "B", "40", "3"});
    ASSERT_TRUE(a.waitForFinished(120000));
    ASSERT_TRUE(b.waitForFinished(120000));
    ASSERT_EQ(a.exitCode(), 0);
    ASSERT_EQ(b.exitCode(), 0);
    for (const char* name : {"A0", "A1", "A2", "B0", "B1", "B2"}) {
        std::string v;
        ASSERT_TRUE(encreg::qmreg.ReadStringEx(name, v)) << name;
        EXPECT_EQ(v, "000040") << name;
    }
}

TEST(SettingsAcrossProcesses, AProgramKilledWhileSavingLeavesAReadableFile) {
    ASSERT_TRUE(encreg::qmreg.WriteString("Before", "kept"));
    QProcess writer;
    writer.start(MISCKIT_PEER, {"write-forever", "Big"});
    // Kill it in the middle of its saves, after a few have completed.
    int completed = 0;
    while (completed < 5 && writer.waitForReadyRead(20000))
        while (writer.canReadLine()) {
            writer.readLine();
            ++completed;
        }
    ASSERT_GE(completed, 5);
    ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
    writer.waitForFinished(10000);

    QSettings check(QString::fromStdString(CQMRegistry::SettingsFilePath()), QSettings::IniFormat);
    EXPECT_EQ(check.status(), QSettings::NoError);
    std::string v;
    ASSERT_TRUE(encreg::qmreg.ReadStringEx("Before", v));
    EXPECT_EQ(v, "kept");
    ASSERT_TRUE(encreg::qmreg.ReadStringEx("Big", v));
    EXPECT_EQ(v.size(), 200000u) << "the value is one of the complete saves, never a cut one";
    // The settings still take writes: no lock was left behind that blocks them.
    EXPECT_TRUE(encreg::qmreg.WriteString("After", "ok"));
}
