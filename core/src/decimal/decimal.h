// Decimal: an exact decimal number with a sign, a scale of 0..28 and a 96-bit unsigned mantissa.
//
// Value = (-1)^sign * mantissa / 10^scale. Representation and value are distinct: 0.5 (5, scale 1)
// and 0.50 (50, scale 2) are equal values with different representations. Comparison is by value;
// `bits()` exposes the exact 16-byte image (flags word, then the three mantissa words) for callers
// that key on the representation.
#pragma once

#include <algorithm>
#include <array>
#include <compare>
#include <cstdint>
#include <cstring>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "text/error.h"

namespace orvane {

__extension__ using u128 = unsigned __int128;

inline constexpr uint32_t kMaxScale = 28;
inline constexpr u128 kMaxMantissa = (u128{1} << 96) - 1;

namespace decimal_detail {
constexpr std::array<u128, 39> make_powers_of_ten() {
  std::array<u128, 39> powers{};
  u128 value = 1;
  for (auto& power : powers) {
    power = value;
    value *= 10;
  }
  return powers;
}
inline constexpr std::array<u128, 39> kPowersOfTen = make_powers_of_ten();
}  // namespace decimal_detail

// 10^n for n in 0..38 (all fit in 128 bits).
constexpr u128 pow10(uint32_t n) { return decimal_detail::kPowersOfTen[n]; }

class Decimal {
 public:
  // The 16-byte image: flags (scale in bits 16..23, sign in bit 31), then mantissa low, mid, high.
  using Bits = std::array<uint32_t, 4>;

  constexpr Decimal() = default;

  // `mantissa` must be at most kMaxMantissa and `scale` at most kMaxScale.
  static constexpr Decimal from_parts(u128 mantissa, uint32_t scale, bool negative) {
    Decimal d;
    d.flags_ = (scale << 16) | (negative ? kSignBit : 0u);
    const auto low = static_cast<uint64_t>(mantissa);  // split in 64 bits, as mantissa() joins
    d.lo_ = static_cast<uint32_t>(low);
    d.mid_ = static_cast<uint32_t>(low >> 32);
    d.hi_ = static_cast<uint32_t>(mantissa >> 64);
    return d;
  }

  static constexpr Decimal from_integer(int64_t value) {
    const bool negative = value < 0;
    const u128 magnitude = negative ? u128(-(value + 1)) + 1 : u128(value);
    return from_parts(magnitude, 0, negative);
  }

  // The low two words joined in 64 bits first: a 128-bit shift by 32 costs several instructions.
  constexpr u128 mantissa() const {
    return (u128(hi_) << 64) | ((uint64_t(mid_) << 32) | uint64_t(lo_));
  }
  constexpr uint32_t scale() const { return (flags_ >> 16) & 0xFF; }
  // Reads the sign flag: a negative zero is negative here but compares equal to zero.
  constexpr bool is_negative() const { return (flags_ & kSignBit) != 0; }
  constexpr bool is_zero() const { return lo_ == 0 && mid_ == 0 && hi_ == 0; }

  constexpr Bits bits() const { return {flags_, lo_, mid_, hi_}; }
  constexpr bool same_representation(const Decimal& other) const { return bits() == other.bits(); }

  constexpr Decimal negated() const {
    Decimal d = *this;
    d.flags_ ^= kSignBit;
    return d;
  }

  // Numeric comparison: -0 == 0, 0.5 == 0.50.
  friend constexpr std::strong_ordering compare(const Decimal& a, const Decimal& b) {
    // Same scale and sign, as the prices of one side or its sizes usually are: the mantissas
    // decide (zeros included: -0 against -5 is greater, 0 against 0 equal).
    if (a.flags_ == b.flags_) {
      const std::strong_ordering magnitude = a.mantissa() <=> b.mantissa();
      return a.is_negative() ? 0 <=> magnitude : magnitude;
    }
    const bool a_zero = a.is_zero();
    const bool b_zero = b.is_zero();
    const bool a_neg = a.is_negative() && !a_zero;
    const bool b_neg = b.is_negative() && !b_zero;
    // Against zero only the sign matters (sizes are tested against zero constantly).
    if (b_zero)
      return a_zero  ? std::strong_ordering::equal
             : a_neg ? std::strong_ordering::less
                     : std::strong_ordering::greater;
    if (a_zero) return b_neg ? std::strong_ordering::greater : std::strong_ordering::less;
    if (a_neg != b_neg) return a_neg ? std::strong_ordering::less : std::strong_ordering::greater;
    const std::strong_ordering magnitude = compare_magnitude(a, b);
    return a_neg ? 0 <=> magnitude : magnitude;
  }
  friend constexpr std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) {
    return compare(a, b);
  }
  friend constexpr bool operator==(const Decimal& a, const Decimal& b) {
    return compare(a, b) == 0;
  }

 private:
  static constexpr uint32_t kSignBit = 0x80000000u;

