// The Keys menu's key-server commands driven through the main window over the program's store,
// against a real keyserv on loopback whose mails a real SMTP server catches: publish, find and
// import, synchronize, and a revocation started and completed with the mailed code.
#include "KeyServerSteps.h"

#include "center/core/CenterState.h"
#include "center/docking/WorkspaceBar.h"
#include "center/views/NavigationTrees.h"
#include "center/windows/CenterStore.h"
#include "center/windows/KeyServerMenu.h"
#include "center/windows/MainWindow.h"
#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"
#include "misckit/Registry.h"
#include "netkit/KeyServ.h"
#include "platform/Clock.h"
#include "shellkit/KeyRings.h"
#include "shellkit/KeyServerCommands.h"
#include "uikit/ScriptedBackend.h"

#include "FrameDriver.h"
#include "ModalAnswer.h"
#include "QtTestMain.h"
#include "StoreFiles.h"
#include "WindowChecks.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <filesystem>

using center::Command;
using qmtest::Rows;
using qmtest::RowShowing;
using qmtest::SelectListRow;

namespace {

const std::string kPassphrase = "anna's passphrase";
constexpr int kEmail = 1;
constexpr int kSynchronized = 5;

} // namespace

class KeyServerMenuTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<SmtpTestServer> m_smtp;
    std::unique_ptr<KeyServerProcess> m_server;
    uikit::ScriptedBackend m_ui;
    std::unique_ptr<uikit::ScopedBackend> m_use;
    std::unique_ptr<center::CCenterState> m_state;
    std::unique_ptr<center::CCenterStore> m_store;
    std::unique_ptr<CMainFrame> m_frame;

    QStringList Shown() { return keyservtest::TakeShown(m_ui); }
    void Confirm(const std::string& email) {
        QVERIFY(keyservtest::ConfirmAddress(*m_smtp, *m_server, email));
    }
    CMainFrame& Frame() { return *m_frame; }
    QString Status(const char* email) {
        const int row = RowShowing(Frame(), kEmail, email);
        return row < 0 ? QString() : Frame().ListFilter()->index(row, kSynchronized).data().toString();
    }
    void Select(const char* email) { SelectListRow(Frame(), RowShowing(Frame(), kEmail, email)); }
    void Run(Command command) {
        QAction* action = Frame().MenuAction(command);
        QVERIFY(action && action->isEnabled());
        action->trigger();
    }

