// Polymarket US market-data frames: each carries the whole book of one market, named by its slug.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "book/book.h"
#include "json/value.h"
#include "text/error.h"

namespace orvane::polymarket_us {

struct MarketData {
  std::string slug;         // "marketSlug"; empty when absent
  LevelList bids;           // "bids", frame order
  LevelList asks;           // "offers", frame order
  JsonValue transact_time;  // "transactTime" as sent; null when absent
  JsonValue state;          // "state"
  JsonValue stats;          // "stats"

  friend bool operator==(const MarketData&, const MarketData&) = default;
};

// The member `name` of `object` as (price, size) pairs, each level's "px" and "qty" read with
// wire::decimal_at. Not an object, no such member, null or "": no pairs. Another non-array value:
// "{quoted name} is not a list: {compact JSON}".
std::expected<LevelList, Error> levels(const JsonValue& object, std::string_view name);

// Decodes a parsed frame: an object holding "marketData" (or, when that is absent, "market_data")
// as an object. Heartbeat and error frames and frames without market data fail with kOtherFrame;
// other shapes and undecodable members with the wire readers' codes or kMalformedFrame.
std::expected<MarketData, Error> decode(const JsonValue& frame);

// Parses and decodes one frame text. Plain ASCII frames without escapes are read in one pass
// without building a JSON value (json/plain.h); the result is the same.
std::expected<MarketData, Error> decode(std::string_view raw);

// The one-pass reading alone: nothing when the text is not a plain frame.
std::optional<std::expected<MarketData, Error>> decode_plain(std::string_view raw);

}  // namespace orvane::polymarket_us
