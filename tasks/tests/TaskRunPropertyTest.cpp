// Random task lists over a generated tree, with failures injected (a disk that fills up, missing
// folders, an archive under another key, a key file that is no key file). After every run each
// file that existed before is still there in plaintext or can be decrypted from an encrypted file
// or archive below the tree, and a run that left a selected file unencrypted reports errors.
#include "TestSupport.h"

#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/KeyFile.h"
#include "misckit/Registry.h"
#include "platform/AtomicFile.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>

namespace {

namespace fs = std::filesystem;

int g_errors = 0;

int CountErrors(FEEDBACKITEM_* item) {
    if (item->pTask || item->nErrorCode)
        ++g_errors;
    return 1;
}

class Generated {
public:
    Generated(unsigned seed, const std::string& root) : m_random(seed), m_root(root) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool Coin() { return Pick(2) == 1; }

    // A few folders with a few files each; names repeat across folders on purpose.
    std::map<std::string, std::string> Tree() {
        std::map<std::string, std::string> files;
        const char* folders[] = {"src", "src/2023", "src/2024", "src/2024/q1", "other"};
        const char* names[] = {"r.pdf", "a.txt", "b.txt", "notes.txt", "a.txt.qmp"};
        for (const char* folder : folders) {
            fs::create_directories(m_root + "/" + folder);
            for (const char* name : names) {
                if (Pick(3) == 0)
                    continue;
                const std::string path = m_root + "/" + folder + "/" + name;
                const std::string content =
                    path + " #" + std::to_string(Pick(1000000)) + std::string(Pick(3000), 'x');
                qmtest::WriteFile(path, content);
                files[path] = content;
            }
        }
        return files;
    }

    std::string Location() {
        const char* locations[] = {"/src", "/src/2024", "/other", "/src/2023", ""};
        return m_root + locations[Pick(5)];
    }

private:
    std::mt19937 m_random;
    std::string m_root;
};

// Every content that can be had back from below `root`: plain files, encrypted files and the
// entries of archives, opened with `key`.
std::multiset<std::string> Recoverable(const std::string& root, const std::string& key) {
    std::multiset<std::string> found;
    const std::string out = qmtest::MakeTempDir("recovered");
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file())
            continue;
        const std::string path = e.path().string();
        found.insert(qmtest::ReadFile(path));
        std::string error, written;
        const std::string folder = out + "/" + std::to_string(n++);
        fs::create_directories(folder);
        try {
            if (corecrypt::DecryptFile(path, folder + "/", key, false, false, &written, error)) {
                found.insert(qmtest::ReadFile(written));
            } else if (corecrypt::ExtractArchive(path, {}, folder, key, true, {}, nullptr, error)) {
                for (const auto& x : fs::recursive_directory_iterator(folder))
                    if (x.is_regular_file())
                        found.insert(qmtest::ReadFile(x.path().string()));
            }
        } catch (const std::exception&) {
            // An archive under another key: nothing of the run is in it.
        }
    }
    return found;
}

