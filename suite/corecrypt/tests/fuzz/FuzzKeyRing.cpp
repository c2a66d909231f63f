// Ring files as the loaders read them (either kind, and the earlier layout that is converted):
// every record of a ring that reads must make a key object, or the ring is refused with a reason.
#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"

#include <string>
#include <string_view>

namespace {

void Check(std::string_view bytes, corecrypt::RingKind kind) {
    corecrypt::RingContents ring;
    bool oldLayout = false;
    std::string error;
    bool read = corecrypt::DecodeRing(bytes, kind, ring, oldLayout, error);
    if (!read && oldLayout) {
        error.clear();
        read = corecrypt::DecodeOldRing(bytes, kind, ring, error);
    }
    if (!read) {
        if (error.empty())
            __builtin_trap();
        return;
    }
    for (const auto& entry : ring.entries) {
        std::string why;
        const bool made = kind == corecrypt::RingKind::Public
                              ? static_cast<bool>(CPublicKey::FromRecord(entry.record, false, why))
                              : static_cast<bool>(CPrivateKey::FromRecord(entry.record, false, why));
        if (!made && why.empty())
            __builtin_trap();
    }
    // A ring that reads writes back to bytes that read the same.
    corecrypt::RingContents again;
    if (!corecrypt::DecodeRing(corecrypt::EncodeRing(ring), kind, again, oldLayout, error) ||
        again.entries.size() != ring.entries.size())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool once = [] {
        corecrypt::SetKdfCapForTesting(corecrypt::KdfCost{10, 8, 1});
        return true;
    }();
    (void)once;
    if (size > 1 << 20)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Check(bytes, corecrypt::RingKind::Public);
    Check(bytes, corecrypt::RingKind::Private);
    return 0;
}
