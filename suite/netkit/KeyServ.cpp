#include "netkit/KeyServ.h"

#include "corecrypt/KeyRing.h"
#include "netkit/CaBundle.h"
#include "netkit/KeyServAnswer.h"
#include "platform/Clock.h"
#include "uikit/Ui.h"

#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace NetKit {
namespace KeyServ {
namespace {

// The largest answer read; a find with many keys stays far below it.
constexpr std::size_t kMaxAnswerBytes = 4 * 1024 * 1024;

std::mutex g_serverLock;
std::string g_server;
bool g_allowPlainHttp = false;

int Fail(char* errorText, int errorTextSize, const std::string& text) {
    if (errorText && errorTextSize > 0) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(errorTextSize - 1));
        std::memcpy(errorText, text.data(), n);
        errorText[n] = '\0';
    }
    return 0;
}

int Succeed(char* errorText, int errorTextSize, const std::string& message) {
    Fail(errorText, errorTextSize, message);
    return 1;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string HexId(const unsigned char* id) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < corecrypt::kAsymmKeyIdSize; ++i) {
        out += digits[id[i] >> 4];
        out += digits[id[i] & 15];
    }
    return out;
}

// The base address to use, or false with the reason: https, or http to loopback or when allowed.
bool ServerBase(std::string& base, std::string& error) {
    std::lock_guard<std::mutex> lock(g_serverLock);
    base = g_server;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    if (base.empty()) {
        error = "No key server is set. Enter its address in the preferences.";
        return false;
    }
    const std::string lower = Lower(base);
    if (lower.rfind("https://", 0) == 0)
        return true;
    if (lower.rfind("http://", 0) != 0) {
        error = "The key server address must start with \"https://\".";
        return false;
    }
    std::string host = lower.substr(7);
    host = host.substr(0, host.find('/'));
    const bool loopback =
        host.rfind("127.", 0) == 0 || host.rfind("localhost", 0) == 0 || host.rfind("[::1]", 0) == 0;
    if (!loopback && !g_allowPlainHttp) {
        error = "The key server address uses plain HTTP, which anyone on the way can read and change. Use an "
                "\"https://\" address, or allow plain HTTP in the preferences.";
        return false;
    }
    return true;
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* out = static_cast<std::string*>(user);
    if (out->size() + size * count > kMaxAnswerBytes)
        return 0; // ends the transfer
    out->append(data, size * count);
    return size * count;
}

// One request to the server; false only when no answer came (then `error` says why).
bool Request(const char* method, const std::string& path, const std::string& body, long& status,
             std::string& answer, std::string& error) {
    std::string base;
    if (!ServerBase(base, error))
        return false;
    CURL* curl = curl_easy_init();
    if (!curl) {
        error = "Cannot start a connection to the key server.";
        return false;
    }
    const std::string url = base + path;
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    headers = curl_slist_append(headers, "Accept: application/json");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* bundle = CaBundleFromEnvironment())
        curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 15L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Quillmark");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    if (std::strcmp(method, "POST") == 0) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK) {
        error = rc == CURLE_WRITE_ERROR
                    ? "The key server's answer is too large."
                    : std::string("Cannot reach the key server: ") + curl_easy_strerror(rc);
        return false;
    }
    return true;
}

// A request whose answer is read; false with the text to show.
bool Call(const char* method, const std::string& path, const std::string& body, ServerAnswer& answer,
          long& status, std::string& error) {
    std::string bytes;
    if (!Request(method, path, body, status, bytes, error))
        return false;
    if (!ParseServerAnswer(status, bytes, answer)) {
        error = answer.message;
        return false;
    }
    return true;
}

bool AskPassphrase(const CPrivateKey& key, const std::string* given, std::string& passphrase,
                   std::string& error) {
    if (given) {
        passphrase = *given;
        return true;
    }
    uikit::TextRequest request;
    request.prompt = std::string("Enter the passphrase of the private key for ") + key.GetEmail() + ":";
    request.caption = "Quillmark: Enter Passphrase";
    request.hidden = true;
    const auto answer = uikit::AskText(request);
    if (!answer) {
        error = "Cancelled: no passphrase was given.";
        return false;
    }
    passphrase = *answer;
    return true;
}

