#include "book/book.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace orvane {
namespace {

// Level semantics (set, add, replace, levels, mirrored) are checked against a dict model from
// Python (tests/book/test_book_model.py); here only what Python cannot reach or reach reliably.

Decimal D(const char* text) { return parse(text).value(); }

TEST(Book, AddOverflowIsAnErrorAndLeavesTheLevel) {
  Book book;
  const Decimal max = Decimal::from_parts(kMaxMantissa, 0, false);
  book.set(Side::Bid, D("1"), max);
  EXPECT_FALSE(book.add(Side::Bid, D("1"), D("1")).has_value());
  EXPECT_TRUE(book.bids.begin()->second.same_representation(max));
}

// `positive` sorts the run once (or reverses a strictly descending one) instead of inserting level
// by level: on sorted, reversed and shuffled runs with repeated prices in several spellings it
// must keep the first key and the last size, exactly as one insertion at a time does.
TEST(Book, SortedBuildMatchesInsertion) {
  const char* const prices[] = {"0.5", "0.50", "0.500", "0.1", "0.25", "0.9", "1", "0.01", "0.010"};
  const char* const sizes[] = {"10", "0", "-1", "2.50", "7", "0.0"};
  std::mt19937 rng(3);
  for (int round = 0; round < 600; ++round) {
    LevelList pairs;
    for (int n = int(rng() % 12); n > 0; --n)
      pairs.emplace_back(D(prices[rng() % std::size(prices)]), D(sizes[rng() % std::size(sizes)]));
    if (round % 3 == 1) std::stable_sort(pairs.begin(), pairs.end());
    if (round % 3 == 2) std::stable_sort(pairs.rbegin(), pairs.rend());
    PriceMap inserted;
    for (const Level& level : pairs)
      if (level.second > Decimal()) insert_levels(inserted, std::span(&level, 1));
    PriceMap built = positive(pairs);
    ASSERT_EQ(built.size(), inserted.size());
    for (auto i = built.begin(), j = inserted.begin(); i != built.end(); ++i, ++j) {
      EXPECT_TRUE(i->first.same_representation(j->first)) << to_text(i->first);
      EXPECT_TRUE(i->second.same_representation(j->second)) << to_text(i->second);
    }
  }
}

}  // namespace
}  // namespace orvane
