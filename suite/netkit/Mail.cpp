#include "netkit/Mail.h"

#include "netkit/MailMessage.h"
#include "platform/Clock.h"

#include <QByteArray>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>
#include <QRandomGenerator>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

namespace NetKit {
namespace Mail {

namespace {

// A server that answers nothing must end the task run well within 30 seconds. The connection
// time-out covers the server's greeting as well.
constexpr long kConnectSeconds = 15;
constexpr long kResponseSeconds = 20;
// Mail servers refuse much smaller messages; the limit keeps a huge file from exhausting memory.
constexpr std::int64_t kMaxAttachmentBytes = 256LL * 1024 * 1024;
constexpr std::int64_t kMaxRecipientsFileBytes = 1024 * 1024;

void CopyError(const std::string& text, char* errorText, int errorTextSize) {
    if (!errorText || errorTextSize <= 0)
        return;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(errorTextSize - 1));
    std::memcpy(errorText, text.data(), n);
    errorText[n] = '\0';
}

void Report(MAILPROGRESS_* progress, const std::string& phase, const std::string& current) {
    if (!progress)
        return;
    progress->csPhase = phase;
    progress->csCurrent = current;
    if (progress->pfnCallBack)
        progress->pfnCallBack(progress);
}

bool ReadWholeFile(const std::string& path, std::int64_t limit, std::string& bytes, std::string& reason) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = std::strerror(errno);
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || QFileInfo(QString::fromStdString(path)).isDir()) {
        reason = "it is not a readable file";
        return false;
    }
    if (size > limit) {
        reason = "it is larger than " + std::to_string(limit / (1024 * 1024)) + " MB";
        return false;
    }
    in.seekg(0);
    bytes.resize(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(bytes.data(), size)) {
        reason = "reading failed";
        return false;
    }
    return true;
}

std::string KiloBytes(curl_off_t n) {
    return std::to_string((n + 1023) / 1024) + " KB";
}

int UtcOffsetMinutes(std::int64_t when) {
    const std::time_t t = static_cast<std::time_t>(when);
    std::tm local{};
    localtime_r(&t, &local);
    return static_cast<int>(local.tm_gmtoff / 60);
}

std::string RandomHex(int bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        const auto v = QRandomGenerator::system()->bounded(256);
        out += digits[v >> 4];
        out += digits[v & 15];
    }
    return out;
}

// A MIME type from the file's contents; its name decides only where the contents say no more
// than "some bytes" or "some text".
std::string MimeTypeOf(const std::string& path, const std::string& bytes) {
    QMimeDatabase db;
    const QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QMimeType type = db.mimeTypeForData(data);
    if (type.isDefault() || type.name() == QLatin1String("text/plain"))
        type = db.mimeTypeForFileNameAndData(QString::fromStdString(path), data);
    return type.isValid() ? type.name().toStdString() : "application/octet-stream";
}

// What travels over the connection, for a readable error text: the last command sent and the
// server's reply to it. The arguments of AUTH are never kept.
struct Exchange {
    std::string message;
    std::size_t sent = 0;
    std::string lastCommand;
    std::string lastReply;
    bool replyComplete = true;
    bool quitting = false; // the reply to QUIT must not hide the refusal that came before
    bool authenticating = false;
    MAILPROGRESS_* progress = nullptr;
    std::string phase;
    std::string current;
    std::chrono::steady_clock::time_point lastCall{};
};

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* x = static_cast<Exchange*>(user);
    std::string text(data, size);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (x->quitting)
        return 0;
    if (type == CURLINFO_HEADER_OUT) {
        if (text == "QUIT") {
            x->quitting = true;
            return 0;
        }
        // The lines that follow AUTH carry the login and the password: they are not kept.
        if (text.rfind("AUTH", 0) == 0) {
            x->lastCommand = text.substr(0, text.find(' ', 5));
            x->authenticating = true;
        } else if (!x->authenticating) {
            x->lastCommand = text;
        }
        x->lastReply.clear();
        x->replyComplete = true;
    } else if (type == CURLINFO_HEADER_IN) {
        if (text.rfind("334", 0) != 0)
            x->authenticating = false;
        // A reply may span several lines ("250-..."); a new reply replaces a complete one.
        if (x->replyComplete)
            x->lastReply.clear();
        if (!x->lastReply.empty())
            x->lastReply += ' ';
        x->lastReply += text;
        x->replyComplete = text.size() < 4 || text[3] != '-';
    }
    return 0;
}

