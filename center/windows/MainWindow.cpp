#include "center/windows/MainWindow.h"

#include "center/core/ColumnSets.h"
#include "center/core/WindowSettings.h"
#include "center/docking/WorkspaceBar.h"
#include "center/views/DescriptionPane.h"
#include "center/views/ListFilter.h"
#include "center/views/ListModel.h"
#include "center/views/ListRoles.h"
#include "center/views/NavigationTrees.h"
#include "center/windows/CenterStore.h"
#include "center/windows/Icons.h"
#include "misckit/Registry.h"
#include "uikit/UIException.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

using center::Command;
using center::IconId;

namespace {

// The menu sets: the main menu (Files, and the secret keys), the key menu, the task list's and
// the schedule's.
enum MenuSet { kMainSet = 0, kKeySet = 1, kTaskSet = 2, kScheduleSet = 3, kSetCount = 4 };

struct MenuItem {
    Command command;
    const char* text;
    const char* shortcut;
};

struct MenuSpec {
    const char* title;
    std::vector<MenuItem> items;
};

const std::vector<MenuSpec>& MenusOf(int set) {
    static const std::vector<MenuSpec> mainMenus{
        {"&File",
         {{Command::NewArchive, "&New archive...", "Ctrl+N"},
          {Command::EncryptionWizard, "Encryption &Wizard...", "Ctrl+W"},
          {Command::Messenger, "Messenger", nullptr},
          {Command::Locations, "&Locations...", "F7"},
          {Command::Refresh, "&Refresh", "F5"},
          {Command::Preferences, "&Preferences...", nullptr},
          {Command::Exit, "E&xit", nullptr}}},
        {"&Archive",
         {{Command::AddFiles, "Add &files to archive...", "F2"},
          {Command::AddFolder, "Add fo&lder to archive...", "F3"},
          {Command::DeleteFiles, "&Delete file(s)", "F8"},
          {Command::SelectOutputFolder, "Select &output folder...", nullptr},
          {Command::DecryptEntire, "Decrypt &entire archive", "F4"},
          {Command::DecryptSelected, "Decrypt &selected files", "F6"},
          {Command::DecryptAndRemove, "Decrypt &and Remove", nullptr},
          {Command::OpenInBoxview, "Open in Box&view", "F9"}}},
        {"&Keys",
         {{Command::GenerateKeyPair, "&Generate new key pair", nullptr},
          {Command::KeyFolder, "&Encryption keys folder...", nullptr},
          {Command::SetSessionKey, "Set session key...", nullptr}}}};
    static const std::vector<MenuSpec> keyMenus{
        {"&File",
         {{Command::GenerateKeyPair, "&Generate new key pair...", nullptr},
          {Command::DeleteKey, "&Delete key", nullptr},
          {Command::ExportKey, "Export key...", nullptr},
          {Command::ImportKey, "Import key...", nullptr},
          {Command::Messenger, "Start &Messenger", nullptr}}},
        {"Key &server",
         {{Command::FindKey, "Find key on server", nullptr},
          {Command::SynchronizeKeys, "Synchronize keys with server", nullptr},
          {Command::PublishKey, "Publish key on server", nullptr},
          {Command::RevokeKey, "Revoke key from server", nullptr}}}};
    static const std::vector<MenuSpec> taskMenus{
        {"&File",
         {{Command::NewTaskList, "&New task list", "Ctrl+N"},
          {Command::OpenTaskList, "&Open task list...", "Ctrl+O"},
          {Command::SaveTaskList, "&Save task list", "Ctrl+S"},
          {Command::SaveTaskListAs, "Save task list as...", nullptr},
          {Command::CloseTaskList, "&Close task list", nullptr}}},
        {"&Actions",
         {{Command::CreateTask, "Create &new task...", "Ctrl+T"},
          {Command::DeleteTask, "&Delete task", "Ctrl+D"},
          {Command::ListFilesForTaskList, "&List files for the task list", "Ctrl+L"},
          {Command::PerformTasks, "&Perform tasks", "Ctrl+E"},
          {Command::ClearFileList, "Clear file list", nullptr},
          {Command::TaskProperties, "Task properties", nullptr},
          {Command::ScheduleTask, "Schedule task...", nullptr}}}};
    static const std::vector<MenuSpec> scheduleMenus{
        {"&File",
         {{Command::StartScheduler, "Sta&rt scheduler", "Ctrl+R"},
          {Command::StopScheduler, "&Stop scheduler", "Ctrl+S"}}},
        {"&Actions",
         {{Command::CreateScheduledTask, "Create &new task...", "Ctrl+N"},
          {Command::DeleteScheduledTask, "&Delete task", "Ctrl+D"},
          {Command::ClearTaskList, "Clear task list", nullptr},
          {Command::RunTask, "R&un task", "Ctrl+U"},
          {Command::ScheduledTaskProperties, "Task properties", nullptr}}}};
    static const std::vector<MenuSpec>* sets[] = {&mainMenus, &keyMenus, &taskMenus, &scheduleMenus};
    return *sets[set];
}

struct BarButton {
    Command command;
    IconId icon;
    const char* tip; // the command's status text; null for a separator
};

const std::vector<BarButton>& BarOf(int set) {
    static const std::vector<BarButton> mainBar{
        {Command::AddFiles, IconId::AddFiles, "Add files to archive"},
        {Command::AddFolder, IconId::AddFolder, "Add folder to archive"},
        {Command::DeleteFiles, IconId::Delete, "Delete"},
        {Command::OpenInBoxview, IconId::Boxview, "Open in Boxview"},
        {Command::Exit, IconId::Exit, nullptr},
        {Command::SelectOutputFolder, IconId::OutputFolder, "Select output folder"},
        {Command::DecryptEntire, IconId::DecryptAll, "Decrypt entire archive"},
        {Command::DecryptSelected, IconId::DecryptSelected, "Decrypt selected files"},
        {Command::DecryptAndRemove, IconId::DecryptRemove, "Decrypt and Remove"}};
    static const std::vector<BarButton> keyBar{
        {Command::Messenger, IconId::Messenger, "Start Messenger"},
        {Command::GenerateKeyPair, IconId::GenerateKey, "Generate new key pair"},
        {Command::FindKey, IconId::FindKey, "Find key on server"},
        {Command::SynchronizeKeys, IconId::SyncKeys, "Synchronize local copies of keys with server"},
        {Command::Exit, IconId::Exit, nullptr},
        {Command::DeleteKey, IconId::Delete, "Delete"},
        {Command::PublishKey, IconId::PublishKey, "Publish key on key server"},
        {Command::RevokeKey, IconId::RevokeKey, "Revoke key from server"}};
    static const std::vector<BarButton> taskBar{
        {Command::NewTaskList, IconId::NewTaskList, "Create new task list"},
        {Command::OpenTaskList, IconId::OpenTaskList, "Open a task list"},
        {Command::SaveTaskList, IconId::SaveTaskList, "Save the task list"},
        {Command::CreateTask, IconId::NewTask, "Create new task"},
        {Command::DeleteTask, IconId::Delete, "Delete task"},
        {Command::TaskProperties, IconId::TaskProperties, "Task properties"},
        {Command::ScheduleTask, IconId::ScheduleTask, "Add the task to the schedule"},
        {Command::Exit, IconId::Exit, nullptr},
        {Command::ListFilesForTask, IconId::ListFiles, "List files for the selected task"},
        {Command::ClearFileList, IconId::ClearList, "Clear file list"},
        {Command::Exit, IconId::Exit, nullptr},
        {Command::PerformSelectedTask, IconId::PerformTask, "Perform the selected task"},
        {Command::PerformTasks, IconId::PerformTasks, "Perform tasks"}};
    static const std::vector<BarButton> scheduleBar{
        {Command::ToggleScheduler, IconId::StartScheduler, "Starts or stops task scheduler"},
        {Command::CreateScheduledTask, IconId::NewTask, "Create new task"},
        {Command::ClearTaskList, IconId::ClearList, "Delete all tasks"},
        {Command::DeleteScheduledTask, IconId::Delete, "Delete task"},
        {Command::Exit, IconId::Exit, nullptr},
        {Command::ScheduledTaskProperties, IconId::TaskProperties, "Task properties"},
        {Command::RunTask, IconId::PerformTasks, "Run all tasks now"}};
    static const std::vector<BarButton>* bars[] = {&mainBar, &keyBar, &taskBar, &scheduleBar};
    return *bars[set];
}

// Where the window puts its own state that has no value of the design: the dock's place.
const char kDockStateValue[] = "WorkspaceLayout";

} // namespace

