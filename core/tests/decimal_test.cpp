#include "decimal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace orvane {
namespace {

__extension__ using i128 = __int128;  // signed sums for the model below

constexpr const char* kMax = "79228162514264337593543950335";  // 2^96 - 1

Decimal dec(std::string_view text) {
  auto parsed = parse(text);
  EXPECT_TRUE(parsed.has_value()) << text << ": " << parsed.error();
  return parsed.value_or(Decimal{});
}

struct ParseCase {
  std::string text;
  std::string expected;  // canonical text, or the reason when `ok` is false
  bool ok = true;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class DecimalParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(DecimalParse, CanonicalTextOrReason) {
  const ParseCase& c = GetParam();
  const auto parsed = parse(c.text);
  if (c.ok) {
    ASSERT_TRUE(parsed.has_value()) << parsed.error();
    EXPECT_EQ(to_text(*parsed), c.expected);
  } else {
    ASSERT_FALSE(parsed.has_value()) << to_text(*parsed);
    EXPECT_EQ(parsed.error(), c.expected);
  }
}

// Scale and sign are read back through the canonical text, which spells both out.
INSTANTIATE_TEST_SUITE_P(
    Plain, DecimalParse,
    ::testing::Values(
        ParseCase{"0.50", "0.50"}, ParseCase{"+1", "1"}, ParseCase{"-0.010", "-0.010"},
        ParseCase{"-0", "-0"}, ParseCase{"1_0", "10"}, ParseCase{"1_._5_", "1.5"},
        ParseCase{".5", "0.5"}, ParseCase{"5.", "5"}, ParseCase{"00012.30", "12.30"},
        ParseCase{kMax, kMax},
        // Past 28 fractional digits: rounded by the first dropped digit alone.
        ParseCase{"0.123456789012345678901234567851", "0.1234567890123456789012345679"},
        ParseCase{"0.1234567890123456789012345678_9", "0.1234567890123456789012345679"},
        ParseCase{"1.000000000000000000000000000049__12", "1.0000000000000000000000000000"},
        ParseCase{"-0.99999999999999999999999999995", "-1.0000000000000000000000000000"},
        // Past what the mantissa holds once a point was seen.
        ParseCase{"9.9999999999999999999999999999", "10.000000000000000000000000000"},
        ParseCase{"7922816251426433759354395033.54", "7922816251426433759354395033.5"},
        ParseCase{"79228162514264337593543950335.4", kMax},
        // Rounding 2^96 - 1 up at scale 1 gives up that digit too.
        ParseCase{"7922816251426433759354395033.59", "7922816251426433759354395034"},
        // Failures of plain notation only ever surface as this.
        ParseCase{"", "Failed to parse", false}, ParseCase{"abc", "Failed to parse", false},
        ParseCase{"_1", "Failed to parse", false}, ParseCase{" 1", "Failed to parse", false},
        ParseCase{"1.2.3", "Failed to parse", false},
        ParseCase{"79228162514264337593543950336", "Failed to parse", false},
        ParseCase{"79228162514264337593543950335.5", "Failed to parse", false},
        ParseCase{"0.12345678901234567890123456789x", "Failed to parse", false}));

INSTANTIATE_TEST_SUITE_P(
    Scientific, DecimalParse,
    ::testing::Values(
        ParseCase{"1e-3", "0.001"}, ParseCase{"1E2", "100"}, ParseCase{"1e-07", "0.0000001"},
        ParseCase{"1.25e1", "12.5"}, ParseCase{"1.50e1", "15.0"}, ParseCase{"1.0e2", "100"},
        ParseCase{"-2.5E-1", "-0.25"}, ParseCase{"1e-0", "1"},
        ParseCase{"7.9228162514264337593543950335e28", kMax},
        ParseCase{"1e-28", "0.0000000000000000000000000001"},
        // Beyond scale 28: the value is rounded once, a half away from zero, as its plain spelling.
        ParseCase{"1.5e-28", "0.0000000000000000000000000002"},
        ParseCase{"2.5e-28", "0.0000000000000000000000000003"},
        ParseCase{"-2.49e-28", "-0.0000000000000000000000000002"},
        ParseCase{"0.149e-27", "0.0000000000000000000000000001"},
        ParseCase{"0.00e-28", "0.0000000000000000000000000000"},
        // A positive exponent brings fractional digits back into range rather than losing them.
        ParseCase{"0.00000000000000000000000000001e1", "0.0000000000000000000000000001"},
        ParseCase{"e5", "Invalid decimal: empty", false},
        ParseCase{"+e5", "Invalid decimal: no digits found", false},
        ParseCase{"_1e5", "Invalid decimal: must start lead with a number", false},
        ParseCase{"-._1e5", "Invalid decimal: must start lead with a number", false},
        ParseCase{"1..2e1", "Invalid decimal: two decimal points", false},
        ParseCase{"xe5", "Invalid decimal: unknown character", false},
        ParseCase{"+-1e1", "Invalid decimal: unknown character", false},
        ParseCase{"0.12345678901234567890123456789.1e0", "Invalid decimal: two decimal points",
                  false},
        ParseCase{"0.12345678901234567890123456789xe0", "Invalid decimal: unknown character",
                  false},
        ParseCase{"79228162514264337593543950336e0",
                  "Invalid decimal: overflow from too many digits", false},
        ParseCase{"79228162514264337593543950335.5e0",
                  "Invalid decimal: overflow from mantissa after rounding", false},
        ParseCase{"1e", "Failed to parse", false}, ParseCase{"1e+", "Failed to parse", false},
        ParseCase{"1e-+5", "Failed to parse", false}, ParseCase{"1e5e5", "Failed to parse", false},
        ParseCase{"1E5 ", "Failed to parse", false},
        ParseCase{"1e4294967296", "Failed to parse", false},
        ParseCase{"1e-30", "Scale exceeds the maximum precision allowed: 30 > 28", false},
        ParseCase{"0e29", "Scale exceeds the maximum precision allowed: 29 > 28", false},
        ParseCase{"1e-4294967295", "Scale exceeds the maximum precision allowed: 4294967295 > 28",
                  false},
        ParseCase{"8e28", "Number exceeds maximum value that can be represented.", false}));

TEST(DecimalText, Canonical) {
  EXPECT_EQ(to_text(Decimal::from_parts(150, 2, false)), "1.50");
  EXPECT_EQ(to_text(Decimal::from_parts(5, 3, false)), "0.005");
  EXPECT_EQ(to_text(Decimal::from_parts(0, 2, false)), "0.00");
  EXPECT_EQ(to_text(Decimal::from_parts(0, 0, true)), "-0");
  EXPECT_EQ(to_text(Decimal::from_parts(kMaxMantissa, 28, true)),
            "-7.9228162514264337593543950335");
  EXPECT_EQ(to_text(Decimal::from_parts(pow10(19), 0, false)), "10000000000000000000");
  EXPECT_EQ(to_text(Decimal::from_parts(u128{1} << 64, 20, false)), "0.18446744073709551616");
  EXPECT_EQ(to_text(Decimal::from_integer(INT64_MIN)), "-9223372036854775808");
}

// Every representation survives text and back, bit for bit.
TEST(DecimalText, RoundTripsThroughParse) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const u128 wide = (u128(rng()) << 64) | rng();
    const u128 mantissa = (wide >> (rng() % 128)) & kMaxMantissa;
    const Decimal d = Decimal::from_parts(mantissa, rng() % 29, rng() & 1);
    const auto back = parse(to_text(d));
    ASSERT_TRUE(back.has_value()) << to_text(d);
    ASSERT_TRUE(back->same_representation(d)) << to_text(d);
  }
}

