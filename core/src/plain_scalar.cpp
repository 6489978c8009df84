#include "plain_scalar.h"

#include <charconv>
#include <cstdint>
#include <string>

namespace orvane {

namespace {

std::optional<JsonValue> number(std::string_view token) {
  const char* first = token.data();
  const char* last = first + token.size();
  if (token.find('.') == std::string_view::npos) {
    // An integer outside both 64-bit ranges becomes a double, as in the general reader.
    if (token.front() == '-') {
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
  if (error != std::errc() || end != last) return std::nullopt;
  return JsonValue::floating(value);
}

}  // namespace

std::optional<JsonValue> plain_scalar(std::string_view token) {
  if (token.empty()) return std::nullopt;
  switch (token.front()) {
    case '"':
      return JsonValue::string(std::string(token.substr(1, token.size() - 2)));
    case 't':
      return JsonValue::boolean(true);
    case 'f':
      return JsonValue::boolean(false);
    case 'n':
      return JsonValue::null();
    case '[':
    case '{':
      return std::nullopt;
    default:
      return number(token);
  }
}

}  // namespace orvane
