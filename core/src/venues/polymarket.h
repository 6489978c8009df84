// Polymarket market-channel frames: "book" snapshots and "price_change" level updates.
//
// A frame is read in two stages. The JSON reader first fills raw records that keep most members as
// their undecoded JSON text (views into the frame); each record is then converted with the wire
// readers. A frame is one message object or an array of them, and a batch is used whole or not at
// all: one event of another type refuses the batch, and the first error fails it.
#pragma once

#include <cstdint>
#include <expected>
#include <forward_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "book/book.h"
#include "decimal/decimal.h"
#include "json/value.h"
#include "text/error.h"
#include "wire/wire.h"

namespace orvane::polymarket {

using wire::Raw;

// The event type as read from the frame; only the exact texts "book" and "price_change" count.
enum class EventType : uint8_t { Absent, Book, PriceChange, Other };

struct RawLevel {
  Raw price;
  Raw size;

  friend bool operator==(const RawLevel&, const RawLevel&) = default;
};

struct RawChange {
  Raw asset_id;
  Raw side;
  Raw price;
  Raw size;
  Raw best_bid;
  Raw best_ask;

  friend bool operator==(const RawChange&, const RawChange&) = default;
};

// Views into the frame's text: valid while that text is. Absent lists and JSON null are nullopt.
struct RawMessage {
  EventType event_type = EventType::Absent;
  Raw market;
  Raw asset_id;
  Raw timestamp;
  std::optional<std::vector<RawLevel>> bids;
  std::optional<std::vector<RawLevel>> asks;
  Raw hash;
  Raw tick_size;
  Raw last_trade_price;
  std::optional<std::vector<RawChange>> price_changes;

  friend bool operator==(const RawMessage&, const RawMessage&) = default;
};

struct BookMessage {
  std::string asset_id;
  std::string market;
  std::optional<int64_t> timestamp;  // milliseconds
  LevelList bids;                    // frame order
  LevelList asks;                    // frame order
  JsonValue hash;                    // as sent; null when absent
  JsonValue tick_size;
  JsonValue last_trade_price;
};

// A member kept as sent: a string without escapes as a view of its content into the frame's text,
// any other value built.
struct Reported {
  std::optional<std::string_view> text;
  JsonValue value;  // the member when it is not such a string; null when absent

  // The member as a JSON value.
  JsonValue json() const { return text ? JsonValue::string(std::string(*text)) : value; }
};

// Its texts are views: into the frame's text, or into the message's `texts`. A price-change
// message is valid while the frame's text is.
struct Change {
  std::string_view asset_id;
  Decimal price;
  Decimal size;
  Side side = Side::Ask;
  Reported best_bid;  // null when absent
  Reported best_ask;
};

// The decoded texts of members written with escapes: a list, whose strings stay in place when it
// moves. It does not copy, so neither does a message whose views point into it.
struct EscapedTexts : std::forward_list<std::string> {
  EscapedTexts() = default;
  EscapedTexts(EscapedTexts&&) noexcept = default;
  EscapedTexts& operator=(EscapedTexts&&) noexcept = default;
  EscapedTexts(const EscapedTexts&) = delete;
  EscapedTexts& operator=(const EscapedTexts&) = delete;
  ~EscapedTexts() = default;
};

struct PriceChange {
  std::optional<int64_t> timestamp;  // milliseconds
  std::string_view market;
  std::vector<Change> changes;
  EscapedTexts texts = {};
};

using Message = std::variant<BookMessage, PriceChange>;

// A well-formed batch holding an event this decoder does not handle.
struct Refusal {
  friend bool operator==(Refusal, Refusal) = default;
};

using Decoded = std::variant<std::vector<Message>, Refusal>;

// Reads a frame into raw records: "not a message" (kOtherFrame) unless its first character that is
// not Unicode white space is "{" or "["; JSON syntax errors, members of the wrong JSON type and
// repeated members fail with the JSON reader's errors. The views point into `text`.
std::expected<std::vector<RawMessage>, Error> read(std::string_view text);

// The same records as `read` gives, read in one pass when the frame is plain ASCII JSON without
// escapes (json/plain.h); nothing when it is not, or holds anything `read` would refuse.
std::optional<std::vector<RawMessage>> read_plain(std::string_view text);

// Converts raw records in order: a refusal when any has no known event type, else the first error,
// else every message.
std::expected<Decoded, Error> convert(const std::vector<RawMessage>& raw);

// read_plain, else read; then convert.
std::expected<Decoded, Error> decode(std::string_view text);

// Each level as (price, size) in order; an absent list gives none. Sizes are not filtered.
std::expected<LevelList, Error> levels(const std::optional<std::vector<RawLevel>>& raw);

// The changes in order; texts written with escapes are decoded into `texts`.
std::expected<std::vector<Change>, Error> price_changes(
    const std::optional<std::vector<RawChange>>& raw, EscapedTexts& texts);

// Bid exactly when the member is a JSON string equal to "BUY" after upper-casing (so "buy" but not
// "Buy "); null, absent and every other value are asks.
Side side_of(Raw raw);

// A JSON value of a raw member, as wire::value gives it; a quoted raw is decoded without the
// parser.
std::expected<JsonValue, Error> json_of(Raw raw);

// The venue's reported best price: null and "" give none; a number or another string must be a
// decimal; anything else fails with "not a price: {compact JSON}" (kMalformedFrame).
std::expected<std::optional<Decimal>, Error> venue_value(const JsonValue& value);
std::expected<std::optional<Decimal>, Error> venue_value(const Reported& value);

// Whether a local best price is consistent with the venue's. No venue price always agrees; an empty
// local side agrees only with a venue price of 0 or 1 (the venue's way of saying "no quote").
bool agrees(const std::optional<Decimal>& local, const std::optional<Decimal>& venue);

}  // namespace orvane::polymarket
