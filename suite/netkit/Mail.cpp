#include "netkit/Mail.h"

#include "netkit/CaBundle.h"

#include "netkit/MailMessage.h"
#include "netkit/SmtpTranscript.h"
#include "platform/Clock.h"
#include "platform/RegularFile.h"

#include <QByteArray>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>
#include <QRandomGenerator>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <sys/socket.h>

namespace NetKit {
namespace Mail {

namespace {

// A server that answers nothing must end the task run well within 30 seconds: the waits below
// never add up (see MailTimeouts). The connection time-out covers the server's greeting as well.
std::atomic<long> g_connectSeconds{MailTimeouts{}.connectSeconds};
std::atomic<long> g_responseSeconds{MailTimeouts{}.responseSeconds};
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

// The file to attach or the recipients list; a FIFO or a device is refused rather than waited on.
bool ReadWholeFile(const std::string& path, std::int64_t limit, std::string& bytes, std::string& reason) {
    bool tooLarge = false;
    std::string error;
    if (platform::ReadRegularFile(path, static_cast<std::uint64_t>(limit), bytes, tooLarge, error))
        return true;
    if (tooLarge)
        reason = "it is larger than " + std::to_string(limit / (1024 * 1024)) + " MB";
    else
        reason = "it is not a readable file (" + error.substr(0, error.find_last_not_of('.') + 1) + ")";
    return false;
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

// What travels over the connection and what the progress record last showed.
struct Exchange {
    explicit Exchange(bool implicitTls) : transcript(implicitTls) {}
    std::string message;
    std::size_t sent = 0;
    SmtpTranscript transcript;
    MAILPROGRESS_* progress = nullptr;
    std::string phase;
    std::string current;
    std::chrono::steady_clock::time_point lastCall{};
};

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* x = static_cast<Exchange*>(user);
    if (type == CURLINFO_HEADER_OUT)
        x->transcript.Sent(std::string_view(data, size));
    else if (type == CURLINFO_HEADER_IN)
        x->transcript.Received(std::string_view(data, size));
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
    const SmtpTranscript& t = x.transcript;
    if (code == CURLE_LOGIN_DENIED)
        return "The mail server refused the login: " + (t.refused() ? t.lastReply() : std::string(detail));
    if (std::string refusal = RefusalText(t); !refusal.empty())
        return refusal;
    if (code == CURLE_USE_SSL_FAILED)
        return "The mail server offers no encryption (STARTTLS), so the password was not sent. Use a "
               "server that encrypts, or allow sending the password unencrypted in the settings "
               "(MailPlainAuth).";
    if (code == CURLE_INTERFACE_FAILED)
        return "Cannot send from the local address " + viaIp + ": " + detail;
    std::string text = std::string("Sending email failed: ") + curl_easy_strerror(code);
    if (*detail)
        text += std::string(" (") + detail + ")";
    if (t.refused())
        text += ". The server said: " + t.lastReply();
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

// The message as the user described it, checked; everything here is done before the server is
// contacted.
struct Prepared {
    MessageInput in;
    std::string attachment;
    MailServer server;
    std::string interfaceOption;
};

// The user's port and security settings, for a server text that names neither.
void ApplyConnectionSettings(const SENDMAILINFO_& info, MailServer& server) {
    if (!server.portGiven && info.nPort > 0 && info.nPort <= 65535) {
        server.port = info.nPort;
        server.implicitTls = server.implicitTls || server.port == 465;
    }
    if (info.nSecurity == kSecurityTls)
        server.implicitTls = true;
    server.url = std::string(server.implicitTls ? "smtps://" : "smtp://") +
                 (server.v6 ? "[" + server.host + "]" : server.host) + ":" + std::to_string(server.port);
}

bool CollectRecipients(const SENDMAILINFO_& info, MessageInput& in, std::string& error) {
    std::vector<MailAddress> listed;
    if (!ParseAddressList(info.csSendTo, in.to, error)) {
        error = "Send to: " + error;
        return false;
    }
    if (!info.csRecipientsFile.empty()) {
        std::string bytes, reason;
        if (!ReadWholeFile(info.csRecipientsFile, kMaxRecipientsFileBytes, bytes, reason)) {
            error = "Cannot read the recipients list \"" + info.csRecipientsFile + "\": " + reason + ".";
            return false;
        }
        if (!ParseRecipientsFile(bytes, listed, error))
            return false;
    }
    std::vector<MailAddress> unique;
    MergeRecipients(unique, in.to);
    MergeRecipients(unique, listed);
    in.to = std::move(unique);
    if (in.to.empty()) {
        error = "No recipient is given: \"Send to\" and the recipients list hold no address.";
        return false;
    }
    return true;
}

bool LoadAttachment(const SENDMAILINFO_& info, Prepared& p, std::string& error) {
    if (info.csAttachment.empty())
        return true;
    std::string reason;
    if (!ReadWholeFile(info.csAttachment, kMaxAttachmentBytes, p.attachment, reason)) {
        error = "Cannot read the file to attach \"" + info.csAttachment + "\": " + reason + ".";
        return false;
    }
    p.in.hasAttachment = true;
    p.in.attachmentName = QFileInfo(QString::fromStdString(info.csAttachment)).fileName().toStdString();
    p.in.attachmentType = MimeTypeOf(info.csAttachment, p.attachment);
    p.in.attachmentBytes = &p.attachment;
    p.in.boundary = "=_qm_" + RandomHex(12);
    return true;
}

bool Prepare(const SENDMAILINFO_& info, Prepared& p, std::string& error) {
    MessageInput& in = p.in;
    in.from = {info.csSenderName, info.csSenderEmail};
    if (info.csSenderEmail.empty()) {
        error = "The sender's email address is empty.";
        return false;
    }
    if (!ValidateAddress(in.from.address, error)) {
        error = "Sender's email: " + error;
        return false;
    }
    if (!CollectRecipients(info, in, error))
        return false;
    in.subject = info.csSubject;
    in.body = info.csMessage;
    in.charset = CharsetFromEncodingOption(info.csCharset);
    if (!LoadAttachment(info, p, error) || !ParseServer(info.csServer, p.server, error) ||
        !ParseViaIp(info.csViaIp, p.interfaceOption, error))
        return false;
    ApplyConnectionSettings(info, p.server);
    if (info.bAuth && info.csLogin.empty()) {
        error = "Server authentication is on, but no login is given.";
        return false;
    }
    in.date = platform::Now();
    in.utcOffsetMinutes = UtcOffsetMinutes(in.date);
    const std::string domain = in.from.address.substr(in.from.address.rfind('@') + 1);
    in.messageId = RandomHex(10) + "." + std::to_string(in.date) + "@" + domain;
    return true;
}

// With a login, the connection must be encrypted before the password goes out, unless the user
// allowed otherwise; without one, it is encrypted whenever the server offers it. The server's
// certificate and name are checked either way.
void SetSecurity(CURL* curl, const SENDMAILINFO_& info) {
    const bool requireTls = (info.bAuth && !info.bPlainAuth) || info.nSecurity == kSecurityStartTls;
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(requireTls ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* bundle = CaBundleFromEnvironment())
        curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
    if (info.bAuth) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, info.csLogin.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, info.csPassword.c_str());
    }
}

void SetTimeouts(CURL* curl, const SENDMAILINFO_& info) {
    const long response = info.nTimeoutSeconds > 0 ? info.nTimeoutSeconds : g_responseSeconds.load();
    const long connect = info.nTimeoutSeconds > 0 ? info.nTimeoutSeconds : g_connectSeconds.load();
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connect);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, response);
    // A transfer that stalls (no byte for the response time) is given up as well.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, response);
}

