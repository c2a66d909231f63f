// A mail server's replies come from outside. The input is a trace: each line begins with '>'
// (sent by the client) or '<' (received). Whatever the server says, the transcript must never
// keep the login's secrets, and a refusal text must quote the reply it is about.
#include "netkit/SmtpTranscript.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace NetKit::Mail;

namespace {
const char kSecret[] = "c2VjcmV0";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view trace(reinterpret_cast<const char*>(data), size);
    // A trace that holds the secret itself may well keep it in a command of its own.
    const bool secretInInput = trace.find(kSecret) != std::string_view::npos;
    SmtpTranscript t(size > 0 && data[0] == 'S');
    while (!trace.empty()) {
        const auto end = trace.find('\n');
        const std::string_view line = trace.substr(0, end);
        trace.remove_prefix(end == std::string_view::npos ? trace.size() : end + 1);
        if (line.empty())
            continue;
        const std::string_view body = line.substr(1);
        if (line[0] == '>') {
            t.Sent(body);
            // The client's answer to a challenge is the secret; it must never be kept.
            if (body.substr(0, 4) == "AUTH")
                t.Sent(kSecret);
        } else if (line[0] == '<') {
            t.Received(body);
            SmtpReplyLine parsed;
            if (ParseReplyLine(body, parsed) && (parsed.code < 0 || parsed.code > 999))
                std::abort();
        }
        if (!secretInInput && t.lastCommand().find(kSecret) != std::string::npos)
            std::abort();
    }
    const std::string refusal = RefusalText(t);
    if (!refusal.empty() && (!t.refused() || refusal.find(t.lastReply()) == std::string::npos))
        std::abort();
    return 0;
}
