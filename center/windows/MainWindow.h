#pragma once

#include <QMainWindow>

class QTabWidget;

// The control center's main window: the workspace tabs for files, keys, task lists and the
// background schedule.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);

    QTabWidget* workspace() const { return m_workspace; }

private:
    QTabWidget* m_workspace;
};
