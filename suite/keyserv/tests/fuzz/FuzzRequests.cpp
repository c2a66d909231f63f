// keyserv's reading of request bodies and path parts: any bytes give a result or an error text.
#include "keyserv/Requests.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string normal;
    keyserv::ParseKeyId(input, normal);
    keyserv::ParseEmail(input, normal);
    keyserv::ValidToken(input);
    keyserv::ValidRevocationCode(input);
    for (bool withCode : {false, true}) {
        keyserv::SignedKeyRequest request;
        std::string error;
        if (keyserv::ParseSignedKeyRequest(input, withCode, request, error)) {
            keyserv::StoredKey key;
            keyserv::CheckSignedKey(request, key, error);
        }
    }
    return 0;
}
