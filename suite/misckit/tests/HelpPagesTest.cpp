// The help as it is installed: every topic the programs open has its page, and no page links to
// one that is missing.
#include "misckit/Help.h"

#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const std::string kHelp = QM_SOURCE_DIR "/suite/misckit/help";

class HelpPages : public ::testing::Test {
protected:
    void SetUp() override { misckit::SetHelpFolderForTesting(kHelp); }
    void TearDown() override { misckit::SetHelpFolderForTesting({}); }
};

} // namespace

TEST_F(HelpPages, EveryTopicTheProgramsOpenHasAPage) {
    for (const char* topic :
         {"/qmhelp/kmover.htm", "/qmhelp/kmset.htm", "QMhelp/kmmanexpimpkeys.htm",
          "QMhelp/kmmanrevokekey.htm", "QMhelp/kmmanfindkeyonserv.htm", "/qmhelp/TM/propbasics.htm",
          "/qmhelp/TM/searchcriteria.htm", "/qmhelp/TM/filemask_dlgbox.htm",
          "/QMhelp/Scheduler/TSSCHEDULINGTASKS.HTM", "/qmhelp/prefs.htm", "/qmhelp/encwiz.htm",
          "/qmhelp/quickstart.htm", "/qmhelp/index.htm"})
        EXPECT_FALSE(misckit::FindHelpPage(topic).empty()) << topic;
}

TEST_F(HelpPages, EveryLinkBetweenPagesLeadsToAPageAndEveryPageLinksBackToTheContents) {
    const QRegularExpression link(QStringLiteral("href=\"([^\"#]+)\""));
    int pages = 0;
    QDirIterator it(QString::fromStdString(kHelp), {"*.htm"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString page = it.next();
        ++pages;
        const std::string text = qmtest::ReadFile(page.toStdString());
        EXPECT_NE(text.find("index.htm\">Contents</a>"), std::string::npos) << page.toStdString();
        auto matches = link.globalMatch(QString::fromStdString(text));
        while (matches.hasNext()) {
            const QString target = matches.next().captured(1);
            if (target.contains(':'))
                continue; // a web address
            EXPECT_TRUE(QFileInfo(QFileInfo(page).dir().filePath(target)).isFile())
                << page.toStdString() << " -> " << target.toStdString();
        }
    }
    EXPECT_GE(pages, 16);
}
