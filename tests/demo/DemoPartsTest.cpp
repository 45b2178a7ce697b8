// Tables for the pieces of the demo school that judge untrusted text: Range headers, tokens,
// the SMS mobile field and Base64.

#include "Base64.h"
#include "RangeBody.h"
#include "SmsCipher.h"
#include "Tokens.h"

#include <gtest/gtest.h>

namespace {

TEST(DemoRangeTest, RangeHeaderTable) {
    struct Case {
        const char* header;
        std::uint64_t size;
        demo::RangeKind kind;
        std::uint64_t first, length;
    } cases[] = {
        {"bytes=0-9", 100, demo::RangeKind::Partial, 0, 10},
        {"bytes=90-", 100, demo::RangeKind::Partial, 90, 10},
        {"bytes=90-500", 100, demo::RangeKind::Partial, 90, 10},  // end clipped to the size
        {"bytes=-30", 100, demo::RangeKind::Partial, 70, 30},
        {"bytes=-300", 100, demo::RangeKind::Partial, 0, 100},
        {"bytes=99-99", 100, demo::RangeKind::Partial, 99, 1},
        {"bytes=100-", 100, demo::RangeKind::Unsatisfiable, 0, 0},  // resume of a complete file
        {"bytes=-0", 100, demo::RangeKind::Unsatisfiable, 0, 0},
        {"bytes=0-", 0, demo::RangeKind::Unsatisfiable, 0, 0},
        {"bytes=0-1,4-5", 100, demo::RangeKind::Whole, 0, 0},  // several ranges: whole body
        {"bytes=9-3", 100, demo::RangeKind::Whole, 0, 0},
        {"bytes=a-b", 100, demo::RangeKind::Whole, 0, 0},
        {"bytes=99999999999999999999-", 100, demo::RangeKind::Whole, 0, 0},
        {"items=0-9", 100, demo::RangeKind::Whole, 0, 0},
        {"bytes=", 100, demo::RangeKind::Whole, 0, 0},
    };
    for (const auto& c : cases) {
        demo::ByteRange range;
        EXPECT_EQ(demo::ParseRange(c.header, c.size, range), c.kind) << c.header;
        if (c.kind == demo::RangeKind::Partial) {
            EXPECT_EQ(range.first, c.first) << c.header;
            EXPECT_EQ(range.length, c.length) << c.header;
        }
    }
}

TEST(DemoTokenTest, TokensAreBoundToKindSubjectSecretAndTime) {
    const demo::TokenSigner signer(std::string(32, 's'));
    const demo::TokenSigner other(std::string(32, 't'));
    const std::string token = signer.Issue("session", "10001", 1000);
    std::string subject;
    EXPECT_EQ(signer.Check("session", token, 999, subject), demo::TokenVerdict::Valid);
    EXPECT_EQ(subject, "10001");
    EXPECT_EQ(signer.Check("session", token, 1000, subject), demo::TokenVerdict::Expired);

    std::string flipped = token;
    flipped[3] = flipped[3] == 'A' ? 'B' : 'A';
    struct Case {
        const char* name;
        const demo::TokenSigner& by;
        const char* kind;
        std::string text;
    } refused[] = {
        {"play authorisation used as a session", signer, "play", token},
        {"another secret", other, "session", token},
        {"changed payload", signer, "session", flipped},
        {"no signature", signer, "session", token.substr(0, token.find('.'))},
        {"empty", signer, "session", ""},
        {"dots only", signer, "session", "..."},
        {"oversized", signer, "session", std::string(5000, 'a') + ".b"},
    };
    for (const auto& c : refused) EXPECT_EQ(c.by.Check(c.kind, c.text, 0, subject), demo::TokenVerdict::Invalid) << c.name;
}

TEST(DemoSmsCipherTest, MobileFieldTable) {
    const auto cipher = demo::AesEcbEncrypt("13800138001", demo::kSmsKey);
    ASSERT_TRUE(cipher);
    EXPECT_EQ(cipher->size(), 16u);
    // Base64 of the cipher text, as the form decoder hands it over.
    std::string b64;
    {
        static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        unsigned buffer = 0;
        int bits = 0;
        for (unsigned char c : *cipher) {
            buffer = (buffer << 8) | c;
            bits += 8;
            while (bits >= 6) b64 += alphabet[(buffer >> (bits -= 6)) & 63];
        }
        if (bits) b64 += alphabet[(buffer << (6 - bits)) & 63];
        while (b64.size() % 4) b64 += '=';
    }
    EXPECT_EQ(demo::DecodeSmsMobile(b64), "13800138001");
    std::string spaced = b64;  // a client that forgot to URL-encode loses "+" to spaces
    for (auto& c : spaced) c = c == '+' ? ' ' : c;
    EXPECT_EQ(demo::DecodeSmsMobile(spaced), "13800138001");

    for (const char* bad : {"", "====", "13800138001", "AAAAAAAAAAAAAAAAAAAAAA==", "S+BSYrDlLnhJ1vCb2k7sRA=", "@@@@"})
        EXPECT_FALSE(demo::DecodeSmsMobile(bad)) << bad;
    EXPECT_FALSE(demo::Base64Decode("QQ=A"));  // padding inside
    EXPECT_EQ(demo::Base64Decode("QUJD"), "ABC");
    EXPECT_EQ(demo::Base64UrlDecode(demo::Base64UrlEncode(std::string("\xff\xfe\x00x", 4))), std::string("\xff\xfe\x00x", 4));
}

}  // namespace
