// qmcenter: the Quillmark control center.
#include "center/windows/MainWindow.h"
#include "misckit/Startup.h"
#include "platform/Display.h"
#include "uikit/qt/QtBackend.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] = "Usage: qmcenter [FILE.qms]\n"
                      "The Quillmark control center: keys, encrypted files, task lists and the schedule.\n";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!platform::DisplayAvailable()) {
        std::fputs("qmcenter: no display available (set DISPLAY or WAYLAND_DISPLAY to open the window).\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    uikit::QtBackend ui;
    uikit::ScopedBackend useUi(ui);
    // The suite's start-up routines come first: a first run creates the data folders and the
    // default settings, and every start checks the folders and their permissions.
    if (misckit::IsFirstRun())
        misckit::InitFirstRun();
    misckit::StartupCheck(1);
    CMainFrame frame;
    ui.setDefaultParent(&frame);
    frame.show();
    return app.exec();
}
