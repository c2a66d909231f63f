// Reading a mail server's replies as the client's trace shows them.
#include "netkit/SmtpTranscript.h"

#include <gtest/gtest.h>

using namespace NetKit::Mail;

TEST(SmtpReplyLine, CodeAndContinuationAreRead) {
    SmtpReplyLine line;
    ASSERT_TRUE(ParseReplyLine("250-SIZE 1000", line));
    EXPECT_EQ(line.code, 250);
    EXPECT_FALSE(line.last);
    EXPECT_EQ(line.text, "SIZE 1000");
    ASSERT_TRUE(ParseReplyLine("354 End data with <CR><LF>.<CR><LF>", line));
    EXPECT_EQ(line.code, 354);
    EXPECT_TRUE(line.last);
    ASSERT_TRUE(ParseReplyLine("221", line)) << "a bare code is a complete reply";
    EXPECT_TRUE(line.last);
    EXPECT_EQ(line.text, "");
    for (const char* bad : {"", "25", "2x0 ok", "250x", "abc def", "-250 x"})
        EXPECT_FALSE(ParseReplyLine(bad, line)) << bad;
}

TEST(SmtpTranscript, AMultiLineReplyIsJoinedAndANewCommandStartsAfresh) {
    SmtpTranscript t;
    t.Received("220 mail.example.test ESMTP\r\n");
    t.Sent("EHLO client\r\n");
    t.Received("250-mail.example.test\r\n");
    t.Received("250-SIZE 1000\r\n");
    t.Received("250 HELP\r\n");
    EXPECT_EQ(t.lastCommand(), "EHLO client");
    EXPECT_EQ(t.lastReply(), "250-mail.example.test 250-SIZE 1000 250 HELP");
    EXPECT_FALSE(t.refused());
    // Several lines in one chunk are read one by one.
    t.Sent("MAIL FROM:<a@example.test>\r\n");
    t.Received("550-5.7.1 Sender\r\n550 5.7.1 not allowed\r\n");
    EXPECT_EQ(t.lastReply(), "550-5.7.1 Sender 550 5.7.1 not allowed");
    EXPECT_TRUE(t.refused());
    EXPECT_EQ(RefusalText(t),
              "The mail server refused the sender <a@example.test>: 550-5.7.1 Sender 550 5.7.1 "
              "not allowed");
}

TEST(SmtpTranscript, TheLoginNeverShowsAndTheReplyToQuitDoesNotHideARefusal) {
    SmtpTranscript t;
    t.Sent("AUTH PLAIN AG1haWxlcgBzM2NyZXQ=\r\n");
    t.Received("535 5.7.8 Authentication credentials invalid\r\n");
    t.Sent("QUIT\r\n");
    t.Received("221 Bye\r\n");
    EXPECT_EQ(t.lastCommand(), "AUTH PLAIN");
    EXPECT_EQ(RefusalText(t),
              "The mail server refused the login: 535 5.7.8 Authentication credentials invalid");

    SmtpTranscript login;
    login.Sent("AUTH LOGIN\r\n");
    login.Received("334 VXNlcm5hbWU6\r\n");
    login.Sent("bWFpbGVy\r\n");
    login.Received("334 UGFzc3dvcmQ6\r\n");
    login.Sent("czNjcmV0\r\n");
    EXPECT_EQ(login.lastCommand(), "AUTH LOGIN") << "the answers to the challenges are not kept";
    login.Received("235 2.7.0 Authentication successful\r\n");
    login.Sent("MAIL FROM:<a@example.test>\r\n");
    EXPECT_EQ(login.lastCommand(), "MAIL FROM:<a@example.test>") << "after the login, commands count again";
}

TEST(SmtpTranscript, ALoginIsInClearUnlessStartTlsSucceededOrTheConnectionBeganEncrypted) {
    SmtpTranscript plain;
    plain.Sent("EHLO c");
    plain.Received("250 AUTH PLAIN");
    plain.Sent("AUTH PLAIN x");
    EXPECT_TRUE(plain.loginSentInClear());

    SmtpTranscript refusedTls;
    refusedTls.Sent("STARTTLS\r\n");
    refusedTls.Received("454 4.7.0 TLS not available\r\n");
    refusedTls.Sent("AUTH PLAIN x\r\n");
    EXPECT_FALSE(refusedTls.encrypted());
    EXPECT_TRUE(refusedTls.loginSentInClear());

    SmtpTranscript upgraded;
    upgraded.Sent("STARTTLS\r\n");
    upgraded.Received("220 Ready to start TLS\r\n");
    upgraded.Sent("EHLO c\r\n");
    upgraded.Received("250 AUTH PLAIN\r\n");
    upgraded.Sent("AUTH PLAIN x\r\n");
    EXPECT_TRUE(upgraded.encrypted());
    EXPECT_FALSE(upgraded.loginSentInClear());

    SmtpTranscript implicit(true);
    implicit.Sent("AUTH LOGIN\r\n");
    EXPECT_FALSE(implicit.loginSentInClear());
    // A 220 that answers something else (the greeting) encrypts nothing.
    SmtpTranscript greeting;
    greeting.Received("220 mail ESMTP\r\n");
    EXPECT_FALSE(greeting.encrypted());
}

TEST(SmtpTranscript, RefusalsAreToldByWhatWasRefused) {
    struct Case {
        const char* command;
        const char* reply;
        const char* expected; // empty: no refusal text
    };
    const Case cases[] = {
        {"RCPT TO:<nobody@example.test>", "550 5.1.1 User unknown",
         "The mail server refused the recipient <nobody@example.test>: 550 5.1.1 User unknown"},
        {"MAIL FROM:<a@example.test>", "530 5.7.0 Authentication required",
         "The mail server requires a login (turn on server authentication): 530 5.7.0 Authentication "
         "required"},
        {".", "552 5.3.4 Message too big",
         "The mail server refused the message as too large: 552 5.3.4 Message too big"},
        {"DATA", "554 5.5.1 No valid recipients",
         "The mail server refused the message: 554 5.5.1 No valid recipients"},
        {"EHLO c", "421 4.3.2 Shutting down", ""},
        {"RCPT TO:<b@example.test>", "250 OK", ""},
    };
    for (const Case& c : cases) {
        SmtpTranscript t;
        t.Sent(c.command);
        t.Received(c.reply);
        EXPECT_EQ(RefusalText(t), c.expected) << c.command;
    }
    SmtpTranscript silent;
    silent.Sent("DATA");
    EXPECT_FALSE(silent.refused()) << "no reply is no refusal";
    EXPECT_EQ(RefusalText(silent), "");
}
