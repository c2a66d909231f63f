#pragma once

// Reading keyserv's answers: {"message": ...}, {"error": ...}, {"key": TEXT} or {"keys": [TEXT...]}.

#include <string>
#include <string_view>
#include <vector>

namespace NetKit {
namespace KeyServ {

struct ServerAnswer {
    std::string message;           // success text, or the error to show
    std::vector<std::string> keys; // key texts, unchecked
};

// True for a 2xx answer that reads as one of the forms above. Otherwise false with the server's
// error text, or a text of our own when the answer says nothing readable.
bool ParseServerAnswer(long status, std::string_view body, ServerAnswer& answer);

} // namespace KeyServ
} // namespace NetKit
