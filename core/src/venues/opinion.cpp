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
bool is_bids(std::optional<std::string_view> side) {
  if (!side || side->size() != 4) return false;
  constexpr std::string_view kBids = "bids";
  for (size_t i = 0; i < 4; ++i) {
    const char c = (*side)[i];
    if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != kBids[i]) return false;
  }
  return true;
}

// A string member as text, any other through plain_decimal.
template <typename Fields>
std::expected<Decimal, Error> decimal_field(const Fields& fields, size_t i) {
  if (const auto text = fields.text(i)) return wire::parse_decimal(*text);
  return wire::plain_decimal(*fields.value(i));
}

// The members a depth change reads.
constexpr std::array<std::string_view, 5> kFields = {"msgType", "side", "price", "size", "tokenId"};

}  // namespace

std::expected<DepthChange, Error> decode(std::string_view raw) {
  // The members are read straight off the text: no general value is built for the frame.
  ScalarFields<kFields> fields;
  const JsonStatus read = fields.read(raw);
  if (!read) {
    return std::unexpected(Error(read.error().code, concat("not JSON: ", read.error().text)));
  }
  enum { kType, kSide, kPrice, kSize, kToken };
  if (fields.text(kType) != "market.depth.diff") {
    return std::unexpected(Error(ErrorCode::kOtherFrame, "not a depth change"));
  }
  const bool bids = is_bids(fields.text(kSide));
  if (!fields.present(kPrice)) {
    return std::unexpected(Error(ErrorCode::kMalformedFrame, "missing \"price\""));
  }
  if (!fields.present(kSize)) {
    return std::unexpected(Error(ErrorCode::kMalformedFrame, "missing \"size\""));
  }
  const auto token = fields.text(kToken);
  auto token_text = token ? std::expected<std::string, Error>(std::string(*token))
                          : wire::text_or_empty(fields.value(kToken));
  if (!token_text) return std::unexpected(std::move(token_text.error()));
  auto price_value = decimal_field(fields, kPrice);
  if (!price_value) return std::unexpected(std::move(price_value.error()));
  auto size_value = decimal_field(fields, kSize);
  if (!size_value) return std::unexpected(std::move(size_value.error()));
  return DepthChange{std::move(*token_text), *price_value, *size_value,
                     bids ? Side::Bid : Side::Ask};
}

Level apply(orvane::Book& book, const DepthChange& change) {
  const Decimal size = book.set(change.side, change.price, change.size);
  return Level{change.price, size};
}

}  // namespace orvane::opinion
