#pragma once

#include "netkit/MailProgress.h"

#include <string>

namespace NetKit {
namespace Mail {

// The description of one message, filled from a send-mail task. Texts are UTF-8.
struct SENDMAILINFO_ {
    std::string csSenderEmail;    // 1: the sender's address
    std::string csSenderName;     // 2: the sender's display name; may be empty
    std::string csSendTo;         // 3: addresses separated by commas or semicolons
    std::string csSubject;        // 4
    std::string csMessage;        // 5: the body
    std::string csServer;         // 6: "host" or "host:port"; port 465 means implicit TLS
    std::string csRecipientsFile; // 7: a file with one address per line; empty for none
    std::string csAttachment;     // 8: the file to attach; empty for none
    std::string csViaIp;          // 9: the local IPv4 address to send from; empty or 0.0.0.0 for any
    std::string csCharset;        // 10: the body's character set, e.g. "windows-1252"; empty: UTF-8
    int bAuth = 0;                // 11: non-zero to log in with csLogin and csPassword
    std::string csLogin;          // 12
    std::string csPassword;       // 13
};

// Sends the message. Returns non-zero when the server accepted it; otherwise errorText (of
// errorTextSize bytes) holds the reason, zero-terminated. Every check of the input is made before
// the server is contacted. progress may be null.
int SendMail(const SENDMAILINFO_* info, char* errorText, int errorTextSize, MAILPROGRESS_* progress);

} // namespace Mail
} // namespace NetKit
