// Task runs never lose a file: task lists built with qmtask build and run by qmtask run and by
// keeper's start-up pass. A file an encrypt task selected is wiped or deleted only once the run
// wrote and read back its encrypted copy; anything else is an error that keeps the file.
#include "TestSupport.h"

#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/KeyFile.h"
#include "misckit/Registry.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/Action.h"
#include "tasks/schedlink/TaskSched.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <unistd.h>

namespace {

using qmtest::ProgramPath;
using qmtest::RunProgram;

const std::vector<std::string> kNoDisplay = {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="};

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// One task of a JSON task list; `fields` are further "name": value pairs.
std::string EncryptJson(int id, const std::string& location, const std::string& key,
                        const std::string& fields = "") {
    return R"({"m_nId": )" + std::to_string(id) + R"(, "m_csName": "enc )" + std::to_string(id) +
           R"(", "m_csLocation": )" + Quoted(location) +
           R"(, "m_csMask": "|*.txt|*.pdf|", "m_bSubfolders": 1,)" + R"( "m_csKeyFile": )" + Quoted(key) +
           (fields.empty() ? "" : ", " + fields) + "}";
}

std::string DeleteJson(int id, const std::string& location, int type, const std::string& mask = "|*.txt|") {
    return R"({"m_nId": )" + std::to_string(id) + R"(, "m_csName": "del )" + std::to_string(id) +
           R"(", "m_csLocation": )" + Quoted(location) + R"(, "m_csMask": )" + Quoted(mask) +
           R"(, "m_bSubfolders": 1, "m_nDelType": )" + std::to_string(type) + R"(, "m_nWipeRounds": 1})";
}

std::string List(const std::vector<std::string>& encrypt, const std::vector<std::string>& del = {}) {
    auto join = [](const std::vector<std::string>& tasks) {
        std::string out;
        for (const std::string& t : tasks)
            out += (out.empty() ? "" : ", ") + t;
        return out;
    };
    return R"({"encrypt": [)" + join(encrypt) + R"(], "delete": [)" + join(del) + "]}";
}

// What a run said: whether it reported errors, and its text (terminal output or keeper's log).
struct Outcome {
    bool errors = false;
    std::string text;
};