size_t OnRead(char* buffer, size_t size, size_t count, void* user) {
    auto* x = static_cast<Exchange*>(user);
    const std::size_t n = std::min(size * count, x->message.size() - x->sent);
    std::memcpy(buffer, x->message.data() + x->sent, n);
    x->sent += n;
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t ultotal, curl_off_t ulnow) {
    auto* x = static_cast<Exchange*>(user);
    if (!x->progress)
        return 0;
    std::string phase = "Connecting to the mail server...", current = x->current;
    if (ulnow > 0) {
        phase = "Sending email...";
        current = KiloBytes(ulnow) + " of " + KiloBytes(ultotal) + " sent";
    }
    // The callback keeps the caller's window alive, so it is called now and then even when
    // nothing changed.
    const auto now = std::chrono::steady_clock::now();
    if (phase != x->phase || current != x->current || now - x->lastCall > std::chrono::milliseconds(200)) {
        x->phase = phase;
        x->current = current;
        x->lastCall = now;
        Report(x->progress, phase, current);
    }
    return 0;
}

std::string FailureText(CURLcode code, const char* detail, const Exchange& x, const std::string& viaIp) {
    const std::string reply = x.lastReply;
    const bool refused = reply.size() >= 3 && (reply[0] == '4' || reply[0] == '5');
    const std::string& cmd = x.lastCommand;
    if (code == CURLE_LOGIN_DENIED || (refused && cmd.rfind("AUTH", 0) == 0))
        return "The mail server refused the login: " + (refused ? reply : std::string(detail));
    if (refused && reply.rfind("530", 0) == 0)
        return "The mail server requires a login (turn on server authentication): " + reply;
    if (refused && cmd.rfind("RCPT TO:", 0) == 0)
        return "The mail server refused the recipient " + cmd.substr(8) + ": " + reply;
    if (refused && reply.rfind("552", 0) == 0)
        return "The mail server refused the message as too large: " + reply;
    if (refused && cmd.rfind("MAIL FROM:", 0) == 0)
        return "The mail server refused the sender " + cmd.substr(10, cmd.find('>') - 9) + ": " + reply;
    if (refused && (cmd == "DATA" || cmd == "."))
        return "The mail server refused the message: " + reply;
    if (code == CURLE_INTERFACE_FAILED)
        return "Cannot send from the local address " + viaIp + ": " + detail;
    std::string text = std::string("Sending email failed: ") + curl_easy_strerror(code);
    if (*detail)
        text += std::string(" (") + detail + ")";
    if (refused)
        text += ". The server said: " + reply;
    return text + ".";
}

bool ParseViaIp(const std::string& text, std::string& interfaceOption, std::string& error) {
    std::string ip = text;
    while (!ip.empty() && ip.back() == ' ')
        ip.pop_back();
    while (!ip.empty() && ip.front() == ' ')
        ip.erase(0, 1);
    if (ip.empty() || ip == "0.0.0.0") {
        interfaceOption.clear();
        return true;
    }
    in_addr address{};
    if (ip.find_first_not_of("0123456789.") != std::string::npos ||
        inet_pton(AF_INET, ip.c_str(), &address) != 1) {
        error = "The local address \"" + ip.substr(0, 60) + "\" to send from is not an IPv4 address.";
        return false;
    }
    interfaceOption = "host!" + ip;
    return true;
}

} // namespace

