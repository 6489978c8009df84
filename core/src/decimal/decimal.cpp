#include "decimal/decimal.h"

#include <array>
#include <cstring>
#include <limits>

namespace orvane {
namespace {

// Parse failures are small values until the very end, so that no text is built while the grammar
// is still trying its alternatives.
enum class Reason : uint8_t {
  kEmpty,
  kNoDigits,
  kLeadUnderscore,
  kTwoPoints,
  kUnknownCharacter,
  kTooManyDigits,
  kRoundingOverflow,
  kFailedToParse,
  kScaleExceeds,
  kExceedsMaximum,
};

struct Failure {
  Reason reason;
  uint64_t detail = 0;  // the offending scale of kScaleExceeds
};

std::unexpected<Failure> fail(Reason reason, uint64_t detail = 0) {
  return std::unexpected(Failure{reason, detail});
}

// A mantissa as read, before an exponent is applied: its scale may exceed kMaxScale.
struct Parts {
  u128 mantissa;
  uint32_t scale;
  bool negative;
  bool inexact = false;  // rounding dropped a digit other than zero
};

using Parsed = std::expected<Parts, Failure>;

// 10^n for n in 0..28, the only powers the arithmetic below needs.
constexpr auto kPow10 = [] {
  std::array<u128, kMaxScale + 1> table{};
  for (uint32_t n = 0; n <= kMaxScale; ++n) table[n] = pow10(n);
  return table;
}();

constexpr bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// `p` points at the first digit that cannot be kept (a point has been seen): the value is rounded
// by that digit alone, and what follows may only be more dropped digits or underscores.
Parsed round_dropped(Parts parts, const char* p, const char* end) {
  for (const char* q = p; q != end && !parts.inexact; ++q) parts.inexact = *q >= '1' && *q <= '9';
  if (*p >= '5') {
    ++parts.mantissa;
    if (parts.mantissa > kMaxMantissa) {
      if (parts.scale == 0) return fail(Reason::kRoundingOverflow);
      // Only 2^96 - 1 (last digit 5) gets here: give up one more fractional digit instead,
      // rounding it the same way.
      const u128 kept = kMaxMantissa / 10;
      parts.mantissa = kMaxMantissa % 10 >= 5 ? kept + 1 : kept;
      --parts.scale;
    }
  }
  for (++p; p != end; ++p) {
    if (is_digit(*p) || *p == '_') continue;
    return fail(*p == '.' ? Reason::kTwoPoints : Reason::kUnknownCharacter);
  }
  return parts;
}

// Plain notation, keeping at most `max_scale` fractional digits.
Parsed parse_plain(std::string_view text, uint32_t max_scale) {
  const char* p = text.data();
  const char* const end = p + text.size();
  if (p == end) return fail(Reason::kEmpty);
  bool negative = false;
  if (*p == '-' || *p == '+') {
    negative = *p == '-';
    ++p;
  }
  bool point = false;
  // Up to the first digit only a single point may appear.
  for (;; ++p) {
    if (p == end) return fail(Reason::kNoDigits);
    if (is_digit(*p)) break;
    if (*p == '.') {
      if (point) return fail(Reason::kTwoPoints);
      point = true;
    } else {
      return fail(*p == '_' ? Reason::kLeadUnderscore : Reason::kUnknownCharacter);
    }
  }

  // 19 digits always fit 64 bits and stay below both the mantissa and the scale limit, so the
  // common case runs without range checks. A smaller scale limit skips straight to the checked
  // loop.
  const uint32_t unchecked_digits = max_scale >= 19 ? 19 : 0;
  uint64_t small = 0;
  uint32_t digits = 0;
  uint32_t scale = 0;
  for (; p != end; ++p) {
    const char c = *p;
    if (is_digit(c)) {
      if (digits == unchecked_digits) break;
      small = small * 10 + static_cast<uint64_t>(c - '0');
      ++digits;
      scale += point ? 1 : 0;
    } else if (c == '.') {
      if (point) return fail(Reason::kTwoPoints);
      point = true;
    } else if (c != '_') {
      return fail(Reason::kUnknownCharacter);
    }
  }

  Parts parts{small, scale, negative};
  for (; p != end; ++p) {
    const char c = *p;
    if (is_digit(c)) {
      if (point && parts.scale == max_scale) return round_dropped(parts, p, end);
      const u128 next = parts.mantissa * 10 + static_cast<u128>(c - '0');
      if (next > kMaxMantissa) {
        if (!point) return fail(Reason::kTooManyDigits);
        return round_dropped(parts, p, end);
      }
      parts.mantissa = next;
      parts.scale += point ? 1 : 0;
    } else if (c == '.') {
      if (point) return fail(Reason::kTwoPoints);
      point = true;
    } else if (c != '_') {
      return fail(Reason::kUnknownCharacter);
    }
  }
  return parts;
}

// Scientific notation. Strict mode keeps at most 28 fractional digits in the mantissa and refuses
// a result beyond scale 28. Rounding mode sizes the mantissa's digit limit by the exponent instead,
// so that the one rounding happens there, by the first dropped digit exactly as in plain notation,
// and a digit the exponent brings back into range is never lost (0.<29 digits>e1 keeps all 29).
Parsed parse_scientific(std::string_view text, bool round) {
  const size_t marker = text.find_first_of("eE");
  if (marker == std::string_view::npos) return fail(Reason::kFailedToParse);

  // The exponent is read first only to size the mantissa's limit; the mantissa's own failures are
  // still reported before the exponent's.
  std::string_view exponent_text = text.substr(marker + 1);
  bool negative_exponent = false;
  if (!exponent_text.empty() && (exponent_text[0] == '+' || exponent_text[0] == '-')) {
    negative_exponent = exponent_text[0] == '-';
    exponent_text.remove_prefix(1);
  }
  bool exponent_valid = !exponent_text.empty();
  uint64_t exponent = 0;
  for (const char c : exponent_text) {
    if (!is_digit(c)) {
      exponent_valid = false;
      break;
    }
    exponent = exponent * 10 + static_cast<uint64_t>(c - '0');
    if (exponent > std::numeric_limits<uint32_t>::max()) {
      exponent_valid = false;
      break;
    }
  }

  uint32_t max_scale = kMaxScale;
  if (round && exponent_valid && exponent <= kMaxScale) {
    const auto shift = static_cast<uint32_t>(exponent);
    max_scale = negative_exponent ? kMaxScale - shift : kMaxScale + shift;
  }
  Parsed base = parse_plain(text.substr(0, marker), max_scale);
  if (!base) return base;
  if (!exponent_valid) return fail(Reason::kFailedToParse);

  Parts& parts = *base;
  if (negative_exponent) {
    if (exponent > kMaxScale) return fail(Reason::kScaleExceeds, exponent);
    parts.scale += static_cast<uint32_t>(exponent);
    if (parts.scale > kMaxScale) {
      // Rounding mode has already limited the mantissa's digits accordingly.
      return fail(Reason::kScaleExceeds, parts.scale);
    }
    return parts;
  }
  if (exponent <= parts.scale) {
    parts.scale -= static_cast<uint32_t>(exponent);
    return parts;
  }
  if (exponent > kMaxScale) return fail(Reason::kScaleExceeds, exponent);
  const u128 factor = kPow10[static_cast<uint32_t>(exponent) - parts.scale];
  if (parts.mantissa > kMaxMantissa / factor) return fail(Reason::kExceedsMaximum);
  // Scale 0 has no fractional zeros to normalise away.
  return Parts{parts.mantissa * factor, 0, parts.negative, parts.inexact};
}

std::string reason_text(const Failure& failure) {
  switch (failure.reason) {
    case Reason::kEmpty:
      return "Invalid decimal: empty";
    case Reason::kNoDigits:
      return "Invalid decimal: no digits found";
    case Reason::kLeadUnderscore:
      return "Invalid decimal: must start lead with a number";
    case Reason::kTwoPoints:
      return "Invalid decimal: two decimal points";
    case Reason::kUnknownCharacter:
      return "Invalid decimal: unknown character";
    case Reason::kTooManyDigits:
      return "Invalid decimal: overflow from too many digits";
    case Reason::kRoundingOverflow:
      return "Invalid decimal: overflow from mantissa after rounding";
    case Reason::kFailedToParse:
      break;
    case Reason::kScaleExceeds:
      return "Scale exceeds the maximum precision allowed: " + std::to_string(failure.detail) +
             " > " + std::to_string(kMaxScale);
    case Reason::kExceedsMaximum:
      return "Number exceeds maximum value that can be represented.";
  }
  return "Failed to parse";
}

Decimal to_decimal(const Parts& parts) {
  return Decimal::from_parts(parts.mantissa, parts.scale, parts.negative);
}

// Everything after a failed plain parse: kept out of line so that the hot path stays small.
[[gnu::noinline, gnu::cold]] std::expected<Decimal, Error> parse_fallback(std::string_view text) {
  if (text.find_first_of("eE") != std::string_view::npos) {
    if (const Parsed rounded = parse_scientific(text, true)) return to_decimal(*rounded);
  }
  const Parsed strict = parse_scientific(text, false);
  if (strict) return to_decimal(*strict);
  return std::unexpected(Error(ErrorCode::kInvalidDecimal, reason_text(strict.error())));
}

// An unsigned integer of up to 192 bits, three 64-bit limbs, least significant first: wide enough
// for a 96-bit mantissa aligned by up to 28 decimal places (< 2^190) plus another one.
struct Wide {
  uint64_t limb[3] = {0, 0, 0};

