#include "signing/signer.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::signing {
namespace {

// r || s || v; these agree with widely published RFC 6979 secp256k1 vectors (SHA-256 of "Satoshi
// Nakamoto" and of the Blade Runner line) and with eth-account's Account._sign_hash.
TEST(SigningSigner, Rfc6979Signatures) {
  const std::string one = std::string(63, '0') + "1";
  const std::string order_minus_one =
      "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364140";
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
      {order_minus_one, "a0dc65ffca799873cbea0ac274015b9526505daaaed385155425f7337704883e",
       "fd567d121db66e382991534ada77a6bd3106f0a1098c231e47993447cd6af2d0"
       "6b39cd0eb1bc8603e159ef5c20a5c8ad685a45b06ce9bebed3f153d10d93bed51b"},
  };
  for (const auto& c : cases) {
    const auto signer = Signer::from_hex(c.key);
    ASSERT_TRUE(signer);
    Word digest;
    ASSERT_TRUE(hex_decode(c.digest, digest));
    const auto sig = signer->sign_digest(digest);
    ASSERT_TRUE(sig);
    EXPECT_EQ(hex(*sig), c.signature);
  }
  EXPECT_EQ(Signer::from_hex(one)->address(), "0x7E5F4552091A69125d5DfCb7b8C2659029395Bdf");
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
