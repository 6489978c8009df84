#include "signing/opinion_order.h"

#include <array>

namespace orvane::signing::opinion {

namespace {

static_assert(kOrderType.size() == 201);

// The order's text fields in reading order, with the reader and the slot of each.
struct TextField {
  Reader read;
  std::string_view OrderText::*text;
  Word Order::*word;
};

constexpr std::array<TextField, 10> kTextFields = {{
    {&uint, &OrderText::salt, &Order::salt},
    {&address_any_case, &OrderText::maker, &Order::maker},
    {&address_any_case, &OrderText::signer, &Order::signer},
    {&address_any_case, &OrderText::taker, &Order::taker},
    {&uint, &OrderText::token_id, &Order::token_id},
    {&uint, &OrderText::maker_amount, &Order::maker_amount},
    {&uint, &OrderText::taker_amount, &Order::taker_amount},
    {&uint, &OrderText::expiration, &Order::expiration},
    {&uint, &OrderText::nonce, &Order::nonce},
    {&uint, &OrderText::fee_rate_bps, &Order::fee_rate_bps},
}};

}  // namespace

std::expected<Request, Error> read_request(const OrderText& text) {
  Request request;
  for (const TextField& field : kTextFields) {
    auto word = field.read(text.*field.text);
    if (!word) return std::unexpected(std::move(word.error()));
    request.order.*field.word = *word;
  }
  request.order.side = text.side;
  request.order.signature_type = text.signature_type;
  auto exchange = address_any_case(text.exchange);
  if (!exchange) return std::unexpected(std::move(exchange.error()));
  request.exchange = *exchange;
  return request;
}

Word struct_hash(const Order& order) {
  const std::array<Word, 12> fields = {
      order.salt,     order.maker,        order.signer,           order.taker,
      order.token_id, order.maker_amount, order.taker_amount,     order.expiration,
      order.nonce,    order.fee_rate_bps, uint8_word(order.side), uint8_word(order.signature_type)};
  static const Word kOrderTypeHash = keccak256(kOrderType);
  return signing::struct_hash(kOrderTypeHash, fields);
}

Word order_digest(const Order& order, const Word& exchange) {
  // The exchange is the caller's; the domain's name and version are constants, hashed once.
  static const Word kName = keccak256("OPINION CTF Exchange");
  static const Word kVersion = keccak256("1");
  return typed_digest(domain_separator(kName, kVersion, 56, exchange), struct_hash(order));
}

std::expected<Signature, Error> sign(const Signer& signer, const Order& order,
                                     const Word& exchange) {
  return signer.sign_digest(order_digest(order, exchange));
}

}  // namespace orvane::signing::opinion
