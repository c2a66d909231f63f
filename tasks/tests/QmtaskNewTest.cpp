// qmtask new, show and next as a new user meets them: readable options in, readable lines out.
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>

using qmtest::ProcessResult;
using qmtest::ProgramPath;
using qmtest::RunProgram;

namespace {

const std::vector<std::string> kUtc = {"TZ=UTC", "LC_ALL=C"};

ProcessResult Qmtask(const std::vector<std::string>& args) {
    return RunProgram(ProgramPath("qmtask"), args, {}, kUtc);
}

// The one task of a list, as show --json prints it.
QJsonObject OnlyTask(const std::string& list, const char* kind) {
    const auto show = Qmtask({"show", list, "--json"});
    EXPECT_EQ(show.exitCode, 0) << show.err;
    const QJsonArray tasks =
        QJsonDocument::fromJson(QByteArray::fromStdString(show.out)).object()[kind].toArray();
    EXPECT_EQ(tasks.size(), 1) << show.out;
    return tasks.isEmpty() ? QJsonObject() : tasks[0].toObject();
}

QJsonArray Ints(std::initializer_list<int> values) {
    QJsonArray a;
    for (int v : values)
        a.append(v);
    return a;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(QmtaskNew, EncryptOptionsBecomeTheTaskFieldsAndShowPrintsThemReadably) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/pw", "s3cret words\nignored second line\n");
    const std::string list = dir + "/l.qms";
    const auto made = Qmtask({"new",
                              "encrypt",
                              "--name",
                              "nightly",
                              "--folder",
                              dir + "/docs",
                              "--mask",
                              "*.txt; *.doc",
                              "--subfolders",
                              "--password-file",
                              dir + "/pw",
                              "--algorithm",
                              "twofish",
                              "--mode=ofb",
                              "--dest",
                              dir,
                              "--wipe",
                              "--every",
                              "1d",
                              "--at",
                              "2040-01-05 09:00",
                              "--days",
                              "mon-fri",
                              "--until",
                              "2040-02-01",
                              "-o",
                              list});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(made.out, "1\n");
    EXPECT_TRUE(Contains(made.err, "does not exist now")) << made.err; // docs/ is not there yet

    const QJsonObject t = OnlyTask(list, "encrypt");
    EXPECT_EQ(t["m_csName"].toString(), "nightly");
    EXPECT_EQ(t["m_csLocation"].toString().toStdString(), dir + "/docs");
    EXPECT_EQ(t["m_csMask"].toString(), "|*.txt|*.doc|");
    EXPECT_EQ(t["m_bSubfolders"].toInt(), 1);
    EXPECT_EQ(t["m_csEncPassword"].toString(), "s3cret words");
    EXPECT_EQ(t["m_nAlgorithm"].toInt(), 9);
    EXPECT_EQ(t["m_nMode"].toInt(), 3);
    EXPECT_EQ(t["m_csDestFolder"].toString().toStdString(), dir);
    EXPECT_EQ(t["m_bWipe"].toInt(), 1);
    EXPECT_EQ(t["m_nRunType"].toInt(), 1);
    EXPECT_EQ(t["m_nTimeFrame"].toInt(), 2);
    EXPECT_EQ(t["m_nInterval"].toInt(), 1);
    EXPECT_EQ(t["m_nHour"].toInt(), 9);
    EXPECT_EQ(t["m_tStart"].toInteger(), 2209366800);
    EXPECT_EQ(t["m_vDays"].toArray(), Ints({2, 3, 4, 5, 6}));
    EXPECT_EQ(t["m_bHasEnd"].toInt(), 1);
    EXPECT_EQ(t["m_tEnd"].toInteger(), 2211753599); // the end of the day named

    const auto show = Qmtask({"show", list});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    EXPECT_TRUE(Contains(show.out, "encrypt: 1 task\n  task 1: Encrypt and Wipe\n    name: nightly\n"))
        << show.out;
    EXPECT_TRUE(Contains(show.out, "    mask: *.txt;*.doc\n    subfolders: yes\n")) << show.out;
    EXPECT_TRUE(Contains(show.out, "    password: set (not shown)\n    algorithm: Twofish\n    mode: OFB\n"));
    EXPECT_TRUE(Contains(show.out,
                         "    schedule: --every 1d --at '2040-01-05 09:00:00' --days mon-fri --until "
                         "'2040-02-01 23:59:59'\n"))
        << show.out;
    EXPECT_TRUE(Contains(show.out, "    rule: Every 1 day at hour 9; run days: Monday, Tuesday, Wednesday, "
                                   "Thursday, Friday;\n"))
        << show.out;
    EXPECT_FALSE(Contains(show.out, "s3cret")) << "a password is never printed";
    // The field dump of earlier versions is still there.
    EXPECT_TRUE(Contains(Qmtask({"show", list, "--raw"}).out, "    m_csEncPassword: s3cret words\n"));
}

TEST(QmtaskNew, ARuleWithoutListsRunsOnEveryDayHourAndMonth) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string list = dir + "/l.qms";
    ASSERT_EQ(
        Qmtask({"new", "delete", "--folder", dir, "--mask", "*", "--every", "30m", "-o", list}).exitCode, 0);
    QJsonObject t = OnlyTask(list, "delete");
    EXPECT_EQ(t["m_csMask"].toString(), "|*.*|"); // '*' in the form the list reader takes
    EXPECT_EQ(t["m_nDelType"].toInt(), 1);        // to the Trash unless told otherwise
    EXPECT_EQ(t["m_bSubfolders"].toInt(), 0);
    EXPECT_EQ(t["m_nTimeFrame"].toInt(), 0);
    EXPECT_EQ(t["m_nInterval"].toInt(), 30);
    EXPECT_EQ(t["m_vDays"].toArray().size(), 7);
    EXPECT_EQ(t["m_vHours"].toArray().size(), 24);
    EXPECT_EQ(t["m_vMonths"].toArray().size(), 12);
    // So it has a next run, within the half hour.
    const auto next = Qmtask({"next", list, "--json"});
    ASSERT_EQ(next.exitCode, 0) << next.err;
    const QJsonObject n = QJsonDocument::fromJson(QByteArray::fromStdString(next.out)).array()[0].toObject();
    const qint64 now = static_cast<qint64>(std::time(nullptr));
    EXPECT_GE(n["next"].toInteger(), now - 60);
    EXPECT_LE(n["next"].toInteger(), now + 30 * 60);

