// Book: the exact two-sided order book of one instrument.
//
// Each side maps a price to a size, ordered by numeric price (0.5 and 0.50 are one key; the key
// keeps the representation it was first inserted with). The operations here keep sizes strictly
// positive; the Python mapping faces may store other sizes, which these operations neither check
// nor repair.
#pragma once

#include <absl/container/btree_map.h>

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "decimal/decimal.h"

namespace orvane {

enum class Side { Bid, Ask };

using PriceMap = absl::btree_map<Decimal, Decimal, ValueLess>;
using Level = std::pair<Decimal, Decimal>;  // (price, size)
using LevelList = std::vector<Level>;

// Inserts pairs in order; a later numerically equal price overwrites the size and keeps the first
// key.
void insert_levels(PriceMap& map, std::span<const Level> pairs);

// The map of the pairs whose size is above zero, built as `insert_levels` does.
PriceMap positive(std::span<const Level> pairs);

struct Book {
  PriceMap bids;
  PriceMap asks;
  bool ready = false;

  PriceMap& side(Side s) { return s == Side::Bid ? bids : asks; }
  const PriceMap& side(Side s) const { return s == Side::Bid ? bids : asks; }

  // Stores `size` at `price`; a size of zero or less removes the level and gives zero at scale 0.
  Decimal set(Side s, const Decimal& price, const Decimal& size);

  // Adds `delta` to the size at `price` (zero when absent), then `set`s the sum. The error is an
  // internal failure: the sum left the Decimal range.
  std::expected<Decimal, Error> add(Side s, const Decimal& price, const Decimal& delta);

  // Rebuilds both sides from the positive pairs and marks the book ready.
  void replace(std::span<const Level> bid_pairs, std::span<const Level> ask_pairs);

  struct Levels {
    LevelList bids;  // best (highest) first
    LevelList asks;  // best (lowest) first
  };
  Levels levels(std::optional<size_t> depth = std::nullopt) const;
  LevelList bid_levels(std::optional<size_t> depth = std::nullopt) const;
  LevelList ask_levels(std::optional<size_t> depth = std::nullopt) const;

  std::optional<Decimal> best_bid() const;
  std::optional<Decimal> best_ask() const;

  struct Sides {
    PriceMap bids;
    PriceMap asks;
  };
  // The complementary instrument's view: a price p here is `face - p` there, bids and asks swapped.
  // Every level maps to one level, even at or below zero. The error is an internal failure.
  std::expected<Sides, Error> mirrored(const Decimal& face) const;
};

}  // namespace orvane
