#include "center/windows/KeyServerMenu.h"

#include "center/core/CenterState.h"
#include "center/core/ListRows.h"
#include "center/views/ListFilter.h"
#include "center/views/ListModel.h"
#include "center/windows/CenterStore.h"
#include "center/windows/MainWindow.h"
#include "platform/Clock.h"
#include "shellkit/KeyServerCommands.h"
#include "shellkit/dialogs/KeyServerDialogs.h"

#include <QTreeView>

namespace center {
namespace {

// The public key of the list's selected row; null when none is selected.
const CPublicKey* SelectedPublicKey(const CMainFrame& frame, const CCenterStore& store) {
    const QModelIndexList selected = frame.List()->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return nullptr;
    const QModelIndex row = frame.ListFilter()->mapToSource(selected.first());
    const CListRowsModel* model = store.Model();
    if (!model || row.model() != model)
        return nullptr;
    const auto* keys = dynamic_cast<const CAsymmKeyRows*>(&model->Rows());
    if (!keys || keys->Kind() != kNavPublicKeys || row.row() >= keys->RowCount())
        return nullptr;
    const auto& map = store.State().m_keyManager.GetPubKeys();
    const auto it = map.find(keys->RowRef(row.row()));
    return it == map.end() ? nullptr : it->second.get();
}

const CPrivateKey* OwnKeyOf(const CCenterStore& store, const CPublicKey* key) {
    return key ? store.State().m_keyManager.FindPrivKey(key->GetKeyIDPbyte()) : nullptr;
}

void KeysChanged(CMainFrame& frame, CCenterStore& store) {
    store.ReloadKeys();
    frame.Rebuild();
}

} // namespace

void InstallKeyServerCommands(CMainFrame& frame, CCenterStore& store) {
    frame.SetCommandHandler(Command::PublishKey, [&frame, &store] {
        if (frame.Kind() != kNavPublicKeys)
            return;
        const CPublicKey* key = SelectedPublicKey(frame, store);
        if (shellkit::PublishKeyOnServer(key, OwnKeyOf(store, key)))
            KeysChanged(frame, store);
    });
    frame.SetCommandHandler(Command::RevokeKey, [&frame, &store] {
        if (frame.Kind() != kNavPublicKeys)
            return;
        const CPublicKey* key = SelectedPublicKey(frame, store);
        const auto askCode = [&frame]() -> std::optional<std::string> {
            shellkit::CDlgRevokeKey dialog(&frame);
            if (dialog.exec() != QDialog::Accepted)
                return std::nullopt;
            return dialog.Code();
        };
        if (shellkit::RevokeKeyFromServer(key, OwnKeyOf(store, key), askCode))
            KeysChanged(frame, store);
    });
    frame.SetCommandHandler(Command::SynchronizeKeys, [&frame, &store] {
        if (frame.Kind() != kNavPublicKeys)
            return;
        std::vector<const CPublicKey*> keys;
        for (const auto& entry : store.State().m_keyManager.GetPubKeys())
            keys.push_back(entry.second.get());
        const auto isOwn = [&store](const CPublicKey& key) { return OwnKeyOf(store, &key) != nullptr; };
        if (shellkit::SynchronizeKeysWithServer(keys, isOwn, platform::Now()))
            KeysChanged(frame, store);
    });
    frame.SetCommandHandler(Command::FindKey, [&frame, &store] {
        if (frame.Kind() != kNavPublicKeys)
            return;
        shellkit::CFindPubKeyOnKS dialog(&frame);
        if (dialog.exec() == QDialog::Accepted || dialog.Imported())
            KeysChanged(frame, store);
    });
}

} // namespace center
