// The suite as a user's machine gets it: installed into a temporary DESTDIR and run from there,
// its desktop entry, metainfo and file types validated by the desktop's own tools, and its man
// pages checked against what each program's --help offers.
#include "TestSupport.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using qmtest::Exists;
using qmtest::MakeTempDir;
using qmtest::ProcessResult;
using qmtest::ReadFile;
using qmtest::RunProgram;
using qmtest::WriteFile;

namespace {

const std::string kAppId = "org.quillmark.Quillmark";
const std::string kPackaging = std::string(QM_SOURCE_DIR) + "/packaging";

std::vector<std::string> InstalledPrograms() {
    std::vector<std::string> programs = {"qmcenter", "qmtask", "qmkey", "qmsfx", "keeper"};
    if (Exists(qmtest::ProgramPath("keyserv")))
        programs.push_back("keyserv");
    return programs;
}

std::string Describe(const ProcessResult& r) {
    return "exit " + std::to_string(r.exitCode) + "\nstdout: " + r.out + "\nstderr: " + r.err;
}

// One installation per test process: `cmake --install` of the build tree into a fresh DESTDIR.
const std::string& InstalledRoot() {
    static const std::string root = [] {
        const std::string destdir = MakeTempDir("destdir");
        const ProcessResult r =
            RunProgram(QM_CMAKE_COMMAND, {"--install", QM_BUILD_DIR}, {}, {"DESTDIR=" + destdir}, 240000);
        EXPECT_EQ(r.exitCode, 0) << Describe(r);
        return destdir + QM_INSTALL_PREFIX;
    }();
    return root;
}

std::string Installed(const std::string& relative) {
    return InstalledRoot() + "/" + relative;
}

std::string InstalledProgram(const std::string& name) {
    return Installed(std::string(QM_INSTALL_BINDIR) + "/" + name);
}

std::string DynamicSection(const std::string& file) {
    const ProcessResult r = RunProgram("readelf", {"-d", file});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    return r.out;
}

// The options a help text offers: every "-x" or "--word" that stands on its own.
std::set<std::string> OptionsIn(const std::string& help) {
    static const std::regex option(R"((^|[\s\[|(,])(--?[A-Za-z][A-Za-z0-9-]*))");
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it)
        found.insert((*it)[2].str());
    return found;
}

// The verbs a help text lists, one per line after two spaces: "  show FILE ..." or "  qmkey list ...".
std::set<std::string> VerbsIn(const std::string& program, const std::string& help) {
    static const std::regex line(R"(^  (?:(\S+) )?([a-z]+)\b)");
    std::set<std::string> verbs;
    std::istringstream in(help);
    for (std::string text; std::getline(in, text);) {
        std::smatch m;
        if (!std::regex_search(text, m, line))
            continue;
        if (m[1].matched && m[1].str() != program) // "  show FILE": the first word is the verb
            verbs.insert(m[1].str());
        else
            verbs.insert(m[2].str());
    }
    return verbs;
}

bool MentionsOption(const std::string& page, const std::string& option) {
    const std::regex word("(^|[^A-Za-z0-9-])" + option + "([^A-Za-z0-9-]|$)");
    return std::regex_search(page, word);
}

} // namespace