private slots:
    void initTestCase() {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        m_smtp = std::make_unique<SmtpTestServer>();
        m_server =
            std::make_unique<KeyServerProcess>(qmtest::MakeTempDir("db") + "/keys.sqlite", m_smtp->address());
        QVERIFY(m_server->running());
        CQMRegistry().WriteString("KeyServer", m_server->url());
        const std::string dir = qmtest::MakeTempDir("store");
        std::filesystem::create_directories(dir + "/keys");
        storetest::SetLocations({dir});
        storetest::SetKeyFolder(dir + "/keys/");
        m_use = std::make_unique<uikit::ScopedBackend>(m_ui);
        Shown();
        // Anna's own pair, and Carl's public key, which the server never saw.
        std::string id, error;
        QVERIFY2(shellkit::CreateKeyPair({"Anna", "anna@example.test", 0, kPassphrase}, id, error),
                 error.c_str());
        auto carl = CPrivateKey::Generate("Carl", "carl@example.test", platform::Now() - 5, 0, "c", error);
        QVERIFY(carl);
        char text[1000] = "";
        QVERIFY2(AddPublicKeyToFile(*carl->GetPublicKey(), misckit::GetPubKeyFileName().c_str(), text,
                                    sizeof text),
                 text);

        m_state = std::make_unique<center::CCenterState>();
        m_store = std::make_unique<center::CCenterStore>(*m_state);
        m_frame = std::make_unique<CMainFrame>(m_store.get());
        center::InstallKeyServerCommands(*m_frame, *m_store);
        m_frame->StartUp();
        QVERIFY(qmtest::Activate(*m_frame));
        m_frame->Workspace()->Tabs()->setCurrentIndex(1);
        m_frame->Workspace()->KeysTree()->SelectKind(center::kNavPublicKeys);
        QCOMPARE(Rows(Frame()), 2);
        QCOMPARE(Shown(), QStringList());
    }
    void cleanupTestCase() {
        m_frame.reset();
        m_store.reset();
        m_state.reset();
        m_use.reset();
        m_server.reset();
    }

    void publishTakesTheSelectedOwnKeyOnly() {
        Frame().List()->clearSelection();
        Frame().RunCommand(Command::PublishKey);
        Select("carl@example.test");
        Run(Command::PublishKey);
        QCOMPARE(
            Shown(),
            QStringList({"|Select a key, please.",
                         "Quillmark|The private key, corresponding to this public key, is not found. You can "
                         "publish only your own public keys. Please check the path to the private key file "
                         "in the program settings."}));
        Select("anna@example.test");
        m_ui.queueText(kPassphrase);
        Run(Command::PublishKey);
        QCOMPARE(m_ui.textRequests().size(), std::size_t(1));
        QCOMPARE(m_ui.textRequests()[0].caption, std::string("Quillmark: Enter Passphrase"));
        const QStringList shown = Shown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0], QStringLiteral("Quillmark|The public key for the email: anna@example.test will be "
                                          "published.\nClick \"Yes\" to proceed, or \"No\" to cancel."));
        QVERIFY2(shown[1].startsWith("Success|The key has been successfully published.\n\n"),
                 qPrintable(shown[1]));
        QVERIFY2(shown[1].contains("anna@example.test"), qPrintable(shown[1]));
        Confirm("anna@example.test");
        qmtest::CheckWindow(Frame(), QStringLiteral("center-keyserver-keys"));
    }

    void theServerCommandsDoNothingOverPrivateKeys() {
        Frame().Workspace()->KeysTree()->SelectKind(center::kNavPrivateKeys);
        QCOMPARE(Rows(Frame()), 1);
        SelectListRow(Frame(), 0);
        for (Command command :
             {Command::PublishKey, Command::RevokeKey, Command::SynchronizeKeys, Command::FindKey}) {
            QVERIFY(!Frame().MenuAction(command)->isEnabled());
            Frame().RunCommand(command);
        }
        QCOMPARE(Shown(), QStringList());
        Frame().Workspace()->KeysTree()->SelectKind(center::kNavPublicKeys);
    }

    void findShowsBertsKeyAndImportsItIntoTheList() {
        std::string error;
        auto bert = CPrivateKey::Generate("Bert", "bert@example.test", platform::Now() - 5, 0, "b", error);
        QVERIFY(bert);
        const auto bertPublic = bert->GetPublicKey();
        const std::string b = "b";
        char text[2000] = "";
        shellkit::UseKeyServerFromSettings();
        QVERIFY(NetKit::KeyServ::PublishKey(bertPublic->GetEnvelop(),
                                            static_cast<int>(bertPublic->m_nEnvelopLen), *bert, text,
                                            sizeof text, &b));
        Confirm("bert@example.test");
        Shown();

        qmtest::ModalAnswer find([&](QWidget* w) {
            if (w->windowTitle() != QStringLiteral("Find Public Key"))
                return "title: " + w->windowTitle();
            keyservtest::Named<QLineEdit>(*w, "Email address")
                ->setText(QStringLiteral("nobody@example.test"));
            QTest::mouseClick(keyservtest::Named<QPushButton>(*w, "Send request"), Qt::LeftButton);
            keyservtest::Named<QLineEdit>(*w, "Email address")->setText(QStringLiteral("bert@example.test"));
            QTest::mouseClick(keyservtest::Named<QPushButton>(*w, "Send request"), Qt::LeftButton);
            if (keyservtest::Named<QLineEdit>(*w, "Name")->text() != QStringLiteral("Bert"))
                return "name: " + keyservtest::Named<QLineEdit>(*w, "Name")->text();
            qmtest::CheckWindow(*w, QStringLiteral("center-keyserver-find"));
            QTest::mouseClick(keyservtest::Named<QPushButton>(*w, "Import"), Qt::LeftButton);
            QTest::mouseClick(keyservtest::Named<QPushButton>(*w, "OK"), Qt::LeftButton);
            return QString();
        });
        Run(Command::FindKey);
        QVERIFY2(find.problem().isEmpty(), qPrintable(find.problem()));
        QCOMPARE(Shown(), QStringList({"Quillmark|No keys with such email address on keyserver.",
                                       "Success!|Key found.", "Success|Key has been sucessfully imported."}));
        // The list shows the imported key at once.
        QCOMPARE(Rows(Frame()), 3);
        QCOMPARE(Status("bert@example.test"), QStringLiteral("Not synchronized"));
    }

    void synchronizeMarksEachKeyByWhatTheServerHolds() {
        Run(Command::SynchronizeKeys);
        QCOMPARE(Shown(),
                 QStringList({"Quillmark|Local copies of public keys will be synchronized with the latest "
                              "versions on key server.\nClick \"Yes\" to proceed, or \"No\" to cancel.",
                              "Success|Keys have been successfully synchronized,"}));
        QCOMPARE(Status("bert@example.test"), QStringLiteral("Synchronized"));
        QCOMPARE(Status("carl@example.test"), QStringLiteral("Not on server"));
        QCOMPARE(Status("anna@example.test"), QStringLiteral("Own"));
    }

    void revokeStartsThenCompletesWithTheMailedCode() {
        Select("carl@example.test");
        Run(Command::RevokeKey);
        QCOMPARE(Shown(),
                 QStringList({"Quillmark|The private key, corresponding to this public key, is not found. "
                              "You can revoke only your own public keys. Please check the path to the "
                              "private key file in the program settings."}));
        // First choice: a new revocation, whose code comes by mail.
        Select("anna@example.test");
        qmtest::ModalAnswer start([](QWidget* w) {
            qmtest::CheckWindow(*w, QStringLiteral("center-keyserver-revoke"));
            QTest::mouseClick(keyservtest::Named<QPushButton>(*w, "Send request"), Qt::LeftButton);
            return qmtest::Differs(QStringLiteral("title"), w->windowTitle(),
                                   QStringLiteral("Public Key Revocation"));
        });
        Run(Command::RevokeKey);
        QVERIFY2(start.problem().isEmpty(), qPrintable(start.problem()));
        QCOMPARE(Shown(),
                 QStringList({"Quillmark|Key revocation cannot be undone. Are you sure you want to revoke "
                              "a public key for this email:\n\n anna@example.test ?",
                              "Quillmark|Key revocation initiated successfully. Please check your mail "
                              "inbox for the revocation code and after that, make a new revocation "
                              "request with the revocation code to complete revocation."}));
        const std::string code = LatestRevocationCode(*m_smtp, "anna@example.test");
        QVERIFY(!code.empty());

        // A wrong code is refused with the server's word; the key stays as it was.
        const auto complete = [](const std::string& typed) {
            return [typed](QWidget* w) {
                w->findChildren<QRadioButton*>().at(1)->click();
                QTest::keyClicks(keyservtest::Named<QLineEdit>(*w, "Revocation code"),
                                 QString::fromStdString(typed));
                QTest::mouseClick(keyservtest::Named<QPushButton>(*w, "Send request"), Qt::LeftButton);
                return QString();
            };
        };
        m_ui.queueText(kPassphrase);
        qmtest::ModalAnswer wrong(complete("WRONG-CODE-1234"));
        Run(Command::RevokeKey);
        QVERIFY2(wrong.problem().isEmpty(), qPrintable(wrong.problem()));
        QStringList shown = Shown();
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown[1].startsWith("Error|") && shown[1].size() > 6, qPrintable(shown[1]));
        QCOMPARE(Status("anna@example.test"), QStringLiteral("Own"));

        m_ui.queueText(kPassphrase);
        qmtest::ModalAnswer right(complete(code));
        Run(Command::RevokeKey);
        QVERIFY2(right.problem().isEmpty(), qPrintable(right.problem()));
        shown = Shown();
        QCOMPARE(shown.last(), QStringLiteral("Success|Key has been successfully revoked."));
        QCOMPARE(Status("anna@example.test"), QStringLiteral("Revoked"));
        // Finding her address now gives the revoked copy.
        std::vector<std::unique_ptr<CPublicKey>> found;
        char text[1000] = "";
        QVERIFY2(NetKit::KeyServ::FindKey("anna@example.test", found, text, sizeof text), text);
        QCOMPARE(found.size(), std::size_t(1));
        QCOMPARE(found[0]->m_bRevoked, 1);
    }
};

QM_QTEST_MAIN(KeyServerMenuTest)
#include "KeyServerMenuTest.moc"
