// The Qt task windows: what they show and how Cancel reaches the running work.
#include "tasks/dialogs/TaskWindowsQt.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "uikit/qt/QtBackend.h"

#include "ModalAnswer.h"
#include "QtTestMain.h"
#include "TestSupport.h"
#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <memory>

namespace {
void ClickCancel(QDialog& dialog) {
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    QVERIFY(buttons);
    buttons->button(QDialogButtonBox::Cancel)->click();
}
} // namespace

class TaskWindowsQtTest : public QObject {
    Q_OBJECT
private slots:
    void executionWindowShowsTheRecordAndAsksBeforeCancelling() {
        uikit::QtBackend ui;
        uikit::ScopedBackend scoped(ui);
        CALLBACKSTRUCT_ record;
        jobkit::CDlgTaskCancel window(&record.bContinue, nullptr);
        QCOMPARE(window.windowTitle(), QStringLiteral("Quillmark is working..."));
        window.SetCountFormat("%d of %d files has been processed");
        window.SetTotal(5);
        record.pDialog = static_cast<jobkit::ITaskCancelWindow*>(&window);
        record.nCurrent = 2;
        record.csPhase = "Deleting files...";
        CTaskManager::ExecCallBack(&record);
        QCOMPARE(window.CountText(), QStringLiteral("2 of 5 files has been processed"));
        QCOMPARE(window.PhaseText(), QStringLiteral("Deleting files..."));
        QCOMPARE(window.Bar()->maximum(), 5);
        window.Progress()->step();
        QCOMPARE(window.Bar()->value(), 1);

        auto answer = [](QMessageBox::StandardButton button) {
            return std::make_unique<qmtest::ModalAnswer>([button](QWidget* modal) -> QString {
                auto* box = qobject_cast<QMessageBox*>(modal);
                if (!box || !box->button(button))
                    return QStringLiteral("no message box with the button to click");
                const QString problem = qmtest::Differs("question", box->text(), "Break operation?");
                box->button(button)->click();
                return problem;
            });
        };
        auto no = answer(QMessageBox::No);
        ClickCancel(window);
        QVERIFY2(no->problem().isEmpty(), qPrintable(no->problem()));
        QCOMPARE(record.bContinue, 1);
        QVERIFY(window.isVisible());
        auto yes = answer(QMessageBox::Yes);
        ClickCancel(window);
        QVERIFY2(yes->problem().isEmpty(), qPrintable(yes->problem()));
        QCOMPARE(record.bContinue, 0);
        QVERIFY(!window.isVisible());
    }

    void waitWindowCountsWhileListingAndCancelStopsTheWalk() {
        const std::string root = qmtest::MakeTempDir("qtwait");
        for (int i = 0; i < 3; ++i)
            qmtest::WriteFile(root + "/f" + std::to_string(i) + ".txt", "x");
        jobkit::QtTaskWindows windows;
        jobkit::SetTaskWindows(&windows);
        CActionDeleteFile task(root);
        task.m_csMask = "|*.txt|";
        CTaskManager manager;
        manager.AddTask(&task);
        manager.BuildList(1);
        jobkit::SetTaskWindows(nullptr);
        QCOMPARE(manager.m_mapFiles.size(), std::size_t{3});

        int flag = 1;
        jobkit::CDlgTaskWait wait(&flag, nullptr);
        QCOMPARE(wait.windowTitle(), QStringLiteral("Building file list..."));
        wait.SetFoundCount(7);
        wait.SetSearchFolder(root + "/");
        QCOMPARE(wait.FoundText(), QStringLiteral("7"));
        QCOMPARE(wait.FolderText(), QString::fromStdString(root + "/"));
        ClickCancel(wait);
        QCOMPARE(flag, 0);
    }
};

QM_QTEST_MAIN(TaskWindowsQtTest)
#include "TaskWindowsQtTest.moc"
