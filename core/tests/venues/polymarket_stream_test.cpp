#include "venues/polymarket_stream.h"

#include <gtest/gtest.h>

#include <limits>

#include "venue_text.h"

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
}

TEST(PolymarketStream, AChangeComparesTheChecksOfOtherMessagesFirst) {
  EXPECT_FALSE(pm::verify_before_change(true, 7, 7));  // recorded by the same message
  EXPECT_FALSE(pm::verify_before_change(true, std::nullopt, std::nullopt));
  EXPECT_TRUE(pm::verify_before_change(true, 7, 8));
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

// Grouping by asset in first-change order is the Polymarket replay's (tests/venues), whose frames
// change a few assets each; here the index that takes over past those.
TEST(PolymarketStream, AppliedLevelsPastTheScannedFewGroupByAsset) {
  const auto change = [](std::string_view asset, Side side, const char* price) {
    return pm::Change{asset, *parse(price), {}, side, {}, {}};
  };
  const auto shown = [](const pm::AppliedLevels& recorded) {
    std::string out;
    for (const auto& asset : recorded.assets()) {
      out += concat(asset.asset_id, "@", asset.first_change, " bids=", fuzz::texts(asset.bids),
                    "asks=", fuzz::texts(asset.asks), "; ");
    }
    return out;
  };
  std::vector<std::string> ids;
  std::string expected;
  for (int i = 0; i < 20; ++i) {
    ids.push_back("asset" + std::to_string(i));
    expected += concat(ids.back(), "@", i, " bids=0.5:1 0.5:1 0.5:1 asks=; ");
  }
  pm::AppliedLevels grouped;
  for (size_t i = 0; i < 3 * ids.size(); ++i)
    grouped.record(change(ids[i % ids.size()], Side::Bid, "0.5"), i, *parse("1"));
  EXPECT_EQ(shown(grouped), expected);
}

}  // namespace
}  // namespace orvane
