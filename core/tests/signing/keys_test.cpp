#include "signing/keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane::signing {
namespace {

std::vector<std::uint8_t> unhex(std::string_view text) {
  std::vector<std::uint8_t> out(text.size() / 2);
  EXPECT_TRUE(hex_decode(text, out)) << text;
  return out;
}

TEST(SigningKeys, Keccak256KnownAnswers) {
  // Original Keccak padding; SHA3-256("") would be a7ffc6f8...
  EXPECT_EQ(hex(keccak256("")), "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470");
  EXPECT_EQ(hex(keccak256("abc")),
            "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45");
  // Around the 136-byte rate and across several blocks.
  EXPECT_EQ(hex(keccak256(std::string(135, 'a'))),
            "34367dc248bbd832f4e3e69dfaac2f92638bd0bbd18f2912ba4ef454919cf446");
  EXPECT_EQ(hex(keccak256(std::string(136, 'a'))),
            "a6c4d403279fe3e0af03729caada8374b5ca54d8065329a3ebcaeb4b60aa386e");
  std::vector<std::uint8_t> long_message;
  for (int i = 0; i < 3 * 256; ++i) long_message.push_back(static_cast<std::uint8_t>(i));
  EXPECT_EQ(hex(keccak256(long_message)),
            "00e77ce2c4f77212a0d5df106b08157b77058479357a98a6039b457c469723e4");
}

// The test vectors of EIP-55 itself: all caps, all lower, and mixed.
TEST(SigningKeys, ChecksummedMatchesEip55Vectors) {
  for (const std::string_view expected : {
           "0x52908400098527886E0F7030069857D2E4169EE7",
           "0x8617E340B3D01FA5F11F306F4090FD50E238070D",
           "0xde709f2102306220921060314715629080e2fb77",
           "0x27b1fdb04752bbc536007a920d24acb045561c26",
           "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed",
           "0xfB6916095ca1df60bB79Ce92cE3Ea74c37c5d359",
           "0xdbF03B407c01E7cD3CBea99509d93f8DDDC8C6FB",
           "0xD1220A0cf47c7B9Be7A2E6BA89F429762e7b9aDb",
       }) {
    EXPECT_EQ(checksummed(unhex(expected.substr(2))), expected);
    const auto word = address(expected);
    ASSERT_TRUE(word) << word.error();
    EXPECT_EQ(hex(std::span(*word).first(12)), std::string(24, '0'));
    EXPECT_EQ(checksummed(std::span(*word).subspan(12)), expected);
  }
  EXPECT_EQ(checksummed(Address{}), "0x" + std::string(40, '0'));
  EXPECT_EQ(hex0x({}), "0x");
}

TEST(SigningKeys, AddressOfPublicPoint) {
  // The generator G is the public point of the key 1.
  PublicPoint g;
  hex_decode("79be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798", g.x);
  hex_decode("483ada7726a3c4655da4fbfc0e1108a8fd17b448a68554199c47d08ffb10d4b8", g.y);
  EXPECT_EQ(address_of(g), "0x7E5F4552091A69125d5DfCb7b8C2659029395Bdf");
}

TEST(SigningKeys, StrictAddressCaseRules) {
  const std::string eip55 = "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed";
  const auto expected = address(eip55);
  ASSERT_TRUE(expected);
  std::string lower = eip55, upper = eip55;
  for (std::size_t i = 2; i < 42; ++i) {
    lower[i] = static_cast<char>(std::tolower(lower[i]));
    upper[i] = static_cast<char>(std::toupper(upper[i]));
  }
  EXPECT_EQ(address(lower), expected);
  EXPECT_EQ(address(upper), expected);
  // One flipped letter, still mixed case: the checksum fails.
  std::string flipped = eip55;
  flipped[3] = 'A';
  EXPECT_EQ(address(flipped).error(),
            "not a checksummed address: \"0x5AAeb6053F3E94C9b9A09f33669435E7Ef1BeAed\"");
  // A flip that leaves one case throughout carries no checksum.
  const std::string one_lower = "0x52908400098527886e0F7030069857D2E4169EE7";
  EXPECT_EQ(address(one_lower).error().rfind("not a checksummed address: ", 0), 0u);
  EXPECT_TRUE(address("0x52908400098527886e0f7030069857d2e4169ee7"));
}

TEST(SigningKeys, AddressRejectsShapes) {
  const std::string digits = "5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed";
  for (const std::string& bad : {
           digits,                          // no prefix
           "0X" + digits,                   // upper-case X is no prefix
           " 0x" + digits,                  // no trimming
           "0x" + digits + " ",             //
           "0x" + digits.substr(1),         // 39 digits
           "0x" + digits + "0",             // 41 digits
           "0x" + digits.substr(2) + "g0",  // not hex
           std::string("0x"),               //
           std::string(""),                 //
       }) {
    EXPECT_EQ(address(bad).error(), "not an address: \"" + bad + "\"") << bad;
  }
  // Non-ASCII lengthens the text in bytes.
  const std::string accented = "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeA\xc3\xa9";
  EXPECT_EQ(address(accented).error().rfind("not an address: ", 0), 0u);
  // Control characters are escaped in the message.
  EXPECT_EQ(address("0x\n").error(), "not an address: \"0x\\n\"");
}

TEST(SigningKeys, AnyCaseAddress) {
  const std::string digits = "5aaeb6053f3e94c9b9a09f33669435e7ef1beaed";
  const auto expected = address("0x" + digits);
  ASSERT_TRUE(expected);
  EXPECT_EQ(address_any_case(digits), expected);
  EXPECT_EQ(address_any_case("0x" + digits), expected);
  EXPECT_EQ(address_any_case("0x5AaEB6053F3E94C9b9A09f33669435E7Ef1BeAed"), expected);
  EXPECT_EQ(address_any_case("0x" + std::string(40, '0')), Word{});
  for (const std::string& bad :
       {"0X" + digits, " " + digits, std::string("0"), std::string(), digits.substr(1) + "z"}) {
    EXPECT_EQ(address_any_case(bad).error(), "not an address: \"" + bad + "\"") << bad;
  }
}

}  // namespace
}  // namespace orvane::signing