CMainFrame::CMainFrame(center::ICenterStore* store, QWidget* parent) : QMainWindow(parent) {
    if (!store) {
        m_ownStore = std::make_unique<center::CEmptyStore>();
        store = m_ownStore.get();
    }
    m_store = store;
    setWindowTitle(QStringLiteral("Quillmark Control Center"));
    setObjectName(QStringLiteral("MainFrame"));
    setWindowIcon(center::CenterIcon(IconId::SecretKeys));
    m_workspace = new center::CWorkspaceBar(this);
    addDockWidget(Qt::LeftDockWidgetArea, m_workspace);
    BuildCentre();
    BuildActions();
    BuildMenus();
    BuildBars();
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("CountPane"));
    m_count->setAccessibleName(tr("Items in the list"));
    statusBar()->addPermanentWidget(m_count);
    statusBar()->setSizeGripEnabled(true);

    using center::CKeyManTree;
    for (CKeyManTree* tree :
         std::initializer_list<CKeyManTree*>{m_workspace->FileTree(), m_workspace->KeysTree(),
                                             m_workspace->TaskTree(), m_workspace->ScheduleTree()}) {
        connect(tree, &CKeyManTree::selectionMoved, this, [this, tree] { TreeMoved(tree); });
        connect(tree, &CKeyManTree::focusEntered, this, [this, tree] { TreeMoved(tree); });
    }
    connect(m_workspace, &center::CWorkspaceBar::tabChanged, this, [this](int tab) {
        auto* tree = qobject_cast<center::CKeyManTree*>(m_workspace->Tabs()->widget(tab));
        if (tree)
            TreeMoved(tree);
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusMoved(now); });
    resize(1000, 680);
    SetKind(center::kNavAllFiles, QString());
    ApplySet();
}

