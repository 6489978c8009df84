// Router arithmetic: exact-or-nothing sums and products for pricing a trade.
//
// The router must give the same answers as Python's decimal arithmetic in its default 28-digit
// context, where any rounding is an error. So these operations never round: they return the exact
// result, or nothing when that result needs rounding, rescaling or more than 28 significant digits.
// The caller turns "nothing" into "no answer" rather than an approximate one.
#pragma once

#include <optional>

#include "decimal/decimal.h"

namespace orvane::router {

// Named exact_*: orvane::add, the rounding sum of decimal/decimal.h, is a different operation.

// Most significant digits a result may have: the precision of Python's default decimal context.
// Digits are counted on the mantissa, trailing zeros included (1.0000000000000000000000000000 with
// 28 places has 29 and is refused).
inline constexpr uint32_t kMaxDigits = 28;

// The exact a + b at scale max(scale(a), scale(b)), or nothing when its mantissa would reach 10^28.
// A zero sum is zero at that scale, negative only when both operands carry the sign flag.
// Examples: 0.45 + 0.010 = 0.460; 1 + (-1) = 0; 0.5500 + (-0.05) = 0.5000.
std::optional<Decimal> exact_add(const Decimal& a, const Decimal& b);

// The exact a * b at scale scale(a) + scale(b), negative when exactly one operand is (0 x -1 is a
// negative zero), or nothing when that scale exceeds 28 or the mantissa would reach 10^28. Nothing
// also when rescaling would only drop zeros: 1e-13 x 1e-16 has scale 29 and is refused.
// Examples: 0.5 x 10 = 5.0; 0.55 x 3 = 1.65.
std::optional<Decimal> exact_mul(const Decimal& a, const Decimal& b);

// a - b is exact_add(a, negate(b)): sign changes are made on the sign flag, never with arithmetic.
constexpr Decimal negate(const Decimal& value) { return value.negated(); }

// The operand with its sign flag cleared.
constexpr Decimal abs(const Decimal& value) {
  return Decimal::from_parts(value.mantissa(), value.scale(), false);
}

}  // namespace orvane::router
