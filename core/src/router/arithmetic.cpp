#include "router/arithmetic.h"

#include <array>

namespace orvane::router {
namespace {

constexpr u128 kDigitLimit = pow10(kMaxDigits);  // first mantissa with 29 digits

// Any aligned operand at or past this bound cannot give an acceptable sum: the other operand is
// below 2^96, so the sum stays far above 10^28. Keeps the alignment inside 128 bits.
constexpr u128 kAlignLimit = u128{1} << 100;

// kAlignLimit / 10^shift for each shift an add can need: a table, since a 128-bit division on every
// add is most of its cost.
constexpr std::array<u128, kMaxScale + 1> kAlignBounds = [] {
  std::array<u128, kMaxScale + 1> bounds{};
  for (uint32_t shift = 0; shift <= kMaxScale; ++shift) bounds[shift] = kAlignLimit / pow10(shift);
  return bounds;
}();

}  // namespace

std::optional<Decimal> exact_add(const Decimal& a, const Decimal& b) {
  // Only the operand of the smaller scale is aligned, and only when the scales differ.
  const uint32_t sa = a.scale();
  const uint32_t sb = b.scale();
  u128 ma = a.mantissa();
  u128 mb = b.mantissa();
  uint32_t scale = sa;
  if (sa < sb) {
    if (ma >= kAlignBounds[sb - sa]) return std::nullopt;
    ma *= pow10(sb - sa);
    scale = sb;
  } else if (sb < sa) {
    if (mb >= kAlignBounds[sa - sb]) return std::nullopt;
    mb *= pow10(sa - sb);
  }

  u128 sum;
  bool negative;
  if (a.is_negative() == b.is_negative()) {
    sum = ma + mb;  // both below 2^100: no wrap
    negative = a.is_negative();
  } else if (ma >= mb) {
    sum = ma - mb;
    negative = a.is_negative() && sum != 0;
  } else {
    sum = mb - ma;
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
  // Two 64-bit mantissas (the usual case) multiply within 128 bits and are checked afterwards.
  if (ma >> 64 == 0 && mb >> 64 == 0) {
    const u128 product = ma * mb;
    if (product >= kDigitLimit) return std::nullopt;
    return Decimal::from_parts(product, scale, negative);
  }
  // ma * mb < 10^28 exactly when ma <= (10^28 - 1) / mb; checked before multiplying since the full
  // product can need 192 bits.
  if (ma > (kDigitLimit - 1) / mb) return std::nullopt;
  return Decimal::from_parts(ma * mb, scale, negative);
}

}  // namespace orvane::router
