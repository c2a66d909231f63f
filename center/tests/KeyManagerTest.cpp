// The key store's scan over real files: linking encrypted files to key files, duplicates, header
// faults, locations, the key folder, stopping, and adding and removing single files.
#include "StoreFixture.h"
#include "center/core/CipherNames.h"
#include "center/core/KeyRecords.h"
#include "corecrypt/QMException.h"

#include <fcntl.h>
#include <unistd.h>

using center::CKeyManager;
using storetest::Header;
using storetest::Id;
using storetest::SetLocations;
using Scan = storetest::Store;

namespace {

const char kAsk[] = "One or more errors happened during searching files.\nDo you want to see these errors?";

} // namespace

TEST(DescribeCipher, NamesValidCodesAndLeavesOutOfRangePartsAlone) {
    std::string a = "old", m = "old";
    center::DescribeCipher(2, a, m);
    EXPECT_EQ(a + "/" + m, "AES/CBC");
    center::DescribeCipher(40, a, m);
    EXPECT_EQ(a + "/" + m, "Twofish/OFB");
    a = m = "";
    center::DescribeCipher(0, a, m);
    EXPECT_EQ(a, "AES");
    EXPECT_EQ(m, "");
    a = m = "";
    center::DescribeCipher(41, a, m);
    EXPECT_EQ(a, "");
    EXPECT_EQ(m, "ECB");
}

TEST_F(Scan, LinksEncryptedFilesToTheirKeyFileAndCountsThem) {
    KeyFile(keys + "alpha.qmk", Id("alpha"), 40);
    KeyFile(keys + "short.qmk", Id("short"), 30);
    qmtest::WriteFile(files + "a.qmp", Header(41, true, 2, Id("alpha")));
    Make(files + "sub");
    qmtest::WriteFile(files + "sub/b.QMA", Header(40, true, 37, Id("alpha")));
    qmtest::WriteFile(files + "pass.qmp", Header(41, false, 5));
    qmtest::WriteFile(files + "lost.qmp", Header(41, true, 9, Id("nokey")));
    qmtest::WriteFile(files + "plain.txt", Header(41, true, 9, Id("alpha")));

    const CKeyManager& s = RunScan();
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_FALSE(s.HasErrors());
    ASSERT_EQ(s.GetKeyFiles().size(), 2u);
    const KMKeyInfo* alpha = s.FindKeyFile(keys + "alpha.qmk");
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->m_nUsed, 2u);
    EXPECT_EQ(alpha->m_nSize64, 16u);
    EXPECT_EQ(alpha->m_nSize128, 8u);
    EXPECT_EQ(static_cast<std::int32_t>(s.FindKeyFile(keys + "short.qmk")->m_nSize128), -2);

    ASSERT_EQ(s.GetEncryptedFiles().size(), 4u);
    const KMFileInfo* a = s.FindEncryptedFile(files + "a.qmp");
    EXPECT_EQ(a->m_csKeyFilePath, keys + "alpha.qmk");
    EXPECT_EQ(a->m_csAlgorithm, "AES");
    EXPECT_EQ(a->m_csMode, "CBC");
    EXPECT_EQ(a->m_nSize, 96u);
    EXPECT_EQ(a->GetName(), "a.qmp");
    const KMFileInfo* b = s.FindEncryptedFile(files + "sub/b.QMA");
    EXPECT_EQ(b->m_csKeyFilePath, keys + "alpha.qmk");
    EXPECT_EQ(b->m_csAlgorithm, "Twofish"); // version 40 offsets
    EXPECT_EQ(b->m_csMode, "ECB");
    // A password-encrypted file has no key ID, is not indexed and counts toward no key file.
    const KMFileInfo* pass = s.FindEncryptedFile(files + "pass.qmp");
    EXPECT_EQ(pass->m_bKeyFile, 0);
    EXPECT_TRUE(pass->m_sKeyId.empty());
    EXPECT_EQ(pass->m_csAlgorithm + pass->m_csMode, "BlowfishECB");
    EXPECT_TRUE(s.FindEncryptedFile(files + "lost.qmp")->m_csKeyFilePath.empty());
    for (const auto& [id, path] : s.GetKeyIdIndex())
        EXPECT_NE(path, files + "pass.qmp");
    EXPECT_EQ(s.GetKeyIdIndex().size(), 5u); // three keyed files and two key files
}

