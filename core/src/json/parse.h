// Parsing JSON text: into a JsonValue, or through a cursor that keeps members as raw text.
//
// Both readers accept exactly one JSON value (RFC 8259) with optional JSON white space around it,
// and validate all of it: syntax, escapes, UTF-8, unescaped control characters, anything after the
// value
// ("trailing characters") and nesting deeper than kJsonMaxDepth ("recursion limit exceeded"). A
// failure is a text "{message} at line {l} column {c}" (line 1-based, column the 1-based byte
// column of the offending byte, or at the end of the text the length of its last line), for example
// "EOF while parsing a value at line 1 column 0" or "trailing characters at line 1 column 5"; the
// few failures without a position (a text beyond the parser's 4 GiB capacity, out of memory) are
// the message alone. Those failures have the code kMalformedJson; a value of the wrong shape for a
// cursor's reader (a type, a record's length, a repeated field) has kMalformedFrame.
//
// Parsing runs on simdjson's On-Demand API with one parser and one padded buffer per thread, reused
// across calls: the text is copied once, into that buffer. Nested use on one thread (a visitor that
// parses another text) is safe: the inner call gets a parser of its own.
#pragma once

#include <absl/functional/function_ref.h>

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "json/syntax.h"
#include "json/value.h"
#include "text/error.h"

namespace orvane {

// Parses `text` as one JSON value. Integers that fit 64 bits unsigned, or signed when negative,
// keep their integer form ("-0" is the unsigned 0); other numbers, big integers included, become
// doubles; a number beyond the double range fails ("number out of range").
std::expected<JsonValue, Error> parse_json(std::string_view text);

enum class JsonType : uint8_t { Null, Bool, Number, String, Array, Object };

using JsonStatus = std::expected<void, Error>;

// One value inside a text being read by read_json. A cursor lives only during the visitor call that
// receives it. Each value may be read once, by one of the reading methods (raw, raw_unless_null,
// value, string, skip, elements, members, record); a value the visitor leaves unread is validated
// and skipped when the visitor returns. Every reading method validates what it reads. The first
// failure ends the read: read_json returns it whatever the visitor does next, and later calls
// return it too.
class JsonCursor {
 public:
  using Visit = absl::FunctionRef<JsonStatus(JsonCursor& value)>;
  using VisitMember = absl::FunctionRef<JsonStatus(std::string_view name, JsonCursor& value)>;
  using VisitField = absl::FunctionRef<JsonStatus(std::size_t index, JsonCursor& value)>;

  JsonCursor(const JsonCursor&) = delete;
  JsonCursor& operator=(const JsonCursor&) = delete;

  // The type of the value, from its first character; does not read it.
  std::expected<JsonType, Error> type();

  // The value's JSON text, validated, without surrounding white space: a view into the text given
  // to read_json, so it stays valid as long as that text does.
  std::expected<std::string_view, Error> raw();
  // As raw, except that JSON null gives no text.
  std::expected<std::optional<std::string_view>, Error> raw_unless_null();

  std::expected<JsonValue, Error> value();

  // The decoded content of a string value; any other type fails with
  // "invalid type: {type}, expected a string". The view lives until read_json returns.
  std::expected<std::string_view, Error> string();

  JsonStatus skip();

  // Visits each element of an array in order ("invalid type: {type}, expected an array" otherwise).
  JsonStatus elements(Visit visit);

  // Visits each member of an object in text order, repeated names included ("invalid type: {type},
  // expected an object" otherwise). The name lives until read_json returns.
  JsonStatus members(VisitMember visit);

  // Reads a record with the member names `names` (at most 64): an object's member called names[i]
  // is visited as field i; other members are validated and skipped; a listed member given twice
  // fails with "duplicate field `{name}`". An array is read positionally: it must have exactly
  // names.size() elements ("invalid length {n}, expected {m} elements"), element i being field i.
  // Any other type fails with "invalid type: {type}, expected an object or an array".
  JsonStatus record(std::span<const std::string_view> names, VisitField visit);

  // "{message} at line {l} column {c}" at the start of this value, for a visitor's own failures
  // (kMalformedFrame: the text is JSON, the visitor refuses what it holds).
  Error error(std::string_view message) const;

  struct Node;  // the reader's state for one value

 private:
  friend struct JsonCursorAccess;
  explicit JsonCursor(Node& node) : node_(node) {}
  Node& node_;
};

// Reads `text` as one JSON value and hands its cursor to `visit`. Returns the first failure: a
// syntax or validation error, a cursor method's failure, or the visitor's own error.
JsonStatus read_json(std::string_view text, JsonCursor::Visit visit);

}  // namespace orvane
