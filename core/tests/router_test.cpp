#include "router.h"

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

// A 28-digit context that traps Inexact and Rounded gives the same answers, except that results
// at a scale above 28 are refused here because a Decimal cannot hold them.
constexpr Case kAddCases[] = {
    {"0.1", "0.2", "0.3"},
    {"0.45", "0.010", "0.460"},
    {"1", "-1", "0"},
    {"-0", "-0.00", "-0.00"},  // a zero sum is negative only when both operands are
    {"0", "-0", "0"},
    {"0.5500", "-0.05", "0.5000"},
    {"-0.3", "0.1", "-0.2"},
    {"9999999999999999999999999999", "0", "9999999999999999999999999999"},
    {"9999999999999999999999999999", "1", "none"},                                 // 29 digits
    {"0.9999999999999999999999999999", "0.0000000000000000000000000001", "none"},  // 1.0000...0
    {"1", "0.0000000000000000000000000001", "none"},
    {"0.5000000000000000000000000000", "-0.5000000000000000000000000000",
     "0.0000000000000000000000000000"},
    // 29-digit operands are fine when the exact result is short.
    {"79228162514264337593543950335", "-79228162514264337593543950334", "1"},
    {"7922816251426433759354395033.5", "-7922816251426433759354395033", "0.5"},
    // Aligning the first operand to scale 28 leaves 128 bits; no result can be short enough.
    {"79228162514264337593543950335", "-0.0000000000000000000000000001", "none"},
};

constexpr Case kMulCases[] = {
    {"0.5", "10", "5.0"},
    {"0.55", "3", "1.65"},
    {"0.001", "0.0001", "0.0000001"},
    {"-2", "-3", "6"},
    {"0", "-1", "-0"},
    {"0.0000000000001", "0.0000000000000001", "none"},  // scale 29, although a power of ten
    {"0.00000000000000000000", "0.000000001", "none"},  // zero at scale 29
    {"0.00000000000000000000", "-0.00000001", "-0.0000000000000000000000000000"},
    {"99999999999999", "99999999999999", "9999999999999800000000000001"},
    {"5000000000000000000000000000", "2", "none"},     // 10^28
    {"0.1000000000000000000000000000", "10", "none"},  // 1.0000000000000000000000000000
    {"79228162514264337593543950335", "79228162514264337593543950335", "none"},
};

TEST(RouterArithmetic, AddIsExactOrNothing) {
  for (const Case& c : kAddCases) {
    EXPECT_EQ(Text(router::add(D(c.a), D(c.b))), c.want) << c.a << " + " << c.b;
    EXPECT_EQ(Text(router::add(D(c.b), D(c.a))), c.want) << c.b << " + " << c.a;
  }
}

TEST(RouterArithmetic, MulIsExactOrNothing) {
  for (const Case& c : kMulCases) {
    EXPECT_EQ(Text(router::mul(D(c.a), D(c.b))), c.want) << c.a << " x " << c.b;
    EXPECT_EQ(Text(router::mul(D(c.b), D(c.a))), c.want) << c.b << " x " << c.a;
  }
}

TEST(RouterArithmetic, SignOperationsTouchOnlyTheFlag) {
  EXPECT_EQ(to_text(negate(D("0.50"))), "-0.50");
  EXPECT_EQ(to_text(abs(D("-0.50"))), "0.50");
  EXPECT_EQ(to_text(negate(D("0"))), "-0");
}

Level L(const char* net, const char* price, size_t member, const char* size = "10") {
  return Level{D(price), D(net), D(size), member};
}

std::vector<std::string> Order(const std::vector<Level>& levels) {
  std::vector<std::string> out;
  for (const Level& l : levels) {
    out.push_back(to_text(l.net) + "/" + to_text(l.price) + "@" + std::to_string(l.member));
  }
  return out;
}

TEST(RouterSort, BuyAscendsSellDescendsTiesByPriceThenInputOrder) {
  const std::vector<Level> input = {
      L("0.52", "0.52", 0), L("0.51", "0.50", 1),
      L("0.51", "0.49", 2), L("0.510", "0.50", 3),  // same key as member 1 by value
      L("0.5", "0.5", 4),
  };
  std::vector<Level> buy = input;
  sort(buy, true);
  EXPECT_EQ(Order(buy), (std::vector<std::string>{"0.5/0.5@4", "0.51/0.49@2", "0.51/0.50@1",
                                                  "0.510/0.50@3", "0.52/0.52@0"}));
  std::vector<Level> sell = input;
  sort(sell, false);
  EXPECT_EQ(Order(sell), (std::vector<std::string>{"0.52/0.52@0", "0.51/0.50@1", "0.510/0.50@3",
                                                   "0.51/0.49@2", "0.5/0.5@4"}));
}

