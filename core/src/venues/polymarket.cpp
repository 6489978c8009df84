#include "venues/polymarket.h"

#include <array>

#include "json/fields.h"
#include "json/parse.h"
#include "json/plain.h"
#include "json/string.h"
#include "json/text.h"
#include "text/quoted.h"

namespace orvane::polymarket {
namespace {

// Each record's member names and, for the field at each index, its member: both readers fill the
// records through these alone. `read` gets the member, whose type picks the reading.
template <typename Record>
struct Fields;

template <>
struct Fields<RawLevel> {
  static constexpr std::array<std::string_view, 2> kNames = {"price", "size"};
  static auto visit(RawLevel& out, std::size_t index, auto&& read) {
    return read(index == 0 ? out.price : out.size);
  }
};

template <>
struct Fields<RawChange> {
  static constexpr std::array<std::string_view, 6> kNames = {"asset_id", "side",     "price",
                                                             "size",     "best_bid", "best_ask"};
  static auto visit(RawChange& out, std::size_t index, auto&& read) {
    static constexpr std::array<Raw RawChange::*, 6> kMembers = {
        &RawChange::asset_id, &RawChange::side,     &RawChange::price,
        &RawChange::size,     &RawChange::best_bid, &RawChange::best_ask};
    return read(out.*kMembers[index]);
  }
};

template <>
struct Fields<RawMessage> {
  static constexpr std::array<std::string_view, 10> kNames = {
      "event_type", "market", "asset_id",  "timestamp",        "bids",
      "asks",       "hash",   "tick_size", "last_trade_price", "price_changes"};
  static auto visit(RawMessage& out, std::size_t index, auto&& read) {
    switch (index) {
      case 0:
        return read(out.event_type);
      case 1:
        return read(out.market);
      case 2:
        return read(out.asset_id);
      case 3:
        return read(out.timestamp);
      case 4:
        return read(out.bids);
      case 5:
        return read(out.asks);
      case 6:
        return read(out.hash);
      case 7:
        return read(out.tick_size);
      case 8:
        return read(out.last_trade_price);
      default:
        return read(out.price_changes);
    }
  }
};

EventType event_type_of(std::string_view text) {
  return text == "book"           ? EventType::Book
         : text == "price_change" ? EventType::PriceChange
                                  : EventType::Other;
}

template <typename Record>
JsonStatus read_record(JsonCursor& value, Record& out);

// The general reader's reading of each type of member.
struct ReadMember {
  JsonCursor& value;

  JsonStatus operator()(Raw& out) const {
    auto text = value.raw_unless_null();
    if (!text) return std::unexpected(std::move(text.error()));
    out = *text;
    return {};
  }

  JsonStatus operator()(EventType& out) const {
    auto type = value.type();
    if (!type) return std::unexpected(std::move(type.error()));
    if (*type == JsonType::Null) return value.skip();
    auto text = value.string();
    if (!text) return std::unexpected(std::move(text.error()));
    out = event_type_of(*text);
    return {};
  }

  // An array of records, or nothing for JSON null.
  template <typename T>
  JsonStatus operator()(std::optional<std::vector<T>>& out) const {
    auto type = value.type();
    if (!type) return std::unexpected(std::move(type.error()));
    if (*type == JsonType::Null) return value.skip();
    out.emplace();
    return value.elements(
        [&](JsonCursor& element) { return read_record(element, out->emplace_back()); });
  }
};

template <typename Record>
JsonStatus read_record(JsonCursor& value, Record& out) {
  return value.record(Fields<Record>::kNames, [&](std::size_t index, JsonCursor& field) {
    return Fields<Record>::visit(out, index, ReadMember{field});
  });
}

// The plain reader's versions of the readers above. Any case they leave (a repeated member, a value
// of the wrong type, a record given as an array) stops them, and `read` then reports it.
template <typename Record>
bool plain_record(PlainJsonReader& r, Record& out);
bool plain_record(PlainJsonReader& r, RawLevel& out);

struct PlainMember {
  PlainJsonReader& r;

  bool operator()(Raw& out) const {
    const auto text = r.scalar();
    if (text && *text != "null") out = *text;
    return text.has_value();
  }

  bool operator()(EventType& out) const {
    if (r.peek() == 'n') return r.value().has_value();
    const auto text = r.string();
    if (text) out = event_type_of(*text);
    return text.has_value();
  }

