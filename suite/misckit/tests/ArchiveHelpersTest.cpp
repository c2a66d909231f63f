// PrepareArchiveUpdate and the pre-extraction check against real archives and folders.
#include "misckit/ArchiveHelpers.h"
#include "TestSupport.h"
#include "corecrypt/Archive.h"
#include "corecrypt/Primitives.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qmtest::WriteFile;

class ArchiveHelpers : public ::testing::Test {
protected:
    void SetUp() override {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        m_dir = qmtest::MakeTempDir("helpers");
        ::mkdir((m_dir + "/docs").c_str(), 0755);
        ::mkdir((m_dir + "/docs/sub").c_str(), 0755);
        WriteFile(m_dir + "/docs/a", "a");
        WriteFile(m_dir + "/docs/sub/b", "b");
        WriteFile(m_dir + "/c", "c");
        m_archive = m_dir + "/x.qma";
    }
    void TearDown() override { corecrypt::SetKdfCostForTesting(std::nullopt); }
    void SetTime(const std::string& path, long seconds) {
        const timespec t[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
    }
    std::string m_dir, m_archive;
};

TEST_F(ArchiveHelpers, UpdateListsNewAndNewerFilesUnderTheirEntryNames) {
    std::vector<std::string> paths = {m_dir + "/docs", m_dir + "/c"};
    ASSERT_EQ(misckit::PrepareArchiveUpdate(m_archive, paths, "pw", 0), 1);
    EXPECT_EQ(paths.size(), 2u) << "a missing archive leaves the list alone";

    SetTime(m_dir + "/docs/a", 1000);
    SetTime(m_dir + "/docs/sub/b", 1000);
    std::string error;
    ASSERT_TRUE(corecrypt::AddToArchive(m_archive, paths, "pw", false, {}, error)) << error;
    ASSERT_EQ(misckit::PrepareArchiveUpdate(m_archive, paths, "pw", 0), 1);
    EXPECT_TRUE(paths.empty()) << "nothing changed";

    paths = {m_dir + "/docs", m_dir + "/c"};
    SetTime(m_dir + "/docs/sub/b", 2000);
    WriteFile(m_dir + "/docs/new", "n");
    ASSERT_EQ(misckit::PrepareArchiveUpdate(m_archive, paths, "pw", 0), 1);
    EXPECT_EQ(paths, (std::vector<std::string>{m_dir + "/./docs/new", m_dir + "/./docs/sub/b"}));

    // The list, handed to the writer, puts the files back under their entries.
    corecrypt::ArchiveAddOptions options;
    options.overwrite = corecrypt::kReplaceEntry;
    ASSERT_TRUE(corecrypt::AddToArchive(m_archive, paths, "pw", false, options, error)) << error;
    std::vector<corecrypt::ArchiveEntry> entries;
    ASSERT_TRUE(corecrypt::ListArchive(m_archive, "pw", false, entries, error)) << error;
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.path);
    EXPECT_EQ(names, (std::vector<std::string>{"docs/a", "c", "docs/new", "docs/sub/b"}));

    paths = {m_dir + "/c"};
    EXPECT_EQ(misckit::PrepareArchiveUpdate(m_archive, paths, "wrong", 0, &error), 0);
    EXPECT_NE(error.find("Wrong password"), std::string::npos) << error;
}

TEST_F(ArchiveHelpers, ExtractionCheckRefusesEscapesAndAsksAboutExistingFiles) {
    const std::string out = qmtest::MakeTempDir("out");
    WriteFile(out + "/exists", "mine");
    WriteFile(out + "/also", "mine");
    ASSERT_EQ(::symlink(m_dir.c_str(), (out + "/link").c_str()), 0);
    ::mkdir((out + "/folder").c_str(), 0755);
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scope(ui);
    ui.queueAnswer(uikit::Answer::Yes);
    ui.queueAnswer(uikit::Answer::No);
    std::vector<std::string> entries = {"../up", "/abs", "link/x", "folder", "new/file", "exists", "also"};
    std::vector<std::string> refused;
    EXPECT_EQ(misckit::CheckExtraction(out, entries, false, &refused), misckit::kExtractReplacing);
    EXPECT_EQ(entries, (std::vector<std::string>{"new/file", "exists"}));
    EXPECT_EQ(refused.size(), 4u);
    EXPECT_EQ(ui.messages().size(), 2u);

    entries = {"exists", "new"};
    EXPECT_EQ(misckit::CheckExtraction(out, entries, true), misckit::kExtractReplacing);
    EXPECT_EQ(entries.size(), 2u);
    entries = {"new"};
    EXPECT_EQ(misckit::CheckExtraction(out, entries, false), misckit::kExtract);
    ui.queueAnswer(uikit::Answer::Cancel);
    entries = {"new", "exists"};
    EXPECT_EQ(misckit::CheckExtraction(out, entries, false), misckit::kExtractNothing);
}

} // namespace
