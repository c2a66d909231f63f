#pragma once

#include "netkit/MailProgress.h"

#include <string>

namespace NetKit {
namespace Mail {

// How the connection is secured: STARTTLS when the server offers it (required with a login),
// STARTTLS always, or TLS from the first byte (SMTPS).
inline constexpr int kSecurityAuto = 0;
inline constexpr int kSecurityStartTls = 1;
inline constexpr int kSecurityTls = 2;

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
    // Not a task field: the caller fills it from the user's settings (MailPlainAuth). Non-zero
    // lets the login go over a connection the server does not encrypt.
    int bPlainAuth = 0;
    // Not task fields either: the user's mail connection settings (MailPort, MailSecurity,
    // MailTimeout). A port here is used when csServer names none; 0 keeps 25 (465 for smtps).
    int nPort = 0;
    int nSecurity = kSecurityAuto;
    // Seconds to wait for a silent server; 0 keeps the built-in waits.
    long nTimeoutSeconds = 0;
};

// Sends the message. Returns non-zero when the server accepted it; otherwise errorText (of
// errorTextSize bytes) holds the reason, zero-terminated. On success errorText holds a warning
// for the run's log, or is empty: the warning says that the password went unencrypted, which
// happens only with bPlainAuth on. Every check of the input is made before the server is
// contacted. progress may be null.
//
// The connection is encrypted whenever the server offers it (STARTTLS, or SMTPS on port 465 or
// with "smtps://"), and the server's certificate and host name are always verified. With server
// authentication on, a server that offers no encryption is refused before the password is sent,
// unless bPlainAuth is on. Certificates are checked against the system's authorities; for a
// company's own authority, a PEM bundle named by CURL_CA_BUNDLE or else SSL_CERT_FILE (as other
// TLS programs read them) takes the place of the system's bundle file, while the system's
// certificate folder stays trusted.
int SendMail(const SENDMAILINFO_* info, char* errorText, int errorTextSize, MAILPROGRESS_* progress);

// How long SendMail waits for a server that does not answer, in seconds: for the connection and
// the greeting, and for each later reply or stalled transfer step. A send to a server that stops
// answering ends at most this long after the server's last sign of life; no further wait follows
// (a silent server is not sent QUIT).
struct MailTimeouts {
    long connectSeconds = 15;
    long responseSeconds = 20;
};
// Test seam: the waits of every later SendMail in this process.
void SetTimeoutsForTesting(const MailTimeouts& timeouts);

} // namespace Mail
} // namespace NetKit
