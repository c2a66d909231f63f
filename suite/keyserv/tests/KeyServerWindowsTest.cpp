// The Keys menu's key-server commands and their two windows, against a real keyserv on loopback,
// with the user's answers scripted through uikit.
#include "KeyServerSteps.h"

#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"
#include "misckit/Registry.h"
#include "netkit/KeyServ.h"
#include "shellkit/KeyRings.h"
#include "shellkit/KeyServerCommands.h"
#include "shellkit/dialogs/KeyServerDialogs.h"
#include "uikit/ScriptedBackend.h"

#include "QtTestMain.h"
#include "WindowChecks.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstring>
#include <ctime>

namespace {

const std::string kPassphrase = "anna's passphrase";

struct Rings {
    PublicKeySlots publics{corecrypt::kRingSlots};
    PrivateKeySlots privates{corecrypt::kRingSlots};
    int publicCount = 0;
    int privateCount = 0;
    Rings() {
        std::string pub, priv;
        shellkit::GetPubKeyFileName(pub, nullptr, 0);
        shellkit::GetPrivKeyFileName(priv, nullptr, 0);
        char error[1000] = "";
        publicCount = LoadPublicKeyRing(publics, pub.c_str(), error, sizeof error);
        privateCount = LoadPrivateKeyRing(privates, priv.c_str(), error, sizeof error);
    }
    const CPublicKey* Public(const std::string& email) const {
        for (int i = 0; i < publicCount; ++i)
            if (publics[i]->GetEmail() == email)
                return publics[i].get();
        return nullptr;
    }
    const CPrivateKey* Own(const CPublicKey& key) const {
        for (int i = 0; i < privateCount; ++i)
            if (std::memcmp(privates[i]->GetKeyIDPbyte(), key.GetKeyIDPbyte(), corecrypt::kAsymmKeyIdSize) ==
                0)
                return privates[i].get();
        return nullptr;
    }
    std::vector<const CPublicKey*> All() const {
        std::vector<const CPublicKey*> all;
        for (int i = 0; i < publicCount; ++i)
            all.push_back(publics[i].get());
        return all;
    }
};

} // namespace

class KeyServerWindowsTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<SmtpTestServer> m_smtp;
    std::unique_ptr<KeyServerProcess> m_server;
    uikit::ScriptedBackend m_ui;
    std::unique_ptr<uikit::ScopedBackend> m_use;

    QStringList Shown() { return keyservtest::TakeShown(m_ui); }
    void Confirm(const std::string& email) {
        QVERIFY(keyservtest::ConfirmAddress(*m_smtp, *m_server, email));
    }

