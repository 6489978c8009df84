#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "signing/eip712.h"
#include "signing/keys.h"
#include "signing/signer.h"

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

// What either reader accepts checksums back to itself in the signing fuzz target; here what they
// refuse.
TEST(SigningKeys, StrictAndAnyCaseAddressShapes) {
  const std::string digits = "5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed";
  const Word expected = *address("0x" + digits);
  // One case throughout carries no checksum; a flipped letter in mixed case breaks it, which only
  // the strict reader checks.
  EXPECT_EQ(address("0x5AAEB6053F3E94C9B9A09F33669435E7EF1BEAED"), expected);
  const std::string flipped = "0x5AAeb6053F3E94C9b9A09f33669435E7Ef1BeAed";
  EXPECT_EQ(address(flipped).error().text, "not a checksummed address: \"" + flipped + "\"");
  EXPECT_EQ(address_any_case(flipped), expected);
  // No prefix is an address only to the any-case reader.
  EXPECT_EQ(address(digits).error(),
            Error(ErrorCode::kInvalidField, "not an address: \"" + digits + "\""));
  EXPECT_EQ(address_any_case(digits), expected);
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

// Accepted texts are read back against their digits by the signing fuzz target, which also finds
// any other text accepted; here the messages.
TEST(SigningEip712, UintRefusals) {
  const std::string max =  // 2^256 - 1
      "115792089237316195423570985008687907853269984665640564039457584007913129639935";
  const std::string over = max.substr(0, max.size() - 1) + "6";
  // The overflow message shows the input untouched, white space included.
  const std::string padded = " " + max + "0\n";
  EXPECT_EQ(uint(padded).error(),
            Error(ErrorCode::kInvalidField, "does not fit in uint256: " + padded));
  EXPECT_EQ(uint(over).error().text, "does not fit in uint256: " + over);
  // Non-digits are refused before any overflow: the shape decides first.
  EXPECT_EQ(uint(over + "x").error().text.rfind("not a uint256: ", 0), 0u);
  EXPECT_EQ(uint(" \t").error().text, "not a uint256: \" \\t\"");
}

TEST(SigningEip712, Bytes32RightAligned) {
  EXPECT_EQ(*bytes32(""), Word{});
  EXPECT_EQ(*bytes32("0x"), Word{});
  EXPECT_EQ(hex(*bytes32("abc")), std::string(60, '0') + "0abc");
  EXPECT_EQ(*bytes32("abc"), *bytes32("0x0ABC"));
  const std::string full = "0x" + std::string(32, 'a') + std::string(32, 'B');
  EXPECT_EQ(hex(*bytes32(full)), std::string(32, 'a') + std::string(32, 'b'));
  for (const std::string& bad : {full + "c", std::string("0X12"), std::string(" 12"),
                                 std::string("0x0x12"), std::string("12g")}) {
    EXPECT_EQ(bytes32(bad).error().text, "not a bytes32: \"" + bad + "\"") << bad;
  }
}

// r || s || v; these agree with widely published RFC 6979 secp256k1 vectors (SHA-256 of "Satoshi
// Nakamoto" and of the Blade Runner line) and with eth-account's Account._sign_hash.
TEST(SigningSigner, Rfc6979Signatures) {
  const std::string one = std::string(63, '0') + "1";
  const struct {
    std::string key;
    std::string_view digest, signature;
  } cases[] = {
      {one, "a0dc65ffca799873cbea0ac274015b9526505daaaed385155425f7337704883e",
       "934b1ea10a4b3c1757e2b0c017d0b6143ce3c9a7e6a4a49860d7a6ab210ee3d8"
       "2442ce9d2b916064108014783e923ec36b49743e2ffa1c4496f01a512aafd9e51c"},
      {one, "7d1833f54854ac51659521afcd0ec6dca2ce2351429614bfa28a756b1b3c637f",
       "8600dbd41e348fe5c9465ab92d23e3db8b98b873beecd930736488696438cb6b"
       "547fe64427496db33bf66019dacbf0039c04199abb0122918601db38a72cfc211b"},
      {"fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364140",  // the order - 1
       "a0dc65ffca799873cbea0ac274015b9526505daaaed385155425f7337704883e",
       "fd567d121db66e382991534ada77a6bd3106f0a1098c231e47993447cd6af2d0"
       "6b39cd0eb1bc8603e159ef5c20a5c8ad685a45b06ce9bebed3f153d10d93bed51b"},
  };
  for (const auto& c : cases) {
    Word digest;
    ASSERT_TRUE(hex_decode(c.digest, digest));
    EXPECT_EQ(hex(Signer::from_hex(c.key).value().sign_digest(digest).value()), c.signature);
  }
  EXPECT_EQ(Signer::from_hex(one)->address(), "0x7E5F4552091A69125d5DfCb7b8C2659029395Bdf");
}

TEST(SigningSigner, MoveKeepsKeyAndWipesSource) {
  auto first = Signer::from_hex(std::string(63, '0') + "2");
  ASSERT_TRUE(first);
  const std::string address = first->address();
  const auto before = first->sign_digest(Word{});
  Signer second = std::move(*first);
  EXPECT_EQ(second.address(), address);
  EXPECT_EQ(second.sign_digest(Word{}), before);
  // The wiped source holds the zero key, which the library refuses to sign with.
  EXPECT_FALSE(first->sign_digest(Word{}));
}

}  // namespace
}  // namespace orvane::signing