    // Months: the day of the month, the last one included.
    const std::string monthly = dir + "/m.qms";
    ASSERT_EQ(
        Qmtask({"new", "delete", "--folder", dir, "--mask", "*.tmp", "--delete", "wipe", "--wipe-rounds", "7",
                "--every", "3mo", "--months", "jan,jun-aug", "--day-of-month", "last", "-o", monthly})
            .exitCode,
        0);
    t = OnlyTask(monthly, "delete");
    EXPECT_EQ(t["m_nDelType"].toInt(), 3);
    EXPECT_EQ(t["m_nWipeRounds"].toInt(), 7);
    EXPECT_EQ(t["m_nTimeFrame"].toInt(), 4);
    EXPECT_EQ(t["m_nDay"].toInt(), 32);
    EXPECT_EQ(t["m_vMonths"].toArray(), Ints({1, 6, 7, 8}));
    EXPECT_TRUE(Contains(Qmtask({"show", monthly}).out, "--every 3mo --at '"));
    EXPECT_TRUE(Contains(Qmtask({"show", monthly}).out, " --months jan,jun-aug --day-of-month last\n"));

    // Weeks: once a week, on the weekday of --at (a Thursday) unless --days says otherwise.
    const std::string weekly = dir + "/w.qms";
    ASSERT_EQ(Qmtask({"new", "delete", "--folder", dir, "--mask", "*.old", "--every", "1w", "--at",
                      "2040-01-05 10:00", "-o", weekly})
                  .exitCode,
              0);
    EXPECT_EQ(OnlyTask(weekly, "delete")["m_vDays"].toArray(), Ints({5}));
    EXPECT_TRUE(
        Contains(Qmtask({"next", weekly, "--at", "2040-01-06 00:00:00"}).out, "\t2040-01-12 10:00:00\t"));

