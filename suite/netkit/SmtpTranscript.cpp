#include "netkit/SmtpTranscript.h"

namespace NetKit {
namespace Mail {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Calls `line` for each line of `data`, without its line end.
template <typename F>
void ForEachLine(std::string_view data, F line) {
    while (!data.empty()) {
        const auto end = data.find('\n');
        std::string_view one = data.substr(0, end);
        while (!one.empty() && (one.back() == '\r' || one.back() == '\n'))
            one.remove_suffix(1);
        line(one);
        if (end == std::string_view::npos)
            break;
        data.remove_prefix(end + 1);
    }
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool ParseReplyLine(std::string_view line, SmtpReplyLine& out) {
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]))
        return false;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return false;
    out.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    out.last = line.size() == 3 || line[3] == ' ';
    out.text = line.size() > 4 ? line.substr(4) : std::string_view();
    return true;
}

void SmtpTranscript::Sent(std::string_view data) {
    ForEachLine(data, [this](std::string_view line) { SentLine(line); });
}

void SmtpTranscript::Received(std::string_view data) {
    ForEachLine(data, [this](std::string_view line) { ReceivedLine(line); });
}

void SmtpTranscript::SentLine(std::string_view line) {
    if (m_quitting)
        return;
    if (line == "QUIT") {
        m_quitting = true;
        return;
    }
    // The lines that follow AUTH carry the login and the password: they are not kept.
    if (StartsWith(line, "AUTH")) {
        m_lastCommand = std::string(line.substr(0, line.find(' ', 5)));
        m_authenticating = true;
        if (!m_encrypted)
            m_loginInClear = true;
    } else if (!m_authenticating) {
        m_lastCommand = std::string(line);
    }
    m_startTlsSent = line == "STARTTLS";
    m_lastReply.clear();
    m_replyComplete = true;
}

void SmtpTranscript::ReceivedLine(std::string_view line) {
    if (m_quitting)
        return;
    if (!StartsWith(line, "334"))
        m_authenticating = false;
    // A reply may span several lines ("250-..."); a new reply replaces a complete one.
    if (m_replyComplete)
        m_lastReply.clear();
    if (!m_lastReply.empty())
        m_lastReply += ' ';
    m_lastReply += line;
    SmtpReplyLine parsed;
    m_replyComplete = !ParseReplyLine(line, parsed) || parsed.last;
    if (m_startTlsSent && m_replyComplete) {
        m_encrypted = m_encrypted || StartsWith(m_lastReply, "220");
        m_startTlsSent = false;
    }
}

bool SmtpTranscript::refused() const {
    return m_lastReply.size() >= 3 && (m_lastReply[0] == '4' || m_lastReply[0] == '5');
}

std::string RefusalText(const SmtpTranscript& transcript) {
    if (!transcript.refused())
        return {};
    const std::string& reply = transcript.lastReply();
    const std::string& command = transcript.lastCommand();
    if (StartsWith(command, "AUTH"))
        return "The mail server refused the login: " + reply;
    if (StartsWith(reply, "530"))
        return "The mail server requires a login (turn on server authentication): " + reply;
    if (StartsWith(command, "RCPT TO:"))
        return "The mail server refused the recipient " + command.substr(8) + ": " + reply;
    if (StartsWith(reply, "552"))
        return "The mail server refused the message as too large: " + reply;
    if (StartsWith(command, "MAIL FROM:"))
        return "The mail server refused the sender " + command.substr(10, command.find('>') - 9) + ": " +
               reply;
    if (command == "DATA" || command == ".")
        return "The mail server refused the message: " + reply;
    return {};
}

} // namespace Mail
} // namespace NetKit
