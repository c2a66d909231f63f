#include "netkit/MailMessage.h"

#include "platform/CivilDate.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iconv.h>

namespace NetKit {
namespace Mail {

namespace {

constexpr std::size_t kMaxRecipientsFileBytes = 1024 * 1024;
constexpr std::size_t kMaxHeaderLine = 78;

// Puts `a` where "%1" stands in `format`.
std::string Format(const char* format, const std::string& a) {
    std::string out = format;
    const auto at = out.find("%1");
    return at == std::string::npos ? out : out.replace(at, 2, a);
}

// A piece of user input as it may appear inside an error text: line breaks and other control
// characters made visible, and long input cut short.
std::string Shown(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= 120) {
            out += "...";
            break;
        }
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c == 0x7f)
            out += '?';
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool HasControl(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return (c < 0x20 && c != '\t') || c == 0x7f;
    });
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool IsAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsAtext(char c) {
    return IsAlnum(c) || std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

bool IsPrintableAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

// Length of the UTF-8 sequence that starts at s[i], or 0 when it is not a valid one (overlong
// forms, surrogates and values above U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80)
        return 1;
    std::size_t n;
    unsigned value;
    if ((c & 0xe0) == 0xc0) {
        n = 2;
        value = c & 0x1f;
    } else if ((c & 0xf0) == 0xe0) {
        n = 3;
        value = c & 0x0f;
    } else if ((c & 0xf8) == 0xf0) {
        n = 4;
        value = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xc0) != 0x80)
            return 0;
        value = (value << 6) | (d & 0x3f);
    }
    static const unsigned kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kMinimum[n] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
        return 0;
    return n;
}

// The offset of the first byte that is not valid UTF-8, or npos.
std::size_t FindInvalidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Utf8SequenceLength(s, i);
        if (n == 0)
            return i;
        i += n;
    }
    return std::string_view::npos;
}

unsigned CodePointAt(std::string_view s, std::size_t i, std::size_t n) {
    if (n == 1)
        return static_cast<unsigned char>(s[i]);
    unsigned value = static_cast<unsigned char>(s[i]) & (0x7f >> n);
    for (std::size_t k = 1; k < n; ++k)
        value = (value << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3f);
    return value;
}

// A character-set name that can stand in a header parameter and cannot carry iconv suffixes.
bool IsCharsetToken(std::string_view s) {
    if (s.empty() || s.size() > 40)
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return IsAlnum(c) || c == '-' || c == '_' || c == '.' || c == ':' || c == '+';
    });
}

std::string EffectiveCharset(const std::string& charset) {
    return charset.empty() ? "utf-8" : charset;
}

// Line breaks would end a header line early and let the text add lines of its own.
bool RefuseBreaksAndControls(std::string_view text, const char* what, std::string& error) {
    const char* problem = HasLineBreak(text) ? "a line break"
                          : HasControl(text) ? "a control character"
                                             : nullptr;
    if (!problem)
        return true;
    error = std::string("The ") + what + " \"" + Shown(text) + "\" contains " + problem + ".";
    return false;
}

bool ValidateDisplayName(std::string_view name, std::string& error) {
    if (!RefuseBreaksAndControls(name, "name", error))
        return false;
    if (FindInvalidUtf8(name) != std::string_view::npos) {
        error = Format("The name \"%1\" is not valid UTF-8 text.", Shown(name));
        return false;
    }
    return true;
}

bool ParseEntry(std::string_view entry, MailAddress& out, std::string& error) {
    // Find the opening bracket outside a quoted name.
    std::size_t open = std::string_view::npos;
    bool quoted = false;
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const char c = entry[i];
        if (quoted) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '<') {
            open = i;
            break;
        }
    }
    if (quoted) {
        error = Format("The address \"%1\" has an unterminated quote.", Shown(entry));
        return false;
    }
    out = {};
    if (open == std::string_view::npos) {
        out.address = std::string(entry);
    } else {
        if (entry.back() != '>' || entry.find('<', open + 1) != std::string_view::npos ||
            entry.find('>', open) != entry.size() - 1) {
            error = Format("The address \"%1\" is not valid: text follows the \">\" or the brackets "
                           "do not match.",
                           Shown(entry));
            return false;
        }
        out.address = std::string(Trim(entry.substr(open + 1, entry.size() - open - 2)));
        std::string_view name = Trim(entry.substr(0, open));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
            name = name.substr(1, name.size() - 2);
            for (std::size_t i = 0; i < name.size(); ++i) {
                if (name[i] == '\\' && i + 1 < name.size())
                    ++i;
                out.name += name[i];
            }
        } else {
            if (name.find('"') != std::string_view::npos) {
                error = Format("The address \"%1\" has a stray quote in its name.", Shown(entry));
                return false;
            }
            out.name = std::string(name);
        }
        if (!ValidateDisplayName(out.name, error))
            return false;
    }
    return ValidateAddress(out.address, error);
}

