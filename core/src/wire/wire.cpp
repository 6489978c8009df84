#include "wire/wire.h"

#include <limits>

#include "json/parse.h"
#include "json/string.h"
#include "json/text.h"
#include "text/quoted.h"

namespace orvane::wire {
namespace {

constexpr int64_t kMillisecondsFrom = 100'000'000'000;  // above this a timestamp is in milliseconds

std::unexpected<Error> frame_error(std::string text) {
  return std::unexpected(Error(ErrorCode::kMalformedFrame, std::move(text)));
}

std::unexpected<Error> not_a_decimal(const JsonValue& v) {
  std::string message = "not a decimal: ";
  append_compact_text(message, v);
  return frame_error(std::move(message));
}

std::unexpected<Error> missing(std::string_view name) {
  std::string message = "missing ";
  append_quoted_form(message, name);
  return frame_error(std::move(message));
}

std::unexpected<Error> not_an_integer(const std::string& shown) {
  return frame_error("not an integer: " + shown);
}

std::expected<std::optional<int64_t>, Error> to_milliseconds(int64_t n) {
  if (n > kMillisecondsFrom) return n;
  int64_t ms;
  if (__builtin_mul_overflow(n, int64_t{1000}, &ms)) {
    return frame_error("timestamp out of range: " + std::to_string(n));
  }
  return ms;
}

// A string value's timestamp: the empty string has none.
std::expected<std::optional<int64_t>, Error> string_ms(std::string_view content) {
  if (content.empty()) return std::nullopt;
  const auto n = parse_int(content);
  if (!n) return std::unexpected(n.error());
  return to_milliseconds(*n);
}

bool is_string_literal(Raw raw) { return raw && !raw->empty() && raw->front() == '"'; }

}  // namespace

std::expected<Decimal, Error> parse_decimal(std::string_view text) {
  // The usual text has no white space to trim.
  if (const auto simple = parse_simple(text)) return *simple;
  const std::string_view trimmed = trim_white_space(text);
  auto parsed = parse(trimmed);
  if (parsed) return *parsed;
  std::string message = "not a decimal: ";
  append_quoted_form(message, trimmed);
  message += " (";
  message += parsed.error().text;
  message += ')';
  return std::unexpected(Error(ErrorCode::kInvalidDecimal, std::move(message)));
}

std::expected<Decimal, Error> plain_decimal(const JsonValue& v) {
  switch (v.kind()) {
    case JsonKind::String:
      return parse_decimal(v.as_string());
    case JsonKind::Unsigned:
    case JsonKind::Negative:
    case JsonKind::Float:
      return parse_decimal(number_text(v));
    default:
      return not_a_decimal(v);
  }
}

std::expected<Decimal, Error> decimal(const JsonValue& v) {
  if (v.kind() != JsonKind::Object) return plain_decimal(v);
  const JsonValue* inner = v.find("value");
  return inner != nullptr ? plain_decimal(*inner) : not_a_decimal(JsonValue::null());
}

std::expected<Decimal, Error> decimal_at(const JsonValue& v, std::string_view name) {
  const JsonValue* member = v.find(name);
  if (member == nullptr) return missing(name);
  return decimal(*member);
}

std::expected<Decimal, Error> decimal_raw(Raw raw, std::string_view name) {
  if (!raw) return missing(name);
  if (is_string_literal(raw)) {
    std::string scratch;
    const auto content = decode_json_string(*raw, scratch);
    if (!content) return std::unexpected(content.error());
    return parse_decimal(*content);
  }
  const auto parsed = value(raw);
  if (!parsed) return std::unexpected(parsed.error());
  return decimal(*parsed);
}

std::expected<int64_t, Error> parse_int(std::string_view text) {
  // Underscores are dropped wherever they stand, so they are skipped rather than removed; what is
  // left must be an optional sign and at least one ASCII digit.
  bool negative = false;
  bool signed_ = false;
  bool digits = false;
  uint64_t magnitude = 0;
  for (const char c : trim_white_space(text)) {
    if (c == '_') continue;
    if ((c == '+' || c == '-') && !signed_ && !digits) {
      signed_ = true;
      negative = c == '-';
      continue;
    }
    if (c < '0' || c > '9') return not_an_integer(quoted_form(text));
    digits = true;
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return not_an_integer(quoted_form(text));
    magnitude = magnitude * 10 + digit;
  }
  if (!digits) return not_an_integer(quoted_form(text));
  // Two's complement: the magnitude 2^63 of the most negative value wraps to itself.
  return negative ? static_cast<int64_t>(~magnitude + 1) : static_cast<int64_t>(magnitude);
}

std::expected<std::optional<int64_t>, Error> polymarket_ms(const JsonValue& v) {
  switch (v.kind()) {
    case JsonKind::Null:
      return std::nullopt;
    case JsonKind::String:
      return string_ms(v.as_string());
    case JsonKind::Unsigned:
      if (v.as_unsigned() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return not_an_integer(number_text(v));
      }
      return to_milliseconds(static_cast<int64_t>(v.as_unsigned()));
    case JsonKind::Negative:
      return to_milliseconds(v.as_negative());
    case JsonKind::Float:
      return not_an_integer(number_text(v));
    default:
      return not_an_integer(compact_text(v));
  }
}

std::expected<std::optional<int64_t>, Error> polymarket_ms_raw(Raw raw) {
  if (is_string_literal(raw)) {
    std::string scratch;
    const auto content = decode_json_string(*raw, scratch);
    if (!content) return std::unexpected(content.error());
    return string_ms(*content);
  }
  const auto parsed = value(raw);
  if (!parsed) return std::unexpected(parsed.error());
  return polymarket_ms(*parsed);
}

std::expected<std::string, Error> text_or_empty(const JsonValue* v) {
  if (v == nullptr) return std::string();
  switch (v->kind()) {
    case JsonKind::Null:
      return std::string();
    case JsonKind::Bool:
      return std::string(v->as_bool() ? "True" : "");
    case JsonKind::Unsigned:
      return v->as_unsigned() == 0 ? std::string() : number_text(*v);
    case JsonKind::Negative:
      return number_text(*v);
    case JsonKind::Float:
      return v->as_float() == 0.0 ? std::string() : number_text(*v);
    case JsonKind::String:
      return v->as_string();
    case JsonKind::Array:
      if (v->as_array().empty()) return std::string();
      break;
    case JsonKind::Object:
      if (v->as_object().empty()) return std::string();
      break;
  }
  return frame_error("not text: " + compact_text(*v));
}

std::expected<std::string, Error> text_or_empty(const JsonValue& v) { return text_or_empty(&v); }

std::expected<std::string, Error> text_raw(Raw raw) {
  if (is_string_literal(raw)) return decode_json_string(*raw);
  const auto parsed = value(raw);
  if (!parsed) return std::unexpected(parsed.error());
  return text_or_empty(*parsed);
}

std::expected<JsonValue, Error> value(Raw raw) {
  if (!raw) return JsonValue::null();
  return parse_json(*raw);
}

}  // namespace orvane::wire
