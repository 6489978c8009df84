#include "signing/signer.h"

#include <gtest/gtest.h>
#include <secp256k1.h>
#include <secp256k1_recovery.h>

#include <cstring>
#include <string>

namespace orvane::signing {
namespace {

constexpr std::string_view kOrderMinusOne =
    "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364140";

Word word_of(std::string_view text) {
  Word w;
  EXPECT_TRUE(hex_decode(text, w));
  return w;
}

// The address of the key that signed `digest`, recovered from r || s || v.
std::string recovered_address(const Word& digest, const Signature& sig) {
  const secp256k1_context* ctx = secp256k1_context_static;
  secp256k1_ecdsa_recoverable_signature parsed;
  EXPECT_EQ(
      secp256k1_ecdsa_recoverable_signature_parse_compact(ctx, &parsed, sig.data(), sig[64] - 27),
      1);
  secp256k1_pubkey pubkey;
  EXPECT_EQ(secp256k1_ecdsa_recover(ctx, &pubkey, &parsed, digest.data()), 1);
  std::array<std::uint8_t, 65> sec1;
  std::size_t size = sec1.size();
  secp256k1_ec_pubkey_serialize(ctx, sec1.data(), &size, &pubkey, SECP256K1_EC_UNCOMPRESSED);
  PublicPoint point;
  std::copy(sec1.begin() + 1, sec1.begin() + 33, point.x.begin());
  std::copy(sec1.begin() + 33, sec1.end(), point.y.begin());
  return address_of(point);
}

TEST(SigningSigner, KeyTextForms) {
  const std::string key = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318";
  const std::string upper = "4C0883A69102937D6231471B5DBB6204FE5129617082792AE468D01A3F362318";
  for (const std::string& text :
       {key, "0x" + key, "0x0x" + key, " \t0x" + upper + "\n", "\xe2\x80\x83" + key}) {
    const auto signer = Signer::from_hex(text);
    ASSERT_TRUE(signer) << text;
    EXPECT_EQ(signer->address(), "0x2c7536E3605D9C16a7a3D7b1898e529396a65c23");
  }
  // 31 bytes are a number: the same key as with two leading zero digits.
  const std::string digits62 = "01" + std::string(58, '0') + "ab";
  EXPECT_EQ(Signer::from_hex(digits62)->address(), Signer::from_hex("00" + digits62)->address());
  EXPECT_EQ(Signer::from_hex(std::string(47, '0') + "1")->address(),
            "0x7E5F4552091A69125d5DfCb7b8C2659029395Bdf");
}

TEST(SigningSigner, KeyErrors) {
  const std::string_view not_hex = "not a hex private key";
  const std::string_view not_valid = "not a valid secp256k1 private key";
  const std::string one = std::string(63, '0') + "1";
  const struct {
    std::string text;
    std::string_view message;
  } cases[] = {
      {"0X" + one, not_hex},
      {one.substr(1), not_hex},           // 63 digits
      {one + "g1", not_hex},              // hex is checked before length
      {"0 x" + one, not_hex},             //
      {"", not_valid},                    // zero bytes
      {"0x", not_valid},                  //
      {std::string(46, '1'), not_valid},  // 23 bytes
      {"01" + one, not_valid},            // 33 bytes, even with a zero first byte
      {std::string(64, '0'), not_valid},  // zero
      {std::string(kOrderMinusOne.substr(0, 63)) + "1", not_valid},  // the group order
      {std::string(64, 'f'), not_valid},
  };
  for (const auto& c : cases) EXPECT_EQ(Signer::from_hex(c.text).error(), c.message) << c.text;
  EXPECT_TRUE(Signer::from_hex(kOrderMinusOne));
}

// r || s || v from eth-account's Account._sign_hash; the first three agree with widely published
// RFC 6979 secp256k1 vectors (SHA-256 of "Satoshi Nakamoto" and of the Blade Runner line).
TEST(SigningSigner, DeterministicSignatures) {
  const std::string one = std::string(63, '0') + "1";
  const struct {
    std::string key;
    std::string digest;
    std::string_view signature;
  } cases[] = {
      {one, "a0dc65ffca799873cbea0ac274015b9526505daaaed385155425f7337704883e",
       "934b1ea10a4b3c1757e2b0c017d0b6143ce3c9a7e6a4a49860d7a6ab210ee3d8"
       "2442ce9d2b916064108014783e923ec36b49743e2ffa1c4496f01a512aafd9e51c"},
      {one, "7d1833f54854ac51659521afcd0ec6dca2ce2351429614bfa28a756b1b3c637f",
       "8600dbd41e348fe5c9465ab92d23e3db8b98b873beecd930736488696438cb6b"
       "547fe64427496db33bf66019dacbf0039c04199abb0122918601db38a72cfc211b"},
      {std::string(kOrderMinusOne),
       "a0dc65ffca799873cbea0ac274015b9526505daaaed385155425f7337704883e",
       "fd567d121db66e382991534ada77a6bd3106f0a1098c231e47993447cd6af2d0"
       "6b39cd0eb1bc8603e159ef5c20a5c8ad685a45b06ce9bebed3f153d10d93bed51b"},
      {"4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318",
       "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45",
       "9b2b986d1267c9302412998c832ce751eb1ac159841830b84334e49c6993f4ee"
       "2aa312c1ada98dd37af52d5112c33ecc9d67f78c5ddf922fdacc3c44d29b5b6d1b"},
  };
  for (const auto& c : cases) {
    const auto signer = Signer::from_hex(c.key);
    ASSERT_TRUE(signer);
    const Word digest = word_of(c.digest);
    const auto sig = signer->sign_digest(digest);
    ASSERT_TRUE(sig);
    EXPECT_EQ(hex(*sig), c.signature);
    EXPECT_EQ(signer->sign_digest(digest), sig);
    EXPECT_EQ(recovered_address(digest, *sig), signer->address());
  }
}

TEST(SigningSigner, LowSAndRecoveryOverManyDigests) {
  const auto signer = Signer::from_hex(kOrderMinusOne);
  ASSERT_TRUE(signer);
  const Word half_order =
      word_of("7fffffffffffffffffffffffffffffff5d576e7357a4501ddfe92f46681b20a0");
  Word digest{};
  for (int i = 0; i < 64; ++i) {
    digest = keccak256(digest);
    const auto sig = signer->sign_digest(digest);
    ASSERT_TRUE(sig);
    EXPECT_TRUE((*sig)[64] == 27 || (*sig)[64] == 28);
    EXPECT_LE(std::memcmp(sig->data() + 32, half_order.data(), 32), 0);
    EXPECT_EQ(recovered_address(digest, *sig), signer->address());
  }
}

TEST(SigningSigner, DigestLength) {
  const auto signer = Signer::from_hex(std::string(63, '0') + "1");
  const std::array<std::uint8_t, 33> bytes{};
  EXPECT_EQ(signer->sign_digest(std::span(bytes).first(31)).error(),
            "a digest is 32 bytes, got 31");
  EXPECT_EQ(signer->sign_digest(bytes).error(), "a digest is 32 bytes, got 33");
  EXPECT_EQ(signer->sign_digest({}).error(), "a digest is 32 bytes, got 0");
}

TEST(SigningSigner, MoveKeepsKeyAndWipesSource) {
  auto first = Signer::from_hex(std::string(63, '0') + "2");
  ASSERT_TRUE(first);
  const std::string address = first->address();
  const Word digest{};
  const auto before = first->sign_digest(digest);
  Signer second = std::move(*first);
  EXPECT_EQ(second.address(), address);
  EXPECT_EQ(second.sign_digest(digest), before);
  // The wiped source holds the zero key, which the library refuses to sign with.
  EXPECT_FALSE(first->sign_digest(digest));
}

}  // namespace
}  // namespace orvane::signing