int SendMail(const SENDMAILINFO_* info, char* errorText, int errorTextSize, MAILPROGRESS_* progress) {
    auto fail = [&](const std::string& text) {
        CopyError(text, errorText, errorTextSize);
        return 0;
    };
    if (!info)
        return fail("No email to send.");
    Report(progress, "Preparing email...", info->csSubject);

    // Everything the user typed is checked before the server is contacted.
    std::string error;
    MessageInput in;
    in.from = {info->csSenderName, info->csSenderEmail};
    if (info->csSenderEmail.empty())
        return fail("The sender's email address is empty.");
    if (!ValidateAddress(in.from.address, error))
        return fail("Sender's email: " + error);
    std::vector<MailAddress> parsed;
    if (!ParseAddressList(info->csSendTo, in.to, error))
        return fail("Send to: " + error);
    if (!info->csRecipientsFile.empty()) {
        std::string bytes, reason;
        if (!ReadWholeFile(info->csRecipientsFile, kMaxRecipientsFileBytes, bytes, reason))
            return fail("Cannot read the recipients list \"" + info->csRecipientsFile + "\": " + reason +
                        ".");
        if (!ParseRecipientsFile(bytes, parsed, error))
            return fail(error);
    }
    std::vector<MailAddress> unique;
    MergeRecipients(unique, in.to);
    MergeRecipients(unique, parsed);
    in.to = std::move(unique);
    if (in.to.empty())
        return fail("No recipient is given: \"Send to\" and the recipients list hold no address.");

    in.subject = info->csSubject;
    in.body = info->csMessage;
    in.charset = CharsetFromEncodingOption(info->csCharset);
    std::string attachment;
    if (!info->csAttachment.empty()) {
        std::string reason;
        if (!ReadWholeFile(info->csAttachment, kMaxAttachmentBytes, attachment, reason))
            return fail("Cannot read the file to attach \"" + info->csAttachment + "\": " + reason + ".");
        in.hasAttachment = true;
        in.attachmentName = QFileInfo(QString::fromStdString(info->csAttachment)).fileName().toStdString();
        in.attachmentType = MimeTypeOf(info->csAttachment, attachment);
        in.attachmentBytes = &attachment;
        in.boundary = "=_qm_" + RandomHex(12);
    }

    MailServer server;
    if (!ParseServer(info->csServer, server, error))
        return fail(error);
    std::string interfaceOption;
    if (!ParseViaIp(info->csViaIp, interfaceOption, error))
        return fail(error);
    if (info->bAuth && info->csLogin.empty())
        return fail("Server authentication is on, but no login is given.");

    in.date = platform::Now();
    in.utcOffsetMinutes = UtcOffsetMinutes(in.date);
    const std::string domain = in.from.address.substr(in.from.address.rfind('@') + 1);
    in.messageId = RandomHex(10) + "." + std::to_string(in.date) + "@" + domain;

    Exchange x;
    x.progress = progress;
    if (!BuildMessage(in, x.message, error))
        return fail(error);

    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl)
        return fail("Sending email failed: the mail library could not start.");
    curl_slist* recipients = nullptr;
    for (const MailAddress& a : in.to)
        recipients = curl_slist_append(recipients, ("<" + a.address + ">").c_str());
    const std::string from = "<" + in.from.address + ">";
    char detail[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(curl, CURLOPT_URL, server.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(curl, CURLOPT_PROXY, ""); // mail goes straight to the server named
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, kResponseSeconds);
    // A transfer that stalls (no byte for the response time) is given up as well.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kResponseSeconds);
    if (!interfaceOption.empty())
        curl_easy_setopt(curl, CURLOPT_INTERFACE, interfaceOption.c_str());
    if (info->bAuth) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, info->csLogin.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, info->csPassword.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(x.message.size()));
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, OnRead);
    curl_easy_setopt(curl, CURLOPT_READDATA, &x);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &x);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &x);

    x.phase = "Connecting to the mail server...";
    x.current = info->csServer;
    x.lastCall = std::chrono::steady_clock::now();
    Report(progress, x.phase, x.current);
    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);
    if (code != CURLE_OK)
        return fail(FailureText(code, detail, x, info->csViaIp));
    Report(progress, "Email sent.", KiloBytes(static_cast<curl_off_t>(x.message.size())) + " sent");
    return 1;
}

} // namespace Mail
} // namespace NetKit