std::string Hex2(unsigned char c) {
    static const char digits[] = "0123456789ABCDEF";
    return {'=', digits[c >> 4], digits[c & 15]};
}

std::string Base64(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64().toStdString();
}

// RFC 2047 "B" words, each holding whole characters so that it decodes on its own, each short
// enough for its line: the first starts after `firstLineUsed` characters, the others after the
// separator's space.
std::string EncodeWords(std::string_view utf8, const std::string& wantedCharset, std::size_t firstLineUsed,
                        const char* separator = "\r\n ") {
    std::string charset = EffectiveCharset(wantedCharset);
    std::string probe, error;
    // Words in a set that is not a superset of ASCII (UTF-16 and the like) confuse readers.
    if (!ConvertFromUtf8(utf8, charset, probe, error) || !ConvertFromUtf8("A", charset, probe, error) ||
        probe != "A" || charset.size() > 30)
        charset = "utf-8";
    const std::size_t overhead = charset.size() + 7; // "=?" charset "?B?" ... "?="
    auto budget = [&](std::size_t used) {
        const std::size_t room =
            used + overhead + 8 <= kMaxHeaderLine ? kMaxHeaderLine - 2 - used - overhead : 8;
        return room / 4 * 3;
    };
    std::size_t maxBytes = budget(firstLineUsed);
    std::string out, chunk, converted, previous;
    auto flush = [&] {
        if (previous.empty())
            return;
        if (!out.empty())
            out += separator;
        out += "=?" + charset + "?B?" + Base64(previous) + "?=";
        previous.clear();
        maxBytes = budget(1);
    };
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = Utf8SequenceLength(utf8, i);
        if (n == 0)
            n = 1;
        std::string candidate = chunk + std::string(utf8.substr(i, n));
        if (!ConvertFromUtf8(candidate, charset, converted, error))
            converted = candidate;
        if (converted.size() > maxBytes && !chunk.empty()) {
            flush();
            chunk = std::string(utf8.substr(i, n));
            if (!ConvertFromUtf8(chunk, charset, previous, error))
                previous = chunk;
        } else {
            chunk = std::move(candidate);
            previous = converted;
        }
        i += n;
    }
    flush();
    return out;
}

// How long the last line is once `text` follows `used` characters.
std::size_t LastLineLength(const std::string& text, std::size_t used) {
    const auto lastBreak = text.rfind("\r\n");
    return lastBreak == std::string::npos ? used + text.size() : text.size() - lastBreak - 2;
}

std::string FormatAddress(const MailAddress& a, const std::string& charset, std::size_t used) {
    if (a.name.empty())
        return a.address;
    const std::string& n = a.name;
    std::string phrase;
    if (IsPrintableAscii(n) && n.find("=?") == std::string::npos) {
        const bool atoms = std::all_of(n.begin(), n.end(), [](char c) { return IsAtext(c) || c == ' '; });
        if (atoms) {
            phrase = n;
        } else {
            phrase = "\"";
            for (char c : n) {
                if (c == '"' || c == '\\')
                    phrase += '\\';
                phrase += c;
            }
            phrase += '"';
        }
    } else {
        phrase = EncodeWords(n, charset, used);
    }
    return phrase + " <" + a.address + ">";
}

std::string FormatDate(std::int64_t date, int offsetMinutes) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::int64_t local = date + static_cast<std::int64_t>(offsetMinutes) * 60;
    std::int64_t days = local / 86400;
    std::int64_t secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    const int weekday = static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    const platform::CivilDate civil = platform::CivilFromDays(days);
    const int day = civil.d;
    const int month = civil.m;
    const std::int64_t year = civil.y;
    const int offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04lld %02d:%02d:%02d %c%02d%02d", kDays[weekday], day,
                  kMonths[month - 1], static_cast<long long>(year), static_cast<int>(secs / 3600),
                  static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60),
                  offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return buffer;
}

std::string NormaliseLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

