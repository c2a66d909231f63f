#pragma once

#include <QDockWidget>
#include <QToolBar>

class QTabWidget;
class QToolButton;

namespace center {

class CFileTree;
class CKeysTree;
class CSchedTree;
class CTaskTree;

// The docked "Workspace" bar: movable, floatable, with the tabs "Files", "Keys", "Tasks" and
// "Schedule", each holding its navigation tree.
class CWorkspaceBar : public QDockWidget {
    Q_OBJECT
public:
    enum Tab { kFiles = 0, kKeys = 1, kTasks = 2, kSchedule = 3 };
    explicit CWorkspaceBar(QWidget* parent = nullptr);

    QTabWidget* Tabs() const { return m_tabs; }
    int CurrentTab() const;
    void SetCurrentTab(int tab);
    CFileTree* FileTree() const { return m_files; }
    CKeysTree* KeysTree() const { return m_keys; }
    CTaskTree* TaskTree() const { return m_tasks; }
    CSchedTree* ScheduleTree() const { return m_schedule; }

signals:
    void tabChanged(int tab);

private:
    QTabWidget* m_tabs;
    CFileTree* m_files;
    CKeysTree* m_keys;
    CTaskTree* m_tasks;
    CSchedTree* m_schedule;
};

// A dialog bar: one row of flat 24-pixel icon buttons, each with its command's status text as
// tooltip and accessible name, in groups parted by thin separators.
class CDialogBar : public QToolBar {
    Q_OBJECT
public:
    CDialogBar(const QString& title, const QString& objectName, QWidget* parent = nullptr);
    // Adds a flat button for `action`; its tooltip is the action's status text.
    QToolButton* AddButton(QAction* action);
};

} // namespace center