  static Wide from(u128 value) {
    return Wide{{static_cast<uint64_t>(value), static_cast<uint64_t>(value >> 64), 0}};
  }

  // value * 10^digits, for value < 2^96 and digits <= 28 (10^28 < 2^94).
  static Wide scaled(u128 value, uint32_t digits) {
    const u128 factor = kPow10[digits];
    const u128 v0 = static_cast<uint64_t>(value), v1 = value >> 64;
    const u128 f0 = static_cast<uint64_t>(factor), f1 = factor >> 64;
    const u128 low = v0 * f0;
    const u128 middle = (low >> 64) + v0 * f1 + v1 * f0;  // < 2^64 + 2^94 + 2^96
    const u128 high = (middle >> 64) + v1 * f1;
    return Wide{
        {static_cast<uint64_t>(low), static_cast<uint64_t>(middle), static_cast<uint64_t>(high)}};
  }

  bool fits_mantissa() const { return limb[2] == 0 && to_u128() <= kMaxMantissa; }
  u128 to_u128() const { return (u128(limb[1]) << 64) | limb[0]; }

  friend bool operator<(const Wide& a, const Wide& b) {
    for (int i = 2; i >= 0; --i) {
      if (a.limb[i] != b.limb[i]) return a.limb[i] < b.limb[i];
    }
    return false;
  }

