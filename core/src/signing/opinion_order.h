// Opinion exchange orders: reading the order texts and signing the order's EIP-712 digest under the
// exchange that the caller names ("OPINION CTF Exchange", "1", chain 56).
//
// Unlike Polymarket, every address is read leniently (optional "0x", any case, no checksum) and the
// exchange contract is an argument, not built in.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "signing/eip712.h"
#include "signing/keys.h"
#include "signing/signer.h"

namespace orvane::signing::opinion {

inline constexpr std::string_view kOrderType =
    "Order(uint256 salt,address maker,address signer,address taker,uint256 tokenId,"
    "uint256 makerAmount,uint256 takerAmount,uint256 expiration,uint256 nonce,uint256 feeRateBps,"
    "uint8 side,uint8 signatureType)";

// The encoded order; fields in the order of the type string.
struct Order {
  Word salt{};
  Word maker{};
  Word signer{};
  Word taker{};
  Word token_id{};
  Word maker_amount{};
  Word taker_amount{};
  Word expiration{};
  Word nonce{};
  Word fee_rate_bps{};
  std::uint8_t side = 0;
  std::uint8_t signature_type = 0;
};

// The texts of one signing call as the caller passed them (Python parameter names).
struct OrderText {
  std::string_view salt;
  std::string_view maker;
  std::string_view signer;
  std::string_view taker;
  std::string_view token_id;
  std::string_view maker_amount;
  std::string_view taker_amount;
  std::string_view expiration;
  std::string_view nonce;
  std::string_view fee_rate_bps;
  std::uint8_t side = 0;
  std::uint8_t signature_type = 0;
  std::string_view exchange;
};

// An order and the exchange contract it is signed for.
struct Request {
  Order order;
  Word exchange{};
};

// Reads salt, maker, signer, taker, token_id, maker_amount, taker_amount, expiration, nonce,
// fee_rate_bps, then exchange (uint256 fields with `uint`, addresses with `address_any_case`). The
// first failing field is reported and nothing after it is read.
std::expected<Request, Error> read_request(const OrderText& text);

// Keccak-256 of the order type hash and the twelve field words.
Word struct_hash(const Order& order);

// The EIP-712 digest of the order under the exchange at `exchange`.
Word order_digest(const Order& order, const Word& exchange);

// Signs `order_digest`. Errors are `Signer::sign_digest`'s.
std::expected<Signature, Error> sign(const Signer& signer, const Order& order,
                                     const Word& exchange);

}  // namespace orvane::signing::opinion