// Runs a task list the two ways a user does: with qmtask run, or stored as start-up tasks that
// keeper's start-up pass runs. `folder` is the current folder of the program.
class TaskRunSafety : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        root = qmtest::MakeTempDir("safe");
        char text[512] = {};
        key = root + "/k.qmk";
        ASSERT_TRUE(CreateKeyFile(key.c_str(), text, sizeof text)) << text;
        otherKey = root + "/other.qmk";
        ASSERT_TRUE(CreateKeyFile(otherKey.c_str(), text, sizeof text)) << text;
        settings.WriteBYTE("OutOverwrite", 0);
        settings.WriteBYTE("InOverwrite", 3);
    }
    void TearDown() override {
        settings.WriteBYTE("OutOverwrite", 0);
        settings.WriteBYTE("InOverwrite", 3);
    }
    bool ThroughKeeper() const { return GetParam(); }

    std::string File(const std::string& relative, const std::string& bytes) {
        const std::string path = root + "/" + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        qmtest::WriteFile(path, bytes);
        return path;
    }
    std::string Read(const std::string& relative) {
        const std::string path = root + "/" + relative;
        return qmtest::Exists(path) ? qmtest::ReadFile(path) : "(missing)";
    }
    // The plaintext an encrypted file holds, or "(not decrypted)".
    std::string Decrypted(const std::string& relative) {
        const std::string out = qmtest::MakeTempDir("out");
        std::string written, error;
        if (!corecrypt::DecryptFile(root + "/" + relative, out + "/", key, false, false, &written, error))
            return "(not decrypted: " + error + ")";
        return qmtest::ReadFile(written);
    }
    std::vector<std::string> ArchiveNames(const std::string& archive) {
        std::vector<corecrypt::ArchiveEntry> entries;
        std::string error;
        std::vector<std::string> names;
        if (corecrypt::ListArchive(archive, key, true, entries, error))
            for (const auto& e : entries)
                names.push_back(e.path);
        return names;
    }

    Outcome Run(const std::string& json, const std::string& folder = "") {
        const std::string list = qmtest::MakeTempDir("list");
        qmtest::WriteFile(list + "/t.json", json);
        const auto build = RunProgram(ProgramPath("qmtask"), {"build", list + "/t.json", list + "/t.qms"});
        EXPECT_EQ(build.exitCode, 0) << build.err;
        return ThroughKeeper() ? RunInKeeper(list + "/t.qms", folder) : RunInQmtask(list + "/t.qms", folder);
    }

    Outcome RunInQmtask(const std::string& schedule, const std::string& folder) {
        qmtest::RunningProgram run(ProgramPath("qmtask"), {"run", schedule}, {}, kNoDisplay, folder);
        const int status = run.Wait(120000);
        EXPECT_TRUE(WIFEXITED(status)) << status;
        const int code = WEXITSTATUS(status);
        EXPECT_TRUE(code == 0 || code == 2) << code << run.Errors();
        return {code != 0, run.Output() + run.Errors()};
    }

    // Every task of the list becomes a start-up task of the stored schedule; keeper's start-up
    // pass runs them, and the test ends keeper once its run is logged.
    Outcome RunInKeeper(const std::string& schedule, const std::string& folder) {
        CTaskManager manager;
        std::string error;
        EXPECT_TRUE(manager.ReadScheduleFile(schedule, error)) << error;
        for (const auto* list : {&manager.m_lstDelete, &manager.m_lstEncrypt, &manager.m_lstSendMail})
            for (CAction* task : *list) {
                task->m_nRunType = 3;
                task->m_nTimeFrame = 6;
            }
        EXPECT_TRUE(manager.WriteScheduleFile(tasksched::GetSchedulePath(), error)) << error;
        const std::string log = std::string(std::getenv("XDG_STATE_HOME")) + "/Quillmark/keeper.log";
        std::remove(log.c_str());
        qmtest::RunningProgram keeper(ProgramPath("keeper"), {"startup"}, {}, kNoDisplay, folder);
        const bool ran = keeper.WaitUntil(
            [&] {
                return qmtest::Exists(log) && qmtest::ReadFile(log).find("summary: ") != std::string::npos;
            },
            120000);
        keeper.Signal(SIGTERM);
        keeper.Wait();
        qmtest::WriteFile(tasksched::GetSchedulePath(), "");
        const std::string text = qmtest::Exists(log) ? qmtest::ReadFile(log) : "";
        EXPECT_TRUE(ran) << text;
        // One run: one summary for all the tasks.
        EXPECT_EQ(text.find("summary: "), text.rfind("summary: ")) << text;
        return {text.find("summary: 0 errors") == std::string::npos, text};
    }

    std::string root, key, otherKey;
    CQMRegistry settings;
};

// The count a run reports: "Done. N errors." from qmtask, "summary: N errors" from keeper.
std::string ErrorCount(bool keeper, int n) {
    return keeper ? "summary: " + std::to_string(n) + (n == 1 ? " error" : " errors")
                  : "Done. " + std::to_string(n) + " errors.";
}

TEST_P(TaskRunSafety, ASecondArchiveRunWipesNoSourceWhoseEntryTheArchiveKept) {
    File("src/n.txt", "first");
    File("src/m.txt", "other");
    const std::string archive = root + "/out/a.qma";
    std::filesystem::create_directories(root + "/out");
    const std::string json = List({EncryptJson(
        1, root + "/src", key, R"("m_bWipe": 1, "m_bArchive": 1, "m_csArchive": )" + Quoted(archive))});
    Outcome first = Run(json);
    EXPECT_FALSE(first.errors) << first.text;
    EXPECT_EQ(Read("src/n.txt"), "(missing)");
    EXPECT_EQ(ArchiveNames(archive), (std::vector<std::string>{"m.txt", "n.txt"}));

    // Newer, but an unattended run keeps the entry: the new bytes are nowhere else.
    File("src/n.txt", "second, newer");
    Outcome second = Run(json);
    EXPECT_TRUE(second.errors) << second.text;
    EXPECT_NE(second.text.find(ErrorCount(ThroughKeeper(), 1)), std::string::npos) << second.text;
    EXPECT_NE(second.text.find("n.txt"), std::string::npos) << second.text;
    EXPECT_EQ(Read("src/n.txt"), "second, newer");
}

