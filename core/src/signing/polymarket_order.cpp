#include "signing/polymarket_order.h"

#include <algorithm>

namespace orvane::signing::polymarket {

namespace {

constexpr std::string_view kExchange = "0xE111180000d2663C0091e4f400237545B87B996B";
constexpr std::string_view kNegRiskExchange = "0xe2222d279d744050d28e00520010520000310F59";

constexpr std::string_view kWrapperType =
    "TypedDataSign(Order contents,string name,string version,uint256 chainId,"
    "address verifyingContract,bytes32 salt)";

static_assert(kOrderType.size() == 186);
static_assert(kWrapperType.size() == 111);

// The order's text fields in reading order, with the reader and the slot of each.
struct TextField {
  Reader read;
  std::string_view OrderText::*text;
  Word Order::*word;
};

constexpr std::array<TextField, 9> kTextFields = {{
    {&uint, &OrderText::salt, &Order::salt},
    {&address, &OrderText::maker, &Order::maker},
    {&address, &OrderText::signer, &Order::signer},
    {&uint, &OrderText::token_id, &Order::token_id},
    {&uint, &OrderText::maker_amount, &Order::maker_amount},
    {&uint, &OrderText::taker_amount, &Order::taker_amount},
    {&uint, &OrderText::timestamp, &Order::timestamp},
    {&bytes32, &OrderText::metadata, &Order::metadata},
    {&bytes32, &OrderText::builder, &Order::builder},
}};

}  // namespace

std::expected<Order, Error> read_order(const OrderText& text, std::string_view known_address) {
  Order order;
  for (const TextField& field : kTextFields) {
    // A signer that is the maker (the usual order) is read once: same text, same word.
    if (field.word == &Order::signer && text.signer == text.maker) {
      order.signer = order.maker;
      continue;
    }
    const std::string_view field_text = text.*field.text;
    const bool known =
        !known_address.empty() && field.read == &address && field_text == known_address;
    auto word = known ? address_any_case(field_text) : field.read(field_text);
    if (!word) return std::unexpected(std::move(word.error()));
    order.*field.word = *word;
  }
  order.side = text.side;
  order.signature_type = text.signature_type;
  return order;
}

Word struct_hash(const Order& order) {
  const std::array<Word, 11> fields = {order.salt,
                                       order.maker,
                                       order.signer,
                                       order.token_id,
                                       order.maker_amount,
                                       order.taker_amount,
                                       uint8_word(order.side),
                                       uint8_word(order.signature_type),
                                       order.timestamp,
                                       order.metadata,
                                       order.builder};
  static const Word kOrderTypeHash = keccak256(kOrderType);
  return signing::struct_hash(kOrderTypeHash, fields);
}

Word exchange_domain(bool neg_risk) {
  // Constants of the two contracts, made on first use (a function-local static is thread-safe).
  // Both built-in addresses are valid EIP-55 text, so reading them cannot fail.
  static const std::array<Word, 2> kDomains = [] {
    const auto domain = [](std::string_view contract) {
      return domain_separator("Polymarket CTF Exchange", "2", 137, *address(contract));
    };
    return std::array<Word, 2>{domain(kExchange), domain(kNegRiskExchange)};
  }();
  return kDomains[neg_risk ? 1 : 0];
}

Word order_hash(const Order& order, bool neg_risk) {
  return typed_digest(exchange_domain(neg_risk), struct_hash(order));
}

namespace {

// The wrapper is hashed under the exchange domain; the wallet's own domain ("DepositWallet", "1",
// chain 137, the wallet, zero salt) travels inside the wrapper struct.
Word wrapper_digest(const Word& app_domain, const Word& contents, const Order& order) {
  // The wrapper's type hash and its constant fields, made once.
  static const std::array<Word, 3> kConstants = [] {
    std::array<char, kWrapperType.size() + kOrderType.size()> type;
    std::ranges::copy(kWrapperType, type.begin());
    std::ranges::copy(kOrderType, type.begin() + kWrapperType.size());
    return std::array<Word, 3>{keccak256(std::string_view(type.data(), type.size())),
                               keccak256("DepositWallet"), keccak256("1")};
  }();
  const auto& [type_hash, wallet_name, wallet_version] = kConstants;
  const std::array<Word, 6> fields = {contents,       wallet_name,  wallet_version,
                                      uint_word(137), order.signer, Word{}};
  const Word wrapper = signing::struct_hash(type_hash, fields);
  return typed_digest(app_domain, wrapper);
}

}  // namespace

Word deposit_wallet_digest(const Order& order, bool neg_risk) {
  return wrapper_digest(exchange_domain(neg_risk), struct_hash(order), order);
}

std::expected<OrderSignature, Error> sign(const Signer& signer, const Order& order, bool neg_risk) {
  const Word app_domain = exchange_domain(neg_risk);
  const Word contents = struct_hash(order);
  const bool wallet = order.signature_type == kDepositWallet;
  const Word digest =
      wallet ? wrapper_digest(app_domain, contents, order) : typed_digest(app_domain, contents);
  auto signature = signer.sign_digest(digest);
  if (!signature) return std::unexpected(std::move(signature.error()));

  OrderSignature out;
  auto at = std::ranges::copy(*signature, out.bytes.begin()).out;
  if (wallet) {
    at = std::ranges::copy(app_domain, at).out;
    at = std::ranges::copy(contents, at).out;
    at = std::ranges::copy(kOrderType, at).out;
    *at++ = static_cast<std::uint8_t>(kOrderType.size() >> 8);
    *at++ = static_cast<std::uint8_t>(kOrderType.size() & 0xff);
  }
  out.size = static_cast<std::size_t>(at - out.bytes.begin());
  return out;
}

}  // namespace orvane::signing::polymarket
