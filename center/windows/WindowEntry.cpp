// The entry point of the window library, looked up by qmcenter after loading it.
#include "center/windows/WindowEntry.h"
#include "center/windows/MainWindow.h"
#include "uikit/qt/QtBackend.h"

#include <QApplication>

extern "C" int qm_center_window_main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    uikit::QtBackend ui;
    uikit::ScopedBackend useUi(ui);
    CMainFrame frame;
    ui.setDefaultParent(&frame);
    frame.show();
    return app.exec();
}