TEST_P(TaskRunSafety, AnEncryptTaskThatCannotStartKeepsItsFilesFromWipeTasks) {
    File("src/a.txt", "alpha");
    File("src/deep/b.txt", "beta");
    Outcome run =
        Run(List({EncryptJson(1, root + "/src", key,
                              R"("m_bWipe": 1, "m_csDestFolder": )" + Quoted(root + "/no/such/folder"))},
                 {DeleteJson(2, root + "/src", 3)}));
    EXPECT_TRUE(run.errors);
    EXPECT_EQ(Read("src/a.txt"), "alpha");
    EXPECT_EQ(Read("src/deep/b.txt"), "beta");
    EXPECT_NE(run.text.find("Destination folder does not exist."), std::string::npos) << run.text;
    // The setting error and one per kept file.
    EXPECT_NE(run.text.find(ErrorCount(ThroughKeeper(), 3)), std::string::npos) << run.text;

    // The same for a missing archive folder and for no key at all.
    Outcome archive =
        Run(List({EncryptJson(1, root + "/src", key,
                              R"("m_bArchive": 1, "m_csArchive": )" + Quoted(root + "/gone/a.qma"))},
                 {DeleteJson(2, root + "/src", 2)}));
    EXPECT_TRUE(archive.errors);
    Outcome keyless = Run(List({EncryptJson(1, root + "/src", "")}, {DeleteJson(2, root + "/src", 1)}));
    EXPECT_TRUE(keyless.errors);
    EXPECT_EQ(Read("src/a.txt"), "alpha");
    EXPECT_EQ(Read("src/deep/b.txt"), "beta");
}