  // Compares |a| and |b| exactly without leaving 128 bits: the operand with the larger scale is
  // divided down rather than the other multiplied up.
  static constexpr std::strong_ordering compare_magnitude(const Decimal& a, const Decimal& b) {
    const u128 ma = a.mantissa();
    const u128 mb = b.mantissa();
    const uint32_t sa = a.scale();
    const uint32_t sb = b.scale();
    if (sa == sb) return ma <=> mb;
    // Mantissas below 2^96 times 10^k for k <= 9 stay below 2^127: scale the smaller side up.
    if (sa < sb && sb - sa <= 9) return ma * pow10(sb - sa) <=> mb;
    if (sb < sa && sa - sb <= 9) return ma <=> mb * pow10(sa - sb);
    if (sa < sb) {
      const u128 unit = pow10(sb - sa);
      const u128 whole = mb / unit;
      if (ma != whole) return ma <=> whole;
      return mb % unit == 0 ? std::strong_ordering::equal : std::strong_ordering::less;
    }
    const u128 unit = pow10(sa - sb);
    const u128 whole = ma / unit;
    if (whole != mb) return whole <=> mb;
    return ma % unit == 0 ? std::strong_ordering::equal : std::strong_ordering::greater;
  }

  uint32_t flags_ = 0;
  uint32_t lo_ = 0;
  uint32_t mid_ = 0;
  uint32_t hi_ = 0;
};

static_assert(sizeof(Decimal) == 16);

// Orders Decimals by numeric value, for ordered maps keyed by price.
struct ValueLess {
  constexpr bool operator()(const Decimal& a, const Decimal& b) const { return a < b; }
};

// The one text grammar: plain notation, then scientific notation with rounding when the text holds
// "e" or "E", then strict scientific notation. Does not trim. Errors: kInvalidDecimal with the
// reason text, for example "Failed to parse" or "Invalid decimal: unknown character".
std::expected<Decimal, Error> parse(std::string_view text);

// The usual text of a price or size from `text` at `at` on: ASCII digits with at most one point, up
// to the first other character (a second point included), where `at` is left. Nothing (`at`
// anywhere) when there is no digit or more than 19.
inline std::optional<Decimal> read_simple(std::string_view text, size_t& at) {
  // 21 characters are enough to see that a text has too many digits; 19 digits fit 64 bits, and
  // what a longer run left in `mantissa` is never used.
  const char* const start = text.data() + at;
  const char* const limit = text.data() + std::min(text.size(), at + 21);
  const char* next = start;
  uint64_t mantissa = 0;
  const auto read_digits = [&] {
    for (; next < limit; ++next) {
      const auto digit = static_cast<unsigned>(static_cast<unsigned char>(*next) - '0');
      if (digit >= 10) break;
      mantissa = mantissa * 10 + digit;
    }
  };
  read_digits();
  const char* point = nullptr;
  if (next < limit && *next == '.') {
    point = next++;
    read_digits();
  }
  at = static_cast<size_t>(next - text.data());
  const auto digits = static_cast<size_t>(next - start) - (point != nullptr ? 1 : 0);
  if (digits == 0 || digits > 19) return std::nullopt;
  const auto scale = static_cast<uint32_t>(point != nullptr ? next - point - 1 : 0);
  return Decimal::from_parts(mantissa, scale, false);
}

// `read_simple` of the whole text: nothing for any other text (a sign, underscore, exponent or
// white space). What it reads, `parse` reads the same way.
inline std::optional<Decimal> parse_simple(std::string_view text) {
  size_t at = 0;
  const auto value = read_simple(text, at);
  return at == text.size() ? value : std::nullopt;
}

// 1 - value at the value's scale, exactly (a zero is positive, as 1 - 1.00 is): 10^scale and the
// mantissa are both below 2^96, so only a negative value's sum can fail to fit, giving nothing.
constexpr std::optional<Decimal> one_minus(const Decimal& value) {
  const u128 one = pow10(value.scale());
  const u128 mantissa = value.mantissa();
  if (value.is_negative()) {
    if (one + mantissa > kMaxMantissa) return std::nullopt;
    return Decimal::from_parts(one + mantissa, value.scale(), false);
  }
  return mantissa <= one ? Decimal::from_parts(one - mantissa, value.scale(), false)
                         : Decimal::from_parts(mantissa - one, value.scale(), true);
}

// `parse`, refusing (kInvalidDecimal, kInexact) a text whose value it would have to round (digits
// other than zero beyond what the Decimal holds), for callers that must be exact or nothing.
inline constexpr std::string_view kInexact = "Inexact decimal: more digits than a Decimal holds";
std::expected<Decimal, Error> parse_exact(std::string_view text);

// Canonical text: optional "-", integer digits, and exactly `scale` fractional digits after a point
// when the scale is above zero. Never an exponent.
std::string to_text(const Decimal& value);

// Exact sum at the larger scale; when that does not fit 96 bits, the fewest fractional digits are
// dropped with half-even rounding. Errors: kOverflow ("Addition overflowed" / "Subtraction
// overflowed") only when the result does not fit even at scale 0.
std::expected<Decimal, Error> add(const Decimal& a, const Decimal& b);
std::expected<Decimal, Error> sub(const Decimal& a, const Decimal& b);

// The same value with trailing fractional zeros removed.
Decimal normalize(const Decimal& value);

}  // namespace orvane
