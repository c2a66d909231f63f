#pragma once

// The pure half of the mail client: parsing what the user typed and building the message bytes.
// Nothing here touches the network or the file system, so all of it is tested directly.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace NetKit {
namespace Mail {

struct MailAddress {
    std::string name;    // display name (UTF-8); may be empty
    std::string address; // the bare address, local@domain, ASCII
};

// Checks a bare address (no display name, no brackets).
bool ValidateAddress(std::string_view address, std::string& error);

// Parses addresses separated by commas or semicolons; each may be "a@b", "<a@b>" or
// "Name <a@b>" with an optionally quoted name. Empty entries are skipped. Appends to out.
bool ParseAddressList(std::string_view text, std::vector<MailAddress>& out, std::string& error);

// Parses a recipients list: one address per line; blank lines and lines starting with '#' are
// ignored; CR LF line ends and a UTF-8 byte-order mark are accepted. Appends to out.
bool ParseRecipientsFile(std::string_view bytes, std::vector<MailAddress>& out, std::string& error);

// Appends the addresses of `more` that `into` does not hold yet (addresses compared without case).
void MergeRecipients(std::vector<MailAddress>& into, const std::vector<MailAddress>& more);

// The character-set name inside an Encoding option: the text between its last "(" and its last
// character ("1252 (windows-1252)" gives "windows-1252"); the whole text when it holds no "(".
std::string CharsetFromEncodingOption(std::string_view option);

struct MailServer {
    std::string host; // a name, an IPv4 address or an IPv6 address without brackets
    int port = 25;
    bool implicitTls = false; // port 465
    std::string url;          // "smtp://host:port" or "smtps://host:port"
    bool portGiven = false;   // the text named the port
    bool v6 = false;
};
// Parses "host", "host:port" or "[v6]:port".
bool ParseServer(std::string_view text, MailServer& out, std::string& error);

// Converts UTF-8 text to the named character set with iconv. Fails on an unknown set, on input
// that is not UTF-8 and on a character the set cannot hold, saying which.
bool ConvertFromUtf8(std::string_view utf8, const std::string& charset, std::string& out, std::string& error);

// Transfer encodings. The input of EncodeQuotedPrintable has CR LF line ends.
std::string EncodeQuotedPrintable(std::string_view bytes);
std::string EncodeBase64Lines(std::string_view bytes);
// An unstructured header value as plain folded text when it is printable ASCII, otherwise as
// RFC 2047 encoded words in `charset` (UTF-8 when the text does not fit that set).
std::string EncodeHeaderText(std::string_view utf8, const std::string& charset, std::size_t firstLineUsed);

struct MessageInput {
    MailAddress from;
    std::vector<MailAddress> to;
    std::string subject;      // UTF-8
    std::string body;         // UTF-8, any line ends
    std::string charset;      // for the body and the encoded words
    std::int64_t date = 0;    // seconds since 1970 UTC
    int utcOffsetMinutes = 0; // local time zone at that moment
    std::string messageId;    // without the angle brackets
    std::string boundary;     // for a message with an attachment
    bool hasAttachment = false;
    std::string attachmentName; // the file name (UTF-8), without folders
    std::string attachmentType; // a MIME type such as "image/png"
    const std::string* attachmentBytes = nullptr;
};

// Builds the complete message, headers and body, with CR LF line ends. Fails, saying why, on any
// field that would break the message (line breaks in a header field, an unknown character set...).
bool BuildMessage(const MessageInput& in, std::string& message, std::string& error);

} // namespace Mail
} // namespace NetKit
