#include "netkit/MailMessage.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <sstream>

using namespace NetKit::Mail;

namespace {

std::vector<std::string> Addresses(const std::vector<MailAddress>& list) {
    std::vector<std::string> out;
    for (const auto& a : list)
        out.push_back(a.address);
    return out;
}

std::vector<std::string> Lines(const std::string& message) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < message.size()) {
        auto end = message.find("\r\n", start);
        if (end == std::string::npos)
            end = message.size();
        out.push_back(message.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

// The value of a header, unfolded.
std::string Header(const std::string& message, const std::string& name) {
    const auto lines = Lines(message);
    std::string value;
    bool inside = false;
    for (const auto& line : lines) {
        if (line.empty())
            break;
        if (inside && (line[0] == ' ' || line[0] == '\t')) {
            value += line;
            continue;
        }
        inside = line.rfind(name + ": ", 0) == 0;
        if (inside)
            value = line.substr(name.size() + 2);
    }
    return value;
}

// Decodes "=?cs?B?...?=" words separated by white space; the charset of the last word is returned.
std::string DecodeWords(const std::string& value, std::string* charset = nullptr) {
    std::string out;
    std::istringstream in(value);
    std::string word;
    while (in >> word) {
        EXPECT_EQ(word.rfind("=?", 0), 0u) << word;
        EXPECT_LE(word.size(), 75u) << word;
        const auto q = word.find("?B?");
        if (charset)
            *charset = word.substr(2, q - 2);
        const std::string b64 = word.substr(q + 3, word.size() - q - 5);
        out += QByteArray::fromBase64(QByteArray::fromStdString(b64)).toStdString();
    }
    return out;
}

MessageInput SimpleInput() {
    MessageInput in;
    in.from = {"Ann Sender", "ann@example.test"};
    in.to = {{"", "bob@example.test"}};
    in.subject = "Status";
    in.body = "Hello\nworld\n";
    in.charset = "utf-8";
    in.date = 1796694232;
    in.messageId = "abc.1@example.test";
    in.boundary = "=_qm_test";
    return in;
}

} // namespace

TEST(MailAddresses, ListSplitsOnCommasAndSemicolonsAndKeepsNames) {
    std::vector<MailAddress> out;
    std::string error;
    ASSERT_TRUE(ParseAddressList(" a@x.test, \"Doe, John\" <john@x.test>;Jane <jane@x.test> ;; <c@x.test>,",
                                 out, error))
        << error;
    EXPECT_EQ(Addresses(out),
              (std::vector<std::string>{"a@x.test", "john@x.test", "jane@x.test", "c@x.test"}));
    EXPECT_EQ(out[1].name, "Doe, John");
    EXPECT_EQ(out[2].name, "Jane");
    out.clear();
    EXPECT_TRUE(ParseAddressList("", out, error));
    EXPECT_TRUE(out.empty());
}

TEST(MailAddresses, HeaderInjectionAndMalformedAddressesAreRefused) {
    const char* bad[] = {"a@x.test\r\nBcc: evil@x.test",
                         "a@x.test\nX: y",
                         "Name\r\n <a@x.test>",
                         "a b@x.test",
                         "a@x.test>",
                         "\"Open <a@x.test>",
                         "no-at-sign",
                         "@x.test",
                         "a@",
                         "a@-x.test",
                         "a@x..test",
                         "j\xC3\xB6rg@x.test",
                         "a@x.test\x01",
                         "Name <a@x.test> trailing",
                         "<a@x.test"};
    for (const char* text : bad) {
        std::vector<MailAddress> out;
        std::string error;
        EXPECT_FALSE(ParseAddressList(text, out, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "error texts stay on one line: " << error;
    }
    std::vector<MailAddress> out;
    std::string error;
    ParseAddressList("a@x.test\r\nBcc: evil@x.test", out, error);
    EXPECT_NE(error.find("line break"), std::string::npos) << error;
    EXPECT_TRUE(ValidateAddress("first.last+tag@sub.example-mail.test", error)) << error;
    EXPECT_TRUE(ValidateAddress("root@[127.0.0.1]", error)) << error;
}

TEST(MailAddresses, RecipientsFileSkipsCommentsAndBlankLinesAndMergesWithoutDuplicates) {
    const std::string file = "\xEF\xBB\xBF# team\r\n\r\n  b@x.test  \r\nC@X.test\n   # indented comment\n"
                             "Dee <d@x.test>\nA@x.test\rlast@x.test";
    std::vector<MailAddress> fromFile;
    std::string error;
    ASSERT_TRUE(ParseRecipientsFile(file, fromFile, error)) << error;
    EXPECT_EQ(Addresses(fromFile),
              (std::vector<std::string>{"b@x.test", "C@X.test", "d@x.test", "A@x.test", "last@x.test"}));

    std::vector<MailAddress> all;
    ASSERT_TRUE(ParseAddressList("a@x.test; c@x.test", all, error));
    MergeRecipients(all, fromFile);
    EXPECT_EQ(Addresses(all),
              (std::vector<std::string>{"a@x.test", "c@x.test", "b@x.test", "d@x.test", "last@x.test"}));
}

TEST(MailAddresses, RecipientsFileErrorNamesTheLine) {
    std::vector<MailAddress> out;
    std::string error;
    EXPECT_FALSE(ParseRecipientsFile("a@x.test\n# ok\nnot an address\n", out, error));
    EXPECT_EQ(error.rfind("Line 3 of the recipients list", 0), 0u) << error;
    EXPECT_FALSE(ParseRecipientsFile(std::string(1024 * 1024 + 1, 'a'), out, error));
}

TEST(MailSettings, CharsetIsTheTextInsideTheLastParentheses) {
    EXPECT_EQ(CharsetFromEncodingOption("1252 (windows-1252)"), "windows-1252");
    EXPECT_EQ(CharsetFromEncodingOption("UTF-8 (utf-8)"), "utf-8");
    EXPECT_EQ(CharsetFromEncodingOption("Cyrillic (KOI8-R) (koi8-r)"), "koi8-r");
    EXPECT_EQ(CharsetFromEncodingOption("koi8-r"), "koi8-r");
    EXPECT_EQ(CharsetFromEncodingOption("broken ("), "");
    EXPECT_EQ(CharsetFromEncodingOption(""), "");
}

TEST(MailSettings, ServerTextGivesUrlAndPort) {
    MailServer s;
    std::string error;
    ASSERT_TRUE(ParseServer("mail.example.test", s, error)) << error;
    EXPECT_EQ(s.url, "smtp://mail.example.test:25");
    ASSERT_TRUE(ParseServer(" mail.example.test:587 ", s, error)) << error;
    EXPECT_EQ(s.url, "smtp://mail.example.test:587");
    EXPECT_FALSE(s.implicitTls);
    ASSERT_TRUE(ParseServer("mail.example.test:465", s, error)) << error;
    EXPECT_EQ(s.url, "smtps://mail.example.test:465");
    EXPECT_TRUE(s.implicitTls);
    ASSERT_TRUE(ParseServer("[::1]:2525", s, error)) << error;
    EXPECT_EQ(s.url, "smtp://[::1]:2525");
    ASSERT_TRUE(ParseServer("smtps://secure.test", s, error)) << error;
    EXPECT_EQ(s.url, "smtps://secure.test:465");
    for (const char* bad :
         {"", "host:0", "host:65536", "host:abc", "host:", "a b", "host\r\n:25", "ho/st", "[::1"}) {
        EXPECT_FALSE(ParseServer(bad, s, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(MailEncoding, ConvertsToTheChosenSetAndExplainsFailures) {
    std::string out, error;
    ASSERT_TRUE(ConvertFromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "koi8-r", out, error));
    EXPECT_EQ(out, "\xF0\xD2\xC9\xD7\xC5\xD4");
    ASSERT_TRUE(ConvertFromUtf8("Gr\xC3\xBC\xC3\x9F"
                                "e",
                                "", out, error)); // empty means UTF-8
    EXPECT_EQ(out, "Gr\xC3\xBC\xC3\x9F"
                   "e");

    EXPECT_FALSE(ConvertFromUtf8("x", "no-such-charset", out, error));
    EXPECT_NE(error.find("Unknown encoding"), std::string::npos) << error;
    EXPECT_FALSE(ConvertFromUtf8("x", "utf-8//TRANSLIT", out, error));
    EXPECT_NE(error.find("Unknown encoding"), std::string::npos) << error;
    EXPECT_FALSE(ConvertFromUtf8("price: 5 \xE2\x82\xAC", "iso-8859-1", out, error));
    EXPECT_NE(error.find("U+20AC"), std::string::npos) << error;
    EXPECT_FALSE(ConvertFromUtf8("bad \xC3\x28 byte", "utf-8", out, error));
    EXPECT_NE(error.find("not valid UTF-8"), std::string::npos) << error;
    EXPECT_FALSE(ConvertFromUtf8("\xED\xA0\x80", "utf-16", out, error)) << "a lone surrogate is refused";
}

TEST(MailEncoding, QuotedPrintableKeepsLinesShortAndEscapesWhatMustBe) {
    EXPECT_EQ(EncodeQuotedPrintable("a=b \r\n.dot\r\ntab\t"), "a=3Db=20\r\n=2Edot\r\ntab=09");
    const std::string longLine(200, 'x');
    const std::string qp = EncodeQuotedPrintable(longLine + "\xE9\r\n");
    for (const auto& line : Lines(qp))
        EXPECT_LE(line.size(), 76u);
    std::string joined;
    for (const auto& line : Lines(qp))
        joined += line.back() == '=' ? line.substr(0, line.size() - 1) : line;
    EXPECT_EQ(joined, longLine + "=E9");
}

TEST(MailEncoding, HeaderTextIsPlainWhenAsciiAndEncodedWordsOtherwise) {
    EXPECT_EQ(EncodeHeaderText("Weekly report", "koi8-r", 9), "Weekly report");
    EXPECT_NE(EncodeHeaderText("looks =?like?= a word", "utf-8", 9).find("=?utf-8?B?"), std::string::npos);

    // A long Cyrillic subject: several words, each whole in itself, in the chosen set.
    std::string subject;
    for (int i = 0; i < 30; ++i)
        subject += "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 ";
    const std::string encoded = EncodeHeaderText(subject, "koi8-r", 9);
    std::string charset;
    std::string expected;
    ASSERT_TRUE(ConvertFromUtf8(subject, "koi8-r", expected, charset));
    EXPECT_EQ(DecodeWords(encoded, &charset), expected);
    EXPECT_EQ(charset, "koi8-r");
    // Text the set cannot hold falls back to UTF-8 instead of being lost.
    EXPECT_EQ(DecodeWords(EncodeHeaderText("5 \xE2\x82\xAC", "iso-8859-1", 9), &charset), "5 \xE2\x82\xAC");
    EXPECT_EQ(charset, "utf-8");
}

TEST(MailBuild, SimpleMessageHasTheHeadersInOrder) {
    MessageInput in = SimpleInput();
    in.utcOffsetMinutes = 90;
    std::string m, error;
    ASSERT_TRUE(BuildMessage(in, m, error)) << error;
    const auto lines = Lines(m);
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[0], "From: Ann Sender <ann@example.test>");
    EXPECT_EQ(lines[1], "To: bob@example.test");
    EXPECT_EQ(lines[2], "Subject: Status");
    EXPECT_EQ(lines[3], "Date: Tue, 08 Dec 2026 03:13:52 +0130");
    EXPECT_EQ(lines[4], "Message-ID: <abc.1@example.test>");
    EXPECT_EQ(lines[5], "MIME-Version: 1.0");
    EXPECT_EQ(lines[6], "Content-Type: text/plain; charset=\"utf-8\"");
    EXPECT_EQ(lines[7], "Content-Transfer-Encoding: quoted-printable");
    EXPECT_EQ(m.substr(m.find("\r\n\r\n")), "\r\n\r\nHello\r\nworld\r\n");

    in.body = "no line break at the end";
    ASSERT_TRUE(BuildMessage(in, m, error));
    EXPECT_EQ(m.substr(m.find("\r\n\r\n")), "\r\n\r\nno line break at the end=\r\n")
        << "a soft break ends the data without adding a line to the text";

    in.date = 951782400 - 3600;
    in.utcOffsetMinutes = -300;
    ASSERT_TRUE(BuildMessage(in, m, error));
    EXPECT_EQ(Header(m, "Date"), "Mon, 28 Feb 2000 18:00:00 -0500");
}

TEST(MailBuild, NamesWithSpecialsAreQuotedOrEncoded) {
    MessageInput in = SimpleInput();
    in.from.name = "Doe, \"JD\" John";
    in.to = {{"J\xC3\xB6rg", "j@x.test"}, {"", "k@x.test"}};
    std::string m, error;
    ASSERT_TRUE(BuildMessage(in, m, error)) << error;
    EXPECT_EQ(Header(m, "From"), "\"Doe, \\\"JD\\\" John\" <ann@example.test>");
    EXPECT_EQ(Header(m, "To"), "=?utf-8?B?SsO2cmc=?= <j@x.test>, k@x.test");
}

TEST(MailBuild, EveryLineStaysShortWithManyRecipientsAndALongSubject) {
    MessageInput in = SimpleInput();
    in.to.clear();
    for (int i = 0; i < 40; ++i)
        in.to.push_back({"Person " + std::to_string(i), "person" + std::to_string(i) + "@example.test"});
    for (int i = 0; i < 20; ++i)
        in.subject += "quarterly figures ";
    std::string m, error;
    ASSERT_TRUE(BuildMessage(in, m, error)) << error;
    for (const auto& line : Lines(m))
        EXPECT_LE(line.size(), 78u) << line;
    EXPECT_NE(Header(m, "To").find("Person 39 <person39@example.test>"), std::string::npos);

    // The same with names and a subject that need encoded words.
    for (auto& a : in.to)
        a.name = "J\xC3\xB6rg M\xC3\xBCller-L\xC3\xBC"
                 "denscheidt von Stra\xC3\x9F"
                 "enberg " +
                 a.name;
    in.subject.clear();
    for (int i = 0; i < 40; ++i)
        in.subject += "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 ";
    in.from.name = in.to[0].name;
    ASSERT_TRUE(BuildMessage(in, m, error)) << error;
    for (const auto& line : Lines(m))
        EXPECT_LE(line.size(), 78u) << line;
    EXPECT_EQ(DecodeWords(Header(m, "Subject")), in.subject);
}

TEST(MailBuild, BodyEncodingFitsTheText) {
    MessageInput in = SimpleInput();
    in.charset = "windows-1252";
    in.body = "Gr\xC3\xBC\xC3\x9F"
              "e aus K\xC3\xB6ln, with mostly plain words in the line.";
    std::string m, error;
    ASSERT_TRUE(BuildMessage(in, m, error)) << error;
    EXPECT_EQ(Header(m, "Content-Type"), "text/plain; charset=\"windows-1252\"");
    EXPECT_EQ(Header(m, "Content-Transfer-Encoding"), "quoted-printable");
    EXPECT_NE(m.find("Gr=FC=DFe aus K=F6ln"), std::string::npos);

    in.charset = "koi8-r";
    in.body = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
    ASSERT_TRUE(BuildMessage(in, m, error)) << error;
    EXPECT_EQ(Header(m, "Content-Transfer-Encoding"), "base64");
    EXPECT_EQ(m.substr(m.find("\r\n\r\n") + 4), "8NLJ18XU\r\n");

    // A set that is not a superset of ASCII: the body is base64, the words fall back to UTF-8.
    in.charset = "utf-16";
    in.subject = "Gr\xC3\xBC\xC3\x9F"
                 "e";
    ASSERT_TRUE(BuildMessage(in, m, error)) << error;
    EXPECT_EQ(Header(m, "Content-Transfer-Encoding"), "base64");
    EXPECT_EQ(Header(m, "Subject").rfind("=?utf-8?B?", 0), 0u) << Header(m, "Subject");
}

TEST(MailBuild, MultipartCarriesTheAttachment) {
    MessageInput in = SimpleInput();
    const std::string bytes("\x89PNG\r\n\x1a\n\0\0", 10);
    in.hasAttachment = true;
    in.attachmentName = "scan \"1\".png";
    in.attachmentType = "image/png";
    in.attachmentBytes = &bytes;
    std::string m, error;
    ASSERT_TRUE(BuildMessage(in, m, error)) << error;
    EXPECT_EQ(Header(m, "Content-Type"), "multipart/mixed; boundary=\"=_qm_test\"");
    EXPECT_NE(m.find("\r\n--=_qm_test\r\nContent-Type: text/plain"), std::string::npos);
    EXPECT_NE(m.find("Content-Type: image/png;\r\n name=\"scan \\\"1\\\".png\""), std::string::npos);
    EXPECT_NE(m.find("filename=\"scan \\\"1\\\".png\"\r\n\r\niVBORw0KGgoAAA==\r\n--=_qm_test--\r\n"),
              std::string::npos);

    in.attachmentName = "\xC3\x9C"
                        "bersicht.pdf";
    in.attachmentType = "bad type\r\nX: y";
    ASSERT_TRUE(BuildMessage(in, m, error)) << error;
    EXPECT_NE(m.find("filename*=utf-8''%C3%9Cbersicht.pdf"), std::string::npos);
    EXPECT_NE(m.find("Content-Type: application/octet-stream;"), std::string::npos);
}

TEST(MailBuild, FieldsThatWouldBreakTheMessageAreRefused) {
    std::string m, error;
    auto refused = [&](MessageInput in, const char* what) {
        EXPECT_FALSE(BuildMessage(in, m, error)) << what;
        EXPECT_FALSE(error.empty()) << what;
        EXPECT_TRUE(m.empty()) << what;
    };
    MessageInput in = SimpleInput();
    in.subject = "Hi\r\nBcc: evil@x.test";
    refused(in, "subject");
    in = SimpleInput();
    in.from.name = "Ann\nBcc: evil@x.test";
    refused(in, "sender name");
    in = SimpleInput();
    in.from.address = "ann@x.test\r\nRCPT TO:<evil@x.test>";
    refused(in, "sender address");
    in = SimpleInput();
    in.to[0].name = "Bob\r";
    refused(in, "recipient name");
    in = SimpleInput();
    in.to.clear();
    refused(in, "no recipient");
    in = SimpleInput();
    in.charset = "no-such-charset";
    refused(in, "unknown encoding");
    in = SimpleInput();
    in.charset = "iso-8859-1";
    in.body = "5 \xE2\x82\xAC";
    refused(in, "body outside the set");
    in = SimpleInput();
    const std::string bytes = "x";
    in.hasAttachment = true;
    in.attachmentBytes = &bytes;
    in.attachmentName = "a\r\nContent-Type: text/html";
    refused(in, "attachment name");
    in.attachmentName = "a.txt";
    in.boundary = "bad boundary\r\n";
    refused(in, "boundary");
}
