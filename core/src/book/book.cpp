#include "book/book.h"

#include <algorithm>

namespace orvane {

namespace {

const Decimal kZero{};

// Copies at most `depth` levels from `first`; `total` is the side's size (a B-tree's iterator
// distance would walk every level).
LevelList walk_levels(auto first, const auto& last, size_t total, std::optional<size_t> depth) {
  LevelList out;
  const size_t count = depth ? std::min(*depth, total) : total;
  out.reserve(count);
  for (; first != last && out.size() < count; ++first)
    out.emplace_back(first->first, first->second);
  return out;
}

// A whole side, lowest price first or (read forwards and filled from the back, since a B-tree's
// reverse iterator steps a copy back on every read) highest first.
LevelList whole_side(const PriceMap& side, bool descending) {
  LevelList out(side.size());
  if (descending) {
    auto slot = out.end();
    for (const auto& [price, size] : side) *--slot = Level(price, size);
  } else {
    auto slot = out.begin();
    for (const auto& [price, size] : side) *slot++ = Level(price, size);
  }
  return out;
}

// Maps one side through p -> face - p.
std::expected<PriceMap, Error> flipped(const PriceMap& source, const Decimal& face) {
  LevelList flipped_levels;
  flipped_levels.reserve(source.size());
  for (const auto& [price, size] : source) {
    auto complement = sub(face, price);
    if (!complement) return std::unexpected(std::move(complement.error()));
    flipped_levels.emplace_back(*complement, size);
  }
  std::stable_sort(flipped_levels.begin(), flipped_levels.end(),
                   [](const Level& a, const Level& b) { return a.first < b.first; });
  PriceMap out;
  insert_levels(out, flipped_levels);
  // Distinct prices stay distinct unless the subtraction had to round (beyond 28 digits): losing a
  // level there would corrupt the book silently.
  if (out.size() != source.size())
    return std::unexpected(Error(ErrorCode::kPriceCollision, "Mirrored prices collided"));
  return out;
}

}  // namespace

void insert_levels(PriceMap& map, std::span<const Level> pairs) {
  for (const auto& [price, size] : pairs) {
    auto [it, inserted] = map.try_emplace(price, size);
    if (!inserted) it->second = size;
  }
}

// A snapshot holds hundreds of levels, usually sorted (or reversed) already: checking that once and
// appending at the end of the tree costs two comparisons a level instead of a descent each.
PriceMap positive(std::span<const Level> pairs) {
  LevelList kept;
  kept.reserve(pairs.size());
  bool ascending = true;  // strictly, so no price repeats
  bool descending = true;
  for (const Level& level : pairs) {
    if (!(level.second > kZero)) continue;
    if (!kept.empty()) {
      const std::strong_ordering order = compare(kept.back().first, level.first);
      ascending = ascending && order < 0;
      descending = descending && order > 0;
    }
    kept.push_back(level);
  }
  PriceMap map;
  if (ascending || descending) {
    if (descending) std::reverse(kept.begin(), kept.end());
    for (const Level& level : kept) map.insert(map.end(), level);
    return map;
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const Level& a, const Level& b) { return a.first < b.first; });
  // Equal prices are adjacent and in input order: the first key stays, the last size wins.
  for (size_t i = 0; i < kept.size();) {
    size_t last = i;
    while (last + 1 < kept.size() && kept[last + 1].first == kept[i].first) ++last;
    map.insert(map.end(), {kept[i].first, kept[last].second});
    i = last + 1;
  }
  return map;
}

Decimal Book::set(Side s, const Decimal& price, const Decimal& size) {
  PriceMap& map = side(s);
  if (size <= kZero) {
    map.erase(price);
    return kZero;
  }
  auto [it, inserted] = map.try_emplace(price, size);
  if (!inserted) it->second = size;
  return size;
}

std::expected<Decimal, Error> Book::add(Side s, const Decimal& price, const Decimal& delta) {
  PriceMap& map = side(s);
  const auto it = map.find(price);
  if (it == map.end()) return set(s, price, delta);  // zero plus delta, as `add` keeps its scale
  auto sum = orvane::add(it->second, delta);
  if (!sum) return sum;
  if (*sum <= kZero) {
    map.erase(it);
    return kZero;
  }
  it->second = *sum;
  return *sum;
}

void Book::replace(std::span<const Level> bid_pairs, std::span<const Level> ask_pairs) {
  bids = positive(bid_pairs);
  asks = positive(ask_pairs);
  ready = true;
}

LevelList Book::bid_levels(std::optional<size_t> depth) const {
  if (!depth || *depth >= bids.size()) return whole_side(bids, true);
  return walk_levels(bids.rbegin(), bids.rend(), bids.size(), depth);
}

LevelList Book::ask_levels(std::optional<size_t> depth) const {
  if (!depth || *depth >= asks.size()) return whole_side(asks, false);
  return walk_levels(asks.begin(), asks.end(), asks.size(), depth);
}

Book::Levels Book::levels(std::optional<size_t> depth) const {
  return {bid_levels(depth), ask_levels(depth)};
}

std::optional<Decimal> Book::best_bid() const {
  if (bids.empty()) return std::nullopt;
  return std::prev(bids.end())->first;
}

std::optional<Decimal> Book::best_ask() const {
  if (asks.empty()) return std::nullopt;
  return asks.begin()->first;
}

std::expected<Book::Sides, Error> Book::mirrored(const Decimal& face) const {
  auto new_bids = flipped(asks, face);
  if (!new_bids) return std::unexpected(std::move(new_bids.error()));
  auto new_asks = flipped(bids, face);
  if (!new_asks) return std::unexpected(std::move(new_asks.error()));
  return Sides{std::move(*new_bids), std::move(*new_asks)};
}

}  // namespace orvane
