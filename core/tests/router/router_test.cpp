#include "router/router.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane::router {
namespace {

Decimal D(std::string_view text) { return orvane::parse(text).value(); }

// exact_add and exact_mul are the decimal fuzz target's, its seeds holding Python's answers at the
// edges.
TEST(RouterSort, BuyAscendsSellDescendsTiesByPriceThenInputOrder) {
  // (net, price) per member; members 1 and 3 share a key by value, not by representation.
  const std::vector<std::pair<const char*, const char*>> input = {
      {"0.52", "0.52"}, {"0.51", "0.50"}, {"0.51", "0.49"}, {"0.510", "0.50"}, {"0.5", "0.5"}};
  const auto order = [&](bool buy) {
    std::vector<LadderLevel> levels;
    levels.reserve(input.size());
    for (size_t i = 0; i < input.size(); ++i)
      levels.push_back(LadderLevel{D(input[i].second), D(input[i].first), D("10"), i});
    sort(levels, buy);
    std::string out;
    for (const LadderLevel& l : levels)
      out += to_text(l.net) + "/" + std::to_string(l.member) + " ";
    return out;
  };
  EXPECT_EQ(order(true), "0.5/4 0.51/2 0.51/1 0.510/3 0.52/0 ");
  EXPECT_EQ(order(false), "0.52/0 0.51/1 0.510/3 0.51/2 0.5/4 ");
}

}  // namespace
}  // namespace orvane::router