// {"key": TEXT, "signature": BASE64 of the key's own signature over TEXT}, plus `extra`.
bool SignedBody(const CPrivateKey& key, const std::string& passphrase, const std::string& text,
                nlohmann::json extra, std::string& body, std::string& error) {
    unsigned char signature[corecrypt::kEd25519SignatureSize];
    if (!key.Sign(passphrase, text.data(), text.size(), signature, error))
        return false;
    extra["key"] = text;
    extra["signature"] = corecrypt::EncodeBase64(signature, sizeof signature);
    body = extra.dump();
    return true;
}

} // namespace

void SetServer(const std::string& url, bool allowPlainHttp) {
    std::lock_guard<std::mutex> lock(g_serverLock);
    g_server = url;
    g_allowPlainHttp = allowPlainHttp;
}

int FindKey(const char* email, std::vector<std::unique_ptr<CPublicKey>>& keys, char* errorText,
            int errorTextSize) {
    keys.clear();
    const std::string address = email ? email : "";
    if (address.empty() || address.find('@') == std::string::npos)
        return Fail(errorText, errorTextSize, "Enter an e-mail address to search for.");
    char* escaped = curl_easy_escape(nullptr, address.c_str(), static_cast<int>(address.size()));
    if (!escaped)
        return Fail(errorText, errorTextSize, "Out of memory.");
    const std::string path = std::string("/v1/keys?email=") + escaped;
    curl_free(escaped);
    ServerAnswer answer;
    long status = 0;
    std::string error;
    std::string bytes;
    if (!Request("GET", path, {}, status, bytes, error))
        return Fail(errorText, errorTextSize, error);
    // Not found is an answer: the list stays empty.
    if (!ParseServerAnswer(status, bytes, answer))
        return status == 404 ? Succeed(errorText, errorTextSize, {})
                             : Fail(errorText, errorTextSize, answer.message);
    for (const std::string& text : answer.keys) {
        auto key = corecrypt::ParsePublicKeyText(text, error);
        if (!key)
            return Fail(errorText, errorTextSize, "The key server sent a key that is not valid: " + error);
        // Only keys of the address asked for: a server cannot slip in another one.
        if (Lower(key->GetEmail()) == Lower(address))
            keys.push_back(std::move(key));
    }
    return Succeed(errorText, errorTextSize, answer.message);
}

int PublishKey(const char* envelope, int envelopeLength, const CPrivateKey& ownKey, char* errorText,
               int errorTextSize, const std::string* passphrase) {
    if (!envelope || envelopeLength <= 0)
        return Fail(errorText, errorTextSize, "There is no key text to publish.");
    const std::string text(envelope, static_cast<std::size_t>(envelopeLength));
    std::string error;
    auto key = corecrypt::ParsePublicKeyText(text, error);
    if (!key)
        return Fail(errorText, errorTextSize, error);
    if (std::memcmp(key->GetKeyIDPbyte(), ownKey.GetKeyIDPbyte(), corecrypt::kAsymmKeyIdSize) != 0)
        return Fail(errorText, errorTextSize, "The private key does not belong to this public key.");
    std::string secret;
    std::string body;
    if (!AskPassphrase(ownKey, passphrase, secret, error) ||
        !SignedBody(ownKey, secret, text, nlohmann::json::object(), body, error))
        return Fail(errorText, errorTextSize, error);
    ServerAnswer answer;
    long status = 0;
    if (!Call("POST", "/v1/keys", body, answer, status, error))
        return Fail(errorText, errorTextSize, error);
    return Succeed(errorText, errorTextSize, answer.message);
}

