#include "signing/opinion.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::signing::opinion {
namespace {

constexpr std::string_view kKey =
    "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318";

OrderText sample() {
  OrderText t;
  t.salt = "42";
  t.maker = "0x2c7536E3605D9C16a7a3D7b1898e529396a65c23";
  t.signer = "0x2c7536E3605D9C16a7a3D7b1898e529396a65c23";
  t.taker = "0x0000000000000000000000000000000000000000";
  t.token_id = "115792089237316195423570985008687907853269984665640564039457584007913129639935";
  t.maker_amount = "5000";
  t.taker_amount = "10000";
  t.expiration = "0";
  t.nonce = "7";
  t.fee_rate_bps = "200";
  t.side = 1;
  t.signature_type = 2;
  t.exchange = "0x5F45344126D6488025B0b84A3A8189F2487a7246";
  return t;
}

// Expected values from eth-account's encode_typed_data and Account._sign_hash.
TEST(SigningOpinion, DigestAndSignatureMatchEthAccount) {
  const auto signer = Signer::from_hex(kKey);
  const auto request = read_request(sample());
  ASSERT_TRUE(request) << request.error().message;
  EXPECT_EQ(hex(struct_hash(request->order)),
            "6c24c354d15eb0c3bb626ec5c0da4d535a02c82fe7191d9d56e5a173fe831a78");
  EXPECT_EQ(hex(order_digest(request->order, request->exchange)),
            "76b8a7c1c2c6aa72d8b01261e12b80bd17f6462d142cf5f81386444f02903db5");
  const auto signature = sign(*signer, request->order, request->exchange);
  ASSERT_TRUE(signature);
  EXPECT_EQ(hex(*signature),
            "ef734b2058ae62f25f20b5ee07d6d64396922d966d5e4602d6989f7fda39cf60"
            "4a1efd358a03c623b740a0bc1554276e30df968526fa1722046a80dae46b788f1b");
}

TEST(SigningOpinion, AddressesAnyCaseNoChecksum) {
  const auto expected = read_request(sample());
  for (const std::string_view maker :
       {"2c7536e3605d9c16a7a3d7b1898e529396a65c23", "0x2C7536E3605D9C16A7A3D7B1898E529396A65C23",
        "0x2C7536e3605D9C16a7a3D7b1898e529396a65c23"}) {
    OrderText text = sample();
    text.maker = maker;
    EXPECT_EQ(read_request(text)->order.maker, expected->order.maker) << maker;
  }
  OrderText other = sample();
  other.exchange = "0x5f45344126d6488025b0b84a3a8189f2487a7247";
  const auto changed = read_request(other);
  EXPECT_NE(order_digest(changed->order, changed->exchange),
            order_digest(expected->order, expected->exchange));
}

TEST(SigningOpinion, FirstFailingFieldDecides) {
  OrderText text = sample();
  text.exchange = "0x5F45";
  auto error = read_request(text).error();
  EXPECT_EQ(error.field, "exchange");
  EXPECT_EQ(error.message, "not an address: \"0x5F45\"");
  text.fee_rate_bps =
      "115792089237316195423570985008687907853269984665640564039457584007913129639936";
  EXPECT_EQ(read_request(text).error().field, "fee_rate_bps");
  text.taker = "0x";
  EXPECT_EQ(read_request(text).error().message, "not an address: \"0x\"");
  text.salt = "4 2";
  error = read_request(text).error();
  EXPECT_EQ(error.field, "salt");
  EXPECT_EQ(error.message, "not a uint256: \"4 2\"");
}

}  // namespace
}  // namespace orvane::signing::opinion