private slots:
    void initTestCase() {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        m_smtp = std::make_unique<SmtpTestServer>();
        m_server =
            std::make_unique<KeyServerProcess>(qmtest::MakeTempDir("db") + "/keys.sqlite", m_smtp->address());
        QVERIFY(m_server->running());
        CQMRegistry().WriteString("KeyServer", m_server->url());
        m_use = std::make_unique<uikit::ScopedBackend>(m_ui);
        Shown();
        shellkit::KeyPairRequest anna{"Anna", "anna@example.test", 0, kPassphrase};
        std::string id, error;
        QVERIFY2(shellkit::CreateKeyPair(anna, id, error), error.c_str());
    }
    void cleanupTestCase() {
        m_use.reset();
        m_server.reset();
    }

    void publishAsksSignsAndTellsOfTheConfirmationMail() {
        const Rings rings;
        const CPublicKey* anna = rings.Public("anna@example.test");
        QVERIFY(anna);
        shellkit::PublishKeyOnServer(nullptr, nullptr);
        shellkit::PublishKeyOnServer(anna, nullptr);
        QCOMPARE(Shown(),
                 QStringList({"|Select a key, please.",
                              "Quillmark|The private key, corresponding to this public key, is not found. "
                              "You can publish only your own public keys. Please check the path to the "
                              "private key file in the program settings."}));
        m_ui.queueText(kPassphrase);
        shellkit::PublishKeyOnServer(anna, rings.Own(*anna));
        QCOMPARE(m_ui.textRequests().at(0).caption, std::string("Quillmark: Enter Passphrase"));
        QVERIFY(m_ui.textRequests().at(0).hidden);
        const QStringList shown = Shown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0], QStringLiteral("Quillmark|The public key for the email: anna@example.test will be "
                                          "published.\nClick \"Yes\" to proceed, or \"No\" to cancel."));
        QVERIFY2(shown[1].startsWith(
                     "Success|The key has been successfully published.\n\nThe key has been received. "
                     "A confirmation mail was sent to anna@example.test"),
                 qPrintable(shown[1]));
        Confirm("anna@example.test");

        // A wrong passphrase signs nothing.
        m_ui.queueText(std::string("wrong"));
        shellkit::PublishKeyOnServer(anna, rings.Own(*anna));
        QCOMPARE(Shown().last(), QStringLiteral("Error|Wrong passphrase."));
    }

    void findWindowShowsTheKeyAndImportsItOnce() {
        // Bert's key is on the server, not in the rings.
        std::string error;
        auto bert = CPrivateKey::Generate("Bert", "bert@example.test", std::time(nullptr) - 5, 0, "b", error);
        QVERIFY(bert);
        const auto bertPublic = bert->GetPublicKey();
        const std::string b = "b";
        char text[2000] = "";
        shellkit::UseKeyServerFromSettings();
        QVERIFY(NetKit::KeyServ::PublishKey(bertPublic->GetEnvelop(),
                                            static_cast<int>(bertPublic->m_nEnvelopLen), *bert, text,
                                            sizeof text, &b));
        Confirm("bert@example.test");

        shellkit::CFindPubKeyOnKS window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Find Public Key"));
        auto* email = keyservtest::Named<QLineEdit>(window, "Email address");
        auto* send = keyservtest::Named<QPushButton>(window, "Send request");
        auto* import = keyservtest::Named<QPushButton>(window, "Import");
        QVERIFY(email && send && import);
        QVERIFY(!import->isEnabled());
        QTest::mouseClick(send, Qt::LeftButton);
        email->setText("bert.example.test");
        QTest::mouseClick(send, Qt::LeftButton);
        email->setText("nobody@example.test");
        QTest::keyClick(email, Qt::Key_Return);
        QCOMPARE(Shown(), QStringList({"Quillmark|Enter an email address please.",
                                       "Quillmark|Wrong format of email address.",
                                       "Quillmark|No keys with such email address on keyserver."}));
        email->setText("bert@example.test");
        QTest::mouseClick(send, Qt::LeftButton);
        QCOMPARE(Shown(), QStringList({"Success!|Key found."}));
        QCOMPARE(keyservtest::Named<QLineEdit>(window, "Name")->text(), QStringLiteral("Bert"));
        QCOMPARE(keyservtest::Named<QLineEdit>(window, "E-mail")->text(),
                 QStringLiteral("bert@example.test"));
        QCOMPARE(keyservtest::Named<QLineEdit>(window, "Key ID")->text().toStdString(), bert->GetKeyIDText());
        QCOMPARE(keyservtest::Named<QLineEdit>(window, "Expires")->text(),
                 QStringLiteral("No expiration date"));
        QCOMPARE(keyservtest::Named<QLineEdit>(window, "Size")->text(), QStringLiteral("256"));
        QVERIFY(import->isEnabled());
        qmtest::CheckWindow(window, "find-public-key");
        QTest::mouseClick(import, Qt::LeftButton);
        QTest::mouseClick(import, Qt::LeftButton);
        QCOMPARE(Shown(),
                 QStringList({"Success|Key has been sucessfully imported.",
                              "Quillmark|This public key is already contained in your public keys file."}));
        QVERIFY(Rings().Public("bert@example.test"));
        QVERIFY(window.Imported());
    }

    void synchronizeSkipsOwnKeysAndMarksTheOthers() {
        const Rings rings;
        shellkit::SynchronizeKeysWithServer(
            rings.All(), [&](const CPublicKey& k) { return rings.Own(k) != nullptr; }, std::time(nullptr));
        QCOMPARE(Shown(),
                 QStringList({"Quillmark|Local copies of public keys will be synchronized with the latest "
                              "versions on key server.\nClick \"Yes\" to proceed, or \"No\" to cancel.",
                              "Success|Keys have been successfully synchronized,"}));
        const Rings after;
        QCOMPARE(int(after.Public("bert@example.test")->m_nStatus), int(corecrypt::kStatusSynchronized));
        QCOMPARE(int(after.Public("anna@example.test")->m_nStatus),
                 int(rings.Public("anna@example.test")->m_nStatus));
    }

    void revokeWindowNeedsACodeOnlyForTheSecondChoice() {
        shellkit::CDlgRevokeKey window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Public Key Revocation"));
        auto* code = keyservtest::Named<QLineEdit>(window, "Revocation code");
        auto* send = keyservtest::Named<QPushButton>(window, "Send request");
        QVERIFY(code && send && !code->isEnabled());
        qmtest::CheckWindow(window, "public-key-revocation");
        window.findChildren<QRadioButton*>().at(1)->click();
        QVERIFY(code->isEnabled());
        QTest::mouseClick(send, Qt::LeftButton);
        QCOMPARE(Shown(), QStringList({"Quillmark|Enter your revocation code please."}));
        QVERIFY(window.isVisible());
        QTest::keyClicks(code, "ABCD-EFGH-JKLM");
        QTest::mouseClick(send, Qt::LeftButton);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QCOMPARE(window.Code(), std::string("ABCD-EFGH-JKLM"));
    }

    void revokeStartsThenCompletesWithTheMailedCode() {
        Rings rings;
        const CPublicKey* anna = rings.Public("anna@example.test");
        QVERIFY(anna);
        QVERIFY(!shellkit::RevokeKeyFromServer(anna, rings.Own(*anna), [] { return std::string(); }));
        QCOMPARE(Shown(),
                 QStringList({"Quillmark|Key revocation cannot be undone. Are you sure you want to revoke a "
                              "public key for this email:\n\n anna@example.test ?",
                              "Quillmark|Key revocation initiated successfully. Please check your mail "
                              "inbox for the revocation code and after that, make a new revocation request "
                              "with the revocation code to complete revocation."}));
        const std::string code = LatestRevocationCode(*m_smtp, "anna@example.test");
        QVERIFY(!code.empty());
        QVERIFY(!shellkit::RevokeKeyFromServer(anna, rings.Own(*anna),
                                               [] { return std::optional<std::string>(); }));
        QCOMPARE(Shown().size(), 1); // only the question; Cancel in the window ends it
        m_ui.queueText(kPassphrase);
        QVERIFY(shellkit::RevokeKeyFromServer(anna, rings.Own(*anna), [&] { return code; }));
        QCOMPARE(Shown().last(), QStringLiteral("Success|Key has been successfully revoked."));
        const Rings after;
        QCOMPARE(after.Public("anna@example.test")->m_bRevoked, 1);
        QVERIFY(after.Own(*after.Public("anna@example.test"))->GetRevocationTime() != 0);
    }
};

QM_QTEST_MAIN(KeyServerWindowsTest)
#include "KeyServerWindowsTest.moc"