TEST(InstalledTree, ProgramsLibrariesAndDataLandWhereTheSuiteLooksForThem) {
    for (const std::string& program : InstalledPrograms())
        EXPECT_TRUE(Exists(InstalledProgram(program))) << program;
    const std::string libs = std::string(QM_INSTALL_PRIVATE_LIBDIR) + "/";
    for (const char* lib :
         {"libqmplatform.so", "libcorecrypt.so", "libqmcenter_gui.so", "libqmextractor_gui.so"})
        EXPECT_TRUE(Exists(Installed(libs + lib))) << lib;
    EXPECT_TRUE(Exists(Installed(std::string(QM_INSTALL_PRIVATE_PROGRAMDIR) + "/extractor")));
    EXPECT_FALSE(Exists(InstalledProgram("extractor"))) << "the stub is no command of its own";
    const std::string data = std::string(QM_INSTALL_DATADIR) + "/";
    for (const std::string& file :
         {data + "quillmark/help/index.htm", data + "applications/" + kAppId + ".desktop",
          data + "metainfo/" + kAppId + ".metainfo.xml", data + "mime/packages/" + kAppId + ".xml",
          data + "kio/servicemenus/" + kAppId + ".encrypt.desktop",
          data + "icons/hicolor/scalable/apps/" + kAppId + ".svg", data + "doc/quillmark/copyright"})
        EXPECT_TRUE(Exists(Installed(file))) << file;
    if (Exists(std::string(QM_BUILD_DIR) + "/share/icons")) {
        for (const char* size : {"16x16", "48x48", "256x256"})
            EXPECT_TRUE(Exists(Installed(data + "icons/hicolor/" + size + "/apps/" + kAppId + ".png")))
                << size;
    }
    if (Exists(std::string(QM_BUILD_DIR) + "/share/man")) {
        for (const std::string& program : InstalledPrograms())
            EXPECT_TRUE(Exists(Installed(std::string(QM_INSTALL_MANDIR) + "/man1/" + program + ".1.gz")))
                << program;
    }
    // Nothing of the tests or benchmarks is installed.
    for (const auto& entry : fs::recursive_directory_iterator(InstalledRoot())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find("test"), std::string::npos) << entry.path();
        EXPECT_EQ(name.find("bench"), std::string::npos) << entry.path();
    }
}

TEST(InstalledTree, ProgramsFindTheirLibrariesThroughTheirOwnRunpathOnly) {
    const std::string toLibs =
        fs::path(QM_INSTALL_PRIVATE_LIBDIR).lexically_relative(QM_INSTALL_BINDIR).string();
    for (const std::string& program : InstalledPrograms()) {
        const std::string dynamic = DynamicSection(InstalledProgram(program));
        if (dynamic.find("NEEDED") != std::string::npos && dynamic.find("libqm") != std::string::npos) {
            EXPECT_NE(dynamic.find("RUNPATH"), std::string::npos) << program;
        }
        EXPECT_EQ(dynamic.find(QM_BUILD_DIR), std::string::npos) << program << " points into the build tree";
        if (dynamic.find("RUNPATH") != std::string::npos) {
            EXPECT_NE(dynamic.find("[$ORIGIN/" + toLibs + "]"), std::string::npos) << program << "\n"
                                                                                   << dynamic;
        }
    }
    const std::string gui =
        DynamicSection(Installed(std::string(QM_INSTALL_PRIVATE_LIBDIR) + "/libqmcenter_gui.so"));
    EXPECT_NE(gui.find("[$ORIGIN]"), std::string::npos) << gui;
    // Run from the installed tree, with the build tree out of reach, every program answers.
    for (const std::string& program : InstalledPrograms()) {
        const ProcessResult r =
            RunProgram(InstalledProgram(program), {"--version"}, {}, {"LD_LIBRARY_PATH="});
        EXPECT_EQ(r.exitCode, 0) << program << ": " << Describe(r);
        EXPECT_NE(r.out.find("Quillmark"), std::string::npos) << program;
    }
}