bool NeedsBase64(std::string_view bytes) {
    std::size_t unusual = 0;
    for (unsigned char c : bytes) {
        if (c == 0)
            return true;
        if (c >= 0x80 || (c < 0x20 && c != '\t' && c != '\r' && c != '\n'))
            ++unusual;
    }
    // Mostly Latin text reads best as quoted-printable; for other scripts base64 is shorter.
    return unusual * 5 > bytes.size();
}

std::string PercentEncode(std::string_view s) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (IsAlnum(static_cast<char>(c)) || c == '.' || c == '-' || c == '_')
            out += static_cast<char>(c);
        else
            out += {'%', digits[c >> 4], digits[c & 15]};
    }
    return out;
}

std::string QuotedParameter(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

bool IsMimeType(std::string_view t) {
    const auto slash = t.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == t.size() || t.size() > 100)
        return false;
    return std::all_of(t.begin(), t.end(), [](char c) {
        return IsAlnum(c) || std::string_view("/!#$&-^_.+").find(c) != std::string_view::npos;
    });
}

} // namespace

bool ValidateAddress(std::string_view address, std::string& error) {
    const std::string shown = Shown(address);
    if (address.empty()) {
        error = "An email address is empty.";
        return false;
    }
    if (HasLineBreak(address)) {
        error = Format("The address \"%1\" contains a line break.", shown);
        return false;
    }
    for (unsigned char c : address) {
        if (c >= 0x80) {
            error = Format("The address \"%1\" contains characters other than ASCII, which mail servers do "
                           "not all accept.",
                           shown);
            return false;
        }
        if (c <= 0x20 || c == 0x7f) {
            error = Format("The address \"%1\" contains a space or a control character.", shown);
            return false;
        }
    }
    const std::string invalid = Format("The address \"%1\" is not a valid email address.", shown);
    const auto at = address.rfind('@');
    if (address.size() > 254 || at == std::string_view::npos || at == 0 || at > 64 ||
        at + 1 == address.size()) {
        error = invalid;
        return false;
    }
    const std::string_view local = address.substr(0, at), domain = address.substr(at + 1);
    if (!std::all_of(local.begin(), local.end(), [](char c) { return IsAtext(c) || c == '.'; })) {
        error = invalid;
        return false;
    }
    if (domain.front() == '[') {
        const std::string_view inner = domain.substr(1, domain.size() - 1);
        if (domain.back() != ']' || inner.size() < 2 ||
            !std::all_of(inner.begin(), inner.end() - 1,
                         [](char c) { return IsAlnum(c) || c == '.' || c == ':'; })) {
            error = invalid;
            return false;
        }
        return true;
    }
    std::size_t start = 0;
    while (start <= domain.size()) {
        auto end = domain.find('.', start);
        if (end == std::string_view::npos)
            end = domain.size();
        const std::string_view label = domain.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-' ||
            !std::all_of(label.begin(), label.end(), [](char c) { return IsAlnum(c) || c == '-'; })) {
            error = invalid;
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool ParseAddressList(std::string_view text, std::vector<MailAddress>& out, std::string& error) {
    if (!RefuseBreaksAndControls(text, "address list", error))
        return false;
    bool quoted = false, bracketed = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        const char c = end ? ',' : text[i];
        if (quoted) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                quoted = false;
            if (!end)
                continue;
        }
        if (c == '"') {
            quoted = true;
        } else if (c == '<') {
            bracketed = true;
        } else if (c == '>') {
            bracketed = false;
        } else if ((c == ',' || c == ';') && (!bracketed || end)) {
            const std::string_view entry = Trim(text.substr(start, std::min(i, text.size()) - start));
            start = i + 1;
            if (entry.empty())
                continue;
            MailAddress address;
            if (!ParseEntry(entry, address, error))
                return false;
            out.push_back(std::move(address));
        }
    }
    return true;
}

bool ParseRecipientsFile(std::string_view bytes, std::vector<MailAddress>& out, std::string& error) {
    if (bytes.size() > kMaxRecipientsFileBytes) {
        error = "The recipients list is larger than 1 MB; it cannot be a list of addresses.";
        return false;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        ++lineNumber;
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string_view line = Trim(bytes.substr(pos, end - pos));
        pos = end;
        if (pos < bytes.size() && bytes[pos] == '\r')
            ++pos;
        if (pos < bytes.size() && bytes[pos] == '\n')
            ++pos;
        if (line.empty() || line.front() == '#')
            continue;
        if (!ParseAddressList(line, out, error)) {
            error = "Line " + std::to_string(lineNumber) + " of the recipients list: " + error;
            return false;
        }
    }
    return true;
}

