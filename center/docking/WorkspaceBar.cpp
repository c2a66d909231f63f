#include "center/docking/WorkspaceBar.h"

#include "center/views/NavigationTrees.h"

#include <QAbstractButton>
#include <QTabWidget>
#include <QToolButton>

namespace center {

CWorkspaceBar::CWorkspaceBar(QWidget* parent) : QDockWidget(tr("Workspace"), parent) {
    setObjectName(QStringLiteral("WorkspaceBar"));
    setAccessibleName(tr("Workspace"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("WorkspaceTabs"));
    m_tabs->setAccessibleName(tr("Workspaces"));
    m_tabs->setTabPosition(QTabWidget::South);
    m_tabs->setDocumentMode(true);
    m_files = new CFileTree(m_tabs);
    m_keys = new CKeysTree(m_tabs);
    m_tasks = new CTaskTree(m_tabs);
    m_schedule = new CSchedTree(m_tabs);
    m_tabs->addTab(m_files, tr("Files"));
    m_tabs->addTab(m_keys, tr("Keys"));
    m_tabs->addTab(m_tasks, tr("Tasks"));
    m_tabs->addTab(m_schedule, tr("Schedule"));
    setWidget(m_tabs);
    // The title bar's own buttons, for screen readers and the keyboard.
    for (QAbstractButton* button : findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
        if (button->objectName() == QLatin1String("qt_dockwidget_floatbutton"))
            button->setAccessibleName(tr("Float the workspace bar"));
        else if (button->objectName() == QLatin1String("qt_dockwidget_closebutton"))
            button->setAccessibleName(tr("Close the workspace bar"));
        button->setFocusPolicy(Qt::TabFocus);
    }
    connect(m_tabs, &QTabWidget::currentChanged, this, &CWorkspaceBar::tabChanged);
}

int CWorkspaceBar::CurrentTab() const {
    return m_tabs->currentIndex();
}

void CWorkspaceBar::SetCurrentTab(int tab) {
    m_tabs->setCurrentIndex(tab);
}

CDialogBar::CDialogBar(const QString& title, const QString& objectName, QWidget* parent)
    : QToolBar(title, parent) {
    setObjectName(objectName);
    setAccessibleName(title);
    setIconSize(QSize(24, 24));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setMovable(true);
}

QToolButton* CDialogBar::AddButton(QAction* action) {
    addAction(action);
    auto* button = qobject_cast<QToolButton*>(widgetForAction(action));
    if (button) {
        button->setAutoRaise(true);
        button->setToolTip(action->statusTip());
        button->setAccessibleName(action->statusTip());
        // Tool bar buttons take no Tab focus by default; dialog bars are reached by keyboard too.
        button->setFocusPolicy(Qt::TabFocus);
    }
    return button;
}

} // namespace center
