#pragma once

#include "center/core/CommandRules.h"

#include <QTreeView>

#include <string>
#include <vector>

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

// The task-list and schedule trees: their own items come with the task views; until then they
// only set their navigation kind.
class CTaskTree : public CKeyManTree {
    Q_OBJECT
public:
    CTaskTree(NavKind kind, QWidget* parent = nullptr);
    NavKind SelectedKind() const override { return m_kind; }

private:
    NavKind m_kind;
};

} // namespace center
