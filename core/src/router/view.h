// Router view: a member's book in bucket terms.
//
// A member that quotes the bucket's outcome is read as it is. A flipped member (its YES is the
// bucket's NO) is read through the other side of its book: a YES bid at p is a NO ask at 1 - p, so
// its bids become the bucket's asks and its asks the bucket's bids. Levels of size zero or below
// are never part of a view.
//
// The binding reads both sides of the book with `Book::levels()` (no depth) under a shared borrow,
// releases the borrow, calls `view` with the two lists, and only then builds Python objects: each
// side a tuple of (price, size) tuples. Whether an object is a viewable book at all (its type, a
// "side" attribute) is the binding's question.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "decimal/decimal.h"

namespace orvane::router {

// (price, size); a vector of them is the same type as the book's LevelList.
using Pair = std::pair<Decimal, Decimal>;

struct View {
  std::vector<Pair> asks;  // lowest price first
  std::vector<Pair> bids;  // highest price first
};

// The bucket view of a book whose sides are `bids` (highest first) and `asks` (lowest first). Not
// flipped: the same sides. Flipped: asks = the bids at 1 - p, bids = the asks at 1 - p; since 1 - p
// reverses the order, each side stays best first. Either way only levels with size above zero are
// kept, and dropped levels are never priced. Nothing when some 1 - p cannot be exact. Works in the
// given vectors, so moving the book's lists in costs no allocation.
std::optional<View> view(std::vector<Pair> bids, std::vector<Pair> asks, bool flip);

}  // namespace orvane::router
