// Wire scalar readers: the one way every venue decoder turns a JSON scalar into a price, a size, an
// integer, a text or a millisecond timestamp, so that all venues accept the same spellings and fail
// with the same messages.
//
// Venues are loose about types: a field may come as a JSON string ("0.45"), a number (0.45), null
// or not at all. Each reader says which shapes it takes. All are pure: they read borrowed input and
// allocate only their result. Failures are texts built from the templates "not a decimal: {} ({})",
// "not a decimal: {}", "not an integer: {}", "timestamp out of range: {}", "not text: {}",
// "missing {}" and the JSON parser's own texts; a text shown in a message is in the quoted form
// (text/quoted.h), a JSON value in compact JSON (json/text.h). Their codes: kInvalidDecimal for a
// text the Decimal grammar refuses, the parser's code for a raw text that is not JSON, and
// kMalformedFrame for the rest (a value of a type the reader does not take, a missing member, a
// bad integer or timestamp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "decimal/decimal.h"
#include "json/value.h"
#include "text/error.h"

namespace orvane::wire {

// The undecoded JSON text of one member of a message, or nothing when the member is absent (a
// member holding JSON null counts as absent; the record reader drops it).
using Raw = std::optional<std::string_view>;

// Strips Unicode white space, then reads the Decimal grammar (decimal/decimal.h `parse`). Failure:
// "not a decimal: {quoted trimmed text} ({reason})".
std::expected<Decimal, Error> parse_decimal(std::string_view text);

// The usual price or size as a JSON string literal: `text[at]` is its opening quote, and its
// content is what `read_simple` reads whole (so parse_decimal of it gives the same value). Leaves
// `at` past the closing quote; nothing (`at` unspecified) for any other literal.
inline std::optional<Decimal> simple_decimal_literal(std::string_view text, std::size_t& at) {
  ++at;
  const auto value = read_simple(text, at);
  if (!value || at == text.size() || text[at] != '"') return std::nullopt;
  ++at;
  return value;
}

// A string: parse_decimal of its content. A number: parse_decimal of its number text, so a float
// goes through its shortest round-trip digits (0.1 is exactly 0.1). Anything else:
// "not a decimal: {compact JSON}".
std::expected<Decimal, Error> plain_decimal(const JsonValue& v);

// As plain_decimal, except that an object is first replaced by its member "value" (one level only;
// null when it has none): {"value":"0.5"} gives 0.5, {} fails as `not a decimal: null`.
std::expected<Decimal, Error> decimal(const JsonValue& v);

// decimal() of the member `name` of the object `v`; "missing {quoted name}" when `v` is not an
// object or has no such member.
std::expected<Decimal, Error> decimal_at(const JsonValue& v, std::string_view name);

// Absent: "missing {quoted name}". Raw text starting with a double quote: decoded as a JSON string,
// then parse_decimal, without building a JsonValue. Other raw text: value(), then decimal().
std::expected<Decimal, Error> decimal_raw(Raw raw, std::string_view name);

// Strips Unicode white space, removes every "_", then reads an optional sign and ASCII digits as a
// signed 64-bit integer. Failure: "not an integer: {quoted text as passed in}".
std::expected<int64_t, Error> parse_int(std::string_view text);

// A venue timestamp in seconds or milliseconds, as milliseconds. Null and the empty string: no
// timestamp. A string: parse_int of its content. An integer in the signed 64-bit range: itself. A
// float or a larger integer: "not an integer: {number text}"; a boolean, array or object:
// "not an integer: {compact JSON}". A value above 100000000000 is taken as milliseconds, any other
// as seconds and multiplied by 1000 ("timestamp out of range: {n}" when that overflows).
std::expected<std::optional<int64_t>, Error> polymarket_ms(const JsonValue& v);

// A raw text starting with a double quote is decoded as a JSON string and read as a string value by
// polymarket_ms; any other raw field, absent included, goes through value() first.
std::expected<std::optional<int64_t>, Error> polymarket_ms_raw(Raw raw);

// The text of a scalar, falsy values giving the empty text: absent, null, false, a number equal to
// zero, an empty array or object give ""; true gives "True"; another number its number text; a
// string its content. A non-empty array or object: "not text: {compact JSON}". `v` may be null
// (absent), as JsonValue::find returns.
std::expected<std::string, Error> text_or_empty(const JsonValue* v);
std::expected<std::string, Error> text_or_empty(const JsonValue& v);

// A raw text starting with a double quote: its decoded content, unchanged (no trimming). Any other
// raw field, absent included: value(), then text_or_empty.
std::expected<std::string, Error> text_raw(Raw raw);

// Absent: null. Otherwise the whole raw text parsed as one JSON value (json/parse.h), failing with
// the parser's text, for example "trailing characters at line 1 column 5".
std::expected<JsonValue, Error> value(Raw raw);

}  // namespace orvane::wire
