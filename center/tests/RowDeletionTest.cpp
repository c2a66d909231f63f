// Deleting rows of the key store: key files and encrypted files go to the Trash after the exact
// questions, records and the key-ID index follow; key pairs; the description pane's files of a
// key file; and a ".qmp" that became an archive taking its ".qma" name with its record.
#include "center/core/RowDeletion.h"
#include "StoreFixture.h"
#include "center/core/ArchiveGrowth.h"
#include "center/core/KeyRecords.h"
#include "center/core/ListRows.h"
#include "platform/XdgPaths.h"

#include <cstdlib>
#include <sys/stat.h>

using storetest::Header;
using storetest::Id;
using Deletion = storetest::Store;
using storetest::Rings;

namespace {

using Shown = std::vector<std::string>;

// "caption|text|icon" of every message shown, and forgets them.
Shown TakeShown(uikit::ScriptedBackend& ui) {
    Shown shown;
    for (const auto& m : ui.messages())
        shown.push_back(m.caption + "|" + m.text + "|" + std::to_string(static_cast<int>(m.icon)));
    ui.clear();
    return shown;
}

std::string Line(const std::string& caption, const std::string& text, uikit::Icon icon) {
    return caption + "|" + text + "|" + std::to_string(static_cast<int>(icon));
}

std::string Trashed(const std::string& name) {
    return platform::DataHome() + "/Trash/files/" + name;
}

const char kKeyQuestion[] = "Are you sure you want to delete key file?";
const char kKeyWarning[] = "You will not be able to decrypt information\nencrypted with this encryption key.";
const char kFileQuestion[] = "Are you sure you want to delete file?";

// Makes a file undeletable, even for root, while it lives; skips the test where that cannot be.
class Immutable {
public:
    explicit Immutable(std::string path) : m_path(std::move(path)) {
        m_on = std::system(("chattr +i '" + m_path + "' 2>/dev/null").c_str()) == 0;
    }
    ~Immutable() {
        if (m_on) {
            EXPECT_EQ(std::system(("chattr -i '" + m_path + "'").c_str()), 0);
        }
    }
    bool on() const { return m_on; }

private:
    std::string m_path;
    bool m_on = false;
};

} // namespace