CMainFrame::~CMainFrame() {
    // Closing the window moves the focus; by then this is no main window any more.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    // The list's model belongs to the store; let go of it before the store may go.
    m_filter->setSourceModel(nullptr);
}

void CMainFrame::BuildCentre() {
    auto* centre = new QWidget(this);
    auto* layout = new QVBoxLayout(centre);
    layout->setContentsMargins(0, 0, 0, 0);
    m_filter = new center::CListFilter(this);
    m_filterField = new center::CFilterField(m_filter, this);
    layout->addWidget(m_filterField);
    m_splitter = new QSplitter(Qt::Vertical, centre);
    m_splitter->setObjectName(QStringLiteral("ListSplitter"));
    m_list = new QTreeView(m_splitter);
    m_list->setObjectName(QStringLiteral("List"));
    m_list->setAccessibleName(tr("List"));
    m_list->setModel(m_filter);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    // A header click sorts through the rows themselves, the direction flipping on every click.
    m_list->setSortingEnabled(false);
    m_list->header()->setSectionsClickable(true);
    m_list->header()->setSortIndicatorShown(true);
    connect(m_list->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        m_list->header()->setSortIndicator(column, m_filter->ClickColumn(column));
    });
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setAllColumnsShowFocus(true);
    // Widths are the user's own: a stretched last column would be stored as if chosen.
    m_list->header()->setStretchLastSection(false);
    m_desc = new center::CKeyManDesc(m_splitter);
    m_splitter->addWidget(m_list);
    m_splitter->addWidget(m_desc);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setSizes({360, 220});
    layout->addWidget(m_splitter, 1);
    setCentralWidget(centre);
    setTabOrder(m_filterField, m_list);
    setTabOrder(m_list, m_desc);

    connect(m_list, &QTreeView::activated, this, &CMainFrame::ActivateRow);
    connect(m_list, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        // One click activates a row, except in the task list's files, which take a double click.
        if (m_kind != center::kNavTaskList)
            ActivateRow(index);
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CMainFrame::UpdateCommands);
    connect(m_desc, &center::CKeyManDesc::selectionMoved, this, &CMainFrame::UpdateCommands);
    connect(m_filter, &QAbstractItemModel::modelReset, this, &CMainFrame::UpdateCount);
    connect(m_filter, &QAbstractItemModel::layoutChanged, this, &CMainFrame::UpdateCount);
    connect(m_filter, &QAbstractItemModel::rowsInserted, this, &CMainFrame::UpdateCount);
    connect(m_filter, &QAbstractItemModel::rowsRemoved, this, &CMainFrame::UpdateCount);
}

