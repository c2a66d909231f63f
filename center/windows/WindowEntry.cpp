// The entry point of the window library, looked up by qmcenter after loading it.
#include "center/windows/WindowEntry.h"
#include "center/core/CenterState.h"
#include "center/core/StartupCommand.h"
#include "center/windows/CenterStore.h"
#include "center/windows/KeyServerMenu.h"
#include "center/windows/MainWindow.h"
#include "center/windows/ShellActions.h"
#include "center/windows/TaskCommands.h"
#include "tasks/dialogs/TaskWindowsQt.h"
#include "uikit/qt/QtBackend.h"

#include "wizkit/QuickStart.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

extern "C" int qm_center_window_main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    // The desktop entry and icon the package installs, so that docks and task bars match the
    // window to the application menu's entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quillmark.Quillmark"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.quillmark.Quillmark")));
    uikit::QtBackend ui;
    uikit::ScopedBackend useUi(ui);
    CSuiteWindows suiteWindows;
    // Qt has taken its own options out of the arguments by now.
    std::vector<std::string> arguments;
    for (const QString& a : QApplication::arguments().mid(1))
        arguments.push_back(a.toStdString());
    const center::StartupCommand command = center::ClassifyCommandLine(arguments);
    if (const int status = RunShellAction(command); status >= 0)
        return status;
    center::CCenterStore store(center::TheCenter());
    CMainFrame frame(&store);
    center::InstallKeyServerCommands(frame, store);
    ui.setDefaultParent(&frame);
    // Shows the window where it was left, scans the locations under the scanning window and
    // fills the views.
    frame.StartUp();
    // The task list and the schedule, with the task dialogs and run windows over the window.
    jobkit::QtTaskWindows taskWindows;
    jobkit::SetTaskWindows(&taskWindows);
    center::CTaskCommands tasks(frame, center::TheCenter().m_taskList, center::TheCenter().m_schedule);
    if (!command.paths.empty())
        tasks.OpenAtStart(command.paths.front());
    // A new user meets the quick start once, over the main window.
    if (wizkit::QuickStartPending())
        QTimer::singleShot(0, &frame, [&frame] { wizkit::ShowQuickStart(&frame); });
    const int status = app.exec();
    jobkit::SetTaskWindows(nullptr);
    return status;
}
