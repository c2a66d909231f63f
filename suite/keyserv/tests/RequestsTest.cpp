#include "keyserv/Requests.h"
#include "keyserv/KeyService.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

using namespace keyserv;

TEST(RequestReading, KeyIdsAddressesTokensAndCodes) {
    std::string normal;
    EXPECT_TRUE(ParseKeyId("0123456789ABCDEF0123456789abcdef", normal));
    EXPECT_EQ(normal, "0123456789abcdef0123456789abcdef");
    EXPECT_FALSE(ParseKeyId("0123456789abcdef0123456789abcde", normal));
    EXPECT_FALSE(ParseKeyId("0123456789abcdef0123456789abcdeg", normal));

    EXPECT_TRUE(ParseEmail("Anna@Example.ORG", normal));
    EXPECT_EQ(normal, "anna@example.org");
    for (const char* bad :
         {"", "anna", "@example.org", "anna@", "a@b@c", "anna @example.org", "<a@b>", "a@b,c@d"})
        EXPECT_FALSE(ParseEmail(bad, normal)) << bad;
    EXPECT_FALSE(ParseEmail(std::string(300, 'a') + "@example.org", normal));

    EXPECT_TRUE(ValidRevocationCode("ABCD-EFGH-2345"));
    EXPECT_TRUE(ValidRevocationCode(std::string(32, 'a')));
    EXPECT_FALSE(ValidRevocationCode("ABCD-EFG"));           // 8: too short
    EXPECT_FALSE(ValidRevocationCode(std::string(33, 'a'))); // too long
    EXPECT_FALSE(ValidRevocationCode("ABCD EFGH 2345"));     // blanks
    EXPECT_FALSE(ValidRevocationCode("ABCD-EFGH-2345\n"));   // a line break

    EXPECT_TRUE(ValidToken(std::string(64, 'a')));
    EXPECT_FALSE(ValidToken(std::string(64, 'A')));
    EXPECT_FALSE(ValidToken(std::string(63, 'a')));
}

TEST(RequestReading, SignedKeyRequestsNeedEveryField) {
    SignedKeyRequest request;
    std::string error;
    EXPECT_FALSE(ParseSignedKeyRequest("[]", false, request, error));
    EXPECT_EQ(error, "The request is not a JSON object.");
    EXPECT_FALSE(ParseSignedKeyRequest(R"({"key": "k"})", false, request, error));
    EXPECT_EQ(error, "The request has no \"signature\" text.");
    EXPECT_FALSE(ParseSignedKeyRequest(R"({"key": "k", "signature": "AAAA"})", false, request, error));
    EXPECT_EQ(error, "The request's signature is not a signature.");
    const std::string valid = std::string(86, 'A') + "=="; // 64 zero bytes
    EXPECT_TRUE(
        ParseSignedKeyRequest(R"({"key": "k", "signature": ")" + valid + "\"}", false, request, error))
        << error;
    EXPECT_FALSE(
        ParseSignedKeyRequest(R"({"key": "k", "signature": ")" + valid + "\"}", true, request, error));
    EXPECT_FALSE(ParseSignedKeyRequest(R"({"key": "k", "code": "x", "signature": ")" + valid + "\"}", true,
                                       request, error));
    EXPECT_EQ(error, "The revocation code is not valid.");
    EXPECT_FALSE(ParseSignedKeyRequest(std::string(kMaxRequestBytes + 1, ' '), false, request, error));
}

TEST(RevocationCodes, AreFreshReadableAndComparedWhole) {
    std::set<std::string> seen;
    const std::regex form("[A-HJ-NP-Z2-9]{4}(-[A-HJ-NP-Z2-9]{4}){3}");
    for (int i = 0; i < 50; ++i) {
        const std::string code = NewRevocationCode();
        EXPECT_TRUE(std::regex_match(code, form)) << code;
        EXPECT_TRUE(ValidRevocationCode(code));
        seen.insert(code);
    }
    EXPECT_EQ(seen.size(), 50u);
    const std::string a = SecretDigest("ABCD-EFGH-JKLM-NPQR");
    EXPECT_EQ(a.size(), 64u);
    EXPECT_TRUE(SameDigest(a, SecretDigest("ABCD-EFGH-JKLM-NPQR")));
    EXPECT_FALSE(SameDigest(a, SecretDigest("ABCD-EFGH-JKLM-NPQS")));
    EXPECT_FALSE(SameDigest(a, a.substr(1)));
}