int SynchronizeKey(std::unique_ptr<CPublicKey>& key, bool& changed, char* errorText, int errorTextSize) {
    changed = false;
    if (!key)
        return Fail(errorText, errorTextSize, "No key to synchronize.");
    ServerAnswer answer;
    long status = 0;
    std::string error;
    std::string bytes;
    if (!Request("GET", "/v1/keys/" + HexId(key->GetKeyIDPbyte()), {}, status, bytes, error))
        return Fail(errorText, errorTextSize, error);
    if (!ParseServerAnswer(status, bytes, answer)) {
        if (status != 404)
            return Fail(errorText, errorTextSize, answer.message);
        key->m_nStatus = corecrypt::kStatusNotOnServer;
        return Succeed(errorText, errorTextSize, {});
    }
    if (answer.keys.size() != 1)
        return Fail(errorText, errorTextSize, "The key server sent no key.");
    auto copy = corecrypt::ParsePublicKeyText(answer.keys[0], error);
    if (!copy)
        return Fail(errorText, errorTextSize, "The key server sent a key that is not valid: " + error);
    if (std::memcmp(copy->GetKeyIDPbyte(), key->GetKeyIDPbyte(), corecrypt::kAsymmKeyIdSize) != 0)
        return Fail(errorText, errorTextSize,
                    "The key server sent a key with another key ID than the one asked for.");
    if (copy->GetSignatureTime() > key->GetSignatureTime()) {
        copy->m_nRingPos = key->m_nRingPos;
        copy->m_bExpired = key->m_bExpired;
        key = std::move(copy);
        changed = true;
    }
    key->m_nStatus = corecrypt::kStatusSynchronized;
    key->m_bRevoked = key->GetRevocationTime() != 0 ? 1 : 0;
    return Succeed(errorText, errorTextSize, {});
}

int InitKeyRevocation(const unsigned char* keyId, char* errorText, int errorTextSize) {
    if (!keyId)
        return Fail(errorText, errorTextSize, "No key to revoke.");
    ServerAnswer answer;
    long status = 0;
    std::string error;
    if (!Call("POST", "/v1/keys/" + HexId(keyId) + "/revocation", "{}", answer, status, error))
        return Fail(errorText, errorTextSize, error);
    return Succeed(errorText, errorTextSize, answer.message);
}

int CompleteKeyRevocation(const unsigned char* keyId, const char* code, const CPrivateKey& ownKey,
                          std::unique_ptr<CPrivateKey>& revoked, char* errorText, int errorTextSize,
                          const std::string* passphrase) {
    revoked.reset();
    if (!keyId || std::memcmp(keyId, ownKey.GetKeyIDPbyte(), corecrypt::kAsymmKeyIdSize) != 0)
        return Fail(errorText, errorTextSize, "The private key does not belong to the key being revoked.");
    std::string trimmed = code ? code : "";
    while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back())))
        trimmed.pop_back();
    trimmed.erase(0, std::min(trimmed.size(), trimmed.find_first_not_of(" \t\r\n")));
    if (trimmed.size() < 10 || trimmed.size() > 32 ||
        !std::all_of(trimmed.begin(), trimmed.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; }))
        return Fail(errorText, errorTextSize, "The revocation code is 10 to 32 letters, digits and hyphens.");
    std::string secret;
    std::string error;
    if (!AskPassphrase(ownKey, passphrase, secret, error))
        return Fail(errorText, errorTextSize, error);
    auto revision = ownKey.Clone();
    if (!revision->Revise(secret, revision->GetExpireTime(), true, platform::Now(), error))
        return Fail(errorText, errorTextSize, error);
    const auto publicHalf = revision->GetPublicKey();
    const std::string text(publicHalf->GetEnvelop(), publicHalf->m_nEnvelopLen);
    std::string body;
    if (!SignedBody(*revision, secret, text, nlohmann::json{{"code", trimmed}}, body, error))
        return Fail(errorText, errorTextSize, error);
    ServerAnswer answer;
    long status = 0;
    if (!Call("POST", "/v1/keys/" + HexId(keyId) + "/revocation/complete", body, answer, status, error))
        return Fail(errorText, errorTextSize, error);
    revision->m_nRingPos = ownKey.m_nRingPos;
    revision->m_bRevoked = 1;
    revoked = std::move(revision);
    return Succeed(errorText, errorTextSize, answer.message);
}

} // namespace KeyServ
} // namespace NetKit
