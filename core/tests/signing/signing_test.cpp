#include <gtest/gtest.h>

#include <string>

#include "signing/eip712.h"
#include "signing/keys.h"
#include "signing/signer.h"

namespace orvane::signing {
namespace {

TEST(SigningKeys, Keccak256KnownAnswers) {
  // Original Keccak padding; SHA3-256("") would be a7ffc6f8...
  EXPECT_EQ(hex(keccak256("")), "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470");
  // A full 136-byte block (the padding takes a block of its own), and several blocks.
  EXPECT_EQ(hex(keccak256(std::string(136, 'a'))),
            "a6c4d403279fe3e0af03729caada8374b5ca54d8065329a3ebcaeb4b60aa386e");
}

// What either reader accepts checksums back to itself in the signing fuzz target, and what neither
// accepts is refused as "not an address" with the text quoted; here a vector of EIP-55 itself,
// right-aligned in its word, and where the two readers differ.
TEST(SigningKeys, StrictAndAnyCaseAddressShapes) {
  const std::string digits = "5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed";
  const Word expected = address("0x" + digits).value();
  EXPECT_EQ(hex(std::span(expected).first(12)), std::string(24, '0'));
  EXPECT_EQ(checksummed(std::span(expected).subspan(12)), "0x" + digits);
  // A flipped letter in mixed case breaks the checksum, which only the strict reader checks.
  const std::string flipped = "0x5AAeb6053F3E94C9b9A09f33669435E7Ef1BeAed";
  EXPECT_EQ(address(flipped).error().text, "not a checksummed address: \"" + flipped + "\"");
  EXPECT_EQ(address_any_case(flipped), expected);
  // No prefix is an address only to the any-case reader.
  EXPECT_EQ(address(digits).error(),
            Error(ErrorCode::kInvalidField, "not an address: \"" + digits + "\""));
  EXPECT_EQ(address_any_case(digits), expected);
}

// The signing fuzz target checks what bytes32 refuses and its message; here the alignment.
TEST(SigningEip712, Bytes32RightAligned) {
  EXPECT_EQ(*bytes32(""), Word{});
  EXPECT_EQ(hex(*bytes32("abc")), std::string(60, '0') + "0abc");
  const std::string full = "0x" + std::string(32, 'a') + std::string(32, 'B');
  EXPECT_EQ(hex(*bytes32(full)), std::string(32, 'a') + std::string(32, 'b'));
}

// r || s || v; these agree with widely published RFC 6979 secp256k1 vectors (SHA-256 of "Satoshi
// Nakamoto") and with eth-account's Account._sign_hash.
TEST(SigningSigner, Rfc6979Signatures) {
  const std::string one = std::string(63, '0') + "1";
  Word digest;
  ASSERT_TRUE(
      hex_decode("a0dc65ffca799873cbea0ac274015b9526505daaaed385155425f7337704883e", digest));
  const std::pair<std::string, std::string_view> cases[] = {
      {one,
       "934b1ea10a4b3c1757e2b0c017d0b6143ce3c9a7e6a4a49860d7a6ab210ee3d8"
       "2442ce9d2b916064108014783e923ec36b49743e2ffa1c4496f01a512aafd9e51c"},
      {"fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364140",  // the order - 1
       "fd567d121db66e382991534ada77a6bd3106f0a1098c231e47993447cd6af2d0"
       "6b39cd0eb1bc8603e159ef5c20a5c8ad685a45b06ce9bebed3f153d10d93bed51b"},
  };
  for (const auto& [key, signature] : cases)
    EXPECT_EQ(hex(Signer::from_hex(key).value().sign_digest(digest).value()), signature);
  EXPECT_EQ(Signer::from_hex(one)->address(), "0x7E5F4552091A69125d5DfCb7b8C2659029395Bdf");
}

TEST(SigningSigner, MoveKeepsKeyAndWipesSource) {
  Signer first = Signer::from_hex(std::string(63, '0') + "2").value();
  const std::string address = first.address();
  const auto before = first.sign_digest(Word{});
  Signer second = std::move(first);
  EXPECT_EQ(second.address(), address);
  EXPECT_EQ(second.sign_digest(Word{}), before);
  // The wiped source holds the zero key, which the library refuses to sign with.
  EXPECT_FALSE(first.sign_digest(Word{}));  // NOLINT(bugprone-use-after-move): what is left
}

}  // namespace
}  // namespace orvane::signing
