#include "venues/polymarket_us.h"

#include <array>
#include <cstddef>
#include <utility>

#include "json/fields.h"
#include "json/parse.h"
#include "json/plain.h"
#include "json/text.h"
#include "text/quoted.h"
#include "wire/wire.h"

namespace orvane::polymarket_us {

namespace {

using wire::Raw;

// The members read, named once for both readers: the frame's, the market data's and a level's.
enum FrameMember { kMarketData, kMarketDataSnake, kHeartbeat, kError };
constexpr std::array<std::string_view, 4> kFrameNames = {"marketData", "market_data", "heartbeat",
                                                         "error"};
enum DataMember { kSlug, kBids, kAsks, kTransactTime, kState, kStats };
constexpr std::array<std::string_view, 6> kDataNames = {"marketSlug",   "bids",  "offers",
                                                        "transactTime", "state", "stats"};
// The market data's members kept as sent.
constexpr std::array<std::pair<DataMember, JsonValue MarketData::*>, 3> kAsSent = {
    {{kTransactTime, &MarketData::transact_time},
     {kState, &MarketData::state},
     {kStats, &MarketData::stats}}};
constexpr char kPx[] = "px", kQty[] = "qty";

std::unexpected<Error> failure(ErrorCode code, std::string_view text) {
  return std::unexpected(Error(code, std::string(text)));
}

std::unexpected<Error> not_a_list(std::string_view name, const JsonValue& member) {
  std::string message = quoted_form(name);
  message += " is not a list: ";
  append_compact_text(message, member);
  return std::unexpected(Error(ErrorCode::kMalformedFrame, std::move(message)));
}

// ---- One-pass reading of plain frames ----

// A "px" or "qty" member: a value, or an object whose "value" member stands for it.
struct Amount {
  bool present = false;
  bool wrapped = false;
  Raw raw;  // the value; for a wrapper its "value" member, absent when it has none
};

bool read_amount(PlainJsonReader& r, Amount& out) {
  out = Amount{true, r.peek() == '{', std::nullopt};
  if (!out.wrapped) {
    out.raw = r.value();
    return out.raw.has_value();
  }
  return r.object([&](std::string_view name) {
    const auto text = r.value();
    if (name == "value") out.raw = text;
    return text.has_value();
  });
}

// As wire::decimal_at of the level's member, from what read_amount kept.
std::expected<Decimal, Error> amount(const Amount& a, std::string_view name) {
  if (!a.present) return wire::decimal_at(JsonValue::null(), name);  // "missing ..."
  if (!a.raw) return wire::plain_decimal(JsonValue::null());
  // A string of a plain frame has no escapes: its content is what lies between the quotes.
  if (a.raw->front() == '"') return wire::parse_decimal(a.raw->substr(1, a.raw->size() - 2));
  auto value = wire::value(a.raw);
  if (!value) return std::unexpected(std::move(value.error()));
  return a.wrapped ? wire::plain_decimal(*value) : wire::decimal(*value);
}

// A "bids" or "offers" member, converted as `levels` does; the first failing level's error stands.
bool read_levels(PlainJsonReader& r, std::string_view name, std::expected<LevelList, Error>& out) {
  out = LevelList();
  if (r.peek() != '[') {
    const auto text = r.value();
    if (!text) return false;
    if (*text == "null" || *text == "\"\"") return true;
    auto member = wire::value(text);
    if (!member) return false;
    out = not_a_list(name, *member);
    return true;
  }
  std::optional<Error> error;
  const bool read = r.array([&] {
    Amount px, qty;
    if (const auto texts = r.string_record(kPx, kQty)) {  // the usual level
      px = Amount{true, false, texts->first};
      qty = Amount{true, false, texts->second};
    } else if (r.peek() == '{') {
      const bool level = r.object([&](std::string_view member) {
        if (member == kPx) return read_amount(r, px);
        if (member == kQty) return read_amount(r, qty);
        return r.value().has_value();
      });
      if (!level) return false;
    } else if (!r.value()) {
      return false;
    }
    if (error || !out) return true;
    auto price = amount(px, kPx);
    if (!price) {
      error = std::move(price.error());
      return true;
    }
    auto size = amount(qty, kQty);
    if (!size) {
      error = std::move(size.error());
      return true;
    }
    out->emplace_back(*price, *size);
    return true;
  });
  if (error) out = std::unexpected(std::move(*error));
  return read;
}

JsonValue json_of(Raw raw) {
  if (raw) {
    if (const auto content = plain_string_content(*raw)) {
      return JsonValue::string(std::string(*content));
    }
  }
  auto value = wire::value(raw);  // valid JSON already: it cannot fail
  return value ? std::move(*value) : JsonValue::null();
}

// The market-data object, its repeated members keeping the last value as a parsed object would.
struct PlainData {
  std::array<Raw, kDataNames.size()> raw;  // by DataMember; not the levels
  std::expected<LevelList, Error> bids;
  std::expected<LevelList, Error> asks;
};

bool read_data(PlainJsonReader& r, PlainData& out) {
  return r.object([&](std::string_view name) {
    const std::size_t i = field_index(kDataNames, name);
    if (i == kBids) return read_levels(r, name, out.bids);
    if (i == kAsks) return read_levels(r, name, out.asks);
    const auto text = r.value();
    if (i < kDataNames.size()) out.raw[i] = text;
    return text.has_value();
  });
}

std::expected<MarketData, Error> convert(PlainData& data) {
  MarketData out;
  if (const Raw& raw = data.raw[kSlug]) {
    if (const auto content = plain_string_content(*raw)) {
      out.slug = *content;
    } else {
      auto slug = wire::text_or_empty(json_of(raw));
      if (!slug) return std::unexpected(std::move(slug.error()));
      out.slug = std::move(*slug);
    }
  }
  if (!data.bids) return std::unexpected(std::move(data.bids.error()));
  if (!data.asks) return std::unexpected(std::move(data.asks.error()));
  out.bids = std::move(*data.bids);
  out.asks = std::move(*data.asks);
  for (const auto& [i, member] : kAsSent) out.*member = json_of(data.raw[i]);
  return out;
}

}  // namespace

std::expected<LevelList, Error> levels(const JsonValue& object, std::string_view name) {
  LevelList out;
  const JsonValue* member = object.find(name);
  if (member == nullptr || member->is_null()) return out;
  if (member->kind() == JsonKind::String && member->as_string().empty()) return out;
  if (member->kind() != JsonKind::Array) return not_a_list(name, *member);
  out.reserve(member->as_array().size());
  for (const JsonValue& level : member->as_array()) {
    auto price = wire::decimal_at(level, kPx);
    if (!price) return std::unexpected(std::move(price.error()));
    auto size = wire::decimal_at(level, kQty);
    if (!size) return std::unexpected(std::move(size.error()));
    out.emplace_back(*price, *size);
  }
  return out;
}

std::expected<MarketData, Error> decode(const JsonValue& frame) {
  if (frame.kind() != JsonKind::Object) return failure(ErrorCode::kMalformedFrame, "not an object");
  const auto find = [&](FrameMember i) { return frame.find(kFrameNames[i]); };
  if (find(kHeartbeat) != nullptr) return failure(ErrorCode::kOtherFrame, "a heartbeat");
  if (find(kError) != nullptr) return failure(ErrorCode::kOtherFrame, "an error frame");
  const JsonValue* data = find(kMarketData);
  if (data == nullptr) data = find(kMarketDataSnake);
  // Market data that is not an object is a broken frame; none at all, a frame of another kind.
  if (data == nullptr) return failure(ErrorCode::kOtherFrame, "no market data");
  if (data->kind() != JsonKind::Object) {
    return failure(ErrorCode::kMalformedFrame, "no market data");
  }
  MarketData out;
  auto slug = wire::text_or_empty(data->find(kDataNames[kSlug]));
  if (!slug) return std::unexpected(std::move(slug.error()));
  out.slug = std::move(*slug);
  auto bids = levels(*data, kDataNames[kBids]);
  if (!bids) return std::unexpected(std::move(bids.error()));
  out.bids = std::move(*bids);
  auto asks = levels(*data, kDataNames[kAsks]);
  if (!asks) return std::unexpected(std::move(asks.error()));
  out.asks = std::move(*asks);
  for (const auto& [i, member] : kAsSent) {
    if (const JsonValue* value = data->find(kDataNames[i])) out.*member = *value;
  }
  return out;
}

std::optional<std::expected<MarketData, Error>> decode_plain(std::string_view raw) {
  PlainJsonReader r(raw);
  if (r.peek() != '{') return std::nullopt;
  // Which members are present; for marketData and market_data, the object when it is one.
  std::array<bool, kFrameNames.size()> present{};
  std::array<std::optional<PlainData>, 2> data;
  const bool read = r.object([&](std::string_view name) {
    const std::size_t i = field_index(kFrameNames, name);
    if (i < present.size()) present[i] = true;
    if (i < data.size()) {
      data[i].reset();
      if (r.peek() == '{') return read_data(r, data[i].emplace());
    }
    return r.value().has_value();
  });
  if (!read || !r.at_end()) return std::nullopt;
  if (present[kHeartbeat]) return failure(ErrorCode::kOtherFrame, "a heartbeat");
  if (present[kError]) return failure(ErrorCode::kOtherFrame, "an error frame");
  const std::size_t i = present[kMarketData] ? kMarketData : kMarketDataSnake;
  if (!data[i]) {
    return failure(present[i] ? ErrorCode::kMalformedFrame : ErrorCode::kOtherFrame,
                   "no market data");
  }
  return convert(*data[i]);
}

std::expected<MarketData, Error> decode(std::string_view raw) {
  if (auto plain = decode_plain(raw)) return std::move(*plain);
  auto frame = parse_json(raw);
  if (!frame) return std::unexpected(std::move(frame.error()));
  return decode(*frame);
}

}  // namespace orvane::polymarket_us
