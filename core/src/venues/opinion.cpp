#include "venues/opinion.h"

#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include "json/fields.h"
#include "text/concat.h"
#include "wire/wire.h"

namespace orvane::opinion {

namespace {

// "side" compared case-insensitively; only ASCII letters can fold to "bids".
bool is_bids(const JsonValue& side) {
  if (side.kind() != JsonKind::String) return false;
  const std::string& text = side.as_string();
  if (text.size() != 4) return false;
  constexpr std::string_view kBids = "bids";
  for (size_t i = 0; i < 4; ++i) {
    const char c = text[i];
    if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != kBids[i]) return false;
  }
  return true;
}

// The members a depth change reads.
constexpr std::array<std::string_view, 5> kFields = {"msgType", "side", "price", "size", "tokenId"};

}  // namespace

std::expected<DepthChange, std::string> decode(std::string_view raw) {
  // The members are read straight off the text: no general value is built for the frame.
  ScalarFields<kFields.size()> fields(kFields);
  const JsonStatus read = fields.read(raw);
  if (!read) return std::unexpected(concat("not JSON: ", read.error()));
  const auto& [type, side, price, size, token] = fields.values();
  if (!type || type->kind() != JsonKind::String || type->as_string() != "market.depth.diff") {
    return std::unexpected(std::string("not a depth change"));
  }
  const bool bids = side && is_bids(*side);
  if (!price) return std::unexpected(std::string("missing \"price\""));
  if (!size) return std::unexpected(std::string("missing \"size\""));
  auto token_text = wire::text_or_empty(token ? &*token : nullptr);
  if (!token_text) return std::unexpected(std::move(token_text.error()));
  auto price_value = wire::plain_decimal(*price);
  if (!price_value) return std::unexpected(std::move(price_value.error()));
  auto size_value = wire::plain_decimal(*size);
  if (!size_value) return std::unexpected(std::move(size_value.error()));
  return DepthChange{std::move(*token_text), *price_value, *size_value,
                     bids ? Side::Bid : Side::Ask};
}

Level apply(orvane::Book& book, const DepthChange& change) {
  const Decimal size = book.set(change.side, change.price, change.size);
  return Level{change.price, size};
}

}  // namespace orvane::opinion