TEST(RouterLadder, MakeLevelAppliesOnlyPositiveFees) {
  const auto text = [](const std::optional<Level>& level) {
    return level ? to_text(level->net) : std::string("none");
  };
  EXPECT_EQ(text(make_level(D("0.45"), D("5"), D("0.01"), 0, true)), "0.46");
  EXPECT_EQ(text(make_level(D("0.45"), D("5"), D("0.01"), 0, false)), "0.44");
  EXPECT_EQ(text(make_level(D("0.50"), D("5"), D("0.000"), 0, true)), "0.50");  // not 0.500
  EXPECT_EQ(text(make_level(D("0.50"), D("5"), D("-0.01"), 0, false)), "0.50");
  EXPECT_EQ(text(make_level(D("0.5"), D("5"), D("0.0000000000000000000000000001"), 0, true)),
            "0.5000000000000000000000000001");
  EXPECT_EQ(text(make_level(D("1.5"), D("5"), D("0.0000000000000000000000000001"), 0, true)),
            "none");  // 29 digits
}

// Slots as "member:quantity/cost/fee/worst", then "remaining", then the reason.
std::vector<std::string> Result(const std::optional<Walk>& walk) {
  if (!walk) return {"none"};
  std::vector<std::string> out;
  for (const Slot& s : walk->slots) {
    out.push_back(std::to_string(s.member) + ":" + to_text(s.quantity) + "/" + to_text(s.cost) +
                  "/" + to_text(s.fee) + "/" + to_text(s.worst));
  }
  out.push_back(to_text(walk->remaining));
  out.emplace_back(reason_text(walk->reason));
  return out;
}

using Expected = std::vector<std::string>;

TEST(RouterWalk, StopsAtTheLimitInclusive) {
  const std::vector<Level> ladder = {L("0.41", "0.41", 0), L("0.42", "0.42", 1),
                                     L("0.43", "0.43", 2)};
  EXPECT_EQ(Result(walk(ladder, true, D("25"), D("0.42"), {})),
            (Expected{"0:10/4.10/0.00/0.41", "1:10/4.20/0.00/0.42", "5", "worst_price"}));
  EXPECT_EQ(Result(walk(ladder, true, D("25"), D("0.420"), {})),
            (Expected{"0:10/4.10/0.00/0.41", "1:10/4.20/0.00/0.42", "5", "worst_price"}));
  EXPECT_EQ(
      Result(walk(ladder, true, D("25"), D("0.5"), {})),
      (Expected{"0:10/4.10/0.00/0.41", "1:10/4.20/0.00/0.42", "2:5/2.15/0.00/0.43", "0", ""}));
  EXPECT_EQ(Result(walk(ladder, true, D("40"), D("1"), {})),
            (Expected{"0:10/4.10/0.00/0.41", "1:10/4.20/0.00/0.42", "2:10/4.30/0.00/0.43", "10",
                      "liquidity"}));
}

TEST(RouterWalk, NothingWantedOrNothingThere) {
  const std::vector<Level> ladder = {L("0.41", "0.41", 0)};
  EXPECT_EQ(Result(walk({}, true, D("5"), D("1"), {})), (Expected{"5", "liquidity"}));
  EXPECT_EQ(Result(walk({}, true, D("0"), D("1"), {})), (Expected{"0", ""}));
  EXPECT_EQ(Result(walk(ladder, true, D("0.00"), D("1"), {})), (Expected{"0.00", ""}));
  EXPECT_EQ(Result(walk(ladder, false, D("-3"), D("0"), {})), (Expected{"-3", ""}));
}

TEST(RouterWalk, OneSlotPerMemberInFirstFilledOrder) {
  // Buy: member 1's two levels, split by member 0's, make one slot with the higher price as worst.
  const std::vector<Level> buy = {L("0.40", "0.39", 1, "2"), L("0.41", "0.40", 0, "3"),
                                  L("0.42", "0.42", 1, "4")};
  EXPECT_EQ(Result(walk(buy, true, D("8"), D("1"), {})),
            (Expected{"1:5/2.06/0.02/0.42", "0:3/1.23/0.03/0.40", "0", ""}));
  // Sell: cost is net x quantity (price less the fee), fee the fee part; worst is the lowest price.
  const std::vector<Level> sell = {L("0.58", "0.60", 0, "5"), L("0.55", "0.55", 1, "5"),
                                   L("0.54", "0.55", 0, "5")};
  EXPECT_EQ(Result(walk(sell, false, D("12"), D("0"), {})),
            (Expected{"0:7/3.98/0.12/0.55", "1:5/2.75/0.00/0.55", "0", ""}));
}

