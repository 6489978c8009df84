#include "router/router.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace orvane::router {
namespace {

Decimal D(std::string_view text) {
  const auto value = orvane::parse(text);
  EXPECT_TRUE(value.has_value()) << text;
  return value.value_or(Decimal{});
}

// The exact representation as text ("-0" for a negative zero), or "none".
std::string Text(const std::optional<Decimal>& value) {
  return value ? orvane::to_text(*value) : "none";
}

struct Case {
  const char* a;
  const char* b;
  const char* want;  // canonical text or "none"; each checked against Python's decimal module
};

// The decimal fuzz target checks both against the rule of router/arithmetic.h; these anchor that
// rule to Python's decimal in a 28-digit context that traps Inexact and Rounded, which gives the
// same answers except that a scale above 28 is refused here (a Decimal cannot hold it).
constexpr Case kAddCases[] = {
    {"-0", "-0.00", "-0.00"},  // a zero sum is negative only when both operands are
    {"9999999999999999999999999999", "1", "none"},                                 // 29 digits
    {"0.9999999999999999999999999999", "0.0000000000000000000000000001", "none"},  // 1.0000...0
    {"79228162514264337593543950335", "-79228162514264337593543950334", "1"},
    // Aligned to scale 28 the first operand leaves 128 bits, past the target's model.
    {"79228162514264337593543950335", "-0.0000000000000000000000000001", "none"},
};

constexpr Case kMulCases[] = {
    {"0", "-1", "-0"},
    {"0.0000000000001", "0.0000000000000001", "none"},  // scale 29, although a power of ten
    {"99999999999999", "99999999999999", "9999999999999800000000000001"},
    {"5000000000000000000000000000", "2", "none"},  // 10^28
};

TEST(RouterArithmetic, AddAndMulAreExactOrNothingInEitherOrder) {
  for (const Case& c : kAddCases) {
    EXPECT_EQ(Text(router::exact_add(D(c.a), D(c.b))), c.want) << c.a << " + " << c.b;
    EXPECT_EQ(Text(router::exact_add(D(c.b), D(c.a))), c.want) << c.b << " + " << c.a;
  }
  for (const Case& c : kMulCases) {
    EXPECT_EQ(Text(router::exact_mul(D(c.a), D(c.b))), c.want) << c.a << " x " << c.b;
    EXPECT_EQ(Text(router::exact_mul(D(c.b), D(c.a))), c.want) << c.b << " x " << c.a;
  }
}

TEST(RouterSort, BuyAscendsSellDescendsTiesByPriceThenInputOrder) {
  // (net, price) per member; members 1 and 3 share a key by value, not by representation.
  const std::vector<std::pair<const char*, const char*>> input = {
      {"0.52", "0.52"}, {"0.51", "0.50"}, {"0.51", "0.49"}, {"0.510", "0.50"}, {"0.5", "0.5"}};
  const auto order = [&](bool buy) {
    std::vector<LadderLevel> levels;
    levels.reserve(input.size());
    for (size_t i = 0; i < input.size(); ++i) {
      levels.push_back(LadderLevel{D(input[i].second), D(input[i].first), D("10"), i});
    }
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