TEST_F(Scan, KeyIdsAreCompared16BytesWholeNeverCutAtZeroNorCaseFolded) {
    const std::string zeroA = std::string("ab\0cdefghijklmno", 16);
    const std::string zeroB = std::string("ab\0XXXXXXXXXXXXX", 16);
    KeyFile(keys + "zero-a.qmk", zeroA);
    KeyFile(keys + "zero-b.qmk", zeroB);
    KeyFile(keys + "lower.qmk", Id("case"));
    KeyFile(keys + "upper.qmk", Id("CASE", 'X'));
    qmtest::WriteFile(files + "za.qmp", Header(41, true, 1, zeroA));
    qmtest::WriteFile(files + "upper.qmp", Header(41, true, 1, Id("CASE", 'X')));

    const CKeyManager& s = RunScan();
    EXPECT_TRUE(s.GetDuplicates().empty());
    EXPECT_TRUE(ui.messages().empty()) << ui.messages()[0].text;
    EXPECT_EQ(s.FindKeyFile(keys + "zero-a.qmk")->m_nUsed, 1u);
    EXPECT_EQ(s.FindKeyFile(keys + "zero-b.qmk")->m_nUsed, 0u);
    EXPECT_EQ(s.FindKeyFile(keys + "zero-a.qmk")->m_sKeyId, zeroA);
    EXPECT_EQ(s.FindEncryptedFile(files + "za.qmp")->m_csKeyFilePath, keys + "zero-a.qmk");
    EXPECT_EQ(s.FindEncryptedFile(files + "upper.qmp")->m_csKeyFilePath, keys + "upper.qmk");
    EXPECT_EQ(s.FindKeyFile(keys + "lower.qmk")->m_nUsed, 0u);
}

TEST_F(Scan, KeyFilesSharingAnIdAreWarnedAboutSortedAndBothCountEveryFile) {
    KeyFile(keys + "b-copy.qmk", Id("same"));
    KeyFile(keys + "A-orig.qmk", Id("same"));
    qmtest::WriteFile(files + "one.qmp", Header(41, true, 2, Id("same")));
    qmtest::WriteFile(files + "two.qmp", Header(41, true, 2, Id("same")));

    const CKeyManager& s = RunScan();
    const std::vector<std::string> expected = {keys + "A-orig.qmk", keys + "b-copy.qmk"};
    EXPECT_EQ(s.GetDuplicates(), expected);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(
        ui.messages()[0].text,
        "The following key files have the same key ID:\r\n" + keys + "A-orig.qmk\r\n" + keys +
            "b-copy.qmk\r\nThis can happen if you accidentally saved several times in different files one "
            "and the same encryption key. It's recommended to replace these keys with newly generated ones "
            "and reencrypt corresponding encrypted files.");
    EXPECT_EQ(ui.messages()[0].caption, "Error");
    EXPECT_EQ(ui.messages()[0].icon, uikit::Icon::Warning);
    EXPECT_EQ(s.FindKeyFile(keys + "A-orig.qmk")->m_nUsed, 2u);
    EXPECT_EQ(s.FindKeyFile(keys + "b-copy.qmk")->m_nUsed, 2u);
    // Both files link to the key file read last, whichever the listing gave last.
    const std::string linked = s.FindEncryptedFile(files + "one.qmp")->m_csKeyFilePath;
    EXPECT_EQ(s.FindEncryptedFile(files + "two.qmp")->m_csKeyFilePath, linked);
    EXPECT_TRUE(linked == expected[0] || linked == expected[1]);
}

