#include "center/windows/CenterStore.h"

#include "center/core/CenterState.h"
#include "center/core/ColumnSets.h"
#include "center/core/KeyRecords.h"
#include "center/core/ListRows.h"
#include "center/core/StoreWindows.h"
#include "center/views/ListModel.h"
#include "center/windows/Icons.h"
#include "center/windows/KeyFolderWindow.h"
#include "center/windows/LocationsWindow.h"
#include "center/windows/ScanWindow.h"

#include <QStandardItemModel>

namespace center {

QAbstractItemModel* CEmptyStore::ListModel(NavKind kind, const QString&) {
    const ColumnSet& set = ListColumns(kind);
    auto* model = new QStandardItemModel(0, static_cast<int>(set.columns.size()));
    for (int c = 0; c < model->columnCount(); ++c)
        model->setHeaderData(c, Qt::Horizontal,
                             QString::fromLatin1(set.columns[static_cast<std::size_t>(c)].title));
    m_model.reset(model);
    return model;
}

void CEmptyStore::Refresh(CDlgCancel& window) {
    window.Report(0, 0, 0, 0);
}

namespace {

// The windows a scan opens, over the scanning window.
class CScanStoreWindows : public IStoreWindows {
public:
    explicit CScanStoreWindows(QWidget* owner) : m_owner(owner) {}

    bool EditLocations() override {
        CDlgLocations dialog(m_owner);
        return dialog.DoModal() == QDialog::Accepted;
    }

    KeyFolderChoice ChooseKeyFolder() override {
        CDlgKeyFolder dialog(m_owner);
        KeyFolderChoice choice;
        choice.confirmed = dialog.exec() == QDialog::Accepted;
        choice.folder = dialog.Folder();
        return choice;
    }

private:
    QWidget* m_owner;
};

// The list's delete command for one row of the rows shown. Deleting key files, keys and
// encrypted files is not offered by this store yet: nothing is deleted.
bool DeleteListRow(CCenterState& state, NavKind kind, CListRows& rows, int row) {
    (void)state;
    (void)kind;
    (void)rows;
    (void)row;
    return false;
}

} // namespace

CCenterStore::CCenterStore(CCenterState& state) : m_state(state) {}

CCenterStore::~CCenterStore() = default;

QAbstractItemModel* CCenterStore::ListModel(NavKind kind, const QString& filter) {
    std::unique_ptr<CListRows> rows = MakeListRows(m_state, kind, filter.toStdString());
    if (!rows)
        rows = MakeListRows(m_state, kNavAllFiles);
    m_model = std::make_unique<CListRowsModel>(std::move(rows), &RowIconOf);
    return m_model.get();
}

void CCenterStore::Refresh(CDlgCancel& window) {
    CenterShared& shared = m_state.m_shared;
    CScanStoreWindows windows(&window);
    struct Restore {
        CenterShared& shared;
        IStoreWindows* windows;
        ~Restore() {
            shared.pProgressOwner = nullptr;
            shared.pWindows = windows;
        }
    } restore{shared, shared.pWindows};
    shared.pProgressOwner = &window;
    shared.pWindows = &windows;
    m_state.m_keyManager.Clear();
    KMProgress progress;
    m_state.m_keyManager.Refresh(&progress, true);
    m_state.m_keyManager.ReloadKeys();
}

void CCenterStore::ReloadKeys() {
    m_state.m_keyManager.ReloadKeys();
}

ICenterStore::KeyCounts CCenterStore::CountKeys() const {
    const CKeyManager& keys = m_state.m_keyManager;
    return {static_cast<int>(keys.GetPubKeys().size()), static_cast<int>(keys.GetPrivKeys().size()),
            static_cast<int>(keys.GetKeyFiles().size())};
}

std::vector<std::string> CCenterStore::EncryptedFiles() const {
    std::vector<std::string> paths;
    paths.reserve(m_state.m_keyManager.GetEncryptedFiles().size());
    for (const auto& entry : m_state.m_keyManager.GetEncryptedFiles())
        paths.push_back(entry.first);
    return paths;
}

void CCenterStore::AddEncryptedFile(const std::string& path) {
    m_state.m_keyManager.AddEncryptedFile(path);
}

void CCenterStore::RemoveEncryptedFile(const std::string& path) {
    m_state.m_keyManager.RemoveEncryptedFile(path);
}

QAbstractItemModel* CCenterStore::KeyFileUsers(const std::string& keyFile) {
    m_users = std::make_unique<CListRowsModel>(
        std::make_unique<CKeyFileUserRows>(m_state.m_keyManager, keyFile), &RowIconOf,
        static_cast<QObject*>(nullptr), &DescriptionColumns(kNavSecretKeys));
    return m_users.get();
}

bool CCenterStore::DeleteRow(NavKind kind, const QModelIndex& row) {
    if (!m_model || !row.isValid() || row.model() != m_model.get())
        return false;
    return DeleteListRow(m_state, kind, m_model->Rows(), row.row());
}

} // namespace center