    // Hours: the minute of --at, the hours named.
    const std::string hourly = dir + "/h.qms";
    ASSERT_EQ(Qmtask({"new", "delete", "--folder", dir, "--mask", "*.log", "--every", "2h", "--at",
                      "2040-01-05 08:15", "--hours", "8,12-14", "--days", "sat,sunday", "-o", hourly})
                  .exitCode,
              0);
    t = OnlyTask(hourly, "delete");
    EXPECT_EQ(t["m_nMinute"].toInt(), 15);
    EXPECT_EQ(t["m_vHours"].toArray(), Ints({8, 12, 13, 14}));
    EXPECT_EQ(t["m_vDays"].toArray(), Ints({1, 7}));
    const auto next2 = Qmtask({"next", hourly, "--at", "2040-01-05 09:00:00"});
    EXPECT_EQ(next2.out,
              "id\tname\tnext run\tschedule\n1\tClean up " + dir +
                  "\t2040-01-07 08:15:00\tEvery 2 hours on minute 15, starting at 08:15:00; run hours: 8, "
                  "12, 13, 14; run days: Sunday, Saturday;\n");
}

TEST(QmtaskNew, WithoutARuleTheTaskIsUnscheduledAndOnceAndStartupRulesAreSaidPlainly) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string list = dir + "/l.qms";
    qmtest::WriteFile(dir + "/key.qmk", "not read when writing the list");
    ASSERT_EQ(
        Qmtask({"new", "encrypt", "--folder", dir, "--mask", "*.txt", "--key", dir + "/key.qmk", "-o", list})
            .exitCode,
        0);
    ASSERT_EQ(Qmtask({"new", "encrypt", "--folder", dir, "--mask", "*.txt", "--key", dir + "/key.qmk", "--at",
                      "2040-01-05 09:30", "--append", "-o", list})
                  .exitCode,
              0);
    const auto startup =
        Qmtask({"new", "mail", "--server", "smtp.example.com", "--from", "me@example.com", "--to",
                "you@example.com", "--subject", "hello", "--at-startup", "--append", "-o", list});
    ASSERT_EQ(startup.exitCode, 0) << startup.err;
    EXPECT_EQ(startup.out, "3\n");

    const auto next = Qmtask({"next", list, "--at", "2040-01-01 00:00:00"});
    ASSERT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(next.out, "id\tname\tnext run\tschedule\n"
                        "1\tEncrypt " +
                            dir +
                            "\t(not scheduled)\t-\n"
                            "2\tEncrypt " +
                            dir +
                            "\t2040-01-05 09:30:00\tOnce at 09:30:00\n"
                            "3\tMail hello\tat startup\tAt startup\n");
    const auto show = Qmtask({"show", list});
    EXPECT_TRUE(Contains(show.out, "    schedule: (none: runs only when the list is run)\n")) << show.out;
    EXPECT_TRUE(Contains(show.out, "    schedule: --at '2040-01-05 09:30:00'\n"));
    EXPECT_TRUE(Contains(show.out, "    schedule: --at-startup\n    rule: At startup\n"));
    EXPECT_TRUE(Contains(show.out, "mail: 1 task\n  task 3: Send message\n"));
    EXPECT_TRUE(Contains(show.out, "    encoding: "));
}

TEST(QmtaskNew, AListIsNotReplacedAndASealedListIsAppendedWithItsPassword) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string list = dir + "/l.qms";
    const std::vector<std::string> task = {"new",    "delete", "--folder",   dir,
                                           "--mask", "*.bak",  "--password", "doc"};
    auto first = task;
    first.insert(first.end(), {"-o", list});
    ASSERT_EQ(Qmtask(first).exitCode, 0);
    const std::string before = qmtest::ReadFile(list);
    auto again = Qmtask(first);
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err, "qmtask: " + list + " exists already; --append adds the task to it\n");
    EXPECT_EQ(qmtest::ReadFile(list), before);

    first.push_back("--append");
    again = Qmtask(first);
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out, "2\n");
    const auto show = Qmtask({"show", list, "--password", "doc"});
    EXPECT_TRUE(Contains(show.out, "delete: 2 tasks\n")) << show.out << show.err;
    EXPECT_EQ(Qmtask({"show", list}).exitCode, 1) << "the texts are sealed";
}