TEST_F(Scan, TheWarningListsSixPathsThenMoreFiles) {
    for (int i = 0; i < 7; ++i)
        KeyFile(keys + "k" + std::to_string(i) + ".qmk", Id("seven"));
    for (int i = 0; i < 6; ++i)
        KeyFile(keys + "s" + std::to_string(i) + ".qmk", Id("six"));
    qmtest::WriteFile(files + "x.qmp", Header(41, false, 1));
    const CKeyManager& s = RunScan();
    EXPECT_EQ(s.GetDuplicates().size(), 13u);
    std::vector<std::string> seven, six;
    for (int i = 0; i < 7; ++i)
        seven.push_back(keys + "k" + std::to_string(i) + ".qmk");
    for (int i = 0; i < 6; ++i)
        six.push_back(keys + "s" + std::to_string(i) + ".qmk");
    const std::string tail = "This can happen";
    const std::string withMore = CKeyManager::DuplicatesWarning(seven);
    EXPECT_NE(withMore.find(keys + "k5.qmk\r\nMore files...\r\n" + tail), std::string::npos);
    EXPECT_EQ(withMore.find("k6.qmk"), std::string::npos);
    const std::string exactlySix = CKeyManager::DuplicatesWarning(six);
    EXPECT_NE(exactlySix.find(keys + "s5.qmk\r\n" + tail), std::string::npos);
    EXPECT_EQ(exactlySix.find("More files..."), std::string::npos);
}

TEST_F(Scan, HeaderFaultsBecomeErrorsAndTheScanGoesOn) {
    qmtest::WriteFile(files + "old.qma", Header(17, false, 1)); // read as version 30
    qmtest::WriteFile(files + "cut.qmp", Header(41, true, 2, Id("cut"), 35));
    qmtest::WriteFile(files + "tiny.qmp", std::string(1, '\x29'));
    qmtest::WriteFile(files + "empty.qmp", "");
    qmtest::WriteFile(files + "good.qmp", Header(41, false, 2));
    KeyFile(keys + "stub.qmk", "0123456789", 10);
    ui.queueAnswer(uikit::Answer::No);

    const CKeyManager& s = RunScan();
    EXPECT_TRUE(s.HasErrors());
    std::vector<std::string> errors = s.GetErrors();
    std::sort(errors.begin(), errors.end());
    const std::vector<std::string> expected = {
        "Cannot read key file: " + files + "cut.qmp",
        "Could not read key file: " + keys + "stub.qmk",
        "Error while reading the file " + files + "empty.qmp: " + files +
            "empty.qmp\nThe file ends before its header does.",
        "Error while reading the file " + files + "old.qma: Wrong version of file header.",
        "Error while reading the file " + files + "tiny.qmp: " + files +
            "tiny.qmp\nThe file ends before its header does.",
    };
    EXPECT_EQ(errors, expected);
    EXPECT_EQ(s.GetEncryptedFiles().size(), 1u);
    EXPECT_TRUE(s.GetKeyFiles().empty());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, kAsk);
    EXPECT_EQ(ui.messages()[0].caption, "Quillmark");
    EXPECT_EQ(ui.messages()[0].buttons, uikit::Buttons::YesNo);
    EXPECT_TRUE(ui.lists().empty());
}

