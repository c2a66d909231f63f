#include "keyserv/Requests.h"

#include "corecrypt/KeyRing.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace keyserv {
namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string HexOf(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

} // namespace

std::string DumpJson(const nlohmann::json& json) {
    // A byte that is not UTF-8 (an address is checked for syntax only) must not end the answer.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool ParseKeyId(std::string_view text, std::string& normal) {
    if (text.size() != 32 || !std::all_of(text.begin(), text.end(), IsHex))
        return false;
    normal.clear();
    for (char c : text)
        normal += Lower(c);
    return true;
}

bool ParseEmail(std::string_view text, std::string& normal) {
    if (text.empty() || text.size() > corecrypt::kMaxKeyEmailSize)
        return false;
    const std::size_t at = text.find('@');
    if (at == 0 || at == std::string_view::npos || at + 1 == text.size() ||
        text.find('@', at + 1) != text.npos)
        return false;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7f || c == '<' || c == '>' || c == '"' || c == ',' || c == ';' || c == '\\')
            return false;
    }
    normal.clear();
    for (char c : text)
        normal += Lower(c);
    return true;
}

bool ValidRevocationCode(std::string_view code) {
    if (code.size() < 10 || code.size() > 32)
        return false;
    return std::all_of(code.begin(), code.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
    });
}

bool ValidToken(std::string_view token) {
    return token.size() == 64 && std::all_of(token.begin(), token.end(),
                                             [](char c) { return IsHex(c) && !(c >= 'A' && c <= 'F'); });
}

bool ParseSignedKeyRequest(std::string_view body, bool withCode, SignedKeyRequest& request,
                           std::string& error) {
    if (body.size() > kMaxRequestBytes) {
        error = "The request is too large.";
        return false;
    }
    const nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        error = "The request is not a JSON object.";
        return false;
    }
    auto text = [&](const char* name, std::string& out) {
        const auto it = json.find(name);
        if (it == json.end() || !it->is_string()) {
            error = std::string("The request has no \"") + name + "\" text.";
            return false;
        }
        out = it->get<std::string>();
        return true;
    };
    std::string signature;
    if (!text("key", request.keyText) || !text("signature", signature))
        return false;
    if (!corecrypt::DecodeBase64(signature, request.signature) ||
        request.signature.size() != corecrypt::kEd25519SignatureSize) {
        error = "The request's signature is not a signature.";
        return false;
    }
    if (withCode) {
        if (!text("code", request.code))
            return false;
        if (!ValidRevocationCode(request.code)) {
            error = "The revocation code is not valid.";
            return false;
        }
    }
    return true;
}

bool CheckSignedKey(const SignedKeyRequest& request, StoredKey& key, std::string& error) {
    std::string reason;
    auto parsed = corecrypt::ParsePublicKeyText(request.keyText, reason);
    if (!parsed) {
        error = "The key is not valid: " + reason;
        return false;
    }
    const corecrypt::PublicKeyRecord& record = parsed->GetPublicRecord();
    if (!corecrypt::VerifyEd25519(
            record.signPublic, reinterpret_cast<const std::uint8_t*>(request.keyText.data()),
            request.keyText.size(), reinterpret_cast<const std::uint8_t*>(request.signature.data()))) {
        error = "The request is not signed by the key's own secret key.";
        return false;
    }
    if (!ParseEmail(record.email, key.email)) {
        error = "The key's e-mail address is not valid.";
        return false;
    }
    key.keyId = HexOf(parsed->GetKeyIDPbyte(), corecrypt::kAsymmKeyIdSize);
    key.text.assign(parsed->GetEnvelop(), parsed->m_nEnvelopLen);
    key.signedAt = record.signedAt;
    key.revoked = record.revoked;
    key.confirmed = false;
    return true;
}

std::string ErrorJson(const std::string& message) {
    return DumpJson(nlohmann::json{{"error", message}});
}
std::string MessageJson(const std::string& message) {
    return DumpJson(nlohmann::json{{"message", message}});
}

} // namespace keyserv
