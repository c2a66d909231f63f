// The Tasks and Schedule workspaces driven as a user drives them: the trees' labels and pictures,
// tasks of each kind made with the wizard from the main window, edited and deleted, "Save
// changes?" before the list is set aside, a run with its log and the "Continue?" question, and a
// task scheduled from the Tasks view that a real keeper runs while the Schedule view watches.
#include "center/core/CenterState.h"
#include "center/core/TaskViewText.h"
#include "center/docking/WorkspaceBar.h"
#include "center/views/DescriptionPane.h"
#include "center/views/ListFilter.h"
#include "center/views/NavigationTrees.h"
#include "center/windows/CenterStore.h"
#include "center/windows/MainWindow.h"
#include "center/windows/TaskCommands.h"
#include "corecrypt/Primitives.h"
#include "misckit/Keeper.h"
#include "tasks/dialogs/DlgScheduleTask.h"
#include "tasks/dialogs/PropertyListBox.h"
#include "tasks/dialogs/TaskWindowsQt.h"
#include "tasks/dialogs/WizSheet.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/schedlink/TaskSched.h"
#include "uikit/ScriptedBackend.h"
#include "uikit/UIException.h"

#include "ModalAnswer.h"
#include "QtTestMain.h"
#include "TestSupport.h"
#include "WindowChecks.h"
#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTimeEdit>

#include <csignal>
#include <filesystem>
#include <regex>

using center::Command;

