// The control center's small windows, each opened alone as its command opens it, answered through
// the scripted uikit back-end.
#include "center/core/LocationList.h"
#include "center/windows/KeyFolderWindow.h"
#include "center/windows/KeyTextWindow.h"
#include "center/windows/LocationsWindow.h"
#include "center/windows/PassphraseWindow.h"
#include "center/windows/ScanWindow.h"
#include "center/windows/WaitWindow.h"
#include "corecrypt/QMException.h"
#include "misckit/Registry.h"
#include "uikit/ScriptedBackend.h"
#include "uikit/ShellInfo.h"

#include "ModalAnswer.h"
#include "QtTestMain.h"
#include "WindowChecks.h"
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

QPushButton* ButtonNamed(QWidget* window, const QString& text) {
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text().remove('&') == text)
            return b;
    return nullptr;
}

QStringList Items(QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

CQMRegistry Keyman() {
    return CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman);
}

} // namespace

class CenterDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void locationsFollowTheContainmentRulesAndOkWritesThem() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string a = qmtest::MakeTempDir("loc");
        qmtest::WriteFile(a + "/inner/x", "x");
        center::WriteLocations({a + "/inner/"});
        CDlgLocations window;
        QStringList shown, afterAdd, messages;
        bool okAtFirst = true, okAfterAdd = false;
        qmtest::ModalAnswer answer([&](QWidget* w) {
            auto* list = w->findChild<QListWidget*>(QStringLiteral("LocationList"));
            QPushButton* ok = w->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            shown = Items(list);
            okAtFirst = ok->isEnabled();
            // The folder holding the listed one replaces it.
            ui.queueFolder(a);
            ButtonNamed(w, "Add")->click();
            afterAdd = Items(list);
            okAfterAdd = ok->isEnabled();
            // The same again, and a folder inside it, are refused with their messages.
            ui.queueFolder(a + "/");
            ButtonNamed(w, "Add")->click();
            ui.queueFolder(a + "/inner");
            ButtonNamed(w, "Add")->click();
            qmtest::SaveWindowPicture(w, QStringLiteral("center-locations"));
            QString problem =
                qmtest::UnnamedControls(w).join(", ") + qmtest::UnreachableControls(w).join(", ");
            QTest::keyClick(ok, Qt::Key_Space);
            return problem;
        });
        QCOMPARE(window.DoModal(), int(QDialog::Accepted));
        QVERIFY2(answer.problem().isEmpty(), qPrintable(answer.problem()));
        QCOMPARE(window.windowTitle(), QStringLiteral("Location of encrypted files"));
        QCOMPARE(shown, QStringList{QString::fromStdString(a + "/inner/")});
        QVERIFY(!okAtFirst);
        QCOMPARE(afterAdd, QStringList{QString::fromStdString(a + "/")});
        QVERIFY(okAfterAdd);
        QCOMPARE(ui.folderRequests().front().windowTitle, std::string("Select Location"));
        QCOMPARE(ui.folderRequests().front().title,
                 std::string("Select folder or drive where encrypted files reside."));
        QCOMPARE(ui.messages().size(), std::size_t(2));
        QCOMPARE(ui.messages()[0].text, "This path already exists:\n" + a + "/");
        QCOMPARE(ui.messages()[0].caption, std::string("Quillmark"));
        QCOMPARE(ui.messages()[1].text, "Path " + a + "/\nalready contains path " + a + "/inner/");
        QCOMPARE(center::ReadLocations(), std::vector<std::string>{a + "/"});
        std::string second = "x";
        QVERIFY(Keyman().ReadStringEx("Location 2", second));
        QCOMPARE(second, std::string());
        QVERIFY(ui.allAnswersUsed());
    }

    void theEleventhLocationIsRefusedBeforeTheChooserOpens() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        std::vector<std::string> ten;
        for (int i = 0; i < 10; ++i)
            ten.push_back("/tmp/l" + std::to_string(i) + "/");
        center::WriteLocations(ten);
        CDlgLocations window;
        window.OnAdd();
        QVERIFY(ui.folderRequests().empty());
        QCOMPARE(ui.messages().back().text,
                 std::string("10 is the maximal number of the destination items."));
        // Removing one is a change worth saving.
        auto* list = window.findChild<QListWidget*>(QStringLiteral("LocationList"));
        list->setCurrentRow(0);
        window.OnRemove();
        QCOMPARE(list->count(), 9);
        QVERIFY(window.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled());
    }

    void keyFolderOkNeedsAnExistingFolderAndAFirstCancelStoresTheDefault() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        CQMRegistry().DeleteValue(encreg::szKeyFolder);
        const std::string defaultFolder = uikit::GetSpecialFolder(uikit::kSpecialFolderKeys);
        {
            CDlgKeyFolder window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.windowTitle(), QStringLiteral("Encryption keys folder"));
            QCOMPARE(window.Field()->text().toStdString(), defaultFolder);
            qmtest::CheckWindow(window, QStringLiteral("center-key-folder"));
            window.Field()->setText(QStringLiteral("/no/such/folder"));
            window.accept();
            QVERIFY(window.isVisible());
            QCOMPARE(ui.messages().back().text, std::string("Path doesn't exist."));
            QCOMPARE(ui.messages().back().caption, std::string("Error"));
            QCOMPARE(ui.messages().back().icon, uikit::Icon::Warning);
            window.reject();
            QCOMPARE(window.Folder(), defaultFolder);
        }
        std::string stored;
        QVERIFY(CQMRegistry().ReadStringEx(encreg::szKeyFolder, stored));
        QCOMPARE(stored, defaultFolder);
        // With a folder stored, the chooser's answer goes into the field and OK takes it.
        const std::string other = qmtest::MakeTempDir("keys");
        CDlgKeyFolder window;
        ui.queueFolder(other);
        ButtonNamed(&window, "...")->click();
        QCOMPARE(ui.folderRequests().back().title, std::string("Select output folder"));
        QCOMPARE(ui.folderRequests().back().windowTitle, std::string("Quillmark"));
        window.accept();
        QCOMPARE(window.Folder(), other);
        window.reject();
        QVERIFY(CQMRegistry().ReadStringEx(encreg::szKeyFolder, stored));
        QCOMPARE(stored, defaultFolder);
    }

    void thePassphraseIsAskedHiddenAndKeptToItsLimit() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        ui.queueText(std::string(1500, 'p'));
        CDlgDPass pass;
        QVERIFY(pass.DoModal());
        QCOMPARE(pass.m_strPass.size(), std::size_t(1024));
        QCOMPARE(ui.textRequests().back().caption, std::string("Quillmark: Enter Passphrase"));
        QCOMPARE(ui.textRequests().back().prompt, std::string("Enter password:"));
        QVERIFY(ui.textRequests().back().hidden);
        ui.queueText(std::nullopt);
        QVERIFY(!pass.DoModal());
    }

    void breakStopsTheScanWhichKeepsWhatItFound() {
        int folders = 0;
        bool pictured = false;
        CDlgCancel window([&](CDlgCancel& w) {
            // A scan that walks until it is told to stop.
            for (folders = 1; w.Record().ShouldContinue() && folders < 100000; ++folders) {
                w.Report(folders, 0, folders / 10, folders / 3);
                if (folders == 50 && !pictured) {
                    pictured = true;
                    qmtest::CheckWindow(w, QStringLiteral("center-scanning"));
                    // Break, as the user presses it, while the scan runs.
                    QTest::keyClick(&w, Qt::Key_Escape);
                }
                QTest::qWait(1);
            }
        });
        QCOMPARE(window.windowTitle(), QStringLiteral("Scanning for files..."));
        QCOMPARE(window.exec(), int(QDialog::Accepted));
        QVERIFY(pictured);
        QVERIFY(window.Broken());
        QVERIFY(folders < 100);
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("FoldersSearched"))->text(), QStringLiteral("50"));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("EncryptedFilesFound"))->text(),
                 QStringLiteral("16"));
    }

    void anExceptionFromTheScanIsShownAndTheWindowStillCloses() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        CDlgCancel window([](CDlgCancel&) { throw CQMException(3, "/locations/x"); });
        QCOMPARE(window.exec(), int(QDialog::Accepted));
        QCOMPARE(ui.messages().size(), std::size_t(1));
    }

    void waitWindowCancelAsksFirstAndKeepsItsOwnerDisabled() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        QWidget owner;
        owner.show();
        int go = 1;
        {
            CDlgWait wait(&go, &owner);
            QVERIFY(!owner.isEnabled());
            QCOMPARE(wait.windowTitle(), QStringLiteral("Quillmark is working..."));
            wait.setRange(0, 10);
            wait.setPosition(4);
            wait.SetCurrent("/tmp/file.txt");
            qmtest::CheckWindow(wait, QStringLiteral("center-wait"));
            ui.queueAnswer(uikit::Answer::No);
            QTest::keyClick(&wait, Qt::Key_Escape);
            QCOMPARE(go, 1);
            QVERIFY(wait.isVisible());
            QCOMPARE(ui.messages().back().text,
                     std::string(
                         "If you are doing operation with archive, it can become unreadable after breaking "
                         "operation.\nAre you sure you want to break operation?"));
            QCOMPARE(ui.messages().back().buttons, uikit::Buttons::YesNo);
            QCOMPARE(ui.messages().back().icon, uikit::Icon::Warning);
            ui.queueAnswer(uikit::Answer::Yes);
            QTest::keyClick(&wait, Qt::Key_Escape);
            QCOMPARE(go, 0);
            QVERIFY(!wait.isVisible());
        }
        QVERIFY(owner.isEnabled());
    }

    void keyTextWindowShowsTheExportAndReturnsThePastedImport() {
        CDlgExpImpKey exportWindow(CDlgExpImpKey::Export, QStringLiteral("Copy the public key from here"),
                                   "-----KEY-----\nabc\n");
        exportWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&exportWindow));
        QCOMPARE(exportWindow.Field()->toPlainText(), QStringLiteral("-----KEY-----\nabc\n"));
        qmtest::CheckWindow(exportWindow, QStringLiteral("center-key-export"));
        exportWindow.accept();
        QCOMPARE(exportWindow.Text(), std::string());

        CDlgExpImpKey importWindow(CDlgExpImpKey::Import, QStringLiteral("Past the public key here"));
        importWindow.show();
        QVERIFY(importWindow.Field()->toPlainText().isEmpty());
        QTest::keyClicks(importWindow.Field(), QStringLiteral("pasted key"));
        qmtest::CheckWindow(importWindow, QStringLiteral("center-key-import"));
        importWindow.accept();
        QCOMPARE(importWindow.Text(), std::string("pasted key"));
    }
};

QM_QTEST_MAIN(CenterDialogsTest)
#include "CenterDialogsTest.moc"