void MergeRecipients(std::vector<MailAddress>& into, const std::vector<MailAddress>& more) {
    for (const MailAddress& candidate : more) {
        const std::string key = Lower(candidate.address);
        const bool known = std::any_of(into.begin(), into.end(),
                                       [&](const MailAddress& a) { return Lower(a.address) == key; });
        if (!known)
            into.push_back(candidate);
    }
}

std::string CharsetFromEncodingOption(std::string_view option) {
    const auto open = option.rfind('(');
    if (open == std::string_view::npos)
        return std::string(Trim(option));
    if (open + 2 > option.size())
        return {};
    return std::string(Trim(option.substr(open + 1, option.size() - open - 2)));
}

bool ParseServer(std::string_view text, MailServer& out, std::string& error) {
    std::string_view s = Trim(text);
    const std::string invalid =
        Format("The mail server \"%1\" is not a valid host name or \"host:port\".", Shown(text));
    if (s.empty()) {
        error = "No mail server is given.";
        return false;
    }
    if (HasControl(s) || s.find(' ') != std::string_view::npos) {
        error = invalid;
        return false;
    }
    out = {};
    bool tlsScheme = false;
    const std::string lower = Lower(s);
    if (lower.rfind("smtps://", 0) == 0) {
        tlsScheme = true;
        s.remove_prefix(8);
    } else if (lower.rfind("smtp://", 0) == 0) {
        s.remove_prefix(7);
    }
    while (!s.empty() && s.back() == '/')
        s.remove_suffix(1);
    std::string_view host, port;
    bool v6 = false;
    if (!s.empty() && s.front() == '[') {
        const auto close = s.find(']');
        if (close == std::string_view::npos) {
            error = invalid;
            return false;
        }
        host = s.substr(1, close - 1);
        const std::string_view rest = s.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                error = invalid;
                return false;
            }
            port = rest.substr(1);
        }
        v6 = true;
    } else if (std::count(s.begin(), s.end(), ':') > 1) {
        host = s;
        v6 = true;
    } else {
        const auto colon = s.find(':');
        host = s.substr(0, colon);
        if (colon != std::string_view::npos)
            port = s.substr(colon + 1);
    }
    const bool hostOk =
        !host.empty() && host.size() <= 253 && std::all_of(host.begin(), host.end(), [v6](char c) {
            return v6 ? (IsAlnum(c) || c == ':' || c == '.')
                      : (IsAlnum(c) || c == '.' || c == '-' || c == '_');
        });
    if (!hostOk) {
        error = invalid;
        return false;
    }
    out.port = tlsScheme ? 465 : 25;
    if (!port.empty() || (s.size() && s.back() == ':')) {
        if (port.empty() || port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            error = invalid;
            return false;
        }
        out.port = std::stoi(std::string(port));
        out.portGiven = true;
        if (out.port < 1 || out.port > 65535) {
            error = invalid;
            return false;
        }
    }
    out.host = std::string(host);
    out.v6 = v6;
    out.implicitTls = tlsScheme || out.port == 465;
    out.url = std::string(out.implicitTls ? "smtps://" : "smtp://") + (v6 ? "[" + out.host + "]" : out.host) +
              ":" + std::to_string(out.port);
    return true;
}

