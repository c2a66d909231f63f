#include "center/core/HeaderBytes.h"

namespace center {

std::uint8_t StoreVersion(std::uint8_t byte) {
    return byte <= 20 ? 30 : byte;
}

std::size_t FlagsOffset(std::uint8_t version) {
    return version == 41 ? 9 : 5;
}
std::size_t CodeOffset(std::uint8_t version) {
    return version == 41 ? 10 : 6;
}
std::size_t KeyIdOffset(std::uint8_t version) {
    return version == 41 ? 27 : 23;
}

HeaderOutcome ParseStoreHeader(const std::uint8_t* data, std::size_t size, StoreHeader& header) {
    header = StoreHeader{};
    if (size < 1)
        return HeaderOutcome::ReadFailure;
    header.version = StoreVersion(data[0]);
    if (header.version != 40 && header.version != 41)
        return HeaderOutcome::WrongVersion;
    const std::size_t code = CodeOffset(header.version);
    const std::size_t flags = FlagsOffset(header.version);
    if (size <= code || size <= flags)
        return HeaderOutcome::ReadFailure;
    header.code = data[code];
    header.keyFile = (data[flags] & 1) != 0;
    if (!header.keyFile)
        return HeaderOutcome::Ok;
    const std::size_t id = KeyIdOffset(header.version);
    if (size < id + kKeyIdBytes)
        return HeaderOutcome::KeyIdMissing;
    header.keyId.assign(reinterpret_cast<const char*>(data + id), kKeyIdBytes);
    return HeaderOutcome::Ok;
}

} // namespace center