  friend Wide operator+(const Wide& a, const Wide& b) {
    Wide sum;
    u128 carry = 0;
    for (int i = 0; i < 3; ++i) {
      carry += u128(a.limb[i]) + b.limb[i];
      sum.limb[i] = static_cast<uint64_t>(carry);
      carry >>= 64;
    }
    return sum;
  }

  // Needs a >= b.
  friend Wide operator-(const Wide& a, const Wide& b) {
    Wide difference;
    uint64_t borrow = 0;
    for (int i = 0; i < 3; ++i) {
      const uint64_t x = a.limb[i];
      const uint64_t y = b.limb[i];
      difference.limb[i] = x - y - borrow;
      borrow = (x < y || (x == y && borrow)) ? 1 : 0;
    }
    return difference;
  }

  // Divides by ten in place and returns the remainder.
  unsigned divide_by_ten() {
    u128 remainder = 0;
    for (int i = 2; i >= 0; --i) {
      const u128 current = (remainder << 64) | limb[i];
      limb[i] = static_cast<uint64_t>(current / 10);
      remainder = current % 10;
    }
    return static_cast<unsigned>(remainder);
  }
};

// The exact magnitude at `scale` does not fit 96 bits: drop the fewest fractional digits that make
// it fit, rounding half to even on everything dropped.
std::expected<Decimal, Error> reduce(Wide magnitude, uint32_t scale, bool negative,
                                     const char* overflow) {
  unsigned first_dropped = 0;  // the most significant dropped digit
  bool rest_nonzero = false;   // any dropped digit below it
  while (scale > 0) {
    rest_nonzero = rest_nonzero || first_dropped != 0;
    first_dropped = magnitude.divide_by_ten();
    --scale;
    if (!magnitude.fits_mantissa()) continue;
    u128 kept = magnitude.to_u128();
    const bool up = first_dropped > 5 || (first_dropped == 5 && (rest_nonzero || (kept & 1)));
    if (up) {
      // Rounding up past the limit: keep dropping, still from the exact digits.
      if (kept == kMaxMantissa) continue;
      ++kept;
    }
    return Decimal::from_parts(kept, scale, negative);
  }
  return std::unexpected(Error(ErrorCode::kOverflow, overflow));
}

std::expected<Decimal, Error> add_signed(const Decimal& a, const Decimal& b, bool b_negative,
                                         const char* overflow) {
  const bool a_negative = a.is_negative();
  const uint32_t scale = a.scale() > b.scale() ? a.scale() : b.scale();
  const uint32_t a_shift = scale - a.scale();
  const uint32_t b_shift = scale - b.scale();
  // A zero sum is negative only when both operands are (as in IEEE and Python's decimal).
  const bool both_negative = a_negative && b_negative;

  // Aligning by at most 9 places keeps both terms below 2^126: plain 128-bit arithmetic is exact.
  if (a_shift <= 9 && b_shift <= 9) {
    const u128 x = a.mantissa() * kPow10[a_shift];
    const u128 y = b.mantissa() * kPow10[b_shift];
    u128 magnitude;
    bool negative;
    if (a_negative == b_negative) {
      magnitude = x + y;
      negative = a_negative;
    } else if (x >= y) {
      magnitude = x - y;
      negative = magnitude == 0 ? both_negative : a_negative;
    } else {
      magnitude = y - x;
      negative = b_negative;
    }
    if (magnitude <= kMaxMantissa) return Decimal::from_parts(magnitude, scale, negative);
    return reduce(Wide::from(magnitude), scale, negative, overflow);
  }

  const Wide x = Wide::scaled(a.mantissa(), a_shift);
  const Wide y = Wide::scaled(b.mantissa(), b_shift);
  Wide magnitude;
  bool negative;
  if (a_negative == b_negative) {
    magnitude = x + y;
    negative = a_negative;
  } else if (!(x < y)) {
    magnitude = x - y;
    negative = a_negative;
  } else {
    magnitude = y - x;
    negative = b_negative;
  }
  if (magnitude.fits_mantissa()) {
    const u128 value = magnitude.to_u128();
    return Decimal::from_parts(value, scale, value == 0 ? both_negative : negative);
  }
  return reduce(magnitude, scale, negative, overflow);
}

}  // namespace

std::expected<Decimal, Error> parse(std::string_view text) {
  if (const auto simple = parse_simple(text)) return *simple;
  if (const Parsed plain = parse_plain(text, kMaxScale)) return to_decimal(*plain);
  return parse_fallback(text);
}

std::expected<Decimal, Error> parse_exact(std::string_view text) {
  if (const Parsed plain = parse_plain(text, kMaxScale)) {
    if (plain->inexact)
      return std::unexpected(Error(ErrorCode::kInvalidDecimal, std::string(kInexact)));
    return to_decimal(*plain);
  }
  if (text.find_first_of("eE") != std::string_view::npos) {
    if (const Parsed rounded = parse_scientific(text, true)) {
      if (rounded->inexact)
        return std::unexpected(Error(ErrorCode::kInvalidDecimal, std::string(kInexact)));
      return to_decimal(*rounded);
    }
  }
  return parse_fallback(text);
}

std::string to_text(const Decimal& value) {
  // Written right to left into one buffer (29 digits, padding, point and sign fit), then copied
  // once. Below 2^64 the divisions are 64-bit ones.
  char buffer[40];
  char* const end = buffer + sizeof buffer;
  char* p = end;
  u128 mantissa = value.mantissa();
  while (mantissa > std::numeric_limits<uint64_t>::max()) {
    constexpr u128 kChunk = pow10(19);
    uint64_t chunk = static_cast<uint64_t>(mantissa % kChunk);
    mantissa /= kChunk;
    for (int i = 0; i < 19; ++i, chunk /= 10) *--p = static_cast<char>('0' + chunk % 10);
  }
  uint64_t rest = static_cast<uint64_t>(mantissa);
  do {
    *--p = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);

  const uint32_t scale = value.scale();
  if (scale > 0) {
    // At least one integer digit (5 at scale 3 is 0.005), then the point slides in before the
    // last `scale` digits.
    while (static_cast<uint32_t>(end - p) <= scale) *--p = '0';
    const auto whole = static_cast<size_t>(end - p) - scale;
    std::memmove(p - 1, p, whole);
    --p;
    p[whole] = '.';
  }
  if (value.is_negative()) *--p = '-';
  return std::string(p, end);
}

std::expected<Decimal, Error> add(const Decimal& a, const Decimal& b) {
  return add_signed(a, b, b.is_negative(), "Addition overflowed");
}

std::expected<Decimal, Error> sub(const Decimal& a, const Decimal& b) {
  return add_signed(a, b, !b.is_negative(), "Subtraction overflowed");
}

Decimal normalize(const Decimal& value) {
  u128 mantissa = value.mantissa();
  uint32_t scale = value.scale();
  while (scale > 0 && mantissa % 10 == 0) {
    mantissa /= 10;
    --scale;
  }
  return Decimal::from_parts(mantissa, scale, value.is_negative());
}

}  // namespace orvane
