// Polymarket exchange orders: reading the order texts, the EIP-712 order digest (the order's id on
// the venue) and the signature for the order's wallet type.
//
// Wallet type 3 is a deposit wallet, a smart-contract account: its signature is an ERC-7739
// TypedDataSign wrapper around the order, 317 bytes. Every other type gets the plain 65 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "signing/eip712.h"
#include "signing/keys.h"
#include "signing/signer.h"

namespace orvane::signing::polymarket {

inline constexpr std::string_view kOrderType =
    "Order(uint256 salt,address maker,address signer,uint256 tokenId,uint256 makerAmount,"
    "uint256 takerAmount,uint8 side,uint8 signatureType,uint256 timestamp,bytes32 metadata,"
    "bytes32 builder)";

inline constexpr std::uint8_t kDepositWallet = 3;

// The encoded order; fields in the order of the type string.
struct Order {
  Word salt{};
  Word maker{};
  Word signer{};
  Word token_id{};
  Word maker_amount{};
  Word taker_amount{};
  std::uint8_t side = 0;
  std::uint8_t signature_type = 0;
  Word timestamp{};
  Word metadata{};
  Word builder{};
};

// The order's texts as the caller passed them (Python parameter names).
struct OrderText {
  std::string_view salt;
  std::string_view maker;
  std::string_view signer;
  std::string_view token_id;
  std::string_view maker_amount;
  std::string_view taker_amount;
  std::uint8_t side = 0;
  std::uint8_t signature_type = 0;
  std::string_view timestamp;
  std::string_view metadata;
  std::string_view builder;
};

// Reads the texts in the order salt, maker, signer, token_id, maker_amount, taker_amount,
// timestamp, metadata, builder (uint256 fields with `uint`, addresses with the strict `address`,
// the rest with `bytes32`). The first failing field is reported and nothing after it is read.
// An address text equal to `known_address`, an EIP-55 text the caller vouches for (the signing
// key's own), reads to the same word without its checksum digest being made again.
std::expected<Order, Error> read_order(const OrderText& text, std::string_view known_address = {});

// Keccak-256 of the order type hash and the eleven field words.
Word struct_hash(const Order& order);

// The exchange's domain separator ("Polymarket CTF Exchange", "2", chain 137); `neg_risk` picks the
// neg-risk exchange contract.
Word exchange_domain(bool neg_risk);

// The EIP-712 digest of the order under the exchange domain, for every signature type.
Word order_hash(const Order& order, bool neg_risk);

// The digest a deposit wallet signs: the TypedDataSign wrapper of the order under the exchange
// domain, with the wallet (the order's signer) as its own verifying contract.
Word deposit_wallet_digest(const Order& order, bool neg_risk);

// 65 bytes, or 317 for a deposit wallet: signature || exchange domain || struct hash || order type
// string || its length as two big-endian bytes.
struct OrderSignature {
  std::array<std::uint8_t, 65 + 32 + 32 + kOrderType.size() + 2> bytes{};
  std::size_t size = 0;
  std::span<const std::uint8_t> view() const { return std::span(bytes).first(size); }
};

// Signs the order for its wallet type. Errors are `Signer::sign_digest`'s.
std::expected<OrderSignature, Error> sign(const Signer& signer, const Order& order, bool neg_risk);

}  // namespace orvane::signing::polymarket
