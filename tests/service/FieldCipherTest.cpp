// The field cipher against the openssl command, and the two encoders against fixed vectors.
#include <gtest/gtest.h>

#include "ServiceTestSupport.h"
#include "service/FieldCipher.h"

namespace {

using servicetest::Hex;
using servicetest::RunCommand;
using servicetest::TempHomeTest;

// AES-128-ECB with PKCS#7 padding by the openssl command, as lower-case hex.
std::string OpenSslEcbHex(const std::filesystem::path& folder, const std::string& plaintext,
                          const std::string& key) {
  const auto input = folder / "plain.bin";
  servicetest::WriteFile(input, plaintext);
  return RunCommand("openssl enc -aes-128-ecb -nosalt -K " + Hex(key) + " -in '" + input.string() +
                    "' | od -An -v -tx1 | tr -d ' \\n'");
}

class FieldCipherTest : public TempHomeTest {};

TEST_F(FieldCipherTest, EncryptMatchesOpenSslCommand) {
  const struct {
    const char* name;
    std::string plaintext;
    std::string key;
    size_t length;
  } cases[] = {
      {"mobile number", "13800138000", std::string(kSmsKey), 16},
      {"empty input gets one padding block", "", std::string(kSmsKey), 16},
      {"full block gets a whole padding block", "0123456789abcdef", std::string(kSmsKey), 32},
      {"binary bytes and another key", std::string("\x00\xff\x80 z\n", 6), "0000000000000000", 16},
      {"several blocks", std::string(40, 'x'), "key-of-16-bytes!", 48},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string cipher = CAES::Encrypt(c.plaintext, c.key);
    EXPECT_EQ(cipher.size(), c.length);
    EXPECT_EQ(Hex(cipher), OpenSslEcbHex(m_root, c.plaintext, c.key));
  }
}

TEST(Base64EncodeTest, Rfc4648Vectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\xfb\xff\xfe", 3), "+//+"},
      {std::string("\x00\x00", 2), "AAA="},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(Base64Encode(input), expected) << input;
}

TEST(UrlEncodeTest, Vectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"a b+c/d=", "a+b%2Bc%2Fd%3D"},
      {"-_.~", "-_.~"},
      {"AZaz09", "AZaz09"},
      {"\xe4", "%E4"},
      {"小", "%E5%B0%8F"},
      {"a&b=c%", "a%26b%3Dc%25"},
      {std::string("\x00\x7f", 2), "%00%7F"},
      {"", ""},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(UrlEncode(input), expected) << input;
}

TEST_F(FieldCipherTest, MobileForSmsIsEncryptedBase64UrlEncodedAndLogged) {
  const std::string mobile = "13912345678";
  const std::string base64 = RunCommand("printf %s " + mobile + " | openssl enc -aes-128-ecb -nosalt -K " +
                                        Hex(kSmsKey) + " | base64 -w0");
  ASSERT_EQ(base64.size(), 24u);
  std::string expected;
  for (const char c : base64) {
    expected += c == '+' ? "%2B" : c == '/' ? "%2F" : c == '=' ? "%3D" : std::string(1, c);
  }
  const std::string encoded = EncodeMobileForSms(mobile);
  EXPECT_EQ(encoded, expected);
  EXPECT_TRUE(encoded.ends_with("%3D%3D"));
  EXPECT_EQ(NormalLines(), std::vector<std::string>{base64});
}

}  // namespace
