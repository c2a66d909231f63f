#include "center/windows/MainWindow.h"

#include <QTabWidget>

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), m_workspace(new QTabWidget(this)) {
    setWindowTitle(QStringLiteral("Quillmark Control Center"));
    setObjectName(QStringLiteral("MainFrame"));
    for (const char* name : {"Files", "Keys", "Tasks", "Schedule"}) {
        auto* page = new QWidget(m_workspace);
        page->setObjectName(QString::fromLatin1(name));
        m_workspace->addTab(page, QString::fromLatin1(name));
    }
    setCentralWidget(m_workspace);
    resize(960, 640);
}
