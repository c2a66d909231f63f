// The message builder takes the task's texts as they were stored, which may be anything. Whatever
// it accepts must be a well-formed message: CR LF line ends only, no line longer than 998
// characters, and the header block ends at the first empty line and holds only header lines.
#include "netkit/MailMessage.h"

#include <cstdlib>
#include <string>
#include <vector>

using namespace NetKit::Mail;

namespace {

void Check(const std::string& m) {
    std::size_t start = 0;
    bool inHeaders = true;
    while (start < m.size()) {
        const auto end = m.find("\r\n", start);
        if (end == std::string::npos)
            std::abort(); // the message ends with a line break
        const std::string_view line(m.data() + start, end - start);
        if (line.size() > 998 || line.find_first_of("\r\n") != std::string_view::npos)
            std::abort();
        if (inHeaders) {
            if (line.empty())
                inHeaders = false;
            else if (line[0] != ' ' && line.find(": ") == std::string_view::npos)
                std::abort();
        }
        start = end + 2;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Fields separated by a zero byte: sender name, subject, body, charset, attachment name.
    std::vector<std::string> f(5);
    std::size_t k = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && k + 1 < f.size())
            ++k;
        else
            f[k] += static_cast<char>(data[i]);
    }
    MessageInput in;
    in.from = {f[0], "sender@example.test"};
    in.to = {{f[0], "to@example.test"}};
    in.subject = f[1];
    in.body = f[2];
    in.charset = f[3].size() > 40 ? f[3].substr(0, 40) : f[3];
    in.messageId = "id@example.test";
    const std::string attachment = f[2];
    if (!f[4].empty()) {
        in.hasAttachment = true;
        in.attachmentName = f[4];
        in.attachmentType = "application/octet-stream";
        in.attachmentBytes = &attachment;
        in.boundary = "=_qm_fuzz";
    }
    std::string message, error;
    if (BuildMessage(in, message, error))
        Check(message);
    else if (!message.empty() || error.empty())
        std::abort(); // a refusal says why and leaves no half-built message
    return 0;
}
