#pragma once

// The key-server client: finds public keys by address, publishes the user's own key, keeps local
// copies current and revokes a key, over keyserv's JSON API.
//
// The calls keep the suite's convention: non-zero on success, zero with a zero-terminated reason
// in the caller's buffer (on success the buffer holds the server's message, or is empty). The
// server is spoken to over HTTPS with its certificate checked; plain HTTP is used only for a
// server on this machine (loopback) or when the user allowed it (KeyServerPlainHttp). Signing
// needs the private key's passphrase: given by the caller, or asked through uikit.

#include "corecrypt/AsymmKey.h"

#include <memory>
#include <string>
#include <vector>

namespace NetKit {
namespace KeyServ {

// Where the calls go, from the user's settings (KeyServer, KeyServerPlainHttp) or a command line.
void SetServer(const std::string& url, bool allowPlainHttp);

// The keys the server holds for a confirmed address; each is checked (self-signature, address)
// before it is returned. No key for the address is a success with an empty list.
int FindKey(const char* email, std::vector<std::unique_ptr<CPublicKey>>& keys, char* errorText,
            int errorTextSize);

// Publishes the key text `envelope` (length in bytes), signed by the user's own private key to
// prove possession. `passphrase` null: asked through uikit.
int PublishKey(const char* envelope, int envelopeLength, const CPrivateKey& ownKey, char* errorText,
               int errorTextSize, const std::string* passphrase = nullptr);

// Fetches the server's newest copy of `key`. The copy must carry the key ID asked for and a valid
// self-signature; a newer one replaces `key` (keeping its ring position) and sets `changed`, an
// older or equal one leaves it. Status afterwards: kStatusNotOnServer when the server holds no
// such key, kStatusSynchronized otherwise; m_bRevoked follows the copy kept.
int SynchronizeKey(std::unique_ptr<CPublicKey>& key, bool& changed, char* errorText, int errorTextSize);

// Makes the server mail a one-time revocation code to the key's address.
int InitKeyRevocation(const unsigned char* keyId, char* errorText, int errorTextSize);

// Signs a revoked revision of the user's own key and sends it with the mailed code. On success
// `revoked` holds that revision (the private key; its public half goes into the public ring).
int CompleteKeyRevocation(const unsigned char* keyId, const char* code, const CPrivateKey& ownKey,
                          std::unique_ptr<CPrivateKey>& revoked, char* errorText, int errorTextSize,
                          const std::string* passphrase = nullptr);

} // namespace KeyServ
} // namespace NetKit
