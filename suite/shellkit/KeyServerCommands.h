#pragma once

// The key-server commands of the control center's Keys menu, without windows: they ask and tell
// through uikit, so the main window calls them and tests drive them with scripted answers. The
// server comes from the settings (KeyServer, KeyServerPlainHttp).
//
// Each returns true when the rings changed, so the caller reloads its keys and refills its list.

#include "corecrypt/AsymmKey.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace shellkit {

// Points the key-server client at the server of the settings.
void UseKeyServerFromSettings();

// "Publish key on server": `key` is the selected public key (null when none is), `own` the user's
// private key of the same ID (null when it is not an own key).
bool PublishKeyOnServer(const CPublicKey* key, const CPrivateKey* own);

// "Revoke key from server". `askCode` shows the revocation window: nothing on Cancel, else the
// code (empty: start a new revocation).
bool RevokeKeyFromServer(const CPublicKey* key, const CPrivateKey* own,
                         const std::function<std::optional<std::string>()>& askCode);

// "Synchronize keys with server" over the public keys the store holds; `isOwn` tells the user's
// own keys, which are skipped like expired and revoked ones.
bool SynchronizeKeysWithServer(const std::vector<const CPublicKey*>& keys,
                               const std::function<bool(const CPublicKey&)>& isOwn, std::int64_t now);

} // namespace shellkit