bool ConvertFromUtf8(std::string_view utf8, const std::string& wantedCharset, std::string& out,
                     std::string& error) {
    const std::string charset = EffectiveCharset(wantedCharset);
    out.clear();
    if (!IsCharsetToken(charset)) {
        error = Format("Unknown encoding \"%1\".", Shown(charset));
        return false;
    }
    const auto bad = FindInvalidUtf8(utf8);
    if (bad != std::string_view::npos) {
        error = "The text is not valid UTF-8 (at byte " + std::to_string(bad) + ").";
        return false;
    }
    iconv_t cd = iconv_open(charset.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        error = Format("Unknown encoding \"%1\": this system cannot convert text to it.", charset);
        return false;
    }
    out.resize(utf8.size() * 2 + 16);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    std::size_t used = 0;
    bool ok = true;
    for (bool flushing = false;;) {
        char* dst = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t r =
            flushing ? iconv(cd, nullptr, nullptr, &dst, &outLeft) : iconv(cd, &in, &inLeft, &dst, &outLeft);
        used = out.size() - outLeft;
        if (r != static_cast<std::size_t>(-1)) {
            if (flushing)
                break;
            flushing = true; // write the shift sequence that returns a stateful set to its start
            continue;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        const std::size_t at = utf8.size() - inLeft;
        const std::size_t n = std::max<std::size_t>(1, Utf8SequenceLength(utf8, at));
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", CodePointAt(utf8, at, n));
        error = "The character \"" + Shown(utf8.substr(at, n)) + "\" (" + code +
                ") cannot be written in the character set " + charset + ".";
        ok = false;
        break;
    }
    iconv_close(cd);
    out.resize(ok ? used : 0);
    return ok;
}

std::string EncodeQuotedPrintable(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    std::size_t lineLength = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            lineLength = 0;
            ++i;
            continue;
        }
        const bool lineEndFollows =
            i + 1 == bytes.size() || (bytes[i + 1] == '\r' && i + 2 < bytes.size() && bytes[i + 2] == '\n');
        // A dot at the start of a line is encoded so that no transport can take it for the end of
        // the data.
        auto token = [&](bool atLineStart) {
            if ((c == ' ' || c == '\t') && !lineEndFollows)
                return std::string(1, static_cast<char>(c));
            if (c >= 33 && c <= 126 && c != '=' && !(c == '.' && atLineStart))
                return std::string(1, static_cast<char>(c));
            return Hex2(c);
        };
        std::string t = token(lineLength == 0);
        if (lineLength + t.size() > 75) {
            out += "=\r\n";
            lineLength = 0;
            t = token(true);
        }
        out += t;
        lineLength += t.size();
    }
    return out;
}

std::string EncodeBase64Lines(std::string_view bytes) {
    const std::string all = Base64(bytes);
    std::string out;
    out.reserve(all.size() + all.size() / 38 + 2);
    for (std::size_t i = 0; i < all.size(); i += 76) {
        out.append(all, i, 76);
        out += "\r\n";
    }
    return out;
}

std::string EncodeHeaderText(std::string_view utf8, const std::string& charset, std::size_t firstLineUsed) {
    bool plain = IsPrintableAscii(utf8) && utf8.find("=?") == std::string_view::npos;
    std::vector<std::string_view> words;
    for (std::size_t start = 0; plain;) {
        const auto space = utf8.find(' ', start);
        const auto end = space == std::string_view::npos ? utf8.size() : space;
        words.push_back(utf8.substr(start, end - start));
        if (words.back().size() > kMaxHeaderLine - 8)
            plain = false; // too long a word to fold; encoded words can be split anywhere
        if (space == std::string_view::npos)
            break;
        start = space + 1;
    }
    if (!plain)
        return EncodeWords(utf8, charset, firstLineUsed);
    std::string out;
    std::size_t used = firstLineUsed;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) {
            if (!words[i].empty() && used + 1 + words[i].size() > kMaxHeaderLine) {
                out += "\r\n";
                used = 0;
            }
            out += ' ';
            ++used;
        }
        out += words[i];
        used += words[i].size();
    }
    return out;
}

