// Bytes that arrive on the command socket come from another process: the decoder must refuse
// anything that is not a whole record, and whatever it accepts must encode back to itself.
#include "platform/CommandSocket.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::CommandRecord record;
    std::string error;
    if (platform::DecodeCommand(data, size, record, error)) {
        const auto again = platform::EncodeCommand(record);
        if (std::memcmp(again.data(), data, again.size()) != 0)
            std::abort();
    }
    std::int32_t reply = 0;
    platform::DecodeReply(data, size, reply, error);
    return 0;
}
