#pragma once

#include "center/core/CommandRules.h"

#include <QString>

#include <memory>

#include <string>
#include <vector>

class QAbstractItemModel;
class QModelIndex;
class QWidget;
class CDlgCancel;

namespace center {

class CCenterState;
class CListRowsModel;

// What the main window needs of the key store and the task managers. The window asks, the store
// answers; the window never copies rows into widgets. Rows carry the roles of ListRoles.h.
class ICenterStore {
public:
    virtual ~ICenterStore() = default;

    // The list's model for a navigation kind; `filter` is the folder (with its final "/") for
    // kind 4 and the time frame for kind 6. Owned by the store and valid until the next call.
    virtual QAbstractItemModel* ListModel(NavKind kind, const QString& filter) = 0;

    // The store scan, under the scanning window: it reports through window.Report() and stops
    // when window.Record()'s continue flag is cleared, keeping what it found.
    virtual void Refresh(CDlgCancel& window) = 0;
    virtual void ReloadKeys() = 0;

    struct KeyCounts {
        int publicKeys = 0;
        int privateKeys = 0;
        int keyFiles = 0;
    };
    virtual KeyCounts CountKeys() const = 0;
    // Every encrypted file and archive found, for the folder tree.
    virtual std::vector<std::string> EncryptedFiles() const = 0;
    virtual void AddEncryptedFile(const std::string& path) = 0;
    virtual void RemoveEncryptedFile(const std::string& path) = 0;

    // The list's delete command for the row (kinds 0 to 4 and 6), with its questions. True when
    // the store changed.
    virtual bool DeleteRow(NavKind kind, const QModelIndex& row) = 0;

    // The description of a key file: the encrypted files that need it. Owned by the store and
    // valid until the next call; null when the store has none.
    virtual QAbstractItemModel* KeyFileUsers(const std::string& keyFile) {
        (void)keyFile;
        return nullptr;
    }

    // The task facts of the enabling rules (task counts, selection, scheduler state).
    virtual void AddTaskFacts(CommandState& state) const { (void)state; }
};

// The store of a window that has not been given one: nothing found, nothing to delete.
class CEmptyStore : public ICenterStore {
public:
    QAbstractItemModel* ListModel(NavKind kind, const QString& filter) override;
    void Refresh(CDlgCancel& window) override;
    void ReloadKeys() override {}
    KeyCounts CountKeys() const override { return {}; }
    std::vector<std::string> EncryptedFiles() const override { return {}; }
    void AddEncryptedFile(const std::string&) override {}
    void RemoveEncryptedFile(const std::string&) override {}
    bool DeleteRow(NavKind, const QModelIndex&) override { return false; }

private:
    std::unique_ptr<QAbstractItemModel> m_model;
};

// The program's store: the key store and the two task managers of CCenterState, shown through
// one list model at a time over the row classes of each kind.
class CCenterStore : public ICenterStore {
public:
    explicit CCenterStore(CCenterState& state);
    ~CCenterStore() override;

    QAbstractItemModel* ListModel(NavKind kind, const QString& filter) override;
    // Empties the index and scans again under `window`: Break stops the scan and keeps what was
    // found; the locations and key-folder windows open over it when they are needed. The rings
    // are loaded again afterwards.
    void Refresh(CDlgCancel& window) override;
    void ReloadKeys() override;
    KeyCounts CountKeys() const override;
    std::vector<std::string> EncryptedFiles() const override;
    void AddEncryptedFile(const std::string& path) override;
    void RemoveEncryptedFile(const std::string& path) override;
    bool DeleteRow(NavKind kind, const QModelIndex& row) override;
    QAbstractItemModel* KeyFileUsers(const std::string& keyFile) override;

    CCenterState& State() const { return m_state; }
    // The model ListModel() gave last; null before the first call.
    CListRowsModel* Model() const { return m_model.get(); }

private:
    CCenterState& m_state;
    std::unique_ptr<CListRowsModel> m_model;
    std::unique_ptr<CListRowsModel> m_users;
};

} // namespace center