TEST_P(TaskRunSafety, FilesAreKnownByIdentityNotByThePathThatReachesThem) {
    File("small/a.txt", "only copy");
    std::filesystem::create_directories(root + "/hard");
    ASSERT_EQ(::link((root + "/small/a.txt").c_str(), (root + "/hard/h.txt").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/small").c_str(), (root + "/via-link").c_str()), 0);
    const std::string bad = File("bad.qmk", "not a key file");
    // Encryption fails for every file; the delete tasks reach the same file three other ways.
    Outcome run = Run(List({EncryptJson(1, root + "/small", bad)},
                           {DeleteJson(2, root + "/via-link", 2), DeleteJson(3, root + "/hard", 3),
                            DeleteJson(4, root + "/small/../small", 1)}));
    EXPECT_TRUE(run.errors);
    EXPECT_EQ(Read("small/a.txt"), "only copy");
    EXPECT_EQ(Read("hard/h.txt"), "only copy");
    EXPECT_NE(run.text.find("not encrypted earlier in this run"), std::string::npos) << run.text;
}

TEST_P(TaskRunSafety, EmptyAndRelativeLocationsAreRefused) {
    File("sub/keep.txt", "kept");
    // Run from the temporary folder, where "sub" would resolve to the file above.
    Outcome run =
        Run(List({}, {DeleteJson(1, "sub", 2), DeleteJson(2, "", 2, "|qm-no-such-file-7c1e.txt|")}), root);
    EXPECT_TRUE(run.errors);
    EXPECT_EQ(Read("sub/keep.txt"), "kept");
    EXPECT_NE(run.text.find("absolute paths"), std::string::npos) << run.text;
    EXPECT_NE(run.text.find(ErrorCount(ThroughKeeper(), 2)), std::string::npos) << run.text;
}

TEST_P(TaskRunSafety, SameNamesFromTwoFoldersKeepTheirFoldersBelowTheDestination) {
    File("src/2023/r.pdf", "report 2023");
    File("src/2024/r.pdf", "report 2024");
    File("more/2023/r.pdf", "another 2023");
    std::filesystem::create_directories(root + "/dest");
    settings.WriteBYTE("OutOverwrite", 1);
    const std::string fields = R"("m_bWipe": 1, "m_csDestFolder": )" + Quoted(root + "/dest");
    Outcome run =
        Run(List({EncryptJson(1, root + "/src", key, fields), EncryptJson(2, root + "/more", key, fields)}));
    EXPECT_EQ(Decrypted("dest/2023/r.pdf.qmp"), "report 2023");
    EXPECT_EQ(Decrypted("dest/2024/r.pdf.qmp"), "report 2024");
    EXPECT_EQ(Read("src/2023/r.pdf"), "(missing)");
    EXPECT_EQ(Read("src/2024/r.pdf"), "(missing)");
    // The second task's file would replace the first one's copy: refused, whatever the setting.
    EXPECT_TRUE(run.errors);
    EXPECT_EQ(Read("more/2023/r.pdf"), "another 2023");
    EXPECT_NE(run.text.find("File already exists."), std::string::npos) << run.text;
    EXPECT_NE(run.text.find(ErrorCount(ThroughKeeper(), 1)), std::string::npos) << run.text;
}

TEST_P(TaskRunSafety, ALongNameArchivedWithWipeIsExtractedAgain) {
    const std::string name = std::string(241, 'n') + ".txt";
    File("src/" + name, "long");
    const std::string archive = root + "/a.qma";
    Outcome run = Run(List({EncryptJson(
        1, root + "/src", key, R"("m_bWipe": 1, "m_bArchive": 1, "m_csArchive": )" + Quoted(archive))}));
    EXPECT_FALSE(run.errors) << run.text;
    EXPECT_EQ(Read("src/" + name), "(missing)");
    const std::string out = qmtest::MakeTempDir("x");
    std::string error;
    ASSERT_TRUE(corecrypt::ExtractArchive(archive, {}, out, key, true, {}, nullptr, error)) << error;
    EXPECT_EQ(qmtest::ReadFile(out + "/" + name), "long");
}

TEST_P(TaskRunSafety, ATaskAfterAFailedOneWorksOnlyOnItsOwnFiles) {
    File("a/one.txt", "in a");
    File("b/two.txt", "in b");
    File("seed.txt", "seed");
    const std::string archive = root + "/a.qma";
    std::string error;
    corecrypt::ArchiveAddOptions options;
    ASSERT_TRUE(corecrypt::AddToArchive(archive, {root + "/seed.txt"}, otherKey, true, options, error))
        << error;
    Outcome run =
        Run(List({EncryptJson(1, root + "/a", key,
                              R"("m_bWipe": 1, "m_bArchive": 1, "m_csArchive": )" + Quoted(archive)),
                  EncryptJson(2, root + "/b", key, R"("m_bWipe": 1)")}));
    EXPECT_TRUE(run.errors);
    EXPECT_EQ(Read("a/one.txt"), "in a");
    EXPECT_FALSE(qmtest::Exists(root + "/a/one.txt.qmp"));
    EXPECT_EQ(Read("b/two.txt"), "(missing)");
    EXPECT_EQ(Decrypted("b/two.txt.qmp"), "in b");
}

TEST_P(TaskRunSafety, AnExistingTargetAndAMissingFolderAreErrorsAndNothingWaitsForAnAnswer) {
    File("src/a.txt", "new text");
    File("src/b.txt", "second");
    // a.txt was encrypted before; nobody is there to say whether that copy may go.
    std::string error;
    ASSERT_TRUE(
        corecrypt::EncryptFile(root + "/src/a.txt", root + "/src/a.txt.qmp", key, true, 0, false, error))
        << error;
    const std::string before = Read("src/a.txt.qmp");
    settings.WriteBYTE("OutOverwrite", 0);
    Outcome run =
        Run(List({EncryptJson(1, root + "/src", key)}, {DeleteJson(2, root + "/no-such-folder", 2)}));
    EXPECT_TRUE(run.errors) << run.text;
    EXPECT_EQ(Read("src/a.txt.qmp"), before) << "the existing copy is kept";
    EXPECT_EQ(Decrypted("src/b.txt.qmp"), "second");
    EXPECT_NE(run.text.find(ErrorCount(ThroughKeeper(), 2)), std::string::npos) << run.text;
    EXPECT_NE(run.text.find("Directory does not exist."), std::string::npos) << run.text;
    // Each error once, as plain text.
    const std::string kept = root + "/src/a.txt: File already exists.";
    EXPECT_NE(run.text.find(kept), std::string::npos) << run.text;
    EXPECT_EQ(run.text.find(kept), run.text.rfind(kept)) << run.text;
    EXPECT_EQ(run.text.find('\033'), std::string::npos) << run.text;
    if (ThroughKeeper()) {
        EXPECT_NE(run.text.find("end task 1"), std::string::npos) << run.text;
        EXPECT_NE(run.text.find(": failed"), std::string::npos) << run.text;
        EXPECT_EQ(run.text.find(": done"), std::string::npos) << run.text;
    }
}

INSTANTIATE_TEST_SUITE_P(QmtaskAndKeeper, TaskRunSafety, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Keeper" : "Qmtask";
                         });

} // namespace