  template <typename T>
  bool operator()(std::optional<std::vector<T>>& out) const {
    if (r.peek() == 'n') return r.value().has_value();
    out.emplace().reserve(16);  // spares the first few regrowths of every list
    return r.array([&] { return plain_record(r, out->emplace_back()); });
  }
};

// Reads a record's members, other members skipped.
template <typename Record>
bool plain_record(PlainJsonReader& r, Record& out) {
  uint32_t seen = 0;
  return r.object([&](std::string_view name) {
    const std::size_t index = field_index(Fields<Record>::kNames, name);
    if (index == Fields<Record>::kNames.size()) return r.value().has_value();
    if ((seen & (1u << index)) != 0) return false;
    seen |= 1u << index;
    return Fields<Record>::visit(out, index, PlainMember{r});
  });
}

// The usual level, two strings, in one go; any other as a record. Out of line: inlined in the
// list's loop, it costs more instructions a level (the compiler then calls the reader's helpers
// instead).
[[gnu::noinline]] bool plain_record(PlainJsonReader& r, RawLevel& out) {
  if (const auto level = r.string_record("price", "size")) {
    out.price = level->first;
    out.size = level->second;
    return true;
  }
  return plain_record<RawLevel>(r, out);
}

bool is_quoted(Raw raw) { return raw && !raw->empty() && raw->front() == '"'; }

// The content of a string member without escapes. `plain`: the records come from the plain reader,
// which stops at any escape, so only the quotes come off.
std::optional<std::string_view> content_of(Raw raw, bool plain) {
  if (!is_quoted(raw)) return std::nullopt;
  if (plain) return raw->substr(1, raw->size() - 2);
  return plain_string_content(*raw);
}

// The wire readers, with a shortcut for the usual raw member: a string without escapes, whose
// content is the text between its quotes.
std::expected<Decimal, Error> decimal_of(Raw raw, std::string_view name, bool plain) {
  if (const auto content = content_of(raw, plain)) return wire::parse_decimal(*content);
  return wire::decimal_raw(raw, name);
}

std::expected<std::string, Error> text_of(Raw raw, bool plain) {
  if (const auto content = content_of(raw, plain)) return std::string(*content);
  return wire::text_raw(raw);
}

// text_of as a view: into the frame, or into `texts` when the text had to be built.
std::expected<std::string_view, Error> view_of(Raw raw, bool plain, EscapedTexts& texts) {
  if (const auto content = content_of(raw, plain)) return *content;
  auto text = wire::text_raw(raw);
  if (!text) return std::unexpected(std::move(text.error()));
  return texts.emplace_front(std::move(*text));
}

std::expected<Reported, Error> reported_of(Raw raw, bool plain) {
  if (const auto content = content_of(raw, plain)) return Reported{content, {}};
  auto value = json_of(raw);
  if (!value) return std::unexpected(std::move(value.error()));
  return Reported{std::nullopt, std::move(*value)};
}

std::expected<LevelList, Error> levels_of(const std::optional<std::vector<RawLevel>>& raw,
                                          bool plain) {
  LevelList out;
  if (!raw) return out;
  out.reserve(raw->size());
  for (const RawLevel& level : *raw) {
    auto price = decimal_of(level.price, "price", plain);
    if (!price) return std::unexpected(std::move(price.error()));
    auto size = decimal_of(level.size, "size", plain);
    if (!size) return std::unexpected(std::move(size.error()));
    out.emplace_back(*price, *size);
  }
  return out;
}

std::expected<std::vector<Change>, Error> changes_of(
    const std::optional<std::vector<RawChange>>& raw, bool plain, EscapedTexts& texts);

// Moves a successful result into `out`, or its error into `error`; false on error. Chained with &&,
// the conversions of a record run in order and stop at the first failure.
template <typename T, typename U>
bool take(std::expected<T, Error>&& result, U& out, std::optional<Error>& error) {
  if (!result) {
    error = std::move(result.error());
    return false;
  }
  out = std::move(*result);
  return true;
}

std::expected<BookMessage, Error> convert_book(const RawMessage& raw, bool plain) {
  BookMessage m;
  std::optional<Error> error;
  if (take(text_of(raw.asset_id, plain), m.asset_id, error) &&
      take(text_of(raw.market, plain), m.market, error) &&
      take(wire::polymarket_ms_raw(raw.timestamp), m.timestamp, error) &&
      take(levels_of(raw.bids, plain), m.bids, error) &&
      take(levels_of(raw.asks, plain), m.asks, error) && take(json_of(raw.hash), m.hash, error) &&
      take(json_of(raw.tick_size), m.tick_size, error) &&
      take(json_of(raw.last_trade_price), m.last_trade_price, error)) {
    return m;
  }
  return std::unexpected(std::move(*error));
}

std::expected<PriceChange, Error> convert_price_change(const RawMessage& raw, bool plain) {
  PriceChange m;
  std::optional<Error> error;
  if (take(changes_of(raw.price_changes, plain, m.texts), m.changes, error) &&
      take(view_of(raw.market, plain, m.texts), m.market, error) &&
      take(wire::polymarket_ms_raw(raw.timestamp), m.timestamp, error)) {
    return m;
  }
  return std::unexpected(std::move(*error));
}

std::expected<Decoded, Error> convert_all(const std::vector<RawMessage>& raw, bool plain) {
  std::vector<Message> messages;
  messages.reserve(raw.size());
  for (const RawMessage& record : raw) {
    switch (record.event_type) {
      case EventType::Book: {
        auto message = convert_book(record, plain);
        if (!message) return std::unexpected(std::move(message.error()));
        messages.emplace_back(std::move(*message));
        break;
      }
      case EventType::PriceChange: {
        auto message = convert_price_change(record, plain);
        if (!message) return std::unexpected(std::move(message.error()));
        messages.emplace_back(std::move(*message));
        break;
      }
      default:
        return Decoded(Refusal{});
    }
  }
  return Decoded(std::move(messages));
}

std::expected<std::vector<Change>, Error> changes_of(
    const std::optional<std::vector<RawChange>>& raw, bool plain, EscapedTexts& texts) {
  std::vector<Change> out;
  if (!raw) return out;
  out.reserve(raw->size());
  std::optional<Error> error;
  for (const RawChange& change : *raw) {
    Change& c = out.emplace_back();
    c.side = side_of(change.side);
    if (!(take(view_of(change.asset_id, plain, texts), c.asset_id, error) &&
          take(decimal_of(change.price, "price", plain), c.price, error) &&
          take(decimal_of(change.size, "size", plain), c.size, error) &&
          take(reported_of(change.best_bid, plain), c.best_bid, error) &&
          take(reported_of(change.best_ask, plain), c.best_ask, error))) {
      return std::unexpected(std::move(*error));
    }
  }
  return out;
}

}  // namespace

std::expected<std::vector<RawMessage>, Error> read(std::string_view text) {
  const std::string_view start = trim_white_space(text);
  if (start.empty() || (start.front() != '{' && start.front() != '[')) {
    return std::unexpected(Error(ErrorCode::kOtherFrame, "not a message"));
  }
  // Only JSON white space may surround the value: the reader refuses any other before "{" or "[".
  std::vector<RawMessage> out;
  const JsonStatus status = read_json(text, [&](JsonCursor& root) -> JsonStatus {
    if (start.front() == '{') return read_record(root, out.emplace_back());
    return root.elements(
        [&](JsonCursor& element) { return read_record(element, out.emplace_back()); });
  });
  if (!status) return std::unexpected(status.error());
  return out;
}

std::expected<Decoded, Error> convert(const std::vector<RawMessage>& raw) {
  return convert_all(raw, false);
}

std::optional<std::vector<RawMessage>> read_plain(std::string_view text) {
  PlainJsonReader r(text);
  std::vector<RawMessage> out;
  const char first = r.peek();
  const bool read = first == '{'   ? plain_record(r, out.emplace_back())
                    : first == '[' ? r.array([&] { return plain_record(r, out.emplace_back()); })
                                   : false;
  if (!read || !r.at_end()) return std::nullopt;
  return out;
}

std::expected<Decoded, Error> decode(std::string_view text) {
  if (auto plain = read_plain(text)) return convert_all(*plain, true);
  auto raw = read(text);
  if (!raw) return std::unexpected(std::move(raw.error()));
  return convert(*raw);
}

std::expected<LevelList, Error> levels(const std::optional<std::vector<RawLevel>>& raw) {
  return levels_of(raw, false);
}

std::expected<std::vector<Change>, Error> price_changes(
    const std::optional<std::vector<RawChange>>& raw, EscapedTexts& texts) {
  return changes_of(raw, false, texts);
}

Side side_of(Raw raw) {
  // Only a string can upper-case to "BUY", and only from ASCII letters: no other character maps
  // to B, U or Y. Other values (null, true, numbers, ...) never match, whatever their text.
  if (!is_quoted(raw)) return Side::Ask;
  std::string scratch;
  auto content = plain_string_content(*raw);
  if (!content) {
    auto decoded = decode_json_string(*raw, scratch);
    if (!decoded) return Side::Ask;
    content = *decoded;
  }
  if (content->size() != 3) return Side::Ask;
  const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
  const std::string_view text = *content;
  return lower(text[0]) == 'b' && lower(text[1]) == 'u' && lower(text[2]) == 'y' ? Side::Bid
                                                                                 : Side::Ask;
}

std::expected<JsonValue, Error> json_of(Raw raw) {
  if (!is_quoted(raw)) return wire::value(raw);
  if (const auto content = plain_string_content(*raw)) {
    return JsonValue::string(std::string(*content));
  }
  auto content = decode_json_string(*raw);
  if (!content) return std::unexpected(std::move(content.error()));
  return JsonValue::string(std::move(*content));
}

std::expected<std::optional<Decimal>, Error> venue_value(const JsonValue& value) {
  switch (value.kind()) {
    case JsonKind::Null:
      return std::nullopt;
    case JsonKind::String:
      if (value.as_string().empty()) return std::nullopt;
      return wire::parse_decimal(value.as_string());
    case JsonKind::Unsigned:
    case JsonKind::Negative:
    case JsonKind::Float:
      return wire::parse_decimal(number_text(value));
    default:
      return std::unexpected(
          Error(ErrorCode::kMalformedFrame, "not a price: " + compact_text(value)));
  }
}

std::expected<std::optional<Decimal>, Error> venue_value(const Reported& value) {
  if (!value.text) return venue_value(value.value);
  if (value.text->empty()) return std::nullopt;
  return wire::parse_decimal(*value.text);
}

bool agrees(const std::optional<Decimal>& local, const std::optional<Decimal>& venue) {
  if (!venue) return true;
  if (local) return *local == *venue;
  return *venue == Decimal::from_integer(0) || *venue == Decimal::from_integer(1);
}

}  // namespace orvane::polymarket
