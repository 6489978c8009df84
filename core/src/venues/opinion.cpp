#include "venues/opinion.h"

#include <optional>
#include <utility>

#include "json/json.h"
#include "json/plain.h"
#include "json/plain_scalar.h"
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

// The members a depth change needs. A repeated name keeps its last value, as a parsed object would.
struct Fields {
  static constexpr std::string_view kNames[] = {"msgType", "side", "price", "size", "tokenId"};
  std::optional<JsonValue> values[5];

  std::optional<JsonValue>* slot(std::string_view name) {
    for (size_t i = 0; i < 5; ++i) {
      if (name == kNames[i]) return &values[i];
    }
    return nullptr;
  }

  // The fast path, for plain frames (ASCII without escapes or exponents) whose needed members are
  // scalars; false for any other frame, which `read` (on fresh Fields) then decides.
  bool read_plain(std::string_view raw) {
    PlainJsonReader r(raw);
    if (r.peek() != '{') return false;
    const bool read = r.object([&](std::string_view name) {
      const auto token = r.value();
      if (!token) return false;
      std::optional<JsonValue>* target = slot(name);
      if (target == nullptr) return true;
      *target = plain_scalar(*token);
      return target->has_value();
    });
    return read && r.at_end();
  }

  JsonStatus read(JsonCursor& root) {
    auto kind = root.type();
    if (!kind) return std::unexpected(std::move(kind.error()));
    if (*kind != JsonType::Object) return {};
    return root.members([&](std::string_view name, JsonCursor& member) -> JsonStatus {
      std::optional<JsonValue>* target = slot(name);
      if (target == nullptr) return {};
      auto value = member.value();
      if (!value) return std::unexpected(std::move(value.error()));
      *target = std::move(*value);
      return {};
    });
  }
};

}  // namespace

std::expected<DepthChange, std::string> decode(std::string_view raw) {
  // The members are read straight off the text: no general value is built for the frame.
  Fields fields;
  if (!fields.read_plain(raw)) {
    fields = Fields();
    const JsonStatus read = read_json(raw, [&](JsonCursor& root) { return fields.read(root); });
    if (!read) return std::unexpected(concat("not JSON: ", read.error()));
  }
  const auto& [type, side, price, size, token] = fields.values;
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
