#include "router/arithmetic.h"

namespace orvane::router {
namespace {

constexpr u128 kDigitLimit = pow10(kMaxDigits);  // first mantissa with 29 digits

// Any aligned operand at or past this bound cannot give an acceptable sum: the other operand is
// below 2^96, so the sum stays far above 10^28. Keeps the alignment inside 128 bits.
constexpr u128 kAlignLimit = u128{1} << 100;

// mantissa * 10^shift, or nothing when that reaches kAlignLimit.
std::optional<u128> align(u128 mantissa, uint32_t shift) {
  if (shift == 0) return mantissa;
  const u128 unit = pow10(shift);
  if (mantissa >= kAlignLimit / unit) return std::nullopt;
  return mantissa * unit;
}

}  // namespace

std::optional<Decimal> exact_add(const Decimal& a, const Decimal& b) {
  const uint32_t scale = a.scale() > b.scale() ? a.scale() : b.scale();
  const std::optional<u128> ma = align(a.mantissa(), scale - a.scale());
  const std::optional<u128> mb = align(b.mantissa(), scale - b.scale());
  if (!ma || !mb) return std::nullopt;

  u128 sum;
  bool negative;
  if (a.is_negative() == b.is_negative()) {
    sum = *ma + *mb;  // both below 2^100: no wrap
    negative = a.is_negative();
  } else if (*ma >= *mb) {
    sum = *ma - *mb;
    negative = a.is_negative() && sum != 0;
  } else {
    sum = *mb - *ma;
    negative = b.is_negative();
  }
  if (sum >= kDigitLimit) return std::nullopt;
  return Decimal::from_parts(sum, scale, negative);
}

std::optional<Decimal> exact_mul(const Decimal& a, const Decimal& b) {
  const uint32_t scale = a.scale() + b.scale();
  if (scale > kMaxScale) return std::nullopt;
  const bool negative = a.is_negative() != b.is_negative();
  const u128 ma = a.mantissa();
  const u128 mb = b.mantissa();
  if (ma == 0 || mb == 0) return Decimal::from_parts(0, scale, negative);
  // ma * mb < 10^28 exactly when ma <= (10^28 - 1) / mb; checked before multiplying since the full
  // product can need 192 bits.
  if (ma > (kDigitLimit - 1) / mb) return std::nullopt;
  return Decimal::from_parts(ma * mb, scale, negative);
}

}  // namespace orvane::router
