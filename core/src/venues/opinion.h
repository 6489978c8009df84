// Opinion depth changes: one "market.depth.diff" frame says the size at one price on one side of an
// outcome token's book is now a given value.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "book/book.h"
#include "decimal/decimal.h"
#include "text/error.h"

namespace orvane::opinion {

struct DepthChange {
  std::string token;  // "tokenId"; empty when absent or null
  Decimal price;
  Decimal size;           // the level's new size
  Side side = Side::Ask;  // anything but "bids" is the asks
};

// Decodes one frame. Fails (with a reason no caller shows) for text that is not JSON
// (kMalformedJson), a frame that is not a non-empty object of msgType "market.depth.diff"
// (kOtherFrame), a missing "price" or "size" or a "tokenId" that is not text (kMalformedFrame), or
// a price or size that is not a decimal (kInvalidDecimal, or kMalformedFrame for a value of another
// type).
std::expected<DepthChange, Error> decode(std::string_view raw);

// Stores the new size (a size of zero or less removes the level) and gives the changed level
// (price, new size), size zero at scale 0 when removed. Readiness is neither read nor changed.
Level apply(orvane::Book& book, const DepthChange& change);

}  // namespace orvane::opinion
