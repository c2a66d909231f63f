// The key-pair generator's window: what it asks, when Generate is possible, keyboard use, and the
// pair it adds to both rings.
#include "shellkit/dialogs/KeyPairDialog.h"
#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"
#include "misckit/Registry.h"
#include "shellkit/KeyRings.h"
#include "uikit/ScriptedBackend.h"

#include "QtTestMain.h"
#include "TestSupport.h"
#include <QAccessible>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

template <class W>
W* Find(QWidget& window, const QString& accessibleName) {
    for (W* w : window.findChildren<W*>())
        if (w->accessibleName() == accessibleName)
            return w;
    return nullptr;
}

void SavePicture(QWidget& window, const QString& name) {
    const QString folder = QStringLiteral(QM_BIN_DIR "/../screenshots");
    QDir().mkpath(folder);
    QVERIFY(window.grab().save(folder + "/" + name + ".png"));
}

int RingCount(bool privateRing) {
    char error[2000] = "";
    if (privateRing) {
        PrivateKeySlots keys(corecrypt::kRingSlots);
        return LoadPrivateKeyRing(keys, misckit::GetPrivKeyFileName().c_str(), error, sizeof error);
    }
    PublicKeySlots keys(corecrypt::kRingSlots);
    return LoadPublicKeyRing(keys, misckit::GetPubKeyFileName().c_str(), error, sizeof error);
}

} // namespace

class KeyPairDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init() { corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1}); }
    void cleanup() { corecrypt::SetKdfCostForTesting(std::nullopt); }

    void everyControlIsNamedAndReachedByKeyboard() {
        shellkit::CDlgKeyPairGen dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Generate Key Pair"));
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            if (w->focusPolicy() & Qt::TabFocus && w->isVisibleTo(&dialog) && !w->inherits("QLabel"))
                QVERIFY2(!w->accessibleName().isEmpty() || w->parentWidget()->inherits("QAbstractSpinBox"),
                         w->metaObject()->className());
        }
        auto* name = Find<QLineEdit>(dialog, "Name");
        QVERIFY(name);
        name->setFocus();
        const QStringList order = {"E-mail", "Never expires", "Passphrase", "Repeat passphrase"};
        for (const QString& next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->accessibleName(), next);
        }
        // With an expiry date the date field joins the chain.
        Find<QCheckBox>(dialog, "Never expires")->setChecked(false);
        Find<QCheckBox>(dialog, "Never expires")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() == Find<QDateEdit>(dialog, "Expiry date") ||
                QApplication::focusWidget()->parentWidget() == Find<QDateEdit>(dialog, "Expiry date"));
    }

    void generateWaitsForUsableEntriesThenAddsThePairToBothRings() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend use(ui);
        shellkit::CDlgKeyPairGen dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(!dialog.GenerateButton()->isEnabled());
        QCOMPARE(dialog.HintText(), QStringLiteral("Enter your name."));
        QTest::keyClicks(Find<QLineEdit>(dialog, "Name"), "Anna Berg");
        QTest::keyClicks(Find<QLineEdit>(dialog, "E-mail"), "anna.example.org");
        QCOMPARE(dialog.HintText(), QStringLiteral("The e-mail address \"anna.example.org\" is not valid."));
        Find<QLineEdit>(dialog, "E-mail")->setText("anna@example.org");
        QCOMPARE(dialog.HintText(), QStringLiteral("Choose a passphrase for the private key."));
        QTest::keyClicks(Find<QLineEdit>(dialog, "Passphrase"), "abc123");
        QCOMPARE(dialog.StrengthText(), QStringLiteral("Too short"));
        QTest::keyClicks(Find<QLineEdit>(dialog, "Passphrase"), " correct horse battery");
        QCOMPARE(dialog.StrengthText(), QStringLiteral("Strong"));
        QTest::keyClicks(Find<QLineEdit>(dialog, "Repeat passphrase"), "abc123 correct horse batter");
        QCOMPARE(dialog.HintText(), QStringLiteral("The passphrases do not match."));
        QVERIFY(!dialog.GenerateButton()->isEnabled());
        QTest::keyClicks(Find<QLineEdit>(dialog, "Repeat passphrase"), "y");
        QVERIFY(dialog.GenerateButton()->isEnabled());
        Find<QCheckBox>(dialog, "Never expires")->setChecked(false);
        Find<QDateEdit>(dialog, "Expiry date")->setDate(QDate(2099, 6, 30));
        SavePicture(dialog, "keypair_dialog");

        // Enter is Generate.
        QTest::keyClick(Find<QLineEdit>(dialog, "Repeat passphrase"), Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(ui.messages().empty());
        QCOMPARE(dialog.KeyId().size(), std::size_t{39});
        QCOMPARE(RingCount(false), 1);
        QCOMPARE(RingCount(true), 1);
    }

    void aFailedGenerationIsShownAndTheWindowStays() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend use(ui);
        // The private ring's folder is a file: nothing can be written there.
        const std::string dir = qmtest::MakeTempDir("blocked");
        qmtest::WriteFile(dir + "/file", "x");
        encreg::qmreg.WriteString(encreg::szPrivKeyFile, dir + "/file/secring.qkr");
        const std::string pubBefore = qmtest::Exists(misckit::GetPubKeyFileName())
                                          ? qmtest::ReadFile(misckit::GetPubKeyFileName())
                                          : std::string();
        shellkit::CDlgKeyPairGen dialog;
        dialog.show();
        Find<QLineEdit>(dialog, "Name")->setText("Bert");
        Find<QLineEdit>(dialog, "E-mail")->setText("bert@example.org");
        Find<QLineEdit>(dialog, "Passphrase")->setText("pw");
        Find<QLineEdit>(dialog, "Repeat passphrase")->setText("pw");
        dialog.GenerateButton()->click();
        QVERIFY(dialog.isVisible());
        QCOMPARE(ui.messages().size(), std::size_t{1});
        QCOMPARE(ui.messages()[0].caption, std::string("Error"));
        encreg::qmreg.DeleteValue(encreg::szPrivKeyFile);
        const std::string pubAfter = qmtest::Exists(misckit::GetPubKeyFileName())
                                         ? qmtest::ReadFile(misckit::GetPubKeyFileName())
                                         : std::string();
        QCOMPARE(pubAfter, pubBefore);
    }

    void theGeneratorEntryOpensTheInstalledWindow() {
        shellkit::QtKeyPairWindow window;
        shellkit::SetKeyPairWindow(&window);
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            SavePicture(*dialog, "keypair_dialog_empty");
            dialog->reject();
        });
        QCOMPARE(shellkit::GenerateKeyPair(), shellkit::kKeyPairCancelled);
        shellkit::SetKeyPairWindow(nullptr);
    }
};

QM_QTEST_MAIN(KeyPairDialogTest)
#include "KeyPairDialogTest.moc"