TEST(DecimalCompare, ByValue) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  };
  const Case cases[] = {{"0.5", "0.50", 0},
                        {"-0", "0", 0},
                        {"-0.00", "0", 0},
                        {"1", "0.9999999999999999999999999999", 1},
                        {"-1", "-0.9", -1},
                        {"0.1", "-0.1", 1},
                        {"-0.0000000000000000000000000001", "-0", -1},
                        {kMax, "7.9228162514264337593543950335", 1},
                        {"7.9228162514264337593543950335", "7.9228162514264337593543950334999", 0}};
  for (const Case& c : cases) {
    const Decimal a = dec(c.a), b = dec(c.b);
    EXPECT_EQ(compare(a, b), c.order <=> 0) << c.a << " vs " << c.b;
    EXPECT_EQ(compare(b, a), 0 <=> c.order) << c.b << " vs " << c.a;
  }
  EXPECT_FALSE(dec("0.5").same_representation(dec("0.50")));
  EXPECT_FALSE(dec("-0").same_representation(dec("0")));
}

struct ArithmeticCase {
  const char* a;
  char op;
  const char* b;
  const char* expected;  // canonical text, or the error
};

void PrintTo(const ArithmeticCase& c, std::ostream* os) { *os << c.a << ' ' << c.op << ' ' << c.b; }

class DecimalArithmetic : public ::testing::TestWithParam<ArithmeticCase> {};

TEST_P(DecimalArithmetic, MatchesPythonDecimal) {
  const ArithmeticCase& c = GetParam();
  const Decimal a = dec(c.a), b = dec(c.b);
  const auto result = c.op == '+' ? add(a, b) : sub(a, b);
  EXPECT_EQ(result ? to_text(*result) : result.error(), c.expected);
}