QAction* CMainFrame::MakeAction(Command command, const QString& text, const QString& shortcut, int set) {
    auto* action = new QAction(text, this);
    if (!shortcut.isEmpty()) {
        action->setShortcut(QKeySequence(shortcut));
        action->setShortcutContext(Qt::WindowShortcut);
    }
    connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
    m_actions.push_back({command, action, set});
    return action;
}

void CMainFrame::BuildActions() {
    m_actions.clear();
    m_actions.reserve(120);
}

void CMainFrame::BuildMenus() {
    m_menus.assign(kSetCount, {});
    for (int set = 0; set < kSetCount; ++set)
        for (const MenuSpec& spec : MenusOf(set)) {
            auto* menu = new QMenu(tr(spec.title), this);
            for (const MenuItem& item : spec.items) {
                QAction* action =
                    MakeAction(item.command, QString::fromUtf8(item.text),
                               item.shortcut ? QString::fromLatin1(item.shortcut) : QString(), set);
                menu->addAction(action);
                // The separators of the File menu stand before Exit and between the archive's
                // groups.
                if (item.command == Command::Preferences || item.command == Command::DeleteFiles ||
                    item.command == Command::DecryptAndRemove)
                    menu->addSeparator();
            }
            connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
            m_menus[static_cast<std::size_t>(set)].push_back(menu);
        }
    m_help = new QMenu(tr("&Help"), this);
    m_help->addAction(MakeAction(Command::HelpTopics, tr("Help topics"), QStringLiteral("F1"), -1));
    m_help->addAction(MakeAction(Command::QuickStart, tr("Quick start..."), QString(), -1));
    m_help->addAction(MakeAction(Command::HomePage, tr("Quillmark home page"), QString(), -1));
    m_help->addSeparator();
    m_help->addAction(MakeAction(Command::About, tr("&About Quillmark..."), QString(), -1));
}

void CMainFrame::BuildBars() {
    m_toolBar = addToolBar(tr("Tool bar"));
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setIconSize(QSize(24, 24));
    const struct {
        Command command;
        IconId icon;
        const char* tip;
    } tools[] = {{Command::NewArchive, IconId::NewArchive, "Create a new archive"},
                 {Command::EncryptionWizard, IconId::Wizard, "Encryption Wizard"},
                 {Command::Refresh, IconId::Refresh, "Search the locations again"},
                 {Command::Locations, IconId::Locations, "Locations of encrypted files"},
                 {Command::Preferences, IconId::Preferences, "Preferences"},
                 {Command::HelpTopics, IconId::Help, "Help topics"}};
    for (const auto& tool : tools) {
        QAction* action = MakeAction(tool.command, tr(tool.tip), QString(), -1);
        action->setIcon(center::CenterIcon(tool.icon));
        action->setStatusTip(tr(tool.tip));
        m_toolBar->addAction(action);
        if (QWidget* button = m_toolBar->widgetForAction(action)) {
            button->setAccessibleName(tr(tool.tip));
            button->setFocusPolicy(Qt::TabFocus);
        }
    }
    // The dialog bars take a row of their own, so the output folder has room.
    addToolBarBreak(Qt::TopToolBarArea);
    const char* titles[] = {"Archive bar", "Public keys bar", "Task list bar", "Schedule bar"};
    const char* names[] = {"MainDialogBar", "PublicKeysBar", "TaskListBar", "ScheduleBar"};
    for (int set = 0; set < kSetCount; ++set) {
        auto* bar = new center::CDialogBar(tr(titles[set]), QString::fromLatin1(names[set]), this);
        addToolBar(Qt::TopToolBarArea, bar);
        bool separatorSeen = false;
        for (const BarButton& b : BarOf(set)) {
            if (!b.tip) {
                bar->addSeparator();
                // The output folder sits between the archive bar's two groups.
                if (set == kMainSet && !separatorSeen) {
                    m_outputFolders = new QComboBox(bar);
                    m_outputFolders->setObjectName(QStringLiteral("OutputFolder"));
                    m_outputFolders->setAccessibleName(tr("Output folder"));
                    m_outputFolders->setToolTip(tr("Output folder"));
                    m_outputFolders->setEditable(true);
                    m_outputFolders->setInsertPolicy(QComboBox::InsertAtTop);
                    m_outputFolders->setMinimumWidth(300);
                    m_outputFolders->lineEdit()->setMaxLength(260);
                    for (const std::string& folder : center::ReadOutputFolders())
                        if (m_outputFolders->findText(QString::fromStdString(folder)) < 0)
                            m_outputFolders->addItem(QString::fromStdString(folder));
                    m_outputAction = bar->addWidget(m_outputFolders);
                }
                separatorSeen = true;
                continue;
            }
            QAction* action = MakeAction(b.command, tr(b.tip), QString(), set);
            action->setIcon(center::CenterIcon(b.icon));
            action->setStatusTip(tr(b.tip));
            bar->AddButton(action);
        }
        m_bars.push_back(bar);
    }
}