void SetTransfer(CURL* curl, Exchange& x, const std::string& from, curl_slist* recipients) {
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
}

// After a server fell silent, the connection is dropped as it is: the library would otherwise
// say QUIT on closing it and wait for the answer once more, doubling the time the user waits.
void AbandonSilentConnection(CURL* curl) {
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD)
        ::shutdown(socket, SHUT_RDWR);
}

// Hands the message to the server. Empty on success, else the reason.
std::string Transmit(const SENDMAILINFO_& info, const Prepared& p, Exchange& x) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl)
        return "Sending email failed: the mail library could not start.";
    curl_slist* recipients = nullptr;
    for (const MailAddress& a : p.in.to)
        recipients = curl_slist_append(recipients, ("<" + a.address + ">").c_str());
    const std::string from = "<" + p.in.from.address + ">";
    char detail[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(curl, CURLOPT_URL, p.server.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(curl, CURLOPT_PROXY, ""); // mail goes straight to the server named
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    if (!p.interfaceOption.empty())
        curl_easy_setopt(curl, CURLOPT_INTERFACE, p.interfaceOption.c_str());
    SetSecurity(curl, info);
    SetTimeouts(curl, info);
    SetTransfer(curl, x, from, recipients);

    x.phase = "Connecting to the mail server...";
    x.current = info.csServer;
    x.lastCall = std::chrono::steady_clock::now();
    Report(x.progress, x.phase, x.current);
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OPERATION_TIMEDOUT)
        AbandonSilentConnection(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(recipients);
    return code == CURLE_OK ? std::string() : FailureText(code, detail, x, info.csViaIp);
}

} // namespace

void SetTimeoutsForTesting(const MailTimeouts& timeouts) {
    g_connectSeconds = timeouts.connectSeconds;
    g_responseSeconds = timeouts.responseSeconds;
}

int SendMail(const SENDMAILINFO_* info, char* errorText, int errorTextSize, MAILPROGRESS_* progress) {
    CopyError("", errorText, errorTextSize);
    auto fail = [&](const std::string& text) {
        CopyError(text, errorText, errorTextSize);
        return 0;
    };
    if (!info)
        return fail("No email to send.");
    Report(progress, "Preparing email...", info->csSubject);

    std::string error;
    Prepared prepared;
    if (!Prepare(*info, prepared, error))
        return fail(error);
    Exchange x(prepared.server.implicitTls);
    x.progress = progress;
    if (!BuildMessage(prepared.in, x.message, error))
        return fail(error);
    error = Transmit(*info, prepared, x);
    if (!error.empty())
        return fail(error);
    Report(progress, "Email sent.", KiloBytes(static_cast<curl_off_t>(x.message.size())) + " sent");
    if (x.transcript.loginSentInClear())
        CopyError("Warning: the mail server " + info->csServer +
                      " offers no encryption; the login and password were sent unencrypted, as the "
                      "settings allow (MailPlainAuth).",
                  errorText, errorTextSize);
    return 1;
}

} // namespace Mail
} // namespace NetKit
