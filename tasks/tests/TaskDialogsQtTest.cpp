// The task dialogs driven as a user would: the schedule editor, the property grid and its file
// mask windows, the new-task wizard for each kind of task and the mail client's advanced settings.
#include "misckit/Registry.h"
#include "netkit/dialogs/AdvancedMail.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "tasks/dialogs/DlgFileMask.h"
#include "tasks/dialogs/DlgScheduleTask.h"
#include "tasks/dialogs/PropertyListBox.h"
#include "tasks/dialogs/TaskWindowsQt.h"
#include "tasks/dialogs/WizSheet.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "uikit/ScriptedBackend.h"

#include "ModalAnswer.h"
#include "QtTestMain.h"
#include "TestSupport.h"
#include "WindowChecks.h"
#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTreeWidget>

#include <ctime>
#include <filesystem>
#include <memory>

namespace {

std::int64_t Secs(QDate date, QTime time) {
    return static_cast<std::int64_t>(QDateTime(date, time).toSecsSinceEpoch());
}

// A fixed "now": 2026-03-10 14:25:36 local time.
std::int64_t FixedNow() {
    return Secs(QDate(2026, 3, 10), QTime(14, 25, 36));
}

void ClickOk(QDialog& dialog) {
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    QVERIFY(buttons);
    buttons->button(QDialogButtonBox::Ok)->click();
}

QPushButton* ButtonNamed(QWidget& window, const QString& text) {
    for (QPushButton* b : window.findChildren<QPushButton*>())
        if (b->text() == text || b->accessibleName() == text)
            return b;
    return nullptr;
}

// The last message the scripted back-end was shown, as "caption|text".
QString LastMessage(const uikit::ScriptedBackend& ui) {
    if (ui.messages().empty())
        return {};
    const auto& m = ui.messages().back();
    return QString::fromStdString(m.caption + "|" + m.text);
}

std::unique_ptr<qmtest::ModalAnswer> TypeIntoNextDialog(std::function<void(QDialog&)> fill) {
    return std::make_unique<qmtest::ModalAnswer>([fill](QWidget* modal) -> QString {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog)
            return QStringLiteral("no dialog");
        fill(*dialog);
        dialog->accept();
        return {};
    });
}

} // namespace

class TaskDialogsQtTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        ui.clear();
        platform::SetClockForTesting([] { return FixedNow(); });
    }
    void cleanup() { platform::ResetClock(); }

    // ---- schedule editor ------------------------------------------------------------------------

    void scheduleEditorGivesANewTaskTheDefaultsAndTheStartupEntry() {
        CActionDeleteFile task("/tmp/x");
        jobkit::CDlgScheduleTask dialog(&task);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Schedule Task"));
        QCOMPARE(dialog.RunChoice()->currentText(), QStringLiteral("Regularly"));
        QCOMPARE(dialog.TimeFrameChoice()->currentText(), QStringLiteral("Day"));
        QCOMPARE(dialog.Interval()->value(), 1);
        QCOMPARE(dialog.Interval()->maximum(), 365);
        QVERIFY(dialog.HourChoice()->isVisible());
        QVERIFY(!dialog.MinuteChoice()->isVisible());
        QVERIFY(!dialog.StartTime()->isVisible());
        QVERIFY(dialog.DayBox(1)->isChecked() && dialog.DayBox(7)->isChecked());
        QVERIFY(dialog.HourBox(23)->isChecked() && dialog.MonthBox(12)->isChecked());
        QVERIFY(!dialog.EndBox()->isChecked());
        QVERIFY(!dialog.EndDate()->isVisible());
        QCOMPARE(dialog.EndDate()->date(), QDate(2026, 3, 11));
        QVERIFY(dialog.StartupBox()->isChecked());
        qmtest::CheckWindow(dialog, "schedule-editor-new-task");
        ClickOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(task.m_nRunType, 1);
        QCOMPARE(task.m_nTimeFrame, 2);
        QCOMPARE(task.m_nInterval, 1);
        QCOMPARE(task.m_nHour, 0);
        QCOMPARE(task.m_vDays, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7}));
        QCOMPARE(task.m_tStart, FixedNow());
        QCOMPARE(task.m_bHasEnd, 0);
        std::string exec;
        QVERIFY(platform::ReadAutostartEntry({"quillmark-scheduler", "Quillmark Scheduler"}, exec));
        QVERIFY(exec.find("keeper") != std::string::npos);
        QVERIFY(exec.find("startup") != std::string::npos);
    }

    void scheduleEditorRefusesAnEndBeforeTheStartOrInThePast() {
        CActionDeleteFile task("/tmp/x");
        jobkit::CDlgScheduleTask dialog(&task);
        dialog.show();
        dialog.TimeFrameChoice()->setCurrentText("Hour");
        QVERIFY(dialog.StartTime()->isVisible());
        QCOMPARE(dialog.EndBox()->text(), QStringLiteral("End time:"));
        dialog.EndBox()->setChecked(true);
        QVERIFY(dialog.EndDate()->isVisible() && dialog.EndTime()->isVisible());
        dialog.EndDate()->setDate(QDate(2026, 3, 9));
        ClickOk(dialog);
        QCOMPARE(LastMessage(ui), QStringLiteral("Error|End time is earlier than start time."));
        QCOMPARE(ui.messages().back().icon, uikit::Icon::Warning);
        QVERIFY(dialog.isVisible());
        QCOMPARE(task.m_nRunType, 0);

        dialog.StartDate()->setDate(QDate(2026, 3, 1));
        dialog.EndDate()->setDate(QDate(2026, 3, 5));
        ClickOk(dialog);
        QCOMPARE(LastMessage(ui), QStringLiteral("Error|Wrong end time."));
        QVERIFY(dialog.isVisible());
        qmtest::CheckWindow(dialog, "schedule-editor-hourly-with-end");

        dialog.EndDate()->setDate(QDate(2026, 4, 1));
        dialog.MinuteChoice()->setCurrentIndex(45);
        dialog.StartupBox()->setChecked(false);
        ClickOk(dialog);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(task.m_nTimeFrame, 1);
        QCOMPARE(task.m_nMinute, 45);
        QCOMPARE(task.m_vHours.size(), std::size_t{24});
        QCOMPARE(task.m_bHasEnd, 1);
        QCOMPARE(task.m_tEnd, Secs(QDate(2026, 4, 1), QTime(14, 25, 36)));
        std::string exec;
        QVERIFY(!platform::ReadAutostartEntry({"quillmark-scheduler", "Quillmark Scheduler"}, exec));
    }

    void scheduleEditorKeepsAStoredRuleAndChoicesResetTheInterval() {
        CActionEncryptFile task("/tmp/x");
        task.m_nRunType = 1;
        task.m_nTimeFrame = 3; // weekly
        task.m_nInterval = 3;
        task.m_nHour = 22;
        task.m_vDays = {2, 4};
        task.m_vMonths = {1};
        task.m_tStart = Secs(QDate(2026, 1, 5), QTime(6, 30, 0));
        jobkit::CDlgScheduleTask dialog(&task);
        dialog.show();
        QCOMPARE(dialog.TimeFrameChoice()->currentText(), QStringLiteral("Week"));
        QCOMPARE(dialog.Interval()->value(), 3);
        QCOMPARE(dialog.HourChoice()->currentIndex(), 22);
        QVERIFY(dialog.DayBox(2)->isChecked() && !dialog.DayBox(3)->isChecked());

        dialog.TimeFrameChoice()->setCurrentText("Month");
        QCOMPARE(dialog.Interval()->value(), 1);
        QCOMPARE(dialog.Interval()->maximum(), 12);
        QVERIFY(dialog.DayChoice()->isVisible());
        dialog.DayChoice()->setCurrentText("Last");
        dialog.MonthBox(6)->setChecked(true);
        dialog.Interval()->setValue(2);
        qmtest::CheckWindow(dialog, "schedule-editor-monthly");
        ClickOk(dialog);
        QCOMPARE(task.m_nDay, 32);
        QCOMPARE(task.m_nInterval, 2);
        QCOMPARE(task.m_vMonths, (std::vector<std::int32_t>{1, 6}));
        QCOMPARE(task.m_vDays, (std::vector<std::int32_t>{2, 4}));
        QCOMPARE(task.m_tStart, Secs(QDate(2026, 1, 5), QTime(6, 30, 0)));
    }

    void scheduleEditorOnceChecksTheEndButStoresNone() {
        CActionEncryptFile task("/tmp/x");
        jobkit::CDlgScheduleTask dialog(&task);
        dialog.show();
        dialog.RunChoice()->setCurrentText("Once");
        QVERIFY(!dialog.Interval()->isVisible());
        QVERIFY(dialog.StartTime()->isVisible());
        dialog.EndBox()->setChecked(true);
        dialog.EndDate()->setDate(QDate(2026, 3, 1));
        ClickOk(dialog);
        QCOMPARE(LastMessage(ui), QStringLiteral("Error|End time is earlier than start time."));
        dialog.EndDate()->setDate(QDate(2026, 5, 1));
        dialog.StartTime()->setTime(QTime(9, 15, 0));
        ClickOk(dialog);
        QCOMPARE(task.m_nRunType, 2);
        QCOMPARE(task.m_nTimeFrame, 5);
        QCOMPARE(task.m_bHasEnd, 0);
        QCOMPARE(task.m_tEnd, std::int64_t{0});
        QCOMPARE(task.m_tStart, Secs(QDate(2026, 3, 10), QTime(9, 15, 0)));

        jobkit::CDlgScheduleTask startup(&task);
        startup.show();
        startup.RunChoice()->setCurrentText("At startup");
        QVERIFY(!startup.EndBox()->isVisible());
        qmtest::CheckWindow(startup, "schedule-editor-at-startup");
        ClickOk(startup);
        QCOMPARE(task.m_nRunType, 3);
        QCOMPARE(task.m_nTimeFrame, 6);
    }

    // ---- property grid --------------------------------------------------------------------------

    void propertyGridShowsMaskedPasswordsAndStoresEditsInTheTask() {
        CActionEncryptFile task("/tmp/x");
        task.m_csEncPassword = "";
        jobkit::CDlgCurrentItem dialog(&task);
        dialog.show();
        jobkit::PropertyModel* model = dialog.Grid()->Model();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model->rowCount(), static_cast<int>(task.m_arProps.size()));
        int passwordRow = -1, nameRow = -1, algorithmRow = -1;
        for (int r = 0; r < model->rowCount(); ++r) {
            const CPropertyItem* item = model->Item(r);
            if (item->m_nEditorKind == CPropertyItem::Masked)
                passwordRow = r;
            if (item->m_pTarget == &task.m_csName)
                nameRow = r;
            if (item->m_pTarget == &task.m_nAlgorithm)
                algorithmRow = r;
        }
        QVERIFY(passwordRow >= 0 && nameRow >= 0 && algorithmRow >= 0);
        QCOMPARE(model->index(passwordRow, 1).data().toString(), QStringLiteral("********"));

        // A user edits the name in place: select the row, type, Enter.
        dialog.Grid()->setFocus();
        dialog.Grid()->setCurrentIndex(model->index(nameRow, 0));
        auto* edit = qobject_cast<QLineEdit*>(dialog.Grid()->indexWidget(model->index(nameRow, 1)));
        QVERIFY(edit && edit->isVisible());
        edit->selectAll();
        QTest::keyClicks(edit, "Weekly reports");
        QTest::keyClick(edit, Qt::Key_Return);
        QTRY_COMPARE(task.m_csName, std::string("Weekly reports")); // the editor commits after Enter

        dialog.Grid()->setCurrentIndex(model->index(passwordRow, 1));
        edit = qobject_cast<QLineEdit*>(dialog.Grid()->indexWidget(model->index(passwordRow, 1)));
        QVERIFY(edit);
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QTest::keyClicks(edit, "hunter22");
        QTest::keyClick(edit, Qt::Key_Return);
        QTRY_COMPARE(task.m_csEncPassword, std::string("hunter22"));
        QCOMPARE(model->index(passwordRow, 1).data().toString(), QStringLiteral("********"));

        dialog.Grid()->setCurrentIndex(model->index(algorithmRow, 1));
        auto* choice = qobject_cast<QComboBox*>(dialog.Grid()->indexWidget(model->index(algorithmRow, 1)));
        QVERIFY(choice);
        QCOMPARE(choice->currentIndex(), task.m_nAlgorithm);
        qmtest::CheckWindow(dialog, "task-properties");
        choice->setCurrentIndex(3);
        emit choice->activated(3);
        QCOMPARE(task.m_nAlgorithm, 3);

        // An int row given text without leading digits stores 0.
        model->setData(model->index(algorithmRow, 1), QStringLiteral("x12"), Qt::EditRole);
        QCOMPARE(task.m_nAlgorithm, 0);
        dialog.Grid()->DisplayItem(nullptr);
        QCOMPARE(model->rowCount(), 0);
        dialog.reject();
        QCOMPARE(task.m_csName, std::string("Weekly reports"));
    }

    void fileMaskWindowSortsTypesFromCriteriaAndRefusesRepeats() {
        const std::string folder = qmtest::MakeTempDir("types");
        qmtest::WriteFile(folder + "/Report.PDF", "x");
        jobkit::CDlgFileMask dialog("|*.doc|a?.txt|*.x*|");
        dialog.show();
        QCOMPARE(dialog.Types()->topLevelItemCount(), 1);
        QCOMPARE(dialog.Types()->topLevelItem(0)->text(0), QStringLiteral("doc"));
        QCOMPARE(dialog.Criteria()->count(), 2);

        ui.queueFiles(std::vector<std::string>{folder + "/Report.PDF"});
        ButtonNamed(dialog, "&Add...")->click();
        QCOMPARE(QString::fromStdString(ui.fileRequests().back().title), QStringLiteral("Select file type"));
        QCOMPARE(QString::fromStdString(dialog.Mask()), QStringLiteral("|*.doc|a?.txt|*.x*|*.pdf|"));
        ui.queueFiles(std::vector<std::string>{folder + "/Report.PDF"});
        ButtonNamed(dialog, "&Add...")->click();
        QCOMPARE(LastMessage(ui), QStringLiteral("Quillmark|This file type is already selected: *.pdf"));

        dialog.Types()->topLevelItem(0)->setSelected(true);
        ButtonNamed(dialog, "&Remove")->click();
        QCOMPARE(QString::fromStdString(dialog.Mask()), QStringLiteral("|a?.txt|*.x*|*.pdf|"));

        dialog.Criteria()->clearSelection();
        ButtonNamed(dialog, "&Edit...")->click();
        QCOMPARE(LastMessage(ui), QStringLiteral("Quillmark|Mask is not selected."));

        QString title;
        auto add = TypeIntoNextDialog([&title](QDialog& d) {
            title = d.windowTitle();
            qmtest::CheckWindow(d, "add-file-mask");
            d.findChild<QLineEdit*>()->setText("Data*.BAK");
        });
        ButtonNamed(dialog, "A&dd...")->click();
        QVERIFY2(add->problem().isEmpty(), qPrintable(add->problem()));
        QCOMPARE(title, QStringLiteral("Add file mask"));
        QCOMPARE(QString::fromStdString(dialog.Mask()), QStringLiteral("|a?.txt|*.x*|*.pdf|data*.bak|"));
        auto again = TypeIntoNextDialog([](QDialog& d) { d.findChild<QLineEdit*>()->setText("data*.bak"); });
        ButtonNamed(dialog, "A&dd...")->click();
        QVERIFY2(again->problem().isEmpty(), qPrintable(again->problem()));
        QCOMPARE(LastMessage(ui), QStringLiteral("Quillmark|This file mask already selected: data*.bak"));

        dialog.Criteria()->setCurrentRow(0);
        auto edit = TypeIntoNextDialog([&title](QDialog& d) {
            title = d.windowTitle();
            d.findChild<QLineEdit*>()->setText("b?.txt");
        });
        ButtonNamed(dialog, "&Edit...")->click();
        QVERIFY2(edit->problem().isEmpty(), qPrintable(edit->problem()));
        QCOMPARE(title, QStringLiteral("Edit file mask"));
        QCOMPARE(QString::fromStdString(dialog.Mask()), QStringLiteral("|*.x*|*.pdf|data*.bak|b?.txt|"));
        qmtest::CheckWindow(dialog, "file-mask");

        for (int i = 0; i < dialog.Criteria()->count(); ++i)
            dialog.Criteria()->item(i)->setSelected(true);
        ButtonNamed(dialog, "Re&move")->click();
        dialog.Types()->selectAll();
        ButtonNamed(dialog, "&Remove")->click();
        QCOMPARE(QString::fromStdString(dialog.Mask()), QString());
    }

    // ---- new-task wizard --------------------------------------------------------------------------

    void wizardBuildsAnEncryptTaskFromTheChosenTypes() {
        const std::string folder = qmtest::MakeTempDir("wizenc");
        qmtest::WriteFile(folder + "/a.DOC", "x");
        qmtest::WriteFile(folder + "/b.txt", "x");
        qmtest::WriteFile(folder + "/c.txt", "x");
        CQMRegistry().WriteBYTE("Mode", 14); // Blowfish (1), CFB (1)... code 14: algorithm 3, mode 1
        jobkit::CWizSheet wizard(0);
        wizard.show();
        auto* first = qobject_cast<jobkit::CPageSelectTask*>(wizard.page(jobkit::CWizSheet::SelectTask));
        QCOMPARE(first->title(), QStringLiteral("Step 1 : Select action and folder"));
        QVERIFY(wizard.button(QWizard::CustomButton1)->isVisible());
        first->Folder()->setText(QString::fromStdString(folder + "/missing"));
        wizard.next();
        QCOMPARE(
            LastMessage(ui),
            QStringLiteral("Quillmark|The directory does not exists. Please select existing directory."));
        QCOMPARE(wizard.currentId(), int(jobkit::CWizSheet::SelectTask));
        qmtest::CheckWindow(wizard, "wizard-step1");
        first->Folder()->setText(QString::fromStdString(folder));
        first->Name()->setText("Documents");
        wizard.next();
        QCOMPARE(wizard.currentId(), int(jobkit::CWizSheet::FileTypes));
        auto* types = qobject_cast<jobkit::CPageFileTypes*>(wizard.currentPage());
        QCOMPARE(types->Found()->count(), 2);
        wizard.next();
        QCOMPARE(
            LastMessage(ui),
            QStringLiteral("Quillmark|You should select types of files which must be affected by the task."));
        types->Found()->clearSelection();
        ButtonNamed(wizard, "Add the selected type")->click();
        QCOMPARE(LastMessage(ui), QStringLiteral("Quillmark|Select an item in the left list box."));
        ButtonNamed(wizard, "Remove the selected type")->click();
        QCOMPARE(LastMessage(ui), QStringLiteral("Quillmark|Select an item in the right list box."));
        ButtonNamed(wizard, "Add all types")->click();
        QCOMPARE(types->Chosen()->count(), 2);
        qmtest::CheckWindow(wizard, "wizard-file-types");

        ui.queueText(std::string("correct horse"));
        ui.queueText(std::string("correct horse"));
        wizard.next();
        auto* enc = qobject_cast<jobkit::CPageEncProps*>(wizard.currentPage());
        QVERIFY(enc);
        QCOMPARE(enc->title(), QStringLiteral("Step 3: Encryption preferences"));
        QCOMPARE(enc->Algorithm()->currentIndex(), 3);
        QCOMPARE(enc->Mode()->currentIndex(), 1);
        QTRY_VERIFY(enc->AskedOnOpen());
        QCOMPARE(ui.textRequests().size(), std::size_t{2});
        enc->Destination()->setText(QString::fromStdString(folder + "/nowhere"));
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(LastMessage(ui),
                 QStringLiteral("Quillmark|The destination directory does not exists. Please "
                                "select existing directory."));
        enc->Destination()->setText(QString::fromStdString(folder));
        enc->ArchiveYes()->setChecked(true);
        enc->ArchiveName()->setText(QString::fromStdString(folder + "/no/such/a.qma"));
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(LastMessage(ui), QStringLiteral("Quillmark|Archive name contains folder that does not "
                                                 "exists.\nArchive must be in an existing folder."));
        enc->ArchiveName()->setText(QString::fromStdString(folder + "/all.qma"));
        enc->Algorithm()->setCurrentIndex(0);
        enc->Wipe()->setChecked(true);
        qmtest::CheckWindow(wizard, "wizard-encryption");
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(wizard.result(), int(QDialog::Accepted));
        int kind = 0;
        std::unique_ptr<CAction> built(wizard.TakeTask(kind));
        QCOMPARE(kind, 1);
        auto* task = dynamic_cast<CActionEncryptFile*>(built.get());
        QVERIFY(task);
        QCOMPARE(QString::fromStdString(task->m_csMask), QStringLiteral("|*.doc|*.txt|"));
        QCOMPARE(task->m_csName, std::string("Documents"));
        QCOMPARE(task->m_csEncPassword, std::string("correct horse"));
        QCOMPARE(task->m_csArchive, folder + "/all.qma");
        QCOMPARE(task->m_bArchive, 1);
        QCOMPARE(task->m_bWipe, 1);
        QCOMPARE(task->m_nAlgorithm, 0);
        QCOMPARE(task->m_nMode, 1);
        QCOMPARE(int(CQMRegistry().GetMode()), 2);
    }

    void wizardRefusesAMissingPasswordOrKeyFile() {
        const std::string folder = qmtest::MakeTempDir("wizkey");
        qmtest::WriteFile(folder + "/a.txt", "x");
        jobkit::CWizSheet wizard(0);
        wizard.show();
        qobject_cast<jobkit::CPageSelectTask*>(wizard.currentPage())
            ->Folder()
            ->setText(QString::fromStdString(folder));
        wizard.next();
        ButtonNamed(wizard, "Add all types")->click();
        ui.queueText(std::nullopt); // the password question is cancelled
        wizard.next();
        auto* enc = qobject_cast<jobkit::CPageEncProps*>(wizard.currentPage());
        QTRY_VERIFY(enc->AskedOnOpen());
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(LastMessage(ui), QStringLiteral("Quillmark|Please set password."));
        QCOMPARE(enc->SecretButton()->text(), QStringLiteral("Set &password"));
        ui.queueFiles(std::nullopt);
        ui.queueText(std::nullopt);
        enc->UseKey()->setChecked(true);
        QCOMPARE(enc->SecretButton()->text(), QStringLiteral("Set &key file"));
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(LastMessage(ui), QStringLiteral("Quillmark|Please select the existing key file."));
        QVERIFY(wizard.isVisible());
        wizard.reject();
        int kind = -1;
        QVERIFY(!wizard.TakeTask(kind));
    }

    void wizardBuildsADeleteTaskAndAnEmptyOne() {
        const std::string folder = qmtest::MakeTempDir("wizdel");
        qmtest::WriteFile(folder + "/old.log", "x");
        {
            jobkit::CWizSheet wizard(0);
            wizard.show();
            auto* first = qobject_cast<jobkit::CPageSelectTask*>(wizard.currentPage());
            first->Kind(2)->setChecked(true);
            first->Folder()->setText(QString::fromStdString(folder));
            first->Subfolders()->setChecked(true);
            wizard.next();
            ButtonNamed(wizard, "Add all types")->click();
            wizard.next();
            auto* del = qobject_cast<jobkit::CPageDelProps*>(wizard.currentPage());
            QCOMPARE(del->title(), QStringLiteral("Step 3: Deletion options"));
            QVERIFY(del->Type(3)->isChecked());
            QCOMPARE(del->Rounds()->value(), 3);
            del->Rounds()->setValue(7);
            qmtest::CheckWindow(wizard, "wizard-deletion");
            del->Type(2)->setChecked(true);
            QVERIFY(!del->Rounds()->isEnabled());
            wizard.back();
            QCOMPARE(wizard.currentId(), int(jobkit::CWizSheet::FileTypes));
            wizard.next();
            wizard.button(QWizard::FinishButton)->click();
            int kind = 0;
            std::unique_ptr<CAction> built(wizard.TakeTask(kind));
            auto* task = dynamic_cast<CActionDeleteFile*>(built.get());
            QVERIFY(task);
            QCOMPARE(kind, 2);
            QCOMPARE(task->m_nDelType, 2);
            QCOMPARE(task->m_nWipeRounds, 7);
            QCOMPARE(task->m_bSubfolders, 1);
            QCOMPARE(QString::fromStdString(task->m_csMask), QStringLiteral("|*.log|"));
        }
        {
            jobkit::CWizSheet wizard(0);
            wizard.show();
            auto* first = qobject_cast<jobkit::CPageSelectTask*>(wizard.currentPage());
            first->Kind(2)->setChecked(true);
            first->Name()->setText("ignored");
            ui.queueFolder(folder); // no folder typed: the chooser opens first
            wizard.button(QWizard::CustomButton1)->click();
            QCOMPARE(wizard.result(), int(QDialog::Accepted));
            int kind = 0;
            std::unique_ptr<CAction> built(wizard.TakeTask(kind));
            auto* task = dynamic_cast<CActionDeleteFile*>(built.get());
            QVERIFY(task);
            QCOMPARE(task->m_csLocation, folder);
            QVERIFY(task->m_csMask.empty());
            QVERIFY(task->m_csName.empty());
        }
        jobkit::CWizSheet hidden(1);
        hidden.show();
        QVERIFY(!hidden.button(QWizard::CustomButton1)->isVisible());
    }

    void wizardBuildsAMailTaskAfterItsChecks() {
        jobkit::CWizSheet wizard(0);
        wizard.show();
        auto* first = qobject_cast<jobkit::CPageSelectTask*>(wizard.currentPage());
        first->Kind(3)->setChecked(true);
        QVERIFY(!first->Folder()->isEnabled());
        first->Name()->setText("Notice");
        // The message window opens as the page is shown; a too long subject is refused first.
        auto message = TypeIntoNextDialog([](QDialog& d) {
            auto* text = qobject_cast<jobkit::CDlgMessageText*>(&d);
            text->Subject()->setText(QString(201, 'x'));
            text->accept();
            text->Subject()->setText("Weekly");
            text->Text()->setPlainText("All done.");
            qmtest::CheckWindow(d, "wizard-message-text");
        });
        wizard.next();
        QCOMPARE(wizard.currentId(), int(jobkit::CWizSheet::SendmailProps));
        QTRY_VERIFY(message->answered());
        QVERIFY2(message->problem().isEmpty(), qPrintable(message->problem()));
        QCOMPARE(
            LastMessage(ui),
            QStringLiteral("Quillmark|The subject is too long. The maximum subject length is 200 symbols."));
        auto* mail = qobject_cast<jobkit::CPageSendmailProps*>(wizard.currentPage());
        QCOMPARE(mail->Encoding()->currentText(), QStringLiteral("UTF-8 (utf-8)"));
        const struct {
            const char* to;
            const char* sender;
            const char* server;
            const char* expected;
        } refusals[] = {
            {"", "", "",
             "You need to specify the recipients's email address or a file with the list of recipients."},
            {"bob", "", "", "Unsupported format of the recient's email address."},
            {"bob@example", "", "", "Unsupported format of the recient's email address."},
            {"bob@example.org", "", "", "You need to specify the sender's email address."},
            {"bob@example.org", "me@example.org", "", "You need to specify mail server."},
        };
        for (const auto& r : refusals) {
            mail->SendTo()->setText(r.to);
            mail->SenderEmail()->setText(r.sender);
            mail->Server()->setText(r.server);
            wizard.button(QWizard::FinishButton)->click();
            QCOMPARE(LastMessage(ui), QStringLiteral("Quillmark|") + r.expected);
            QVERIFY(wizard.isVisible());
        }
        mail->SendTo()->clear();
        mail->UseList()->setChecked(true);
        mail->ListFile()->setText("/tmp/list.txt");
        mail->Server()->setText("mail.example.org");
        qmtest::CheckWindow(wizard, "wizard-mail");
        wizard.button(QWizard::FinishButton)->click();
        int kind = 0;
        std::unique_ptr<CAction> built(wizard.TakeTask(kind));
        auto* task = dynamic_cast<CActionSendEmail*>(built.get());
        QVERIFY(task);
        QCOMPARE(kind, 3);
        QCOMPARE(task->m_csName, std::string("Notice"));
        QCOMPARE(task->m_csSubject, std::string("Weekly"));
        QCOMPARE(task->m_csMessage, std::string("All done."));
        QCOMPARE(task->m_csRecipientsFile, std::string("/tmp/list.txt"));
        QCOMPARE(task->m_csServer, std::string("mail.example.org"));
        QCOMPARE(task->m_csEncoding, std::string("UTF-8 (utf-8)"));
    }

    void newTaskWizCancelledGivesNoTask() {
        jobkit::QtTaskWindows windows;
        jobkit::SetTaskWindows(&windows);
        CTaskManager manager;
        auto cancel = std::make_unique<qmtest::ModalAnswer>([](QWidget* modal) -> QString {
            auto* wizard = qobject_cast<jobkit::CWizSheet*>(modal);
            if (!wizard)
                return QStringLiteral("no wizard");
            wizard->reject();
            return {};
        });
        QVERIFY(!manager.NewTaskWiz(0));
        jobkit::SetTaskWindows(nullptr);
        QVERIFY2(cancel->problem().isEmpty(), qPrintable(cancel->problem()));
        QVERIFY(manager.m_lstEncrypt.empty() && manager.m_lstDelete.empty() && manager.m_lstSendMail.empty());
    }

    // ---- mail settings ----------------------------------------------------------------------------

    void advancedMailSettingsAreKeptInTheSettings() {
        std::string via = "127.0.0.1", encoding = "UTF-8 (utf-8)", login, password;
        int auth = 0;
        auto answer = TypeIntoNextDialog([](QDialog& d) {
            auto* mail = qobject_cast<NetKit::Mail::CDlgAdvancedMail*>(&d);
            mail->Auth()->setChecked(true);
            mail->Login()->setText("robot");
            mail->Password()->setText("pw");
            mail->Port()->setValue(2525);
            mail->Security()->setCurrentIndex(1);
            mail->Timeout()->setValue(30);
            mail->PlainAuth()->setChecked(true);
            qmtest::CheckWindow(d, "advanced-mail-settings");
        });
        QCOMPARE(NetKit::Mail::ShowAdvancedMailUI(via, encoding, login, password, auth), 1);
        QVERIFY2(answer->problem().isEmpty(), qPrintable(answer->problem()));
        QCOMPARE(auth, 1);
        QCOMPARE(login, std::string("robot"));
        QCOMPARE(password, std::string("pw"));
        const CQMRegistry settings;
        QCOMPARE(settings.GetMailPort(), 2525u);
        QCOMPARE(settings.GetMailSecurity(), 1u);
        QCOMPARE(settings.GetMailTimeout(), 30u);
        QCOMPARE(int(settings.GetMailPlainAuth()), 1);
    }

private:
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scoped{ui};
};

QM_QTEST_MAIN(TaskDialogsQtTest)
#include "TaskDialogsQtTest.moc"