int CMainFrame::CurrentSet() const {
    switch (m_workspace->CurrentTab()) {
    case center::CWorkspaceBar::kKeys:
        return m_kind == center::kNavSecretKeys ? kMainSet : kKeySet;
    case center::CWorkspaceBar::kTasks:
        return kTaskSet;
    case center::CWorkspaceBar::kSchedule:
        return kScheduleSet;
    default:
        return kMainSet;
    }
}

void CMainFrame::ApplySet() {
    const int set = CurrentSet();
    if (set != m_set) {
        m_set = set;
        menuBar()->clear();
        for (QMenu* menu : m_menus[static_cast<std::size_t>(set)])
            menuBar()->addMenu(menu);
        menuBar()->addMenu(m_help);
        for (int i = 0; i < kSetCount; ++i)
            m_bars[static_cast<std::size_t>(i)]->setVisible(i == set);
    }
    UpdateCommands();
}

QList<QMenu*> CMainFrame::Menus() const {
    QList<QMenu*> menus;
    for (QAction* a : menuBar()->actions())
        if (a->menu())
            menus << a->menu();
    return menus;
}

QAction* CMainFrame::MenuAction(Command command) const {
    for (QMenu* menu : Menus())
        for (QAction* a : menu->actions())
            for (const Entry& e : m_actions)
                if (e.action == a && e.command == command)
                    return a;
    return nullptr;
}

bool CMainFrame::HasBuiltIn(Command command) const {
    switch (command) {
    case Command::FindKey:
    case Command::SynchronizeKeys:
    case Command::PublishKey:
    case Command::RevokeKey:
    case Command::NewTaskList:
    case Command::OpenTaskList:
    case Command::SaveTaskList:
    case Command::SaveTaskListAs:
    case Command::CloseTaskList:
    case Command::CreateTask:
    case Command::DeleteTask:
    case Command::ListFilesForTaskList:
    case Command::ListFilesForTask:
    case Command::PerformTasks:
    case Command::PerformSelectedTask:
    case Command::ClearFileList:
    case Command::TaskProperties:
    case Command::ScheduleTask:
    case Command::StartScheduler:
    case Command::StopScheduler:
    case Command::CreateScheduledTask:
    case Command::DeleteScheduledTask:
    case Command::ClearTaskList:
    case Command::RunTask:
    case Command::ScheduledTaskProperties:
    case Command::ToggleScheduler:
        return false;
    default:
        return true;
    }
}

void CMainFrame::SetCommandHandler(Command command, std::function<void()> handler) {
    m_handlers[command] = std::move(handler);
    UpdateCommands();
}

center::CommandState CMainFrame::State() const {
    center::CommandState s;
    s.kind = m_kind;
    s.focus = m_focus;
    s.listHasSelection = m_list->selectionModel() && m_list->selectionModel()->hasSelection();
    s.descriptionHasSelection = m_desc->HasSelection();
    s.listRows = m_filter->rowCount();
    m_store->AddTaskFacts(s);
    if (m_taskFacts)
        m_taskFacts(s);
    return s;
}

void CMainFrame::UpdateCommands() {
    const center::CommandState state = State();
    for (const Entry& e : m_actions) {
        const bool inSet = e.set < 0 || e.set == m_set;
        const bool handled = HasBuiltIn(e.command) || m_handlers.count(e.command);
        e.action->setEnabled(inSet && handled && center::IsCommandEnabled(e.command, state));
    }
    if (m_outputAction)
        m_outputAction->setVisible(center::ShowsOutputFolder(state) || m_outputFolders->hasFocus());
}