TEST(QmtaskNew, BadOptionsAreRefusedByNameAndNothingIsWritten) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string list = dir + "/l.qms";
    qmtest::WriteFile(dir + "/empty", "\nsecond line\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"encrypt", "--folder", "", "--mask", "*", "--key", "/k"}, "--folder is empty"},
        {{"delete", "--folder", "docs", "--mask", "*"}, "--folder docs: give the folder as an absolute path"},
        {{"delete", "--mask", "*"}, "--folder is required"},
        {{"delete", "--folder", dir}, "--mask is required"},
        {{"delete", "--folder", dir, "--mask", ";"}, "--mask is empty"},
        {{"delete", "--folder", dir, "--mask", "a/*.txt"}, "holds no '|' or '/'"},
        {{"encrypt", "--folder", dir, "--mask", "*"}, "needs --key KEYFILE or --password-file FILE"},
        {{"encrypt", "--folder", dir, "--mask", "*", "--key", "/k", "--dest", "out"},
         "--dest out: give the folder"},
        {{"encrypt", "--folder", dir, "--mask", "*", "--key", "/k", "--algorithm", "rot13"},
         "--algorithm rot13 is not known; give one of AES, Blowfish"},
        {{"encrypt", "--folder", dir, "--mask", "*", "--key", "/k", "--to", "x@y"},
         "--to is an option of mail tasks, not of encrypt tasks"},
        {{"encrypt", "--folder", dir, "--mask", "*", "--key", "/k", "--colour", "red"},
         "unknown option --colour"},
        {{"encrypt", "--folder", dir, "--mask", "*", "--password-file", dir + "/none"},
         "No such file or directory"},
        {{"encrypt", "--folder", dir, "--mask", "*", "--password-file", dir}, "Is a directory"},
        {{"encrypt", "--folder", dir, "--mask", "*", "--password-file", dir + "/empty"}, "holds no password"},
        {{"delete", "--folder", dir, "--mask", "*", "--wipe-rounds", "5"},
         "--wipe-rounds goes with --delete wipe"},
        {{"delete", "--folder", dir, "--mask", "*", "--days", "mon"}, "--days belongs to a schedule rule"},
        {{"delete", "--folder", dir, "--mask", "*", "--every", "90m"}, "at most 59 in this unit"},
        {{"delete", "--folder", dir, "--mask", "*", "--every", "daily"}, "--every wants a number and a unit"},
        {{"delete", "--folder", dir, "--mask", "*", "--every", "1d", "--hours", "9"},
         "--hours goes with minutes"},
        {{"delete", "--folder", dir, "--mask", "*", "--every", "1d", "--at", "09:30"}, "runs on the hour"},
        {{"delete", "--folder", dir, "--mask", "*", "--every", "1w", "--days", "mon,funday"}, "\"funday\""},
        {{"delete", "--folder", dir, "--mask", "*", "--every", "1mo", "--day-of-month", "32"},
         "1 to 31 or last"},
        {{"delete", "--folder", dir, "--mask", "*", "--at", "2001-01-01 10:00"}, "has passed already"},
        {{"delete", "--folder", dir, "--mask", "*", "--at", "2041-02-30"}, "--at wants a local time"},
        {{"delete", "--folder", dir, "--mask", "*", "--every", "1d", "--until", "2001-01-01"},
         "has passed already"},
        {{"delete", "--folder", dir, "--mask", "*", "--every", "1d", "--at-startup"}, "two different rules"},
        {{"mail", "--from", "a@b", "--to", "c@d"}, "--server is required"},
        {{"mail", "--server", "s", "--from", "a@b"}, "give --to ADDRESS or --recipients-file FILE"},
        {{"copy", "--folder", dir}, "unknown task kind \"copy\""},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> args = {"new"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"-o", list});
        const auto r = Qmtask(args);
        EXPECT_EQ(r.exitCode, 1) << options[1];
        EXPECT_TRUE(Contains(r.err, message)) << "wanted \"" << message << "\", got: " << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(qmtest::Exists(list)) << r.err;
    }
}

