#include "json/number.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace orvane {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The parts of a token in the JSON number grammar -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
struct NumberParts {
  bool negative = false;
  std::string_view integer;   // digits before the point
  std::string_view fraction;  // digits after it, possibly none
  std::string_view exponent;  // with its sign, possibly none
};

std::optional<NumberParts> split(std::string_view token) {
  NumberParts parts;
  std::size_t i = 0;
  const auto run_of_digits = [&] {
    const std::size_t start = i;
    while (i < token.size() && is_digit(token[i])) ++i;
    return token.substr(start, i - start);
  };
  if (i < token.size() && token[i] == '-') {
    parts.negative = true;
    ++i;
  }
  parts.integer = run_of_digits();
  if (parts.integer.empty() || (parts.integer.size() > 1 && parts.integer[0] == '0')) {
    return std::nullopt;
  }
  if (i < token.size() && token[i] == '.') {
    ++i;
    parts.fraction = run_of_digits();
    if (parts.fraction.empty()) return std::nullopt;
  }
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    const std::size_t start = ++i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
    if (run_of_digits().empty()) return std::nullopt;
    parts.exponent = token.substr(start, i - start);
  }
  if (i != token.size()) return std::nullopt;
  return parts;
}

// Whether a number whose double is out of range is tiny rather than huge: the decimal exponent of
// its first significant digit is negative. The token's exponent saturates, so that any length of
// exponent digits decides correctly.
bool below_one(const NumberParts& parts) {
  int64_t exponent = 0;
  bool exponent_negative = false;
  std::string_view digits = parts.exponent;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    exponent_negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  constexpr int64_t kSaturated = int64_t{1} << 40;
  for (char c : digits) exponent = std::min(kSaturated, exponent * 10 + (c - '0'));
  if (exponent_negative) exponent = -exponent;
  int64_t leading;  // the decimal exponent of the first significant digit, before `exponent`
  if (parts.integer != "0") {
    leading = static_cast<int64_t>(parts.integer.size()) - 1;
  } else {
    const std::size_t first = parts.fraction.find_first_not_of('0');
    leading = -static_cast<int64_t>(first == std::string_view::npos ? 0 : first) - 1;
  }
  return leading + exponent < 0;
}

}  // namespace

std::optional<JsonValue> json_number(std::string_view token) {
  // The usual integer (a sequence number, a time in milliseconds): up to 19 digits, no leading
  // zero, which always fit 64 bits.
  if (!token.empty() && token.size() <= 19 && (token[0] != '0' || token.size() == 1)) {
    uint64_t value = 0;
    std::size_t i = 0;
    for (; i < token.size() && is_digit(token[i]); ++i)
      value = value * 10 + uint64_t(token[i] - '0');
    if (i == token.size()) return JsonValue::unsigned_integer(value);
  }
  const auto parts = split(token);
  if (!parts) return std::nullopt;
  const char* first = token.data();
  const char* last = first + token.size();
  if (parts->fraction.empty() && parts->exponent.empty()) {
    // An integer outside both 64-bit ranges becomes a double.
    if (parts->negative) {
      int64_t value = 0;
      if (std::from_chars(first, last, value).ec == std::errc()) return JsonValue::integer(value);
    } else {
      uint64_t value = 0;
      if (std::from_chars(first, last, value).ec == std::errc()) {
        return JsonValue::unsigned_integer(value);
      }
    }
  }
  double value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error == std::errc::result_out_of_range && below_one(*parts)) {
    return JsonValue::floating(parts->negative ? -0.0 : 0.0);
  }
  if (error != std::errc() || end != last) return std::nullopt;
  return JsonValue::floating(value);
}

}  // namespace orvane
