#pragma once

// Reading what a mail server answers. The mail client's trace hands over each line it sends and
// receives; this keeps the last command and the complete reply to it, so a failure can be told
// in the server's own words, and notes whether the connection was encrypted when the login went
// out. It never touches the network, so all of it is tested directly.

#include <string>
#include <string_view>

namespace NetKit {
namespace Mail {

// One line of a reply: "250-SIZE 1000" (more lines follow) or "354 Go ahead" (the last line).
struct SmtpReplyLine {
    int code = 0;
    bool last = true;
    std::string_view text; // after the code and its separator
};
// False for a line that does not begin with a three-digit code followed by ' ', '-' or nothing.
bool ParseReplyLine(std::string_view line, SmtpReplyLine& out);

class SmtpTranscript {
public:
    // implicitTls: the connection is encrypted from its first byte (SMTPS).
    explicit SmtpTranscript(bool implicitTls = false) : m_encrypted(implicitTls) {}

    // What the client sent or received; one or more lines, line ends included or not.
    void Sent(std::string_view data);
    void Received(std::string_view data);

    // The last command, without the arguments of AUTH ("AUTH PLAIN"); the lines that answer the
    // login's challenges are never kept.
    const std::string& lastCommand() const { return m_lastCommand; }
    // The reply to it, its lines joined by blanks; empty while none came.
    const std::string& lastReply() const { return m_lastReply; }
    // Whether the last reply was a refusal (a 4xx or 5xx code).
    bool refused() const;
    // Whether STARTTLS succeeded (or the connection began encrypted).
    bool encrypted() const { return m_encrypted; }
    // Whether a login went out over a connection that was not encrypted at that moment.
    bool loginSentInClear() const { return m_loginInClear; }

private:
    void SentLine(std::string_view line);
    void ReceivedLine(std::string_view line);

    std::string m_lastCommand;
    std::string m_lastReply;
    bool m_replyComplete = true;
    bool m_quitting = false; // the reply to QUIT must not hide the refusal that came before
    bool m_authenticating = false;
    bool m_startTlsSent = false;
    bool m_encrypted = false;
    bool m_loginInClear = false;
};

// The server's refusal of the last command as a sentence for the user ("The mail server refused
// the recipient <a@b>: 550 ..."); empty when the last reply is no refusal or refuses nothing the
// user can act on.
std::string RefusalText(const SmtpTranscript& transcript);

} // namespace Mail
} // namespace NetKit