TEST(QmtaskNew, AWrittenEncryptTaskRunsOnItsOwnFolderOnly) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/pw", "pw\n");
    std::filesystem::create_directories(dir + "/docs/sub");
    qmtest::WriteFile(dir + "/docs/a.txt", "alpha");
    qmtest::WriteFile(dir + "/docs/b.doc", "beta");
    qmtest::WriteFile(dir + "/docs/sub/c.txt", "gamma");
    qmtest::WriteFile(dir + "/outside.txt", "delta");
    const std::string list = dir + "/l.qms";
    ASSERT_EQ(Qmtask({"new", "encrypt", "--folder", dir + "/docs", "--mask", "*.txt", "--password-file",
                      dir + "/pw", "-o", list})
                  .exitCode,
              0);
    const auto run = Qmtask({"run", list});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(qmtest::Exists(dir + "/docs/a.txt.qmp"));
    EXPECT_FALSE(qmtest::Exists(dir + "/docs/sub/c.txt.qmp")) << "no --subfolders";
    EXPECT_FALSE(qmtest::Exists(dir + "/docs/b.doc.qmp"));
    EXPECT_FALSE(qmtest::Exists(dir + "/outside.txt.qmp"));
}

TEST(QmtaskHelp, EveryVerbAnswersHelpAndVersionAndUnknownVerbsAreNamed) {
    for (const char* verb : {"new", "show", "build", "next", "files", "run", "schedule"}) {
        const auto help = Qmtask({verb, "--help"});
        EXPECT_EQ(help.exitCode, 0) << verb;
        EXPECT_TRUE(Contains(help.out, std::string("Usage: qmtask ") + verb)) << help.out;
        const auto version = Qmtask({verb, "--version"});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, "qmtask (Quillmark) " QM_VERSION "\n");
    }
    EXPECT_TRUE(Contains(Qmtask({"new", "--help"}).out, "--day-of-month N|last"));
    EXPECT_EQ(Qmtask({"--version"}).out, "qmtask (Quillmark) " QM_VERSION "\n");
    const auto unknown = Qmtask({"shwo", "x.qms"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err, "qmtask: unknown verb \"shwo\" (qmtask --help lists the verbs)\n");
    const auto option = Qmtask({"show", "x.qms", "--jsno"});
    EXPECT_EQ(option.err, "qmtask: unknown option --jsno\n");
}

TEST(QmtaskShow, DamagedValuesAreShownAsTheyAreStored) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/d.json",
                      R"({"delete":[{"m_nId":1,"m_nRunType":1,"m_nTimeFrame":4,"m_nInterval":2,
      "m_tStart":9223372036854775807,"m_csLocation":"","m_csMask":"|*.txt|","m_nDelType":9}],
      "encrypt":[{"m_nId":2,"m_nAlgorithm":77,"m_nMode":-1,"m_nRunType":1,"m_nTimeFrame":99,"m_csLocation":"/x"}]})");
    const auto build = Qmtask({"build", dir + "/d.json", dir + "/d.qms"});
    ASSERT_EQ(build.exitCode, 0) << build.err;
    EXPECT_EQ(build.err,
              "qmtask: warning: task 1: \"\" is not an absolute path; the task will be refused when it "
              "is listed or run\n");
    const auto show = Qmtask({"show", dir + "/d.qms"});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    EXPECT_TRUE(Contains(show.out, "    folder: (none: the task reports an error)\n")) << show.out;
    EXPECT_TRUE(Contains(show.out, "    delete: 9 (unknown)\n"));
    EXPECT_TRUE(Contains(show.out, "    schedule: --every 2mo --at 9223372036854775807"));
    EXPECT_TRUE(Contains(show.out, "    algorithm: 77 (unknown)\n    mode: -1 (unknown)\n"));
    EXPECT_TRUE(Contains(show.out, "    schedule: (damaged rule: time frame 99)\n"));
}
