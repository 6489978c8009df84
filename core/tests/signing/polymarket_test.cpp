#include "signing/polymarket.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::signing::polymarket {
namespace {

constexpr std::string_view kKey =
    "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318";
constexpr std::string_view kWallet = "0x2c7536E3605D9C16a7a3D7b1898e529396a65c23";

OrderText sample(std::uint8_t signature_type) {
  OrderText t;
  t.salt = "123456789";
  t.maker = kWallet;
  t.signer = kWallet;
  t.token_id = "71321045679252212594626385532706912750332728571942532289631379312455583992563";
  t.maker_amount = "1000000";
  t.taker_amount = "2000000";
  t.side = 0;
  t.signature_type = signature_type;
  t.timestamp = "1700000000";
  t.metadata = "7";
  t.builder = "0xabababababababababababababababababababababababababababababababab";
  return t;
}

// Expected values from eth-account: encode_typed_data for the order and for the TypedDataSign
// wrapper, and Account._sign_hash for the signatures.
struct Expected {
  std::uint8_t signature_type;
  bool neg_risk;
  std::string_view domain, contents, order_hash, wallet_digest, signature;
};

constexpr Expected kCases[] = {
    {0, false, "3264e159346253e26a64e00b69032db0e7d32f94628de3e6eecb50304d7af3d2",
     "7911e5dcf957a3de3879351b7b23f405132e4247e6fb82c9c3da968b1bef00fd",
     "70a00297d8e7ddc2f748cd960694b761a83e4eb5c0976d7d3ccb47258ab33e16",
     "a88443d8b63ec4d29fd3850a55c85716412107cacc2df808b2358ad04bed3385",
     "ac9688d24cd43700b8035e8020733e04c2010c4d4024ed480ffcb54aaa0f0d91"
     "190cc105b9307b4bfee1f90b0962d4bb941e90a2824ce836ded777979a50c26e1b"},
    {3, false, "3264e159346253e26a64e00b69032db0e7d32f94628de3e6eecb50304d7af3d2",
     "38828ac6ddce41eeed344bf0378f0114d46e9d99513e20c7b780f26033166c61",
     "6a8ef6f16f7850deac86942198c80da96952b2ead60ea6ec5d3650167ae9eb8b",
     "c5863a1e1f550675b435e2dde6ed91b6dc9db59919b02077e1d3326a2a4cf636",
     "e0733c7782872d0e144147be38f92d6013832a6496c581e86230ab84b3986ea4"
     "4374fb6b750a34d9ddff6bc472b8fbdc8f12def9725b6071b08469b0dfc7473f1c"},
    {0, true, "9b858f53327b0bd13af8ec14cfb35234fb9eb7b0504d1a4e61f433840d30e81a",
     "7911e5dcf957a3de3879351b7b23f405132e4247e6fb82c9c3da968b1bef00fd",
     "57fd4dea58aac7e8ade64bb2d24d5a3bfdbdb62d851a0d26ec7109934176867b",
     "2b8a71ac80cdcbd3172ffece5db592169f8d126100e79af0d5a7c63972abf8dd",
     "763ee98c6b19f3d4f05c30bb4a5a5ad84f5ab338646842d350dfe5305ee46a38"
     "268b5b87c548e8c30652c01172fd792bda96e063d1b1ed9236c768c9c223dc561b"},
    {3, true, "9b858f53327b0bd13af8ec14cfb35234fb9eb7b0504d1a4e61f433840d30e81a",
     "38828ac6ddce41eeed344bf0378f0114d46e9d99513e20c7b780f26033166c61",
     "c8c52218a8f2f0e3260fd3994c9c7d664c84ea0160b6d82c054e1fde882cb698",
     "5caa8d617ed9e91f343207e0421250284aa688600922d2382a20f59209992309",
     "f2882e35ff3141f45a6b8239ece8d996372283854969f5a7a64b201ecc4b6646"
     "5527b647a5223bbb297c7083a52ab45905b76a1bac4cfea9128ae11dd171a5b41b"},
};

TEST(SigningPolymarket, DigestsAndSignaturesMatchEthAccount) {
  const auto signer = Signer::from_hex(kKey);
  ASSERT_TRUE(signer);
  for (const Expected& e : kCases) {
    SCOPED_TRACE(testing::Message() << int{e.signature_type} << " " << e.neg_risk);
    const auto order = read_order(sample(e.signature_type));
    ASSERT_TRUE(order) << order.error().message;
    EXPECT_EQ(hex(exchange_domain(e.neg_risk)), e.domain);
    EXPECT_EQ(hex(struct_hash(*order)), e.contents);
    // The hash is the plain order digest for every wallet type, deposit wallets included.
    EXPECT_EQ(hex(order_hash(*order, e.neg_risk)), e.order_hash);
    EXPECT_EQ(hex(deposit_wallet_digest(*order, e.neg_risk)), e.wallet_digest);

    const auto signature = sign(*signer, *order, e.neg_risk);
    ASSERT_TRUE(signature);
    const std::string out = hex(signature->view());
    if (e.signature_type != kDepositWallet) {
      EXPECT_EQ(out, e.signature);
      continue;
    }
    // signature || exchange domain || contents || order type || 0x00ba
    ASSERT_EQ(signature->size, 317u);
    EXPECT_EQ(out.substr(0, 130), e.signature);
    EXPECT_EQ(out.substr(130, 64), e.domain);
    EXPECT_EQ(out.substr(194, 64), e.contents);
    EXPECT_EQ(std::string(signature->view().begin() + 129, signature->view().begin() + 315),
              kOrderType);
    EXPECT_EQ(out.substr(630), "00ba");
  }
}

TEST(SigningPolymarket, AddressCaseAndFieldAlignment) {
  OrderText lower = sample(0);
  lower.maker = "0x2c7536e3605d9c16a7a3d7b1898e529396a65c23";
  EXPECT_EQ(read_order(lower)->maker, read_order(sample(0))->maker);
  const auto order = read_order(sample(0));
  EXPECT_EQ(hex(order->metadata), std::string(63, '0') + "7");
}

TEST(SigningPolymarket, FirstFailingFieldDecides) {
  const struct {
    std::string_view OrderText::*field;
    std::string_view value;
    std::string_view name;
    std::string_view message;
  } cases[] = {
      {&OrderText::salt, "-1", "salt", "not a uint256: \"-1\""},
      {&OrderText::maker, "2c7536E3605D9C16a7a3D7b1898e529396a65c23", "maker",
       "not an address: \"2c7536E3605D9C16a7a3D7b1898e529396a65c23\""},
      {&OrderText::signer, "0x2C7536E3605D9C16a7a3D7b1898e529396a65c23", "signer",
       "not a checksummed address: \"0x2C7536E3605D9C16a7a3D7b1898e529396a65c23\""},
      {&OrderText::token_id, "1.5", "token_id", "not a uint256: \"1.5\""},
      {&OrderText::maker_amount, "", "maker_amount", "not a uint256: \"\""},
      {&OrderText::taker_amount, "0x1", "taker_amount", "not a uint256: \"0x1\""},
      {&OrderText::timestamp,
       "115792089237316195423570985008687907853269984665640564039457584007913129639936",
       "timestamp",
       "does not fit in uint256: "
       "115792089237316195423570985008687907853269984665640564039457584007913129639936"},
      {&OrderText::metadata, "0X1", "metadata", "not a bytes32: \"0X1\""},
      {&OrderText::builder, " 1", "builder", "not a bytes32: \" 1\""},
  };
  for (const auto& c : cases) {
    OrderText text = sample(0);
    text.*c.field = c.value;
    const auto error = read_order(text).error();
    EXPECT_EQ(error.field, c.name);
    EXPECT_EQ(error.message, c.message);
    // A bad salt is reported before any later field.
    text.salt = "x";
    EXPECT_EQ(read_order(text).error().field, "salt");
  }
}

}  // namespace
}  // namespace orvane::signing::polymarket
