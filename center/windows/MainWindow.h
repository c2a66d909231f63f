#pragma once

#include "center/core/CommandRules.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;
class QTreeView;

namespace center {
class CDialogBar;
class CEmptyStore;
class CFilterField;
class CKeyManDesc;
class CKeyManTree;
class CListFilter;
class CWorkspaceBar;
class ICenterStore;
} // namespace center

// The control center's main window: the docked workspace bar with its trees, the list above the
// description pane, the menus of the shown workspace, the tool bar, the dialog bars and the
// status bar. Every command arrives at RunCommand(), which shows any exception it raises.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // `store` answers for the keys, files and tasks; without one the window shows nothing found.
    explicit CMainFrame(center::ICenterStore* store = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Restores the placement and shows the window, runs the scanning window and fills the views.
    void StartUp();

    void RunCommand(center::Command command);
    // Commands that other parts of the program carry out (the key server, the task lists and the
    // schedule) are enabled once they have a handler.
    void SetCommandHandler(center::Command command, std::function<void()> handler);
    // Adds the facts of the task views (their selection, the scheduler) to State().
    void SetTaskFacts(std::function<void(center::CommandState&)> facts) { m_taskFacts = std::move(facts); }
    // The action of `command` in the menus shown now; null when those menus do not hold it.
    QAction* MenuAction(center::Command command) const;
    QList<QMenu*> Menus() const;

    center::CWorkspaceBar* Workspace() const { return m_workspace; }
    QTreeView* List() const { return m_list; }
    center::CListFilter* ListFilter() const { return m_filter; }
    center::CFilterField* FilterField() const { return m_filterField; }
    center::CKeyManDesc* Description() const { return m_desc; }
    QComboBox* OutputFolders() const { return m_outputFolders; }
    QLabel* CountPane() const { return m_count; }
    QSplitter* Splitter() const { return m_splitter; }
    center::NavKind Kind() const { return m_kind; }
    center::CommandState State() const;

    // Rebuilds the trees from the store and refills the list.
    void Rebuild();
    void FillList();
    // Evaluates the enabling rules for every action.
    void UpdateCommands();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Entry {
        center::Command command;
        QAction* action;
        int set; // menu set or bar the action belongs to; -1: every set
    };
    void BuildActions();
    QAction* MakeAction(center::Command command, const QString& text, const QString& shortcut, int set);
    void BuildMenus();
    void BuildBars();
    void BuildCentre();
    int CurrentSet() const;
    void ApplySet();
    void TreeMoved(center::CKeyManTree* tree);
    void SetKind(center::NavKind kind, const QString& filter);
    void SaveListColumns() const;
    void UpdateCount();
    void ActivateRow(const QModelIndex& index);
    void FocusMoved(QWidget* now);
    void RestorePlacement();
    void SavePlacement() const;
    bool HasBuiltIn(center::Command command) const;

    // The commands (MainCommands.cpp).
    void NewArchive();
    void EncryptionWizard();
    void StartMessenger();
    void Locations();
    void Refresh();
    void FileGone(const QString& path);
    void Preferences(bool sessionKeyOnly);
    void DeleteSelected();
    void SelectOutputFolder();
    void Decrypt(center::Command command);
    void AddToArchive(bool folder);
    void OpenInBoxview();
    void GenerateKeyPair();
    void KeyFolder();
    void ExportKey();
    void ImportKey();
    void SaveOutputHistory();
    void HelpCommand(center::Command command);
    QModelIndex SelectedRow() const;

    std::unique_ptr<center::CEmptyStore> m_ownStore;
    center::ICenterStore* m_store;
    center::NavKind m_kind = center::kNavAllFiles;
    QString m_listFilter;
    std::set<QString> m_goneFiles; // gone files that have had their rescan
    center::Pane m_focus = center::Pane::Tree;
    int m_set = -1;
    std::vector<Entry> m_actions;
    std::map<center::Command, std::function<void()>> m_handlers;
    std::function<void(center::CommandState&)> m_taskFacts;
    std::vector<std::vector<QMenu*>> m_menus; // per menu set
    QMenu* m_help = nullptr;
    center::CWorkspaceBar* m_workspace;
    QToolBar* m_toolBar = nullptr;
    std::vector<center::CDialogBar*> m_bars; // per menu set
    QAction* m_outputAction = nullptr;       // the combo box's place in the main dialog bar
    QComboBox* m_outputFolders = nullptr;
    QSplitter* m_splitter = nullptr;
    QTreeView* m_list = nullptr;
    center::CListFilter* m_filter = nullptr;
    center::CFilterField* m_filterField = nullptr;
    center::CKeyManDesc* m_desc = nullptr;
    QLabel* m_count = nullptr;
};