TEST_F(Scan, YesShowsTheErrorListAndARefreshWithoutErrorsAsksNothing) {
    SetLocations({files, dir + "/gone"});
    ui.queueAnswer(uikit::Answer::Yes);
    CKeyManager& s = RunScan();
    ASSERT_EQ(ui.lists().size(), 1u);
    EXPECT_EQ(ui.lists()[0].title, "File errors");
    EXPECT_EQ(ui.lists()[0].lines,
              std::vector<std::string>{"Location folder is not found: " + dir + "/gone"});
    EXPECT_TRUE(s.GetErrors().empty()); // handed over and emptied

    SetLocations({files});
    ui.clear();
    s.Clear();
    s.Refresh();
    EXPECT_FALSE(s.HasErrors());
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(Scan, OverlappingLocationsIndexAFileOnceAndCountItOnce) {
    Make(files + "inner");
    qmtest::WriteFile(files + "inner/x.qmp", Header(41, true, 2, Id("k")));
    KeyFile(keys + "k.qmk", Id("k"));
    SetLocations({files, files + "inner", files + "inner/"});
    const CKeyManager& s = RunScan();
    EXPECT_EQ(s.GetEncryptedFiles().size(), 1u);
    EXPECT_EQ(s.FindKeyFile(keys + "k.qmk")->m_nUsed, 1u);
    EXPECT_EQ(s.GetKeyIdIndex().size(), 2u);
}

TEST_F(Scan, LocationsAfterAGapAreNotRead) {
    Make(dir + "/l4");
    qmtest::WriteFile(dir + "/l4/x.qmp", Header(41, false, 2));
    SetLocations({files, files, "", dir + "/l4"});
    center::CKeyManager s(shared);
    s.ReadLocations();
    EXPECT_EQ(s.GetLocations(), (std::vector<std::string>{files, files}));
    s.Clear();
    s.Refresh();
    EXPECT_TRUE(s.GetEncryptedFiles().empty());
}

TEST_F(Scan, PathsDifferingOnlyInCaseAreTwoRecordsInPathOrder) {
    qmtest::WriteFile(files + "b.qmp", Header(41, false, 2));
    qmtest::WriteFile(files + "A.qmp", Header(41, false, 2));
    qmtest::WriteFile(files + "a.qmp", Header(41, false, 2));
    const CKeyManager& s = RunScan();
    std::vector<std::string> order;
    for (const auto& entry : s.GetEncryptedFiles())
        order.push_back(entry.first.substr(files.size()));
    EXPECT_EQ(order, (std::vector<std::string>{"A.qmp", "a.qmp", "b.qmp"}));
}

TEST_F(Scan, LinksToFoldersAreNotFollowedButLinksToFilesCount) {
    Make(files + "deep");
    qmtest::WriteFile(files + "deep/x.qmp", Header(41, false, 2));
    ASSERT_EQ(::symlink(files.c_str(), (files + "deep/loop").c_str()), 0);
    ASSERT_EQ(::symlink((files + "deep/x.qmp").c_str(), (files + "link.qmp").c_str()), 0);
    const CKeyManager& s = RunScan();
    EXPECT_EQ(s.GetEncryptedFiles().size(), 2u);
    EXPECT_TRUE(s.FindEncryptedFile(files + "link.qmp"));
    EXPECT_FALSE(s.HasErrors());
}

namespace {
// Counts the folders reported and clears the continue flag at the given one.
class Stopper : public center::IScanProgressOwner {
public:
    explicit Stopper(std::uint32_t stopAt) : m_stopAt(stopAt) {}
    void OnScanProgress(center::KMProgress& p) override {
        ++calls;
        last = p;
        if (p.nFolders >= m_stopAt)
            p.nContinue = 0;
    }
    int calls = 0;
    center::KMProgress last;

private:
    std::uint32_t m_stopAt;
};
} // namespace

TEST_F(Scan, ProgressCountsFoldersAndAClearedFlagStopsKeepingWhatWasFound) {
    for (int i = 0; i < 5; ++i) {
        Make(files + "d" + std::to_string(i));
        qmtest::WriteFile(files + "d" + std::to_string(i) + "/f.qmp", Header(41, false, 2));
    }
    KeyFile(keys + "k.qmk", Id("k"));
    Stopper all(1000);
    shared.pProgressOwner = &all;
    center::KMProgress progress;
    RunScan(true, &progress);
    EXPECT_EQ(store->GetEncryptedFiles().size(), 5u);
    EXPECT_EQ(progress.nFolders, 7u); // the location, its five folders, the key folder
    EXPECT_EQ(progress.nEncryptedFiles, 5u);
    EXPECT_EQ(progress.nKeyFiles, 1u);
    EXPECT_EQ(progress.nUnused, 0u);
    EXPECT_EQ(all.calls, 9);

    Stopper early(2);
    shared.pProgressOwner = &early;
    center::KMProgress stopped;
    RunScan(true, &stopped);
    EXPECT_EQ(stopped.nContinue, 0);
    EXPECT_EQ(stopped.nFolders, 2u);
    EXPECT_LE(store->GetEncryptedFiles().size(), 1u);
    EXPECT_TRUE(store->GetKeyFiles().empty());
}

namespace {
class Windows : public center::IStoreWindows {
public:
    bool EditLocations() override {
        ++locationCalls;
        if (!locations.empty())
            SetLocations(locations);
        return !locations.empty();
    }
    center::KeyFolderChoice ChooseKeyFolder() override {
        ++folderCalls;
        return {!folder.empty(), folder};
    }
    std::vector<std::string> locations;
    std::string folder;
    int locationCalls = 0;
    int folderCalls = 0;
};
} // namespace

TEST_F(Scan, WithoutLocationsTheLocationsWindowIsShownAndCancelStops) {
    SetLocations({});
    qmtest::WriteFile(files + "x.qmp", Header(41, false, 2));
    const CKeyManager& headless = RunScan();
    EXPECT_TRUE(headless.GetEncryptedFiles().empty());
    EXPECT_TRUE(ui.messages().empty());

    Windows windows;
    windows.locations = {files};
    shared.pWindows = &windows;
    const CKeyManager& s = RunScan();
    EXPECT_EQ(windows.locationCalls, 1);
    EXPECT_EQ(s.GetEncryptedFiles().size(), 1u);
}

TEST_F(Scan, AnEmptyKeyFolderAsksForOneAndStoresTheChoice) {
    storetest::SetKeyFolder("");
    KeyFile(keys + "k.qmk", Id("k"));
    Windows windows;
    shared.pWindows = &windows;
    EXPECT_TRUE(RunScan().GetKeyFiles().empty()); // cancelled
    EXPECT_EQ(windows.folderCalls, 1);

    windows.folder = keys;
    EXPECT_EQ(RunScan().GetKeyFiles().size(), 1u);
    std::string stored;
    CQMRegistry().ReadStringEx(encreg::szKeyFolder, stored);
    EXPECT_EQ(stored, keys);

    // Without windows, Cancel stores the default folder for the next time.
    storetest::SetKeyFolder("");
    shared.pWindows = nullptr;
    RunScan();
    CQMRegistry().ReadStringEx(encreg::szKeyFolder, stored);
    EXPECT_NE(stored, "");
    EXPECT_NE(stored, keys);
}

TEST_F(Scan, AMissingKeyFolderIsReportedAndGivesNoKeyFiles) {
    storetest::SetKeyFolder(dir + "/nokeys/");
    const CKeyManager& s = RunScan();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Folder with encryption keys is not found:\n" + dir + "/nokeys/");
    EXPECT_EQ(ui.messages()[0].caption, "Quillmark");
    EXPECT_EQ(ui.messages()[0].icon, uikit::Icon::Warning);
    EXPECT_TRUE(s.GetKeyFiles().empty());
    EXPECT_FALSE(qmtest::Exists(dir + "/nokeys")); // not made behind the user's back

    ui.clear();
    const CKeyManager& quiet = RunScan(false);
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(quiet.GetErrors(),
              std::vector<std::string>{"Folder with encryption keys is not found:\n" + dir + "/nokeys/"});
}

TEST_F(Scan, AddedAndRemovedFilesKeepCountsAndIndexRight) {
    KeyFile(keys + "k.qmk", Id("k"));
    qmtest::WriteFile(files + "a.qmp", Header(41, true, 2, Id("k")));
    qmtest::WriteFile(files + "A.qmp", Header(41, true, 2, Id("k")));
    CKeyManager& s = RunScan();
    EXPECT_EQ(s.FindKeyFile(keys + "k.qmk")->m_nUsed, 2u);

    const auto next = s.RemoveEncryptedFile(files + "A.qmp");
    ASSERT_NE(next, s.GetEncryptedFiles().end());
    EXPECT_EQ(next->first, files + "a.qmp");
    EXPECT_EQ(s.FindKeyFile(keys + "k.qmk")->m_nUsed, 1u);
    EXPECT_EQ(s.GetKeyIdIndex().count(Id("k")), 2u); // a.qmp and the key file
    EXPECT_TRUE(s.FindEncryptedFile(files + "a.qmp"));
    EXPECT_EQ(s.RemoveEncryptedFile(files + "nothing.qmp"), s.GetEncryptedFiles().end());

    // An added file is indexed; it is linked by the next key scan only.
    qmtest::WriteFile(files + "new.qmp", Header(41, true, 2, Id("k")));
    EXPECT_EQ(s.AddEncryptedFile(files + "new.qmp"), 1);
    EXPECT_TRUE(s.FindEncryptedFile(files + "new.qmp")->m_csKeyFilePath.empty());
    EXPECT_EQ(s.GetKeyIdIndex().count(Id("k")), 3u);
    EXPECT_EQ(s.AddEncryptedFile(files + "missing.qmp"), 0);

    qmtest::WriteFile(files + "bad.qmp", Header(12, false, 2));
    try {
        s.AddEncryptedFile(files + "bad.qmp");
        ADD_FAILURE() << "no exception";
    } catch (const CQMException& e) {
        EXPECT_EQ(e.GetCode(), 53);
    }
    qmtest::WriteFile(files + "cut.qmp", Header(41, true, 2, Id("k"), 30));
    EXPECT_EQ(s.AddEncryptedFile(files + "cut.qmp"), 1);
    EXPECT_EQ(s.GetErrors().back(), "Cannot read key file: " + files + "cut.qmp");
    EXPECT_FALSE(s.FindEncryptedFile(files + "cut.qmp"));
}

TEST_F(Scan, HeaderBytesAreReadAtTheirVersionsOffsets) {
    qmtest::WriteFile(files + "v41.qmp", Header(41, true, 7, Id("k")));
    qmtest::WriteFile(files + "v40.qmp", Header(40, true, 7, Id("k")));
    EXPECT_EQ(CKeyManager::ReadAlgMode(files + "v41.qmp"), 7);
    EXPECT_EQ(CKeyManager::ReadFlags(files + "v40.qmp"), 1);
    try {
        CKeyManager::ReadFlags(files + "none.qmp");
        ADD_FAILURE() << "no exception";
    } catch (const CQMException& e) {
        EXPECT_EQ(e.GetCode(), 3);
        EXPECT_EQ(e.GetText(), files + "none.qmp");
    }
    try {
        CKeyManager::ReadVerH(-1);
        ADD_FAILURE() << "no exception";
    } catch (const CQMException& e) {
        EXPECT_EQ(e.GetCode(), 0);
        EXPECT_EQ(e.GetText(), "CKeyManager::ReadVerH: invalid file handle.");
    }
    // The version is read without moving the file position; 20 and below read as 30.
    qmtest::WriteFile(files + "v20.qmp", Header(20, false, 1));
    const int fd = ::open((files + "v20.qmp").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ::lseek(fd, 5, SEEK_SET);
    EXPECT_EQ(CKeyManager::ReadVerH(fd), 30);
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 5);
    ::close(fd);
}
