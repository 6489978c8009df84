// The Decimal grammar and arithmetic: canonical text reads back to the same representation, and the
// usual text's own reader and 1 - p agree with the general grammar and subtraction; a sum or
// difference is what a 128-bit model computes at the larger scale: exact when it fits 96 bits, else
// the fewest digits dropped, half to even, or an overflow when not even scale 0 holds it; a zero is
// negative only when both terms are; compare agrees with the sign of the difference. The router's
// exact sum and product are the exact result, or nothing when its mantissa reaches 10^28 or its
// scale 29.
#include <string_view>

#include "decimal/decimal.h"
#include "router/arithmetic.h"
#include "target.h"

namespace {

using orvane::Decimal;
using orvane::u128;
__extension__ typedef __int128 i128;

void round_trip(std::string_view text) {
  const auto value = orvane::parse(text);
  if (!value) return;
  const auto again = orvane::parse(orvane::to_text(*value));
  FUZZ_CHECK(again && again->same_representation(*value));
  FUZZ_CHECK(orvane::normalize(*value) == *value);
}

// The value as a signed 128-bit mantissa at `scale`, when it fits well inside 128 bits.
bool at_scale(const Decimal& d, uint32_t scale, i128& out) {
  const u128 unit = orvane::pow10(scale - d.scale());
  constexpr u128 kRoom = u128{1} << 124;
  if (d.mantissa() > kRoom / unit) return false;
  const i128 magnitude = static_cast<i128>(d.mantissa() * unit);
  out = d.is_negative() ? -magnitude : magnitude;
  return true;
}

// Half-to-even rounding of `value` to `digits` fewer digits, by plain division.
u128 round_half_even(u128 value, uint32_t digits) {
  if (digits == 0) return value;
  const u128 unit = orvane::pow10(digits), whole = value / unit, rest = value % unit;
  return whole + ((rest > unit / 2 || (rest == unit / 2 && (whole & 1))) ? 1 : 0);
}

void check_sum(const Decimal& a, const Decimal& b, bool subtract) {
  const uint32_t scale = a.scale() > b.scale() ? a.scale() : b.scale();
  const auto exact = orvane::router::exact_add(a, subtract ? orvane::router::negate(b) : b);
  i128 x, y;
  if (!at_scale(a, scale, x) || !at_scale(b, scale, y)) {
    // A term past 2^124 at the common scale (the other is below 2^96) decides: no exact sum, and
    // its sign orders the two.
    const int order = at_scale(a, scale, x) ? (b.is_negative() ? 1 : -1) : a.is_negative() ? -1 : 1;
    return FUZZ_CHECK(!exact && (!subtract || compare(a, b) == (order <=> 0)));
  }
  const i128 sum = subtract ? x - y : x + y;
  const u128 magnitude = sum < 0 ? static_cast<u128>(-sum) : static_cast<u128>(sum);
  uint32_t dropped = 0;
  while (dropped <= scale && round_half_even(magnitude, dropped) > orvane::kMaxMantissa) ++dropped;
  const bool negative = sum != 0 ? sum < 0 : a.is_negative() && b.is_negative() != subtract;
  FUZZ_CHECK(magnitude < orvane::pow10(28)
                 ? exact &&
                       exact->same_representation(Decimal::from_parts(magnitude, scale, negative))
                 : !exact);
  const auto got = subtract ? orvane::sub(a, b) : orvane::add(a, b);
  if (dropped > scale) return FUZZ_CHECK(!got && got.error().code == orvane::ErrorCode::kOverflow);
  FUZZ_CHECK(got && got->same_representation(Decimal::from_parts(
                        round_half_even(magnitude, dropped), scale - dropped, negative)));
  if (subtract) FUZZ_CHECK(compare(a, b) == ((sum > 0) - (sum < 0) <=> 0));
}

void check_product(const Decimal& a, const Decimal& b) {
  u128 product;
  const bool wide = __builtin_mul_overflow(a.mantissa(), b.mantissa(), &product);
  const uint32_t scale = a.scale() + b.scale();
  const auto got = orvane::router::exact_mul(a, b);
  if (wide || product >= orvane::pow10(28) || scale > 28) return FUZZ_CHECK(!got);
  FUZZ_CHECK(got && got->same_representation(
                        Decimal::from_parts(product, scale, a.is_negative() != b.is_negative())));
}

}  // namespace

// The input is two texts separated by the first newline.
FUZZ_TARGET(decimal) {
  const std::size_t cut = text.find('\n');
  const std::string_view first = text.substr(0, cut);
  const std::string_view second = cut == std::string_view::npos ? "" : text.substr(cut + 1);
  round_trip(first);
  round_trip(second);
  // The reader of the usual text reads what the general grammar reads.
  if (const auto simple = orvane::parse_simple(first)) {
    const auto general = orvane::parse_exact(first);
    FUZZ_CHECK(general && general->same_representation(*simple));
  }
  const auto a = orvane::parse(first);
  const auto b = orvane::parse(second);
  if (a) {  // 1 - a at a's scale: the general subtraction's answer whenever that keeps the scale
    const auto complement = orvane::one_minus(*a);
    const auto general = orvane::sub(Decimal::from_integer(1), *a);
    FUZZ_CHECK(complement ? general && general->same_representation(*complement)
                          : !general || general->scale() != a->scale());
  }
  if (a && b) {
    check_sum(*a, *b, false);
    check_sum(*a, *b, true);
    check_product(*a, *b);
  }
  return 0;
}