TEST_F(Deletion, AKeyFileIsAskedTwiceThenTrashedAndLeavesTheIndex) {
    KeyFile(keys + "alpha.qmk", Id("alpha"));
    qmtest::WriteFile(files + "a.qmp", Header(41, true, 2, Id("alpha")));
    ASSERT_EQ(::chmod((keys + "alpha.qmk").c_str(), 0400), 0);
    center::CKeyManager& s = RunScan();
    const std::string key = keys + "alpha.qmk";

    ui.queueAnswer(uikit::Answer::No);
    EXPECT_FALSE(center::DeleteKeyFileRow(s, key));
    EXPECT_EQ(TakeShown(ui), Shown({Line("Quillmark", kKeyQuestion, uikit::Icon::Information)}));
    ui.queueAnswer(uikit::Answer::Yes);
    ui.queueAnswer(uikit::Answer::Cancel);
    EXPECT_FALSE(center::DeleteKeyFileRow(s, key));
    EXPECT_EQ(TakeShown(ui), Shown({Line("Quillmark", kKeyQuestion, uikit::Icon::Information),
                                    Line("WARNING", kKeyWarning, uikit::Icon::Warning)}));
    EXPECT_TRUE(qmtest::Exists(key));
    EXPECT_TRUE(s.FindKeyFile(key));

    ui.queueAnswer(uikit::Answer::Yes);
    ui.queueAnswer(uikit::Answer::OK);
    EXPECT_TRUE(center::DeleteKeyFileRow(s, key));
    EXPECT_EQ(TakeShown(ui).size(), 2u);
    // The only way back to its files sits in the Trash, writable again.
    EXPECT_FALSE(qmtest::Exists(key));
    EXPECT_EQ(qmtest::ReadFile(Trashed("alpha.qmk")).substr(0, 16), Id("alpha"));
    struct stat st {};
    ASSERT_EQ(::stat(Trashed("alpha.qmk").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    EXPECT_FALSE(s.FindKeyFile(key));
    EXPECT_TRUE(s.GetKeyFiles().empty());
    // Only the encrypted file stays in the index, still showing its key file until a new scan.
    ASSERT_EQ(s.GetKeyIdIndex().size(), 1u);
    EXPECT_EQ(s.GetKeyIdIndex().begin()->second, files + "a.qmp");
    EXPECT_EQ(s.FindEncryptedFile(files + "a.qmp")->m_csKeyFilePath, key);
}

TEST_F(Deletion, AFileThatWentSinceTheScanIsReportedAndNothingIsAsked) {
    KeyFile(keys + "gone.qmk", Id("gone"));
    qmtest::WriteFile(files + "gone.qma", Header(41, false, 2));
    center::CKeyManager& s = RunScan();
    std::remove((keys + "gone.qmk").c_str());
    std::remove((files + "gone.qma").c_str());
    EXPECT_FALSE(center::DeleteKeyFileRow(s, keys + "gone.qmk"));
    EXPECT_FALSE(center::DeleteEncryptedFileRow(s, files + "gone.qma"));
    EXPECT_EQ(TakeShown(ui),
              Shown({Line("Quillmark", "File does not exists:\n" + keys + "gone.qmk", uikit::Icon::Error),
                     Line("Quillmark", "File does not exists:\n" + files + "gone.qma", uikit::Icon::Error)}));
    EXPECT_TRUE(s.FindKeyFile(keys + "gone.qmk"));
    EXPECT_TRUE(s.FindEncryptedFile(files + "gone.qma"));
}

TEST_F(Deletion, AnEncryptedFileIsTrashedAndItsKeyFileCountsOneLess) {
    KeyFile(keys + "alpha.qmk", Id("alpha"));
    qmtest::WriteFile(files + "a.qmp", Header(41, true, 2, Id("alpha")));
    qmtest::WriteFile(files + "b.qma", Header(41, true, 2, Id("alpha")));
    center::CKeyManager& s = RunScan();
    ASSERT_EQ(s.FindKeyFile(keys + "alpha.qmk")->m_nUsed, 2u);

    ui.queueAnswer(uikit::Answer::No);
    EXPECT_FALSE(center::DeleteEncryptedFileRow(s, files + "a.qmp"));
    ui.queueAnswer(uikit::Answer::Yes);
    EXPECT_TRUE(center::DeleteEncryptedFileRow(s, files + "a.qmp"));
    EXPECT_EQ(TakeShown(ui), Shown(2, Line("Quillmark", kFileQuestion, uikit::Icon::Information)));
    EXPECT_FALSE(qmtest::Exists(files + "a.qmp"));
    EXPECT_TRUE(qmtest::Exists(Trashed("a.qmp")));
    EXPECT_FALSE(s.FindEncryptedFile(files + "a.qmp"));
    EXPECT_EQ(s.FindKeyFile(keys + "alpha.qmk")->m_nUsed, 1u);
    EXPECT_EQ(s.GetKeyIdIndex().count(Id("alpha")), 2u); // b.qma and the key file
}

TEST_F(Deletion, WithoutATrashTheFileIsDeletedAtOnce) {
    qmtest::WriteFile(files + "a.qmp", Header(41, false, 2));
    center::CKeyManager& s = RunScan();
    // A data folder below a plain file can never be made, so there is no Trash to use.
    qmtest::WriteFile(dir + "/blocker", "");
    const std::string data = platform::DataHome();
    ::setenv("XDG_DATA_HOME", (dir + "/blocker/share").c_str(), 1);
    ui.queueAnswer(uikit::Answer::Yes);
    const bool deleted = center::DeleteEncryptedFileRow(s, files + "a.qmp");
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(qmtest::Exists(files + "a.qmp"));
    EXPECT_FALSE(s.FindEncryptedFile(files + "a.qmp"));
    EXPECT_EQ(TakeShown(ui).size(), 1u); // the question only
}

TEST_F(Deletion, AFileThatCannotBeDeletedIsReportedAndKept) {
    qmtest::WriteFile(files + "stuck.qmp", Header(41, false, 2));
    center::CKeyManager& s = RunScan();
    const Immutable stuck(files + "stuck.qmp");
    if (!stuck.on())
        GTEST_SKIP() << "the file system cannot make a file immutable";
    ui.queueAnswer(uikit::Answer::Yes);
    EXPECT_FALSE(center::DeleteEncryptedFileRow(s, files + "stuck.qmp"));
    EXPECT_EQ(TakeShown(ui), Shown({Line("Quillmark", kFileQuestion, uikit::Icon::Information),
                                    Line("Error", "Cannot delete file.", uikit::Icon::Error)}));
    EXPECT_TRUE(qmtest::Exists(files + "stuck.qmp"));
    EXPECT_TRUE(s.FindEncryptedFile(files + "stuck.qmp"));
}

TEST_F(Deletion, TheDescribedFilesOfAKeyFileGoAfterOneQuestion) {
    KeyFile(keys + "alpha.qmk", Id("alpha"));
    qmtest::WriteFile(files + "a.qmp", Header(41, true, 2, Id("alpha")));
    qmtest::WriteFile(files + "b.qma", Header(41, true, 2, Id("alpha")));
    center::CKeyManager& s = RunScan();
    std::remove((files + "b.qma").c_str());

    EXPECT_EQ(center::DeleteDescribedFiles(s, {}), 0);
    ui.queueAnswer(uikit::Answer::No);
    EXPECT_EQ(center::DeleteDescribedFiles(s, {files + "a.qmp", files + "b.qma"}), 0);
    ui.queueAnswer(uikit::Answer::Yes);
    EXPECT_EQ(center::DeleteDescribedFiles(s, {files + "a.qmp", files + "b.qma"}), 1);
    EXPECT_EQ(TakeShown(ui),
              Shown({Line("Quillmark", "Are you sure you want to delete 2 file(s)?", uikit::Icon::Question),
                     Line("Quillmark", "Are you sure you want to delete 2 file(s)?", uikit::Icon::Question),
                     Line("Quillmark", "File does not exists:\n" + files + "b.qma", uikit::Icon::Error)}));
    EXPECT_TRUE(qmtest::Exists(Trashed("a.qmp")));
    EXPECT_FALSE(s.FindEncryptedFile(files + "a.qmp"));
    EXPECT_TRUE(s.FindEncryptedFile(files + "b.qma"));
    EXPECT_EQ(s.FindKeyFile(keys + "alpha.qmk")->m_nUsed, 1u);
}

TEST_F(Rings, AKeyPairIsDeletedFromBothRingsAndTheRingsAreReadAgain) {
    const std::string own = AddPair("own");
    AddPublic("other");
    center::CKeyManager s(shared);
    ASSERT_TRUE(s.ReloadKeys());
    const std::uint32_t position = s.FindPrivKey(Bytes(own))->m_nRingPos;
    // Another kind deletes nothing and asks nothing.
    EXPECT_FALSE(center::DeleteKeyRow(s, shared, 3, position));
    ui.queueAnswer(uikit::Answer::No);
    EXPECT_FALSE(center::DeleteKeyRow(s, shared, 2, position));
    ui.queueAnswer(uikit::Answer::Yes);
    EXPECT_TRUE(center::DeleteKeyRow(s, shared, 2, position));
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(
        ui.messages()[1].text,
        "This public key is your own and has a private key associated with it. If you delete this key pair "
        "you will not be able to decrypt data encrypted with it.\nClick \"Yes\" to proceed or \"No\" to "
        "cancel.");
    EXPECT_TRUE(s.GetPrivKeys().empty());
    ASSERT_EQ(s.GetPubKeys().size(), 1u);
    EXPECT_EQ(s.GetPubKeys().begin()->second->GetEmail(), std::string("other@example.org"));
    center::CKeyManager fresh(shared);
    ASSERT_TRUE(fresh.ReloadKeys());
    EXPECT_FALSE(fresh.FindPubKey(Bytes(own)));
}

TEST_F(Deletion, AKeyFileDescriptionListsTheEncryptedFilesThatNeedIt) {
    KeyFile(keys + "alpha.qmk", Id("alpha"));
    KeyFile(keys + "copy.qmk", Id("alpha"));
    KeyFile(keys + "beta.qmk", Id("beta"));
    qmtest::WriteFile(files + "big.qmp", Header(41, true, 2, Id("alpha")) + std::string(2000, 'x'));
    qmtest::WriteFile(files + "Small.qma", Header(40, true, 37, Id("alpha")));
    qmtest::WriteFile(files + "pass.qmp", Header(41, false, 2));
    qmtest::WriteFile(files + "other.qmp", Header(41, true, 2, Id("beta")));
    ui.queueAnswer(uikit::Answer::OK); // the warning about the two key files of one ID
    center::CKeyManager& s = RunScan();

    center::CKeyFileUserRows rows(s, keys + "alpha.qmk");
    rows.Fill();
    ASSERT_EQ(rows.RowCount(), 2);
    std::vector<std::string> titles;
    for (int c = 0; c < rows.ColumnCount(); ++c)
        titles.push_back(rows.ColumnTitle(c));
    EXPECT_EQ(titles, std::vector<std::string>({"Name", "Size", "Type", "Algorithm", "Mode", "Path"}));
    rows.Sort(0, true);
    EXPECT_EQ(rows.CellText(0, 0), "big.qmp");
    EXPECT_EQ(rows.CellText(0, 1), "2.05 KB");
    EXPECT_EQ(rows.CellText(0, 2), "Key");
    EXPECT_EQ(rows.CellText(0, 3) + "/" + rows.CellText(0, 4), "AES/CBC");
    EXPECT_EQ(rows.CellText(0, 5), files);
    EXPECT_EQ(rows.CellText(1, 0), "Small.qma");
    EXPECT_EQ(rows.Icon(1).csFilePath, files + "Small.qma");
    rows.Sort(1, true);
    EXPECT_EQ(rows.CellText(0, 0), "Small.qma");
    rows.Sort(1, false);
    EXPECT_EQ(rows.CellText(0, 0), "big.qmp");

    // A key file no longer listed describes nothing.
    s.RemoveKeyFile(keys + "beta.qmk");
    center::CKeyFileUserRows gone(s, keys + "beta.qmk");
    gone.Fill();
    EXPECT_EQ(gone.RowCount(), 0);
}

TEST_F(Deletion, AGrownSingleFileBecomesAnArchiveWithItsRecord) {
    KeyFile(keys + "alpha.qmk", Id("alpha"));
    qmtest::WriteFile(files + "a.qmp", Header(41, true, 2, Id("alpha")));
    center::CKeyManager& s = RunScan();
    qmtest::WriteFile(files + "a.qmp", Header(41, true, 2, Id("alpha")) + std::string(500, 'e'));

    EXPECT_EQ(center::SettleGrownArchive(s, files + "a.qmp"), files + "a.qma");
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_FALSE(qmtest::Exists(files + "a.qmp"));
    EXPECT_TRUE(qmtest::Exists(files + "a.qma"));
    EXPECT_FALSE(s.FindEncryptedFile(files + "a.qmp"));
    const KMFileInfo* moved = s.FindEncryptedFile(files + "a.qma");
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->GetName(), "a.qma");
    EXPECT_EQ(moved->m_nSize, 596u);
    EXPECT_EQ(moved->m_sKeyId, Id("alpha"));
    EXPECT_EQ(moved->m_csKeyFilePath, keys + "alpha.qmk");
    EXPECT_EQ(moved->m_csAlgorithm, "AES");
    // Still one file that needs the key file, indexed under its new name.
    EXPECT_EQ(s.FindKeyFile(keys + "alpha.qmk")->m_nUsed, 1u);
    std::vector<std::string> indexed;
    for (auto [it, end] = s.GetKeyIdIndex().equal_range(Id("alpha")); it != end; ++it)
        indexed.push_back(it->second);
    std::sort(indexed.begin(), indexed.end());
    EXPECT_EQ(indexed, std::vector<std::string>({files + "a.qma", keys + "alpha.qmk"}));

    // An archive keeps its name and only gets its new size.
    qmtest::WriteFile(files + "a.qma", std::string(700, 'e'));
    EXPECT_EQ(center::SettleGrownArchive(s, files + "a.qma"), files + "a.qma");
    EXPECT_EQ(s.FindEncryptedFile(files + "a.qma")->m_nSize, 700u);
}

TEST_F(Deletion, AGrownFileNeverReplacesAnArchiveOfItsNewName) {
    qmtest::WriteFile(files + "b.qmp", Header(41, false, 2));
    const std::string other = Header(41, false, 2) + "an archive of its own";
    qmtest::WriteFile(files + "b.qma", other);
    center::CKeyManager& s = RunScan();
    EXPECT_EQ(center::SettleGrownArchive(s, files + "b.qmp"), files + "b.qmp");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Error");
    EXPECT_EQ(ui.messages()[0].text.rfind("Cannot rename " + files + "b.qmp to " + files + "b.qma: ", 0), 0u)
        << ui.messages()[0].text;
    EXPECT_EQ(qmtest::ReadFile(files + "b.qma"), other);
    EXPECT_TRUE(s.FindEncryptedFile(files + "b.qmp"));

    // A file that went away has no size to read.
    ui.clear();
    std::remove((files + "b.qma").c_str());
    std::remove((files + "b.qmp").c_str());
    center::SettleGrownArchive(s, files + "b.qma");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Cannot get new file size.");
    EXPECT_EQ(ui.messages()[0].icon, uikit::Icon::Error);
}