// Expected values are those of Python's decimal with ROUND_HALF_EVEN at the scale the rule picks.
INSTANTIATE_TEST_SUITE_P(
    Cases, DecimalArithmetic,
    ::testing::Values(
        ArithmeticCase{"0.1", '+', "0.2", "0.3"}, ArithmeticCase{"0.45", '+', "0.010", "0.460"},
        ArithmeticCase{"1", '-', "0.4500", "0.5500"}, ArithmeticCase{"-0.5", '+', "0.5", "0.0"},
        ArithmeticCase{"-1", '+', "1.0000000000", "0.0000000000"},
        ArithmeticCase{"-0", '+', "-0", "-0"}, ArithmeticCase{"-0.0", '-', "0", "-0.0"},
        ArithmeticCase{"0", '-', "0", "0"}, ArithmeticCase{kMax, '+', "0.4", kMax},
        // Too wide at the common scale: the fewest digits dropped, half to even.
        ArithmeticCase{"10000000000", '+', "0.0000000000000000000000000001",
                       "10000000000.000000000000000000"},
        ArithmeticCase{"7922816251426433759354395032.5", '+', "0.05",
                       "7922816251426433759354395032.6"},
        ArithmeticCase{"7922816251426433759354395032.4", '+', "0.05",
                       "7922816251426433759354395032.4"},
        ArithmeticCase{"7922816251426433759354395033.5", '+', "0.1",
                       "7922816251426433759354395034"},
        ArithmeticCase{kMax, '-', "0.5000000000000000000000000000",
                       "79228162514264337593543950334"},
        ArithmeticCase{"79228162514264337593543950334", '+', "0.5000000000",
                       "79228162514264337593543950334"},
        ArithmeticCase{"79228162514264337593543950334", '+', "0.50000000001", kMax},
        // Not even scale 0 holds it.
        ArithmeticCase{kMax, '+', "1", "Addition overflowed"},
        ArithmeticCase{kMax, '+', "0.5", "Addition overflowed"},
        ArithmeticCase{kMax, '+', "0.5000000000000000000000000001", "Addition overflowed"},
        ArithmeticCase{"-79228162514264337593543950335", '+', "-1", "Addition overflowed"},
        ArithmeticCase{kMax, '-', "-1", "Subtraction overflowed"},
        ArithmeticCase{"-79228162514264337593543950335", '-', "1", "Subtraction overflowed"}));

// Half-to-even rounding of `value` to `digits` fewer digits, by plain division.
u128 round_half_even(u128 value, uint32_t digits) {
  if (digits == 0) return value;
  const u128 unit = pow10(digits), whole = value / unit, rest = value % unit;
  return whole + ((rest > unit / 2 || (rest == unit / 2 && (whole & 1))) ? 1 : 0);
}

// Random operands whose aligned sum fits 128 bits, against plain 128-bit arithmetic: exact when the
// sum fits 96 bits, else the fewest digits dropped, half to even. Compare agrees with the sign of
// the difference.
TEST(DecimalArithmeticModel, AgreesWithWideIntegers) {
  std::mt19937_64 rng(11);
  for (int i = 0; i < 50000; ++i) {
    const uint32_t sa = rng() % 29;
    const uint32_t sb = std::clamp<int>(int(sa) + int(rng() % 39) - 19, 0, 28);
    const Decimal a = Decimal::from_parts(rng() >> (4 + rng() % 60), sa, rng() & 1);
    const Decimal b = Decimal::from_parts(rng() >> (4 + rng() % 60), sb, rng() & 1);
    const uint32_t scale = std::max(sa, sb);
    const auto aligned = [&](const Decimal& d, bool negative) {
      const auto m = static_cast<i128>(d.mantissa() * pow10(scale - d.scale()));
      return negative ? -m : m;
    };
    for (const bool subtract : {false, true}) {
      const i128 exact = aligned(a, a.is_negative()) + aligned(b, b.is_negative() != subtract);
      const u128 magnitude = static_cast<u128>(exact < 0 ? -exact : exact);
      uint32_t dropped = 0;
      while (round_half_even(magnitude, dropped) > kMaxMantissa) ++dropped;
      const auto got = subtract ? sub(a, b) : add(a, b);
      ASSERT_TRUE(got.has_value());
      ASSERT_EQ(got->mantissa(), round_half_even(magnitude, dropped))
          << to_text(a) << (subtract ? " - " : " + ") << to_text(b);
      ASSERT_EQ(got->scale(), scale - dropped);
      // A zero sum is negative only when both terms are.
      ASSERT_EQ(got->is_negative(),
                exact != 0 ? exact < 0 : a.is_negative() && b.is_negative() != subtract);
      if (subtract) {
        ASSERT_EQ(compare(a, b), (exact > 0) - (exact < 0) <=> 0);
      }
    }
  }
}

TEST(DecimalNormalize, DropsTrailingFractionalZeros) {
  const std::pair<const char*, const char*> cases[] = {
      {"1.500", "1.5"},
      {"100", "100"},
      {"0.000", "0"},
      {"-0.00", "-0"},
      {"10.10", "10.1"},
      {"1.0000000000000000000000000000", "1"},
      {"0.0000000000000000000000000001", "0.0000000000000000000000000001"}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(to_text(normalize(dec(text))), expected);
}

}  // namespace
}  // namespace orvane
