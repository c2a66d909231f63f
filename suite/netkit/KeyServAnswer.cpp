#include "netkit/KeyServAnswer.h"

#include <nlohmann/json.hpp>

namespace NetKit {
namespace KeyServ {
namespace {

// A server's text is shown to the user: control characters (other than line breaks) are dropped
// and it is kept short.
std::string Printable(const std::string& text) {
    std::string out;
    for (char c : text.substr(0, 1000))
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\n')
            out += c;
    return out;
}

} // namespace

bool ParseServerAnswer(long status, std::string_view body, ServerAnswer& answer) {
    answer = ServerAnswer{};
    const nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
    const bool object = !json.is_discarded() && json.is_object();
    const bool success = status >= 200 && status < 300;
    auto text = [&](const char* name) -> std::string {
        if (!object)
            return {};
        const auto it = json.find(name);
        return it != json.end() && it->is_string() ? Printable(it->get<std::string>()) : std::string();
    };
    if (!success) {
        answer.message = text("error");
        if (answer.message.empty())
            answer.message = "The key server answered with status " + std::to_string(status) + ".";
        return false;
    }
    if (!object) {
        answer.message = "The key server's answer cannot be read.";
        return false;
    }
    answer.message = text("message");
    if (const auto key = json.find("key"); key != json.end()) {
        if (!key->is_string()) {
            answer.message = "The key server's answer holds no key text.";
            return false;
        }
        answer.keys.push_back(key->get<std::string>());
    }
    if (const auto keys = json.find("keys"); keys != json.end()) {
        if (!keys->is_array()) {
            answer.message = "The key server's answer holds no key texts.";
            return false;
        }
        for (const auto& k : *keys) {
            if (!k.is_string()) {
                answer.message = "The key server's answer holds no key texts.";
                return false;
            }
            answer.keys.push_back(k.get<std::string>());
        }
    }
    return true;
}

} // namespace KeyServ
} // namespace NetKit