namespace {

QStringList Labels(const QStandardItem* item) {
    QStringList labels;
    for (int r = 0; r < item->rowCount(); ++r)
        labels << item->child(r)->text();
    return labels;
}

QStandardItem* Child(QStandardItem* item, const QString& label) {
    for (int r = 0; r < item->rowCount(); ++r)
        if (item->child(r)->text() == label)
            return item->child(r);
    return nullptr;
}

QString LastMessage(const uikit::ScriptedBackend& ui) {
    return ui.messages().empty() ? QString() : QString::fromStdString(ui.messages().back().text);
}

void ProcessUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Drives the new-task wizard that the next command opens.
std::unique_ptr<qmtest::ModalAnswer> AnswerWizard(std::function<QString(jobkit::CWizSheet&)> drive) {
    return std::make_unique<qmtest::ModalAnswer>([drive](QWidget* modal) -> QString {
        auto* wizard = qobject_cast<jobkit::CWizSheet*>(modal);
        return wizard ? drive(*wizard) : QStringLiteral("no wizard");
    });
}

jobkit::CPageSelectTask* FirstPage(jobkit::CWizSheet& wizard) {
    return qobject_cast<jobkit::CPageSelectTask*>(wizard.page(jobkit::CWizSheet::SelectTask));
}

bool Activate(QWidget& window) {
    // After a modal window closed the offscreen platform leaves no window active.
    QApplication::setActiveWindow(&window);
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Ends the keepers this test started (their pids stand in the log's start lines).
void StopKeepers() {
    const std::string log = qmtest::KeeperLog();
    static const std::regex started(R"(\[(\d+)\] keeper started)");
    for (std::sregex_iterator it(log.begin(), log.end(), started), end; it != end; ++it)
        ::kill(static_cast<pid_t>(std::stol((*it)[1])), SIGTERM);
    qmtest::WaitFor([] { return !misckit::IsKeeperRunning(); }, 5000);
}

} // namespace

class TaskViewsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1}); }
    void init() {
        ui.clear();
        center::TheCenter().m_taskList.Reset();
        jobkit::SetTaskWindows(&windows);
    }
    void cleanup() { jobkit::SetTaskWindows(nullptr); }

    void theTaskTreeGroupsByKindBelowFolderChainsAndSenders() {
        uikit::ScopedBackend scoped(ui);
        center::CTaskTree tree;
        QAbstractItemModelTester tester(tree.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        CTaskManager tasks;
        tree.Fill(tasks);
        QStandardItemModel* items = tree.Items();
        QCOMPARE(items->rowCount(), 3);
        for (int g = 0; g < 3; ++g) {
            QCOMPARE(Labels(tree.Group(g)), QStringList{"No tasks"});
            QVERIFY(items->data(tree.Group(g)->index(), Qt::FontRole).value<QFont>().bold());
            QVERIFY(tree.isExpanded(tree.Group(g)->index()));
        }
        QCOMPARE(tree.Group(0)->text() + tree.Group(1)->text() + tree.Group(2)->text(),
                 QStringLiteral("EncryptSendDelete"));

        CActionEncryptFile a("/srv/Data/A");
        a.m_csMask = "|*.doc|*.txt|*.xls|*.ppt|"; // 25 characters, no name
        CActionEncryptFile b("/srv/Data/B/");
        b.m_csName = "Second";
        b.m_csMask = "|*.txt|";
        b.m_bWipe = 1;
        CActionDeleteFile old("/srv/logs");
        old.m_csMask = "|*.log|";
        old.m_nDelType = 1;
        CActionSendEmail mail;
        mail.m_csSenderEmail = "me@example.org";
        mail.m_csMessage = "Report 2030 is ready";
        mail.m_csAttachment = "/srv/report.pdf";
        for (CAction* t : std::initializer_list<CAction*>{&a, &b, &old, &mail})
            tasks.AddTask(t);
        tree.Fill(tasks);
        QStandardItem* root = Child(tree.Group(0), "File System (/)");
        QVERIFY(root);
        QCOMPARE(root->data(center::kImageRole).toInt(), int(center::kImageDrive));
        QStandardItem* data = Child(Child(root, "srv"), "Data");
        QVERIFY(data);
        QCOMPARE(Labels(data), QStringList({"A", "B"}));
        QCOMPARE(data->data(center::kImageRole).toInt(), int(center::kImageFolderOpen)); // expanded
        QStandardItem* nodeA = Child(data, "A")->child(0);
        QCOMPARE(nodeA->text(), QStringLiteral("|*.doc|*.txt|*.xls|*..."));
        QCOMPARE(a.m_csName, std::string("|*.doc|*.txt|*.xls|*..."));
        QCOMPARE(nodeA->data(center::kImageRole).toInt(), int(center::kImageEncrypt));
        QCOMPARE(Child(data, "B")->child(0)->data(center::kImageRole).toInt(),
                 int(center::kImageEncryptWipe));
        QStandardItem* sender = Child(tree.Group(1), "me@example.org");
        QVERIFY(sender);
        QCOMPARE(sender->data(center::kImageRole).toInt(), int(center::kImageSender));
        QCOMPARE(sender->child(0)->text(), QStringLiteral("Report 2 is ready"));
        QCOMPARE(sender->child(0)->data(center::kImageRole).toInt(), int(center::kImageMailAttachment));
        QStandardItem* logs = Child(Child(Child(tree.Group(2), "File System (/)"), "srv"), "logs");
        QCOMPARE(logs->child(0)->data(center::kImageRole).toInt(), 6);
        tree.resize(320, 360);
        tree.show();
        qmtest::SaveWindowPicture(&tree, QStringLiteral("center-task-tree"));

        // Each Add refuses another kind: code 0 for a known task, 1 for anything else.
        try {
            tree.AddPathDeleteItem(&a);
            QFAIL("no exception");
        } catch (const CUIException& e) {
            QCOMPARE(e.GetCode(), 0);
            QCOMPARE(QString::fromStdString(e.GetReportText()),
                     QStringLiteral("CTaskTree::AddPathDeleteItem(): wrong type of item."));
        }
        QVERIFY_THROWS_EXCEPTION(CUIException, tree.AddSenderSendItem(&old));

        // Taking B away keeps A's chain; taking A away then empties the group up to "No tasks".
        tree.RemoveTask(&b);
        QCOMPARE(Labels(data), QStringList{"A"});
        QCOMPARE(tree.currentIndex(), Child(data, "A")->index()); // the nearest node left
        tree.RemoveTask(&a);
        QCOMPARE(Labels(tree.Group(0)), QStringList{"No tasks"});
        tree.RemoveTask(&mail);
        QCOMPARE(Labels(tree.Group(1)), QStringList{"No tasks"});
    }

    void theScheduleTreeCountsEachTimeFrame() {
        center::CSchedTree tree;
        QAbstractItemModelTester tester(tree.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        CTaskManager schedule;
        std::vector<std::unique_ptr<CActionEncryptFile>> owned;
        for (int frame : {2, 2, 2, 5}) {
            owned.push_back(std::make_unique<CActionEncryptFile>("/srv"));
            owned.back()->m_nTimeFrame = frame;
            schedule.AddTask(owned.back().get());
        }
        tree.SetCounts(schedule);
        QStandardItem* all = tree.Items()->item(0);
        QCOMPARE(all->text(), QStringLiteral("All (4)"));
        QCOMPARE(Labels(all), QStringList({"Minutely", "Hourly", "Daily (3)", "Weekly", "Monthly", "Once (1)",
                                           "Startup"}));
        QVERIFY(tree.AllSelected());
        QCOMPARE(tree.SelectedFilter(), QString());
        tree.setCurrentIndex(all->child(2)->index());
        QCOMPARE(tree.SelectedFilter(), QStringLiteral("Daily"));
    }

    void tasksOfEachKindAreMadeEditedAndDeletedFromTheMainWindow() {
        uikit::ScopedBackend scoped(ui);
        const std::string dir = qmtest::MakeTempDir("kinds");
        qmtest::WriteFile(dir + "/in/a.txt", "alpha");
        center::CCenterStore store(center::TheCenter());
        CMainFrame frame(&store);
        center::CTaskCommands commands(frame, center::TheCenter().m_taskList, center::TheCenter().m_schedule);
        frame.show();
        frame.Workspace()->Tabs()->setCurrentIndex(center::CWorkspaceBar::kTasks);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled"));
        center::CTaskTree* tree = frame.Workspace()->TaskTree();

        // An encrypt task through every page.
        ui.queueText(std::string("pass phrase"));
        ui.queueText(std::string("pass phrase"));
        auto encrypt = AnswerWizard([&](jobkit::CWizSheet& w) {
            FirstPage(w)->Folder()->setText(QString::fromStdString(dir + "/in"));
            FirstPage(w)->Name()->setText("Texts");
            w.next();
            for (QPushButton* b : w.findChildren<QPushButton*>())
                if (b->accessibleName() == QLatin1String("Add all types") || b->text() == "Add all types")
                    b->click();
            w.next();
            auto* enc = qobject_cast<jobkit::CPageEncProps*>(w.currentPage());
            if (!enc)
                return QStringLiteral("no encryption page");
            ProcessUntil([enc] { return enc->AskedOnOpen(); });
            qmtest::SaveWindowPicture(&w, QStringLiteral("center-tasks-wizard"));
            w.button(QWizard::FinishButton)->click();
            return QString();
        });
        frame.MenuAction(Command::CreateTask)->trigger();
        QVERIFY2(encrypt->problem().isEmpty(), qPrintable(encrypt->problem()));
        QCOMPARE(center::TheCenter().m_taskList.m_lstEncrypt.size(), std::size_t(1));
        QVERIFY(tree->SelectedTask());
        QCOMPARE(QString::fromStdString(tree->SelectedTask()->m_csName), QStringLiteral("Texts"));
        QVERIFY(commands.Modified());

        // A delete task made empty from the first page.
        auto remove = AnswerWizard([&](jobkit::CWizSheet& w) {
            FirstPage(w)->Kind(2)->setChecked(true);
            FirstPage(w)->Folder()->setText(QString::fromStdString(dir + "/in"));
            w.button(QWizard::CustomButton1)->click();
            return QString();
        });
        frame.MenuAction(Command::CreateTask)->trigger();
        QVERIFY2(remove->problem().isEmpty(), qPrintable(remove->problem()));
        QCOMPARE(center::TheCenter().m_taskList.m_lstDelete.size(), std::size_t(1));
        QCOMPARE(tree->SelectedTask()->m_csName, std::string("New task"));

        // A mail task after its message window and its checks.
        auto mail = AnswerWizard([&](jobkit::CWizSheet& w) {
            FirstPage(w)->Kind(3)->setChecked(true);
            FirstPage(w)->Name()->setText("Notice");
            qmtest::ModalAnswer message([](QWidget* m) {
                auto* text = qobject_cast<jobkit::CDlgMessageText*>(m);
                if (!text)
                    return QStringLiteral("no message window");
                text->Subject()->setText("Weekly");
                text->Text()->setPlainText("All done.");
                text->accept();
                return QString();
            });
            w.next();
            ProcessUntil([&] { return message.answered(); });
            auto* page = qobject_cast<jobkit::CPageSendmailProps*>(w.currentPage());
            if (!page)
                return QStringLiteral("no mail page");
            page->SendTo()->setText("bob@example.org");
            page->SenderEmail()->setText("me@example.org");
            page->Server()->setText("mail.example.org");
            w.button(QWizard::FinishButton)->click();
            return message.problem();
        });
        frame.MenuAction(Command::CreateTask)->trigger();
        QVERIFY2(mail->problem().isEmpty(), qPrintable(mail->problem()));
        QCOMPARE(center::TheCenter().m_taskList.m_lstSendMail.size(), std::size_t(1));
        QVERIFY(Child(tree->Group(1), "me@example.org"));
        QVERIFY(frame.MenuAction(Command::PerformTasks)->isEnabled());
        qmtest::SaveWindowPicture(&frame, QStringLiteral("center-tasks-workspace"));

        // Properties: the name typed in the grid becomes the node's label.
        tree->setFocus();
        tree->SelectTask(center::TheCenter().m_taskList.m_lstDelete.front());
        QVERIFY(frame.MenuAction(Command::TaskProperties)->isEnabled());
        qmtest::ModalAnswer grid([](QWidget* m) {
            auto* dialog = qobject_cast<jobkit::CDlgCurrentItem*>(m);
            if (!dialog)
                return QStringLiteral("no property window");
            qmtest::SaveWindowPicture(m, QStringLiteral("center-tasks-properties"));
            QAbstractItemModel* rows = dialog->Grid()->Model();
            if (rows->index(0, 0).data().toString() != QLatin1String("Task name"))
                return QStringLiteral("the first row is not the name");
            rows->setData(rows->index(0, 1), QStringLiteral("Old logs"), Qt::EditRole);
            dialog->accept();
            return QString();
        });
        frame.MenuAction(Command::TaskProperties)->trigger();
        QVERIFY2(grid.problem().isEmpty(), qPrintable(grid.problem()));
        QCOMPARE(tree->SelectedTask()->m_csName, std::string("Old logs"));
        QCOMPARE(tree->Items()->itemFromIndex(tree->currentIndex())->text(), QStringLiteral("Old logs"));

        // Delete: No keeps the task, Yes takes it and its branch away.
        ui.queueAnswer(uikit::Answer::No);
        frame.MenuAction(Command::DeleteTask)->trigger();
        QCOMPARE(LastMessage(ui), QStringLiteral("Are you sure you want to delete the selected task?"));
        QCOMPARE(ui.messages().back().caption, std::string("Confirm Task Delete"));
        QCOMPARE(center::TheCenter().m_taskList.m_lstDelete.size(), std::size_t(1));
        ui.queueAnswer(uikit::Answer::Yes);
        frame.MenuAction(Command::DeleteTask)->trigger();
        QVERIFY(center::TheCenter().m_taskList.m_lstDelete.empty());
        QCOMPARE(Labels(tree->Group(2)), QStringList{"No tasks"});
        // With a group node selected there is no task to act on.
        tree->setCurrentIndex(tree->Group(2)->index());
        frame.RunCommand(Command::DeleteTask);
        QCOMPARE(LastMessage(ui), QStringLiteral("Select the task you want to delete."));
        QCOMPARE(ui.messages().back().caption, std::string("No task selected"));
        frame.RunCommand(Command::TaskProperties);
        QCOMPARE(LastMessage(ui), QStringLiteral("Select task."));
        QCOMPARE(ui.messages().back().caption, std::string("Task not selected"));

        // Closing asks about the changes; Cancel keeps the window.
        ui.queueAnswer(uikit::Answer::Cancel);
        QVERIFY(!frame.close());
        QCOMPARE(LastMessage(ui), QStringLiteral("Save changes?"));
        QCOMPARE(ui.messages().back().buttons, uikit::Buttons::YesNoCancel);
        ui.queueAnswer(uikit::Answer::No);
        QVERIFY(frame.close());
    }

    void saveChangesIsAskedBeforeNewOpenAndCloseAndSaveNamesTheWindow() {
        uikit::ScopedBackend scoped(ui);
        const std::string dir = qmtest::MakeTempDir("save");
        center::CCenterStore store(center::TheCenter());
        CMainFrame frame(&store);
        center::CTaskCommands commands(frame, center::TheCenter().m_taskList, center::TheCenter().m_schedule);
        frame.show();
        frame.Workspace()->Tabs()->setCurrentIndex(center::CWorkspaceBar::kTasks);
        auto empty = AnswerWizard([&](jobkit::CWizSheet& w) {
            FirstPage(w)->Folder()->setText(QString::fromStdString(dir));
            w.button(QWizard::CustomButton1)->click();
            return QString();
        });
        frame.RunCommand(Command::CreateTask);
        QVERIFY2(empty->problem().isEmpty(), qPrintable(empty->problem()));
        QVERIFY(commands.Modified());

        // Cancel and a cancelled save keep the list; No drops it.
        ui.queueAnswer(uikit::Answer::Cancel);
        frame.RunCommand(Command::NewTaskList);
        QCOMPARE(center::TheCenter().m_taskList.m_lstEncrypt.size(), std::size_t(1));
        ui.queueAnswer(uikit::Answer::Yes);
        ui.queueFiles(std::nullopt);
        frame.RunCommand(Command::OpenTaskList);
        QCOMPARE(center::TheCenter().m_taskList.m_lstEncrypt.size(), std::size_t(1));
        QVERIFY(commands.Modified());

        // Yes saves under the chosen name, which becomes the title; open reads it back.
        const std::string file = dir + "/list.qms";
        ui.queueAnswer(uikit::Answer::Yes);
        ui.queueFiles(std::vector<std::string>{file});
        frame.RunCommand(Command::CloseTaskList);
        QVERIFY(qmtest::Exists(file));
        QVERIFY(!commands.Modified());
        QVERIFY(center::TheCenter().m_taskList.m_lstEncrypt.empty());
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled"));
        QCOMPARE(Labels(frame.Workspace()->TaskTree()->Group(0)), QStringList{"No tasks"});
        ui.queueFiles(std::vector<std::string>{file});
        frame.RunCommand(Command::OpenTaskList);
        QCOMPARE(center::TheCenter().m_taskList.m_lstEncrypt.size(), std::size_t(1));
        QCOMPARE(frame.windowTitle(), QString::fromStdString(file));
        // Unchanged: no question.
        const std::size_t asked = ui.messages().size();
        frame.RunCommand(Command::NewTaskList);
        QCOMPARE(ui.messages().size(), asked);

        // A list named on the command line opens in the Tasks workspace.
        frame.Workspace()->Tabs()->setCurrentIndex(center::CWorkspaceBar::kFiles);
        commands.OpenAtStart(file);
        QCOMPARE(frame.Workspace()->CurrentTab(), int(center::CWorkspaceBar::kTasks));
        QCOMPARE(frame.Kind(), center::kNavTaskList);
        QCOMPARE(frame.windowTitle(), QString::fromStdString(file));
        QCOMPARE(center::TheCenter().m_taskList.m_lstEncrypt.size(), std::size_t(1));
    }

    void aRunWritesItsLogAndAnErrorAsksWhetherToContinue() {
        uikit::ScopedBackend scoped(ui);
        const std::string dir = qmtest::MakeTempDir("run");
        qmtest::WriteFile(dir + "/in/a.txt", "alpha");
        center::CCenterStore store(center::TheCenter());
        CMainFrame frame(&store);
        center::CTaskCommands commands(frame, center::TheCenter().m_taskList, center::TheCenter().m_schedule);
        frame.show();
        frame.Workspace()->Tabs()->setCurrentIndex(center::CWorkspaceBar::kTasks);
        // An encrypt task that works, and a delete task whose folder is gone: one error, and the
        // run goes on after Yes.
        auto task = std::make_unique<CActionEncryptFile>(dir + "/in");
        task->m_csName = "Texts";
        task->m_csMask = "|*.txt|";
        task->m_csEncPassword = "pw";
        auto gone = std::make_unique<CActionDeleteFile>(dir + "/gone");
        gone->m_csName = "Gone";
        gone->m_csMask = "|*.log|";
        gone->m_nDelType = 2;
        center::TheCenter().m_taskList.AddTask(task.get());
        center::TheCenter().m_taskList.AddTask(gone.get());
        frame.Workspace()->TaskTree()->Fill(center::TheCenter().m_taskList);
        QVERIFY(Activate(frame));
        frame.Workspace()->TaskTree()->setFocus();
        frame.Workspace()->TaskTree()->SelectTask(task.get());
        QVERIFY(frame.MenuAction(Command::PerformTasks)->isEnabled());
        frame.RunCommand(Command::ListFilesForTask);
        QCOMPARE(frame.ListFilter()->rowCount(), 1);
        QCOMPARE(frame.ListFilter()->index(0, 0).data().toString(), QStringLiteral("a.txt"));
        // Removing listed files from the list's focus: none selected is refused, then the row goes.
        QVERIFY(Activate(frame));
        QTRY_VERIFY((frame.List()->setFocus(), frame.State().focus == center::Pane::List));
        frame.List()->clearSelection();
        frame.RunCommand(Command::DeleteTask);
        QCOMPARE(LastMessage(ui), QStringLiteral("Select files you want to delete."));
        QCOMPARE(ui.messages().back().caption, std::string("No files selected"));
        frame.List()->selectionModel()->select(
            frame.ListFilter()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        frame.RunCommand(Command::DeleteTask);
        QCOMPARE(frame.ListFilter()->rowCount(), 0);
        QVERIFY(center::TheCenter().m_taskList.m_mapFiles.empty());
        QCOMPARE(center::TheCenter().m_taskList.m_lstEncrypt.size(), std::size_t(1));
        frame.Workspace()->TaskTree()->setFocus();
        ui.queueAnswer(uikit::Answer::Yes);
        frame.RunCommand(Command::PerformTasks);
        QVERIFY(qmtest::Exists(dir + "/in/a.txt.qmp"));
        QVERIFY(!ui.messages().empty());
        bool asked = false;
        for (const auto& m : ui.messages())
            if (m.text.find("**************** ERROR: ****************\n") == 0 && m.text.size() > 11 &&
                m.text.substr(m.text.size() - 11) == "\n\nContinue?") {
                asked = true;
                QCOMPARE(m.buttons, uikit::Buttons::YesNo);
                QCOMPARE(m.icon, uikit::Icon::Warning);
            }
        QVERIFY(asked);
        const std::vector<std::string>& log = commands.Log();
        QVERIFY(std::find(log.begin(), log.end(), "Type of task: DELETE") != log.end());
        QVERIFY(std::find(log.begin(), log.end(), "File mask: |*.log|") != log.end());
        QVERIFY(frame.Description()->model()->rowCount() >= static_cast<int>(log.size()));
        qmtest::SaveWindowPicture(&frame, QStringLiteral("center-tasks-run-log"));
        frame.RunCommand(Command::ClearFileList);
        QCOMPARE(commands.Log().back(), std::string("List cleared."));
        QCOMPARE(frame.ListFilter()->rowCount(), 0);
        // Outside the Tasks view the task-list commands refuse.
        frame.Workspace()->Tabs()->setCurrentIndex(center::CWorkspaceBar::kFiles);
        frame.RunCommand(Command::PerformTasks);
        QCOMPARE(LastMessage(ui).contains("Wrong current view"), true);
        center::TheCenter().m_taskList.Reset();
    }

    void aTaskScheduledFromTheTasksViewIsRunByKeeperAndItsLastRunShows() {
        uikit::ScopedBackend scoped(ui);
        misckit::SetKeeperProgramForTesting(qmtest::ProgramPath("keeper"));
        const std::string dir = qmtest::MakeTempDir("keeper");
        // No desktop here: keeper keeps the result without telling a notification service.
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir + "/no-bus").c_str(), 1);
        qmtest::WriteFile(dir + "/in/a.txt", "alpha");
        center::CCenterStore store(center::TheCenter());
        CMainFrame frame(&store);
        center::CTaskCommands commands(frame, center::TheCenter().m_taskList, center::TheCenter().m_schedule);
        frame.show();
        frame.Workspace()->Tabs()->setCurrentIndex(center::CWorkspaceBar::kTasks);
        auto task = std::make_unique<CActionEncryptFile>(dir + "/in");
        task->m_csName = "Soon";
        task->m_csMask = "|*.txt|";
        task->m_csKeyFile = dir + "/missing.qmk"; // one error: its text shows as the last result
        center::TheCenter().m_taskList.AddTask(task.get());
        frame.Workspace()->TaskTree()->Fill(center::TheCenter().m_taskList);
        frame.Workspace()->TaskTree()->setFocus();
        frame.Workspace()->TaskTree()->SelectTask(task.get());

        // The editor: once, a few seconds from now.
        qmtest::ModalAnswer editor([](QWidget* m) {
            auto* dialog = qobject_cast<jobkit::CDlgScheduleTask*>(m);
            if (!dialog)
                return QStringLiteral("no schedule editor");
            dialog->RunChoice()->setCurrentIndex(1); // Once
            const QDateTime soon = QDateTime::currentDateTime().addSecs(3);
            dialog->StartDate()->setDate(soon.date());
            dialog->StartTime()->setTime(soon.time());
            qmtest::SaveWindowPicture(m, QStringLiteral("center-tasks-schedule-editor"));
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            return QString();
        });
        frame.RunCommand(Command::ScheduleTask);
        QVERIFY2(editor.problem().isEmpty(), qPrintable(editor.problem() + LastMessage(ui)));
        QCOMPARE(tasksched::TaskCount(center::TheCenter().m_schedule), std::size_t(1));

        frame.Workspace()->Tabs()->setCurrentIndex(center::CWorkspaceBar::kSchedule);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Task Schedule"));
        QCOMPARE(frame.Workspace()->ScheduleTree()->Items()->item(0)->text(), QStringLiteral("All (1)"));
        QCOMPARE(frame.ListFilter()->rowCount(), 1);
        QCOMPARE(frame.ListFilter()->index(0, 5).data().toString(), QStringLiteral("-"));
        QVERIFY(Activate(frame));
        frame.List()->setFocus();
        frame.List()->selectionModel()->select(
            frame.ListFilter()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        frame.List()->setCurrentIndex(frame.ListFilter()->index(0, 0));
        QTRY_VERIFY((frame.List()->setFocus(), frame.State().focus == center::Pane::List));
        QVERIFY(frame.MenuAction(Command::ScheduledTaskProperties)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(misckit::IsSchedulerRunning() != 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(frame.MenuAction(Command::StopScheduler)->isEnabled(), 5000);

        // Nobody presses anything: keeper runs the task and the row shows when.
        QTRY_VERIFY_WITH_TIMEOUT(frame.ListFilter()->index(0, 5).data().toString() != QLatin1String("-"),
                                 30000);
        qmtest::SaveWindowPicture(&frame, QStringLiteral("center-schedule-workspace"));
        // The description pane gives the task's properties, then its last result with the error.
        QTRY_VERIFY_WITH_TIMEOUT(frame.Description()->model()->rowCount() > 6, 5000);
        QAbstractItemModel* pane = frame.Description()->model();
        const QString lastResult = pane->index(pane->rowCount() - 1, 1).data().toString();
        QCOMPARE(pane->index(pane->rowCount() - 1, 0).data().toString(), QStringLiteral("Last result"));
        QVERIFY2(lastResult.contains("1 error"), qPrintable(lastResult));

        // Its properties: the editor's OK writes the stored schedule and keeps the run keeper
        // recorded.
        const std::int32_t id = center::TheCenter().m_schedule.m_lstEncrypt.front()->m_nId;
        const std::int64_t lastRun = center::TheCenter().m_schedule.m_lstEncrypt.front()->m_tLastRun;
        QVERIFY(lastRun > 0);
        qmtest::ModalAnswer regular([](QWidget* m) {
            auto* dialog = qobject_cast<jobkit::CDlgScheduleTask*>(m);
            if (!dialog)
                return QStringLiteral("no schedule editor");
            dialog->RunChoice()->setCurrentIndex(0); // Regularly
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            return QString();
        });
        frame.RunCommand(Command::ScheduledTaskProperties);
        QVERIFY2(regular.problem().isEmpty(), qPrintable(regular.problem() + LastMessage(ui)));
        CTaskManager stored;
        std::string error;
        QVERIFY(tasksched::ReadSchedule(tasksched::GetSchedulePath(), stored, error));
        QVERIFY(stored.GetTaskById(static_cast<unsigned>(id)));
        QCOMPARE(stored.GetTaskById(static_cast<unsigned>(id))->m_nRunType, 1);
        QCOMPARE(stored.GetTaskById(static_cast<unsigned>(id))->m_tLastRun, lastRun);
        QVERIFY(!frame.ListFilter()->index(0, 1).data().toString().startsWith("Once"));
        QCOMPARE(frame.List()->currentIndex().row(), 0); // reselected

        // A new task from the Schedule view: the wizard, then the editor; Cancel stores nothing.
        const auto closeEditor = [](bool ok) {
            return std::make_unique<qmtest::ModalAnswer>([ok](QWidget* m) {
                auto* buttons = m->findChild<QDialogButtonBox*>();
                if (!qobject_cast<jobkit::CDlgScheduleTask*>(m) || !buttons)
                    return QStringLiteral("no schedule editor");
                buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
                return QString();
            });
        };
        // The editor's answer waits from the moment the wizard has closed.
        std::unique_ptr<qmtest::ModalAnswer> editorAnswer;
        const auto wizard = [&](bool ok) {
            return AnswerWizard([&, ok](jobkit::CWizSheet& w) {
                FirstPage(w)->Kind(2)->setChecked(true);
                FirstPage(w)->Folder()->setText(QString::fromStdString(dir + "/in"));
                w.next();
                for (QPushButton* b : w.findChildren<QPushButton*>())
                    if (b->accessibleName() == QLatin1String("Add all types"))
                        b->click();
                w.next();
                w.button(QWizard::FinishButton)->click();
                editorAnswer = closeEditor(ok);
                return QString();
            });
        };
        auto first = wizard(false);
        frame.RunCommand(Command::CreateScheduledTask);
        QVERIFY2(first->problem().isEmpty(), qPrintable(first->problem()));
        QVERIFY2(editorAnswer && editorAnswer->problem().isEmpty(), "the editor was not cancelled");
        QCOMPARE(tasksched::TaskCount(center::TheCenter().m_schedule), std::size_t(1));
        auto second = wizard(true);
        frame.RunCommand(Command::CreateScheduledTask);
        QVERIFY2(second->problem().isEmpty(), qPrintable(second->problem()));
        QVERIFY2(editorAnswer && editorAnswer->problem().isEmpty(), "the editor was not answered");
        QCOMPARE(tasksched::TaskCount(center::TheCenter().m_schedule), std::size_t(2));
        QCOMPARE(frame.ListFilter()->rowCount(), 2);
        QCOMPARE(frame.Workspace()->ScheduleTree()->Items()->item(0)->text(), QStringLiteral("All (2)"));
        // The new task's row is the one selected; deleting it leaves the first task.
        QVERIFY(frame.List()->currentIndex().isValid());
        frame.List()->selectionModel()->select(
            frame.List()->currentIndex(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QVERIFY(center::TheCenter().m_schedule.m_lstDelete.size() == 1);
        frame.RunCommand(Command::DeleteScheduledTask);
        QCOMPARE(tasksched::TaskCount(center::TheCenter().m_schedule), std::size_t(1));
        QVERIFY(center::TheCenter().m_schedule.GetTaskById(static_cast<unsigned>(id)));

        // Run task: a copy runs at once, its error asks whether to continue and enters the log.
        frame.List()->setCurrentIndex(frame.ListFilter()->index(0, 0));
        frame.List()->selectionModel()->select(
            frame.ListFilter()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        ui.queueAnswer(uikit::Answer::No);
        frame.RunCommand(Command::RunTask);
        QVERIFY(LastMessage(ui).endsWith("\n\nContinue?"));
        QVERIFY(std::find(commands.Log().begin(), commands.Log().end(), "Type of task: ENCRYPT") !=
                commands.Log().end());
        QCOMPARE(tasksched::TaskCount(center::TheCenter().m_schedule), std::size_t(1));

        // Clearing the schedule asks and empties it.
        ui.queueAnswer(uikit::Answer::Yes);
        frame.RunCommand(Command::ClearTaskList);
        QCOMPARE(LastMessage(ui),
                 QStringLiteral("Do you want to delete all scheduled tasks and stop scheduler?"));
        QCOMPARE(frame.ListFilter()->rowCount(), 0);
        QCOMPARE(frame.Workspace()->ScheduleTree()->Items()->item(0)->text(), QStringLiteral("All"));
        // Clearing stopped the scheduler; the bar's button starts and stops it again.
        QTRY_VERIFY_WITH_TIMEOUT(misckit::IsSchedulerRunning() == 0, 10000);
        QTRY_VERIFY(frame.MenuAction(Command::StartScheduler)->isEnabled());
        QVERIFY(!frame.MenuAction(Command::StopScheduler)->isEnabled());
        frame.RunCommand(Command::ToggleScheduler);
        QTRY_VERIFY_WITH_TIMEOUT(misckit::IsSchedulerRunning() != 0, 10000);
        QTRY_VERIFY(frame.MenuAction(Command::StopScheduler)->isEnabled());
        frame.RunCommand(Command::ToggleScheduler);
        QTRY_VERIFY_WITH_TIMEOUT(misckit::IsSchedulerRunning() == 0, 10000);
        center::TheCenter().m_taskList.Reset();
        StopKeepers();
        misckit::SetKeeperProgramForTesting("");
    }

private:
    uikit::ScriptedBackend ui;
    jobkit::QtTaskWindows windows;
};

QM_QTEST_MAIN(TaskViewsTest)
#include "TaskViewsTest.moc"
