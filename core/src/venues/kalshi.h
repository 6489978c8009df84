// Kalshi order-book frames: snapshots and deltas decoded into plain values, in YES terms.
//
// Kalshi quotes a market as two bid ladders, YES and NO. The local book is a YES book: a NO bid at
// p is a YES ask at 1 - p, and that complement is taken here, so every price leaving this module is
// a YES price. Prices and sizes are read as sent (dollar prices, fixed-point sizes), never
// rescaled.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "book/book.h"
#include "decimal/decimal.h"
#include "json/value.h"

namespace orvane::kalshi {

inline constexpr std::string_view kSnapshot = "orderbook_snapshot";
inline constexpr std::string_view kDelta = "orderbook_delta";

struct Snapshot {
  std::string ticker;
  LevelList yes;        // YES bids, in frame order
  LevelList no;         // NO bids as YES asks (price already 1 - p), in frame order
  JsonValue market_id;  // null when absent
};

struct Delta {
  std::string ticker;
  JsonValue ts_ms;            // null when absent
  JsonValue client_order_id;  // null when absent
  Decimal price;              // in YES terms
  Decimal delta;
  Side side = Side::Bid;  // a YES delta moves the bids; a NO delta, as 1 - p, the asks
};

using Book = std::variant<Snapshot, Delta>;

struct Message {
  std::optional<int64_t> seq_number;  // "seq" as an integer; empty when absent or null
  Book book;
  JsonValue sid;          // null when absent
  JsonValue seq;          // as sent; null when absent
  std::string_view kind;  // kSnapshot or kDelta
};

// Decodes one frame. Fails (with a reason no caller shows) when the text is not JSON
// (kMalformedJson), is not a snapshot or delta (kOtherFrame), or any field the message needs does
// not decode (kInvalidDecimal for a refused price or size, else kMalformedFrame).
std::expected<Message, Error> decode(std::string_view raw);

// The [price, size] pairs under `key` of `msg`, in order; `complement` turns each price p into
// 1 - p at p's scale. Absent, null or "" give no pairs.
std::expected<LevelList, Error> pairs(const JsonValue& msg, std::string_view key, bool complement);

// Python's truth value of a JSON value.
bool truthy(const JsonValue& value);

// Rebuilds both sides of `book` from the snapshot (positive sizes only) and marks it ready.
void apply(orvane::Book& book, const Snapshot& snapshot);

// Adds the delta to its level and gives the changed level (price, new size). The error is an
// internal failure: the size left the Decimal range.
std::expected<Level, Error> apply(orvane::Book& book, const Delta& delta);

}  // namespace orvane::kalshi
