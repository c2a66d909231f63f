#pragma once

#include "center/core/CommandRules.h"

#include <QTreeView>

#include <string>
#include <vector>

class CAction;
class CTaskManager;
class QStandardItem;
class QStandardItemModel;

namespace center {

// The common base of the workspace trees: it says when it gains the focus and which navigation
// kind its selected item stands for, with the filter text that the list then shows.
class CKeyManTree : public QTreeView {
    Q_OBJECT
public:
    explicit CKeyManTree(QWidget* parent = nullptr);
    // The kind and filter of the selected item (or of no selection).
    virtual NavKind SelectedKind() const = 0;
    virtual QString SelectedFilter() const { return {}; }
    QStandardItemModel* Items() const { return m_items; }

signals:
    void focusEntered();
    // The selected item changed while this tree is shown.
    void selectionMoved();

protected:
    void focusInEvent(QFocusEvent* event) override;
    QStandardItemModel* m_items;
};

// "Public Keys", "Private Keys" and "Secret Keys", each with its count.
class CKeysTree : public CKeyManTree {
    Q_OBJECT
public:
    explicit CKeysTree(QWidget* parent = nullptr);
    void SetCounts(int publicKeys, int privateKeys, int keyFiles);
    NavKind SelectedKind() const override;
    void SelectKind(NavKind kind);

private:
    QStandardItem* m_public;
    QStandardItem* m_private;
    QStandardItem* m_secret;
};

// "Folders", holding the folders of the encrypted files as a tree from the root down, and
// "All Files" with their count. A folder item's filter is its path with a final "/".
class CFileTree : public CKeyManTree {
    Q_OBJECT
public:
    explicit CFileTree(QWidget* parent = nullptr);
    // Rebuilds the folders from the encrypted files' paths and selects "All Files".
    void SetFiles(const std::vector<std::string>& paths);
    NavKind SelectedKind() const override;
    QString SelectedFilter() const override;
    // Selects the folder item of `folder` (with its final "/"); false when there is none.
    bool SelectFolder(const QString& folder);

private:
    QStandardItem* m_folders = nullptr;
    QStandardItem* m_all = nullptr;
};

// The task list by kind: "Encrypt", "Send" and "Delete", each task below the folder chain of its
// Location (encrypt, delete) or below its sender (send). A group without tasks holds "No tasks".
class CTaskTree : public CKeyManTree {
    Q_OBJECT
public:
    explicit CTaskTree(QWidget* parent = nullptr);
    NavKind SelectedKind() const override { return kNavTaskList; }

    // Removes every node and adds the groups and every task of `tasks`.
    void Fill(const CTaskManager& tasks);
    // Each adds the task's node (and the nodes missing above it) and gives it; a task of another
    // kind raises CUIException "CTaskTree::Add...(): wrong type of item.".
    QStandardItem* AddPathEncryptItem(CAction* task);
    QStandardItem* AddPathDeleteItem(CAction* task);
    QStandardItem* AddSenderSendItem(CAction* task);
    // The matching one of the three, with the group's "No tasks" taken away.
    QStandardItem* AddTask(CAction* task);
    // Label and picture again after an edit; the label becomes the task's name.
    void Relabel(QStandardItem* node);
    // Takes the task's node away with the folders left empty above it, and selects the nearest
    // node that remains.
    void RemoveTask(const CAction* task);

    CAction* SelectedTask() const;
    QStandardItem* NodeOf(const CAction* task) const;
    void SelectTask(const CAction* task);
    // Encrypt, send, delete.
    QStandardItem* Group(int index) const { return m_groups[index]; }

private:
    QStandardItem* AddBelowChain(QStandardItem* group, CAction* task);
    QStandardItem* AddNode(QStandardItem* parent, const QString& label, int image);
    void SetEmpty(QStandardItem* group);
    QStandardItem* m_groups[3] = {nullptr, nullptr, nullptr};
};

// The stored schedule by time frame: "All" and the seven frames, each with its count of tasks.
class CSchedTree : public CKeyManTree {
    Q_OBJECT
public:
    explicit CSchedTree(QWidget* parent = nullptr);
    NavKind SelectedKind() const override { return kNavSchedule; }
    // The selected frame's name; empty for "All" (every task).
    QString SelectedFilter() const override;
    void SetCounts(const CTaskManager& schedule);
    bool AllSelected() const;

private:
    QStandardItem* m_all;
};

// The picture of the task tree's image list at `image` (see TaskViewText.h).
QIcon TaskImageIcon(int image);

// The roles of the task trees' nodes.
inline constexpr int kTaskRole = Qt::UserRole + 21;  // the task (CAction*), on task nodes
inline constexpr int kImageRole = Qt::UserRole + 22; // the image list index
} // namespace center
