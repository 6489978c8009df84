#include "signing/keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane::signing {
namespace {

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
  std::vector<std::uint8_t> long_message(size_t{3} * 256);
  for (size_t i = 0; i < long_message.size(); ++i) long_message[i] = static_cast<std::uint8_t>(i);
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
    const auto word = address(expected);
    ASSERT_TRUE(word) << word.error().text;
    EXPECT_EQ(hex(std::span(*word).first(12)), std::string(24, '0'));
    EXPECT_EQ(checksummed(std::span(*word).subspan(12)), expected);
  }
  EXPECT_EQ(checksummed(Address{}), "0x" + std::string(40, '0'));
}

TEST(SigningKeys, StrictAndAnyCaseAddressShapes) {
  const std::string digits = "5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed";
  const std::string lower = "5aaeb6053f3e94c9b9a09f33669435e7ef1beaed";
  const Word expected = *address("0x" + digits);
  // Accepted by the strict reader: one case throughout carries no checksum.
  for (const std::string& good :
       {"0x" + lower, std::string("0x5AAEB6053F3E94C9B9A09F33669435E7EF1BEAED")}) {
    EXPECT_EQ(address(good), expected) << good;
    EXPECT_EQ(address_any_case(good), expected) << good;
  }
  // A flipped letter in mixed case breaks the checksum, which only the strict reader checks.
  for (const std::string_view flipped : {"0x5AAeb6053F3E94C9b9A09f33669435E7Ef1BeAed",
                                         "0x52908400098527886e0F7030069857D2E4169EE7"}) {
    EXPECT_EQ(address(flipped).error().text,
              "not a checksummed address: \"" + std::string(flipped) + "\"");
  }
  EXPECT_EQ(address_any_case("0x5AaEB6053F3E94C9b9A09f33669435E7Ef1BeAed"), expected);
  // No prefix is an address only to the any-case reader.
  EXPECT_EQ(address(digits).error(),
            Error(ErrorCode::kInvalidField, "not an address: \"" + digits + "\""));
  EXPECT_EQ(address_any_case(lower), expected);
  for (const std::string& bad : {
           "0X" + digits,                         // upper-case X is no prefix
           " 0x" + digits,                        // no trimming
           "0x" + digits.substr(1),               // 39 digits
           "0x" + digits + "0",                   // 41 digits
           "0x" + digits.substr(2) + "g0",        // not hex
           "0x" + digits.substr(2) + "\xc3\xa9",  // non-ASCII lengthens the text in bytes
           std::string(""),
       }) {
    EXPECT_EQ(address(bad).error().text, "not an address: \"" + bad + "\"") << bad;
    EXPECT_EQ(address_any_case(bad).error().text, "not an address: \"" + bad + "\"") << bad;
  }
  // Control characters are escaped in the message.
  EXPECT_EQ(address("0x\n").error().text, "not an address: \"0x\\n\"");
}

}  // namespace
}  // namespace orvane::signing