void CMainFrame::TreeMoved(center::CKeyManTree* tree) {
    if (m_workspace->Tabs()->currentWidget() != tree)
        return;
    SetKind(tree->SelectedKind(), tree->SelectedFilter());
}

void CMainFrame::SetKind(center::NavKind kind, const QString& filter) {
    if (kind == m_kind && filter == m_listFilter && m_filter->sourceModel()) {
        ApplySet();
        return;
    }
    SaveListColumns();
    m_desc->SaveColumns();
    m_kind = kind;
    m_listFilter = filter;
    FillList();
    m_desc->UseKind(kind);
    m_desc->Reset();
    ApplySet();
}

void CMainFrame::SaveListColumns() const {
    if (!m_filter->sourceModel())
        return;
    const center::ColumnSet& set = center::ListColumns(m_kind);
    std::vector<int> widths;
    for (int c = 0; c < m_filter->columnCount(); ++c)
        widths.push_back(m_list->columnWidth(c));
    center::SaveColumnWidths(set.valueName, widths);
}

void CMainFrame::FillList() {
    QAbstractItemModel* rows = m_store->ListModel(m_kind, m_listFilter);
    m_filter->setSourceModel(rows);
    // A gone file is noticed while the list paints: the scan that follows must wait until the
    // painting is over.
    if (auto* files = qobject_cast<center::CListRowsModel*>(rows))
        connect(files, &center::CListRowsModel::fileGone, this, &CMainFrame::FileGone, Qt::QueuedConnection);
    m_list->header()->setSortIndicator(-1, Qt::AscendingOrder);
    const center::ColumnSet& set = center::ListColumns(m_kind);
    const std::vector<int> widths = center::ReadColumnWidths(set.valueName, set.columns);
    // A column never starts narrower than its title ("Synchronized" is wider than its 50 pixels).
    for (std::size_t c = 0; c < widths.size() && static_cast<int>(c) < m_filter->columnCount(); ++c)
        m_list->setColumnWidth(static_cast<int>(c),
                               std::max(widths[c], m_list->header()->sectionSizeHint(static_cast<int>(c))));
    m_list->setSelectionMode(m_kind == center::kNavTaskList ? QAbstractItemView::ExtendedSelection
                                                            : QAbstractItemView::SingleSelection);
    UpdateCount();
    UpdateCommands();
}

void CMainFrame::Rebuild() {
    m_workspace->FileTree()->blockSignals(true);
    m_workspace->KeysTree()->blockSignals(true);
    const center::NavKind keyKind = m_workspace->KeysTree()->SelectedKind();
    const QString folder = m_workspace->FileTree()->SelectedFilter();
    const bool wasFolder = m_workspace->FileTree()->SelectedKind() == center::kNavFolderFiles;
    m_workspace->FileTree()->SetFiles(m_store->EncryptedFiles());
    if (wasFolder)
        m_workspace->FileTree()->SelectFolder(folder);
    const center::ICenterStore::KeyCounts counts = m_store->CountKeys();
    m_workspace->KeysTree()->SetCounts(counts.publicKeys, counts.privateKeys, counts.keyFiles);
    m_workspace->KeysTree()->SelectKind(keyKind);
    m_workspace->FileTree()->blockSignals(false);
    m_workspace->KeysTree()->blockSignals(false);
    auto* tree = qobject_cast<center::CKeyManTree*>(m_workspace->Tabs()->currentWidget());
    if (tree) {
        m_kind = tree->SelectedKind();
        m_listFilter = tree->SelectedFilter();
    }
    FillList();
    ApplySet();
}

void CMainFrame::UpdateCount() {
    const int rows = m_filter->rowCount();
    m_count->setText(m_kind == center::kNavSchedule ? tr("%1 tasks").arg(rows) : tr("%1 files").arg(rows));
}