TEST(RouterWalk, ExcludedMembersAreSkippedWhereverTheyLie) {
  const std::vector<Level> ladder = {L("0.40", "0.40", 0), L("0.45", "0.45", 1),
                                     L("0.50", "0.50", 0), L("0.55", "0.55", 2)};
  const std::vector<std::string_view> ids = {"alpha", "beta", "gamma"};
  const std::vector<std::string_view> excluded = {"beta", "delta"};
  const std::vector<uint8_t> mask = excluded_members(ids, excluded);
  EXPECT_EQ(mask, (std::vector<uint8_t>{0, 1, 0}));
  EXPECT_TRUE(excluded_members(ids, {}).empty());
  EXPECT_EQ(excluded_members(ids, std::vector<std::string_view>{"Beta", "beta "}),
            (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(Result(walk(ladder, true, D("15"), D("0.50"), mask)),
            (Expected{"0:15/6.50/0.00/0.50", "0", ""}));
  EXPECT_EQ(Result(walk(ladder, true, D("15"), D("0.50"), {})),
            (Expected{"0:10/4.00/0.00/0.40", "1:5/2.25/0.00/0.45", "0", ""}));
  // An excluded level beyond the limit does not stop the walk: the ladder runs out instead.
  const std::vector<Level> short_ladder = {L("0.40", "0.40", 0), L("0.60", "0.60", 1)};
  EXPECT_EQ(Result(walk(short_ladder, true, D("15"), D("0.50"), mask)),
            (Expected{"0:10/4.00/0.00/0.40", "5", "liquidity"}));
  EXPECT_EQ(Result(walk(short_ladder, true, D("15"), D("0.50"), {})),
            (Expected{"0:10/4.00/0.00/0.40", "5", "worst_price"}));
}

TEST(RouterWalk, ZeroSizeLevelStillOpensItsSlot) {
  const std::vector<Level> ladder = {L("0.40", "0.40", 1, "0"), L("0.41", "0.41", 0, "5")};
  EXPECT_EQ(Result(walk(ladder, true, D("5"), D("1"), {})),
            (Expected{"1:0/0.00/0.00/0.40", "0:5/2.05/0.00/0.41", "0", ""}));
}

TEST(RouterWalk, NothingWhenAnyStepIsInexact) {
  // net x take needs scale 29.
  const std::vector<Level> fine = {L("0.41", "0.41", 0, "1"),
                                   L("0.4234567890123456789012345678", "0.42", 1)};
  EXPECT_EQ(Result(walk(fine, true, D("1.5"), D("1"), {})), Expected{"none"});
  // The same ladder stops at the limit before reaching the inexact level.
  EXPECT_EQ(Result(walk(fine, true, D("1.5"), D("0.41"), {})),
            (Expected{"0:1/0.41/0.00/0.41", "0.5", "worst_price"}));
  // cost overflows 28 digits across two levels of one member.
  const std::vector<Level> big = {L("9999999999999999999999999999", "1", 0, "1"),
                                  L("9999999999999999999999999999", "1", 0, "1")};
  EXPECT_EQ(Result(walk(big, true, D("2"), D("9999999999999999999999999999"), {})),
            Expected{"none"});
}

TEST(RouterView, KeepsOrFlipsSidesDroppingEmptyLevels) {
  const std::vector<Pair> bids = {{D("0.40"), D("10")}, {D("0.39"), D("0")}, {D("0.38"), D("5")}};
  const std::vector<Pair> asks = {{D("0.45"), D("7")}, {D("0.46"), D("-1")}};
  const auto text = [](const std::vector<Pair>& side) {
    std::string out;
    for (const auto& [price, size] : side) out += to_text(price) + ":" + to_text(size) + " ";
    return out;
  };
  const std::optional<View> plain = view(bids, asks, false);
  ASSERT_TRUE(plain);
  EXPECT_EQ(text(plain->asks), "0.45:7 ");
  EXPECT_EQ(text(plain->bids), "0.40:10 0.38:5 ");
  const std::optional<View> flipped = view(bids, asks, true);
  ASSERT_TRUE(flipped);
  EXPECT_EQ(text(flipped->asks), "0.60:10 0.62:5 ");
  EXPECT_EQ(text(flipped->bids), "0.55:7 ");

  const std::optional<View> empty = view({}, {}, true);
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->asks.empty() && empty->bids.empty());
}

TEST(RouterView, FlipIsNothingWhenOneMinusPIsInexact) {
  // 1 - 5.0000000000000000000000000000 needs 29 digits; a dropped level is never priced.
  const Decimal wide = D("5.0000000000000000000000000000");
  EXPECT_FALSE(view({{wide, D("1")}}, {}, true));
  EXPECT_TRUE(view({{wide, D("1")}}, {}, false));
  EXPECT_TRUE(view({{wide, D("0")}}, {{D("0.5"), D("1")}}, true));
}

}  // namespace
}  // namespace orvane::router