namespace {

// The fields that go into the headers: no line breaks, valid UTF-8, a known character set.
bool CheckHeaderFields(const MessageInput& in, std::string& error) {
    if (!ValidateAddress(in.from.address, error) || !ValidateDisplayName(in.from.name, error))
        return false;
    if (in.to.empty()) {
        error = "No recipient is given.";
        return false;
    }
    for (const MailAddress& a : in.to)
        if (!ValidateAddress(a.address, error) || !ValidateDisplayName(a.name, error))
            return false;
    if (HasLineBreak(in.subject) || in.subject.find('\0') != std::string::npos) {
        error = Format("The subject \"%1\" contains a line break.", Shown(in.subject));
        return false;
    }
    if (FindInvalidUtf8(in.subject) != std::string::npos) {
        error = "The subject is not valid UTF-8 text.";
        return false;
    }
    if (!IsCharsetToken(EffectiveCharset(in.charset))) {
        error = Format("Unknown encoding \"%1\".", Shown(EffectiveCharset(in.charset)));
        return false;
    }
    if (in.messageId.empty() || !IsPrintableAscii(in.messageId) ||
        in.messageId.find_first_of("<> ") != std::string::npos) {
        error = "The message identifier is not valid.";
        return false;
    }
    return true;
}

bool CheckAttachment(const MessageInput& in, std::string& error) {
    if (!in.hasAttachment)
        return true;
    const std::string& n = in.attachmentName;
    if (n.empty() || HasLineBreak(n) || n.find('\0') != std::string::npos ||
        n.find('/') != std::string::npos) {
        error = Format("The attachment's file name \"%1\" cannot be sent.", Shown(n));
        return false;
    }
    if (FindInvalidUtf8(n) != std::string::npos) {
        error = "The attachment's file name is not valid UTF-8 text.";
        return false;
    }
    const auto& b = in.boundary;
    if (b.empty() || b.size() > 70 || !std::all_of(b.begin(), b.end(), [](char c) {
            return IsAlnum(c) || std::string_view("'()+_,-./:=?").find(c) != std::string_view::npos;
        })) {
        error = "The part boundary is not valid.";
        return false;
    }
    if (!in.attachmentBytes) {
        error = "The attachment's contents are missing.";
        return false;
    }
    return true;
}

void AppendHeaders(const MessageInput& in, const std::string& charset, std::string& m) {
    m += "From: " + FormatAddress(in.from, charset, 6) + "\r\n";
    m += "To:";
    std::size_t used = 3;
    for (std::size_t i = 0; i < in.to.size(); ++i) {
        // An address goes on the current line when it fits there whole, else on a new line.
        if (i > 0) {
            m += ',';
            ++used;
        }
        std::string a = FormatAddress(in.to[i], charset, used + 1);
        if (i > 0 && (a.find('\r') != std::string::npos || used + 1 + a.size() > kMaxHeaderLine)) {
            m += "\r\n";
            used = 0;
            a = FormatAddress(in.to[i], charset, 1);
        }
        m += ' ' + a;
        used = LastLineLength(a, used + 1);
    }
    m += "\r\n";
    m += "Subject: " + EncodeHeaderText(in.subject, charset, 9) + "\r\n";
    m += "Date: " + FormatDate(in.date, in.utcOffsetMinutes) + "\r\n";
    m += "Message-ID: <" + in.messageId + ">\r\n";
    m += "MIME-Version: 1.0\r\n";
}

void AppendAttachmentPart(const MessageInput& in, std::string& m) {
    const std::string& name = in.attachmentName;
    const std::string type = IsMimeType(in.attachmentType) ? in.attachmentType : "application/octet-stream";
    const bool asciiName = IsPrintableAscii(name);
    m += "--" + in.boundary + "\r\n";
    m += "Content-Type: " + type + ";\r\n name=" +
         (asciiName ? QuotedParameter(name) : "\"" + EncodeWords(name, "utf-8", 7, " ") + "\"") + "\r\n";
    m += "Content-Transfer-Encoding: base64\r\n";
    m += "Content-Disposition: attachment;\r\n " +
         (asciiName ? "filename=" + QuotedParameter(name) : "filename*=utf-8''" + PercentEncode(name)) +
         "\r\n\r\n";
    m += EncodeBase64Lines(*in.attachmentBytes);
    m += "--" + in.boundary + "--\r\n";
}

} // namespace

bool BuildMessage(const MessageInput& in, std::string& message, std::string& error) {
    message.clear();
    if (!CheckHeaderFields(in, error))
        return false;
    const std::string charset = EffectiveCharset(in.charset);
    std::string body;
    if (!ConvertFromUtf8(NormaliseLineEnds(in.body), charset, body, error)) {
        error = "The message text cannot be sent: " + error;
        return false;
    }
    if (!CheckAttachment(in, error))
        return false;

    std::string& m = message;
    AppendHeaders(in, charset, m);
    const bool base64 = NeedsBase64(body);
    const std::string textHeaders =
        "Content-Type: text/plain; charset=\"" + charset +
        "\"\r\nContent-Transfer-Encoding: " + (base64 ? "base64" : "quoted-printable") + "\r\n";
    const std::string text = base64 ? EncodeBase64Lines(body) : EncodeQuotedPrintable(body);
    if (!in.hasAttachment) {
        // The data of a mail transfer ends with a line break; a soft one keeps the text's end.
        const bool endsWithBreak = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
        m += textHeaders + "\r\n" + text + (text.empty() || endsWithBreak ? "" : "=\r\n");
        return true;
    }
    m += "Content-Type: multipart/mixed;\r\n boundary=\"" + in.boundary + "\"\r\n\r\n";
    m += "This is a multi-part message in MIME format.\r\n";
    // The line break before a delimiter belongs to the delimiter, not to the text.
    m += "--" + in.boundary + "\r\n" + textHeaders + "\r\n" + text + "\r\n";
    AppendAttachmentPart(in, m);
    return true;
}

} // namespace Mail
} // namespace NetKit