TEST(TaskRunProperty, NoRunLosesAFileOrHidesOneItLeftUnencrypted) {
    uikit::ScriptedBackend ui;
    ui.setMessageHandler(
        [](const uikit::Message&) { return std::optional<uikit::Answer>(uikit::Answer::No); });
    uikit::ScopedBackend scoped(ui);
    CQMRegistry settings;
    settings.WriteBYTE(encreg::szNoMes, 1);
    const int runs = 40;
    for (int seed = 1; seed <= runs; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const std::string base = qmtest::MakeTempDir("prop");
        const std::string root = base + "/tree";
        const std::string keys = base + "/keys";
        fs::create_directories(keys);
        char text[512] = {};
        const std::string key = keys + "/k.qmk", otherKey = keys + "/other.qmk", badKey = keys + "/bad.qmk";
        ASSERT_TRUE(CreateKeyFile(key.c_str(), text, sizeof text)) << text;
        ASSERT_TRUE(CreateKeyFile(otherKey.c_str(), text, sizeof text)) << text;
        qmtest::WriteFile(badKey, "no key file");
        Generated g(static_cast<unsigned>(seed), root);
        const std::map<std::string, std::string> before = g.Tree();
        fs::create_directories(root + "/dest");
        std::string error;
        if (g.Coin()) {
            // An archive the task's key does not open.
            qmtest::WriteFile(base + "/seed.txt", "seed");
            corecrypt::ArchiveAddOptions options;
            ASSERT_TRUE(corecrypt::AddToArchive(root + "/dest/old.qma", {base + "/seed.txt"}, otherKey, true,
                                                options, error))
                << error;
        }
        settings.WriteBYTE("OutOverwrite", g.Coin() ? 1 : 0);
        settings.WriteBYTE("InOverwrite", static_cast<unsigned char>(g.Pick(4)));

        CTaskManager manager(&CountErrors);
        std::vector<std::unique_ptr<CAction>> owned;
        const int encryptTasks = 1 + g.Pick(3), deleteTasks = g.Pick(3);
        for (int i = 0; i < encryptTasks; ++i) {
            auto task = std::make_unique<CActionEncryptFile>(g.Location());
            task->m_csMask = g.Coin() ? "|*.*|" : "|*.txt|*.pdf|";
            task->m_bSubfolders = g.Coin() ? 1 : 0;
            task->m_bWipe = g.Pick(4) != 0 ? 1 : 0;
            const int keyChoice = g.Pick(6);
            task->m_csKeyFile = keyChoice == 0 ? badKey : key;
            if (g.Coin()) {
                task->m_bArchive = 1;
                const char* archives[] = {"/dest/new.qma", "/dest/old.qma", "/missing/x.qma"};
                task->m_csArchive = root + archives[g.Pick(3)];
            } else {
                const char* dests[] = {"", "/dest", "/missing"};
                const std::string dest = dests[g.Pick(3)];
                task->m_csDestFolder = dest.empty() ? "" : root + dest;
            }
            manager.AddTask(task.get());
            owned.push_back(std::move(task));
        }
        for (int i = 0; i < deleteTasks; ++i) {
            auto task = std::make_unique<CActionDeleteFile>(g.Location());
            task->m_csMask = g.Coin() ? "|*.*|" : "|*.txt|";
            task->m_bSubfolders = g.Coin() ? 1 : 0;
            task->m_nDelType = 1 + g.Pick(3);
            task->m_nWipeRounds = 1;
            manager.AddTask(task.get());
            owned.push_back(std::move(task));
        }
        std::string described;
        for (const auto* list : {&manager.m_lstEncrypt, &manager.m_lstDelete})
            for (CAction* t : *list) {
                auto* f = static_cast<CFileAction*>(t);
                described += "\n" + t->GetActionName() + " " + f->m_csLocation.substr(root.size()) + " " +
                             f->m_csMask + (f->m_bSubfolders ? " +sub" : "");
                if (auto* e = dynamic_cast<CActionEncryptFile*>(t))
                    described +=
                        (e->m_csKeyFile == badKey ? " badkey" : "") +
                        (e->m_bArchive ? " archive " + e->m_csArchive.substr(root.size()) : "") +
                        (e->m_csDestFolder.empty() ? "" : " dest " + e->m_csDestFolder.substr(root.size()));
            }
        SCOPED_TRACE(described);
        // Sometimes the disk fills up part way through the run.
        if (g.Pick(3) == 0)
            platform::AtomicFile::FailAfterBytesForTesting(g.Pick(40000));
        g_errors = 0;
        manager.Execute(1);
        platform::AtomicFile::FailAfterBytesForTesting(-1);

        const std::multiset<std::string> found = Recoverable(root, key);
        auto selects = [](const std::vector<CAction*>& tasks, const std::string& path) {
            for (CAction* t : tasks) {
                auto* task = static_cast<CFileAction*>(t);
                if (auto* del = dynamic_cast<CActionDeleteFile*>(t); del && del->m_nDelType == 0)
                    continue;
                const std::string folder = task->m_csLocation + "/";
                const std::string name = fs::path(path).filename().string();
                const bool below = path.rfind(folder, 0) == 0;
                const bool direct = below && path.find('/', folder.size()) == std::string::npos;
                const bool masked =
                    task->m_csMask == "|*.*|" || name.ends_with(".txt") ||
                    (name.ends_with(".pdf") && task->m_csMask.find("pdf") != std::string::npos);
                if (below && (direct || task->m_bSubfolders) && masked)
                    return true;
            }
            return false;
        };
        bool selectedAndLeft = false;
        for (const auto& [path, content] : before) {
            const bool encrypted = selects(manager.m_lstEncrypt, path);
            // What only a delete task selected may go, as it says.
            if (encrypted || !selects(manager.m_lstDelete, path)) {
                EXPECT_TRUE(found.count(content)) << path << " is lost";
            }
            // Still plain and without an encrypted copy: the run must say something went wrong.
            if (encrypted && qmtest::Exists(path) && found.count(content) == 1)
                selectedAndLeft = true;
        }
        if (selectedAndLeft) {
            EXPECT_GT(g_errors, 0) << "a selected file was left unencrypted without an error";
        }
        if (::testing::Test::HasFailure())
            break;
    }
    settings.WriteBYTE(encreg::szNoMes, 0);
    settings.WriteBYTE("OutOverwrite", 0);
    settings.WriteBYTE("InOverwrite", 3);
}

} // namespace
