// A recipients list is a file from outside. Whatever the parser accepts must be safe to put into
// the envelope and the headers: no line breaks, spaces or controls in an address, none of the
// former in a name, and a message built from it must carry no stray line break.
#include "netkit/MailMessage.h"

#include <cstdlib>
#include <string>

using namespace NetKit::Mail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<MailAddress> out;
    std::string error;
    if (ParseRecipientsFile(bytes, out, error)) {
        for (const auto& a : out) {
            for (unsigned char c : a.address)
                if (c <= 0x20 || c >= 0x7f)
                    std::abort();
            if (a.name.find_first_of("\r\n") != std::string::npos || !ValidateAddress(a.address, error))
                std::abort();
        }
        if (!out.empty()) {
            MessageInput in;
            in.from = {"Fuzz", "fuzz@example.test"};
            in.to = out;
            in.subject = "s";
            in.messageId = "id@example.test";
            std::string message;
            if (!BuildMessage(in, message, error))
                std::abort();
            // Every line break in the message is a CR LF pair.
            for (std::size_t i = 0; i < message.size(); ++i)
                if ((message[i] == '\n' && (i == 0 || message[i - 1] != '\r')) ||
                    (message[i] == '\r' && (i + 1 == message.size() || message[i + 1] != '\n')))
                    std::abort();
        }
    }
    out.clear();
    ParseAddressList(bytes, out, error);
    return 0;
}