TEST(InstalledTree, EncryptDecryptAndTheSelfExtractorRunFromTheInstalledPrograms) {
    const std::string work = MakeTempDir("work");
    WriteFile(work + "/pw", "correct horse\n");
    const std::string plain = qmtest::PseudoRandomBytes(300000, 7);
    WriteFile(work + "/report.bin", plain);
    ProcessResult r = RunProgram(InstalledProgram("qmcenter"),
                                 {"encrypt", "--password-file", work + "/pw", work + "/report.bin"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    ASSERT_TRUE(Exists(work + "/report.bin.qmp"));
    fs::create_directory(work + "/out");
    r = RunProgram(InstalledProgram("qmcenter"), {"decrypt", "--password-file", work + "/pw", "--output",
                                                  work + "/out", work + "/report.bin.qmp"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(ReadFile(work + "/out/report.bin"), plain);

    // qmsfx puts the installed stub in front; the self-extracting file then runs on its own.
    r = RunProgram(InstalledProgram("qmsfx"),
                   {"--password-file", work + "/pw", "-o", work + "/report.run", work + "/report.bin"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::string stub = ReadFile(Installed(std::string(QM_INSTALL_PRIVATE_PROGRAMDIR) + "/extractor"));
    const std::string sfx = ReadFile(work + "/report.run");
    ASSERT_GT(sfx.size(), stub.size());
    EXPECT_EQ(sfx.compare(0, stub.size(), stub), 0) << "the installed stub leads the file";
    ::chmod((work + "/report.run").c_str(), 0700);
    fs::create_directory(work + "/unpacked");
    r = RunProgram(work + "/report.run", {}, "correct horse\n" + work + "/unpacked\n",
                   {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(ReadFile(work + "/unpacked/report.bin"), plain);
}

TEST(InstalledTree, SchedulerStartsTheInstalledKeeper) {
    const std::string keeper = fs::canonical(InstalledProgram("keeper")).string();
    ProcessResult r = RunProgram(InstalledProgram("qmtask"), {"schedule", "start"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    // The keeper that runs is the installed one, found beside the installed qmtask.
    int pid = -1;
    for (int attempt = 0; attempt < 2000 && pid < 0; ++attempt) {
        for (const auto& entry : fs::directory_iterator("/proc")) {
            std::error_code ec;
            if (fs::read_symlink(entry.path() / "exe", ec).string() == keeper)
                pid = std::atoi(entry.path().filename().c_str());
        }
        if (pid < 0)
            ::usleep(5000);
    }
    ASSERT_GT(pid, 0) << "no process runs " << keeper;
    // A keeper that has just started answers once it has set up its endpoint.
    EXPECT_TRUE(qmtest::WaitFor(
        [&] {
            r = RunProgram(InstalledProgram("qmtask"), {"schedule", "status"});
            return r.out.find("scheduler: running") != std::string::npos;
        },
        10000))
        << Describe(r);
    r = RunProgram(InstalledProgram("qmtask"), {"schedule", "stop"});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    r = RunProgram(InstalledProgram("qmtask"), {"schedule", "status"});
    EXPECT_NE(r.out.find("scheduler: stopped"), std::string::npos) << Describe(r);
    // keeper stays for the session key; this test's keeper (its program lies in this test's
    // DESTDIR) is ended here.
    ::kill(pid, SIGTERM);
    for (int attempt = 0; attempt < 2000 && ::kill(pid, 0) == 0; ++attempt)
        ::usleep(5000);
    if (::kill(pid, 0) == 0)
        ::kill(pid, SIGKILL);
}

TEST(DesktopFiles, EntryMetainfoAndServiceMenuPassTheDesktopsValidators) {
    ProcessResult r = RunProgram("desktop-file-validate", {kPackaging + "/" + kAppId + ".desktop"});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out.find("error"), std::string::npos) << r.out;
    r = RunProgram("appstreamcli", {"validate", "--no-net", kPackaging + "/" + kAppId + ".metainfo.xml"});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    // The desktop entry opens every file type the suite registers, with the files as arguments.
    const std::string entry = ReadFile(kPackaging + "/" + kAppId + ".desktop");
    const std::string mime = ReadFile(kPackaging + "/" + kAppId + ".mime.xml");
    static const std::regex type(R"re(mime-type type="([^"]+)")re");
    int types = 0;
    for (auto it = std::sregex_iterator(mime.begin(), mime.end(), type); it != std::sregex_iterator();
         ++it, ++types)
        EXPECT_NE(entry.find((*it)[1].str() + ";"), std::string::npos) << (*it)[1];
    EXPECT_EQ(types, 4);
    EXPECT_NE(entry.find("Exec=qmcenter %F"), std::string::npos);
    EXPECT_NE(ReadFile(kPackaging + "/kde/" + kAppId + ".encrypt.desktop").find("Exec=qmcenter --wizard %F"),
              std::string::npos);
}

TEST(DesktopFiles, FileTypesAreKnownByNameAndEncryptedFilesByTheirFirstBytes) {
    // A private MIME database holding only our types, built by the desktop's own tool.
    const std::string share = MakeTempDir("share");
    fs::create_directories(share + "/mime/packages");
    fs::copy_file(kPackaging + "/" + kAppId + ".mime.xml", share + "/mime/packages/" + kAppId + ".xml");
    ProcessResult r = RunProgram("update-mime-database", {share + "/mime"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    ASSERT_EQ(r.err.find("rror"), std::string::npos) << r.err;
    ::setenv("XDG_DATA_DIRS", (share + ":/usr/share").c_str(), 1);
    ::setenv("XDG_DATA_HOME", MakeTempDir("empty-data").c_str(), 1);

    const std::string work = MakeTempDir("files");
    WriteFile(work + "/pw", "pw\n");
    WriteFile(work + "/a.txt", "hello");
    r = RunProgram(qmtest::ProgramPath("qmcenter"),
                   {"encrypt", "--password-file", work + "/pw", work + "/a.txt"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    r = RunProgram(qmtest::ProgramPath("qmcenter"), {"encrypt", "--password-file", work + "/pw", "--archive",
                                                     work + "/b.qma", work + "/a.txt"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    // Renamed, so that only the content can tell.
    fs::copy_file(work + "/a.txt.qmp", work + "/file-one");
    fs::copy_file(work + "/b.qma", work + "/file-two");

    QMimeDatabase db;
    EXPECT_EQ(db.mimeTypeForFile(QString::fromStdString(work + "/a.txt.qmp")).name(),
              "application/x-quillmark-encrypted");
    EXPECT_EQ(db.mimeTypeForFile(QString::fromStdString(work + "/b.qma")).name(),
              "application/x-quillmark-archive");
    EXPECT_EQ(
        db.mimeTypeForFile(QString::fromStdString(work + "/file-one"), QMimeDatabase::MatchContent).name(),
        "application/x-quillmark-encrypted");
    EXPECT_EQ(
        db.mimeTypeForFile(QString::fromStdString(work + "/file-two"), QMimeDatabase::MatchContent).name(),
        "application/x-quillmark-archive");
    EXPECT_EQ(db.mimeTypeForFile("nightly.qms", QMimeDatabase::MatchExtension).name(),
              "application/x-quillmark-tasklist");
    EXPECT_EQ(db.mimeTypeForFile("home.qmk", QMimeDatabase::MatchExtension).name(),
              "application/x-quillmark-key");
    // A plain file that happens to carry our extension's neighbour is not taken for ours.
    EXPECT_NE(db.mimeTypeForFile(QString::fromStdString(work + "/a.txt"), QMimeDatabase::MatchContent).name(),
              "application/x-quillmark-encrypted");
}

TEST(ManPages, EveryOptionThatHelpOffersIsDescribed) {
    for (const std::string& program : InstalledPrograms()) {
        const std::string source = kPackaging + "/man/" + program + ".1.scd";
        ASSERT_TRUE(Exists(source)) << program << " has no man page";
        const std::string page = ReadFile(source);
        const ProcessResult top = RunProgram(qmtest::ProgramPath(program), {"--help"});
        ASSERT_EQ(top.exitCode, 0) << program << ": " << Describe(top);
        std::string help = top.out;
        std::vector<std::vector<std::string>> more;
        for (const std::string& verb : VerbsIn(program, top.out))
            more.push_back({verb, "--help"});
        if (program == "qmcenter")
            more.push_back({"encrypt", "--help"});
        for (const auto& args : more) {
            const ProcessResult r = RunProgram(qmtest::ProgramPath(program), args);
            if (r.exitCode == 0)
                help += r.out;
        }
        for (const std::string& option : OptionsIn(help))
            EXPECT_TRUE(MentionsOption(page, option)) << program << "(1) does not describe " << option;
        for (const std::string& verb : VerbsIn(program, top.out))
            EXPECT_TRUE(MentionsOption(page, verb)) << program << "(1) does not describe the verb " << verb;
    }
}
