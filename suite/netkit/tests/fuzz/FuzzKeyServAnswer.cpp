// The key-server client's reading of answers: the first byte picks the HTTP status, the rest is
// the body; then every key text in it is read as a key, as FindKey and SynchronizeKey do.
#include "corecrypt/KeyRing.h"
#include "netkit/KeyServAnswer.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const long statuses[] = {200, 202, 400, 403, 404, 409, 413, 429, 500, 503, 302, 0};
    const long status = statuses[data[0] % (sizeof statuses / sizeof statuses[0])];
    const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
    NetKit::KeyServ::ServerAnswer answer;
    if (NetKit::KeyServ::ParseServerAnswer(status, body, answer)) {
        for (const std::string& text : answer.keys) {
            std::string error;
            corecrypt::ParsePublicKeyText(text, error);
        }
    }
    return 0;
}
