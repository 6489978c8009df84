// Router ladder: the members' books on one side merged into one fee-adjusted ladder, and the walk
// down that ladder that prices and sizes a trade.
//
// Everything here is exact or reports that it cannot be (see router/arithmetic.h): a merge or a
// walk that would need rounding gives nothing, and the caller falls back to its own slower path.
//
// How a binding drives this (the parts that touch caller-owned objects stay in the binding):
//
//   Merging, for members given in bucket order as (market_id, rows):
//   - Visit member i while i is below both the member count seen at the start and the count seen
//   now:
//     the fee callback may shorten or extend the member list, so re-read its length before each
//     item and hold a strong reference to the item while its rows are read.
//   - For each row (price, size) of member i, in the row order: convert price and size; call the
//   fee
//     callback once, with the market id, the row's own price object (not a converted copy) and one
//     shared "1" made once per merge; accept only a decimal or an integer fee and convert it. Then
//     append `make_level(price, size, fee, i, buy)`. Any failed conversion, refused fee type or
//     missing level ends the merge with no ladder (the binding's "None"); an error raised by the
//     callback is the callback's and propagates.
//   - After member i's last row, append its market id to the member list the ladder indexes into.
//   - `sort(ladder, buy)` once at the end. The ladder and the member list never change afterwards.
//
//   Walking: convert quantity and limit; encode each member's market id as UTF-8 and build the
//   exclusion mask with `excluded_members`; call `walk` on the stored ladder. Nothing means "None".
//   Otherwise each slot becomes (market_ids[slot.member], quantity, cost, fee, worst), followed by
//   the remaining quantity and `reason_text(reason)`. Slots come in the order members were first
//   filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "decimal/decimal.h"

namespace orvane::router {

// One row of a merged ladder.
struct LadderLevel {
  Decimal price;  // the member's price in bucket terms
  Decimal net;    // price + fee for a buy, price - fee for a sell
  Decimal size;   // quantity available at this level
  size_t member;  // index into the merge's member list
};

// The running fill of one member during a walk.
struct Slot {
  Decimal quantity;  // total taken from this member
  Decimal cost;      // sum of net x taken over its levels
  Decimal fee;       // sum of per-unit fee x taken over its levels
  Decimal worst;     // worst raw price taken: highest for a buy, lowest for a sell
  size_t member;
};

using Ladder = std::vector<LadderLevel>;

// The level for one row of `member`, given the fee for one unit at `price`. A fee of zero or below
// counts as no fee at all (integer zero), so the net keeps the price's own digits: a fee of 0.000
// leaves net == price digit for digit. Nothing when the net price cannot be exact.
std::optional<LadderLevel> make_level(const Decimal& price, const Decimal& size, const Decimal& fee,
                                      size_t member, bool buy);

// Orders a ladder best-net first, in place: a buy ladder ascending by (net, price), a sell ladder
// descending by (net, price), compared by value (0.50 == 0.5). Stable: equal keys keep their input
// order, which a merge makes the member order and then each member's row order.
void sort(std::span<LadderLevel> levels, bool buy);

// Why a walk stopped.
enum class Stop : uint8_t {
  kFilled,      // nothing remains (or nothing was wanted)
  kWorstPrice,  // the next level's net was beyond the limit
  kLiquidity,   // the ladder ran out with quantity left
};

// "" for kFilled, "worst_price" for kWorstPrice, "liquidity" for kLiquidity.
std::string_view reason_text(Stop reason);

// The mask `walk` takes: entry i is 1 when member_ids[i] equals one of `excluded` byte for byte.
std::vector<uint8_t> excluded_members(std::span<const std::string_view> member_ids,
                                      std::span<const std::string_view> excluded);

struct Walk {
  std::vector<Slot> slots;  // one per member filled, in the order members were first filled
  Decimal remaining;        // quantity left unfilled
  Stop reason;
};

// Walks `ladder` (sorted by `sort` for either side) best first, filling `quantity`:
// - stops as filled as soon as the remaining quantity is zero or below;
// - skips the levels of member m when m < excluded.size() and excluded[m] != 0 (an empty mask
//   excludes nothing), wherever those levels lie;
// - stops at the first level whose net is worse than `limit` (above it for a buy, below it for a
//   sell); a net equal to the limit is taken;
// - takes min(remaining, size) from each level, even a zero: a level of size 0 still opens its
//   member's slot.
// Nothing when any running sum or product cannot be exact; no partial result is given then.
std::optional<Walk> walk(std::span<const LadderLevel> ladder, bool buy, const Decimal& quantity,
                         const Decimal& limit, std::span<const uint8_t> excluded);

}  // namespace orvane::router
