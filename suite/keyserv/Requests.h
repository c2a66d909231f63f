#pragma once

// keyserv's reading of what clients send: JSON bodies, key IDs, addresses, tokens and codes.
// Everything here takes outside bytes and either fills its result or says what is wrong.

#include "keyserv/KeyStore.h"

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <string>
#include <string_view>

namespace keyserv {

// The largest request body the server reads.
constexpr std::size_t kMaxRequestBytes = 64 * 1024;

// 32 hex digits (either case); `normal` gets them in lower case.
bool ParseKeyId(std::string_view text, std::string& normal);
// An address as keys carry it, in lower case.
bool ParseEmail(std::string_view text, std::string& normal);
// 10 to 32 letters, digits and hyphens.
bool ValidRevocationCode(std::string_view code);
// A confirmation token: 64 lower-case hex digits.
bool ValidToken(std::string_view token);

struct SignedKeyRequest {
    std::string keyText;
    std::string signature; // 64 bytes
    std::string code;      // the revocation code, when completing a revocation
};
// {"key": TEXT, "signature": BASE64} and, with `withCode`, "code": CODE.
bool ParseSignedKeyRequest(std::string_view body, bool withCode, SignedKeyRequest& request,
                           std::string& error);

// Reads the key text (its self-signature must hold) and checks that the request's signature over
// that text was made by the key itself. `key` gets the key as stored (confirmation not set).
bool CheckSignedKey(const SignedKeyRequest& request, StoredKey& key, std::string& error);

std::string DumpJson(const nlohmann::json& json);
// {"error": MESSAGE} and {"message": MESSAGE}.
std::string ErrorJson(const std::string& message);
std::string MessageJson(const std::string& message);

} // namespace keyserv