void CMainFrame::ActivateRow(const QModelIndex& index) {
    if (!index.isValid())
        return;
    const QModelIndex first = index.sibling(index.row(), 0);
    if (m_kind == center::kNavSecretKeys) {
        m_desc->ShowKeyFileUsers(
            m_store->KeyFileUsers(first.data(center::kPathRole).toString().toStdString()));
        UpdateCommands();
        return;
    }
    if (m_kind != center::kNavAllFiles && m_kind != center::kNavFolderFiles)
        return;
    const std::string path = first.data(center::kPathRole).toString().toStdString();
    const std::string keyFile = first.data(center::kKeyFileRole).toString().toStdString();
    if (path.empty() || path == m_desc->Archive())
        return;
    m_desc->ShowArchive(path, keyFile);
    UpdateCommands();
}

void CMainFrame::FocusMoved(QWidget* now) {
    if (!now)
        return;
    center::Pane pane;
    if (now == m_list || m_list->isAncestorOf(now))
        pane = center::Pane::List;
    else if (now == m_desc || m_desc->isAncestorOf(now))
        pane = center::Pane::Description;
    else if (m_workspace->isAncestorOf(now))
        pane = center::Pane::Tree;
    else
        return; // menus, bars and the filter field leave the pane as it was
    if (pane != m_focus) {
        m_focus = pane;
        UpdateCommands();
    }
}

void CMainFrame::StartUp() {
    RestorePlacement();
    QApplication::processEvents();
    Refresh();
}

void CMainFrame::RestorePlacement() {
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    center::WindowPlacement p;
    if (center::ReadPlacement(p, screen.width(), screen.height(), 32, 32)) {
        setGeometry(p.left, p.top, std::max(200, p.right - p.left), std::max(150, p.bottom - p.top));
        if (p.x0 > 0)
            resizeDocks({m_workspace}, {p.x0}, Qt::Horizontal);
        if (p.y0 > 0)
            m_splitter->setSizes({p.y0, std::max(80, m_splitter->height() - p.y0)});
        std::string layout;
        if (CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman).ReadBinaryEx(kDockStateValue, layout))
            restoreState(QByteArray::fromStdString(layout));
        if (p.showState == 3)
            showMaximized();
        else
            show();
    } else {
        show();
    }
}

void CMainFrame::SavePlacement() const {
    center::WindowPlacement p;
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    p.showState = isMaximized() ? 3 : 1;
    p.left = normal.left();
    p.top = normal.top();
    p.right = normal.right() + 1;
    p.bottom = normal.bottom() + 1;
    p.x0 = m_workspace->width();
    p.y0 = m_splitter->sizes().value(0);
    center::SavePlacement(p);
    CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman)
        .WriteBinary(kDockStateValue, saveState().toStdString());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SaveListColumns();
    m_desc->SaveColumns();
    SaveOutputHistory();
    SavePlacement();
    event->accept();
}

void CMainFrame::RunCommand(Command command) {
    UpdateCommands();
    try {
        if (auto handler = m_handlers.find(command); handler != m_handlers.end()) {
            handler->second();
            return;
        }
        switch (command) {
        case Command::NewArchive:
            NewArchive();
            break;
        case Command::EncryptionWizard:
            EncryptionWizard();
            break;
        case Command::Messenger:
            StartMessenger();
            break;
        case Command::Locations:
            Locations();
            break;
        case Command::Refresh:
            m_desc->Reset();
            Refresh();
            break;
        case Command::Preferences:
            Preferences(false);
            break;
        case Command::SetSessionKey:
            Preferences(true);
            break;
        case Command::Exit:
            close();
            break;
        case Command::AddFiles:
            AddToArchive(false);
            break;
        case Command::AddFolder:
            AddToArchive(true);
            break;
        case Command::DeleteFiles:
        case Command::DeleteKey:
            DeleteSelected();
            break;
        case Command::SelectOutputFolder:
            SelectOutputFolder();
            break;
        case Command::DecryptEntire:
        case Command::DecryptSelected:
        case Command::DecryptAndRemove:
            Decrypt(command);
            break;
        case Command::OpenInBoxview:
            OpenInBoxview();
            break;
        case Command::GenerateKeyPair:
            GenerateKeyPair();
            break;
        case Command::KeyFolder:
            KeyFolder();
            break;
        case Command::ExportKey:
            ExportKey();
            break;
        case Command::ImportKey:
            ImportKey();
            break;
        default:
            HelpCommand(command);
            break;
        }
    } catch (const CUIException& e) {
        e.ReportError("Quillmark");
    }
    UpdateCommands();
}
