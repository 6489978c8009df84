#include "book.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace orvane {
namespace {

Decimal D(const char* text) { return parse(text).value(); }

std::string text_of(const std::optional<Decimal>& value) {
  return value ? to_text(*value) : "none";
}

TEST(Book, SetZeroOrNegativeRemovesAndReturnsZeroAtScaleZero) {
  Book book;
  EXPECT_EQ(to_text(book.set(Side::Bid, D("0.5"), D("0.00"))), "0");
  EXPECT_TRUE(book.bids.empty());
  book.set(Side::Ask, D("0.5"), D("3"));
  EXPECT_EQ(to_text(book.set(Side::Ask, D("0.50"), D("-3"))), "0");
  EXPECT_TRUE(book.asks.empty());
}

TEST(Book, EqualPriceKeepsFirstKeyAndTakesNewSize) {
  Book book;
  book.set(Side::Bid, D("0.5"), D("10"));
  book.set(Side::Bid, D("0.50"), D("7"));
  ASSERT_EQ(book.bids.size(), 1u);
  EXPECT_EQ(to_text(book.bids.begin()->first), "0.5");
  EXPECT_EQ(to_text(book.bids.begin()->second), "7");
}

TEST(Book, AddRemovesAtZeroAndNeverStoresNegative) {
  Book book;
  EXPECT_EQ(to_text(book.add(Side::Bid, D("0.5"), D("10")).value()), "10");
  EXPECT_EQ(to_text(book.add(Side::Bid, D("0.5"), D("-10")).value()), "0");
  EXPECT_TRUE(book.bids.empty());
  EXPECT_EQ(to_text(book.add(Side::Bid, D("0.5"), D("-1")).value()), "0");
  EXPECT_TRUE(book.bids.empty());
  EXPECT_EQ(to_text(book.add(Side::Ask, D("0.45"), D("0.010")).value()), "0.010");
  EXPECT_EQ(to_text(book.add(Side::Ask, D("0.450"), D("1.5")).value()), "1.510");
}

TEST(Book, AddOverflowIsAnErrorAndLeavesTheLevel) {
  Book book;
  const Decimal max = Decimal::from_parts(kMaxMantissa, 0, false);
  book.set(Side::Bid, D("1"), max);
  EXPECT_FALSE(book.add(Side::Bid, D("1"), D("1")).has_value());
  EXPECT_TRUE(book.bids.begin()->second.same_representation(max));
}

TEST(Book, ReplaceKeepsPositiveLastSizesAndMarksReady) {
  Book book;
  book.set(Side::Ask, D("0.9"), D("1"));
  const Level bids[] = {{D("0.5"), D("10")}, {D("0.6"), D("0")}, {D("0.50"), D("12")}};
  book.replace(bids, {});
  EXPECT_TRUE(book.ready);
  ASSERT_EQ(book.bids.size(), 1u);
  EXPECT_EQ(to_text(book.bids.begin()->first), "0.5");
  EXPECT_EQ(to_text(book.bids.begin()->second), "12");
  EXPECT_TRUE(book.asks.empty());
}

TEST(Book, LevelsBestFirstWithDepth) {
  Book book;
  for (const char* p : {"0.1", "0.3", "0.2"}) book.set(Side::Bid, D(p), D("1"));
  for (const char* p : {"0.6", "0.4", "0.5"}) book.set(Side::Ask, D(p), D("1"));
  const auto two = book.levels(2);
  ASSERT_EQ(two.bids.size(), 2u);
  EXPECT_EQ(to_text(two.bids[0].first), "0.3");
  EXPECT_EQ(to_text(two.bids[1].first), "0.2");
  EXPECT_EQ(to_text(two.asks[0].first), "0.4");
  EXPECT_EQ(to_text(two.asks[1].first), "0.5");
  EXPECT_TRUE(book.levels(0).bids.empty());
  EXPECT_EQ(book.levels().asks.size(), 3u);
  EXPECT_EQ(book.levels(100).bids.size(), 3u);
}

TEST(Book, BestPrices) {
  Book book;
  EXPECT_EQ(text_of(book.best_bid()), "none");
  EXPECT_EQ(text_of(book.best_ask()), "none");
  book.set(Side::Bid, D("0.40"), D("1"));
  book.set(Side::Bid, D("0.3"), D("1"));
  book.set(Side::Ask, D("0.7"), D("1"));
  book.set(Side::Ask, D("0.60"), D("1"));
  EXPECT_EQ(text_of(book.best_bid()), "0.40");
  EXPECT_EQ(text_of(book.best_ask()), "0.60");
}

TEST(Book, MirroredSwapsSidesAtFaceMinusPrice) {
  Book book;
  book.set(Side::Bid, D("0.4"), D("5"));
  book.set(Side::Bid, D("0.5"), D("1"));
  book.set(Side::Ask, D("0.6"), D("7"));
  book.set(Side::Ask, D("1.25"), D("2"));
  const auto sides = book.mirrored(D("1")).value();
  ASSERT_EQ(sides.bids.size(), 2u);
  EXPECT_EQ(to_text(sides.bids.begin()->first), "-0.25");  // kept, though at or below zero
  EXPECT_EQ(to_text(std::prev(sides.bids.end())->first), "0.4");
  EXPECT_EQ(to_text(std::prev(sides.bids.end())->second), "7");
  EXPECT_EQ(to_text(sides.asks.begin()->first), "0.5");
  EXPECT_EQ(to_text(std::prev(sides.asks.end())->first), "0.6");
  EXPECT_EQ(to_text(std::prev(sides.asks.end())->second), "5");
}

// Random operations on the book and on a shadow keyed by price in ten-thousandths.
TEST(Book, MatchesAShadowMap) {
  std::mt19937 random(7);
  Book book;
  std::map<int, int> bids;
  for (int step = 0; step < 5000; ++step) {
    const int ticks = int(random() % 40) + 1;
    const int amount = int(random() % 21) - 5;
    const bool wide = random() % 2;  // 0.07 and 0.070 are one price
    const Decimal price =
        Decimal::from_parts(u128(ticks) * (wide ? 1000 : 100), wide ? 5 : 4, false);
    const Decimal size = Decimal::from_integer(amount);
    if (random() % 2) {
      book.set(Side::Bid, price, size);
      if (amount > 0)
        bids[ticks] = amount;
      else
        bids.erase(ticks);
    } else {
      book.add(Side::Bid, price, size).value();
      const int sum = (bids.count(ticks) ? bids[ticks] : 0) + amount;
      if (sum > 0)
        bids[ticks] = sum;
      else
        bids.erase(ticks);
    }
    ASSERT_EQ(book.bids.size(), bids.size());
  }
  const LevelList levels = book.bid_levels();
  auto shadow = bids.rbegin();
  for (const auto& [price, size] : levels) {
    EXPECT_EQ(price, Decimal::from_parts(u128(shadow->first) * 100, 4, false));
    EXPECT_EQ(size, Decimal::from_integer(shadow->second));
    ++shadow;
  }
}

}  // namespace
}  // namespace orvane
