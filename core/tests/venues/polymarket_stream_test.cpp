#include "venues/polymarket_stream.h"

#include <gtest/gtest.h>

#include <limits>

namespace orvane {
namespace {

namespace pm = polymarket;

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(PolymarketStream, PendingChecksFallDueAfterMoreThan500Ms) {
  EXPECT_FALSE(pm::pending_due(1500, 1000));  // exactly 500 is not older
  EXPECT_TRUE(pm::pending_due(1501, 1000));
  EXPECT_FALSE(pm::pending_due(1000, 1501));  // a check newer than the message
  EXPECT_TRUE(pm::pending_due(kMax, kMin));   // the difference overflows, positive
  EXPECT_FALSE(pm::pending_due(kMin, kMax));  // the difference overflows, negative
  EXPECT_TRUE(pm::pending_due(kMin + 501, kMin));
}

TEST(PolymarketStream, AChangeComparesTheChecksOfOtherMessagesFirst) {
  EXPECT_FALSE(pm::verify_before_change(true, 7, 7));  // recorded by the same message
  EXPECT_FALSE(pm::verify_before_change(true, std::nullopt, std::nullopt));
  EXPECT_TRUE(pm::verify_before_change(true, 7, 8));
  EXPECT_TRUE(pm::verify_before_change(true, std::nullopt, 7));
  EXPECT_TRUE(pm::verify_before_change(true, 7, std::nullopt));
  EXPECT_TRUE(pm::verify_before_change(false, 7, 7));  // not in our form: always compared
}

TEST(PolymarketStream, NewestChangeTimeIgnoresBooksAndUntimedChanges) {
  std::vector<pm::Message> frame;
  frame.emplace_back(pm::BookMessage{"a", "M", 9000, {}, {}, {}, {}, {}});
  frame.emplace_back(pm::PriceChange{std::nullopt, "M", {}});
  EXPECT_EQ(pm::newest_change_time(frame), std::nullopt);
  frame.emplace_back(pm::PriceChange{5, "M", {}});
  frame.emplace_back(pm::PriceChange{3, "M", {}});
  EXPECT_EQ(pm::newest_change_time(frame), 5);
}

TEST(PolymarketStream, AppliedLevelsGroupByAssetInFirstChangeOrder) {
  const auto change = [](const char* asset, Side side, const char* price) {
    pm::Change c;
    c.asset_id = asset;
    c.side = side;
    c.price = *parse(price);
    return c;
  };
  const pm::Change changes[] = {change("b", Side::Ask, "0.6"), change("a", Side::Bid, "0.4"),
                                change("b", Side::Bid, "0.5"), change("b", Side::Ask, "0.7")};
  pm::AppliedLevels recorded;
  for (size_t i = 0; i < std::size(changes); ++i) {
    recorded.record(changes[i], i, *parse(std::to_string(i)));
  }
  const auto& applied = recorded.assets();
  ASSERT_EQ(applied.size(), 2u);
  EXPECT_EQ(applied[0].asset_id, "b");
  EXPECT_EQ(applied[0].first_change, 0u);
  EXPECT_EQ(LevelList(applied[0].bids.begin(), applied[0].bids.end()),
            (LevelList{{*parse("0.5"), *parse("2")}}));
  EXPECT_EQ(LevelList(applied[0].asks.begin(), applied[0].asks.end()),
            (LevelList{{*parse("0.6"), *parse("0")}, {*parse("0.7"), *parse("3")}}));
  EXPECT_EQ(applied[1].asset_id, "a");
  EXPECT_EQ(applied[1].first_change, 1u);
  EXPECT_EQ(LevelList(applied[1].bids.begin(), applied[1].bids.end()),
            (LevelList{{*parse("0.4"), *parse("1")}}));

  // Past the few assets it scans, the index finds the same entries.
  std::vector<std::string> ids;
  for (int i = 0; i < 20; ++i) ids.push_back("asset" + std::to_string(i));
  pm::AppliedLevels grouped;
  for (size_t i = 0; i < 3 * ids.size(); ++i) {
    grouped.record(change(ids[i % ids.size()].c_str(), Side::Bid, "0.5"), i, *parse("1"));
  }
  ASSERT_EQ(grouped.assets().size(), ids.size());
  for (size_t k = 0; k < ids.size(); ++k) {
    EXPECT_EQ(grouped.assets()[k].asset_id, ids[k]);
    EXPECT_EQ(grouped.assets()[k].first_change, k);
    EXPECT_EQ(grouped.assets()[k].bids.size(), 3u);
  }
}

}  // namespace
}  // namespace orvane
