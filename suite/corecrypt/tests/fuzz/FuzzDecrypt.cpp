// The decryptor, on arbitrary files: with the seeds' key file or password, any change must end
// in a clear error (never a crash, a hang or unbounded memory), and only verified bytes come out.
#include "FuzzKey.h"
#include "corecrypt/FileFormat.h"

#include <cstring>

namespace {

class MemorySource : public corecrypt::ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    long Read(std::uint8_t* buffer, std::size_t size, std::string&) override {
        const std::size_t n = std::min(size, m_size - m_at);
        if (n > 0)
            std::memcpy(buffer, m_data + m_at, n);
        m_at += n;
        return static_cast<long>(n);
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

class CountingSink : public corecrypt::PlainSink {
public:
    bool Begin(const corecrypt::FileMetadata& m, std::string&) override {
        m_expected = m.size;
        return true;
    }
    bool Write(const std::uint8_t*, std::size_t size, std::string&) override {
        m_total += size;
        if (m_total > m_expected)
            __builtin_trap(); // more than the stored size must never come out
        return true;
    }

private:
    std::uint64_t m_expected = 0;
    std::uint64_t m_total = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Hostile cost parameters are capped anyway; here the cap is low so each run stays short.
    static const bool once = [] {
        corecrypt::SetKdfCapForTesting(corecrypt::KdfCost{10, 8, 1});
        return true;
    }();
    (void)once;
    corecrypt::OpeningKey key;
    std::uint8_t secret[80];
    fuzzkey::Fill(key.keyId, secret);
    MemorySource in(data, size);
    corecrypt::FileHeader header;
    int code = 0;
    std::string error;
    if (!corecrypt::ReadFileHeader(in, header, code, error))
        return 0;
    if (header.keyFile) {
        key.haveKeyFile = true;
        key.keySecret.Assign(secret, sizeof secret);
    } else {
        key.password = fuzzkey::kPassword;
    }
    CountingSink sink;
    if (!corecrypt::DecryptBody(in, header, key, sink, "input", error) && error.empty())
        __builtin_trap();
    return 0;
}
