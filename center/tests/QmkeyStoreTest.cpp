// qmkey's store verbs through the real program on a generated tree: locations, keyfolder and
// scan with its JSON.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>

using qmtest::ProcessResult;

namespace {

std::string Header(bool keyFile, char code, const std::string& keyId = {}, char version = 41) {
    std::string bytes(96, '\0');
    bytes[0] = version;
    bytes[9] = keyFile ? 1 : 0;
    bytes[10] = code;
    if (keyFile)
        bytes.replace(27, 16, keyId);
    return bytes;
}

class QmkeyStore : public ::testing::Test {
protected:
    void SetUp() override {
        dir = qmtest::MakeTempDir("qmkeystore");
        ASSERT_EQ(
            std::system(("mkdir -p '" + dir + "/keys/sub' '" + dir + "/L1/deep' '" + dir + "/L2'").c_str()),
            0);
    }

    ProcessResult Run(const std::vector<std::string>& args) {
        return qmtest::RunProgram(qmtest::ProgramPath("qmkey"), args, {},
                                  {"XDG_DATA_HOME=" + dir + "/data", "XDG_CONFIG_HOME=" + dir + "/config"});
    }

    QJsonObject ScanJson() {
        const auto r = Run({"scan", "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        QJsonParseError error{};
        const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out;
        return doc.object();
    }

    std::string dir;
};

QStringList Strings(const QJsonValue& array) {
    QStringList out;
    for (const auto& v : array.toArray())
        out << v.toString();
    return out;
}

} // namespace

TEST_F(QmkeyStore, LocationsAndKeyFolderAreStoredAsGivenAndPrintedBack) {
    auto r = Run({"locations"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(Run({"locations", dir + "/L1", dir + "/L2/", "relative/x"}).exitCode, 0);
    r = Run({"locations"});
    EXPECT_EQ(r.out, dir + "/L1\n" + dir + "/L2/\nrelative/x\n");
    // Fewer locations clear the ones after them.
    ASSERT_EQ(Run({"locations", dir + "/L2"}).exitCode, 0);
    EXPECT_EQ(Run({"locations"}).out, dir + "/L2\n");
    std::vector<std::string> eleven{"locations"};
    for (int i = 0; i < 11; ++i)
        eleven.push_back(dir + "/L" + std::to_string(i));
    r = Run(eleven);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qmkey: at most 10 locations can be stored\n");
    EXPECT_EQ(Run({"locations"}).out, dir + "/L2\n");

    r = Run({"keyfolder"});
    EXPECT_EQ(r.out, dir + "/data/Quillmark/keys/\n"); // the default
    ASSERT_EQ(Run({"keyfolder", dir + "/keys"}).exitCode, 0);
    EXPECT_EQ(Run({"keyfolder"}).out, dir + "/keys\n");
    EXPECT_EQ(Run({"keyfolder", "a", "b"}).exitCode, 1);
}

TEST_F(QmkeyStore, ScanWithoutLocationsSaysHowToSetThem) {
    const auto r = Run({"scan"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "qmkey: No locations are set: qmkey locations DIR...\n");
    EXPECT_EQ(r.out, "");
}

TEST_F(QmkeyStore, ScanJsonListsKeyFilesFilesErrorsAndDuplicatesInPathOrder) {
    const std::string zeroId = std::string("Ab\0\xff"
                                           "cdefghijklmn",
                                           16);
    const std::string dupId(16, 'D');
    qmtest::WriteFile(dir + "/keys/main.qmk", zeroId + std::string(24, 'k'));                // 40 bytes
    qmtest::WriteFile(dir + "/keys/short.QMK", std::string(16, 'S') + std::string(14, 'k')); // 30 bytes
    qmtest::WriteFile(dir + "/keys/sub/dup-b.qmk", dupId + std::string(32, 'k'));
    qmtest::WriteFile(dir + "/keys/Dup-a.qmk", dupId + std::string(32, 'k'));
    qmtest::WriteFile(dir + "/keys/dup-c.qmk", dupId + std::string(32, 'k'));
    qmtest::WriteFile(dir + "/L1/a.qmp", Header(true, 2, zeroId));
    qmtest::WriteFile(dir + "/L1/deep/b.qma", Header(true, 33, zeroId));
    qmtest::WriteFile(dir + "/L1/pass.qmp", Header(false, 0));
    qmtest::WriteFile(dir + "/L2/d.qmp", Header(true, 41, dupId));
    qmtest::WriteFile(dir + "/L2/x.qmp", Header(true, 2, std::string(16, 'N')));
    qmtest::WriteFile(dir + "/L2/bad.qmp", Header(false, 2, {}, 17));
    qmtest::WriteFile(dir + "/L2/note.txt", Header(false, 2));
    ASSERT_EQ(Run({"locations", dir + "/L1", dir + "/L2", dir + "/L3"}).exitCode, 0);
    ASSERT_EQ(Run({"keyfolder", dir + "/keys/"}).exitCode, 0);

    const QJsonObject scan = ScanJson();
    const QJsonArray keys = scan["keyFiles"].toArray();
    ASSERT_EQ(keys.size(), 5);
    const QString k = QString::fromStdString(dir + "/keys/");
    QStringList paths;
    for (const auto& v : keys)
        paths << v.toObject()["path"].toString();
    EXPECT_EQ(paths, (QStringList{k + "Dup-a.qmk", k + "dup-c.qmk", k + "main.qmk", k + "short.QMK",
                                  k + "sub/dup-b.qmk"}));
    const QJsonObject main = keys[2].toObject();
    EXPECT_EQ(main["name"].toString(), "main.qmk");
    EXPECT_EQ(main["keyId"].toString(), "416200ff636465666768696a6b6c6d6e");
    EXPECT_EQ(main["used"].toInt(), 2);
    EXPECT_EQ(main["size64"].toInt(), 16);
    EXPECT_EQ(main["size128"].toInt(), 8);
    EXPECT_EQ(keys[3].toObject()["size128"].toInt(), -2);
    for (int i : {0, 1, 4})
        EXPECT_EQ(keys[i].toObject()["used"].toInt(), 1);

    const QJsonArray files = scan["files"].toArray();
    ASSERT_EQ(files.size(), 5);
    const QString l1 = QString::fromStdString(dir + "/L1/"), l2 = QString::fromStdString(dir + "/L2/");
    const QJsonObject a = files[0].toObject();
    EXPECT_EQ(a["path"].toString(), l1 + "a.qmp");
    EXPECT_EQ(a["name"].toString(), "a.qmp");
    EXPECT_EQ(a["size"].toInteger(), 96);
    EXPECT_EQ(a["type"].toString(), "Key");
    EXPECT_EQ(a["keyFile"].toString(), k + "main.qmk");
    EXPECT_EQ(a["algorithm"].toString(), "AES");
    EXPECT_EQ(a["mode"].toString(), "CBC");
    EXPECT_EQ(files[1].toObject()["path"].toString(), l1 + "deep/b.qma");
    EXPECT_EQ(files[1].toObject()["algorithm"].toString(), "TripleDES");
    const QJsonObject pass = files[2].toObject();
    EXPECT_EQ(pass["type"].toString(), "Pass");
    EXPECT_EQ(pass["keyFile"].toString(), "");
    EXPECT_EQ(pass["algorithm"].toString(), "AES");
    EXPECT_EQ(pass["mode"].toString(), "");
    const QJsonObject d = files[3].toObject();
    EXPECT_EQ(d["path"].toString(), l2 + "d.qmp");
    EXPECT_EQ(d["algorithm"].toString(), "");
    EXPECT_EQ(d["mode"].toString(), "ECB");
    EXPECT_TRUE(d["keyFile"].toString().startsWith(k));
    EXPECT_EQ(files[4].toObject()["keyFile"].toString(), "");
    EXPECT_EQ(files[4].toObject()["type"].toString(), "Key");

    EXPECT_EQ(Strings(scan["errors"]),
              (QStringList{"Error while reading the file " + l2 + "bad.qmp: Wrong version of file header.",
                           "Location folder is not found: " + QString::fromStdString(dir) + "/L3"}));
    EXPECT_EQ(Strings(scan["duplicates"]),
              (QStringList{k + "Dup-a.qmk", k + "dup-c.qmk", k + "sub/dup-b.qmk"}));

    // The plain listing says the same in lines.
    const auto plain = Run({"scan"});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_NE(plain.out.find("Key files: 5\n"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("Encrypted files: 5\n"), std::string::npos);
    EXPECT_NE(plain.out.find("Errors: 2\n"), std::string::npos);
    EXPECT_NE(plain.out.find("Key files with the same key ID: 3\n"), std::string::npos);
    EXPECT_EQ(plain.err, "");
}

TEST_F(QmkeyStore, AMissingKeyFolderIsAnErrorLineAndGivesNoKeyFiles) {
    qmtest::WriteFile(dir + "/L1/p.qmp", Header(false, 2));
    ASSERT_EQ(Run({"locations", dir + "/L1"}).exitCode, 0);
    ASSERT_EQ(Run({"keyfolder", dir + "/nokeys"}).exitCode, 0);
    const QJsonObject scan = ScanJson();
    EXPECT_TRUE(scan["keyFiles"].toArray().isEmpty());
    EXPECT_EQ(scan["files"].toArray().size(), 1);
    EXPECT_EQ(Strings(scan["errors"]), QStringList{"Folder with encryption keys is not found:\n" +
                                                   QString::fromStdString(dir) + "/nokeys"});
    EXPECT_FALSE(qmtest::Exists(dir + "/nokeys"));
}
