// Key text as it is pasted or received: a key that parses must export the same record again, and
// anything else must be refused with a reason.
#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"

#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool once = [] {
        corecrypt::SetKdfCapForTesting(corecrypt::KdfCost{10, 8, 1});
        return true;
    }();
    (void)once;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (auto key = corecrypt::ParsePublicKeyText(text, error)) {
        std::string again;
        if (!corecrypt::ParsePublicKeyText(key->GetEnvelop(), again) || key->m_nEnvelopLen == 0)
            __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    error.clear();
    if (auto key = corecrypt::ParsePrivateKeyText(text, error)) {
        auto half = key->GetPublicKey();
        if (!half || half->GetPublicRecordBytes() != key->GetPublicRecordBytes())
            __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
